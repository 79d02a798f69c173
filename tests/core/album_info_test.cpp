#include <gtest/gtest.h>

#include <string>

#include "afm3.h"
#include "album_fixtures.h"
#include "temp_dir.h"

namespace {

using afm3test::Bytes;

HINSTANCE owner() { return reinterpret_cast<HINSTANCE>(0x1F0); }

Bytes signature(const std::string& text, DWORD kind = 1) {
  Bytes out(12, 0xEE);
  EXPECT_TRUE(afm3GetSignature(text.c_str(), 0, kind, out.data()));
  return out;
}

TEST(Signature, ThreeLettersSetOneBitFromTheirWeightedSum) {
  // 1*97 + 2*98 + 3*99 = 590; 590 mod 96 = 14: byte 1, bit 6.
  Bytes expected(12, 0);
  expected[1] = 0x40;
  EXPECT_EQ(signature("abc"), expected);
  EXPECT_EQ(signature("abc", 3), expected);
  EXPECT_EQ(signature("abc", 4), expected);
}

TEST(Signature, IgnoresCaseWordOrderAndSeparators) {
  EXPECT_EQ(signature("Holiday Beach"), signature("beach, HOLIDAY!"));
  EXPECT_EQ(signature("one two"), signature("two---one"));
  EXPECT_NE(signature("one two"), signature("onetwo"));
}

TEST(Signature, EmptyTextsAndUnknownKindsGiveNoBits) {
  EXPECT_EQ(signature(""), Bytes(12, 0));
  EXPECT_EQ(signature("abc", 5), Bytes(12, 0));
  EXPECT_EQ(signature("   ,,, "), Bytes(12, 0));
}

TEST(Signature, LongTextsGiveTheSameBitsAsShortOnes) {
  std::string longText = "abc";
  for (int i = 0; i < 60; ++i) longText += " abc";
  ASSERT_GT(longText.size(), 130u);
  EXPECT_EQ(signature(longText), signature("abc"));
}

TEST(Signature, AccentedLettersAreWordCharacters) {
  // 0xE9 is a letter, 0xD7 (multiplication sign) a separator.
  EXPECT_EQ(signature("caf\xE9"), signature("CAF\xC9"));
  EXPECT_EQ(signature("a\xD7"
                      "b"),
            signature("a b"));
}

TEST(Signature, ValueListsSetOneBitPerValueUpToTheEndMarker) {
  const uint8_t values[] = {1, 0, 97, 0, 0xFF, 0xFF, 5, 0};
  Bytes out(12, 0xEE);
  ASSERT_TRUE(afm3GetSignature(values, 4, 2, out.data()));
  Bytes expected(12, 0);
  expected[0] = 0x02;  // 1 and 97 mod 96 = 1 share a bit; 5 follows the end marker
  EXPECT_EQ(out, expected);
}

TEST(Signature, MemoSignatureIsTheTextSignature) {
  Bytes memo(12, 0xEE);
  ASSERT_TRUE(afm3GetMemoSignature("A long memo, with words", memo.data()));
  EXPECT_EQ(memo, signature("a LONG memo with words"));
}

#ifndef _WIN32
TEST(Signature, DoubleByteCharactersSetTheirOwnBit) {
  qwinTestSetCodePage(932);
  const Bytes dbcs = signature("\x82\xa0");  // one character: value 0xA082
  const Bytes mixed = signature(
      "ab\x82\xa0"
      "cd");
  qwinTestSetCodePage(0);
  Bytes expected(12, 0);
  const unsigned bit = 0xA082 % 96;
  expected[bit / 8] = static_cast<uint8_t>(1 << (bit % 8));
  EXPECT_EQ(dbcs, expected);
  // The character ends the word before it without restarting the weights.
  Bytes m(12, 0);
  const unsigned ab = (97 + 2 * 98) % 96;
  const unsigned cd = (3 * 99 + 4 * 100) % 96;
  for (unsigned b : {ab, bit, cd}) m[b / 8] = static_cast<uint8_t>(m[b / 8] | (1 << (b % 8)));
  EXPECT_EQ(mixed, m);
}
#endif

class AlbumFiles : public testing::Test {
 protected:
  std::string write(const std::string& name, const Bytes& bytes) {
    const std::string path = dir.file(name);
    EXPECT_TRUE(afm3test::writeWholeFile(path, std::string(bytes.begin(), bytes.end())));
    return path;
  }
  DWORD check(const std::string& path, Bytes* out) {
    out->assign(4784, 0);
    return afm3CheckAlbum(0, 0, nullptr, path.c_str(), out->data());
  }
  afm3test::TempDir dir;
};

TEST_F(AlbumFiles, CheckTellsEveryFormatVersion) {
  Bytes out;
  EXPECT_EQ(check(write("v10", afm3test::version1Header(0, "Ten", 3)), &out), 0x100u);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(&out[20])), "Ten");
  EXPECT_EQ(check(write("v12", afm3test::version1Header(2, "Twelve", 3)), &out), 0x102u);
  EXPECT_EQ(check(write("v2", afm3test::version2Album("Two", 5, 1)), &out), 0x200u);
  EXPECT_EQ(afm3test::get16(out, 8), 5);

  const std::string v3 = dir.file("v3.ab3");
  Bytes info = afm3test::albumInfo("Three");
  info[1444] = 0x8F;
  info[1445] = 0x03;
  HANDLE album = afm3CreateAlbum(owner(), info.data(), 1, afm3test::fieldSpec("N", 11).data(),
                                 v3.c_str(), nullptr, nullptr);
  ASSERT_NE(album, nullptr);
  afm3CloseAlbum(owner(), album);
  EXPECT_EQ(check(v3, &out), 0x300u);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(&out[8])), "Three");
  EXPECT_EQ(out[1444], 0x8F) << "the protect field comes back unrotated";
  EXPECT_EQ(out[1445], 0x03);
}

TEST_F(AlbumFiles, CheckRefusesDamagedFiles) {
  Bytes out;
  const struct {
    const char* name;
    Bytes bytes;
    DWORD id, step;
  } cases[] = {
      {"short", Bytes{0xD6, 0xC5}, 6424, 3},
      {"magic", Bytes{0xD6, 0xC5, 0x6F, 0xCC, 3, 0, 0, 0}, 6412, 4},
      {"version", Bytes{0xD6, 0xC5, 0x6F, 0xCD, 4, 0, 0, 0}, 6412, 9},
      {"v3short", Bytes{0xD6, 0xC5, 0x6F, 0xCD, 3, 0, 0, 0}, 6424, 10},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(check(write(c.name, c.bytes), &out), 0u) << c.name;
    const afm3test::LastError e = afm3test::lastError();
    EXPECT_EQ(e.id, c.id) << c.name;
    EXPECT_EQ(e.module, 7003u);
    EXPECT_EQ(e.function, 1u);
    EXPECT_EQ(e.step, c.step) << c.name;
  }
  Bytes v2 = afm3test::version2Album("Two", 5, 0);
  v2[100] ^= 1;
  EXPECT_EQ(check(write("v2bad", v2), &out), 0u);
  EXPECT_EQ(afm3test::lastError().step, 8u);
  Bytes v1 = afm3test::version1Header(0, "One", 1);
  v1[50] ^= 1;
  EXPECT_EQ(check(write("v1bad", v1), &out), 0u);
  EXPECT_EQ(afm3test::lastError().step, 6u);
  EXPECT_EQ(check(dir.file("absent"), &out), 0u);
  EXPECT_EQ(afm3test::lastError().id, 6602u);
  EXPECT_EQ(afm3test::lastError().step, 1u);
}

TEST_F(AlbumFiles, CheckOfAVersion3AlbumWithAWrongChecksumReportsStep11) {
  const std::string path = dir.file("bad.ab3");
  HANDLE album =
      afm3CreateAlbum(owner(), afm3test::albumInfo("Bad").data(), 1,
                      afm3test::fieldSpec("N", 11).data(), path.c_str(), nullptr, nullptr);
  ASSERT_NE(album, nullptr);
  afm3CloseAlbum(owner(), album);
  std::string bytes = afm3test::readWholeFile(path);
  bytes[1000] ^= 0x10;
  ASSERT_TRUE(afm3test::writeWholeFile(path, bytes));
  Bytes out;
  EXPECT_EQ(check(path, &out), 0u);
  EXPECT_EQ(afm3test::lastError().id, 6412u);
  EXPECT_EQ(afm3test::lastError().step, 11u);
}

TEST_F(AlbumFiles, InformationRoundTripsAndKeepsTheFilesNextRecordNumber) {
  const std::string path = dir.file("info.ab3");
  Bytes info = afm3test::albumInfo("Info");
  for (int i = 0; i < 32; ++i) info[1444 + i] = static_cast<uint8_t>(i * 37 + 1);
  HANDLE album = afm3CreateAlbum(owner(), info.data(), 1, afm3test::fieldSpec("N", 11).data(),
                                 path.c_str(), nullptr, nullptr);
  ASSERT_NE(album, nullptr);
  afm3CloseAlbum(owner(), album);
  ASSERT_NE(afm3OpenAlbum(owner(), path.c_str(), 0x11, &album, nullptr, nullptr, nullptr), 0xFFFFu);

  Bytes read(1736, 0);
  ASSERT_TRUE(afm3ReadBasicAlbumInfo(owner(), album, read.data()));
  EXPECT_TRUE(std::equal(info.begin() + 1444, info.begin() + 1476, read.begin() + 1444));

  Bytes changed = afm3test::albumInfo("Renamed", 128);
  afm3test::put16(changed, 0, 12);      // recordCount is taken as given
  afm3test::put16(changed, 2, 0x4321);  // nextRecordNumber is not
  ASSERT_TRUE(afm3UpdateBasicAlbumInfo(owner(), album, changed.data()));
  ASSERT_TRUE(afm3ReadBasicAlbumInfo(owner(), album, read.data()));
  EXPECT_EQ(afm3test::get16(read, 0), 12);
  EXPECT_EQ(afm3test::get16(read, 2), 0);
  EXPECT_EQ(afm3test::get16(read, 4), 128);
  afm3CloseAlbum(owner(), album);

  Bytes out;
  EXPECT_EQ(check(path, &out), 0x300u);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(&out[8])), "Renamed");
  EXPECT_EQ(afm3test::get16(out, 2), 0);
}

}  // namespace
