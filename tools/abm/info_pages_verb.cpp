// info --pages: the three pages of the library's album information dialog
// as text, from the library's own text export of the pages.
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "afm3_info.h"
#include "album_verbs.h"
#include "cli.h"
#include "host_paths.h"
#include "q32comm.h"

namespace abm {

namespace {

// The labels of the dialog's controls, by identifier.
const std::map<int, const char*>& labels() {
  static const std::map<int, const char*> all = {
      {6011, "Title"},           {6012, "Records"},     {6013, "Protected"},
      {6014, "Restricted"},      {6015, "Description"}, {6016, "Format version"},
      {6023, "Thumb-mark file"}, {6018, "Count"},       {6019, "Thumbnail size"},
      {6020, "Thumbnail kind"},  {6028, "Storage"},     {6021, "Path"},
      {6022, "Created"},         {6024, "Modified"},    {6025, "Size"},
      {6026, "Read-only"}};
  return all;
}

std::vector<std::string> split(const std::string& line, char separator) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (size_t at; (at = line.find(separator, start)) != std::string::npos; start = at + 1)
    parts.push_back(line.substr(start, at - start));
  parts.push_back(line.substr(start));
  return parts;
}

void printLine(const std::vector<std::string>& parts) {
  const int control = std::atoi(parts[1].c_str());
  if (parts.size() >= 4) {  // a row of the field list: name and type
    std::printf("  %-32s %s\n", parts[2].c_str(), parts[3].c_str());
    return;
  }
  const auto label = labels().find(control);
  const std::string name = label != labels().end() ? label->second : parts[1];
  std::printf("  %-16s %s\n", (name + ":").c_str(), parts.size() > 2 ? parts[2].c_str() : "");
}

}  // namespace

int runInfoPages(const Args& args) {
  const std::string path = toLibraryPath(args.positional[0]);
  c32ClearDLLErrInfo();
  DWORD needed = 0;
  std::string text(4096, '\0');
  DWORD version =
      afm3GetAbmInfoPages(path.c_str(), text.data(), static_cast<DWORD>(text.size()), &needed);
  if (version != 0 && needed > text.size()) {
    text.assign(needed, '\0');
    version = afm3GetAbmInfoPages(path.c_str(), text.data(), needed, &needed);
  }
  if (version == 0) return failWithLastError("show " + args.positional[0]);
  std::string page;
  for (const std::string& line : split(text.c_str(), '\n')) {
    const std::vector<std::string> parts = split(line, '\t');
    if (parts.size() < 2) continue;
    if (parts[0] != page) {
      std::printf("%s%s\n", page.empty() ? "" : "\n", parts[0].c_str());
      page = parts[0];
    }
    printLine(parts);
  }
  return 0;
}

}  // namespace abm
