// Exported functions whose album operations are not part of this build yet.
// Each reports that plainly and returns its failure value.
#include <cstdio>

#include "afm3.h"
#include "core/error_report.h"

namespace {

void reportNotAvailable(const char* function) {
  char text[128];
  std::snprintf(text, sizeof text, "%s is not available in this version of the library.", function);
  afm3::reportError(0, text, 0, 0, 0, false);
}

}  // namespace

extern "C" {

int WINAPI afm3ChangeScheme(HINSTANCE, HANDLE*, DWORD, BYTE*) {
  reportNotAvailable("afm3ChangeScheme");
  return 0;
}

DWORD WINAPI afm3ShowAbmInfo(DWORD, HWND, LPCSTR, const void*) {
  reportNotAvailable("afm3ShowAbmInfo");
  return 0;
}

INT_PTR CALLBACK ShowAbmInfoDlgProc(HWND, UINT, WPARAM, LPARAM) {
  reportNotAvailable("ShowAbmInfoDlgProc");
  return 0;
}

INT_PTR CALLBACK ShowAbmInfoTab1DlgProc(HWND, UINT, WPARAM, LPARAM) {
  reportNotAvailable("ShowAbmInfoTab1DlgProc");
  return 0;
}

INT_PTR CALLBACK ShowAbmInfoTab2DlgProc(HWND, UINT, WPARAM, LPARAM) {
  reportNotAvailable("ShowAbmInfoTab2DlgProc");
  return 0;
}

INT_PTR CALLBACK ShowAbmInfoTab3DlgProc(HWND, UINT, WPARAM, LPARAM) {
  reportNotAvailable("ShowAbmInfoTab3DlgProc");
  return 0;
}

}  // extern "C"
