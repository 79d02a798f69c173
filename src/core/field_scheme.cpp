#include "core/field_scheme.h"

#include <cstring>

#include "core/album_header.h"
#include "core/field_types.h"

namespace afm3 {

uint8_t FieldDef::type() const { return b_[1] & kFieldTypeMask; }
bool FieldDef::removed() const { return (b_[1] & kFieldRemoved) != 0; }

uint32_t specNameLength(const uint8_t* fieldSpec) {
  const uint8_t* name = fieldSpec + 2;
  uint32_t n = 0;
  while (n < kSpecNameSize - 1 && name[n] != 0) ++n;
  return n;
}

uint16_t FieldPlacement::place(uint8_t type) {
  switch (type & kFieldTypeMask) {
    case kTypeText:
      return textOrdinal_++;
    case kTypeMemo:
      return memoOrdinal_++;
    default: {
      const auto at = static_cast<uint16_t>(rowOffset_);
      rowOffset_ += rowWidth(type);
      return at;
    }
  }
}

bool buildFieldDefs(const uint8_t* specs, uint32_t count, NewScheme* scheme) {
  scheme->defsSize = count * kFieldDefSize;
  if (!scheme->defs.allocate(scheme->defsSize)) return false;
  FieldPlacement placement;
  uint32_t nameOffset = 0;
  uint32_t indexCount = 0;
  for (uint32_t j = 0; j < count; ++j) {
    const uint8_t* entry = specs + j * kFieldSpecSize;
    uint8_t* def = scheme->defs.get() + j * kFieldDefSize;
    const uint8_t type = entry[1] & 0x7F;
    def[0] = static_cast<uint8_t>(j);
    def[1] = static_cast<uint8_t>((type & kFieldTypeMask) |
                                  ((entry[1] & kSpecCallerAttribute) ? kFieldCallerAttribute : 0));
    afm3PutU16(def + 2, static_cast<uint16_t>(nameOffset));
    afm3PutU16(def + 14, placement.place(type));
    if (entry[66] != 0) ++indexCount;
    nameOffset += specNameLength(entry) + 1;
  }
  scheme->rowDataSize = static_cast<uint16_t>(placement.rowDataSize());
  scheme->namesSize = static_cast<uint16_t>(nameOffset);
  scheme->indexCount = indexCount;
  return true;
}

void buildFieldNames(const uint8_t* specs, uint32_t count, uint8_t* names) {
  for (uint32_t j = 0; j < count; ++j) {
    const uint8_t* entry = specs + j * kFieldSpecSize;
    const uint32_t length = specNameLength(entry);
    std::memcpy(names, entry + 2, length);
    names[length] = 0;
    names += length + 1;
  }
}

void buildIndexList(const uint8_t* specs, uint32_t count, uint8_t* list) {
  uint16_t entries = 0;
  uint8_t* entry = list + 2;
  for (uint32_t j = 0; j < count; ++j) {
    const uint8_t attribute = specs[j * kFieldSpecSize + 66];
    if (attribute == 0) continue;
    std::memset(entry, 0, kIndexEntrySize);
    entry[0] = attribute;
    entry[1] = static_cast<uint8_t>(j);
    entry += kIndexEntrySize;
    ++entries;
  }
  afm3PutU16(list, entries);
}

uint32_t storedNameLength(const uint8_t* names, uint32_t namesSize, uint32_t at) {
  uint32_t n = 0;
  while (at + n < namesSize && names[at + n] != 0) ++n;
  return n;
}

void listFieldSpecs(const uint8_t* defs, uint32_t defCount, const uint8_t* names,
                    uint32_t namesSize, const uint8_t* indexEntries, uint32_t indexCount,
                    uint8_t* specsOut) {
  uint8_t* out = specsOut;
  for (uint32_t j = 0; j < defCount; ++j) {
    const uint8_t* def = defs + j * kFieldDefSize;
    if (def[1] & kFieldRemoved) continue;
    std::memset(out, 0, kFieldSpecSize);
    out[0] = def[0];
    out[1] = static_cast<uint8_t>((def[1] & kFieldTypeMask) |
                                  ((def[1] & kFieldCallerAttribute) ? kSpecCallerAttribute : 0));
    // The name is taken from inside the name list only, whatever the
    // stored offset says.
    const uint32_t at = afm3GetU16(def + 2);
    for (uint32_t n = 0; n < kSpecNameSize - 1 && at + n < namesSize && names[at + n] != 0; ++n)
      out[2 + n] = names[at + n];
    for (uint32_t k = 0; indexEntries != nullptr && k < indexCount; ++k) {
      const uint8_t* index = indexEntries + k * kIndexEntrySize;
      if (index[1] == def[0]) {
        out[66] = index[0];
        break;
      }
    }
    out += kFieldSpecSize;
  }
}

}  // namespace afm3
