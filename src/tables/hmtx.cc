// SPDX-License-Identifier: MIT
// hmtx: one longHorMetric per glyph. Every glyph is full-width, so each
// entry is the em (1000) and a zero left side bearing; hhea's
// numberOfHMetrics is the glyph count, so no bare bearings follow.
#include "tables/tables.h"

void build_hmtx(fontctx& ctx, bewriter& w) {
  const size_t n = ctx.src.glyphs.size();
  w.reserve(w.size() + 4 * n);
  for (size_t g = 0; g < n; ++g) {
    w.u16(1000);  // advanceWidth
    w.i16(0);     // lsb
  }
}
