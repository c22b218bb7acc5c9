// The glyph list fixes which glyphs the font holds and their ids.
#include <algorithm>
#include <cstring>

#include "source/source.h"

void build_glyph_list(glyphsrc& src) {
  size_t room = 1;
  for (int s = 0; s < src.nstrikes; ++s) room += src.bchrs[s] + 1u;
  src.glyphs.clear();
  src.glyphs.reserve(room);
  src.glyphs.push_back(GLYPH{0, 0});  // the fallback glyph
  for (uint32_t u = 1; u < 65536; ++u) {
    // Most codes are in no strike: skip them four at a time, where every
    // strike's map holds 0xFFFF in all four.
    static_assert(kNoBitmap == 0xFFFF);
    if (u % 4 == 0) {
      uint64_t none = ~uint64_t(0);
      for (int s = 0; s < src.nstrikes; ++s) {
        uint64_t four;
        std::memcpy(&four, &src.uni2bno[s][u], sizeof four);
        none &= four;
      }
      if (none == ~uint64_t(0)) {
        u += 3;
        continue;
      }
    }
    for (int s = 0; s < src.nstrikes; ++s) {
      if (src.uni2bno[s][u] != kNoBitmap) {
        src.glyphs.push_back(GLYPH{uint16_t(u), 0});
        break;
      }
    }
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
