// The operating-system services the album library and its siblings use.
//
// Two backends implement this interface: win32/ on the real Windows API and
// posix/ on an emulation of the Windows behaviour the library relies on
// (share modes, mandatory byte-range locks, drive and UNC paths, the global
// heap, window messages, headless dialogs). Paths are Windows paths ("X:\dir\f"
// or "\\server\share\dir") in the ANSI code page. Every failing call leaves
// a Windows error number for lastError(); nothing else reports errors.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "afm3_types.h"

namespace plat {

// ---- Windows error numbers the library tests for -------------------------
enum WinError : uint32_t {
  kErrSuccess = 0,
  kErrFileNotFound = 2,
  kErrPathNotFound = 3,
  kErrTooManyOpenFiles = 4,
  kErrAccessDenied = 5,
  kErrInvalidHandle = 6,
  kErrNotEnoughMemory = 8,
  kErrInvalidDrive = 15,
  kErrNoMoreFiles = 18,
  kErrWriteProtect = 19,
  kErrNotReady = 21,
  kErrCrc = 23,
  kErrSeek = 25,
  kErrSectorNotFound = 27,
  kErrWriteFault = 29,
  kErrReadFault = 30,
  kErrGenFailure = 31,
  kErrSharingViolation = 32,
  kErrLockViolation = 33,
  kErrHandleEof = 38,
  kErrBadNetPath = 53,
  kErrNetworkBusy = 54,
  kErrDevNotExist = 55,
  kErrUnexpNetErr = 59,
  kErrNetNameDeleted = 64,
  kErrBadDevType = 66,
  kErrBadNetName = 67,
  kErrFileExists = 80,
  kErrInvalidParameter = 87,
  kErrDiskFull = 112,
  kErrInsufficientBuffer = 122,
  kErrInvalidName = 123,
  kErrModNotFound = 126,
  kErrProcNotFound = 127,
  kErrNegativeSeek = 131,
  kErrDirNotEmpty = 145,
  kErrNotLocked = 158,
  kErrSignalPending = 162,
  kErrAlreadyExists = 183,
  kErrFilenameExcedRange = 206,
  kErrNotConnected = 2250,
};

uint32_t lastError();
void setLastError(uint32_t code);

// ---- error mode ------------------------------------------------------------
uint32_t setErrorMode(uint32_t mode);  // returns the previous mode

// ---- files -----------------------------------------------------------------
using FileHandle = HANDLE;  // invalidFile() on failure
FileHandle invalidFile();

enum : uint32_t {
  kGenericRead = 0x80000000u,
  kGenericWrite = 0x40000000u,
  kShareRead = 0x1,
  kShareWrite = 0x2,
  kShareDelete = 0x4,
};
enum class Disposition : uint32_t {
  CreateNew = 1,
  CreateAlways = 2,
  OpenExisting = 3,
  OpenAlways = 4,
  TruncateExisting = 5,
};
enum : uint32_t {
  kAttrReadOnly = 0x01,
  kAttrHidden = 0x02,
  kAttrDirectory = 0x10,
  kAttrArchive = 0x20,
  kAttrNormal = 0x80,
  kInvalidAttributes = 0xFFFFFFFFu,
};
enum class SeekFrom : uint32_t { Begin = 0, Current = 1, End = 2 };

FileHandle openFile(const char* path, uint32_t access, uint32_t shareMode, Disposition disposition,
                    uint32_t attributes = kAttrNormal);
bool closeFile(FileHandle file);
// Reads and writes report the bytes moved even when they fail part-way.
bool readFile(FileHandle file, void* buffer, uint32_t count, uint32_t* done);
bool writeFile(FileHandle file, const void* buffer, uint32_t count, uint32_t* done);
// Moves the file pointer; returns the new position, or 0xFFFFFFFF on failure.
uint32_t seekFile(FileHandle file, int64_t distance, SeekFrom from);
uint32_t fileSize(FileHandle file);  // 0xFFFFFFFF on failure
bool flushFile(FileHandle file);
bool setEndOfFile(FileHandle file);  // truncates or extends at the file pointer
// Byte-range locks with Windows semantics: mandatory for other handles
// (their overlapping reads and writes fail with error 33), never waiting,
// and a second overlapping lock fails even on the same handle.
bool lockFile(FileHandle file, uint64_t offset, uint64_t length);
bool unlockFile(FileHandle file, uint64_t offset, uint64_t length);
// Whether locks also refuse other handles' reads and writes. Windows and the
// POSIX emulation do; Wine refuses only overlapping locks.
bool locksBindReadsAndWrites();
// Last-write time of an open file as a Windows FILETIME (UTC, 100 ns units
// since 1601).
bool fileTimes(FileHandle file, uint64_t* creation, uint64_t* lastAccess, uint64_t* lastWrite);

bool deleteFile(const char* path);
bool moveFile(const char* from, const char* to);
bool copyFile(const char* from, const char* to, bool failIfExists);
uint32_t fileAttributes(const char* path);  // kInvalidAttributes when missing
bool setFileAttributes(const char* path, uint32_t attributes);
bool createDirectory(const char* path);
bool removeDirectory(const char* path);

struct FindData {
  uint32_t attributes = 0;
  uint64_t size = 0;
  uint64_t creationTime = 0;
  uint64_t lastWriteTime = 0;
  char name[MAX_PATH] = {};
  char alternateName[14] = {};  // 8.3 name when the long name is not 8.3, else empty
};
using FindHandle = HANDLE;  // invalidFile() when nothing is found
FindHandle findFirst(const char* pattern, FindData* data);
bool findNext(FindHandle find, FindData* data);
bool findClose(FindHandle find);

// ---- volumes and paths -----------------------------------------------------
struct VolumeInfo {
  char label[33] = {};
  uint32_t serial = 0;
  uint32_t maxComponentLength = 0;
  uint32_t fileSystemFlags = 0;
  char fileSystemName[33] = {};
};
// root: "X:\" or "\\server\share\"
bool volumeInformation(const char* root, VolumeInfo* info);
uint32_t driveType(const char* root);  // 0 unknown, 1 no root, 2..6 as Windows
bool diskFreeSpace(const char* path, uint64_t* freeBytesForCaller);
// Return the length written (without the NUL), the size needed when the
// buffer is too small, or 0 on failure.
uint32_t shortPathName(const char* longPath, char* out, uint32_t size);
uint32_t longPathName(const char* shortPath, char* out, uint32_t size);
uint32_t fullPathName(const char* path, char* out, uint32_t size);
uint32_t currentDirectory(char* out, uint32_t size);
// Paths at the library's boundary. A host names files its own way; inside
// the library every path has one form, the Windows form. On Windows both
// calls copy the path unchanged. Elsewhere libraryPathOf turns a host path
// (no backslash, no drive: "/home/me/a.ab3", or relative — "a.ab3",
// "albums/a.ab3", "../a.ab3" — against the process's current folder) into
// the drive path the volume table maps it to ("Z:\\home\\me\\a.ab3"), a
// trailing '/' becoming a trailing backslash; drive and UNC paths, and
// Windows paths relative to a folder or root, are kept. hostPathOf turns a
// drive or UNC path on a mapped volume or share back into the host path.
// Both return false (error 206) when the result does not fit size, or for a
// null path.
bool libraryPathOf(const char* hostPath, char* out, uint32_t size);
bool hostPathOf(const char* libraryPath, char* out, uint32_t size);
bool setCurrentDirectory(const char* path);
// The per-user application-data folder (without trailing backslash).
uint32_t appDataFolder(char* out, uint32_t size);
uint32_t tempFolder(char* out, uint32_t size);  // with trailing backslash

// ---- time ------------------------------------------------------------------
uint64_t systemTimeAsFileTime();
bool fileTimeToLocal(uint64_t utc, uint64_t* local);
bool localFileTimeToUtc(uint64_t local, uint64_t* utc);
bool fileTimeToDosDateTime(uint64_t fileTime, uint16_t* dosDate, uint16_t* dosTime);
bool dosDateTimeToFileTime(uint16_t dosDate, uint16_t dosTime, uint64_t* fileTime);
void sleepMs(uint32_t milliseconds);
uint32_t tickCount();

// ---- memory: the Windows global heap -------------------------------------
enum : uint32_t {
  kGmemFixed = 0x0000,
  kGmemMoveable = 0x0002,
  kGmemZeroInit = 0x0040,
  kGmemModify = 0x0080,
  kGhnd = kGmemMoveable | kGmemZeroInit,
};
HGLOBAL globalAlloc(uint32_t flags, size_t bytes);
void* globalLock(HGLOBAL mem);
bool globalUnlock(HGLOBAL mem);
HGLOBAL globalReAlloc(HGLOBAL mem, size_t bytes, uint32_t flags);
size_t globalSize(HGLOBAL mem);
HGLOBAL globalHandle(const void* pointer);
HGLOBAL globalFree(HGLOBAL mem);  // null on success, mem on failure

// ---- modules ---------------------------------------------------------------
// Library names are Windows file names ("q32zlib.dll", or a full path).
// Outside Windows "NAME.dll" is looked up as "libNAME.so": a bare name in
// the host executable's folder, then in this library's folder, then by the
// system loader; a path names the file in that folder.
HMODULE loadLibrary(const char* name);
void* procAddress(HMODULE module, const char* name);
bool freeLibrary(HMODULE module);
// The Windows path of a module's file; a null module names the host
// executable.
uint32_t moduleFileName(HMODULE module, char* out, uint32_t size);
// The module that holds the code at address (used to find a library's own
// handle and folder).
HMODULE moduleOf(const void* address);

// ---- strings and characters ----------------------------------------------
// Loads string resource id of the resource library; returns its length
// (truncated to size - 1), 0 when there is none.
int loadString(HMODULE resources, uint32_t id, char* out, int size);
// The next character of an ANSI string in the current code page (a
// double-byte character is two bytes); never steps past the NUL.
const char* charNext(const char* s);
const char* charPrev(const char* start, const char* s);
bool isDbcsLeadByte(uint8_t byte);
uint32_t ansiCodePage();
void charUpper(char* s);  // in place, ANSI
void charLower(char* s);
// Case-insensitive comparison in the ANSI code page, as lstrcmpiA.
int compareNoCase(const char* a, const char* b);

// ---- profile, registry, computer -----------------------------------------
uint32_t profileString(const char* section, const char* key, const char* fallback, char* out,
                       uint32_t size);
int profileInt(const char* section, const char* key, int fallback);
enum class RegistryRoot { LocalMachine, CurrentUser };
// Names of the sub-keys of a key; false when the key does not exist.
bool registrySubKeys(RegistryRoot root, const char* keyPath, std::vector<std::string>* names);
bool registryString(RegistryRoot root, const char* keyPath, const char* valueName,
                    std::string* value);
// The values of a key, names with their raw data (a multi-string keeps its
// NULs); false when the key does not exist.
struct RegistryValue {
  std::string name;
  std::string data;
};
bool registryValues(RegistryRoot root, const char* keyPath, std::vector<RegistryValue>* values);
bool computerName(char* out, uint32_t size);

// ---- network -----------------------------------------------------------
// Connects "\\server\share..." with default credentials and no local device;
// returns a Windows error (0 on success).
uint32_t connectNetworkPath(const char* remotePath);
// The remote name of a drive ("X:"); returns a Windows error.
uint32_t networkConnectionName(const char* localDrive, char* out, uint32_t size);

// ---- windows, messages and dialogs ---------------------------------------
UINT registerWindowMessage(const char* name);
LRESULT sendMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
bool postMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
bool isWindow(HWND window);
bool destroyWindow(HWND window);
bool setWindowText(HWND window, const char* text);
int windowText(HWND window, char* out, int size);
bool enableWindow(HWND window, bool enable);
bool showWindow(HWND window, bool show);

INT_PTR dialogBox(HMODULE resources, int templateId, HWND parent, DLGPROC proc, LPARAM param);
HWND createDialog(HMODULE resources, int templateId, HWND parent, DLGPROC proc, LPARAM param);
bool endDialog(HWND dialog, INT_PTR result);
HWND dialogItem(HWND dialog, int id);
bool setDialogItemText(HWND dialog, int id, const char* text);
uint32_t dialogItemText(HWND dialog, int id, char* out, int size);
LRESULT sendDialogItemMessage(HWND dialog, int id, UINT message, WPARAM wParam, LPARAM lParam);
bool checkDialogButton(HWND dialog, int id, bool checked);
bool isDialogButtonChecked(HWND dialog, int id);
int messageBox(HWND owner, const char* text, const char* caption, uint32_t type);
// The directory dialog: path receives the chosen folder (260 characters);
// false when the user cancels.
bool browseForFolder(HWND owner, const char* title, char* path);

// Screen metrics for the bitmaps the library builds.
int screenPixelsPerInch();

// A window that only receives messages (hosts and tests use it to hear
// the library's notifications); userData is kept for windowData.
HWND createMessageWindow(WNDPROC proc, void* userData);
void* windowData(HWND window);

// ---- processes (tests and tools) -----------------------------------------
// Whether the process's standard error is a terminal (progress bars).
bool standardErrorIsTerminal();
// Runs a program with arguments and waits; returns its exit code, or -1
// when it could not be started.
int runProcess(const std::vector<std::string>& argv);

}  // namespace plat
