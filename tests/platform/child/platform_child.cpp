// The second process of the platform tests. Each command does one thing to
// a file and exits with the Windows error it met (0 for success), so the
// parent can check how its own opens and locks look from another process.
//
//   open PATH ACCESS SHARE         open an existing file
//   read PATH OFFSET COUNT         read through a new handle
//   write PATH OFFSET COUNT        write through a new handle
//   lock PATH OFFSET LENGTH        lock a range through a new handle
//   delete PATH                    delete the file
//   hold PATH ACCESS SHARE OFFSET LENGTH
//                                  open (and lock when LENGTH > 0), create
//                                  PATH.ready, wait for PATH.release
//   echo PATH ARG...               write the arguments, one a line, to PATH
//   exit CODE                      exit with CODE
// ACCESS is made of the letters r and w, SHARE of r, w and d; "-" is none.
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform.h"

namespace {

constexpr int kUsage = 250;

uint32_t accessOf(const std::string& letters) {
  uint32_t access = 0;
  if (letters.find('r') != std::string::npos) access |= plat::kGenericRead;
  if (letters.find('w') != std::string::npos) access |= plat::kGenericWrite;
  return access;
}

uint32_t shareOf(const std::string& letters) {
  uint32_t share = 0;
  if (letters.find('r') != std::string::npos) share |= plat::kShareRead;
  if (letters.find('w') != std::string::npos) share |= plat::kShareWrite;
  if (letters.find('d') != std::string::npos) share |= plat::kShareDelete;
  return share;
}

// Exit codes are bytes on some systems; every error the tests expect fits.
int failure() {
  const uint32_t error = plat::lastError();
  return error == 0 ? 254 : (error > 253 ? 253 : static_cast<int>(error));
}

plat::FileHandle openShared(const char* path, uint32_t access) {
  return plat::openFile(path, access, plat::kShareRead | plat::kShareWrite | plat::kShareDelete,
                        plat::Disposition::OpenExisting);
}

int transfer(const char* path, bool write, uint32_t offset, uint32_t count) {
  plat::FileHandle file = openShared(path, write ? plat::kGenericWrite : plat::kGenericRead);
  if (file == plat::invalidFile()) return failure();
  std::vector<char> buffer(count, 'c');
  uint32_t done = 0;
  int result = 0;
  if (plat::seekFile(file, offset, plat::SeekFrom::Begin) != offset) {
    result = failure();
  } else if (!(write ? plat::writeFile(file, buffer.data(), count, &done)
                     : plat::readFile(file, buffer.data(), count, &done))) {
    result = failure();
  }
  plat::closeFile(file);
  return result;
}

bool exists(const std::string& path) {
  return plat::fileAttributes(path.c_str()) != plat::kInvalidAttributes;
}

bool touch(const std::string& path) {
  plat::FileHandle file =
      plat::openFile(path.c_str(), plat::kGenericWrite, 0, plat::Disposition::CreateAlways);
  if (file == plat::invalidFile()) return false;
  plat::closeFile(file);
  return true;
}

int hold(const char* path, uint32_t access, uint32_t share, uint64_t offset, uint64_t length) {
  plat::FileHandle file = plat::openFile(path, access, share, plat::Disposition::OpenExisting);
  if (file == plat::invalidFile()) return failure();
  if (length > 0 && !plat::lockFile(file, offset, length)) return failure();
  if (!touch(std::string(path) + ".ready")) return failure();
  // The parent has a minute to do its checks.
  const std::string release = std::string(path) + ".release";
  for (int waited = 0; !exists(release) && waited < 60000; waited += 10) plat::sleepMs(10);
  plat::closeFile(file);
  return 0;
}

int echo(const char* path, const std::vector<std::string>& args) {
  std::string text;
  for (const std::string& arg : args) text += arg + "\n";
  plat::FileHandle file =
      plat::openFile(path, plat::kGenericWrite, 0, plat::Disposition::CreateAlways);
  if (file == plat::invalidFile()) return failure();
  uint32_t done = 0;
  const bool ok = plat::writeFile(file, text.data(), static_cast<uint32_t>(text.size()), &done);
  plat::closeFile(file);
  return ok ? 0 : failure();
}

uint64_t number(const char* text) { return std::strtoull(text, nullptr, 0); }

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return kUsage;
  const std::string command = argv[1];
  const char* path = argv[2];
  if (command == "exit") return static_cast<int>(number(path));
  if (command == "open" && argc == 5) {
    plat::FileHandle file =
        plat::openFile(path, accessOf(argv[3]), shareOf(argv[4]), plat::Disposition::OpenExisting);
    if (file == plat::invalidFile()) return failure();
    plat::closeFile(file);
    return 0;
  }
  if ((command == "read" || command == "write") && argc == 5)
    return transfer(path, command == "write", static_cast<uint32_t>(number(argv[3])),
                    static_cast<uint32_t>(number(argv[4])));
  if (command == "lock" && argc == 5) {
    plat::FileHandle file = openShared(path, plat::kGenericRead | plat::kGenericWrite);
    if (file == plat::invalidFile()) return failure();
    const int result = plat::lockFile(file, number(argv[3]), number(argv[4])) ? 0 : failure();
    plat::closeFile(file);
    return result;
  }
  if (command == "delete" && argc == 3) return plat::deleteFile(path) ? 0 : failure();
  if (command == "hold" && argc == 7)
    return hold(path, accessOf(argv[3]), shareOf(argv[4]), number(argv[5]), number(argv[6]));
  if (command == "echo") return echo(path, std::vector<std::string>(argv + 3, argv + argc));
  return kUsage;
}
