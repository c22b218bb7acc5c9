// SPDX-License-Identifier: MIT
// bdf2pxg: turns full-width JIS bitmap fonts in BDF form into one pxg file.
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
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "jisconv.h"
#include "pxgwriter.h"

namespace {

constexpr int kCells = 2 * 8836;  // linear JIS indexes of planes 0 and 1

[[noreturn]] void fail(const std::string& msg) { throw std::runtime_error(msg); }

// The character sets bdf2pxg knows. The 1978 edition numbers 26 kanji
// differently from every later JIS X 0208 (see renumber_1978).
enum class charset { unknown, x0208, x0208_1978, x0212, x0213 };

const char* setname(charset cs) {
  switch (cs) {
    case charset::x0208: return "JIS X 0208";
    case charset::x0208_1978: return "JIS C 6226-1978 (JIS X 0208 of 1978)";
    case charset::x0212: return "JIS X 0212";
    case charset::x0213: return "JIS X 0213";
    default: return "set by --plane";
  }
}

// One glyph as the BDF gives it.
struct rawglyph {
  long enc = -1;
  long dw = 0;
  bool hasdw = false;
  long w = 0, h = 0, xo = 0, yo = 0;  // BBX
  std::vector<uint8_t> ink;            // w * h, top row first, 1 = ink
};

// A BDF font as read: the header values used and every glyph.
struct bdfin {
  std::string path, registry, encoding, metrics;  // metrics: where H came from, for the report
  long pixel = 0, ascent = 0, descent = 0;
  std::vector<rawglyph> glyphs;
};

int hexval(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string lower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
  return s;
}

// Reads the next whole number of a header line. Values beyond +-65,535 are
// no real font's and are refused, so that no later sum can overflow.
long number(std::istringstream& ls, const bdfin& f, const std::string& key) {
  std::string t;
  ls >> t;
  errno = 0;
  char* end = nullptr;
  const long v = std::strtol(t.c_str(), &end, 10);
  if (t.empty() || *end != '\0' || errno != 0 || v < -65535 || v > 65535)
    fail(f.path + ": bad number \"" + t + "\" after " + key);
  return v;
}

// A property value: the rest of the line without quotes and outer blanks.
std::string text(std::istringstream& ls) {
  std::string v;
  std::getline(ls, v);
  v.erase(std::remove(v.begin(), v.end(), '"'), v.end());
  v.erase(0, v.find_first_not_of(" \t"));
  v.erase(v.find_last_not_of(" \t\r") + 1);
  return v;
}

bdfin read_bdf(const std::string& path) {
  std::ifstream in(path);
  if (!in) fail("cannot open " + path);
  bdfin f;
  f.path = path;
  bool hasascent = false, hasdescent = false, hasbox = false;
  long boxh = 0, boxyo = 0;
  std::string xlfd, line;

  // Header up to the first glyph.
  while (std::getline(in, line)) {
    std::istringstream ls(line);
    std::string key;
    ls >> key;
    if (key == "PIXEL_SIZE") f.pixel = number(ls, f, key);
    else if (key == "FONT_ASCENT") f.ascent = number(ls, f, key), hasascent = true;
    else if (key == "FONT_DESCENT") f.descent = number(ls, f, key), hasdescent = true;
    else if (key == "FONTBOUNDINGBOX") {
      number(ls, f, key);
      boxh = number(ls, f, key);
      number(ls, f, key);
      boxyo = number(ls, f, key);
      hasbox = true;
    } else if (key == "CHARSET_REGISTRY") f.registry = text(ls);
    else if (key == "CHARSET_ENCODING") f.encoding = text(ls);
    else if (key == "FONT") xlfd = text(ls);
    else if (key == "CHARS") break;
  }
  // Without the properties the FONT name's last two fields name the set.
  const size_t dash = xlfd.rfind('-');
  if (f.registry.empty() && dash != std::string::npos && dash > 0) {
    const size_t before = xlfd.rfind('-', dash - 1);
    if (before != std::string::npos) {
      f.registry = xlfd.substr(before + 1, dash - before - 1);
      if (f.encoding.empty()) f.encoding = xlfd.substr(dash + 1);
    }
  }
  if (hasascent && hasdescent) {
    f.metrics = "FONT_ASCENT " + std::to_string(f.ascent) + " + FONT_DESCENT " + std::to_string(f.descent);
  } else if (hasbox) {  // no metrics properties: the bounding box
    f.ascent = boxh + boxyo;
    f.descent = -boxyo;
    f.metrics = "FONTBOUNDINGBOX height " + std::to_string(boxh) + " from " + std::to_string(boxyo);
  } else {
    fail(path + ": neither FONT_ASCENT and FONT_DESCENT nor FONTBOUNDINGBOX: no baseline to place glyphs by");
  }

  rawglyph g;
  bool inglyph = false;
  while (std::getline(in, line)) {
    std::istringstream ls(line);
    std::string key;
    ls >> key;
    if (key == "STARTCHAR") g = rawglyph(), inglyph = true;
    else if (!inglyph) continue;
    else if (key == "ENCODING") g.enc = number(ls, f, key);
    else if (key == "DWIDTH") g.dw = number(ls, f, key), g.hasdw = true;
    else if (key == "BBX") {
      g.w = number(ls, f, key), g.h = number(ls, f, key);
      g.xo = number(ls, f, key), g.yo = number(ls, f, key);
      if (g.w < 0 || g.h < 0 || g.w > 4096 || g.h > 4096) fail(path + ": BBX of " + line + " out of 0..4096");
    } else if (key == "BITMAP") {
      // Rows until ENDCHAR; the first h count, missing ones are blank.
      g.ink.assign(size_t(g.w * g.h), 0);
      long i = 0;
      while (std::getline(in, line)) {
        if (line.compare(0, 7, "ENDCHAR") == 0) break;
        if (i >= g.h) continue;
        for (long j = 0; j < g.w && size_t(j / 4) < line.size(); ++j) {
          const int nib = hexval(line[size_t(j / 4)]);
          if (nib >= 0 && (nib >> (3 - j % 4) & 1)) g.ink[size_t(i * g.w + j)] = 1;
        }
        ++i;
      }
      f.glyphs.push_back(std::move(g));
      g = rawglyph();
      inglyph = false;
    }
  }
  return f;
}

// Which JIS set and plane the font's registry names; plane -1 when none.
charset identify(const bdfin& f, int& plane) {
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
// later tables (and jis_uni.txt) keep that character. Returns the code.
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

// Unicode value per linear JIS index, 0 for none, as kilnfont reads
// jis_uni.txt: "%x %x" lines after the count line, the low 16 bits kept,
// lines off the grid skipped, a later line for a cell winning.
std::vector<uint16_t> read_map(const std::string& path) {
  std::ifstream in(path);
  if (!in) fail("cannot open " + path);
  std::vector<uint16_t> m2u(kCells, 0);
  std::string line;
  std::getline(in, line);
  while (std::getline(in, line)) {
    unsigned jis = 0, uni = 0;
    if (std::sscanf(line.c_str(), "%x %x", &jis, &uni) != 2) continue;
    const unsigned p = jis >> 16, r = jis >> 8 & 0xFF, c = jis & 0xFF;
    if (p > 1 || r < 0x21 || r > 0x7E || c < 0x21 || c > 0x7E) continue;
    m2u[p * 8836 + (r - 0x21) * 94 + (c - 0x21)] = uint16_t(uni);
  }
  return m2u;
}

// What the C library's converter gives each cell, for the table mkjisuni
// writes and for saying why a cell has no value.
enum class why : uint8_t { value, none, beyond, pair };

struct convtable {
  bool x0213;
  const char* name;              // "EUC-JP" or "EUC-JISX0213"
  std::vector<uint16_t> m2u;     // as mkjisuni writes it
  std::vector<why> reason;
};

convtable converter_map(bool x0213) {
  convtable t{x0213, x0213 ? "EUC-JISX0213" : "EUC-JP", std::vector<uint16_t>(kCells, 0), std::vector<why>(kCells, why::none)};
  iconv_t cd = jisopen(x0213);
  if (cd == iconv_t(-1)) fail(std::string("no ") + t.name + " converter in the C library");
  for (int k = 0; k < kCells; ++k) {
    const jischar c = jisdecode(cd, k / 8836, k % 8836 / 94 + 0x21, k % 94 + 0x21);
    t.m2u[size_t(k)] = uint16_t(jisbmp(c));
    t.reason[size_t(k)] = t.m2u[size_t(k)] ? why::value : c.n == 2 ? why::pair : c.n == 1 ? why::beyond : why::none;
  }
  iconv_close(cd);
  return t;
}

bool maps_any(const std::vector<uint16_t>& m2u, int plane, int row0, int row1) {
  for (int r = row0; r <= row1; ++r)
    for (int c = 0; c < 94; ++c)
      if (m2u[size_t(plane * 8836 + (r - 0x21) * 94 + c)]) return true;
  return false;
}

// Refuses a table that gives the font's cells the meanings of another
// character set: plane 1 holds JIS X 0212 in one kind of table and JIS X
// 0213 plane 2 in the other, and a JIS X 0213 font needs the rows JIS X
// 0208 leaves empty (0x29..0x2F, 0x75..0x7E).
void check_map(const std::vector<uint16_t>& m2u, const std::string& mappath, const bdfin& f, charset cs,
               int plane) {
  const bool x0212 = maps_any(m2u, 1, 0x30, 0x6D);  // JIS X 0212's kanji rows
  const bool x0213p2 = maps_any(m2u, 1, 0x6E, 0x7E);
  const bool x0213p1 = maps_any(m2u, 0, 0x29, 0x2F) || maps_any(m2u, 0, 0x75, 0x7E);
  if (cs == charset::x0212 && x0213p2)
    fail(f.path + ": a JIS X 0212 font, but plane 1 of " + mappath +
         " is JIS X 0213 plane 2; make the table with mkjisuni (without --jisx0213)");
  if (cs == charset::x0213 && plane == 1 && (x0212 || !x0213p2))
    fail(f.path + ": a JIS X 0213 plane 2 font, but plane 1 of " + mappath +
         " is not JIS X 0213 plane 2; make the table with mkjisuni --jisx0213");
  if (cs == charset::x0213 && plane == 0 && !x0213p1)
    fail(f.path + ": a JIS X 0213 font, but " + mappath +
         " is not a JIS X 0213 table; make it with mkjisuni --jisx0213");
}

struct options {
  int split = 1, plane = -1, cell = 0;
  bool datafork = false, plain = false;
  std::string map;  // --map FILE, or empty
};

// One font, placed and ready for its blocks.
struct bdffont {
  std::string path;
  int size = 0;  // cell side S
  int plane = 0;
  charset cs = charset::unknown;
  std::map<uint32_t, std::vector<uint8_t>> glyphs;  // pxg code -> S x S bitmap
  int skipped = 0, clipped = 0, twice = 0, renumbered = 0;
  long clippedpx = 0;
  int unmapped = 0, unmappedink = 0;  // cells the table gives no value
  int unmappedwhy[4] = {0, 0, 0, 0};  // of those, by what the converter gives the cell
  std::set<int> unmappedrows;         // rows of those with ink
};

// Chooses the font's cell, places every JIS glyph in it and sorts out the
// glyphs the table (--map, or else the converter's) gives no value.
bdffont place(const bdfin& in, const options& opt, charset cs, int plane, const std::vector<uint16_t>& m2u,
              const convtable& conv) {
  bdffont f;
  f.path = in.path;
  f.cs = cs;
  f.plane = plane;

  // The glyphs at JIS cells, by their code after any renumbering.
  std::vector<std::pair<long, const rawglyph*>> jis;
  for (const rawglyph& g : in.glyphs) {
    const long r = g.enc >> 8 & 0xFF, c = g.enc & 0xFF;
    if (g.enc < 0 || g.enc > 0xFFFF || r < 0x21 || r > 0x7E || c < 0x21 || c > 0x7E) {
      ++f.skipped;
      continue;
    }
    long code = g.enc;
    if (cs == charset::x0208_1978) {
      code = renumber_1978(g.enc);
      f.renumbered += code != g.enc;
    }
    jis.emplace_back(code, &g);
  }

  // The font's box and the cell.
  const long H = in.ascent + in.descent;
  long W = 0;
  for (const auto& [code, g] : jis) W = std::max(W, g->hasdw ? g->dw : g->xo + g->w);
  const long S = opt.cell ? opt.cell : std::max(H, W);
  std::fprintf(stderr, "%s: %s, plane %d; ", in.path.c_str(), setname(cs), plane);
  if (opt.cell)
    std::fprintf(stderr, "cell %ld px, set by --cell (the font's box: %ld rows by %ld columns)\n", S, H, W);
  else
    std::fprintf(stderr, "cell %ld px, the font's box: %s = %ld rows by DWIDTH %ld columns (%s)\n", S,
                 in.metrics.c_str(), H, W,
                 in.pixel ? ("PIXEL_SIZE " + std::to_string(in.pixel)).c_str() : "no PIXEL_SIZE");
  if (S < 1 || S > 255) fail(in.path + ": cell size " + std::to_string(S) + " out of 1..255 (use --cell)");
  f.size = int(S);
  if (f.renumbered)
    std::fprintf(stderr, "%s: %d glyphs of the 1978 order moved to the cells later editions give them\n",
                 in.path.c_str(), f.renumbered);

  const long top = in.ascent + (S - H >= 0 ? (S - H) / 2 : -((H - S + 1) / 2));  // ascent + floor((S - H) / 2)
  const long left = S - W >= 0 ? (S - W) / 2 : -((W - S + 1) / 2);              // floor((S - W) / 2)
  const size_t B = size_t(S * S + 7) / 8;
  for (const auto& [code, g] : jis) {
    const uint32_t idx = uint32_t(plane * 8836 + ((code >> 8) - 0x21) * 94 + ((code & 0xFF) - 0x21));
    std::vector<uint8_t> bits(B, 0);
    long ink = 0, outside = 0;
    for (long i = 0; i < g->h; ++i)
      for (long j = 0; j < g->w; ++j) {
        if (!g->ink[size_t(i * g->w + j)]) continue;
        ++ink;
        const long row = top - 1 - (g->yo + g->h - 1 - i), col = left + g->xo + j;
        if (row < 0 || row >= S || col < 0 || col >= S) {
          ++outside;
          continue;
        }
        const size_t bit = size_t(row * S + col);
        bits[bit / 8] |= uint8_t(0x80 >> (bit % 8));
      }
    if (!m2u[idx]) {
      ++f.unmapped;
      ++f.unmappedwhy[int(conv.reason[idx])];
      if (ink) ++f.unmappedink, f.unmappedrows.insert(int(code >> 8));
      if (!opt.map.empty()) continue;  // left out
    }
    f.clipped += outside > 0;
    f.clippedpx += outside;
    f.twice += f.glyphs.count(idx) > 0;
    f.glyphs[idx] = std::move(bits);
  }
  return f;
}

// Splits the font's glyphs, in code order, into n blocks of nearly equal
// size; a block never holds more than 255 ranges (the range count is one
// byte), so a font with scattered codes gets extra blocks.
void add_blocks(const bdffont& f, int n, bool datafork, pxgfile& out) {
  std::vector<std::pair<uint32_t, const std::vector<uint8_t>*>> all;
  for (const auto& [code, bits] : f.glyphs) all.emplace_back(code, &bits);
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
      b.bits.insert(b.bits.end(), all[k].second->begin(), all[k].second->end());
    }
    out.blocks.push_back(std::move(b));
  }
}

// Why the cells without a value have none, by the converter: "26 beyond
// the BMP, 25 of two code points".
std::string reasons(const bdffont& f, const convtable& conv) {
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

// The per-font summary line, and the warnings that a conversion would stop
// on.
void report(const bdffont& f, const options& opt, size_t blocks, const convtable& conv) {
  const char* p = f.path.c_str();
  std::fprintf(stderr, "%s: %d px, plane %d, %zu glyphs in %zu blocks", p, f.size, f.plane, f.glyphs.size(), blocks);
  if (f.skipped) std::fprintf(stderr, ", %d skipped (not a JIS row/cell)", f.skipped);
  if (f.clipped)
    std::fprintf(stderr, ", %d clipped (%ld ink pixel%s outside the %d x %d cell)", f.clipped, f.clippedpx,
                 f.clippedpx == 1 ? "" : "s", f.size, f.size);
  if (f.twice) std::fprintf(stderr, ", %d at a cell given twice (the last kept)", f.twice);
  std::string rows;
  for (int r : f.unmappedrows) {
    char hex[8];
    std::snprintf(hex, sizeof hex, " %02x", r);
    rows += hex;
  }
  if (f.unmapped && !opt.map.empty())
    std::fprintf(stderr, ", %d left out: cells %s gives no Unicode value (%s); %d of them with ink%s%s", f.unmapped,
                 opt.map.c_str(), reasons(f, conv).c_str(), f.unmappedink, rows.empty() ? "" : ", in rows",
                 rows.c_str());
  std::fprintf(stderr, "\n");
  if (f.unmapped && opt.map.empty())
    std::fprintf(stderr,
                 "%s: warning: %d glyphs (%d with ink%s%s) sit at cells without a Unicode value in the table "
                 "mkjisuni%s writes (%s); kilnfont refuses a font with such cells (\"cannot xfer chrcode\"): give "
                 "--map jis_uni.txt to leave them out\n",
                 p, f.unmapped, f.unmappedink, rows.empty() ? "" : ", in rows", rows.c_str(),
                 conv.x0213 ? " --jisx0213" : "", reasons(f, conv).c_str());
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
    std::vector<bdfin> fonts;
    std::vector<charset> sets;
    std::vector<int> planes;
    bool has0212 = false, has0213 = false;
    for (const auto& path : inputs) {
      fonts.push_back(read_bdf(path));
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
      if (!opt.map.empty()) check_map(m2u, opt.map, fonts[k], sets[k], planes[k]);
      const bdffont f = place(fonts[k], opt, sets[k], planes[k], m2u, conv);
      fonts[k].glyphs.clear();
      const size_t before = file.blocks.size();
      add_blocks(f, opt.split, opt.datafork, file);
      report(f, opt, file.blocks.size() - before, conv);
      strikes[f.size] += f.glyphs.size();
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
