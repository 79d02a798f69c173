/* A program outside the project that links the installed album library:
 * creates an album in the folder it is given, inserts a record with one
 * number field and reads the record back. Exit status 0 when all holds. */
#include <stdio.h>
#include <string.h>

#include "afm3.h"
#include "afm3_bytes.h"

static int fail(const char* what) {
  fprintf(stderr, "consumer: %s failed\n", what);
  return 1;
}

int main(int argc, char** argv) {
  if (argc != 2 || argv[1][0] != '/') {
    fprintf(stderr, "usage: consumer ABSOLUTE-FOLDER\n");
    return 2;
  }
  /* The library's drive Z: is the root of the host file system. */
  char path[AFM3_MAX_PATH];
  if (snprintf(path, sizeof path, "Z:%s\\installed.ab3", argv[1]) >= (int)sizeof path)
    return fail("path");
  for (char* c = path; *c != '\0'; ++c)
    if (*c == '/') *c = '\\';

  HINSTANCE owner = (HINSTANCE)0x7100;
  unsigned char info[AFM3_ALBUM_INFO_SIZE];
  memset(info, 0, sizeof info);
  afm3PutU16(info + AFM3_INFO_THUMB_SIZE, 96);
  memcpy(info + AFM3_INFO_TITLE, "Installed", 10);
  unsigned char field[AFM3_FIELD_SPEC_SIZE];
  memset(field, 0, sizeof field);
  field[AFM3_SPEC_TYPE] = 1; /* a four-byte number */
  memcpy(field + AFM3_SPEC_NAME, "Count", 6);
  HANDLE album = afm3CreateAlbum(owner, info, 1, field, path, NULL, NULL);
  if (album == NULL) return fail("afm3CreateAlbum");
  afm3CloseAlbum(owner, album);
  if (afm3OpenAlbum(owner, path, AFM3_OPEN_READ_WRITE | AFM3_OPEN_SHARE_READ, &album, NULL, NULL,
                    NULL) == AFM3_OPEN_FAILED)
    return fail("afm3OpenAlbum to change");

  unsigned char entry[AFM3_RECORD_ENTRY_SIZE];
  memset(entry, 0, sizeof entry);
  unsigned char count[4];
  afm3PutU32(count, 0xC0FFEE);
  const void* values[] = {count, NULL};
  if (afm3InsertRecord(owner, album, entry, NULL, NULL, "Z:\\pictures\\a.jpg", values, NULL, NULL,
                       NULL) != 1)
    return fail("afm3InsertRecord");
  const uint16_t number = afm3GetU16(entry + AFM3_ENTRY_NUMBER);
  afm3CloseAlbum(owner, album);

  album = NULL;
  BYTE fieldCount = 0;
  HGLOBAL fields = NULL;
  if (afm3OpenAlbum(owner, path, AFM3_OPEN_READ_ONLY | AFM3_OPEN_SHARE_READ_WRITE, &album, NULL,
                    &fieldCount, &fields) == AFM3_OPEN_FAILED)
    return fail("afm3OpenAlbum to read");
  if (fields != NULL) GlobalFree(fields);
  if (fieldCount != 1) return fail("counting the fields");
  unsigned char read[4] = {0};
  const int valid = afm3IsValidRecord(owner, album, number);
  const int got = afm3ReadRecordField(owner, album, number, 0, read);
  afm3CloseAlbum(owner, album);
  if (valid != 1 || got != 1) return fail("reading the record back");
  if (afm3GetU32(read) != 0xC0FFEE) return fail("comparing the value");
  printf("record %u read back\n", (unsigned)number);
  return 0;
}
