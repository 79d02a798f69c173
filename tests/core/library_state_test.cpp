#include "core/library_state.h"

#include <gtest/gtest.h>

#include <string>

#include "afm3.h"
#include "core/album_table.h"
#include "core/clients.h"
#include "core/locale_settings.h"
#include "core/paths.h"

namespace {

HINSTANCE key(uintptr_t n) { return reinterpret_cast<HINSTANCE>(n); }
HWND window(uintptr_t n) { return reinterpret_cast<HWND>(n); }

// Leaves the client table as a fresh process has it.
class Clients : public testing::Test {
 protected:
  void SetUp() override {
    afm3::destroyClientTable();
    ASSERT_TRUE(afm3::createClientTable());
  }
  void TearDown() override {
    afm3::destroyClientTable();
    afm3::createClientTable();
  }
};

TEST_F(Clients, RegistrationReturnsTheNotificationMessage) {
  const UINT message = afm3Register(key(1), window(10));
  EXPECT_GE(message, 0xC000u);
  EXPECT_EQ(afm3Register(key(2), window(20)), message);
  EXPECT_EQ(afm3::clientWindow(key(1)), window(10));
  EXPECT_EQ(afm3::clientWindow(key(2)), window(20));
}

TEST_F(Clients, NineKeysGrowTheTableByOneStep) {
  EXPECT_EQ(afm3::clientTableCapacity(), 8u);
  for (uintptr_t k = 1; k <= 9; ++k) ASSERT_NE(afm3Register(key(k), window(k)), 0u);
  EXPECT_EQ(afm3::clientTableCapacity(), 16u);
  for (uintptr_t k = 1; k <= 9; ++k) EXPECT_EQ(afm3::clientWindow(key(k)), window(k));
}

TEST_F(Clients, RegisteringAKeyAgainReplacesItsWindowWithoutGrowing) {
  for (int i = 0; i < 100; ++i) ASSERT_NE(afm3Register(key(7), window(100 + i)), 0u);
  EXPECT_EQ(afm3::clientWindow(key(7)), window(199));
  EXPECT_EQ(afm3::clientTableCapacity(), 8u);
  EXPECT_EQ(afm3::clientCount(), 1u);
}

TEST_F(Clients, UnregisterFreesTheEntryForReuse) {
  EXPECT_FALSE(afm3Unregister(key(5)));
  afm3Register(key(5), window(50));
  EXPECT_TRUE(afm3Unregister(key(5)));
  EXPECT_FALSE(afm3Unregister(key(5)));
  EXPECT_EQ(afm3::clientWindow(key(5)), nullptr);
  EXPECT_EQ(afm3::clientCount(), 0u);
  for (uintptr_t k = 1; k <= 8; ++k) afm3Register(key(k), window(k));
  EXPECT_EQ(afm3::clientTableCapacity(), 8u);
}

class AlbumTable : public testing::Test {
 protected:
  void SetUp() override {
    afm3::destroyAlbumTable();
    ASSERT_TRUE(afm3::createAlbumTable());
  }
  void TearDown() override {
    afm3::destroyAlbumTable();
    afm3::createAlbumTable();
  }
  // Fills a slot as a successful open would.
  static int open(uintptr_t owner, uintptr_t file) {
    const int index = afm3::allocateSlot();
    if (index < 0) return index;
    afm3::slotAt(index).ownerKey = key(owner);
    afm3::slotAt(index).file = reinterpret_cast<HANDLE>(file);
    afm3::markSlotOpen(index);
    return index;
  }
};

TEST_F(AlbumTable, TheSeventeenthAlbumGrowsTheTableAndTakesSlotSixteen) {
  for (uintptr_t i = 0; i < 16; ++i) ASSERT_EQ(open(1, 100 + i), static_cast<int>(i));
  EXPECT_EQ(afm3::albumTableCapacity(), 16u);
  EXPECT_EQ(open(1, 200), 16);
  EXPECT_EQ(afm3::albumTableCapacity(), 32u);
  EXPECT_EQ(afm3::openAlbumCount(), 17u);
  for (uintptr_t i = 0; i < 16; ++i)
    EXPECT_EQ(afm3::findSlot(key(1), reinterpret_cast<HANDLE>(100 + i)), static_cast<int>(i));
}

TEST_F(AlbumTable, AClosedSlotIsReusedFirst) {
  open(1, 100);
  open(1, 101);
  afm3::releaseSlot(0);
  EXPECT_EQ(afm3::openAlbumCount(), 1u);
  EXPECT_EQ(afm3::findSlot(key(1), reinterpret_cast<HANDLE>(100)), -1);
  EXPECT_EQ(open(1, 102), 0);
}

TEST_F(AlbumTable, LookupNeedsBothTheOwnerKeyAndTheHandle) {
  open(1, 100);
  open(2, 100);
  EXPECT_EQ(afm3::findSlot(key(1), reinterpret_cast<HANDLE>(100)), 0);
  EXPECT_EQ(afm3::findSlot(key(2), reinterpret_cast<HANDLE>(100)), 1);
  EXPECT_EQ(afm3::findSlot(key(3), reinterpret_cast<HANDLE>(100)), -1);
  EXPECT_EQ(afm3::findSlot(key(1), reinterpret_cast<HANDLE>(101)), -1);
}

TEST(PathRoot, FollowsTheDriveAndShareRules) {
  struct Case {
    const char* path;
    const char* root;
  } cases[] = {
      {"C:\\albums\\trip.ab3", "C:\\"},
      {"C:albums", "C:"},
      {"\\\\server\\share\\dir\\a.ab3", "\\\\server\\share\\"},
      {"\\\\server\\share", "\\\\server\\share"},
      {"\\\\server", "\\\\server"},
      {"albums\\trip.ab3", ""},
      {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(afm3::pathRoot(c.path), c.root) << c.path;
}

TEST(CodecFolder, IsTheExecutablesFolderFollowedByFio) {
  char out[260];
  afm3::buildCodecFolder("C:\\Program Files\\Host\\host.exe", out, sizeof out);
  EXPECT_STREQ(out, "C:\\Program Files\\Host\\FIO\\");
  const std::string deep = "C:\\" + std::string(255, 'd') + "\\host.exe";
  afm3::buildCodecFolder(deep.c_str(), out, sizeof out);
  EXPECT_STREQ(out, "") << "a folder that does not fit is not cut short";
}

TEST(LibraryState, AttachedWithResourcesAndFolders) {
  const afm3::LibraryState& state = afm3::libraryState();
  EXPECT_TRUE(state.attached);
  EXPECT_NE(state.resources, nullptr);
  const std::string codec = state.codecFolder;
  ASSERT_GE(codec.size(), 4u);
  EXPECT_EQ(codec.substr(codec.size() - 4), "FIO\\");
  const std::string appData = state.appDataFolder;
  ASSERT_FALSE(appData.empty());
  EXPECT_EQ(appData.back(), '\\');
  EXPECT_NE(state.osKind, 4u) << "kind 4 is kept as 2";
}

#ifndef _WIN32
TEST(LocaleSettings, DefaultsApplyWhenTheProfileIsEmpty) {
  qwinTestClearProfile();
  const afm3::LocaleSettings s = afm3::readLocaleSettings();
  EXPECT_EQ(s.thousandSeparator, ',');
  EXPECT_EQ(s.listSeparator, ',');
  EXPECT_STREQ(s.timeSeparator, ":");
  EXPECT_STREQ(s.morningSuffix, "AM");
  EXPECT_STREQ(s.afternoonSuffix, "PM");
  EXPECT_EQ(s.clock24, 0);
  EXPECT_EQ(s.leadingZero, 0);
}

TEST(LocaleSettings, ProfileValuesAreKeptToTheirFieldSizes) {
  qwinTestClearProfile();
  qwinTestSetProfileString("intl", "sThousand", ".x");
  qwinTestSetProfileString("Intl", "sList", ";");
  qwinTestSetProfileString("intl", "sTime", ".");
  qwinTestSetProfileString("intl", "s1159", "vormittags");
  qwinTestSetProfileString("intl", "s2359", "pm");
  qwinTestSetProfileString("intl", "iTime", "1");
  qwinTestSetProfileString("intl", "iTLzero", "1");
  const afm3::LocaleSettings s = afm3::readLocaleSettings();
  qwinTestClearProfile();
  EXPECT_EQ(s.thousandSeparator, '.');
  EXPECT_EQ(s.listSeparator, ';');
  EXPECT_STREQ(s.timeSeparator, ".");
  EXPECT_STREQ(s.morningSuffix, "vormitt");
  EXPECT_STREQ(s.afternoonSuffix, "pm");
  EXPECT_EQ(s.clock24, 1);
  EXPECT_EQ(s.leadingZero, 1);
}
#endif

}  // namespace
