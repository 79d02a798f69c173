// Field values between the command line and the library's value forms:
// what a value pointer of each field type addresses, and how the tool
// shows a value read back.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace abm {

struct Field {
  unsigned number = 0;  // the field's number in reads and updates
  unsigned type = 0;    // 0..12
  std::string name;
};

// The live fields of an album, from the field list it was opened with.
std::vector<Field> fieldsFromList(const unsigned char* list, unsigned count);
// The field called name (exactly, else ignoring case), or numbered so.
const Field* findField(const std::vector<Field>& fields, const std::string& nameOrNumber);

// Bytes a value of the type occupies in a row (types 0 to 8).
unsigned fixedValueWidth(unsigned type);

// Encodes the text given for a field of the type as the bytes its value
// pointer addresses:
//   bytes2 ... bytes16   an integer (decimal, negative, or 0x hex) stored
//                        little-endian in the type's width
//   list32               up to 32 comma-separated entry indexes (0-65534),
//                        the rest "no entry"; list1 one index or nothing
//   string, text, memo   the text and a NUL (text at most 255 characters,
//                        memo at most 258)
//   blob                 a 32-bit length, then the text's bytes
bool encodeValue(unsigned type, const std::string& text, std::vector<uint8_t>* bytes,
                 std::string* problem);

// A value of types 0 to 8 (fixedValueWidth bytes at p) as encodeValue
// reads it back.
std::string formatFixedValue(unsigned type, const uint8_t* p);
// A blob's bytes: as they are when printable, else in hex; at most limit
// characters, cut with "...".
std::string formatBlob(std::span<const uint8_t> bytes, size_t limit);

// "NAME=VALUE" split at the first '='.
bool splitAssignment(const std::string& text, std::string* name, std::string* value);

// The values of a record to insert: one pointer per live field in field
// order; null for the fields no assignment names, except lists, which then
// hold no entries.
class RecordValues {
 public:
  bool build(const std::vector<Field>& fields, const std::vector<std::string>& assignments,
             std::string* problem);
  const void* const* pointers() const;

 private:
  std::vector<std::vector<uint8_t>> values_;
  std::vector<const void*> pointers_;
};

}  // namespace abm
