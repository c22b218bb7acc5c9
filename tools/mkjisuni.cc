// SPDX-License-Identifier: MIT
// mkjisuni: writes a jis_uni.txt transfer table built from the C library's
// converters (decode_cells in src/bdf).
//
// usage: mkjisuni [--jisx0213] [-0] [-v] [output]
//   (default)    JIS X 0208 as plane 0 and JIS X 0212 as plane 1, from EUC-JP
//   --jisx0213   JIS X 0213 plane 1 as plane 0 and plane 2 as plane 1, from
//                EUC-JISX0213
//   -0           plane 0 only
//   -v           list every cell left out (beyond the BMP, two code points)
//   output       default: standard output
//
// jis_uni.txt holds one 16-bit value per cell, so a cell whose character
// lies beyond the Basic Multilingual Plane, or that is a base letter plus a
// combining mark, is left out. A summary (and with -v the cells) goes to
// standard error.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bdf/bdf.h"

int main(int argc, char** argv) {
  bool plane1 = true, x0213 = false, verbose = false;
  const char* path = nullptr;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "-0") == 0)
      plane1 = false;
    else if (std::strcmp(argv[i], "--jisx0213") == 0)
      x0213 = true;
    else if (std::strcmp(argv[i], "-v") == 0)
      verbose = true;
    else if (!path && (argv[i][0] != '-' || argv[i][1] == '\0'))
      path = argv[i];
    else {
      std::fprintf(stderr, "usage: mkjisuni [--jisx0213] [-0] [-v] [output]\n");
      return 2;
    }
  }
  if (path && std::strcmp(path, "-") == 0) path = nullptr;

  const char* from = x0213 ? "EUC-JISX0213" : "EUC-JP";
  std::vector<jischar> cells;
  try {
    cells = decode_cells(x0213);
  } catch (const fonterror& e) {
    std::fprintf(stderr, "mkjisuni: %s\n", e.what());
    return 1;
  }
  std::vector<std::string> lines;
  int mapped[2] = {0, 0}, beyond = 0, pairs = 0;
  for (int plane = 0; plane <= (plane1 ? 1 : 0); ++plane)
    for (int row = 0x21; row <= 0x7E; ++row)
      for (int cell = 0x21; cell <= 0x7E; ++cell) {
        const jischar& c = cells[size_t(plane * 8836 + (row - 0x21) * 94 + cell - 0x21)];
        const uint32_t u = jisbmp(c);
        if (u) {
          char line[32];
          std::snprintf(line, sizeof line, "%x %x\n", plane << 16 | row << 8 | cell, unsigned(u));
          lines.emplace_back(line);
          ++mapped[plane];
          continue;
        }
        if (c.n == 0) continue;
        (c.n == 2 ? pairs : beyond)++;
        if (verbose) {
          // The code as jis_uni.txt spells it, then as plane-row-cell in
          // decimal, the way JIS X 0213 numbers its cells.
          std::fprintf(stderr, "mkjisuni: left out %x (%d-%d-%d): U+%04X", plane << 16 | row << 8 | cell, plane + 1,
                       row - 0x20, cell - 0x20, unsigned(c.u[0]));
          if (c.n == 2)
            std::fprintf(stderr, " U+%04X, two code points\n", unsigned(c.u[1]));
          else
            std::fprintf(stderr, ", beyond the BMP\n");
        }
      }

  std::FILE* out = path ? std::fopen(path, "w") : stdout;
  if (!out) {
    std::fprintf(stderr, "mkjisuni: cannot create %s\n", path);
    return 1;
  }
  std::fprintf(out, "%zu\n", lines.size());
  for (const auto& l : lines) std::fputs(l.c_str(), out);
  if (std::fflush(out) != 0 || (path && std::fclose(out) != 0)) {
    std::fprintf(stderr, "mkjisuni: write error\n");
    return 1;
  }

  if (x0213)
    std::fprintf(stderr, "mkjisuni: JIS X 0213 from %s: %zu cells (plane 0 = JIS X 0213 plane 1: %d", from,
                 lines.size(), mapped[0]);
  else
    std::fprintf(stderr, "mkjisuni: JIS X 0208 and 0212 from %s: %zu cells (plane 0 = JIS X 0208: %d", from,
                 lines.size(), mapped[0]);
  if (plane1) std::fprintf(stderr, x0213 ? "; plane 1 = plane 2: %d" : "; plane 1 = JIS X 0212: %d", mapped[1]);
  std::fprintf(stderr, ")\n");
  if (beyond || pairs)
    std::fprintf(stderr, "mkjisuni: left out %d cells beyond the BMP and %d that map to two code points%s\n",
                 beyond, pairs, verbose ? "" : " (-v lists them)");
  return 0;
}
