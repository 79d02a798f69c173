// The texts of the information dialog's pages, from an album's header of
// any known version, its FieldSpecs and the file's directory entry.
//
// Where each version keeps what the pages show:
//   version 3.0 (1798 bytes): the AlbumInfo at 60 (title 8 + tail 1482,
//     recordCount 0, thumbSize 4, infoFlags 6, description 32..543,
//     shown flag 544, protectField 1444, storage code 1476);
//   version 2.0 (4784 bytes): thumbSize u16 at 6, records u16 at 8, title
//     at 10 (24), description 34..545, thumbnail kind in bits 4-6 of 4652;
//   versions 1.x (192 bytes): thumbSize u16 at 16, records u16 at 18,
//     title at 20 (24), description 44..189.
#include "ui/info_pages.h"

#include <cstdio>
#include <cstring>

#include "afm3.h"
#include "afm3_bytes.h"
#include "core/album_header.h"
#include "core/error_report.h"
#include "core/file_naming.h"
#include "core/library_state.h"
#include "platform.h"
#include "q32comm.h"

namespace afm3::ui {

namespace {

constexpr char kProbeName[] = "~~~Test.xxx";

// Header fields of the older versions.
struct OldLayout {
  uint32_t thumbSize, records, title, description, descriptionEnd;
};
constexpr OldLayout kV2Layout{6, 8, 10, 34, 546};
constexpr OldLayout kV1Layout{16, 18, 20, 44, 190};
constexpr uint32_t kOldTitleSize = 24;
constexpr uint32_t kV2KindByte = 4652;

// AlbumInfo offsets of version 3 beyond the header's own accessors.
constexpr uint32_t kInfoThumbSize = AFM3_INFO_THUMB_SIZE;
constexpr uint32_t kInfoDescription = AFM3_INFO_DESCRIPTION;
constexpr uint32_t kInfoDescriptionEnd = AFM3_INFO_SHOWN_FLAG;
constexpr uint32_t kInfoShownFlag = AFM3_INFO_SHOWN_FLAG;
constexpr uint32_t kInfoCode = AFM3_INFO_CODE;
constexpr uint8_t kShownFlagBit = 0x08;

// A NUL-terminated text inside [at, end) of the header; never past it.
std::string textAt(const InfoAlbum& album, uint32_t at, uint32_t end) {
  if (end > album.header.size() || at >= end) return "";
  const char* p = reinterpret_cast<const char*>(album.header.data() + at);
  return std::string(p, strnlen(p, end - at));
}

uint16_t u16At(const InfoAlbum& album, uint32_t at) {
  return at + 2 <= album.header.size() ? afm3GetU16(album.header.data() + at) : 0;
}

std::string unsignedText(uint32_t value) { return std::to_string(value); }

const uint8_t* infoOf(const InfoAlbum& album) { return album.header.data() + kInfoOffset; }

bool version3(const InfoAlbum& album) {
  return album.version == kVersion3 && album.header.size() >= kHeaderSize;
}

std::string versionText(uint32_t version) {
  switch (version) {
    case kVersion3:
      return "3.0";
    case kVersion2:
      return "2.0";
    case kVersion12:
      return "1.2";
    default:
      return "1.0";
  }
}

// The thumb-mark file the library would use for the album, or the
// message saying there is none.
std::string markFileText(const InfoAlbum& album, const std::string& title) {
  char markPath[kPathSize] = {};
  const BOOL found = afm3GetRightMarkFile(libraryState().module, album.path.c_str(), title.c_str(),
                                          markPath, album.version == kVersion2);
  return found && markPath[0] != '\0' ? std::string(markPath) : message(kMsgNoMarkFile);
}

}  // namespace

std::vector<ControlText> generalPage(const InfoAlbum& album) {
  std::vector<ControlText> page;
  const std::string no = message(kMsgNo);
  if (version3(album)) {
    AlbumHeader header(const_cast<uint8_t*>(album.header.data()));
    char title[kPathSize] = {};
    albumTitleOf(infoOf(album), title, sizeof title);
    const bool restricted =
        infoOf(album)[kInfoShownFlag] != 0 && (header.infoFlags() & kShownFlagBit) != 0;
    // The protect field counts as set when its first byte is (as stored:
    // the rotation leaves a zero byte zero).
    page = {{kCtlTitle, title},
            {kCtlRecords, unsignedText(header.recordCount())},
            {kCtlProtected, header.protectField()[0] != 0 ? message(kMsgYes) : no},
            {kCtlRestricted, restricted ? message(kMsgYes) : no},
            {kCtlDescription,
             textAt(album, kInfoOffset + kInfoDescription, kInfoOffset + kInfoDescriptionEnd)}};
    // The mark file is looked up by the title field alone, as albums are
    // opened.
    page.push_back({kCtlMarkFile,
                    markFileText(album, textAt(album, kInfoOffset + kInfoTitleOffset,
                                               kInfoOffset + kInfoTitleOffset + kInfoTitleSize))});
  } else {
    const OldLayout& l = album.version == kVersion2 ? kV2Layout : kV1Layout;
    const std::string title = textAt(album, l.title, l.title + kOldTitleSize);
    page = {{kCtlTitle, title},
            {kCtlRecords, unsignedText(u16At(album, l.records))},
            {kCtlProtected, no},
            {kCtlRestricted, no},
            {kCtlDescription, textAt(album, l.description, l.descriptionEnd)},
            {kCtlMarkFile,
             album.version == kVersion2 ? markFileText(album, title) : message(kMsgNotAvailable)}};
  }
  page.push_back({kCtlVersion, versionText(album.version)});
  return page;
}

std::vector<FieldRow> fieldRows(const InfoAlbum& album) {
  std::vector<FieldRow> rows;
  for (uint32_t i = 0; album.specs != nullptr && i < album.fieldCount; ++i) {
    const uint8_t* fieldSpec = album.specs + i * AFM3_FIELD_SPEC_SIZE;
    const uint8_t type = fieldSpec[AFM3_SPEC_TYPE];
    if (type & AFM3_SPEC_ATTRIBUTE_BIT) continue;  // hidden from the list
    const char* name = reinterpret_cast<const char*>(fieldSpec + AFM3_SPEC_NAME);
    rows.push_back(
        {std::string(name, strnlen(name, AFM3_SPEC_NAME_SIZE)), message(fieldTypeMessage(type))});
  }
  return rows;
}

namespace {

uint32_t thumbKindMessage(uint32_t kind) {
  if (kind == 0) return kMsgNotAvailable;
  return kind == 1 ? kMsgThumbStandard : kMsgThumbExtended;
}

uint32_t storageMessage(uint8_t code) {
  switch (code) {
    case 0:
      return kMsgNotAvailable;
    case 4:
      return kMsgStorage4;
    case 8:
      return kMsgStorage8;
    default:
      return kMsgStorageOther;
  }
}

}  // namespace

std::vector<ControlText> statisticsPage(const InfoAlbum& album, const LocaleSettings& locale) {
  uint32_t thumbSize = 0;
  uint32_t kindMessage = kMsgNotAvailable;
  uint32_t storage = kMsgNotAvailable;
  if (version3(album)) {
    thumbSize = afm3GetU16(infoOf(album) + kInfoThumbSize);
    kindMessage = thumbKindMessage(
        (AlbumHeader(const_cast<uint8_t*>(album.header.data())).infoFlags() >> 1) & 3);
    storage = storageMessage(infoOf(album)[kInfoCode]);
  } else if (album.version == kVersion2) {
    thumbSize = u16At(album, kV2Layout.thumbSize);
    if (album.header.size() > kV2KindByte)
      kindMessage = thumbKindMessage((album.header[kV2KindByte] >> 4) & 7);
  } else {
    thumbSize = u16At(album, kV1Layout.thumbSize);
  }
  char edge[32];
  std::snprintf(edge, sizeof edge, "%u x %u", thumbSize, thumbSize);

  plat::FindData entry;
  const plat::FindHandle find = plat::findFirst(album.path.c_str(), &entry);
  const bool found = find != plat::invalidFile();
  if (found) plat::findClose(find);
  const std::string na = message(kMsgNotAvailable);
  const bool readOnly = (found && (entry.attributes & plat::kAttrReadOnly)) ||
                        !folderAcceptsNewFile(album.path.c_str(), kProbeName);
  return {{kCtlThumbSize, edge},
          {kCtlThumbKind, message(kindMessage)},
          {kCtlStorage, message(storage)},
          {kCtlPath, album.path},
          {kCtlCreated, found ? formatFileTime(entry.creationTime, locale) : na},
          {kCtlModified, found ? formatFileTime(entry.lastWriteTime, locale) : na},
          {kCtlSize,
           groupedNumber(found ? static_cast<uint32_t>(entry.size) : 0, locale.thousandSeparator) +
               " " + message(kMsgSizeUnit)},
          {kCtlReadOnly, message(readOnly ? kMsgYes : kMsgNo)}};
}

std::string message(uint32_t id) {
  char text[256];
  loadMessage(id, text, sizeof text);
  return text;
}

uint32_t fieldTypeMessage(uint8_t type) {
  const uint8_t t = type & static_cast<uint8_t>(~AFM3_SPEC_ATTRIBUTE_BIT);
  if (t <= 3) return 6268 + t;
  if (t <= 6) return 6278 + (t - 4);
  if (t <= 12) return 6272 + (t - 7);
  return 6281;
}

std::string groupedNumber(uint32_t value, char separator) {
  const std::string digits = std::to_string(value);
  std::string out;
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out += separator;
    out += digits[i];
  }
  return out;
}

std::string withCount(const std::string& format, size_t value) {
  const size_t at = format.find("%d");
  if (at == std::string::npos) return format;
  return format.substr(0, at) + std::to_string(value) + format.substr(at + 2);
}

std::string formatFileTime(uint64_t utc, const LocaleSettings& locale) {
  uint64_t local = 0;
  uint16_t dosDate = 0, dosTime = 0;
  if (!plat::fileTimeToLocal(utc, &local) ||
      !plat::fileTimeToDosDateTime(local, &dosDate, &dosTime))
    return message(kMsgNotAvailable);
  char date[64] = {}, time[64] = {}, joined[160];
  qfdDateToAsciiEx(date, dosDate, 0, 1);
  qfdTimeToAscii(time, dosTime, locale.clock24, locale.leadingZero, locale.morningSuffix,
                 locale.afternoonSuffix, locale.timeSeparator);
  std::snprintf(joined, sizeof joined, "%s%c %s", date, locale.listSeparator, time);
  return joined;
}

InfoPages buildInfoPages(const InfoAlbum& album, const std::string& fieldCountFormat,
                         const LocaleSettings& locale) {
  InfoPages pages;
  pages.general = generalPage(album);
  pages.hasFields = version3(album);
  if (pages.hasFields) {
    pages.fields = fieldRows(album);
    pages.fieldCount = withCount(fieldCountFormat, pages.fields.size());
  }
  pages.statistics = statisticsPage(album, locale);
  return pages;
}

}  // namespace afm3::ui
