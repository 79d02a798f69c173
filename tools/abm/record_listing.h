// Records as list, find and show print them: field values as text, a
// table for people and one JSON shape for scripts.
#pragma once

#include <string>
#include <vector>

#include "afm3.h"
#include "field_values.h"

namespace abm {

// A record's number, picture file name, state and the values of the shown
// fields (their text forms, cut to the width they were read with).
struct ListedRecord {
  unsigned number = 0;
  std::string picture;
  bool deleted = false;
  std::vector<std::string> values;
};

// One field of a record read with afm3ReadRecord (values: its value
// pointers), as text of at most width characters; strings and blobs are
// read on their own. false: the library's error is the last error.
bool valueText(HANDLE album, uint16_t record, const Field& field, BYTE* const* values, size_t width,
               std::string* text);
// A string or blob value read on its own (afm3ReadRecordFieldEx).
bool readLongValue(HANDLE album, uint16_t record, const Field& field, size_t width,
                   std::string* text);

std::string fileNameOf(const std::string& path);
// text cut to width characters, its end replaced by "..." when cut.
std::string cutText(const std::string& text, size_t width);

// The records as a table: number, picture, the fields, and a deleted mark
// when deletedColumn.
void printRecordTable(const std::vector<const Field*>& fields,
                      const std::vector<ListedRecord>& records, bool deletedColumn);
// {"album": PATH, "fields": [NAME...], "records": [{"number": N,
// "picture": NAME, "deleted": BOOL, "values": {NAME: TEXT...}}...]}
void printRecordsJson(const std::string& album, const std::vector<const Field*>& fields,
                      const std::vector<ListedRecord>& records);

}  // namespace abm
