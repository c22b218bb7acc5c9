// SPDX-License-Identifier: MIT
// What the finishing pass reads out of a font and shares between its parts.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "base/bereader.h"
#include "base/bewriter.h"

// One table of the input: its bytes as the directory gives them.
struct fintable {
  uint32_t tag = 0;
  const uint8_t* d = nullptr;
  size_t n = 0;
  const char* broken = "";  // "broken TAG table"
  uint32_t sum = 0;         // its checksum, as the directory gives it

  bereader reader() const { return bereader{d, n, broken, true}; }
};

// A glyph's box from its points; ink is false for a glyph with no contours,
// which has no box and counts in no extent.
struct finbox {
  int16_t xMin = 0, yMin = 0, xMax = 0, yMax = 0;
  bool ink = false;
};

struct finfont {
  uint16_t numGlyphs = 0;
  std::vector<uint16_t> advance;  // per glyph, from hmtx
  std::vector<finbox> box;        // per glyph, from glyf
  finbox all;                     // the union of the inked boxes
  std::vector<uint16_t> cmap;     // code (0..0xFFFF) to glyph id, 0 for unmapped
  bool italic = false;            // the subfamily name says Italic or Oblique
};

// Throws read_error: the font is not one the pass can finish.
[[noreturn]] inline void refuse(const char* why) { throw read_error{why}; }

// The finished OS/2 table (version 4) from the input's and the font's own
// characters, advances and boxes.
void finish_os2(const finfont& f, const fintable& os2, bewriter& w);
