// Windows paths of the emulated machine and their host files.
#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <string>
#include <vector>

#include "volumes.h"

namespace qwin {

// A normalised absolute Windows path: a root and its components, with "."
// and ".." applied and trailing dots and spaces of each component removed.
struct WinPath {
  bool unc = false;
  char drive = 0;  // upper-case letter when !unc
  std::string server, share;
  std::vector<std::string> parts;
  bool trailingSeparator = false;

  std::string root() const;  // "X:\" or "\\server\share\"
  std::string full() const;  // root plus the components, keeps a trailing separator
};

// Parses path ("X:\a", "\\server\share\a", relative, "\a", or an absolute
// POSIX path standing for Z:) against the current directory. Components
// holding wildcards are kept as given.
bool parsePath(const char* path, WinPath* out);

struct Resolved {
  WinPath win;
  Volume volume;
  std::string host;                 // host path of the whole path
  std::string hostParent;           // host folder holding the last component
  std::vector<std::string> actual;  // on-disk name of each existing component
  bool exists = false;              // the last component exists
  struct stat st {};                // valid when exists
  std::string lastName() const { return win.parts.empty() ? std::string() : win.parts.back(); }
  bool isRoot() const { return win.parts.empty(); }
};

// Maps a Windows path onto the host: the volume, then every component,
// matched exactly, else case-insensitively, else as the alternate 8.3 name
// of a long name. Fails with error 123 for names Windows cannot hold
// (wildcards included), 3 when a folder on the way is missing, or the
// volume's error; a missing last component is not an error (exists false).
bool resolvePath(const char* path, Resolved* out);
// The same for an already parsed path.
bool resolveParsed(const WinPath& win, Resolved* out);

// The Windows path of an absolute host path, on the drive whose host folder
// holds it most closely (normally Z:).
std::string hostToWindows(const std::string& hostPath);

// Whether name may be created on volume: error 206 for a component too long
// for the volume (on an 8.3 volume: anything but a valid 8.3 name), 123 for
// characters Windows refuses.
bool checkNewName(const Volume& volume, const std::string& name);

// The on-disk entry of name in hostFolder (exact, case-insensitive or by
// alternate name); empty when there is none.
std::string findEntry(const std::string& hostFolder, const std::string& name);
// The names in a host folder, without "." and "..".
std::vector<std::string> folderNames(const std::string& hostFolder);
std::string joinHost(const std::string& folder, const std::string& name);

// Copies s to out the way the Windows path functions do: the length without
// the NUL, or the size needed (with the NUL) when out is too small.
uint32_t copyPathOut(const std::string& s, char* out, uint32_t size);

void resetCurrentDirectory();

}  // namespace qwin
