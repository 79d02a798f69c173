// Converting an album of an older format: afm3ConvertAbmFile, and the
// folder question it asks when the old album's folder takes no new files
// (AskNewPathDlgProc).
//
// The old album is only read. The new one is built under the work name
// "~~tmpabm.ab3" in the target folder, closed, checked for integrity and
// only then renamed to its final name; so a conversion that fails or is
// stopped anywhere leaves the old album as it was and no new file under
// the final name. The old album is deleted (or the user asked) only after
// the rename.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "afm3.h"
#include "core/caller_path.h"
#include "core/error_mode.h"
#include "core/error_report.h"
#include "core/file_naming.h"
#include "core/library_state.h"
#include "core/paths.h"
#include "core/v2_layout.h"
#include "maintenance/album_check.h"
#include "maintenance/convert_album.h"
#include "maintenance/convert_run.h"
#include "maintenance/convert_shares.h"
#include "maintenance/old_albums.h"
#include "platform.h"
#include "q32comm.h"

namespace afm3 {

namespace {

constexpr Location kConvert{kModConvert, 8};
enum ConvertStep : uint32_t {
  kStepOpenOld = 1,
  kStepDiskSpace = 2,
  kStepIntegrity = 3,
  kStepRename = 4,
  kStepNaming = 5,
};
constexpr uint32_t kErrOpenOld = 6632;
constexpr uint32_t kMsgDeleteOld = 6445;
constexpr uint32_t kMsgFolderCaption = 6298;
constexpr uint32_t kMsgCreateFolder = 6299;
constexpr uint32_t kMsgFolderFailed = 6443;
constexpr int kAskNewPathDialog = 6101;
constexpr int kNewPathControl = 2001;
constexpr uint32_t kV2TitleBytes = 24;
constexpr const char* kWorkName = "~~tmpabm.ab3";
constexpr uint32_t kVersion10 = 0x100, kVersion12 = 0x102, kVersion2 = 0x200, kVersion3 = 0x300;

// Edit-control messages and notifications the folder question uses.
constexpr UINT kEmSetSel = 0x00B1;
constexpr UINT kEmLimitText = 0x00C5;
constexpr UINT kWmNextDlgCtl = 0x0028;
constexpr WORD kEnChange = 0x0300;

ConversionSummary& summary() {
  static ConversionSummary s;
  return s;
}

// ---- the folder question ----------------------------------------------------

struct FolderQuestion {
  char* buffer = nullptr;           // the caller's 260 bytes
  char lastChosen[kPathSize] = {};  // for the whole process
};

FolderQuestion& question() {
  static FolderQuestion q;
  return q;
}

std::string formatted(uint32_t id, const char* value) {
  char text[2 * kPathSize];
  const char* args[] = {value};
  formatMessage(id, args, 1, text, sizeof text);
  return text;
}

std::string message(uint32_t id) {
  char text[kPathSize];
  loadMessage(id, text, sizeof text);
  return text;
}

std::string firstLine(HWND dialog) {
  char text[kPathSize + 2] = {};
  plat::dialogItemText(dialog, kNewPathControl, text, sizeof text);
  return std::string(text, std::strcspn(text, "\r\n"));
}

// OK: an existing folder, or one the user lets us create, is the answer.
void answer(HWND dialog) {
  char full[kPathSize] = {};
  const std::string text = firstLine(dialog);
  const uint32_t length = plat::fullPathName(text.c_str(), full, sizeof full);
  if (length == 0 || length >= sizeof full) std::snprintf(full, sizeof full, "%s", text.c_str());
  if (!qfdIsDir(full)) {
    const std::string caption = message(kMsgFolderCaption);
    if (plat::messageBox(dialog, formatted(kMsgCreateFolder, full).c_str(), caption.c_str(),
                         MB_ICONQUESTION | MB_YESNO) != IDYES) {
      plat::sendMessage(dialog, kWmNextDlgCtl,
                        reinterpret_cast<WPARAM>(plat::dialogItem(dialog, kNewPathControl)), 1);
      plat::sendDialogItemMessage(dialog, kNewPathControl, kEmSetSel, 0, -1);
      return;
    }
    if (!qfdCreateDir(full)) {
      plat::messageBox(dialog, formatted(kMsgFolderFailed, full).c_str(), caption.c_str(),
                       MB_ICONWARNING);
      return;
    }
  }
  FolderQuestion& q = question();
  if (q.buffer != nullptr) std::snprintf(q.buffer, kPathSize, "%s", full);
  std::snprintf(q.lastChosen, sizeof q.lastChosen, "%s", full);
  plat::endDialog(dialog, IDOK);
}

// ---- the conversion -----------------------------------------------------------

// The old album's file, open for reading while the conversion runs.
class OldFile {
 public:
  explicit OldFile(const char* path)
      : file_(plat::openFile(path, plat::kGenericRead, plat::kShareRead | plat::kShareWrite,
                             plat::Disposition::OpenExisting)) {}
  ~OldFile() { close(); }
  OldFile(const OldFile&) = delete;
  OldFile& operator=(const OldFile&) = delete;
  bool ok() const { return file_ != plat::invalidFile(); }
  HANDLE get() const { return file_; }
  void close() {
    if (ok()) plat::closeFile(file_);
    file_ = plat::invalidFile();
  }

 private:
  HANDLE file_;
};

// Whether the folder takes new files: the work file is made and removed.
bool folderWritable(const std::string& folder) {
  const std::string probe = folder + kWorkName;
  HANDLE file =
      plat::openFile(probe.c_str(), plat::kGenericWrite, 0, plat::Disposition::CreateAlways);
  if (file == plat::invalidFile()) return false;
  plat::closeFile(file);
  plat::deleteFile(probe.c_str());
  return true;
}

// The new album's name: the old one's with the extension ".ab3".
std::string newFileName(const char* oldPath) {
  const char* slash = lastBackslash(oldPath);
  std::string name = slash != nullptr ? slash + 1 : oldPath;
  const size_t dot = name.rfind('.');
  if (dot != std::string::npos) name.resize(dot);
  return name + ".ab3";
}

bool enoughSpace(const char* newPath, uint32_t oldSize) {
  const double available = qfdGetDiskFreeSpace(newPath);
  const uint64_t twice = uint64_t{oldSize} * 2;
  if (available > static_cast<double>(twice)) return true;
  char freeText[24], twiceText[24];
  std::snprintf(freeText, sizeof freeText, "%llu",
                static_cast<unsigned long long>(available > 0 ? available : 0));
  std::snprintf(twiceText, sizeof twiceText, "%llu", static_cast<unsigned long long>(twice));
  const std::string root = pathRoot(newPath);
  const char* args[] = {freeText, root.c_str(), twiceText};
  char text[2 * kPathSize];
  formatMessage(kErrDiskSpaceFormat, args, 3, text, sizeof text);
  reportText(text, kConvert, kStepDiskSpace);
  return false;
}

// The built album must pass the integrity check before it takes its name.
bool passesCheck(const char* path) {
  HANDLE file =
      plat::openFile(path, plat::kGenericRead, plat::kShareRead, plat::Disposition::OpenExisting);
  if (file == plat::invalidFile()) {
    reportSystemError(plat::lastError(), kConvert, kStepIntegrity);
    return false;
  }
  std::vector<FoundProblem> problems;
  const CheckOutcome outcome = checkAlbum(file, &problems);
  plat::closeFile(file);
  if (outcome == CheckOutcome::Checked && problems.empty()) return true;
  char text[2 * kPathSize];
  std::snprintf(text, sizeof text, "The converted album did not pass the integrity check: %s",
                problems.empty() ? "" : problems.front().problem.text);
  reportText(text, kConvert, kStepIntegrity);
  return false;
}

// Points the carried-over mark file at the new album.
void adoptMarkFile(const ConvertJob& job, const char* newPath, const uint8_t* header) {
  if (job.markFile.empty()) return;
  char mark[kPathSize];
  std::snprintf(mark, sizeof mark, "%s", job.markFile.c_str());
  char shortPath[kPathSize] = {};
  const uint32_t n = plat::shortPathName(newPath, shortPath, sizeof shortPath);
  if (n == 0 || n >= sizeof shortPath) std::snprintf(shortPath, sizeof shortPath, "%s", newPath);
  char title[kV2TitleBytes + 1] = {};
  std::memcpy(title, header + kV2TitleOffset, kV2TitleBytes);
  afm3UpdateMarkFileInfo(libraryState().module, mark, nullptr, shortPath, title);
}

// Builds the new album under the work name and gives it its final name.
int convertInto(HANDLE oldFile, uint32_t version, const uint8_t* header, const std::string& work,
                const char* newPath, ConvertJob& job) {
  job.workPath = work.c_str();
  const int result = version == kVersion2 ? convertVersion2(oldFile, header, job)
                                          : convertVersion1(oldFile, header, job);
  if (result != 1) return result;
  bool named = passesCheck(work.c_str());
  if (named && !plat::moveFile(work.c_str(), newPath)) {
    reportSystemError(plat::lastError(), kConvert, kStepRename);
    named = false;
  }
  if (!named) {
    plat::deleteFile(work.c_str());
    if (job.markFileCopied) plat::deleteFile(job.markFile.c_str());
    return 0;
  }
  if (version == kVersion2) adoptMarkFile(job, newPath, header);
  return 1;
}

// The delete question's caption: the library file's name up to its dot.
std::string libraryName() {
  char path[kPathSize] = {};
  plat::moduleFileName(libraryState().module, path, sizeof path);
  const char* slash = lastBackslash(path);
  std::string name = slash != nullptr ? slash + 1 : path;
  return name.substr(0, name.find('.'));
}

void offerDeletion(HWND parent, const char* oldPath, bool deleteOld) {
  if (!deleteOld) {
    const std::string caption = libraryName();
    if (plat::messageBox(parent, formatted(kMsgDeleteOld, oldPath).c_str(), caption.c_str(),
                         MB_ICONQUESTION | MB_YESNO) != IDYES)
      return;
  }
  plat::deleteFile(oldPath);
}

void copyOut(char* out, const char* path) {
  if (out != nullptr) std::snprintf(out, kPathSize, "%s", path);
}

int convertAlbumFile(HWND parent, const char* oldPath, const char* callerOldPath, char* newPathOut,
                     HWND progressWindow, bool deleteOld) {
  summary() = ConversionSummary{};
  discoverSharesOnce();
  if (newPathOut != nullptr) newPathOut[0] = '\0';
  char folder[kPathSize] = {};
  folderOf(oldPath, folder, sizeof folder);
  std::string target = folder;
  bool moved = false;
  if (!folderWritable(target)) {
    char chosen[kPathSize];
    std::snprintf(chosen, sizeof chosen, "%s", folder);
    qfdDelSlash(chosen);
    if (plat::dialogBox(libraryState().resources, kAskNewPathDialog, parent, AskNewPathDlgProc,
                        reinterpret_cast<LPARAM>(chosen)) != IDOK)
      return -1;
    qfdAddSlash(chosen);
    target = chosen;
    moved = true;
  }
  char newPath[kPathSize];
  if (target.size() + newFileName(oldPath).size() >= sizeof newPath) {
    reportError(kErrNameTooLong, kConvert, kStepNaming);
    return 0;
  }
  std::snprintf(newPath, sizeof newPath, "%s%s", target.c_str(), newFileName(oldPath).c_str());
  if (fileExists(newPath) && !makeUniqueName(newPath, "ab3", namingModeFor(newPath))) return 0;

  OldFile old(oldPath);
  if (!old.ok()) {
    reportError(kErrOpenOld, kConvert, kStepOpenOld);
    return 0;
  }
  const uint32_t oldSize = plat::fileSize(old.get());
  if (!enoughSpace(newPath, oldSize == 0xFFFFFFFFu ? 0 : oldSize)) return 0;
  std::vector<uint8_t> header(kV2HeaderSize, 0);
  const uint32_t version = afm3CheckAlbum(0, 0, old.get(), nullptr, header.data());
  if (version == kVersion3) {
    copyOut(newPathOut, callerOldPath);
    return 1;
  }
  if (version != kVersion10 && version != kVersion12 && version != kVersion2) return 0;
  ConvertJob job;
  job.oldPath = oldPath;
  job.progressWindow = progressWindow;
  const int result =
      convertInto(old.get(), version, header.data(), target + kWorkName, newPath, job);
  old.close();
  summary() = ConversionSummary{job.converted, job.droppedImages};
  if (result != 1) return result;
  copyOut(newPathOut, newPath);
  const uint32_t attributes = plat::fileAttributes(oldPath);
  if (moved || (attributes != plat::kInvalidAttributes && (attributes & plat::kAttrReadOnly)))
    return 1;
  offerDeletion(parent, oldPath, deleteOld);
  return 1;
}

}  // namespace

ConversionSummary lastConversion() { return summary(); }

void forgetChosenFolder() { question().lastChosen[0] = '\0'; }

}  // namespace afm3

using namespace afm3;

extern "C" int WINAPI afm3ConvertAbmFile(HINSTANCE, HWND parent, LPCSTR oldPath, LPSTR newPathOut,
                                         HWND progressWindow, BOOL deleteOldAlbum) {
  ErrorModeGuard errorMode;
  if (newPathOut != nullptr) newPathOut[0] = '\0';
  const CallerPath old(oldPath);
  if (old.get() == nullptr || std::strlen(old.get()) >= kPathSize) {
    reportError(kErrOpenOld, kConvert, kStepOpenOld);
    return 0;
  }
  return convertAlbumFile(parent, old.get(), oldPath, newPathOut, progressWindow,
                          deleteOldAlbum != FALSE);
}

extern "C" INT_PTR CALLBACK AskNewPathDlgProc(HWND dialog, UINT message, WPARAM wParam,
                                              LPARAM lParam) {
  FolderQuestion& q = question();
  switch (message) {
    case WM_INITDIALOG:
      q.buffer = reinterpret_cast<char*>(lParam);
      plat::sendDialogItemMessage(dialog, kNewPathControl, kEmLimitText, kPathSize, 0);
      plat::setDialogItemText(dialog, kNewPathControl,
                              q.lastChosen[0] != '\0' ? q.lastChosen
                              : q.buffer != nullptr   ? q.buffer
                                                      : "");
      return 1;
    case WM_COMMAND:
      if (LOWORD(wParam) == kNewPathControl && HIWORD(wParam) == kEnChange) {
        plat::enableWindow(plat::dialogItem(dialog, IDOK), !firstLine(dialog).empty());
      } else if (LOWORD(wParam) == IDOK) {
        answer(dialog);
      } else if (LOWORD(wParam) == IDCANCEL) {
        plat::endDialog(dialog, IDCANCEL);
      }
      return 1;
    default:
      return 0;
  }
}
