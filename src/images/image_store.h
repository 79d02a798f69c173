// Storing a record's image in an album and reading it back: what record
// insertion, image replacement, reorganizing and the image read build on.
//
//   EncodedImage image;
//   if (!encodeImage(header, dib, &image)) return 0;      // reported
//   ... check image.storedLength() bytes of disk space, seek to the end ...
//   if (!writeEncodedImage(file, image, steps)) return 0;  // reported
//
//   HGLOBAL dib = nullptr;
//   int kind = readStoredImage(file, imageOffset, &dib);
#pragma once

#include <cstdint>

#include "afm3_types.h"
#include "core/error_report.h"
#include "core/heap_block.h"
#include "images/image_format.h"

namespace afm3 {

// An image ready to be appended: its ImageHeader as stored, the colour
// table that follows it (possibly none) and the pixel data (encoded, or the
// bitmap's own rows, which stay locked until the EncodedImage goes away).
class EncodedImage {
 public:
  EncodedImage() = default;
  ~EncodedImage();
  EncodedImage(const EncodedImage&) = delete;
  EncodedImage& operator=(const EncodedImage&) = delete;

  const uint8_t* header() const { return header_; }
  const uint8_t* colourTable() const { return table_; }
  uint32_t colourTableBytes() const { return tableBytes_; }
  const uint8_t* data() const { return data_; }
  uint32_t dataBytes() const { return dataBytes_; }
  // Bytes the stored image takes in the album: header, table and data.
  uint32_t storedLength() const { return kImageHeaderSize + tableBytes_ + dataBytes_; }

 private:
  friend bool encodeImage(uint8_t* header, HGLOBAL dib, EncodedImage* out);
  uint8_t header_[kImageHeaderSize] = {};
  uint8_t table_[4 * kMaxColourEntries] = {};
  uint32_t tableBytes_ = 0;
  LockedBlock encoded_;
  HGLOBAL lockedDib_ = nullptr;
  const uint8_t* data_ = nullptr;
  uint32_t dataBytes_ = 0;
};

// Encodes the bitmap dib (a movable global block holding a packed DIB) as
// the caller's 16-byte ImageHeader asks: ColourKind (byte 8), compression
// (9), width (10), height (12), flag bit 0 (14). The bitmap must be of the
// kind's depth and the header's size. On return the caller's header holds
// the stored size (0), colour-table entry count (4), flags (14, 15) and
// the compression actually used (9): 0 after a JPEG stream too long to be
// stored, 3 for any code the zlib encoder served. out is a fresh
// EncodedImage. False after a reported failure (module 7002).
bool encodeImage(uint8_t* header, HGLOBAL dib, EncodedImage* out);

// Where a caller reports short writes of the three parts.
struct ImageWriteSteps {
  uint32_t errorId;  // 6405 for image replacement, 6420 for insertion
  Location where;
  uint32_t headerStep;
  uint32_t tableStep;
  uint32_t encodedStep;  // compressed pixel data
  uint32_t rawStep;      // raw pixel data
};
// Appends the image at the file pointer.
bool writeEncodedImage(HANDLE file, const EncodedImage& image, const ImageWriteSteps& steps);

// Reads the image stored at offset (afm3ReadRecordImage, from its image
// header on; failures reported under module 7003, function 5).
// With dibOut null: 1 when the codec the image needs is available, else -2.
// Otherwise *dibOut receives a new movable global block with the bitmap
// and the result is the image's ColourKind; -2 when the codec library
// cannot be loaded; 0 after any other failure. *dibOut is null unless the
// result is positive. A JPEG or zlib stream that fails part-way still
// gives the bitmap (with what was decoded), after the failure was reported.
int readStoredImage(HANDLE file, uint32_t offset, HGLOBAL* dibOut);

}  // namespace afm3
