// Two processes on one mark file: writers open it exclusively, readers
// share it, so a writer meets the sharing error while anyone reads, and a
// reader never sees a change half made.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "afm3.h"
#include "held_file.h"
#include "mark_fixtures.h"
#include "platform.h"

namespace marktest {
namespace {

constexpr DWORD kSharingViolation = 32;

class MarkSharing : public MarkTest {
 protected:
  void SetUp() override {
    MarkTest::SetUp();
    mark_ = newMarkFile();
    Bytes r = markRecord("C:\\P\\HELD.JPG", 0x9);
    ASSERT_TRUE(afm3InsertThumbMark(owner(), mark_.c_str(), r.data()));
  }
  std::string mark_;
};

TEST_F(MarkSharing, WritersMeetTheSharingErrorWhileAnotherProcessReadsAndReadersWhileItWrites) {
  const Bytes before = fileBytes(mark_);
  Bytes r = markRecord("C:\\P\\NEW.JPG", 0x1);
  DWORD set = 0;
  {
    afm3test::HeldFile reader(mark_, "r", "rw");
    ASSERT_TRUE(reader.holding());
    EXPECT_FALSE(afm3InsertThumbMark(owner(), mark_.c_str(), r.data()));
    expectReport(kSharingViolation, 7012, 3, 1);
    EXPECT_EQ(afm3RemoveThumbMark(owner(), mark_.c_str(), "C:\\P\\HELD.JPG", "", kFixed), -1);
    expectReport(kSharingViolation, 7012, 4, 1);
    EXPECT_EQ(afm3ReadThumbMark(owner(), mark_.c_str(), "C:\\P\\HELD.JPG", "", kFixed, &set), 1)
        << "readers share";
  }
  EXPECT_EQ(fileBytes(mark_), before);
  afm3test::HeldFile writer(mark_, "rw", "-");
  ASSERT_TRUE(writer.holding());
  EXPECT_EQ(afm3ReadThumbMark(owner(), mark_.c_str(), "C:\\P\\HELD.JPG", "", kFixed, &set), -1);
  expectReport(kSharingViolation, 7012, 7, 1);
  EXPECT_EQ(writer.release(), 0);
}

// A second process inserts while this one lists: every listing either
// meets the sharing error or sees a whole file (the library checks that
// the chains hold exactly the records the header counts).
TEST_F(MarkSharing, ListingsWhileAnotherProcessInsertsAreWholeOrRefused) {
  constexpr unsigned kInserted = 200;
  std::atomic<int> childResult{-1};
  std::atomic<bool> childDone{false};
  std::thread child([&] {
    childResult =
        plat::runProcess({"marks_child", "insert", mark_, "1", std::to_string(kInserted)});
    childDone = true;
  });
  unsigned whole = 0, refused = 0;
  while (!childDone) {
    DWORD count = 0;
    HGLOBAL strings = nullptr, index = nullptr;
    if (afm3GetAllMarkRec(owner(), mark_.c_str(), &strings, &index, &count)) {
      ++whole;
      EXPECT_GE(count, 1u);
      GlobalFree(strings);
      GlobalFree(index);
    } else {
      ++refused;
      EXPECT_EQ(afm3test::lastError().id, kSharingViolation) << afm3test::lastError().text;
    }
  }
  child.join();
  ASSERT_EQ(childResult, 0);
  EXPECT_GT(whole, 0u);
  const MarkFileImage after = readMarkFile(fileBytes(mark_));
  EXPECT_EQ(after.problem, "");
  EXPECT_EQ(after.live, kInserted + 1);
  for (unsigned n = 1; n <= kInserted; n += 17) {
    DWORD set = 0;
    const std::string path = "C:\\SHARED\\P" + std::to_string(n) + ".JPG";
    EXPECT_EQ(afm3ReadThumbMark(owner(), mark_.c_str(), path.c_str(), "", kFixed, &set), 1);
    EXPECT_EQ(set, n);
  }
  std::printf("listings: %u whole, %u refused\n", whole, refused);
}

}  // namespace
}  // namespace marktest
