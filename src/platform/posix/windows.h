// Emulated windows: message-only windows, dialogs and their controls.
//
// Windows live in one process-wide table keyed by handle values that are
// never pointers and never reused. Every field of every window is guarded
// by windowMutex(); window and dialog procedures are always called without
// it, so they may send messages, create and destroy windows freely.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "afm3_compat.h"

namespace qwin {

// Window style bits the emulation looks at.
enum : uint32_t {
  kWsVisible = 0x10000000,
  kWsDisabled = 0x08000000,
  kWsChild = 0x40000000,
  kWsGroup = 0x00020000,
};

enum class WindowKind { Message, Dialog, Control };

struct Window {
  HWND handle = nullptr;
  WindowKind kind = WindowKind::Message;
  WNDPROC proc = nullptr;        // message windows
  DLGPROC dialogProc = nullptr;  // dialogs
  void* user = nullptr;
  HWND parent = nullptr;       // the dialog of a control, the owner of a dialog
  std::vector<HWND> controls;  // a dialog's controls in template order
  std::string text;
  std::string className;  // upper case, for controls
  uint32_t style = 0;
  int id = 0;  // control identifier
  bool enabled = true;
  bool visible = true;
  bool destroying = false;
  // Buttons
  int check = BST_UNCHECKED;
  // List and combo boxes
  std::vector<std::string> items;
  std::vector<LPARAM> itemData;
  int selection = -1;
  // Placement in pixels: in the parent's client area, for a top-level
  // dialog on the screen.
  int left = 0, top = 0, width = 0, height = 0;
  int zOrder = 0;  // raised later = higher
  // Tab controls keep their items and selection in items / selection.
  // Report list views: column titles and rows of cells.
  std::vector<std::string> columns;
  std::vector<std::vector<std::string>> rows;
  // Dialogs
  LRESULT messageResult = 0;  // set by a procedure for a message it handled
  bool hasMessageResult = false;
  bool modal = false;
  bool ended = false;
  INT_PTR result = 0;
  int templateId = 0;
};

std::mutex& windowMutex();
HWND addWindow(std::shared_ptr<Window> window);
std::shared_ptr<Window> findWindow(HWND handle);  // null (error 1400) when unknown
// The windows whose parent (or owner) is handle, in creation order.
std::vector<HWND> childrenOf(HWND handle);
// Delivers a message synchronously to the window's procedure or built-in
// behaviour.
LRESULT dispatch(HWND handle, UINT message, WPARAM wParam, LPARAM lParam);
// The behaviour of the built-in control classes.
LRESULT controlMessage(const std::shared_ptr<Window>& control, UINT message, WPARAM wParam,
                       LPARAM lParam);
// WM_SETTEXT / WM_GETTEXT / WM_GETTEXTLENGTH on a window's own text; false
// when message is none of them.
bool textMessage(Window& window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);

}  // namespace qwin
