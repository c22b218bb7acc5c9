// Contour tracer: follows the unit edges between ink and blank pixels around
// every closed boundary of a glyph bitmap and hands each contour, one point
// per edge midpoint, to the simple-glyph encoder.
#include <algorithm>
#include <cstddef>
#include <cstring>

#include "driver/quit.h"
#include "trace/trace.h"

namespace {

// Move kinds 0..11; the heading after kind m is m / 3 (East, West, South,
// North). For heading h, dd[3h], dd[3h+1], dd[3h+2] are the kinds that turn
// left, go straight and turn right. Trying the left turn first is what joins
// ink pixels that touch only at a corner into one contour (ink 8-connected,
// blank 4-connected), so diagonal strokes stay one piece.
constexpr uint8_t dd[12] = {11, 1, 6, 8, 4, 9, 2, 7, 3, 5, 10, 0};

// Edge-map index difference from the old edge to the new one, per move kind.
struct moveoffsets {
  ptrdiff_t off[12];
};
moveoffsets offsets_for(ptrdiff_t n) {
  return {{
      -(n + 1),      // 0  North -> East, right turn
      +1,            // 1  East straight
      +(n + 2),      // 2  South -> East, left turn
      +(n + 1),      // 3  South -> West, right turn
      -1,            // 4  West straight
      -(n + 2),      // 5  North -> West, left turn
      +(n + 2),      // 6  East -> South, right turn
      +(2 * n + 3),  // 7  South straight
      +(n + 1),      // 8  West -> South, left turn
      -(n + 2),      // 9  West -> North, right turn
      -(2 * n + 3),  // 10 North straight
      -(n + 1),      // 11 East -> North, left turn
  }};
}

// Font-unit point of the edge at index i: its midpoint, gx scaled so that
// 0..n maps onto 0..990, gy so that the top edge lands at 999 - 990/n. Worked
// in half units so that the result is exact before truncating toward zero
// (C++ division), which matters for the negative y of the bottom rows.
inline void edge_point(int32_t n, ptrdiff_t i, bool horizontal, int32_t& x, int32_t& y) {
  const int32_t q = int32_t((i - n - 1) / (2 * n + 3));
  const int32_t r = int32_t((i - n - 1) % (2 * n + 3));
  int32_t gx2, gy2;  // twice the grid coordinates
  if (horizontal) {  // H(L, j): L = q, j = r - 1
    gx2 = 2 * (r - 1) + 1;
    gy2 = 2 * q;
  } else {  // V(R, k): R = q, k = r - n - 2
    gx2 = 2 * (r - n - 2);
    gy2 = 2 * q + 1;
  }
  x = 990 * gx2 / (2 * n);
  y = (999 * 2 * n - 990 * (gy2 + 2)) / (2 * n);
}

// Fills tr.edgexy with the point of every edge index for side n. Within a
// block of the edge map, remainders 1..n (counted from n + 1) are
// horizontal edges and n + 2..2n + 2 vertical ones; guard bytes get a point
// too, which is never used.
void edge_points_for(tracer& tr, int32_t n, size_t esize) {
  if (tr.xy_n == unsigned(n) && tr.edgexy.size() >= 2 * esize) return;
  tr.edgexy.assign(2 * esize, 0);
  for (size_t i = size_t(n) + 1; i < esize; ++i) {
    const ptrdiff_t r = (ptrdiff_t(i) - n - 1) % (2 * n + 3);
    edge_point(n, ptrdiff_t(i), r >= 1 && r <= n, tr.edgexy[2 * i], tr.edgexy[2 * i + 1]);
  }
  tr.xy_n = unsigned(n);
}

}  // namespace

void set_glf_point(tracer& tr, int32_t x, int32_t y, int32_t idx) { tr.points[size_t(idx)] = {2, x, y}; }

int32_t bmp2glf(tracer& tr, uint8_t /*width*/, uint8_t height, const uint8_t* bitmap, bewriter& out) {
  reset_glyf(tr);
  const int32_t n = height;
  if (n == 0) return 0;
  const size_t w = size_t(n) + 2;

  // Pixel grid: the bitmap inside a one-pixel blank border, one byte per
  // pixel. The bit mask runs on across row ends (rows are not padded).
  if (tr.grid.size() < w * w) tr.grid.resize(w * w);
  uint8_t* const grid = tr.grid.data();
  std::fill(grid, grid + w * w, uint8_t(0));
  const uint8_t* src = bitmap;
  uint8_t mask = 0x80;
  for (int32_t R = 0; R < n; ++R) {
    uint8_t* row = grid + size_t(R + 1) * w + 1;
    for (int32_t j = 0; j < n; ++j) {
      row[j] = (*src & mask) ? 1 : 0;
      mask >>= 1;
      if (mask == 0) {
        mask = 0x80;
        ++src;
      }
    }
  }

  // Edge map: an edge is set where the pixels on its two sides differ. The
  // guard bytes, block 0's vertical part and the tail stay 0, so every
  // neighbour look-up below lands inside the array and needs no bound test.
  const size_t esize = edgemap_size(unsigned(n));
  if (tr.edges.size() < esize) tr.edges.resize(esize);
  uint8_t* const e = tr.edges.data();
  std::fill(e, e + esize, uint8_t(0));
  uint32_t nedges = 0;
  for (int32_t L = 0; L <= n; ++L) {
    const uint8_t* above = grid + size_t(L) * w + 1;
    const uint8_t* below = above + w;
    uint8_t* h = e + hedge_index(unsigned(n), unsigned(L), 0);
    for (int32_t j = 0; j < n; ++j) {
      h[j] = above[j] ^ below[j];
      nedges += h[j];
    }
  }
  for (int32_t R = 0; R < n; ++R) {
    const uint8_t* row = grid + size_t(R + 1) * w;
    uint8_t* v = e + vedge_index(unsigned(n), unsigned(R), 0);
    for (int32_t k = 0; k <= n; ++k) {
      v[k] = row[k] ^ row[k + 1];
      nedges += v[k];
    }
  }
  // One point per set edge: the glyph's point count is known now.
  if (nedges > kMaxGlyphPoints) quit("glyph too complex");
  if (tr.points.size() < nedges) tr.points.resize(nedges);

  edge_points_for(tr, n, esize);
  const int32_t* const xy = tr.edgexy.data();
  const moveoffsets mv = offsets_for(n);
  // The first set edge the scan meets on any contour is the leftmost
  // horizontal edge on its topmost grid line.
  const ptrdiff_t block = 2 * ptrdiff_t(n) + 3;
  // Edge bytes are 0 or 1, so memchr finds the next set one quickly.
  for (size_t i = 0; i < esize; ++i) {
    const void* next_set = std::memchr(e + i, 1, esize - i);
    if (!next_set) break;
    i = size_t(static_cast<const uint8_t*>(next_set) - e);
    // Start on H(L, j) heading East when the pixel below it is ink (an outer
    // boundary), West when it is blank (a hole), so ink stays on the right.
    const ptrdiff_t L = (ptrdiff_t(i) - n - 1) / block;
    const ptrdiff_t j = (ptrdiff_t(i) - n - 1) % block - 1;
    int kind = grid[size_t(L + 1) * w + size_t(j + 1)] ? 1 : 4;
    ptrdiff_t cur = ptrdiff_t(i);
    int32_t count = 0;
    for (;;) {
      set_glf_point(tr, xy[2 * cur], xy[2 * cur + 1], count);  // count < nedges: each point clears one set edge
      ++count;
      e[cur] = 0;
      const int h = kind / 3;
      int next;
      if (e[cur + mv.off[dd[3 * h]]])
        next = dd[3 * h];
      else if (e[cur + mv.off[dd[3 * h + 1]]])
        next = dd[3 * h + 1];
      else if (e[cur + mv.off[dd[3 * h + 2]]])
        next = dd[3 * h + 2];
      else
        break;  // back at the (already cleared) start edge
      kind = next;
      cur += mv.off[kind];
    }
    point2glyf(tr, count);
  }
  return outputglyf(tr, out);
}
