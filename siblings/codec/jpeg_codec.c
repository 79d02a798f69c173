/* qlibjpg: JPEG streams through libjpeg-turbo (see qlibjpg.h).
 *
 * Written in C because libjpeg reports errors by calling an exit routine:
 * ours jumps back (longjmp) to the call's entry, which must not skip any
 * C++ destructor. Every row copied in or out is bounded by the caller's
 * rowSize and imageSize; the output stream by the caller's capacity. */
#include <setjmp.h>
#include <stddef.h>
#include <stdio.h>
#include <string.h>

/* jpeglib.h needs size_t and FILE declared before it. */
#include <jerror.h>
#include <jpeglib.h>

#include "qlibjpg.h"

/* The blocks of the 32-bit build have the sizes callers were promised. */
#if defined(_WIN32) && !defined(_WIN64)
_Static_assert(sizeof(QJpgImageInfo) == 44, "QJpgImageInfo is 44 bytes");
_Static_assert(sizeof(QJpgWriteOptions) == 24, "QJpgWriteOptions is 24 bytes");
#endif

#define QJPG_DEFAULT_QUALITY 75
#define QJPG_MESSAGE_SIZE 200

static char lastMessage[QJPG_MESSAGE_SIZE];

static void setMessage(const char* text) { snprintf(lastMessage, sizeof lastMessage, "%s", text); }

/* ---- errors -------------------------------------------------------------- */

struct ErrorTrap {
  struct jpeg_error_mgr manager; /* first: libjpeg sees only this part */
  jmp_buf jump;
  int code;     /* the result the jump returns */
  int warnings; /* corrupt-data warnings while reading */
};

static void trapExit(j_common_ptr info) {
  struct ErrorTrap* trap = (struct ErrorTrap*)info->err;
  char text[JMSG_LENGTH_MAX];
  (*info->err->format_message)(info, text);
  setMessage(text);
  if (info->err->msg_code == JERR_OUT_OF_MEMORY) trap->code = QJPG_NO_MEMORY;
  longjmp(trap->jump, 1);
}

/* Warnings (level -1) mean corrupt or truncated data: remember them, keep
 * the first text. Trace messages are dropped. */
static void trapMessage(j_common_ptr info, int level) {
  struct ErrorTrap* trap = (struct ErrorTrap*)info->err;
  if (level >= 0) return;
  if (trap->warnings++ == 0) {
    char text[JMSG_LENGTH_MAX];
    (*info->err->format_message)(info, text);
    setMessage(text);
  }
}

static void installTrap(struct ErrorTrap* trap, int code) {
  jpeg_std_error(&trap->manager);
  trap->manager.error_exit = trapExit;
  trap->manager.emit_message = trapMessage;
  trap->code = code;
  trap->warnings = 0;
}

/* ---- output into the caller's buffer -------------------------------------- */

struct BoundedDestination {
  struct jpeg_destination_mgr manager; /* first, as libjpeg expects */
  struct ErrorTrap* trap;
  size_t capacity;
};

static void destinationStart(j_compress_ptr info) { (void)info; }

/* libjpeg asks for more room only when the whole capacity is used up. */
static boolean destinationFull(j_compress_ptr info) {
  struct BoundedDestination* d = (struct BoundedDestination*)info->dest;
  setMessage("The JPEG stream does not fit the output buffer.");
  d->trap->code = QJPG_BUFFER_TOO_SMALL;
  longjmp(d->trap->jump, 1);
  return FALSE;
}

static void destinationEnd(j_compress_ptr info) { (void)info; }

/* ---- checks ------------------------------------------------------------- */

static int badArguments(const char* text) {
  setMessage(text);
  return QJPG_BAD_ARGUMENTS;
}

/* A bitmap of rows rows of rowSize bytes, each holding width pixels of
 * bytesPerPixel bytes, fits in imageSize bytes. */
static int layoutFits(DWORD width, DWORD rows, DWORD bytesPerPixel, DWORD rowSize,
                      DWORD imageSize) {
  if (width == 0 || rows == 0 || rowSize == 0) return 0;
  if ((unsigned long long)width * bytesPerPixel > rowSize) return 0;
  return (unsigned long long)rowSize * rows <= imageSize;
}

/* ---- writing ------------------------------------------------------------- */

QLIBJPG_API int qJpgStreamWrite(QJpgBuffer* out, const QJpgImageInfo* image,
                                const QJpgWriteOptions* options) {
  struct jpeg_compress_struct info;
  struct ErrorTrap trap;
  struct BoundedDestination destination;
  /* Volatile: they live across the setjmp below. */
  volatile DWORD quality = QJPG_DEFAULT_QUALITY;
  volatile int colour = 0;
  DWORD row;

  lastMessage[0] = '\0';
  if (out == NULL || out->bytes == NULL || out->count == 0)
    return badArguments("No output buffer was given.");
  if (image == NULL || image->size != sizeof(QJpgImageInfo) || image->pixels == NULL)
    return badArguments("The image description is not valid.");
  if (image->layout > QJPG_LAYOUT_BITMAP ||
      (image->colourSamples != 0 && image->colourSamples != 3))
    return badArguments("The pixel layout is not supported.");
  if (image->bytesPerPixel != 1 && image->bytesPerPixel != 3)
    return badArguments("Only 8-bit grey and 24-bit colour pixels can be written.");
  if (image->width > JPEG_MAX_DIMENSION || image->height > JPEG_MAX_DIMENSION ||
      !layoutFits(image->width, image->height, image->bytesPerPixel, image->rowSize,
                  image->imageSize))
    return badArguments("The image sizes do not agree.");
  if (options != NULL) {
    if (options->size != sizeof(QJpgWriteOptions))
      return badArguments("The write options are not valid.");
    if (options->quality != 0) quality = options->quality > 100 ? 100 : options->quality;
    colour = options->colour != 0;
  }

  memset(&info, 0, sizeof info);
  installTrap(&trap, QJPG_WRITE_FAILED);
  info.err = &trap.manager;
  if (setjmp(trap.jump) != 0) {
    jpeg_destroy_compress(&info);
    return trap.code;
  }
  jpeg_create_compress(&info);

  destination.manager.next_output_byte = out->bytes;
  destination.manager.free_in_buffer = out->count;
  destination.manager.init_destination = destinationStart;
  destination.manager.empty_output_buffer = destinationFull;
  destination.manager.term_destination = destinationEnd;
  destination.trap = &trap;
  destination.capacity = out->count;
  info.dest = &destination.manager;

  info.image_width = image->width;
  info.image_height = image->height;
  info.input_components = (int)image->bytesPerPixel;
  info.in_color_space = image->bytesPerPixel == 3 ? JCS_RGB : JCS_GRAYSCALE;
  jpeg_set_defaults(&info);
  /* A grey bitmap always gives a grey stream; a colour one as asked. */
  if (image->bytesPerPixel == 3 && !colour) jpeg_set_colorspace(&info, JCS_GRAYSCALE);
  jpeg_set_quality(&info, (int)quality, TRUE);
  info.write_JFIF_header = TRUE;
  info.density_unit = 1; /* dots per inch */
  info.X_density = (UINT16)(image->xDensity > 65535 ? 65535 : image->xDensity);
  info.Y_density = (UINT16)(image->yDensity > 65535 ? 65535 : image->yDensity);

  jpeg_start_compress(&info, TRUE);
  /* The stream starts at the top: a bitmap's last row in memory. */
  for (row = 0; row < image->height; ++row) {
    DWORD at = image->layout == QJPG_LAYOUT_TOP_DOWN ? row : image->height - 1 - row;
    JSAMPROW line = image->pixels + (size_t)at * image->rowSize;
    jpeg_write_scanlines(&info, &line, 1);
  }
  jpeg_finish_compress(&info);
  out->count = (DWORD)(destination.capacity - destination.manager.free_in_buffer);
  jpeg_destroy_compress(&info);
  return QJPG_OK;
}

/* ---- reading ------------------------------------------------------------- */

static void sourceStart(j_decompress_ptr info) { (void)info; }

/* The whole stream is in memory: running out of it means it was cut
 * short. Hand libjpeg an end-of-image marker so it finishes the picture,
 * and count the warning. */
static boolean sourceFill(j_decompress_ptr info) {
  static const JOCTET endOfImage[2] = {0xFF, JPEG_EOI};
  WARNMS(info, JWRN_JPEG_EOF);
  info->src->next_input_byte = endOfImage;
  info->src->bytes_in_buffer = 2;
  return TRUE;
}

static void sourceSkip(j_decompress_ptr info, long count) {
  struct jpeg_source_mgr* s = info->src;
  if (count <= 0) return;
  if ((size_t)count > s->bytes_in_buffer) {
    (*s->fill_input_buffer)(info);
    return;
  }
  s->next_input_byte += count;
  s->bytes_in_buffer -= (size_t)count;
}

static void sourceEnd(j_decompress_ptr info) { (void)info; }

QLIBJPG_API int qJpgStreamRead(const QJpgBuffer* in, QJpgImageInfo* image, const void* reserved) {
  struct jpeg_decompress_struct info;
  struct jpeg_source_mgr source;
  struct ErrorTrap trap;
  JSAMPARRAY line = NULL;
  DWORD bitmapRows, rows, columns, bytesPerPixel, row;

  lastMessage[0] = '\0';
  if (reserved != NULL) return badArguments("The reserved argument must be null.");
  if (in == NULL || in->bytes == NULL || in->count == 0)
    return badArguments("No JPEG stream was given.");
  if (image == NULL || image->size != sizeof(QJpgImageInfo) || image->pixels == NULL ||
      image->rowSize == 0 || image->imageSize < image->rowSize ||
      image->layout > QJPG_LAYOUT_BITMAP)
    return badArguments("The image description is not valid.");

  memset(&info, 0, sizeof info);
  installTrap(&trap, QJPG_READ_FAILED);
  info.err = &trap.manager;
  if (setjmp(trap.jump) != 0) {
    jpeg_destroy_decompress(&info);
    return trap.code;
  }
  jpeg_create_decompress(&info);

  source.next_input_byte = in->bytes;
  source.bytes_in_buffer = in->count;
  source.init_source = sourceStart;
  source.fill_input_buffer = sourceFill;
  source.skip_input_data = sourceSkip;
  source.resync_to_restart = jpeg_resync_to_restart;
  source.term_source = sourceEnd;
  info.src = &source;

  jpeg_read_header(&info, TRUE);
  /* Colour (or any multi-sample stream) becomes RGB when a row has room
   * for three bytes a pixel, else grey; a grey stream stays grey. */
  bytesPerPixel = 1;
  info.out_color_space = JCS_GRAYSCALE;
  if (info.num_components > 1 && (unsigned long long)info.image_width * 3 <= image->rowSize) {
    bytesPerPixel = 3;
    info.out_color_space = JCS_RGB;
  }
  jpeg_start_decompress(&info);

  bitmapRows = image->imageSize / image->rowSize;
  rows = bitmapRows;
  if (rows > info.output_height) rows = info.output_height;
  columns = image->rowSize / bytesPerPixel;
  if (columns > info.output_width) columns = info.output_width;
  line = (*info.mem->alloc_sarray)((j_common_ptr)&info, JPOOL_IMAGE,
                                   info.output_width * (JDIMENSION)bytesPerPixel, 1);
  for (row = 0; row < info.output_height; ++row) {
    jpeg_read_scanlines(&info, line, 1);
    if (row < rows) {
      /* Picture row 0 is the top: a bitmap's last row in memory. */
      DWORD at = image->layout == QJPG_LAYOUT_TOP_DOWN ? row : bitmapRows - 1 - row;
      BYTE* target = image->pixels + (size_t)at * image->rowSize;
      memcpy(target, line[0], (size_t)columns * bytesPerPixel);
    }
  }
  jpeg_finish_decompress(&info);

  image->width = info.output_width;
  image->height = info.output_height;
  image->bytesPerPixel = bytesPerPixel;
  jpeg_destroy_decompress(&info);
  if (trap.warnings > 0) return QJPG_READ_FAILED;
  return QJPG_OK;
}

QLIBJPG_API const char* qJpgGetLastErrorMessage(void) { return lastMessage; }
