// The contour tracer and the simple-glyph encoder: worked outlines point for
// point, worked glyphs byte for byte, and properties over random bitmaps,
// each glyph read back with the test's own simple-glyph decoder.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "support/rundir.h"
#include "tables/bewriter.h"
#include "trace/trace.h"

namespace {

struct pt {
  int32_t x, y;
  bool operator==(const pt&) const = default;
  bool operator<(const pt& o) const { return x != o.x ? x < o.x : y < o.y; }
};
using contour = std::vector<pt>;
using rows = std::vector<std::string>;

// A simple glyph read back without the encoder's code: flags (repeats
// honoured, though the encoder never writes them), then x deltas, then y.
struct decoded {
  int numberOfContours = 0;
  int box[4] = {};
  std::vector<uint16_t> endPts;
  std::vector<contour> contours;
  bool any_on_curve = false;
  size_t used = 0;  // bytes before the padding
};

decoded decode(const std::vector<uint8_t>& b) {
  decoded d;
  size_t at = 0;
  auto u8 = [&] { return b.at(at++); };
  auto i16 = [&] {
    const int32_t v = int16_t(uint16_t(b.at(at) << 8 | b.at(at + 1)));
    at += 2;
    return v;
  };
  d.numberOfContours = i16();
  for (int& v : d.box) v = i16();
  for (int c = 0; c < d.numberOfContours; ++c) d.endPts.push_back(uint16_t(i16()));
  const size_t npts = d.endPts.empty() ? 0 : size_t(d.endPts.back()) + 1;
  at += size_t(uint16_t(i16()));  // instructions
  std::vector<uint8_t> flags;
  while (flags.size() < npts) {
    const uint8_t f = u8();
    flags.push_back(f);
    if (f & 8)
      for (int r = u8(); r > 0; --r) flags.push_back(f);
  }
  std::vector<int32_t> xy[2];
  for (int axis = 0; axis < 2; ++axis) {
    const uint8_t shortbit = axis ? 0x04 : 0x02, samebit = axis ? 0x20 : 0x10;
    int32_t v = 0;
    for (uint8_t f : flags) {
      if (f & shortbit)
        v += (f & samebit) ? u8() : -int32_t(u8());
      else if (!(f & samebit))
        v += i16();
      xy[axis].push_back(v);
    }
  }
  size_t p = 0;
  for (uint16_t e : d.endPts) {
    d.contours.emplace_back();
    for (; p <= e; ++p) {
      d.contours.back().push_back({xy[0][p], xy[1][p]});
      d.any_on_curve |= (flags[p] & 1) != 0;
    }
  }
  d.used = at;
  return d;
}

// Packs rows of '#' (ink) and '.' into the continuous MSB-first stream.
std::vector<uint8_t> pack(const rows& r) {
  const size_t n = r.size();
  std::vector<uint8_t> bits((n * n + 7) / 8);
  for (size_t k = 0; k < n * n; ++k)
    if (r[k / n][k % n] == '#') bits[k / 8] |= uint8_t(0x80 >> (k % 8));
  return bits;
}

// Traces the rows and returns the glyph bytes.
std::vector<uint8_t> trace_bytes(tracer& tr, const rows& r) {
  bewriter w;
  const std::vector<uint8_t> bits = pack(r);
  const int32_t len = bmp2glf(tr, uint8_t(r.size()), uint8_t(r.size()), bits.data(), w);
  EXPECT_EQ(size_t(len), w.size());
  return w.b;
}

// The contours as the tracer computed them, before the encoder's shift.
std::vector<contour> trace_points(const rows& r) {
  tracer tr;
  decoded d = decode(trace_bytes(tr, r));
  for (contour& c : d.contours)
    for (pt& p : c) p.y += 100;
  return d.contours;
}

const rows kPixel = {"....", ".#..", "....", "...."};
const rows kRing = {".....", ".###.", ".#.#.", ".###.", "....."};

}  // namespace

TEST(Tracer, WorkedOutlines) {
  // No ink: no contour, nothing written, result 0.
  tracer blank;
  EXPECT_TRUE(trace_bytes(blank, rows(7, ".......")).empty());
  // One pixel: top, right, bottom, left edge midpoints, clockwise.
  EXPECT_EQ(trace_points(kPixel), (std::vector<contour>{{{371, 504}, {495, 380}, {371, 256}, {247, 380}}}));

  // Full 16x16: 64 points from the top-left going East; the right side sits
  // on x = 990 and the bottom on -52 (truncated toward zero, not floored).
  std::vector<contour> c = trace_points(rows(16, std::string(16, '#')));
  ASSERT_EQ(c.size(), 1u);
  ASSERT_EQ(c[0].size(), 64u);
  EXPECT_EQ(c[0][0], (pt{30, 937}));
  EXPECT_EQ(c[0][1], (pt{92, 937}));
  for (int k = 16; k < 32; ++k) EXPECT_EQ(c[0][k].x, 990) << k;
  for (int k = 32; k < 48; ++k) EXPECT_EQ(c[0][k].y, -52) << k;

  // Ring: the outer contour (12 points, East first) then the hole, which
  // runs West first, counter-clockwise.
  c = trace_points(kRing);
  ASSERT_EQ(c.size(), 2u);
  EXPECT_EQ(c[0].size(), 12u);
  EXPECT_EQ(c[0][0], (pt{297, 603}));
  EXPECT_EQ(c[1], (contour{{495, 405}, {396, 306}, {495, 207}, {594, 306}}));

  // Pixels touching only at a corner form one contour (ink is 8-connected),
  // on either diagonal.
  EXPECT_EQ(trace_points({"....", ".#..", "..#.", "...."}),
            (std::vector<contour>{
                {{371, 504}, {495, 380}, {618, 256}, {742, 132}, {618, 9}, {495, 132}, {371, 256}, {247, 380}}}));
  c = trace_points({".#", "#."});
  ASSERT_EQ(c.size(), 1u);
  EXPECT_EQ(c[0].size(), 8u);

  // Two separate pixels: the one whose top lies higher comes first although
  // it lies further right.
  c = trace_points({"....", "...#", "#...", "...."});
  ASSERT_EQ(c.size(), 2u);
  EXPECT_EQ(c[0][0], (pt{866, 504}));
  EXPECT_EQ(c[1][0], (pt{123, 256}));

  // The diagonal: one contour of 16 points whose first half is a straight
  // staircase line, stepping 123 or 124 units in x and y.
  c = trace_points({"#...", ".#..", "..#.", "...#"});
  ASSERT_EQ(c.size(), 1u);
  ASSERT_EQ(c[0].size(), 16u);
  EXPECT_EQ(contour(c[0].begin(), c[0].begin() + 8),
            (contour{{123, 751}, {247, 627}, {371, 504}, {495, 380}, {618, 256}, {742, 132}, {866, 9}, {990, -114}}));
}

TEST(Encoder, WorkedGlyphs) {
  // The single pixel, 28 bytes: two-byte first deltas (flag 00), then
  // one-byte deltas; no padding.
  tracer tr;
  EXPECT_EQ(trace_bytes(tr, kPixel), (std::vector<uint8_t>{
                                         0x00, 0x01, 0x00, 0x00, 0xFF, 0x74, 0x03, 0xE7, 0x03, 0x83,  // header
                                         0x00, 0x03,                    // endPtsOfContours
                                         0x00, 0x00,                    // instructionLength
                                         0x00, 0x16, 0x06, 0x26,        // flags
                                         0x01, 0x73, 0x7C, 0x7C, 0x7C,  // x
                                         0x01, 0x94, 0x7C, 0x7C, 0x7C,  // y
                                     }));
  EXPECT_EQ(tr.glyf.maxPoints, 4);
  EXPECT_EQ(tr.glyf.maxContours, 1);

  // The ring, 60 bytes with one byte of padding; the hole's first point is
  // a delta from the outer contour's last point.
  const std::vector<uint8_t> b = trace_bytes(tr, kRing);
  ASSERT_EQ(b.size(), 60u);
  const decoded d = decode(b);
  EXPECT_EQ(d.endPts, (std::vector<uint16_t>{11, 15}));
  EXPECT_EQ(d.used, 59u);
  EXPECT_EQ(d.contours[1][0], (pt{495, 305}));
  EXPECT_EQ(std::vector<int>(d.box, d.box + 4), (std::vector<int>{0, -140, 999, 899}));

  // Delta limits: 255 and -255 take one byte, 256 and -256 two bytes with
  // no flag bit for that axis, 0 none. Traced y values are given before the
  // -100 shift, so the shifted y run 0, 255, -1, -1, 255.
  reset_glyf(tr);
  tr.points = {{2, 255, 100}, {2, 0, 355}, {2, 256, 99}, {2, 0, 99}, {2, 0, 355}};
  point2glyf(tr, 5);
  bewriter w;
  EXPECT_EQ(outputglyf(tr, w), 32);
  EXPECT_EQ(std::vector<uint8_t>(w.b.begin() + 14, w.b.end()),
            (std::vector<uint8_t>{0x32, 0x26, 0x00, 0x20, 0x10,        // flags
                                  0xFF, 0xFF, 0x01, 0x00, 0xFF, 0x00,  // x: +255 -255 +256 -256 0
                                  0xFF, 0xFF, 0x00, 0x01, 0x00,        // y: 0 +255 -256 0 +256
                                  0x00, 0x00}));                       // padding
  EXPECT_EQ(tr.points[2].y, -1);  // shifted in place
}

namespace {

// An n x n bitmap of density p, inked in square blobs of side blob so that
// large bitmaps stay within the point limit.
rows random_rows(std::mt19937& rng, size_t n, double p, size_t blob) {
  std::bernoulli_distribution ink(p);
  const size_t cells = (n + blob - 1) / blob;
  std::string coarse(cells * cells, '.');
  for (char& c : coarse) c = ink(rng) ? '#' : '.';
  rows r(n, std::string(n, '.'));
  for (size_t i = 0; i < n * n; ++i) r[i / n][i % n] = coarse[(i / n / blob) * cells + i % n / blob];
  return r;
}

bool is_ink(const rows& r, long row, long col) {
  const long n = long(r.size());
  return row >= 0 && col >= 0 && row < n && col < n && r[size_t(row)][size_t(col)] == '#';
}

// Checks one traced glyph against its bitmap; returns its point count.
size_t check_glyph(const rows& r, const std::vector<uint8_t>& bytes) {
  const long n = long(r.size());
  // The midpoint of every edge between ink and blank, computed in floating
  // point: x = 990 gx / n, y = 999 - 990 (gy + 1) / n, before the shift.
  auto at = [n](double gx, double gy) {
    return pt{int32_t(std::trunc(990.0 * gx / double(n))), int32_t(std::trunc(999.0 - 990.0 * (gy + 1) / double(n)))};
  };
  std::vector<pt> want;
  for (long a = 0; a <= n; ++a)
    for (long b = 0; b < n; ++b) {
      if (is_ink(r, a - 1, b) != is_ink(r, a, b)) want.push_back(at(double(b) + 0.5, double(a)));
      if (is_ink(r, b, a - 1) != is_ink(r, b, a)) want.push_back(at(double(a), double(b) + 0.5));
    }
  if (want.empty()) {
    EXPECT_TRUE(bytes.empty());
    return 0;
  }
  const decoded d = decode(bytes);
  // The length is the described bytes padded with zeros to a multiple of 4.
  EXPECT_EQ(bytes.size(), (d.used + 3) / 4 * 4);
  for (size_t k = d.used; k < bytes.size(); ++k) EXPECT_EQ(bytes[k], 0);
  EXPECT_FALSE(d.any_on_curve);

  std::vector<contour> cs = d.contours;
  std::vector<pt> got;
  const int32_t step = int32_t((990 + n - 1) / n);
  pt prev_start{-1, 100000};
  for (contour& c : cs) {
    for (pt& p : c) {
      p.y += 100;
      got.push_back(p);
    }
    // Neighbours (the closing pair included) lie within one edge's length.
    for (size_t i = 0; i < c.size(); ++i) {
      const pt& next = c[(i + 1) % c.size()];
      EXPECT_TRUE(std::abs(c[i].x - next.x) <= step && std::abs(c[i].y - next.y) <= step) << "n=" << n << " " << i;
    }
    // Contours come in scan order: by their top grid line, then leftmost.
    EXPECT_TRUE(c[0].y < prev_start.y || (c[0].y == prev_start.y && c[0].x > prev_start.x)) << "n=" << n;
    prev_start = c[0];
  }
  // Exactly one point per set edge, each at that edge's midpoint.
  std::sort(want.begin(), want.end());
  std::sort(got.begin(), got.end());
  EXPECT_EQ(got, want) << "n=" << n;

  return want.size();
}

rows checkerboard(size_t n) {
  rows r(n, std::string(n, '.'));
  for (size_t i = 0; i < n * n; ++i)
    if ((i / n + i % n) % 2 == 0) r[i / n][i % n] = '#';
  return r;
}

}  // namespace

TEST(Tracer, RandomBitmaps) {
  std::mt19937 rng(20240611);
  tracer shared;  // one tracer for every glyph, as in a conversion
  uint16_t most = 0;
  int glyphs = 0;
  auto one = [&](const rows& r) {
    const std::vector<uint8_t> bytes = trace_bytes(shared, r);
    most = std::max<uint16_t>(most, uint16_t(check_glyph(r, bytes)));
    // Storage reused from larger glyphs must not leak into a smaller one.
    if (++glyphs % 7 == 0) {
      tracer fresh;
      EXPECT_EQ(trace_bytes(fresh, r), bytes);
    }
  };
  for (size_t n = 1; n <= 64; ++n)
    for (double p : {0.15, 0.5, 0.85}) one(random_rows(rng, n, p, 1));
  for (size_t n : {16, 24, 40, 64}) one(random_rows(rng, n, 0.5, 3));
  // Large sides, with the bitmap's bit stream ending mid-byte (255^2 % 8 = 1).
  for (size_t n : {100, 181, 255}) one(random_rows(rng, n, 0.45, 4));
  for (size_t n : {200, 255}) one(rows(n, std::string(n, '#')));
  EXPECT_EQ(shared.glyf.maxPoints, most);
}

TEST(Tracer, GlyphLimits) {
  // 181 x 181 checkerboard: 65,524 points, just within the 16-bit point
  // numbers; the diagonal contacts join all ink into one outer contour and
  // every blank pixel off the border is a hole of its own.
  tracer tr;
  const std::vector<uint8_t> b = trace_bytes(tr, checkerboard(181));
  EXPECT_EQ(check_glyph(checkerboard(181), b), 65524u);
  EXPECT_EQ(tr.glyf.maxContours, 1 + 16020);

  // 182 (66,248 points): more than 65,535 points is refused, nothing written.
  bewriter w;
  const std::vector<uint8_t> bits = pack(checkerboard(182));
  bool q = false;
  EXPECT_EQ(captured([&] { bmp2glf(tr, 182, 182, bits.data(), w); }, &q), "error : glyph too complex\n");
  EXPECT_TRUE(q);
  EXPECT_EQ(w.size(), 0u);

  // The contour limit, reached through the encoder directly.
  reset_glyf(tr);
  tr.points = {{2, 1, 1}};
  for (int c = 0; c < 32767; ++c) point2glyf(tr, 1);
  EXPECT_EQ(captured([&] { point2glyf(tr, 1); }, &q), "error : glyph too complex\n");
  EXPECT_TRUE(q);
}
