// Checksums and the binary-search fields shared by the directory and cmap.
#include <bit>
#include <cstddef>
#include <cstring>

#include "tables/tables.h"

// Whole words are loaded as host integers and put in big-endian order with
// one byte swap each, which the compiler vectorises: glyf and EBDT are
// megabytes long.
uint32_t sumB32(const uint8_t* data, size_t length) {
  uint32_t sum = 0;
  for (size_t i = 0; i + 4 <= length; i += 4) {
    uint32_t w;
    std::memcpy(&w, data + i, 4);
    if constexpr (std::endian::native == std::endian::little) w = __builtin_bswap32(w);
    sum += w;
  }
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
