#include "temp_dir.h"

#include <atomic>
#include <cstdio>
#include <string>

#include "platform.h"

namespace afm3test {

namespace {
std::atomic<unsigned> counter{0};
}

TempDir::TempDir() {
  char base[MAX_PATH];
  plat::tempFolder(base, sizeof base);
  // Eight hex digits make a valid 8.3 name: the folder needs no alternate
  // name, so its short form cannot change while other tests add folders
  // beside it.
  const uint32_t stamp = plat::tickCount() * 2654435761u;
  for (uint32_t attempt = 0; attempt < 1000; ++attempt) {
    char name[16];
    std::snprintf(name, sizeof name, "%08X\\", stamp + counter++ * 40503u + attempt * 7919u);
    std::string candidate = std::string(base) + name;
    if (plat::createDirectory(candidate.c_str())) {
      path_ = candidate;
      return;
    }
  }
}

TempDir::~TempDir() {
  if (!path_.empty()) removeTree(path_);
}

bool writeWholeFile(const std::string& path, const std::string& bytes) {
  plat::FileHandle file =
      plat::openFile(path.c_str(), plat::kGenericWrite, 0, plat::Disposition::CreateAlways);
  if (file == plat::invalidFile()) return false;
  uint32_t done = 0;
  const bool ok = plat::writeFile(file, bytes.data(), static_cast<uint32_t>(bytes.size()), &done) &&
                  done == bytes.size();
  plat::closeFile(file);
  return ok;
}

std::string readWholeFile(const std::string& path) {
  plat::FileHandle file =
      plat::openFile(path.c_str(), plat::kGenericRead, plat::kShareRead | plat::kShareWrite,
                     plat::Disposition::OpenExisting);
  if (file == plat::invalidFile()) return {};
  std::string bytes(plat::fileSize(file), '\0');
  uint32_t done = 0;
  plat::readFile(file, bytes.data(), static_cast<uint32_t>(bytes.size()), &done);
  plat::closeFile(file);
  bytes.resize(done);
  return bytes;
}

void removeTree(const std::string& path) {
  std::string folder = path;
  if (!folder.empty() && folder.back() != '\\') folder += '\\';
  plat::FindData data;
  plat::FindHandle find = plat::findFirst((folder + "*").c_str(), &data);
  if (find != plat::invalidFile()) {
    do {
      const std::string name = data.name;
      if (name == "." || name == "..") continue;
      const std::string child = folder + name;
      if (data.attributes & plat::kAttrDirectory) {
        removeTree(child);
      } else {
        plat::setFileAttributes(child.c_str(), plat::kAttrNormal);
        plat::deleteFile(child.c_str());
      }
    } while (plat::findNext(find, &data));
    plat::findClose(find);
  }
  folder.pop_back();
  plat::removeDirectory(folder.c_str());
}

bool readOnlyFilesRefuseWriting() {
  static const bool refused = [] {
    TempDir dir;
    const std::string path = dir.file("probe.txt");
    if (!writeWholeFile(path, "probe") ||
        !plat::setFileAttributes(path.c_str(), plat::kAttrReadOnly))
      return false;
    plat::FileHandle file =
        plat::openFile(path.c_str(), plat::kGenericWrite, 0, plat::Disposition::OpenExisting);
    const bool opened = file != plat::invalidFile();
    if (opened) plat::closeFile(file);
    plat::setFileAttributes(path.c_str(), plat::kAttrNormal);
    return !opened;
  }();
  return refused;
}

}  // namespace afm3test
