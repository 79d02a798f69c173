// Every cut and many random changes of small pictures: decoding either
// refuses them or delivers every row it announced, and never reads outside
// the file (the suite runs under AddressSanitizer).
#include <gtest/gtest.h>

#include <cstdint>

#include "test_pictures.h"

namespace {

using tooltest::Bytes;
using tooltest::CollectedPicture;

struct Sample {
  const char* name;
  Bytes file;
  size_t acceptedTail;  // a cut inside these last bytes may still decode
  bool fixChecksums;    // PNG: let changed chunks pass the checksum test
};

Bytes pixels(size_t n) {
  Bytes b(n);
  for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(i * 37 + 11);
  return b;
}

std::vector<Sample> samples() {
  std::vector<Sample> all;
  tooltest::Bmp rgb;
  rgb.width = 4;
  rgb.height = 3;
  rgb.pixels = pixels(36);
  all.push_back({"bmp24", tooltest::bmpFile(rgb), 0, false});

  tooltest::Bmp rle;
  rle.width = 6;
  rle.height = 3;
  rle.bits = 8;
  rle.compression = 1;
  rle.palette = {0x000000, 0xFF0000, 0x00FF00, 0x0000FF};
  rle.pixels = {3, 1, 0, 3, 1, 2, 3, 0, 0, 0, 0, 2, 1, 1, 6, 2, 0, 0, 0, 1};
  all.push_back({"bmp-rle8", tooltest::bmpFile(rle), 2, false});

  tooltest::Bmp four;
  four.width = 7;
  four.height = 2;
  four.bits = 4;
  four.compression = 2;
  for (uint32_t i = 0; i < 16; ++i) four.palette.push_back(i * 0x0F0F0F);
  four.pixels = {7, 0x12, 0, 0, 0, 5, 0x34, 0x56, 0x70, 0, 0, 0, 0, 1};
  all.push_back({"bmp-rle4", tooltest::bmpFile(four), 2, false});

  tooltest::Bmp masked;
  masked.width = 3;
  masked.height = 2;
  masked.bits = 16;
  masked.compression = 3;
  masked.masks = {0xF800, 0x07E0, 0x001F};
  masked.pixels = pixels(16);
  all.push_back({"bmp16", tooltest::bmpFile(masked), 2, false});

  all.push_back({"png", tooltest::pngRgb(5, 4, pixels(60)), 12, true});

  const Bytes palette = {0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0, 255};
  const Bytes indexes = pixels(6 * 5);
  Bytes packed;  // 2-bit indexes of a 6 x 5 picture, Adam7 passes
  {
    Bytes twoBit(6 * 5);
    for (size_t i = 0; i < twoBit.size(); ++i) twoBit[i] = indexes[i] & 3;
    const Bytes passes = tooltest::interlacedData(twoBit, 6, 5, 1);
    // interlacedData wrote one byte per index; pack each pass row's indexes.
    size_t at = 0;
    static const uint32_t kPasses[7][4] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                                           {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};
    for (const auto& p : kPasses) {
      if (6 <= p[0] || 5 <= p[1]) continue;
      const uint32_t w = (6 - p[0] + p[2] - 1) / p[2];
      for (uint32_t y = p[1]; y < 5; y += p[3]) {
        packed.push_back(passes[at++]);
        Bytes row((w * 2 + 7) / 8, 0);
        for (uint32_t x = 0; x < w; ++x)
          row[x / 4] = static_cast<uint8_t>(row[x / 4] | (passes[at++] << (6 - 2 * (x % 4))));
        packed.insert(packed.end(), row.begin(), row.end());
      }
    }
  }
  all.push_back(
      {"png-interlaced-palette",
       tooltest::pngFile({tooltest::pngHeader(6, 5, 2, 3, true),
                          tooltest::pngChunk("PLTE", palette), tooltest::pngChunk("tRNS", {128}),
                          tooltest::pngChunk("IDAT", tooltest::deflate(packed))}),
       12, true});

  all.push_back({"jpeg", tooltest::jpegFile(24, 16, pixels(24 * 16 * 3), false, 70), 0, false});
  all.push_back(
      {"jpeg-progressive", tooltest::jpegFile(16, 16, pixels(16 * 16), true, 70, true), 0, false});
  return all;
}

// A decoded picture must have had every row it announced.
void expectWhole(const CollectedPicture& p, const std::string& what) {
  EXPECT_EQ(p.begins, 1) << what;
  EXPECT_EQ(p.rows(), p.height) << what;
}

TEST(DamagedPictures, TheUndamagedSamplesDecode) {
  for (const Sample& s : samples()) {
    CollectedPicture p;
    std::string problem;
    EXPECT_TRUE(tooltest::decode(s.file, &p, &problem)) << s.name << ": " << problem;
    expectWhole(p, s.name);
  }
}

TEST(DamagedPictures, EveryCutIsRefusedUnlessOnlyTheEndMarkIsMissing) {
  for (const Sample& s : samples()) {
    for (size_t size = 0; size < s.file.size(); ++size) {
      const Bytes cut(s.file.begin(), s.file.begin() + static_cast<std::ptrdiff_t>(size));
      CollectedPicture p;
      std::string problem;
      const bool ok = tooltest::decode(cut, &p, &problem);
      const std::string what = std::string(s.name) + " cut to " + std::to_string(size);
      if (size + s.acceptedTail < s.file.size()) {
        EXPECT_FALSE(ok) << what;
      }
      if (ok) {
        expectWhole(p, what);
      } else {
        EXPECT_FALSE(problem.empty()) << what;
      }
    }
  }
}

TEST(DamagedPictures, RandomlyChangedBytesNeverLeadOutsideThePicture) {
  uint32_t seed = 12345;
  auto random = [&seed](uint32_t below) {
    seed = seed * 1664525u + 1013904223u;
    return (seed >> 8) % below;
  };
  for (const Sample& s : samples()) {
    for (int round = 0; round < 400; ++round) {
      Bytes damaged = s.file;
      const uint32_t changes = 1 + random(4);
      for (uint32_t i = 0; i < changes; ++i) {
        const uint32_t at = random(static_cast<uint32_t>(damaged.size()));
        damaged[at] =
            random(3) == 0 ? static_cast<uint8_t>(0xFF) : static_cast<uint8_t>(random(256));
      }
      if (s.fixChecksums) damaged = tooltest::withFixedChecksums(damaged);
      CollectedPicture p;
      std::string problem;
      const std::string what = std::string(s.name) + " round " + std::to_string(round);
      if (tooltest::decode(damaged, &p, &problem, round % 3 == 0 ? 8 : 0)) {
        expectWhole(p, what);
      } else {
        EXPECT_FALSE(problem.empty()) << what;
      }
    }
  }
}

TEST(DamagedPictures, FilesThatAreNoPictureAreNamedSo) {
  CollectedPicture p;
  std::string problem;
  EXPECT_FALSE(tooltest::decode({}, &p, &problem));
  EXPECT_EQ(problem, "not a JPEG, PNG or BMP picture");
  EXPECT_FALSE(tooltest::decode({'G', 'I', 'F', '8', '9', 'a'}, &p, &problem));
  EXPECT_EQ(problem, "not a JPEG, PNG or BMP picture");
  EXPECT_EQ(p.begins, 0);
}

}  // namespace
