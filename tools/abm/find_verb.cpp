// A condition is FIELD=VALUE, FIELD~TEXT, FIELD<NUMBER or FIELD>NUMBER;
// a record is found when it meets all of them. Values are read through
// afm3ReadFieldBlock, many records a call; string and blob values, which
// that read does not hand out, are read one record at a time.
#include "find_verb.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "afm3.h"
#include "afm3_bytes.h"
#include "album_session.h"
#include "album_verbs.h"
#include "q32comm.h"
#include "record_listing.h"

namespace abm {

namespace {

constexpr unsigned kLastFixedType = 8, kList32 = 7, kList1 = 8, kString = 9, kBlob = 10;
constexpr size_t kValueWidth = 1024;  // JSON gets values this long
constexpr size_t kCellWidth = 40;     // the table's cells

enum class Op { Equal, Contains, Less, Greater };

struct Condition {
  const Field* field = nullptr;
  Op op = Op::Equal;
  std::string operand;
  std::vector<uint8_t> encoded;  // a fixed-width operand as the row holds it
  size_t blockOffset = 0;        // the field's place in a block row
};

std::string lowerCase(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

bool isNumber(const std::string& text, double* value) {
  if (text.empty()) return false;
  char* end = nullptr;
  *value = std::strtod(text.c_str(), &end);
  return *end == '\0';
}

bool isOpaqueNumber(unsigned type) { return type < kList32; }

// Little-endian unsigned numbers of the same width: -1, 0 or 1.
int compareStored(const uint8_t* a, const uint8_t* b, size_t width) {
  for (size_t i = width; i-- > 0;) {
    if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
  }
  return 0;
}

bool parseCondition(const std::string& text, const std::vector<Field>& fields, Condition* c,
                    std::string* problem) {
  const size_t at = text.find_first_of("=~<>");
  if (at == std::string::npos || at == 0) {
    *problem =
        "a condition is FIELD=VALUE, FIELD~TEXT, FIELD<NUMBER or FIELD>NUMBER, not '" + text + "'";
    return false;
  }
  c->field = findField(fields, text.substr(0, at));
  if (c->field == nullptr) {
    *problem = "the album has no field '" + text.substr(0, at) + "'";
    return false;
  }
  c->op = text[at] == '='   ? Op::Equal
          : text[at] == '~' ? Op::Contains
          : text[at] == '<' ? Op::Less
                            : Op::Greater;
  c->operand = text.substr(at + 1);
  const unsigned type = c->field->type;
  double number = 0;
  if ((c->op == Op::Less || c->op == Op::Greater) &&
      (type == kList32 || type == kList1 || type == kBlob)) {
    *problem = "field '" + c->field->name + "' holds no numbers to compare";
    return false;
  }
  if (isOpaqueNumber(type) && c->op != Op::Contains) {
    if (!encodeValue(type, c->operand, &c->encoded, problem)) {
      *problem = "field '" + c->field->name + "': " + *problem;
      return false;
    }
  } else if ((c->op == Op::Less || c->op == Op::Greater) && !isNumber(c->operand, &number)) {
    *problem = "'" + c->operand + "' is not a number";
    return false;
  }
  return true;
}

bool hasEntry(const std::string& list, const std::string& entry) {
  size_t start = 0;
  while (start <= list.size()) {
    size_t comma = list.find(',', start);
    if (comma == std::string::npos) comma = list.size();
    if (list.compare(start, comma - start, entry) == 0) return true;
    start = comma + 1;
  }
  return false;
}

// A value in its text form (every type but the opaque numbers' = < >).
bool textMatches(const Condition& c, const std::string& text) {
  const unsigned type = c.field->type;
  double value = 0, operand = 0;
  switch (c.op) {
    case Op::Equal:
      return lowerCase(text) == lowerCase(c.operand) ||
             (isNumber(text, &value) && isNumber(c.operand, &operand) && value == operand);
    case Op::Contains:
      if (type == kList32 || type == kList1) return hasEntry(text, c.operand);
      return lowerCase(text).find(lowerCase(c.operand)) != std::string::npos;
    case Op::Less:
    case Op::Greater:
      if (!isNumber(text, &value) || !isNumber(c.operand, &operand)) return false;
      return c.op == Op::Less ? value < operand : value > operand;
  }
  return false;
}

bool fixedMatches(const Condition& c, const uint8_t* value) {
  if (isOpaqueNumber(c.field->type) && c.op != Op::Contains) {
    const int order = compareStored(value, c.encoded.data(), c.encoded.size());
    return c.op == Op::Equal ? order == 0 : c.op == Op::Less ? order < 0 : order > 0;
  }
  return textMatches(c, formatFixedValue(c.field->type, value));
}

bool inBlock(const Field& field) { return field.type != kString && field.type != kBlob; }

// Bytes a field takes in a block row: its fixed width, or a pointer to
// its string.
size_t blockWidth(const Field& field) {
  return field.type <= kLastFixedType ? fixedValueWidth(field.type) : sizeof(BYTE*);
}

// The fields a row of the block holds, in order, each once.
struct BlockLayout {
  std::vector<BYTE> numbers;
  std::vector<const Field*> fields;
  std::vector<size_t> offsets;
  size_t offsetOf(const Field* field) const {
    return offsets[std::find(fields.begin(), fields.end(), field) - fields.begin()];
  }
};

BlockLayout layoutFor(const std::vector<const Field*>& wanted) {
  BlockLayout layout;
  size_t offset = 0;
  for (const Field* field : wanted) {
    if (!inBlock(*field) ||
        std::find(layout.fields.begin(), layout.fields.end(), field) != layout.fields.end())
      continue;
    layout.numbers.push_back(static_cast<BYTE>(field->number));
    layout.fields.push_back(field);
    layout.offsets.push_back(offset);
    offset += blockWidth(*field);
  }
  return layout;
}

std::string blockText(const Field& field, const BYTE* row, size_t offset) {
  if (field.type <= kLastFixedType) return formatFixedValue(field.type, row + offset);
  const char* text = nullptr;
  std::memcpy(&text, row + offset, sizeof text);
  return text != nullptr ? text : "";
}

class Finder {
 public:
  Finder(HANDLE album, std::vector<Condition> conditions, std::vector<const Field*> shown)
      : album_(album), conditions_(std::move(conditions)), shown_(std::move(shown)) {
    std::vector<const Field*> wanted = shown_;
    for (const Condition& c : conditions_) wanted.push_back(c.field);
    layout_ = layoutFor(wanted);
  }

  // Every record below next that meets the conditions. false: the
  // library's error is the last error.
  bool run(unsigned next, std::vector<ListedRecord>* found) {
    if (next == 0) return true;
    std::vector<DWORD> numbers(next);
    for (unsigned r = 0; r < next; ++r) numbers[r] = r;
    live_.assign(next + 1, 0);
    if (!afm3AreValidRecords(toolOwnerKey(), album_, next, numbers.data(), live_.data()))
      return false;
    if (layout_.fields.empty()) {
      for (unsigned r = 0; r < next; ++r) {
        if (live_[r] && !consider(r, nullptr, found)) return false;
      }
      return true;
    }
    for (unsigned first = 0; first < next;) {
      BYTE* block = nullptr;
      BYTE** rows = nullptr;
      const DWORD got = afm3ReadFieldBlock(toolOwnerKey(), album_, next - first,
                                           static_cast<DWORD>(layout_.numbers.size()), nullptr,
                                           first, layout_.numbers.data(), &block, &rows);
      if (got == 0) return false;
      bool ok = true;
      for (DWORD j = 0; j < got && ok; ++j) {
        if (rows[j] != nullptr && live_[first + j]) ok = consider(first + j, rows[j], found);
      }
      freeLibraryBlock(block);
      freeLibraryBlock(rows);
      if (!ok) return false;
      first += got;
    }
    return true;
  }

 private:
  // A field's value of record r in its text form.
  bool valueOf(unsigned r, const BYTE* row, const Field& field, std::string* text) {
    if (!inBlock(field))
      return readLongValue(album_, static_cast<uint16_t>(r), field, kValueWidth, text);
    *text = blockText(field, row, layout_.offsetOf(&field));
    return true;
  }

  bool consider(unsigned r, const BYTE* row, std::vector<ListedRecord>* found) {
    for (const Condition& c : conditions_) {
      if (inBlock(*c.field) && c.field->type <= kLastFixedType) {
        if (!fixedMatches(c, row + layout_.offsetOf(c.field))) return true;
        continue;
      }
      std::string text;
      if (!valueOf(r, row, *c.field, &text)) return false;
      if (!textMatches(c, text)) return true;
    }
    ListedRecord record;
    record.number = r;
    record.picture = "?";
    char path[AFM3_MAX_PATH + 1] = {};
    if (afm3ReadRecordPic(toolOwnerKey(), album_, r, nullptr, path, sizeof path, 0, nullptr))
      record.picture = fileNameOf(path);
    for (const Field* field : shown_) {
      std::string text;
      if (!valueOf(r, row, *field, &text)) return false;
      record.values.push_back(text);
    }
    found->push_back(record);
    return true;
  }

  HANDLE album_;
  std::vector<Condition> conditions_;
  std::vector<const Field*> shown_;
  BlockLayout layout_;
  std::vector<BYTE> live_;
};

}  // namespace

int runFind(const Args& args) {
  const Verb& verb = *findVerb("find");
  AlbumSession album;
  c32ClearDLLErrInfo();
  if (!album.open(args.positional[0], false))
    return failWithLastError("open " + args.positional[0]);
  std::vector<Condition> conditions;
  std::vector<const Field*> shown;
  std::string problem;
  for (size_t i = 1; i < args.positional.size(); ++i) {
    Condition c;
    if (!parseCondition(args.positional[i], album.fields(), &c, &problem))
      return failUsage(verb, problem);
    conditions.push_back(c);
    if (std::find(shown.begin(), shown.end(), c.field) == shown.end()) shown.push_back(c.field);
  }
  std::vector<uint8_t> info;
  if (!album.readInfo(&info))
    return failWithLastError("read the information of " + args.positional[0]);
  std::vector<ListedRecord> found;
  Finder finder(album.handle(), conditions, shown);
  if (!finder.run(afm3GetU16(info.data() + AFM3_INFO_NEXT_RECORD_NUMBER), &found))
    return failWithLastError("search " + args.positional[0]);
  if (args.has("json")) {
    printRecordsJson(args.positional[0], shown, found);
    return 0;
  }
  for (ListedRecord& record : found) {
    for (std::string& value : record.values) value = cutText(value, kCellWidth);
  }
  printRecordTable(shown, found, false);
  return 0;
}

}  // namespace abm
