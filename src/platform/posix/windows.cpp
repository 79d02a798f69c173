// Window handles, message delivery (sent and posted) and the window
// functions shared by every kind of emulated window.
#include "windows.h"

#include <cstring>
#include <deque>
#include <map>

#include "codepage.h"
#include "errors.h"
#include "platform.h"

namespace qwin {

namespace {

struct WindowTable {
  std::map<uintptr_t, std::shared_ptr<Window>> windows;
  uintptr_t next = 0x10008;
};

WindowTable& table() {
  static auto* t = new WindowTable;
  return *t;
}

struct Posted {
  HWND window;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
};

std::mutex g_queueMutex;
std::deque<Posted>& queue() {
  static auto* q = new std::deque<Posted>;
  return *q;
}

std::mutex g_atomMutex;
std::map<std::string, UINT>& atoms() {
  static auto* a = new std::map<std::string, UINT>;
  return *a;
}

bool destroyTree(HWND handle) {
  std::shared_ptr<Window> window = findWindow(handle);
  if (!window) return false;
  {
    std::lock_guard<std::mutex> lock(windowMutex());
    if (window->destroying) return true;
    window->destroying = true;
  }
  dispatch(handle, WM_DESTROY, 0, 0);
  // Then the controls of a dialog and the windows it owns.
  std::vector<HWND> children;
  {
    std::lock_guard<std::mutex> lock(windowMutex());
    for (const auto& entry : table().windows)
      if (entry.second->parent == handle) children.push_back(entry.second->handle);
  }
  for (HWND child : children) destroyTree(child);
  std::lock_guard<std::mutex> lock(windowMutex());
  table().windows.erase(reinterpret_cast<uintptr_t>(handle));
  return true;
}

}  // namespace

std::mutex& windowMutex() {
  static auto* m = new std::mutex;
  return *m;
}

HWND addWindow(std::shared_ptr<Window> window) {
  std::lock_guard<std::mutex> lock(windowMutex());
  WindowTable& t = table();
  const uintptr_t value = t.next;
  t.next += 0x10;
  window->handle = reinterpret_cast<HWND>(value);
  t.windows.emplace(value, std::move(window));
  return reinterpret_cast<HWND>(value);
}

std::shared_ptr<Window> findWindow(HWND handle) {
  std::lock_guard<std::mutex> lock(windowMutex());
  auto it = table().windows.find(reinterpret_cast<uintptr_t>(handle));
  if (it == table().windows.end()) {
    setError(kErrInvalidWindowHandle);
    return nullptr;
  }
  return it->second;
}

std::vector<HWND> childrenOf(HWND handle) {
  std::vector<HWND> children;
  std::lock_guard<std::mutex> lock(windowMutex());
  for (const auto& entry : table().windows)
    if (entry.second->parent == handle) children.push_back(entry.second->handle);
  return children;
}

bool textMessage(Window& window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
  switch (message) {
    case WM_SETTEXT: {
      const char* text = reinterpret_cast<const char*>(lParam);
      window.text = text ? text : "";
      *result = TRUE;
      return true;
    }
    case WM_GETTEXT: {
      char* out = reinterpret_cast<char*>(lParam);
      if (out == nullptr || wParam == 0) {
        *result = 0;
        return true;
      }
      const size_t length = std::min<size_t>(window.text.size(), wParam - 1);
      std::memcpy(out, window.text.data(), length);
      out[length] = '\0';
      *result = static_cast<LRESULT>(length);
      return true;
    }
    case WM_GETTEXTLENGTH:
      *result = static_cast<LRESULT>(window.text.size());
      return true;
    default:
      return false;
  }
}

LRESULT dispatch(HWND handle, UINT message, WPARAM wParam, LPARAM lParam) {
  std::shared_ptr<Window> window = findWindow(handle);
  if (!window) return 0;
  switch (window->kind) {
    case WindowKind::Message: {
      if (window->proc) return window->proc(handle, message, wParam, lParam);
      LRESULT result = 0;
      std::lock_guard<std::mutex> lock(windowMutex());
      textMessage(*window, message, wParam, lParam, &result);
      return result;
    }
    case WindowKind::Dialog: {
      // The dialog procedure first; what it leaves (returns FALSE for) gets
      // the default dialog behaviour.
      if (window->dialogProc) {
        {
          std::lock_guard<std::mutex> lock(windowMutex());
          window->hasMessageResult = false;
        }
        const INT_PTR handled = window->dialogProc(handle, message, wParam, lParam);
        if (handled) {
          std::lock_guard<std::mutex> lock(windowMutex());
          return window->hasMessageResult ? window->messageResult : handled;
        }
      }
      if (message == WM_CLOSE) {
        HWND cancel = nullptr;
        {
          std::lock_guard<std::mutex> lock(windowMutex());
          for (HWND control : window->controls) {
            auto it = table().windows.find(reinterpret_cast<uintptr_t>(control));
            if (it != table().windows.end() && it->second->id == IDCANCEL) cancel = control;
          }
        }
        return dispatch(handle, WM_COMMAND, static_cast<WPARAM>(MAKELONG(IDCANCEL, BN_CLICKED)),
                        reinterpret_cast<LPARAM>(cancel));
      }
      LRESULT result = 0;
      std::lock_guard<std::mutex> lock(windowMutex());
      textMessage(*window, message, wParam, lParam, &result);
      return result;
    }
    case WindowKind::Control:
      return controlMessage(window, message, wParam, lParam);
  }
  return 0;
}

}  // namespace qwin

extern "C" {

HWND qwinCreateMessageWindow(WNDPROC proc, void* userData) {
  auto window = std::make_shared<qwin::Window>();
  window->kind = qwin::WindowKind::Message;
  window->proc = proc;
  window->user = userData;
  window->visible = false;  // message-only windows are never shown
  return qwin::addWindow(std::move(window));
}

void* qwinGetWindowData(HWND window) {
  auto w = qwin::findWindow(window);
  return w ? w->user : nullptr;
}

int qwinPumpMessages(void) {
  int delivered = 0;
  for (;;) {
    qwin::Posted posted{};
    {
      std::lock_guard<std::mutex> lock(qwin::g_queueMutex);
      if (qwin::queue().empty()) break;
      posted = qwin::queue().front();
      qwin::queue().pop_front();
    }
    // Messages for windows destroyed since they were posted are dropped.
    if (!qwin::findWindow(posted.window)) continue;
    qwin::dispatch(posted.window, posted.message, posted.wParam, posted.lParam);
    ++delivered;
  }
  return delivered;
}

UINT RegisterWindowMessageA(LPCSTR name) {
  if (name == nullptr || *name == '\0') return qwin::fail(plat::kErrInvalidParameter), 0;
  std::lock_guard<std::mutex> lock(qwin::g_atomMutex);
  auto& table = qwin::atoms();
  // Registered messages share the string-atom range 0xC000-0xFFFF.
  auto [it, added] =
      table.try_emplace(qwin::upperString(name), static_cast<UINT>(0xC000 + table.size()));
  if (added && it->second > 0xFFFF) {
    table.erase(it);
    return qwin::fail(plat::kErrNotEnoughMemory), 0;
  }
  return it->second;
}

LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return qwin::dispatch(window, message, wParam, lParam);
}

BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (!qwin::findWindow(window)) return FALSE;
  std::lock_guard<std::mutex> lock(qwin::g_queueMutex);
  qwin::queue().push_back({window, message, wParam, lParam});
  return TRUE;
}

BOOL IsWindow(HWND window) {
  std::lock_guard<std::mutex> lock(qwin::windowMutex());
  return qwin::table().windows.count(reinterpret_cast<uintptr_t>(window)) > 0;
}

BOOL DestroyWindow(HWND window) {
  if (!qwin::destroyTree(window)) return qwin::fail(qwin::kErrInvalidWindowHandle);
  return TRUE;
}

BOOL SetWindowTextA(HWND window, LPCSTR text) {
  auto w = qwin::findWindow(window);
  if (!w) return FALSE;
  // Controls get WM_SETTEXT (an edit control reports the change to its
  // dialog); other windows just take the text.
  if (w->kind == qwin::WindowKind::Control)
    return qwin::dispatch(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text)) != 0;
  std::lock_guard<std::mutex> lock(qwin::windowMutex());
  w->text = text ? text : "";
  return TRUE;
}

int GetWindowTextA(HWND window, LPSTR text, int size) {
  if (text == nullptr || size <= 0) return 0;
  text[0] = '\0';
  auto w = qwin::findWindow(window);
  if (!w) return 0;
  if (w->kind == qwin::WindowKind::Control)
    return static_cast<int>(qwin::dispatch(window, WM_GETTEXT, static_cast<WPARAM>(size),
                                           reinterpret_cast<LPARAM>(text)));
  std::lock_guard<std::mutex> lock(qwin::windowMutex());
  LRESULT result = 0;
  qwin::textMessage(*w, WM_GETTEXT, static_cast<WPARAM>(size), reinterpret_cast<LPARAM>(text),
                    &result);
  return static_cast<int>(result);
}

BOOL EnableWindow(HWND window, BOOL enable) {
  auto w = qwin::findWindow(window);
  if (!w) return FALSE;
  std::lock_guard<std::mutex> lock(qwin::windowMutex());
  const BOOL wasDisabled = !w->enabled;
  w->enabled = enable != FALSE;
  return wasDisabled;
}

BOOL IsWindowEnabled(HWND window) {
  auto w = qwin::findWindow(window);
  if (!w) return FALSE;
  std::lock_guard<std::mutex> lock(qwin::windowMutex());
  return w->enabled;
}

BOOL ShowWindow(HWND window, int command) {
  auto w = qwin::findWindow(window);
  if (!w) return FALSE;
  std::lock_guard<std::mutex> lock(qwin::windowMutex());
  const BOOL wasVisible = w->visible;
  w->visible = command != SW_HIDE;
  return wasVisible;
}

BOOL IsWindowVisible(HWND window) {
  // Visible means shown together with every window above it.
  std::lock_guard<std::mutex> lock(qwin::windowMutex());
  auto& windows = qwin::table().windows;
  auto it = windows.find(reinterpret_cast<uintptr_t>(window));
  if (it == windows.end()) return FALSE;
  for (int depth = 0; depth < 64; ++depth) {
    const qwin::Window& w = *it->second;
    if (!w.visible) return FALSE;
    if (w.kind != qwin::WindowKind::Control || w.parent == nullptr) return TRUE;
    it = windows.find(reinterpret_cast<uintptr_t>(w.parent));
    if (it == windows.end()) return TRUE;
  }
  return TRUE;
}

}  // extern "C"

namespace plat {

HWND createMessageWindow(WNDPROC proc, void* userData) {
  return qwinCreateMessageWindow(proc, userData);
}
void* windowData(HWND window) { return qwinGetWindowData(window); }

}  // namespace plat
