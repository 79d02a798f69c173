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
#include "json_output.h"
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

struct FieldFacts {
  unsigned number = 0, type = 0;
  std::string name;
  unsigned index = 0;
  bool attribute = false;
};

// What info shows of an album.
struct AlbumFacts {
  DWORD version = 0;
  std::string title, description;
  unsigned records = 0, thumbSize = 0, nextNumber = 0;
  bool isProtected = false;
  bool full = false;  // a version-3.0 album's information was read
  std::vector<FieldFacts> fields;
};

void readSummary(DWORD version, const unsigned char* h, AlbumFacts* facts) {
  facts->version = version;
  if (version == kVersion3) {
    facts->title = albumTitle(h);
    facts->records = afm3GetU16(h + AFM3_INFO_RECORD_COUNT);
  } else if (version == 0x200) {
    facts->title = cString(h + kVersion2TitleOffset, 24);
    facts->records = afm3GetU16(h + kVersion2RecordsOffset);
  } else {
    facts->title = cString(h + kVersion1TitleOffset, 24);
    facts->records = afm3GetU16(h + kVersion1RecordsOffset);
  }
}

void readVersion3Info(const unsigned char* i, AlbumFacts* facts) {
  readSummary(kVersion3, i, facts);
  facts->description = albumDescription(i);
  facts->thumbSize = afm3GetU16(i + AFM3_INFO_THUMB_SIZE);
  facts->nextNumber = afm3GetU16(i + AFM3_INFO_NEXT_RECORD_NUMBER);
  facts->isProtected = i[AFM3_INFO_PROTECT] != 0;
  facts->full = true;
}

void readFields(HGLOBAL specs, unsigned count, std::vector<FieldFacts>* out) {
  const auto* field = static_cast<const unsigned char*>(GlobalLock(specs));
  for (unsigned n = 0; field != nullptr && n < count; ++n, field += AFM3_FIELD_SPEC_SIZE) {
    out->push_back({field[AFM3_SPEC_NUMBER], static_cast<unsigned>(field[AFM3_SPEC_TYPE] & 0x0F),
                    cString(field + AFM3_SPEC_NAME, AFM3_SPEC_NAME_SIZE), field[AFM3_SPEC_INDEX],
                    (field[AFM3_SPEC_TYPE] & AFM3_SPEC_ATTRIBUTE_BIT) != 0});
  }
  GlobalUnlock(specs);
}

void printSummary(const AlbumFacts& f) {
  std::printf("title:       %s\nrecords:     %u\n", f.title.c_str(), f.records);
}

void printInfo(const AlbumFacts& f, bool withFields) {
  std::printf("format:      %lu.%lu\n", static_cast<unsigned long>(f.version >> 8),
              static_cast<unsigned long>(f.version & 0xFF));
  printSummary(f);
  if (f.full) {
    std::printf("description: %s\n", f.description.c_str());
    std::printf("thumbnails:  %u x %u\n", f.thumbSize, f.thumbSize);
    std::printf("next number: %u\n", f.nextNumber);
    std::printf("protected:   %s\n", f.isProtected ? "yes" : "no");
  }
  if (!withFields) return;
  std::printf("fields:      %zu\n", f.fields.size());
  for (const FieldFacts& field : f.fields) {
    std::printf("  %3u  %-8s %-32s", field.number, fieldTypeName(field.type), field.name.c_str());
    if (field.index != 0) std::printf(" index=%u", field.index);
    if (field.attribute) std::printf(" attribute");
    std::printf("\n");
  }
}

void printInfoJson(const AlbumFacts& f, const std::string& path) {
  JsonWriter json;
  json.beginObject().key("path").value(path);
  json.key("format").value(std::to_string(f.version >> 8) + "." + std::to_string(f.version & 0xFF));
  json.key("title").value(f.title).key("records").number(f.records);
  if (f.full) {
    json.key("description").value(f.description).key("thumbnail_size").number(f.thumbSize);
    json.key("next_number").number(f.nextNumber).key("protected").flag(f.isProtected);
  }
  json.key("fields").beginArray();
  for (const FieldFacts& field : f.fields) {
    json.beginObject().key("number").number(field.number).key("name").value(field.name);
    json.key("type").value(fieldTypeName(field.type)).key("index").number(field.index);
    json.key("attribute").flag(field.attribute).endObject();
  }
  json.endArray().endObject().print();
}

}  // namespace

std::string albumTitle(const unsigned char* info) {
  return cString(info + AFM3_INFO_TITLE, AFM3_INFO_TITLE_SIZE) +
         cString(info + AFM3_INFO_TITLE_TAIL, AFM3_ALBUM_INFO_SIZE - AFM3_INFO_TITLE_TAIL);
}

std::string albumDescription(const unsigned char* info) {
  return cString(info + AFM3_INFO_DESCRIPTION, AFM3_INFO_SHOWN_FLAG - AFM3_INFO_DESCRIPTION);
}

int runCheck(const Args& args) {
  if (args.has("deep")) return runDeepCheck(args);
  const std::string path = toLibraryPath(args.positional[0]);
  std::vector<unsigned char> header(kVersion2Header);
  c32ClearDLLErrInfo();
  const DWORD version = afm3CheckAlbum(0, 0, nullptr, path.c_str(), header.data());
  if (version == 0) return failWithLastError("check " + args.positional[0]);
  std::printf("%s: album format %lu.%lu, valid\n", args.positional[0].c_str(),
              static_cast<unsigned long>(version >> 8), static_cast<unsigned long>(version & 0xFF));
  AlbumFacts facts;
  readSummary(version, header.data(), &facts);
  printSummary(facts);
  return 0;
}

int runInfo(const Args& args) {
  if (args.has("pages")) return runInfoPages(args);
  const std::string path = toLibraryPath(args.positional[0]);
  std::vector<unsigned char> header(kVersion2Header);
  c32ClearDLLErrInfo();
  const DWORD version = afm3CheckAlbum(0, 0, nullptr, path.c_str(), header.data());
  if (version == 0) return failWithLastError("check " + args.positional[0]);
  AlbumFacts facts;
  readSummary(version, header.data(), &facts);
  int status = 0;
  // Older albums are only converted: their summary is all there is.
  const bool opens = version == kVersion3 || version == 0x200;
  if (opens) {
    const HINSTANCE owner = toolOwnerKey();
    HANDLE album = nullptr;
    BYTE fieldCount = 0;
    HGLOBAL specs = nullptr;
    const DWORD mode =
        afm3OpenAlbum(owner, path.c_str(), AFM3_OPEN_READ_ONLY | AFM3_OPEN_SHARE_READ_WRITE, &album,
                      nullptr, &fieldCount, &specs);
    if (mode == AFM3_OPEN_FAILED) return failWithLastError("open " + args.positional[0]);
    if (version == kVersion3) {
      std::vector<unsigned char> info(AFM3_ALBUM_INFO_SIZE);
      if (afm3ReadBasicAlbumInfo(owner, album, info.data()))
        readVersion3Info(info.data(), &facts);
      else
        status = failWithLastError("read information of " + args.positional[0]);
    }
    if (specs != nullptr) {
      readFields(specs, fieldCount, &facts.fields);
      GlobalFree(specs);
    }
    afm3CloseAlbum(owner, album);
  }
  if (args.has("json"))
    printInfoJson(facts, args.positional[0]);
  else
    printInfo(facts, opens);
  return status;
}

HINSTANCE toolOwnerKey() {
  // Any value works as an owner key; the tool uses one fixed value.
  static int anchor;
  return reinterpret_cast<HINSTANCE>(&anchor);
}

}  // namespace abm
