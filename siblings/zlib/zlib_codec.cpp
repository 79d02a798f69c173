// q32zlib: one complete zlib stream per call, through the zlib library
// itself. Each direction keeps one stream state for the life of the
// library and resets it between calls: setting a state up allocates and
// clears about 270 KiB, several times the work of compressing one 32 KiB
// piece of a thumbnail.
#include <zlib.h>

#include <mutex>

#include "q32zlib.h"

namespace {

// Measured on 128 x 96 24-bit thumbnails (32 KiB pieces, a reused state):
// levels 4 to 9 give the same size within 0.1% and level 6 is about 3%
// faster than level 9; levels 1 to 3 save another 10% of the time for
// files 10% larger. Stored images are written once and read often.
constexpr int kLevel = Z_DEFAULT_COMPRESSION;

// A stream state made on first use and reset before every later use;
// calls may come from several threads, one at a time per state.
template <bool kDeflate>
struct Stream {
  std::mutex mutex;
  z_stream z{};
  bool ready = false;
  ~Stream() {
    if (ready) kDeflate ? deflateEnd(&z) : inflateEnd(&z);
  }
  // False when the state cannot be made (out of memory).
  bool begin() {
    if (ready) return (kDeflate ? deflateReset(&z) : inflateReset(&z)) == Z_OK;
    z = z_stream{};
    ready = (kDeflate ? deflateInit(&z, kLevel) : inflateInit(&z)) == Z_OK;
    return ready;
  }
};

template <bool kDeflate>
Stream<kDeflate>& stream() {
  static Stream<kDeflate> state;
  return state;
}

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
  Stream<true>& state = stream<true>();
  std::lock_guard<std::mutex> lock(state.mutex);
  if (!state.begin()) return QZ_NO_MEMORY;
  z_stream& z = state.z;
  z.next_in = const_cast<Bytef*>(source);
  z.avail_in = sourceLength;
  z.next_out = destination;
  z.avail_out = *length;
  const int result = deflate(&z, Z_FINISH);
  const DWORD produced = static_cast<DWORD>(z.total_out);
  if (result != Z_STREAM_END) return result == Z_OK ? QZ_OUTPUT_FULL : mapError(result);
  *length = produced;
  return QZ_OK;
}

int qzDecompress(DWORD chunkLength, const BYTE* chunk, DWORD* length, BYTE* destination) {
  if (length == nullptr || (chunkLength > 0 && chunk == nullptr) ||
      (*length > 0 && destination == nullptr))
    return QZ_BAD_ARGUMENTS;
  Stream<false>& state = stream<false>();
  std::lock_guard<std::mutex> lock(state.mutex);
  if (!state.begin()) return QZ_NO_MEMORY;
  z_stream& z = state.z;
  z.next_in = const_cast<Bytef*>(chunk);
  z.avail_in = chunkLength;
  z.next_out = destination;
  z.avail_out = *length;
  const int result = inflate(&z, Z_FINISH);
  const DWORD produced = static_cast<DWORD>(z.total_out);
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
