// EXIF data of photos: thumbnails turned upright by the Orientation tag,
// the capture time and camera read back, --taken storing the time in a
// field and show printing it. Every photo is a JPEG made here with an
// APP1 segment of our own.
#include <gtest/gtest.h>

#include "picture_exif.h"
#include "taken_field.h"
#include "temp_dir.h"
#include "test_pictures.h"

#if ABM_PICTURE_LIBS

namespace {

using tooltest::Bytes;
using tooltest::Exif;

constexpr uint32_t kRed = 0xFF0000, kGreen = 0x00FF00, kBlue = 0x0000FF, kWhite = 0xFFFFFF;

// 32 x 16: red, green over blue, white, in quadrants of 16 x 8.
Bytes quadrantPhoto(const Exif& exif) {
  Bytes rgb;
  for (uint32_t y = 0; y < 16; ++y) {
    for (uint32_t x = 0; x < 32; ++x) {
      const uint32_t c = y < 8 ? (x < 16 ? kRed : kGreen) : (x < 16 ? kBlue : kWhite);
      rgb.insert(rgb.end(), {uint8_t(c >> 16), uint8_t(c >> 8), uint8_t(c)});
    }
  }
  return tooltest::withApp1(tooltest::jpegFile(32, 16, rgb, false, 95),
                            tooltest::exifPayload(exif));
}

bool closeTo(const abm::RgbPicture& p, uint32_t x, uint32_t y, uint32_t colour) {
  const uint8_t* px = p.rgb.data() + 3 * (size_t{y} * p.width + x);
  for (int c = 0; c < 3; ++c) {
    if (std::abs(int{px[c]} - int((colour >> (16 - 8 * c)) & 0xFF)) > 40) return false;
  }
  return true;
}

TEST(Exif, ThumbnailsAreTurnedUprightByTheOrientationTag) {
  afm3test::TempDir dir;
  const struct {
    uint16_t orientation;
    bool bigEndian;
    uint32_t width, height;
    uint32_t corners[4];  // top left, top right, bottom left, bottom right
  } cases[] = {
      {0, false, 32, 16, {kRed, kGreen, kBlue, kWhite}},
      {1, false, 32, 16, {kRed, kGreen, kBlue, kWhite}},
      {3, false, 32, 16, {kWhite, kBlue, kGreen, kRed}},
      {6, false, 16, 32, {kBlue, kRed, kWhite, kGreen}},
      {8, false, 16, 32, {kGreen, kWhite, kRed, kBlue}},
      {6, true, 16, 32, {kBlue, kRed, kWhite, kGreen}},
      {9, false, 32, 16, {kRed, kGreen, kBlue, kWhite}},  // no such orientation: as stored
  };
  for (const auto& c : cases) {
    Exif exif;
    exif.orientation = c.orientation;
    exif.bigEndian = c.bigEndian;
    const std::string path = tooltest::shellPath(dir.file("photo.jpg"));
    ASSERT_TRUE(tooltest::writeShellFile(path, quadrantPhoto(exif)));
    abm::RgbPicture thumb;
    std::string problem;
    ASSERT_TRUE(abm::thumbnailOf(path, 96, &thumb, &problem)) << problem;
    const std::string what = "orientation " + std::to_string(c.orientation);
    ASSERT_EQ(thumb.width, c.width) << what;
    ASSERT_EQ(thumb.height, c.height) << what;
    const uint32_t w = thumb.width - 2, h = thumb.height - 2;
    EXPECT_TRUE(closeTo(thumb, 1, 1, c.corners[0])) << what;
    EXPECT_TRUE(closeTo(thumb, w, 1, c.corners[1])) << what;
    EXPECT_TRUE(closeTo(thumb, 1, h, c.corners[2])) << what;
    EXPECT_TRUE(closeTo(thumb, w, h, c.corners[3])) << what;
  }
}

TEST(Exif, CaptureTimeAndCameraAreReadOnlyWhenWellFormed) {
  const Bytes plain = tooltest::jpegFile(8, 8, Bytes(8 * 8 * 3, 50), false, 90);
  const struct {
    Exif exif;
    std::string taken, camera;
  } cases[] = {
      {{1, "Canon", "Canon EOS 5D", "2024:05:06 07:08:09", false},
       "2024-05-06 07:08:09",
       "Canon EOS 5D"},
      {{1, "NIKON", "D750", "1999:12:31 23:59:59", true}, "1999-12-31 23:59:59", "NIKON D750"},
      {{1, "", "Pixel 7", "2024-05-06 07:08:09", false}, "", "Pixel 7"},
      {{1, "", "", "    :  :     :  :  ", false}, "", ""},
  };
  for (const auto& c : cases) {
    const abm::ExifFacts facts =
        abm::exifFactsOf(tooltest::withApp1(plain, tooltest::exifPayload(c.exif)));
    EXPECT_EQ(facts.taken, c.taken) << c.exif.taken;
    EXPECT_EQ(facts.camera, c.camera) << c.exif.model;
  }
  // No EXIF, a cut or damaged EXIF block: upright, no date, no camera.
  const Bytes full = tooltest::exifPayload({6, "Make", "Model", "2024:05:06 07:08:09", false});
  std::vector<Bytes> damaged = {plain,
                                tooltest::withApp1(plain, Bytes(full.begin(), full.begin() + 20))};
  Bytes wild = full;
  for (size_t i = 10; i < wild.size(); i += 7) wild[i] = 0xFF;
  damaged.push_back(tooltest::withApp1(plain, wild));
  for (const Bytes& file : damaged) {
    const abm::ExifFacts facts = abm::exifFactsOf(file);
    EXPECT_TRUE(facts.taken.empty());
    EXPECT_TRUE(facts.orientation >= 1 && facts.orientation <= 8);
  }
  EXPECT_EQ(abm::exifFactsOf(plain).orientation, 1);
}

TEST(Exif, TakenGoesIntoTextAndNumberFieldsInTheirOwnForm) {
  const struct {
    unsigned type;
    std::string value;
  } cases[] = {
      {11, "2024-05-06 07:08:09"},
      {9, "2024-05-06 07:08:09"},
      {1, std::to_string((((2024u - 1980) << 9 | 5 << 5 | 6) << 16) | (7u << 11 | 8 << 5 | 4))},
      {3, "20240506070809"},
  };
  for (const auto& c : cases) {
    const abm::Field field{0, c.type, "When"};
    EXPECT_EQ(abm::takenAssignment(field, "2024-05-06 07:08:09"), "When=" + c.value) << c.type;
  }
  const std::vector<abm::Field> fields = {{0, 7, "Keywords"}, {1, 0, "Short"}, {2, 11, "When"}};
  const abm::Field* field = nullptr;
  std::string problem;
  EXPECT_FALSE(abm::takenField(fields, "Keywords", {}, &field, &problem));
  EXPECT_FALSE(abm::takenField(fields, "Short", {}, &field, &problem));
  EXPECT_FALSE(abm::takenField(fields, "Missing", {}, &field, &problem));
  EXPECT_FALSE(abm::takenField(fields, "When", {"When=x"}, &field, &problem));
  EXPECT_TRUE(abm::takenField(fields, "when", {"Short=1"}, &field, &problem)) << problem;
}

TEST(Exif, AddStoresTheCaptureTimeAndShowPrintsItWithTheCamera) {
  afm3test::TempDir dir;
  const std::string album = tooltest::shellPath(dir.file("photos.ab3"));
  ASSERT_EQ(tooltest::runTool({"create", album, "--field=Taken:text", "--field=Tags:list32"}), 0);
  const std::string dated = tooltest::shellPath(dir.file("dated.jpg"));
  const std::string undated = tooltest::shellPath(dir.file("undated.jpg"));
  ASSERT_TRUE(tooltest::writeShellFile(
      dated, quadrantPhoto({8, "Canon", "Canon EOS 5D", "2024:05:06 07:08:09", false})));
  ASSERT_TRUE(tooltest::writeShellFile(undated, quadrantPhoto({})));
  std::string out;
  EXPECT_EQ(tooltest::runToolCaptured({"add", album, dated, "--taken=Tags"}, &out), 2);
  ASSERT_EQ(tooltest::runToolCaptured({"add", album, dated, undated, "--taken=Taken"}, &out), 0);

  ASSERT_EQ(tooltest::runToolCaptured({"show", album, "0"}, &out), 0);
  EXPECT_NE(out.find("taken:      2024-05-06 07:08:09\n"), std::string::npos) << out;
  EXPECT_NE(out.find("camera:     Canon EOS 5D\n"), std::string::npos) << out;
  EXPECT_NE(out.find("thumbnail:  stored at"), std::string::npos) << out;
  EXPECT_NE(out.find(", 16 x 32\n"), std::string::npos) << "stored upright: " << out;
  EXPECT_NE(out.find("Taken  text     2024-05-06 07:08:09"), std::string::npos) << out;
  ASSERT_EQ(tooltest::runToolCaptured({"show", album, "1"}, &out), 0);
  EXPECT_EQ(out.find("taken:"), std::string::npos) << out;
  EXPECT_EQ(out.find("camera:"), std::string::npos) << out;
}

}  // namespace

#endif  // ABM_PICTURE_LIBS
