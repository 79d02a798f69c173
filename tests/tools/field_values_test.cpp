#include "field_values.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "album_session.h"

namespace {

using abm::encodeValue;
using abm::Field;
using Bytes = std::vector<uint8_t>;

enum Type : unsigned {
  kBytes2 = 0,
  kBytes4 = 1,
  kBytes8 = 3,
  kBytes2b = 5,
  kBytes16 = 6,
  kList32 = 7,
  kList1 = 8,
  kString = 9,
  kBlob = 10,
  kText = 11,
  kMemo = 12
};

Bytes encoded(unsigned type, const std::string& text) {
  Bytes bytes;
  std::string problem;
  EXPECT_TRUE(encodeValue(type, text, &bytes, &problem)) << text << ": " << problem;
  return bytes;
}

std::string refusal(unsigned type, const std::string& text) {
  Bytes bytes;
  std::string problem;
  EXPECT_FALSE(encodeValue(type, text, &bytes, &problem)) << text;
  return problem;
}

TEST(FieldValues, IntegersFillTheirTypesWidthLittleEndian) {
  EXPECT_EQ(encoded(kBytes2, "0"), Bytes({0, 0}));
  EXPECT_EQ(encoded(kBytes2, "65535"), Bytes({0xFF, 0xFF}));
  EXPECT_EQ(encoded(kBytes2b, "0x1234"), Bytes({0x34, 0x12}));
  EXPECT_EQ(encoded(kBytes2, "-1"), Bytes({0xFF, 0xFF}));
  EXPECT_EQ(encoded(kBytes2, "-32768"), Bytes({0x00, 0x80}));
  EXPECT_EQ(encoded(kBytes4, "305419896"), Bytes({0x78, 0x56, 0x34, 0x12}));
  EXPECT_EQ(encoded(kBytes4, "+7"), Bytes({7, 0, 0, 0}));
  EXPECT_EQ(encoded(kBytes8, "18446744073709551615"), Bytes(8, 0xFF));
  EXPECT_EQ(encoded(kBytes8, "-9223372036854775808"), Bytes({0, 0, 0, 0, 0, 0, 0, 0x80}));
  Bytes big(16, 0);
  big[0] = 0x01;
  big[9] = 0xAB;
  EXPECT_EQ(encoded(kBytes16, "0xAB000000000000000001"), big);
  Bytes decimal(16, 0);
  decimal[8] = 1;  // 2^64
  EXPECT_EQ(encoded(kBytes16, "18446744073709551616"), decimal);

  EXPECT_NE(refusal(kBytes2, "65536").find("does not fit in 2 bytes"), std::string::npos);
  EXPECT_NE(refusal(kBytes2, "-32769").find("does not fit"), std::string::npos);
  EXPECT_NE(refusal(kBytes8, "18446744073709551616").find("does not fit"), std::string::npos);
  for (const char* bad : {"", "-", "0x", "12a", "1.5", " 3", "0x1g", "--1"})
    EXPECT_NE(refusal(kBytes4, bad).find("is not a whole number"), std::string::npos) << bad;
}

TEST(FieldValues, ListsHoldEntryIndexesAndNoEntryElsewhere) {
  Bytes three(64, 0xFF);
  three[0] = 1;
  three[1] = 0;
  three[2] = 2;
  three[3] = 0;
  three[4] = 0x2C;
  three[5] = 0x01;  // 300
  EXPECT_EQ(encoded(kList32, "1,2,300"), three);
  EXPECT_EQ(encoded(kList32, ""), Bytes(64, 0xFF));
  std::string all = "0";
  for (int i = 1; i < 32; ++i) all += "," + std::to_string(i);
  EXPECT_EQ(encoded(kList32, all).size(), 64u);
  EXPECT_NE(refusal(kList32, all + ",32").find("at most 32"), std::string::npos);
  EXPECT_EQ(encoded(kList1, "65534"), Bytes({0xFE, 0xFF}));
  EXPECT_EQ(encoded(kList1, ""), Bytes({0xFF, 0xFF}));
  EXPECT_NE(refusal(kList1, "1,2").find("one entry index"), std::string::npos);
  for (const char* bad : {"65535", "1,,2", "-1", "x", "1,", "123456"})
    EXPECT_NE(refusal(kList32, bad).find("not an entry index"), std::string::npos) << bad;
}

TEST(FieldValues, TextsEndInANulWithinTheirTypesLimit) {
  EXPECT_EQ(encoded(kString, "abc"), Bytes({'a', 'b', 'c', 0}));
  EXPECT_EQ(encoded(kText, ""), Bytes({0}));
  EXPECT_EQ(encoded(kText, std::string(255, 'x')).size(), 256u);
  EXPECT_NE(refusal(kText, std::string(256, 'x')).find("at most 255"), std::string::npos);
  EXPECT_EQ(encoded(kMemo, std::string(258, 'x')).size(), 259u);
  EXPECT_NE(refusal(kMemo, std::string(259, 'x')).find("at most 258"), std::string::npos);
  EXPECT_EQ(encoded(kString, std::string(65534, 's')).size(), 65535u);
  EXPECT_FALSE(refusal(kString, std::string(65535, 's')).empty());
  EXPECT_EQ(encoded(kBlob, "hi"), Bytes({2, 0, 0, 0, 'h', 'i'}));
  EXPECT_EQ(encoded(kBlob, ""), Bytes({0, 0, 0, 0}));
  EXPECT_FALSE(refusal(13, "1").empty());
}

TEST(FieldValues, ValuesReadBackLookAsTheyWereGiven) {
  const struct {
    unsigned type;
    const char* given;
    const char* shown;
  } cases[] = {{kBytes2, "513", "513"},
               {kBytes2, "-1", "65535"},
               {kBytes4, "0x10", "16"},
               {2, "4000000000", "4000000000"},
               {kBytes8, "18446744073709551615", "18446744073709551615"},
               {kBytes16, "77", "77"},
               {kBytes16, "0x0100000000000000000a", "0x100000000000000000a"},
               {kList32, "4,0,9", "4,0,9"},
               {kList32, "", ""},
               {kList1, "12", "12"},
               {kList1, "", ""}};
  for (const auto& c : cases) {
    const Bytes bytes = encoded(c.type, c.given);
    ASSERT_EQ(bytes.size(), abm::fixedValueWidth(c.type));
    const std::string shown = abm::formatFixedValue(c.type, bytes.data());
    EXPECT_EQ(shown, c.shown) << c.given;
    EXPECT_EQ(encoded(c.type, shown), bytes) << "shown form reads back: " << shown;
  }
}

TEST(FieldValues, BlobsShowAsTextOrHexCutToTheirRoom) {
  const Bytes text = {'a', 'b', 'c'};
  EXPECT_EQ(abm::formatBlob(text, 40), "abc");
  const Bytes binary = {0x00, 0x1F, 0xAB};
  EXPECT_EQ(abm::formatBlob(binary, 40), "0x001fab");
  EXPECT_EQ(abm::formatBlob(Bytes(100, 'z'), 10), "zzzzzzz...");
  EXPECT_EQ(abm::formatBlob(Bytes(100, 1), 10).size(), 10u);
  EXPECT_EQ(abm::formatBlob({}, 10), "");
}

std::vector<Field> scheme() {
  return {{0, kText, "Title"},
          {1, kBytes4, "Date"},
          {3, kList32, "Keywords"},
          {4, kMemo, "title"},
          {7, kBlob, "9"}};
}

TEST(FieldValues, FieldsAreFoundByNameCaseOrNumber) {
  const std::vector<Field> fields = scheme();
  EXPECT_EQ(abm::findField(fields, "Title")->number, 0u);
  EXPECT_EQ(abm::findField(fields, "title")->number, 4u);  // the exact name first
  EXPECT_EQ(abm::findField(fields, "KEYWORDS")->number, 3u);
  EXPECT_EQ(abm::findField(fields, "1")->name, "Date");
  EXPECT_EQ(abm::findField(fields, "9")->number, 7u);  // a name that looks like a number
  EXPECT_EQ(abm::findField(fields, "2"), nullptr);     // a removed field's number
  EXPECT_EQ(abm::findField(fields, "Nothing"), nullptr);
  EXPECT_EQ(abm::findField(fields, ""), nullptr);
}

TEST(FieldValues, FieldListsGiveNumbersTypesAndNames) {
  Bytes list(2 * 67, 0);
  list[0] = 0;
  list[1] = 11 | 0x80;
  std::memcpy(&list[2], "Caption", 7);
  list[67] = 5;
  list[68] = 7;
  std::memset(&list[69], 'n', 64);  // a name without its NUL stops at 64 characters
  const std::vector<Field> fields = abm::fieldsFromList(list.data(), 2);
  ASSERT_EQ(fields.size(), 2u);
  EXPECT_EQ(fields[0].type, 11u);
  EXPECT_EQ(fields[0].name, "Caption");
  EXPECT_EQ(fields[1].number, 5u);
  EXPECT_EQ(fields[1].type, 7u);
  EXPECT_EQ(fields[1].name, std::string(64, 'n'));
}

TEST(FieldValues, RecordValuesHaveOnePointerPerFieldAndNullForTheOthers) {
  abm::RecordValues values;
  std::string problem;
  ASSERT_TRUE(values.build(scheme(), {"keywords=2,3", "Title=Sunset=red"}, &problem)) << problem;
  const void* const* p = values.pointers();
  ASSERT_NE(p, nullptr);
  EXPECT_STREQ(static_cast<const char*>(p[0]), "Sunset=red");
  EXPECT_EQ(p[1], nullptr);
  const auto* list = static_cast<const uint8_t*>(p[2]);
  EXPECT_EQ(list[0], 2);
  EXPECT_EQ(list[2], 3);
  EXPECT_EQ(list[4], 0xFF);
  EXPECT_EQ(p[3], nullptr);
  EXPECT_EQ(p[4], nullptr);

  abm::RecordValues listsLeftOut;
  ASSERT_TRUE(listsLeftOut.build(scheme(), {"Date=3"}, &problem));
  ASSERT_NE(listsLeftOut.pointers()[2], nullptr);
  const auto* noEntries = static_cast<const uint8_t*>(listsLeftOut.pointers()[2]);
  EXPECT_EQ(Bytes(noEntries, noEntries + 64), Bytes(64, 0xFF));
  EXPECT_EQ(listsLeftOut.pointers()[0], nullptr);

  abm::RecordValues none;
  ASSERT_TRUE(none.build({}, {}, &problem));
  EXPECT_NE(none.pointers(), nullptr);  // a null array would mean "no row"

  EXPECT_FALSE(abm::RecordValues().build(scheme(), {"Nothing=1"}, &problem));
  EXPECT_EQ(problem, "the album has no field 'Nothing'");
  EXPECT_FALSE(abm::RecordValues().build(scheme(), {"Date=1", "date=2"}, &problem));
  EXPECT_EQ(problem, "field 'Date' is given twice");
  EXPECT_FALSE(abm::RecordValues().build(scheme(), {"Date"}, &problem));
  EXPECT_NE(problem.find("NAME=VALUE"), std::string::npos);
  EXPECT_FALSE(abm::RecordValues().build(scheme(), {"=5"}, &problem));
  EXPECT_FALSE(abm::RecordValues().build(scheme(), {"Date=soon"}, &problem));
  EXPECT_EQ(problem.rfind("field 'Date': ", 0), 0u);
}

TEST(FieldValues, RecordNumbersAreDecimalBelowTheNoRecordValue) {
  uint16_t n = 0;
  EXPECT_TRUE(abm::parseRecordNumber("0", &n));
  EXPECT_EQ(n, 0);
  EXPECT_TRUE(abm::parseRecordNumber("65534", &n));
  EXPECT_EQ(n, 65534);
  EXPECT_TRUE(abm::parseRecordNumber("007", &n));
  EXPECT_EQ(n, 7);
  for (const char* bad : {"", "65535", "99999", "123456", "-1", "1x", "0x10", " 1"})
    EXPECT_FALSE(abm::parseRecordNumber(bad, &n)) << bad;
}

}  // namespace
