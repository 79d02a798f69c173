/* Windows type names for the album library's public interface.
 *
 * On Windows they come from <windows.h>. Elsewhere this header defines the
 * same names with native widths: DWORD, UINT, WORD and BYTE keep their
 * Windows sizes, while handles, pointers and the pointer-sized message
 * arguments (WPARAM, LPARAM, LRESULT, INT_PTR) are 64-bit in the native
 * x86-64 build. File formats never depend on these widths. */
#ifndef AFM3_TYPES_H
#define AFM3_TYPES_H

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#else
#include <stddef.h>
#include <stdint.h>

#define WINAPI
#define CALLBACK
#define APIENTRY

typedef int BOOL;
typedef unsigned char BYTE;
typedef uint16_t WORD;
typedef uint32_t DWORD;
typedef unsigned int UINT;
typedef int32_t LONG;
typedef char* LPSTR;
typedef const char* LPCSTR;
typedef void* LPVOID;
typedef const void* LPCVOID;
typedef uintptr_t WPARAM;
typedef intptr_t LPARAM;
typedef intptr_t LRESULT;
typedef intptr_t INT_PTR;
typedef uintptr_t UINT_PTR;
typedef uintptr_t SIZE_T;
typedef void* HANDLE;
typedef void* HGLOBAL;
typedef struct HWND__* HWND;
typedef struct HINSTANCE__* HINSTANCE;
typedef HINSTANCE HMODULE;

typedef LRESULT(CALLBACK* WNDPROC)(HWND, UINT, WPARAM, LPARAM);
typedef INT_PTR(CALLBACK* DLGPROC)(HWND, UINT, WPARAM, LPARAM);

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

#define INVALID_HANDLE_VALUE ((HANDLE)(intptr_t)-1)
#define MAX_PATH 260

#define MAKELONG(a, b) \
  ((LONG)(((WORD)((DWORD)(a)&0xffff)) | ((DWORD)((WORD)((DWORD)(b)&0xffff))) << 16))
#define LOWORD(l) ((WORD)((DWORD)(l)&0xffff))
#define HIWORD(l) ((WORD)((DWORD)(l) >> 16))

#endif /* _WIN32 */

#endif /* AFM3_TYPES_H */
