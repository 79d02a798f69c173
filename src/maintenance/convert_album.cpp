#include "maintenance/convert_album.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "afm3.h"
#include "afm3_bytes.h"
#include "core/canonical_path.h"
#include "core/error_report.h"
#include "core/file_naming.h"
#include "core/library_state.h"
#include "core/paths.h"
#include "core/v2_layout.h"
#include "images/v2_image.h"
#include "maintenance/convert_shares.h"
#include "maintenance/old_albums.h"
#include "maintenance/progress_messages.h"
#include "pictures/picture_entries.h"
#include "pictures/picture_paths.h"
#include "platform.h"
#include "q32comm.h"
#include "records/record_insert.h"

namespace afm3 {

namespace {

constexpr uint32_t kMsgConverting = 6300;
constexpr uint32_t kNameCallerFields = 6718;  // five names separated by '@'
constexpr uint32_t kNameText = 6719;
constexpr uint32_t kNameName = 6720;
constexpr uint32_t kNameKeywords = 6667;
constexpr char kNameSeparator = 0x40;
constexpr uint32_t kCallerFields = 5;
constexpr uint32_t kV1Fields = 6, kV2Fields = 8;
constexpr uint8_t kSpecCallerBlob = 0x8A, kSpecText = 11, kSpecKeywords = 7;
constexpr uint8_t kInfoThumbKindOne = 0x02;
constexpr uint32_t kOpenExclusive = AFM3_OPEN_READ_WRITE | AFM3_OPEN_SHARE_NONE;
constexpr uint32_t kKeywordField = 7;
constexpr uint8_t kDriveCdRom = 5;
constexpr uint32_t kV1TitleAt = 20, kV1DescriptionAt = 44, kV1ThumbAt = 16;
constexpr uint32_t kV2DescriptionAt = 34, kV2DescriptionEnd = kV2PageTableOffset;

HINSTANCE ownKey() { return libraryState().module; }

std::vector<uint8_t> albumInfo(uint16_t thumbSize, const std::string& title,
                               const std::string& description, bool thumbKindOne) {
  std::vector<uint8_t> info(AFM3_ALBUM_INFO_SIZE, 0);
  afm3PutU16(info.data() + AFM3_INFO_THUMB_SIZE, thumbSize);
  if (thumbKindOne) info[AFM3_INFO_FLAGS] = kInfoThumbKindOne;
  putBounded(info.data() + AFM3_INFO_TITLE, AFM3_INFO_TITLE_SIZE, title);
  putBounded(info.data() + AFM3_INFO_DESCRIPTION, AFM3_INFO_SHOWN_FLAG - AFM3_INFO_DESCRIPTION,
             description);
  return info;
}

std::vector<uint8_t> fieldSpecs(uint32_t count) {
  std::vector<uint8_t> specs(count * AFM3_FIELD_SPEC_SIZE, 0);
  char callerNames[MAX_PATH] = {};
  loadMessage(kNameCallerFields, callerNames, sizeof callerNames);
  const char* part = callerNames;
  for (uint32_t f = 0; f < count; ++f) {
    uint8_t* fieldSpec = specs.data() + f * AFM3_FIELD_SPEC_SIZE;
    fieldSpec[AFM3_SPEC_NUMBER] = static_cast<uint8_t>(f);
    char name[AFM3_SPEC_NAME_SIZE] = {};
    if (f < kCallerFields) {
      fieldSpec[AFM3_SPEC_TYPE] = kSpecCallerBlob;
      const char* end = std::strchr(part, kNameSeparator);
      const size_t length = end != nullptr ? static_cast<size_t>(end - part) : std::strlen(part);
      std::snprintf(name, sizeof name, "%.*s", static_cast<int>(length), part);
      part = end != nullptr ? end + 1 : part + length;
    } else {
      fieldSpec[AFM3_SPEC_TYPE] = f == kKeywordField ? kSpecKeywords : kSpecText;
      loadMessage(f == 5 ? kNameText : f == 6 ? kNameName : kNameKeywords, name, sizeof name);
    }
    std::memcpy(fieldSpec + AFM3_SPEC_NAME, name, sizeof name - 1);
  }
  return specs;
}

// The new album while the records go in: created, then open without
// sharing; closed (and on failure deleted) when the run ends.
class NewAlbum {
 public:
  explicit NewAlbum(const char* path) : path_(path) {}
  NewAlbum(const NewAlbum&) = delete;
  NewAlbum& operator=(const NewAlbum&) = delete;
  ~NewAlbum() {
    close();
    if (!keep_) plat::deleteFile(path_);
  }
  bool create(const std::vector<uint8_t>& info, const std::vector<uint8_t>& specs, uint32_t n) {
    HANDLE made = afm3CreateAlbum(ownKey(), info.data(), n, specs.data(), path_, nullptr, nullptr);
    if (made == nullptr) return false;
    afm3CloseAlbum(ownKey(), made);
    return afm3OpenAlbum(ownKey(), path_, kOpenExclusive, &handle_, nullptr, nullptr, nullptr) !=
           AFM3_OPEN_FAILED;
  }
  HANDLE handle() const { return handle_; }
  void close() {
    if (handle_ != nullptr) afm3CloseAlbum(ownKey(), handle_);
    handle_ = nullptr;
  }
  void keep() { keep_ = true; }

 private:
  const char* path_;
  HANDLE handle_ = nullptr;
  bool keep_ = false;
};

// One conversion run: the old file, the new album, progress and the
// numbers of records to delete again.
class Run {
 public:
  Run(HANDLE oldFile, ConvertJob& job)
      : oldFile_(oldFile), job_(job), album_(job.workPath), progress_(job.progressWindow) {
    const std::string root = locationRootOf(job.oldPath);
    onCdRom_ = plat::driveType(root.c_str()) == kDriveCdRom;
    oldRoot_ = pathRoot(job.oldPath);
  }
  NewAlbum& album() { return album_; }
  void begin(uint32_t total) {
    progress_.phaseCount(1);
    progress_.beginPhaseNamed(total, kMsgConverting, job_.oldPath);
  }
  // Sends the step of the next record; false when the window cancels.
  bool step() { return progress_.step(job_.converted + 1); }
  bool insert(OldRecord& record, bool version1);
  // Deletes again what was deleted; the run's result.
  int finish() {
    progress_.endRun();
    for (uint16_t number : deleted_)
      if (!afm3DeleteRecord(ownKey(), album_.handle(), number)) return 0;
    album_.close();
    album_.keep();
    return 1;
  }
  int stop(int result) {
    progress_.endRun();
    return result;
  }

 private:
  std::string picturePath(const std::string& stored) const;

  HANDLE oldFile_;
  ConvertJob& job_;
  NewAlbum album_;
  ProgressMessages progress_;
  bool onCdRom_ = false;
  std::string oldRoot_;
  std::vector<uint16_t> deleted_;
};

// Pictures of an album on a CD-ROM are taken to lie on the album's drive.
std::string Run::picturePath(const std::string& stored) const {
  if (!onCdRom_ || stored.size() < 3 || oldRoot_.empty()) return stored;
  return oldRoot_ + stored.substr(3);
}

bool Run::insert(OldRecord& record, bool version1) {
  uint8_t* entry = record.entry;
  const std::string path = picturePath(record.path);
  std::string upperPath = path;
  plat::charUpper(upperPath.data());
  putBounded(entry + AFM3_ENTRY_SHORT_PATH, AFM3_ENTRY_SHORT_PATH_SIZE, upperPath);
  char stringA[MAX_PATH] = {};
  if (path.size() >= sizeof stringA ||
      !qfdConvertLongShortPathname(path.c_str(), stringA, sizeof stringA, 1) || stringA[0] == 0)
    copyBounded(path, stringA, sizeof stringA);
  if (version1) {
    char label[AFM3_ENTRY_LABEL_SIZE] = {};
    rootLocation(locationRootOf(stringA), &entry[AFM3_ENTRY_DRIVE_TYPE], label);
    std::memcpy(entry + AFM3_ENTRY_LABEL, label, sizeof label);
  }
  const std::string network = networkNameOf(stringA, entry[AFM3_ENTRY_DRIVE_TYPE]);
  if (!network.empty())
    afm3PutU16(entry + AFM3_ENTRY_FLAGS,
               afm3GetU16(entry + AFM3_ENTRY_FLAGS) | AFM3_ENTRY_FLAG_STRING_B);

  uint8_t imageHeader[AFM3_IMAGE_HEADER_SIZE] = {};
  HGLOBAL dib = nullptr;
  if (record.image.present && !record.deleted) {
    const OldImage& i = record.image;
    dib = readVersion2Image(oldFile_, i.offset, i.storedSize, i.type, i.width, i.height,
                            i.compressionSetting, i.storedRaw, imageHeader);
    if (dib == nullptr) return false;
  }
  const void* values[kV2Fields] = {
      nullptr,        nullptr, nullptr, nullptr, nullptr, record.text.c_str(), record.name.c_str(),
      record.keywords};
  const int inserted =
      insertRecord(ownKey(), album_.handle(), entry, dib != nullptr ? imageHeader : nullptr, dib,
                   stringA, values, nullptr, nullptr, network.empty() ? nullptr : network.c_str());
  if (dib != nullptr) plat::globalFree(dib);
  if (inserted != 1) return false;
  if (record.deleted) {
    deleted_.push_back(afm3GetU16(entry));
  } else {
    ++job_.converted;
  }
  if (record.imageDropped) ++job_.droppedImages;
  return true;
}

// ---- the thumb-mark file of a version-2 album -------------------------------

std::string withoutSlash(std::string folder) {
  qfdDelSlash(folder.data());
  folder.resize(std::strlen(folder.c_str()));
  return folder;
}

bool sameAlbum(const char* markPath, const char* oldPath, const std::string& title) {
  char storedTitle[AFM3_MAX_PATH] = {};
  char storedPath[AFM3_MAX_PATH] = {};
  char key[AFM3_MAX_PATH] = {};
  if (!afm3GetMarkFileInfo(ownKey(), markPath, nullptr, storedTitle, storedPath) ||
      !canonicalPath(oldPath, key, sizeof key, CanonicalNames::Short, CanonicalReports::Quiet))
    return false;
  return plat::compareNoCase(storedPath, key) == 0 && std::string(storedTitle).starts_with(title);
}

// The mark file the new album takes over: the old album's own (copied to
// the application-data folder unless it lies there), or one of its name
// there that was made for the old album.
void carryMarkFile(ConvertJob& job, const std::string& title) {
  std::string mark = job.oldPath;
  const char* slash = lastBackslash(job.oldPath);
  const size_t nameAt = slash != nullptr ? static_cast<size_t>(slash - job.oldPath) + 1 : 0;
  const size_t dot = mark.rfind('.');
  mark = (dot != std::string::npos && dot >= nameAt ? mark.substr(0, dot) : mark) + ".mrk";
  const std::string folder = withoutSlash(mark.substr(0, nameAt));
  const std::string home = withoutSlash(libraryState().appDataFolder);
  const bool inHome = !home.empty() && plat::compareNoCase(folder.c_str(), home.c_str()) == 0;
  const std::string inHomePath = home + "\\" + mark.substr(nameAt);
  if (fileExists(mark.c_str())) {
    if (inHome) {
      job.markFile = mark;
      return;
    }
    if (home.empty() || inHomePath.size() >= kPathSize) return;
    char copy[kPathSize];
    std::snprintf(copy, sizeof copy, "%s", inHomePath.c_str());
    if (!makeUniqueName(copy, "mrk", NamingMode::Long) || !plat::copyFile(mark.c_str(), copy, true))
      return;
    job.markFile = copy;
    job.markFileCopied = true;
  } else if (!inHome && !home.empty() && fileExists(inHomePath.c_str()) &&
             sameAlbum(inHomePath.c_str(), job.oldPath, title)) {
    job.markFile = inHomePath;
  }
}

void dropMarkCopy(ConvertJob& job) {
  if (job.markFileCopied) plat::deleteFile(job.markFile.c_str());
  job.markFile.clear();
  job.markFileCopied = false;
}

int convertV2Records(Run& run, V2Reader& reader, uint32_t live) {
  const uint32_t pages = reader.pageCount();
  for (uint32_t page = 0; page < pages; ++page) {
    if (!reader.readPage(page)) return run.stop(0);
    for (uint32_t i = 0; i < kV2RecordsPerPage; ++i) {
      OldRecord record;
      if (!reader.readRecord(i, &record)) return run.stop(0);
      if (!run.step()) return run.stop(-1);
      if (!run.insert(record, false)) return run.stop(0);
      if (!record.deleted) --live;
      if (live == 0) return run.finish();
    }
  }
  // The pages ended before the count did: what they hold is converted.
  return run.finish();
}

}  // namespace

int convertVersion2(HANDLE oldFile, const uint8_t* header, ConvertJob& job) {
  const V2Header old(header);
  const std::string title = fixedString(old.title(), 24);
  carryMarkFile(job, title);
  Run run(oldFile, job);
  const auto info =
      albumInfo(old.thumbSize(), title,
                fixedString(header + kV2DescriptionAt, kV2DescriptionEnd - kV2DescriptionAt), true);
  if (!run.album().create(info, fieldSpecs(kV2Fields), kV2Fields)) {
    dropMarkCopy(job);
    return 0;
  }
  V2Reader reader(oldFile, header);
  std::string table;
  uint32_t keywords = 0;
  if (!reader.readKeywords(&table, &keywords) ||
      (keywords > 0 && !afm3UpdateTable(ownKey(), run.album().handle(), kKeywordField, table.data(),
                                        static_cast<DWORD>(table.size()), keywords))) {
    dropMarkCopy(job);
    return 0;
  }
  run.begin(old.recordCount());
  const int result =
      old.recordCount() == 0 ? run.finish() : convertV2Records(run, reader, old.recordCount());
  if (result != 1) dropMarkCopy(job);
  return result;
}

int convertVersion1(HANDLE oldFile, const uint8_t* header, ConvertJob& job) {
  Run run(oldFile, job);
  const auto info =
      albumInfo(afm3GetU16(header + kV1ThumbAt), fixedString(header + kV1TitleAt, 24),
                fixedString(header + kV1DescriptionAt, kV1HeaderBytes - kV1DescriptionAt), false);
  if (!run.album().create(info, fieldSpecs(kV1Fields), kV1Fields)) return 0;
  uint32_t live = afm3GetU16(header + 18);
  run.begin(live);
  V1Reader reader(oldFile, header);
  while (live > 0) {
    OldRecord record;
    switch (reader.next(&record)) {
      case V1Reader::Next::Failed:
        return run.stop(0);
      case V1Reader::Next::End:
        return run.finish();
      case V1Reader::Next::Record:
        break;
    }
    if (!run.step()) return run.stop(-1);
    if (!run.insert(record, true)) return run.stop(0);
    if (!record.deleted) --live;
  }
  return run.finish();
}

}  // namespace afm3
