// The headless dialog manager on the test resource module (libqwintestres):
// modal and modeless dialogs, their controls, the dialog driver, message
// boxes, the folder dialog and string resources.
#ifndef _WIN32

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "afm3_compat.h"
#include "platform.h"

namespace {

// List and combo box messages, as Windows numbers them.
constexpr UINT LB_ADDSTRING = 0x0180, LB_RESETCONTENT = 0x0184, LB_GETTEXT = 0x0189,
               LB_GETCOUNT = 0x018B, LB_FINDSTRINGEXACT = 0x01A2;
constexpr UINT CB_ADDSTRING = 0x0143, CB_GETCOUNT = 0x0146, CB_GETCURSEL = 0x0147,
               CB_SETCURSEL = 0x014E;
constexpr UINT BM_CLICK = 0x00F5, EN_CHANGE = 0x0300;
constexpr LRESULT LB_ERR = -1;

// Dialogs and controls of the test module.
constexpr int kSettings = 10, kConfirm = 11;
constexpr int kName = 100, kCompress = 101, kList = 102, kCombo = 103, kSmall = 104, kLarge = 105,
              kHidden = 106, kDisabled = 107;

struct DialogLog {
  HWND initFocus = nullptr;
  LPARAM initParam = 0;
  std::vector<std::pair<int, int>> commands;  // (id, notification)
  int destroyed = 0;
};

DialogLog* g_log = nullptr;

INT_PTR CALLBACK settingsProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      g_log->initFocus = reinterpret_cast<HWND>(wParam);
      g_log->initParam = lParam;
      return TRUE;
    case WM_COMMAND:
      g_log->commands.emplace_back(LOWORD(wParam), HIWORD(wParam));
      if (LOWORD(wParam) == IDOK) EndDialog(dialog, 100 + IsDlgButtonChecked(dialog, kCompress));
      return TRUE;
    case WM_DESTROY:
      ++g_log->destroyed;
      return TRUE;
    default:
      return FALSE;
  }
}

struct Driver {
  std::vector<int> templates;
  std::function<void(HWND, int)> act;
};

void driverTrampoline(HWND dialog, int templateId, void* user) {
  auto* driver = static_cast<Driver*>(user);
  driver->templates.push_back(templateId);
  if (driver->act) driver->act(dialog, templateId);
}

class PosixDialogs : public testing::Test {
 protected:
  void SetUp() override {
    qwinTestResetMachine();
    g_log = &log_;
    resources_ = plat::loadLibrary("qwintestres.dll");
    ASSERT_NE(resources_, nullptr) << plat::lastError();
    qwinTestSetDialogDriver(driverTrampoline, &driver_);
  }
  void TearDown() override {
    qwinTestResetMachine();
    if (resources_) plat::freeLibrary(resources_);
    g_log = nullptr;
  }
  INT_PTR runSettings(LPARAM param = 0) {
    return plat::dialogBox(resources_, kSettings, nullptr, settingsProc, param);
  }

  HMODULE resources_ = nullptr;
  DialogLog log_;
  Driver driver_;
};

std::string itemText(HWND dialog, int id) {
  char text[64];
  GetDlgItemTextA(dialog, id, text, sizeof text);
  return text;
}

TEST_F(PosixDialogs, ModalDialogRunsInitDriverAndEnd) {
  HWND seen = nullptr;
  driver_.act = [&](HWND dialog, int) {
    seen = dialog;
    EXPECT_TRUE(IsWindowVisible(dialog));
    char caption[32];
    GetWindowTextA(dialog, caption, sizeof caption);
    EXPECT_STREQ(caption, "Album settings");
    EXPECT_EQ(itemText(dialog, kName), "untitled");
    EXPECT_EQ(GetDlgCtrlID(GetDlgItem(dialog, kName)), kName);
    // A click on the check box, then on OK, as a user would.
    SendDlgItemMessageA(dialog, kCompress, BM_CLICK, 0, 0);
    SendMessageA(dialog, WM_COMMAND, static_cast<WPARAM>(MAKELONG(IDOK, BN_CLICKED)),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDOK)));
  };
  EXPECT_EQ(runSettings(77), 101);  // OK with the box checked
  EXPECT_EQ(driver_.templates, std::vector<int>{kSettings});
  EXPECT_EQ(log_.initParam, 77);
  EXPECT_NE(log_.initFocus, nullptr);
  EXPECT_EQ(log_.commands,
            (std::vector<std::pair<int, int>>{{kCompress, BN_CLICKED}, {IDOK, BN_CLICKED}}));
  // The dialog and its controls are gone once the call returns.
  EXPECT_EQ(log_.destroyed, 1);
  EXPECT_FALSE(IsWindow(seen));
  EXPECT_FALSE(IsWindow(log_.initFocus));
}

TEST_F(PosixDialogs, UnansweredDialogsCancelAndMissingOnesFail) {
  EXPECT_EQ(runSettings(), IDCANCEL);  // the driver does nothing
  qwinTestSetDialogDriver(nullptr, nullptr);
  EXPECT_EQ(runSettings(), IDCANCEL);
  EXPECT_EQ(plat::dialogBox(resources_, 99, nullptr, settingsProc, 0), -1);
  EXPECT_EQ(plat::lastError(), 1812u);
  EXPECT_EQ(DialogBoxParamA(resources_, "#10", nullptr, settingsProc, 0), IDCANCEL);
  EXPECT_EQ(DialogBoxParamA(nullptr, MAKEINTRESOURCEA(kSettings), nullptr, settingsProc, 0), -1);
  EXPECT_EQ(CreateDialogParamA(resources_, MAKEINTRESOURCEA(98), nullptr, settingsProc, 0),
            nullptr);
}

TEST_F(PosixDialogs, ControlsKeepTheirState) {
  driver_.act = [&](HWND dialog, int) {
    // Check boxes and a group of automatic radio buttons.
    EXPECT_TRUE(plat::checkDialogButton(dialog, kCompress, true));
    EXPECT_TRUE(plat::isDialogButtonChecked(dialog, kCompress));
    SendDlgItemMessageA(dialog, kSmall, BM_CLICK, 0, 0);
    EXPECT_EQ(IsDlgButtonChecked(dialog, kSmall), static_cast<UINT>(BST_CHECKED));
    SendDlgItemMessageA(dialog, kLarge, BM_CLICK, 0, 0);
    EXPECT_EQ(IsDlgButtonChecked(dialog, kSmall), static_cast<UINT>(BST_UNCHECKED));
    EXPECT_EQ(IsDlgButtonChecked(dialog, kLarge), static_cast<UINT>(BST_CHECKED));
    EXPECT_TRUE(plat::isDialogButtonChecked(dialog, kCompress));  // another group

    // A sorted list box.
    for (const char* item : {"pear", "Apple", "fig"})
      plat::sendDialogItemMessage(dialog, kList, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item));
    EXPECT_EQ(SendDlgItemMessageA(dialog, kList, LB_GETCOUNT, 0, 0), 3);
    char text[16];
    const char* sorted[] = {"Apple", "fig", "pear"};
    for (int i = 0; i < 3; ++i) {
      EXPECT_EQ(SendDlgItemMessageA(dialog, kList, LB_GETTEXT, i, reinterpret_cast<LPARAM>(text)),
                static_cast<LRESULT>(std::strlen(sorted[i])));
      EXPECT_STREQ(text, sorted[i]);
    }
    EXPECT_EQ(SendDlgItemMessageA(dialog, kList, LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                  reinterpret_cast<LPARAM>("FIG")),
              1);
    EXPECT_EQ(SendDlgItemMessageA(dialog, kList, LB_GETTEXT, 3, reinterpret_cast<LPARAM>(text)),
              LB_ERR);
    SendDlgItemMessageA(dialog, kList, LB_RESETCONTENT, 0, 0);
    EXPECT_EQ(SendDlgItemMessageA(dialog, kList, LB_GETCOUNT, 0, 0), 0);

    // A drop-down list shows its selection as its text.
    for (const char* item : {"Small", "Medium", "Large"})
      SendDlgItemMessageA(dialog, kCombo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item));
    EXPECT_EQ(SendDlgItemMessageA(dialog, kCombo, CB_GETCOUNT, 0, 0), 3);
    EXPECT_EQ(SendDlgItemMessageA(dialog, kCombo, CB_GETCURSEL, 0, 0), LB_ERR);
    EXPECT_EQ(SendDlgItemMessageA(dialog, kCombo, CB_SETCURSEL, 1, 0), 1);
    EXPECT_EQ(SendDlgItemMessageA(dialog, kCombo, CB_GETCURSEL, 0, 0), 1);
    EXPECT_EQ(itemText(dialog, kCombo), "Medium");
    EXPECT_EQ(SendDlgItemMessageA(dialog, kCombo, CB_SETCURSEL, 5, 0), LB_ERR);

    // Edit controls report changes of their text to the dialog.
    ASSERT_TRUE(plat::setDialogItemText(dialog, kName, "Holidays"));
    char name[6];
    EXPECT_EQ(plat::dialogItemText(dialog, kName, name, sizeof name), 5u);
    EXPECT_STREQ(name, "Holid");
    EXPECT_EQ(log_.commands.back(), std::make_pair(kName, static_cast<int>(EN_CHANGE)));

    // Styles from the template: hidden and disabled controls.
    EXPECT_FALSE(IsWindowVisible(GetDlgItem(dialog, kHidden)));
    EXPECT_TRUE(IsWindowVisible(GetDlgItem(dialog, kName)));
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, kDisabled)));
    const size_t commands = log_.commands.size();
    SendDlgItemMessageA(dialog, kDisabled, BM_CLICK, 0, 0);  // a disabled button ignores clicks
    EXPECT_EQ(log_.commands.size(), commands);
    EXPECT_EQ(plat::dialogItem(dialog, 555), nullptr);
    EXPECT_EQ(plat::lastError(), 1421u);  // control id not found
    EXPECT_TRUE(plat::endDialog(dialog, 5));
  };
  EXPECT_EQ(runSettings(), 5);
}

TEST_F(PosixDialogs, OwnersAreDisabledAndDialogsNest) {
  HWND owner = qwinCreateMessageWindow(nullptr, nullptr);
  HWND outer = nullptr;
  driver_.act = [&](HWND dialog, int templateId) {
    if (templateId == kSettings) {
      outer = dialog;
      EXPECT_FALSE(IsWindowEnabled(owner));
      // A confirmation from inside the first dialog, owned by it.
      EXPECT_EQ(plat::dialogBox(resources_, kConfirm, dialog, nullptr, 0), 3);
      EXPECT_TRUE(IsWindowEnabled(dialog));
      EndDialog(dialog, 4);
    } else {
      EXPECT_FALSE(IsWindowEnabled(outer));
      EndDialog(dialog, 3);
    }
  };
  EXPECT_EQ(plat::dialogBox(resources_, kSettings, owner, settingsProc, 0), 4);
  EXPECT_EQ(driver_.templates, (std::vector<int>{kSettings, kConfirm}));
  EXPECT_TRUE(IsWindowEnabled(owner));
  DestroyWindow(owner);
}

TEST_F(PosixDialogs, ModelessDialogsLiveUntilDestroyed) {
  HWND dialog = plat::createDialog(resources_, kConfirm, nullptr, nullptr, 0);
  ASSERT_NE(dialog, nullptr);
  EXPECT_TRUE(driver_.templates.empty());  // only modal dialogs are driven
  HWND text = plat::dialogItem(dialog, 200);
  ASSERT_NE(text, nullptr);
  // Controls given only their class styles are shown, as by default.
  EXPECT_TRUE(IsWindowVisible(text));
  char buffer[32];
  EXPECT_EQ(plat::windowText(text, buffer, sizeof buffer), 17);
  EXPECT_STREQ(buffer, "Delete the album?");

  EXPECT_TRUE(plat::endDialog(dialog, IDOK));
  EXPECT_TRUE(IsWindow(dialog));
  EXPECT_FALSE(IsWindowVisible(dialog));
  EXPECT_FALSE(IsWindowVisible(text));  // hidden with its dialog
  EXPECT_TRUE(plat::destroyWindow(dialog));
  EXPECT_FALSE(IsWindow(text));

  // A modeless dialog without WS_VISIBLE starts hidden.
  HWND settings =
      CreateDialogParamA(resources_, MAKEINTRESOURCEA(kSettings), nullptr, settingsProc, 9);
  EXPECT_EQ(log_.initParam, 9);
  EXPECT_FALSE(IsWindowVisible(settings));
  DestroyWindow(settings);
  EXPECT_EQ(log_.destroyed, 1);
}

int answerYes(HWND, LPCSTR, LPCSTR, UINT, void* user) {
  ++*static_cast<int*>(user);
  return IDYES;
}

BOOL chooseFolder(HWND, LPCSTR title, LPSTR path, void*) {
  std::snprintf(path, MAX_PATH, "Z:\\albums\\%s", title);
  return TRUE;
}

TEST_F(PosixDialogs, MessageBoxesAndFolderDialogAnswerForTheUser) {
  const struct {
    UINT type;
    int answer;
  } defaults[] = {
      {MB_OK, IDOK},          {MB_OKCANCEL, IDCANCEL},    {MB_YESNO, IDNO},
      {MB_YESNOCANCEL, IDNO}, {MB_RETRYCANCEL, IDCANCEL}, {MB_YESNO | MB_ICONQUESTION, IDNO}};
  for (const auto& d : defaults) {
    EXPECT_EQ(plat::messageBox(nullptr, "text", "cap", d.type), d.answer);
  }

  int calls = 0;
  qwinTestSetMessageBoxHook(answerYes, &calls);
  EXPECT_EQ(MessageBoxA(nullptr, "Delete album?", "Albums", MB_YESNO), IDYES);
  EXPECT_EQ(calls, 1);
  char text[8], caption[32];
  EXPECT_EQ(qwinTestLastMessageBox(text, sizeof text, caption, sizeof caption), 7);
  EXPECT_STREQ(text, "Delete ");  // truncated to the buffer
  EXPECT_STREQ(caption, "Albums");

  char path[MAX_PATH] = "unchanged";
  EXPECT_FALSE(plat::browseForFolder(nullptr, "Pick", path));
  qwinTestSetFolderDialogHook(chooseFolder, nullptr);
  ASSERT_TRUE(plat::browseForFolder(nullptr, "Pick", path));
  EXPECT_STREQ(path, "Z:\\albums\\Pick");
}

TEST_F(PosixDialogs, StringsLoadByIdAndTruncate) {
  char text[64];
  EXPECT_EQ(plat::loadString(resources_, 1, text, sizeof text), 13);
  EXPECT_STREQ(text, "Album library");
  EXPECT_EQ(plat::loadString(resources_, 1000, text, 6), 5);
  EXPECT_STREQ(text, "Thumb");
  EXPECT_EQ(plat::loadString(resources_, 2, text, sizeof text), 27);
  EXPECT_STREQ(text, "Cannot open the album \"%s\".");
  for (uint32_t missing : {0u, 3u, 40u, 999u, 5000u}) {
    EXPECT_EQ(plat::loadString(resources_, missing, text, sizeof text), 0) << missing;
    EXPECT_STREQ(text, "");
  }
  // A module without resources, and no module.
  HMODULE self = plat::moduleOf(reinterpret_cast<const void*>(&answerYes));
  EXPECT_EQ(plat::loadString(self, 1, text, sizeof text), 0);
  EXPECT_EQ(plat::loadString(nullptr, 1, text, sizeof text), 0);
}

}  // namespace

#endif  // _WIN32
