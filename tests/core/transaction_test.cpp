#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "afm3.h"
#include "album_fixtures.h"
#include "core/album_table.h"
#include "core/library_state.h"
#include "held_file.h"
#include "platform.h"
#include "temp_dir.h"

namespace {

using afm3test::Bytes;

HINSTANCE hostA() { return reinterpret_cast<HINSTANCE>(0xA000); }
HINSTANCE hostB() { return reinterpret_cast<HINSTANCE>(0xB000); }

struct Heard {
  UINT message = 0;
  std::vector<std::pair<WPARAM, LPARAM>> notes;
};

LRESULT CALLBACK listen(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* heard = static_cast<Heard*>(plat::windowData(window));
  if (heard != nullptr && message == heard->message) heard->notes.emplace_back(wParam, lParam);
  return 0;
}

// One album opened twice, as two hosts (or two processes) would.
class Transactions : public testing::Test {
 protected:
  void SetUp() override {
    path = dir.file("shared.ab3");
    const Bytes fields = afm3test::fieldSpec("Name", 11);
    HANDLE album = afm3CreateAlbum(hostA(), afm3test::albumInfo("Shared").data(), 1, fields.data(),
                                   path.c_str(), nullptr, nullptr);
    ASSERT_NE(album, nullptr);
    afm3CloseAlbum(hostA(), album);
    window = plat::createMessageWindow(listen, &heard);
    ASSERT_NE(window, nullptr);
    heard.message = afm3Register(hostA(), window);
    ASSERT_NE(heard.message, 0u);
  }
  void TearDown() override {
    afm3Unregister(hostA());
    plat::destroyWindow(window);
    // Commits may have replaced either host's handle: close by owner key.
    for (size_t i = 0; i < afm3::albumTableCapacity(); ++i) {
      const afm3::AlbumSlot& slot = afm3::slotAt(static_cast<int>(i));
      if ((slot.flags & afm3::kSlotInUse) && (slot.ownerKey == hostA() || slot.ownerKey == hostB()))
        afm3CloseAlbum(slot.ownerKey, slot.file);
    }
  }

  void openBoth(DWORD flags) {
    ASSERT_NE(afm3OpenAlbum(hostA(), path.c_str(), flags, &a, nullptr, nullptr, nullptr), 0xFFFFu);
    ASSERT_NE(afm3OpenAlbum(hostB(), path.c_str(), flags, &b, nullptr, nullptr, nullptr), 0xFFFFu);
  }

  // Rewrites the album information through host A's handle.
  bool updateA(const std::string& title) {
    return afm3UpdateBasicAlbumInfo(hostA(), a, afm3test::albumInfo(title).data()) != FALSE;
  }

  // A commit may give the album a new handle (the notification says which);
  // host A's album is found again by its owner key.
  void followNotifications() {
    for (size_t i = 0; i < afm3::albumTableCapacity(); ++i) {
      const afm3::AlbumSlot& slot = afm3::slotAt(static_cast<int>(i));
      if ((slot.flags & afm3::kSlotInUse) && slot.ownerKey == hostA()) a = slot.file;
    }
  }

  afm3test::TempDir dir;
  std::string path;
  HWND window = nullptr;
  Heard heard;
  HANDLE a = nullptr;
  HANDLE b = nullptr;
};

TEST_F(Transactions, AnUpdateWithWriteSharingCommitsAndNotifiesOnce) {
  openBoth(0x21);
  ASSERT_TRUE(updateA("Once"));
  ASSERT_EQ(heard.notes.size(), 1u);
  EXPECT_EQ(heard.notes[0].first, 1u);
  followNotifications();
  // The new handle's low half is in the high word of lParam.
  const auto low = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(a)) & 0xFFFF;
  EXPECT_EQ((static_cast<uint32_t>(heard.notes[0].second) >> 16) & 0xFFFF, low);
}

TEST_F(Transactions, WithoutWriteSharingNothingIsLockedOrAnnounced) {
  ASSERT_NE(afm3OpenAlbum(hostA(), path.c_str(), 0x11, &a, nullptr, nullptr, nullptr), 0xFFFFu);
  ASSERT_TRUE(updateA("Quiet"));
  ASSERT_TRUE(updateA("Quieter"));
  EXPECT_TRUE(heard.notes.empty());
}

TEST_F(Transactions, ABatchUnderAnExplicitLockIsAnnouncedOnceAtTheEnd) {
  openBoth(0x21);
  ASSERT_TRUE(afm3BeginLock(hostA(), a));
  ASSERT_TRUE(afm3BeginLock(hostA(), a)) << "a second lock is not nested";
  for (const char* title : {"one", "two", "three"}) ASSERT_TRUE(updateA(title));
  EXPECT_TRUE(heard.notes.empty());
  afm3EndLock(hostA(), a);
  EXPECT_EQ(heard.notes.size(), 1u);
}

TEST_F(Transactions, AnotherHandlesUpdateFailsAtOnceWhileTheLockIsHeld) {
  openBoth(0x21);
  ASSERT_TRUE(afm3BeginLock(hostA(), a));
  const uint32_t start = plat::tickCount();
  EXPECT_FALSE(afm3UpdateBasicAlbumInfo(hostB(), b, afm3test::albumInfo("blocked").data()));
  EXPECT_LT(plat::tickCount() - start, 400u);
  afm3test::LastError e = afm3test::lastError();
  EXPECT_EQ(e.text, afm3test::messageText(6633));
  EXPECT_EQ(e.module, 7004u);
  EXPECT_EQ(e.function, 5u);
  EXPECT_EQ(e.step, 2u);

  // Its reads wait for the lock about a second, then give up (where locks
  // refuse reads at all).
  if (!plat::locksBindReadsAndWrites()) {
    afm3EndLock(hostA(), a);
    return;
  }
  const uint32_t readStart = plat::tickCount();
  EXPECT_FALSE(afm3ReadBasicAlbumInfo(hostB(), b, nullptr));
  const uint32_t waited = plat::tickCount() - readStart;
  EXPECT_GE(waited, 900u);
  EXPECT_LT(waited, 3000u);
  e = afm3test::lastError();
  EXPECT_EQ(e.id, 6633u);
  EXPECT_EQ(e.step, 2u);

  afm3EndLock(hostA(), a);
  followNotifications();
  EXPECT_TRUE(afm3UpdateBasicAlbumInfo(hostB(), b, afm3test::albumInfo("free").data()));
}

TEST_F(Transactions, ALockInAnotherProcessStopsUpdatesAtOnceAndReadsAfterASecond) {
  ASSERT_NE(afm3OpenAlbum(hostB(), path.c_str(), 0x21, &b, nullptr, nullptr, nullptr), 0xFFFFu);
  afm3test::HeldFile locker(path, "rw", "rw", 0, 0xFFFFFFFFu);
  ASSERT_TRUE(locker.holding());
  const uint32_t start = plat::tickCount();
  EXPECT_FALSE(afm3UpdateBasicAlbumInfo(hostB(), b, afm3test::albumInfo("blocked").data()));
  EXPECT_LT(plat::tickCount() - start, 400u);
  EXPECT_EQ(afm3test::lastError().text, afm3test::messageText(6633));
  if (plat::locksBindReadsAndWrites()) {
    const uint32_t readStart = plat::tickCount();
    EXPECT_FALSE(afm3ReadBasicAlbumInfo(hostB(), b, nullptr));
    EXPECT_GE(plat::tickCount() - readStart, 900u);
    EXPECT_EQ(afm3test::lastError().id, 6633u);
  }
  EXPECT_EQ(locker.release(), 0);
  EXPECT_TRUE(afm3UpdateBasicAlbumInfo(hostB(), b, afm3test::albumInfo("free").data()));
}

TEST_F(Transactions, CommitKeepsAnExplicitLock) {
  openBoth(0x21);
  ASSERT_TRUE(afm3BeginLock(hostA(), a));
  HANDLE committed = afm3CommitFile(hostA(), a);
  ASSERT_NE(committed, nullptr);
  a = committed;
  EXPECT_FALSE(afm3UpdateBasicAlbumInfo(hostB(), b, afm3test::albumInfo("blocked").data()));
  afm3EndLock(hostA(), a);
  followNotifications();
  EXPECT_TRUE(afm3UpdateBasicAlbumInfo(hostB(), b, afm3test::albumInfo("free").data()));
}

TEST_F(Transactions, ReopenChangesAccessAndHandle) {
  ASSERT_NE(afm3OpenAlbum(hostA(), path.c_str(), 0x21, &a, nullptr, nullptr, nullptr), 0xFFFFu);
  HANDLE before = a;
  ASSERT_TRUE(afm3ReOpenFile(hostA(), &a, 0x12));
  EXPECT_GE(afm3::findSlot(hostA(), a), 0);
  if (a != before) {
    EXPECT_LT(afm3::findSlot(hostA(), before), 0);
  }
  const afm3::AlbumSlot& slot = afm3::slotAt(afm3::findSlot(hostA(), a));
  EXPECT_EQ(slot.access, plat::kGenericRead);
  EXPECT_EQ(slot.shareMode, 0u);
  // Read-only now: the update cannot write its header.
  EXPECT_FALSE(updateA("read only"));
}

TEST_F(Transactions, ReplaceOpensAnotherHandleOnTheSamePath) {
  ASSERT_NE(afm3OpenAlbum(hostA(), path.c_str(), 0x22, &a, nullptr, nullptr, nullptr), 0xFFFFu);
  HANDLE old = a;
  HANDLE fresh = afm3ReplaceFile(hostA(), a, 0);
  ASSERT_NE(fresh, nullptr);
  EXPECT_NE(fresh, old);
  a = fresh;
  EXPECT_GE(afm3::findSlot(hostA(), fresh), 0);
  plat::closeFile(old);
}

TEST_F(Transactions, HandleOperationsRefuseUnknownAlbums) {
  HANDLE bogus = reinterpret_cast<HANDLE>(0x7777);
  EXPECT_EQ(afm3CommitFile(hostA(), bogus), nullptr);
  EXPECT_EQ(afm3test::lastError().id, 6441u);
  EXPECT_EQ(afm3ReplaceFile(hostA(), bogus, 0), nullptr);
  EXPECT_EQ(afm3test::lastError().function, 11u);
  EXPECT_FALSE(afm3ReOpenFile(hostA(), &bogus, 0));
  EXPECT_EQ(afm3test::lastError().module, 7007u);
  afm3test::clearLastError();
  EXPECT_FALSE(afm3BeginLock(hostA(), bogus));
  EXPECT_FALSE(afm3CacheAlbum(hostA(), bogus, TRUE));
  EXPECT_FALSE(afm3test::lastError().recorded);
}

TEST_F(Transactions, CachesComeAndGo) {
  ASSERT_NE(afm3OpenAlbum(hostA(), path.c_str(), 0x22, &a, nullptr, nullptr, nullptr), 0xFFFFu);
  EXPECT_TRUE(afm3CacheAlbum(hostA(), a, FALSE));
  ASSERT_TRUE(afm3CacheAlbum(hostA(), a, TRUE));
  const afm3::AlbumSlot& slot = afm3::slotAt(afm3::findSlot(hostA(), a));
  EXPECT_NE(slot.rowCache, nullptr);
  EXPECT_EQ(slot.textCacheSize, 2);
  EXPECT_NE(slot.flags & afm3::kSlotKeepCaches, 0);
  EXPECT_TRUE(afm3CacheAlbum(hostA(), a, FALSE));
  EXPECT_EQ(slot.rowCache, nullptr);
  EXPECT_EQ(slot.memoCache, nullptr);
  EXPECT_EQ(slot.flags & afm3::kSlotKeepCaches, 0);
}

}  // namespace
