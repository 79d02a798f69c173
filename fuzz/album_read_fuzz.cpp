// Every read operation on arbitrary album bytes. The input is the album
// followed by an 8-byte tail that picks what is asked: a record number
// (u16), a field number (u8), flags (u8: bit 0 caching on, bit 1 opened
// without sharing) and a file offset (u32) handed in where callers may pass
// one they know. Records 0, the chosen one and the next are read whole and
// field by field (the first fields and the chosen one); the chosen one's
// picture and image too. Every call must report or succeed, never crash,
// leak or read outside its buffers.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "afm3.h"
#include "fuzz_input.h"

namespace {

constexpr size_t kTailSize = 8;
constexpr DWORD kFirstFields = 4;
constexpr DWORD kPicBlockSize = 17920;

struct Choice {
  DWORD record, field, flags, offset;
};

Choice choiceOf(const uint8_t* tail) {
  Choice c;
  c.record = tail[0] | tail[1] << 8;
  c.field = tail[2];
  c.flags = tail[3];
  c.offset = DWORD{tail[4]} | DWORD{tail[5]} << 8 | DWORD{tail[6]} << 16 | DWORD{tail[7]} << 24;
  return c;
}

class Reader {
 public:
  Reader(HANDLE album, const Choice& choice, DWORD fieldCount, const uint8_t* file, size_t size)
      : album_(album), choice_(choice), file_(file), size_(size) {
    records_ = {0, choice.record, choice.record + 1};
    for (DWORD f = 0; f < std::min(kFirstFields, fieldCount + 1); ++f) fields_.push_back(f);
    fields_.push_back(choice.field);
  }

  void run() {
    uint8_t info[AFM3_ALBUM_INFO_SIZE];
    afm3ReadBasicAlbumInfo(owner(), album_, info);
    for (DWORD field : fields_) table(field);
    pictureBlocks();
    fieldBlock();
    std::vector<BYTE> valid(records_.size());
    afm3AreValidRecords(owner(), album_, static_cast<DWORD>(records_.size()), records_.data(),
                        valid.data());
    for (DWORD record : records_) {
      afm3IsValidRecord(owner(), album_, record);
      wholeRecord(record);
      for (DWORD field : fields_) singleField(record, field);
    }
    picture(choice_.record);
    image(choice_.record);
  }

 private:
  static HINSTANCE owner() { return fuzzing::ownerKey(); }

  void table(DWORD field) {
    WORD count = 0;
    fuzzing::freeHandle(afm3ReadTable(owner(), album_, field, &count));
  }

  void pictureBlocks() {
    static uint8_t block[kPicBlockSize];
    const DWORD count = afm3GetPicBlockCount(owner(), album_);
    for (DWORD index : {DWORD{0}, count - 1, count, choice_.record})
      afm3ReadPicBlock(owner(), album_, index, block);
  }

  void fieldBlock() {
    std::vector<BYTE> selected(fields_.begin(), fields_.end());
    BYTE* block = nullptr;
    BYTE** rows = nullptr;
    if (afm3ReadFieldBlock(owner(), album_, static_cast<DWORD>(records_.size()),
                           static_cast<DWORD>(selected.size()), records_.data(), 0, selected.data(),
                           &block, &rows) != 0) {
      fuzzing::freeLocked(block);
      fuzzing::freeLocked(rows);
    }
    // Consecutive numbers from the chosen record.
    block = nullptr;
    rows = nullptr;
    if (afm3ReadFieldBlock(owner(), album_, 3, static_cast<DWORD>(selected.size()), nullptr,
                           choice_.record, selected.data(), &block, &rows) != 0) {
      fuzzing::freeLocked(block);
      fuzzing::freeLocked(rows);
    }
  }

  void wholeRecord(DWORD record) {
    BYTE* bytes = nullptr;
    BYTE** values = nullptr;
    if (afm3ReadRecord(owner(), album_, record, &bytes, &values) == 1) {
      fuzzing::freeLocked(bytes);
      fuzzing::freeLocked(values);
    }
  }

  void singleField(DWORD record, DWORD field) {
    static uint8_t buffer[512];
    afm3ReadRecordField(owner(), album_, record, field, buffer);
    HGLOBAL value = nullptr;
    if (afm3ReadRecordFieldEx(owner(), album_, record, field, &value) == 1)
      fuzzing::freeHandle(value);
  }

  void picture(DWORD record) {
    static uint8_t entry[AFM3_RECORD_ENTRY_SIZE];
    static char path[AFM3_MAX_PATH], extra[AFM3_MAX_PATH];
    const bool read =
        afm3ReadRecordPic(owner(), album_, record, entry, path, sizeof path, 0, extra);
    entryImageOffset_ = read ? DWORD{entry[AFM3_ENTRY_IMAGE_OFFSET]} |
                                   DWORD{entry[AFM3_ENTRY_IMAGE_OFFSET + 1]} << 8 |
                                   DWORD{entry[AFM3_ENTRY_IMAGE_OFFSET + 2]} << 16 |
                                   DWORD{entry[AFM3_ENTRY_IMAGE_OFFSET + 3]} << 24
                             : kUnknown;
    afm3ReadRecordPic(owner(), album_, record, nullptr, path, sizeof path, choice_.offset, nullptr);
    static uint8_t misc[1024];
    afm3ReadFilePicMisc(owner(), album_, record, 1, misc, sizeof misc);
    afm3ReadFilePicMisc(owner(), album_, record, 2, misc, sizeof misc);
  }

  // Decodes the record's image and the one at the chosen offset when
  // their headers (as the input holds them) ask for small bitmaps.
  void image(DWORD record) {
    afm3ReadRecordImage(owner(), album_, record, 0, nullptr);
    const bool version2 = size_ > 4 && file_[4] == 2;
    const bool known = entryImageOffset_ != kUnknown;
    if (version2 || (known && fuzzing::decodable(file_, size_, entryImageOffset_)))
      decode(record, 0);
    if (fuzzing::decodable(file_, size_, choice_.offset)) decode(record, choice_.offset);
  }

  void decode(DWORD record, DWORD offset) {
    HGLOBAL dib = nullptr;
    if (afm3ReadRecordImage(owner(), album_, record, offset, &dib) > 0) fuzzing::freeHandle(dib);
  }

  HANDLE album_;
  Choice choice_;
  const uint8_t* file_;
  size_t size_;
  static constexpr DWORD kUnknown = 0xFFFFFFFFu;
  DWORD entryImageOffset_ = kUnknown;  // of the entry read last
  std::vector<DWORD> records_;
  std::vector<DWORD> fields_;
};

void readAll(const uint8_t* data, size_t size) {
  const Choice choice = choiceOf(data + size - kTailSize);
  if (!fuzzing::putInput(data, size - kTailSize)) return;
  HANDLE album = nullptr;
  HGLOBAL specs = nullptr;
  BYTE count = 0;
  const DWORD flags = (choice.flags & 2) ? 0x12 : 0x22;
  if (afm3OpenAlbum(fuzzing::ownerKey(), fuzzing::kInputPath, flags, &album, nullptr, &count,
                    &specs) == AFM3_OPEN_FAILED)
    return;
  fuzzing::freeHandle(specs);
  if (choice.flags & 1) afm3CacheAlbum(fuzzing::ownerKey(), album, TRUE);
  Reader(album, choice, count, data, size - kTailSize).run();
  afm3CloseAlbum(fuzzing::ownerKey(), album);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size >= kTailSize) fuzzing::withoutBlockLeaks([&] { readAll(data, size); });
  return 0;
}
