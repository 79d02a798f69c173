#include "core/error_report.h"

#include <gtest/gtest.h>

#include <string>

#include "platform.h"
#include "q32comm.h"

namespace {

struct Recorded {
  std::string text;
  DWORD id = 0, module = 0, function = 0, step = 0;
};

Recorded lastRecorded() {
  Recorded r;
  char text[300] = {};
  EXPECT_TRUE(c32GetDLLErrInfo(text, sizeof text, &r.id, &r.module, &r.function, &r.step));
  r.text = text;
  return r;
}

std::string message(uint32_t id) {
  char text[256];
  afm3::loadMessage(id, text, sizeof text);
  return text;
}

TEST(ReportError, WithoutIdOrTextReportsAnInternalBugAsIdOne) {
  afm3::reportError(0, nullptr, 7000, 5, 3, false);
  const Recorded r = lastRecorded();
  EXPECT_EQ(r.text, "Internal bug.");
  EXPECT_EQ(r.id, 1u);
  EXPECT_EQ(r.module, 7000u);
  EXPECT_EQ(r.function, 5u);
  EXPECT_EQ(r.step, 3u);
}

TEST(ReportError, LoadsTheMessageOfTheId) {
  afm3::reportError(afm3::kErrNotAnAlbum, nullptr, 7003, 1, 2, false);
  const Recorded r = lastRecorded();
  EXPECT_EQ(r.id, 6412u);
  EXPECT_EQ(r.text, message(6412));
  EXPECT_FALSE(r.text.empty());
  EXPECT_EQ(r.text.find("Error 6412"), std::string::npos) << "the resource library has a text";
}

TEST(ReportError, LockLikeSystemErrorsLoadTheLockViolationTextAndHandOnTheRawCode) {
  for (uint32_t code : {5u, 162u, 33u}) {
    afm3::reportError(code, nullptr, 7001, 1, 4, true);
    const Recorded r = lastRecorded();
    EXPECT_EQ(r.id, code);
    EXPECT_EQ(r.text, message(6633)) << code;
  }
}

TEST(ReportError, OtherSystemErrorsLoadTheirOwnText) {
  afm3::reportError(2, nullptr, 7000, 1, 1, true);
  Recorded r = lastRecorded();
  EXPECT_EQ(r.id, 2u);
  EXPECT_EQ(r.text, message(6602));
  EXPECT_NE(message(6602), message(6633));
}

TEST(ReportError, SystemErrorZeroTakesTheThreadsLastError) {
  plat::setLastError(3);
  afm3::reportError(0, nullptr, 7000, 1, 1, true);
  const Recorded r = lastRecorded();
  EXPECT_EQ(r.id, 3u);
  EXPECT_EQ(r.text, message(6603));
}

TEST(ReportError, AFormattedTextIsHandedOnAsItIs) {
  afm3::reportError(0, "Cannot load q32zlib.dll.", 7002, 3, 1, false);
  const Recorded r = lastRecorded();
  EXPECT_EQ(r.text, "Cannot load q32zlib.dll.");
  EXPECT_EQ(r.id, 0u);
}

TEST(ReportError, LongTextsAreCutToTheMessageBuffer) {
  const std::string longText(600, 'x');
  afm3::reportError(0, longText.c_str(), 7000, 1, 1, false);
  const Recorded r = lastRecorded();
  EXPECT_EQ(r.text, std::string(255, 'x'));
}

TEST(ReportError, UnknownMessageIdsStillGiveAText) { EXPECT_EQ(message(59999), "Error 59999."); }

}  // namespace
