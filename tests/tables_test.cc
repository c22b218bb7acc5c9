// hmtx, cmap, OS/2, gasp, EBDT and EBLC built from hand-made glyph sources
// and compared with worked bytes, or read back with the tests' own reader.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "support/rundir.h"
#include "tables/tables.h"
#include "trace/trace.h"

namespace {

using bytes = std::vector<uint8_t>;

// A glyph source with the given strikes (largest first) and glyph list
// (glyph 0 added in front), no bitmaps yet.
std::unique_ptr<glyphsrc> make_src(const std::vector<uint8_t>& sizes, const std::vector<uint16_t>& codes) {
  auto src = std::make_unique<glyphsrc>();
  src->nstrikes = uint8_t(sizes.size());
  for (size_t s = 0; s < sizes.size(); ++s) {
    src->pt[s] = sizes[s];
    src->uni2bno[s].fill(kNoBitmap);
  }
  if (!sizes.empty()) src->store = std::make_unique<uint8_t[]>(kStoreBytes);
  src->glyphs.push_back({0, 0});
  for (uint16_t c : codes) src->glyphs.push_back({c, 0});
  return src;
}

// Gives code the next bitmap number of strike s, filled with a pattern that
// differs per strike and code; returns the bitmap's bytes.
bytes add_bitmap(glyphsrc& src, int s, uint16_t code) {
  const size_t B = bitmap_bytes(src.pt[s]);
  const uint16_t bno = src.bchrs[s]++;
  src.uni2bno[s][code] = bno;
  bytes bm(B);
  for (size_t k = 0; k < B; ++k) bm[k] = uint8_t(code * 7 + s * 31 + k * 13 + 1);
  std::copy(bm.begin(), bm.end(), src.store.get() + size_t(s) * kSlotBytes + bno * B);
  return bm;
}

bytes build(table_builder f, glyphsrc& src, const runinfo& info = runinfo{}) {
  tracer tr;
  fontctx ctx{info, src, tr};
  bewriter w;
  f(ctx, w);
  return w.b;
}

bytes slice(const bytes& b, size_t at, size_t n) { return bytes(b.begin() + at, b.begin() + at + n); }

}  // namespace

TEST(Cmap, WorkedExample) {
  // U+0041..U+0043 and U+3042: glyphs 1..4, two runs and the closing segment.
  auto src = make_src({}, {0x41, 0x42, 0x43, 0x3042});
  const bytes cmap = build(build_cmap, *src);
  ASSERT_EQ(cmap.size(), 324u);
  EXPECT_EQ(cmap_segcount(src->glyphs), 3u);
  const bytes head = {
      0x00, 0x00, 0x00, 0x02,                          // version 0, numTables 2
      0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x14,  // (1, 0) at 20
      0x00, 0x03, 0x00, 0x01, 0x00, 0x00, 0x01, 0x1A,  // (3, 1) at 282
      0x00, 0x00, 0x01, 0x06, 0x00, 0x00,              // format 0, length 262, language 0
  };
  EXPECT_EQ(slice(cmap, 0, 26), head);
  // Format 0 is indexed by the Unicode value itself.
  bytes ids(256, 0);
  ids[0x41] = 1, ids[0x42] = 2, ids[0x43] = 3;
  EXPECT_EQ(slice(cmap, 26, 256), ids);
  const bytes fmt4 = {
      0x00, 0x04, 0x00, 0x2A, 0x00, 0x00,  // format 4, length 42, language 0
      0x00, 0x06, 0x00, 0x04,              // segCountX2 6, searchRange 4
      0x00, 0x01, 0x00, 0x02,              // entrySelector 1, rangeShift 2
      0x00, 0x43, 0x30, 0x42, 0xFF, 0xFF,  // endCode
      0x00, 0x00,                          // reservedPad
      0x00, 0x41, 0x30, 0x42, 0xFF, 0xFF,  // startCode
      0xFF, 0xC0, 0xCF, 0xC2, 0x00, 0x01,  // idDelta: 1-0x41, 4-0x3042, closing 1
      0x00, 0x00, 0x00, 0x00, 0x00, 0x00,  // idRangeOffset
      0x00, 0x00,                          // the extra glyphIdArray word
  };
  EXPECT_EQ(slice(cmap, 282, 42), fmt4);

  // hmtx: five times advance 1000, lsb 0.
  bytes hmtx;
  for (int g = 0; g < 5; ++g) hmtx.insert(hmtx.end(), {0x03, 0xE8, 0x00, 0x00});
  EXPECT_EQ(build(build_hmtx, *src), hmtx);
}

TEST(Cmap, SegmentsAndSearchFields) {
  // Reads segCount, searchRange, entrySelector, rangeShift and the
  // (start, end, idDelta) of segment k from a built cmap.
  struct seg {
    uint32_t start, end, delta;
    bool operator==(const seg&) const = default;
  };
  auto segs = [](const bytes& c) {
    const uint32_t n = rd16(c, 288) / 2;
    std::vector<seg> v;
    for (uint32_t k = 0; k < n; ++k)
      v.push_back({rd16(c, 298 + 2 * n + 2 * k), rd16(c, 296 + 2 * k), rd16(c, 298 + 4 * n + 2 * k)});
    return v;
  };
  auto search = [](const bytes& c) { return std::vector<uint32_t>{rd16(c, 290), rd16(c, 292), rd16(c, 294)}; };

  // Only glyph 0: the closing segment alone, format 4 of 26 bytes.
  auto only0 = make_src({}, {});
  bytes c = build(build_cmap, *only0);
  EXPECT_EQ(c.size(), 308u);
  EXPECT_EQ(rd16(c, 284), 26u);
  EXPECT_EQ(search(c), (std::vector<uint32_t>{2, 0, 0}));
  EXPECT_EQ(segs(c), (std::vector<seg>{{0xFFFF, 0xFFFF, 1}}));
  EXPECT_EQ(slice(c, 26, 256), bytes(256, 0));

  // One glyph: its segment and the closing one (4, 1, 0).
  auto one = make_src({}, {0x4E00});
  c = build(build_cmap, *one);
  EXPECT_EQ(search(c), (std::vector<uint32_t>{4, 1, 0}));
  EXPECT_EQ(segs(c), (std::vector<seg>{{0x4E00, 0x4E00, 0xB201}, {0xFFFF, 0xFFFF, 1}}));
  // Codes all above 0xFF leave format 0 empty.
  EXPECT_EQ(slice(c, 26, 256), bytes(256, 0));

  // Codes 2 apart break the run although the glyph ids are consecutive;
  // three runs give segCount 4 (8, 2, 0). A run whose code equals its
  // glyph id gets idDelta 0; the others wrap modulo 65536.
  auto gaps = make_src({}, {0x01, 0x03, 0x04, 0x3000});
  c = build(build_cmap, *gaps);
  EXPECT_EQ(search(c), (std::vector<uint32_t>{8, 2, 0}));
  EXPECT_EQ(segs(c), (std::vector<seg>{{1, 1, 0}, {3, 4, 0xFFFF}, {0x3000, 0x3000, 0xD004}, {0xFFFF, 0xFFFF, 1}}));
  EXPECT_EQ(c[26 + 1], 1);
  EXPECT_EQ(c[26 + 3], 2);
  EXPECT_EQ(c[26 + 4], 3);
  EXPECT_EQ(c.size(), 300u + 8 * 4);

  // A glyph at U+FFFF: its own segment ends at 0xFFFF and the closing
  // segment is still written.
  auto top = make_src({}, {0xFFFE, 0xFFFF});
  c = build(build_cmap, *top);
  EXPECT_EQ(segs(c), (std::vector<seg>{{0xFFFE, 0xFFFF, 3}, {0xFFFF, 0xFFFF, 1}}));
  EXPECT_EQ(cmap_segcount(top->glyphs), 2u);
}

TEST(Os2, WeightAndVendor) {
  auto src = make_src({}, {});
  runinfo info;
  info.weight = 4;
  const uint8_t vend[4] = {'A', 'B', ' ', 'C'};
  std::copy(vend, vend + 4, info.vendid);
  const bytes os2 = build(build_os2, *src, info);
  const bytes expect = {
      0x00, 0x01, 0x01, 0xF4,  // version 1, xAvgCharWidth 500
      0x01, 0x90, 0x00, 0x05,  // usWeightClass 400, usWidthClass 5
      0x00, 0x04,              // fsType 4
      0x01, 0xF4, 0x01, 0xF4,  // ySubscriptXSize, YSize 500
      0x00, 0x00, 0x01, 0x68,  // ySubscriptXOffset 0, YOffset 360
      0x01, 0xF4, 0x01, 0xF4,  // ySuperscriptXSize, YSize 500
      0x00, 0x00, 0x01, 0xAE,  // ySuperscriptXOffset 0, YOffset 430
      0x00, 0x32, 0x01, 0x90,  // yStrikeoutSize 50, Position 400
      0x00, 0x00,              // sFamilyClass
      0x02, 0x00, 0x05, 0x09, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,  // panose, bWeight 5
      0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,              // ulUnicodeRange1, 2
      0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,              // ulUnicodeRange3, 4
      'A',  'B',  ' ',  'C',   // achVendID in file order
      0x00, 0x40,              // fsSelection regular
      0x00, 0x01, 0xFF, 0xFE,  // usFirstCharIndex, usLastCharIndex
      0x03, 0x5C, 0xFF, 0x74,  // sTypoAscender 860, sTypoDescender -140
      0x00, 0x00,              // sTypoLineGap
      0x03, 0x5C, 0x00, 0x8C,  // usWinAscent 860, usWinDescent 140
      0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,  // ulCodePageRange1, 2
      0x00, 0x00,              // padding
  };
  EXPECT_EQ(os2, expect);

  // Weight 7: 700 and 8. Weight 700: 70000 mod 65536 = 4464, 701 mod 256 = 189.
  info.weight = 7;
  bytes b = build(build_os2, *src, info);
  EXPECT_EQ(rd16(b, 4), 700u);
  EXPECT_EQ(b[34], 8);
  info.weight = 700;
  b = build(build_os2, *src, info);
  EXPECT_EQ(rd16(b, 4), 4464u);
  EXPECT_EQ(b[34], 189);
  // A negative weight wraps the same way, without overflow.
  info.weight = -1;
  b = build(build_os2, *src, info);
  EXPECT_EQ(rd16(b, 4), 0xFF9Cu);
  EXPECT_EQ(b[34], 0);
  EXPECT_EQ(b.size(), 88u);
}

TEST(Gasp, RangesFromLargestStrike) {
  // Strikes read as 16, 24, 12 end up largest first: pt[0] = 24.
  auto src = make_src({24, 16, 12}, {});
  const bytes strikes = {
      0x00, 0x00, 0x00, 0x03,  // version 0, numRanges 3
      0x00, 0x18, 0x00, 0x02,  // up to 24 ppem: grey-scale
      0x00, 0x30, 0x00, 0x01,  // up to 48 ppem: grid-fit
      0xFF, 0xFF, 0x00, 0x03,  // above: both
  };
  EXPECT_EQ(build(build_gasp, *src), strikes);
  // No strike: one range, rather than the non-rising (0,2), (0,1).
  auto none = make_src({}, {});
  const bytes single = {
      0x00, 0x00, 0x00, 0x01,  // version 0, numRanges 1
      0xFF, 0xFF, 0x00, 0x03,  // every size: both
  };
  EXPECT_EQ(build(build_gasp, *none), single);
}

TEST(EmbeddedBitmaps, SingleGlyph) {
  auto src = make_src({12}, {0x3042});
  const bytes bm = add_bitmap(*src, 0, 0x3042);
  ASSERT_EQ(bm.size(), 18u);
  // EBDT: version, the 18 bytes unchanged, two bytes of padding.
  bytes ebdt = {0x00, 0x02, 0x00, 0x00};
  ebdt.insert(ebdt.end(), bm.begin(), bm.end());
  ebdt.insert(ebdt.end(), {0, 0});
  EXPECT_EQ(build(build_ebdt, *src), ebdt);

  const bytes eblc = {
      0x00, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01,  // version 2.0, numSizes 1
      // bitmap size record
      0x00, 0x00, 0x00, 0x38,  // indexSubTableArrayOffset 56
      0x00, 0x00, 0x00, 0x1C,  // indexTablesSize 28
      0x00, 0x00, 0x00, 0x01,  // numberOfIndexSubTables 1
      0x00, 0x00, 0x00, 0x00,  // colorRef
      0x0B, 0x01, 0x0C, 0x00, 0x00, 0x00, 0x00, 0x00, 0x0C, 0x00, 0x00, 0x00,  // hori: 11, +1, 12 .. 12
      0x0B, 0x01, 0x0C, 0x00, 0x00, 0x00, 0x00, 0x00, 0x0C, 0x00, 0x00, 0x00,  // vert: the same
      0x00, 0x01, 0x00, 0x01,  // startGlyphIndex 1, endGlyphIndex 1
      0x0C, 0x0C, 0x01, 0x01,  // ppemX, ppemY 12, bitDepth 1, flags horizontal
      // index subtable array
      0x00, 0x01, 0x00, 0x01, 0x00, 0x00, 0x00, 0x08,  // glyphs 1..1, subtable at +8
      // index subtable, format 2
      0x00, 0x02, 0x00, 0x05,  // indexFormat 2, imageFormat 5
      0x00, 0x00, 0x00, 0x04,  // imageDataOffset 4
      0x00, 0x00, 0x00, 0x12,  // imageSize 18
      0x0C, 0x0C, 0x00, 0x0A,  // height, width 12, horiBearingX 0, horiBearingY 10
      0x0C, 0x00, 0x00, 0x0C,  // horiAdvance 12, vertBearingX, Y 0, vertAdvance 12
  };
  EXPECT_EQ(build(build_eblc, *src), eblc);
}

TEST(EmbeddedBitmaps, RunsAcrossStrikes) {
  // Glyphs 1..4 = U+4E00, U+4E01, U+4E02, U+4E03. Strike 0 (16 px) lacks
  // glyph 2; strike 1 (12 px) holds only glyph 2; strike 2 (8 px) holds
  // nothing. Bitmaps are numbered out of glyph order (as a later file can
  // add a smaller code), so copying by bitmap number would show.
  auto src = make_src({16, 12, 8}, {0x4E00, 0x4E01, 0x4E02, 0x4E03});
  const bytes b4 = add_bitmap(*src, 0, 0x4E03);
  const bytes b1 = add_bitmap(*src, 0, 0x4E00);
  const bytes b3 = add_bitmap(*src, 0, 0x4E02);
  const bytes c2 = add_bitmap(*src, 1, 0x4E01);

  // EBDT: strike by strike, glyph by glyph: 4 + 3 x 32 + 18 = 118 -> 120.
  bytes ebdt = {0x00, 0x02, 0x00, 0x00};
  for (const bytes* b : {&b1, &b3, &b4, &c2}) ebdt.insert(ebdt.end(), b->begin(), b->end());
  ebdt.insert(ebdt.end(), {0, 0});
  EXPECT_EQ(build(build_ebdt, *src), ebdt);

  // EBLC: strike 0 has runs 1..1 and 3..4 (glyph 2 splits it), strike 1 one
  // run 2..2, strike 2 none: 8 + 3 x 48 + 3 x 28 = 236 bytes.
  const bytes eblc = build(build_eblc, *src);
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
  EXPECT_EQ(eblc[8 + 48 * 2 + 0x10], 7);  // its ascender, S - 1

  // Strike 0: array entries, then subtables at +16 and +36; the images of
  // glyphs 1, 3, 4 lie at 4, 36 and 68 in EBDT.
  EXPECT_EQ(slice(eblc, 152, 16), (bytes{0x00, 0x01, 0x00, 0x01, 0x00, 0x00, 0x00, 0x10,    // 1..1 at +16
                                         0x00, 0x03, 0x00, 0x04, 0x00, 0x00, 0x00, 0x24}));  // 3..4 at +36
  EXPECT_EQ(rd32(eblc, 168 + 4), 4u);
  EXPECT_EQ(rd32(eblc, 168 + 8), 32u);
  EXPECT_EQ(rd32(eblc, 188 + 4), 36u);
  EXPECT_EQ(eblc[188 + 15], 14);  // horiBearingY, S - 2
  // Strike 1 goes on from where strike 0's images end.
  EXPECT_EQ(slice(eblc, 208, 8), (bytes{0x00, 0x02, 0x00, 0x02, 0x00, 0x00, 0x00, 0x08}));
  EXPECT_EQ(slice(eblc, 216, 20), (bytes{0x00, 0x02, 0x00, 0x05, 0x00, 0x00, 0x00, 0x64,  // at 100
                                         0x00, 0x00, 0x00, 0x12, 0x0C, 0x0C, 0x00, 0x0A,  // 18 bytes, 12 x 12
                                         0x0C, 0x00, 0x00, 0x0C}));
}

TEST(EmbeddedBitmaps, OnlyGlyphZero) {
  // No glyph besides the fallback: EBDT is its version, each strike has no
  // runs, endGlyphIndex is 0.
  auto src = make_src({16, 12}, {});
  EXPECT_EQ(build(build_ebdt, *src), (bytes{0x00, 0x02, 0x00, 0x00}));
  const bytes eblc = build(build_eblc, *src);
  ASSERT_EQ(eblc.size(), 8u + 96);
  EXPECT_EQ(rd32(eblc, 8), 104u);
  EXPECT_EQ(rd32(eblc, 56), 104u);
  EXPECT_EQ(rd32(eblc, 8 + 8), 0u);
  EXPECT_EQ(rd16(eblc, 8 + 42), 0u);
}
