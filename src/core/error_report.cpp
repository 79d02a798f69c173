#include "core/error_report.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

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

}  // namespace

void reportFormatted(uint32_t id, std::initializer_list<std::string_view> values, Location where,
                     uint32_t step) {
  std::vector<std::string> owned(values.begin(), values.end());
  std::vector<const char*> args;
  for (const std::string& value : owned) args.push_back(value.c_str());
  char text[kMessageSize];
  formatMessage(id, args.data(), static_cast<uint32_t>(args.size()), text, sizeof text);
  reportText(text, where, step);
}

void loadMessage(uint32_t id, char* out, int size) {
  if (size <= 0) return;
  out[0] = '\0';
  if (plat::loadString(libraryState().resources, id, out, size) > 0) return;
  std::snprintf(out, static_cast<size_t>(size), "Error %u.", static_cast<unsigned>(id));
}

namespace {

// The end of a printf-style conversion that starts at p ('%'): flags,
// width, precision and length letters, then the conversion letter.
const char* conversionEnd(const char* p) {
  const char* q = p + 1;
  while (*q != '\0' && std::strchr("-+ #0123456789.hlLqjzt", *q) != nullptr) ++q;
  return *q == '\0' ? q : q + 1;
}

}  // namespace

void formatMessage(uint32_t id, const char* const* args, uint32_t count, char* out, uint32_t size) {
  if (size == 0) return;
  char format[kMessageSize];
  loadMessage(id, format, kMessageSize);
  uint32_t used = 0;
  uint32_t next = 0;
  const auto put = [&](const char* text, size_t length) {
    for (size_t i = 0; i < length && used + 1 < size; ++i) out[used++] = text[i];
  };
  for (const char* p = format; *p != '\0';) {
    if (p[0] != '%') {
      put(p++, 1);
    } else if (p[1] == '%') {
      put(p, 1);
      p += 2;
    } else {
      const char* arg = next < count ? args[next] : "";
      ++next;
      put(arg, std::strlen(arg));
      p = conversionEnd(p);
    }
  }
  out[used] = '\0';
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
