// The gallery folder: index.html (the album's information and a grid of
// thumbnails with titles), record-N.html for every live record (its
// fields, thumbnail and a link to the picture file), style.css, and the
// stored thumbnails as thumbs/record-N.png. Plain HTML and CSS: nothing is
// fetched from anywhere and no script runs.
#include "gallery_verb.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <span>
#include <vector>

#include "afm3.h"
#include "afm3_bytes.h"
#include "album_session.h"
#include "album_verbs.h"
#include "field_names.h"
#include "host_paths.h"
#include "json_output.h"
#include "platform.h"
#include "progress.h"
#include "q32comm.h"
#include "record_entry.h"
#include "record_listing.h"
#include "thumb_export.h"

namespace abm {

namespace {

constexpr size_t kValueWidth = 1024;
constexpr int kNoImage = -1;

const char kStyle[] =
    "body{font-family:sans-serif;margin:1.5em;background:#fafafa;color:#222}\n"
    "h1{margin-top:0}\n"
    ".info{border-collapse:collapse;margin-bottom:1.5em}\n"
    ".info th,.info td,.fields th,.fields td{text-align:left;padding:.2em .8em;"
    "border-bottom:1px solid #ddd;vertical-align:top}\n"
    ".grid{display:flex;flex-wrap:wrap;gap:1em;list-style:none;padding:0}\n"
    ".grid li{width:10em;text-align:center}\n"
    ".grid a{text-decoration:none;color:inherit}\n"
    ".grid img,.picture img{border:1px solid #ccc;background:#fff}\n"
    ".grid .none{display:inline-block;width:6em;height:6em;border:1px dashed #bbb}\n"
    ".grid .title{display:block;overflow-wrap:anywhere;margin-top:.3em}\n"
    "nav{margin:1em 0}\nnav a{margin-right:1em}\n";

struct GalleryRecord {
  unsigned number = 0;
  std::string title;
  std::string picture;  // shell path
  std::string modified;
  uint32_t size = 0;
  bool hasThumb = false;
  uint32_t thumbWidth = 0, thumbHeight = 0;
  std::vector<std::string> values;  // one per album field
};

std::string page(const std::string& title, const std::string& body) {
  return "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n<title>" +
         htmlText(title) + "</title>\n<link rel=\"stylesheet\" href=\"style.css\">\n</head>\n" +
         "<body>\n" + body + "</body>\n</html>\n";
}

std::string thumbName(unsigned number) {
  return "thumbs/record-" + std::to_string(number) + ".png";
}
std::string pageName(unsigned number) { return "record-" + std::to_string(number) + ".html"; }

std::string imageTag(const GalleryRecord& r) {
  return "<img src=\"" + thumbName(r.number) + "\" width=\"" + std::to_string(r.thumbWidth) +
         "\" height=\"" + std::to_string(r.thumbHeight) + "\" alt=\"" + htmlText(r.title) + "\">";
}

std::string row(const std::string& name, const std::string& valueHtml) {
  return "<tr><th>" + htmlText(name) + "</th><td>" + valueHtml + "</td></tr>\n";
}

bool writeText(const std::string& path, const std::string& text) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  const bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
  return std::fclose(f) == 0 && ok;
}

bool makeFolder(const std::string& shellPath) {
  const std::string path = toLibraryPath(shellPath);
  return plat::fileAttributes(path.c_str()) != plat::kInvalidAttributes ||
         plat::createDirectory(path.c_str());
}

class Gallery {
 public:
  Gallery(AlbumSession& album, std::string folder, const Field* titleField)
      : album_(album), folder_(std::move(folder)), titleField_(titleField) {}

  // Reads a live record and writes its thumbnail. false: the library's
  // error is the last error, or *problem says what could not be written.
  bool add(uint16_t r, std::string* problem) {
    GalleryRecord record;
    record.number = r;
    std::vector<uint8_t> entry(AFM3_RECORD_ENTRY_SIZE, 0);
    char path[AFM3_MAX_PATH + 1] = {};
    if (!afm3ReadRecordPic(toolOwnerKey(), album_.handle(), r, entry.data(), path, sizeof path, 0,
                           nullptr))
      return false;
    record.picture = toShellPath(path);
    record.size = afm3GetU32(entry.data() + AFM3_ENTRY_FILE_SIZE);
    record.modified = dosDateTimeText(afm3GetU32(entry.data() + AFM3_ENTRY_DATE_TIME_1));
    if (!readValues(r, &record) || !writeThumb(entry, &record, problem)) return false;
    record.title = fileNameOf(record.picture);
    if (titleField_ != nullptr) {
      const size_t at = static_cast<size_t>(titleField_ - album_.fields().data());
      if (!record.values[at].empty()) record.title = record.values[at];
    }
    records_.push_back(record);
    return true;
  }

  // Writes the pages and the style sheet; false names the file in *problem.
  bool finish(const std::vector<uint8_t>& info, const std::string& albumPath,
              std::string* problem) {
    for (size_t i = 0; i < records_.size(); ++i) {
      if (!write(pageName(records_[i].number), recordPage(i, albumTitle(info.data())), problem))
        return false;
    }
    return write("style.css", kStyle, problem) &&
           write("index.html", indexPage(info, albumPath), problem);
  }

  size_t size() const { return records_.size(); }

 private:
  bool write(const std::string& name, const std::string& text, std::string* problem) {
    if (writeText(folder_ + name, text)) return true;
    *problem = "cannot write " + folder_ + name;
    return false;
  }

  bool readValues(uint16_t r, GalleryRecord* record) {
    BYTE* buffer = nullptr;
    BYTE** values = nullptr;
    bool ok = afm3ReadRecord(toolOwnerKey(), album_.handle(), r, &buffer, &values) == 1;
    for (const Field& field : album_.fields()) {
      std::string text;
      if (ok) ok = valueText(album_.handle(), r, field, values, kValueWidth, &text);
      record->values.push_back(text);
    }
    freeLibraryBlock(buffer);
    freeLibraryBlock(values);
    return ok;
  }

  // A thumbnail the tool cannot turn into a PNG (or whose codec is
  // missing) leaves the record without one in the gallery.
  bool writeThumb(const std::vector<uint8_t>& entry, GalleryRecord* record, std::string* problem) {
    const uint32_t offset = afm3GetU32(entry.data() + AFM3_ENTRY_IMAGE_OFFSET);
    if (offset == 0) return true;
    HGLOBAL dib = nullptr;
    const int kind = afm3ReadRecordImage(toolOwnerKey(), album_.handle(),
                                         static_cast<uint16_t>(record->number), offset, &dib);
    if (kind == kNoImage || kind <= 0 || dib == nullptr) return kind != 0;
    const auto* bytes = static_cast<const uint8_t*>(GlobalLock(dib));
    RgbImage rgb;
    const bool ok =
        bytes != nullptr && dibToRgb(std::span<const uint8_t>(bytes, GlobalSize(dib)), &rgb);
    GlobalUnlock(dib);
    GlobalFree(dib);
    if (!ok) return true;
    const std::vector<uint8_t> png = pngFile(rgb);
    if (!write(thumbName(record->number),
               std::string(reinterpret_cast<const char*>(png.data()), png.size()), problem))
      return false;
    record->hasThumb = true;
    record->thumbWidth = rgb.width;
    record->thumbHeight = rgb.height;
    return true;
  }

  std::string indexPage(const std::vector<uint8_t>& info, const std::string& albumPath) const {
    const std::string title = albumTitle(info.data());
    std::string body = "<h1>" + htmlText(title.empty() ? fileNameOf(albumPath) : title) + "</h1>\n";
    body += "<table class=\"info\">\n";
    body += row("Description", htmlText(albumDescription(info.data())));
    body += row("Album file",
                "<a href=\"" + htmlText(fileUrl(albumPath)) + "\">" + htmlText(albumPath) + "</a>");
    body += row("Records", std::to_string(afm3GetU16(info.data() + AFM3_INFO_RECORD_COUNT)));
    std::string fields;
    for (const Field& field : album_.fields())
      fields += (fields.empty() ? "" : ", ") + htmlText(field.name);
    body += row("Fields", fields);
    body += "</table>\n<ul class=\"grid\">\n";
    for (const GalleryRecord& r : records_) {
      body += "<li><a href=\"" + pageName(r.number) + "\">";
      body += r.hasThumb ? imageTag(r) : "<span class=\"none\"></span>";
      body += "<span class=\"title\">" + htmlText(r.title) + "</span></a></li>\n";
    }
    return page(title, body + "</ul>\n");
  }

  std::string recordPage(size_t i, const std::string& albumName) const {
    const GalleryRecord& r = records_[i];
    std::string nav =
        "<nav><a href=\"index.html\">" + htmlText(albumName.empty() ? "Index" : albumName) + "</a>";
    if (i > 0) nav += "<a href=\"" + pageName(records_[i - 1].number) + "\">Previous</a>";
    if (i + 1 < records_.size())
      nav += "<a href=\"" + pageName(records_[i + 1].number) + "\">Next</a>";
    nav += "</nav>\n";
    std::string body = nav + "<h1>" + htmlText(r.title) + "</h1>\n";
    const std::string link = "<a href=\"" + htmlText(fileUrl(r.picture)) + "\">";
    if (r.hasThumb) body += "<p class=\"picture\">" + link + imageTag(r) + "</a></p>\n";
    body += "<table class=\"fields\">\n";
    body += row("Record", std::to_string(r.number));
    body += row("Picture", link + htmlText(r.picture) + "</a>");
    body += row("Size", std::to_string(r.size) + " bytes");
    body += row("Modified", htmlText(r.modified));
    for (size_t f = 0; f < album_.fields().size(); ++f)
      body += row(album_.fields()[f].name, htmlText(r.values[f]));
    return page(r.title, body + "</table>\n");
  }

  AlbumSession& album_;
  std::string folder_;
  const Field* titleField_;
  std::vector<GalleryRecord> records_;
};

}  // namespace

std::string htmlText(const std::string& text) {
  const bool utf8 = isUtf8(text);
  std::string out;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&#39;";
        break;
      default:
        if (byte >= 0x80 && !utf8)
          out += "&#" + std::to_string(byte) + ";";
        else
          out += c;
    }
  }
  return out;
}

std::string fileUrl(const std::string& shellPath) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string path = shellPath;
  for (char& c : path) {
    if (c == '\\') c = '/';
  }
  if (path.empty() || path[0] != '/') path = "/" + path;
  std::string url = "file://";
  for (const char c : path) {
    const auto byte = static_cast<unsigned char>(c);
    if (std::isalnum(byte) != 0 || std::strchr("/-._~:", c) != nullptr) {
      url += c;
    } else {
      url += '%';
      url += kHex[byte >> 4];
      url += kHex[byte & 15];
    }
  }
  return url;
}

int runGallery(const Args& args) {
  const Verb& verb = *findVerb("gallery");
  AlbumSession album;
  c32ClearDLLErrInfo();
  if (!album.open(args.positional[0], false))
    return failWithLastError("open " + args.positional[0]);
  const Field* titleField = nullptr;
  if (args.has("title")) {
    titleField = findField(album.fields(), args.value("title"));
    if (titleField == nullptr)
      return failUsage(verb, "the album has no field '" + args.value("title") + "'");
  }
  std::vector<uint8_t> info;
  if (!album.readInfo(&info))
    return failWithLastError("read the information of " + args.positional[0]);
  std::vector<LiveRecord> records;
  if (!liveRecords(album.handle(), &records)) return failWithLastError("read records");
  std::string folder = args.positional[1];
  if (folder.empty()) return failUsage(verb, "FOLDER is empty");
  if (!makeFolder(folder)) return failWith("gallery", "cannot make the folder " + folder);
  if (folder.back() != '/' && folder.back() != '\\') folder += '/';
  if (!makeFolder(folder + "thumbs"))
    return failWith("gallery", "cannot make the folder " + folder + "thumbs");

  Gallery gallery(album, folder, titleField);
  afm3CacheAlbum(toolOwnerKey(), album.handle(), TRUE);
  std::string problem;
  {
    ProgressBar bar(stderr, records.size(),
                    progressWanted(args.has("no-progress"), records.size()));
    for (const LiveRecord& r : records) {
      bar.step("record " + std::to_string(r.number));
      if (!gallery.add(r.number, &problem)) {
        bar.clear();
        return problem.empty() ? failWithLastError("read record " + std::to_string(r.number))
                               : failWith("gallery", problem);
      }
    }
  }
  // The album's own link needs its full path.
  char full[AFM3_MAX_PATH] = {};
  const uint32_t length =
      plat::fullPathName(toLibraryPath(args.positional[0]).c_str(), full, sizeof full);
  const std::string albumPath =
      length > 0 && length < sizeof full ? toShellPath(full) : args.positional[0];
  if (!gallery.finish(info, albumPath, &problem)) return failWith("gallery", problem);
  std::printf("%sindex.html: %zu record%s\n", folder.c_str(), gallery.size(),
              gallery.size() == 1 ? "" : "s");
  return 0;
}

}  // namespace abm
