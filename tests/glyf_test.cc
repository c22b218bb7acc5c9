// The glyf and loca builders over a hand-made strike store: which bitmap each
// glyph is traced from, the lengths loca sums, the maxima maxp reads, and the
// log lines.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "driver/quit.h"
#include "driver/runinfo.h"
#include "support/rundir.h"
#include "tables/tables.h"
#include "trace/trace.h"

namespace {

// An n x n bitmap with the given pixels inked (row, column).
std::vector<uint8_t> pixels(unsigned n, const std::vector<std::pair<unsigned, unsigned>>& ink) {
  std::vector<uint8_t> b(bitmap_bytes(n));
  for (auto [r, c] : ink) b[(r * n + c) / 8] |= uint8_t(0x80 >> ((r * n + c) % 8));
  return b;
}
std::vector<uint8_t> full(unsigned n) {
  std::vector<uint8_t> b(bitmap_bytes(n), 0xFF);
  return b;
}

// A glyph source with strikes filled by hand, and what a builder needs.
struct glyfsetup {
  runinfo info;
  std::unique_ptr<glyphsrc> src = std::make_unique<glyphsrc>();
  tracer tr;
  fontctx ctx{info, *src, tr};

  glyfsetup() {
    for (auto& u : src->uni2bno) u.fill(kNoBitmap);
    src->store = std::make_unique<uint8_t[]>(kStoreBytes);
    std::memset(src->store.get(), 0, kStoreBytes);
    src->glyphs = {{0, 0}};
  }
  // Strikes are added largest first, as the reader orders them.
  int strike(uint8_t size) {
    src->pt[src->nstrikes] = size;
    return src->nstrikes++;
  }
  void put(int s, uint16_t code, const std::vector<uint8_t>& bits) {
    const uint16_t k = src->bchrs[s]++;
    std::memcpy(src->store.get() + size_t(s) * kSlotBytes + k * bits.size(), bits.data(), bits.size());
    src->uni2bno[size_t(s)][code] = k;
  }
  void glyphs(const std::vector<uint16_t>& codes) {
    for (uint16_t c : codes) src->glyphs.push_back({c, 0xDEAD});  // stale lengths get overwritten
  }
  // Runs the glyf builder; returns the table, leaves the log in log.
  std::string log;
  std::vector<uint8_t> glyf() {
    bewriter w;
    testing::internal::CaptureStdout();
    build_glyf(ctx, w);
    log = testing::internal::GetCapturedStdout();
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

// The glyph bytes bmp2glf gives for one bitmap on its own.
std::vector<uint8_t> traced(unsigned n, const std::vector<uint8_t>& bits) {
  tracer tr;
  bewriter w;
  bmp2glf(tr, uint8_t(n), uint8_t(n), bits.data(), w);
  return w.b;
}

}  // namespace

TEST(GlyfLoca, WorkedTables) {
  // Only the fallback glyph: nothing traced, eight zeros in the size line,
  // loca 0, 0, and both maxima stay 1.
  {
    glyfsetup g;
    g.ctx.maxPoints = 77;  // whatever was there before, glyf starts at 1
    EXPECT_TRUE(g.glyf().empty());
    EXPECT_EQ(g.log, "malloc ok\nglyf size=00000000\n");
    EXPECT_EQ(g.loca(), (std::vector<uint32_t>{0, 0}));
    EXPECT_EQ(g.ctx.maxPoints, 1);
    EXPECT_EQ(g.ctx.maxContours, 1);
  }
  // The single-pixel glyph as glyph 1: glyf is its 28 bytes, loca 0, 0, 28,
  // maxima 4 points and 1 contour.
  {
    glyfsetup g;
    const int s = g.strike(4);
    g.put(s, 0x3042, pixels(4, {{1, 1}}));
    g.glyphs({0x3042});
    const std::vector<uint8_t> t = g.glyf();
    EXPECT_EQ(t.size(), 28u);
    EXPECT_EQ(t, traced(4, pixels(4, {{1, 1}})));
    EXPECT_EQ(g.log, "malloc ok\nglyf size=0000001c\n");
    EXPECT_EQ(g.loca(), (std::vector<uint32_t>{0, 0, 28}));
    EXPECT_EQ(g.src->glyphs[1].len, 28u);
    EXPECT_EQ(g.ctx.maxPoints, 4);
    EXPECT_EQ(g.ctx.maxContours, 1);
  }
}

TEST(GlyfLoca, StrikeChoiceAndOffsets) {
  glyfsetup g;
  const int s24 = g.strike(24), s16 = g.strike(16);
  // 0x4E00: in both strikes, traced from the 24-pixel bitmap.
  g.put(s24, 0x4E00, pixels(24, {{3, 4}, {10, 10}}));
  g.put(s16, 0x4E00, full(16));
  // 0x4E01: blank in the larger strike, which still wins: no outline.
  g.put(s24, 0x4E01, pixels(24, {}));
  g.put(s16, 0x4E01, full(16));
  // 0x4E02: only in the 16-pixel strike. 0x4E03: in no strike.
  g.put(s16, 0x4E02, pixels(16, {{0, 0}, {0, 2}, {5, 5}}));
  // 0x4E04: a ring (2 contours, 16 points) after the larger glyphs.
  g.put(s16, 0x4E04, pixels(16, {{1, 1}, {1, 2}, {1, 3}, {2, 1}, {2, 3}, {3, 1}, {3, 2}, {3, 3}}));
  g.glyphs({0x4E00, 0x4E01, 0x4E02, 0x4E03, 0x4E04});

  const std::vector<uint8_t> a = traced(24, pixels(24, {{3, 4}, {10, 10}}));
  const std::vector<uint8_t> c = traced(16, pixels(16, {{0, 0}, {0, 2}, {5, 5}}));
  const std::vector<uint8_t> e =
      traced(16, pixels(16, {{1, 1}, {1, 2}, {1, 3}, {2, 1}, {2, 3}, {3, 1}, {3, 2}, {3, 3}}));
  std::vector<uint8_t> want = a;
  want.insert(want.end(), c.begin(), c.end());
  want.insert(want.end(), e.begin(), e.end());
  const std::vector<uint8_t> t = g.glyf();
  EXPECT_EQ(t, want);

  const uint32_t la = uint32_t(a.size()), lc = uint32_t(c.size()), le = uint32_t(e.size());
  char size_line[32];
  std::snprintf(size_line, sizeof size_line, "glyf size=%08x\n", la + lc + le);
  EXPECT_EQ(g.log, std::string("malloc ok\n") + size_line);
  // Empty glyphs repeat the next offset; every offset is 4-aligned and the
  // last one is the table length.
  EXPECT_EQ(g.loca(), (std::vector<uint32_t>{0, 0, la, la, la + lc, la + lc, la + lc + le}));
  EXPECT_EQ(g.src->glyphs[0].len, 0u);
  EXPECT_EQ(g.src->glyphs[2].len, 0u);
  EXPECT_EQ(g.src->glyphs[4].len, 0u);
  for (uint32_t v : g.loca()) EXPECT_EQ(v % 4, 0u);
  // Maxima of single glyphs, not sums: 12 points for three separate pixels,
  // 16 for the ring; 3 contours for the pixels.
  EXPECT_EQ(g.ctx.maxPoints, 16);
  EXPECT_EQ(g.ctx.maxContours, 3);

  // A second build with the same tracer (storage reused) gives the same table.
  EXPECT_EQ(g.glyf(), want);
}

TEST(GlyfLoca, GlyphTooComplex) {
  // A 255-pixel checkerboard passes TrueType's point limit: the run ends
  // after "malloc ok", glyph by glyph.
  glyfsetup g;
  const int s = g.strike(255);
  std::vector<std::pair<unsigned, unsigned>> ink;
  for (unsigned r = 0; r < 255; ++r)
    for (unsigned c = r & 1; c < 255; c += 2) ink.push_back({r, c});
  g.put(s, 0x3000, pixels(255, ink));
  g.glyphs({0x3000});
  bewriter w;
  testing::internal::CaptureStdout();
  EXPECT_THROW(build_glyf(g.ctx, w), quit_signal);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "malloc ok\nerror : glyph too complex\n");
}
