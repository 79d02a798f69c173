// qliblzw: TIFF-style LZW (see qliblzw.h for the stream format).
//
// Both directions keep their state in fixed arrays sized for 12-bit codes;
// every write into the caller's output goes through a bounds check against
// the capacity the caller gave.
#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

#include "qliblzw.h"

namespace {

constexpr uint32_t kSymbolBits = 8;
constexpr uint32_t kClear = 1u << kSymbolBits;  // 256
constexpr uint32_t kEndOfInformation = kClear + 1;
constexpr uint32_t kFirstString = kClear + 2;
constexpr uint32_t kMinCodeBits = kSymbolBits + 1;
constexpr uint32_t kMaxCodeBits = 12;
constexpr uint32_t kTableSize = 1u << kMaxCodeBits;

struct Settings {
  uint32_t maxCodeBits;
  uint32_t early;

  // The width of the next code when the encoder's table holds entries.
  uint32_t width(uint32_t entries) const {
    uint32_t bits = kMinCodeBits;
    while (bits < maxCodeBits && entries + early > (1u << bits)) ++bits;
    return bits;
  }
  // The encoder starts afresh once its table holds this many entries.
  uint32_t clearAt() const { return (1u << maxCodeBits) - 1 - early; }
};

bool readSettings(const QLzwParams* params, Settings* out) {
  if (params == nullptr) return false;
  if (params->maxCodeBits < kMinCodeBits || params->maxCodeBits > kMaxCodeBits) return false;
  if (params->symbolBits != kSymbolBits || params->earlyChange > 1) return false;
  out->maxCodeBits = params->maxCodeBits;
  out->early = params->earlyChange;
  return true;
}

bool validBuffers(const QLzwBuffer* in, const QLzwBuffer* out) {
  if (in == nullptr || out == nullptr) return false;
  if (in->count > 0 && in->bytes == nullptr) return false;
  if (out->count > 0 && out->bytes == nullptr) return false;
  return true;
}

// Packs codes most significant bit first into a bounded buffer.
class BitWriter {
 public:
  BitWriter(uint8_t* out, uint32_t capacity) : out_(out), capacity_(capacity) {}

  bool put(uint32_t code, uint32_t bits) {
    pending_ = (pending_ << bits) | code;
    pendingBits_ += bits;
    while (pendingBits_ >= 8) {
      pendingBits_ -= 8;
      if (!emit(static_cast<uint8_t>(pending_ >> pendingBits_))) return false;
    }
    pending_ &= (1u << pendingBits_) - 1;
    return true;
  }
  bool flush() {
    if (pendingBits_ == 0) return true;
    const uint8_t last = static_cast<uint8_t>(pending_ << (8 - pendingBits_));
    pendingBits_ = 0;
    pending_ = 0;
    return emit(last);
  }
  uint32_t written() const { return written_; }

 private:
  bool emit(uint8_t byte) {
    if (written_ >= capacity_) return false;
    out_[written_++] = byte;
    return true;
  }

  uint8_t* out_;
  uint32_t capacity_;
  uint32_t written_ = 0;
  uint32_t pending_ = 0;
  uint32_t pendingBits_ = 0;
};

class BitReader {
 public:
  BitReader(const uint8_t* in, uint32_t count) : in_(in), count_(count) {}

  // False when the input ends before bits more bits.
  bool get(uint32_t bits, uint32_t* code) {
    while (pendingBits_ < bits) {
      if (next_ >= count_) return false;
      pending_ = (pending_ << 8) | in_[next_++];
      pendingBits_ += 8;
    }
    pendingBits_ -= bits;
    *code = (pending_ >> pendingBits_) & ((1u << bits) - 1);
    pending_ &= (1u << pendingBits_) - 1;
    return true;
  }

 private:
  const uint8_t* in_;
  uint32_t count_;
  uint32_t next_ = 0;
  uint32_t pending_ = 0;
  uint32_t pendingBits_ = 0;
};

// The encoder's dictionary: (prefix code, next byte) -> code, open
// addressing in a table a little larger than the code space.
class Dictionary {
 public:
  static constexpr uint32_t kSlots = 5003;  // prime, > kTableSize

  Dictionary() : keys_(kSlots), codes_(kSlots) { clear(); }
  void clear() { std::fill(keys_.begin(), keys_.end(), 0u); }

  // The code of (prefix, byte), or 0 when it is not in the table (no
  // string code is below kFirstString, so 0 is free as "none").
  uint32_t find(uint32_t prefix, uint8_t byte, uint32_t* slot) const {
    const uint32_t key = keyOf(prefix, byte);
    uint32_t at = (prefix << 4 ^ byte) % kSlots;
    while (keys_[at] != 0) {
      if (keys_[at] == key) return codes_[at];
      at = at + 1 == kSlots ? 0 : at + 1;
    }
    *slot = at;
    return 0;
  }
  void add(uint32_t slot, uint32_t prefix, uint8_t byte, uint32_t code) {
    keys_[slot] = keyOf(prefix, byte);
    codes_[slot] = static_cast<uint16_t>(code);
  }

 private:
  static uint32_t keyOf(uint32_t prefix, uint8_t byte) { return (prefix << 8 | byte) + 1; }

  std::vector<uint32_t> keys_;
  std::vector<uint16_t> codes_;
};

int compress(const uint8_t* in, uint32_t count, const Settings& s, BitWriter& out) {
  Dictionary dictionary;
  uint32_t entries = kFirstString;
  if (!out.put(kClear, s.width(entries))) return QLZW_OUTPUT_FULL;
  if (count == 0) {
    if (!out.put(kEndOfInformation, s.width(entries)) || !out.flush()) return QLZW_OUTPUT_FULL;
    return QLZW_OK;
  }
  uint32_t current = in[0];
  for (uint32_t i = 1; i < count; ++i) {
    const uint8_t byte = in[i];
    uint32_t slot = 0;
    const uint32_t found = dictionary.find(current, byte, &slot);
    if (found != 0) {
      current = found;
      continue;
    }
    if (!out.put(current, s.width(entries))) return QLZW_OUTPUT_FULL;
    dictionary.add(slot, current, byte, entries);
    ++entries;
    if (entries == s.clearAt()) {
      if (!out.put(kClear, s.width(entries))) return QLZW_OUTPUT_FULL;
      dictionary.clear();
      entries = kFirstString;
    }
    current = byte;
  }
  if (!out.put(current, s.width(entries))) return QLZW_OUTPUT_FULL;
  // The decoder counts the entry this code would have made, and a table
  // that is full by it is cleared as anywhere else (as TIFF writers do).
  ++entries;
  if (entries == s.clearAt()) {
    if (!out.put(kClear, s.width(entries))) return QLZW_OUTPUT_FULL;
    entries = kFirstString;
  }
  if (!out.put(kEndOfInformation, s.width(entries)) || !out.flush()) return QLZW_OUTPUT_FULL;
  return QLZW_OK;
}

// The decoder's table: each string is its prefix code plus a last byte;
// lengths and first bytes are kept so a string is written without a
// stack, back to front.
struct StringTable {
  uint16_t prefix[kTableSize];
  uint8_t last[kTableSize];
  uint8_t first[kTableSize];
  uint16_t length[kTableSize];

  StringTable() {
    for (uint32_t c = 0; c < kClear; ++c) {
      prefix[c] = 0;
      last[c] = first[c] = static_cast<uint8_t>(c);
      length[c] = 1;
    }
  }
};

class Output {
 public:
  Output(uint8_t* out, uint32_t capacity) : out_(out), capacity_(capacity) {}

  // Writes string code; false when the capacity ends inside it (the part
  // that fits is written).
  bool write(const StringTable& t, uint32_t code) {
    const uint32_t length = t.length[code];
    const uint32_t room = capacity_ - written_;
    uint32_t skip = length > room ? length - room : 0;
    // Walk past the tail that does not fit, then fill back to front.
    uint32_t c = code;
    for (; skip > 0; --skip) c = t.prefix[c];
    uint32_t end = written_ + (length > room ? room : length);
    for (uint32_t at = end; at > written_; c = t.prefix[c]) out_[--at] = t.last[c];
    written_ = end;
    return length <= room;
  }
  uint32_t written() const { return written_; }

 private:
  uint8_t* out_;
  uint32_t capacity_;
  uint32_t written_ = 0;
};

int decompress(const uint8_t* in, uint32_t count, const Settings& s, Output& out) {
  auto table = std::make_unique<StringTable>();
  BitReader bits(in, count);
  uint32_t entries = kFirstString;        // what the decoder's table holds
  uint32_t writerEntries = kFirstString;  // what the encoder's held
  uint32_t previous = kClear;             // kClear: no string since the last Clear
  const uint32_t limit = 1u << s.maxCodeBits;
  for (;;) {
    uint32_t code = 0;
    if (!bits.get(s.width(writerEntries), &code)) return QLZW_TRUNCATED;
    if (code == kEndOfInformation) return QLZW_OK;
    if (code == kClear) {
      entries = writerEntries = kFirstString;
      previous = kClear;
      continue;
    }
    if (previous == kClear) {
      if (code >= kClear) return QLZW_CORRUPT;
    } else {
      if (code > entries || (code == entries && entries >= limit)) return QLZW_CORRUPT;
      if (entries < limit) {
        // previous + first byte of code; for code == entries (the string
        // being defined) that first byte is previous's own first byte.
        const uint8_t firstByte = code == entries ? table->first[previous] : table->first[code];
        table->prefix[entries] = static_cast<uint16_t>(previous);
        table->last[entries] = firstByte;
        table->first[entries] = table->first[previous];
        table->length[entries] = static_cast<uint16_t>(table->length[previous] + 1);
        ++entries;
      }
    }
    if (code >= entries) return QLZW_CORRUPT;
    if (!out.write(*table, code)) return QLZW_OUTPUT_FULL;
    previous = code;
    if (writerEntries < limit) ++writerEntries;
  }
}

}  // namespace

extern "C" {

int qLzwCompress(const QLzwBuffer* in, const QLzwParams* params, QLzwBuffer* out) {
  Settings settings{};
  if (!validBuffers(in, out) || !readSettings(params, &settings)) return QLZW_BAD_ARGUMENTS;
  BitWriter writer(out->bytes, out->count);
  const int result = compress(in->bytes, in->count, settings, writer);
  out->count = writer.written();
  return result;
}

int qLzwDecompress(const QLzwBuffer* in, const QLzwParams* params, QLzwBuffer* out) {
  Settings settings{};
  if (!validBuffers(in, out) || !readSettings(params, &settings)) return QLZW_BAD_ARGUMENTS;
  Output output(out->bytes, out->count);
  const int result = decompress(in->bytes, in->count, settings, output);
  out->count = output.written();
  return result;
}

}  // extern "C"
