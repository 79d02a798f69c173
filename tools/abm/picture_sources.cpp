#include "picture_sources.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "afm3.h"
#include "host_paths.h"
#include "platform.h"

namespace abm {

namespace {

constexpr size_t kMaxLibraryPath = AFM3_MAX_PATH - 1;

std::string lowerCase(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// Folders and files are looked at through the platform layer, in the
// library's path form ("Z:\\..." outside Windows), so both builds list and
// describe pictures the same way.
void listFolder(const std::string& folder, bool recursive, std::vector<std::string>* found,
                std::vector<std::string>* problems) {
  // Names found are joined the way the folder was written: backslashes for
  // Windows paths, slashes for shell paths outside Windows.
  std::string base = folder;
  const char separator = folder.find('\\') != std::string::npos ? '\\' : '/';
  if (!base.empty() && base.back() != '\\' && base.back() != '/') base += separator;
  plat::FindData data;
  plat::FindHandle search = plat::findFirst(toLibraryPath(base + "*").c_str(), &data);
  if (search == plat::invalidFile()) {
    const uint32_t error = plat::lastError();
    if (error != plat::kErrFileNotFound)
      problems->push_back(folder + ": cannot be listed (error " + std::to_string(error) + ")");
    return;
  }
  std::vector<std::string> subfolders;
  do {
    const std::string name = data.name;
    if (name == "." || name == "..") continue;
    if (data.attributes & plat::kAttrDirectory) {
      if (recursive) subfolders.push_back(base + name);
    } else if (hasPictureExtension(name)) {
      found->push_back(base + name);
    }
  } while (plat::findNext(search, &data));
  plat::findClose(search);
  for (const std::string& subfolder : subfolders) listFolder(subfolder, true, found, problems);
}

bool isFolder(const std::string& path, bool* exists) {
  const uint32_t attributes = plat::fileAttributes(toLibraryPath(path).c_str());
  *exists = attributes != plat::kInvalidAttributes;
  return *exists && (attributes & plat::kAttrDirectory) != 0;
}

// "C:\\" or "\\\\server\\share\\" of a full path.
std::string rootOf(const std::string& path) {
  if (path.size() >= 2 && path[0] == '\\' && path[1] == '\\') {
    const size_t server = path.find('\\', 2);
    const size_t share = server == std::string::npos ? server : path.find('\\', server + 1);
    return share == std::string::npos ? path + "\\" : path.substr(0, share + 1);
  }
  return path.substr(0, 3);
}

bool systemFacts(const std::string& shellPath, PictureFacts* facts, std::string* problem) {
  char full[AFM3_MAX_PATH];
  const uint32_t length = plat::fullPathName(toLibraryPath(shellPath).c_str(), full, sizeof full);
  if (length == 0 || length >= sizeof full) {
    *problem = "path too long";
    return false;
  }
  const uint32_t attributes = plat::fileAttributes(full);
  if (attributes != plat::kInvalidAttributes && (attributes & plat::kAttrDirectory)) {
    *problem = "is a folder";
    return false;
  }
  plat::FindData data;
  plat::FindHandle find = plat::findFirst(full, &data);
  if (find == plat::invalidFile()) {
    *problem =
        "cannot read the file's properties (error " + std::to_string(plat::lastError()) + ")";
    return false;
  }
  plat::findClose(find);
  facts->fullPath = full;
  facts->fileSize = static_cast<uint32_t>(std::min<uint64_t>(data.size, 0xFFFFFFFFu));
  uint64_t local = 0;
  uint16_t date = 0, time = 0;
  if (plat::fileTimeToLocal(data.lastWriteTime, &local) &&
      plat::fileTimeToDosDateTime(local, &date, &time))
    facts->modified = (static_cast<uint32_t>(date) << 16) | time;
  else
    facts->modified = packDosDateTime(1980, 1, 1, 0, 0, 0);
  char shortPath[AFM3_MAX_PATH];
  const uint32_t shortLength = plat::shortPathName(full, shortPath, sizeof shortPath);
  facts->shortPath = shortLength > 0 && shortLength < sizeof shortPath ? shortPath : full;
  const std::string root = rootOf(full);
  facts->driveType = static_cast<uint8_t>(plat::driveType(root.c_str()));
  facts->label.clear();
  if (facts->driveType == kDriveRemote && root.size() > 2 && root[1] == '\\') {
    facts->label = root.substr(0, root.size() - 1);
  } else {
    plat::VolumeInfo volume;
    if (plat::volumeInformation(root.c_str(), &volume)) facts->label = volume.label;
  }
  return true;
}

}  // namespace

bool hasPictureExtension(const std::string& name) {
  const size_t dot = name.rfind('.');
  if (dot == std::string::npos) return false;
  const std::string extension = lowerCase(name.substr(dot));
  return extension == ".jpg" || extension == ".jpeg" || extension == ".png" || extension == ".bmp";
}

std::vector<std::string> collectPictures(const std::vector<std::string>& paths, bool recursive,
                                         std::vector<std::string>* problems) {
  std::vector<std::string> pictures;
  for (const std::string& path : paths) {
    bool exists = false;
    if (isFolder(path, &exists)) {
      std::vector<std::string> found;
      listFolder(path, recursive, &found, problems);
      std::sort(found.begin(), found.end());
      pictures.insert(pictures.end(), found.begin(), found.end());
    } else if (exists) {
      pictures.push_back(path);
    } else {
      problems->push_back(path + ": no such file or folder");
    }
  }
  return pictures;
}

bool pictureFacts(const std::string& shellPath, PictureFacts* facts, std::string* problem) {
  if (!systemFacts(shellPath, facts, problem)) return false;
  if (facts->fullPath.size() > kMaxLibraryPath) {
    *problem = "path longer than an album keeps (259 characters)";
    return false;
  }
  return true;
}

}  // namespace abm
