// Test support: builds pxg bitmap-font files (MacBinary, bitmap blocks in the
// resource fork) in memory or on disk. The resource fork is laid out like a
// Macintosh one: a 16-byte header, a data area of [length][data] entries
// (bitmap blocks and other resources), then a resource map. Also used by
// tools/bdf2pxg, so that the example font and the tests share one layout.
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
  std::vector<pxgrange> ranges;
  std::vector<uint8_t> bits;    // T bitmaps of (S*S+7)/8 bytes; empty: pxg_pattern of each code
  uint8_t flags = 0x21;         // must hold 0x20 to be seen as a bitmap block
  uint8_t salt = 0;             // varies the generated patterns between blocks
  std::string name;             // resource name in the map (none when empty)
};

struct pxgfile {
  std::vector<pxgblock> blocks;
  bool others = true;           // non-bitmap entries before, between and after the blocks
  bool map = true;              // a resource map after the data area
  uint32_t data_at = 256;       // fork position of the data area (header + reserved bytes)
  uint8_t reserved_fill = 0;    // the bytes between the fork header and the data area
  uint32_t datafork_lead = 20;  // bytes of the data fork before the first block's bitmaps
  bool map_header_copy = true;  // the map starts with a copy of the fork header (else zeros)
};

// A built file and where its parts landed, so that tests can damage them.
struct pxgimage {
  std::vector<uint8_t> bytes;
  uint64_t fork = 0;                 // file position F of the resource fork
  uint32_t forklen = 0;              // Lr
  std::vector<uint64_t> block_at;    // fork position D of each block's data
  std::vector<uint64_t> bits_at;     // file position of each block's bitmaps
  uint32_t map_at = 0;               // fork position of the map (forklen when none)
};

// A deterministic bitmap for code of size S, different for every code and
// salt, with ink in the first and last pixels so that a shifted copy shows.
std::vector<uint8_t> pxg_pattern(uint8_t size, uint32_t code, uint8_t salt = 0);

// Sum of the range counts of a block.
uint32_t pxg_count(const pxgblock& b);

// The bitmaps the block stores: b.bits, or the patterns of its codes in
// range order.
std::vector<uint8_t> pxg_bits(const pxgblock& b);

// Builds the whole file. Throws std::runtime_error when a block cannot be
// expressed (more than 255 ranges, a data-fork position of 65,536 or more,
// bits of the wrong length).
pxgimage build_pxg(const pxgfile& file);

// Writes bytes to path; throws std::runtime_error on failure.
void write_pxg(const std::string& path, const std::vector<uint8_t>& bytes);
