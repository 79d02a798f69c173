// Emulated windows: registered messages, message windows with sent and
// posted messages, and the window state functions.
#ifndef _WIN32

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "afm3_compat.h"
#include "platform.h"

namespace {

struct Log {
  std::vector<UINT> messages;
  WPARAM lastWParam = 0;
  LPARAM lastLParam = 0;
};

constexpr UINT kAsk = WM_USER + 1;

LRESULT CALLBACK loggingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* log = static_cast<Log*>(qwinGetWindowData(window));
  log->messages.push_back(message);
  log->lastWParam = wParam;
  log->lastLParam = lParam;
  return message == kAsk ? static_cast<LRESULT>(wParam + lParam) : 0;
}

TEST(PosixWindows, RegisteredMessagesAreStablePerName) {
  const UINT changed = RegisterWindowMessageA("QwinTest.Changed");
  EXPECT_GE(changed, 0xC000u);
  EXPECT_LE(changed, 0xFFFFu);
  EXPECT_EQ(RegisterWindowMessageA("qwintest.CHANGED"), changed);
  const UINT closed = plat::registerWindowMessage("QwinTest.Closed");
  EXPECT_NE(closed, changed);
  EXPECT_GE(closed, 0xC000u);
  EXPECT_EQ(plat::registerWindowMessage("QwinTest.Closed"), closed);
  EXPECT_EQ(RegisterWindowMessageA(""), 0u);
}

TEST(PosixWindows, SentMessagesRunAtOncePostedOnesWhenPumped) {
  Log log, otherLog;
  HWND window = plat::createMessageWindow(loggingProc, &log);
  HWND other = qwinCreateMessageWindow(loggingProc, &otherLog);
  ASSERT_NE(window, nullptr);
  ASSERT_NE(window, other);
  EXPECT_TRUE(plat::isWindow(window));
  EXPECT_EQ(plat::windowData(window), &log);

  EXPECT_EQ(plat::sendMessage(window, kAsk, 40, 2), 42);
  EXPECT_EQ(log.messages, std::vector<UINT>{kAsk});
  EXPECT_TRUE(otherLog.messages.empty());

  ASSERT_TRUE(plat::postMessage(window, kAsk + 1, 7, 8));
  ASSERT_TRUE(plat::postMessage(other, kAsk + 2, 0, 0));
  EXPECT_EQ(log.messages.size(), 1u);
  EXPECT_EQ(qwinPumpMessages(), 2);
  EXPECT_EQ(log.messages.back(), kAsk + 1);
  EXPECT_EQ(log.lastWParam, 7u);
  EXPECT_EQ(log.lastLParam, 8);
  EXPECT_EQ(otherLog.messages.back(), kAsk + 2);
  EXPECT_EQ(qwinPumpMessages(), 0);

  // Destroying sends WM_DESTROY; messages posted before are dropped.
  ASSERT_TRUE(plat::postMessage(window, kAsk, 1, 1));
  ASSERT_TRUE(plat::destroyWindow(window));
  EXPECT_EQ(log.messages.back(), static_cast<UINT>(WM_DESTROY));
  EXPECT_FALSE(plat::isWindow(window));
  const size_t count = log.messages.size();
  EXPECT_EQ(qwinPumpMessages(), 0);
  EXPECT_EQ(plat::sendMessage(window, kAsk, 1, 1), 0);
  EXPECT_EQ(plat::lastError(), 1400u);  // invalid window handle
  EXPECT_FALSE(plat::postMessage(window, kAsk, 1, 1));
  EXPECT_FALSE(plat::destroyWindow(window));
  EXPECT_EQ(log.messages.size(), count);
  EXPECT_TRUE(plat::destroyWindow(other));
}

TEST(PosixWindows, HandlesAreNeverReused) {
  std::set<HWND> seen;
  for (int i = 0; i < 200; ++i) {
    HWND window = qwinCreateMessageWindow(nullptr, nullptr);
    EXPECT_TRUE(seen.insert(window).second);
    DestroyWindow(window);
  }
  EXPECT_FALSE(IsWindow(nullptr));
}

TEST(PosixWindows, TextEnabledAndVisibleState) {
  HWND window = qwinCreateMessageWindow(nullptr, nullptr);
  char text[16];
  ASSERT_TRUE(plat::setWindowText(window, "Album 7"));
  EXPECT_EQ(plat::windowText(window, text, sizeof text), 7);
  EXPECT_STREQ(text, "Album 7");
  EXPECT_EQ(plat::windowText(window, text, 4), 3);
  EXPECT_STREQ(text, "Alb");
  // Without a procedure the window answers the text messages itself.
  EXPECT_EQ(SendMessageA(window, WM_GETTEXTLENGTH, 0, 0), 7);

  // EnableWindow and ShowWindow answer with the previous state.
  EXPECT_TRUE(IsWindowEnabled(window));
  EXPECT_FALSE(plat::enableWindow(window, false));
  EXPECT_FALSE(IsWindowEnabled(window));
  EXPECT_TRUE(plat::enableWindow(window, true));
  EXPECT_FALSE(plat::showWindow(window, true));
  EXPECT_TRUE(IsWindowVisible(window));
  EXPECT_TRUE(plat::showWindow(window, false));
  EXPECT_FALSE(IsWindowVisible(window));
  DestroyWindow(window);
  EXPECT_FALSE(plat::setWindowText(window, "x"));
  EXPECT_EQ(plat::windowText(window, text, sizeof text), 0);
}

}  // namespace

#endif  // _WIN32
