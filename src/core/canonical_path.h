// The canonical form of a path: every component as the file system spells
// it, found one by one from the root. Picture paths (handed out in their
// long form when an entry has no full path) and mark files (which compare
// album paths in their short form) both rely on it.
#pragma once

#include <cstdint>

namespace afm3 {

// Where the routine reports (module 7011, function 4).
enum CanonicalPathStep : uint32_t {
  kCanonicalStepTooShort = 1,  // a path of one character or none ("Internal bug.")
  kCanonicalStepNoShare = 2,   // "\\server" without a share ("Internal bug.")
  kCanonicalStepNotFound = 3,  // a component does not exist (6436)
  kCanonicalStepTooLong = 4,   // the result does not fit out ("Internal bug.")
};

enum class CanonicalNames { Long, Short };
enum class CanonicalReports { Report, Quiet };

// Writes the canonical form of path to out (outSize bytes):
//   root: "\\server\share\" for a network path, else the first three
//   characters with the drive letter upper-cased;
//   each further component as the file system reports it: with short
//   names its 8.3 alternate name when it has one, else its name; with long
//   names its long name, and when the file system knows no alternate name
//   for it, every character after the first lower-cased (the way 8.3
//   volumes hand out upper-case names).
// With short names the whole result is lower-cased. Empty components
// (doubled or trailing backslashes) are skipped. Returns false after a
// report unless reports is Quiet; out is then empty.
bool canonicalPath(const char* path, char* out, uint32_t outSize, CanonicalNames names,
                   CanonicalReports reports = CanonicalReports::Report);

}  // namespace afm3
