// hmtx, cmap, OS/2, gasp, EBDT and EBLC built from hand-made glyph sources,
// read back with the tests' own reader or compared with worked bytes.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "support/rundir.h"
#include "tables/tables.h"

namespace {

using bytes = std::vector<uint8_t>;

// Gives code the next bitmap of strike s, a pattern that differs per strike
// and code; returns the bitmap's bytes.
bytes add_bitmap(glyphsrc& src, int s, uint16_t code) {
  bytes bm(bitmap_bytes(src.pt[s]));
  for (size_t k = 0; k < bm.size(); ++k) bm[k] = uint8_t(code * 7 + s * 31 + k * 13 + 1);
  put_bitmap(src, s, code, bm);
  return bm;
}

bytes slice(const bytes& b, size_t at, size_t n) { return bytes(b.begin() + long(at), b.begin() + long(at + n)); }

// A cmap read back: the format 4 search fields, and each segment's start,
// end and idDelta.
struct seg {
  uint32_t start, end, delta;
  bool operator==(const seg&) const = default;
};
std::vector<uint32_t> search(const bytes& c) { return {rd16(c, 290), rd16(c, 292), rd16(c, 294)}; }
std::vector<seg> segs(const bytes& c) {
  const uint32_t n = rd16(c, 288) / 2;
  std::vector<seg> v;
  for (uint32_t k = 0; k < n; ++k)
    v.push_back({rd16(c, 298 + 2 * n + 2 * k), rd16(c, 296 + 2 * k), rd16(c, 298 + 4 * n + 2 * k)});
  return v;
}

}  // namespace

TEST(Cmap, WorkedExampleAndHmtx) {
  // U+0041..U+0043 and U+3042: glyphs 1..4, two runs and the closing segment.
  auto src = make_src({}, {0x41, 0x42, 0x43, 0x3042});
  const bytes c = build_table(build_cmap, *src);
  ASSERT_EQ(c.size(), 324u);
  EXPECT_EQ(rd16(c, 2), 2u);           // numTables: (1, 0) format 0 at 20, (3, 1) format 4 at 282
  EXPECT_EQ(rd32(c, 8), 20u);
  EXPECT_EQ(rd32(c, 16), 282u);
  // Format 0 is indexed by the Unicode value itself.
  bytes ids(256, 0);
  ids[0x41] = 1, ids[0x42] = 2, ids[0x43] = 3;
  EXPECT_EQ(slice(c, 26, 256), ids);
  // Format 4: length 42 with the extra glyphIdArray word, segCount 3.
  EXPECT_EQ(slice(c, 282, 6), (bytes{0, 4, 0, 42, 0, 0}));
  EXPECT_EQ(rd16(c, 288), 6u);
  EXPECT_EQ(search(c), (std::vector<uint32_t>{4, 1, 2}));
  EXPECT_EQ(segs(c), (std::vector<seg>{{0x41, 0x43, 0xFFC0}, {0x3042, 0x3042, 0xCFC2}, {0xFFFF, 0xFFFF, 1}}));
  EXPECT_EQ(rd16(c, 296 + 6), 0u);     // reservedPad
  EXPECT_EQ(slice(c, 316, 8), bytes(8, 0));  // idRangeOffset, and the extra word
  EXPECT_EQ(cmap_segcount(src->glyphs), 3u);

  // hmtx: five times advance 1000, lsb 0.
  bytes hmtx;
  for (int g = 0; g < 5; ++g) hmtx.insert(hmtx.end(), {0x03, 0xE8, 0x00, 0x00});
  EXPECT_EQ(build_table(build_hmtx, *src), hmtx);
}

TEST(Cmap, SegmentsAndSearchFields) {
  // Only glyph 0: the closing segment alone, format 4 of 26 bytes.
  auto src = make_src({}, {});
  bytes c = build_table(build_cmap, *src);
  EXPECT_EQ(c.size(), 308u);
  EXPECT_EQ(rd16(c, 284), 26u);
  EXPECT_EQ(search(c), (std::vector<uint32_t>{2, 0, 0}));
  EXPECT_EQ(segs(c), (std::vector<seg>{{0xFFFF, 0xFFFF, 1}}));

  // Codes 2 apart break the run although the glyph ids are consecutive;
  // three runs give segCount 4 (8, 2, 0). A run whose code equals its
  // glyph id gets idDelta 0; the others wrap modulo 65536.
  src = make_src({}, {0x01, 0x03, 0x04, 0x3000});
  c = build_table(build_cmap, *src);
  EXPECT_EQ(c.size(), 300u + 8 * 4);
  EXPECT_EQ(search(c), (std::vector<uint32_t>{8, 2, 0}));
  EXPECT_EQ(segs(c), (std::vector<seg>{{1, 1, 0}, {3, 4, 0xFFFF}, {0x3000, 0x3000, 0xD004}, {0xFFFF, 0xFFFF, 1}}));

  // A glyph at U+FFFF: its own segment ends at 0xFFFF and the closing
  // segment is still written.
  src = make_src({}, {0xFFFE, 0xFFFF});
  EXPECT_EQ(segs(build_table(build_cmap, *src)), (std::vector<seg>{{0xFFFE, 0xFFFF, 3}, {0xFFFF, 0xFFFF, 1}}));
}

TEST(Os2, WeightAndVendor) {
  // usWeightClass is weight x 100 and PANOSE bWeight weight + 1, each kept
  // to its width: 4 gives 400/5, 7 700/8, 700 4464/189 (70000 and 701
  // wrapped), -1 65436/0. achVendID is in file order, the blank kept. The
  // descender is -140 in the typographic fields, 140 in the Windows ones.
  auto src = make_src({}, {});
  runinfo info;
  std::copy_n("AB C", 4, info.vendid);
  const int weights[][3] = {{4, 400, 5}, {7, 700, 8}, {700, 4464, 189}, {-1, 0xFF9C, 0}};
  for (const auto& [weight, usWeightClass, bWeight] : weights) {
    info.weight = weight;
    const bytes os2 = build_table(build_os2, *src, info);
    ASSERT_EQ(os2.size(), 88u);
    EXPECT_EQ(rd16(os2, 4), uint32_t(usWeightClass)) << weight;
    EXPECT_EQ(os2[34], bWeight) << weight;
    EXPECT_EQ(slice(os2, 58, 4), (bytes{'A', 'B', ' ', 'C'}));
    EXPECT_EQ(slice(os2, 68, 4), (bytes{0x03, 0x5C, 0xFF, 0x74}));  // sTypoAscender, sTypoDescender
    EXPECT_EQ(slice(os2, 74, 4), (bytes{0x03, 0x5C, 0x00, 0x8C}));  // usWinAscent, usWinDescent
    EXPECT_EQ(rd16(os2, 86), 0u);
  }
}

TEST(Gasp, RangesFromLargestStrike) {
  // Strikes read as 16, 24, 12 end up largest first: pt[0] = 24, and the
  // ranges are (24, grey-scale), (48, grid-fit), (0xFFFF, both).
  auto src = make_src({24, 16, 12}, {});
  EXPECT_EQ(build_table(build_gasp, *src), (bytes{0, 0, 0, 3, 0, 24, 0, 2, 0, 48, 0, 1, 0xFF, 0xFF, 0, 3}));
  // No strike: one range, rather than the non-rising (0, 2), (0, 1).
  src = make_src({}, {});
  EXPECT_EQ(build_table(build_gasp, *src), (bytes{0, 0, 0, 1, 0xFF, 0xFF, 0, 3}));
}

TEST(EmbeddedBitmaps, SingleGlyph) {
  auto src = make_src({12}, {0x3042});
  const bytes bm = add_bitmap(*src, 0, 0x3042);
  // EBDT: version, the 18 bytes unchanged, two bytes of padding.
  bytes ebdt = {0x00, 0x02, 0x00, 0x00};
  ebdt.insert(ebdt.end(), bm.begin(), bm.end());
  ebdt.insert(ebdt.end(), {0, 0});
  EXPECT_EQ(build_table(build_ebdt, *src), ebdt);

  // EBLC: 8 + 48 + 28 = 84 bytes. The size record points at its array (56)
  // of one run (28 bytes), hori and vert line metrics ascender S - 1,
  // descender 1, widths S; the run's image lies at 4 in EBDT, 18 bytes.
  const bytes eblc = build_table(build_eblc, *src);
  ASSERT_EQ(eblc.size(), 84u);
  EXPECT_EQ(slice(eblc, 8, 12), (bytes{0, 0, 0, 56, 0, 0, 0, 28, 0, 0, 0, 1}));
  EXPECT_EQ(slice(eblc, 24, 12), (bytes{11, 1, 12, 0, 0, 0, 0, 0, 12, 0, 0, 0}));
  EXPECT_EQ(slice(eblc, 36, 12), slice(eblc, 24, 12));
  EXPECT_EQ(slice(eblc, 48, 8), (bytes{0, 1, 0, 1, 12, 12, 1, 1}));  // glyphs 1..1, ppem 12, 1 bit, horizontal
  EXPECT_EQ(slice(eblc, 56, 8), (bytes{0, 1, 0, 1, 0, 0, 0, 8}));    // the run 1..1, its subtable at +8
  EXPECT_EQ(slice(eblc, 64, 20), (bytes{0, 2, 0, 5, 0, 0, 0, 4, 0, 0, 0, 18,  // formats 2 and 5, offset, size
                                        12, 12, 0, 10, 12, 0, 0, 12}));      // S x S, horiBearingY S - 2
}

TEST(EmbeddedBitmaps, RunsAcrossStrikes) {
  // Glyphs 1..4 = U+4E00..U+4E03. Strike 0 (16 px) lacks glyph 2; strike 1
  // (12 px) holds only glyph 2; strike 2 (8 px) holds nothing. Bitmaps are
  // numbered out of glyph order (as a later file can add a smaller code), so
  // copying by bitmap number would show.
  auto src = make_src({16, 12, 8}, {0x4E00, 0x4E01, 0x4E02, 0x4E03});
  const bytes b4 = add_bitmap(*src, 0, 0x4E03);
  const bytes b1 = add_bitmap(*src, 0, 0x4E00);
  const bytes b3 = add_bitmap(*src, 0, 0x4E02);
  const bytes c2 = add_bitmap(*src, 1, 0x4E01);

  // EBDT: strike by strike, glyph by glyph: 4 + 3 x 32 + 18 = 118 -> 120.
  bytes ebdt = {0x00, 0x02, 0x00, 0x00};
  for (const bytes* b : {&b1, &b3, &b4, &c2}) ebdt.insert(ebdt.end(), b->begin(), b->end());
  ebdt.insert(ebdt.end(), {0, 0});
  EXPECT_EQ(build_table(build_ebdt, *src), ebdt);

  // EBLC: strike 0 has runs 1..1 and 3..4 (glyph 2 splits it), strike 1 one
  // run 2..2, strike 2 none: 8 + 3 x 48 + 3 x 28 = 236 bytes.
  const bytes eblc = build_table(build_eblc, *src);
  ASSERT_EQ(eblc.size(), 236u);
  EXPECT_EQ(rd32(eblc, 4), 3u);
  struct sizerec {
    uint32_t arrayOffset, tablesSize, count, end, ppem;
    bool operator==(const sizerec&) const = default;
  };
  auto rec = [&](int s) {
    const size_t at = 8 + 48 * size_t(s);
    return sizerec{rd32(eblc, at), rd32(eblc, at + 4), rd32(eblc, at + 8), rd16(eblc, at + 42), eblc[at + 44]};
  };
  EXPECT_EQ(rec(0), (sizerec{152, 56, 2, 4, 16}));
  EXPECT_EQ(rec(1), (sizerec{208, 28, 1, 4, 12}));
  // A strike without bitmaps: no subtables, its offset that of the table end.
  EXPECT_EQ(rec(2), (sizerec{236, 0, 0, 4, 8}));

  // Strike 0: array entries, then subtables at +16 and +36; the images of
  // glyphs 1, 3, 4 lie at 4, 36 and 68 in EBDT.
  EXPECT_EQ(slice(eblc, 152, 16), (bytes{0, 1, 0, 1, 0, 0, 0, 16, 0, 3, 0, 4, 0, 0, 0, 36}));
  EXPECT_EQ(rd32(eblc, 168 + 4), 4u);
  EXPECT_EQ(rd32(eblc, 188 + 4), 36u);
  EXPECT_EQ(eblc[188 + 15], 14);  // horiBearingY, S - 2
  // Strike 1 goes on from where strike 0's images end, at 100.
  EXPECT_EQ(slice(eblc, 208, 8), (bytes{0, 2, 0, 2, 0, 0, 0, 8}));
  EXPECT_EQ(rd32(eblc, 216 + 4), 100u);
  EXPECT_EQ(rd32(eblc, 216 + 8), 18u);

  // No glyph besides the fallback: EBDT is its version, every strike has
  // no runs and endGlyphIndex 0.
  src = make_src({16, 12}, {});
  EXPECT_EQ(build_table(build_ebdt, *src), (bytes{0x00, 0x02, 0x00, 0x00}));
  const bytes none = build_table(build_eblc, *src);
  ASSERT_EQ(none.size(), 8u + 96);
  EXPECT_EQ(rd32(none, 8), 104u);
  EXPECT_EQ(rd32(none, 8 + 8), 0u);
  EXPECT_EQ(rd16(none, 8 + 42), 0u);
}
