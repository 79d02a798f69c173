// Converting the records of an old album into a new version-3 album.
//
// The new album is created at job.workPath with the scheme of converted
// albums (fields 0 to 4 caller data, 5 and 6 texts, 7 keyword indexes; a
// version-1 album has no fields 6 and 7) and every old entry, live or
// deleted, is inserted in the old record-number order into it, so each
// record gets its old number; deleted ones are deleted again at the end.
// Deleted entries after the last live record are not carried over.
#pragma once

#include <cstdint>
#include <string>

#include "afm3_types.h"

namespace afm3 {

struct ConvertJob {
  const char* oldPath = nullptr;   // the old album (library form)
  const char* workPath = nullptr;  // where the new album is built
  HWND progressWindow = nullptr;
  // Out: live records converted, records whose version-1 thumbnail did
  // not have the album's size (converted without an image), and the mark
  // file the new album takes over (version 2; empty when none).
  uint32_t converted = 0;
  uint32_t droppedImages = 0;
  std::string markFile;
  bool markFileCopied = false;  // markFile is a copy made for the new album
};

// Both return 1 when the new album is complete and closed, 0 after a
// report, -1 when the progress window cancelled; unless 1, the new file
// (and a mark file copied for it) is deleted.
int convertVersion2(HANDLE oldFile, const uint8_t* header, ConvertJob& job);
int convertVersion1(HANDLE oldFile, const uint8_t* header, ConvertJob& job);

}  // namespace afm3
