// SPDX-License-Identifier: MIT
// EBDT and EBLC: the source bitmaps embedded as one strike per pixel size.
// EBDT holds the images (format 5: bit-aligned, metrics kept in EBLC), EBLC
// where each run of glyphs lies and its metrics (index format 2: every glyph
// of a run has the same size). Both walk the strikes and glyphs in the same
// order, so EBLC's offsets match EBDT's layout without passing anything.
#include <cassert>

#include "tables/tables.h"

namespace {

constexpr uint32_t kVersion2 = 0x00020000;
constexpr uint32_t kSizeRecord = 48;   // bytes of one bitmap size record
constexpr uint32_t kArrayEntry = 8;    // one index subtable array entry
constexpr uint32_t kSubtable = 20;     // one format-2 index subtable

bool has_bitmap(const glyphsrc& src, int s, size_t g) {
  return src.uni2bno[s][src.glyphs[g].code] != kNoBitmap;
}

// Calls f(i, j) for each maximal run of glyph ids i..j (glyph 0 left out)
// that all have a bitmap in strike s, in ascending order.
template <class F>
void for_each_run(const glyphsrc& src, int s, F f) {
  const size_t n = src.glyphs.size();
  size_t i = 1;
  while (i < n) {
    if (!has_bitmap(src, s, i)) {
      ++i;
      continue;
    }
    size_t j = i;
    while (j + 1 < n && has_bitmap(src, s, j + 1)) ++j;
    f(i, j);
    i = j + 1;
  }
}

uint32_t count_runs(const glyphsrc& src, int s) {
  uint32_t r = 0;
  for_each_run(src, s, [&](size_t, size_t) { ++r; });
  return r;
}

// The strike's line metrics, written as both hori and vert.
void line_metrics(bewriter& w, uint8_t S) {
  w.u8(uint8_t(S - 1));  // ascender
  w.u8(1);               // descender (plus one)
  w.u8(S);               // widthMax
  w.u8(0);               // caretSlopeNumerator
  w.u8(0);               // caretSlopeDenominator
  w.u8(0);               // caretOffset
  w.u8(0);               // minOriginSB
  w.u8(0);               // minAdvanceSB
  w.u8(S);               // maxBeforeBL
  w.u8(0);               // minAfterBL
  w.u8(0);               // pad1
  w.u8(0);               // pad2
}

}  // namespace

void build_ebdt(fontctx& ctx, bewriter& w) {
  const glyphsrc& src = ctx.src;
  const size_t n = src.glyphs.size();
  // The images stream out through the writer, spilling to the font file
  // every 64 KiB, so the buffer holds at most that plus one bitmap.
  constexpr size_t kSpill = size_t(64) << 10;
  w.reserve(w.size() + kSpill + bitmap_bytes(255) + 4);

  w.u32(kVersion2);  // version 2.0
  for (int s = 0; s < src.nstrikes; ++s) {
    const size_t B = bitmap_bytes(src.pt[s]);
    for (size_t g = 1; g < n; ++g) {
      const uint16_t bno = src.uni2bno[s][src.glyphs[g].code];
      if (bno == kNoBitmap) continue;
      assert((size_t(bno) + 1) * B <= kSlotBytes);
      w.bytes(src.bitmap(s, bno), B);  // the store's bit stream is image format 5 as it is
      if (w.b.size() >= kSpill) w.spill();
    }
  }
  w.pad4();
}

void build_eblc(fontctx& ctx, bewriter& w) {
  const glyphsrc& src = ctx.src;
  const size_t n = src.glyphs.size();
  const uint32_t k = src.nstrikes;

  // First pass: the runs of each strike fix every offset.
  uint32_t R[kMaxStrikes] = {};
  uint32_t allruns = 0;
  for (uint32_t s = 0; s < k; ++s) allruns += R[s] = count_runs(src, int(s));
  const size_t start = w.size();
  w.reserve(start + 8 + kSizeRecord * k + (kArrayEntry + kSubtable) * allruns);

  w.u32(kVersion2);  // version 2.0
  w.u32(k);          // numSizes
  uint32_t arrayAt = 8 + kSizeRecord * k;
  for (uint32_t s = 0; s < k; ++s) {
    const uint8_t S = src.pt[s];
    const uint32_t tablesSize = (kArrayEntry + kSubtable) * R[s];
    w.u32(arrayAt);                   // indexSubTableArrayOffset
    w.u32(tablesSize);                // indexTablesSize
    w.u32(R[s]);                      // numberOfIndexSubTables
    w.u32(0);                         // colorRef
    line_metrics(w, S);               // hori
    line_metrics(w, S);               // vert
    w.u16(1);                         // startGlyphIndex
    w.u16(uint16_t(n ? n - 1 : 0));   // endGlyphIndex
    w.u8(S);                          // ppemX
    w.u8(S);                          // ppemY
    w.u8(1);                          // bitDepth
    w.u8(0x01);                       // flags: horizontal metrics
    arrayAt += tablesSize;
  }

  // Second pass: per strike, its index subtable array, then the subtables.
  // imageDataOffset runs on across strikes, as EBDT lays the images out.
  uint32_t imageDataOffset = 4;  // just after EBDT's version
  for (uint32_t s = 0; s < k; ++s) {
    const uint8_t S = src.pt[s];
    const uint32_t B = uint32_t(bitmap_bytes(S));
    uint32_t r = 0;
    for_each_run(src, int(s), [&](size_t i, size_t j) {
      w.u16(uint16_t(i));                                   // firstGlyphIndex
      w.u16(uint16_t(j));                                   // lastGlyphIndex
      w.u32(kArrayEntry * R[s] + kSubtable * r);            // additionalOffsetToIndexSubtable
      ++r;
    });
    for_each_run(src, int(s), [&](size_t i, size_t j) {
      w.u16(2);                  // indexFormat
      w.u16(5);                  // imageFormat: bit-aligned, metrics here
      w.u32(imageDataOffset);    // imageDataOffset
      w.u32(B);                  // imageSize
      w.u8(S);                   // height
      w.u8(S);                   // width
      w.u8(0);                   // horiBearingX
      w.u8(uint8_t(S - 2));      // horiBearingY
      w.u8(S);                   // horiAdvance
      w.u8(0);                   // vertBearingX
      w.u8(0);                   // vertBearingY
      w.u8(S);                   // vertAdvance
      imageDataOffset += uint32_t(j - i + 1) * B;
    });
  }
  assert(w.size() - start == 8 + kSizeRecord * k + (kArrayEntry + kSubtable) * allruns);
}
