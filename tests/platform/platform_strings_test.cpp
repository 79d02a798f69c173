// Characters of the ANSI code page: walking double-byte text, case mapping
// that leaves trail bytes alone, comparison, and double-byte file names.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "afm3_compat.h"
#include "platform.h"
#include "platform_test_util.h"
#include "temp_dir.h"

namespace {

TEST(PlatformStrings, SingleByteCodePage) {
  ASSERT_NE(plat::ansiCodePage(), 932u);
  const char text[] = "ab\x81\x40";
  const char* p = text;
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(plat::charNext(p), p + 1);
    p = plat::charNext(p);
  }
  EXPECT_EQ(plat::charNext(p), p);  // never past the NUL
  EXPECT_EQ(plat::charPrev(text, text + 3), text + 2);
  EXPECT_EQ(plat::charPrev(text, text), text);
  EXPECT_FALSE(plat::isDbcsLeadByte(0x81));

  char word[] = "Caf\xe9 au lait 42";
  plat::charUpper(word);
  EXPECT_STREQ(word, "CAF\xc9 AU LAIT 42");
  plat::charLower(word);
  EXPECT_STREQ(word, "caf\xe9 au lait 42");
  EXPECT_EQ(plat::compareNoCase("Album", "aLBUM"), 0);
  EXPECT_LT(plat::compareNoCase("album", "Albums"), 0);
  EXPECT_GT(plat::compareNoCase("b", "A"), 0);
}

#ifndef _WIN32
class PosixDoubleByte : public testing::Test {
 protected:
  void SetUp() override { qwinTestSetCodePage(932); }
  void TearDown() override { qwinTestSetCodePage(0); }
};

// 0x83 0x5C is one katakana letter whose trail byte is a backslash.
const char kKatakanaSo[] = "\x83\x5C";

TEST_F(PosixDoubleByte, WalksWholeCharacters) {
  EXPECT_EQ(plat::ansiCodePage(), 932u);
  const struct {
    uint8_t byte;
    bool lead;
  } bytes[] = {{0x80, false}, {0x81, true}, {0x9F, true},  {0xA0, false}, {0xDF, false},
               {0xE0, true},  {0xFC, true}, {0xFD, false}, {'A', false}};
  for (const auto& b : bytes) {
    EXPECT_EQ(plat::isDbcsLeadByte(b.byte), b.lead) << int(b.byte);
  }

  const std::string text = std::string("A") + kKatakanaSo + "\\b";
  const char* s = text.c_str();
  EXPECT_EQ(plat::charNext(s), s + 1);
  EXPECT_EQ(plat::charNext(s + 1), s + 3);
  EXPECT_EQ(plat::charNext(s + 3), s + 4);
  EXPECT_EQ(plat::charPrev(s, s + 3), s + 1);  // not the trail byte
  EXPECT_EQ(plat::charPrev(s, s + 4), s + 3);
  // A lead byte cut off by the end is a character of its own.
  const char cut[] = "\x83";
  EXPECT_EQ(plat::charNext(cut), cut + 1);
}

TEST_F(PosixDoubleByte, CaseMappingSkipsTrailBytes) {
  // 0x82 0x61 is a double-byte character whose trail byte is 'a'.
  char text[] = "x\x82\x61y";
  plat::charUpper(text);
  EXPECT_STREQ(text, "X\x82\x61Y");
  EXPECT_EQ(plat::compareNoCase("\x82\x61z", "\x82\x61Z"), 0);
  EXPECT_NE(plat::compareNoCase("\x82\x61", "\x82\x41"), 0);
  // Single-byte Latin letters have no case in this code page.
  char latin[] = "\xe9";
  plat::charUpper(latin);
  EXPECT_STREQ(latin, "\xe9");
}

TEST_F(PosixDoubleByte, FileNamesWithBackslashTrailBytes) {
  afm3test::TempDir dir;
  const std::string name = std::string(kKatakanaSo) + ".mrk";
  ASSERT_TRUE(afm3test::writeWholeFile(dir.file(name), "dbcs"));
  EXPECT_EQ(afm3test::readWholeFile(dir.file(name)), "dbcs");
  plat::FindData data;
  plat::FindHandle find = plat::findFirst(dir.file("*.mrk").c_str(), &data);
  ASSERT_NE(find, plat::invalidFile());
  EXPECT_EQ(std::string(data.name), name);
  plat::findClose(find);
  char full[MAX_PATH];
  ASSERT_GT(plat::fullPathName(dir.file(name + "\\..\\" + name).c_str(), full, sizeof full), 0u);
  EXPECT_EQ(std::string(full), dir.file(name));
}
#endif

}  // namespace
