// SPDX-License-Identifier: MIT
// The few checks a whole conversion would hide: the tracer on random
// bitmaps of every side, read back with a decoder of our own; the encoder's
// limits, fed points directly; a conversion run twice in one process; the
// pixel outlines of the web fonts on worked examples.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "bdf/bdf.h"
#include "core/convert.h"
#include "pxg/pxg.h"
#include "base/quit.h"
#include "base/bewriter.h"
#include "trace/trace.h"
#include "web/web.h"

namespace {

using point = std::pair<int32_t, int32_t>;

// A simple glyph read back without the encoder's code: its contours, and
// whether a flag other than the two short-vector pairs is set.
std::vector<std::vector<point>> decode(const std::vector<uint8_t>& b, bool& odd_flags) {
  size_t at = 0;
  auto u8 = [&] { return b.at(at++); };
  auto i16 = [&] { return int32_t(int16_t(uint16_t(u8() << 8 | u8()))); };
  const int32_t contours = i16();
  at += 8;  // the box
  std::vector<uint16_t> ends;
  for (int32_t c = 0; c < contours; ++c) ends.push_back(uint16_t(i16()));
  at += size_t(uint16_t(i16()));  // instructions
  std::vector<uint8_t> flags(ends.empty() ? 0 : ends.back() + 1u);
  odd_flags = false;
  for (uint8_t& f : flags) odd_flags |= ((f = u8()) & ~0x36) != 0;
  std::vector<point> pts(flags.size());
  int32_t v = 0;
  for (size_t p = 0; p < flags.size(); ++p) {  // x, then y
    const uint8_t f = flags[p];
    v += f & 0x02 ? (f & 0x10 ? u8() : -int32_t(u8())) : f & 0x10 ? 0 : i16();
    pts[p].first = v;
  }
  v = 0;
  for (size_t p = 0; p < flags.size(); ++p) {
    const uint8_t f = flags[p];
    v += f & 0x04 ? (f & 0x20 ? u8() : -int32_t(u8())) : f & 0x20 ? 0 : i16();
    pts[p].second = v;
  }
  std::vector<std::vector<point>> out;
  size_t p = 0;
  for (uint16_t e : ends) out.emplace_back(pts.begin() + std::ptrdiff_t(p), pts.begin() + e + 1), p = e + 1u;
  for (size_t k = at; k < b.size(); ++k) odd_flags |= b[k] != 0;  // padding is zeros
  return out;
}

}  // namespace

TEST(Tracer, EveryEdgeAtItsMidpoint) {
  // Random bitmaps of every side, inked in square blobs so that large sides
  // stay within the point limit, traced by one tracer as in a conversion.
  // Each must give exactly one point per unit edge between ink and blank, at
  // the edge's midpoint: x = 990 gx / n, y = 999 - 990 (gy + 1) / n, each
  // truncated toward zero, then y - 100; contours in scan order (topmost
  // start first, then leftmost), neighbours one edge apart.
  std::mt19937 rng(20261206);
  tracer tr;
  for (unsigned n = 1; n <= 255; ++n) {
    const unsigned blob = 1 + n / 48, cells = (n + blob - 1) / blob;
    std::bernoulli_distribution ink(n % 3 == 0 ? 0.2 : n % 3 == 1 ? 0.5 : 0.8);
    std::vector<char> coarse(cells * cells);
    for (char& c : coarse) c = ink(rng);
    auto at = [&](long r, long c) {
      return r >= 0 && c >= 0 && r < long(n) && c < long(n) && coarse[size_t(r) / blob * cells + size_t(c) / blob];
    };
    std::vector<uint8_t> bits((n * n + 7) / 8);
    for (unsigned k = 0; k < n * n; ++k)
      if (at(k / n, k % n)) bits[k / 8] |= uint8_t(0x80 >> (k % 8));
    std::vector<point> want;
    auto mid = [n](double gx, double gy) {
      return point{int32_t(std::trunc(990.0 * gx / n)), int32_t(std::trunc(999.0 - 990.0 * (gy + 1) / n)) - 100};
    };
    for (long a = 0; a <= long(n); ++a)
      for (long b = 0; b < long(n); ++b) {
        if (at(a - 1, b) != at(a, b)) want.push_back(mid(double(b) + 0.5, double(a)));
        if (at(b, a - 1) != at(b, a)) want.push_back(mid(double(a), double(b) + 0.5));
      }
    bewriter w;
    const int32_t len = bmp2glf(tr, uint8_t(n), uint8_t(n), bits.data(), w);
    ASSERT_EQ(size_t(len), w.size()) << n;
    ASSERT_EQ(len % 4, 0) << n;
    bool odd = false;
    const auto contours = w.size() ? decode(w.b, odd) : std::vector<std::vector<point>>{};
    EXPECT_FALSE(odd) << "n=" << n << ": on-curve or repeat flags, or padding that is not zero";
    std::vector<point> got;
    point prev{-1, 100000};
    const int32_t step = int32_t((990 + n - 1) / n);
    for (const auto& c : contours) {
      EXPECT_TRUE(c[0].second < prev.second || (c[0].second == prev.second && c[0].first > prev.first)) << n;
      prev = c[0];
      for (size_t i = 0; i < c.size(); ++i) {
        const point& next = c[(i + 1) % c.size()];
        EXPECT_TRUE(std::abs(c[i].first - next.first) <= step && std::abs(c[i].second - next.second) <= step) << n;
        got.push_back(c[i]);
      }
    }
    std::sort(want.begin(), want.end());
    std::sort(got.begin(), got.end());
    ASSERT_EQ(got, want) << "n=" << n;
  }
}

TEST(Encoder, DeltaLimits) {
  // 255 and -255 take one byte, 256 and -256 two bytes with no flag bit for
  // that axis, 0 none. y values are given before the encoder lowers them by
  // 100, so the stored y run 0, 255, -1, -1, 255.
  tracer tr;
  reset_glyf(tr);
  tr.points = {{2, 255, 100}, {2, 0, 355}, {2, 256, 99}, {2, 0, 99}, {2, 0, 355}};
  point2glyf(tr, 5);
  bewriter w;
  EXPECT_EQ(outputglyf(tr, w), 32);
  EXPECT_EQ(w.b, (std::vector<uint8_t>{0x00, 0x01, 0x00, 0x00, 0xFF, 0x74, 0x03, 0xE7, 0x03, 0x83,  // 1 contour, box
                                  0x00, 0x04, 0x00, 0x00,              // endPtsOfContours, instructionLength
                                  0x32, 0x26, 0x00, 0x20, 0x10,        // flags
                                  0xFF, 0xFF, 0x01, 0x00, 0xFF, 0x00,  // x: +255 -255 +256 -256 0
                                  0xFF, 0xFF, 0x00, 0x01, 0x00,        // y: 0 +255 -256 0 +256
                                  0x00, 0x00}));                       // padding
  EXPECT_EQ(tr.points[2].y, -1);  // lowered in place
}

TEST(Encoder, ContourLimit) {
  // 32,767 contours fit a glyph; one more ends the run.
  tracer tr;
  reset_glyf(tr);
  tr.points = {{2, 1, 1}};
  for (int c = 0; c < 32767; ++c) point2glyf(tr, 1);
  try {
    point2glyf(tr, 1);
    ADD_FAILURE() << "no refusal";
  } catch (const quit_signal& q) {
    EXPECT_STREQ(q.message, "glyph too complex");
  }
}

TEST(Driver, RunsTwiceTheSame) {
  // All state lives in the run: a second conversion in the same process
  // gives the same bytes.
  char dir[] = "/tmp/kiln-unit.XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  const std::string ex = std::string(KILN_SOURCE_DIR) + "/example/";
  auto slurp = [](const std::string& p) {
    std::ifstream f(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), {});
  };
  for (const char* f : {"example.info", "jis_uni.txt", "gothic12.pxg"})
    std::ofstream(std::string(dir) + "/" + f, std::ios::binary) << slurp(ex + f);
  ASSERT_EQ(chdir(dir), 0);
  const char* args[] = {"kilnfont", "example.info", "gothic12.pxg"};
  testing::internal::CaptureStdout();
  kilnfont_main(3, args);
  const std::string first = slurp("kilnexample.ttf");
  kilnfont_main(3, args);
  const std::string log = testing::internal::GetCapturedStdout();
  EXPECT_EQ(log.substr(log.size() - 9), "complete\n");
  EXPECT_GT(first.size(), 100000u);
  EXPECT_EQ(slurp("kilnexample.ttf"), first);
  for (const char* f : {"example.info", "jis_uni.txt", "gothic12.pxg", "kilnexample.ttf"}) std::remove(f);
  EXPECT_EQ(chdir("/"), 0);
  rmdir(dir);
}

// Pixel outlines, worked by hand: rows top down ('#' ink), where the top-left
// corner sits (bx, by), and the contours expected, corners only, in pixel
// units with y upwards. Outer contours run clockwise, holes the other way;
// pixels touching at a corner stay apart; a run of pixels has four corners.
struct pixelcase {
  const char* name;
  std::vector<std::string> rows;
  int bx, by;
  std::vector<std::vector<point>> contours;
};

TEST(WebPixels, WorkedExamples) {
  const std::vector<pixelcase> cases = {
      {"one pixel", {"#"}, 0, 1, {{{0, 1}, {1, 1}, {1, 0}, {0, 0}}}},
      {"a run, placed by its bearings", {"###"}, -1, 2, {{{-1, 2}, {2, 2}, {2, 1}, {-1, 1}}}},
      {"a ring and its hole", {"###", "#.#", "###"}, 0, 3,
       {{{0, 3}, {3, 3}, {3, 0}, {0, 0}}, {{1, 2}, {1, 1}, {2, 1}, {2, 2}}}},
      {"a corner apart", {"#.", ".#"}, 0, 2, {{{0, 2}, {1, 2}, {1, 1}, {0, 1}}, {{1, 1}, {2, 1}, {2, 0}, {1, 0}}}},
      {"an L", {"#.", "##"}, 0, 0, {{{0, 0}, {1, 0}, {1, -1}, {2, -1}, {2, -2}, {0, -2}}}},
      {"blank", {"..", ".."}, 0, 0, {}},
  };
  for (const pixelcase& c : cases) {
    pixelglyph g;
    g.height = int(c.rows.size());
    g.width = int(c.rows[0].size());
    g.bx = c.bx;
    g.by = c.by;
    for (const std::string& r : c.rows)
      for (char ch : r) g.ink.push_back(ch == '#');
    std::vector<pixelcontour> got;
    trace_pixels(g, got);
    std::vector<std::vector<point>> pts;
    for (const pixelcontour& k : got) {
      pts.emplace_back();
      for (size_t i = 0; i < k.x.size(); ++i) pts.back().emplace_back(k.x[i], k.y[i]);
    }
    EXPECT_EQ(pts, c.contours) << c.name;
  }
}

// The tables built in when the commands were built are the C library's
// tables now (both come from the same converters on this machine).
TEST(JisTable, BuiltInIsTheConverters) {
  for (bool x0213 : {false, true}) {
    const convtable built = converter_map(x0213), now = table_of_cells(x0213, decode_cells(x0213));
    EXPECT_STREQ(built.name, now.name);
    EXPECT_EQ(built.m2u, now.m2u) << built.name;
    EXPECT_TRUE(built.reason == now.reason) << built.name;
  }
}
