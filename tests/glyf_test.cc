// The glyf and loca builders over a hand-made strike store: which bitmap each
// glyph is traced from, the lengths loca sums, the maxima maxp reads, and the
// log lines.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "support/rundir.h"
#include "tables/tables.h"
#include "trace/trace.h"

namespace {

// An n x n bitmap with the given pixels (row, column) inked.
std::vector<uint8_t> pixels(unsigned n, const std::vector<std::pair<unsigned, unsigned>>& ink) {
  std::vector<uint8_t> b(bitmap_bytes(n));
  for (auto [r, c] : ink) b[(r * n + c) / 8] |= uint8_t(0x80 >> ((r * n + c) % 8));
  return b;
}

// The glyph bytes bmp2glf gives for one bitmap on its own.
std::vector<uint8_t> traced(unsigned n, const std::vector<uint8_t>& bits) {
  tracer tr;
  bewriter w;
  bmp2glf(tr, uint8_t(n), uint8_t(n), bits.data(), w);
  return w.b;
}

// A hand-made glyph source (strike sizes largest first, glyph codes), and
// what the builders need.
struct glyfsetup {
  runinfo info;
  std::unique_ptr<glyphsrc> src;
  tracer tr;
  fontctx ctx{info, *src, tr};
  std::string log;

  glyfsetup(const std::vector<uint8_t>& sizes, const std::vector<uint16_t>& codes) : src(make_src(sizes, codes)) {
    for (GLYPH& g : src->glyphs) g.len = 0xDEAD;  // stale lengths get overwritten
  }
  std::vector<uint8_t> glyf() {
    bewriter w;
    log = captured([&] { build_glyf(ctx, w); });
    return w.b;
  }
  std::vector<uint32_t> loca() {
    bewriter w;
    build_loca(ctx, w);
    std::vector<uint32_t> v;
    for (size_t at = 0; at < w.size(); at += 4) v.push_back(rd32(w.b, at));
    return v;
  }
};

}  // namespace

TEST(GlyfLoca, WorkedTables) {
  // The single-pixel glyph as glyph 1: glyf is its 28 bytes, loca 0, 0, 28,
  // maxima 4 points and 1 contour.
  glyfsetup one({4}, {0x3042});
  put_bitmap(*one.src, 0, 0x3042, pixels(4, {{1, 1}}));
  EXPECT_EQ(one.glyf(), traced(4, pixels(4, {{1, 1}})));
  EXPECT_EQ(one.log, "malloc ok\nglyf size=0000001c\n");
  EXPECT_EQ(one.loca(), (std::vector<uint32_t>{0, 0, 28}));
  EXPECT_EQ(one.ctx.maxPoints, 4);
  EXPECT_EQ(one.ctx.maxContours, 1);
}

TEST(GlyfLoca, StrikeChoiceAndOffsets) {
  glyfsetup g({24, 16}, {0x4E00, 0x4E01, 0x4E02, 0x4E03, 0x4E04});
  const auto a = pixels(24, {{3, 4}, {10, 10}});
  const auto c = pixels(16, {{0, 0}, {0, 2}, {5, 5}});
  const auto ring = pixels(16, {{1, 1}, {1, 2}, {1, 3}, {2, 1}, {2, 3}, {3, 1}, {3, 2}, {3, 3}});
  // 0x4E00: in both strikes, traced from the 24-pixel bitmap.
  put_bitmap(*g.src, 0, 0x4E00, a);
  put_bitmap(*g.src, 1, 0x4E00, std::vector<uint8_t>(32, 0xFF));
  // 0x4E01: blank in the larger strike, which still wins: no outline.
  put_bitmap(*g.src, 0, 0x4E01, pixels(24, {}));
  put_bitmap(*g.src, 1, 0x4E01, std::vector<uint8_t>(32, 0xFF));
  // 0x4E02: only in the 16-pixel strike; 0x4E03 in none; 0x4E04 a ring
  // (2 contours, 16 points) after the larger glyphs.
  put_bitmap(*g.src, 1, 0x4E02, c);
  put_bitmap(*g.src, 1, 0x4E04, ring);

  std::vector<uint8_t> want = traced(24, a);
  const uint32_t la = uint32_t(want.size()), lc = uint32_t(traced(16, c).size());
  for (const auto* t : {&c, &ring}) {
    const auto b = traced(16, *t);
    want.insert(want.end(), b.begin(), b.end());
  }
  EXPECT_EQ(g.glyf(), want);
  char size_line[32];
  std::snprintf(size_line, sizeof size_line, "malloc ok\nglyf size=%08zx\n", want.size());
  EXPECT_EQ(g.log, size_line);
  // Glyphs without an outline repeat the next offset; the last offset is
  // the table length.
  const uint32_t end = uint32_t(want.size());
  EXPECT_EQ(g.loca(), (std::vector<uint32_t>{0, 0, la, la, la + lc, la + lc, end}));
  // Maxima of single glyphs, not sums: 16 points for the ring, 3 contours
  // for the three pixels.
  EXPECT_EQ(g.ctx.maxPoints, 16);
  EXPECT_EQ(g.ctx.maxContours, 3);
}
