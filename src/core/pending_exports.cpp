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

int WINAPI afm3ConvertAbmFile(HINSTANCE, HWND, LPCSTR, LPSTR, HWND, BOOL) {
  reportNotAvailable("afm3ConvertAbmFile");
  return 0;
}

INT_PTR CALLBACK AskNewPathDlgProc(HWND, UINT, WPARAM, LPARAM) {
  reportNotAvailable("AskNewPathDlgProc");
  return 0;
}

}  // extern "C"
