// Albums and listeners for the reorganization tests: records with every
// kind of out-of-row data, a record's whole content read back through the
// public interface (so that a record can be compared before and after),
// and a progress window that records what it is sent and can cancel.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "afm3.h"
#include "records_support.h"

namespace reorgtest {

using afm3test::Bytes;
using afm3test::get16;
using afm3test::get32;
using rectest::TestAlbum;
using rectest::Values;

// afm3OpenAlbum flags: read-write, others reading (what reorganizing needs).
constexpr DWORD kPrivate = rectest::kPrivate;
constexpr DWORD kShared = rectest::kShared;

// Runs afm3ReorganizeAbm on the album's current handle.
int reorganize(TestAlbum& album, const std::vector<WORD>* order = nullptr, HWND window = nullptr);

// Whether the album's folder still holds a work file.
bool workFileLeft(const TestAlbum& album);
std::string workFilePath(const TestAlbum& album);

// Inserts a record with strings A and B, a raw 24-bit image made from
// seed (none when seed is 0) and picture-file data (none when empty).
int insertRecord(TestAlbum& album, Values* values, const std::string& stringA,
                 const std::string& stringB, uint32_t imageSeed, const Bytes& pictureData);

// Everything a record holds, as the public interface returns it, with the
// record's own number and file offsets left out: its field values (types
// given in field order), its entry's caller fields, strings A and B, its
// picture-file data and its image.
std::string recordContent(TestAlbum& album, uint32_t record, const std::vector<uint8_t>& types);

// Header fields of the album file.
struct Header {
  uint32_t pageDirOffset, textHeapOffset, memoHeapOffset, rowDirOffset, fieldDefOffset,
      fieldNameOffset, indexListOffset;
  uint16_t pageDirCount, textHeapFree, textHeapUsed, memoHeapFree, memoHeapUsed, rowBlockSize,
      rowsPerBlock, rowDirCount, rowDataSize, rowSlotSize, fieldNameSize, recordCount,
      nextRecordNumber;
  uint8_t fieldDefCount, fieldCount;
};
Header headerOf(const Bytes& file);

// One message a progress window received.
struct Heard {
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
  AFM3_PROGRESS_PHASE_INFO info;  // for a phase beginning
  std::string caption, subCaption;
};

// A message window that records the progress messages and cancels at step
// cancelStep of phase cancelPhase (1-based; 0 = never).
class ProgressListener {
 public:
  ProgressListener();
  ~ProgressListener();
  HWND window() const { return window_; }
  void cancelAt(uint32_t phase, uint32_t step) {
    cancelPhase_ = phase;
    cancelStep_ = step;
  }
  const std::vector<Heard>& heard() const { return heard_; }
  // The phases begun, by caption and sub-caption identifier order.
  std::vector<std::string> phases() const;

 private:
  static LRESULT CALLBACK proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  HWND window_ = nullptr;
  std::vector<Heard> heard_;
  uint32_t phase_ = 0;
  uint32_t cancelPhase_ = 0, cancelStep_ = 0;
};

}  // namespace reorgtest
