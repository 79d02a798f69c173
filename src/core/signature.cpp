#include "core/signature.h"

#include <cstring>

#include "afm3.h"
#include "afm3_bytes.h"
#include "core/heap_block.h"
#include "platform.h"

namespace afm3 {

namespace {

constexpr uint32_t kFixedWorkSize = 132;
constexpr uint16_t kListEnd = 0xFFFF;

void setBit(uint8_t* out, uint32_t value) {
  const uint32_t bit = value % kSignatureBits;
  out[bit / 8] = static_cast<uint8_t>(out[bit / 8] | (1u << (bit % 8)));
}

bool isWordCharacter(uint8_t b) {
  if ((b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z') || (b >= '0' && b <= '9')) return true;
  if (b >= 0xC0) return b != 0xD7 && b != 0xF7;
  return b == 0x8A || b == 0x8C || b == 0x9A || b == 0x9C || b == 0x9F;
}

void textSignature(char* lowered, uint8_t* out) {
  uint32_t sum = 0;
  uint32_t weight = 1;
  for (const char* p = lowered; *p != '\0';) {
    const char* next = plat::charNext(p);
    if (next - p == 2) {
      if (sum != 0) setBit(out, sum);
      sum = 0;
      setBit(out, afm3GetU16(reinterpret_cast<const unsigned char*>(p)));
    } else {
      const auto b = static_cast<uint8_t>(*p);
      if (isWordCharacter(b)) {
        sum += (weight & 0xFFFFu) * b;
        ++weight;
      } else {
        if (sum != 0) setBit(out, sum);
        sum = 0;
        weight = 1;
      }
    }
    p = next;
  }
  if (sum != 0) setBit(out, sum);
}

}  // namespace

bool computeSignature(const void* text, uint32_t count, uint32_t kind, uint8_t* out) {
  std::memset(out, 0, kSignatureSize);
  if (text == nullptr) return true;
  if (kind == kSignatureValueList) {
    const auto* values = static_cast<const unsigned char*>(text);
    for (uint32_t i = 0; i < count; ++i) {
      const uint16_t value = afm3GetU16(values + 2 * i);
      if (value == kListEnd) break;
      setBit(out, value);
    }
    return true;
  }
  if (kind != kSignatureText && kind != kSignatureString && kind != kSignatureMemo) return true;
  const char* source = static_cast<const char*>(text);
  const size_t length = std::strlen(source);
  char fixed[kFixedWorkSize];
  LockedBlock allocated;
  char* work = fixed;
  if (length + 2 > kFixedWorkSize) {
    if (!allocated.allocate(length + 2)) return false;
    work = reinterpret_cast<char*>(allocated.get());
  }
  std::memcpy(work, source, length + 1);
  plat::charLower(work);
  textSignature(work, out);
  return true;
}

}  // namespace afm3

extern "C" BOOL WINAPI afm3GetSignature(const void* text, DWORD count, DWORD kind, BYTE* out12) {
  if (out12 == nullptr) return FALSE;
  return afm3::computeSignature(text, count, kind, out12) ? TRUE : FALSE;
}

extern "C" BOOL WINAPI afm3GetMemoSignature(LPCSTR text, BYTE* out12) {
  const DWORD count = text == nullptr ? 0 : static_cast<DWORD>((std::strlen(text) + 1) / 2);
  return afm3GetSignature(text, count, afm3::kSignatureMemo, out12);
}
