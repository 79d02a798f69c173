// Placement of emulated windows and the two common controls the album
// information dialog uses: the tab control and the report list view.
//
// Nothing is drawn. A window keeps its rectangle in pixels (templates give
// dialog units, see dialogs.cpp); moving a dialog to a new size delivers
// WM_SIZE with the new client size, as Windows does. A dialog's client
// area is its whole rectangle: the emulation has no frames.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "errors.h"
#include "platform.h"
#include "windows.h"

namespace qwin {
namespace {

constexpr UINT kWmSize = 0x0005;
constexpr UINT kWmGetMinMaxInfo = 0x0024;
constexpr int kGripEdge = 16;         // the width of a vertical scroll bar
constexpr int kTabHeaderHeight = 21;  // the row of tab titles
constexpr int kTabBorder = 2;

// The WM_NOTIFY header and the WM_GETMINMAXINFO block, laid out as
// Windows has them.
struct NotifyHeader {
  HWND from;
  UINT_PTR id;
  UINT code;
};
struct Point {
  LONG x, y;
};
struct MinMaxInfo {
  Point reserved, maxSize, maxPosition, minTrackSize, maxTrackSize;
};

std::shared_ptr<Window> windowOfClass(HWND handle, const char* className) {
  std::shared_ptr<Window> w = findWindow(handle);
  if (w && className != nullptr && w->className != className) {
    fail(plat::kErrInvalidParameter);
    return nullptr;
  }
  return w;
}

void copyOut(const std::string& text, char* out, int size) {
  if (out != nullptr && size > 0) std::snprintf(out, static_cast<size_t>(size), "%s", text.c_str());
}

}  // namespace
}  // namespace qwin

extern "C" HWND qwinTestChildDialog(HWND parent, int templateId) {
  for (HWND child : qwin::childrenOf(parent)) {
    auto w = qwin::findWindow(child);
    if (w && w->kind == qwin::WindowKind::Dialog && w->templateId == templateId) return child;
  }
  return nullptr;
}

namespace plat {

using qwin::Window;

bool windowPlacement(HWND window, Rect* out) {
  auto w = qwin::findWindow(window);
  if (!w || out == nullptr) return false;
  std::lock_guard<std::mutex> lock(qwin::windowMutex());
  *out = {w->left, w->top, w->left + w->width, w->top + w->height};
  return true;
}

bool clientArea(HWND window, Rect* out) {
  auto w = qwin::findWindow(window);
  if (!w || out == nullptr) return false;
  std::lock_guard<std::mutex> lock(qwin::windowMutex());
  *out = {0, 0, w->width, w->height};
  return true;
}

bool placeWindow(HWND window, const Rect& placement) {
  auto w = qwin::findWindow(window);
  if (!w) return false;
  bool resized = false;
  {
    std::lock_guard<std::mutex> lock(qwin::windowMutex());
    resized = w->width != placement.width() || w->height != placement.height();
    w->left = placement.left;
    w->top = placement.top;
    w->width = std::max(0, placement.width());
    w->height = std::max(0, placement.height());
  }
  if (resized && w->kind == qwin::WindowKind::Dialog)
    qwin::dispatch(window, qwin::kWmSize, 0,
                   static_cast<LPARAM>(MAKELONG(placement.width(), placement.height())));
  return true;
}

bool showOnTop(HWND window) {
  static int raised = 0;
  auto w = qwin::findWindow(window);
  if (!w) return false;
  std::lock_guard<std::mutex> lock(qwin::windowMutex());
  w->visible = true;
  w->zOrder = ++raised;
  return true;
}

bool focusWindow(HWND window) { return qwin::findWindow(window) != nullptr; }

bool initCommonControls() { return true; }

int tabAddItem(HWND tab, int index, const char* text) {
  auto w = qwin::windowOfClass(tab, "SYSTABCONTROL32");
  if (!w) return -1;
  std::lock_guard<std::mutex> lock(qwin::windowMutex());
  const size_t at = std::min<size_t>(index < 0 ? 0 : static_cast<size_t>(index), w->items.size());
  w->items.insert(w->items.begin() + static_cast<ptrdiff_t>(at), text ? text : "");
  if (w->selection < 0) w->selection = 0;  // the first tab is selected
  return static_cast<int>(at);
}

bool tabRemoveItem(HWND tab, int index) {
  auto w = qwin::windowOfClass(tab, "SYSTABCONTROL32");
  if (!w) return false;
  std::lock_guard<std::mutex> lock(qwin::windowMutex());
  if (index < 0 || static_cast<size_t>(index) >= w->items.size()) return false;
  w->items.erase(w->items.begin() + index);
  if (w->selection == index) {
    w->selection = -1;
  } else if (w->selection > index) {
    --w->selection;
  }
  return true;
}

int tabItemCount(HWND tab) {
  auto w = qwin::windowOfClass(tab, "SYSTABCONTROL32");
  if (!w) return 0;
  std::lock_guard<std::mutex> lock(qwin::windowMutex());
  return static_cast<int>(w->items.size());
}

int tabSelection(HWND tab) {
  auto w = qwin::windowOfClass(tab, "SYSTABCONTROL32");
  if (!w) return -1;
  std::lock_guard<std::mutex> lock(qwin::windowMutex());
  return w->selection;
}

bool tabSelect(HWND tab, int index) {
  auto w = qwin::windowOfClass(tab, "SYSTABCONTROL32");
  if (!w) return false;
  std::lock_guard<std::mutex> lock(qwin::windowMutex());
  if (index < 0 || static_cast<size_t>(index) >= w->items.size()) return false;
  w->selection = index;
  return true;
}

bool tabItemText(HWND tab, int index, char* out, int size) {
  auto w = qwin::windowOfClass(tab, "SYSTABCONTROL32");
  if (!w) return false;
  std::lock_guard<std::mutex> lock(qwin::windowMutex());
  if (index < 0 || static_cast<size_t>(index) >= w->items.size()) return false;
  qwin::copyOut(w->items[static_cast<size_t>(index)], out, size);
  return true;
}

bool tabDisplayArea(HWND tab, Rect* out) {
  Rect r;
  if (!windowPlacement(tab, &r) || out == nullptr) return false;
  *out = {r.left + qwin::kTabBorder, r.top + qwin::kTabHeaderHeight, r.right - qwin::kTabBorder,
          r.bottom - qwin::kTabBorder};
  return true;
}

int listAddColumn(HWND list, int index, const char* title, int) {
  auto w = qwin::windowOfClass(list, "SYSLISTVIEW32");
  if (!w) return -1;
  std::lock_guard<std::mutex> lock(qwin::windowMutex());
  const size_t at = std::min<size_t>(index < 0 ? 0 : static_cast<size_t>(index), w->columns.size());
  w->columns.insert(w->columns.begin() + static_cast<ptrdiff_t>(at), title ? title : "");
  for (auto& row : w->rows) row.resize(w->columns.size());
  return static_cast<int>(at);
}

bool listColumnTitle(HWND list, int index, char* out, int size) {
  auto w = qwin::windowOfClass(list, "SYSLISTVIEW32");
  if (!w) return false;
  std::lock_guard<std::mutex> lock(qwin::windowMutex());
  if (index < 0 || static_cast<size_t>(index) >= w->columns.size()) return false;
  qwin::copyOut(w->columns[static_cast<size_t>(index)], out, size);
  return true;
}

int listAddRow(HWND list, int row, const char* firstCell) {
  auto w = qwin::windowOfClass(list, "SYSLISTVIEW32");
  if (!w) return -1;
  std::lock_guard<std::mutex> lock(qwin::windowMutex());
  const size_t at = std::min<size_t>(row < 0 ? 0 : static_cast<size_t>(row), w->rows.size());
  std::vector<std::string> cells(std::max<size_t>(1, w->columns.size()));
  cells[0] = firstCell ? firstCell : "";
  w->rows.insert(w->rows.begin() + static_cast<ptrdiff_t>(at), std::move(cells));
  return static_cast<int>(at);
}

bool listSetCell(HWND list, int row, int column, const char* text) {
  auto w = qwin::windowOfClass(list, "SYSLISTVIEW32");
  if (!w) return false;
  std::lock_guard<std::mutex> lock(qwin::windowMutex());
  if (row < 0 || static_cast<size_t>(row) >= w->rows.size() || column < 0 ||
      static_cast<size_t>(column) >= w->rows[static_cast<size_t>(row)].size())
    return false;
  w->rows[static_cast<size_t>(row)][static_cast<size_t>(column)] = text ? text : "";
  return true;
}

int listRowCount(HWND list) {
  auto w = qwin::windowOfClass(list, "SYSLISTVIEW32");
  if (!w) return 0;
  std::lock_guard<std::mutex> lock(qwin::windowMutex());
  return static_cast<int>(w->rows.size());
}

bool listCellText(HWND list, int row, int column, char* out, int size) {
  auto w = qwin::windowOfClass(list, "SYSLISTVIEW32");
  if (!w) return false;
  std::lock_guard<std::mutex> lock(qwin::windowMutex());
  if (row < 0 || static_cast<size_t>(row) >= w->rows.size() || column < 0 ||
      static_cast<size_t>(column) >= w->rows[static_cast<size_t>(row)].size())
    return false;
  qwin::copyOut(w->rows[static_cast<size_t>(row)][static_cast<size_t>(column)], out, size);
  return true;
}

LRESULT notifyParent(HWND control, UINT code) {
  auto w = qwin::findWindow(control);
  if (!w) return 0;
  qwin::NotifyHeader header{control, static_cast<UINT_PTR>(w->id), code};
  return qwin::dispatch(w->parent, WM_NOTIFY, static_cast<WPARAM>(w->id),
                        reinterpret_cast<LPARAM>(&header));
}

UINT notificationCode(LPARAM notification, HWND* from) {
  const auto* header = reinterpret_cast<const qwin::NotifyHeader*>(notification);
  if (header == nullptr) return 0;
  if (from != nullptr) *from = header->from;
  return header->code;
}

void setDialogResult(HWND dialog, LRESULT result) {
  auto w = qwin::findWindow(dialog);
  if (!w) return;
  std::lock_guard<std::mutex> lock(qwin::windowMutex());
  w->messageResult = result;
  w->hasMessageResult = true;
}

void setMinimumTrackSize(LPARAM minMaxInfo, int width, int height) {
  auto* info = reinterpret_cast<qwin::MinMaxInfo*>(minMaxInfo);
  if (info == nullptr) return;
  info->minTrackSize = {width, height};
}

bool minimumTrackSize(HWND window, int* width, int* height) {
  qwin::MinMaxInfo info{};
  if (!qwin::findWindow(window)) return false;
  qwin::dispatch(window, qwin::kWmGetMinMaxInfo, 0, reinterpret_cast<LPARAM>(&info));
  *width = info.minTrackSize.x;
  *height = info.minTrackSize.y;
  return true;
}

int sizeGripEdge() { return qwin::kGripEdge; }

LPARAM screenPointOf(HWND window, int x, int y) {
  // Client points of a child window are offset by its parents' placements.
  for (HWND at = window; at != nullptr;) {
    auto w = qwin::findWindow(at);
    if (!w) break;
    std::lock_guard<std::mutex> lock(qwin::windowMutex());
    x += w->left;
    y += w->top;
    at =
        (w->kind == qwin::WindowKind::Control || (w->style & qwin::kWsChild)) ? w->parent : nullptr;
  }
  return static_cast<LPARAM>(MAKELONG(x, y));
}

bool pointInSizeGrip(HWND dialog, LPARAM screenPoint) {
  Rect client;
  if (!clientArea(dialog, &client)) return false;
  const LPARAM corner = screenPointOf(dialog, client.right, client.bottom);
  const int x = static_cast<int16_t>(LOWORD(screenPoint));
  const int y = static_cast<int16_t>(HIWORD(screenPoint));
  const int right = static_cast<int16_t>(LOWORD(corner));
  const int bottom = static_cast<int16_t>(HIWORD(corner));
  return x >= right - qwin::kGripEdge && x < right && y >= bottom - qwin::kGripEdge && y < bottom;
}

void paintSizeGrip(HWND) {}

}  // namespace plat
