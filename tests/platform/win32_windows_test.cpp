// Windows, messages, dialogs and string resources of the Win32 backend on
// real windows. The dialog and string resources come from a copy of this
// test program into which the test writes templates it builds itself.
#ifdef _WIN32

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "platform.h"
#include "temp_dir.h"

// Need <windows.h>, which platform.h includes.
#include <commctrl.h>
#include <shlobj.h>

namespace {

// ---- message-only windows -------------------------------------------------

struct Received {
  UINT message = 0;
  WPARAM wParam = 0;
  LPARAM lParam = 0;
  int count = 0;
};
constexpr UINT kAsk = WM_USER + 5;
constexpr UINT kNotify = WM_USER + 6;

LRESULT CALLBACK recordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == kAsk || message == kNotify) {
    auto* received = static_cast<Received*>(plat::windowData(window));
    *received = {message, wParam, lParam, received->count + 1};
    return static_cast<LRESULT>(wParam * 1000 + lParam);
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

TEST(Win32Windows, RegisteredMessagesAreStableAndCaseInsensitive) {
  const UINT changed = plat::registerWindowMessage("afm3.AlbumChanged");
  EXPECT_GE(changed, 0xC000u);
  EXPECT_LE(changed, 0xFFFFu);
  EXPECT_EQ(plat::registerWindowMessage("afm3.AlbumChanged"), changed);
  EXPECT_EQ(plat::registerWindowMessage("AFM3.ALBUMCHANGED"), changed);
  EXPECT_NE(plat::registerWindowMessage("afm3.AlbumClosed"), changed);
}

TEST(Win32Windows, MessageWindowsReceiveSentAndPostedMessages) {
  Received received, other;
  HWND window = plat::createMessageWindow(recordingProc, &received);
  ASSERT_NE(window, nullptr);
  HWND second = plat::createMessageWindow(recordingProc, &other);
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(plat::windowData(window), &received);
  EXPECT_EQ(plat::sendMessage(window, kAsk, 3, 45), 3045);
  EXPECT_EQ(received.message, kAsk);
  EXPECT_EQ(received.count, 1);
  EXPECT_EQ(other.count, 0);

  // Posted messages wait in the queue until the thread pumps it.
  ASSERT_TRUE(plat::postMessage(window, kNotify, 8, 9));
  EXPECT_EQ(received.count, 1);
  MSG message;
  while (PeekMessageA(&message, window, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
  EXPECT_EQ(received.count, 2);
  EXPECT_EQ(received.message, kNotify);
  EXPECT_EQ(received.wParam, 8u);
  EXPECT_EQ(received.lParam, 9);

  char text[32];
  ASSERT_TRUE(plat::setWindowText(window, "Album 7"));
  EXPECT_EQ(plat::windowText(window, text, sizeof text), 7);
  EXPECT_STREQ(text, "Album 7");
  EXPECT_EQ(plat::windowText(window, text, 4), 3);
  EXPECT_STREQ(text, "Alb");

  // Windows' answers: whether the window was disabled before.
  EXPECT_FALSE(plat::enableWindow(window, false));
  EXPECT_FALSE(IsWindowEnabled(window));
  EXPECT_TRUE(plat::enableWindow(window, true));
  EXPECT_TRUE(IsWindowEnabled(window));

  ASSERT_TRUE(plat::destroyWindow(window));
  EXPECT_FALSE(plat::isWindow(window));
  EXPECT_TRUE(plat::isWindow(second));
  EXPECT_TRUE(plat::destroyWindow(second));
  EXPECT_FALSE(plat::postMessage(window, kNotify, 0, 0));
  EXPECT_EQ(plat::lastError(), 1400u);  // invalid window handle
}

// ---- resources written into a copy of this program ------------------------

constexpr int kDialogId = 100;
constexpr int kNameEdit = 101;
constexpr int kKeepCheck = 102;
constexpr uint32_t kStringId = 0x1234;

class Bytes {
 public:
  void word(uint16_t value) { append(&value, 2); }
  void dword(uint32_t value) { append(&value, 4); }
  void text(const char* ascii) {  // UTF-16, NUL-terminated
    for (;; ++ascii) {
      word(static_cast<uint8_t>(*ascii));
      if (*ascii == '\0') break;
    }
  }
  void alignDword() { data.resize((data.size() + 3) & ~size_t{3}); }
  std::vector<uint8_t> data;

 private:
  void append(const void* p, size_t n) {
    data.insert(data.end(), static_cast<const uint8_t*>(p), static_cast<const uint8_t*>(p) + n);
  }
};

// A dialog template: caption, an edit box, a check box and an OK button.
std::vector<uint8_t> dialogTemplate() {
  struct Item {
    uint32_t style;
    uint16_t id, classAtom;
    const char* text;
  };
  const Item items[] = {
      {WS_CHILD | WS_VISIBLE | WS_BORDER | ES_AUTOHSCROLL, kNameEdit, 0x0081, ""},
      {WS_CHILD | WS_VISIBLE | BS_AUTOCHECKBOX, kKeepCheck, 0x0080, "Keep"},
      {WS_CHILD | WS_VISIBLE | BS_DEFPUSHBUTTON, IDOK, 0x0080, "OK"},
  };
  Bytes bytes;
  bytes.dword(WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME);
  bytes.dword(0);
  bytes.word(3);
  for (int16_t value : {0, 0, 200, 80}) bytes.word(static_cast<uint16_t>(value));
  bytes.word(0);  // no menu
  bytes.word(0);  // standard dialog class
  bytes.text("Album Properties");
  int16_t y = 10;
  for (const Item& item : items) {
    bytes.alignDword();
    bytes.dword(item.style);
    bytes.dword(0);
    for (int16_t value : {int16_t{10}, y, int16_t{100}, int16_t{14}}) {
      bytes.word(static_cast<uint16_t>(value));
    }
    bytes.word(item.id);
    bytes.word(0xFFFF);
    bytes.word(item.classAtom);
    bytes.text(item.text);
    bytes.word(0);  // no creation data
    y = static_cast<int16_t>(y + 20);
  }
  return bytes.data;
}

// The string-table block holding kStringId: sixteen counted UTF-16 strings.
std::vector<uint8_t> stringBlock(const char* text) {
  Bytes bytes;
  for (uint32_t slot = 0; slot < 16; ++slot) {
    const bool ours = slot == kStringId % 16;
    bytes.word(ours ? static_cast<uint16_t>(std::strlen(text)) : 0);
    for (const char* c = text; ours && *c; ++c) bytes.word(static_cast<uint8_t>(*c));
  }
  return bytes.data;
}

// Wine shows top-level windows only with an X display.
bool haveDisplay() {
  HWND probe =
      CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
  if (probe != nullptr) DestroyWindow(probe);
  return probe != nullptr;
}
constexpr char kNoDisplay[] = "no display: run under xvfb-run (cmake/wine-run.sh does)";

class Win32Dialogs : public ::testing::Test {
 protected:
  void SetUp() override {
    char self[MAX_PATH];
    ASSERT_GT(plat::moduleFileName(nullptr, self, sizeof self), 0u);
    const std::string copy = dir_.file("resources.exe");
    ASSERT_TRUE(plat::copyFile(self, copy.c_str(), true));
    HANDLE update = BeginUpdateResourceA(copy.c_str(), FALSE);
    ASSERT_NE(update, nullptr);
    std::vector<uint8_t> dialog = dialogTemplate();
    std::vector<uint8_t> strings = stringBlock("Album library");
    const WORD neutral = MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL);
    ASSERT_TRUE(UpdateResourceA(update, RT_DIALOG, MAKEINTRESOURCEA(kDialogId), neutral,
                                dialog.data(), static_cast<DWORD>(dialog.size())));
    ASSERT_TRUE(UpdateResourceA(update, RT_STRING, MAKEINTRESOURCEA(kStringId / 16 + 1), neutral,
                                strings.data(), static_cast<DWORD>(strings.size())));
    ASSERT_TRUE(EndUpdateResourceA(update, FALSE));
    resources_ = LoadLibraryExA(copy.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(resources_, nullptr);
  }
  void TearDown() override {
    if (resources_) FreeLibrary(resources_);
  }

  afm3test::TempDir dir_;
  HMODULE resources_ = nullptr;
};

TEST_F(Win32Dialogs, StringsLoadByIdAndTruncate) {
  char text[64];
  EXPECT_EQ(plat::loadString(resources_, kStringId, text, sizeof text), 13);
  EXPECT_STREQ(text, "Album library");
  EXPECT_EQ(plat::loadString(resources_, kStringId, text, 6), 5);
  EXPECT_STREQ(text, "Album");
  EXPECT_EQ(plat::loadString(resources_, kStringId + 1, text, sizeof text), 0);
}

struct ModalRun {
  std::string caption, name;
  bool checked = false;
  LRESULT nameLength = 0;
};

INT_PTR CALLBACK modalProc(HWND dialog, UINT message, WPARAM, LPARAM lParam) {
  if (message != WM_INITDIALOG) return FALSE;
  auto* run = reinterpret_cast<ModalRun*>(lParam);
  char text[64];
  plat::windowText(dialog, text, sizeof text);
  run->caption = text;
  plat::setDialogItemText(dialog, kNameEdit, "Holiday 2001");
  plat::dialogItemText(dialog, kNameEdit, text, sizeof text);
  run->name = text;
  run->nameLength = plat::sendDialogItemMessage(dialog, kNameEdit, WM_GETTEXTLENGTH, 0, 0);
  plat::checkDialogButton(dialog, kKeepCheck, true);
  run->checked = plat::isDialogButtonChecked(dialog, kKeepCheck);
  plat::endDialog(dialog, 1234);
  return TRUE;
}

TEST_F(Win32Dialogs, ModalDialogRunsTheProcedureAndReturnsItsResult) {
  ASSERT_TRUE(haveDisplay()) << kNoDisplay;
  ModalRun run;
  EXPECT_EQ(
      plat::dialogBox(resources_, kDialogId, nullptr, modalProc, reinterpret_cast<LPARAM>(&run)),
      1234);
  EXPECT_EQ(run.caption, "Album Properties");
  EXPECT_EQ(run.name, "Holiday 2001");
  EXPECT_EQ(run.nameLength, 12);
  EXPECT_TRUE(run.checked);

  plat::setLastError(0);
  EXPECT_EQ(plat::dialogBox(resources_, kDialogId + 1, nullptr, modalProc, 0), -1);
  EXPECT_NE(plat::lastError(), 0u);
}

INT_PTR CALLBACK modelessProc(HWND, UINT message, WPARAM, LPARAM) {
  return message == WM_INITDIALOG ? TRUE : FALSE;
}

TEST_F(Win32Dialogs, ModelessDialogStartsHiddenWithItsControls) {
  ASSERT_TRUE(haveDisplay()) << kNoDisplay;
  HWND dialog = plat::createDialog(resources_, kDialogId, nullptr, modelessProc, 0);
  ASSERT_NE(dialog, nullptr) << plat::lastError();
  HWND edit = plat::dialogItem(dialog, kNameEdit);
  ASSERT_NE(edit, nullptr);
  EXPECT_EQ(GetDlgCtrlID(edit), kNameEdit);
  EXPECT_EQ(plat::dialogItem(dialog, 999), nullptr);
  char text[8];
  ASSERT_TRUE(plat::setDialogItemText(dialog, kNameEdit, "Pictures"));
  EXPECT_EQ(plat::dialogItemText(dialog, kNameEdit, text, sizeof text), 7u);
  EXPECT_STREQ(text, "Picture");

  // Windows' answers: whether the window was visible before.
  EXPECT_FALSE(plat::showWindow(dialog, true));
  EXPECT_TRUE(IsWindowVisible(dialog));
  EXPECT_TRUE(plat::showWindow(dialog, false));
  EXPECT_FALSE(IsWindowVisible(dialog));
  EXPECT_TRUE(plat::destroyWindow(dialog));
  EXPECT_FALSE(plat::isWindow(dialog));
}

// ---- system dialogs, answered from a second thread ------------------------

BOOL CALLBACK takeVisibleDialog(HWND window, LPARAM result) {
  char name[16];
  if (!IsWindowVisible(window) || !GetClassNameA(window, name, sizeof name) ||
      std::strcmp(name, "#32770") != 0) {
    return TRUE;
  }
  *reinterpret_cast<HWND*>(result) = window;
  return FALSE;
}

HWND findDialogOf(DWORD thread) {
  HWND found = nullptr;
  EnumThreadWindows(thread, takeVisibleDialog, reinterpret_cast<LPARAM>(&found));
  return found;
}

// Waits for the modal dialog the calling thread is about to show, then
// lets answer deal with it.
std::thread answerDialog(std::function<void(HWND)> answer) {
  const DWORD owner = GetCurrentThreadId();
  return std::thread([owner, answer] {
    for (int attempt = 0; attempt < 500; ++attempt) {
      if (HWND dialog = findDialogOf(owner)) return answer(dialog);
      Sleep(20);
    }
  });
}

// The text of the item selected in the folder dialog's tree.
std::string selectedTreeItem(HWND dialog) {
  HWND tree = FindWindowExA(dialog, nullptr, WC_TREEVIEWA, nullptr);
  if (tree == nullptr) return {};
  char text[MAX_PATH] = {};
  TVITEMA item = {};
  item.mask = TVIF_TEXT;
  item.hItem = reinterpret_cast<HTREEITEM>(SendMessageA(tree, TVM_GETNEXTITEM, TVGN_CARET, 0));
  item.pszText = text;
  item.cchTextMax = sizeof text;
  if (item.hItem == nullptr ||
      !SendMessageA(tree, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item))) {
    return {};
  }
  return text;
}

TEST(Win32SystemDialogs, FolderDialogReturnsTheChosenFolderOrCancels) {
  ASSERT_TRUE(haveDisplay()) << kNoDisplay;
  afm3test::TempDir dir;
  std::string chosen = dir.path();
  chosen.pop_back();  // the dialog's paths have no trailing backslash
  const std::string name = chosen.substr(chosen.rfind('\\') + 1);
  std::thread answer = answerDialog([&](HWND dialog) {
    // The dialog may still be filling its folder tree and lose an early
    // selection: select until the tree shows the folder, then choose it.
    for (int attempt = 0; attempt < 100; ++attempt) {
      SendMessageA(dialog, BFFM_SETSELECTIONA, TRUE, reinterpret_cast<LPARAM>(chosen.c_str()));
      if (selectedTreeItem(dialog) == name) break;
      Sleep(50);
    }
    PostMessageA(dialog, WM_COMMAND, IDOK, 0);
  });
  char path[MAX_PATH] = {};
  const bool ok = plat::browseForFolder(nullptr, "Where are the pictures?", path);
  answer.join();
  EXPECT_TRUE(ok);
  char expected[MAX_PATH], got[MAX_PATH];
  ASSERT_GT(plat::longPathName(chosen.c_str(), expected, sizeof expected), 0u);
  ASSERT_GT(plat::longPathName(path, got, sizeof got), 0u) << path;
  EXPECT_EQ(plat::compareNoCase(got, expected), 0) << got;

  answer = answerDialog([](HWND dialog) { PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0); });
  std::strcpy(path, "unchanged");
  EXPECT_FALSE(plat::browseForFolder(nullptr, "Where are the pictures?", path));
  answer.join();
  EXPECT_STREQ(path, "unchanged");
}

}  // namespace

#endif  // _WIN32
