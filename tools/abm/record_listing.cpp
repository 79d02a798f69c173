#include "record_listing.h"

#include <algorithm>
#include <cstdio>
#include <span>

#include "afm3_bytes.h"
#include "album_verbs.h"
#include "json_output.h"

namespace abm {

namespace {

constexpr unsigned kString = 9, kBlob = 10, kText = 11, kMemo = 12;

void printTable(const std::vector<std::vector<std::string>>& rows) {
  std::vector<size_t> widths;
  for (const auto& row : rows) {
    widths.resize(std::max(widths.size(), row.size()), 0);
    for (size_t c = 0; c < row.size(); ++c) widths[c] = std::max(widths[c], row[c].size());
  }
  for (const auto& row : rows) {
    std::string line;
    for (size_t c = 0; c < row.size(); ++c) {
      if (c == 0) {
        line += std::string(widths[0] - row[0].size(), ' ') + row[0];
      } else {
        line += "  " + row[c];
        if (c + 1 < row.size()) line += std::string(widths[c] - row[c].size(), ' ');
      }
    }
    line.erase(line.find_last_not_of(' ') + 1);
    std::printf("%s\n", line.c_str());
  }
}

}  // namespace

std::string fileNameOf(const std::string& path) {
  const size_t slash = path.find_last_of("\\/");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string cutText(const std::string& text, size_t width) {
  return text.size() <= width ? text : text.substr(0, width - 3) + "...";
}

bool readLongValue(HANDLE album, uint16_t record, const Field& field, size_t width,
                   std::string* text) {
  HGLOBAL block = nullptr;
  if (afm3ReadRecordFieldEx(toolOwnerKey(), album, record, field.number, &block) != 1) return false;
  const size_t size = GlobalSize(block);
  const auto* bytes = static_cast<const uint8_t*>(GlobalLock(block));
  if (bytes == nullptr) {
    text->clear();
  } else if (field.type == kString) {
    text->assign(reinterpret_cast<const char*>(bytes), std::find(bytes, bytes + size, 0) - bytes);
    *text = cutText(*text, width);
  } else {
    const size_t length = size >= 4 ? std::min<size_t>(afm3GetU32(bytes), size - 4) : 0;
    *text = formatBlob(std::span<const uint8_t>(bytes + 4, length), width);
  }
  GlobalUnlock(block);
  GlobalFree(block);
  return true;
}

bool valueText(HANDLE album, uint16_t record, const Field& field, BYTE* const* values, size_t width,
               std::string* text) {
  if (field.type == kString || field.type == kBlob)
    return readLongValue(album, record, field, width, text);
  const BYTE* value = values[field.number];
  if (field.type == kText || field.type == kMemo)
    *text = cutText(reinterpret_cast<const char*>(value), width);
  else
    *text = formatFixedValue(field.type, value);
  return true;
}

void printRecordTable(const std::vector<const Field*>& fields,
                      const std::vector<ListedRecord>& records, bool deletedColumn) {
  std::vector<std::vector<std::string>> rows;
  std::vector<std::string> heading = {"#", "picture"};
  for (const Field* field : fields) heading.push_back(field->name);
  if (deletedColumn) heading.push_back("");
  rows.push_back(heading);
  for (const ListedRecord& record : records) {
    std::vector<std::string> row = {std::to_string(record.number), record.picture};
    row.insert(row.end(), record.values.begin(), record.values.end());
    if (deletedColumn) row.push_back(record.deleted ? "(deleted)" : "");
    rows.push_back(row);
  }
  printTable(rows);
}

void printRecordsJson(const std::string& album, const std::vector<const Field*>& fields,
                      const std::vector<ListedRecord>& records) {
  JsonWriter json;
  json.beginObject().key("album").value(album).key("fields").beginArray();
  for (const Field* field : fields) json.value(field->name);
  json.endArray().key("records").beginArray();
  for (const ListedRecord& record : records) {
    json.beginObject().key("number").number(record.number).key("picture").value(record.picture);
    json.key("deleted").flag(record.deleted).key("values").beginObject();
    for (size_t i = 0; i < fields.size() && i < record.values.size(); ++i)
      json.key(fields[i]->name).value(record.values[i]);
    json.endObject().endObject();
  }
  json.endArray().endObject().print();
}

}  // namespace abm
