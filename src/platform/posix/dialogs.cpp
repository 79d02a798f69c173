// The headless dialog manager, message boxes and the folder dialog.
//
// Dialogs come from the resource table of a resource module. A modal dialog
// is created with its controls, gets WM_INITDIALOG, then the posted
// messages are delivered and the test's dialog driver (if any) plays the
// user; a dialog the driver leaves running ends with IDCANCEL. Nothing is
// ever drawn or waited for.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "codepage.h"
#include "errors.h"
#include "machine.h"
#include "modules.h"
#include "platform.h"
#include "windows.h"

namespace qwin {

namespace {

struct Interaction {
  std::mutex mutex;
  QwinMessageBoxHook messageBoxHook = nullptr;
  void* messageBoxUser = nullptr;
  std::string lastText, lastCaption;
  int messageBoxes = 0;
  QwinFolderDialogHook folderHook = nullptr;
  void* folderUser = nullptr;
  QwinDialogDriver driver = nullptr;
  void* driverUser = nullptr;
};

Interaction& interaction() {
  static auto* i = new Interaction;
  return *i;
}

// The template named by an integer resource (MAKEINTRESOURCE) or "#id".
const QwinDialogTemplate* findTemplate(HINSTANCE resources, LPCSTR name, int* id) {
  const uintptr_t value = reinterpret_cast<uintptr_t>(name);
  if (value == 0) return nullptr;
  if (value <= 0xFFFF) {
    *id = static_cast<int>(value);
  } else if (name[0] == '#') {
    *id = std::atoi(name + 1);
  } else {
    return nullptr;  // the resource tables only hold numbered dialogs
  }
  const QwinResourceTable* table = resourceTableOf(resources);
  if (table == nullptr || table->dialogs == nullptr) return nullptr;
  for (int i = 0; i < table->dialogCount; ++i)
    if (static_cast<int>(table->dialogs[i].id) == *id) return &table->dialogs[i];
  return nullptr;
}

// Dialog units of the templates in pixels, for the 8-point dialog font
// (6 x 13 pixels per average character: 4 units across, 8 down).
int pixelsAcross(int units) { return units * 6 / 4; }
int pixelsDown(int units) { return units * 13 / 8; }

// A control is shown unless its style says otherwise. Templates that carry
// only the class bits (no WS_CHILD) get the resource compiler's default of
// a visible child.
bool controlVisible(uint32_t style) {
  return (style & kWsChild) ? (style & kWsVisible) != 0 : true;
}

HWND createFromTemplate(const QwinDialogTemplate& t, int id, HWND owner, DLGPROC proc, bool modal,
                        LPARAM param) {
  auto dialog = std::make_shared<Window>();
  dialog->kind = WindowKind::Dialog;
  dialog->dialogProc = proc;
  dialog->user = reinterpret_cast<void*>(param);
  dialog->parent = owner;
  dialog->text = t.caption ? t.caption : "";
  dialog->style = t.style;
  dialog->modal = modal;
  dialog->templateId = id;
  dialog->visible = modal || (t.style & kWsVisible) != 0;
  dialog->enabled = (t.style & kWsDisabled) == 0;
  dialog->left = pixelsAcross(t.x);
  dialog->top = pixelsDown(t.y);
  dialog->width = pixelsAcross(t.width);
  dialog->height = pixelsDown(t.height);
  HWND handle = addWindow(dialog);
  std::vector<HWND> controls;
  for (int i = 0; t.controls != nullptr && i < t.controlCount; ++i) {
    const QwinControlTemplate& c = t.controls[i];
    auto control = std::make_shared<Window>();
    control->kind = WindowKind::Control;
    control->parent = handle;
    control->id = c.id;
    control->className = upperString(c.className ? c.className : "");
    control->text = c.text ? c.text : "";
    control->style = c.style;
    control->visible = controlVisible(c.style);
    control->enabled = (c.style & kWsDisabled) == 0;
    control->left = pixelsAcross(c.x);
    control->top = pixelsDown(c.y);
    control->width = pixelsAcross(c.width);
    control->height = pixelsDown(c.height);
    controls.push_back(addWindow(std::move(control)));
  }
  std::lock_guard<std::mutex> lock(windowMutex());
  dialog->controls = std::move(controls);
  return handle;
}

HWND firstControl(const std::shared_ptr<Window>& dialog) {
  std::lock_guard<std::mutex> lock(windowMutex());
  return dialog->controls.empty() ? nullptr : dialog->controls.front();
}

bool hasEnded(const std::shared_ptr<Window>& dialog) {
  std::lock_guard<std::mutex> lock(windowMutex());
  return dialog->ended;
}

}  // namespace

void resetInteractionHooks() {
  Interaction& i = interaction();
  std::lock_guard<std::mutex> lock(i.mutex);
  i.messageBoxHook = nullptr;
  i.messageBoxUser = nullptr;
  i.lastText.clear();
  i.lastCaption.clear();
  i.messageBoxes = 0;
  i.folderHook = nullptr;
  i.folderUser = nullptr;
  i.driver = nullptr;
  i.driverUser = nullptr;
}

}  // namespace qwin

extern "C" {

INT_PTR DialogBoxParamA(HINSTANCE resources, LPCSTR templateName, HWND parent, DLGPROC proc,
                        LPARAM param) {
  int id = 0;
  const QwinDialogTemplate* t = qwin::findTemplate(resources, templateName, &id);
  if (t == nullptr) return qwin::fail(qwin::kErrResourceDataNotFound), -1;
  // The owner is disabled while the modal dialog runs.
  HWND owner = IsWindow(parent) ? parent : nullptr;
  const bool reenableOwner = owner != nullptr && !EnableWindow(owner, FALSE);
  HWND handle = qwin::createFromTemplate(*t, id, owner, proc, true, param);
  std::shared_ptr<qwin::Window> dialog = qwin::findWindow(handle);
  qwin::dispatch(handle, WM_INITDIALOG, reinterpret_cast<WPARAM>(qwin::firstControl(dialog)),
                 param);
  if (!qwin::hasEnded(dialog)) qwinPumpMessages();
  QwinDialogDriver driver = nullptr;
  void* driverUser = nullptr;
  {
    qwin::Interaction& i = qwin::interaction();
    std::lock_guard<std::mutex> lock(i.mutex);
    driver = i.driver;
    driverUser = i.driverUser;
  }
  if (driver != nullptr && !qwin::hasEnded(dialog) && IsWindow(handle))
    driver(handle, id, driverUser);
  INT_PTR result = IDCANCEL;
  {
    std::lock_guard<std::mutex> lock(qwin::windowMutex());
    if (dialog->ended) result = dialog->result;
  }
  if (IsWindow(handle)) DestroyWindow(handle);
  if (reenableOwner && IsWindow(owner)) EnableWindow(owner, TRUE);
  return result;
}

HWND CreateDialogParamA(HINSTANCE resources, LPCSTR templateName, HWND parent, DLGPROC proc,
                        LPARAM param) {
  int id = 0;
  const QwinDialogTemplate* t = qwin::findTemplate(resources, templateName, &id);
  if (t == nullptr) return qwin::fail(qwin::kErrResourceDataNotFound), nullptr;
  HWND owner = IsWindow(parent) ? parent : nullptr;
  HWND handle = qwin::createFromTemplate(*t, id, owner, proc, false, param);
  std::shared_ptr<qwin::Window> dialog = qwin::findWindow(handle);
  qwin::dispatch(handle, WM_INITDIALOG, reinterpret_cast<WPARAM>(qwin::firstControl(dialog)),
                 param);
  return handle;
}

BOOL EndDialog(HWND dialog, INT_PTR result) {
  auto w = qwin::findWindow(dialog);
  if (!w) return FALSE;
  std::lock_guard<std::mutex> lock(qwin::windowMutex());
  w->ended = true;
  w->result = result;
  // A modeless dialog is only hidden; it lives until DestroyWindow.
  if (!w->modal) w->visible = false;
  return TRUE;
}

HWND GetDlgItem(HWND dialog, int id) {
  auto w = qwin::findWindow(dialog);
  if (!w) return nullptr;
  std::vector<HWND> controls;
  {
    std::lock_guard<std::mutex> lock(qwin::windowMutex());
    controls = w->controls;
  }
  for (HWND handle : controls) {
    auto control = qwin::findWindow(handle);
    if (control && control->id == id) return handle;
  }
  return qwin::fail(qwin::kErrControlIdNotFound), nullptr;
}

int GetDlgCtrlID(HWND control) {
  auto w = qwin::findWindow(control);
  if (!w || w->kind != qwin::WindowKind::Control) return 0;
  return w->id;
}

BOOL SetDlgItemTextA(HWND dialog, int id, LPCSTR text) {
  HWND item = GetDlgItem(dialog, id);
  return item ? SetWindowTextA(item, text) : FALSE;
}

UINT GetDlgItemTextA(HWND dialog, int id, LPSTR text, int size) {
  if (text != nullptr && size > 0) text[0] = '\0';
  HWND item = GetDlgItem(dialog, id);
  return item ? static_cast<UINT>(GetWindowTextA(item, text, size)) : 0;
}

LRESULT SendDlgItemMessageA(HWND dialog, int id, UINT message, WPARAM wParam, LPARAM lParam) {
  HWND item = GetDlgItem(dialog, id);
  return item ? SendMessageA(item, message, wParam, lParam) : 0;
}

BOOL CheckDlgButton(HWND dialog, int id, UINT check) {
  HWND item = GetDlgItem(dialog, id);
  if (item == nullptr) return FALSE;
  SendMessageA(item, BM_SETCHECK, check, 0);
  return TRUE;
}

UINT IsDlgButtonChecked(HWND dialog, int id) {
  return static_cast<UINT>(SendDlgItemMessageA(dialog, id, BM_GETCHECK, 0, 0));
}

int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
  QwinMessageBoxHook hook = nullptr;
  void* user = nullptr;
  {
    qwin::Interaction& i = qwin::interaction();
    std::lock_guard<std::mutex> lock(i.mutex);
    i.lastText = text ? text : "";
    i.lastCaption = caption ? caption : "Error";  // the caption Windows uses for null
    ++i.messageBoxes;
    hook = i.messageBoxHook;
    user = i.messageBoxUser;
  }
  if (hook != nullptr) return hook(owner, text, caption, type, user);
  switch (type & 0xF) {
    case MB_OK:
      return IDOK;
    case MB_YESNO:
    case MB_YESNOCANCEL:
      return IDNO;
    default:
      return IDCANCEL;
  }
}

void qwinTestSetMessageBoxHook(QwinMessageBoxHook hook, void* user) {
  qwin::Interaction& i = qwin::interaction();
  std::lock_guard<std::mutex> lock(i.mutex);
  i.messageBoxHook = hook;
  i.messageBoxUser = user;
}

// Returns how many message boxes were shown since the machine was reset.
int qwinTestLastMessageBox(LPSTR text, int textSize, LPSTR caption, int captionSize) {
  qwin::Interaction& i = qwin::interaction();
  std::lock_guard<std::mutex> lock(i.mutex);
  if (text != nullptr && textSize > 0) std::snprintf(text, textSize, "%s", i.lastText.c_str());
  if (caption != nullptr && captionSize > 0)
    std::snprintf(caption, captionSize, "%s", i.lastCaption.c_str());
  return i.messageBoxes;
}

void qwinTestSetFolderDialogHook(QwinFolderDialogHook hook, void* user) {
  qwin::Interaction& i = qwin::interaction();
  std::lock_guard<std::mutex> lock(i.mutex);
  i.folderHook = hook;
  i.folderUser = user;
}

void qwinTestSetDialogDriver(QwinDialogDriver driver, void* user) {
  qwin::Interaction& i = qwin::interaction();
  std::lock_guard<std::mutex> lock(i.mutex);
  i.driver = driver;
  i.driverUser = user;
}

}  // extern "C"

namespace plat {

bool browseForFolder(HWND owner, const char* title, char* path) {
  if (path == nullptr) return qwin::fail(kErrInvalidParameter);
  QwinFolderDialogHook hook = nullptr;
  void* user = nullptr;
  {
    qwin::Interaction& i = qwin::interaction();
    std::lock_guard<std::mutex> lock(i.mutex);
    hook = i.folderHook;
    user = i.folderUser;
  }
  return hook != nullptr && hook(owner, title, path, user) != FALSE;
}

}  // namespace plat
