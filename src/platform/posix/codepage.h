// The ANSI code page of the emulated machine.
//
// Code page 932 has double-byte characters: a lead byte 0x81-0x9F or
// 0xE0-0xFC followed by any trail byte. Every other code page is treated as
// single-byte with the letters of code page 1252 (ASCII plus the Latin-1
// letters and the few 0x8A-0x9F ones). Case mapping never touches a trail
// byte, which may look like an ASCII letter or a backslash.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace qwin {

uint32_t codePage();
void setCodePage(uint32_t codePage);
bool isLeadByte(uint8_t byte);
// Bytes of the character at s: 2 for a complete double-byte character,
// 1 otherwise, 0 at the terminating NUL.
size_t charLength(const char* s);
// Case mapping of a single-byte character (ASCII, and Latin-1 letters in a
// single-byte code page).
uint8_t upperByte(uint8_t byte);
uint8_t lowerByte(uint8_t byte);
// Upper-cases a whole string, leaving the trail bytes alone.
std::string upperString(const std::string& s);
// Case-insensitive comparison in the code page: <0, 0 or >0.
int compareFolded(const char* a, const char* b);
inline bool equalFolded(const std::string& a, const std::string& b) {
  return a.size() == b.size() && compareFolded(a.c_str(), b.c_str()) == 0;
}

}  // namespace qwin
