// The fault gate of the file functions: each kind of call fails exactly at
// its k-th use, and a stop after the k-th mutating call discards every
// later write and rename while reporting success.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "fault_injection.h"
#include "platform.h"
#include "platform_test_util.h"
#include "temp_dir.h"

namespace {

using afm3test::File;
using afm3test::kReadWrite;
using afm3test::TempDir;
using plat::faults::Mode;
using plat::faults::Op;

struct Disarm {
  ~Disarm() { plat::faults::disarm(); }
};

// One call of a kind on a scratch file "f" holding "0123456789"; returns
// whether it succeeded. n numbers the calls so renames use fresh names.
using Call = std::function<bool(File& file, const TempDir& dir, int n)>;

bool readOne(File& file, const TempDir&, int) {
  char byte = 0;
  uint32_t done = 99;
  const bool ok = plat::readFile(file.get(), &byte, 1, &done);
  EXPECT_EQ(done, ok ? 1u : 0u);
  return ok;
}

bool writeOne(File& file, const TempDir&, int n) {
  const char byte = static_cast<char>('a' + n);
  uint32_t done = 99;
  const bool ok = plat::writeFile(file.get(), &byte, 1, &done);
  EXPECT_EQ(done, ok ? 1u : 0u);
  return ok;
}

TEST(PlatformFaults, EachOpFailsExactlyAtItsKthCall) {
  struct Case {
    const char* name;
    Op op;
    Call call;
  };
  const Case cases[] = {
      {"read", Op::Read, readOne},
      {"write", Op::Write, writeOne},
      {"end of file", Op::Write,
       [](File& f, const TempDir&, int) { return plat::setEndOfFile(f.get()); }},
      {"seek", Op::Seek,
       [](File& f, const TempDir&, int n) {
         return plat::seekFile(f.get(), n, plat::SeekFrom::Begin) == static_cast<uint32_t>(n);
       }},
      {"lock", Op::Lock,
       [](File& f, const TempDir&, int n) { return plat::lockFile(f.get(), n * 10, 1); }},
      {"copy", Op::Rename,
       [](File&, const TempDir& d, int n) {
         return plat::copyFile(d.file("f").c_str(), d.file("c" + std::to_string(n)).c_str(), true);
       }},
      {"move", Op::Rename,
       [](File&, const TempDir& d, int n) {
         afm3test::writeWholeFile(d.file("m" + std::to_string(n)), "m");
         return plat::moveFile(d.file("m" + std::to_string(n)).c_str(),
                               d.file("n" + std::to_string(n)).c_str());
       }},
      {"delete", Op::Rename,
       [](File&, const TempDir& d, int n) {
         afm3test::writeWholeFile(d.file("d" + std::to_string(n)), "d");
         return plat::deleteFile(d.file("d" + std::to_string(n)).c_str());
       }},
  };
  constexpr int kCalls = 4;
  for (const Case& c : cases) {
    for (uint32_t k = 1; k <= kCalls; ++k) {
      SCOPED_TRACE(testing::Message() << c.name << " k=" << k);
      TempDir dir;
      ASSERT_TRUE(afm3test::writeWholeFile(dir.file("f"), "0123456789"));
      File file(dir.file("f"), kReadWrite, afm3test::kShareAll);
      ASSERT_TRUE(file.ok());
      Disarm disarm;
      plat::faults::arm(c.op, k, Mode::FailOne, plat::kErrCrc);
      for (int n = 1; n <= kCalls; ++n) {
        const bool ok = c.call(file, dir, n);
        EXPECT_EQ(ok, static_cast<uint32_t>(n) != k) << "call " << n;
        if (!ok) {
          EXPECT_EQ(plat::lastError(), plat::kErrCrc);
        }
      }
      EXPECT_EQ(plat::faults::calls(c.op), static_cast<uint32_t>(kCalls));
      EXPECT_TRUE(plat::faults::failedAny());
      EXPECT_FALSE(plat::faults::stopped());
    }
  }
}

TEST(PlatformFaults, StopAfterDiscardsLaterWritesAndRenamesButReportsSuccess) {
  TempDir dir;
  const std::string path = dir.file("f");
  ASSERT_TRUE(afm3test::writeWholeFile(path, "0123456789"));
  ASSERT_TRUE(afm3test::writeWholeFile(dir.file("old"), "x"));
  Disarm disarm;
  {
    File file(path, kReadWrite, afm3test::kShareAll);
    ASSERT_TRUE(file.ok());
    // Mutating calls 1 (write) and 2 (rename) happen; 3..6 are discarded.
    plat::faults::arm(Op::Write, 2, Mode::StopAfter);
    EXPECT_TRUE(file.writeAt(0, "AB"));
    EXPECT_FALSE(plat::faults::stopped());
    EXPECT_TRUE(plat::moveFile(dir.file("old").c_str(), dir.file("new").c_str()));
    EXPECT_FALSE(plat::faults::stopped());
    EXPECT_TRUE(file.writeAt(5, "CD"));
    EXPECT_TRUE(plat::faults::stopped());
    EXPECT_EQ(plat::seekFile(file.get(), 3, plat::SeekFrom::Begin), 3u);
    EXPECT_TRUE(plat::setEndOfFile(file.get()));
    EXPECT_TRUE(plat::copyFile(path.c_str(), dir.file("copy").c_str(), true));
    EXPECT_TRUE(plat::deleteFile(dir.file("new").c_str()));
    // Reads still see the file as the stop left it.
    std::string bytes;
    EXPECT_TRUE(file.readAt(0, 10, &bytes));
    EXPECT_EQ(bytes, "AB23456789");
    EXPECT_EQ(plat::faults::calls(Op::Write), 3u);
    EXPECT_EQ(plat::faults::calls(Op::Rename), 3u);
    EXPECT_FALSE(plat::faults::failedAny());
  }
  EXPECT_TRUE(afm3test::exists(dir.file("new")));
  EXPECT_FALSE(afm3test::exists(dir.file("old")));
  EXPECT_FALSE(afm3test::exists(dir.file("copy")));
  EXPECT_EQ(afm3test::readWholeFile(path), "AB23456789");
}

TEST(PlatformFaults, CountsOnlyAfterResetAndACopyCountsOnce) {
  TempDir dir;
  ASSERT_TRUE(afm3test::writeWholeFile(dir.file("f"), "0123456789"));
  Disarm disarm;
  plat::faults::disarm();
  File file(dir.file("f"), kReadWrite, afm3test::kShareAll);
  ASSERT_TRUE(file.writeAt(0, "a"));
  EXPECT_EQ(plat::faults::calls(Op::Write), 0u);
  plat::faults::reset();
  ASSERT_TRUE(file.writeAt(0, "a"));
  ASSERT_TRUE(plat::copyFile(dir.file("f").c_str(), dir.file("g").c_str(), true));
  EXPECT_EQ(plat::faults::calls(Op::Write), 1u);
  EXPECT_EQ(plat::faults::calls(Op::Seek), 1u);
  EXPECT_EQ(plat::faults::calls(Op::Read), 0u);
  EXPECT_EQ(plat::faults::calls(Op::Rename), 1u);
  EXPECT_EQ(afm3test::readWholeFile(dir.file("g")), "a123456789");
}

}  // namespace
