// Characters of the ANSI code page: walking, case mapping, comparison.
#include <atomic>
#include <cstring>

#include "afm3_compat.h"
#include "codepage.h"
#include "platform.h"

namespace qwin {

namespace {

constexpr uint32_t kDefaultCodePage = 1252;
std::atomic<uint32_t> g_codePage{kDefaultCodePage};

bool singleByte() { return g_codePage.load() != 932; }

// Pairs of code page 1252 letters outside the regular Latin-1 block.
struct CasePair {
  uint8_t upper, lower;
};
constexpr CasePair kExtraPairs[] = {{0x8A, 0x9A}, {0x8C, 0x9C}, {0x8E, 0x9E}, {0x9F, 0xFF}};

}  // namespace

uint32_t codePage() { return g_codePage.load(); }
void setCodePage(uint32_t cp) { g_codePage.store(cp == 0 ? kDefaultCodePage : cp); }

bool isLeadByte(uint8_t byte) {
  if (singleByte()) return false;
  return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

size_t charLength(const char* s) {
  if (*s == '\0') return 0;
  if (isLeadByte(static_cast<uint8_t>(*s)) && s[1] != '\0') return 2;
  return 1;
}

uint8_t upperByte(uint8_t c) {
  if (c >= 'a' && c <= 'z') return static_cast<uint8_t>(c - 0x20);
  if (c < 0x80 || !singleByte()) return c;
  if (c >= 0xE0 && c != 0xF7 && c != 0xFF) return static_cast<uint8_t>(c - 0x20);
  for (const CasePair& pair : kExtraPairs)
    if (c == pair.lower) return pair.upper;
  return c;
}

uint8_t lowerByte(uint8_t c) {
  if (c >= 'A' && c <= 'Z') return static_cast<uint8_t>(c + 0x20);
  if (c < 0x80 || !singleByte()) return c;
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return static_cast<uint8_t>(c + 0x20);
  for (const CasePair& pair : kExtraPairs)
    if (c == pair.upper) return pair.lower;
  return c;
}

namespace {
template <typename Map>
void mapInPlace(char* s, Map map) {
  while (*s) {
    const size_t n = charLength(s);
    if (n == 1) *s = static_cast<char>(map(static_cast<uint8_t>(*s)));
    s += n;
  }
}
}  // namespace

std::string upperString(const std::string& s) {
  std::string out = s;
  mapInPlace(out.data(), upperByte);
  return out;
}

int compareFolded(const char* a, const char* b) {
  for (;;) {
    const size_t na = charLength(a);
    const size_t nb = charLength(b);
    if (na == 0 || nb == 0) return na == nb ? 0 : (na == 0 ? -1 : 1);
    // A character is its folded first byte then (for double-byte ones) its
    // trail byte, compared as unsigned bytes.
    const uint8_t fa = na == 1 ? upperByte(static_cast<uint8_t>(*a)) : static_cast<uint8_t>(*a);
    const uint8_t fb = nb == 1 ? upperByte(static_cast<uint8_t>(*b)) : static_cast<uint8_t>(*b);
    if (fa != fb) return fa < fb ? -1 : 1;
    if (na != nb) return na < nb ? -1 : 1;
    if (na == 2 && a[1] != b[1])
      return static_cast<uint8_t>(a[1]) < static_cast<uint8_t>(b[1]) ? -1 : 1;
    a += na;
    b += nb;
  }
}

}  // namespace qwin

namespace plat {

const char* charNext(const char* s) {
  if (s == nullptr) return nullptr;
  return s + qwin::charLength(s);
}

const char* charPrev(const char* start, const char* s) {
  if (start == nullptr || s == nullptr || s <= start) return start;
  // Double-byte text can only be parsed forwards: walk from the start to
  // the character that ends at or beyond s.
  const char* p = start;
  for (;;) {
    const size_t n = qwin::charLength(p);
    if (n == 0 || p + n >= s) return p;
    p += n;
  }
}

bool isDbcsLeadByte(uint8_t byte) { return qwin::isLeadByte(byte); }

uint32_t ansiCodePage() { return qwin::codePage(); }

void charUpper(char* s) {
  if (s != nullptr) qwin::mapInPlace(s, qwin::upperByte);
}

void charLower(char* s) {
  if (s != nullptr) qwin::mapInPlace(s, qwin::lowerByte);
}

int compareNoCase(const char* a, const char* b) {
  return qwin::compareFolded(a ? a : "", b ? b : "");
}

}  // namespace plat

extern "C" void qwinTestSetCodePage(UINT codePage) { qwin::setCodePage(codePage); }
