/* Identifiers of the dialog templates of the resource library and of their
 * controls. Included by qmbrc.rc (windres on Windows, rcgen elsewhere) and by
 * the C++ code that runs the dialogs, so it holds #defines only.
 *
 * String resources are named by their numbers where they are used. The
 * printf formats among them take these arguments:
 *   6299, 6443  %s the folder          6445  %s the old album's path
 *   6402  %lu free bytes, %s volume root, %lu bytes needed (unsigned long)
 *   6410  %s the library's file name    6434  %s the folder
 * and the template text of control 6018 is a format taking %d, the number
 * of fields listed. */
#ifndef QMBRC_IDS_H
#define QMBRC_IDS_H

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif

/* ---- the folder question of the conversion -------------------------------- */
#define IDD_ASK_NEW_PATH 6101
#define IDC_NEW_PATH 2001 /* edit: the folder of the converted album */

/* ---- the album information dialog ------------------------------------------- */
#define IDD_ABM_INFO 6200         /* main dialog: tab control, OK, Help */
#define IDD_ABM_INFO_GENERAL 6201 /* page 1 */
#define IDD_ABM_INFO_FIELDS 6202  /* page 2 (version-3 albums only) */
#define IDD_ABM_INFO_STATS 6203   /* page 3 */

#define IDC_INFO_TAB 6010
#define IDC_INFO_HELP 6027

/* page General */
#define IDC_INFO_TITLE 6011
#define IDC_INFO_RECORDS 6012
#define IDC_INFO_PROTECTED 6013
#define IDC_INFO_RESTRICTED 6014
#define IDC_INFO_DESCRIPTION 6015
#define IDC_INFO_VERSION 6016
#define IDC_INFO_MARK_FILE 6023
#define IDC_INFO_MARK_LABEL 6029 /* label of 6023; moves down with it */

/* page Fields */
#define IDC_INFO_FIELD_LIST 6017
#define IDC_INFO_FIELD_COUNT 6018 /* template text: a format taking %d, see above */

/* page Statistics */
#define IDC_INFO_THUMB_SIZE 6019
#define IDC_INFO_THUMB_KIND 6020
#define IDC_INFO_PATH 6021
#define IDC_INFO_CREATED 6022
#define IDC_INFO_MODIFIED 6024
#define IDC_INFO_SIZE 6025
#define IDC_INFO_READ_ONLY 6026
#define IDC_INFO_STORAGE 6028
#define IDC_INFO_THUMB_GROUP 6030 /* group boxes; they widen with the page */
#define IDC_INFO_FILE_GROUP 6031

#endif /* QMBRC_IDS_H */
