// SPDX-License-Identifier: MIT
// Fuzz target: the tracer and encoder on one bitmap: the first byte is the
// side (1 to 255), the rest its bits. A traced glyph has one point per unit
// edge between ink and blank, and a length that is a multiple of 4.
#include <algorithm>

#include "fuzz.h"
#include "core/glyphsrc.h"
#include "base/bewriter.h"
#include "trace/trace.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1 || data[0] == 0) return 0;
  const unsigned n = data[0];
  std::vector<uint8_t> bits(bitmap_bytes(n), 0);
  std::copy(data + 1, data + std::min(size, bits.size() + 1), bits.begin());
  auto ink = [&](int r, int c) {
    const size_t k = size_t(r) * n + size_t(c);
    return r >= 0 && c >= 0 && r < int(n) && c < int(n) && (bits[k / 8] >> (7 - k % 8) & 1);
  };
  uint32_t edges = 0;
  for (int r = 0; r <= int(n); ++r)
    for (int c = 0; c <= int(n); ++c) edges += (ink(r, c) != ink(r - 1, c)) + (ink(r, c) != ink(r, c - 1));
  static tracer tr;
  bewriter w;
  int32_t len = 0;
  const bool traced = quietly([&] { len = bmp2glf(tr, uint8_t(n), uint8_t(n), bits.data(), w); });
  if (!traced) {
    if (edges <= kMaxGlyphPoints) fail("a glyph within the point limit was refused");
    return 0;
  }
  if (size_t(len) != w.size() || len % 4 != 0) fail("glyph length");
  if (edges == 0) return len == 0 ? 0 : (fail("outline of a blank bitmap"), 0);
  const size_t contours = size_t(w.b[0]) << 8 | w.b[1];
  const size_t last = 10 + 2 * (contours - 1);
  if (contours == 0 || w.size() < last + 2 || (size_t(w.b[last]) << 8 | w.b[last + 1]) + 1u != edges)
    fail("points differ from the edges between ink and blank");
  return 0;
}
