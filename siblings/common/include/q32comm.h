/* q32Comm: the common library of the product family.
 *
 * Keeps the caller's last error record, and offers the folder, path, disk,
 * date and time services the album library imports. Strings are ANSI paths
 * of at most 260 characters in Windows form. */
#ifndef Q32COMM_H
#define Q32COMM_H

#include "afm3_types.h"

#ifdef __cplusplus
extern "C" {
#endif

#if defined(_WIN32)
#if defined(Q32COMM_BUILDING)
#define Q32COMM_API __declspec(dllexport)
#else
#define Q32COMM_API __declspec(dllimport)
#endif
#else
#define Q32COMM_API __attribute__((visibility("default")))
#endif

/* ---- the last error ------------------------------------------------------ */
/* Records text (at most 255 characters are kept), the error identifier and
 * the location triple as the caller's last error. reserved is 0. */
Q32COMM_API void c32SetDLLErrInfo(LPCSTR text, DWORD errorId, DWORD reserved, DWORD moduleCode,
                                  DWORD functionCode, DWORD step);
/* Copies the last error record; FALSE when none is recorded. Any pointer
 * may be null. */
Q32COMM_API BOOL c32GetDLLErrInfo(LPSTR text, UINT textSize, DWORD* errorId, DWORD* moduleCode,
                                  DWORD* functionCode, DWORD* step);
/* Forgets the last error record. */
Q32COMM_API void c32ClearDLLErrInfo(void);

/* ---- system ---------------------------------------------------------------- */
/* Operating-system kind: 1 the 16-bit-era family (Windows 95/98/Me), 2
 * Windows NT 4 and earlier, 3 a system with 8.3 file names only, 4 Windows
 * 2000 and later. The environment variable Q32_OS_KIND (1..4) overrides the
 * answer, for tests. */
Q32COMM_API DWORD q32GetOsVersion(void);
/* Fills buffer with the per-user application-data folder of the product
 * family (no trailing backslash), creating it when create is non-zero.
 * The environment variable Q32_APPDATA overrides the folder. Returns TRUE
 * on success. */
Q32COMM_API BOOL q32GetAppDataFolder(LPSTR buffer, DWORD size, DWORD reserved, DWORD create);
/* Shows (or with command 2 closes) help; returns TRUE when done. */
Q32COMM_API BOOL q32MyWinHelp(HWND owner, LPCSTR helpPath, UINT command, DWORD data);

/* ---- folders and paths ----------------------------------------------------- */
Q32COMM_API BOOL qfdIsDir(LPCSTR path);
Q32COMM_API BOOL qfdCreateDir(LPCSTR path); /* creates missing parents too */
Q32COMM_API void qfdAddSlash(LPSTR path);   /* ensures one trailing backslash */
Q32COMM_API void qfdDelSlash(LPSTR path);   /* removes a trailing backslash (not of a root) */
/* Splits path into its file name (with extension) and its folder (ending
 * in a backslash); either output may be null, and folder may be path. */
Q32COMM_API void qfdSplitPathname(LPCSTR path, LPSTR name, LPSTR folder);
/* Removes the blanks a file name cannot usefully hold: leading and
 * trailing blanks of the file-name part, runs of blanks inside it reduced to
 * one, and blanks before the extension's dot. The folder is not touched. */
Q32COMM_API void qfdRemoveBlanks(LPSTR path);
/* Free bytes of the volume that holds path; negative on failure. */
Q32COMM_API double qfdGetDiskFreeSpace(LPCSTR path);
/* direction 0: to the short (8.3) form; 1: to the long form. Returns TRUE
 * when converted. */
Q32COMM_API BOOL qfdConvertLongShortPathname(LPCSTR source, LPSTR destination, DWORD size,
                                             DWORD direction);

/* ---- dates and times ------------------------------------------------------- */
/* Formats a DOS date; style 0 is "YYYY-MM-DD" (the only style). */
Q32COMM_API void qfdDateToAsciiEx(LPSTR buffer, WORD dosDate, DWORD style, DWORD withCentury);
/* Formats a DOS time with the locale's clock (0 = 12-hour with suffixes,
 * 1 = 24-hour), leading zero of the hour, suffixes and separator. */
Q32COMM_API void qfdTimeToAscii(LPSTR buffer, WORD dosTime, int clock24, int leadingZero,
                                LPCSTR morning, LPCSTR afternoon, LPCSTR separator);

#ifdef __cplusplus
}
#endif

#endif /* Q32COMM_H */
