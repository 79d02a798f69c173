// Mark files for the mark tests: a scratch AppDataFolder, caller-side
// records, and an independent reading of a whole mark file that checks
// every structural rule the library must keep.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "afm3.h"
#include "album_fixtures.h"
#include "temp_dir.h"

namespace marktest {

using afm3test::Bytes;

constexpr uint32_t kEmptySize = 3036;
constexpr uint32_t kRecordSize = 172;
constexpr uint32_t kBuckets = 509;
constexpr uint8_t kRemovable = 2, kFixed = 3, kCdRom = 5;

// The file-name hash, computed here on its own (ASCII names).
uint32_t nameHash(const std::string& path);

// A caller's 168-byte ThumbMarkRecord.
Bytes markRecord(const std::string& path, uint32_t markSet, const std::string& label = "",
                 uint8_t driveType = kFixed);

// What a whole mark file holds, read here without the library.
struct MarkFileImage {
  std::string problem;  // empty when every rule holds
  uint16_t live = 0, freeCount = 0;
  std::string title, albumPath;
  std::vector<std::vector<uint32_t>> chains;  // record offsets per bucket
  std::vector<uint32_t> freeList;
};
// Checks the header (magic, checksum), every chain (offsets inside the
// file, no record twice, each record in its name's bucket, paths in
// ascending order from the second byte, zero padding), the free list
// (zero records), both counts, and that the file holds nothing else.
MarkFileImage readMarkFile(const Bytes& file);

Bytes fileBytes(const std::string& path);

// The 832-byte name table with the given names in their slots.
Bytes nameTable(const std::vector<std::string>& names);

// Every test runs with AppDataFolder in a scratch folder of its own.
class MarkTest : public testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // A new, empty mark file in the scratch folder (path as made).
  std::string newMarkFile(const std::string& name = "marks.mrk", const std::string& title = "");
  const std::string& home() const { return home_.path(); }
  // The canonical short path of an existing album, as mark files keep it.
  static std::string key(const std::string& album);
  std::string file(const std::string& name) const { return dir_.file(name); }

  afm3test::TempDir dir_;
  afm3test::TempDir home_;

 private:
  std::string savedHome_;
};

// The last error's id, module, function and step.
void expectReport(uint32_t id, uint32_t module, uint32_t function, uint32_t step);

inline HINSTANCE owner() { return reinterpret_cast<HINSTANCE>(0x5151); }

}  // namespace marktest
