// SPDX-License-Identifier: MIT
// Writes pxg bitmap-font files: MacBinary, with the bitmap blocks in the
// resource fork, laid out like a Macintosh resource fork (a 16-byte header,
// the data area of [length][data] entries, then the resource map).
#pragma once
#include <cstdint>
#include <string>
#include <vector>

// Codes first .. first + count - 1 of one block.
struct pxgrange {
  uint16_t first = 0;
  uint16_t count = 0;
};

struct pxgblock {
  uint8_t size = 16;            // pixel size S
  bool datafork = false;        // bitmaps in the data fork instead of after the range list
  std::vector<pxgrange> ranges; // at most 255
  std::vector<uint8_t> bits;    // one (S*S+7)/8-byte bitmap per code, in range order
  std::string name;             // resource name in the map (none when empty)
};

struct pxgfile {
  std::vector<pxgblock> blocks;
  bool others = true;  // a version and string resources around the blocks, as real files have
  bool map = true;     // a resource map after the data area
};

// The whole file. Throws std::runtime_error when a block cannot be
// expressed: more than 255 ranges, bits of the wrong length, or data-fork
// bitmaps that would start at position 65,536 or later.
std::vector<uint8_t> build_pxg(const pxgfile& file);
