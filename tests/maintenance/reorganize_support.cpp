#include "reorganize_support.h"

#include <gtest/gtest.h>

#include <cstring>

#include "platform.h"

namespace reorgtest {

namespace {

constexpr uint32_t kImageWidth = 12, kImageHeight = 9;

std::string hex(const Bytes& bytes) {
  std::string out;
  for (uint8_t b : bytes) out += "0123456789abcdef"[b >> 4], out += "0123456789abcdef"[b & 15];
  return out;
}

// A packed 24-bit DIB with rows from seed.
HGLOBAL rawDib(uint32_t seed) {
  const size_t size = 40 + size_t{(24 * kImageWidth + 31) / 32 * 4} * kImageHeight;
  HGLOBAL block = plat::globalAlloc(plat::kGhnd, size);
  Bytes dib(size, 0);
  afm3test::put32(dib, 0, 40);
  afm3test::put32(dib, 4, kImageWidth);
  afm3test::put32(dib, 8, kImageHeight);
  afm3test::put16(dib, 12, 1);
  afm3test::put16(dib, 14, 24);
  for (size_t i = 40; i < size; ++i) dib[i] = static_cast<uint8_t>((seed * 2654435761u + i) >> 3);
  std::memcpy(plat::globalLock(block), dib.data(), size);
  plat::globalUnlock(block);
  return block;
}

Bytes fieldBytes(TestAlbum& album, uint32_t record, uint32_t field, uint8_t type) {
  static const uint8_t kWidth[] = {2, 4, 4, 8, 4, 2, 16, 64, 2};
  Bytes b(300, 0);
  int r;
  if (type == 9 || type == 10) {
    HGLOBAL out = nullptr;
    r = afm3ReadRecordFieldEx(album.owner, album.handle(), record, field, &out);
    b = rectest::handleBytes(out);
  } else {
    r = afm3ReadRecordField(album.owner, album.handle(), record, field, b.data());
    b.resize(type >= 11 ? std::strlen(reinterpret_cast<const char*>(b.data())) : kWidth[type]);
  }
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
  Bytes entry(280, 0), image(16, 0);
  for (size_t i = 136; i < 176; ++i) entry[i] = static_cast<uint8_t>(i + imageSeed);
  afm3test::put16(entry, 176, stringB.empty() ? 0 : 0x04);
  image[8] = 2;  // 24 bits, stored raw
  afm3test::put16(image, 10, kImageWidth);
  afm3test::put16(image, 12, kImageHeight);
  HGLOBAL dib = imageSeed != 0 ? rawDib(imageSeed) : nullptr;
  const int result = afm3InsertRecord(
      album.owner, album.handle(), entry.data(), dib != nullptr ? image.data() : nullptr, dib,
      stringA.empty() ? nullptr : stringA.c_str(), values != nullptr ? values->get() : nullptr,
      nullptr, nullptr, stringB.empty() ? nullptr : stringB.c_str());
  if (dib != nullptr) plat::globalFree(dib);
  const int record = get16(entry, 0);
  if (result == 1 && !pictureData.empty()) {
    EXPECT_TRUE(afm3UpdateFilePicMisc(album.owner, album.handle(), record, 3, pictureData.data(),
                                      static_cast<DWORD>(pictureData.size())));
  }
  return result == 1 ? record : -1;
}

std::string recordContent(TestAlbum& album, uint32_t record, const std::vector<uint8_t>& types) {
  std::string out;
  for (uint32_t j = 0; j < types.size(); ++j)
    out += hex(fieldBytes(album, record, j, types[j])) + " ";
  Bytes entry(280, 0), data(70000, 0);
  char path[300] = {}, extra[300] = {};
  const BOOL read = afm3ReadRecordPic(album.owner, album.handle(), record, entry.data(), path,
                                      sizeof path, 0, extra);
  for (size_t at : {0, 4, 178, 214, 218}) std::memset(&entry[at], 0, at == 0 ? 2 : 4);
  entry[278] = entry[279] = 0;
  afm3ReadFilePicMisc(album.owner, album.handle(), record, 2, data.data(), 70000);
  data.resize(64);
  HGLOBAL dib = nullptr;
  const int kind = afm3ReadRecordImage(album.owner, album.handle(), record, 0, &dib);
  return out + std::to_string(read) + hex(entry) + " " + path + " " + extra + " " + hex(data) +
         " " + std::to_string(kind) + hex(rectest::handleBytes(dib));
}

ProgressListener::ProgressListener() : window_(plat::createMessageWindow(proc, this)) {
  EXPECT_NE(window_, nullptr);
}

ProgressListener::~ProgressListener() { plat::destroyWindow(window_); }

LRESULT CALLBACK ProgressListener::proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* self = static_cast<ProgressListener*>(plat::windowData(window));
  if (self == nullptr || message < AFM3_PROGRESS_PHASE_BEGIN || message > AFM3_PROGRESS_PHASE_COUNT)
    return 0;
  Heard heard{message, wParam, lParam, {}, {}};
  if (message == AFM3_PROGRESS_PHASE_BEGIN) {
    heard.info = *reinterpret_cast<const AFM3_PROGRESS_PHASE_INFO*>(lParam);
    heard.caption = heard.info.caption;
    if (heard.info.subCaption != nullptr) heard.caption += std::string("/") + heard.info.subCaption;
    ++self->phase_;
  }
  self->heard_.push_back(heard);
  return message == AFM3_PROGRESS_STEP && self->phase_ == self->cancelPhase_ &&
         static_cast<uint32_t>(lParam) == self->cancelStep_;
}

}  // namespace reorgtest
