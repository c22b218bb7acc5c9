// SPDX-License-Identifier: MIT
// The JIS character sets of X fonts and the cell rule: which plane a font's
// glyphs go to, and where each glyph's pixels land in its square cell.
#include <algorithm>
#include <array>
#include <bit>
#include <cstdio>
#include <cstring>

#include "bdf/bdf.h"

namespace {

std::string lower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
  return s;
}

bool jiscell(long enc) {
  const long r = enc >> 8 & 0xFF, c = enc & 0xFF;
  return enc >= 0 && enc <= 0xFFFF && r >= 0x21 && r <= 0x7E && c >= 0x21 && c <= 0x7E;
}

// floor(a / 2) for any sign.
long half_down(long a) { return a >= 0 ? a / 2 : -((-a + 1) / 2); }

// Set bits of each byte value.
constexpr auto kBitCount = [] {
  std::array<uint8_t, 256> t{};
  for (int v = 0; v < 256; ++v) t[size_t(v)] = uint8_t(std::popcount(unsigned(v)));
  return t;
}();

// Up to 64 bits at src (MSB first), n of them (1..64), in the top of a
// word; eight bytes are read at once where src_end allows.
uint64_t row_word(const uint8_t* src, const uint8_t* src_end, size_t n) {
  uint64_t x = 0;
  if (src_end - src >= 8) {
    std::memcpy(&x, src, 8);
    if constexpr (std::endian::native == std::endian::little) x = __builtin_bswap64(x);
  } else {
    for (ptrdiff_t i = 0; i < src_end - src; ++i) x |= uint64_t(src[i]) << (56 - 8 * i);
  }
  return n >= 64 ? x : x & ~(~uint64_t(0) >> n);
}

// ORs the bits of x (from the top) into the cell's words at bit position
// at; the cell has a word to spare past its last bit.
void or_bits(uint64_t* cell, size_t at, uint64_t x) {
  const unsigned sh = unsigned(at % 64);
  cell[at / 64] |= x >> sh;
  if (sh) cell[at / 64 + 1] |= x << (64 - sh);
}

}  // namespace

const char* setname(charset cs) {
  switch (cs) {
    case charset::x0208: return "JIS X 0208";
    case charset::x0208_1978: return "JIS C 6226-1978 (JIS X 0208 of 1978)";
    case charset::x0212: return "JIS X 0212";
    case charset::x0213: return "JIS X 0213";
    default: return "set by --plane";
  }
}

charset identify(const fontin& f, int& plane) {
  const std::string r = lower(f.registry), e = lower(f.encoding);
  plane = -1;
  if (r == "jisc6226.1978" || r == "jisx0208.1978") return plane = 0, charset::x0208_1978;
  if (r.rfind("jisx0208", 0) == 0) return plane = 0, charset::x0208;
  if (r.rfind("jisx0212", 0) == 0) return plane = 1, charset::x0212;
  if ((r == "jisx0213.2000" || r == "jisx0213.2004") && e == "1") return plane = 0, charset::x0213;
  if (r == "jisx0213.2000" && e == "2") return plane = 1, charset::x0213;
  return charset::unknown;
}

// JIS X 0208 of 1983 swapped 22 pairs of kanji and moved 4 to new cells in
// row 0x74 (the old cells got simpler forms). A font in the 1978 order has
// each of these glyphs at the other cell; its code becomes the cell where
// later tables (and jis_uni.txt) keep that character.
long renumber_1978(long code) {
  static const long swaps[][2] = {
      {0x3033, 0x724D}, {0x3229, 0x7274}, {0x3342, 0x695A}, {0x3349, 0x5978}, {0x3376, 0x635E},
      {0x3443, 0x5E75}, {0x3452, 0x6B5D}, {0x375B, 0x7074}, {0x395C, 0x6268}, {0x3C49, 0x6922},
      {0x3F59, 0x7057}, {0x4128, 0x6C4D}, {0x445B, 0x5464}, {0x4557, 0x626A}, {0x456E, 0x5B6D},
      {0x4573, 0x5E39}, {0x4676, 0x6D6E}, {0x4768, 0x6A24}, {0x4930, 0x5B58}, {0x4B79, 0x5056},
      {0x4C79, 0x692E}, {0x4F36, 0x6446}};
  static const long moves[][2] = {{0x3646, 0x7421}, {0x4B6A, 0x7422}, {0x4D5A, 0x7423}, {0x6076, 0x7424}};
  for (const auto& s : swaps) {
    if (code == s[0]) return s[1];
    if (code == s[1]) return s[0];
  }
  for (const auto& m : moves)
    if (code == m[0]) return m[1];
  return code;
}

cellrule cell_of(const fontin& in, charset cs, long forced) {
  cellrule c;
  c.H = in.ascent + in.descent;
  for (const fontglyph& g : in.glyphs) {
    if (!jiscell(g.enc)) continue;
    c.W = std::max(c.W, g.hasdw ? g.dw : g.xo + g.w);
    if (cs == charset::x0208_1978) c.renumbered += renumber_1978(g.enc) != g.enc;
  }
  c.S = forced ? forced : std::max(c.H, c.W);
  return c;
}

placed place(const fontin& in, charset cs, int plane, const cellrule& c, const uint16_t* m2u,
             const std::vector<why>& reason, bool drop) {
  placed f;
  f.path = in.path;
  f.cs = cs;
  f.plane = plane;
  f.size = int(c.S);
  f.slot.assign(size_t(kJisCells), -1);
  const long S = c.S;
  const long top = in.ascent + half_down(S - c.H);
  const long left = half_down(S - c.W);
  const size_t B = bitmap_bytes(unsigned(S));
  // The cell is built in 64-bit words, the first bit in the top bit of the
  // first word, and written out as bytes: rows of a cell lie a few bits
  // apart, and word writes to bytes that overlap the row before would stall.
  // A new glyph's cell goes straight to the end of f.bits, whole words at
  // a time (the room past the end takes what runs over).
  const size_t words = (B + 7) / 8;
  std::vector<uint64_t> cell(words + 1);
  std::vector<uint8_t> bits(words * 8);
  f.bits.resize(std::min(in.glyphs.size(), size_t(kJisCells)) * B + 8 * words);
  const uint8_t* const rows = in.rows();
  const uint8_t* const rows_end = rows + in.rows_size();

  for (const fontglyph& g : in.glyphs) {
    if (!jiscell(g.enc)) {
      ++f.skipped;
      continue;
    }
    const long code = cs == charset::x0208_1978 ? renumber_1978(g.enc) : g.enc;
    const size_t idx = size_t(plane * 8836 + ((code >> 8) - 0x21) * 94 + ((code & 0xFF) - 0x21));

    // Row by row: a row inside the cell is ORed in with a shift, 64 pixels
    // at a time; ink outside the cell is counted.
    std::fill(cell.begin(), cell.end(), 0);
    const size_t rowbytes = size_t(g.w + 7) / 8;
    const long col0 = left + g.xo;
    uint64_t any = 0;
    long outside = 0;
    const bool cols_inside = col0 >= 0 && col0 + g.w <= S;
    const long row0 = top - 1 - (g.yo + g.h - 1);  // the cell row of the glyph's first row
    const bool one_read = g.h == 0 || rows_end - (rows + g.at + size_t(g.h - 1) * g.stride) >= 8;
    const bool usual = cols_inside && g.w <= 64 && row0 >= 0 && row0 + g.h <= S && one_read;
    if (usual) {
      // The usual glyph: inside the cell, each row one 8-byte read.
      const uint64_t mask = g.w >= 64 ? ~uint64_t(0) : ~(~uint64_t(0) >> g.w);
      const uint8_t* src = rows + g.at;
      size_t at = size_t(row0 * S + col0);
      for (long i = 0; i < g.h; ++i, src += g.stride, at += size_t(S)) {
        uint64_t x;
        std::memcpy(&x, src, 8);
        if constexpr (std::endian::native == std::endian::little) x = __builtin_bswap64(x);
        x &= mask;
        any |= x;
        or_bits(cell.data(), at, x);
      }
    }
    for (long i = 0; i < (usual ? 0 : g.h); ++i) {  // any other glyph: row by row
      const uint8_t* src = rows + g.at + size_t(i) * g.stride;
      const long row = top - 1 - (g.yo + g.h - 1 - i);
      if (cols_inside && row >= 0 && row < S) {  // the whole row lands in the cell
        for (long k = 0; k < g.w; k += 64) {
          const uint64_t x = row_word(src + k / 8, rows_end, size_t(std::min<long>(64, g.w - k)));
          any |= x;
          or_bits(cell.data(), size_t(row * S + col0 + k), x);
        }
        continue;
      }
      long n = 0;
      for (size_t k = 0; k < rowbytes; ++k) n += kBitCount[src[k] & (long(8 * k + 8) > g.w ? uint8_t(0xFF00 >> (g.w - long(8 * k))) : 0xFF)];
      if (!n) continue;
      any = 1;
      if (row < 0 || row >= S) {
        outside += n;
        continue;
      }
      for (long j = 0; j < g.w; ++j) {  // partly outside: pixel by pixel
        if (!(src[j / 8] >> (7 - j % 8) & 1)) continue;
        const long col = col0 + j;
        if (col < 0 || col >= S) {
          ++outside;
          continue;
        }
        const size_t bit = size_t(row * S + col);
        cell[bit / 64] |= uint64_t(1) << (63 - bit % 64);
      }
    }
    const bool ink = any != 0;
    if (!m2u[idx]) {
      ++f.unmapped;
      ++f.unmappedwhy[int(reason[idx])];
      if (ink) ++f.unmappedink, f.unmappedrows.insert(int(code >> 8));
      if (drop) continue;  // left out
    }
    f.clipped += outside > 0;
    f.clippedpx += outside;
    const bool again = f.slot[idx] >= 0;
    f.twice += again;
    if (!again) f.slot[idx] = int32_t(f.count++);
    uint8_t* const to = again ? bits.data() : f.bits.data() + size_t(f.slot[idx]) * B;
    for (size_t w = 0; w < words; ++w) {
      uint64_t y = cell[w];
      if constexpr (std::endian::native == std::endian::little) y = __builtin_bswap64(y);
      std::memcpy(to + 8 * w, &y, 8);
    }
    if (again) std::memcpy(f.bits.data() + size_t(f.slot[idx]) * B, bits.data(), B);
  }
  f.bits.resize(f.count * B);
  return f;
}

std::string unmapped_reasons(const placed& f, const convtable& conv) {
  std::string s;
  auto add = [&](int n, const std::string& what) {
    if (n) s += (s.empty() ? "" : ", ") + std::to_string(n) + " " + what;
  };
  add(f.unmappedwhy[int(why::beyond)], "beyond the BMP");
  add(f.unmappedwhy[int(why::pair)], "of two code points");
  add(f.unmappedwhy[int(why::none)], std::string("with no character in ") + conv.name);
  add(f.unmappedwhy[int(why::value)], std::string("that ") + conv.name + " has");
  return s;
}

std::string unmapped_rows(const placed& f) {
  std::string rows;
  for (int r : f.unmappedrows) {
    char hex[8];
    std::snprintf(hex, sizeof hex, " %02x", r);
    rows += hex;
  }
  return rows.empty() ? rows : ", in rows" + rows;
}

std::string placement_notes(const placed& f, const char* leftout, const convtable& conv) {
  std::string s;
  char buf[160];
  if (f.skipped) s += ", " + std::to_string(f.skipped) + " skipped (not a JIS row/cell)";
  if (f.clipped) {
    std::snprintf(buf, sizeof buf, ", %d clipped (%ld ink pixel%s outside the %d x %d cell)", f.clipped, f.clippedpx,
                  f.clippedpx == 1 ? "" : "s", f.size, f.size);
    s += buf;
  }
  if (f.twice) s += ", " + std::to_string(f.twice) + " at a cell given twice (the last kept)";
  if (f.unmapped && leftout)
    s += ", " + std::to_string(f.unmapped) + " left out: cells " + leftout + " gives no Unicode value (" +
         unmapped_reasons(f, conv) + "); " + std::to_string(f.unmappedink) + " of them with ink" + unmapped_rows(f);
  return s;
}
