// The global heap, windows, messages and dialogs: thin wrappers over the
// Windows-named functions, which come from <windows.h> on Windows and from
// the emulation (afm3_compat.h) elsewhere.
#include "afm3_compat.h"
#include "platform.h"

namespace plat {

HGLOBAL globalAlloc(uint32_t flags, size_t bytes) { return GlobalAlloc(flags, bytes); }
void* globalLock(HGLOBAL mem) { return GlobalLock(mem); }
// False both on failure and when the lock count reaches zero; the last
// error tells them apart (0 for the latter).
bool globalUnlock(HGLOBAL mem) { return GlobalUnlock(mem) != FALSE; }
HGLOBAL globalReAlloc(HGLOBAL mem, size_t bytes, uint32_t flags) {
  return GlobalReAlloc(mem, bytes, flags);
}
size_t globalSize(HGLOBAL mem) { return GlobalSize(mem); }
HGLOBAL globalHandle(const void* pointer) { return GlobalHandle(pointer); }
HGLOBAL globalFree(HGLOBAL mem) { return GlobalFree(mem); }

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
// Both report the window's previous state, as Windows does: enableWindow
// whether it was disabled, showWindow whether it was visible.
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

}  // namespace plat
