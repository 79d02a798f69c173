// An insert into an existing row block makes exactly five writes: the
// text entry in the current heap block, the gathered appended pieces, the
// row, the header, the entry. A failure of each is reported with the step
// of what it carried and leaves the album as it was.
#include <gtest/gtest.h>

#include "fault_injection.h"
#include "records_support.h"

namespace rectest {
namespace {

namespace faults = plat::faults;

int insertOne(TestAlbum& album, const std::string& tag) {
  Values v;
  v.text("text " + tag).text("string " + tag).u32(7);
  return album.insert(&v, nullptr, ("C:\\P\\" + tag + ".JPG").c_str(), "b");
}

TEST(InsertWrites, EachWriteFailsWithItsOwnStepAndChangesNothing) {
  TestAlbum album({11, 9, 2}, 0x11);
  ASSERT_EQ(insertOne(album, "first"), 1);
  // text entry, type-9 string (the first appended piece), row, header, entry
  const uint32_t steps[] = {24, 21, 20, 31, 30};
  for (uint32_t k = 1; k <= 5; ++k) {
    SCOPED_TRACE(k);
    faults::arm(faults::Op::Write, k, faults::Mode::FailOne);
    EXPECT_EQ(insertOne(album, "failed"), 0);
    EXPECT_TRUE(faults::failedAny());
    faults::disarm();
    expectReport(6420, 7004, 1, steps[k - 1]);
    EXPECT_EQ(afm3IsValidRecord(album.owner, album.handle(), 1), 0);
  }
  faults::reset();
  ASSERT_EQ(insertOne(album, "second"), 1);
  EXPECT_EQ(faults::calls(faults::Op::Write), 5u);
  faults::disarm();
  EXPECT_EQ(album.text(1, 0), "text second");
  EXPECT_EQ(album.text(0, 0), "text first");
}

}  // namespace
}  // namespace rectest
