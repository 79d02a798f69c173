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
