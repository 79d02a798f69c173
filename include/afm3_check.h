/* afm3check: the integrity check and repair of version-3.0 album files.
 *
 * A library of its own (afm3check.dll on Windows, libafm3check.so
 * elsewhere) beside the album library; it opens the album file by path and
 * reads it without going through the open-album table, so it can look at
 * albums the library itself refuses to open.
 *
 *   static void show(void* ctx, const Afm3Problem* p) {
 *     printf("%s\n", p->text);
 *   }
 *   int left = afm3CheckAlbumFile("C:\\albums\\trip.ab3", 0, show, NULL);
 *
 * The check walks the whole album: the header (magic, version, checksum,
 * layout, row geometry), the field definitions, names and index list, the
 * page directory and every record entry (checksum, number), every row
 * (deletion marks, heap references, type-9 strings, type-10 values), the
 * value heaps and their current-block state, the value tables, the strings,
 * picture-file data and stored images the entries point to, the record
 * count and the next record number, and whether structures overlap. Every
 * problem is handed to onProblem (which may be null) as it is found.
 *
 * With repair non-zero the file is opened for exclusive reading and
 * writing and, after the check, what can be mended without guessing is
 * mended: half-deleted records are completed as deleted, the record count
 * and the next record number are recomputed, the current heap blocks'
 * used marks are moved past every entry a row refers to, and the header is
 * written last with a fresh checksum (also when only its checksum was
 * wrong, provided its layout is sound). Each mended problem is handed to
 * onProblem with AFM3_PROBLEM_REPAIRED in its kind; the album is then
 * checked again and what is left is handed on without that bit.
 *
 * Result: the number of problems found (with repair: the number left), or
 * -1 when the file cannot be opened (with repair: also when another
 * program has it open), cannot be read, or is not a version-3.0 album; one
 * problem of kind AFM3_PROBLEM_FILE then says why. */
#ifndef AFM3_CHECK_H
#define AFM3_CHECK_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(_WIN32)
#if defined(AFM3CHECK_BUILDING)
#define AFM3CHECK_API /* exported through afm3check.def */
#else
#define AFM3CHECK_API __declspec(dllimport)
#endif
#else
#define AFM3CHECK_API __attribute__((visibility("default")))
#endif

/* Kinds of problems. */
#define AFM3_PROBLEM_FILE 1            /* cannot open, read or write; not a 3.0 album */
#define AFM3_PROBLEM_HEADER_CHECKSUM 2 /* the header's checksum does not hold */
#define AFM3_PROBLEM_HEADER_LAYOUT 3   /* header offsets, counts or row geometry */
#define AFM3_PROBLEM_FIELD_SCHEME 4    /* field definitions, names, index list */
#define AFM3_PROBLEM_PAGE_DIRECTORY 5  /* a page outside the file or out of order */
#define AFM3_PROBLEM_ENTRY_CHECKSUM 6  /* a record entry's checksum does not hold */
#define AFM3_PROBLEM_ENTRY_NUMBER 7    /* an entry's number is not its position */
#define AFM3_PROBLEM_ROW 8             /* a row block outside the file, a damaged mark */
#define AFM3_PROBLEM_HALF_DELETED 9    /* entry and row disagree on deletion */
#define AFM3_PROBLEM_HEAP_REFERENCE 10 /* a row's text or memo entry is damaged */
#define AFM3_PROBLEM_HEAP_STATE 11     /* the header's current heap block and marks */
#define AFM3_PROBLEM_VALUE_TABLE 12    /* a type-7 or type-8 field's value table */
#define AFM3_PROBLEM_STRING_VALUE 13   /* a type-9 string */
#define AFM3_PROBLEM_BLOB_VALUE 14     /* a type-10 value */
#define AFM3_PROBLEM_PICTURE_STRING 15 /* string A or string B of an entry */
#define AFM3_PROBLEM_PICTURE_DATA 16   /* an entry's picture-file data block */
#define AFM3_PROBLEM_IMAGE 17          /* a stored image */
#define AFM3_PROBLEM_RECORD_COUNT 18   /* recordCount is not the number of live entries */
#define AFM3_PROBLEM_NEXT_RECORD 19    /* nextRecordNumber is not above every record */
#define AFM3_PROBLEM_OVERLAP 20        /* two structures share bytes of the file */
#define AFM3_PROBLEM_KIND_MASK 0xFFFFu
#define AFM3_PROBLEM_REPAIRED 0x80000000u /* with repair: this problem was mended */

/* record and field when the problem concerns none */
#define AFM3_PROBLEM_NONE 0xFFFFFFFFu

typedef struct Afm3Problem {
  uint32_t kind;   /* AFM3_PROBLEM_*, possibly with AFM3_PROBLEM_REPAIRED */
  uint32_t offset; /* file offset of the damaged bytes */
  uint32_t record; /* record number, or AFM3_PROBLEM_NONE */
  uint32_t field;  /* field number, or AFM3_PROBLEM_NONE */
  char text[256];  /* what is wrong, NUL-terminated */
} Afm3Problem;

typedef void (*Afm3ProblemCallback)(void* ctx, const Afm3Problem* problem);

/* path: a path as afm3OpenAlbum takes it (outside Windows also a plain
 * absolute POSIX path). The C calling convention on every build. */
AFM3CHECK_API int afm3CheckAlbumFile(const char* path, int repair, Afm3ProblemCallback onProblem,
                                     void* ctx);

#ifdef __cplusplus
}
#endif

#endif /* AFM3_CHECK_H */
