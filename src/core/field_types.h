// Field types: how many bytes a value takes in a row and what reads hand
// out. Types 0 to 6 are opaque bytes; 7 and 8 are u16 indexes into the
// field's value table; 9 is a string kept outside the row with its
// signature in the row; 10 a length-prefixed value kept outside the row;
// 11 (text) and 12 (memo) strings live in the value heaps.
#pragma once

#include <cstdint>

namespace afm3 {

enum FieldType : uint8_t {
  kTypeList32 = 7,
  kTypeList1 = 8,
  kTypeSignedString = 9,
  kTypeBlob = 10,
  kTypeText = 11,
  kTypeMemo = 12,
};

constexpr uint8_t kFieldTypeMask = 0x0F;
constexpr uint8_t kFieldRemoved = 0x10;
constexpr uint8_t kFieldCallerAttribute = 0x20;
constexpr uint8_t kSpecCallerAttribute = 0x80;
constexpr uint16_t kRowHeaderSize = 12;
constexpr uint32_t kMaxFields = 255;

// Bytes a value of each type occupies in a row (0 for heap types).
constexpr uint8_t kRowWidth[16] = {2, 4, 4, 8, 4, 2, 16, 64, 2, 18, 4, 0, 0, 0, 0, 0};
// Bytes a single-field read hands out for types 0 to 10 (type 9 gives its
// signature; type 10 cannot be read this way).
constexpr uint8_t kFieldReadWidth[16] = {2, 4, 4, 8, 4, 2, 16, 64, 2, 12, 4, 0, 0, 0, 0, 0};

constexpr uint8_t rowWidth(uint8_t type) { return kRowWidth[type & kFieldTypeMask]; }
constexpr bool isHeapType(uint8_t type) {
  return (type & kFieldTypeMask) == kTypeText || (type & kFieldTypeMask) == kTypeMemo;
}

}  // namespace afm3
