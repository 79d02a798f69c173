#include "core/error_report.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "core/library_state.h"
#include "platform.h"
#include "q32comm.h"

namespace afm3 {

namespace {

constexpr int kMessageSize = 256;

uint32_t systemErrorMessageCode(uint32_t code) {
  // An album locked by another process shows up as access denied or as a
  // pending signal as often as a lock violation; they mean the same to the
  // user.
  if (code == plat::kErrAccessDenied || code == plat::kErrSignalPending)
    return plat::kErrLockViolation;
  return code;
}

// Where the printf conversion that starts at format[0] == '%' ends (one
// past its conversion letter).
const char* conversionEnd(const char* format) {
  const char* p = format + 1;
  while (*p != '\0' && std::strchr("-+ #0123456789.lhzjt", *p) != nullptr) ++p;
  return *p != '\0' ? p + 1 : p;
}

}  // namespace

void reportFormatted(uint32_t id, std::initializer_list<std::string_view> values, Location where,
                     uint32_t step) {
  char format[kMessageSize];
  loadMessage(id, format, kMessageSize);
  std::string text;
  const std::string_view* next = values.begin();
  for (const char* p = format; *p != '\0';) {
    if (p[0] != '%') {
      text += *p++;
    } else if (p[1] == '%') {
      text += '%';
      p += 2;
    } else {
      if (next != values.end()) text.append(*next++);
      p = conversionEnd(p);
    }
  }
  reportText(text.c_str(), where, step);
}

void loadMessage(uint32_t id, char* out, int size) {
  if (size <= 0) return;
  out[0] = '\0';
  if (plat::loadString(libraryState().resources, id, out, size) > 0) return;
  std::snprintf(out, static_cast<size_t>(size), "Error %u.", static_cast<unsigned>(id));
}

void reportError(uint32_t id, const char* text, uint32_t moduleCode, uint32_t functionCode,
                 uint32_t step, bool isSystemError) {
  char message[kMessageSize];
  if (text != nullptr) {
    std::snprintf(message, sizeof message, "%s", text);
  } else if (isSystemError) {
    if (id == 0) id = plat::lastError();
    loadMessage(kErrSystemBase + systemErrorMessageCode(id), message, kMessageSize);
  } else if (id != 0) {
    loadMessage(id, message, kMessageSize);
  } else {
    std::snprintf(message, sizeof message, "%s", "Internal bug.");
    id = kErrInternal;
  }
  c32SetDLLErrInfo(message, id, 0, moduleCode, functionCode, step);
}

}  // namespace afm3

namespace afm3 {

uint32_t errorIdForOpenFailure(uint32_t windowsError, OpenErrorMap map) {
  switch (windowsError) {
    case 2:
    case 3:
      return kErrNotFound;
    case 4:
      return kErrTooManyFiles;
    case 5:
    case 162:
      return map == OpenErrorMap::OpenAlbum ? kErrOpenFailed : kErrAccess;
    case 32:
    case 33:
      return kErrAccess;
    case 21:
    case 23:
    case 25:
    case 26:
    case 27:
    case 30:
    case 31:
      return kErrDevice;
    case 53:
    case 54:
    case 55:
    case 59:
    case 64:
    case 66:
      return kErrNetwork;
    case 206:
      return map == OpenErrorMap::CreateAlbum ? kErrNameTooLong : kErrOpenFailed;
    default:
      return kErrOpenFailed;
  }
}

}  // namespace afm3
