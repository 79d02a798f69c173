#include "album_session.h"

#include "afm3_bytes.h"
#include "album_verbs.h"
#include "cli.h"
#include "host_paths.h"

namespace abm {

AlbumSession::~AlbumSession() {
  if (album_ != nullptr) afm3CloseAlbum(toolOwnerKey(), album_);
}

bool AlbumSession::open(const std::string& shellPath, bool toChange) {
  const std::string path = toLibraryPath(shellPath);
  const DWORD flags = toChange ? AFM3_OPEN_READ_WRITE | AFM3_OPEN_SHARE_READ
                               : AFM3_OPEN_READ_ONLY | AFM3_OPEN_SHARE_READ_WRITE;
  BYTE count = 0;
  HGLOBAL list = nullptr;
  if (afm3OpenAlbum(toolOwnerKey(), path.c_str(), flags, &album_, nullptr, &count, &list) ==
      AFM3_OPEN_FAILED) {
    album_ = nullptr;
    return false;
  }
  if (list != nullptr) {
    fields_ = fieldsFromList(static_cast<const unsigned char*>(GlobalLock(list)), count);
    GlobalUnlock(list);
    GlobalFree(list);
  }
  return true;
}

bool AlbumSession::readInfo(std::vector<uint8_t>* info) const {
  info->assign(AFM3_ALBUM_INFO_SIZE, 0);
  return afm3ReadBasicAlbumInfo(toolOwnerKey(), album_, info->data()) != 0;
}

bool liveRecords(HANDLE album, std::vector<LiveRecord>* out) {
  constexpr uint32_t kEntriesPerBlock = 64;
  constexpr uint16_t kFreeEntry = 0xFFFF;
  const DWORD blocks = afm3GetPicBlockCount(toolOwnerKey(), album);
  std::vector<uint8_t> block(size_t{kEntriesPerBlock} * AFM3_RECORD_ENTRY_SIZE);
  for (DWORD b = 0; b < blocks; ++b) {
    if (!afm3ReadPicBlock(toolOwnerKey(), album, b, block.data())) return false;
    for (uint32_t i = 0; i < kEntriesPerBlock; ++i) {
      const uint8_t* e = block.data() + size_t{i} * AFM3_RECORD_ENTRY_SIZE;
      if (afm3GetU16(e + AFM3_ENTRY_NUMBER) == kFreeEntry) continue;
      out->push_back(
          {afm3GetU16(e + AFM3_ENTRY_NUMBER), std::vector<uint8_t>(e, e + AFM3_RECORD_ENTRY_SIZE)});
    }
  }
  return true;
}

void freeLibraryBlock(const void* pointer) {
  if (pointer == nullptr) return;
  HGLOBAL block = GlobalHandle(pointer);
  if (block == nullptr) return;
  GlobalUnlock(block);
  GlobalFree(block);
}

bool parseRecordNumber(const std::string& text, uint16_t* number) {
  if (text.empty() || text.size() > 5) return false;
  unsigned value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<unsigned>(c - '0');
  }
  if (value >= 0xFFFF) return false;
  *number = static_cast<uint16_t>(value);
  return true;
}

int lookUpRecord(const char* verb, HANDLE album, uint16_t record, bool deletedAllowed,
                 RecordPresence* presence) {
  const std::string name = "record " + std::to_string(record);
  const int valid = afm3IsValidRecord(toolOwnerKey(), album, record);
  if (valid < 0) return failWithLastError("look up " + name);
  *presence = RecordPresence::Live;
  if (valid == 1) return -1;
  // Not live: a deleted record still reads, as deleted; a number never
  // handed out (or given back by a reorganization) reads as nothing.
  BYTE* entry = nullptr;
  BYTE** values = nullptr;
  const int read = afm3ReadRecord(toolOwnerKey(), album, record, &entry, &values);
  freeLibraryBlock(entry);
  freeLibraryBlock(values);
  *presence = read < 0 ? RecordPresence::Deleted : RecordPresence::Missing;
  if (*presence == RecordPresence::Missing)
    return failWith(verb, "the album has no record " + std::to_string(record));
  if (!deletedAllowed) return failWith(verb, name + " is deleted");
  return -1;
}

}  // namespace abm
