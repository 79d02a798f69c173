// Albums of versions 1.0, 1.2 and 2.0 made from their layouts, for the
// conversion tests: live and deleted records, texts, keywords and stored
// thumbnails.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "album_fixtures.h"

namespace convtest {

using afm3test::Bytes;

struct OldEntry {
  bool deleted = false;
  std::string folder = "C:\\PICS";  // version 2: folder and file name
  std::string file = "A.JPG";       // version 1: folder + "\" + file is the path
  std::string text;                 // field 5
  std::string name;                 // field 6 (version 2)
  std::vector<uint16_t> keywords;   // field 7 (version 2)
  uint8_t kind = 2;                 // version 2: source kind
  uint8_t colour = 7;               // version 2: format byte of the kind; version 1: byte 294
  uint8_t v1Flags = 0;              // version 1: byte 332
  uint16_t v2Flags = 0;             // version 2: caller bits
  uint8_t driveType = 3;            // version 2
  bool image = true;                // a raw true-colour thumbnail
  int32_t thumbBytesDelta = 0;      // version 1: stored size off by this much
};

struct OldAlbum {
  std::string title = "Old trip";
  std::string description = "From an older program";
  uint16_t thumbSize = 8;
  std::vector<std::string> keywords;  // version 2
  std::vector<OldEntry> entries;      // in record-number order
};

// The thumbnail pixel bytes an entry stores (24-bit rows, top first).
Bytes thumbnailOf(uint16_t thumbSize, size_t seed);

Bytes version2File(const OldAlbum& album);
Bytes version1File(const OldAlbum& album, uint8_t minor);

// Where things lie in a built version-2 file.
constexpr uint32_t kV2Header = 4784;
uint32_t v2FirstPage(const OldAlbum& album);

}  // namespace convtest
