// SPDX-License-Identifier: MIT
// bdf2pxg: turns full-width JIS bitmap fonts in BDF or PCF form (plain or
// gzip-compressed) into one pxg file.
//
// usage: bdf2pxg [options] -o out.pxg font.bdf...
//   --map FILE    leave out the glyphs of cells that FILE (a jis_uni.txt)
//                 gives no Unicode value, which kilnfont would refuse
//   --cell S      make every font's cell S x S pixels (1..255) instead of the
//                 smallest square that holds the font's box
//   --split N     spread each font's glyphs over N bitmap blocks (default 1)
//   --datafork    keep the bitmaps in the data fork (16-bit positions, so a
//                 block must start below 65,536) instead of after each range list
//   --plain       only bitmap blocks: no other resources, no resource map
//   --plane P     JIS plane of every font (default: from the character set)
//
// The character set comes from CHARSET_REGISTRY and CHARSET_ENCODING (or
// the last two fields of the FONT name), in any letter case: JISX0208.* and
// JISC6226.1978 are plane 0, JISX0212.* plane 1, JIS X 0213 plane 1
// (jisx0213.2000-1, jisx0213.2004-1) plane 0 and its plane 2
// (jisx0213.2000-2) plane 1. ENCODING is row * 256 + cell (0x21..0x7E
// each); other encodings are skipped and counted.
//
// The cell. The font's box is H = FONT_ASCENT + FONT_DESCENT rows (from
// FONTBOUNDINGBOX when those are missing) by W columns, W the widest
// DWIDTH of the font's JIS glyphs (a glyph without DWIDTH counts the right
// edge of its BBX). The cell side S is max(H, W), or the --cell value. The
// box is centred in the S x S square, the odd extra row going to the bottom
// and the odd extra column to the right: with U = floor((S - H) / 2) and
// L = floor((S - W) / 2), the BDF pixel x columns right of the glyph origin
// and y rows above the baseline (y = 0 is the row just above it) lands in
// cell column x + L and cell row FONT_ASCENT + U - 1 - y (row 0 the top).
// Ink that lands outside the square is clipped and counted. Each font
// becomes its own blocks of its cell size, so several fonts give one file
// with several sizes.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "bdf/bdf.h"
#include "pxgwriter.h"

namespace {

[[noreturn]] void fail(const std::string& msg) { throw fonterror(msg); }

struct options {
  int split = 1, plane = -1, cell = 0;
  bool datafork = false, plain = false;
  std::string map;  // --map FILE, or empty
};

// Splits the font's glyphs, in code order, into n blocks of nearly equal
// size; a block never holds more than 255 ranges (the range count is one
// byte), so a font with scattered codes gets extra blocks.
void add_blocks(const placed& f, int n, bool datafork, pxgfile& out) {
  std::vector<std::pair<uint32_t, const uint8_t*>> all;
  for (size_t code = 0; code < f.slot.size(); ++code)
    if (f.slot[code] >= 0) all.emplace_back(uint32_t(code), f.bitmap(code));
  const size_t B = bitmap_bytes(unsigned(f.size));
  const size_t per = n > 0 ? (all.size() + size_t(n) - 1) / size_t(n) : all.size();
  size_t k = 0;
  while (k < all.size()) {
    pxgblock b;
    b.size = uint8_t(f.size);
    b.datafork = datafork;
    b.name = "JIS " + std::to_string(f.size) + " px, part " + std::to_string(out.blocks.size() + 1);
    const size_t end = std::min(all.size(), k + std::max<size_t>(per, 1));
    for (; k < end; ++k) {
      const uint32_t code = all[k].first;
      if (!b.ranges.empty() && b.ranges.back().first + b.ranges.back().count == code && b.ranges.back().count < 0xFFFF)
        ++b.ranges.back().count;
      else if (b.ranges.size() == 255)
        break;
      else
        b.ranges.push_back({uint16_t(code), 1});
      b.bits.insert(b.bits.end(), all[k].second, all[k].second + B);
    }
    out.blocks.push_back(std::move(b));
  }
}

// The per-font summary line, and the warnings that a conversion would stop
// on.
void report(const placed& f, const options& opt, size_t blocks, const convtable& conv) {
  const char* p = f.path.c_str();
  std::fprintf(stderr, "%s: %d px, plane %d, %zu glyphs in %zu blocks%s\n", p, f.size, f.plane, f.count, blocks,
               placement_notes(f, opt.map.empty() ? nullptr : opt.map.c_str(), conv).c_str());
  if (f.unmapped && opt.map.empty())
    std::fprintf(stderr,
                 "%s: warning: %d glyphs (%d with ink%s) sit at cells without a Unicode value in the table "
                 "mkjisuni%s writes (%s); kilnfont refuses a font with such cells (\"cannot xfer chrcode\"): give "
                 "--map jis_uni.txt to leave them out\n",
                 p, f.unmapped, f.unmappedink, unmapped_rows(f).c_str(), conv.x0213 ? " --jisx0213" : "",
                 unmapped_reasons(f, conv).c_str());
  if (f.cs == charset::x0213 && opt.map.empty())
    std::fprintf(stderr, "%s: note: kilnfont needs a jis_uni.txt made by mkjisuni --jisx0213 for this font\n", p);
}

[[noreturn]] void usage() {
  std::fprintf(stderr,
               "usage: bdf2pxg [--map jis_uni.txt] [--cell S] [--split N] [--datafork] [--plain] [--plane P]\n"
               "               -o out.pxg font.bdf...\n");
  std::exit(2);
}

int intarg(const std::string& v, int lo, int hi) {
  char* end = nullptr;
  errno = 0;
  const long n = std::strtol(v.c_str(), &end, 10);
  if (v.empty() || *end != '\0' || errno != 0 || n < lo || n > hi) usage();
  return int(n);
}

}  // namespace

int main(int argc, char** argv) {
  options opt;
  std::string outpath;
  std::vector<std::string> inputs;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    auto value = [&]() -> std::string { if (i + 1 >= argc) usage(); return argv[++i]; };
    if (a == "--split") opt.split = intarg(value(), 1, 1 << 20);
    else if (a == "--datafork") opt.datafork = true;
    else if (a == "--plain") opt.plain = true;
    else if (a == "--plane") opt.plane = intarg(value(), 0, 1);
    else if (a == "--cell") opt.cell = intarg(value(), 1, 255);
    else if (a == "--map") opt.map = value();
    else if (a == "-o") outpath = value();
    else if (!a.empty() && a[0] == '-') usage();
    else inputs.push_back(a);
  }
  if (outpath.empty() || inputs.empty()) usage();

  try {
    // Read every font first: the sets decide which table the cells are
    // checked against.
    std::vector<fontin> fonts;
    std::vector<charset> sets;
    std::vector<int> planes;
    bool has0212 = false, has0213 = false;
    for (const auto& path : inputs) {
      fonts.push_back(read_font(path));
      int plane = -1;
      const charset cs = identify(fonts.back(), plane);
      if (opt.plane >= 0) plane = opt.plane;
      if (plane < 0)
        fail(path + ": CHARSET_REGISTRY \"" + fonts.back().registry + "\" CHARSET_ENCODING \"" +
             fonts.back().encoding + "\" is not JIS X 0208, 0212 or 0213 (use --plane)");
      sets.push_back(cs);
      planes.push_back(plane);
      has0212 |= cs == charset::x0212;
      has0213 |= cs == charset::x0213;
    }
    if (has0212 && has0213)
      fail("JIS X 0212 and JIS X 0213 fonts cannot share one file: jis_uni.txt's plane 1 is one or the other");
    const convtable conv = converter_map(has0213);
    const std::vector<uint16_t> m2u = opt.map.empty() ? conv.m2u : read_map(opt.map);

    pxgfile file;
    file.others = file.map = !opt.plain;
    std::map<int, size_t> strikes;  // cell size -> bitmaps
    for (size_t k = 0; k < fonts.size(); ++k) {
      if (!opt.map.empty()) check_map(m2u, opt.map, fonts[k].path, sets[k], planes[k]);
      const cellrule c = cell_of(fonts[k], sets[k], opt.cell);
      const char* p = fonts[k].path.c_str();
      std::fprintf(stderr, "%s: %s, plane %d; ", p, setname(sets[k]), planes[k]);
      if (opt.cell)
        std::fprintf(stderr, "cell %ld px, set by --cell (the font's box: %ld rows by %ld columns)\n", c.S, c.H, c.W);
      else
        std::fprintf(stderr, "cell %ld px, the font's box: %s = %ld rows by DWIDTH %ld columns (%s)\n", c.S,
                     fonts[k].metrics.c_str(), c.H, c.W,
                     fonts[k].pixel ? ("PIXEL_SIZE " + std::to_string(fonts[k].pixel)).c_str() : "no PIXEL_SIZE");
      if (c.S < 1 || c.S > 255) fail(fonts[k].path + ": cell size " + std::to_string(c.S) + " out of 1..255 (use --cell)");
      if (c.renumbered)
        std::fprintf(stderr, "%s: %d glyphs of the 1978 order moved to the cells later editions give them\n", p,
                     c.renumbered);
      const placed f = place(fonts[k], sets[k], planes[k], c, m2u.data(), conv.reason, !opt.map.empty());
      fonts[k] = fontin();
      const size_t before = file.blocks.size();
      add_blocks(f, opt.split, opt.datafork, file);
      report(f, opt, file.blocks.size() - before, conv);
      strikes[f.size] += f.count;
    }
    // What kilnfont holds per font: 6 sizes, 2 MiB and 32,767 bitmaps a size.
    if (strikes.size() > 6)
      std::fprintf(stderr, "bdf2pxg: warning: %zu cell sizes; kilnfont takes at most 6 (\"too many bitmap sizes\")\n",
                   strikes.size());
    for (const auto& [s, n] : strikes)
      if (n * ((size_t(s) * size_t(s) + 7) / 8) > 0x200000 || n >= 0x8000)
        std::fprintf(stderr, "bdf2pxg: warning: %zu glyphs of %d px; kilnfont holds at most 2 MiB and 32,767 "
                     "bitmaps a size (\"too many bitmaps\")\n", n, s);

    const std::vector<uint8_t> bytes = build_pxg(file);
    std::FILE* out = std::fopen(outpath.c_str(), "wb");
    if (!out) fail("cannot create " + outpath);
    const bool written = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
    if (std::fclose(out) != 0 || !written) fail("cannot write " + outpath);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "bdf2pxg: %s\n", e.what());
    return 1;
  }
  return 0;
}
