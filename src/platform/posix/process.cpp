// Starting a program and waiting for it (tests and tools).
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "codepage.h"
#include "errors.h"
#include "modules.h"
#include "paths.h"
#include "platform.h"

extern char** environ;

namespace qwin {

namespace {

bool isExecutable(const std::string& host) {
  struct stat st {};
  return ::stat(host.c_str(), &st) == 0 && S_ISREG(st.st_mode) && (st.st_mode & 0111);
}

// The host file of a program named the Windows way: a Windows path, a host
// path, or a bare name (found beside the host executable). A ".exe" that
// does not exist stands for the same name without it.
std::string programFile(const std::string& name, bool* searchPath) {
  *searchPath = false;
  std::vector<std::string> candidates{name};
  if (name.size() > 4 && equalFolded(name.substr(name.size() - 4), ".exe"))
    candidates.push_back(name.substr(0, name.size() - 4));
  for (const std::string& candidate : candidates) {
    if (candidate[0] == '/' && candidate[1] != '/') {
      if (isExecutable(candidate)) return candidate;
    } else if (candidate.find_first_of("\\/:") != std::string::npos) {
      Resolved r;
      if (resolvePath(candidate.c_str(), &r) && r.exists && isExecutable(r.host)) return r.host;
    } else {
      const std::string folder = hostExecutableFolder();
      const std::string entry = findEntry(folder, candidate);
      if (!entry.empty() && isExecutable(joinHost(folder, entry))) return joinHost(folder, entry);
    }
  }
  // A bare name not beside the executable: the system's search path.
  const std::string& last = candidates.back();
  if (last.find_first_of("\\/:") == std::string::npos) {
    *searchPath = true;
    return last;
  }
  return {};
}

}  // namespace

}  // namespace qwin

namespace plat {

bool standardErrorIsTerminal() { return ::isatty(STDERR_FILENO) != 0; }

int runProcess(const std::vector<std::string>& argv) {
  if (argv.empty() || argv[0].empty()) return qwin::fail(kErrInvalidParameter), -1;
  bool searchPath = false;
  const std::string program = qwin::programFile(argv[0], &searchPath);
  if (program.empty()) return qwin::fail(kErrFileNotFound), -1;
  std::vector<std::string> args = argv;
  args[0] = program;
  std::vector<char*> pointers;
  for (std::string& arg : args) pointers.push_back(arg.data());
  pointers.push_back(nullptr);
  pid_t pid = 0;
  const int rc =
      searchPath ? ::posix_spawnp(&pid, program.c_str(), nullptr, nullptr, pointers.data(), environ)
                 : ::posix_spawn(&pid, program.c_str(), nullptr, nullptr, pointers.data(), environ);
  if (rc != 0) return qwin::fail(rc == ENOENT ? kErrFileNotFound : qwin::errorFromErrno(rc)), -1;
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return qwin::failErrno(), -1;
  }
  // A program killed by a signal has no exit code to report.
  if (!WIFEXITED(status)) return qwin::fail(kErrGenFailure), -1;
  return WEXITSTATUS(status);
}

}  // namespace plat
