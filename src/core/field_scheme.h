// The field scheme of a version-3 album: the FieldDef table, the
// FieldNameList and the IndexList, and the caller's FieldSpec form.
//
// FieldDef (16 bytes): 0 field number, 1 type (bits 0-3) with 0x10 removed
// and 0x20 caller attribute, 2 u16 name offset in the FieldNameList, 4..13
// value-table description (types 7 and 8), 14 u16 row offset (types 0-10)
// or ordinal among the fields of the same heap type (11, 12).
// FieldSpec (67 bytes): 0 number, 1 type with 0x80 caller attribute,
// 2 name (64, NUL-terminated), 66 index attribute.
// IndexList: u16 count, then per indexed field {attribute, field number,
// 6 zero bytes}, in field order.
#pragma once

#include <cstdint>

#include "afm3_bytes.h"
#include "core/field_types.h"
#include "core/heap_block.h"

namespace afm3 {

constexpr uint32_t kIndexEntrySize = 8;
constexpr uint32_t kIndexAttributeAt = 0;  // in an IndexList entry
constexpr uint32_t kIndexFieldAt = 1;
constexpr uint32_t kSpecNameSize = 64;

// One FieldDef in memory.
class FieldDef {
 public:
  explicit FieldDef(uint8_t* bytes) : b_(bytes) {}
  uint8_t number() const { return b_[0]; }
  uint8_t typeByte() const { return b_[1]; }
  uint8_t type() const;
  bool removed() const;
  uint16_t nameOffset() const { return afm3GetU16(b_ + 2); }
  uint16_t placement() const { return afm3GetU16(b_ + 14); }  // row offset or ordinal
  uint8_t* bytes() const { return b_; }
  void setNumber(uint8_t v) { b_[0] = v; }
  void setNameOffset(uint16_t v) { afm3PutU16(b_ + 2, v); }
  void setPlacement(uint16_t v) { afm3PutU16(b_ + 14, v); }

 private:
  uint8_t* b_;
};

// Where each field of a scheme goes, in FieldDef order: types 0 to 10 at
// the next row offset (the first at 12, each after the previous field's
// row width), types 11 and 12 at the next ordinal of their heap. Removed
// fields take their place like the others.
class FieldPlacement {
 public:
  uint16_t place(uint8_t type);
  // The row's data size once every field was placed.
  uint32_t rowDataSize() const { return rowOffset_; }

 private:
  uint32_t rowOffset_ = kRowHeaderSize;
  uint16_t textOrdinal_ = 0;
  uint16_t memoOrdinal_ = 0;
};

// The tables of a new album's scheme, built from the caller's FieldSpecs.
struct NewScheme {
  LockedBlock defs;  // fieldCount * 16 bytes
  uint32_t defsSize = 0;
  uint16_t rowDataSize = 0;
  uint16_t namesSize = 0;
  uint32_t indexCount = 0;
};

// Builds the FieldDef table and sizes the names and index list; false when
// the table cannot be allocated.
bool buildFieldDefs(const uint8_t* specs, uint32_t count, NewScheme* scheme);
// Writes the FieldNameList into names (scheme.namesSize bytes).
void buildFieldNames(const uint8_t* specs, uint32_t count, uint8_t* names);
// Writes the IndexList (2 + 8 * indexCount bytes) into list.
void buildIndexList(const uint8_t* specs, uint32_t count, uint8_t* list);
// Bytes of a entry's name used (at most 63 characters: a name always
// fits its 64-byte field with its NUL).
uint32_t specNameLength(const uint8_t* entry);

// Characters of the name at offset at of a FieldNameList of namesSize
// bytes: up to its NUL or the end of the list (0 when at is outside).
uint32_t storedNameLength(const uint8_t* names, uint32_t namesSize, uint32_t at);

// The caller's FieldSpecs of the live fields, in field order. names holds
// namesSize bytes; an index list (count entries) may be null.
void listFieldSpecs(const uint8_t* defs, uint32_t defCount, const uint8_t* names,
                    uint32_t namesSize, const uint8_t* indexEntries, uint32_t indexCount,
                    uint8_t* specsOut);

}  // namespace afm3
