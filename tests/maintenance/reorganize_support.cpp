#include "reorganize_support.h"

#include <gtest/gtest.h>

#include <cstring>

#include "platform.h"

namespace reorgtest {

namespace {

constexpr uint32_t kImageWidth = 12;
constexpr uint32_t kImageHeight = 9;

std::string hex(const Bytes& bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (uint8_t b : bytes) {
    out += digits[b >> 4];
    out += digits[b & 15];
  }
  return out;
}

// A packed 24-bit DIB whose rows come from seed.
HGLOBAL rawDib(uint32_t seed) {
  const uint32_t rowSize = (24 * kImageWidth + 31) / 32 * 4;
  const size_t size = 40 + size_t{rowSize} * kImageHeight;
  HGLOBAL block = plat::globalAlloc(plat::kGhnd, size);
  auto* p = static_cast<uint8_t*>(plat::globalLock(block));
  Bytes header(40, 0);
  afm3test::put32(header, 0, 40);
  afm3test::put32(header, 4, kImageWidth);
  afm3test::put32(header, 8, kImageHeight);
  afm3test::put16(header, 12, 1);
  afm3test::put16(header, 14, 24);
  std::memcpy(p, header.data(), header.size());
  uint32_t state = seed * 2654435761u + 7;
  for (size_t i = 40; i < size; ++i) {
    state = state * 1664525u + 1013904223u;
    p[i] = static_cast<uint8_t>(state >> 24);
  }
  plat::globalUnlock(block);
  return block;
}

Bytes fieldBytes(TestAlbum& album, uint32_t record, uint32_t field, uint8_t type) {
  if (type == 9 || type == 10) {
    HGLOBAL out = nullptr;
    const int r = afm3ReadRecordFieldEx(album.owner, album.handle(), record, field, &out);
    Bytes b = rectest::handleBytes(out);
    b.push_back(static_cast<uint8_t>(r));
    return b;
  }
  Bytes buffer(300, 0);
  const int r = afm3ReadRecordField(album.owner, album.handle(), record, field, buffer.data());
  static const uint8_t kWidth[] = {2, 4, 4, 8, 4, 2, 16, 64, 2};
  const size_t n =
      type >= 11 ? std::strlen(reinterpret_cast<const char*>(buffer.data())) : kWidth[type];
  Bytes b(buffer.begin(), buffer.begin() + n);
  b.push_back(static_cast<uint8_t>(r));
  return b;
}

}  // namespace

int reorganize(TestAlbum& album, const std::vector<WORD>* order, HWND window) {
  HANDLE handle = album.handle();
  return afm3ReorganizeAbm(album.owner, &handle, 0, order != nullptr ? order->data() : nullptr,
                           window);
}

std::string workFilePath(const TestAlbum& album) {
  return album.path.substr(0, album.path.rfind('\\') + 1) + "~~qarvo~.ab3";
}

bool workFileLeft(const TestAlbum& album) {
  return plat::fileAttributes(workFilePath(album).c_str()) != plat::kInvalidAttributes;
}

int insertRecord(TestAlbum& album, Values* values, const std::string& stringA,
                 const std::string& stringB, uint32_t imageSeed, const Bytes& pictureData) {
  Bytes entry(280, 0);
  for (size_t i = 136; i < 176; ++i) entry[i] = static_cast<uint8_t>(i + imageSeed);
  afm3test::put16(entry, 176, stringB.empty() ? 0 : 0x04);
  Bytes image(16, 0);
  image[8] = 2;  // 24 bits, stored raw
  afm3test::put16(image, 10, kImageWidth);
  afm3test::put16(image, 12, kImageHeight);
  HGLOBAL dib = imageSeed != 0 ? rawDib(imageSeed) : nullptr;
  const int result = afm3InsertRecord(
      album.owner, album.handle(), entry.data(), dib != nullptr ? image.data() : nullptr, dib,
      stringA.empty() ? nullptr : stringA.c_str(), values != nullptr ? values->get() : nullptr,
      nullptr, nullptr, stringB.empty() ? nullptr : stringB.c_str());
  if (dib != nullptr) plat::globalFree(dib);
  const int record = afm3test::get16(entry, 0);
  if (result == 1 && !pictureData.empty()) {
    EXPECT_TRUE(afm3UpdateFilePicMisc(album.owner, album.handle(), record, 3, pictureData.data(),
                                      static_cast<DWORD>(pictureData.size())));
  }
  return result == 1 ? record : -1;
}

std::string recordContent(TestAlbum& album, uint32_t record, const std::vector<uint8_t>& types) {
  std::string out;
  for (uint32_t j = 0; j < types.size(); ++j)
    out += "f" + std::to_string(j) + "=" + hex(fieldBytes(album, record, j, types[j])) + " ";
  Bytes entry(280, 0);
  char path[300] = {};
  char extra[300] = {};
  const BOOL read = afm3ReadRecordPic(album.owner, album.handle(), record, entry.data(), path,
                                      sizeof path, 0, extra);
  for (size_t at : {0, 4, 178, 214, 218}) std::memset(&entry[at], 0, at == 0 ? 2 : 4);
  entry[278] = entry[279] = 0;
  out += "entry=" + std::to_string(read) + hex(entry) + " a=" + path + " b=" + extra;
  Bytes data(70000, 0);
  afm3ReadFilePicMisc(album.owner, album.handle(), record, 2, data.data(),
                      static_cast<DWORD>(data.size()));
  data.resize(64);
  out += " data=" + hex(data);
  HGLOBAL dib = nullptr;
  const int kind = afm3ReadRecordImage(album.owner, album.handle(), record, 0, &dib);
  out += " image=" + std::to_string(kind) + hex(rectest::handleBytes(dib));
  return out;
}

Header headerOf(const Bytes& f) {
  Header h{};
  h.pageDirOffset = get32(f, 8);
  h.pageDirCount = get16(f, 12);
  h.textHeapOffset = get32(f, 16);
  h.textHeapFree = get16(f, 20);
  h.textHeapUsed = get16(f, 22);
  h.memoHeapOffset = get32(f, 24);
  h.memoHeapFree = get16(f, 28);
  h.memoHeapUsed = get16(f, 30);
  h.rowDirOffset = get32(f, 32);
  h.rowBlockSize = get16(f, 36);
  h.rowsPerBlock = get16(f, 38);
  h.rowDirCount = get16(f, 40);
  h.rowDataSize = get16(f, 42);
  h.rowSlotSize = get16(f, 44);
  h.fieldDefCount = f[46];
  h.fieldCount = f[47];
  h.fieldDefOffset = get32(f, 48);
  h.fieldNameOffset = get32(f, 52);
  h.fieldNameSize = get16(f, 56);
  h.recordCount = get16(f, 60);
  h.nextRecordNumber = get16(f, 62);
  h.indexListOffset = get32(f, 60 + 1478);
  return h;
}

ProgressListener::ProgressListener() {
  window_ = plat::createMessageWindow(proc, this);
  EXPECT_NE(window_, nullptr);
}

ProgressListener::~ProgressListener() { plat::destroyWindow(window_); }

LRESULT CALLBACK ProgressListener::proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* self = static_cast<ProgressListener*>(plat::windowData(window));
  if (self == nullptr || message < AFM3_PROGRESS_PHASE_BEGIN || message > AFM3_PROGRESS_PHASE_COUNT)
    return 0;
  Heard heard{message, wParam, lParam, {}, {}, {}};
  if (message == AFM3_PROGRESS_PHASE_BEGIN) {
    heard.info = *reinterpret_cast<const AFM3_PROGRESS_PHASE_INFO*>(lParam);
    heard.caption = heard.info.caption != nullptr ? heard.info.caption : "";
    heard.subCaption = heard.info.subCaption != nullptr ? heard.info.subCaption : "";
    ++self->phase_;
  }
  self->heard_.push_back(heard);
  const bool cancel = message == AFM3_PROGRESS_STEP && self->phase_ == self->cancelPhase_ &&
                      static_cast<uint32_t>(lParam) == self->cancelStep_;
  return cancel ? 1 : 0;
}

std::vector<std::string> ProgressListener::phases() const {
  std::vector<std::string> out;
  for (const Heard& h : heard_)
    if (h.message == AFM3_PROGRESS_PHASE_BEGIN)
      out.push_back(h.caption + (h.subCaption.empty() ? "" : "/" + h.subCaption));
  return out;
}

}  // namespace reorgtest
