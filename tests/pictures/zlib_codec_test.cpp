// q32zlib keeps one stream state per direction between calls: a call that
// failed half-way must not leak into the next one, and every stream must
// stay a complete, standard zlib stream.
#include <gtest/gtest.h>
#include <zlib.h>

#include <string>
#include <vector>

#include "core/library_state.h"
#include "platform.h"
#include "q32zlib.h"

namespace {

using Compress = Q32ZLIB_CODER_FN;
using Bytes = std::vector<uint8_t>;

class ZlibCodec : public testing::Test {
 protected:
  void SetUp() override {
#ifdef _WIN32
    const std::string name = "q32zlib.dll";
#else
    const std::string name = "libq32zlib.so";
#endif
    module_ = plat::loadLibrary((std::string(afm3::libraryState().codecFolder) + name).c_str());
    ASSERT_NE(module_, nullptr);
    compress_ = reinterpret_cast<Compress>(plat::procAddress(module_, "qzCompress"));
    decompress_ = reinterpret_cast<Compress>(plat::procAddress(module_, "qzDecompress"));
    ASSERT_TRUE(compress_ && decompress_);
  }
  void TearDown() override { plat::freeLibrary(module_); }

  int pack(const Bytes& in, Bytes* out, DWORD room) {
    out->assign(room, 0);
    DWORD length = room;
    const int r = compress_(static_cast<DWORD>(in.size()), in.data(), &length, out->data());
    out->resize(r == QZ_OK ? length : 0);
    return r;
  }
  int unpack(const Bytes& in, Bytes* out, DWORD room) {
    out->assign(room, 0);
    DWORD length = room;
    const int r = decompress_(static_cast<DWORD>(in.size()), in.data(), &length, out->data());
    out->resize(r == QZ_OK ? length : 0);
    return r;
  }

  HMODULE module_ = nullptr;
  Compress compress_ = nullptr, decompress_ = nullptr;
};

Bytes sample(uint32_t seed, size_t size) {
  Bytes b(size);
  for (size_t i = 0; i < size; ++i) {
    seed = seed * 1664525u + 1013904223u;
    b[i] = static_cast<uint8_t>(i / 64 + (seed >> 29));
  }
  return b;
}

// Each piece is the stream zlib itself makes of it, whatever came before.
TEST_F(ZlibCodec, EveryCallIsAFreshStandardStreamAfterAnyFailure) {
  const Bytes a = sample(1, 32768), b = sample(2, 1000);
  Bytes packedA, packedB, out;
  ASSERT_EQ(pack(a, &packedA, 40000), QZ_OK);
  ASSERT_EQ(pack(b, &packedB, 40000), QZ_OK);
  EXPECT_EQ(pack(a, &out, 100), QZ_OUTPUT_FULL);  // leaves a half-done stream
  ASSERT_EQ(pack(b, &out, 40000), QZ_OK);
  EXPECT_EQ(out, packedB);
  Bytes raw(a.size());
  uLongf rawLength = raw.size();
  ASSERT_EQ(uncompress(raw.data(), &rawLength, packedA.data(), packedA.size()), Z_OK);
  EXPECT_EQ(Bytes(raw.begin(), raw.begin() + rawLength), a);

  Bytes cut(packedA.begin(), packedA.begin() + packedA.size() / 2);
  EXPECT_EQ(unpack(cut, &out, 40000), QZ_CORRUPT);
  Bytes garbage = packedB;
  garbage[4] ^= 0xFF;
  EXPECT_LT(unpack(garbage, &out, 40000), QZ_OK);
  EXPECT_EQ(unpack(packedA, &out, 100), QZ_OUTPUT_FULL);
  ASSERT_EQ(unpack(packedB, &out, 40000), QZ_OK);
  EXPECT_EQ(out, b);
  ASSERT_EQ(unpack(packedA, &out, 32768), QZ_OK);
  EXPECT_EQ(out, a);
}

}  // namespace
