// The picture verbs: thumbs (stored thumbnails as PNG and BMP files,
// checked with a decoder written apart from the tool), path and relink.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "afm3.h"
#include "afm3_bytes.h"
#include "album_fixtures.h"
#include "cli.h"
#include "temp_dir.h"
#include "test_pictures.h"

namespace {

using tooltest::Bytes;

HINSTANCE testOwner() { return reinterpret_cast<HINSTANCE>(0x7301); }

int run(std::vector<std::string> words, std::string* out = nullptr) {
  words.insert(words.begin(), "abm");
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  const abm::Verb* verb = abm::findVerb(words.at(1));
  if (verb == nullptr) return -1;
  const abm::Args args = abm::parseArgs(static_cast<int>(argv.size()), argv.data(), 2);
  if (out != nullptr) testing::internal::CaptureStdout();
  const int status = verb->run(args);
  if (out != nullptr) *out = testing::internal::GetCapturedStdout();
  return status;
}

class PictureVerbs : public testing::Test {
 protected:
  void SetUp() override {
    albumPath_ = dir_.file("pictures.ab3");
    // One text field (type 11): number, type, then the name in 64 bytes.
    Bytes fields(67, 0);
    fields[1] = 11;
    std::memcpy(&fields[2], "Title", 5);
    HANDLE album = afm3CreateAlbum(testOwner(), afm3test::albumInfo("Verbs", 64).data(), 1,
                                   fields.data(), albumPath_.c_str(), nullptr, nullptr);
    ASSERT_NE(album, nullptr) << afm3test::lastError().text;
    afm3CloseAlbum(testOwner(), album);
    ASSERT_NE(
        afm3OpenAlbum(testOwner(), albumPath_.c_str(), 0x41, &album_, nullptr, nullptr, nullptr),
        0xFFFFu);
  }
  void TearDown() override { closeAlbum(); }
  void closeAlbum() {
    if (album_ != nullptr) afm3CloseAlbum(testOwner(), album_);
    album_ = nullptr;
  }

  // Inserts a record with string A and, when dib is given, an image.
  void insert(const char* stringA, HGLOBAL dib = nullptr, Bytes header = {}) {
    Bytes entry(280, 0);
    ASSERT_EQ(afm3InsertRecord(testOwner(), album_, entry.data(), dib ? header.data() : nullptr,
                               dib, stringA, nullptr, nullptr, nullptr, nullptr),
              1)
        << afm3test::lastError().text;
    if (dib != nullptr) GlobalFree(dib);
  }

  afm3test::TempDir dir_;
  std::string albumPath_;
  HANDLE album_ = nullptr;
};

#ifndef _WIN32
// A packed DIB: 40-byte header, palette (4 bytes an entry), rows.
HGLOBAL dibOf(uint32_t width, uint32_t height, uint16_t bits, const Bytes& palette,
              const Bytes& rows) {
  Bytes dib(40, 0);
  tooltest::put32(dib, 0, 40);
  tooltest::put32(dib, 4, width);
  tooltest::put32(dib, 8, height);
  tooltest::put16(dib, 12, 1);
  tooltest::put16(dib, 14, bits);
  tooltest::put32(dib, 32, static_cast<uint32_t>(palette.size() / 4));
  dib.insert(dib.end(), palette.begin(), palette.end());
  dib.insert(dib.end(), rows.begin(), rows.end());
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, dib.size());
  std::memcpy(GlobalLock(block), dib.data(), dib.size());
  GlobalUnlock(block);
  return block;
}

Bytes readShellFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

Bytes imageHeader(uint8_t kind, uint16_t width, uint16_t height) {
  Bytes h(16, 0);
  h[8] = kind;
  tooltest::put16(h, 10, width);
  tooltest::put16(h, 12, height);
  return h;
}

// Decodes PNG (any filter, checking every CRC) and BMP (8 and 24 bits,
// bottom row first) into "width height" and RGB rows, top row first.
constexpr char kDecoder[] = R"(
import struct, sys, zlib
data = open(sys.argv[1], 'rb').read()
if data[:8] == b'\x89PNG\r\n\x1a\n':
    pos, idat = 8, b''
    while pos < len(data):
        n, kind = struct.unpack('>I4s', data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + n]
        assert zlib.crc32(kind + body) == struct.unpack('>I', data[pos + 8 + n:pos + 12 + n])[0]
        if kind == b'IHDR':
            w, h, depth, colour = struct.unpack('>IIBB', body[:10])
            assert depth == 8 and colour == 2
        elif kind == b'IDAT':
            idat += body
        pos += 12 + n
    raw, stride, rows, prev = zlib.decompress(idat), w * 3, [], bytearray(w * 3)
    for y in range(h):
        f, line = raw[y * (stride + 1)], bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            a = line[i - 3] if i >= 3 else 0
            b, c = prev[i], (prev[i - 3] if i >= 3 else 0)
            p = a + b - c
            pred = [0, a, b, (a + b) // 2,
                    a if abs(p - a) <= abs(p - b) and abs(p - a) <= abs(p - c) else (b if abs(p - b) <= abs(p - c) else c)][f]
            line[i] = (line[i] + pred) & 255
        rows.append(bytes(line))
        prev = line
else:
    assert data[:2] == b'BM'
    off = struct.unpack('<I', data[10:14])[0]
    size, w, h, planes, bits = struct.unpack('<IiiHH', data[14:30])
    used = struct.unpack('<I', data[46:50])[0] or (1 << bits if bits <= 8 else 0)
    pal = [data[54 + 4 * i:58 + 4 * i] for i in range(used)]
    stride = (bits * w + 31) // 32 * 4
    rows = []
    for y in range(h - 1, -1, -1):
        line = data[off + y * stride:off + (y + 1) * stride]
        px = [line[3 * x:3 * x + 3][::-1] if bits == 24 else pal[line[x]][:3][::-1] for x in range(w)]
        rows.append(b''.join(px))
sys.stdout.buffer.write(b'%d %d\n' % (w, h) + b''.join(rows))
)";

// The decoded picture: "width height\n" and the RGB bytes, or empty.
std::string decodeIndependently(const afm3test::TempDir& dir, const std::string& file) {
  const std::string script = tooltest::shellPath(dir.file("decode.py"));
  const std::string output = tooltest::shellPath(dir.file("decoded.bin"));
  tooltest::writeShellFile(script, Bytes(kDecoder, kDecoder + sizeof kDecoder - 1));
  const std::string command = "python3 '" + script + "' '" + file + "' > '" + output + "'";
  if (std::system(command.c_str()) != 0) return {};
  const Bytes bytes = readShellFile(output);
  return std::string(bytes.begin(), bytes.end());
}

TEST_F(PictureVerbs, ThumbsAreFilesAnotherDecoderReadsBack) {
  if (std::system("python3 -c 'import zlib' 2>/dev/null") != 0) GTEST_SKIP() << "no python3";
  // 24 bits, 3 x 2: rows bottom first, blue first, padded to 12 bytes.
  const Bytes trueRows = {1,  2,  3,  4,  5,  6,  7,  8,  9,  0, 0, 0,  //
                          10, 11, 12, 13, 14, 15, 16, 17, 18, 0, 0, 0};
  insert("C:\\a.jpg", dibOf(3, 2, 24, {}, trueRows), imageHeader(2, 3, 2));
  insert("C:\\b.jpg");  // no thumbnail
  // 8 bits with a palette of its own, 2 x 2.
  Bytes palette(256 * 4, 0);
  for (int i = 0; i < 256; ++i) {
    palette[4 * i] = static_cast<uint8_t>(i);            // blue
    palette[4 * i + 1] = static_cast<uint8_t>(255 - i);  // green
    palette[4 * i + 2] = 7;                              // red
  }
  insert("C:\\c.jpg", dibOf(2, 2, 8, palette, {5, 6, 0, 0, 200, 201, 0, 0}), imageHeader(4, 2, 2));
  closeAlbum();

  const std::string out = tooltest::shellPath(dir_.path()) + "thumbs";
  ASSERT_TRUE(std::filesystem::create_directory(out));
  const std::string album = tooltest::shellPath(albumPath_);
  std::string said;
  ASSERT_EQ(run({"thumbs", album, out}, &said), 0);
  EXPECT_NE(said.find("2 thumbnails written"), std::string::npos) << said;
  ASSERT_EQ(run({"thumbs", album, out, "--format=bmp"}), 0);
  EXPECT_FALSE(std::filesystem::exists(out + "/record-1.png"));

  // Top row first, red first.
  const std::string first = std::string("3 2\n") + "\x0C\x0B\x0A\x0F\x0E\x0D\x12\x11\x10" +
                            "\x03\x02\x01\x06\x05\x04\x09\x08\x07";
  const std::string second = std::string("2 2\n") + "\x07\x37\xC8\x07\x36\xC9" +
                             std::string("\x07\xFA\x05\x07\xF9\x06", 6);
  for (const char* extension : {".png", ".bmp"}) {
    EXPECT_EQ(decodeIndependently(dir_, out + "/record-0" + extension), first) << extension;
    EXPECT_EQ(decodeIndependently(dir_, out + "/record-2" + extension), second) << extension;
  }
}
#endif

TEST_F(PictureVerbs, RelinkKeepsPathsUnderTheAlbumsFolderRelative) {
  const std::string inside = dir_.file("pics\\a.jpg");
  insert(inside.c_str());
  insert("Q:\\elsewhere\\b.jpg");
  insert(nullptr);
  closeAlbum();
  const std::string album = tooltest::shellPath(albumPath_);
  std::string said;
  ASSERT_EQ(run({"relink", album, "--dry-run"}, &said), 0);
  EXPECT_NE(said.find("1 record would be relinked"), std::string::npos) << said;
  ASSERT_EQ(run({"relink", album}, &said), 0);
  EXPECT_NE(said.find("0: "), std::string::npos) << said;
  EXPECT_NE(said.find(".\\..\\pics\\a.jpg"), std::string::npos) << said;

  ASSERT_EQ(run({"path", album, "0"}, &said), 0);
  EXPECT_NE(said.find("form: folder-relative"), std::string::npos) << said;
  EXPECT_NE(said.find(tooltest::shellPath(inside)), std::string::npos) << said;
  ASSERT_EQ(run({"path", album, "1"}, &said), 0);
  EXPECT_NE(said.find("form: absolute"), std::string::npos) << said;
  EXPECT_NE(run({"path", album, "x"}), 0);
  EXPECT_NE(run({"path", album, "7"}, &said), 0);  // no such record

  // Moved elsewhere with its pictures, the album still finds them.
  afm3test::TempDir other;
  const std::string moved = other.file("moved.ab3");
  ASSERT_TRUE(afm3test::writeWholeFile(moved, afm3test::readWholeFile(albumPath_)));
  ASSERT_EQ(run({"path", tooltest::shellPath(moved), "0"}, &said), 0);
  EXPECT_NE(said.find(tooltest::shellPath(other.file("pics\\a.jpg"))), std::string::npos) << said;
}

}  // namespace
