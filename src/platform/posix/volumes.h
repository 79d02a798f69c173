// The emulated machine's volumes: drive letters and UNC shares mapped onto
// host folders.
//
// The default machine has one drive, "Z:\" on the host root "/", as Wine
// sets it up. Tests add drives ("X:\" on a folder, with a label, serial,
// drive type, 8.3 or long names, a fixed free-space figure, a remote name)
// and shares ("\\server\share", reachable or waiting for a network
// connection).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qwin {

struct Volume {
  bool isShare = false;
  char letter = 0;     // 'A'..'Z' for a drive
  std::string server;  // for a share, as given
  std::string share;
  std::string hostRoot;  // absolute host folder; "/" or without trailing slash
  std::string label;
  uint32_t serial = 0;
  uint32_t driveType = 3;
  uint32_t maxComponentLength = 255;
  long long fixedFreeBytes = -1;  // negative: the host file system's figure
  std::string remoteName;         // "\\server\share" of a redirected drive
  bool reachable = true;

  bool shortNamesOnly() const { return maxComponentLength <= 12; }
};

// The volume of a drive letter; false with error 3 when there is none.
bool findDrive(char letter, Volume* out);
// The volume of a share; false with error 53 (unknown server, or a share
// not reachable yet) or 67 (unknown share of a known server).
bool findShare(const std::string& server, const std::string& share, Volume* out);
// Every drive, for mapping host paths back to Windows paths.
std::vector<Volume> allDrives();
void resetVolumes();
// A host folder given to the test API: an absolute POSIX path or a Windows
// path of the emulated machine. Empty when it is not an existing folder.
std::string hostFolderOf(const char* folder);

}  // namespace qwin
