// Inserting a record (the work of afm3InsertRecord) for callers inside the
// library, with paths already in the library's form.
#pragma once

#include <cstdint>

#include "afm3_types.h"

namespace afm3 {

// entry: the 280-byte RecordEntry (receives the stored entry); imageHeader
// and dib: the image, or null; stringA/stringB: the picture's path and the
// extra string, or null; values: one pointer per live field, or null for
// an empty row. Returns 1, 0 after a report, or -1 when the album filled up.
int insertRecord(HINSTANCE ownerKey, HANDLE album, uint8_t* entry, uint8_t* imageHeader,
                 HGLOBAL dib, const char* stringA, const void* const* values, DWORD* imageOffsetOut,
                 DWORD* stringAOffsetOut, const char* stringB);

}  // namespace afm3
