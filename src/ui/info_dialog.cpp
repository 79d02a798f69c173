// afm3ShowAbmInfo and its dialog: a resizable modal dialog (template 6200)
// with a tab control over three child pages (6201 General, 6202 Fields,
// 6203 Statistics); version-3 albums alone have the Fields page, so for
// the others the second tab shows Statistics.
//
// One dialog runs at a time: the exported procedures share the state
// below, set up by afm3ShowAbmInfo for the time the dialog runs.
#include <cstring>

#include "afm3.h"
#include "afm3_info.h"
#include "core/album_header.h"
#include "core/caller_path.h"
#include "core/error_mode.h"
#include "core/library_state.h"
#include "platform.h"
#include "q32comm.h"
#include "ui/info_pages.h"
#include "ui/info_session.h"

namespace afm3::ui {

namespace {

// Window messages and codes the procedures answer (Windows' numbers).
enum : UINT {
  kWmSize = 0x0005,
  kWmPaint = 0x000F,
  kWmGetMinMaxInfo = 0x0024,
  kWmHelp = 0x0053,
  kWmNotify = 0x004E,
  kWmNcHitTest = 0x0084,
  kWmInitDialog = 0x0110,
  kWmCommand = 0x0111,
};
constexpr LRESULT kHitBottomRight = 17;  // HTBOTTOMRIGHT
constexpr UINT kHelpContext = 1;         // HELP_CONTEXT
constexpr DWORD kHelpTopic = 300;
constexpr int kIdOk = 1;
constexpr int kIdCancel = 2;
constexpr int kMainTemplate = 6200;
constexpr int kPageCount = 3;
constexpr int kFieldsPage = 1;

struct PageSize {
  int width = 0, height = 0;
};

struct DialogState {
  const InfoAlbum* album = nullptr;
  HWND dialog = nullptr;
  HWND pages[kPageCount] = {};
  int current = 0;      // page index shown
  PageSize dialogSize;  // client size at the last WM_SIZE
  PageSize minimum;     // the initial window size
  PageSize pageSizes[kPageCount];
};

DialogState& state() {
  static DialogState s;
  return s;
}

bool hasFieldsPage() { return state().album != nullptr && state().album->version == kVersion3; }

// The page a tab shows: without the Fields page the second tab is
// Statistics.
int pageOfTab(int tab) { return (!hasFieldsPage() && tab >= kFieldsPage) ? tab + 1 : tab; }

// Moves a control by (dx, dy) and grows it by (dw, dh).
void adjust(HWND parent, int id, int dx, int dy, int dw, int dh) {
  const HWND control = plat::dialogItem(parent, id);
  plat::Rect r;
  if (control == nullptr || !plat::windowPlacement(control, &r)) return;
  plat::placeWindow(control, {r.left + dx, r.top + dy, r.right + dx + dw, r.bottom + dy + dh});
}

// The change since the last size of a window, which becomes the new one.
bool sizeChange(PageSize* last, LPARAM lParam, int* dx, int* dy) {
  const int width = LOWORD(lParam), height = HIWORD(lParam);
  const bool known = last->width != 0 || last->height != 0;
  *dx = width - last->width;
  *dy = height - last->height;
  *last = {width, height};
  return known && (*dx != 0 || *dy != 0);
}

void rememberSize(HWND window, PageSize* size) {
  plat::Rect client;
  if (plat::clientArea(window, &client)) *size = {client.width(), client.height()};
}

void setTexts(HWND page, const std::vector<ControlText>& texts) {
  for (const ControlText& t : texts) plat::setDialogItemText(page, t.control, t.text.c_str());
}

void showHelp(HWND dialog) {
  char path[kPathSize];
  helpPath(path, sizeof path);
  q32MyWinHelp(dialog, path, kHelpContext, kHelpTopic);
  libraryState().helpShown = true;
}

void showPage(int page) {
  DialogState& s = state();
  if (page < 0 || page >= kPageCount || s.pages[page] == nullptr) return;
  if (s.pages[s.current] != nullptr && s.current != page)
    plat::showWindow(s.pages[s.current], false);
  plat::showOnTop(s.pages[page]);
  s.current = page;
}

DLGPROC pageProcedure(int page);

void initMainDialog(HWND dialog) {
  DialogState& s = state();
  s.dialog = dialog;
  const HWND tab = plat::dialogItem(dialog, kCtlTab);
  for (int i = 0; i < kPageCount; ++i)
    plat::tabAddItem(tab, i, message(kMsgTabGeneral + i).c_str());
  plat::Rect area;
  plat::tabDisplayArea(tab, &area);
  for (int i = 0; i < kPageCount; ++i) {
    if (i == kFieldsPage && !hasFieldsPage()) continue;
    s.pages[i] = plat::createDialog(libraryState().resources, kMainTemplate + 1 + i, dialog,
                                    pageProcedure(i), 0);
    if (s.pages[i] == nullptr) continue;
    plat::placeWindow(s.pages[i], area);
    plat::showWindow(s.pages[i], false);
  }
  if (!hasFieldsPage()) plat::tabRemoveItem(tab, kFieldsPage);
  s.current = 0;
  showPage(0);
  plat::Rect outer;
  plat::windowPlacement(dialog, &outer);
  s.minimum = {outer.width(), outer.height()};
  rememberSize(dialog, &s.dialogSize);
  plat::focusWindow(plat::dialogItem(dialog, kIdOk));
}

void resizeMainDialog(HWND dialog, LPARAM lParam) {
  DialogState& s = state();
  int dx = 0, dy = 0;
  if (!sizeChange(&s.dialogSize, lParam, &dx, &dy)) return;
  adjust(dialog, kCtlTab, 0, 0, dx, dy);
  for (HWND page : s.pages) {
    plat::Rect r;
    if (page != nullptr && plat::windowPlacement(page, &r))
      plat::placeWindow(page, {r.left, r.top, r.right + dx, r.bottom + dy});
  }
  adjust(dialog, kIdOk, dx, dy, 0, 0);
  adjust(dialog, kCtlHelp, dx, dy, 0, 0);
}

void fillFieldsPage(HWND page) {
  const HWND list = plat::dialogItem(page, kCtlFieldList);
  plat::Rect r;
  plat::clientArea(list, &r);
  const int nameWidth = r.width() * 3 / 5;
  plat::listAddColumn(list, 0, message(kMsgFieldNameColumn).c_str(), nameWidth);
  plat::listAddColumn(list, 1, message(kMsgFieldTypeColumn).c_str(), r.width() - nameWidth);
  const std::vector<FieldRow> rows = fieldRows(*state().album);
  for (size_t i = 0; i < rows.size(); ++i) {
    const int row = plat::listAddRow(list, static_cast<int>(i), rows[i].name.c_str());
    plat::listSetCell(list, row, 1, rows[i].type.c_str());
  }
  char format[256] = {};
  plat::dialogItemText(page, kCtlFieldCount, format, sizeof format);
  plat::setDialogItemText(page, kCtlFieldCount, withCount(format, rows.size()).c_str());
}

void initPage(HWND page, int index) {
  DialogState& s = state();
  rememberSize(page, &s.pageSizes[index]);
  if (s.album == nullptr) return;
  if (index == 0) setTexts(page, generalPage(*s.album));
  if (index == kFieldsPage) fillFieldsPage(page);
  if (index == 2) setTexts(page, statisticsPage(*s.album, libraryState().locale));
}

void resizePage(HWND page, int index, LPARAM lParam) {
  int dx = 0, dy = 0;
  if (!sizeChange(&state().pageSizes[index], lParam, &dx, &dy)) return;
  switch (index) {
    case 0:
      adjust(page, kCtlTitle, 0, 0, dx, 0);
      adjust(page, kCtlDescription, 0, 0, dx, dy);
      adjust(page, kCtlMarkFile, 0, dy, dx, 0);
      adjust(page, kCtlMarkLabel, 0, dy, 0, 0);
      break;
    case kFieldsPage:
      adjust(page, kCtlFieldList, 0, 0, dx, dy);
      adjust(page, kCtlFieldCount, 0, dy, dx, 0);  // stays below the list
      break;
    default:
      adjust(page, kCtlThumbGroup, 0, 0, dx, 0);
      adjust(page, kCtlFileGroup, 0, 0, dx, 0);
      adjust(page, kCtlPath, 0, 0, dx, 0);
      break;
  }
}

INT_PTR pageMessage(int index, HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case kWmInitDialog:
      initPage(page, index);
      return TRUE;
    case kWmSize:
      resizePage(page, index, lParam);
      return TRUE;
    case kWmCommand:
      if (LOWORD(wParam) == kIdCancel && state().dialog != nullptr) {
        plat::sendMessage(state().dialog, kWmCommand, wParam, lParam);
        return TRUE;
      }
      return FALSE;
    default:
      return FALSE;
  }
}

INT_PTR mainMessage(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  DialogState& s = state();
  switch (message) {
    case kWmInitDialog:
      initMainDialog(dialog);
      return FALSE;  // the focus is set
    case kWmNotify: {
      HWND from = nullptr;
      if (plat::notificationCode(lParam, &from) != plat::kTabSelectionChanged ||
          from != plat::dialogItem(dialog, kCtlTab))
        return FALSE;
      showPage(pageOfTab(plat::tabSelection(from)));
      return TRUE;
    }
    case kWmSize:
      resizeMainDialog(dialog, lParam);
      return TRUE;
    case kWmGetMinMaxInfo:
      if (s.minimum.width == 0) return FALSE;
      plat::setMinimumTrackSize(lParam, s.minimum.width, s.minimum.height);
      return TRUE;
    case kWmNcHitTest:
      if (!plat::pointInSizeGrip(dialog, lParam)) return FALSE;
      plat::setDialogResult(dialog, kHitBottomRight);
      return TRUE;
    case kWmPaint:
      plat::paintSizeGrip(dialog);
      return TRUE;
    case kWmHelp:
      showHelp(dialog);
      return TRUE;
    case kWmCommand:
      switch (LOWORD(wParam)) {
        case kIdOk:
        case kIdCancel:
          plat::endDialog(dialog, 1);
          return TRUE;
        case kCtlHelp:
          showHelp(dialog);
          return TRUE;
        default:
          return FALSE;
      }
    default:
      return FALSE;
  }
}

}  // namespace

// Runs the dialog over album; what the procedures keep lives until it ends.
void runInfoDialog(HWND parent, const InfoAlbum& album) {
  state() = DialogState{};
  state().album = &album;
  plat::initCommonControls();
  plat::dialogBox(libraryState().resources, kMainTemplate, parent, ShowAbmInfoDlgProc, 0);
  state() = DialogState{};
}

}  // namespace afm3::ui

extern "C" {

DWORD WINAPI afm3ShowAbmInfo(DWORD, HWND parent, LPCSTR path, const void* opened) {
  using namespace afm3;
  ErrorModeGuard errorMode;
  const CallerPath albumPath(path);
  ui::InfoSession session;
  if (!session.load(albumPath.get(), static_cast<const AFM3_OPENED_ALBUM*>(opened))) return 0;
  ui::runInfoDialog(parent, session.album());
  return session.album().version;
}

INT_PTR CALLBACK ShowAbmInfoDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  return afm3::ui::mainMessage(dialog, message, wParam, lParam);
}

INT_PTR CALLBACK ShowAbmInfoTab1DlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  return afm3::ui::pageMessage(0, dialog, message, wParam, lParam);
}

INT_PTR CALLBACK ShowAbmInfoTab2DlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  return afm3::ui::pageMessage(1, dialog, message, wParam, lParam);
}

INT_PTR CALLBACK ShowAbmInfoTab3DlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  return afm3::ui::pageMessage(2, dialog, message, wParam, lParam);
}

}  // extern "C"

namespace afm3::ui {
namespace {

DLGPROC pageProcedure(int page) {
  static const DLGPROC procedures[kPageCount] = {ShowAbmInfoTab1DlgProc, ShowAbmInfoTab2DlgProc,
                                                 ShowAbmInfoTab3DlgProc};
  return procedures[page];
}

}  // namespace
}  // namespace afm3::ui
