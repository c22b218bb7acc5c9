// SPDX-License-Identifier: MIT
// Checksums, the binary-search fields shared by the directory and cmap, and
// the opening of a font file.
#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstring>

#include "base/bewriter.h"

// The sum of big-endian words is the sum of each word's first bytes times
// 2^24, plus its second bytes times 2^16, and so on (modulo 2^32 all the
// same). So the bytes are summed by their place in the word: eight at a
// time, in 16-bit fields of two 64-bit sums (the even and the odd bytes),
// folded into the four place sums every 256 loads, before a field can
// overflow. glyf and EBDT are megabytes long.
uint32_t sumB32(const uint8_t* data, size_t length) {
  const size_t end = length & ~size_t(3);  // whole words only
  uint64_t s0 = 0, s1 = 0, s2 = 0, s3 = 0;  // sums of the bytes at places 0..3
  size_t i = 0;
  if constexpr (std::endian::native == std::endian::little) {
    constexpr uint64_t kBytes = 0x00FF00FF00FF00FFu;
    while (end - i >= 8) {
      const size_t loads = std::min<size_t>((end - i) / 8, 256);
      uint64_t even = 0, odd = 0;  // bytes 0, 2, 4, 6 and 1, 3, 5, 7 of each load
      for (size_t k = 0; k < loads; ++k, i += 8) {
        uint64_t x;
        std::memcpy(&x, data + i, 8);
        even += x & kBytes;
        odd += x >> 8 & kBytes;
      }
      s0 += (even & 0xFFFF) + (even >> 32 & 0xFFFF);
      s2 += (even >> 16 & 0xFFFF) + (even >> 48);
      s1 += (odd & 0xFFFF) + (odd >> 32 & 0xFFFF);
      s3 += (odd >> 16 & 0xFFFF) + (odd >> 48);
    }
  }
  for (; i < end; i += 4) {
    s0 += data[i];
    s1 += data[i + 1];
    s2 += data[i + 2];
    s3 += data[i + 3];
  }
  return uint32_t((s0 << 24) + (s1 << 16) + (s2 << 8) + s3);
}

binsearch binsearch_for(uint32_t n) {
  binsearch b{1, 0};
  while (n >= 2 * b.pow2 && b.pow2 < 0x80000000u) {
    b.pow2 *= 2;
    ++b.log2;
  }
  return b;
}

void sfnt_header(bewriter& w, uint32_t n) {
  const binsearch bs = binsearch_for(n);
  w.u32(0x00010000);                    // sfntVersion
  w.u16(uint16_t(n));                   // numTables
  w.u16(uint16_t(16 * bs.pow2));        // searchRange
  w.u16(bs.log2);                       // entrySelector
  w.u16(uint16_t(16 * (n - bs.pow2)));  // rangeShift
}
