// Reorganizing under injected faults: stopped after every write and
// rename, or with any one read, write or rename failing. Whatever happens,
// the next open finds every record the album held, either as it was or
// reorganized, and no failed call reports success.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/album_table.h"
#include "fault_injection.h"
#include "platform.h"
#include "reorganize_support.h"

namespace reorgtest {
namespace {

using plat::faults::Mode;
using plat::faults::Op;

const std::vector<uint8_t> kTypes = {11, 12, 8, 9, 10};

struct Disarm {
  ~Disarm() { plat::faults::disarm(); }
};

// An album with every kind of value, records 1 and 4 deleted, and what
// each live record holds.
struct Scene {
  Scene() : album({11, 12, 8, 9, 10}) {
    // Nothing to drop from the table: its indexes read the same afterwards.
    const Bytes table = {'a', 0, 'b', 0};
    EXPECT_TRUE(afm3UpdateTable(album.owner, album.handle(), 2, table.data(), 4, 2));
    for (uint32_t n = 0; n < 6; ++n) {
      Values v;
      Bytes index(2, 0);
      index[0] = static_cast<uint8_t>(n % 2);
      v.text("text " + std::to_string(n)).text("memo").raw(index).text("s" + std::to_string(n));
      v.blob(Bytes(n, static_cast<uint8_t>(n)));
      EXPECT_EQ(insertRecord(album, &v, "C:\\" + std::to_string(n), "b", n + 1, Bytes(2, 9)),
                int(n));
    }
    EXPECT_TRUE(afm3DeleteRecord(album.owner, album.handle(), 1));
    EXPECT_TRUE(afm3DeleteRecord(album.owner, album.handle(), 4));
    for (uint32_t n : {0, 2, 3, 5}) live.push_back(recordContent(album, n, kTypes));
    original = album.file();
  }

  // Closes whatever the run left open, as the end of the process would.
  void endProcess() {
    for (HANDLE h; (h = TestAlbum::handleOf(album.owner)) != nullptr;)
      afm3CloseAlbum(album.owner, h);
  }

  // The next process opens the album: it is either the old one, or the
  // reorganized one with the live records numbered 0..3.
  void expectIntact(const std::string& when) {
    HANDLE h = nullptr;
    ASSERT_NE(
        afm3OpenAlbum(album.owner, album.path.c_str(), kPrivate, &h, nullptr, nullptr, nullptr),
        0xFFFFu)
        << when << ": " << afm3test::lastError().text;
    const bool unchanged = album.file() == original;
    const uint32_t old[] = {0, 2, 3, 5};
    for (uint32_t i = 0; i < live.size(); ++i) {
      const uint32_t record = unchanged ? old[i] : i;
      ASSERT_EQ(recordContent(album, record, kTypes), live[i]) << when << ", record " << record;
    }
    afm3CloseAlbum(album.owner, h);
  }

  TestAlbum album;
  std::vector<std::string> live;
  Bytes original;
};

TEST(FaultSweep, AStopAfterAnyWriteOrRenameLosesNothing) {
  Disarm disarm;
  bool completed = false;
  uint32_t k = 1;
  for (; !completed && k < 2000; ++k) {
    Scene scene;
    plat::faults::arm(Op::Write, k, Mode::StopAfter);
    reorganize(scene.album);
    completed = !plat::faults::stopped();
    plat::faults::disarm();
    scene.endProcess();
    scene.expectIntact("stopped after mutating call " + std::to_string(k));
    if (completed) {
      EXPECT_NE(scene.album.file(), scene.original) << "the last run took effect";
    }
  }
  EXPECT_TRUE(completed);
  RecordProperty("stop_points", static_cast<int>(k - 1));
}

struct FaultKind {
  const char* name;
  Op op;
};

class EveryFailure : public testing::TestWithParam<FaultKind> {};

TEST_P(EveryFailure, FailsTheRunOrIsSurvived) {
  Disarm disarm;
  bool exhausted = false;
  uint32_t k = 1;
  for (; !exhausted && k < 2000; ++k) {
    Scene scene;
    afm3test::clearLastError();
    plat::faults::arm(GetParam().op, k, Mode::FailOne);
    const int result = reorganize(scene.album);
    exhausted = !plat::faults::failedAny();
    plat::faults::disarm();
    const std::string when = std::string(GetParam().name) + " " + std::to_string(k) + " failing";
    if (exhausted) {
      EXPECT_EQ(result, 1) << when;
    } else {
      EXPECT_NE(result, 1) << when;
      // Before the album's file is deleted, a failure changes nothing.
      if (GetParam().op != Op::Rename) {
        EXPECT_EQ(scene.album.file(), scene.original) << when;
        EXPECT_FALSE(workFileLeft(scene.album)) << when;
        EXPECT_EQ(afm3test::lastError().module, 7005u) << when;
      }
    }
    scene.endProcess();
    scene.expectIntact(when);
  }
  EXPECT_TRUE(exhausted);
  RecordProperty("fault_points", static_cast<int>(k - 2));
}

INSTANTIATE_TEST_SUITE_P(Calls, EveryFailure,
                         testing::Values(FaultKind{"read", Op::Read}, FaultKind{"write", Op::Write},
                                         FaultKind{"seek", Op::Seek},
                                         FaultKind{"rename", Op::Rename}),
                         [](const testing::TestParamInfo<FaultKind>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
}  // namespace reorgtest
