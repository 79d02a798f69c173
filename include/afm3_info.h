/* The album information dialog's pages as text, beside the dialog that
 * afm3ShowAbmInfo shows (afm3.h).
 *
 * An addition to the album library's export table (after the dialog's own
 * exports): it fills the same three pages from the same code as the
 * dialog, without a window, for tools and scripts. */
#ifndef AFM3_INFO_H
#define AFM3_INFO_H

#include "afm3.h"

#ifdef __cplusplus
extern "C" {
#endif

/* The optional last argument of afm3ShowAbmInfo: an album the caller has
 * open (three 32-bit values on Windows). */
typedef struct AFM3_OPENED_ALBUM {
  HANDLE file;
  DWORD fieldCount;
  HGLOBAL fieldSpecs; /* the FieldSpec block afm3OpenAlbum returned */
} AFM3_OPENED_ALBUM;

/* Writes the pages of the album at path into buffer, one control a line:
 *   PAGE <TAB> CONTROL <TAB> TEXT
 * PAGE is the page's tab title, CONTROL the control's identifier (6011 ..
 * 6028); a row of the field list (6017) has two texts, name and type
 * name, separated by a tab. Tabs and line breaks inside a text become
 * blanks. The version-3 Fields page comes between General and Statistics,
 * as in the dialog.
 * Returns the version code as afm3ShowAbmInfo does (0 on failure, with the
 * same reports). *needed receives the bytes the text takes with its NUL;
 * when size is smaller, buffer receives an empty string. */
AFM3_API DWORD WINAPI afm3GetAbmInfoPages(LPCSTR path, LPSTR buffer, DWORD size, DWORD* needed);

#ifdef __cplusplus
}
#endif

#endif /* AFM3_INFO_H */
