// Marks on picture files: identity, chain order, replacement, the free
// list, the mark index and names, many pictures, and damaged files.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>

#include "afm3.h"
#include "mark_fixtures.h"
#include "platform.h"

namespace marktest {
namespace {

using afm3test::get16;
using afm3test::get32;

class MarkRecords : public MarkTest {
 protected:
  void SetUp() override {
    MarkTest::SetUp();
    mark_ = newMarkFile();
  }
  bool insert(const std::string& path, uint32_t set, const std::string& label = "",
              uint8_t type = kFixed) {
    Bytes r = markRecord(path, set, label, type);
    return afm3InsertThumbMark(owner(), mark_.c_str(), r.data()) != FALSE;
  }
  int read(const std::string& path, const std::string& label, uint8_t type, DWORD* set) {
    return afm3ReadThumbMark(owner(), mark_.c_str(), path.c_str(), label.c_str(), type, set);
  }
  int remove(const std::string& path, const std::string& label = "", uint8_t type = kFixed) {
    return afm3RemoveThumbMark(owner(), mark_.c_str(), path.c_str(), label.c_str(), type);
  }
  MarkFileImage image() const { return readMarkFile(fileBytes(mark_)); }
  std::vector<std::string> chainPaths(const std::string& picture) const {
    const Bytes file = fileBytes(mark_);
    std::vector<std::string> paths;
    const MarkFileImage parsed = readMarkFile(file);
    for (uint32_t at : parsed.chains[nameHash(picture)])
      paths.emplace_back(reinterpret_cast<const char*>(&file[at]));
    return paths;
  }

  std::string mark_;
};

TEST_F(MarkRecords, RemovableMediaAreKnownByPathAndLabelFixedDisksByFullPath) {
  ASSERT_TRUE(insert("A:\\PIC1.JPG", 0x1, "DISK1", kRemovable));
  ASSERT_TRUE(insert("C:\\PIC2.JPG", 0x2, "SYSTEM", kFixed));
  struct Case {
    const char* path;
    const char* label;
    uint8_t type;
    int found;
    DWORD set;
  } cases[] = {
      {"B:\\PIC1.JPG", "DISK1", kRemovable, 1, 0x1}, {"A:\\PIC1.JPG", "DISK2", kRemovable, 0, 0},
      {"A:\\PIC1.JPG", "DISK1", kCdRom, 0, 0},       {"C:\\PIC2.JPG", "OTHER", kFixed, 1, 0x2},
      {"D:\\PIC2.JPG", "SYSTEM", kFixed, 0, 0},      {"C:\\PIC2.JPG", "SYSTEM", kRemovable, 0, 0},
      {"C:\\pic2.jpg", "SYSTEM", kFixed, 0, 0},
  };
  for (const Case& c : cases) {
    DWORD set = 0xDEAD;
    EXPECT_EQ(read(c.path, c.label, c.type, &set), c.found) << c.path << " " << c.label;
    EXPECT_EQ(set, c.set) << c.path;
  }
}

TEST_F(MarkRecords, MarkingAPictureAgainReplacesItsSetInPlace) {
  ASSERT_TRUE(insert("C:\\PICS\\X.JPG", 0x1));
  const size_t size = fileBytes(mark_).size();
  ASSERT_TRUE(insert("C:\\PICS\\X.JPG", 0x30));
  DWORD set = 0;
  EXPECT_EQ(read("C:\\PICS\\X.JPG", "", kFixed, &set), 1);
  EXPECT_EQ(set, 0x30u);
  EXPECT_EQ(fileBytes(mark_).size(), size);
  const MarkFileImage after = image();
  EXPECT_EQ(after.problem, "");
  EXPECT_EQ(after.live, 1);
}

TEST_F(MarkRecords, ChainsStayInPathOrder) {
  for (const char* folder : {"c", "a", "b"})
    ASSERT_TRUE(insert(std::string("C:\\") + folder + "\\P.JPG", 1));
  EXPECT_EQ(chainPaths("P.JPG"),
            (std::vector<std::string>{"C:\\a\\P.JPG", "C:\\b\\P.JPG", "C:\\c\\P.JPG"}));
  ASSERT_TRUE(insert("C:\\d\\P.JPG", 1));
  // Equal paths on two removable disks follow one another.
  ASSERT_TRUE(insert("A:\\b\\P.JPG", 2, "TWO", kRemovable));
  EXPECT_EQ(chainPaths("P.JPG"),
            (std::vector<std::string>{"C:\\a\\P.JPG", "C:\\b\\P.JPG", "A:\\b\\P.JPG",
                                      "C:\\c\\P.JPG", "C:\\d\\P.JPG"}));
  EXPECT_EQ(image().problem, "");
}

TEST_F(MarkRecords, FreedRecordsAreReusedMostRecentFirstWithoutGrowth) {
  ASSERT_TRUE(insert("C:\\ONLY.JPG", 1));
  EXPECT_EQ(remove("C:\\ONLY.JPG"), 1);
  EXPECT_EQ(remove("C:\\ONLY.JPG"), 0);
  MarkFileImage after = image();
  EXPECT_EQ(after.problem, "");
  EXPECT_TRUE(after.chains[nameHash("ONLY.JPG")].empty());
  EXPECT_EQ(after.live, 0);
  EXPECT_EQ(after.freeCount, 1);
  ASSERT_TRUE(insert("C:\\A.JPG", 1));
  ASSERT_TRUE(insert("C:\\B.JPG", 1));
  EXPECT_EQ(fileBytes(mark_).size(), kEmptySize + 2 * kRecordSize);
  EXPECT_EQ(image().chains.at(nameHash("A.JPG")), (std::vector<uint32_t>{kEmptySize}));
  EXPECT_EQ(remove("C:\\A.JPG"), 1);
  EXPECT_EQ(remove("C:\\B.JPG"), 1);
  ASSERT_TRUE(insert("C:\\C.JPG", 1));
  EXPECT_EQ(image().chains.at(nameHash("C.JPG")),
            (std::vector<uint32_t>{kEmptySize + kRecordSize}));
  EXPECT_EQ(image().problem, "");
}

TEST_F(MarkRecords, FixedFieldsEndAtTheirSizeAndPaddingIsCleared) {
  const std::string label(32, 'L'), path = "C:\\" + std::string(121, 'p') + ".JPG";
  Bytes r = markRecord(path, 7, label, kRemovable);
  r[165] = r[166] = r[167] = 0xEE;
  ASSERT_EQ(path.size(), 128u);
  ASSERT_TRUE(afm3InsertThumbMark(owner(), mark_.c_str(), r.data()));
  EXPECT_EQ(r[165] | r[166] | r[167], 0);
  DWORD set = 0;
  EXPECT_EQ(read("X" + path.substr(1), label, kRemovable, &set), 1);
  EXPECT_EQ(set, 7u);
  EXPECT_EQ(image().problem, "");
}

TEST_F(MarkRecords, MarkNamesOfASet) {
  const Bytes names = nameTable({"red", "green", "blue", "", "", std::string(32, 'w')});
  ASSERT_TRUE(afm3UpdateMarkFileInfo(owner(), mark_.data(), names.data(), nullptr, nullptr));
  struct Case {
    DWORD set;
    std::string strings;
  } cases[] = {
      {0x5, std::string("red\0\0blue", 9) + std::string(24, '\0')},
      {0x0, std::string(26, '\0')},
      {0x20, std::string(5, '\0') + std::string(32, 'w') + std::string(21, '\0')},
  };
  for (const Case& c : cases) {
    LPSTR out = nullptr;
    ASSERT_TRUE(afm3GetRecordMarkName(owner(), mark_.c_str(), c.set, &out));
    HGLOBAL block = GlobalHandle(out);
    EXPECT_EQ(GlobalSize(block), c.strings.size());
    EXPECT_EQ(std::string(out, c.strings.size()), c.strings);
    GlobalUnlock(block);
    GlobalFree(block);
  }
}

TEST_F(MarkRecords, TheIndexListsEveryRecordInBucketAndChainOrder) {
  DWORD count = 99;
  HGLOBAL strings = reinterpret_cast<HGLOBAL>(1), index = reinterpret_cast<HGLOBAL>(1);
  ASSERT_TRUE(afm3GetAllMarkRec(owner(), mark_.c_str(), &strings, &index, &count));
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(strings, nullptr);
  EXPECT_EQ(index, nullptr);

  ASSERT_TRUE(insert("C:\\b\\P.JPG", 0x3, "VOL", kFixed));
  ASSERT_TRUE(insert("C:\\a\\P.JPG", 0x1, "", kFixed));
  ASSERT_TRUE(insert("A:\\Q.JPG", 0x2, "FLOPPY", kRemovable));
  ASSERT_TRUE(afm3GetAllMarkRec(owner(), mark_.c_str(), &strings, &index, &count));
  ASSERT_EQ(count, 3u);
  const auto* s = static_cast<const char*>(GlobalLock(strings));
  const auto* x = static_cast<const uint8_t*>(GlobalLock(index));
  EXPECT_EQ(GlobalSize(index), 2048u + 3 * 36);
  // "P.JPG" hashes to 112 ("p"), "Q.JPG" to 113: descriptors {first entry,
  // entries}; every other bucket is empty.
  const Bytes all(x, x + 2048 + 3 * 36);
  const uint32_t p = nameHash("P.JPG"), q = nameHash("Q.JPG");
  ASSERT_LT(p, q);
  EXPECT_EQ(get16(all, 4 * p), 0);
  EXPECT_EQ(get16(all, 4 * p + 2), 2);
  EXPECT_EQ(get16(all, 4 * q), 2);
  EXPECT_EQ(get16(all, 4 * q + 2), 1);
  EXPECT_EQ(get16(all, 4 * (p - 1)), 0xFFFF);
  EXPECT_EQ(get16(all, 4 * (p - 1) + 2), 0);
  std::vector<std::string> listed;
  for (uint32_t i = 0; i < 3; ++i) {
    const size_t e = 2048 + 36 * i;
    const uint32_t path = get32(all, e + 4), label = get32(all, e + 8), type = get32(all, e + 12);
    listed.push_back(std::string(s + path, label - path) + "|" +
                     std::string(s + label, type - label) + "|" + std::to_string(s[type]) + "|" +
                     std::to_string(get32(all, e + 16)) + "|" + std::to_string(get16(all, e)));
  }
  // Extended hashes: "p" 112, "q" 113 (the name up to its dot).
  EXPECT_EQ(listed, (std::vector<std::string>{"C:\\a\\P.JPG||3|1|112", "C:\\b\\P.JPG|VOL|3|3|112",
                                              "A:\\Q.JPG|FLOPPY|2|2|113"}));
  GlobalUnlock(strings);
  GlobalUnlock(index);
  GlobalFree(strings);
  GlobalFree(index);
}

TEST_F(MarkRecords, TenThousandPicturesGoInComeBackAndLeave) {
  constexpr uint32_t kPictures = 10000;
  auto path = [](uint32_t n) {
    char name[40];
    std::snprintf(name, sizeof name, "C:\\F%u\\DSC%05u.JPG", n % 97, n);
    return std::string(name);
  };
  for (uint32_t n = 0; n < kPictures; ++n) ASSERT_TRUE(insert(path(n), n)) << n;
  MarkFileImage full = image();
  ASSERT_EQ(full.problem, "");
  EXPECT_EQ(full.live, kPictures);
  for (uint32_t n = 0; n < kPictures; n += 7) {
    DWORD set = 0;
    ASSERT_EQ(read(path(n), "", kFixed, &set), 1);
    ASSERT_EQ(set, n);
  }
  DWORD count = 0;
  HGLOBAL strings = nullptr, index = nullptr;
  ASSERT_TRUE(afm3GetAllMarkRec(owner(), mark_.c_str(), &strings, &index, &count));
  EXPECT_EQ(count, kPictures);
  GlobalFree(strings);
  GlobalFree(index);
  for (uint32_t n = 0; n < kPictures; n += 2) ASSERT_EQ(remove(path(n)), 1) << n;
  const size_t size = fileBytes(mark_).size();
  for (uint32_t n = 0; n < kPictures; n += 4) ASSERT_TRUE(insert(path(n), n + 1));
  EXPECT_EQ(fileBytes(mark_).size(), size) << "freed records are reused";
  const MarkFileImage mixed = image();
  ASSERT_EQ(mixed.problem, "");
  EXPECT_EQ(mixed.live, kPictures / 2 + kPictures / 4);
  for (uint32_t n = 0; n < kPictures; n += 3) {
    DWORD set = 0;
    const int expected = n % 2 == 1 || n % 4 == 0 ? 1 : 0;
    ASSERT_EQ(read(path(n), "", kFixed, &set), expected) << n;
    if (expected == 1) {
      ASSERT_EQ(set, n % 4 == 0 ? n + 1 : n);
    }
  }
  for (uint32_t n = 0; n < kPictures; ++n) remove(path(n));
  const MarkFileImage empty = image();
  EXPECT_EQ(empty.problem, "");
  EXPECT_EQ(empty.live, 0);
  EXPECT_EQ(empty.freeCount, kPictures);
}

// A damaged file makes the record operations that meet the damage fail
// with a report, and leaves the file exactly as it was.
enum Fails : unsigned { kInsertFails = 1, kLookupsFail = 2, kListFails = 4, kAllFail = 7 };

TEST_F(MarkRecords, DamagedFilesAreReportedAndNeverWritten) {
  const std::string picture = "C:\\D\\P.JPG";
  ASSERT_TRUE(insert("C:\\A\\P.JPG", 1));
  ASSERT_TRUE(insert("C:\\B\\P.JPG", 2));
  ASSERT_TRUE(insert("C:\\OTHER.JPG", 3));
  ASSERT_TRUE(remove("C:\\OTHER.JPG"));
  const Bytes sound = fileBytes(mark_);
  const uint32_t bucket = 1000 + 4 * nameHash(picture);
  const uint32_t first = get32(sound, bucket), second = get32(sound, first + 168);
  auto setLiveCount = [](Bytes& f, uint16_t n) {
    afm3test::put16(f, 158, n);
    Bytes h(f.begin(), f.begin() + 164);
    afm3test::sealChecksum(h);
    std::copy(h.begin(), h.end(), f.begin());
  };
  struct Damage {
    const char* what;
    std::function<void(Bytes&)> apply;
    unsigned fails;
    uint32_t id, function, step;  // the report of the last operation that fails
  } damages[] = {
      {"a chain that loops", [&](Bytes& f) { afm3test::put32(f, second + 168, first); }, kAllFail,
       6435, 10, 9},
      {"a head past the end", [&](Bytes& f) { afm3test::put32(f, bucket, 9000); }, kAllFail, 6432,
       10, 8},
      {"a head into the buckets", [&](Bytes& f) { afm3test::put32(f, bucket, 1200); }, kAllFail,
       6432, 10, 8},
      {"a record cut short", [&](Bytes& f) { f.resize(second + 86); }, kAllFail, 6432, 10, 8},
      {"a cut bucket table", [&](Bytes& f) { f.resize(2000); }, kAllFail, 6433, 10, 6},
      {"no mark file's header", [&](Bytes& f) { f[3] = 0x4D; }, kAllFail, 6432, 2, 3},
      {"a free list past the end", [&](Bytes& f) { afm3test::put32(f, 996, 50000); }, kInsertFails,
       6432, 3, 7},
      {"a free list into a live record", [&](Bytes& f) { afm3test::put32(f, 996, first); },
       kInsertFails, 6432, 3, 7},
      {"a live count too low", [&](Bytes& f) { setLiveCount(f, 1); }, kListFails, 6435, 10, 9},
      {"a live count too high", [&](Bytes& f) { setLiveCount(f, 3); }, kListFails, 6435, 10, 9},
  };
  for (const Damage& d : damages) {
    Bytes damaged = sound;
    d.apply(damaged);
    ASSERT_TRUE(afm3test::writeWholeFile(mark_, std::string(damaged.begin(), damaged.end())));
    if (d.fails & kInsertFails) {
      EXPECT_FALSE(insert(picture, 9)) << d.what;
    }
    if (d.fails & kLookupsFail) {
      EXPECT_EQ(read(picture, "", kFixed, nullptr), -1) << d.what;
      EXPECT_EQ(remove(picture), -1) << d.what;
    }
    if (d.fails & kListFails) {
      DWORD count = 0;
      HGLOBAL strings = reinterpret_cast<HGLOBAL>(1), index = reinterpret_cast<HGLOBAL>(1);
      EXPECT_FALSE(afm3GetAllMarkRec(owner(), mark_.c_str(), &strings, &index, &count)) << d.what;
      EXPECT_EQ(strings, nullptr);
      EXPECT_EQ(index, nullptr);
    }
    SCOPED_TRACE(d.what);
    expectReport(d.id, 7012, d.function, d.step);
    EXPECT_EQ(fileBytes(mark_), damaged) << d.what;
  }
}

}  // namespace
}  // namespace marktest
