// abm create: a new album from a title and a field scheme.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "afm3.h"
#include "afm3_bytes.h"
#include "album_verbs.h"
#include "field_names.h"
#include "host_paths.h"
#include "q32comm.h"

namespace abm {

namespace {

constexpr unsigned kDefaultThumbSize = 96;
constexpr size_t kTitleTailRoom = AFM3_ALBUM_INFO_SIZE - AFM3_INFO_TITLE_TAIL;

void fillInfo(const Args& args, std::vector<unsigned char>* info) {
  info->assign(AFM3_ALBUM_INFO_SIZE, 0);
  const std::string title = args.value("title", "Album");
  const size_t head = std::min<size_t>(title.size(), AFM3_INFO_TITLE_SIZE - 1);
  std::memcpy(info->data() + AFM3_INFO_TITLE, title.data(), head);
  const std::string tail = title.substr(head, kTitleTailRoom - 1);
  std::memcpy(info->data() + AFM3_INFO_TITLE_TAIL, tail.data(), tail.size());
  const std::string description =
      args.value("description").substr(0, AFM3_INFO_SHOWN_FLAG - AFM3_INFO_DESCRIPTION - 1);
  std::memcpy(info->data() + AFM3_INFO_DESCRIPTION, description.data(), description.size());
  const unsigned thumb = static_cast<unsigned>(
      std::strtoul(args.value("thumb", std::to_string(kDefaultThumbSize)).c_str(), nullptr, 10));
  afm3PutU16(info->data() + AFM3_INFO_THUMB_SIZE, static_cast<uint16_t>(thumb));
}

}  // namespace

bool parseFieldSpec(const std::string& text, std::vector<unsigned char>* field,
                    std::string* problem) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (size_t colon; (colon = text.find(':', start)) != std::string::npos; start = colon + 1)
    parts.push_back(text.substr(start, colon - start));
  parts.push_back(text.substr(start));
  if (parts.size() < 2 || parts[0].empty() || parts[0].size() >= AFM3_SPEC_NAME_SIZE) {
    *problem = "a field is NAME:TYPE (name of 1 to 63 characters): '" + text + "'";
    return false;
  }
  const int type = fieldTypeFromName(parts[1]);
  if (type < 0) {
    *problem = "unknown field type '" + parts[1] + "'";
    return false;
  }
  field->assign(AFM3_FIELD_SPEC_SIZE, 0);
  (*field)[AFM3_SPEC_TYPE] = static_cast<unsigned char>(type);
  std::memcpy(field->data() + AFM3_SPEC_NAME, parts[0].data(), parts[0].size());
  for (size_t i = 2; i < parts.size(); ++i) {
    if (parts[i] == "attribute") {
      (*field)[AFM3_SPEC_TYPE] |= AFM3_SPEC_ATTRIBUTE_BIT;
    } else if (parts[i].rfind("index=", 0) == 0) {
      const long index = std::strtol(parts[i].c_str() + 6, nullptr, 10);
      if (index < 1 || index > 255) {
        *problem = "an index attribute is 1 to 255";
        return false;
      }
      (*field)[AFM3_SPEC_INDEX] = static_cast<unsigned char>(index);
    } else {
      *problem = "unknown field option '" + parts[i] + "'";
      return false;
    }
  }
  return true;
}

int runCreate(const Args& args) {
  const Verb& verb = *findVerb("create");
  std::vector<unsigned char> specs;
  unsigned fieldCount = 0;
  for (const auto& option : args.options) {
    if (option.first != "field") continue;
    std::vector<unsigned char> field;
    std::string problem;
    if (!parseFieldSpec(option.second, &field, &problem)) return failUsage(verb, problem);
    specs.insert(specs.end(), field.begin(), field.end());
    ++fieldCount;
  }
  if (fieldCount == 0) return failUsage(verb, "give at least one --field NAME:TYPE");
  if (fieldCount > 255) return failUsage(verb, "an album has at most 255 fields");
  std::vector<unsigned char> info;
  fillInfo(args, &info);

  const std::string target = toLibraryPath(args.positional[0]);
  const bool inFolder = args.has("in-folder");
  char path[AFM3_MAX_PATH] = {};
  c32ClearDLLErrInfo();
  HANDLE album = afm3CreateAlbum(toolOwnerKey(), info.data(), fieldCount, specs.data(),
                                 target.c_str(), inFolder ? path : nullptr, nullptr);
  if (album == nullptr) return failWithLastError("create " + args.positional[0]);
  afm3CloseAlbum(toolOwnerKey(), album);
  std::printf("%s\n", toShellPath(inFolder ? path : target).c_str());
  return 0;
}

}  // namespace abm
