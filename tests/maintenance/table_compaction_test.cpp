// Compacting a value table in memory.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "maintenance/value_table_compaction.h"

namespace afm3 {
namespace {

struct Case {
  const char* what;
  std::string table;  // the stored bytes
  uint16_t count;
  std::string compacted;
  std::vector<uint16_t> remap;
};

class Compaction : public testing::TestWithParam<Case> {};

TEST_P(Compaction, KeepsTheNonEmptyEntriesInOrder) {
  const Case& c = GetParam();
  std::vector<uint8_t> bytes(c.table.begin(), c.table.end());
  bytes.push_back(0);  // the guard
  std::vector<uint16_t> remap(c.count, 0x1234);
  const CompactedTable out =
      compactValueTable(bytes.data(), static_cast<uint32_t>(c.table.size()), c.count, remap.data());
  EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + out.size), c.compacted);
  EXPECT_EQ(out.count, c.remap.size() - std::count(c.remap.begin(), c.remap.end(), kNoEntry));
  EXPECT_EQ(remap, c.remap);
}

const std::string kFilled("\xFF\xFF\0", 3);

INSTANTIATE_TEST_SUITE_P(
    Tables, Compaction,
    testing::Values(
        Case{"example",
             std::string("x\0\0", 3) + kFilled + std::string("y\0", 2),
             4,
             std::string("x\0y\0", 4),
             {0, kNoEntry, kNoEntry, 1}},
        Case{"room_after_the_entries",
             std::string("ab\0c\0\0\0\0\0", 9),
             2,
             std::string("ab\0c\0", 5),
             {0, 1}},
        Case{"count_past_the_bytes",
             std::string("a\0b\0", 4),
             4,
             std::string("a\0b\0", 4),
             {0, 1, kNoEntry, kNoEntry}},
        Case{"last_entry_cut_off", std::string("a\0bc", 4), 2, std::string("a\0bc\0", 5), {0, 1}},
        Case{"fewer_counted_than_stored",
             std::string("a\0b\0c\0", 6),
             2,
             std::string("a\0b\0", 4),
             {0, 1}},
        Case{"only_dropped", kFilled + std::string("\0", 1), 2, "", {kNoEntry, kNoEntry}},
        Case{"ff_inside_a_name_stays",
             std::string("a\xFF\0", 3),
             1,
             std::string("a\xFF\0", 3),
             {0}}),
    [](const testing::TestParamInfo<Case>& info) { return std::string(info.param.what); });

TEST(Compaction, IndexesPastTheTableAndNoEntryStayNoEntry) {
  const uint16_t remap[] = {1, kNoEntry, 0};
  EXPECT_EQ(remapIndex(remap, 3, 0), 1);
  EXPECT_EQ(remapIndex(remap, 3, 1), kNoEntry);
  EXPECT_EQ(remapIndex(remap, 3, 2), 0);
  EXPECT_EQ(remapIndex(remap, 3, 3), kNoEntry);
  EXPECT_EQ(remapIndex(remap, 3, kNoEntry), kNoEntry);
}

}  // namespace
}  // namespace afm3
