// SPDX-License-Identifier: MIT
// The one place where host numbers become font bytes: every table builder
// and the table directory write through this big-endian writer.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

// The TrueType checksum: sum modulo 2^32 of the first length/4 big-endian
// 32-bit words; a trailing part-word is left out, a length below 4 gives 0.
uint32_t sumB32(const uint8_t* data, size_t length);

// searchRange-style helper shared by the directory and cmap: the largest
// power of two not above n (1 for n <= 1) and its log2.
struct binsearch {
  uint32_t pow2;
  uint16_t log2;
};
binsearch binsearch_for(uint32_t n);

struct bewriter {
  std::vector<uint8_t> b;  // the bytes not yet spilled

  // Streaming for the big tables (glyf, EBDT): with a sink set (a file, or
  // a font being assembled in memory), spill() appends the whole 32-bit
  // words buffered so far to it and adds them to sum, so a table of
  // megabytes passes through a small buffer. Without a sink, spill() does
  // nothing and the table stays whole in b.
  std::FILE* sink = nullptr;
  std::vector<uint8_t>* memsink = nullptr;
  uint64_t spilled = 0;  // bytes already written to the sink
  uint32_t sum = 0;      // sumB32 of those bytes

  bool streams() const { return sink || memsink; }

  // Bytes written so far, spilled or not.
  uint64_t size() const { return spilled + b.size(); }
  void clear() {
    b.clear();
    spilled = 0;
    sum = 0;
  }
  // Room for a table that will reach total bytes.
  void reserve(uint64_t total) {
    if (total > size()) b.reserve(size_t(total - spilled));
  }
  void spill();
  // spill() for a buffer of whole words whose sumB32 the caller has already
  // taken (a glyf chunk, summed by the thread that traced it).
  void spill_summed(uint32_t bsum);

  void u8(uint8_t v) { b.push_back(v); }
  void i8(int8_t v) { u8(uint8_t(v)); }
  void u16(uint16_t v) {
    b.push_back(uint8_t(v >> 8));
    b.push_back(uint8_t(v));
  }
  void i16(int16_t v) { u16(uint16_t(v)); }
  void u32(uint32_t v) {
    u16(uint16_t(v >> 16));
    u16(uint16_t(v));
  }
  void u64(uint64_t v) {
    u32(uint32_t(v >> 32));
    u32(uint32_t(v));
  }
  void bytes(const void* p, size_t n) {
    const uint8_t* s = static_cast<const uint8_t*>(p);
    b.insert(b.end(), s, s + n);
  }
  void zeros(size_t n) { b.insert(b.end(), n, 0); }
  void pad4() {
    while (b.size() % 4) b.push_back(0);
  }
  // Overwrites a field already written and not spilled (offsets known only
  // later); at is counted from the start of the table.
  void put_u16(uint64_t at, uint16_t v) {
    b.at(size_t(at - spilled)) = uint8_t(v >> 8);
    b.at(size_t(at - spilled) + 1) = uint8_t(v);
  }
  void put_u32(uint64_t at, uint32_t v) {
    put_u16(at, uint16_t(v >> 16));
    put_u16(at + 2, uint16_t(v));
  }

 private:
  void emit(size_t n, uint32_t nsum);  // writes the first n bytes, which sum to nsum
};

// Stores big-endian values into a raw buffer whose room the caller has
// checked (the glyph encoder's hot path).
inline uint8_t* be16(uint8_t* p, uint16_t v) {
  p[0] = uint8_t(v >> 8);
  p[1] = uint8_t(v);
  return p + 2;
}

// Appends the 12 bytes that open a TrueType font: the version 1.0 and the
// table count with its binary-search fields; the n table records follow.
void sfnt_header(bewriter& w, uint32_t n);
