// reorganize: the album rewritten compactly, its records numbered from 0
// in record order, or sorted by one field's values or by picture path.
#include "maintenance_verbs.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "afm3.h"
#include "afm3_bytes.h"
#include "album_session.h"
#include "album_verbs.h"
#include "field_values.h"
#include "host_paths.h"
#include "platform.h"
#include "progress.h"
#include "q32comm.h"

namespace abm {

namespace {

constexpr unsigned kString = 9, kBlob = 10, kText = 11, kMemo = 12;
constexpr size_t kTextBuffer = 300;
constexpr char kByField[] = "by-field:";
constexpr char kByPath[] = "by-path";

bool fileSizeOf(const std::string& libraryPath, uint64_t* size) {
  plat::FindData data;
  plat::FindHandle find = plat::findFirst(libraryPath.c_str(), &data);
  if (find == plat::invalidFile()) return false;
  plat::findClose(find);
  *size = data.size;
  return true;
}

// A record's place in the new order: its picture's path, or the value of
// a field. Fixed-size values are taken as unsigned little-endian numbers
// (the key holds their bytes most significant first, so keys compare as
// the numbers do); texts and strings compare byte by byte.
bool sortKey(HANDLE album, uint16_t record, const Field* field, std::string* key) {
  std::vector<char> buffer(kTextBuffer, 0);
  if (field == nullptr) {
    if (!afm3ReadRecordPic(toolOwnerKey(), album, record, nullptr, buffer.data(), kTextBuffer, 0,
                           nullptr))
      return false;
    *key = buffer.data();
    return true;
  }
  if (field->type == kString || field->type == kBlob) {
    HGLOBAL block = nullptr;
    if (afm3ReadRecordFieldEx(toolOwnerKey(), album, record, field->number, &block) != 1)
      return false;
    const auto* bytes = static_cast<const char*>(GlobalLock(block));
    const size_t size = GlobalSize(block);
    const size_t skip = field->type == kBlob ? std::min<size_t>(4, size) : 0;
    key->assign(bytes != nullptr ? bytes + skip : "", bytes != nullptr ? size - skip : 0);
    if (field->type == kString) key->resize(std::min(key->size(), key->find('\0')));
    GlobalUnlock(block);
    GlobalFree(block);
    return true;
  }
  if (afm3ReadRecordField(toolOwnerKey(), album, record, field->number, buffer.data()) != 1)
    return false;
  if (field->type == kText || field->type == kMemo) {
    *key = buffer.data();
  } else {
    key->assign(buffer.begin(), buffer.begin() + fixedValueWidth(field->type));
    std::reverse(key->begin(), key->end());
  }
  return true;
}

// The live records sorted by their keys (equal keys keep record order).
bool sortedOrder(HANDLE album, const Field* field, std::vector<WORD>* order) {
  std::vector<LiveRecord> records;
  if (!liveRecords(album, &records)) return false;
  std::vector<std::pair<std::string, uint16_t>> keyed;
  for (const LiveRecord& record : records) {
    std::string key;
    if (!sortKey(album, record.number, field, &key)) return false;
    keyed.emplace_back(key, record.number);
  }
  std::stable_sort(keyed.begin(), keyed.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  for (const auto& k : keyed) order->push_back(k.second);
  return true;
}

LRESULT CALLBACK progressWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* progress = static_cast<PhaseProgress*>(plat::windowData(window));
  return progress != nullptr ? progress->handle(message, wParam, lParam) : 0;
}

}  // namespace

int runReorganize(const Args& args) {
  const Verb& verb = *findVerb("reorganize");
  const std::string how = args.value("order");
  const bool byPath = how == kByPath;
  const bool byField = how.rfind(kByField, 0) == 0 && how.size() > sizeof kByField - 1;
  if (args.has("order") && !byPath && !byField)
    return failUsage(verb, "--order is by-field:NAME or by-path");

  AlbumSession album;
  c32ClearDLLErrInfo();
  if (!album.open(args.positional[0], true)) return failWithLastError("open " + args.positional[0]);
  const Field* field = nullptr;
  if (byField) {
    const std::string name = how.substr(sizeof kByField - 1);
    field = findField(album.fields(), name);
    if (field == nullptr) return failUsage(verb, "the album has no field '" + name + "'");
  }
  const std::string path = toLibraryPath(args.positional[0]);
  uint64_t before = 0, after = 0;
  fileSizeOf(path, &before);
  std::vector<WORD> order;
  if ((byPath || byField) && !sortedOrder(album.handle(), field, &order))
    return failWithLastError("read the records of " + args.positional[0]);

  PhaseProgress progress(stderr, !args.has("no-progress") && stderrIsTerminal());
  HWND window = plat::createMessageWindow(progressWindowProc, &progress);
  const int result = afm3ReorganizeAbm(toolOwnerKey(), album.handleSlot(), 0,
                                       order.empty() ? nullptr : order.data(), window);
  plat::destroyWindow(window);
  if (result != 1) return failWithLastError("reorganize " + args.positional[0]);
  fileSizeOf(path, &after);
  std::printf("%s: %llu bytes before, %llu bytes after\n", args.positional[0].c_str(),
              static_cast<unsigned long long>(before), static_cast<unsigned long long>(after));
  return 0;
}

// The old album (version 1.0, 1.2 or 2.0) becomes a version-3.0 album
// beside it; with --delete-old the old file is deleted afterwards,
// otherwise the delete question is asked (answered No where no one can
// see it: natively, message boxes answer No).
int runConvert(const Args& args) {
  c32ClearDLLErrInfo();
  PhaseProgress progress(stderr, !args.has("no-progress") && stderrIsTerminal());
  HWND window = plat::createMessageWindow(progressWindowProc, &progress);
  char newPath[AFM3_MAX_PATH] = {};
  const int result = afm3ConvertAbmFile(toolOwnerKey(), nullptr, args.positional[0].c_str(),
                                        newPath, window, args.has("delete-old"));
  plat::destroyWindow(window);
  if (result == -1) {
    std::fprintf(stderr, "convert %s: cancelled\n", args.positional[0].c_str());
    return 1;
  }
  if (result != 1) return failWithLastError("convert " + args.positional[0]);
  std::printf("%s\n", toShellPath(newPath).c_str());
  return 0;
}

}  // namespace abm
