// Albums and listeners for the reorganization tests: records with every
// kind of out-of-row data, a record's whole content read back through the
// public interface (to compare a record before and after), and a progress
// window that records what it is sent and can cancel.
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
using rectest::kPrivate;
using rectest::kShared;
using rectest::TestAlbum;
using rectest::Values;

// afm3ReorganizeAbm on the album's current handle.
int reorganize(TestAlbum& album, const std::vector<WORD>* order = nullptr, HWND window = nullptr);
std::string workFilePath(const TestAlbum& album);
bool workFileLeft(const TestAlbum& album);

// Inserts a record with strings A and B (none when empty), a raw 24-bit
// image made from imageSeed (none when 0) and picture-file data; returns
// its number.
int insertRecord(TestAlbum& album, Values* values, const std::string& stringA,
                 const std::string& stringB, uint32_t imageSeed, const Bytes& pictureData);

// Everything a record holds as the public interface returns it (field
// values of the given types, entry, strings A and B, picture-file data,
// image), without its number and file offsets.
std::string recordContent(TestAlbum& album, uint32_t record, const std::vector<uint8_t>& types);

struct Heard {
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
  AFM3_PROGRESS_PHASE_INFO info;  // of a phase beginning
  std::string caption;            // caption[/sub-caption] of a phase beginning
};

// A message window that records the progress messages, cancelling at step
// cancelStep of phase cancelPhase (1-based; 0 = never).
class ProgressListener {
 public:
  ProgressListener();
  ~ProgressListener();
  HWND window() const { return window_; }
  void cancelAt(uint32_t phase, uint32_t step) { cancelPhase_ = phase, cancelStep_ = step; }
  const std::vector<Heard>& heard() const { return heard_; }

 private:
  static LRESULT CALLBACK proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  HWND window_ = nullptr;
  std::vector<Heard> heard_;
  uint32_t phase_ = 0, cancelPhase_ = 0, cancelStep_ = 0;
};

}  // namespace reorgtest
