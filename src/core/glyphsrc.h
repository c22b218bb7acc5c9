// SPDX-License-Identifier: MIT
// The glyph source that every front end fills: the JIS-to-Unicode transfer
// table, the strikes of bitmaps, and the glyph list built from them.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

constexpr int kJisCells = 17672;          // 2 planes x 94 rows x 94 cells
constexpr int kMaxStrikes = 6;
constexpr size_t kSlotBytes = 0x200000;   // one strike's share of the store
constexpr size_t kStoreBytes = 0xC00000;  // six slots
constexpr uint16_t kNoBitmap = 0xFFFF;

// Bytes of one S x S bitmap: S rows of S bits, one continuous MSB-first stream.
constexpr size_t bitmap_bytes(unsigned s) { return (size_t(s) * s + 7) / 8; }

// One glyph of the font: its Unicode value and the length of its outline
// in glyf. A glyph's id is its index in the glyph list.
struct GLYPH {
  uint16_t code;
  uint32_t len;
};

using m2u_table = std::array<uint16_t, kJisCells>;

// Everything the glyph source fills once and the table builders read.
// Large (about 800 KiB without the store): allocate it on the heap.
struct glyphsrc {
  m2u_table m2u{};                  // linear JIS index -> Unicode, 0 = undefined
  uint8_t pt[kMaxStrikes] = {};     // pixel size of each strike, largest first
  uint16_t bchrs[kMaxStrikes] = {}; // bitmaps numbered in each strike
  uint32_t used[kMaxStrikes] = {};  // bitmaps of each strike's blocks so far, undefined codes' included
  std::array<std::array<uint16_t, 65536>, kMaxStrikes> uni2bno;  // Unicode -> bitmap number
  uint8_t nstrikes = 0;             // strikes in use
  std::unique_ptr<uint8_t[]> store; // strike store: slot s at slot_at[s]
  // Where each strike's slot starts: s * kSlotBytes in a store of
  // kStoreBytes, as the pxg reader fills it; a front end that knows every
  // strike's count first may pack the slots into a store of their size.
  std::array<size_t, kMaxStrikes> slot_at{0, kSlotBytes, 2 * kSlotBytes, 3 * kSlotBytes, 4 * kSlotBytes,
                                          5 * kSlotBytes};
  std::vector<GLYPH> glyphs;        // the glyph list, glyph 0 first, ascending code

  // Outlines a front end traced ahead, in the finished form (bdf2ttf, while
  // a core would wait for its reads): per strike and bitmap number, where
  // the glyph's bytes start in ahead_bytes and its length (0 when not
  // traced), which the glyf table takes instead of tracing the bitmap.
  struct ahead {
    uint32_t at = 0, len = 0;
    uint16_t points = 0, contours = 0;
  };
  std::array<std::vector<ahead>, kMaxStrikes> traced_ahead;
  std::vector<uint8_t> ahead_bytes;

  // Bitmap number k of strike s in the store.
  const uint8_t* bitmap(int s, unsigned k) const {
    return store.get() + slot_at[size_t(s)] + size_t(k) * bitmap_bytes(pt[s]);
  }
};

// Loads "jis_uni.txt"-format text from path into m2u (cleared first) and
// returns the number of mapping lines read (low 16 bits). Prints the count
// line of the file's first line. Ends the run if the file cannot be opened.
uint16_t setxfertbl(const char* path, m2u_table& m2u);

// Builds src.glyphs: glyph 0, then one glyph per Unicode value that any
// strike in use holds, in ascending code order. Prints nothing.
void build_glyph_list(glyphsrc& src);

// Sorts list[first..last] (inclusive) by ascending code.
void sort_glyph(GLYPH* list, int32_t first, int32_t last);
