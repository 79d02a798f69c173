// An album opened for one command and closed when the command ends, with
// the fields it lists.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "afm3.h"
#include "field_values.h"

namespace abm {

class AlbumSession {
 public:
  AlbumSession() = default;
  ~AlbumSession();
  AlbumSession(const AlbumSession&) = delete;
  AlbumSession& operator=(const AlbumSession&) = delete;

  // Opens an album (a shell path) to read, others reading and writing too,
  // or to change, others only reading. false: the library's error is the
  // last error.
  bool open(const std::string& shellPath, bool toChange);
  HANDLE handle() const { return album_; }
  // Where the album's handle is kept, for calls that give it a new one.
  HANDLE* handleSlot() { return &album_; }
  const std::vector<Field>& fields() const { return fields_; }
  // The album information as the file holds it now.
  bool readInfo(std::vector<uint8_t>* info) const;

 private:
  HANDLE album_ = nullptr;
  std::vector<Field> fields_;
};

// A live record and its entry.
struct LiveRecord {
  uint16_t number;
  std::vector<uint8_t> entry;
};
// Every live record's entry, in record order. false: the library's error
// is the last error.
bool liveRecords(HANDLE album, std::vector<LiveRecord>* out);

// Frees a block the library handed out as a pointer into it.
void freeLibraryBlock(const void* pointer);
// A record number 0 to 65534 in decimal.
bool parseRecordNumber(const std::string& text, uint16_t* number);

// What the album holds under a record number: a live record, a deleted one
// (undelete can bring it back), or nothing.
enum class RecordPresence { Live, Deleted, Missing };
// Looks record up for verb. Returns -1 with *presence set, or the exit status
// 1 after saying why: the lookup failed, the album has no such record, or a
// deleted record where the verb needs a live one (deletedAllowed false).
int lookUpRecord(const char* verb, HANDLE album, uint16_t record, bool deletedAllowed,
                 RecordPresence* presence);

}  // namespace abm
