// The integrity check of a version-3 album, and its repair.
//
// The check walks the whole file and lists every problem it finds with its
// kind and place (afm3_check.h lists the kinds). It reads the file through
// its own handle, never through an open album's caches, and trusts no
// number it reads: every offset, count and length is held against the file
// and the structure it lies in before anything is read through it, so any
// bytes at all can be checked.
//
// The repair mends what follows from the rest of the file without
// guessing, in an order that leaves the album no worse wherever it stops:
//   1. half-deleted records are completed as deleted, one small write
//      each (the row's slack filled with 0xFA, or the entry's number set
//      to 0xFFFF with its checksum kept): a stop leaves the others as
//      they were, and the record count one off, which a second run mends;
//   2. the header, in one write with a fresh checksum: recordCount as the
//      live entries count, nextRecordNumber raised above every record
//      that was ever inserted, each current heap block's used mark moved
//      past every entry a row refers to (and its free count with it), so
//      that no later insert writes over them.
#pragma once

#include <cstdint>
#include <vector>

#include "afm3_check.h"
#include "afm3_types.h"

namespace afm3 {

struct FoundProblem {
  Afm3Problem problem;
  bool repairable;  // the repair mends it
};

enum class CheckOutcome {
  Checked,
  NotAnAlbum,  // or unreadable: the one problem listed says why
};

// Checks the album open as file (read access is enough).
CheckOutcome checkAlbum(HANDLE file, std::vector<FoundProblem>* problems);

// Checks the album open as file (read and write access), mends what the
// check marked repairable, and checks again: repaired receives the
// problems the second check no longer finds (with AFM3_PROBLEM_REPAIRED
// in their kind), left everything it still finds.
CheckOutcome repairAlbum(HANDLE file, std::vector<Afm3Problem>* repaired,
                         std::vector<Afm3Problem>* left);

// afm3CheckAlbumFile: opens path (for a check with read access, sharing
// reading and writing; for a repair with read and write access, sharing
// nothing), checks or repairs it and hands every problem to onProblem.
int checkAlbumFile(const char* path, bool repair, Afm3ProblemCallback onProblem, void* ctx);

}  // namespace afm3
