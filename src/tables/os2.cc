// SPDX-License-Identifier: MIT
// OS/2: Windows metrics and classification, version 1. Almost all of it is
// fixed by the design (1000-unit em, full-width cells, ascender 860,
// descender -140); the weight and vendor id come from the info-file.
#include <cassert>

#include "tables/tables.h"

void build_os2(fontctx& ctx, bewriter& w) {
  const runinfo& info = ctx.info;
  const size_t start = w.size();
  // Unsigned arithmetic: the weight is taken as it stands, any value, and
  // only the low bits of the results are kept.
  const uint32_t weight = uint32_t(info.weight);

  w.u16(1);                          // version
  w.i16(500);                        // xAvgCharWidth
  w.u16(uint16_t(weight * 100));     // usWeightClass
  w.u16(5);                          // usWidthClass: medium
  w.u16(4);                          // fsType: preview and print embedding
  w.i16(500);                        // ySubscriptXSize
  w.i16(500);                        // ySubscriptYSize
  w.i16(0);                          // ySubscriptXOffset
  w.i16(360);                        // ySubscriptYOffset
  w.i16(500);                        // ySuperscriptXSize
  w.i16(500);                        // ySuperscriptYSize
  w.i16(0);                          // ySuperscriptXOffset
  w.i16(430);                        // ySuperscriptYOffset
  w.i16(50);                         // yStrikeoutSize
  w.i16(400);                        // yStrikeoutPosition
  w.i16(0);                          // sFamilyClass: no classification
  w.u8(2);                           // panose.bFamilyType: Latin text
  w.u8(0);                           // panose.bSerifStyle
  w.u8(uint8_t(weight + 1));         // panose.bWeight
  w.u8(9);                           // panose.bProportion: monospaced
  w.zeros(6);                        // bContrast, bStrokeVariation, bArmStyle, bLetterForm, bMidline, bXHeight
  w.u32(0xFFFFFFFF);                 // ulUnicodeRange1
  w.u32(0xFFFFFFFF);                 // ulUnicodeRange2
  w.u32(0xFFFFFFFF);                 // ulUnicodeRange3
  w.u32(0xFFFFFFFF);                 // ulUnicodeRange4
  w.bytes(info.vendid, 4);           // achVendID, in file order
  w.u16(info.bold || info.italic ? uint16_t((info.italic ? 0x01 : 0) | (info.bold ? 0x20 : 0))
                                   : uint16_t(0x0040));  // fsSelection: italic, bold, or regular
  w.u16(1);                          // usFirstCharIndex
  w.u16(0xFFFE);                     // usLastCharIndex
  w.i16(860);                        // sTypoAscender
  w.i16(-140);                       // sTypoDescender
  w.i16(0);                          // sTypoLineGap
  w.u16(860);                        // usWinAscent
  w.u16(140);                        // usWinDescent
  w.u32(0xFFFFFFFF);                 // ulCodePageRange1
  w.u32(0xFFFFFFFF);                 // ulCodePageRange2
  w.pad4();                          // 86 bytes of fields, 2 of padding
  assert(w.size() - start == 88);
  (void)start;
}
