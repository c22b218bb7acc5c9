// SPDX-License-Identifier: MIT
// head: the font header. A constant cell box and em; the checksum
// adjustment is left 0 here and patched once the whole file is written.
#include "tables/tables.h"

void build_head(fontctx& ctx, bewriter& w) {
  w.u32(0x00010000);  // version 1.0
  w.u32(0);           // fontRevision
  w.u32(0);           // checkSumAdjustment, patched later
  w.u32(0x5F0F3CF5);  // magicNumber
  w.u16(1);           // flags: baseline at y = 0
  w.u16(1000);        // unitsPerEm
  w.u64(0);           // created
  w.u64(0);           // modified
  w.i16(0);           // xMin
  w.i16(-140);        // yMin
  w.i16(999);         // xMax
  w.i16(859);         // yMax
  w.u16(uint16_t((ctx.info.bold ? 1 : 0) | (ctx.info.italic ? 2 : 0)));  // macStyle: bold, italic
  w.u16(6);           // lowestRecPPEM
  w.i16(1);           // fontDirectionHint
  w.i16(1);           // indexToLocFormat: 32-bit loca offsets
  w.i16(0);           // glyphDataFormat
  w.u16(0);           // padding to 56 bytes
}
