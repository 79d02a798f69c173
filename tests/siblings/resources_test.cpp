// The resource library QMBRC: loaded the way the album library loads it,
// and checked against its script qmbrc.rc.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "platform.h"
#include "qmbrc_ids.h"
#include "rcparse.h"
#include "resource_table.h"

namespace {

constexpr uint32_t kWsChild = 0x40000000u;
constexpr uint32_t kWsPopup = 0x80000000u;
constexpr uint32_t kWsThickFrame = 0x00040000u;

std::string scriptPath() {
  std::string path = std::string(QMBRC_SCRIPT_FOLDER) + "/qmbrc.rc";
#ifdef _WIN32
  if (path[0] == '/') path = "Z:" + path;  // the host's root under Wine
#endif
  return path;
}

const rcgen::ResourceScript& script() {
  static const rcgen::ResourceScript parsed = [] {
    rcgen::ResourceScript s;
    std::string error;
    EXPECT_TRUE(rcgen::parseScriptFile(scriptPath(), {}, &s, &error)) << error;
    return s;
  }();
  return parsed;
}

const rcgen::DialogResource* scriptDialog(uint32_t id) {
  for (const rcgen::DialogResource& d : script().dialogs) {
    if (d.id == id) return &d;
  }
  return nullptr;
}

// The conversions of a printf format, in order ("%lu", "%s", ...).
std::vector<std::string> conversions(const std::string& format) {
  std::vector<std::string> found;
  for (size_t i = 0; i < format.size(); ++i) {
    if (format[i] != '%') continue;
    size_t j = i + 1;
    while (j < format.size() &&
           std::string("-+ #0123456789.lh").find(format[j]) != std::string::npos)
      ++j;
    found.push_back(format.substr(i, j - i + 1));
    i = j;
  }
  return found;
}

class ResourceLibraryTest : public testing::Test {
 protected:
  static void SetUpTestSuite() { module_ = plat::loadLibrary("QMBRC.dll"); }
  static void TearDownTestSuite() {
    if (module_ != nullptr) plat::freeLibrary(module_);
    module_ = nullptr;
  }
  void SetUp() override { ASSERT_NE(module_, nullptr) << "QMBRC.dll not found beside the tests"; }

  static std::string load(uint32_t id) {
    char buffer[512];
    const int length = plat::loadString(module_, id, buffer, sizeof buffer);
    return length > 0 ? std::string(buffer, static_cast<size_t>(length)) : std::string();
  }

  static HMODULE module_;
};

HMODULE ResourceLibraryTest::module_ = nullptr;

TEST_F(ResourceLibraryTest, EveryMessageTheLibraryShowsHasAText) {
  std::vector<uint32_t> ids = {6301, 6401, 6402, 6403, 6404, 6405, 6406, 6408, 6410, 6412, 6414,
                               6415, 6416, 6417, 6418, 6420, 6424, 6425, 6426, 6427, 6428, 6429,
                               6432, 6433, 6434, 6435, 6436, 6437, 6439, 6440, 6441, 6443, 6444,
                               6445, 6632, 6633, 6667, 6718, 6719, 6720, 6806};
  for (uint32_t id = 6260; id <= 6291; ++id) ids.push_back(id);
  for (uint32_t id = 6294; id <= 6300; ++id) ids.push_back(id);
  // Windows errors the library reports as 6600 + n (5 and 162 are shown as
  // 33; the JPEG codec's errors come as 6629, 6630 and 6713).
  for (uint32_t n :
       {2u,  3u,  4u,  5u,  6u,  8u,  15u, 19u, 21u, 23u, 25u, 26u,  27u,  29u,  30u, 31u,
        32u, 33u, 38u, 53u, 54u, 55u, 59u, 64u, 66u, 80u, 87u, 112u, 113u, 123u, 206u})
    ids.push_back(6600 + n);
  for (uint32_t id : ids) EXPECT_FALSE(load(id).empty()) << "no text for message " << id;
}

TEST_F(ResourceLibraryTest, NamedTexts) {
  EXPECT_NE(load(6633).find("lock"), std::string::npos) << load(6633);
  const std::set<std::string> v2Names = {load(6282), load(6283), load(6284)};
  EXPECT_EQ(v2Names.size(), 3u);
  EXPECT_EQ(v2Names.count(""), 0u);
  EXPECT_NE(load(6263), load(6264));  // the two answers of a yes/no item
}

TEST_F(ResourceLibraryTest, ConvertedFieldNamesAreFiveNamesAndThreeMore) {
  const std::string names = load(6718);
  std::vector<std::string> parts(1);
  for (char c : names) {
    if (c == '@') {
      parts.emplace_back();
    } else {
      parts.back() += c;
    }
  }
  ASSERT_EQ(parts.size(), 5u) << names;
  std::set<std::string> all(parts.begin(), parts.end());
  all.insert({load(6719), load(6720), load(6667)});
  EXPECT_EQ(all.size(), 8u) << "field names must be distinct and non-empty";
  EXPECT_EQ(all.count(""), 0u);
}

TEST_F(ResourceLibraryTest, FormatsTakeTheArgumentsTheirCallersPass) {
  struct Format {
    uint32_t id;
    std::vector<std::string> conversions;
  };
  const Format formats[] = {
      {6402, {"%lu", "%s", "%lu"}},
      {6410, {"%s"}},
      {6434, {"%s"}},
      {6299, {"%s"}},
      {6443, {"%s"}},
      {6445, {"%s"}},
  };
  std::set<uint32_t> formatIds;
  for (const Format& f : formats) {
    EXPECT_EQ(conversions(load(f.id)), f.conversions) << "message " << f.id;
    formatIds.insert(f.id);
  }
  // Any other text is shown as it is: a '%' there would be a mistake.
  for (const rcgen::StringResource& s : script().strings) {
    if (formatIds.count(s.id) == 0) {
      EXPECT_EQ(s.text.find('%'), std::string::npos) << "message " << s.id;
    }
  }
  char text[256];
  std::snprintf(text, sizeof text, load(6402).c_str(), 1234ul, "D:\\", 98765ul);
  const std::string formatted = text;
  EXPECT_LT(formatted.find("1234"), formatted.find("D:\\"));
  EXPECT_LT(formatted.find("D:\\"), formatted.find("98765"));
}

TEST_F(ResourceLibraryTest, EveryScriptStringLoadsUnchanged) {
  ASSERT_FALSE(script().strings.empty());
  for (const rcgen::StringResource& s : script().strings) {
    EXPECT_EQ(load(s.id), s.text) << "message " << s.id;
    // Messages are loaded into 256-character buffers.
    EXPECT_LT(s.text.size(), 200u) << "message " << s.id;
  }
}

TEST_F(ResourceLibraryTest, LoadingCutsToTheBufferAndMissesUnknownIds) {
  char small[10];
  EXPECT_EQ(plat::loadString(module_, 6633, small, sizeof small), 9);
  EXPECT_EQ(std::string(small), load(6633).substr(0, 9));
  char buffer[64];
  EXPECT_EQ(plat::loadString(module_, IDD_ABM_INFO_GENERAL, buffer, sizeof buffer), 0);
  EXPECT_EQ(plat::loadString(module_, 6999, buffer, sizeof buffer), 0);
}

TEST_F(ResourceLibraryTest, DialogTemplatesArePresent) {
  const uint32_t dialogs[] = {IDD_ASK_NEW_PATH, IDD_ABM_INFO, IDD_ABM_INFO_GENERAL,
                              IDD_ABM_INFO_FIELDS, IDD_ABM_INFO_STATS};
#ifdef _WIN32
  for (uint32_t id : dialogs) {
    EXPECT_NE(FindResourceA(module_, MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(5)), nullptr)
        << "dialog " << id;
  }
#else
  auto tableOf = reinterpret_cast<QwinResourceTableFunction>(
      plat::procAddress(module_, QWIN_RESOURCE_TABLE_SYMBOL));
  ASSERT_NE(tableOf, nullptr);
  const QwinResourceTable* table = tableOf();
  for (uint32_t id : dialogs) {
    const QwinDialogTemplate* found = nullptr;
    for (int i = 0; i < table->dialogCount; ++i) {
      if (table->dialogs[i].id == id) found = &table->dialogs[i];
    }
    EXPECT_NE(found, nullptr) << "dialog " << id;
  }
#endif
}

#ifndef _WIN32
// The platform layer looks strings and dialogs up by binary search.
TEST_F(ResourceLibraryTest, TableMatchesTheScriptAndIsSorted) {
  auto tableOf = reinterpret_cast<QwinResourceTableFunction>(
      plat::procAddress(module_, QWIN_RESOURCE_TABLE_SYMBOL));
  ASSERT_NE(tableOf, nullptr);
  const QwinResourceTable* table = tableOf();
  ASSERT_EQ(static_cast<size_t>(table->stringCount), script().strings.size());
  for (int i = 0; i < table->stringCount; ++i) {
    if (i > 0) {
      EXPECT_LT(table->strings[i - 1].id, table->strings[i].id);
    }
    EXPECT_EQ(table->strings[i].text, script().strings[i].text);
  }
  ASSERT_EQ(static_cast<size_t>(table->dialogCount), script().dialogs.size());
  for (int i = 0; i < table->dialogCount; ++i) {
    const QwinDialogTemplate& d = table->dialogs[i];
    const rcgen::DialogResource& s = script().dialogs[i];
    if (i > 0) {
      EXPECT_LT(table->dialogs[i - 1].id, d.id);
    }
    EXPECT_EQ(d.id, s.id);
    EXPECT_EQ(d.style, s.style);
    EXPECT_EQ(d.caption, s.caption);
    ASSERT_EQ(static_cast<size_t>(d.controlCount), s.controls.size());
    for (int c = 0; c < d.controlCount; ++c) {
      EXPECT_EQ(d.controls[c].id, s.controls[c].id);
      EXPECT_EQ(d.controls[c].className, s.controls[c].className);
      EXPECT_EQ(d.controls[c].style, s.controls[c].style);
      EXPECT_EQ(d.controls[c].height, s.controls[c].height);
    }
  }
}
#endif

// ---- the templates as the dialog code needs them -------------------------------

void expectControls(uint32_t dialog, const std::vector<int>& ids) {
  const rcgen::DialogResource* d = scriptDialog(dialog);
  ASSERT_NE(d, nullptr) << "dialog " << dialog;
  std::set<int> seen;
  for (const rcgen::ControlResource& c : d->controls) {
    if (c.id != IDC_STATIC) {
      EXPECT_TRUE(seen.insert(c.id).second) << "control " << c.id << " twice in " << dialog;
    }
  }
  for (int id : ids) EXPECT_EQ(seen.count(id), 1u) << "control " << id << " missing in " << dialog;
}

const rcgen::ControlResource* scriptControl(uint32_t dialog, int id) {
  const rcgen::DialogResource* d = scriptDialog(dialog);
  if (d == nullptr) return nullptr;
  for (const rcgen::ControlResource& c : d->controls) {
    if (c.id == id) return &c;
  }
  return nullptr;
}

TEST(ResourceScriptTest, FolderQuestionHasItsEditAndButtons) {
  expectControls(IDD_ASK_NEW_PATH, {IDC_NEW_PATH, 1, 2});
  const rcgen::ControlResource* edit = scriptControl(IDD_ASK_NEW_PATH, IDC_NEW_PATH);
  ASSERT_NE(edit, nullptr);
  EXPECT_EQ(edit->className, "EDIT");
}

TEST(ResourceScriptTest, InformationDialogAndItsPages) {
  expectControls(IDD_ABM_INFO, {IDC_INFO_TAB, 1, IDC_INFO_HELP});
  expectControls(IDD_ABM_INFO_GENERAL,
                 {6011, 6012, 6013, 6014, 6015, 6016, 6023, IDC_INFO_MARK_LABEL});
  expectControls(IDD_ABM_INFO_FIELDS, {IDC_INFO_FIELD_LIST, IDC_INFO_FIELD_COUNT});
  expectControls(IDD_ABM_INFO_STATS, {6019, 6020, 6021, 6022, 6024, 6025, 6026, 6028,
                                      IDC_INFO_THUMB_GROUP, IDC_INFO_FILE_GROUP});

  const rcgen::ControlResource* tab = scriptControl(IDD_ABM_INFO, IDC_INFO_TAB);
  ASSERT_NE(tab, nullptr);
  EXPECT_EQ(tab->className, "SysTabControl32");
  const rcgen::ControlResource* list = scriptControl(IDD_ABM_INFO_FIELDS, IDC_INFO_FIELD_LIST);
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(list->className, "SysListView32");
  const rcgen::ControlResource* count = scriptControl(IDD_ABM_INFO_FIELDS, IDC_INFO_FIELD_COUNT);
  ASSERT_NE(count, nullptr);
  EXPECT_EQ(conversions(count->text), std::vector<std::string>{"%d"});

  // The main dialog is resizable; the pages live inside it as children.
  ASSERT_NE(scriptDialog(IDD_ABM_INFO), nullptr);
  EXPECT_NE(scriptDialog(IDD_ABM_INFO)->style & kWsThickFrame, 0u);
  for (uint32_t page : {IDD_ABM_INFO_GENERAL, IDD_ABM_INFO_FIELDS, IDD_ABM_INFO_STATS}) {
    ASSERT_NE(scriptDialog(page), nullptr);
    EXPECT_EQ(scriptDialog(page)->style & (kWsChild | kWsPopup), kWsChild) << "page " << page;
  }
}

}  // namespace
