/* afm3: the album library.
 *
 * An album is one ".ab3" file holding a header with the album information,
 * a scheme of typed fields, and one record per picture (field values,
 * picture-file information and an optional stored thumbnail). Host programs
 * call the functions below with the owner key they registered or opened an
 * album under and the file handle the album was created or opened with.
 *
 * Every function uses the Windows standard calling convention. Results are
 * 1 for success and 0 for failure unless a function says otherwise; a
 * failure is recorded as the caller's last error in the common library
 * (c32GetDLLErrInfo in q32comm.h).
 *
 * Caller-side structures are byte arrays of fixed size; the AFM3_* constants
 * give their sizes and the offsets of their fields. All integers inside them
 * are little-endian. In the 32-bit Windows build handles and pointers are 32
 * bits wide; in native 64-bit builds they have their native width (for
 * example the row pointers that afm3ReadFieldBlock stores into its block are
 * 8 bytes wide there), while every file format stays the same. */
#ifndef AFM3_H
#define AFM3_H

#include "afm3_compat.h"
#include "afm3_types.h"

#ifdef __cplusplus
extern "C" {
#endif

#if defined(_WIN32)
#if defined(AFM3_BUILDING)
#define AFM3_API /* exported through afm3.def at fixed ordinals */
#else
#define AFM3_API __declspec(dllimport)
#endif
#else
#define AFM3_API __attribute__((visibility("default")))
#endif

/* ---- sizes of caller-side structures ------------------------------------ */
#define AFM3_ALBUM_INFO_SIZE 1736
#define AFM3_FIELD_SPEC_SIZE 67
#define AFM3_RECORD_ENTRY_SIZE 280
#define AFM3_IMAGE_HEADER_SIZE 16
#define AFM3_THUMB_MARK_RECORD_SIZE 168
#define AFM3_MARK_NAMES_SIZE 832
#define AFM3_MAX_PATH 260

/* AlbumInfo (1736 bytes): the caller-visible album information. */
#define AFM3_INFO_RECORD_COUNT 0       /* u16, live records */
#define AFM3_INFO_NEXT_RECORD_NUMBER 2 /* u16, 0xFFFF = album full */
#define AFM3_INFO_THUMB_SIZE 4         /* u16, thumbnail edge in pixels */
#define AFM3_INFO_FLAGS 6              /* u8 */
#define AFM3_INFO_TITLE 8              /* char[24] */
#define AFM3_INFO_TITLE_SIZE 24
#define AFM3_INFO_DESCRIPTION 32 /* char[], NUL-terminated */
#define AFM3_INFO_SHOWN_FLAG 544 /* u8, shown with infoFlags bit 0x08 */
#define AFM3_INFO_PROTECT 1444   /* u8[32], empty = not protected */
#define AFM3_INFO_PROTECT_SIZE 32
#define AFM3_INFO_CODE 1476              /* u8 */
#define AFM3_INFO_INDEX_LIST_OFFSET 1478 /* u32 */
#define AFM3_INFO_TITLE_TAIL 1482        /* char[], continues the title */

/* FieldSpec (67 bytes): one field of the scheme. */
#define AFM3_SPEC_NUMBER 0 /* u8 */
#define AFM3_SPEC_TYPE 1   /* u8: bits 0-3 type, bit 0x80 caller attribute */
#define AFM3_SPEC_NAME 2   /* char[64] */
#define AFM3_SPEC_NAME_SIZE 64
#define AFM3_SPEC_INDEX 66 /* u8, index attribute, 0 = none */
#define AFM3_SPEC_ATTRIBUTE_BIT 0x80

/* RecordEntry (280 bytes): one record's picture information. */
#define AFM3_ENTRY_NUMBER 0       /* u16, 0xFFFF = free or deleted */
#define AFM3_ENTRY_SOURCE_KIND 2  /* u8 */
#define AFM3_ENTRY_DRIVE_TYPE 3   /* u8 */
#define AFM3_ENTRY_IMAGE_OFFSET 4 /* u32 */
#define AFM3_ENTRY_SHORT_PATH 8   /* char[128], upper case */
#define AFM3_ENTRY_SHORT_PATH_SIZE 128
#define AFM3_ENTRY_FILE_SIZE 136   /* u32 */
#define AFM3_ENTRY_DATE_TIME_1 140 /* u32, DOS time low, DOS date high */
#define AFM3_ENTRY_DATE_TIME_2 144 /* u32 */
#define AFM3_ENTRY_CALLER_1 148    /* u32 */
#define AFM3_ENTRY_CALLER_2 152    /* u32 */
#define AFM3_ENTRY_FORMAT 156      /* u8[20] */
#define AFM3_ENTRY_FLAGS 176       /* u16 */
#define AFM3_ENTRY_STRING_A 178    /* u32, full path */
#define AFM3_ENTRY_LABEL 182       /* char[32] */
#define AFM3_ENTRY_LABEL_SIZE 32
#define AFM3_ENTRY_STRING_B 214  /* u32, extra string */
#define AFM3_ENTRY_MISC_DATA 218 /* u32, picture-file data block */
#define AFM3_ENTRY_CHECKSUM 278  /* u16 */
#define AFM3_ENTRY_FLAG_STRING_B 0x04
#define AFM3_ENTRY_FLAG_MISC_DATA 0x08
#define AFM3_ENTRY_FLAG_KEEP_NUMBER 0x10

/* ImageHeader (16 bytes): a stored image. */
#define AFM3_IMAGE_DATA_SIZE 0     /* u32 */
#define AFM3_IMAGE_PALETTE_COUNT 4 /* u32 */
#define AFM3_IMAGE_COLOUR_KIND 8   /* u8: 1, 2, 4, 8, 16, 32 or 64 */
#define AFM3_IMAGE_COMPRESSION 9   /* u8: 0 none, 1 JPEG, 2 LZW, 3 zlib */
#define AFM3_IMAGE_WIDTH 10        /* u16 */
#define AFM3_IMAGE_HEIGHT 12       /* u16 */
#define AFM3_IMAGE_FLAGS 14        /* u8, bit 0 = standard palette */

/* ThumbMarkRecord (168 bytes on the caller's side). */
#define AFM3_MARK_PATH 0         /* char[128] */
#define AFM3_MARK_SET 128        /* u32 */
#define AFM3_MARK_LABEL 132      /* char[32] */
#define AFM3_MARK_DRIVE_TYPE 164 /* u8 */

/* afm3OpenAlbum flags and OpenMode result bits. */
#define AFM3_OPEN_READ_WRITE 0x01
#define AFM3_OPEN_READ_ONLY 0x02
#define AFM3_OPEN_SHARE_NONE 0x10
#define AFM3_OPEN_SHARE_READ_WRITE 0x20
#define AFM3_OPEN_SHARE_READ 0x40
#define AFM3_OPEN_REPORT_PROTECTION 0x100
#define AFM3_OPEN_FAILED 0xFFFF

/* ---- album lifetime ------------------------------------------------------ */
AFM3_API HANDLE WINAPI afm3CreateAlbum(HINSTANCE ownerKey, const void* info, DWORD fieldCount,
                                       const void* specs, LPCSTR pathOrFolder, LPSTR outPath,
                                       LPSTR markPath);
AFM3_API DWORD WINAPI afm3OpenAlbum(HINSTANCE ownerKey, LPCSTR path, DWORD flags, HANDLE* outHandle,
                                    LPSTR markPath, BYTE* outFieldCount, HGLOBAL* outFieldSpecs);
AFM3_API BOOL WINAPI afm3CloseAlbum(HINSTANCE ownerKey, HANDLE album);

/* ---- transactions and handles ------------------------------------------- */
AFM3_API BOOL WINAPI afm3BeginLock(HINSTANCE ownerKey, HANDLE album);
AFM3_API int WINAPI afm3EndLock(HINSTANCE ownerKey, HANDLE album);
AFM3_API HANDLE WINAPI afm3CommitFile(HINSTANCE ownerKey, HANDLE album);
AFM3_API HANDLE WINAPI afm3ReplaceFile(HINSTANCE ownerKey, HANDLE album, DWORD flags);
AFM3_API BOOL WINAPI afm3ReOpenFile(HINSTANCE ownerKey, HANDLE* album, DWORD flags);
AFM3_API BOOL WINAPI afm3CacheAlbum(HINSTANCE ownerKey, HANDLE album, BOOL keep);

/* ---- album information -------------------------------------------------- */
AFM3_API BOOL WINAPI afm3ReadBasicAlbumInfo(HINSTANCE ownerKey, HANDLE album, void* info);
AFM3_API BOOL WINAPI afm3UpdateBasicAlbumInfo(HINSTANCE ownerKey, HANDLE album, const void* info);
AFM3_API DWORD WINAPI afm3CheckAlbum(DWORD reserved1, DWORD reserved2, HANDLE file, LPCSTR path,
                                     void* out);
AFM3_API BOOL WINAPI afm3GetSignature(const void* text, DWORD count, DWORD kind, BYTE* out12);
AFM3_API BOOL WINAPI afm3GetMemoSignature(LPCSTR text, BYTE* out12);

/* ---- clients -------------------------------------------------------------- */
AFM3_API UINT WINAPI afm3Register(HINSTANCE ownerKey, HWND window);
AFM3_API BOOL WINAPI afm3Unregister(HINSTANCE ownerKey);

/* ---- records -------------------------------------------------------------- */
AFM3_API int WINAPI afm3InsertRecord(HINSTANCE ownerKey, HANDLE album, BYTE* entry,
                                     BYTE* imageHeader, HGLOBAL dib, LPCSTR stringA,
                                     const void* const* values, DWORD* imageOffsetOut,
                                     DWORD* stringAOffsetOut, LPCSTR stringB);
AFM3_API int WINAPI afm3ReadRecord(HINSTANCE ownerKey, HANDLE album, DWORD record, BYTE** recordOut,
                                   BYTE*** valuesOut);
AFM3_API int WINAPI afm3ReadRecordField(HINSTANCE ownerKey, HANDLE album, DWORD record, DWORD field,
                                        void* buffer);
AFM3_API int WINAPI afm3ReadRecordFieldEx(HINSTANCE ownerKey, HANDLE album, DWORD record,
                                          DWORD field, HGLOBAL* out);
AFM3_API DWORD WINAPI afm3ReadFieldBlock(HINSTANCE ownerKey, HANDLE album, DWORD n, DWORD m,
                                         const DWORD* records, DWORD first, const BYTE* fields,
                                         BYTE** blockOut, BYTE*** rowsOut);
AFM3_API BOOL WINAPI afm3UpdateRecordField(HINSTANCE ownerKey, HANDLE album, DWORD record,
                                           DWORD field, const void* value);
AFM3_API BOOL WINAPI afm3UpdateRecord(HINSTANCE ownerKey, HANDLE album, DWORD record,
                                      const void* const* values);
AFM3_API BOOL WINAPI afm3DeleteRecord(HINSTANCE ownerKey, HANDLE album, DWORD record);
AFM3_API BOOL WINAPI afm3UndelRecord(HINSTANCE ownerKey, HANDLE album, DWORD record);
AFM3_API int WINAPI afm3IsValidRecord(HINSTANCE ownerKey, HANDLE album, DWORD record);
AFM3_API BOOL WINAPI afm3AreValidRecords(HINSTANCE ownerKey, HANDLE album, DWORD n,
                                         const DWORD* records, BYTE* results);
AFM3_API HGLOBAL WINAPI afm3ReadTable(HINSTANCE ownerKey, HANDLE album, DWORD field,
                                      WORD* countOut);
AFM3_API BOOL WINAPI afm3UpdateTable(HINSTANCE ownerKey, HANDLE album, DWORD field,
                                     const void* table, DWORD size, DWORD count);
AFM3_API BOOL WINAPI afm3AddOemFldDef(HINSTANCE ownerKey, HANDLE album, DWORD field,
                                      DWORD attribute, DWORD unused);

/* ---- pictures ------------------------------------------------------------- */
AFM3_API DWORD WINAPI afm3GetPicBlockCount(HINSTANCE ownerKey, HANDLE album);
AFM3_API BOOL WINAPI afm3ReadPicBlock(HINSTANCE ownerKey, HANDLE album, DWORD block, void* out);
/* afm3ReadRecordPic: pathOut must be larger than the stored path (259
 * characters and the NUL always suffice, also for relocatable paths).
 * extraOut receives string B with its NUL: never more bytes than the album
 * stores and never more than AFM3_MAX_PATH (260); a stored string B longer
 * than that fails the call with 6444 and extraOut stays empty. */
AFM3_API BOOL WINAPI afm3ReadRecordPic(HINSTANCE ownerKey, HANDLE album, DWORD record,
                                       void* entryOut, LPSTR pathOut, DWORD pathSize,
                                       DWORD pathOffset, LPSTR extraOut);
AFM3_API BOOL WINAPI afm3UpdateRecordPic(HINSTANCE ownerKey, HANDLE album, DWORD record,
                                         void* entry, LPCSTR fullPath, DWORD* pathOffsetOut,
                                         LPCSTR extra);
AFM3_API DWORD WINAPI afm3ReadFilePicMisc(HINSTANCE ownerKey, HANDLE album, DWORD record,
                                          DWORD selector, void* out, DWORD outSize);
AFM3_API BOOL WINAPI afm3UpdateFilePicMisc(HINSTANCE ownerKey, HANDLE album, DWORD record,
                                           DWORD selector, const void* data, DWORD length);
AFM3_API int WINAPI afm3ReadRecordImage(HINSTANCE ownerKey, HANDLE album, DWORD record,
                                        DWORD imageOffset, HGLOBAL* dibOut);
AFM3_API BOOL WINAPI afm3UpdateRecordImage(HINSTANCE ownerKey, HANDLE album, DWORD record,
                                           HGLOBAL dib, BYTE* header, DWORD* imageOffsetOut);

/* ---- maintenance ---------------------------------------------------------- */
/* Progress messages sent (synchronously) to the progress window of
 * afm3ReorganizeAbm, as absolute window-message numbers:
 *   PHASE_COUNT  wParam = phases to come (0: the work file could not be made)
 *   PHASE_BEGIN  lParam = pointer to an AFM3_PROGRESS_PHASE_INFO, valid until
 *                the next PHASE_BEGIN
 *   STEP         lParam = step number, 1-based; a non-zero reply cancels
 *   PHASE_END    wParam = 0: more phases follow; 1: the run is over */
#define AFM3_PROGRESS_PHASE_COUNT 1291
#define AFM3_PROGRESS_PHASE_BEGIN 1287
#define AFM3_PROGRESS_STEP 1288
#define AFM3_PROGRESS_PHASE_END 1289

typedef struct AFM3_PROGRESS_PHASE_INFO {
  DWORD totalSteps;
  DWORD one;         /* always 1 */
  DWORD zero;        /* always 0 */
  LPCSTR caption;    /* what the phase does */
  LPCSTR subCaption; /* what it works on, or null */
  DWORD reserved;    /* always 0 */
} AFM3_PROGRESS_PHASE_INFO;

AFM3_API int WINAPI afm3ReorganizeAbm(HINSTANCE ownerKey, HANDLE* album, DWORD reserved,
                                      const WORD* recordOrder, HWND progress);
/* afm3ChangeScheme takes count change records of AFM3_FIELD_SPEC_SIZE bytes,
 * laid out as field descriptions with byte 1 as the operation:
 *   AFM3_CHANGE_REMOVE  remove field (byte 0); AFM3_CHANGE_REMOVED is added
 *                       to byte 1 when the field was found
 *   AFM3_CHANGE_RENAME  give field (byte 0) the name at byte 2
 *   anything else       add a field of type (byte 1, 0 to 12) named at byte
 *                       2 with index attribute byte 66; byte 0 receives
 *                       its field number
 * Results: 1 done, -1 done after reorganizing the album first (record and
 * field numbers may have changed), 0 failure. An album open with write
 * sharing is left alone (result 1). */
#define AFM3_CHANGE_REMOVE 0x40
#define AFM3_CHANGE_RENAME 0x20
#define AFM3_CHANGE_REMOVED 0x80
AFM3_API int WINAPI afm3ChangeScheme(HINSTANCE ownerKey, HANDLE* album, DWORD count, BYTE* changes);
AFM3_API int WINAPI afm3ConvertAbmFile(HINSTANCE ownerKey, HWND parent, LPCSTR oldPath,
                                       LPSTR newPathOut, HWND progress, BOOL deleteOld);
AFM3_API INT_PTR CALLBACK AskNewPathDlgProc(HWND dialog, UINT message, WPARAM wParam,
                                            LPARAM lParam);

/* ---- thumb marks ---------------------------------------------------------- */
/* A thumb-mark file (".mrk") keeps up to 26 named marks for picture files;
 * its default home is the per-user application-data folder. Outside
 * Windows every path argument may also be a plain absolute POSIX path; the
 * paths handed back are in drive form ("Z:\..."). Writers open a mark file
 * exclusively and readers share it, so a call meets the sharing error
 * (32) while another process has the file open in a conflicting way. */
AFM3_API BOOL WINAPI afm3NewMarkFile(HINSTANCE ownerKey, DWORD reserved, LPCSTR title,
                                     LPSTR markPath, BOOL allowFallback);
AFM3_API BOOL WINAPI afm3DupMarkFile(HINSTANCE ownerKey, LPCSTR source, LPCSTR albumPath,
                                     LPCSTR title, LPSTR markPathOut, BOOL besideAlbum);
AFM3_API BOOL WINAPI afm3GetRightMarkFile(HINSTANCE ownerKey, LPCSTR albumPath, LPCSTR title,
                                          LPSTR markPathOut, BOOL besideAlbum);
AFM3_API int WINAPI afm3CheckMarkFileStatus(HINSTANCE ownerKey, LPCSTR markPath);
AFM3_API BOOL WINAPI afm3UpdateMarkFileInfo(HINSTANCE ownerKey, LPSTR markPath, const void* names,
                                            LPCSTR albumPath, LPCSTR title);
AFM3_API BOOL WINAPI afm3GetMarkFileInfo(HINSTANCE ownerKey, LPCSTR markPath, void* namesOut,
                                         LPSTR titleOut, LPSTR albumPathOut);
AFM3_API DWORD WINAPI afm3GetFileNameHash(LPCSTR path);
AFM3_API DWORD WINAPI afm3GetFileNameHashExt(LPCSTR path);
AFM3_API BOOL WINAPI afm3InsertThumbMark(HINSTANCE ownerKey, LPCSTR markPath, void* record);
AFM3_API int WINAPI afm3RemoveThumbMark(HINSTANCE ownerKey, LPCSTR markPath, LPCSTR path,
                                        LPCSTR label, DWORD driveType);
AFM3_API int WINAPI afm3ReadThumbMark(HINSTANCE ownerKey, LPCSTR markPath, LPCSTR path,
                                      LPCSTR label, DWORD driveType, DWORD* markSetOut);
AFM3_API BOOL WINAPI afm3GetAllMarkRec(HINSTANCE ownerKey, LPCSTR markPath, HGLOBAL* stringsOut,
                                       HGLOBAL* indexOut, DWORD* countOut);
AFM3_API BOOL WINAPI afm3GetRecordMarkName(HINSTANCE ownerKey, LPCSTR markPath, DWORD markSet,
                                           LPSTR* namesOut);

/* ---- album information dialog ------------------------------------------- */
AFM3_API DWORD WINAPI afm3ShowAbmInfo(DWORD reserved, HWND parent, LPCSTR path, const void* opened);
AFM3_API INT_PTR CALLBACK ShowAbmInfoDlgProc(HWND dialog, UINT message, WPARAM wParam,
                                             LPARAM lParam);
AFM3_API INT_PTR CALLBACK ShowAbmInfoTab1DlgProc(HWND dialog, UINT message, WPARAM wParam,
                                                 LPARAM lParam);
AFM3_API INT_PTR CALLBACK ShowAbmInfoTab2DlgProc(HWND dialog, UINT message, WPARAM wParam,
                                                 LPARAM lParam);
AFM3_API INT_PTR CALLBACK ShowAbmInfoTab3DlgProc(HWND dialog, UINT message, WPARAM wParam,
                                                 LPARAM lParam);

#ifdef __cplusplus
}
#endif

#endif /* AFM3_H */
