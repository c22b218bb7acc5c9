// SPDX-License-Identifier: MIT
// The Unicode value of one JIS cell, by the C library's (glibc's) iconv
// converters: EUC-JP for JIS X 0208 (plane 0) and JIS X 0212 (plane 1),
// EUC-JISX0213 for JIS X 0213 planes 1 and 2 (planes 0 and 1 here). Both
// spell row r, cell c of the first plane as the bytes r|0x80, c|0x80 and of
// the second as 0x8F, r|0x80, c|0x80. Shared by mkjisuni, which writes
// jis_uni.txt from it, and bdf2pxg, which warns about cells it leaves
// without a value.
#pragma once
#include <iconv.h>

#include <cstdint>

// What the converter gives for one cell: no character (n = 0), one code
// point, or two (a base letter and a combining mark).
struct jischar {
  int n = 0;
  uint32_t u[2] = {0, 0};
};

// The converter for one character set: "EUC-JP" or "EUC-JISX0213".
// Returns iconv_t(-1) when the C library lacks it.
inline iconv_t jisopen(bool x0213) { return iconv_open("UCS-4BE", x0213 ? "EUC-JISX0213" : "EUC-JP"); }

// Decodes plane (0 or 1), row and cell (0x21..0x7E each) with cd.
inline jischar jisdecode(iconv_t cd, int plane, int row, int cell) {
  unsigned char in[3];
  size_t n = 0;
  if (plane) in[n++] = 0x8F;
  in[n++] = uint8_t(row | 0x80);
  in[n++] = uint8_t(cell | 0x80);
  unsigned char out[16];
  char* ip = reinterpret_cast<char*>(in);
  char* op = reinterpret_cast<char*>(out);
  size_t il = n, ol = sizeof out;
  iconv(cd, nullptr, nullptr, nullptr, nullptr);  // a fresh state for every cell
  jischar c;
  if (iconv(cd, &ip, &il, &op, &ol) == size_t(-1) || il != 0) return c;
  if (iconv(cd, nullptr, nullptr, &op, &ol) == size_t(-1)) return c;  // flush anything held back
  const size_t got = sizeof out - ol;
  if (got != 4 && got != 8) return c;
  c.n = int(got / 4);
  for (int k = 0; k < c.n; ++k)
    c.u[k] = uint32_t(out[4 * k]) << 24 | uint32_t(out[4 * k + 1]) << 16 | uint32_t(out[4 * k + 2]) << 8 |
             out[4 * k + 3];
  return c;
}

// The value jis_uni.txt can hold for the cell: its one code point when that
// lies in the Basic Multilingual Plane, else 0 (no value).
inline uint32_t jisbmp(const jischar& c) { return c.n == 1 && c.u[0] <= 0xFFFF ? c.u[0] : 0; }
