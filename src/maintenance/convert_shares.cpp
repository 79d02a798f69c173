#include "maintenance/convert_shares.h"

#include <cstring>

#include "core/canonical_path.h"
#include "core/library_state.h"
#include "platform.h"
#include "q32comm.h"

namespace afm3 {

namespace {

constexpr uint32_t kOsKindLanMan = 2;
constexpr uint32_t kDriveRemote = 4;
constexpr uint32_t kTableGrowth = 5;
constexpr const char* kLanManKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Network\\LanMan";
constexpr const char* kServerSharesKey = "Clone\\Clone\\Services\\Lanmanserver\\Shares";

struct ShareState {
  std::vector<Share> table;
  bool filled = false;
};

ShareState& state() {
  static ShareState s;
  return s;
}

std::string upper(std::string text) {
  plat::charUpper(text.data());
  return text;
}

std::string lower(std::string text) {
  plat::charLower(text.data());
  return text;
}

bool isDriveRoot(const std::string& folder) {
  return folder.size() == 3 && folder[1] == ':' && folder[2] == '\\';
}

// "\\server\share" or "\\server\share\": a share's root.
bool isShareRoot(const std::string& folder) {
  if (folder.size() < 5 || folder[0] != '\\' || folder[1] != '\\') return false;
  const size_t share = folder.find('\\', 2);
  if (share == std::string::npos) return false;
  const size_t after = folder.find('\\', share + 1);
  return after == std::string::npos || after + 1 == folder.size();
}

// The share's folder as the table keeps it, or empty when it is no
// existing directory.
std::string tableFolder(const std::string& folder) {
  if (folder.empty() || !qfdIsDir(folder.c_str())) return {};
  char converted[MAX_PATH] = {};
  const bool done =
      libraryState().osKind == kOsKindLanMan
          ? canonicalPath(folder.c_str(), converted, sizeof converted, CanonicalNames::Short,
                          CanonicalReports::Quiet)
          : qfdConvertLongShortPathname(folder.c_str(), converted, sizeof converted, 1) != FALSE;
  std::string result = done && converted[0] != '\0' ? converted : folder;
  if (!isDriveRoot(result) && !isShareRoot(result)) qfdDelSlash(result.data());
  result.resize(std::strlen(result.c_str()));
  return result;
}

void offer(const std::string& name, const std::string& folder) {
  if (name.empty()) return;
  const std::string kept = tableFolder(folder);
  if (!kept.empty()) addShare(&state().table, Share{name, kept});
}

// The folder of a server share's value: its first string "path=...".
std::string pathOfValue(const std::string& data) {
  for (size_t at = 0; at < data.size();) {
    const size_t end = data.find('\0', at);
    const std::string item =
        data.substr(at, end == std::string::npos ? std::string::npos : end - at);
    if (item.size() >= 4 && plat::compareNoCase(item.substr(0, 4).c_str(), "path") == 0) {
      const size_t equals = item.find('=');
      return equals == std::string::npos ? std::string() : item.substr(equals + 1);
    }
    if (end == std::string::npos) break;
    at = end + 1;
  }
  return {};
}

void discover() {
  if (libraryState().osKind == kOsKindLanMan) {
    std::vector<std::string> names;
    if (!plat::registrySubKeys(plat::RegistryRoot::LocalMachine, kLanManKey, &names)) return;
    for (const std::string& name : names) {
      std::string folder;
      const std::string key = std::string(kLanManKey) + "\\" + name;
      if (!name.empty() &&
          plat::registryString(plat::RegistryRoot::LocalMachine, key.c_str(), "Path", &folder))
        offer(name, folder);
    }
    return;
  }
  std::vector<plat::RegistryValue> values;
  if (!plat::registryValues(plat::RegistryRoot::LocalMachine, kServerSharesKey, &values)) return;
  for (const plat::RegistryValue& value : values) offer(value.name, pathOfValue(value.data));
}

std::string computer() {
  char name[MAX_PATH] = {};
  return plat::computerName(name, sizeof name) ? name : "";
}

// "\\server\share" of a network path; the whole path when nothing follows
// the share.
std::string shareRootOf(const std::string& path) {
  const size_t share = path.find('\\', 2);
  if (share == std::string::npos) return path;
  const size_t after = path.find('\\', share + 1);
  return after == std::string::npos ? path : path.substr(0, after);
}

}  // namespace

void addShare(std::vector<Share>* table, Share share) {
  if (table->size() == table->capacity()) table->reserve(table->size() + kTableGrowth);
  auto at = table->begin();
  while (at != table->end() && at->folder.size() >= share.folder.size()) ++at;
  table->insert(at, std::move(share));
}

const std::vector<Share>& shareTable() {
  discoverSharesOnce();
  return state().table;
}

void discoverSharesOnce() {
  ShareState& s = state();
  if (s.filled) return;
  s.filled = true;  // also when nothing is found
  discover();
}

void forgetShares() {
  state().table.clear();
  state().filled = false;
}

std::string networkNameOf(const std::string& path, uint32_t driveType) {
  const std::vector<Share>& table = shareTable();
  if (driveType == kDriveRemote || table.empty()) return {};
  const std::string host = computer();
  if (path.size() >= 2 && path[0] == '\\' && path[1] == '\\') {
    const std::string root = shareRootOf(path);
    for (const Share& share : table) {
      const std::string own = "\\\\" + host + "\\" + share.name;
      if (plat::compareNoCase(root.c_str(), own.c_str()) == 0)
        return upper(root + "|" + share.folder);
    }
    return {};
  }
  const std::string lowerPath = lower(path);
  for (const Share& share : table) {
    if (!qfdIsDir(share.folder.c_str())) continue;
    if (lowerPath.find(lower(share.folder)) != std::string::npos)
      return upper("\\\\" + host + "\\" + share.name + "|" + share.folder);
  }
  return {};
}

}  // namespace afm3
