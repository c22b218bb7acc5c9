// SPDX-License-Identifier: MIT
// post: version 3.0, no glyph names.
#include "tables/tables.h"

void build_post(fontctx&, bewriter& w) {
  w.u32(0x00030000);  // version 3.0
  w.u32(0x00140000);  // italicAngle 20.0
  w.i16(-100);        // underlinePosition
  w.i16(30);          // underlineThickness
  w.u32(0);           // isFixedPitch
  w.u32(0);           // minMemType42
  w.u32(0);           // maxMemType42
  w.u32(0);           // minMemType1
  w.u32(0);           // maxMemType1
}
