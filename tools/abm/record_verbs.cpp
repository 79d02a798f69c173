// Verbs on records: add, list, show, set, delete and undelete.
#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <span>
#include <string>
#include <vector>

#include "afm3.h"
#include "afm3_bytes.h"
#include "album_session.h"
#include "album_verbs.h"
#include "field_names.h"
#include "field_values.h"
#include "host_paths.h"
#include "json_output.h"
#include "picture_exif.h"
#include "picture_sources.h"
#include "progress.h"
#include "q32comm.h"
#include "record_entry.h"
#include "record_listing.h"
#include "taken_field.h"
#include "thumbnail.h"

namespace abm {

namespace {

constexpr unsigned kDefaultThumbSize = 96;
constexpr size_t kListCellWidth = 40;
constexpr size_t kShowValueWidth = 1024;

const char* driveTypeName(unsigned type) {
  switch (type) {
    case 2:
      return "removable";
    case 3:
      return "fixed";
    case 4:
      return "remote";
    case 5:
      return "CD-ROM";
    case 6:
      return "RAM disk";
    default:
      return "unknown";
  }
}

struct RecordCommand {
  AlbumSession album;
  uint16_t record = 0;
  RecordPresence presence = RecordPresence::Missing;
};

// Opens the album of "VERB ALBUM N ..." and makes sure the album holds
// record N (live, or deleted too when deletedAllowed). Returns -1 when ready,
// else the exit status.
int openForRecord(const char* name, const Args& args, bool toChange, bool deletedAllowed,
                  RecordCommand* command) {
  const Verb& verb = *findVerb(name);
  if (!parseRecordNumber(args.positional[1], &command->record))
    return failUsage(verb, "a record number is 0 to 65534, not '" + args.positional[1] + "'");
  c32ClearDLLErrInfo();
  if (!command->album.open(args.positional[0], toChange))
    return failWithLastError("open " + args.positional[0]);
  std::vector<uint8_t> info;
  if (!command->album.readInfo(&info))
    return failWithLastError("read the information of " + args.positional[0]);
  if (command->record >= afm3GetU16(info.data() + AFM3_INFO_NEXT_RECORD_NUMBER))
    return failWith(name, "the album has no record " + args.positional[1]);
  return lookUpRecord(name, command->album.handle(), command->record, deletedAllowed,
                      &command->presence);
}

// What add stores for one picture.
struct PreparedPicture {
  PictureFacts facts;
  RgbPicture thumbnail;
  ExifFacts exif;
};

bool preparePicture(const std::string& path, uint32_t edge, PreparedPicture* picture,
                    std::string* problem) {
  return pictureFacts(path, &picture->facts, problem) &&
         thumbnailOf(path, edge, &picture->thumbnail, problem, &picture->exif);
}

// Inserts one record; returns afm3InsertRecord's result (0 also when no
// memory was left for the bitmap).
int insertPicture(HANDLE album, const PreparedPicture& picture, uint8_t compression,
                  const RecordValues& values, uint16_t* number) {
  std::array<uint8_t, AFM3_RECORD_ENTRY_SIZE> entry = recordEntryFor(picture.facts);
  std::array<uint8_t, AFM3_IMAGE_HEADER_SIZE> header =
      imageHeaderFor(picture.thumbnail, compression);
  HGLOBAL dib = makeDib(picture.thumbnail);
  if (dib == nullptr) {
    c32SetDLLErrInfo("not enough memory for the thumbnail", 0, 0, 0, 0, 0);
    return 0;
  }
  DWORD imageOffset = 0, pathOffset = 0;
  const int result = afm3InsertRecord(toolOwnerKey(), album, entry.data(), header.data(), dib,
                                      picture.facts.fullPath.c_str(), values.pointers(),
                                      &imageOffset, &pathOffset, nullptr);
  GlobalFree(dib);
  *number = afm3GetU16(entry.data() + AFM3_ENTRY_NUMBER);
  return result;
}

// The fields --fields=A,B names; all fields without the option.
bool chosenFields(const Args& args, const std::vector<Field>& fields,
                  std::vector<const Field*>* chosen, std::string* problem) {
  if (!args.has("fields")) {
    for (const Field& field : fields) chosen->push_back(&field);
    return true;
  }
  const std::string list = args.value("fields");
  size_t start = 0;
  while (start < list.size()) {
    size_t comma = list.find(',', start);
    if (comma == std::string::npos) comma = list.size();
    const std::string name = list.substr(start, comma - start);
    start = comma + 1;
    const Field* field = findField(fields, name);
    if (field == nullptr) {
      *problem = "the album has no field '" + name + "'";
      return false;
    }
    chosen->push_back(field);
  }
  return true;
}

// What show tells of a record.
struct ShownRecord {
  unsigned number = 0;
  bool deleted = false;
  bool pictureRead = false;
  std::string path, shortPath, modified, label;
  uint32_t size = 0;
  unsigned driveType = 0;
  uint32_t thumbOffset = 0;  // 0: no thumbnail
  uint32_t thumbWidth = 0, thumbHeight = 0;
  ExifFacts exif;  // of the picture file, when it can be read now
  std::vector<std::pair<const Field*, std::string>> values;
};

// The stored thumbnail's size (left 0 when it cannot be read).
void readThumbSize(HANDLE album, uint16_t r, ShownRecord* shown) {
  HGLOBAL dib = nullptr;
  // The result is the image's colour kind when it could be read.
  if (afm3ReadRecordImage(toolOwnerKey(), album, r, shown->thumbOffset, &dib) <= 0 ||
      dib == nullptr)
    return;
  const auto* bitmap = static_cast<const uint8_t*>(GlobalLock(dib));
  if (bitmap != nullptr && GlobalSize(dib) >= 12) {
    const int32_t height = static_cast<int32_t>(afm3GetU32(bitmap + 8));
    shown->thumbWidth = afm3GetU32(bitmap + 4);
    shown->thumbHeight = static_cast<uint32_t>(height < 0 ? -int64_t{height} : int64_t{height});
  }
  GlobalUnlock(dib);
  GlobalFree(dib);
}

// The picture part of the record, and the EXIF data of its file.
bool readShownPicture(HANDLE album, uint16_t r, ShownRecord* shown) {
  std::vector<uint8_t> entry(AFM3_RECORD_ENTRY_SIZE, 0);
  char path[AFM3_MAX_PATH + 1] = {};
  if (!afm3ReadRecordPic(toolOwnerKey(), album, r, entry.data(), path, sizeof path, 0, nullptr))
    return false;
  const uint8_t* e = entry.data();
  shown->pictureRead = true;
  shown->path = toShellPath(path);
  shown->shortPath = std::string(reinterpret_cast<const char*>(e + AFM3_ENTRY_SHORT_PATH),
                                 AFM3_ENTRY_SHORT_PATH_SIZE);
  shown->shortPath.resize(std::strlen(shown->shortPath.c_str()));
  shown->size = afm3GetU32(e + AFM3_ENTRY_FILE_SIZE);
  shown->modified = dosDateTimeText(afm3GetU32(e + AFM3_ENTRY_DATE_TIME_1));
  shown->driveType = e[AFM3_ENTRY_DRIVE_TYPE];
  shown->label =
      std::string(reinterpret_cast<const char*>(e + AFM3_ENTRY_LABEL), AFM3_ENTRY_LABEL_SIZE - 1);
  shown->label.resize(std::strlen(shown->label.c_str()));
  shown->thumbOffset = afm3GetU32(e + AFM3_ENTRY_IMAGE_OFFSET);
  if (shown->thumbOffset != 0) readThumbSize(album, r, shown);
  std::vector<uint8_t> bytes;
  std::string problem;
  if (readPictureFile(shown->path, &bytes, &problem)) shown->exif = exifFactsOf(bytes);
  return true;
}

void printShown(const ShownRecord& s) {
  std::printf("record:     %u\n", s.number);
  if (s.pictureRead) {
    std::printf("picture:    %s\n", s.path.c_str());
    std::printf("short path: %s\n", s.shortPath.c_str());
    std::printf("size:       %u bytes\n", s.size);
    std::printf("modified:   %s\n", s.modified.c_str());
    if (!s.exif.taken.empty()) std::printf("taken:      %s\n", s.exif.taken.c_str());
    if (!s.exif.camera.empty()) std::printf("camera:     %s\n", s.exif.camera.c_str());
    std::printf("drive:      %u (%s)\n", s.driveType, driveTypeName(s.driveType));
    std::printf("label:      %s\n", s.label.c_str());
    if (s.thumbOffset == 0) {
      std::printf("thumbnail:  none\n");
    } else {
      std::string size;
      if (s.thumbWidth != 0)
        size = ", " + std::to_string(s.thumbWidth) + " x " + std::to_string(s.thumbHeight);
      std::printf("thumbnail:  stored at %u%s\n", s.thumbOffset, size.c_str());
    }
  }
  if (s.deleted) {
    std::printf("state:      deleted\n");
    return;
  }
  std::printf("fields:\n");
  size_t nameWidth = 0;
  for (const auto& [field, text] : s.values) nameWidth = std::max(nameWidth, field->name.size());
  for (const auto& [field, text] : s.values)
    std::printf("  %-*s  %-8s %s\n", static_cast<int>(nameWidth), field->name.c_str(),
                fieldTypeName(field->type), text.c_str());
}

// {"number", "deleted", "picture", "short_path", "size", "modified",
// "taken", "camera", "drive", "label", "thumbnail": {"offset", "width",
// "height"} or null, "values": {NAME: TEXT}}; "taken" and "camera" are
// null when the picture file tells nothing.
void printShownJson(const ShownRecord& s) {
  JsonWriter json;
  json.beginObject().key("number").number(s.number).key("deleted").flag(s.deleted);
  json.key("picture").value(s.path).key("short_path").value(s.shortPath);
  json.key("size").number(s.size).key("modified").value(s.modified);
  json.key("taken");
  s.exif.taken.empty() ? json.null() : json.value(s.exif.taken);
  json.key("camera");
  s.exif.camera.empty() ? json.null() : json.value(s.exif.camera);
  json.key("drive").value(driveTypeName(s.driveType)).key("label").value(s.label);
  json.key("thumbnail");
  if (s.thumbOffset == 0) {
    json.null();
  } else {
    json.beginObject().key("offset").number(s.thumbOffset).key("width").number(s.thumbWidth);
    json.key("height").number(s.thumbHeight).endObject();
  }
  json.key("values").beginObject();
  for (const auto& [field, text] : s.values) json.key(field->name).value(text);
  json.endObject().endObject().print();
}

}  // namespace

int runAdd(const Args& args) {
  const Verb& verb = *findVerb("add");
  const int compression = compressionFromName(args.value("compression", "jpeg"));
  if (compression < 0) return failUsage(verb, "--compression is raw, jpeg, lzw or zlib");
  std::vector<std::string> assignments;
  for (const auto& option : args.options) {
    if (option.first == "field") assignments.push_back(option.second);
  }

  AlbumSession album;
  c32ClearDLLErrInfo();
  if (!album.open(args.positional[0], true)) return failWithLastError("open " + args.positional[0]);
  RecordValues values;
  std::string problem;
  if (!values.build(album.fields(), assignments, &problem)) return failUsage(verb, problem);
  const Field* taken = nullptr;
  if (args.has("taken") &&
      !takenField(album.fields(), args.value("taken"), assignments, &taken, &problem))
    return failUsage(verb, problem);
  std::vector<uint8_t> info;
  if (!album.readInfo(&info))
    return failWithLastError("read the information of " + args.positional[0]);
  uint32_t edge = afm3GetU16(info.data() + AFM3_INFO_THUMB_SIZE);
  if (edge == 0) edge = kDefaultThumbSize;

  std::vector<std::string> problems;
  const std::vector<std::string> named(args.positional.begin() + 1, args.positional.end());
  const std::vector<std::string> pictures =
      collectPictures(named, args.has("recursive"), &problems);
  for (const std::string& line : problems) std::fprintf(stderr, "abm add: %s\n", line.c_str());
  size_t added = 0, skipped = problems.size();
  int status = 0;
  {
    ProgressBar bar(stderr, pictures.size(),
                    progressWanted(args.has("no-progress"), pictures.size()));
    for (const std::string& path : pictures) {
      bar.step(path);
      PreparedPicture picture;
      if (!preparePicture(path, edge, &picture, &problem)) {
        bar.clear();
        std::fprintf(stderr, "abm add: skipped %s: %s\n", path.c_str(), problem.c_str());
        ++skipped;
        continue;
      }
      // The capture time, where the picture has one, joins the given values.
      RecordValues pictureValues;
      const bool dated = taken != nullptr && !picture.exif.taken.empty();
      if (dated) {
        std::vector<std::string> withTaken = assignments;
        withTaken.push_back(takenAssignment(*taken, picture.exif.taken));
        pictureValues.build(album.fields(), withTaken, &problem);
      }
      uint16_t number = 0;
      c32ClearDLLErrInfo();
      const int result = insertPicture(album.handle(), picture, static_cast<uint8_t>(compression),
                                       dated ? pictureValues : values, &number);
      if (result != 1) {
        bar.clear();
        status =
            failWithLastError(result < 0 ? "add " + path + ": the album is full" : "add " + path);
        break;
      }
      ++added;
      if (!bar.enabled()) std::printf("record %u: %s\n", number, path.c_str());
    }
  }
  std::printf("added %zu picture%s", added, added == 1 ? "" : "s");
  if (skipped > 0) std::printf(", skipped %zu", skipped);
  std::printf("\n");
  return status != 0 ? status : (skipped > 0 ? 1 : 0);
}

int runList(const Args& args) {
  const Verb& verb = *findVerb("list");
  AlbumSession album;
  c32ClearDLLErrInfo();
  if (!album.open(args.positional[0], false))
    return failWithLastError("open " + args.positional[0]);
  std::vector<const Field*> chosen;
  std::string problem;
  if (!chosenFields(args, album.fields(), &chosen, &problem)) return failUsage(verb, problem);
  std::vector<uint8_t> info;
  if (!album.readInfo(&info))
    return failWithLastError("read the information of " + args.positional[0]);
  const unsigned next = afm3GetU16(info.data() + AFM3_INFO_NEXT_RECORD_NUMBER);
  const bool withDeleted = args.has("deleted");
  const HINSTANCE owner = toolOwnerKey();
  const HANDLE handle = album.handle();

  std::vector<DWORD> numbers(next);
  for (unsigned r = 0; r < next; ++r) numbers[r] = r;
  std::vector<BYTE> live(next + 1, 0);
  if (next > 0 && !afm3AreValidRecords(owner, handle, next, numbers.data(), live.data()))
    return failWithLastError("list the records of " + args.positional[0]);
  afm3CacheAlbum(owner, handle, TRUE);

  const bool json = args.has("json");
  const size_t width = json ? kShowValueWidth : kListCellWidth;
  std::vector<ListedRecord> listed;
  int status = 0;
  bool picturesFailed = false;
  for (unsigned r = 0; r < next && status == 0; ++r) {
    if (!live[r] && !withDeleted) continue;
    BYTE* record = nullptr;
    BYTE** values = nullptr;
    const int read = afm3ReadRecord(owner, handle, r, &record, &values);
    if (read == 0 && live[r]) {
      status = failWithLastError("read record " + std::to_string(r));
      break;
    }
    // Deleted records read as deleted; numbers never used are only not live.
    const bool deleted = read < 0;
    if (!live[r] && !deleted) {
      freeLibraryBlock(record);
      freeLibraryBlock(values);
      continue;
    }
    ListedRecord row;
    row.number = r;
    row.picture = "?";
    row.deleted = deleted;
    char path[AFM3_MAX_PATH + 1] = {};
    if (afm3ReadRecordPic(owner, handle, r, nullptr, path, sizeof path, 0, nullptr))
      row.picture = fileNameOf(path);
    else if (!picturesFailed)
      picturesFailed = failWithLastError("read the picture of record " + std::to_string(r)) != 0;
    for (const Field* field : chosen) {
      std::string text;
      if (!deleted && !valueText(handle, static_cast<uint16_t>(r), *field, values, width, &text)) {
        status = failWithLastError("read field " + field->name + " of record " + std::to_string(r));
        break;
      }
      row.values.push_back(text);
    }
    listed.push_back(row);
    freeLibraryBlock(record);
    freeLibraryBlock(values);
  }
  if (json)
    printRecordsJson(args.positional[0], chosen, listed);
  else
    printRecordTable(chosen, listed, withDeleted);
  return status != 0 || picturesFailed ? 1 : 0;
}

int runShow(const Args& args) {
  RecordCommand command;
  const int ready = openForRecord("show", args, false, true, &command);
  if (ready >= 0) return ready;
  const HANDLE handle = command.album.handle();
  const uint16_t r = command.record;
  ShownRecord shown;
  shown.number = r;
  shown.deleted = command.presence != RecordPresence::Live;
  int status = 0;
  if (!readShownPicture(handle, r, &shown))
    status = failWithLastError("read the picture of record " + std::to_string(r));
  BYTE* record = nullptr;
  BYTE** values = nullptr;
  if (!shown.deleted) {
    if (afm3ReadRecord(toolOwnerKey(), handle, r, &record, &values) != 1) {
      status = failWithLastError("read record " + std::to_string(r));
    } else {
      for (const Field& field : command.album.fields()) {
        std::string text;
        if (!valueText(handle, r, field, values, kShowValueWidth, &text))
          status = failWithLastError("read field " + field.name);
        shown.values.push_back({&field, text});
      }
    }
  }
  freeLibraryBlock(record);
  freeLibraryBlock(values);
  if (args.has("json"))
    printShownJson(shown);
  else
    printShown(shown);
  return status;
}

int runSet(const Args& args) {
  const Verb& verb = *findVerb("set");
  RecordCommand command;
  const int ready = openForRecord("set", args, true, false, &command);
  if (ready >= 0) return ready;
  const Field* field = findField(command.album.fields(), args.positional[2]);
  if (field == nullptr)
    return failUsage(verb, "the album has no field '" + args.positional[2] + "'");
  std::vector<uint8_t> value;
  std::string problem;
  if (!encodeValue(field->type, args.positional[3], &value, &problem))
    return failUsage(verb, "field '" + field->name + "': " + problem);
  if (!afm3UpdateRecordField(toolOwnerKey(), command.album.handle(), command.record, field->number,
                             value.data()))
    return failWithLastError("set " + field->name + " of record " + args.positional[1]);
  std::printf("record %u: %s = %s\n", command.record, field->name.c_str(),
              args.positional[3].c_str());
  return 0;
}

int runDelete(const Args& args) {
  RecordCommand command;
  const int ready = openForRecord("delete", args, true, true, &command);
  if (ready >= 0) return ready;
  if (command.presence == RecordPresence::Deleted)
    return failWith("delete", "record " + args.positional[1] + " is already deleted");
  if (!afm3DeleteRecord(toolOwnerKey(), command.album.handle(), command.record))
    return failWithLastError("delete record " + args.positional[1]);
  std::printf("record %u deleted\n", command.record);
  return 0;
}

int runUndelete(const Args& args) {
  RecordCommand command;
  const int ready = openForRecord("undelete", args, true, true, &command);
  if (ready >= 0) return ready;
  if (command.presence == RecordPresence::Live)
    return failWith("undelete", "record " + args.positional[1] + " is not deleted");
  if (!afm3UndelRecord(toolOwnerKey(), command.album.handle(), command.record))
    return failWithLastError("undelete record " + args.positional[1]);
  std::printf("record %u undeleted\n", command.record);
  return 0;
}

}  // namespace abm
