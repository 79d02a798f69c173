#include "names.h"

#include <algorithm>
#include <cstring>
#include <set>

#include "codepage.h"

namespace qwin {

namespace {

bool valid83Char(uint8_t c) {
  if (c >= 0x80) return true;
  if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) return true;
  return c != 0 && std::strchr("!#$%&'()-@^_`{}~", c) != nullptr;
}

// Characters a long name may hold but a short name may not.
bool replacedIn83(uint8_t c) { return c != 0 && std::strchr("+,;=[]", c) != nullptr; }

// The part of s that fits in limit bytes without splitting a character.
std::string prefixOf(const std::string& s, size_t limit) {
  size_t end = 0;
  while (end < s.size()) {
    const size_t n = charLength(s.c_str() + end);
    if (end + n > limit) break;
    end += n;
  }
  return s.substr(0, end);
}

// Upper-cases part and keeps only what a short name may hold.
std::string cleanFor83(const std::string& part) {
  std::string out;
  const char* p = part.c_str();
  while (*p) {
    const size_t n = charLength(p);
    const uint8_t c = static_cast<uint8_t>(*p);
    if (n == 2) {
      out.append(p, 2);
    } else if (c == ' ' || c == '.') {
      // dropped
    } else if (replacedIn83(c) || !valid83Char(c)) {
      out += '_';
    } else {
      out += static_cast<char>(upperByte(c));
    }
    p += n;
  }
  return out;
}

bool matchFrom(const char* p, const char* n) {
  // Iterative glob with one backtracking point for the last '*'.
  const char* starP = nullptr;
  const char* starN = nullptr;
  for (;;) {
    if (*p == '*') {
      while (*p == '*') ++p;
      if (*p == '\0') return true;
      starP = p;
      starN = n;
      continue;
    }
    const size_t np = charLength(p);
    const size_t nn = charLength(n);
    if (nn == 0 && np == 0) return true;
    bool same = false;
    if (nn != 0 && np != 0) {
      if (*p == '?') {
        same = true;
      } else if (np == nn) {
        same = np == 1 ? upperByte(static_cast<uint8_t>(*p)) == upperByte(static_cast<uint8_t>(*n))
                       : (p[0] == n[0] && p[1] == n[1]);
      }
    }
    if (same) {
      p += np;
      n += nn;
      continue;
    }
    if (starP == nullptr || *starN == '\0') return false;
    starN += charLength(starN);
    p = starP;
    n = starN;
  }
}

}  // namespace

bool isRepresentableName(const std::string& name, bool allowWildcards) {
  if (name.empty()) return false;
  const char* p = name.c_str();
  while (*p) {
    const size_t n = charLength(p);
    const uint8_t c = static_cast<uint8_t>(*p);
    if (n == 1) {
      if (c < 0x20) return false;
      if (std::strchr("<>:\"/\\|", c) != nullptr) return false;
      if (!allowWildcards && (c == '?' || c == '*')) return false;
    }
    p += n;
  }
  return true;
}

bool isValid83(const std::string& name) {
  if (name.empty() || name == "." || name == "..") return false;
  const size_t dot = name.find('.');
  const std::string base = name.substr(0, dot);
  const std::string ext = dot == std::string::npos ? std::string() : name.substr(dot + 1);
  if (base.empty() || base.size() > 8) return false;
  if (dot != std::string::npos && (ext.empty() || ext.size() > 3)) return false;
  for (const std::string* part : {&base, &ext}) {
    const char* p = part->c_str();
    while (*p) {
      const size_t n = charLength(p);
      if (n == 1 && !valid83Char(static_cast<uint8_t>(*p))) return false;
      p += n;
    }
  }
  return true;
}

std::map<std::string, std::string> alternateNames(const std::vector<std::string>& folderNames) {
  std::set<std::string> taken;
  std::vector<std::string> longNames;
  for (const std::string& name : folderNames) {
    if (name == "." || name == "..") continue;
    if (isValid83(name)) {
      taken.insert(upperString(name));
    } else {
      longNames.push_back(name);
    }
  }
  std::sort(longNames.begin(), longNames.end());
  longNames.erase(std::unique(longNames.begin(), longNames.end()), longNames.end());

  std::map<std::string, std::string> aliases;
  for (const std::string& name : longNames) {
    // The extension follows the last dot, unless that dot only starts the
    // name (".profile" has none).
    const size_t firstReal = name.find_first_not_of('.');
    const size_t lastDot = name.rfind('.');
    std::string basePart = name;
    std::string extPart;
    if (lastDot != std::string::npos && firstReal != std::string::npos && lastDot > firstReal) {
      basePart = name.substr(0, lastDot);
      extPart = name.substr(lastDot + 1);
    }
    std::string base = cleanFor83(basePart);
    if (base.empty()) base = "_";
    const std::string ext = prefixOf(cleanFor83(extPart), 3);
    for (unsigned n = 1;; ++n) {
      const std::string suffix = "~" + std::to_string(n);
      std::string candidate = prefixOf(base, std::min<size_t>(6, 8 - suffix.size())) + suffix;
      if (!ext.empty()) candidate += "." + ext;
      if (taken.insert(upperString(candidate)).second) {
        aliases.emplace(name, candidate);
        break;
      }
    }
  }
  return aliases;
}

bool hasWildcards(const std::string& name) { return name.find_first_of("*?") != std::string::npos; }

bool wildcardMatch(const std::string& pattern, const std::string& name) {
  if (pattern == "*" || pattern == "*.*") return true;
  if (matchFrom(pattern.c_str(), name.c_str())) return true;
  // "name.*" also finds "name" (a name without extension has an empty one).
  if (pattern.size() >= 2 && pattern.compare(pattern.size() - 2, 2, ".*") == 0 &&
      name.find('.') == std::string::npos) {
    return matchFrom(pattern.substr(0, pattern.size() - 2).c_str(), name.c_str());
  }
  return false;
}

}  // namespace qwin
