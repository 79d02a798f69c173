#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <map>
#include <sstream>
#include <string>

#include "afm3.h"
#include "afm3_info.h"
#include "album_fixtures.h"
#include "core/library_state.h"
#include "platform.h"
#include "temp_dir.h"
#include "ui/info_pages.h"

namespace {

using afm3test::Bytes;
namespace ui = afm3::ui;

HINSTANCE owner() { return reinterpret_cast<HINSTANCE>(0x1D0); }

TEST(InfoPieces, SizesAreGroupedInThreesFromTheRight) {
  const struct {
    uint32_t value;
    char separator;
    const char* text;
  } cases[] = {{0, ',', "0"},
               {999, ',', "999"},
               {1000, ',', "1,000"},
               {1234567, ',', "1,234,567"},
               {123456, '.', "123.456"},
               {4294967295u, ' ', "4 294 967 295"}};
  for (const auto& c : cases) EXPECT_EQ(ui::groupedNumber(c.value, c.separator), c.text) << c.value;
}

TEST(InfoPieces, FieldTypesNameTheirMessages) {
  const std::map<uint8_t, uint32_t> expected = {{0, 6268},  {3, 6271},  {4, 6278},    {5, 6279},
                                                {6, 6280},  {7, 6272},  {11, 6276},   {12, 6277},
                                                {13, 6281}, {15, 6281}, {0x84, 6278}, {0x8B, 6276}};
  for (const auto& [type, id] : expected) EXPECT_EQ(ui::fieldTypeMessage(type), id) << int{type};
  EXPECT_EQ(ui::withCount("%d fields", 2), "2 fields");
  EXPECT_EQ(ui::withCount("%d of %d", 7), "7 of %d");  // the template's text is no printf format
  EXPECT_EQ(ui::withCount("fields", 7), "fields");
}

TEST(InfoPieces, TimesFollowTheLocaleClock) {
  // 2020-06-15 13:45:10 UTC; whatever the zone, the 12-hour clock shows a
  // suffix and the 24-hour one none, and the list separator joins them.
  const uint64_t utc = 132367863100000000ull;
  afm3::LocaleSettings twelve;
  const std::string a = ui::formatFileTime(utc, twelve);
  EXPECT_TRUE(a.find("AM") != std::string::npos || a.find("PM") != std::string::npos) << a;
  EXPECT_NE(a.find(", "), std::string::npos) << a;
  afm3::LocaleSettings day = twelve;
  day.clock24 = 1;
  day.listSeparator = ';';
  std::snprintf(day.timeSeparator, sizeof day.timeSeparator, ".");
  const std::string b = ui::formatFileTime(utc, day);
  EXPECT_EQ(b.find("AM"), std::string::npos) << b;
  EXPECT_EQ(b.find("PM"), std::string::npos) << b;
  EXPECT_NE(b.find("; "), std::string::npos) << b;
  EXPECT_NE(b.find('.'), std::string::npos) << b;
}

// Albums of each version in a scratch folder.
class InfoAlbums : public testing::Test {
 protected:
  std::string makeVersion3(const std::string& title, bool protectedAlbum = false,
                           char* markPath = nullptr,
                           const std::function<void(Bytes&)>& tweak = nullptr) {
    const std::string path = dir.file("v3.ab3");
    const Bytes fields = afm3test::specs({afm3test::fieldSpec("Name", 11),
                                          afm3test::fieldSpec("Hidden", 7 | 0x80, 3),
                                          afm3test::fieldSpec("Taken", 4)});
    Bytes info = afm3test::albumInfo(title, 120);
    const char description[] = "Summer\r\nby the sea";
    std::memcpy(&info[32], description, sizeof description);
    if (protectedAlbum) info[1444] = 'K';
    if (tweak) tweak(info);
    HANDLE album =
        afm3CreateAlbum(owner(), info.data(), 3, fields.data(), path.c_str(), nullptr, markPath);
    EXPECT_NE(album, nullptr);
    afm3CloseAlbum(owner(), album);
    return path;
  }
  std::string write(const std::string& name, const Bytes& bytes) {
    const std::string path = dir.file(name);
    EXPECT_TRUE(afm3test::writeWholeFile(path, std::string(bytes.begin(), bytes.end())));
    return path;
  }
  // The lines of the text export, by "page/control" (field rows by
  // "Fields/6017/row").
  std::map<std::string, std::string> pages(const std::string& path, DWORD* version) {
    DWORD needed = 0;
    *version = afm3GetAbmInfoPages(path.c_str(), nullptr, 0, &needed);
    std::string text(needed, '\0');
    if (*version != 0) {
      EXPECT_EQ(afm3GetAbmInfoPages(path.c_str(), text.data(), needed, &needed), *version);
    }
    std::map<std::string, std::string> lines;
    std::istringstream in(text.c_str());
    int row = 0;
    for (std::string line; std::getline(in, line);) {
      const size_t a = line.find('\t'), b = line.find('\t', a + 1);
      std::string key = line.substr(0, a) + "/" + line.substr(a + 1, b - a - 1);
      if (key == "Fields/6017") key += "/" + std::to_string(row++);
      lines[key] = line.substr(b + 1);
    }
    return lines;
  }
  afm3test::TempDir dir;
};

TEST_F(InfoAlbums, TextPagesOfAVersion3Album) {
  char markPath[MAX_PATH] = {};
  const std::string path =
      makeVersion3("A title longer than twenty-four characters", true, markPath);
  DWORD version = 0;
  auto p = pages(path, &version);
  EXPECT_EQ(version, 0x300u);
  EXPECT_EQ(p["General/6011"], "A title longer than twenty-four characters");
  EXPECT_EQ(p["General/6012"], "0");
  EXPECT_EQ(p["General/6013"], "Yes");
  EXPECT_EQ(p["General/6014"], "No");
  EXPECT_EQ(p["General/6015"], "Summer  by the sea");  // line breaks flattened
  EXPECT_EQ(p["General/6016"], "3.0");
  EXPECT_EQ(p["General/6023"], markPath);
  // The hidden field is neither listed nor counted.
  EXPECT_EQ(p["Fields/6017/0"], "Name\tText");
  EXPECT_EQ(p["Fields/6017/1"], "Taken\tDate");
  EXPECT_EQ(p.count("Fields/6017/2"), 0u);
  EXPECT_EQ(p["Fields/6018"], "2 fields");
  EXPECT_EQ(p["Statistics/6019"], "120 x 120");
  EXPECT_EQ(p["Statistics/6020"], "Not available");
  EXPECT_EQ(p["Statistics/6028"], "Not available");
  EXPECT_EQ(p["Statistics/6026"], "No");
  EXPECT_EQ(p["Statistics/6021"].back(), path.back());

  // Flags, thumbnail kinds and storage codes of the AlbumInfo.
  const struct {
    uint8_t flags, shown, code;
    const char *restricted, *kind, *storage;
  } cases[] = {{0x08, 1, 8, "Yes", "Not available", "Method 8"},
               {0x08, 0, 4, "No", "Not available", "Method 4"},
               {0x02, 1, 3, "No", "Standard", "Other"},
               {0x04, 0, 0, "No", "Extended", "Not available"},
               {0x06, 0, 255, "No", "Extended", "Other"}};
  for (const auto& c : cases) {
    afm3test::removeTree(dir.file("v3.ab3"));
    const std::string tweaked = makeVersion3("Flags", false, nullptr, [&](Bytes& info) {
      info[6] = c.flags;
      info[544] = c.shown;
      info[1476] = c.code;
    });
    auto q = pages(tweaked, &version);
    EXPECT_EQ(q["General/6014"], c.restricted) << int{c.flags};
    EXPECT_EQ(q["General/6023"], "(no thumb-mark file)");
    EXPECT_EQ(q["Statistics/6020"], c.kind) << int{c.flags};
    EXPECT_EQ(q["Statistics/6028"], c.storage) << int{c.code};
  }

  // Too small a buffer: nothing written, the size needed told.
  char small[8] = "xxxxxxx";
  DWORD needed = 0;
  EXPECT_EQ(afm3GetAbmInfoPages(path.c_str(), small, sizeof small, &needed), 0x300u);
  EXPECT_EQ(small[0], '\0');
  EXPECT_GT(needed, sizeof small);
}

TEST_F(InfoAlbums, SizesKindsAndStorageCodesOfOlderHeaders) {
  Bytes v2 = afm3test::version2Album("Old one", 17, 0);
  v2[4652] = 0x10;  // thumbnail kind 1
  Bytes header(v2.begin(), v2.begin() + 4784);
  afm3test::sealChecksum(header);
  header.resize(1234567, 0);  // a file of 1234567 bytes
  DWORD version = 0;
  auto p = pages(write("old.ab3", header), &version);
  EXPECT_EQ(version, 0x200u);
  EXPECT_EQ(p["General/6011"], "Old one");
  EXPECT_EQ(p["General/6012"], "17");
  EXPECT_EQ(p["General/6016"], "2.0");
  EXPECT_EQ(p.count("Fields/6018"), 0u);
  EXPECT_EQ(p["Statistics/6025"], "1,234,567 bytes");
  EXPECT_EQ(p["Statistics/6020"], "Standard");
  EXPECT_EQ(p["Statistics/6019"], "64 x 64");

  afm3::LocaleSettings& locale = afm3::libraryState().locale;
  const afm3::LocaleSettings saved = locale;
  locale.thousandSeparator = '.';
  EXPECT_EQ(pages(dir.file("old.ab3"), &version)["Statistics/6025"], "1.234.567 bytes");
  locale = saved;
}

TEST_F(InfoAlbums, FailuresBeforeTheDialogAreReported) {
  afm3test::clearLastError();
  EXPECT_EQ(afm3ShowAbmInfo(0, nullptr, dir.file("missing.ab3").c_str(), nullptr), 0u);
  auto e = afm3test::lastError();
  EXPECT_EQ(e.id, 6414u);
  EXPECT_EQ(e.module, 7008u);
  EXPECT_EQ(e.function, 3u);
  EXPECT_EQ(e.step, 1u);
  // A version-1 album is shown only from the caller's open file (records
  // and thumbnails follow its header).
  Bytes file = afm3test::version1Header(2, "First", 4);
  file.resize(4096, 0);
  const std::string v1 = write("v1.ab3", file);
  EXPECT_EQ(afm3ShowAbmInfo(0, nullptr, v1.c_str(), nullptr), 0u);
  EXPECT_EQ(afm3test::lastError().id, 6426u);
}

#ifndef _WIN32

// What the headless dialog showed: every control's text by page and id.
struct Shown {
  int runs = 0;
  std::vector<std::string> tabs;
  std::map<int, std::string> general, statistics;
  std::vector<std::string> fieldRows;
  std::string fieldCount;
  bool fieldsPage = false;
  std::function<void(HWND)> act;
};

std::string itemText(HWND dialog, int id) {
  char text[600] = {};
  plat::dialogItemText(dialog, id, text, sizeof text);
  return text;
}

void readDialog(HWND dialog, int, void* user) {
  auto* shown = static_cast<Shown*>(user);
  ++shown->runs;
  const HWND tab = plat::dialogItem(dialog, 6010);
  char text[64];
  for (int i = 0; i < plat::tabItemCount(tab); ++i) {
    plat::tabItemText(tab, i, text, sizeof text);
    shown->tabs.push_back(text);
  }
  const HWND general = qwinTestChildDialog(dialog, 6201);
  const HWND fields = qwinTestChildDialog(dialog, 6202);
  const HWND stats = qwinTestChildDialog(dialog, 6203);
  for (int id : {6011, 6012, 6013, 6014, 6015, 6016, 6023})
    shown->general[id] = itemText(general, id);
  for (int id : {6019, 6020, 6021, 6022, 6024, 6025, 6026, 6028})
    shown->statistics[id] = itemText(stats, id);
  shown->fieldsPage = fields != nullptr;
  if (fields != nullptr) {
    const HWND list = plat::dialogItem(fields, 6017);
    for (int r = 0; r < plat::listRowCount(list); ++r) {
      char name[80], type[80];
      plat::listCellText(list, r, 0, name, sizeof name);
      plat::listCellText(list, r, 1, type, sizeof type);
      shown->fieldRows.push_back(std::string(name) + "\t" + type);
    }
    shown->fieldCount = itemText(fields, 6018);
  }
  if (shown->act) shown->act(dialog);
}

class InfoDialog : public InfoAlbums {
 protected:
  void SetUp() override { qwinTestSetDialogDriver(readDialog, &shown); }
  void TearDown() override { qwinTestSetDialogDriver(nullptr, nullptr); }
  Shown shown;
};

TEST_F(InfoDialog, ShowsTheSamePagesAsTheTextExport) {
  const std::string path = makeVersion3("Holiday 2020");
  EXPECT_EQ(afm3ShowAbmInfo(0, nullptr, path.c_str(), nullptr), 0x300u);
  ASSERT_EQ(shown.runs, 1);
  EXPECT_EQ(shown.tabs, (std::vector<std::string>{"General", "Fields", "Statistics"}));
  DWORD version = 0;
  auto p = pages(path, &version);
  for (const auto& [id, text] : shown.general) {
    std::string flat = text;
    for (char& c : flat)
      if (c == '\r' || c == '\n') c = ' ';
    EXPECT_EQ(flat, p["General/" + std::to_string(id)]) << id;
  }
  for (const auto& [id, text] : shown.statistics)
    EXPECT_EQ(text, p["Statistics/" + std::to_string(id)]) << id;
  EXPECT_EQ(shown.fieldRows, (std::vector<std::string>{"Name\tText", "Taken\tDate"}));
  EXPECT_EQ(shown.fieldCount, "2 fields");
  EXPECT_EQ(shown.general[6015], "Summer\r\nby the sea");
}

TEST_F(InfoDialog, Version2AlbumsHaveTwoTabsAndTheSecondShowsStatistics) {
  const std::string path = write("v2.ab3", afm3test::version2Album("Two", 3, 1));
  shown.act = [](HWND dialog) {
    const HWND tab = plat::dialogItem(dialog, 6010);
    const HWND general = qwinTestChildDialog(dialog, 6201);
    const HWND stats = qwinTestChildDialog(dialog, 6203);
    EXPECT_TRUE(IsWindowVisible(general));
    EXPECT_FALSE(IsWindowVisible(stats));
    ASSERT_TRUE(plat::tabSelect(tab, 1));
    plat::notifyParent(tab, plat::kTabSelectionChanged);
    EXPECT_FALSE(IsWindowVisible(general));
    EXPECT_TRUE(IsWindowVisible(stats));
  };
  EXPECT_EQ(afm3ShowAbmInfo(0, nullptr, path.c_str(), nullptr), 0x200u);
  EXPECT_EQ(shown.tabs, (std::vector<std::string>{"General", "Statistics"}));
  EXPECT_FALSE(shown.fieldsPage);
  EXPECT_EQ(shown.general[6016], "2.0");
  EXPECT_EQ(shown.general[6013], "No");
}

TEST_F(InfoDialog, AnAlbumTheHostHasOpenIsShownFromMemory) {
  const std::string path = makeVersion3("Kept open");
  HANDLE album = nullptr;
  // Opened without sharing: a second opening of the file would fail.
  ASSERT_NE(afm3OpenAlbum(owner(), path.c_str(), AFM3_OPEN_READ_WRITE | AFM3_OPEN_SHARE_NONE,
                          &album, nullptr, nullptr, nullptr),
            static_cast<DWORD>(AFM3_OPEN_FAILED));
  Bytes info(AFM3_ALBUM_INFO_SIZE);
  ASSERT_TRUE(afm3ReadBasicAlbumInfo(owner(), album, info.data()));
  info[8] = 'k';  // the title as the host changed it
  ASSERT_TRUE(afm3UpdateBasicAlbumInfo(owner(), album, info.data()));
  EXPECT_EQ(afm3ShowAbmInfo(0, nullptr, path.c_str(), nullptr), 0x300u);
  EXPECT_EQ(shown.general[6011], "kept open");
  EXPECT_EQ(shown.fieldRows.size(), 2u);
  afm3CloseAlbum(owner(), album);
}

TEST_F(InfoDialog, Version1AlbumsThroughTheCallersOpenFile) {
  const std::string path = write("v1.ab3", afm3test::version1Header(2, "Very old", 9));
  HANDLE file = plat::openFile(path.c_str(), plat::kGenericRead, plat::kShareRead,
                               plat::Disposition::OpenExisting);
  ASSERT_NE(file, plat::invalidFile());
  const AFM3_OPENED_ALBUM opened{file, 0, nullptr};
  EXPECT_EQ(afm3ShowAbmInfo(0, nullptr, path.c_str(), &opened), 0x102u);
  plat::closeFile(file);
  EXPECT_EQ(shown.tabs.size(), 2u);
  EXPECT_EQ(shown.general[6011], "Very old");
  EXPECT_EQ(shown.general[6012], "9");
  EXPECT_EQ(shown.general[6016], "1.2");
  EXPECT_EQ(shown.general[6023], "Not available");
  EXPECT_EQ(shown.statistics[6020], "Not available");
  EXPECT_EQ(shown.statistics[6019], "64 x 64");
}

TEST_F(InfoDialog, ReadOnlyFilesAndFoldersAreShownAsSuch) {
  const std::string path = makeVersion3("Locked");
  ASSERT_TRUE(plat::setFileAttributes(path.c_str(), plat::kAttrReadOnly));
  EXPECT_EQ(afm3ShowAbmInfo(0, nullptr, path.c_str(), nullptr), 0x300u);
  EXPECT_EQ(shown.statistics[6026], "Yes");
  plat::setFileAttributes(path.c_str(), plat::kAttrNormal);
  EXPECT_EQ(plat::fileAttributes(dir.file("~~~Test.xxx").c_str()), plat::kInvalidAttributes);
}

TEST_F(InfoDialog, ResizingGrowsThePagesAndKeepsTheButtonsInTheCorner) {
  const std::string path = makeVersion3("Sizes");
  shown.act = [](HWND dialog) {
    const HWND general = qwinTestChildDialog(dialog, 6201);
    auto place = [](HWND parent, int id) {
      plat::Rect r;
      EXPECT_TRUE(plat::windowPlacement(plat::dialogItem(parent, id), &r)) << id;
      return r;
    };
    const plat::Rect tab = place(dialog, 6010), ok = place(dialog, 1), help = place(dialog, 6027);
    const plat::Rect title = place(general, 6011), description = place(general, 6015),
                     mark = place(general, 6023), label = place(general, 6029);
    plat::Rect outer;
    ASSERT_TRUE(plat::windowPlacement(dialog, &outer));
    int minW = 0, minH = 0;
    ASSERT_TRUE(plat::minimumTrackSize(dialog, &minW, &minH));
    EXPECT_EQ(minW, outer.width());
    EXPECT_EQ(minH, outer.height());

    ASSERT_TRUE(
        plat::placeWindow(dialog, {outer.left, outer.top, outer.right + 60, outer.bottom + 40}));
    EXPECT_EQ(place(dialog, 6010).width(), tab.width() + 60);
    EXPECT_EQ(place(dialog, 6010).height(), tab.height() + 40);
    EXPECT_EQ(place(dialog, 1).left, ok.left + 60);
    EXPECT_EQ(place(dialog, 6027).top, help.top + 40);
    EXPECT_EQ(place(general, 6011).width(), title.width() + 60);
    EXPECT_EQ(place(general, 6015).height(), description.height() + 40);
    EXPECT_EQ(place(general, 6023).top, mark.top + 40);
    EXPECT_EQ(place(general, 6029).top, label.top + 40);
    EXPECT_EQ(place(general, 6011).top, title.top);

    // The size grip answers the hit test as the lower-right corner.
    plat::Rect client;
    plat::clientArea(dialog, &client);
    EXPECT_EQ(plat::sendMessage(dialog, 0x0084, 0,
                                plat::screenPointOf(dialog, client.right - 2, client.bottom - 2)),
              17);
    EXPECT_EQ(plat::sendMessage(dialog, 0x0084, 0, plat::screenPointOf(dialog, 5, 5)), 0);
  };
  EXPECT_EQ(afm3ShowAbmInfo(0, nullptr, path.c_str(), nullptr), 0x300u);
  EXPECT_EQ(shown.runs, 1);
}

TEST_F(InfoDialog, HelpAndCancelFromAPage) {
  const std::string path = makeVersion3("Help");
  afm3::libraryState().helpShown = false;
  shown.act = [](HWND dialog) {
    SendDlgItemMessageA(dialog, 6027, 0x00F5, 0, 0);  // BM_CLICK on Help
    EXPECT_TRUE(afm3::libraryState().helpShown);
    SendMessageA(qwinTestChildDialog(dialog, 6203), WM_COMMAND, IDCANCEL, 0);
  };
  EXPECT_EQ(afm3ShowAbmInfo(0, nullptr, path.c_str(), nullptr), 0x300u);
  afm3::libraryState().helpShown = false;
}

#endif  // !_WIN32

}  // namespace
