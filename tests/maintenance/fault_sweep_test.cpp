// Reorganizing under injected faults: stopped after every write and
// rename, or with any one read, write, seek or rename failing. Whatever
// happens, the next open finds every record the album held, as it was or
// reorganized, and no run whose call failed reports success.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fault_injection.h"
#include "reorganize_support.h"

namespace reorgtest {
namespace {

using plat::faults::Mode;
using plat::faults::Op;

const std::vector<uint8_t> kTypes = {11, 12, 8, 9, 10};
const uint32_t kLive[] = {0, 2, 3, 5};

// An album with every kind of value, records 1 and 4 deleted.
struct Scene {
  Scene() : album(kTypes) {
    const Bytes table = {'a', 0, 'b', 0};  // nothing to drop: indexes read the same
    EXPECT_TRUE(afm3UpdateTable(album.owner, album.handle(), 2, table.data(), 4, 2));
    for (uint32_t n = 0; n < 6; ++n) {
      Values v;
      v.text("text " + std::to_string(n)).text("memo").raw({uint8_t(n % 2), 0});
      v.text("s" + std::to_string(n)).blob(Bytes(n, uint8_t(n)));
      EXPECT_EQ(insertRecord(album, &v, "C:\\" + std::to_string(n), "b", n + 1, Bytes(2, 9)),
                int(n));
    }
    EXPECT_TRUE(afm3DeleteRecord(album.owner, album.handle(), 1));
    EXPECT_TRUE(afm3DeleteRecord(album.owner, album.handle(), 4));
    for (uint32_t n : kLive) live.push_back(recordContent(album, n, kTypes));
    original = album.file();
  }

  // Closes what the run left open, as the end of its process would, and
  // opens the album as the next process: it is the old album, or the
  // reorganized one with the live records numbered 0..3.
  void expectIntactAfterwards(const std::string& when) {
    for (HANDLE h; (h = TestAlbum::handleOf(album.owner)) != nullptr;)
      afm3CloseAlbum(album.owner, h);
    HANDLE h = nullptr;
    ASSERT_NE(
        afm3OpenAlbum(album.owner, album.path.c_str(), kPrivate, &h, nullptr, nullptr, nullptr),
        0xFFFFu)
        << when << ": " << afm3test::lastError().text;
    const bool unchanged = album.file() == original;
    for (uint32_t i = 0; i < live.size(); ++i)
      ASSERT_EQ(recordContent(album, unchanged ? kLive[i] : i, kTypes), live[i]) << when;
  }

  TestAlbum album;
  std::vector<std::string> live;
  Bytes original;
};

struct Fault {
  const char* name;
  Op op;
  Mode mode;
};

class FaultSweep : public testing::TestWithParam<Fault> {};

TEST_P(FaultSweep, EveryPointLeavesTheRecords) {
  const Fault fault = GetParam();
  bool done = false;
  uint32_t k = 1;
  for (; !done && k < 1000; ++k) {
    Scene scene;
    afm3test::clearLastError();
    plat::faults::arm(fault.op, k, fault.mode);
    const int result = reorganize(scene.album);
    done = fault.mode == Mode::StopAfter ? !plat::faults::stopped() : !plat::faults::failedAny();
    plat::faults::disarm();
    const std::string when = std::string(fault.name) + " at call " + std::to_string(k);
    EXPECT_TRUE(fault.mode != Mode::FailOne || (result == 1) == done) << when;
    // Until the album file is deleted, a failure changes nothing.
    if (fault.mode == Mode::FailOne && !done && fault.op != Op::Rename) {
      EXPECT_EQ(scene.album.file(), scene.original) << when;
      EXPECT_FALSE(workFileLeft(scene.album)) << when;
      EXPECT_EQ(afm3test::lastError().module, 7005u) << when;
    }
    scene.expectIntactAfterwards(when);
  }
  EXPECT_TRUE(done);
  RecordProperty("fault_points", static_cast<int>(k - 1));
}

INSTANTIATE_TEST_SUITE_P(Calls, FaultSweep,
                         testing::Values(Fault{"stop", Op::Write, Mode::StopAfter},
                                         Fault{"read", Op::Read, Mode::FailOne},
                                         Fault{"write", Op::Write, Mode::FailOne},
                                         Fault{"seek", Op::Seek, Mode::FailOne},
                                         Fault{"rename", Op::Rename, Mode::FailOne}),
                         [](const testing::TestParamInfo<Fault>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
}  // namespace reorgtest
