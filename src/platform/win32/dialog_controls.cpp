// Window placement, the tab control and the report list view on the Win32
// API (common controls), for the album information dialog.
#include <cstring>

#include "platform.h"

// Needs <windows.h>, which platform.h includes.
#include <commctrl.h>

namespace plat {

namespace {

Rect toRect(const RECT& r) { return {r.left, r.top, r.right, r.bottom}; }

}  // namespace

bool windowPlacement(HWND window, Rect* out) {
  RECT r;
  if (out == nullptr || !GetWindowRect(window, &r)) return false;
  const HWND parent = (GetWindowLongA(window, GWL_STYLE) & WS_CHILD) ? GetParent(window) : nullptr;
  if (parent != nullptr) MapWindowPoints(HWND_DESKTOP, parent, reinterpret_cast<POINT*>(&r), 2);
  *out = toRect(r);
  return true;
}

bool clientArea(HWND window, Rect* out) {
  RECT r;
  if (out == nullptr || !GetClientRect(window, &r)) return false;
  *out = toRect(r);
  return true;
}

bool placeWindow(HWND window, const Rect& p) {
  return MoveWindow(window, p.left, p.top, p.width(), p.height(), TRUE) != FALSE;
}

bool showOnTop(HWND window) {
  ShowWindow(window, SW_SHOW);
  return SetWindowPos(window, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE) != FALSE;
}

bool focusWindow(HWND window) { return SetFocus(window) != nullptr; }

bool initCommonControls() {
  INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_TAB_CLASSES | ICC_LISTVIEW_CLASSES};
  return InitCommonControlsEx(&controls) != FALSE;
}

int tabAddItem(HWND tab, int index, const char* text) {
  TCITEMA item = {};
  item.mask = TCIF_TEXT;
  item.pszText = const_cast<char*>(text);
  return static_cast<int>(SendMessageA(tab, TCM_INSERTITEMA, static_cast<WPARAM>(index),
                                       reinterpret_cast<LPARAM>(&item)));
}

bool tabRemoveItem(HWND tab, int index) {
  return SendMessageA(tab, TCM_DELETEITEM, static_cast<WPARAM>(index), 0) != FALSE;
}

int tabItemCount(HWND tab) { return static_cast<int>(SendMessageA(tab, TCM_GETITEMCOUNT, 0, 0)); }

int tabSelection(HWND tab) { return static_cast<int>(SendMessageA(tab, TCM_GETCURSEL, 0, 0)); }

bool tabSelect(HWND tab, int index) {
  return SendMessageA(tab, TCM_SETCURSEL, static_cast<WPARAM>(index), 0) != -1;
}

bool tabItemText(HWND tab, int index, char* out, int size) {
  TCITEMA item = {};
  item.mask = TCIF_TEXT;
  item.pszText = out;
  item.cchTextMax = size;
  return SendMessageA(tab, TCM_GETITEMA, static_cast<WPARAM>(index),
                      reinterpret_cast<LPARAM>(&item)) != FALSE;
}

bool tabDisplayArea(HWND tab, Rect* out) {
  Rect placement;
  if (out == nullptr || !windowPlacement(tab, &placement)) return false;
  RECT r = {placement.left, placement.top, placement.right, placement.bottom};
  SendMessageA(tab, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&r));
  *out = toRect(r);
  return true;
}

int listAddColumn(HWND list, int index, const char* title, int width) {
  LVCOLUMNA column = {};
  column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
  column.pszText = const_cast<char*>(title);
  column.cx = width;
  column.iSubItem = index;
  return static_cast<int>(SendMessageA(list, LVM_INSERTCOLUMNA, static_cast<WPARAM>(index),
                                       reinterpret_cast<LPARAM>(&column)));
}

bool listColumnTitle(HWND list, int index, char* out, int size) {
  LVCOLUMNA column = {};
  column.mask = LVCF_TEXT;
  column.pszText = out;
  column.cchTextMax = size;
  return SendMessageA(list, LVM_GETCOLUMNA, static_cast<WPARAM>(index),
                      reinterpret_cast<LPARAM>(&column)) != FALSE;
}

int listAddRow(HWND list, int row, const char* firstCell) {
  LVITEMA item = {};
  item.mask = LVIF_TEXT;
  item.iItem = row;
  item.pszText = const_cast<char*>(firstCell);
  return static_cast<int>(SendMessageA(list, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item)));
}

bool listSetCell(HWND list, int row, int column, const char* text) {
  LVITEMA item = {};
  item.iSubItem = column;
  item.pszText = const_cast<char*>(text);
  return SendMessageA(list, LVM_SETITEMTEXTA, static_cast<WPARAM>(row),
                      reinterpret_cast<LPARAM>(&item)) != FALSE;
}

int listRowCount(HWND list) { return static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0)); }

bool listCellText(HWND list, int row, int column, char* out, int size) {
  LVITEMA item = {};
  item.iSubItem = column;
  item.pszText = out;
  item.cchTextMax = size;
  SendMessageA(list, LVM_GETITEMTEXTA, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
  return true;
}

LRESULT notifyParent(HWND control, UINT code) {
  NMHDR header = {control, static_cast<UINT_PTR>(GetDlgCtrlID(control)), code};
  return SendMessageA(GetParent(control), WM_NOTIFY, header.idFrom,
                      reinterpret_cast<LPARAM>(&header));
}

UINT notificationCode(LPARAM notification, HWND* from) {
  const auto* header = reinterpret_cast<const NMHDR*>(notification);
  if (header == nullptr) return 0;
  if (from != nullptr) *from = header->hwndFrom;
  return header->code;
}

void setDialogResult(HWND dialog, LRESULT result) {
  SetWindowLongPtrA(dialog, DWLP_MSGRESULT, result);
}

void setMinimumTrackSize(LPARAM minMaxInfo, int width, int height) {
  auto* info = reinterpret_cast<MINMAXINFO*>(minMaxInfo);
  if (info == nullptr) return;
  info->ptMinTrackSize.x = width;
  info->ptMinTrackSize.y = height;
}

bool minimumTrackSize(HWND window, int* width, int* height) {
  MINMAXINFO info = {};
  SendMessageA(window, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info));
  *width = info.ptMinTrackSize.x;
  *height = info.ptMinTrackSize.y;
  return true;
}

int sizeGripEdge() { return GetSystemMetrics(SM_CXVSCROLL); }

LPARAM screenPointOf(HWND window, int x, int y) {
  POINT point = {x, y};
  ClientToScreen(window, &point);
  return MAKELPARAM(point.x, point.y);
}

bool pointInSizeGrip(HWND dialog, LPARAM screenPoint) {
  POINT point = {static_cast<short>(LOWORD(screenPoint)), static_cast<short>(HIWORD(screenPoint))};
  ScreenToClient(dialog, &point);
  RECT client;
  GetClientRect(dialog, &client);
  const int edge = sizeGripEdge();
  return point.x >= client.right - edge && point.x < client.right &&
         point.y >= client.bottom - edge && point.y < client.bottom;
}

void paintSizeGrip(HWND dialog) {
  PAINTSTRUCT paint;
  const HDC dc = BeginPaint(dialog, &paint);
  if (dc == nullptr) return;
  RECT grip;
  GetClientRect(dialog, &grip);
  grip.left = grip.right - sizeGripEdge();
  grip.top = grip.bottom - GetSystemMetrics(SM_CYHSCROLL);
  DrawFrameControl(dc, &grip, DFC_SCROLL, DFCS_SCROLLSIZEGRIP);
  EndPaint(dialog, &paint);
}

}  // namespace plat
