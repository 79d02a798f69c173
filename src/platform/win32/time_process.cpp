// Clock, time conversions, sleeping and child processes on the Win32 API.
#include <string>

#include "platform.h"
#include "win32_util.h"

namespace plat {

using win32::fromFileTime;
using win32::toFileTime;

namespace {

// Appends one argument so that the C runtime's command-line parser gives it
// back unchanged: quoted when it is empty or holds blanks or quotes; inside
// the quotes a run of backslashes is doubled when a quote follows it, and
// every quote is escaped.
void appendArgument(const std::string& argument, std::string* line) {
  if (!line->empty()) line->push_back(' ');
  if (!argument.empty() && argument.find_first_of(" \t\n\v\"") == std::string::npos) {
    line->append(argument);
    return;
  }
  line->push_back('"');
  size_t backslashes = 0;
  for (const char c : argument) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    if (c == '"') {
      line->append(backslashes * 2 + 1, '\\');
    } else {
      line->append(backslashes, '\\');
    }
    backslashes = 0;
    line->push_back(c);
  }
  line->append(backslashes * 2, '\\');
  line->push_back('"');
}

}  // namespace

uint64_t systemTimeAsFileTime() {
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  return fromFileTime(now);
}

bool fileTimeToLocal(uint64_t utc, uint64_t* local) {
  const FILETIME from = toFileTime(utc);
  FILETIME to;
  if (!FileTimeToLocalFileTime(&from, &to)) return false;
  *local = fromFileTime(to);
  return true;
}

bool localFileTimeToUtc(uint64_t local, uint64_t* utc) {
  const FILETIME from = toFileTime(local);
  FILETIME to;
  if (!LocalFileTimeToFileTime(&from, &to)) return false;
  *utc = fromFileTime(to);
  return true;
}

bool fileTimeToDosDateTime(uint64_t fileTime, uint16_t* dosDate, uint16_t* dosTime) {
  const FILETIME from = toFileTime(fileTime);
  WORD date = 0, time = 0;
  if (!FileTimeToDosDateTime(&from, &date, &time)) return false;
  *dosDate = date;
  *dosTime = time;
  return true;
}

bool dosDateTimeToFileTime(uint16_t dosDate, uint16_t dosTime, uint64_t* fileTime) {
  FILETIME to;
  if (!DosDateTimeToFileTime(dosDate, dosTime, &to)) return false;
  *fileTime = fromFileTime(to);
  return true;
}

void sleepMs(uint32_t milliseconds) { Sleep(milliseconds); }
uint32_t tickCount() { return GetTickCount(); }

bool standardErrorIsTerminal() {
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != FALSE;
}

int runProcess(const std::vector<std::string>& argv) {
  if (argv.empty()) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return -1;
  }
  // The program name is parsed without escapes: quotes only group.
  std::string line;
  if (argv[0].find_first_of(" \t") != std::string::npos) {
    line = '"' + argv[0] + '"';
  } else {
    line = argv[0];
  }
  for (size_t i = 1; i < argv.size(); ++i) appendArgument(argv[i], &line);

  // The child writes to our standard handles, so its output lands where
  // ours does (a test log, a console).
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION process = {};
  if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                      &process)) {
    return -1;
  }
  CloseHandle(process.hThread);
  DWORD exitCode = 0;
  const bool finished = WaitForSingleObject(process.hProcess, INFINITE) == WAIT_OBJECT_0 &&
                        GetExitCodeProcess(process.hProcess, &exitCode);
  win32::KeepLastError keep;
  CloseHandle(process.hProcess);
  return finished ? static_cast<int>(exitCode) : -1;
}

}  // namespace plat
