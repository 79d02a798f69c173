// Gathering what the information dialog shows: the album's version,
// header and FieldSpecs, from the open-album table when the host has the
// album open in this process, from the caller's open album, or by opening
// it read-only for the time the dialog runs.
#pragma once

#include "afm3_info.h"
#include "core/heap_block.h"
#include "ui/info_pages.h"

namespace afm3::ui {

class InfoSession {
 public:
  InfoSession() = default;
  ~InfoSession();
  InfoSession(const InfoSession&) = delete;
  InfoSession& operator=(const InfoSession&) = delete;

  // The steps before the dialog opens; false after reporting the failure.
  bool load(const char* path, const AFM3_OPENED_ALBUM* opened);
  const InfoAlbum& album() const { return album_; }

 private:
  bool loadFromOpenSlot();
  bool loadFromFile(const AFM3_OPENED_ALBUM* opened);

  InfoAlbum album_;
  LockedBlock slotSpecs_;          // FieldSpecs built from an open slot
  HANDLE openedHere_ = nullptr;    // an album this session opened
  HGLOBAL specsHere_ = nullptr;    // and its FieldSpec block
  HGLOBAL lockedSpecs_ = nullptr;  // the FieldSpec block in use, locked
};

}  // namespace afm3::ui
