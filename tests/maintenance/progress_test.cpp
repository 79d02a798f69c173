// The progress messages of a reorganization, and cancelling from them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "reorganize_support.h"

namespace reorgtest {
namespace {

std::string caption(uint32_t id, uint32_t sub = 0) {
  return afm3test::messageText(id) + (sub == 0 ? "" : "/" + afm3test::messageText(sub));
}

// Every phase is a beginning, its steps 1..total in order and an end; the
// run ends with the one end that says so.
void expectWellFormed(const std::vector<Heard>& heard) {
  ASSERT_FALSE(heard.empty());
  EXPECT_EQ(heard.front().message, AFM3_PROGRESS_PHASE_COUNT);
  EXPECT_EQ(heard.front().wParam, 5u);
  size_t i = 1;
  while (i < heard.size()) {
    ASSERT_EQ(heard[i].message, AFM3_PROGRESS_PHASE_BEGIN) << i;
    const AFM3_PROGRESS_PHASE_INFO& info = heard[i].info;
    EXPECT_EQ(info.one, 1u);
    EXPECT_EQ(info.zero, 0u);
    EXPECT_EQ(info.reserved, 0u);
    ++i;
    for (uint32_t step = 1; i < heard.size() && heard[i].message == AFM3_PROGRESS_STEP; ++step, ++i)
      EXPECT_EQ(heard[i].lParam, LPARAM{step});
    ASSERT_LT(i, heard.size());
    EXPECT_EQ(heard[i].message, AFM3_PROGRESS_PHASE_END);
    EXPECT_EQ(heard[i].wParam, i + 1 == heard.size() ? 1u : 0u);
    ++i;
  }
}

uint32_t stepsOfPhase(const std::vector<Heard>& heard, size_t phase) {
  size_t seen = 0;
  uint32_t steps = 0;
  for (const Heard& h : heard) {
    if (h.message == AFM3_PROGRESS_PHASE_BEGIN) ++seen;
    if (seen == phase + 1 && h.message == AFM3_PROGRESS_STEP) ++steps;
  }
  return steps;
}

uint32_t totalOfPhase(const std::vector<Heard>& heard, size_t phase) {
  size_t seen = 0;
  for (const Heard& h : heard)
    if (h.message == AFM3_PROGRESS_PHASE_BEGIN && seen++ == phase) return h.info.totalSteps;
  return 0;
}

void fill(TestAlbum& album, uint32_t records) {
  for (uint32_t n = 0; n < records; ++n) {
    Values v;
    v.text("t" + std::to_string(n)).u32(n).text("m");
    ASSERT_EQ(album.insert(&v), 1);
  }
}

TEST(Progress, FivePhasesWithTheirCaptionsAndSteps) {
  TestAlbum album({11, 2, 12});
  fill(album, 3);
  ProgressListener listener;
  ASSERT_EQ(reorganize(album, nullptr, listener.window()), 1);
  expectWellFormed(listener.heard());
  EXPECT_EQ(listener.phases(),
            (std::vector<std::string>{caption(6294), caption(6295), caption(6296, 6276),
                                      caption(6296, 6277), caption(6297)}));
  const uint32_t totals[] = {128, 3, 3, 3, 3};  // a new album's directory has 128 pages
  for (size_t p = 0; p < 5; ++p) {
    EXPECT_EQ(totalOfPhase(listener.heard(), p), totals[p]) << p;
    EXPECT_EQ(stepsOfPhase(listener.heard(), p), totals[p]) << p;
  }
}

TEST(Progress, AnOrderCountsRecordsAndAHeapWithoutFieldsTakesNoSteps) {
  TestAlbum album({11, 2});
  for (uint32_t n = 0; n < 2; ++n) {
    Values v;
    v.text("t").u32(n);
    ASSERT_EQ(album.insert(&v), 1);
  }
  const std::vector<WORD> order = {1, 0};
  ProgressListener listener;
  ASSERT_EQ(reorganize(album, &order, listener.window()), 1);
  expectWellFormed(listener.heard());
  EXPECT_EQ(totalOfPhase(listener.heard(), 0), 2u);
  EXPECT_EQ(totalOfPhase(listener.heard(), 3), 2u);
  EXPECT_EQ(stepsOfPhase(listener.heard(), 3), 0u) << "no memo field: the memo pass is empty";
}

TEST(Progress, WithoutTextOrMemoFieldsThreePhasesAreAnnounced) {
  TestAlbum album({2});
  ProgressListener listener;
  ASSERT_EQ(reorganize(album, nullptr, listener.window()), 1);
  expectWellFormed(listener.heard());
  EXPECT_EQ(listener.phases(),
            (std::vector<std::string>{caption(6294), caption(6295), caption(6297)}));
}

TEST(Progress, AHandleThatIsNoWindowIsIgnored) {
  TestAlbum album({2});
  EXPECT_EQ(reorganize(album, nullptr, reinterpret_cast<HWND>(0x7777)), 1);
}

class CancelAtFirstStep : public testing::TestWithParam<uint32_t> {};

TEST_P(CancelAtFirstStep, LeavesTheAlbumAndNoWorkFile) {
  TestAlbum album({11, 2, 12});
  fill(album, 3);
  ASSERT_TRUE(afm3DeleteRecord(album.owner, album.handle(), 1));
  const Bytes before = album.file();
  ProgressListener listener;
  listener.cancelAt(GetParam(), 1);
  afm3test::clearLastError();
  EXPECT_EQ(reorganize(album, nullptr, listener.window()), -1);
  rectest::expectNoReport();
  EXPECT_EQ(album.file(), before);
  EXPECT_FALSE(workFileLeft(album));
  const Heard& last = listener.heard().back();
  EXPECT_EQ(last.message, AFM3_PROGRESS_PHASE_END);
  EXPECT_EQ(last.wParam, 1u);
  EXPECT_EQ(album.text(2, 0), "t2") << "the album is still open as it was";
}

INSTANTIATE_TEST_SUITE_P(EveryPhase, CancelAtFirstStep, testing::Values(1u, 2u, 3u, 4u, 5u));

}  // namespace
}  // namespace reorgtest
