// Checksums and the binary-search fields shared by the directory and cmap.
#include "tables/tables.h"

uint32_t sumB32(const uint8_t* data, size_t length) {
  uint32_t sum = 0;
  for (size_t i = 0; i + 4 <= length; i += 4)
    sum += uint32_t(data[i]) << 24 | uint32_t(data[i + 1]) << 16 | uint32_t(data[i + 2]) << 8 |
           uint32_t(data[i + 3]);
  return sum;
}

binsearch binsearch_for(uint32_t n) {
  binsearch b{1, 0};
  while (n >= 2 * b.pow2 && b.pow2 < 0x80000000u) {
    b.pow2 *= 2;
    ++b.log2;
  }
  return b;
}
