// The built-in control classes of the headless dialog manager: buttons
// (check state, clicks), edit and static text, list boxes and combo boxes
// (their string lists), with the Windows message numbers.
#include <cstring>

#include "codepage.h"
#include "errors.h"
#include "windows.h"

namespace qwin {

namespace {

enum : UINT {
  kBmClick = 0x00F5,
  kEnChange = 0x0300,
};
constexpr LRESULT kListError = -1;  // LB_ERR and CB_ERR

enum : uint32_t {
  kLbsSort = 0x0002,
  kCbsSort = 0x0100,
  kCbsDropDownList = 0x0003,
};

enum class ListOp {
  None,
  Add,
  Insert,
  Delete,
  Reset,
  SetSelection,
  GetSelection,
  GetText,
  GetTextLength,
  Count,
  FindPrefix,
  FindExact,
  GetData,
  SetData
};

ListOp listBoxOp(UINT message) {
  switch (message) {
    case 0x0180:
      return ListOp::Add;  // LB_ADDSTRING
    case 0x0181:
      return ListOp::Insert;  // LB_INSERTSTRING
    case 0x0182:
      return ListOp::Delete;  // LB_DELETESTRING
    case 0x0184:
      return ListOp::Reset;  // LB_RESETCONTENT
    case 0x0186:
      return ListOp::SetSelection;  // LB_SETCURSEL
    case 0x0188:
      return ListOp::GetSelection;  // LB_GETCURSEL
    case 0x0189:
      return ListOp::GetText;  // LB_GETTEXT
    case 0x018A:
      return ListOp::GetTextLength;  // LB_GETTEXTLEN
    case 0x018B:
      return ListOp::Count;  // LB_GETCOUNT
    case 0x018F:
      return ListOp::FindPrefix;  // LB_FINDSTRING
    case 0x0199:
      return ListOp::GetData;  // LB_GETITEMDATA
    case 0x019A:
      return ListOp::SetData;  // LB_SETITEMDATA
    case 0x01A2:
      return ListOp::FindExact;  // LB_FINDSTRINGEXACT
    default:
      return ListOp::None;
  }
}

ListOp comboBoxOp(UINT message) {
  switch (message) {
    case 0x0143:
      return ListOp::Add;  // CB_ADDSTRING
    case 0x0144:
      return ListOp::Delete;  // CB_DELETESTRING
    case 0x0146:
      return ListOp::Count;  // CB_GETCOUNT
    case 0x0147:
      return ListOp::GetSelection;  // CB_GETCURSEL
    case 0x0148:
      return ListOp::GetText;  // CB_GETLBTEXT
    case 0x0149:
      return ListOp::GetTextLength;  // CB_GETLBTEXTLEN
    case 0x014A:
      return ListOp::Insert;  // CB_INSERTSTRING
    case 0x014B:
      return ListOp::Reset;  // CB_RESETCONTENT
    case 0x014C:
      return ListOp::FindPrefix;  // CB_FINDSTRING
    case 0x014E:
      return ListOp::SetSelection;  // CB_SETCURSEL
    case 0x0150:
      return ListOp::GetData;  // CB_GETITEMDATA
    case 0x0151:
      return ListOp::SetData;  // CB_SETITEMDATA
    case 0x0158:
      return ListOp::FindExact;  // CB_FINDSTRINGEXACT
    default:
      return ListOp::None;
  }
}

bool validIndex(const Window& w, WPARAM index) { return index < w.items.size(); }

LRESULT insertItem(Window& w, size_t at, const char* text) {
  w.items.insert(w.items.begin() + static_cast<ptrdiff_t>(at), text ? text : "");
  w.itemData.insert(w.itemData.begin() + static_cast<ptrdiff_t>(at), 0);
  if (w.selection >= static_cast<int>(at)) ++w.selection;
  return static_cast<LRESULT>(at);
}

// Searches after index start, wrapping round, as LB_FINDSTRING does.
LRESULT findItem(const Window& w, WPARAM start, const char* text, bool exact) {
  if (text == nullptr || w.items.empty()) return kListError;
  const size_t count = w.items.size();
  const size_t first = validIndex(w, start) ? start + 1 : 0;
  const size_t textLength = std::strlen(text);
  for (size_t i = 0; i < count; ++i) {
    const size_t index = (first + i) % count;
    const std::string& item = w.items[index];
    const std::string compared = exact ? item : item.substr(0, textLength);
    if ((!exact || item.size() == textLength) && equalFolded(compared, text))
      return static_cast<LRESULT>(index);
  }
  return kListError;
}

LRESULT listMessage(Window& w, ListOp op, WPARAM wParam, LPARAM lParam, bool combo) {
  const LRESULT err = kListError;
  const char* text = reinterpret_cast<const char*>(lParam);
  switch (op) {
    case ListOp::Add: {
      size_t at = w.items.size();
      if (w.style & (combo ? kCbsSort : kLbsSort)) {
        at = 0;
        while (at < w.items.size() && compareFolded(w.items[at].c_str(), text ? text : "") <= 0)
          ++at;
      }
      return insertItem(w, at, text);
    }
    case ListOp::Insert: {
      const size_t at = static_cast<int>(wParam) == -1 ? w.items.size() : wParam;
      if (at > w.items.size()) return err;
      return insertItem(w, at, text);
    }
    case ListOp::Delete:
      if (!validIndex(w, wParam)) return err;
      w.items.erase(w.items.begin() + static_cast<ptrdiff_t>(wParam));
      w.itemData.erase(w.itemData.begin() + static_cast<ptrdiff_t>(wParam));
      if (w.selection == static_cast<int>(wParam)) {
        w.selection = -1;
      } else if (w.selection > static_cast<int>(wParam)) {
        --w.selection;
      }
      return static_cast<LRESULT>(w.items.size());
    case ListOp::Reset:
      w.items.clear();
      w.itemData.clear();
      w.selection = -1;
      if (combo) w.text.clear();
      return 0;
    case ListOp::SetSelection:
      // Clearing the selection (index -1) also answers LB_ERR.
      if (!validIndex(w, wParam)) {
        w.selection = -1;
        if (combo) w.text.clear();
        return err;
      }
      w.selection = static_cast<int>(wParam);
      if (combo) w.text = w.items[wParam];
      return static_cast<LRESULT>(wParam);
    case ListOp::GetSelection:
      return w.selection >= 0 ? w.selection : err;
    case ListOp::GetText: {
      // The buffer must hold the whole item, as with the real controls.
      if (!validIndex(w, wParam) || lParam == 0) return err;
      const std::string& item = w.items[wParam];
      std::memcpy(reinterpret_cast<char*>(lParam), item.c_str(), item.size() + 1);
      return static_cast<LRESULT>(item.size());
    }
    case ListOp::GetTextLength:
      return validIndex(w, wParam) ? static_cast<LRESULT>(w.items[wParam].size()) : err;
    case ListOp::Count:
      return static_cast<LRESULT>(w.items.size());
    case ListOp::FindPrefix:
      return findItem(w, wParam, text, false);
    case ListOp::FindExact:
      return findItem(w, wParam, text, true);
    case ListOp::GetData:
      return validIndex(w, wParam) ? w.itemData[wParam] : err;
    case ListOp::SetData:
      if (!validIndex(w, wParam)) return err;
      w.itemData[wParam] = lParam;
      return 0;
    case ListOp::None:
      break;
  }
  return 0;
}

bool isAutoRadio(const Window& w) { return w.className == "BUTTON" && (w.style & 0xF) == 9; }

// A click on a button: automatic check boxes and radio buttons change
// state, then the dialog hears BN_CLICKED.
void click(const std::shared_ptr<Window>& button) {
  HWND parent = nullptr;
  int id = 0;
  {
    std::lock_guard<std::mutex> lock(windowMutex());
    if (!button->enabled) return;
    const uint32_t type = button->style & 0xF;
    if (type == 3) {  // BS_AUTOCHECKBOX
      button->check = button->check == BST_CHECKED ? BST_UNCHECKED : BST_CHECKED;
    } else if (type == 6) {  // BS_AUTO3STATE
      button->check = (button->check + 1) % 3;
    }
    parent = button->parent;
    id = button->id;
  }
  if (isAutoRadio(*button) && parent != nullptr) {
    // The radio buttons of one group: from a WS_GROUP control to the next.
    std::shared_ptr<Window> dialog = findWindow(parent);
    if (dialog) {
      std::vector<std::shared_ptr<Window>> group;
      bool inGroup = false;
      for (HWND handle : dialog->controls) {
        auto control = findWindow(handle);
        if (!control) continue;
        std::lock_guard<std::mutex> lock(windowMutex());
        if (control->style & kWsGroup) {
          if (inGroup) break;
          group.clear();
        }
        group.push_back(control);
        if (control == button) inGroup = true;
      }
      std::lock_guard<std::mutex> lock(windowMutex());
      for (auto& member : group)
        if (isAutoRadio(*member)) member->check = member == button ? BST_CHECKED : BST_UNCHECKED;
    }
  }
  if (parent != nullptr)
    dispatch(parent, WM_COMMAND, static_cast<WPARAM>(MAKELONG(id, BN_CLICKED)),
             reinterpret_cast<LPARAM>(button->handle));
}

}  // namespace

LRESULT controlMessage(const std::shared_ptr<Window>& control, UINT message, WPARAM wParam,
                       LPARAM lParam) {
  if (message == kBmClick) {
    if (control->className == "BUTTON") click(control);
    return 0;
  }
  HWND notifyParent = nullptr;
  int id = 0;
  LRESULT result = 0;
  {
    std::lock_guard<std::mutex> lock(windowMutex());
    Window& w = *control;
    const bool combo = w.className == "COMBOBOX";
    const ListOp op = combo ? comboBoxOp(message)
                            : (w.className == "LISTBOX" ? listBoxOp(message) : ListOp::None);
    if (op != ListOp::None) return listMessage(w, op, wParam, lParam, combo);
    switch (message) {
      case BM_GETCHECK:
        return w.className == "BUTTON" ? w.check : 0;
      case BM_SETCHECK:
        if (w.className == "BUTTON") w.check = static_cast<int>(wParam);
        return 0;
      case WM_SETTEXT:
        textMessage(w, message, wParam, lParam, &result);
        if (w.className == "EDIT") {
          notifyParent = w.parent;
          id = w.id;
        }
        break;
      default:
        if (!textMessage(w, message, wParam, lParam, &result)) return 0;
        return result;
    }
  }
  // An edit control tells its dialog that its text changed.
  if (notifyParent != nullptr)
    dispatch(notifyParent, WM_COMMAND, static_cast<WPARAM>(MAKELONG(id, kEnChange)),
             reinterpret_cast<LPARAM>(control->handle));
  return result;
}

}  // namespace qwin
