// Shared folders of this computer, and the network names pictures under
// them get when albums are converted.
//
// The share table is filled once per process from the registry: share
// name and local folder, longest folder first, so that the most specific
// share of a picture is found first.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace afm3 {

struct Share {
  std::string name;
  std::string folder;  // no trailing backslash, unless a drive or share root
};

// The table, filled on first use.
const std::vector<Share>& shareTable();
// Fills the table when this process has not done so yet.
void discoverSharesOnce();
// Forgets the table, so that the next use reads the registry again
// (tests change the machine between conversions).
void forgetShares();

// Adds a share in folder-length order (a new entry goes before the first
// one with a shorter folder).
void addShare(std::vector<Share>* table, Share share);

// The network name of a picture path: "\\HOST\SHARE|FOLDER" in upper case
// when the path lies in a shared folder of this computer, else empty.
// A picture on a network drive (type 4) gets none.
std::string networkNameOf(const std::string& path, uint32_t driveType);

}  // namespace afm3
