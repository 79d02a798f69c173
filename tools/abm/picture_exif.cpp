#include "picture_exif.h"

#include <cctype>

#include "picture_files.h"

#if ABM_PICTURE_LIBS
#include <libexif/exif-data.h>
#endif

namespace abm {

namespace {

constexpr int kLastOrientation = 8;

#if ABM_PICTURE_LIBS
std::string trimmed(std::string text) {
  while (!text.empty() && (text.back() == ' ' || text.back() == '\0')) text.pop_back();
  const size_t start = text.find_first_not_of(' ');
  return start == std::string::npos ? std::string() : text.substr(start);
}

// An ASCII entry of the first IFD that has the tag, up to its NUL.
std::string asciiEntry(ExifData* data, ExifTag tag) {
  ExifEntry* entry = exif_data_get_entry(data, tag);
  if (entry == nullptr || entry->format != EXIF_FORMAT_ASCII || entry->data == nullptr) return {};
  const char* text = reinterpret_cast<const char*>(entry->data);
  size_t length = 0;
  while (length < entry->size && text[length] != '\0') ++length;
  return trimmed(std::string(text, length));
}

int orientationEntry(ExifData* data) {
  ExifEntry* entry = exif_data_get_entry(data, EXIF_TAG_ORIENTATION);
  if (entry == nullptr || entry->format != EXIF_FORMAT_SHORT || entry->size < 2) return 1;
  const int value = exif_get_short(entry->data, exif_data_get_byte_order(data));
  return value >= 1 && value <= kLastOrientation ? value : 1;
}
#endif

}  // namespace

ExifFacts exifFactsOf(std::span<const uint8_t> bytes) {
  ExifFacts facts;
#if ABM_PICTURE_LIBS
  if (pictureFormatOf(bytes) != PictureFormat::Jpeg) return facts;
  ExifData* data = exif_data_new();
  if (data == nullptr) return facts;
  // Read the entries as the camera wrote them, without adding or mending any.
  exif_data_unset_option(data, EXIF_DATA_OPTION_FOLLOW_SPECIFICATION);
  exif_data_load_data(data, bytes.data(), static_cast<unsigned>(bytes.size()));
  facts.orientation = orientationEntry(data);
  facts.taken = exifDateTime(asciiEntry(data, EXIF_TAG_DATE_TIME_ORIGINAL));
  const std::string make = asciiEntry(data, EXIF_TAG_MAKE);
  const std::string model = asciiEntry(data, EXIF_TAG_MODEL);
  // Many cameras repeat the maker in the model's name.
  facts.camera = model.compare(0, make.size(), make) == 0 ? model : trimmed(make + " " + model);
  exif_data_unref(data);
#else
  (void)bytes;
#endif
  return facts;
}

RgbPicture uprightPicture(const RgbPicture& stored, int orientation) {
  if (orientation < 2 || orientation > kLastOrientation) return stored;
  const uint32_t w = stored.width, h = stored.height;
  const bool swapped = orientation >= 5;
  RgbPicture out;
  out.width = swapped ? h : w;
  out.height = swapped ? w : h;
  out.rgb.resize(stored.rgb.size());
  for (uint32_t y = 0; y < out.height; ++y) {
    for (uint32_t x = 0; x < out.width; ++x) {
      // The stored pixel seen at (x, y) of the upright picture.
      uint32_t sx = x, sy = y;
      switch (orientation) {
        case 2:
          sx = w - 1 - x;
          break;
        case 3:
          sx = w - 1 - x;
          sy = h - 1 - y;
          break;
        case 4:
          sy = h - 1 - y;
          break;
        case 5:
          sx = y;
          sy = x;
          break;
        case 6:
          sx = y;
          sy = h - 1 - x;
          break;
        case 7:
          sx = w - 1 - y;
          sy = h - 1 - x;
          break;
        case 8:
          sx = w - 1 - y;
          sy = x;
          break;
      }
      const uint8_t* from = stored.rgb.data() + 3 * (uint64_t{sy} * w + sx);
      uint8_t* to = out.rgb.data() + 3 * (uint64_t{y} * out.width + x);
      to[0] = from[0];
      to[1] = from[1];
      to[2] = from[2];
    }
  }
  return out;
}

std::string exifDateTime(const std::string& text) {
  static const char kForm[] = "dddd:dd:dd dd:dd:dd";
  if (text.size() != sizeof kForm - 1) return {};
  std::string out = text;
  for (size_t i = 0; i < text.size(); ++i) {
    const bool digit = std::isdigit(static_cast<unsigned char>(text[i])) != 0;
    if (kForm[i] == 'd' ? !digit : text[i] != kForm[i]) return {};
  }
  out[4] = out[7] = '-';
  return out;
}

}  // namespace abm
