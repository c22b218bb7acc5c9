// SPDX-License-Identifier: MIT
// jistable: writes the C++ source of the JIS-to-Unicode tables built into
// the commands (src/bdf/jisbuiltin.cc), decoded from the C library's
// EUC-JP and EUC-JISX0213 converters as mkjisuni decodes them. Run by the
// build; not installed.
//
// usage: jistable OUTPUT
#include <cstdio>

#include "bdf/bdf.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: jistable OUTPUT\n");
    return 2;
  }
  convtable t[2];
  try {
    for (int x0213 = 0; x0213 < 2; ++x0213) t[x0213] = table_of_cells(x0213, decode_cells(x0213));
  } catch (const fonterror& e) {
    std::fprintf(stderr, "jistable: %s\n", e.what());
    return 1;
  }
  std::FILE* out = std::fopen(argv[1], "w");
  if (!out) {
    std::perror(argv[1]);
    return 1;
  }
  std::fprintf(out, "// Made by tools/jistable from the C library's converters when the commands\n"
                    "// were built: [0] EUC-JP, [1] EUC-JISX0213.\n#include <cstdint>\n\n");
  std::fprintf(out, "extern const uint16_t kJisM2u[2][%d] = {\n", kJisCells);
  for (const convtable& c : t) {
    std::fprintf(out, "{");
    for (size_t k = 0; k < c.m2u.size(); ++k) std::fprintf(out, "%s%u,", k % 16 ? "" : "\n", unsigned(c.m2u[k]));
    std::fprintf(out, "},\n");
  }
  std::fprintf(out, "};\n\nextern const uint8_t kJisWhy[2][%d] = {\n", kJisCells);
  for (const convtable& c : t) {
    std::fprintf(out, "{");
    for (size_t k = 0; k < c.reason.size(); ++k) std::fprintf(out, "%s%u,", k % 32 ? "" : "\n", unsigned(c.reason[k]));
    std::fprintf(out, "},\n");
  }
  std::fprintf(out, "};\n");
  return std::fclose(out) == 0 ? 0 : 1;
}
