#include "field_values.h"

#include <algorithm>
#include <cctype>

#include "afm3.h"
#include "afm3_bytes.h"

namespace abm {

namespace {

constexpr unsigned kList32 = 7, kList1 = 8, kString = 9, kBlob = 10, kText = 11, kMemo = 12;
constexpr unsigned kWidths[9] = {2, 4, 4, 8, 4, 2, 16, 64, 2};
constexpr size_t kMaxTextCharacters = 255;
constexpr size_t kMaxMemoCharacters = 258;
constexpr size_t kMaxStringCharacters = 65534;  // its stored length counts the NUL in 16 bits
constexpr unsigned kListEntries = 32;
constexpr uint16_t kNoEntry = 0xFFFF;

bool sameIgnoringCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](unsigned char x, unsigned char y) {
           return std::tolower(x) == std::tolower(y);
         });
}

// Multiplies the little-endian number in out by base and adds digit;
// false when it no longer fits.
bool shiftIn(std::vector<uint8_t>& out, unsigned base, unsigned digit) {
  unsigned carry = digit;
  for (uint8_t& byte : out) {
    const unsigned v = byte * base + carry;
    byte = static_cast<uint8_t>(v & 0xFF);
    carry = v >> 8;
  }
  return carry == 0;
}

// An integer of width bytes: decimal with an optional sign, or 0x hex.
bool encodeInteger(const std::string& text, unsigned width, std::vector<uint8_t>* bytes,
                   std::string* problem) {
  std::vector<uint8_t> out(width, 0);
  size_t at = 0;
  const bool negative = !text.empty() && text[0] == '-';
  if (!text.empty() && (text[0] == '-' || text[0] == '+')) at = 1;
  unsigned base = 10;
  if (text.size() > at + 1 && text[at] == '0' && (text[at + 1] == 'x' || text[at + 1] == 'X')) {
    base = 16;
    at += 2;
  }
  const std::string range = "a whole number of " + std::to_string(width) + " bytes";
  if (at == text.size()) {
    *problem = "'" + text + "' is not " + range;
    return false;
  }
  for (; at < text.size(); ++at) {
    const int c = std::tolower(static_cast<unsigned char>(text[at]));
    unsigned digit;
    if (c >= '0' && c <= '9')
      digit = static_cast<unsigned>(c - '0');
    else if (base == 16 && c >= 'a' && c <= 'f')
      digit = static_cast<unsigned>(c - 'a' + 10);
    else {
      *problem = "'" + text + "' is not " + range;
      return false;
    }
    if (!shiftIn(out, base, digit)) {
      *problem = "'" + text + "' does not fit in " + std::to_string(width) + " bytes";
      return false;
    }
  }
  if (negative) {
    // At most 2^(8 width - 1) in magnitude, then two's complement.
    const bool top = (out.back() & 0x80) != 0;
    const bool restZero = std::all_of(out.begin(), out.end() - 1, [](uint8_t b) { return b == 0; });
    if (top && !(out.back() == 0x80 && restZero)) {
      *problem = "'" + text + "' does not fit in " + std::to_string(width) + " bytes";
      return false;
    }
    unsigned carry = 1;
    for (uint8_t& byte : out) {
      const unsigned v = static_cast<uint8_t>(~byte) + carry;
      byte = static_cast<uint8_t>(v & 0xFF);
      carry = v >> 8;
    }
  }
  *bytes = std::move(out);
  return true;
}

bool encodeIndexes(const std::string& text, unsigned entries, std::vector<uint8_t>* bytes,
                   std::string* problem) {
  std::vector<uint8_t> out(2 * entries, 0xFF);  // every entry "none"
  unsigned count = 0;
  for (size_t start = 0; !text.empty() && start <= text.size();) {
    size_t comma = text.find(',', start);
    if (comma == std::string::npos) comma = text.size();
    const std::string item = text.substr(start, comma - start);
    start = comma + 1;
    if (count == entries) {
      *problem = entries == 1 ? "a list1 value is one entry index"
                              : "a list32 value holds at most 32 entry indexes";
      return false;
    }
    unsigned long index = 0;
    bool valid = !item.empty() && item.size() <= 5;
    for (char c : item) valid = valid && c >= '0' && c <= '9';
    if (valid) index = std::stoul(item);
    if (!valid || index >= kNoEntry) {
      *problem = "'" + item + "' is not an entry index (0 to 65534)";
      return false;
    }
    afm3PutU16(out.data() + 2 * count++, static_cast<uint16_t>(index));
  }
  *bytes = std::move(out);
  return true;
}

bool encodeText(const std::string& text, size_t limit, const char* kind,
                std::vector<uint8_t>* bytes, std::string* problem) {
  if (text.size() > limit) {
    *problem = std::string("a ") + kind + " value has at most " + std::to_string(limit) +
               " characters (this one has " + std::to_string(text.size()) + ")";
    return false;
  }
  bytes->assign(text.begin(), text.end());
  bytes->push_back(0);
  return true;
}

std::string unsignedDecimal(const uint8_t* p, unsigned width) {
  uint64_t v = 0;
  for (unsigned i = width; i-- > 0;) v = (v << 8) | p[i];
  return std::to_string(v);
}

}  // namespace

std::vector<Field> fieldsFromList(const unsigned char* list, unsigned count) {
  std::vector<Field> fields;
  for (unsigned i = 0; list != nullptr && i < count; ++i) {
    const unsigned char* entry = list + i * AFM3_FIELD_SPEC_SIZE;
    Field field;
    field.number = entry[AFM3_SPEC_NUMBER];
    field.type = entry[AFM3_SPEC_TYPE] & 0x0F;
    const char* name = reinterpret_cast<const char*>(entry + AFM3_SPEC_NAME);
    field.name.assign(name, std::find(name, name + AFM3_SPEC_NAME_SIZE, '\0'));
    fields.push_back(field);
  }
  return fields;
}

const Field* findField(const std::vector<Field>& fields, const std::string& nameOrNumber) {
  for (const Field& field : fields)
    if (field.name == nameOrNumber) return &field;
  for (const Field& field : fields)
    if (sameIgnoringCase(field.name, nameOrNumber)) return &field;
  if (!nameOrNumber.empty() && nameOrNumber.size() <= 3 &&
      std::all_of(nameOrNumber.begin(), nameOrNumber.end(),
                  [](unsigned char c) { return c >= '0' && c <= '9'; })) {
    const unsigned number = static_cast<unsigned>(std::stoul(nameOrNumber));
    for (const Field& field : fields)
      if (field.number == number) return &field;
  }
  return nullptr;
}

unsigned fixedValueWidth(unsigned type) { return type < 9 ? kWidths[type] : 0; }

bool encodeValue(unsigned type, const std::string& text, std::vector<uint8_t>* bytes,
                 std::string* problem) {
  switch (type) {
    case kList32:
      return encodeIndexes(text, kListEntries, bytes, problem);
    case kList1:
      return encodeIndexes(text, 1, bytes, problem);
    case kString:
      return encodeText(text, kMaxStringCharacters, "string", bytes, problem);
    case kText:
      return encodeText(text, kMaxTextCharacters, "text", bytes, problem);
    case kMemo:
      return encodeText(text, kMaxMemoCharacters, "memo", bytes, problem);
    case kBlob:
      bytes->assign(4, 0);
      afm3PutU32(bytes->data(), static_cast<uint32_t>(text.size()));
      bytes->insert(bytes->end(), text.begin(), text.end());
      return true;
    default:
      if (type < 9) return encodeInteger(text, kWidths[type], bytes, problem);
      *problem = "fields of type " + std::to_string(type) + " take no values";
      return false;
  }
}

std::string formatFixedValue(unsigned type, const uint8_t* p) {
  if (type == kList32 || type == kList1) {
    std::string text;
    const unsigned entries = type == kList1 ? 1 : kListEntries;
    for (unsigned i = 0; i < entries; ++i) {
      const uint16_t index = afm3GetU16(p + 2 * i);
      if (index == kNoEntry) continue;
      if (!text.empty()) text += ',';
      text += std::to_string(index);
    }
    return text;
  }
  if (type >= 9) return {};
  const unsigned width = kWidths[type];
  if (width <= 8) return unsignedDecimal(p, width);
  if (std::all_of(p + 8, p + width, [](uint8_t b) { return b == 0; })) return unsignedDecimal(p, 8);
  static const char kHex[] = "0123456789abcdef";
  std::string text = "0x";
  bool leading = true;
  for (unsigned i = width; i-- > 0;) {
    for (const unsigned nibble : {unsigned{p[i]} >> 4, unsigned{p[i]} & 15}) {
      if (leading && nibble == 0) continue;
      leading = false;
      text += kHex[nibble];
    }
  }
  return text;
}

std::string formatBlob(std::span<const uint8_t> bytes, size_t limit) {
  const bool printable =
      std::all_of(bytes.begin(), bytes.end(), [](uint8_t b) { return b >= 0x20 && b != 0x7F; });
  std::string text;
  if (printable) {
    text.assign(bytes.begin(), bytes.end());
  } else {
    static const char kHex[] = "0123456789abcdef";
    text = "0x";
    for (uint8_t b : bytes) {
      text += kHex[b >> 4];
      text += kHex[b & 15];
      if (text.size() > limit) break;
    }
  }
  if (text.size() > limit) text = text.substr(0, limit > 3 ? limit - 3 : 0) + "...";
  return text;
}

bool splitAssignment(const std::string& text, std::string* name, std::string* value) {
  const size_t equals = text.find('=');
  if (equals == std::string::npos || equals == 0) return false;
  *name = text.substr(0, equals);
  *value = text.substr(equals + 1);
  return true;
}

bool RecordValues::build(const std::vector<Field>& fields,
                         const std::vector<std::string>& assignments, std::string* problem) {
  values_.assign(fields.size(), {});
  std::vector<bool> given(fields.size(), false);
  for (const std::string& assignment : assignments) {
    std::string name, value;
    if (!splitAssignment(assignment, &name, &value)) {
      *problem = "a field value is NAME=VALUE: '" + assignment + "'";
      return false;
    }
    const Field* field = findField(fields, name);
    if (field == nullptr) {
      *problem = "the album has no field '" + name + "'";
      return false;
    }
    const size_t slot = static_cast<size_t>(field - fields.data());
    if (given[slot]) {
      *problem = "field '" + field->name + "' is given twice";
      return false;
    }
    std::string why;
    if (!encodeValue(field->type, value, &values_[slot], &why)) {
      *problem = "field '" + field->name + "': " + why;
      return false;
    }
    given[slot] = true;
  }
  // A list left out holds no entries; a null value would store index 0.
  for (size_t i = 0; i < fields.size(); ++i) {
    if (!given[i] && (fields[i].type == kList32 || fields[i].type == kList1)) {
      encodeIndexes("", fields[i].type == kList1 ? 1 : kListEntries, &values_[i], problem);
      given[i] = true;
    }
  }
  pointers_.assign(fields.size() + 1, nullptr);  // never empty: an empty array would be null
  for (size_t i = 0; i < fields.size(); ++i)
    if (given[i]) pointers_[i] = values_[i].data();
  return true;
}

const void* const* RecordValues::pointers() const { return pointers_.data(); }

}  // namespace abm
