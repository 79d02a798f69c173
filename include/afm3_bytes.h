/* Little-endian access to the caller-side byte structures (AlbumInfo,
 * FieldSpec, RecordEntry, ImageHeader) and to the album file's own
 * structures. These are the only routines that turn bytes into integers
 * and back; nothing casts a structure over bytes. */
#ifndef AFM3_BYTES_H
#define AFM3_BYTES_H

#include <stdint.h>

static inline uint16_t afm3GetU16(const unsigned char* p) { return (uint16_t)(p[0] | (p[1] << 8)); }

static inline uint32_t afm3GetU32(const unsigned char* p) {
  return (uint32_t)p[0] | ((uint32_t)p[1] << 8) | ((uint32_t)p[2] << 16) | ((uint32_t)p[3] << 24);
}

static inline void afm3PutU16(unsigned char* p, uint16_t v) {
  p[0] = (unsigned char)(v & 0xFF);
  p[1] = (unsigned char)(v >> 8);
}

static inline void afm3PutU32(unsigned char* p, uint32_t v) {
  p[0] = (unsigned char)(v & 0xFF);
  p[1] = (unsigned char)((v >> 8) & 0xFF);
  p[2] = (unsigned char)((v >> 16) & 0xFF);
  p[3] = (unsigned char)(v >> 24);
}

#endif /* AFM3_BYTES_H */
