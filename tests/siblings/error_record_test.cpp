// The caller's last error record of the common library.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "q32comm.h"
#include "sibling_test_util.h"

namespace {

class ErrorRecordTest : public testing::Test {
 protected:
  void SetUp() override { c32ClearDLLErrInfo(); }
  void TearDown() override { c32ClearDLLErrInfo(); }
};

TEST_F(ErrorRecordTest, RoundTripKeepsEveryField) {
  c32SetDLLErrInfo("The file was not found.", 6414, 0, 7000, 5, 2);
  char text[256] = "stale";
  DWORD id = 0, module = 0, function = 0, step = 0;
  ASSERT_TRUE(c32GetDLLErrInfo(text, sizeof text, &id, &module, &function, &step));
  EXPECT_STREQ(text, "The file was not found.");
  EXPECT_EQ(id, 6414u);
  EXPECT_EQ(module, 7000u);
  EXPECT_EQ(function, 5u);
  EXPECT_EQ(step, 2u);
}

TEST_F(ErrorRecordTest, NothingRecordedAfterClear) {
  c32SetDLLErrInfo("x", 1, 0, 2, 3, 4);
  c32ClearDLLErrInfo();
  char text[16] = "stale";
  DWORD id = 99, step = 99;
  EXPECT_FALSE(c32GetDLLErrInfo(text, sizeof text, &id, nullptr, nullptr, &step));
  EXPECT_STREQ(text, "");
  EXPECT_EQ(id, 0u);
  EXPECT_EQ(step, 0u);
}

TEST_F(ErrorRecordTest, LaterRecordReplacesEarlierOne) {
  c32SetDLLErrInfo("a much longer first message", 6403, 0, 7004, 1, 12);
  c32SetDLLErrInfo("short", 6406, 0, 7001, 2, 3);
  char text[64];
  DWORD id = 0;
  ASSERT_TRUE(c32GetDLLErrInfo(text, sizeof text, &id, nullptr, nullptr, nullptr));
  EXPECT_STREQ(text, "short");
  EXPECT_EQ(id, 6406u);
}

TEST_F(ErrorRecordTest, KeepsAtMost255Characters) {
  const std::string longText(400, 'x');
  c32SetDLLErrInfo(longText.c_str(), 1, 0, 0, 0, 0);
  char text[512];
  ASSERT_TRUE(c32GetDLLErrInfo(text, sizeof text, nullptr, nullptr, nullptr, nullptr));
  EXPECT_EQ(std::strlen(text), 255u);
}

TEST_F(ErrorRecordTest, CopyIsCutToTheCallersBuffer) {
  c32SetDLLErrInfo("0123456789", 1, 0, 0, 0, 0);
  char text[8];
  std::memset(text, '#', sizeof text);
  ASSERT_TRUE(c32GetDLLErrInfo(text, 5, nullptr, nullptr, nullptr, nullptr));
  EXPECT_STREQ(text, "0123");
  EXPECT_EQ(text[5], '#');
}

TEST_F(ErrorRecordTest, NullTextAndNullOutputsAreAccepted) {
  c32SetDLLErrInfo(nullptr, 6633, 0, 7011, 6, 1);
  DWORD id = 0;
  EXPECT_TRUE(c32GetDLLErrInfo(nullptr, 0, &id, nullptr, nullptr, nullptr));
  EXPECT_EQ(id, 6633u);
  char text[8] = "stale";
  EXPECT_TRUE(c32GetDLLErrInfo(text, sizeof text, nullptr, nullptr, nullptr, nullptr));
  EXPECT_STREQ(text, "");
}

TEST_F(ErrorRecordTest, TruncationNeverSplitsADoubleByteCharacter) {
  sibtest::CodePage932 codePage;
  if (!codePage.active()) GTEST_SKIP() << "needs code page 932";
  // 254 single bytes, then a double-byte character that would straddle the
  // 255-character limit.
  const std::string text = std::string(254, 'a') + sibtest::kKanjiWith5C + "tail";
  c32SetDLLErrInfo(text.c_str(), 1, 0, 0, 0, 0);
  char copy[512];
  ASSERT_TRUE(c32GetDLLErrInfo(copy, sizeof copy, nullptr, nullptr, nullptr, nullptr));
  EXPECT_EQ(std::string(copy), std::string(254, 'a'));
}

TEST_F(ErrorRecordTest, ConcurrentReadersNeverSeeATornRecord) {
  // Each writer's text and codes derive from its number; a record mixed
  // from two writers would break the relation.
  c32SetDLLErrInfo("writer 1", 1, 0, 10, 100, 1);
  std::atomic<bool> done{false};
  std::atomic<int> torn{0};
  std::thread reader([&] {
    while (!done) {
      char text[64];
      DWORD id = 0, module = 0, function = 0, step = 0;
      c32GetDLLErrInfo(text, sizeof text, &id, &module, &function, &step);
      if (std::string(text) != "writer " + std::to_string(id) || module != id * 10 ||
          function != id * 100 || step != id)
        ++torn;
    }
  });
  std::vector<std::thread> writers;
  for (DWORD t = 1; t <= 3; ++t) {
    writers.emplace_back([t] {
      const std::string text = "writer " + std::to_string(t);
      for (int i = 0; i < 3000; ++i) c32SetDLLErrInfo(text.c_str(), t, 0, t * 10, t * 100, t);
    });
  }
  for (std::thread& w : writers) w.join();
  done = true;
  reader.join();
  EXPECT_EQ(torn.load(), 0);
}

}  // namespace
