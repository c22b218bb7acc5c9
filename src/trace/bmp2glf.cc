// SPDX-License-Identifier: MIT
// Contour tracer: follows the unit edges between ink and blank pixels around
// every closed boundary of a glyph bitmap and encodes each contour, one
// off-curve point per edge midpoint, into the simple-glyph work record.
//
// Pixels and edges are rows of bits, 64 positions to a 64-bit word, the
// leftmost position in the most significant bit (the bitmap's own order).
// Column c of the bitmap, the horizontal edges above and below it, and the
// vertical edges on grid line gx = c all sit at position c + 1. Position 0
// and every position past n + 1 stay clear, and so do the rows past either
// end, so that a look-up one step beyond the bitmap reads "no edge":
//   P[R], R = -1..n   pixel row R (rows -1 and n blank)
//   H[L], L = 0..n    horizontal edges on grid line L:   P[L-1] ^ P[L]
//   V[R], R = -1..n   vertical edges beside pixel row R: P[R] ^ (P[R] one position right)
// An edge bit is set while the edge separates ink from blank and has not
// been traced yet. The edge rows are interleaved, V[-1], H[0], V[0], H[1],
// ..., H[n], V[n], so that the vertical edges above and below a grid line
// are the rows just before and after its horizontal edges. A row is W words
// (positions 0..n+1); most glyphs have sides up to 62, one word a row, and
// get code compiled for that (kW = 1; kW = 0 reads W at run time).
#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>

#include "base/quit.h"
#include "trace/glfenc.h"
#include "trace/trace.h"

namespace {

constexpr uint64_t kAll = ~uint64_t(0);
constexpr uint64_t kTop = uint64_t(1) << 63;

template <int kW>
inline unsigned word(unsigned p) {
  return kW == 1 ? 0 : p >> 6;
}
template <int kW>
inline bool bit(const uint64_t* row, unsigned p) {
  return row[word<kW>(p)] << (p & 63) >> 63;
}

// Clears positions a..b of a row (a <= b).
template <int kW>
inline void clear_range(uint64_t* row, unsigned a, unsigned b) {
  const unsigned wa = word<kW>(a), wb = word<kW>(b);
  const uint64_t from_a = kAll >> (a & 63);        // positions a.. of word wa
  const uint64_t to_b = ~(kAll >> (b & 63) >> 1);  // positions ..b of word wb
  if (wa == wb) {
    row[wa] &= ~(from_a & to_b);
    return;
  }
  row[wa] &= ~from_a;
  for (unsigned w = wa + 1; w < wb; ++w) row[w] = 0;
  row[wb] &= ~to_b;
}

// The end of a straight run heading East along a grid line whose edges are
// h, with the vertical edges of the pixel row above in up: the first vertex
// (position) from `from` on where the left turn is open or the edge ahead
// is gone. There is always one: h is clear at position n + 1.
template <int kW>
inline unsigned east_stop(const uint64_t* up, const uint64_t* h, unsigned from) {
  unsigned w = word<kW>(from);
  uint64_t m = (up[w] | ~h[w]) & (kAll >> (from & 63));
  while (kW != 1 && m == 0) {
    ++w;
    m = up[w] | ~h[w];
  }
  return w * 64 + unsigned(std::countl_zero(m));
}

// The same heading West, with the vertical edges of the pixel row below in
// down: the last vertex at or before `from` where the left turn is open or
// the edge ahead (one position lower) is gone. Position 0 always stops it.
template <int kW>
inline unsigned west_stop(const uint64_t* down, const uint64_t* h, unsigned from) {
  unsigned w = word<kW>(from);
  auto ahead = [h](unsigned w) { return h[w] >> 1 | (w ? h[w - 1] << 63 : 0); };  // edge left of each vertex
  uint64_t m = (down[w] | ~ahead(w)) & ~(kAll >> (from & 63) >> 1);
  while (kW != 1 && m == 0) {
    --w;
    m = down[w] | ~ahead(w);
  }
  return w * 64 + 63 - unsigned(std::countr_zero(m));
}

// 64 bits of the stream starting at bit b, the first in the top bit. The
// caller's buffer runs at least 9 bytes past byte b / 8.
inline uint64_t stream64(const uint8_t* s, size_t b) {
  const uint8_t* p = s + (b >> 3);
  uint64_t x;
  std::memcpy(&x, p, 8);
  if constexpr (std::endian::native == std::endian::little) x = __builtin_bswap64(x);
  const unsigned sh = b & 7;
  return sh ? x << sh | uint64_t(p[8] >> (8 - sh)) : x;
}

// The points and deltas of side n, computed once per side. Points are edge
// midpoints in half units, exact before truncating toward zero (C++
// division), which matters for the negative y of the bottom rows; gx maps
// 0..n onto 0..990 and gy so that the top edge lands at 999 - 990/n.
const sidetab& side_for(tracer& tr, unsigned n) {
  for (const auto& t : tr.sides)
    if (t->side == n) return *t;
  sidetab& t = *tr.sides.emplace_back(std::make_unique<sidetab>());
  t.side = n;
  const int32_t n2 = 2 * int32_t(n);
  for (int32_t q = 1; q <= int32_t(n); ++q) t.hx[q] = 990 * (2 * q - 1) / n2;      // column q - 1
  for (int32_t q = 1; q <= int32_t(n) + 1; ++q) t.vx[q] = 990 * 2 * (q - 1) / n2;  // gx = q - 1
  for (int32_t L = 0; L <= int32_t(n); ++L) t.hy[L] = (999 * n2 - 990 * (2 * L + 2)) / n2 - kYShift;
  for (int32_t R = 0; R < int32_t(n); ++R) t.vy[R] = (999 * n2 - 990 * (2 * R + 3)) / n2 - kYShift;

  t.runs = true;
  auto byte = [&t](int32_t d) {
    if (d < 1 || d > 255) t.runs = false;
    return uint8_t(d);
  };
  for (size_t q = 2; q <= n; ++q) t.dxe[q] = byte(t.hx[q] - t.hx[q - 1]);
  for (size_t i = 1; i + 1 <= n; ++i) t.dxw[i] = t.dxe[n + 1 - i];
  for (size_t r = 1; r < n; ++r) t.dys[r] = byte(t.vy[r - 1] - t.vy[r]);
  for (size_t v = 2; v <= n + 1; ++v) t.xl[v] = byte(t.vx[v] - t.hx[v - 1]);
  for (size_t v = 1; v <= n; ++v) t.xr[v] = byte(t.hx[v] - t.vx[v]);
  for (size_t L = 1; L <= n; ++L) t.ya[L] = byte(t.vy[L - 1] - t.hy[L]);
  for (size_t L = 0; L < n; ++L) t.yb[L] = byte(t.hy[L] - t.vy[L]);
  return t;
}

// Appends len bytes from src at out in 8-byte pieces (both have room for
// the last piece's overrun), or len copies of the flag byte f. The first
// piece is stored whatever len is (0 most often): that costs less than
// guessing wrong whether there is one.
inline void run_bytes(uint8_t*& out, const uint8_t* src, unsigned len) {
  for (unsigned i = 0;;) {
    std::memcpy(out + i, src + i, 8);
    if ((i += 8) >= len) break;
  }
  out += len;
}
inline void run_flags(uint8_t*& out, uint8_t f, unsigned len) {
  const uint64_t pattern = 0x0101010101010101u * f;
  for (unsigned i = 0;;) {
    std::memcpy(out + i, &pattern, 8);
    if ((i += 8) >= len) break;
  }
  out += len;
}

// Flags of every point but a contour's first, when the side is 4 or more:
// a step along a run moves on one axis only, a turn half a step on both,
// and every such delta takes one byte, so the flag is fixed by the
// direction of the move.
constexpr uint8_t kEast = X_IS_SAME_OR_POSITIVE | X_SHORT_VECTOR | Y_IS_SAME_OR_POSITIVE;
constexpr uint8_t kWest = X_SHORT_VECTOR | Y_IS_SAME_OR_POSITIVE;
constexpr uint8_t kSouth = X_IS_SAME_OR_POSITIVE | Y_SHORT_VECTOR;
constexpr uint8_t kNorth = X_IS_SAME_OR_POSITIVE | Y_IS_SAME_OR_POSITIVE | Y_SHORT_VECTOR;
constexpr uint8_t kUpRight = X_IS_SAME_OR_POSITIVE | X_SHORT_VECTOR | Y_IS_SAME_OR_POSITIVE | Y_SHORT_VECTOR;
constexpr uint8_t kDownRight = X_IS_SAME_OR_POSITIVE | X_SHORT_VECTOR | Y_SHORT_VECTOR;
constexpr uint8_t kDownLeft = X_SHORT_VECTOR | Y_SHORT_VECTOR;
constexpr uint8_t kUpLeft = X_SHORT_VECTOR | Y_IS_SAME_OR_POSITIVE | Y_SHORT_VECTOR;

// Builds the rows of the side n bitmap whose padded bit stream is s: P from
// P[-1] on, the interleaved edge rows from E (V[R] at E + (2R + 2)W, H[L]
// at E + (2L + 1)W). Row by row: the pixels (bits R*n.. of the stream, rows
// are not padded, moved one position right so that column c lands at
// position c + 1), the horizontal edges above the row and the vertical
// edges beside it; an edge is set where the pixels on its two sides differ.
// Where a glyph's ink lies: its first and last rows with ink (-1 for none)
// and every position that has ink in some row.
constexpr ptrdiff_t kMaxW = (255 + 2 + 63) / 64;
struct inkspan {
  ptrdiff_t top = -1, bottom = -1;
  uint64_t cols[kMaxW] = {};
};

// With kSpan, the ink's span is taken into span on the way.
template <int kW, bool kSpan>
void build_rows(const uint8_t* s, ptrdiff_t n, ptrdiff_t words, uint64_t* P, uint64_t* E, inkspan& span) {
  const ptrdiff_t W = kW ? kW : words;
  uint64_t* h = E + W;  // H[0]
  for (ptrdiff_t w = 0; w < W; ++w) P[w - W] = P[n * W + w] = E[w] = E[(2 * n + 2) * W + w] = 0;
  for (ptrdiff_t R = 0; R < n; ++R, h += 2 * W) {
    const size_t b = size_t(R) * size_t(n);
    uint64_t* const p = P + R * W;
    uint64_t any = 0;
    for (ptrdiff_t w = 0; w < W; ++w) {
      uint64_t x = w == 0 ? stream64(s, b) >> 1 : stream64(s, b + size_t(64 * w - 1));
      const ptrdiff_t valid = n + 1 - 64 * w;  // positions 64w..n belong to the row
      if (valid <= 0)
        x = 0;
      else if (valid < 64)
        x &= ~(kAll >> valid);
      p[w] = x;
      h[w] = p[w - W] ^ x;                                      // H[R]
      h[w + W] = x ^ (x >> 1 | (w ? p[w - 1] << 63 : 0));       // V[R]
      if constexpr (kSpan) any |= x, span.cols[w] |= x;
    }
    if constexpr (kSpan) {
      span.bottom = any ? R : span.bottom;
      span.top = any && span.top < 0 ? R : span.top;
    }
  }
  for (ptrdiff_t w = 0; w < W; ++w) h[w] = P[(n - 1) * W + w];  // H[n]
}

// Traces every contour of a glyph whose rows are built (P, and the edge rows
// interleaved from E: V[R] at E + (2R + 2)W, H[L] at E + (2L + 1)W) and
// encodes the points into g. With kRuns (side 4 and up) each point after a
// contour's first is stored from the side's delta tables; without, every
// point goes through the general encoder. With kFold (and kRuns) the flags
// are written folded as they come, each run of equal flags as its first
// byte with REPEAT_FLAG and a count (see fold_flags): the walk knows its
// runs, so only a turn after a turn and a contour's first point need a
// comparison. Returns false when the glyph has more contours than g has
// room for.
template <bool kRuns, bool kFold, int kW>
bool walk(const sidetab& t, ptrdiff_t n, ptrdiff_t words, const uint64_t* P, uint64_t* E, glfrec& g) {
  static_assert(kRuns || !kFold);
  const ptrdiff_t W = kW ? kW : words;
  uint8_t* const fl0 = g.flags.data();
  uint8_t* const xs0 = g.xCoordinates.data();
  uint8_t* const ys0 = g.yCoordinates.data();
  uint8_t *fl = fl0, *xs = xs0, *ys = ys0;
  int32_t px = 0, py = 0;  // the first point of the glyph is relative to (0, 0)
  uint32_t contours = 0;
  // Folding: the current run's flag byte, its flag (-1 before the first)
  // and its count; the points so far.
  uint8_t* fr = fl0;
  int cur = -1;
  unsigned rep = 0;
  uint32_t pts = 0;
  // One point's flag. Folded without branches, as fold_flags does: a turn
  // repeats the turn before it as the outline's shape has it, which no
  // predictor learns.
  auto flag1 = [&](uint8_t f) {
    if constexpr (kFold) {
      ++pts;
      const bool same = (f == cur) & (rep < 255);
      uint8_t* const at = same ? fr : fl;
      rep = same ? rep + 1 : 0;
      at[0] = uint8_t(f | (rep ? 0x08 : 0));
      at[1] = uint8_t(rep);  // the count, or room the next flag takes
      fr = at;
      cur = f;
      fl = at + 1 + (rep > 0);
    } else {
      *fl++ = f;
    }
  };
  // len points (0..255) of flag f, which no turn has: a run along a line,
  // which only a contour's first point can repeat.
  auto flagrun = [&](uint8_t f, unsigned len) {
    if constexpr (kFold) {
      if (f == cur && len) [[unlikely]] {
        while (len--) flag1(f);
        return;
      }
      pts += len;
      const unsigned any = len > 0, more = len > 1;
      fl[0] = uint8_t(f | (more ? 0x08 : 0));
      fl[1] = uint8_t(len - 1);
      fr = any ? fl : fr;
      cur = any ? f : cur;
      rep = any ? len - 1 : rep;
      fl += any + more;
    } else {
      run_flags(fl, f, len);
    }
  };
  auto put = [&](int32_t x, int32_t y) {
    if constexpr (kFold) {
      uint8_t f, *fp = &f;
      encode_point(x, y, px, py, fp, xs, ys);
      flag1(f);
    } else {
      encode_point(x, y, px, py, fl, xs, ys);
    }
    px = x;
    py = y;
  };
  auto turn = [&](uint8_t f, uint8_t dx, uint8_t dy) {
    flag1(f);
    *xs++ = dx;
    *ys++ = dy;
  };
  unsigned steps = 0;  // straight steps down or up a column, their flags not yet written (kFold)
  auto flush = [&](uint8_t f) {
    if constexpr (kFold) {
      flagrun(f, steps);
      steps = 0;
    }
  };

  // Contours in order of their topmost grid line and their leftmost edge
  // on it: the first edge still set in line order, found by bit scans.
  for (ptrdiff_t L0 = 0; L0 <= n; ++L0) {
    uint64_t* const h0 = E + (2 * L0 + 1) * W;
    for (ptrdiff_t w0 = 0; w0 < W;) {
      if (h0[w0] == 0) {
        ++w0;
        continue;
      }
      // Start on H(L0, q) heading East when the pixel below it is ink (an
      // outer boundary), West when it is blank (a hole), so that ink stays
      // on the right. Then, at every vertex, turn left if that edge is still
      // set, else go straight, else turn right; left first is what joins ink
      // pixels that touch only at a corner into one contour (ink is
      // 8-connected, blank 4-connected). The walk alternates straight runs
      // along a grid line, ended with one bit scan, and runs down or up a
      // column, stepped vertex by vertex; it ends where no edge is left,
      // which is back at the (already cleared) start edge.
      ptrdiff_t L = L0, R;                  // grid line of h, pixel row of vr
      uint64_t *h = h0, *vr;                // the current rows
      unsigned q = unsigned(w0 * 64 + std::countl_zero(h0[w0])), v;
      bool east = bit<kW>(P + L0 * W, q), north;
      put(t.hx[q], t.hy[L]);
      for (;;) {
        // Along grid line L from the horizontal edge at q, emitted already.
        uint64_t* const up = h - W;
        uint64_t* const down = h + W;
        if (east) {
          v = east_stop<kW>(up, h, q + 1);
          if constexpr (kRuns) {
            flagrun(kEast, v - 1 - q);
            run_bytes(xs, t.dxe + q + 1, v - 1 - q);
          } else {
            for (unsigned e = q + 1; e < v; ++e) put(t.hx[e], t.hy[L]);
          }
          clear_range<kW>(h, q, v - 1);
          if (bit<kW>(up, v)) {
            north = true, R = L - 1, vr = up;
            if constexpr (kRuns) turn(kUpRight, t.xl[v], t.ya[L]);
          } else if (bit<kW>(down, v)) {
            north = false, R = L, vr = down;
            if constexpr (kRuns) turn(kDownRight, t.xl[v], t.yb[L]);
          } else {
            px = t.hx[v - 1], py = t.hy[L];
            break;
          }
        } else {
          v = west_stop<kW>(down, h, q);
          if constexpr (kRuns) {
            flagrun(kWest, q - v);
            run_bytes(xs, t.dxw + (n + 1 - q), q - v);
          } else {
            for (unsigned e = q; e-- > v;) put(t.hx[e], t.hy[L]);
          }
          clear_range<kW>(h, v, q);
          if (bit<kW>(down, v)) {
            north = false, R = L, vr = down;
            if constexpr (kRuns) turn(kDownLeft, t.xr[v], t.yb[L]);
          } else if (bit<kW>(up, v)) {
            north = true, R = L - 1, vr = up;
            if constexpr (kRuns) turn(kUpLeft, t.xr[v], t.ya[L]);
          } else {
            px = t.hx[v], py = t.hy[L];
            break;
          }
        }
        if constexpr (!kRuns) put(t.vx[v], t.vy[R]);

        // Along the vertical line at v from V(R) in vr, emitted already; the
        // words and masks of positions v and v - 1 stay the same.
        const unsigned wv = word<kW>(v), wl = word<kW>(v - 1);
        const uint64_t mv = kTop >> (v & 63), ml = kTop >> ((v - 1) & 63);
        vr[wv] &= ~mv;
        if (north) {
          for (;;) {  // at the upper end of V(R), on grid line R
            h = vr - W;
            if (h[wl] & ml) {  // left: West
              if constexpr (kRuns) flush(kNorth), turn(kUpLeft, t.xl[v], t.yb[R]);
              else put(t.hx[v - 1], t.hy[R]);
              east = false, q = v - 1;
              break;
            }
            if (vr[wv - 2 * W] & mv) {  // straight on
              vr -= 2 * W;
              vr[wv] &= ~mv;
              --R;
              if constexpr (kFold) ++steps, *ys++ = t.dys[R + 1];
              else if constexpr (kRuns) *fl++ = kNorth, *ys++ = t.dys[R + 1];
              else put(t.vx[v], t.vy[R]);
              continue;
            }
            if (h[wv] & mv) {  // right: East
              if constexpr (kRuns) flush(kNorth), turn(kUpRight, t.xr[v], t.yb[R]);
              else put(t.hx[v], t.hy[R]);
              east = true, q = v;
              break;
            }
            flush(kNorth);
            px = t.vx[v], py = t.vy[R];
            goto closed;
          }
          L = R;
        } else {
          for (;;) {  // at the lower end of V(R), on grid line R + 1
            h = vr + W;
            if (h[wv] & mv) {  // left: East
              if constexpr (kRuns) flush(kSouth), turn(kDownRight, t.xr[v], t.ya[R + 1]);
              else put(t.hx[v], t.hy[R + 1]);
              east = true, q = v;
              break;
            }
            if (vr[wv + 2 * W] & mv) {  // straight on
              vr += 2 * W;
              vr[wv] &= ~mv;
              ++R;
              if constexpr (kFold) ++steps, *ys++ = t.dys[R];
              else if constexpr (kRuns) *fl++ = kSouth, *ys++ = t.dys[R];
              else put(t.vx[v], t.vy[R]);
              continue;
            }
            if (h[wl] & ml) {  // right: West
              if constexpr (kRuns) flush(kSouth), turn(kDownLeft, t.xl[v], t.ya[R + 1]);
              else put(t.hx[v - 1], t.hy[R + 1]);
              east = false, q = v - 1;
              break;
            }
            flush(kSouth);
            px = t.vx[v], py = t.vy[R];
            goto closed;
          }
          L = R + 1;
        }
      }
    closed:
      if (contours >= kMaxGlyphContours || contours >= g.endPtsOfContours.size()) return false;
      g.endPtsOfContours[contours++] = uint16_t((kFold ? pts : uint32_t(fl - fl0)) - 1);
    }
  }

  g.numberOfContours = uint16_t(contours);
  g.pointTotal = kFold ? pts : uint32_t(fl - fl0);
  g.flagBytes = kFold ? uint32_t(fl - fl0) : 0;
  g.xByteCount = uint32_t(xs - xs0);
  g.yByteCount = uint32_t(ys - ys0);
  g.prevX = px;
  g.prevY = py;
  return true;
}

// The box of the points a glyph's walk will emit, from where its ink lies:
// every edge is one point, and the outermost are the edges of the outermost
// ink. Leftmost is the left edge of the leftmost ink (vx[first position]),
// for the horizontal edges lie right of it (hx[q] >= vx[q]); rightmost the
// right edge of the rightmost ink (vx[last + 1]); top the edge above the
// top row (hy[top]), above the vertical edges beside it; bottom the edge
// below the bottom row (hy[bottom + 1]). A glyph without ink keeps the box
// it has.
void ink_box(const sidetab& t, ptrdiff_t W, const inkspan& span, glfrec& g) {
  if (span.top < 0) return;
  ptrdiff_t w = 0;
  while (span.cols[w] == 0) ++w;
  const size_t first = size_t(64 * w + std::countl_zero(span.cols[w]));
  w = W - 1;
  while (span.cols[w] == 0) --w;
  const size_t last = size_t(64 * w + 63 - std::countr_zero(span.cols[w]));
  g.xMin = int16_t(t.vx[first]);
  g.xMax = int16_t(t.vx[last + 1]);
  g.yMax = int16_t(t.hy[span.top]);
  g.yMin = int16_t(t.hy[span.bottom + 1]);
}

}  // namespace

void set_glf_point(tracer& tr, int32_t x, int32_t y, int32_t idx) { tr.points[size_t(idx)] = {2, x, y}; }

int32_t bmp2glf(tracer& tr, uint8_t /*width*/, uint8_t height, const uint8_t* bitmap, bewriter& out) {
  const int32_t len = traceglf(tr, height, bitmap, out);
  if (len == kTooComplex) quit("glyph too complex");
  return len;
}

int32_t traceglf(tracer& tr, uint8_t side, const uint8_t* bitmap, bewriter& out) {
  reset_glyf(tr);
  const ptrdiff_t n = side;
  if (n == 0) return 0;
  const ptrdiff_t W = (n + 2 + 63) / 64;  // words a row: positions 0..n+1

  // The bit stream, padded so that every 64-bit read below stays inside.
  const size_t nbytes = (size_t(n) * size_t(n) + 7) / 8;
  const size_t padded = nbytes + 8 * size_t(W) + 16;
  if (tr.bitmap.size() < padded) tr.bitmap.resize(padded);
  uint8_t* const s = tr.bitmap.data();
  std::memcpy(s, bitmap, nbytes);
  std::memset(s + nbytes, 0, padded - nbytes);

  // P: rows -1..n; then the edge rows V[-1], H[0], V[0], ..., H[n], V[n].
  const size_t words = size_t(4 * n + 5) * size_t(W);
  if (tr.rows.size() < words) tr.rows.resize(words);
  uint64_t* const P = tr.rows.data() + W;
  uint64_t* const E = P + (n + 1) * W;
  glfrec& g = tr.glyf;
  inkspan span;
  if (W == 1)
    g.finished ? build_rows<1, true>(s, n, W, P, E, span) : build_rows<1, false>(s, n, W, P, E, span);
  else
    g.finished ? build_rows<0, true>(s, n, W, P, E, span) : build_rows<0, false>(s, n, W, P, E, span);

  // Room for every edge as a point: one flag and at most two bytes per axis
  // each, 8 bytes for the overrun of the run copies, and a contour for
  // every four edges at most.
  const size_t most = 2 * size_t(n) * size_t(n + 1);
  if (g.flags.size() < most + 8) g.flags.resize(most + 8);
  if (g.xCoordinates.size() < 2 * most + 8) g.xCoordinates.resize(2 * most + 8);
  if (g.yCoordinates.size() < 2 * most + 8) g.yCoordinates.resize(2 * most + 8);
  if (g.endPtsOfContours.size() < most / 4 + 1) g.endPtsOfContours.resize(most / 4 + 1);
  const sidetab& t = side_for(tr, unsigned(n));
  if (g.finished) ink_box(t, W, span, g);
  const bool ok = !t.runs      ? walk<false, false, 0>(t, n, W, P, E, g)
                  : !g.finished ? (W == 1 ? walk<true, false, 1>(t, n, W, P, E, g) : walk<true, false, 0>(t, n, W, P, E, g))
                  : W == 1      ? walk<true, true, 1>(t, n, W, P, E, g)
                                : walk<true, true, 0>(t, n, W, P, E, g);
  // One point per edge: TrueType numbers them in 16 bits.
  if (!ok || g.pointTotal > kMaxGlyphPoints) {
    reset_glyf(tr);
    return kTooComplex;
  }
  return outputglyf(tr, out);
}
