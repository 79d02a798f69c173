// What the album information dialog shows, page by page, as text: the
// dialog puts these texts into its controls and the text export prints
// them. Nothing here knows about windows.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/locale_settings.h"

namespace afm3::ui {

// Controls of the three pages (resource identifiers of the templates).
enum InfoControl : int {
  kCtlTab = 6010,
  kCtlTitle = 6011,
  kCtlRecords = 6012,
  kCtlProtected = 6013,
  kCtlRestricted = 6014,
  kCtlDescription = 6015,
  kCtlVersion = 6016,
  kCtlFieldList = 6017,
  kCtlFieldCount = 6018,
  kCtlThumbSize = 6019,
  kCtlThumbKind = 6020,
  kCtlPath = 6021,
  kCtlCreated = 6022,
  kCtlMarkFile = 6023,
  kCtlModified = 6024,
  kCtlSize = 6025,
  kCtlReadOnly = 6026,
  kCtlHelp = 6027,
  kCtlStorage = 6028,
  kCtlMarkLabel = 6029,
  kCtlThumbGroup = 6030,
  kCtlFileGroup = 6031,
};

// Messages of the resource library the pages use.
enum InfoMessage : uint32_t {
  kMsgTabGeneral = 6260,
  kMsgTabFields = 6261,
  kMsgTabStatistics = 6262,
  kMsgYes = 6263,
  kMsgNo = 6264,
  kMsgNoMarkFile = 6265,
  kMsgFieldNameColumn = 6266,
  kMsgFieldTypeColumn = 6267,
  kMsgNotAvailable = 6285,
  kMsgThumbExtended = 6286,
  kMsgThumbStandard = 6287,
  kMsgStorageOther = 6288,
  kMsgStorage8 = 6289,
  kMsgStorage4 = 6290,
  kMsgSizeUnit = 6291,
};

// An album as the dialog sees it: its version, the whole header of that
// version (192, 4784 or 1798 bytes) and its FieldSpecs (version 3).
struct InfoAlbum {
  uint32_t version = 0;
  std::vector<uint8_t> header;
  const uint8_t* specs = nullptr;
  uint32_t fieldCount = 0;
  std::string path;  // library form
};

struct ControlText {
  int control;
  std::string text;
};
struct FieldRow {
  std::string name;
  std::string type;
};

struct InfoPages {
  std::vector<ControlText> general;
  bool hasFields = false;  // version 3 only
  std::vector<FieldRow> fields;
  std::string fieldCount;  // the template's format with the number of rows
  std::vector<ControlText> statistics;
};

// fieldCountFormat: the text of control 6018 in its template, a format
// with one "%d".
InfoPages buildInfoPages(const InfoAlbum& album, const std::string& fieldCountFormat,
                         const LocaleSettings& locale);

// The pages one by one, as the dialog's pages fill themselves.
std::vector<ControlText> generalPage(const InfoAlbum& album);
std::vector<FieldRow> fieldRows(const InfoAlbum& album);
std::vector<ControlText> statisticsPage(const InfoAlbum& album, const LocaleSettings& locale);

// Pieces, exposed for tests.
std::string message(uint32_t id);
uint32_t fieldTypeMessage(uint8_t type);
std::string groupedNumber(uint32_t value, char separator);
// format with its first "%d" replaced by value (the rest kept as it is).
std::string withCount(const std::string& format, size_t value);
std::string formatFileTime(uint64_t utc, const LocaleSettings& locale);

}  // namespace afm3::ui
