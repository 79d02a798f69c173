// Version-2 albums, written here byte by byte, read back through every
// picture read: blocks, entries and paths, images of several old types,
// and the picture information; every write is refused.
#include <gtest/gtest.h>

#include <cstring>

#include "afm3.h"
#include "picture_albums.h"
#include "picture_fixtures.h"
#include "platform.h"
#include "qliblzw.h"
#include "temp_dir.h"

using namespace picalbum;
using afm3test::put16;

namespace {

constexpr uint16_t kStoredRaw = 0x08;

Bytes lzw(const Bytes& in) {
  Bytes out(in.size() * 2 + 16);
  QLzwBuffer source{static_cast<DWORD>(in.size()), const_cast<uint8_t*>(in.data())};
  QLzwBuffer target{static_cast<DWORD>(out.size()), out.data()};
  const QLzwParams params{12, 8, 1};
  EXPECT_EQ(qLzwCompress(&source, &params, &target), QLZW_OK);
  out.resize(target.count);
  return out;
}

// Rows of rowSize bytes, top row first, with used bytes of noise each.
Bytes topDown(uint32_t rowSize, uint32_t height, uint32_t used, uint32_t seed) {
  pictest::Noise noise(seed);
  Bytes rows(size_t{rowSize} * height, 0);
  for (uint32_t y = 0; y < height; ++y)
    for (uint32_t x = 0; x < used; ++x) rows[rowSize * y + x] = noise.next();
  return rows;
}

// The bitmap rows a stored top-down image of bytesPerPixel becomes.
Bytes bottomUp(const Bytes& stored, uint32_t rowSize, uint32_t height, uint32_t width,
               bool swapRedBlue) {
  Bytes rows(stored.size(), 0);
  for (uint32_t y = 0; y < height; ++y) {
    std::copy(stored.begin() + rowSize * (height - 1 - y), stored.begin() + rowSize * (height - y),
              rows.begin() + rowSize * y);
    if (swapRedBlue)
      for (uint32_t x = 0; x < width; ++x)
        std::swap(rows[rowSize * y + 3 * x], rows[rowSize * y + 3 * x + 2]);
  }
  return rows;
}

class Version2Album : public testing::Test {
 protected:
  void SetUp() override {
    V2AlbumWriter writer(3, 2);  // LZW unless an entry says raw
    writer.setTrailingGarbage();

    V2Record plain;  // record 0: 24-bit thumbnail stored raw, folder without backslash
    plain.number = 0;
    plain.sourceKind = 2;
    plain.fileName = "BEACH.JPG";
    plain.folder = "D:\\OLD PICS";
    plain.label = "HOLIDAY";
    plain.fileSize = 4321;
    plain.time = 0x6B20;
    plain.date = 0x30A1;
    plain.format[0] = 3;  // 4 bits -> ColourKind 8 at 156
    plain.format[1] = 0x55;
    plain.flags = kStoredRaw | 0x03 | 0x40;
    plain.imageType = 7;
    plain.width = 5;
    plain.height = 3;
    trueColour_ = topDown(16, 3, 15, 1);
    plain.image = trueColour_;
    writer.add(plain);

    V2Record cd;  // record 70: palette thumbnail through LZW, on a CD
    cd.number = 70;
    cd.sourceKind = 6;
    cd.fileName = "SUNSET.BMP";
    cd.folder = "E:\\";
    cd.driveType = 10;
    cd.format[4] = 5;  // grey -> 32 at 160
    cd.imageType = 4;
    cd.width = 6;
    cd.height = 4;
    palette_ = topDown(8, 4, 6, 2);
    cd.image = lzw(palette_);
    writer.add(cd);

    V2Record grey;  // record 130: grey thumbnail, converted to the standard palette
    grey.number = 130;
    grey.sourceKind = 7;
    grey.fileName = "FOG.PCX";
    grey.folder = "C:\\SCANS\\";
    grey.format[12] = 7;  // true colour -> 2 at 168
    grey.format[13] = 0x99;
    grey.imageType = 5;
    grey.width = 4;
    grey.height = 4;
    grey.image = lzw(topDown(4, 4, 4, 3));
    writer.add(grey);

    V2Record high;  // record 131: 16-bit thumbnail stored raw, made 24-bit
    high.number = 131;
    high.fileName = "OLD.TIF";
    high.folder = "C:\\";
    high.flags = kStoredRaw;
    high.imageType = 6;
    high.width = 3;
    high.height = 2;
    high.image = topDown(8, 2, 6, 4);
    writer.add(high);

    V2Record bare;  // record 2: no thumbnail
    bare.number = 2;
    bare.fileName = "NONE.JPG";
    bare.folder = "C:\\";
    writer.add(bare);

    V2Record deleted;
    deleted.number = 0xFFFF;
    deleted.place = 5;
    deleted.fileName = "GONE.JPG";
    deleted.folder = "C:\\";
    writer.add(deleted);

    bytes_ = writer.build();
    entry70_ = writer.entryOffset(70);
    path_ = dir_.file("old.ab3");
    ASSERT_TRUE(afm3test::writeWholeFile(path_, std::string(bytes_.begin(), bytes_.end())));
    ASSERT_NE(afm3OpenAlbum(owner_, path_.c_str(), 0x42, &album_, nullptr, nullptr, nullptr),
              0xFFFFu)
        << afm3test::lastError().text;
  }
  void TearDown() override {
    afm3CloseAlbum(owner_, album_);
    // Reads never write.
    const std::string now = afm3test::readWholeFile(path_);
    EXPECT_EQ(Bytes(now.begin(), now.end()), bytes_);
  }

  Bytes entryOf(DWORD record, std::string* path = nullptr) {
    Bytes entry(280, 0xEE);
    char text[260] = "x";
    EXPECT_TRUE(
        afm3ReadRecordPic(owner_, album_, record, entry.data(), text, sizeof text, 0, nullptr))
        << afm3test::lastError().text;
    if (path != nullptr) *path = text;
    return entry;
  }

  int image(DWORD record, pictest::DibParts* parts) {
    HGLOBAL dib = nullptr;
    const int result = afm3ReadRecordImage(owner_, album_, record, 0, &dib);
    *parts = pictest::readDib(dib);
    if (dib != nullptr) plat::globalFree(dib);
    return result;
  }

  afm3test::TempDir dir_;
  HINSTANCE owner_ = ownerKey(50);
  HANDLE album_ = nullptr;
  std::string path_;
  Bytes bytes_, trueColour_, palette_;
  uint32_t entry70_ = 0;
};

TEST_F(Version2Album, BlocksEndAtTheFirstZeroOfThePageTable) {
  EXPECT_EQ(afm3GetPicBlockCount(owner_, album_), 3u);
  Bytes block(17920);
  EXPECT_FALSE(afm3ReadPicBlock(owner_, album_, 3, block.data()));
  expectReport(6444, 7003, 3, 1);
  EXPECT_FALSE(afm3ReadPicBlock(owner_, album_, 1024, block.data()));
  expectReport(6444, 7003, 3, 1);
}

TEST_F(Version2Album, EntriesAreConvertedToTodaysForm) {
  std::string path;
  const Bytes e = entryOf(0, &path);
  EXPECT_EQ(path, "D:\\OLD PICS\\BEACH.JPG");
  EXPECT_EQ(get16(e, 0), 0);
  EXPECT_EQ(e[2], 2);
  EXPECT_EQ(e[3], 3);
  EXPECT_EQ(get32(e, 4), 0u);  // the image is read through the version-2 entry
  EXPECT_EQ(entryText(e, 8, 128), "D:\\OLD PICS\\BEACH.JPG");
  EXPECT_EQ(get32(e, 136), 4321u);
  EXPECT_EQ(get32(e, 140), 0x30A16B20u);
  EXPECT_EQ(get32(e, 144), 0u);
  EXPECT_EQ(get32(e, 148), 0x30A16B20u);
  EXPECT_EQ(get32(e, 152), 0x30A16B20u);
  EXPECT_EQ(get16(e, 156), 8);  // colour code 3, widened: the 0x55 is gone
  EXPECT_EQ(get16(e, 176), 0x03);
  EXPECT_EQ(get32(e, 178), 0u);
  EXPECT_EQ(entryText(e, 182, 32), "HOLIDAY");
  EXPECT_EQ(get32(e, 214), 0u);
  EXPECT_EQ(get32(e, 218), 0u);
  EXPECT_TRUE(entryChecksumHolds(e));

  const Bytes cd = entryOf(70, &path);
  EXPECT_EQ(path, "E:\\SUNSET.BMP");
  EXPECT_EQ(cd[3], 5);     // the old CD-ROM code
  EXPECT_EQ(cd[160], 32);  // source kind 6: one byte at 160
  EXPECT_TRUE(entryChecksumHolds(cd));

  const Bytes fog = entryOf(130, &path);
  EXPECT_EQ(path, "C:\\SCANS\\FOG.PCX");
  EXPECT_EQ(get16(fog, 168), 2);  // source kind 7: a word at 168
  EXPECT_TRUE(entryChecksumHolds(fog));
}

TEST_F(Version2Album, BlockReadConvertsEveryEntry) {
  Bytes block(17920);
  ASSERT_TRUE(afm3ReadPicBlock(owner_, album_, 1, block.data()));
  const Bytes cd(block.begin() + 6 * 280, block.begin() + 7 * 280);
  EXPECT_EQ(cd, entryOf(70));
  EXPECT_EQ(get16(block, 0), 0xFFFF);  // free entries stay free
  ASSERT_TRUE(afm3ReadPicBlock(owner_, album_, 0, block.data()));
  EXPECT_EQ(get16(block, 5 * 280), 0xFFFF);
  EXPECT_EQ(entryText(Bytes(block.begin() + 5 * 280, block.begin() + 6 * 280), 8, 128),
            "C:\\GONE.JPG");
}

TEST_F(Version2Album, RecordPicEdges) {
  char path[260] = "x";
  char extra[260] = "x";
  // Only the path, with an offset a version-2 album cannot have.
  EXPECT_TRUE(afm3ReadRecordPic(owner_, album_, 0, nullptr, path, sizeof path, 4784, extra));
  EXPECT_STREQ(path, "");
  EXPECT_STREQ(extra, "");
  EXPECT_FALSE(afm3ReadRecordPic(owner_, album_, 0, nullptr, path, 21, 0, nullptr));
  expectReport(6444, 7003, 4, 5);
  EXPECT_TRUE(afm3ReadRecordPic(owner_, album_, 0, nullptr, path, 22, 0, extra));
  EXPECT_STREQ(path, "D:\\OLD PICS\\BEACH.JPG");
  EXPECT_STREQ(extra, "");
  EXPECT_FALSE(afm3ReadRecordPic(owner_, album_, 0xFFFF, nullptr, path, 260, 0, nullptr));
  expectReport(6444, 7003, 4, 8);
  EXPECT_FALSE(afm3ReadRecordPic(owner_, album_, 64 * 3, nullptr, path, 260, 0, nullptr));
  expectReport(6444, 7003, 4, 7);
}

TEST_F(Version2Album, ImagesOfTheOldTypesAreRead) {
  pictest::DibParts parts;
  EXPECT_EQ(image(0, &parts), 2);
  EXPECT_EQ(parts.bits, 24u);
  EXPECT_EQ(parts.bitmap.rows, bottomUp(trueColour_, 16, 3, 5, true));

  EXPECT_EQ(image(70, &parts), 4);
  EXPECT_EQ(parts.bits, 8u);
  EXPECT_EQ(parts.bitmap.palette, pictest::standardPalette());
  EXPECT_EQ(parts.bitmap.rows, bottomUp(palette_, 8, 4, 6, false));

  EXPECT_EQ(image(130, &parts), 4);  // grey, now with the standard palette
  EXPECT_EQ(parts.width, 4u);
  EXPECT_EQ(parts.bits, 8u);

  EXPECT_EQ(image(131, &parts), 2);  // 16 bits, now 24
  EXPECT_EQ(parts.bits, 24u);
  EXPECT_EQ(parts.height, 2u);

  HGLOBAL dib = reinterpret_cast<HGLOBAL>(1);
  EXPECT_EQ(afm3ReadRecordImage(owner_, album_, 2, 0, &dib), -1);
  EXPECT_EQ(afm3ReadRecordImage(owner_, album_, 70, 0, nullptr), 1);
  EXPECT_EQ(afm3ReadRecordImage(owner_, album_, 64 * 3, 0, &dib), 0);
  expectReport(6444, 7003, 5, 1);
  EXPECT_EQ(afm3ReadRecordImage(owner_, album_, 0xFFFF, 0, &dib), 0);
  expectReport(6444, 7003, 5, 11);
}

TEST_F(Version2Album, PictureInformationIsEmpty) {
  uint8_t out[4] = {9, 9, 9, 9};
  EXPECT_EQ(afm3ReadFilePicMisc(owner_, album_, 0, 1, nullptr, 0), 0u);
  EXPECT_EQ(afm3ReadFilePicMisc(owner_, album_, 0, 2, out, sizeof out), 1u);
  EXPECT_EQ(Bytes(out, out + 4), (Bytes{0, 0, 9, 9}));
}

TEST_F(Version2Album, EveryWriteIsRefused) {
  Bytes entry(280, 0);
  EXPECT_FALSE(afm3UpdateRecordPic(owner_, album_, 0, entry.data(), "C:\\a.jpg", nullptr, nullptr));
  expectReport(6441, 7003, 6, 0);
  const pictest::Bitmap b = pictest::bitmapOfKind(2, 4, 4, pictest::Pattern::Smooth);
  HGLOBAL dib = pictest::toDib(b);
  Bytes header = pictest::imageHeader(2, 0, 4, 4);
  EXPECT_FALSE(afm3UpdateRecordImage(owner_, album_, 0, dib, header.data(), nullptr));
  expectReport(6441, 7003, 7, 0);
  plat::globalFree(dib);
  const uint8_t data[2] = {1, 2};
  EXPECT_FALSE(afm3UpdateFilePicMisc(owner_, album_, 0, 3, data, 2));
  expectReport(6441, 7014, 2, 0);
}

}  // namespace
