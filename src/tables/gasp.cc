// SPDX-License-Identifier: MIT
// gasp: how the rasterizer treats each size. Up to the largest bitmap size
// the embedded bitmaps show, so outlines there are only grey-scaled; up to
// twice that they are grid-fitted; above, both.
#include "tables/tables.h"

void build_gasp(fontctx& ctx, bewriter& w) {
  const glyphsrc& src = ctx.src;
  const uint16_t S = src.nstrikes ? src.pt[0] : 0;  // strikes are largest first
  w.u16(0);  // version
  if (S == 0) {
    // No strike: ranges (0, 2), (0, 1) would not rise strictly, so one
    // range covers every size.
    w.u16(1);       // numRanges
    w.u16(0xFFFF);  // rangeMaxPPEM
    w.u16(3);       // rangeGaspBehavior: grid-fit and grey-scale
    return;
  }
  w.u16(3);              // numRanges
  w.u16(S);              // rangeMaxPPEM
  w.u16(2);              // rangeGaspBehavior: grey-scale only
  w.u16(uint16_t(2 * S));// rangeMaxPPEM
  w.u16(1);              // rangeGaspBehavior: grid-fit only
  w.u16(0xFFFF);         // rangeMaxPPEM
  w.u16(3);              // rangeGaspBehavior: grid-fit and grey-scale
}
