#include "json_output.h"

#include <cstdio>

namespace abm {

namespace {

// Length of the UTF-8 sequence starting at text[i], 0 when it is not one.
size_t utf8Sequence(const std::string& text, size_t i) {
  const auto lead = static_cast<unsigned char>(text[i]);
  const size_t length = lead < 0x80                   ? 1
                        : lead >= 0xC2 && lead < 0xE0 ? 2
                        : lead >= 0xE0 && lead < 0xF0 ? 3
                        : lead >= 0xF0 && lead < 0xF5 ? 4
                                                      : 0;
  if (length == 0 || i + length > text.size()) return 0;
  for (size_t k = 1; k < length; ++k) {
    if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return 0;
  }
  return length;
}

}  // namespace

bool isUtf8(const std::string& text) {
  for (size_t i = 0; i < text.size();) {
    const size_t length = utf8Sequence(text, i);
    if (length == 0) return false;
    i += length;
  }
  return true;
}

std::string jsonString(const std::string& text) {
  const bool utf8 = isUtf8(text);
  std::string out = "\"";
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (byte < 0x20 || (byte >= 0x80 && !utf8)) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", byte);
      out += escape;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

void JsonWriter::separate() {
  if (afterKey_) {
    afterKey_ = false;
    return;
  }
  if (!first_.empty()) {
    if (!first_.back()) text_ += ',';
    first_.back() = false;
  }
}

JsonWriter& JsonWriter::beginObject() {
  separate();
  text_ += '{';
  first_.push_back(true);
  return *this;
}

JsonWriter& JsonWriter::endObject() {
  text_ += '}';
  first_.pop_back();
  return *this;
}

JsonWriter& JsonWriter::beginArray() {
  separate();
  text_ += '[';
  first_.push_back(true);
  return *this;
}

JsonWriter& JsonWriter::endArray() {
  text_ += ']';
  first_.pop_back();
  return *this;
}

JsonWriter& JsonWriter::key(const std::string& name) {
  separate();
  text_ += jsonString(name) + ':';
  afterKey_ = true;
  return *this;
}

JsonWriter& JsonWriter::value(const std::string& text) {
  separate();
  text_ += jsonString(text);
  return *this;
}

JsonWriter& JsonWriter::number(int64_t number) {
  separate();
  text_ += std::to_string(number);
  return *this;
}

JsonWriter& JsonWriter::flag(bool flag) {
  separate();
  text_ += flag ? "true" : "false";
  return *this;
}

JsonWriter& JsonWriter::null() {
  separate();
  text_ += "null";
  return *this;
}

void JsonWriter::print() const { std::printf("%s\n", text_.c_str()); }

}  // namespace abm
