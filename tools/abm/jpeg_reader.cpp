// JPEG pictures through libjpeg, reduced while decoding when only a
// thumbnail is wanted. A file that ends before its end mark is refused:
// libjpeg would fill the missing rows with grey, and its decoder reads
// ahead, so a missing end mark cannot be told from missing rows.
#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>

#include "picture_files.h"

// clang-format off
#include <jpeglib.h>
#include <jerror.h>
// clang-format on

namespace abm {

namespace {

// More memory than this for one picture (the coefficients of a large
// progressive picture) makes libjpeg fail instead of allocating.
constexpr long kMaxDecoderMemory = 384L << 20;

struct Trap {
  jpeg_error_mgr manager;  // first: libjpeg only knows this part
  std::jmp_buf jump;
  bool endedEarly;
  char message[JMSG_LENGTH_MAX];
};

void trapExit(j_common_ptr common) {
  Trap* trap = reinterpret_cast<Trap*>(common->err);
  (*common->err->format_message)(common, trap->message);
  std::longjmp(trap->jump, 1);
}

void trapMessage(j_common_ptr common, int level) {
  if (level >= 0) return;  // trace output
  Trap* trap = reinterpret_cast<Trap*>(common->err);
  ++common->err->num_warnings;
  if (common->err->msg_code == JWRN_JPEG_EOF) trap->endedEarly = true;
}

enum class Outcome { Done, Failed, TooLarge, Refused, EndedEarly };

void toRgb(const jpeg_decompress_struct& info, const JSAMPLE* in, JSAMPLE* out) {
  const unsigned width = info.output_width;
  if (info.out_color_space == JCS_GRAYSCALE) {
    for (unsigned x = 0; x < width; ++x) out[3 * x] = out[3 * x + 1] = out[3 * x + 2] = in[x];
  } else if (info.out_color_space == JCS_CMYK) {
    // Adobe's files hold inverted ink values.
    const bool inverted = info.saw_Adobe_marker;
    for (unsigned x = 0; x < width; ++x) {
      const JSAMPLE* p = in + 4 * x;
      const unsigned k = inverted ? p[3] : 255u - p[3];
      for (int c = 0; c < 3; ++c) {
        const unsigned ink = inverted ? p[c] : 255u - p[c];
        out[3 * x + c] = static_cast<JSAMPLE>((ink * k + 127) / 255);
      }
    }
  } else {
    std::memcpy(out, in, 3 * size_t{width});
  }
}

// libjpeg reports errors by a long jump back into this function, so
// nothing here owns memory: the row buffers come from libjpeg's own pools,
// released by jpeg_destroy_decompress.
Outcome runDecoder(jpeg_decompress_struct* info, Trap* trap, std::span<const uint8_t> bytes,
                   RowSink& sink, uint32_t minimumEdge) {
  if (setjmp(trap->jump) != 0) return Outcome::Failed;
  jpeg_create_decompress(info);
  info->mem->max_memory_to_use = kMaxDecoderMemory;
  jpeg_mem_src(info, bytes.data(), static_cast<unsigned long>(bytes.size()));
  jpeg_read_header(info, TRUE);
  if (info->image_width > kMaxPictureEdge || info->image_height > kMaxPictureEdge)
    return Outcome::TooLarge;
  switch (info->jpeg_color_space) {
    case JCS_GRAYSCALE:
      info->out_color_space = JCS_GRAYSCALE;
      break;
    case JCS_CMYK:
    case JCS_YCCK:
      info->out_color_space = JCS_CMYK;
      break;
    default:
      info->out_color_space = JCS_RGB;
  }
  const uint32_t longer = std::max(info->image_width, info->image_height);
  unsigned reduction = 1;
  while (minimumEdge > 0 && reduction < 8 &&
         (longer + 2 * reduction - 1) / (2 * reduction) >= minimumEdge)
    reduction *= 2;
  info->scale_num = 1;
  info->scale_denom = reduction;
  jpeg_start_decompress(info);

  const JDIMENSION width = info->output_width;
  JSAMPARRAY line = (*info->mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(info), JPOOL_IMAGE,
                                               width * info->output_components, 1);
  JSAMPARRAY rgb =
      (*info->mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(info), JPOOL_IMAGE, width * 3, 1);
  if (!sink.begin(width, info->output_height)) return Outcome::Refused;
  while (info->output_scanline < info->output_height) {
    if (jpeg_read_scanlines(info, line, 1) != 1 || trap->endedEarly) return Outcome::EndedEarly;
    toRgb(*info, line[0], rgb[0]);
    sink.row(rgb[0]);
  }
  jpeg_finish_decompress(info);
  return trap->endedEarly ? Outcome::EndedEarly : Outcome::Done;
}

}  // namespace

bool decodeJpeg(std::span<const uint8_t> bytes, RowSink& sink, uint32_t minimumEdge,
                std::string* problem) {
  jpeg_decompress_struct info;
  std::memset(&info, 0, sizeof info);
  Trap trap;
  std::memset(&trap, 0, sizeof trap);
  info.err = jpeg_std_error(&trap.manager);
  trap.manager.error_exit = trapExit;
  trap.manager.emit_message = trapMessage;
  const Outcome outcome = runDecoder(&info, &trap, bytes, sink, minimumEdge);
  jpeg_destroy_decompress(&info);
  switch (outcome) {
    case Outcome::Done:
      return true;
    case Outcome::Failed:
      *problem = trap.message;
      break;
    case Outcome::TooLarge:
      *problem = "JPEG picture too large";
      break;
    case Outcome::Refused:
      *problem = "not enough memory for the picture";
      break;
    case Outcome::EndedEarly:
      *problem = "picture data ends early";
      break;
  }
  return false;
}

}  // namespace abm
