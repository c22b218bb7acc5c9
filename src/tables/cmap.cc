// SPDX-License-Identifier: MIT
// cmap: the character map. A byte-indexed subtable for the Macintosh
// platform (indexed by Unicode value, not Mac Roman) and a segment-mapping
// subtable for Windows Unicode, both derived from the sorted glyph list.
#include "tables/tables.h"

uint32_t cmap_segcount(const std::vector<GLYPH>& glyphs) {
  uint32_t runs = 0;
  for (size_t g = 1; g < glyphs.size(); ++g)
    if (g == 1 || glyphs[g].code != uint32_t(glyphs[g - 1].code) + 1) ++runs;
  return runs + 1;  // and the closing 0xFFFF segment
}

namespace {

constexpr uint32_t kFormat0At = 20;                 // after the header and two encoding records
constexpr uint32_t kFormat4At = kFormat0At + 262;  // 282

// Calls f(first glyph, last glyph) for each run of glyphs whose codes rise
// by one from glyph to glyph, glyph 0 left out: one format-4 segment each.
template <class F>
void for_each_run(const std::vector<GLYPH>& glyphs, F f) {
  const size_t n = glyphs.size();
  size_t g = 1;
  while (g < n) {
    size_t j = g;
    while (j + 1 < n && glyphs[j + 1].code == uint32_t(glyphs[j].code) + 1) ++j;
    f(g, j);
    g = j + 1;
  }
}

}  // namespace

void build_cmap(fontctx& ctx, bewriter& w) {
  const std::vector<GLYPH>& glyphs = ctx.src.glyphs;
  const size_t n = glyphs.size();
  const uint32_t segCount = cmap_segcount(glyphs);
  w.reserve(w.size() + 300 + 8 * size_t(segCount));

  w.u16(0);           // version
  w.u16(2);           // numTables
  w.u16(1);           // platformID: Macintosh
  w.u16(0);           // encodingID: Roman
  w.u32(kFormat0At);  // offset
  w.u16(3);           // platformID: Windows
  w.u16(1);           // encodingID: Unicode BMP
  w.u32(kFormat4At);  // offset

  // Format 0: byte b maps to the glyph whose code is b. The list is sorted,
  // so those glyphs lead it.
  uint8_t glyphIdArray[256] = {};
  for (size_t g = 1; g < n && glyphs[g].code <= 0xFF; ++g) glyphIdArray[glyphs[g].code] = uint8_t(g);
  w.u16(0);    // format
  w.u16(262);  // length
  w.u16(0);    // language
  w.bytes(glyphIdArray, sizeof glyphIdArray);

  // Format 4. Its length counts the one glyphIdArray word at its end; past
  // 8189 segments only the low 16 bits fit (the driver refuses such fonts).
  const binsearch bs = binsearch_for(segCount);
  const uint16_t searchRange = uint16_t(2 * bs.pow2);
  w.u16(4);                                      // format
  w.u16(uint16_t(18 + 8 * segCount));            // length
  w.u16(0);                                      // language
  w.u16(uint16_t(2 * segCount));                 // segCountX2
  w.u16(searchRange);                            // searchRange
  w.u16(bs.log2);                                // entrySelector
  w.u16(uint16_t(2 * segCount - searchRange));   // rangeShift
  for_each_run(glyphs, [&](size_t, size_t last) { w.u16(glyphs[last].code); });
  w.u16(0xFFFF);  // endCode of the closing segment
  w.u16(0);       // reservedPad
  for_each_run(glyphs, [&](size_t first, size_t) { w.u16(glyphs[first].code); });
  w.u16(0xFFFF);  // startCode of the closing segment
  // idDelta: code + idDelta is the glyph id, modulo 65536, along the whole run.
  for_each_run(glyphs, [&](size_t first, size_t) { w.u16(uint16_t(first - glyphs[first].code)); });
  w.u16(1);  // idDelta of the closing segment: 0xFFFF maps to glyph 0
  w.zeros(2 * size_t(segCount));  // idRangeOffset, 0 for every segment
  w.u16(0);                       // glyphIdArray[0]
}
