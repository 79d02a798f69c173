#include "pictures/picture_strings.h"

#include <cstring>

#include "afm3_bytes.h"
#include "core/album_io.h"
#include "records/record_fetch.h"

namespace afm3 {

namespace {
constexpr uint32_t kLengthWord = 2;
}  // namespace

bool readStoredString(HANDLE file, uint32_t offset, uint32_t maxStored, char* out,
                      const StoredStringSteps& steps) {
  uint8_t word[kLengthWord];
  if (!seekTo(file, offset, steps.where, steps.seek) ||
      !readExact(file, word, sizeof word, steps.where, steps.length))
    return false;
  const uint32_t n = afm3GetU16(word);
  if (n > maxStored) {
    reportError(kErrInvalidRecord, steps.where, steps.tooLong);
    return false;
  }
  if (!fitsInFile(uint64_t{offset} + kLengthWord, n, fileLength(file))) {
    reportError(kErrShortRead, steps.where, steps.bytes);
    return false;
  }
  if (n == 0) {
    if (maxStored > 0) out[0] = '\0';
    return true;
  }
  if (!readExact(file, out, n, steps.where, steps.bytes)) return false;
  out[n - 1] = '\0';
  return true;
}

uint32_t appendBlock(HANDLE file, const void* bytes, uint32_t n, const AppendSteps& steps) {
  const uint32_t at = seekToEnd(file, steps.where, steps.length);
  if (at == 0xFFFFFFFFu) return 0;
  uint8_t word[kLengthWord];
  afm3PutU16(word, static_cast<uint16_t>(n));
  if (!writeExact(file, word, sizeof word, kErrHeaderWrite, steps.where, steps.length) ||
      (n > 0 && !writeExact(file, bytes, n, kErrHeaderWrite, steps.where, steps.bytes)))
    return 0;
  return at;
}

uint32_t appendStoredString(HANDLE file, const char* text, const AppendSteps& steps) {
  return appendBlock(file, text, static_cast<uint32_t>(std::strlen(text)) + 1, steps);
}

}  // namespace afm3
