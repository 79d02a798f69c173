// File names as Windows sees them: valid characters, 8.3 names, the
// alternate (short) names of long names, and wildcard matching.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace qwin {

// A name Windows can represent: non-empty, no control characters and none
// of < > : " / \ | ? * (wildcards are allowed when asked for).
bool isRepresentableName(const std::string& name, bool allowWildcards = false);
// A name that is its own short name: a base of 1-8 and an optional
// extension of 1-3 valid 8.3 characters, in any letter case.
bool isValid83(const std::string& name);

// The alternate names of the entries of one folder that need one (those
// that are not valid 8.3 names), keyed by the long name.
//
// An alternate name is the upper-cased long name with spaces and extra dots
// removed and characters that 8.3 names cannot hold replaced by '_', cut to
// "FIRST6~N.EXT". N is handed out in byte order of the long names, skipping
// names already taken in the folder, so a folder's content alone fixes
// every alias.
std::map<std::string, std::string> alternateNames(const std::vector<std::string>& folderNames);

// Case-insensitive match of a Windows wildcard pattern ('*' any run, '?' one
// character; "*.*" matches every name and "x.*" also matches "x").
bool wildcardMatch(const std::string& pattern, const std::string& name);
bool hasWildcards(const std::string& name);

}  // namespace qwin
