// The reduced reads of version-2 albums (opened read-only): a record is
// its name text (field 0), its 64-byte keyword index set (field 1) and its
// description string (field 2).
#pragma once

#include <cstdint>

#include "afm3_types.h"
#include "core/album_table.h"
#include "core/error_report.h"
#include "core/heap_block.h"

namespace afm3 {

// Reads the 4784-byte version-2 header into *header; false after a report.
bool readV2Header(HANDLE file, LockedBlock* header, Location where, uint32_t allocStep,
                  uint32_t seekStep, uint32_t readStep);

int readRecordV2(const AlbumSlot& slot, uint32_t record, uint8_t** recordOut, uint8_t*** valuesOut);
int readRecordFieldV2(const AlbumSlot& slot, uint32_t record, uint32_t field, void* buffer);
int readRecordFieldExV2(const AlbumSlot& slot, uint32_t record, uint32_t field, HGLOBAL* out);
// codes select per row: 0 the name (a pointer, then the 128 name bytes),
// 1 the 64-byte block, 2 the 12 bytes at entry offsets 64..75.
uint32_t readFieldBlockV2(const AlbumSlot& slot, uint32_t n, uint32_t m, const DWORD* records,
                          uint32_t first, const uint8_t* codes, uint8_t** blockOut,
                          uint8_t*** rowsOut);

}  // namespace afm3
