// reorganize: the album rewritten compactly, its records numbered from 0
// in record order, or sorted by one field's values or by picture path.
#include "maintenance_verbs.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "afm3.h"
#include "afm3_bytes.h"
#include "album_session.h"
#include "album_verbs.h"
#include "field_names.h"
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

// scheme: fields added, removed or renamed with the records kept.
namespace abm {

namespace {

constexpr char kSchemeUsage[] =
    "scheme add ALBUM NAME:TYPE[:index=N]... | remove ALBUM FIELD... | "
    "rename ALBUM FIELD NEWNAME";

std::vector<unsigned char> changeRecord(unsigned char number, unsigned char operation,
                                        const std::string& name) {
  std::vector<unsigned char> change(AFM3_FIELD_SPEC_SIZE, 0);
  change[AFM3_SPEC_NUMBER] = number;
  change[AFM3_SPEC_TYPE] = operation;
  std::memcpy(change.data() + AFM3_SPEC_NAME, name.data(),
              std::min<size_t>(name.size(), AFM3_SPEC_NAME_SIZE - 1));
  return change;
}

// The change records a scheme command asks for, or a usage problem.
bool schemeChanges(const Args& args, const std::vector<Field>& fields,
                   std::vector<unsigned char>* changes, std::string* problem) {
  const std::string& how = args.positional[0];
  const auto field = [&](const std::string& name) -> const Field* {
    const Field* f = findField(fields, name);
    if (f == nullptr) *problem = "the album has no field '" + name + "'";
    return f;
  };
  if (how == "add") {
    for (size_t i = 2; i < args.positional.size(); ++i) {
      std::vector<unsigned char> fieldSpec;
      if (!parseFieldSpec(args.positional[i], &fieldSpec, problem)) return false;
      if (fieldSpec[AFM3_SPEC_TYPE] & AFM3_SPEC_ATTRIBUTE_BIT) {
        *problem = "an added field takes no caller attribute";
        return false;
      }
      changes->insert(changes->end(), fieldSpec.begin(), fieldSpec.end());
    }
  } else if (how == "remove") {
    for (size_t i = 2; i < args.positional.size(); ++i) {
      const Field* f = field(args.positional[i]);
      if (f == nullptr) return false;
      const auto change =
          changeRecord(static_cast<unsigned char>(f->number), AFM3_CHANGE_REMOVE, "");
      changes->insert(changes->end(), change.begin(), change.end());
    }
  } else if (how == "rename") {
    if (args.positional.size() != 4) {
      *problem = "rename takes a field and its new name";
      return false;
    }
    const Field* f = field(args.positional[2]);
    if (f == nullptr) return false;
    const std::string& name = args.positional[3];
    if (name.empty() || name.size() >= AFM3_SPEC_NAME_SIZE) {
      *problem = "a field name has 1 to 63 characters";
      return false;
    }
    *changes = changeRecord(static_cast<unsigned char>(f->number), AFM3_CHANGE_RENAME, name);
  } else {
    *problem = "scheme is followed by add, remove or rename";
    return false;
  }
  if (changes->empty()) *problem = "name at least one field";
  return !changes->empty();
}

}  // namespace

int runScheme(const Args& args) {
  const Verb& verb = *findVerb("scheme");
  AlbumSession album;
  c32ClearDLLErrInfo();
  const std::string& albumPath = args.positional[1];
  if (!album.open(albumPath, true)) return failWithLastError("open " + albumPath);
  std::vector<unsigned char> changes;
  std::string problem;
  if (!schemeChanges(args, album.fields(), &changes, &problem)) return failUsage(verb, problem);
  std::vector<uint8_t> info;
  if (!album.readInfo(&info)) return failWithLastError("read " + albumPath);
  // The library reports no progress of its own while it gives every row
  // its new values: the bar counts the album's rows and fills when the
  // change is done.
  ProgressBar rows(stderr, afm3GetU16(info.data()), !args.has("no-progress") && stderrIsTerminal());
  const DWORD count = static_cast<DWORD>(changes.size() / AFM3_FIELD_SPEC_SIZE);
  const int result = afm3ChangeScheme(toolOwnerKey(), album.handleSlot(), count, changes.data());
  for (size_t i = 0; i < afm3GetU16(info.data()); ++i) rows.step(albumPath);
  rows.clear();
  if (result == 0) return failWithLastError("change the fields of " + albumPath);
  for (DWORD i = 0; i < count; ++i) {
    const unsigned char* change = changes.data() + i * AFM3_FIELD_SPEC_SIZE;
    const unsigned char operation = change[AFM3_SPEC_TYPE];
    const char* name = reinterpret_cast<const char*>(change + AFM3_SPEC_NAME);
    if (args.positional[0] == "add")
      std::printf("added field %u %s\n", change[AFM3_SPEC_NUMBER], name);
    else if (args.positional[0] == "rename")
      std::printf("renamed field %u to %s\n", change[AFM3_SPEC_NUMBER], name);
    else if (operation & AFM3_CHANGE_REMOVED)
      std::printf("removed field %u\n", change[AFM3_SPEC_NUMBER]);
  }
  if (result < 0)
    std::printf("the album was reorganized first: record and field numbers may have changed\n");
  return 0;
}

}  // namespace abm
