// SPDX-License-Identifier: MIT
// The glyph list fixes which glyphs the font holds and their ids.
#include <algorithm>
#include <cstring>

#include "core/glyphsrc.h"

void build_glyph_list(glyphsrc& src) {
  size_t room = 1;
  for (int s = 0; s < src.nstrikes; ++s) room += src.bchrs[s] + 1u;
  src.glyphs.clear();
  src.glyphs.reserve(room);
  src.glyphs.push_back(GLYPH{0, 0});  // the fallback glyph
  // 64 codes at a time: first whether any strike holds each (plain loops
  // over the maps, which the compiler turns into vector compares), then the
  // codes that are held, gathered without a branch per code. Most blocks
  // hold nothing and are skipped whole.
  constexpr unsigned kBlock = 64;
  for (uint32_t u = 0; u < 65536; u += kBlock) {
    uint8_t held[kBlock] = {};
    for (int s = 0; s < src.nstrikes; ++s) {
      const uint16_t* map = src.uni2bno[size_t(s)].data() + u;
      for (unsigned k = 0; k < kBlock; ++k) held[k] |= map[k] != kNoBitmap;
    }
    if (u == 0) held[0] = 0;  // code 0 is the fallback glyph's already
    uint64_t any = 0;
    for (unsigned k = 0; k < kBlock; k += 8) {
      uint64_t eight;
      std::memcpy(&eight, held + k, sizeof eight);
      any |= eight;
    }
    if (any == 0) continue;
    uint16_t codes[kBlock];
    unsigned m = 0;
    for (unsigned k = 0; k < kBlock; ++k) {
      codes[m] = uint16_t(u + k);
      m += held[k];
    }
    for (unsigned k = 0; k < m; ++k) src.glyphs.push_back(GLYPH{codes[k], 0});
  }
}

// The list is built in code order already; a stable sort by code keeps
// that order and, for equal codes, the earlier record first.
void sort_glyph(GLYPH* list, int32_t first, int32_t last) {
  if (first >= last) return;
  auto by_code = [](const GLYPH& a, const GLYPH& b) { return a.code < b.code; };
  if (std::is_sorted(list + first, list + last + 1, by_code)) return;  // as build_glyph_list leaves it
  std::stable_sort(list + first, list + last + 1, by_code);
}
