// afm3GetAbmInfoPages: the information dialog's pages as lines of text,
// filled by the same code as the dialog's pages.
#include <string>

#include "afm3_info.h"
#include "core/caller_path.h"
#include "core/error_mode.h"
#include "core/library_state.h"
#include "platform.h"
#include "ui/info_pages.h"
#include "ui/info_session.h"

namespace afm3::ui {

namespace {

constexpr int kMainTemplate = 6200;
constexpr int kFieldsTemplate = 6202;
constexpr UINT kWmInitDialog = 0x0110;

INT_PTR CALLBACK quietDialog(HWND, UINT message, WPARAM, LPARAM) {
  return message == kWmInitDialog ? TRUE : FALSE;
}

// The text of control 6018 in the Fields page's template: a format with
// "%d". The page is made, hidden, inside a hidden main dialog, read and
// destroyed again.
std::string fieldCountFormat() {
  std::string format = "%d";
  plat::initCommonControls();
  const HMODULE resources = libraryState().resources;
  const HWND main = plat::createDialog(resources, kMainTemplate, nullptr, quietDialog, 0);
  if (main == nullptr) return format;
  const HWND page = plat::createDialog(resources, kFieldsTemplate, main, quietDialog, 0);
  char text[256] = {};
  if (page != nullptr && plat::dialogItemText(page, kCtlFieldCount, text, sizeof text) > 0)
    format = text;
  plat::destroyWindow(main);
  return format;
}

// Tabs and line breaks would break the line format.
std::string oneLine(std::string text) {
  for (char& c : text)
    if (c == '\t' || c == '\r' || c == '\n') c = ' ';
  return text;
}

void appendPage(std::string* out, uint32_t titleMessage, const std::vector<ControlText>& texts) {
  const std::string title = message(titleMessage);
  for (const ControlText& t : texts)
    *out += title + "\t" + std::to_string(t.control) + "\t" + oneLine(t.text) + "\n";
}

std::string pagesText(const InfoAlbum& album) {
  const InfoPages pages = buildInfoPages(album, fieldCountFormat(), libraryState().locale);
  std::string out;
  appendPage(&out, kMsgTabGeneral, pages.general);
  if (pages.hasFields) {
    const std::string title = message(kMsgTabFields);
    for (const FieldRow& row : pages.fields)
      out += title + "\t" + std::to_string(kCtlFieldList) + "\t" + oneLine(row.name) + "\t" +
             oneLine(row.type) + "\n";
    appendPage(&out, kMsgTabFields, {{kCtlFieldCount, pages.fieldCount}});
  }
  appendPage(&out, kMsgTabStatistics, pages.statistics);
  return out;
}

}  // namespace

}  // namespace afm3::ui

extern "C" DWORD WINAPI afm3GetAbmInfoPages(LPCSTR path, LPSTR buffer, DWORD size, DWORD* needed) {
  using namespace afm3;
  ErrorModeGuard errorMode;
  const CallerPath albumPath(path);
  ui::InfoSession session;
  if (!session.load(albumPath.get(), nullptr)) return 0;
  const std::string text = ui::pagesText(session.album());
  if (needed != nullptr) *needed = static_cast<DWORD>(text.size() + 1);
  if (buffer != nullptr && size > 0) {
    const bool fits = text.size() < size;
    buffer[0] = '\0';
    if (fits) text.copy(buffer, text.size()), buffer[text.size()] = '\0';
  }
  return session.album().version;
}
