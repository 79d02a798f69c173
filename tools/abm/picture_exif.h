// What a photo's EXIF data says about it: how the camera was held, when
// the photo was taken and with which camera. Only JPEG files carry it here;
// pictures without it read as upright, with no date and no camera.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "thumbnail.h"

namespace abm {

struct ExifFacts {
  int orientation = 1;  // 1 to 8 as the Orientation tag counts; 1 is upright
  std::string taken;    // DateTimeOriginal as "YYYY-MM-DD hh:mm:ss", or empty
  std::string camera;   // Make and Model, or empty
};

// The EXIF facts of a picture file's bytes (defaults without EXIF data, or
// when the tool is built without libexif).
ExifFacts exifFactsOf(std::span<const uint8_t> bytes);

// A picture as its file stores it turned upright: orientations 5 to 8 swap
// width and height, values outside 1 to 8 leave it as it is.
RgbPicture uprightPicture(const RgbPicture& stored, int orientation);

// "YYYY:MM:DD hh:mm:ss" (the EXIF form) as "YYYY-MM-DD hh:mm:ss"; empty
// when the text is not such a date and time.
std::string exifDateTime(const std::string& text);

}  // namespace abm
