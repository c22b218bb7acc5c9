// SPDX-License-Identifier: MIT
// name: the font's 32 name strings, eight name IDs (0 copyright .. 7
// trademark) in each of four platform/encoding/language groups.
#include <cstdio>
#include <cstring>

#include "tables/tables.h"
#include "tables/textconv.h"

namespace {

struct namegroup {
  uint16_t platformID, encodingID, languageID;
};

// In the order the records must be sorted: platform, encoding, language.
constexpr namegroup kGroups[4] = {
    {1, 0, 0},      // Macintosh, Roman, English: info bytes as they are
    {1, 1, 11},     // Macintosh, Japanese, Japanese: Shift-JIS
    {3, 1, 0x409},  // Windows, Unicode BMP, English (US): UTF-16BE
    {3, 1, 0x411},  // Windows, Unicode BMP, Japanese: UTF-16BE
};

constexpr int kSlots = 32;
constexpr int kSjisFirst = 8;  // slots 8..15, the Macintosh Japanese group, go to Shift-JIS
constexpr int32_t kMaxString = 255;    // a converted string fills at most 255 of its 256 bytes
constexpr char kSubstitute = 0x1A;

// Converts namestr slot k into out[k] and records its length.
void convert_slot(textconv& tc, uint32_t conversion, const runinfo& info, int k, char (&out)[kSlots][256],
                  int32_t (&len)[kSlots], int32_t& state) {
  int32_t srcLen = int32_t(strnlen(info.namestr[k], kMaxString));
  int32_t dstLen = kMaxString;
  convert_from_utf8(tc, conversion, info.namestr[k], srcLen, out[k], dstLen, state, kSubstitute);
  len[k] = dstLen;
  if (state != 0) say(info, "textconv_err : stt=%x\n", unsigned(state));
}

}  // namespace

bool sjis_names_ascii(const runinfo& info) {
  if ((info.name_groups >> 1 & 1) == 0) return true;  // no Macintosh Japanese records to write
  for (int k = kSjisFirst; k < kSjisFirst + 8; ++k)
    for (size_t i = 0, n = strnlen(info.namestr[k], kMaxString); i < n; ++i)
      if (uint8_t(info.namestr[k][i]) >= 0x80) return false;
  return true;
}

void build_name(fontctx& ctx, bewriter& w) {
  const runinfo& info = ctx.info;
  char out[kSlots][256];
  int32_t len[kSlots];
  int32_t state = 0;  // one shift state for the whole table, never reset
  textconv& tc = ctx.names;

  for (int k = 0; k < 8; ++k) {
    len[k] = int32_t(strnlen(info.namestr[k], kMaxString));  // group 0: copied byte for byte
    std::memcpy(out[k], info.namestr[k], size_t(len[k]));
    convert_slot(tc, kConvShiftJIS, info, kSjisFirst + k, out, len, state);
    convert_slot(tc, kConvUnicode, info, 16 + k, out, len, state);
    convert_slot(tc, kConvUnicode, info, 24 + k, out, len, state);
  }

  // The records of the groups written: all four, unless a command leaves
  // out a Macintosh group whose encoding cannot hold its names.
  auto written = [&info](int r) { return (info.name_groups >> (r / 8) & 1) != 0; };
  uint16_t count = 0;
  uint32_t total = 0;
  for (int r = 0; r < kSlots; ++r)
    if (written(r)) ++count, total += uint32_t(len[r]);
  const uint16_t stringOffset = uint16_t(6 + count * 12);
  w.reserve(w.size() + ((stringOffset + total + 3) & ~3u));

  w.u16(0);             // format
  w.u16(count);         // count
  w.u16(stringOffset);  // stringOffset
  uint16_t offset = 0;
  for (int r = 0; r < kSlots; ++r) {
    if (!written(r)) continue;
    const namegroup& g = kGroups[r / 8];
    w.u16(g.platformID);    // platformID
    w.u16(g.encodingID);    // encodingID
    w.u16(g.languageID);    // languageID
    w.u16(uint16_t(r % 8)); // nameID
    w.u16(uint16_t(len[r]));// length
    w.u16(offset);          // offset into string storage
    offset = uint16_t(offset + len[r]);
  }
  for (int r = 0; r < kSlots; ++r)
    if (written(r)) w.bytes(out[r], size_t(len[r]));
  w.pad4();
}
