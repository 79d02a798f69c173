// Verbs that look at an album as a whole: check and info (check --deep and
// repair are in check_verbs.cpp).
#include "album_verbs.h"

#include <cstdio>
#include <string>
#include <vector>

#include "afm3.h"
#include "afm3_bytes.h"
#include "field_names.h"
#include "host_paths.h"
#include "q32comm.h"

namespace abm {

namespace {

constexpr DWORD kVersion3 = 0x300;
constexpr DWORD kVersion2Header = 4784;
constexpr DWORD kVersion2TitleOffset = 10;
constexpr DWORD kVersion2RecordsOffset = 8;
constexpr DWORD kVersion1TitleOffset = 20;
constexpr DWORD kVersion1RecordsOffset = 18;

std::string cString(const unsigned char* p, size_t size) {
  size_t n = 0;
  while (n < size && p[n] != 0) ++n;
  return std::string(reinterpret_cast<const char*>(p), n);
}

std::string albumTitle(const unsigned char* info) {
  return cString(info + AFM3_INFO_TITLE, AFM3_INFO_TITLE_SIZE) +
         cString(info + AFM3_INFO_TITLE_TAIL, AFM3_ALBUM_INFO_SIZE - AFM3_INFO_TITLE_TAIL);
}

// The title and record count a header of any version holds.
void printHeaderSummary(DWORD version, const unsigned char* h) {
  if (version == kVersion3) {
    std::printf("title:       %s\nrecords:     %u\n", albumTitle(h).c_str(),
                afm3GetU16(h + AFM3_INFO_RECORD_COUNT));
  } else if (version == 0x200) {
    std::printf("title:       %s\nrecords:     %u\n", cString(h + kVersion2TitleOffset, 24).c_str(),
                afm3GetU16(h + kVersion2RecordsOffset));
  } else {
    std::printf("title:       %s\nrecords:     %u\n", cString(h + kVersion1TitleOffset, 24).c_str(),
                afm3GetU16(h + kVersion1RecordsOffset));
  }
}

void printVersion3Info(const unsigned char* i) {
  printHeaderSummary(kVersion3, i);
  std::printf(
      "description: %s\n",
      cString(i + AFM3_INFO_DESCRIPTION, AFM3_INFO_SHOWN_FLAG - AFM3_INFO_DESCRIPTION).c_str());
  const unsigned thumb = afm3GetU16(i + AFM3_INFO_THUMB_SIZE);
  std::printf("thumbnails:  %u x %u\n", thumb, thumb);
  std::printf("next number: %u\n", afm3GetU16(i + AFM3_INFO_NEXT_RECORD_NUMBER));
  std::printf("protected:   %s\n", i[AFM3_INFO_PROTECT] != 0 ? "yes" : "no");
}

void printFields(HGLOBAL specs, unsigned count) {
  std::printf("fields:      %u\n", count);
  const auto* field = static_cast<const unsigned char*>(GlobalLock(specs));
  for (unsigned n = 0; field != nullptr && n < count; ++n, field += AFM3_FIELD_SPEC_SIZE) {
    const unsigned type = field[AFM3_SPEC_TYPE];
    std::printf("  %3u  %-8s %-32s", field[AFM3_SPEC_NUMBER], fieldTypeName(type),
                cString(field + AFM3_SPEC_NAME, AFM3_SPEC_NAME_SIZE).c_str());
    if (field[AFM3_SPEC_INDEX] != 0) std::printf(" index=%u", field[AFM3_SPEC_INDEX]);
    if (type & AFM3_SPEC_ATTRIBUTE_BIT) std::printf(" attribute");
    std::printf("\n");
  }
  GlobalUnlock(specs);
}

}  // namespace

int runCheck(const Args& args) {
  if (args.has("deep")) return runDeepCheck(args);
  const std::string path = toLibraryPath(args.positional[0]);
  std::vector<unsigned char> header(kVersion2Header);
  c32ClearDLLErrInfo();
  const DWORD version = afm3CheckAlbum(0, 0, nullptr, path.c_str(), header.data());
  if (version == 0) return failWithLastError("check " + args.positional[0]);
  std::printf("%s: album format %lu.%lu, valid\n", args.positional[0].c_str(),
              static_cast<unsigned long>(version >> 8), static_cast<unsigned long>(version & 0xFF));
  printHeaderSummary(version, header.data());
  return 0;
}

int runInfo(const Args& args) {
  if (args.has("pages")) return runInfoPages(args);
  const std::string path = toLibraryPath(args.positional[0]);
  std::vector<unsigned char> header(kVersion2Header);
  c32ClearDLLErrInfo();
  const DWORD version = afm3CheckAlbum(0, 0, nullptr, path.c_str(), header.data());
  if (version == 0) return failWithLastError("check " + args.positional[0]);
  std::printf("format:      %lu.%lu\n", static_cast<unsigned long>(version >> 8),
              static_cast<unsigned long>(version & 0xFF));
  if (version != kVersion3) printHeaderSummary(version, header.data());
  if (version != kVersion3 && version != 0x200) return 0;  // older albums are only converted

  const HINSTANCE owner = toolOwnerKey();
  HANDLE album = nullptr;
  BYTE fieldCount = 0;
  HGLOBAL specs = nullptr;
  const DWORD mode =
      afm3OpenAlbum(owner, path.c_str(), AFM3_OPEN_READ_ONLY | AFM3_OPEN_SHARE_READ_WRITE, &album,
                    nullptr, &fieldCount, &specs);
  if (mode == AFM3_OPEN_FAILED) return failWithLastError("open " + args.positional[0]);
  int status = 0;
  if (version == kVersion3) {
    std::vector<unsigned char> info(AFM3_ALBUM_INFO_SIZE);
    if (afm3ReadBasicAlbumInfo(owner, album, info.data()))
      printVersion3Info(info.data());
    else
      status = failWithLastError("read information of " + args.positional[0]);
  }
  if (specs != nullptr) {
    printFields(specs, fieldCount);
    GlobalFree(specs);
  }
  afm3CloseAlbum(owner, album);
  return status;
}

HINSTANCE toolOwnerKey() {
  // Any value works as an owner key; the tool uses one fixed value.
  static int anchor;
  return reinterpret_cast<HINSTANCE>(&anchor);
}

}  // namespace abm
