// Failure reports: every failure in the library is reported once, where it
// is detected, as an ErrorId with the location triple (module, function,
// step) of the operation, and handed to the common library as the caller's
// last error.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string_view>

namespace afm3 {

// Message identifiers of the resource library's string table.
enum ErrorId : uint32_t {
  kErrNone = 0,
  kErrInternal = 1,  // "Internal bug."
  kErrAlbumFilledUp = 6301,
  kErrWorkBuffer = 6401,
  kErrDiskSpaceFormat = 6402,
  kErrNoMemory = 6403,
  kErrNoDiskSpace = 6404,
  kErrHeaderWrite = 6405,
  kErrSeek = 6406,
  kErrOpenFailed = 6408,
  kErrLibraryLoadFormat = 6410,
  kErrNotAnAlbum = 6412,
  kErrNotFound = 6414,
  kErrTooManyFiles = 6415,
  kErrDevice = 6416,
  kErrAccess = 6417,
  kErrNetwork = 6418,
  kErrShortWrite = 6420,
  kErrShortRead = 6424,
  kErrChecksum = 6425,
  kErrBadVersion = 6426,
  kErrTextTooLong = 6427,
  kErrNamesTaken = 6428,
  kErrUnusableTitle = 6429,
  kErrMarkHeader = 6432,
  kErrMarkFile = 6433,
  kErrAppDataFormat = 6434,
  kErrImageKind = 6435,
  kErrMarkCount = 6435,  // mark records and their count disagree (reported with its own text)
  kErrStoredFileMissing = 6436,
  kErrAlbumFull = 6437,
  kErrFieldDefinition = 6439,
  kErrTooManyFields = 6440,
  kErrNotOpenAlbum = 6441,
  kErrInvalidRecord = 6444,
  kErrSystemBase = 6600,  // 6600 + Windows error n
  kErrReadLocked = 6633,  // a read kept failing with a lock violation
  kErrNameTooLong = 6806,
};

// Operation codes of the location triple.
enum ModuleCode : uint32_t {
  kModAlbum = 7000,
  kModRecordRead = 7001,
  kModImage = 7002,
  kModAlbumMisc = 7003,
  kModRecordWrite = 7004,
  kModReorganize = 7005,
  kModRecordState = 7006,
  kModReopen = 7007,
  kModConvert = 7008,
  kModClients = 7009,
  kModPaths = 7011,
  kModMarks = 7012,
  kModMarkFiles = 7013,
  kModPictureData = 7014,
};

struct Location {
  uint32_t module;
  uint32_t function;
};

// Reports a failure. text, when given, is a message already formatted;
// otherwise the message of id is loaded from the resource library. With
// isSystemError, id is a Windows error code (0: the thread's last error)
// and message 6600 + code is loaded, access-denied and signal-pending
// counting as lock violations; the code itself is handed on.
void reportError(uint32_t id, const char* text, uint32_t moduleCode, uint32_t functionCode,
                 uint32_t step, bool isSystemError);

inline void reportError(uint32_t id, Location where, uint32_t step) {
  reportError(id, nullptr, where.module, where.function, step, false);
}
inline void reportSystemError(uint32_t windowsError, Location where, uint32_t step) {
  reportError(windowsError, nullptr, where.module, where.function, step, true);
}
inline void reportText(const char* text, Location where, uint32_t step) {
  reportError(0, text, where.module, where.function, step, false);
}

// Reports message id of the resource library as a ready text (id 0), its
// printf-style conversions filled in order with values. The message is
// never used as a format itself: a conversion without a value stays empty.
void reportFormatted(uint32_t id, std::initializer_list<std::string_view> values, Location where,
                     uint32_t step);

// Loads message id of the resource library into out (at most size - 1
// characters); an unknown id gives a generic text naming the number.
void loadMessage(uint32_t id, char* out, int size);

// Loads message id, a format, and puts args[i] (texts) in place of its i-th
// conversion ("%s", "%lu", "%d", any printf-style one; "%%" gives "%"),
// into out (at most size - 1 characters). A text from the resource library
// is never handed to printf itself.
void formatMessage(uint32_t id, const char* const* args, uint32_t count, char* out, uint32_t size);

}  // namespace afm3

namespace afm3 {

// How a failed file creation or opening is reported: map A serves album
// creation (long names give 6806), replacing and reopening (they give
// 6408); map B serves album opening, where access denied and signal
// pending give 6408 too.
enum class OpenErrorMap { CreateAlbum, ReopenAlbum, OpenAlbum };
uint32_t errorIdForOpenFailure(uint32_t windowsError, OpenErrorMap map);

}  // namespace afm3
