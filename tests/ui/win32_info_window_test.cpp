// The information dialog as Windows (or Wine on a virtual display) shows
// it: a second thread waits for the dialog, captures the screen under the
// title field and closes the dialog.
#ifdef _WIN32
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "afm3.h"
#include "album_fixtures.h"
#include "temp_dir.h"

namespace {

constexpr int kTitleControl = 6011;

BOOL CALLBACK findTitle(HWND child, LPARAM found) {
  if (GetDlgCtrlID(child) != kTitleControl) return TRUE;
  *reinterpret_cast<HWND*>(found) = child;
  return FALSE;
}

// The pixels of a screen rectangle, 32 bits each; also written as a
// bitmap file beside the test program for a look.
std::vector<uint32_t> captureScreen(const RECT& r, const char* file) {
  const int width = r.right - r.left, height = r.bottom - r.top;
  std::vector<uint32_t> pixels(static_cast<size_t>(width) * height);
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // top-down rows
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, width, height, screen, r.left, r.top, SRCCOPY);
  GdiFlush();
  std::memcpy(pixels.data(), bits, pixels.size() * 4);
  BITMAPFILEHEADER header = {};
  header.bfType = 0x4D42;
  header.bfOffBits = sizeof header + sizeof info.bmiHeader;
  header.bfSize = static_cast<DWORD>(header.bfOffBits + pixels.size() * 4);
  if (FILE* out = std::fopen(file, "wb")) {
    std::fwrite(&header, sizeof header, 1, out);
    std::fwrite(&info.bmiHeader, sizeof info.bmiHeader, 1, out);
    std::fwrite(pixels.data(), 4, pixels.size(), out);
    std::fclose(out);
  }
  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return pixels;
}

struct Seen {
  bool dialog = false;
  std::string title;
  size_t colours = 0;
};

void watchAndClose(Seen* seen) {
  HWND dialog = nullptr;
  for (int i = 0; i < 150 && dialog == nullptr; ++i) {
    dialog = FindWindowA(nullptr, "Album Information");
    if (dialog == nullptr) Sleep(100);
  }
  if (dialog == nullptr) return;
  seen->dialog = true;
  SetForegroundWindow(dialog);
  Sleep(500);  // painted by now
  HWND title = nullptr;
  EnumChildWindows(dialog, findTitle, reinterpret_cast<LPARAM>(&title));
  if (title != nullptr) {
    char text[128] = {};
    GetWindowTextA(title, text, sizeof text);
    seen->title = text;
    RECT r;
    GetWindowRect(title, &r);
    const std::vector<uint32_t> pixels = captureScreen(r, "info_dialog_title.bmp");
    seen->colours = std::set<uint32_t>(pixels.begin(), pixels.end()).size();
  }
  PostMessageA(dialog, WM_COMMAND, IDOK, 0);
}

TEST(InfoWindow, TheDialogShowsTheAlbumTitle) {
  afm3test::TempDir dir;
  const std::string path = dir.file("seaside.ab3");
  const afm3test::Bytes fields = afm3test::specs({afm3test::fieldSpec("Name", 11)});
  const afm3test::Bytes info = afm3test::albumInfo("Seaside 1998");
  const HINSTANCE owner = reinterpret_cast<HINSTANCE>(0x1D1);
  HANDLE album =
      afm3CreateAlbum(owner, info.data(), 1, fields.data(), path.c_str(), nullptr, nullptr);
  ASSERT_NE(album, nullptr);
  afm3CloseAlbum(owner, album);

  Seen seen;
  std::thread watcher(watchAndClose, &seen);
  EXPECT_EQ(afm3ShowAbmInfo(0, nullptr, path.c_str(), nullptr), 0x300u);
  watcher.join();
  ASSERT_TRUE(seen.dialog) << "no dialog appeared";
  EXPECT_EQ(seen.title, "Seaside 1998");
  // Text drawn in the field: more than the background and a frame colour.
  EXPECT_GT(seen.colours, 2u);
}

}  // namespace

#endif  // _WIN32
