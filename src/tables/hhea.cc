// SPDX-License-Identifier: MIT
// hhea: the horizontal header. Every glyph is full-width (1000 units) and
// has its own metric record.
#include "tables/tables.h"

void build_hhea(fontctx& ctx, bewriter& w) {
  w.u32(0x00010000);  // version 1.0
  w.i16(860);         // ascender
  w.i16(-140);        // descender
  w.i16(0);           // lineGap
  w.u16(1000);        // advanceWidthMax
  w.i16(0);           // minLeftSideBearing
  w.i16(0);           // minRightSideBearing
  w.i16(1000);        // xMaxExtent
  w.i16(1);           // caretSlopeRise
  w.i16(0);           // caretSlopeRun
  w.i16(0);           // caretOffset
  w.zeros(8);         // reserved
  w.i16(0);           // metricDataFormat
  w.u16(uint16_t(ctx.src.glyphs.size()));  // numberOfHMetrics
}
