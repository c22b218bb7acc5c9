// SPDX-License-Identifier: MIT
// maxp: the maximum profile, version 1.0. The outline maxima come from the
// glyf build, which runs before this table.
#include "tables/tables.h"

void build_maxp(fontctx& ctx, bewriter& w) {
  w.u32(0x00010000);                        // version 1.0
  w.u16(uint16_t(ctx.src.glyphs.size()));  // numGlyphs
  w.u16(ctx.maxPoints);                     // maxPoints
  w.u16(ctx.maxContours);                   // maxContours
  w.u16(0);                                 // maxCompositePoints
  w.u16(0);                                 // maxCompositeContours
  w.u16(1);                                 // maxZones
  w.u16(0);                                 // maxTwilightPoints
  w.u16(0);                                 // maxStorage
  w.u16(0);                                 // maxFunctionDefs
  w.u16(0);                                 // maxInstructionDefs
  w.u16(0);                                 // maxStackElements
  w.u16(0);                                 // maxSizeOfInstructions
  w.u16(0);                                 // maxComponentElements
  w.u16(0);                                 // maxComponentDepth
}
