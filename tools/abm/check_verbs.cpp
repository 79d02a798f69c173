// The deep check and the repair of an album: every problem the integrity
// check finds, with its kind and place.
#include <cstdio>
#include <string>
#include <vector>

#include "afm3_check.h"
#include "album_verbs.h"
#include "host_paths.h"

namespace abm {

namespace {

const char* const kKindNames[] = {
    "problem",        "file",           "header checksum", "header layout", "field scheme",
    "page directory", "entry checksum", "entry number",    "row",           "half-deleted",
    "heap reference", "heap state",     "value table",     "type-9 string", "type-10 value",
    "picture string", "picture data",   "image",           "record count",  "next record",
    "overlap",
};

const char* kindName(uint32_t kind) {
  const uint32_t k = kind & AFM3_PROBLEM_KIND_MASK;
  return k < sizeof kKindNames / sizeof kKindNames[0] ? kKindNames[k] : kKindNames[0];
}

void collect(void* ctx, const Afm3Problem* problem) {
  static_cast<std::vector<Afm3Problem>*>(ctx)->push_back(*problem);
}

void printProblem(const Afm3Problem& p) {
  std::printf("  %-15s at %lu", kindName(p.kind), static_cast<unsigned long>(p.offset));
  if (p.record != AFM3_PROBLEM_NONE)
    std::printf(", record %lu", static_cast<unsigned long>(p.record));
  if (p.field != AFM3_PROBLEM_NONE) std::printf(", field %lu", static_cast<unsigned long>(p.field));
  std::printf(": %s\n", p.text);
}

// Runs the check (or the repair) of the album at the shell path; the
// problems come back in the order they were found. False when the file
// could not be checked at all (the reason is printed).
bool runAlbumCheck(const std::string& verb, const std::string& shellPath, bool repair,
                   std::vector<Afm3Problem>* problems) {
  const std::string path = toLibraryPath(shellPath);
  if (afm3CheckAlbumFile(path.c_str(), repair ? 1 : 0, collect, problems) >= 0) return true;
  const char* why = problems->empty() ? "failed" : problems->back().text;
  std::fprintf(stderr, "abm: %s %s: %s\n", verb.c_str(), shellPath.c_str(), why);
  return false;
}

}  // namespace

int runDeepCheck(const Args& args) {
  const std::string& file = args.positional[0];
  std::vector<Afm3Problem> problems;
  if (!runAlbumCheck("check", file, false, &problems)) return 1;
  if (problems.empty()) {
    std::printf("%s: album format 3.0, no problems found\n", file.c_str());
    return 0;
  }
  std::printf("%s: %zu problem(s)\n", file.c_str(), problems.size());
  for (const Afm3Problem& p : problems) printProblem(p);
  return 1;
}

int runRepair(const Args& args) {
  const std::string& file = args.positional[0];
  std::vector<Afm3Problem> problems;
  if (!runAlbumCheck("repair", file, true, &problems)) return 1;
  std::vector<Afm3Problem> left;
  size_t repaired = 0;
  for (const Afm3Problem& p : problems) {
    if (!(p.kind & AFM3_PROBLEM_REPAIRED)) {
      left.push_back(p);
      continue;
    }
    if (repaired++ == 0) std::printf("repaired:\n");
    printProblem(p);
  }
  if (!left.empty()) std::printf("left as they are:\n");
  for (const Afm3Problem& p : left) printProblem(p);
  std::printf("%s: %zu problem(s) repaired, %zu left\n", file.c_str(), repaired, left.size());
  return left.empty() ? 0 : 1;
}

}  // namespace abm
