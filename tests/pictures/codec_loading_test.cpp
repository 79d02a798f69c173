// Loading the codec libraries from the codec folder: a missing library is
// reported with its path and tried again on the next use.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "album_fixtures.h"
#include "core/library_state.h"
#include "images/codec_libraries.h"
#include "images/image_store.h"
#include "picture_fixtures.h"
#include "platform.h"

using namespace pictest;

namespace {

struct Codec {
  uint8_t compression;
  const char* name;         // without ".dll"
  uint32_t function, step;  // where the encoder reports a missing library
};

// The file the build made, as the platform layer names libraries.
std::string builtFile(const char* name) {
#ifdef _WIN32
  return std::string(name) + ".dll";
#else
  return "lib" + std::string(name) + ".so";
#endif
}

class CodecFolder : public testing::TestWithParam<Codec> {
 protected:
  void SetUp() override {
    std::memcpy(saved_, afm3::libraryState().codecFolder, sizeof saved_);
    afm3::unloadCodecLibraries();
    // Mixed case: the JPEG library's path is tried in lower case.
    folder_ = dir_.path() + "Fio\\";
    plat::createDirectory(folder_.c_str());
    std::snprintf(afm3::libraryState().codecFolder, sizeof saved_, "%s", folder_.c_str());
  }
  void TearDown() override {
    afm3::unloadCodecLibraries();
    std::memcpy(afm3::libraryState().codecFolder, saved_, sizeof saved_);
  }
  bool storeOne(ScratchFile& file, uint32_t* offset) {
    const Bitmap b = bitmapOfKind(2, 12, 9, Pattern::Smooth);
    HGLOBAL dib = toDib(b);
    Bytes header = imageHeader(2, GetParam().compression, 12, 9);
    bool ok = false;
    {
      afm3::EncodedImage image;
      ok = afm3::encodeImage(header.data(), dib, &image);
      *offset = file.end();
      ok = ok && afm3::writeEncodedImage(file.handle(), image, {6405, {7003, 7}, 4, 5, 6, 7});
    }
    plat::globalFree(dib);
    return ok;
  }

  afm3test::TempDir dir_;
  std::string folder_;
  char saved_[afm3::kPathSize] = {};
};

TEST_P(CodecFolder, MissingLibraryIsReportedThenFoundOnceInPlace) {
  const Codec codec = GetParam();
  ScratchFile file;
  uint32_t offset = 0;
  EXPECT_FALSE(afm3::codecAvailable(codec.compression));
  EXPECT_FALSE(storeOne(file, &offset));
  std::string path = folder_ + codec.name + ".dll";
  if (codec.compression == 1) plat::charLower(path.data());
  const afm3test::LastError e = afm3test::lastError();
  EXPECT_EQ(e.text, "The library " + path + " could not be loaded.");
  EXPECT_EQ(e.id, 0u);
  EXPECT_EQ(e.module, 7002u);
  EXPECT_EQ(e.function, codec.function);
  EXPECT_EQ(e.step, codec.step);

  const std::string from = std::string(saved_) + builtFile(codec.name);
  ASSERT_TRUE(plat::copyFile(from.c_str(), (folder_ + builtFile(codec.name)).c_str(), false))
      << from;
  EXPECT_TRUE(afm3::codecAvailable(codec.compression));
  ASSERT_TRUE(storeOne(file, &offset)) << afm3test::lastError().text;
  EXPECT_EQ(afm3::readStoredImage(file.handle(), offset, nullptr), 1);
  HGLOBAL dib = nullptr;
  EXPECT_EQ(afm3::readStoredImage(file.handle(), offset, &dib), 2);
  plat::globalFree(dib);
}

INSTANTIATE_TEST_SUITE_P(EachCodec, CodecFolder,
                         testing::Values(Codec{1, "qlibjpg", 1, 2}, Codec{2, "q32lzw", 2, 3},
                                         Codec{3, "q32zlib", 6, 1}),
                         [](const testing::TestParamInfo<Codec>& info) {
                           return std::string(info.param.name);
                         });

TEST(CodecAvailability, ReadWithoutBitmapAsksForTheCodec) {
  char saved[afm3::kPathSize];
  std::memcpy(saved, afm3::libraryState().codecFolder, sizeof saved);
  ScratchFile file;
  const uint32_t offset = file.append(imageHeader(2, 3, 4, 4));
  afm3::unloadCodecLibraries();
  std::snprintf(afm3::libraryState().codecFolder, sizeof saved, "%s", file.path().c_str());
  EXPECT_EQ(afm3::readStoredImage(file.handle(), offset, nullptr), -2);
  HGLOBAL dib = reinterpret_cast<HGLOBAL>(1);
  EXPECT_EQ(afm3::readStoredImage(file.handle(), offset, &dib), -2);
  EXPECT_EQ(dib, nullptr);
  EXPECT_TRUE(afm3::codecAvailable(0));
  EXPECT_TRUE(afm3::codecAvailable(9));
  std::memcpy(afm3::libraryState().codecFolder, saved, sizeof saved);
  EXPECT_EQ(afm3::readStoredImage(file.handle(), offset, nullptr), 1);
}

}  // namespace
