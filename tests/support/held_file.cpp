#include "held_file.h"

#include "platform.h"
#include "temp_dir.h"

namespace afm3test {

namespace {

constexpr int kReadyWaitMs = 30000;

bool exists(const std::string& path) {
  return plat::fileAttributes(path.c_str()) != plat::kInvalidAttributes;
}

}  // namespace

int runPlatformChild(std::vector<std::string> args) {
  args.insert(args.begin(), "platform_child");
  return plat::runProcess(args);
}

HeldFile::HeldFile(const std::string& path, const std::string& access, const std::string& share,
                   uint64_t offset, uint64_t length)
    : path_(path) {
  child_ = std::thread([=, this] {
    result_ = runPlatformChild(
        {"hold", path, access, share, std::to_string(offset), std::to_string(length)});
  });
  for (int waited = 0; !exists(path_ + ".ready") && waited < kReadyWaitMs; waited += 10) {
    if (result_ >= 0) break;  // the child gave up early
    plat::sleepMs(10);
  }
  holding_ = exists(path_ + ".ready");
}

HeldFile::~HeldFile() { release(); }

int HeldFile::release() {
  if (child_.joinable()) {
    writeWholeFile(path_ + ".release", "");
    child_.join();
    plat::deleteFile((path_ + ".ready").c_str());
    plat::deleteFile((path_ + ".release").c_str());
  }
  holding_ = false;
  return result_;
}

}  // namespace afm3test
