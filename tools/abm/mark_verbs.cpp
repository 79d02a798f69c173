// The marks verb. An album's thumb-mark file holds up to 26 named marks
// for picture files; a picture is known by its short path (with its volume
// label on removable media), the way the album's records keep it.
//
//   marks names ALBUM                 the mark file and its named marks
//   marks name ALBUM N NAME           names mark N (0 to 25); "" clears it
//   marks mark ALBUM MARK TARGET...   marks pictures: TARGET is a record
//   marks unmark ALBUM MARK TARGET... number or a picture file
//   marks list ALBUM                  marked pictures and their marks
//
// The mark file is the one the library finds for the album; the verbs that
// change marks have the library make one when the album has none.
#include "mark_verbs.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "afm3.h"
#include "afm3_bytes.h"
#include "album_session.h"
#include "album_verbs.h"
#include "host_paths.h"
#include "picture_sources.h"
#include "platform.h"
#include "q32comm.h"
#include "record_entry.h"

namespace abm {

namespace {

constexpr DWORD kVersion3 = 0x300;
constexpr DWORD kVersion2 = 0x200;
constexpr DWORD kHeaderBytes = 4784;
constexpr size_t kVersion2Title = 10;
constexpr size_t kTitleSize = 24;
constexpr unsigned kMarkCount = 26;
constexpr size_t kNameSize = 32;
constexpr size_t kPathRoom = 128;  // a mark record's path field
constexpr DWORD kOpenToRead = AFM3_OPEN_READ_ONLY | AFM3_OPEN_SHARE_READ_WRITE;

int failWith(const std::string& message) {
  std::fprintf(stderr, "abm marks: %s\n", message.c_str());
  return 1;
}

std::string cString(const unsigned char* p, size_t size) {
  return std::string(reinterpret_cast<const char*>(p),
                     strnlen(reinterpret_cast<const char*>(p), size));
}

// The album, open to read, and its mark file.
class MarkSession {
 public:
  ~MarkSession() {
    if (album_ != nullptr) afm3CloseAlbum(toolOwnerKey(), album_);
  }
  // Opens the album and finds its mark file; with create the library makes
  // one when there is none. Returns 0, or the exit status after a report.
  int open(const std::string& shellAlbum, bool create) {
    const std::string path = toLibraryPath(shellAlbum);
    std::vector<unsigned char> header(kHeaderBytes);
    c32ClearDLLErrInfo();
    const DWORD version = afm3CheckAlbum(0, 0, nullptr, path.c_str(), header.data());
    if (version != kVersion3 && version != kVersion2) {
      if (version == 0) return failWithLastError("check " + shellAlbum);
      return failWith(shellAlbum + " is an album of an older format; convert it first");
    }
    const std::string title = version == kVersion3
                                  ? cString(&header[AFM3_INFO_TITLE], kTitleSize) +
                                        cString(&header[AFM3_INFO_TITLE_TAIL],
                                                AFM3_ALBUM_INFO_SIZE - AFM3_INFO_TITLE_TAIL)
                                  : cString(&header[kVersion2Title], kTitleSize);
    char markPath[AFM3_MAX_PATH] = {};
    const bool found = afm3GetRightMarkFile(toolOwnerKey(), path.c_str(), title.c_str(), markPath,
                                            version == kVersion2) != FALSE;
    // Opening with a mark path keeps a valid one and makes one otherwise.
    if (afm3OpenAlbum(toolOwnerKey(), path.c_str(), kOpenToRead, &album_,
                      found || create ? markPath : nullptr, nullptr, nullptr) == AFM3_OPEN_FAILED) {
      album_ = nullptr;
      return failWithLastError("open " + shellAlbum);
    }
    if (found || create) markPath_ = markPath;
    return 0;
  }
  HANDLE album() const { return album_; }
  const std::string& markPath() const { return markPath_; }

 private:
  HANDLE album_ = nullptr;
  std::string markPath_;
};

// A picture as a mark record names it.
struct MarkTarget {
  std::string path;
  std::string label;
  uint8_t driveType = kDriveFixed;
};

bool isNumber(const std::string& text) {
  return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
}

// The short path when it fits a mark record, else the full one.
bool fitPath(const std::string& shortPath, const std::string& fullPath, MarkTarget* target) {
  target->path = !shortPath.empty() && shortPath.size() < kPathRoom ? shortPath : fullPath;
  return target->path.size() < kPathRoom;
}

// Fills target for a record number or a picture file. Returns -1 when
// ready, else the exit status after saying why.
int targetOf(const MarkSession& session, const std::string& text, MarkTarget* target) {
  if (isNumber(text)) {
    uint16_t record = 0;
    if (!parseRecordNumber(text, &record)) return failWith("a record number is 0 to 65534");
    RecordPresence presence;
    if (const int status = lookUpRecord("marks", session.album(), record, false, &presence);
        status >= 0)
      return status;
    unsigned char entry[AFM3_RECORD_ENTRY_SIZE] = {};
    char full[AFM3_MAX_PATH] = {};
    if (!afm3ReadRecordPic(toolOwnerKey(), session.album(), record, entry, full, sizeof full, 0,
                           nullptr))
      return failWithLastError("read the picture of record " + text);
    target->driveType = entry[AFM3_ENTRY_DRIVE_TYPE];
    target->label = cString(entry + AFM3_ENTRY_LABEL, AFM3_ENTRY_LABEL_SIZE);
    const std::string shortPath =
        cString(entry + AFM3_ENTRY_SHORT_PATH, AFM3_ENTRY_SHORT_PATH_SIZE);
    return fitPath(shortPath, full, target) ? -1
                                            : failWith("record " + text + ": its path is too long");
  }
  PictureFacts facts;
  std::string problem;
  if (!pictureFacts(text, &facts, &problem)) return failWith(text + ": " + problem);
  target->driveType = facts.driveType;
  target->label = facts.label.substr(0, AFM3_ENTRY_LABEL_SIZE - 1);
  return fitPath(upperCasePath(facts.shortPath), upperCasePath(facts.fullPath), target)
             ? -1
             : failWith(text + ": the path is too long");
}

bool readNames(const std::string& markPath, std::vector<unsigned char>* names) {
  names->assign(AFM3_MARK_NAMES_SIZE, 0);
  return afm3GetMarkFileInfo(toolOwnerKey(), markPath.c_str(), names->data(), nullptr, nullptr) !=
         FALSE;
}

std::string nameOf(const std::vector<unsigned char>& names, unsigned mark) {
  return cString(names.data() + mark * kNameSize, kNameSize);
}

// MARK: a number 0 to 25, or the name of a mark (exactly, else ignoring
// case); -1 when it names none.
int markOf(const std::vector<unsigned char>& names, const std::string& text) {
  if (isNumber(text)) {
    const unsigned long n = std::strtoul(text.c_str(), nullptr, 10);
    return text.size() <= 2 && n < kMarkCount ? static_cast<int>(n) : -1;
  }
  for (bool exact : {true, false}) {
    for (unsigned i = 0; i < kMarkCount; ++i) {
      const std::string name = nameOf(names, i);
      if (name.empty() || name.size() != text.size()) continue;
      if (exact ? name == text
                : std::equal(name.begin(), name.end(), text.begin(), [](char a, char b) {
                    return std::tolower(static_cast<unsigned char>(a)) ==
                           std::tolower(static_cast<unsigned char>(b));
                  }))
        return static_cast<int>(i);
    }
  }
  return -1;
}

std::string markList(const std::vector<unsigned char>& names, DWORD set) {
  std::string list;
  for (unsigned i = 0; i < kMarkCount; ++i) {
    if (!(set & (1u << i))) continue;
    const std::string name = nameOf(names, i);
    if (!list.empty()) list += ",";
    list += name.empty() ? "#" + std::to_string(i) : name;
  }
  return list;
}

// A picture's path as the file system spells it, when the picture is there.
std::string longFormOf(const std::string& stored) {
  char path[AFM3_MAX_PATH];
  const uint32_t length = plat::longPathName(stored.c_str(), path, sizeof path);
  return length > 0 && length < sizeof path ? path : stored;
}

int runMarkNames(const Args& args) {
  MarkSession session;
  if (const int status = session.open(args.positional[1], false)) return status;
  if (session.markPath().empty()) {
    std::printf("no mark file yet\n");
    return 0;
  }
  std::vector<unsigned char> names;
  if (!readNames(session.markPath(), &names)) return failWithLastError("read the mark names");
  std::printf("mark file: %s\n", toShellPath(session.markPath()).c_str());
  for (unsigned i = 0; i < kMarkCount; ++i) {
    const std::string name = nameOf(names, i);
    if (!name.empty()) std::printf("%2u %s\n", i, name.c_str());
  }
  return 0;
}

int runMarkName(const Args& args, const Verb& verb) {
  if (args.positional.size() != 4) return failUsage(verb, "marks name ALBUM N NAME");
  const std::string& name = args.positional[3];
  if (name.size() > kNameSize) return failWith("a mark name has at most 32 characters");
  MarkSession session;
  if (const int status = session.open(args.positional[1], true)) return status;
  std::vector<unsigned char> names;
  if (!readNames(session.markPath(), &names)) return failWithLastError("read the mark names");
  const int mark = isNumber(args.positional[2]) ? markOf(names, args.positional[2]) : -1;
  if (mark < 0) return failWith("N is a mark number, 0 to 25");
  std::fill_n(names.begin() + mark * kNameSize, kNameSize, 0);
  std::copy(name.begin(), name.end(), names.begin() + mark * kNameSize);
  std::string markPath = session.markPath();
  if (!afm3UpdateMarkFileInfo(toolOwnerKey(), markPath.data(), names.data(), nullptr, nullptr))
    return failWithLastError("name mark " + args.positional[2]);
  return 0;
}

int runMarkOrUnmark(const Args& args, const Verb& verb, bool mark) {
  if (args.positional.size() < 4) return failUsage(verb, "missing MARK or TARGET");
  MarkSession session;
  if (const int status = session.open(args.positional[1], mark)) return status;
  if (session.markPath().empty()) return failWith("the album has no marks");
  std::vector<unsigned char> names;
  if (!readNames(session.markPath(), &names)) return failWithLastError("read the mark names");
  const int bit = markOf(names, args.positional[2]);
  if (bit < 0) return failWith("no mark " + args.positional[2] + " (a number 0 to 25, or a name)");
  int status = 0;
  for (size_t i = 3; i < args.positional.size(); ++i) {
    const std::string& text = args.positional[i];
    MarkTarget target;
    if (const int failed = targetOf(session, text, &target); failed >= 0) {
      status = failed;
      continue;
    }
    DWORD set = 0;
    const char* markPath = session.markPath().c_str();
    if (afm3ReadThumbMark(toolOwnerKey(), markPath, target.path.c_str(), target.label.c_str(),
                          target.driveType, &set) < 0) {
      status = failWithLastError("read the marks of " + text);
      continue;
    }
    set = mark ? set | (1u << bit) : set & ~(1u << bit);
    bool done = true;
    if (set == 0) {
      done = afm3RemoveThumbMark(toolOwnerKey(), markPath, target.path.c_str(),
                                 target.label.c_str(), target.driveType) >= 0;
    } else {
      unsigned char record[AFM3_THUMB_MARK_RECORD_SIZE] = {};
      std::memcpy(record + AFM3_MARK_PATH, target.path.data(), target.path.size());
      afm3PutU32(record + AFM3_MARK_SET, set);
      std::memcpy(record + AFM3_MARK_LABEL, target.label.data(), target.label.size());
      record[AFM3_MARK_DRIVE_TYPE] = target.driveType;
      done = afm3InsertThumbMark(toolOwnerKey(), markPath, record) != FALSE;
    }
    if (!done) status = failWithLastError((mark ? "mark " : "unmark ") + text);
  }
  return status;
}

int runMarkList(const Args& args) {
  MarkSession session;
  if (const int status = session.open(args.positional[1], false)) return status;
  if (session.markPath().empty()) {
    std::printf("no marked pictures\n");
    return 0;
  }
  std::vector<unsigned char> names;
  if (!readNames(session.markPath(), &names)) return failWithLastError("read the mark names");
  HGLOBAL strings = nullptr, index = nullptr;
  DWORD count = 0;
  if (!afm3GetAllMarkRec(toolOwnerKey(), session.markPath().c_str(), &strings, &index, &count))
    return failWithLastError("list the marks");
  std::vector<std::pair<std::string, std::string>> lines;
  const auto* text = static_cast<const char*>(strings != nullptr ? GlobalLock(strings) : nullptr);
  const auto* entries =
      static_cast<const unsigned char*>(index != nullptr ? GlobalLock(index) : nullptr);
  constexpr size_t kDescriptors = 2048, kEntrySize = 36;
  for (DWORD i = 0; i < count && text != nullptr && entries != nullptr; ++i) {
    const unsigned char* e = entries + kDescriptors + i * kEntrySize;
    const DWORD path = afm3GetU32(e + 4), label = afm3GetU32(e + 8), type = afm3GetU32(e + 12);
    std::string where = toShellPath(longFormOf(std::string(text + path, label - path)));
    const uint8_t driveType = static_cast<uint8_t>(text[type]);
    if (driveType != kDriveFixed && type > label)
      where += " [" + std::string(text + label, type - label) + "]";
    lines.emplace_back(where, markList(names, afm3GetU32(e + 16)));
  }
  if (strings != nullptr) GlobalUnlock(strings), GlobalFree(strings);
  if (index != nullptr) GlobalUnlock(index), GlobalFree(index);
  std::sort(lines.begin(), lines.end());
  for (const auto& [where, marks] : lines) std::printf("%-24s %s\n", marks.c_str(), where.c_str());
  std::printf("%lu marked picture%s\n", static_cast<unsigned long>(count), count == 1 ? "" : "s");
  return 0;
}

}  // namespace

int runMarks(const Args& args) {
  const Verb& verb = *findVerb("marks");
  const std::string& what = args.positional[0];
  if (what == "names") return runMarkNames(args);
  if (what == "name") return runMarkName(args, verb);
  if (what == "mark") return runMarkOrUnmark(args, verb, true);
  if (what == "unmark") return runMarkOrUnmark(args, verb, false);
  if (what == "list") return runMarkList(args);
  return failUsage(verb, "unknown marks command '" + what + "'");
}

}  // namespace abm
