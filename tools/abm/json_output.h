// JSON for scripts: a writer that keeps commas and nesting right, and
// strings made valid UTF-8 (album texts are ANSI; a string that is not
// valid UTF-8 is read as Latin-1).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace abm {

class JsonWriter {
 public:
  JsonWriter& beginObject();
  JsonWriter& endObject();
  JsonWriter& beginArray();
  JsonWriter& endArray();
  // The name of the next member of the current object.
  JsonWriter& key(const std::string& name);
  JsonWriter& value(const std::string& text);
  JsonWriter& value(const char* text) { return value(std::string(text)); }
  JsonWriter& number(int64_t number);
  JsonWriter& flag(bool flag);
  JsonWriter& null();
  const std::string& text() const { return text_; }
  // Writes the text and a newline to stdout.
  void print() const;

 private:
  void separate();
  std::string text_;
  std::vector<bool> first_;  // per open container: nothing written in it yet
  bool afterKey_ = false;
};

// Whether text is valid UTF-8 throughout.
bool isUtf8(const std::string& text);
// A JSON string literal, quotes included.
std::string jsonString(const std::string& text);

}  // namespace abm
