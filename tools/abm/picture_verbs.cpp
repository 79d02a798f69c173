// Verbs on the picture part of records: thumbs exports the stored
// thumbnails as picture files, path tells where a record's picture is and
// in which form the album keeps that path, relink turns absolute picture
// paths under the album's folder into folder-relative ones, so that album
// and pictures can move together.
#include "picture_verbs.h"

#include <cctype>
#include <cstdio>
#include <span>
#include <string>
#include <vector>

#include "afm3.h"
#include "afm3_bytes.h"
#include "album_session.h"
#include "album_verbs.h"
#include "host_paths.h"
#include "platform.h"
#include "progress.h"
#include "thumb_export.h"

namespace abm {

namespace {

constexpr int kNoImage = -1;
constexpr int kCodecMissing = -2;
constexpr char kFolderRelative[] = ".\\..\\";

bool writeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && ok;
}

const char* formName(DWORD form) {
  switch (form) {
    case 1:
      return "root-relative";
    case 2:
      return "folder-relative";
    default:
      return "absolute";
  }
}

bool startsWithNoCase(const std::string& text, const std::string& prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    const auto a = static_cast<unsigned char>(text[i]);
    const auto b = static_cast<unsigned char>(prefix[i]);
    if (std::tolower(a) != std::tolower(b)) return false;
  }
  return true;
}

}  // namespace

int runThumbs(const Args& args) {
  const std::string format = args.value("format", "png");
  if (format != "png" && format != "bmp") return failWith("thumbs", "--format is png or bmp");
  AlbumSession session;
  if (!session.open(args.positional[0], false)) return failWithLastError("open album");
  std::vector<LiveRecord> records;
  if (!liveRecords(session.handle(), &records)) return failWithLastError("read records");
  std::string folder = args.positional[1];
  // The folder is made when it is missing (its parent must exist).
  const std::string libraryFolder = toLibraryPath(folder);
  if (plat::fileAttributes(libraryFolder.c_str()) == plat::kInvalidAttributes &&
      !plat::createDirectory(libraryFolder.c_str()))
    return failWith("thumbs", "cannot make the folder " + folder);
  if (!folder.empty() && folder.back() != '/' && folder.back() != '\\') folder += '/';
  int written = 0, status = 0;
  ProgressBar bar(stderr, records.size(), progressWanted(args.has("no-progress"), records.size()));
  for (const LiveRecord& r : records) {
    bar.step("record " + std::to_string(r.number));
    HGLOBAL dib = nullptr;
    const int kind =
        afm3ReadRecordImage(toolOwnerKey(), session.handle(), r.number,
                            afm3GetU32(r.entry.data() + AFM3_ENTRY_IMAGE_OFFSET), &dib);
    if (kind == kNoImage) continue;
    if (kind == kCodecMissing) {
      bar.clear();
      status = failWith("thumbs", "record " + std::to_string(r.number) +
                                      ": the codec library of its thumbnail is missing");
      continue;
    }
    if (kind <= 0) {
      bar.clear();
      status = failWithLastError("read thumbnail of record " + std::to_string(r.number));
      continue;
    }
    const auto* bytes = static_cast<const uint8_t*>(GlobalLock(dib));
    const std::span<const uint8_t> block(bytes, GlobalSize(dib));
    std::vector<uint8_t> file;
    bool ok = false;
    if (format == "bmp") {
      ok = bmpFile(block, &file);
    } else {
      RgbImage rgb;
      ok = dibToRgb(block, &rgb);
      if (ok) file = pngFile(rgb);
    }
    GlobalUnlock(dib);
    GlobalFree(dib);
    const std::string name = folder + "record-" + std::to_string(r.number) + "." + format;
    if (!ok) {
      bar.clear();
      status = failWith("thumbs", "record " + std::to_string(r.number) + ": unusable thumbnail");
    } else if (!writeFile(name, file)) {
      bar.clear();
      status = failWith("thumbs", "cannot write " + name);
    } else {
      ++written;
    }
  }
  bar.clear();
  std::printf("%d thumbnail%s written\n", written, written == 1 ? "" : "s");
  return status;
}

int runPath(const Args& args) {
  uint16_t record = 0;
  if (!parseRecordNumber(args.positional[1], &record))
    return failWith("path", "N is a record number, 0 to 65534");
  AlbumSession session;
  if (!session.open(args.positional[0], false)) return failWithLastError("open album");
  // The picture entry of a free or deleted number reads as empty: say so.
  RecordPresence presence;
  const int missing = lookUpRecord("path", session.handle(), record, false, &presence);
  if (missing >= 0) return missing;
  char path[AFM3_MAX_PATH] = {};
  if (!afm3ReadRecordPic(toolOwnerKey(), session.handle(), record, nullptr, path, sizeof path, 0,
                         nullptr))
    return failWithLastError("read record " + std::to_string(record));
  const DWORD form = afm3ReadFilePicMisc(toolOwnerKey(), session.handle(), record, 1, nullptr, 0);
  std::printf("path: %s\n", toShellPath(path).c_str());
  std::printf("form: %s\n", formName(form));
  return 0;
}

int runRelink(const Args& args) {
  const bool dryRun = args.has("dry-run");
  AlbumSession session;
  if (!session.open(args.positional[0], !dryRun)) return failWithLastError("open album");
  const std::string albumPath = toLibraryPath(args.positional[0]);
  const std::string folder = albumPath.substr(0, albumPath.find_last_of('\\') + 1);
  std::vector<LiveRecord> records;
  if (!liveRecords(session.handle(), &records)) return failWithLastError("read records");
  int changed = 0;
  for (const LiveRecord& r : records) {
    // Only records that keep a full path, and keep it absolute.
    if (afm3GetU32(r.entry.data() + AFM3_ENTRY_STRING_A) == 0) continue;
    if (afm3ReadFilePicMisc(toolOwnerKey(), session.handle(), r.number, 1, nullptr, 0) != 0)
      continue;
    char path[AFM3_MAX_PATH] = {};
    if (!afm3ReadRecordPic(toolOwnerKey(), session.handle(), r.number, nullptr, path, sizeof path,
                           0, nullptr))
      return failWithLastError("read record " + std::to_string(r.number));
    const std::string picture = path;
    if (folder.empty() || !startsWithNoCase(picture, folder)) continue;
    const std::string relative = kFolderRelative + picture.substr(folder.size());
    std::printf("%u: %s -> %s\n", static_cast<unsigned>(r.number), toShellPath(picture).c_str(),
                relative.c_str());
    if (!dryRun && !afm3UpdateRecordPic(toolOwnerKey(), session.handle(), r.number, nullptr,
                                        relative.c_str(), nullptr, nullptr))
      return failWithLastError("relink record " + std::to_string(r.number));
    ++changed;
  }
  std::printf("%d record%s %s\n", changed, changed == 1 ? "" : "s",
              dryRun ? "would be relinked" : "relinked");
  return 0;
}

}  // namespace abm
