/* The Windows services the album library's callers use, for builds outside
 * Windows. On Windows this header only includes <windows.h>.
 *
 * Outside Windows these functions are provided by the emulation library
 * (libqplatform) that the album library and its siblings run on: the global
 * heap with movable handles and lock counts, in-process message windows,
 * a headless dialog manager, and a test-support API that configures the
 * emulated machine (volumes, shares, profile, registry, answers of message
 * boxes and dialogs). Error numbers are Windows error numbers
 * (GetLastError). */
#ifndef AFM3_COMPAT_H
#define AFM3_COMPAT_H

#include "afm3_types.h"

#ifndef _WIN32

#ifdef __cplusplus
extern "C" {
#endif

#define QWIN_API __attribute__((visibility("default")))

/* ---- errors ---------------------------------------------------------- */
QWIN_API DWORD GetLastError(void);
QWIN_API void SetLastError(DWORD code);

/* ---- global heap ----------------------------------------------------- */
#define GMEM_FIXED 0x0000
#define GMEM_MOVEABLE 0x0002
#define GMEM_ZEROINIT 0x0040
#define GMEM_MODIFY 0x0080
#define GHND (GMEM_MOVEABLE | GMEM_ZEROINIT)
#define GPTR (GMEM_FIXED | GMEM_ZEROINIT)

QWIN_API HGLOBAL GlobalAlloc(UINT flags, SIZE_T bytes);
QWIN_API LPVOID GlobalLock(HGLOBAL mem);
QWIN_API BOOL GlobalUnlock(HGLOBAL mem);
QWIN_API HGLOBAL GlobalReAlloc(HGLOBAL mem, SIZE_T bytes, UINT flags);
QWIN_API SIZE_T GlobalSize(HGLOBAL mem);
QWIN_API HGLOBAL GlobalHandle(LPCVOID pointer);
QWIN_API HGLOBAL GlobalFree(HGLOBAL mem);
QWIN_API UINT GlobalFlags(HGLOBAL mem); /* low byte: lock count */

/* ---- windows and messages -------------------------------------------- */
#define WM_NULL 0x0000
#define WM_DESTROY 0x0002
#define WM_SETTEXT 0x000C
#define WM_GETTEXT 0x000D
#define WM_GETTEXTLENGTH 0x000E
#define WM_CLOSE 0x0010
#define WM_NOTIFY 0x004E
#define WM_INITDIALOG 0x0110
#define WM_COMMAND 0x0111
#define WM_TIMER 0x0113
#define WM_USER 0x0400
#define BN_CLICKED 0
#define BM_GETCHECK 0x00F0
#define BM_SETCHECK 0x00F1
#define BST_UNCHECKED 0
#define BST_CHECKED 1
#define IDOK 1
#define IDCANCEL 2
#define IDABORT 3
#define IDRETRY 4
#define IDIGNORE 5
#define IDYES 6
#define IDNO 7
#define MB_OK 0x0000
#define MB_OKCANCEL 0x0001
#define MB_ABORTRETRYIGNORE 0x0002
#define MB_YESNOCANCEL 0x0003
#define MB_YESNO 0x0004
#define MB_RETRYCANCEL 0x0005
#define MB_ICONERROR 0x0010
#define MB_ICONQUESTION 0x0020
#define MB_ICONWARNING 0x0030
#define MB_ICONINFORMATION 0x0040
#define SW_HIDE 0
#define SW_SHOW 5

QWIN_API UINT RegisterWindowMessageA(LPCSTR name);
QWIN_API LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
QWIN_API BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
QWIN_API BOOL IsWindow(HWND window);
QWIN_API BOOL DestroyWindow(HWND window);
QWIN_API BOOL SetWindowTextA(HWND window, LPCSTR text);
QWIN_API int GetWindowTextA(HWND window, LPSTR text, int size);
QWIN_API BOOL EnableWindow(HWND window, BOOL enable);
QWIN_API BOOL IsWindowEnabled(HWND window);
QWIN_API BOOL ShowWindow(HWND window, int command);
QWIN_API BOOL IsWindowVisible(HWND window);

/* A message-only window whose messages go to proc; userData is returned by
 * qwinGetWindowData. Destroy it with DestroyWindow. */
QWIN_API HWND qwinCreateMessageWindow(WNDPROC proc, void* userData);
QWIN_API void* qwinGetWindowData(HWND window);
/* Delivers the messages posted with PostMessageA; returns how many. */
QWIN_API int qwinPumpMessages(void);

/* ---- paths ------------------------------------------------------------ */
/* Every album-library function that takes a path accepts host paths: an
 * absolute POSIX path ("/home/me/a.ab3"), a relative one with a '/'
 * ("albums/a.ab3", "../a.ab3", against the process's current folder), as
 * well as drive ("Z:\home\me\a.ab3") and UNC paths. Inside, and in what the
 * library hands back (paths it returns, picture paths it stores), paths are
 * in the Windows form, on the emulated drives: "Z:\" is "/" unless
 * qwinTestAddVolume maps other drives. qwinHostPath turns such a path back
 * into a host path; qwinLibraryPath does what the library does with a path
 * it is given. Both return FALSE when the result does not fit size. */
QWIN_API BOOL qwinLibraryPath(LPCSTR hostPath, LPSTR out, DWORD size);
QWIN_API BOOL qwinHostPath(LPCSTR libraryPath, LPSTR out, DWORD size);

/* ---- dialogs ---------------------------------------------------------- */
QWIN_API INT_PTR DialogBoxParamA(HINSTANCE resources, LPCSTR templateName, HWND parent,
                                 DLGPROC proc, LPARAM param);
QWIN_API HWND CreateDialogParamA(HINSTANCE resources, LPCSTR templateName, HWND parent,
                                 DLGPROC proc, LPARAM param);
QWIN_API BOOL EndDialog(HWND dialog, INT_PTR result);
QWIN_API HWND GetDlgItem(HWND dialog, int id);
QWIN_API int GetDlgCtrlID(HWND control);
QWIN_API BOOL SetDlgItemTextA(HWND dialog, int id, LPCSTR text);
QWIN_API UINT GetDlgItemTextA(HWND dialog, int id, LPSTR text, int size);
QWIN_API LRESULT SendDlgItemMessageA(HWND dialog, int id, UINT message, WPARAM wParam,
                                     LPARAM lParam);
QWIN_API BOOL CheckDlgButton(HWND dialog, int id, UINT check);
QWIN_API UINT IsDlgButtonChecked(HWND dialog, int id);
QWIN_API int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type);
#define MAKEINTRESOURCEA(i) ((LPSTR)(uintptr_t)((WORD)(i)))

/* ---- test support: the emulated machine ------------------------------ */
/* Drive types as GetDriveTypeA reports them. */
#define DRIVE_UNKNOWN 0
#define DRIVE_NO_ROOT_DIR 1
#define DRIVE_REMOVABLE 2
#define DRIVE_FIXED 3
#define DRIVE_REMOTE 4
#define DRIVE_CDROM 5
#define DRIVE_RAMDISK 6

/* Maps the drive root "X:\" onto hostFolder. maxComponentLength is 255 for
 * long names or 12 for an 8.3 volume (longer components are refused with
 * error 206). remoteName ("\\server\share") is what the network layer
 * reports for a remote drive, or null. Replaces an existing volume. */
QWIN_API BOOL qwinTestAddVolume(LPCSTR driveRoot, LPCSTR hostFolder, LPCSTR label, UINT driveType,
                                DWORD maxComponentLength, DWORD serial, LPCSTR remoteName);
QWIN_API BOOL qwinTestRemoveVolume(LPCSTR driveRoot);
/* Fixes the free bytes the volume reports; a negative value restores the
 * real figure of the host file system. */
QWIN_API BOOL qwinTestSetFreeSpace(LPCSTR driveRoot, long long freeBytes);
/* Maps "\\server\share" onto hostFolder. A share that is not reachable
 * exists but fails until the network layer connects it
 * (WNetAddConnection2A succeeds for it and makes it reachable). */
QWIN_API BOOL qwinTestAddShare(LPCSTR server, LPCSTR share, LPCSTR hostFolder, LPCSTR label,
                               BOOL reachable);
QWIN_API BOOL qwinTestRemoveShare(LPCSTR server, LPCSTR share);
/* Back to the default machine: "Z:\" is "/", nothing else. */
QWIN_API void qwinTestResetMachine(void);

/* Profile strings (the Windows profile of the user): a null value removes
 * the key. */
QWIN_API void qwinTestSetProfileString(LPCSTR section, LPCSTR key, LPCSTR value);
QWIN_API void qwinTestClearProfile(void);
QWIN_API void qwinTestSetComputerName(LPCSTR name);
/* Registry string values; root is "HKLM" or "HKCU". */
QWIN_API void qwinTestSetRegistryString(LPCSTR root, LPCSTR keyPath, LPCSTR valueName,
                                        LPCSTR value);
QWIN_API void qwinTestClearRegistry(void);
/* The ANSI code page: 932 walks double-byte characters, anything else is a
 * single-byte code page (the default). */
QWIN_API void qwinTestSetCodePage(UINT codePage);
QWIN_API void qwinTestSetLogPixels(int pixelsPerInch);
/* Global-heap blocks not yet freed. The heap keeps every block in its
 * tables, so the leak sanitizer never reports one: tests and fuzz targets
 * compare this count instead. */
QWIN_API SIZE_T qwinTestGlobalBlockCount(void);

/* Message boxes answer with the hook's result; without a hook a box answers
 * IDOK for MB_OK, IDNO for the yes/no kinds and IDCANCEL otherwise. The last
 * text and caption shown are kept for tests. */
typedef int (*QwinMessageBoxHook)(HWND owner, LPCSTR text, LPCSTR caption, UINT type, void* user);
QWIN_API void qwinTestSetMessageBoxHook(QwinMessageBoxHook hook, void* user);
QWIN_API int qwinTestLastMessageBox(LPSTR text, int textSize, LPSTR caption, int captionSize);
/* The directory dialog fills path (a Windows path, 260 characters) and
 * returns TRUE for OK; without a hook it is cancelled. */
typedef BOOL (*QwinFolderDialogHook)(HWND owner, LPCSTR title, LPSTR path, void* user);
QWIN_API void qwinTestSetFolderDialogHook(QwinFolderDialogHook hook, void* user);
/* Called once a modal dialog has been initialised (after WM_INITDIALOG);
 * the driver reads and changes controls and sends commands. A dialog still
 * running when the driver returns ends with IDCANCEL. */
typedef void (*QwinDialogDriver)(HWND dialog, int templateId, void* user);
QWIN_API void qwinTestSetDialogDriver(QwinDialogDriver driver, void* user);
/* The child dialog made from template templateId whose parent is parent
 * (the pages of a tabbed dialog), or null. */
QWIN_API HWND qwinTestChildDialog(HWND parent, int templateId);

#ifdef __cplusplus
}
#endif

#endif /* !_WIN32 */

#endif /* AFM3_COMPAT_H */
