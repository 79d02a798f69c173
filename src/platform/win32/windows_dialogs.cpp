// Windows, messages, dialogs and the screen on the Win32 API. The results
// are Windows': showWindow reports whether the window was visible before,
// enableWindow whether it was disabled before.
#include <atomic>
#include <cstring>

#include "platform.h"
#include "win32_util.h"

// Needs <windows.h>, which platform.h includes.
#include <shlobj.h>

namespace plat {

UINT registerWindowMessage(const char* name) { return RegisterWindowMessageA(name); }

LRESULT sendMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return SendMessageA(window, message, wParam, lParam);
}

bool postMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return PostMessageA(window, message, wParam, lParam) != FALSE;
}

bool isWindow(HWND window) { return IsWindow(window) != FALSE; }
bool destroyWindow(HWND window) { return DestroyWindow(window) != FALSE; }
bool setWindowText(HWND window, const char* text) { return SetWindowTextA(window, text) != FALSE; }
int windowText(HWND window, char* out, int size) { return GetWindowTextA(window, out, size); }
bool enableWindow(HWND window, bool enable) { return EnableWindow(window, enable) != FALSE; }

bool showWindow(HWND window, bool show) {
  return ShowWindow(window, show ? SW_SHOW : SW_HIDE) != FALSE;
}

INT_PTR dialogBox(HMODULE resources, int templateId, HWND parent, DLGPROC proc, LPARAM param) {
  return DialogBoxParamA(resources, MAKEINTRESOURCEA(templateId), parent, proc, param);
}

HWND createDialog(HMODULE resources, int templateId, HWND parent, DLGPROC proc, LPARAM param) {
  return CreateDialogParamA(resources, MAKEINTRESOURCEA(templateId), parent, proc, param);
}

bool endDialog(HWND dialog, INT_PTR result) { return EndDialog(dialog, result) != FALSE; }
HWND dialogItem(HWND dialog, int id) { return GetDlgItem(dialog, id); }

bool setDialogItemText(HWND dialog, int id, const char* text) {
  return SetDlgItemTextA(dialog, id, text) != FALSE;
}

uint32_t dialogItemText(HWND dialog, int id, char* out, int size) {
  return GetDlgItemTextA(dialog, id, out, size);
}

LRESULT sendDialogItemMessage(HWND dialog, int id, UINT message, WPARAM wParam, LPARAM lParam) {
  return SendDlgItemMessageA(dialog, id, message, wParam, lParam);
}

bool checkDialogButton(HWND dialog, int id, bool checked) {
  return CheckDlgButton(dialog, id, checked ? BST_CHECKED : BST_UNCHECKED) != FALSE;
}

bool isDialogButtonChecked(HWND dialog, int id) {
  return IsDlgButtonChecked(dialog, id) == BST_CHECKED;
}

int messageBox(HWND owner, const char* text, const char* caption, uint32_t type) {
  return MessageBoxA(owner, text, caption, type);
}

bool browseForFolder(HWND owner, const char* title, char* path) {
  // The shell's folder tree is COM; initialise it for this thread unless the
  // host already has (a different apartment model is fine too).
  const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  char display[MAX_PATH] = {};
  BROWSEINFOA browse = {};
  browse.hwndOwner = owner;
  browse.pszDisplayName = display;
  browse.lpszTitle = title;
  browse.ulFlags = BIF_RETURNONLYFSDIRS;
  PIDLIST_ABSOLUTE chosen = SHBrowseForFolderA(&browse);
  bool ok = false;
  if (chosen != nullptr) {
    char folder[MAX_PATH] = {};
    ok = SHGetPathFromIDListA(chosen, folder) != FALSE;
    if (ok) {
      std::memcpy(path, folder, sizeof folder);
    } else {
      // Virtual folders (Printers, Network...) have no file system path.
      SetLastError(ERROR_PATH_NOT_FOUND);
    }
    win32::KeepLastError keep;
    CoTaskMemFree(chosen);
  } else {
    SetLastError(ERROR_SUCCESS);  // cancelled: not an error
  }
  if (SUCCEEDED(com)) {
    win32::KeepLastError keep;
    CoUninitialize();
  }
  return ok;
}

// Message windows belong to one private class whose own procedure is
// DefWindowProcA; each window is then given its caller's procedure. The
// class keeps no pointer into this module, so a class left registered by an
// unloaded copy of the module (Windows does not unregister a library's
// classes) is still safe to use. The caller's data sits in the window's
// extra bytes, leaving GWLP_USERDATA to the procedure.
namespace {
constexpr char kMessageWindowClass[] = "afm3MessageWindow";
constexpr int kUserDataOffset = 0;

HINSTANCE thisModule() { return moduleOf(reinterpret_cast<const void*>(&thisModule)); }

// Registers the class on first use; a failure is retried on the next call.
bool registerMessageWindowClass() {
  static std::atomic<bool> registered{false};
  if (registered) return true;
  WNDCLASSA description = {};
  description.lpfnWndProc = DefWindowProcA;
  description.cbWndExtra = sizeof(LONG_PTR);
  description.hInstance = thisModule();
  description.lpszClassName = kMessageWindowClass;
  if (RegisterClassA(&description) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
    return false;
  }
  registered = true;
  return true;
}
}  // namespace

HWND createMessageWindow(WNDPROC proc, void* userData) {
  if (!registerMessageWindowClass()) return nullptr;
  const HWND window = CreateWindowExA(0, kMessageWindowClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE,
                                      nullptr, thisModule(), nullptr);
  if (window == nullptr) return nullptr;
  SetWindowLongPtrA(window, kUserDataOffset, reinterpret_cast<LONG_PTR>(userData));
  if (proc != nullptr) SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(proc));
  return window;
}

void* windowData(HWND window) {
  return reinterpret_cast<void*>(GetWindowLongPtrA(window, kUserDataOffset));
}

int screenPixelsPerInch() {
  const HDC screen = GetDC(nullptr);
  if (screen == nullptr) return 0;
  const int pixels = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  return pixels;
}

}  // namespace plat
