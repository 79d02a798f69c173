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

BOOL WINAPI afm3NewMarkFile(HINSTANCE, DWORD, LPCSTR, LPSTR, BOOL) {
  reportNotAvailable("afm3NewMarkFile");
  return FALSE;
}

BOOL WINAPI afm3DupMarkFile(HINSTANCE, LPCSTR, LPCSTR, LPCSTR, LPSTR, BOOL) {
  reportNotAvailable("afm3DupMarkFile");
  return FALSE;
}

BOOL WINAPI afm3GetRightMarkFile(HINSTANCE, LPCSTR, LPCSTR, LPSTR, BOOL) {
  reportNotAvailable("afm3GetRightMarkFile");
  return FALSE;
}

int WINAPI afm3CheckMarkFileStatus(HINSTANCE, LPCSTR) {
  reportNotAvailable("afm3CheckMarkFileStatus");
  return 0;
}

BOOL WINAPI afm3UpdateMarkFileInfo(HINSTANCE, LPSTR, const void*, LPCSTR, LPCSTR) {
  reportNotAvailable("afm3UpdateMarkFileInfo");
  return FALSE;
}

BOOL WINAPI afm3GetMarkFileInfo(HINSTANCE, LPCSTR, void*, LPSTR, LPSTR) {
  reportNotAvailable("afm3GetMarkFileInfo");
  return FALSE;
}

DWORD WINAPI afm3GetFileNameHash(LPCSTR) {
  reportNotAvailable("afm3GetFileNameHash");
  return 0;
}

DWORD WINAPI afm3GetFileNameHashExt(LPCSTR) {
  reportNotAvailable("afm3GetFileNameHashExt");
  return 0;
}

BOOL WINAPI afm3InsertThumbMark(HINSTANCE, LPCSTR, void*) {
  reportNotAvailable("afm3InsertThumbMark");
  return FALSE;
}

int WINAPI afm3RemoveThumbMark(HINSTANCE, LPCSTR, LPCSTR, LPCSTR, DWORD) {
  reportNotAvailable("afm3RemoveThumbMark");
  return 0;
}

int WINAPI afm3ReadThumbMark(HINSTANCE, LPCSTR, LPCSTR, LPCSTR, DWORD, DWORD*) {
  reportNotAvailable("afm3ReadThumbMark");
  return 0;
}

BOOL WINAPI afm3GetAllMarkRec(HINSTANCE, LPCSTR, HGLOBAL*, HGLOBAL*, DWORD*) {
  reportNotAvailable("afm3GetAllMarkRec");
  return FALSE;
}

BOOL WINAPI afm3GetRecordMarkName(HINSTANCE, LPCSTR, DWORD, LPSTR*) {
  reportNotAvailable("afm3GetRecordMarkName");
  return FALSE;
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
