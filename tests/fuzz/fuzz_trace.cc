// Fuzz target: the tracer and the simple-glyph encoder. The first byte is
// the side n (1 to 255; 0 is skipped), the rest the bitmap's bit stream,
// zero-padded to (n*n+7)/8 bytes. Every glyph is decoded again here, with
// no help from the converter's code, and checked:
//  - it is refused ("glyph too complex") exactly when it has more than
//    65,535 edges between ink and blank;
//  - otherwise it has one point per such edge, its length is the exact sum
//    of its parts padded to 4, its flags use only the short-vector bits,
//    every point lies in the cell, and consecutive points of a contour are
//    at most ceil(990/n) apart;
//  - a tracer that has traced other glyphs gives the same bytes as a fresh one.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "driver/quit.h"
#include "fuzzenv.h"
#include "tables/bewriter.h"
#include "trace/trace.h"

namespace {

int pixel(const std::vector<uint8_t>& bits, unsigned n, int r, int c) {
  if (r < 0 || c < 0 || r >= int(n) || c >= int(n)) return 0;
  const size_t k = size_t(r) * n + size_t(c);
  return bits[k / 8] >> (7 - k % 8) & 1;
}

// Unit edges with ink on one side and blank (or the outside) on the other.
uint64_t count_edges(const std::vector<uint8_t>& bits, unsigned n) {
  uint64_t e = 0;
  for (int r = 0; r <= int(n); ++r)
    for (int c = 0; c <= int(n); ++c) {
      const int p = pixel(bits, n, r, c);
      e += p != pixel(bits, n, r - 1, c);  // edge above (r, c)
      e += p != pixel(bits, n, r, c - 1);  // edge left of (r, c)
    }
  return e;
}

struct reader {
  const std::vector<uint8_t>& b;
  size_t at;
  uint32_t u8() {
    if (at >= b.size()) fail("glyph shorter than its fields");
    return b[at++];
  }
  uint32_t u16() {
    const uint32_t hi = u8();
    return hi << 8 | u8();
  }
  int32_t i16() { return int16_t(uint16_t(u16())); }
};

void check_glyph(const std::vector<uint8_t>& g, unsigned n, uint64_t edges) {
  reader rd{g, 0};
  const int32_t contours = rd.i16();
  if (contours <= 0) fail("glyph without contours");
  if (rd.i16() != 0 || rd.i16() != -140 || rd.i16() != 999 || rd.i16() != 899) fail("box is not the cell");
  std::vector<uint32_t> ends;
  for (int32_t c = 0; c < contours; ++c) {
    ends.push_back(rd.u16());
    if (c > 0 && ends[size_t(c)] <= ends[size_t(c) - 1]) fail("endPtsOfContours not ascending");
  }
  const uint32_t points = ends.back() + 1;
  if (points != edges) fail("points differ from the edges between ink and blank");
  if (rd.u16() != 0) fail("instructions in a glyph");
  std::vector<uint8_t> flags;
  for (uint32_t p = 0; p < points; ++p) {
    flags.push_back(uint8_t(rd.u8()));
    if (flags.back() & ~0x36) fail("flag bits other than the short-vector ones");
  }
  std::vector<int32_t> x(points), y(points);
  int32_t v = 0;
  for (uint32_t p = 0; p < points; ++p) {
    const uint8_t f = flags[p];
    if (f & 0x02)
      v += (f & 0x10) ? int32_t(rd.u8()) : -int32_t(rd.u8());
    else if (!(f & 0x10))
      v += rd.i16();
    x[p] = v;
  }
  v = 0;
  for (uint32_t p = 0; p < points; ++p) {
    const uint8_t f = flags[p];
    if (f & 0x04)
      v += (f & 0x20) ? int32_t(rd.u8()) : -int32_t(rd.u8());
    else if (!(f & 0x20))
      v += rd.i16();
    y[p] = v;
  }
  if ((g.size() + 3) / 4 * 4 != g.size() || g.size() - rd.at >= 4) fail("length is not its parts padded to 4");
  for (size_t k = rd.at; k < g.size(); ++k)
    if (g[k]) fail("padding not zero");

  // The cell: x from 0 to 990, y from the bottom edge 9 - 990/n (lowered by
  // 100) to the top edge 899 - 990/n; no two neighbours further apart than
  // one pixel's width, closing pair included.
  const int32_t step = int32_t((990 + n - 1) / n);
  const int32_t low = -91 - int32_t((990 + n - 1) / n);
  uint32_t first = 0;
  for (uint32_t end : ends) {
    for (uint32_t p = first; p <= end; ++p) {
      if (x[p] < 0 || x[p] > 990 || y[p] < low || y[p] > 899) fail("point outside the cell");
      const uint32_t q = p == end ? first : p + 1;
      if (std::abs(x[q] - x[p]) > step || std::abs(y[q] - y[p]) > step) fail("neighbouring points too far apart");
    }
    first = end + 1;
  }
}

// Traces with tr; returns the appended bytes, or false when refused.
bool trace(tracer& tr, unsigned n, const std::vector<uint8_t>& bits, std::vector<uint8_t>& out) {
  bewriter w;
  w.u32(0xDEADBEEF);  // earlier glyphs in the table: appending must keep them
  int32_t len;
  try {
    len = bmp2glf(tr, uint8_t(n), uint8_t(n), bits.data(), w);
  } catch (const quit_signal&) {
    return false;
  }
  if (len < 0 || size_t(len) + 4 != w.size()) fail("returned length differs from the bytes appended");
  if (w.b[0] != 0xDE || w.b[3] != 0xEF) fail("earlier bytes overwritten");
  out.assign(w.b.begin() + 4, w.b.end());
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  silence_stdout();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0 || data[0] == 0) return 0;
  const unsigned n = data[0];
  std::vector<uint8_t> bits((size_t(n) * n + 7) / 8, 0);
  std::copy_n(data + 1, std::min(size - 1, bits.size()), bits.begin());
  const uint64_t edges = count_edges(bits, n);

  static tracer shared;  // carries storage and maxima over from earlier inputs
  std::vector<uint8_t> g;
  const bool ok = trace(shared, n, bits, g);
  if (ok != (edges <= 65535)) fail(ok ? "glyph past 65,535 points accepted" : "glyph within limits refused");
  if (!ok) return 0;
  if (edges == 0) {
    if (!g.empty()) fail("blank bitmap gave a glyph");
    return 0;
  }
  check_glyph(g, n, edges);
  if (shared.glyf.maxPoints < edges) fail("maxPoints below this glyph's points");

  tracer fresh;
  std::vector<uint8_t> again;
  if (!trace(fresh, n, bits, again) || again != g) fail("a used tracer traces differently from a fresh one");
  return 0;
}
