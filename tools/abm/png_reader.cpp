// PNG pictures through libpng: every colour type and bit depth comes out as
// 8-bit RGB, or RGBA where the file has alpha or a transparency chunk, and
// transparent pixels are laid over white here. Rows are passed on as they
// are decoded, except for interlaced pictures, which must be held whole.
#include "picture_files.h"

#if ABM_PICTURE_LIBS
#include <png.h>

#include <csetjmp>
#include <cstring>
#include <vector>

namespace abm {

namespace {

constexpr size_t kMessageSize = 200;
constexpr uint32_t kOpaque = 255;

struct Reader {
  std::span<const uint8_t> bytes;
  size_t at = 0;
  char message[kMessageSize] = {};
};

void readBytes(png_structp png, png_bytep out, size_t count) {
  Reader* reader = static_cast<Reader*>(png_get_io_ptr(png));
  if (count > reader->bytes.size() - reader->at) png_error(png, "picture data ends early");
  std::memcpy(out, reader->bytes.data() + reader->at, count);
  reader->at += count;
}

void onError(png_structp png, png_const_charp message) {
  Reader* reader = static_cast<Reader*>(png_get_error_ptr(png));
  std::strncpy(reader->message, message, kMessageSize - 1);
  png_longjmp(png, 1);
}

void onWarning(png_structp, png_const_charp) {}

// One decoded row (RGB, or RGBA laid over white) into 8-bit RGB.
void toRgb(const uint8_t* in, uint32_t width, unsigned channels, uint8_t* out) {
  if (channels == 3) {
    std::memcpy(out, in, 3 * size_t{width});
    return;
  }
  for (uint32_t x = 0; x < width; ++x) {
    const uint8_t* p = in + 4 * size_t{x};
    const uint32_t alpha = p[3];
    for (int c = 0; c < 3; ++c)
      out[3 * x + c] = static_cast<uint8_t>(
          (p[c] * alpha + kOpaque * (kOpaque - alpha) + kOpaque / 2) / kOpaque);
  }
}

enum class Outcome { Done, Failed, TooLarge, HeldTooLarge, Refused };

// libpng reports errors by a long jump back into this function: the
// buffers it fills live in the caller's frame and are sized here before
// any libpng call that may jump.
Outcome runDecoder(png_structp png, png_infop info, RowSink& sink, std::vector<uint8_t>* held,
                   std::vector<uint8_t>* rgb) {
  if (setjmp(png_jmpbuf(png)) != 0) return Outcome::Failed;
  png_set_benign_errors(png, 0);
  png_set_user_limits(png, 0x7FFFFFFF, 0x7FFFFFFF);
  png_read_info(png, info);
  const uint32_t width = png_get_image_width(png, info);
  const uint32_t height = png_get_image_height(png, info);
  if (width > kMaxPictureEdge || height > kMaxPictureEdge) return Outcome::TooLarge;
  png_set_expand(png);
  png_set_strip_16(png);
  png_set_gray_to_rgb(png);
  const int passes = png_set_interlace_handling(png);
  png_read_update_info(png, info);
  const unsigned channels = png_get_channels(png, info);
  const size_t rowBytes = size_t{width} * channels;
  if (passes > 1 && uint64_t{width} * height > kMaxHeldPixels) return Outcome::HeldTooLarge;
  held->resize(passes > 1 ? rowBytes * height : rowBytes);
  rgb->resize(3 * size_t{width});
  if (!sink.begin(width, height)) return Outcome::Refused;
  if (passes > 1) {
    for (int pass = 0; pass < passes; ++pass) {
      for (uint32_t y = 0; y < height; ++y) png_read_row(png, held->data() + rowBytes * y, nullptr);
    }
  }
  for (uint32_t y = 0; y < height; ++y) {
    uint8_t* row = held->data() + (passes > 1 ? rowBytes * y : 0);
    if (passes == 1) png_read_row(png, row, nullptr);
    toRgb(row, width, channels, rgb->data());
    sink.row(rgb->data());
  }
  return Outcome::Done;
}

// Frees what libpng was given, whatever way the decoding ends.
struct PngRead {
  png_structp png = nullptr;
  png_infop info = nullptr;
  ~PngRead() { png_destroy_read_struct(&png, &info, nullptr); }
};

}  // namespace

bool decodePng(std::span<const uint8_t> bytes, RowSink& sink, std::string* problem) {
  Reader reader;
  reader.bytes = bytes;
  PngRead read;
  read.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &reader, onError, onWarning);
  if (read.png != nullptr) read.info = png_create_info_struct(read.png);
  if (read.info == nullptr) {
    *problem = "not enough memory for the picture";
    return false;
  }
  png_set_read_fn(read.png, &reader, readBytes);
  std::vector<uint8_t> held, rgb;
  const Outcome outcome = runDecoder(read.png, read.info, sink, &held, &rgb);
  switch (outcome) {
    case Outcome::Done:
      return true;
    case Outcome::Failed:
      *problem = reader.message[0] != 0 ? reader.message : "damaged PNG file";
      break;
    case Outcome::TooLarge:
      *problem = "PNG picture too large";
      break;
    case Outcome::HeldTooLarge:
      *problem = "interlaced PNG picture too large";
      break;
    case Outcome::Refused:
      *problem = "not enough memory for the picture";
      break;
  }
  return false;
}

}  // namespace abm

#else

namespace abm {

bool decodePng(std::span<const uint8_t>, RowSink&, std::string* problem) {
  *problem = "this build of the tool reads no PNG pictures (built without libpng)";
  return false;
}

}  // namespace abm

#endif
