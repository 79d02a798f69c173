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

struct Phase {
  std::string caption;
  uint32_t total, steps;
};

// Checks the shape (a count of 5, then per phase its beginning, steps
// 1, 2, ... and an end, the last end saying the run is over) and returns
// the phases.
std::vector<Phase> phasesOf(const std::vector<Heard>& heard) {
  std::vector<Phase> phases;
  EXPECT_EQ(heard.at(0).message, AFM3_PROGRESS_PHASE_COUNT);
  EXPECT_EQ(heard.at(0).wParam, 5u);
  for (size_t i = 1; i < heard.size(); ++i) {
    const Heard& h = heard[i];
    if (h.message == AFM3_PROGRESS_PHASE_BEGIN) {
      EXPECT_EQ(std::vector<DWORD>({h.info.one, h.info.zero, h.info.reserved}),
                std::vector<DWORD>({1, 0, 0}));
      phases.push_back({h.caption, h.info.totalSteps, 0});
    } else if (h.message == AFM3_PROGRESS_STEP) {
      EXPECT_EQ(h.lParam, LPARAM(++phases.back().steps));
    } else {
      EXPECT_EQ(h.message, AFM3_PROGRESS_PHASE_END);
      EXPECT_EQ(h.wParam, i + 1 == heard.size() ? 1u : 0u);
    }
  }
  return phases;
}

struct Expected {
  uint32_t caption, subCaption, total, steps;
};
struct Case {
  const char* name;
  std::vector<uint8_t> types;
  std::vector<WORD> order;
  std::vector<Expected> phases;
};

class ProgressPhases : public testing::TestWithParam<Case> {};

TEST_P(ProgressPhases, AreAnnouncedWithTheirCaptionsAndSteps) {
  TestAlbum album(GetParam().types);
  for (uint32_t n = 0; n < 3; ++n) ASSERT_EQ(album.insert(nullptr), 1);
  ProgressListener listener;
  const auto* order = GetParam().order.empty() ? nullptr : &GetParam().order;
  ASSERT_EQ(reorganize(album, order, listener.window()), 1);
  const std::vector<Phase> phases = phasesOf(listener.heard());
  ASSERT_EQ(phases.size(), GetParam().phases.size());
  for (size_t p = 0; p < phases.size(); ++p) {
    const Expected& e = GetParam().phases[p];
    EXPECT_EQ(phases[p].caption, caption(e.caption, e.subCaption)) << p;
    EXPECT_EQ(phases[p].total, e.total) << p;
    EXPECT_EQ(phases[p].steps, e.steps) << p;
  }
}

// A new album's page directory has 128 entries: one step each.
INSTANTIATE_TEST_SUITE_P(
    Albums, ProgressPhases,
    testing::Values(
        Case{"text_and_memo",
             {11, 2, 12},
             {},
             {{6294, 0, 128, 128},
              {6295, 0, 3, 3},
              {6296, 6276, 3, 3},
              {6296, 6277, 3, 3},
              {6297, 0, 3, 3}}},
        Case{"text_only_in_order",
             {11},
             {2, 0, 1},
             {{6294, 0, 3, 3},
              {6295, 0, 1, 1},
              {6296, 6276, 3, 3},
              {6296, 6277, 3, 0},
              {6297, 0, 3, 3}}},
        Case{"no_heap_field", {2}, {}, {{6294, 0, 128, 128}, {6295, 0, 1, 1}, {6297, 0, 3, 3}}}),
    [](const testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

TEST(Progress, AHandleThatIsNoWindowIsIgnored) {
  TestAlbum album({2});
  EXPECT_EQ(reorganize(album, nullptr, reinterpret_cast<HWND>(0x7777)), 1);
}

class CancelAtFirstStep : public testing::TestWithParam<uint32_t> {};

TEST_P(CancelAtFirstStep, LeavesTheAlbumAndNoWorkFile) {
  TestAlbum album({11, 2, 12});
  for (uint32_t n = 0; n < 3; ++n) {
    Values v;
    v.text("t" + std::to_string(n)).u32(n).text("m");
    ASSERT_EQ(album.insert(&v), 1);
  }
  ASSERT_TRUE(afm3DeleteRecord(album.owner, album.handle(), 1));
  const Bytes before = album.file();
  ProgressListener listener;
  listener.cancelAt(GetParam(), 1);
  afm3test::clearLastError();
  EXPECT_EQ(reorganize(album, nullptr, listener.window()), -1);
  rectest::expectNoReport();
  EXPECT_EQ(album.file(), before);
  EXPECT_FALSE(workFileLeft(album));
  EXPECT_EQ(listener.heard().back().message, AFM3_PROGRESS_PHASE_END);
  EXPECT_EQ(listener.heard().back().wParam, 1u);
  EXPECT_EQ(album.text(2, 0), "t2") << "the album is open as it was";
}

INSTANTIATE_TEST_SUITE_P(EveryPhase, CancelAtFirstStep, testing::Values(1u, 2u, 3u, 4u, 5u));

}  // namespace
}  // namespace reorgtest
