// Writes the seed corpora of the fuzz targets from albums made through the
// public interface (on a memory drive): every field type with text and memo
// heaps, type-9 and type-10 values, picture strings and data, a deleted
// record and abandoned space from updates; value tables; images of every
// colour kind in every compression; two record pages; an empty album; a
// version-2 album. Each kind of content has an album of its own, which
// keeps the inputs small.
//
//   make_corpus FOLDER    writes FOLDER/<target>/<seed>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include "afm3.h"
#include "album_fixtures.h"
#include "memory_files.h"
#include "old_album_writer.h"
#include "platform.h"
#include "qliblzw.h"

namespace {

using afm3test::Bytes;

constexpr const char* kAlbumPath = "M:\\seed.ab3";
constexpr size_t kReadTailSize = 8;

HINSTANCE owner() { return reinterpret_cast<HINSTANCE>(0x5EED); }

void require(bool ok, const char* what) {
  if (ok) return;
  std::fprintf(stderr, "make_corpus: %s failed: %s\n", what, afm3test::lastError().text.c_str());
  std::exit(1);
}

// ---- bitmaps ---------------------------------------------------------------

struct Image {
  uint8_t kind, compression, flags;
  uint16_t width, height;
};

uint32_t bitsOf(uint8_t kind) {
  switch (kind) {
    case 2:
      return 24;
    case 8:
      return 4;
    case 16:
      return 16;
    case 64:
      return 1;
    default:
      return 8;
  }
}

// Palette entries a bitmap of the kind carries (kind 4 with the standard
// palette flag still brings its own table; the album drops it).
uint32_t paletteEntries(uint8_t kind) {
  const uint32_t bits = bitsOf(kind);
  return bits <= 8 ? 1u << bits : 0;
}

// A packed DIB with smooth gradients (small JPEG errors) and a few edges.
HGLOBAL makeDib(const Image& image, uint32_t seed) {
  const uint32_t bits = bitsOf(image.kind);
  const uint32_t entries = paletteEntries(image.kind);
  const uint32_t rowSize = (bits * image.width + 31) / 32 * 4;
  Bytes dib(40, 0);
  afm3test::put32(dib, 0, 40);
  afm3test::put32(dib, 4, image.width);
  afm3test::put32(dib, 8, image.height);
  afm3test::put16(dib, 12, 1);
  afm3test::put16(dib, 14, static_cast<uint16_t>(bits));
  afm3test::put32(dib, 32, entries);
  for (uint32_t i = 0; i < entries; ++i) {
    const auto grey = static_cast<uint8_t>(i * 255 / (entries - 1));
    const uint8_t entry[4] = {grey, static_cast<uint8_t>(grey ^ (seed * 37)),
                              static_cast<uint8_t>(255 - grey), 0};
    dib.insert(dib.end(), entry, entry + 4);
  }
  for (uint32_t y = 0; y < image.height; ++y) {
    for (uint32_t x = 0; x < rowSize; ++x) {
      const bool used = x * 8 < bits * image.width;
      dib.push_back(used ? static_cast<uint8_t>((x * 3 + y * 5 + seed) ^ ((x / 8 + y / 8) & 1) * 64)
                         : 0);
    }
  }
  HGLOBAL block = GlobalAlloc(GHND, dib.size());
  std::memcpy(GlobalLock(block), dib.data(), dib.size());
  GlobalUnlock(block);
  return block;
}

Bytes imageHeader(const Image& image) {
  Bytes header(AFM3_IMAGE_HEADER_SIZE, 0);
  header[AFM3_IMAGE_COLOUR_KIND] = image.kind;
  header[AFM3_IMAGE_COMPRESSION] = image.compression;
  afm3test::put16(header, AFM3_IMAGE_WIDTH, image.width);
  afm3test::put16(header, AFM3_IMAGE_HEIGHT, image.height);
  header[AFM3_IMAGE_FLAGS] = image.flags;
  return header;
}

// ---- albums ------------------------------------------------------------------

// The caller's values of one record: one pointer per field, null for none.
class Values {
 public:
  Values& bytes(Bytes b) {
    storage_.push_back(std::move(b));
    slots_.push_back(static_cast<int>(storage_.size() - 1));
    return *this;
  }
  Values& text(const std::string& s) { return bytes(Bytes(s.c_str(), s.c_str() + s.size() + 1)); }
  Values& number(uint32_t v, size_t width) {
    Bytes b(width, 0);
    for (size_t i = 0; i < width && i < 4; ++i) b[i] = static_cast<uint8_t>(v >> (8 * i));
    return bytes(b);
  }
  Values& blob(const Bytes& payload) {
    Bytes b(4, 0);
    afm3test::put32(b, 0, static_cast<uint32_t>(payload.size()));
    b.insert(b.end(), payload.begin(), payload.end());
    return bytes(b);
  }
  Values& none() {
    slots_.push_back(-1);
    return *this;
  }
  const void* const* get() {
    pointers_.clear();
    for (int s : slots_) pointers_.push_back(s < 0 ? nullptr : storage_[s].data());
    pointers_.push_back(nullptr);
    return pointers_.data();
  }

 private:
  std::deque<Bytes> storage_;
  std::vector<int> slots_;
  std::vector<const void*> pointers_;
};

struct Inserted {
  uint32_t record = 0;
  uint32_t imageOffset = 0;
  uint32_t stringAOffset = 0;
};

class SeedAlbum {
 public:
  SeedAlbum(const char* title, const std::vector<Bytes>& specs) {
    plat::memoryFiles::clear();
    require(plat::memoryFiles::put(kAlbumPath, nullptr, 0), "memory drive");
    plat::deleteFile(kAlbumPath);
    Bytes joined;
    for (const Bytes& s : specs) joined.insert(joined.end(), s.begin(), s.end());
    HANDLE created = afm3CreateAlbum(owner(), afm3test::albumInfo(title).data(),
                                     static_cast<DWORD>(specs.size()), joined.data(), kAlbumPath,
                                     nullptr, nullptr);
    require(created != nullptr, "afm3CreateAlbum");
    afm3CloseAlbum(owner(), created);
    require(afm3OpenAlbum(owner(), kAlbumPath, 0x11, &handle_, nullptr, nullptr, nullptr) !=
                AFM3_OPEN_FAILED,
            "afm3OpenAlbum");
  }
  ~SeedAlbum() { close(); }

  HANDLE handle() const { return handle_; }

  Inserted insert(Values* values, const Image* image = nullptr, const char* stringA = nullptr,
                  const char* stringB = nullptr) {
    Bytes entry(AFM3_RECORD_ENTRY_SIZE, 0);
    entry[AFM3_ENTRY_SOURCE_KIND] = 2;
    entry[AFM3_ENTRY_DRIVE_TYPE] = 3;
    std::strcpy(reinterpret_cast<char*>(&entry[AFM3_ENTRY_SHORT_PATH]), "C:\\PICS\\SEED.JPG");
    if (stringB != nullptr) entry[AFM3_ENTRY_FLAGS] = AFM3_ENTRY_FLAG_STRING_B;
    Bytes header;
    HGLOBAL dib = nullptr;
    if (image != nullptr) {
      header = imageHeader(*image);
      dib = makeDib(*image, inserted_);
    }
    Inserted out;
    DWORD imageOffset = 0, stringAOffset = 0;
    const int result = afm3InsertRecord(
        owner(), handle_, entry.data(), image ? header.data() : nullptr, dib, stringA,
        values ? values->get() : nullptr, &imageOffset, &stringAOffset, stringB);
    if (dib != nullptr) GlobalFree(dib);
    require(result == 1, "afm3InsertRecord");
    out.record = afm3test::get16(entry, AFM3_ENTRY_NUMBER);
    out.imageOffset = imageOffset;
    out.stringAOffset = stringAOffset;
    ++inserted_;
    return out;
  }

  Bytes bytes() {
    close();
    std::vector<uint8_t> file;
    require(plat::memoryFiles::get(kAlbumPath, &file), "reading the album back");
    return file;
  }

 private:
  void close() {
    if (handle_ != nullptr) afm3CloseAlbum(owner(), handle_);
    handle_ = nullptr;
  }

  HANDLE handle_ = nullptr;
  uint32_t inserted_ = 0;
};

// ---- output --------------------------------------------------------------------

class Corpus {
 public:
  explicit Corpus(std::string folder) : folder_(std::move(folder)) {}

  void write(const char* target, const std::string& name, const Bytes& bytes) {
    const std::string dir = folder_ + "/" + target;
    const std::string command = "mkdir -p '" + dir + "'";
    require(std::system(command.c_str()) == 0, "mkdir");
    const std::string path = dir + "/" + name;
    FILE* f = std::fopen(path.c_str(), "wb");
    require(f != nullptr, path.c_str());
    require(std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size(), path.c_str());
    std::fclose(f);
  }

  // An album for the targets that read whole albums; the read target gets
  // it once per tail.
  void album(const std::string& name, const Bytes& bytes, const std::vector<Bytes>& tails) {
    write("album_open_fuzz", name, bytes);
    write("album_check_fuzz", name, bytes);
    for (size_t i = 0; i < tails.size(); ++i) {
      Bytes input = bytes;
      input.insert(input.end(), tails[i].begin(), tails[i].end());
      write("album_read_fuzz", name + "-" + std::to_string(i), input);
    }
  }

  // The stored image at offset of an album, for the image target.
  void image(const std::string& name, const Bytes& album, uint32_t offset) {
    const uint32_t dataSize = afm3test::get32(album, offset);
    const uint32_t entries = afm3test::get32(album, offset + 4);
    const bool tableStored =
        (album[offset + 8] == 4 || album[offset + 8] == 8) && (album[offset + 14] & 1) == 0;
    const size_t end = std::min(album.size(), size_t{offset} + AFM3_IMAGE_HEADER_SIZE +
                                                  (tableStored ? 4 * entries : 0) + dataSize);
    Bytes input{0};  // the version-3 reader
    input.insert(input.end(), album.begin() + offset, album.begin() + end);
    write("stored_image_fuzz", name, input);
  }

  // A version-2 thumbnail for the image target.
  void thumbnail(const std::string& name, uint8_t type, uint8_t setting, bool raw, uint16_t width,
                 uint16_t height, const Bytes& data) {
    Bytes input(12, 0);
    input[0] = 1;  // the version-2 reader
    input[1] = type;
    input[2] = setting;
    input[3] = raw ? 1 : 0;
    afm3test::put16(input, 4, width);
    afm3test::put16(input, 6, height);
    afm3test::put32(input, 8, static_cast<uint32_t>(data.size()));
    input.insert(input.end(), data.begin(), data.end());
    write("stored_image_fuzz", name, input);
  }

 private:
  std::string folder_;
};

Bytes readTail(uint16_t record, uint8_t field, uint8_t flags, uint32_t offset) {
  Bytes tail(kReadTailSize, 0);
  afm3test::put16(tail, 0, record);
  tail[2] = field;
  tail[3] = flags;
  afm3test::put32(tail, 4, offset);
  return tail;
}

// Fields of every type, one indexed.
std::vector<Bytes> everyTypeSpecs() {
  std::vector<Bytes> specs;
  for (uint8_t type = 0; type <= 12; ++type)
    specs.push_back(afm3test::fieldSpec("F" + std::to_string(type), type, type == 11 ? 2 : 0));
  return specs;
}

Values everyTypeValues(uint32_t n) {
  Values v;
  for (uint8_t type = 0; type <= 6; ++type) v.number(n * 7 + type, type == 6 ? 16 : 8);
  v.number(n % 3, 64).number(n % 2, 2);
  v.text("signed string " + std::to_string(n));
  v.blob(Bytes(20 + n * 13, static_cast<uint8_t>(n)));
  v.text("text " + std::to_string(n)).text("memo " + std::string(n * 20, 'm'));
  return v;
}

// One record of each kind of content: every value set, every value null,
// the longest values (updated in place and appended anew), a deleted one.
void values(Corpus* corpus) {
  SeedAlbum album("Every type", everyTypeSpecs());
  const char* paths[] = {"C:\\pics\\a.jpg", ".\\..\\pics\\b.bmp", ".\\C:\\pics\\c.png",
                         "\\\\server\\share\\d.tif"};
  std::vector<Inserted> records;
  for (uint32_t n = 0; n < 4; ++n) {
    Values values = everyTypeValues(n);
    records.push_back(album.insert(&values, nullptr, paths[n], n % 2 == 0 ? "extra" : nullptr));
  }
  Values empty;
  for (int f = 0; f <= 12; ++f) empty.none();
  const Inserted plain = album.insert(&empty);
  const Inserted gone = album.insert(nullptr, nullptr, "C:\\gone.jpg");
  require(afm3DeleteRecord(owner(), album.handle(), gone.record), "delete");
  const std::string longText(255, 't'), longMemo(258, 'M');
  require(afm3UpdateRecordField(owner(), album.handle(), plain.record, 11, longText.c_str()),
          "text update");
  require(afm3UpdateRecordField(owner(), album.handle(), plain.record, 12, longMemo.c_str()),
          "memo update");
  require(afm3UpdateRecordField(owner(), album.handle(), 0, 9, "a longer signed string"),
          "type-9 update");
  const uint8_t misc[] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
  require(afm3UpdateFilePicMisc(owner(), album.handle(), 1, 3, misc, sizeof misc), "misc");
  require(afm3UpdateRecordPic(owner(), album.handle(), 2, nullptr, ".\\..\\moved\\c.png", nullptr,
                              "new extra"),
          "picture update");
  corpus->album("values", album.bytes(),
                {readTail(0, 10, 1, records[0].stringAOffset), readTail(plain.record, 12, 2, 0),
                 readTail(gone.record, 9, 3, records[2].stringAOffset)});
}

// Value tables on both list types.
void tables(Corpus* corpus) {
  SeedAlbum album("Tables", {afm3test::fieldSpec("Colour", 7), afm3test::fieldSpec("Flag", 8),
                             afm3test::fieldSpec("Name", 11)});
  const char colours[] = "red\0green\0blue\0";
  const char flags[] = "no\0yes\0";
  require(afm3UpdateTable(owner(), album.handle(), 0, colours, sizeof colours, 3), "table 0");
  require(afm3UpdateTable(owner(), album.handle(), 1, flags, sizeof flags, 2), "table 1");
  for (uint32_t n = 0; n < 3; ++n) {
    Values v;
    v.number(n, 64).number(n % 2, 2).text("row " + std::to_string(n));
    album.insert(&v);
  }
  corpus->album("tables", album.bytes(), {readTail(1, 0, 0, 0), readTail(2, 1, 1, 0)});
}

Bytes lzw(const Bytes& raw) {
  Bytes stream(raw.size() * 2 + 16);
  QLzwBuffer in{static_cast<DWORD>(raw.size()), const_cast<BYTE*>(raw.data())};
  QLzwBuffer out{static_cast<DWORD>(stream.size()), stream.data()};
  const QLzwParams params{12, 8, 1};
  require(qLzwCompress(&in, &params, &out) == QLZW_OK, "LZW");
  stream.resize(out.count);
  return stream;
}

// Version-2 thumbnails of every old type: raw, LZW, and the JPEG stream of
// the true-colour image stored at jpegOffset (40 x 30) of a version-3 album.
void version2Thumbnails(Corpus* corpus, const Bytes& album, uint32_t jpegOffset) {
  struct Old {
    uint8_t type, bits;
  };
  const Old types[] = {{1, 1}, {3, 8}, {4, 8}, {5, 8}, {6, 16}, {7, 24}};
  constexpr uint16_t kWidth = 12, kHeight = 9;
  for (const Old& old : types) {
    const uint32_t rowSize = (old.bits * kWidth + 31) / 32 * 4;
    Bytes pixels(size_t{rowSize} * kHeight);
    for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<uint8_t>(i * 7 + old.type);
    const std::string name = "v2-type" + std::to_string(old.type);
    corpus->thumbnail(name + "-raw", old.type, 0, true, kWidth, kHeight, pixels);
    corpus->thumbnail(name + "-lzw", old.type, 2, false, kWidth, kHeight, lzw(pixels));
  }
  const uint32_t jpegSize = afm3test::get32(album, jpegOffset);
  const auto jpeg = album.begin() + jpegOffset + AFM3_IMAGE_HEADER_SIZE;
  corpus->thumbnail("v2-type7-jpeg", 7, 3, false, 40, 30, Bytes(jpeg, jpeg + jpegSize));
}

// Images of every colour kind in every compression, one replaced.
void images(Corpus* corpus) {
  SeedAlbum album("Images", {afm3test::fieldSpec("Name", 11)});
  const Image images[] = {
      {2, 1, 0, 40, 30},   {32, 1, 0, 16, 12}, {4, 2, 0, 16, 12}, {64, 2, 0, 33, 9},
      {32, 3, 0, 16, 12},  {16, 3, 0, 16, 12}, {8, 0, 0, 15, 12}, {4, 0, 1, 16, 12},
      {2, 3, 0, 128, 100}, {8, 2, 0, 16, 12},  {16, 0, 0, 7, 5},  {64, 3, 0, 16, 12},
  };
  std::vector<Inserted> records;
  for (const Image& image : images) {
    Values v;
    v.text("picture");
    records.push_back(album.insert(&v, &image, "C:\\pics\\p.jpg"));
  }
  const Image replacement{4, 3, 0, 20, 10};
  Bytes header = imageHeader(replacement);
  HGLOBAL dib = makeDib(replacement, 99);
  DWORD replacedOffset = 0;
  require(afm3UpdateRecordImage(owner(), album.handle(), 3, dib, header.data(), &replacedOffset),
          "image update");
  GlobalFree(dib);
  const Bytes bytes = album.bytes();
  std::vector<Bytes> tails;
  for (uint32_t r : {0u, 8u}) tails.push_back(readTail(r, 0, r % 4, records[r + 1].imageOffset));
  tails.push_back(readTail(3, 0, 1, replacedOffset));
  corpus->album("images", bytes, tails);
  for (size_t i = 0; i < records.size(); ++i) {
    const Image& image = images[i];
    corpus->image("kind" + std::to_string(image.kind) + "-c" + std::to_string(image.compression) +
                      "-" + std::to_string(i),
                  bytes, records[i].imageOffset);
  }
  corpus->image("replaced", bytes, replacedOffset);
  version2Thumbnails(corpus, bytes, records[0].imageOffset);
}

// Enough records for two pages, and a field-block read over them.
void twoPages(Corpus* corpus) {
  SeedAlbum album("Two pages", {afm3test::fieldSpec("Name", 11), afm3test::fieldSpec("Size", 1),
                                afm3test::fieldSpec("Notes", 12)});
  for (uint32_t r = 0; r < 70; ++r) {
    Values v;
    v.text("name " + std::to_string(r)).number(r * 1000, 4).text(r % 5 ? "" : "note");
    album.insert(&v);
  }
  require(afm3DeleteRecord(owner(), album.handle(), 64), "delete");
  corpus->album("two-pages", album.bytes(), {readTail(63, 0, 1, 0), readTail(65, 2, 2, 0)});
}

void empty(Corpus* corpus) {
  SeedAlbum album("Empty", {afm3test::fieldSpec("Name", 11)});
  corpus->album("empty", album.bytes(), {readTail(0, 0, 0, 0)});
}

void version2(Corpus* corpus) {
  Bytes v2 = afm3test::version2Album("Old album", 3, 1);
  // Three entries with their record numbers, a name and a description
  // offset pointing at the title.
  constexpr size_t kHeader = 4784, kEntry = 288, kNames = 18432;
  for (uint16_t r = 0; r < 3; ++r) {
    afm3test::put16(v2, kHeader + r * kEntry, r);
    const std::string name = "PIC" + std::to_string(r) + ".JPG";
    std::memcpy(&v2[kHeader + kNames + r * 128], name.c_str(), name.size() + 1);
  }
  corpus->album("version2", v2, {readTail(1, 0, 0, 0), readTail(2, 2, 1, 0)});
}

// Old albums for the conversion's readers: byte 0 chooses the reader
// (0: version 1, 1: version 2), the rest is the file.
void oldAlbums(Corpus* corpus) {
  convtest::OldAlbum album;
  album.keywords = {"sea", "sun"};
  for (int n = 0; n < 4; ++n) {
    convtest::OldEntry e;
    e.deleted = n == 2;
    e.file = "P" + std::to_string(n) + ".JPG";
    e.text = "text " + std::to_string(n);
    e.name = "name " + std::to_string(n);
    e.keywords = {static_cast<uint16_t>(n % 2)};
    e.image = n != 1;
    album.entries.push_back(e);
  }
  const auto seed = [&](const char* name, uint8_t reader, const Bytes& file) {
    Bytes input{reader};
    input.insert(input.end(), file.begin(), file.end());
    corpus->write("old_album_fuzz", name, input);
  };
  seed("v1.0", 0, convtest::version1File(album, 0));
  seed("v1.2", 0, convtest::version1File(album, 2));
  seed("v2.0", 1, convtest::version2File(album));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_corpus FOLDER\n");
    return 2;
  }
  Corpus corpus(argv[1]);
  values(&corpus);
  tables(&corpus);
  images(&corpus);
  twoPages(&corpus);
  empty(&corpus);
  version2(&corpus);
  oldAlbums(&corpus);
  plat::memoryFiles::clear();
  return 0;
}
