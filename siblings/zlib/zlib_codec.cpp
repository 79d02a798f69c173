// q32zlib: one zlib stream per call, through the zlib library itself.
#include <zlib.h>

#include "q32zlib.h"

namespace {

// Stored images are written once and read often: take the best ratio.
constexpr int kLevel = Z_BEST_COMPRESSION;

int mapError(int zlibResult) {
  switch (zlibResult) {
    case Z_MEM_ERROR:
      return QZ_NO_MEMORY;
    case Z_BUF_ERROR:
      return QZ_OUTPUT_FULL;
    default:
      return QZ_CORRUPT;
  }
}

}  // namespace

extern "C" {

int qzCompress(DWORD sourceLength, const BYTE* source, DWORD* length, BYTE* destination) {
  if (length == nullptr || (sourceLength > 0 && source == nullptr) ||
      (*length > 0 && destination == nullptr))
    return QZ_BAD_ARGUMENTS;
  z_stream z{};
  if (deflateInit(&z, kLevel) != Z_OK) return QZ_NO_MEMORY;
  z.next_in = const_cast<Bytef*>(source);
  z.avail_in = sourceLength;
  z.next_out = destination;
  z.avail_out = *length;
  const int result = deflate(&z, Z_FINISH);
  const DWORD produced = static_cast<DWORD>(z.total_out);
  deflateEnd(&z);
  if (result != Z_STREAM_END) return result == Z_OK ? QZ_OUTPUT_FULL : mapError(result);
  *length = produced;
  return QZ_OK;
}

int qzDecompress(DWORD chunkLength, const BYTE* chunk, DWORD* length, BYTE* destination) {
  if (length == nullptr || (chunkLength > 0 && chunk == nullptr) ||
      (*length > 0 && destination == nullptr))
    return QZ_BAD_ARGUMENTS;
  z_stream z{};
  if (inflateInit(&z) != Z_OK) return QZ_NO_MEMORY;
  z.next_in = const_cast<Bytef*>(chunk);
  z.avail_in = chunkLength;
  z.next_out = destination;
  z.avail_out = *length;
  const int result = inflate(&z, Z_FINISH);
  const DWORD produced = static_cast<DWORD>(z.total_out);
  inflateEnd(&z);
  if (result == Z_STREAM_END) {
    *length = produced;
    return QZ_OK;
  }
  // Unfinished with the room used up: the output did not fit; with room
  // left: the stream was cut short.
  if (result == Z_BUF_ERROR || result == Z_OK)
    return z.avail_out == 0 ? QZ_OUTPUT_FULL : QZ_CORRUPT;
  return mapError(result);
}

}  // extern "C"
