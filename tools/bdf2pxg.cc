// bdf2pxg: turns full-width JIS bitmap fonts in BDF form into one pxg file.
//
// usage: bdf2pxg [options] -o out.pxg font.bdf...
//   --split N     spread each font's glyphs over N bitmap blocks (default 1)
//   --datafork    keep the bitmaps in the data fork (16-bit positions, so a
//                 block must start below 65,536) instead of after each range list
//   --plain       only bitmap blocks: no other resources, no resource map
//   --plane P     JIS plane of every font (default: from CHARSET_REGISTRY,
//                 JISX0208* -> 0, JISX0212* -> 1)
//
// Each font becomes its own blocks of its pixel size, so several fonts give
// one file with several sizes. A glyph is placed into the square S x S cell
// (S = PIXEL_SIZE, or FONT_ASCENT + FONT_DESCENT) by its BBX offsets, with
// the baseline FONT_ASCENT rows below the cell's top; ink outside the cell is
// dropped and counted. ENCODING is row * 256 + cell (0x21..0x7E each); other
// encodings are skipped and counted.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "pxgwriter.h"

namespace {

struct bdffont {
  std::string path;
  int size = 0;                          // cell side S
  int plane = -1;
  std::map<uint32_t, std::vector<uint8_t>> glyphs;  // pxg code -> S x S bitmap
  int skipped = 0, clipped = 0;
};

[[noreturn]] void fail(const std::string& msg) { throw std::runtime_error(msg); }

int hexval(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bdffont read_bdf(const std::string& path, int plane_override) {
  std::ifstream in(path);
  if (!in) fail("cannot open " + path);
  bdffont f;
  f.path = path;
  int pixel = 0, ascent = -1, descent = -1, bbh = 0, bbyo = 0;
  std::string registry, line;

  // Header up to the first glyph.
  while (std::getline(in, line)) {
    std::istringstream ls(line);
    std::string key;
    ls >> key;
    if (key == "PIXEL_SIZE") ls >> pixel;
    else if (key == "FONT_ASCENT") ls >> ascent;
    else if (key == "FONT_DESCENT") ls >> descent;
    else if (key == "FONTBOUNDINGBOX") { int w; ls >> w >> bbh >> w >> bbyo; }
    else if (key == "CHARSET_REGISTRY") {
      std::getline(ls, registry);
      registry.erase(std::remove(registry.begin(), registry.end(), '"'), registry.end());
      registry.erase(0, registry.find_first_not_of(' '));
    } else if (key == "CHARS") break;
  }
  if (ascent < 0 || descent < 0) {  // no metrics properties: the bounding box
    ascent = bbh + bbyo;
    descent = -bbyo;
  }
  f.size = pixel > 0 ? pixel : ascent + descent;
  if (f.size < 1 || f.size > 255) fail(path + ": cell size out of 1..255");
  if (plane_override >= 0) f.plane = plane_override;
  else if (registry.rfind("JISX0208", 0) == 0) f.plane = 0;
  else if (registry.rfind("JISX0212", 0) == 0) f.plane = 1;
  else fail(path + ": CHARSET_REGISTRY \"" + registry + "\" is not JIS X 0208 or 0212 (use --plane)");

  // The cell's top edge, in BDF coordinates (baseline at y = 0, y upwards);
  // a cell taller than ascent + descent gets the extra rows split around.
  const int S = f.size;
  const int top = ascent + (S - (ascent + descent)) / 2;
  const size_t B = (size_t(S) * S + 7) / 8;

  long enc = -1;
  int w = 0, h = 0, xo = 0, yo = 0;
  while (std::getline(in, line)) {
    std::istringstream ls(line);
    std::string key;
    ls >> key;
    if (key == "STARTCHAR") { enc = -1; w = h = xo = yo = 0; }
    else if (key == "ENCODING") ls >> enc;
    else if (key == "BBX") ls >> w >> h >> xo >> yo;
    else if (key == "BITMAP") {
      std::vector<uint8_t> bits(B, 0);
      bool clipped = false;
      for (int i = 0; i < h && std::getline(in, line); ++i) {
        const int y = yo + h - 1 - i;  // the row's height above the baseline
        for (int j = 0; j < w && size_t(j / 4) < line.size(); ++j) {
          const int nib = hexval(line[size_t(j / 4)]);
          if (nib < 0 || !(nib >> (3 - j % 4) & 1)) continue;
          const int row = top - 1 - y, col = xo + j;
          if (row < 0 || row >= S || col < 0 || col >= S) { clipped = true; continue; }
          const size_t bit = size_t(row) * S + size_t(col);
          bits[bit / 8] |= uint8_t(0x80 >> (bit % 8));
        }
      }
      const long r = enc >> 8 & 0xFF, c = enc & 0xFF;
      if (enc < 0 || enc > 0xFFFF || r < 0x21 || r > 0x7E || c < 0x21 || c > 0x7E) {
        ++f.skipped;
        continue;
      }
      f.clipped += clipped;
      f.glyphs[uint32_t(f.plane * 8836 + (r - 0x21) * 94 + (c - 0x21))] = std::move(bits);
    }
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

[[noreturn]] void usage() {
  std::fprintf(stderr,
               "usage: bdf2pxg [--split N] [--datafork] [--plain] [--plane P] -o out.pxg font.bdf...\n");
  std::exit(2);
}

}  // namespace

int main(int argc, char** argv) {
  int split = 1, plane = -1;
  bool datafork = false, plain = false;
  std::string outpath;
  std::vector<std::string> inputs;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    auto value = [&]() -> std::string { if (i + 1 >= argc) usage(); return argv[++i]; };
    if (a == "--split") split = std::atoi(value().c_str());
    else if (a == "--datafork") datafork = true;
    else if (a == "--plain") plain = true;
    else if (a == "--plane") plane = std::atoi(value().c_str());
    else if (a == "-o") outpath = value();
    else if (!a.empty() && a[0] == '-') usage();
    else inputs.push_back(a);
  }
  if (outpath.empty() || inputs.empty() || split < 1 || plane > 1) usage();

  try {
    pxgfile file;
    file.others = file.map = !plain;
    for (const auto& path : inputs) {
      const bdffont f = read_bdf(path, plane);
      const size_t before = file.blocks.size();
      add_blocks(f, split, datafork, file);
      std::fprintf(stderr, "%s: %d px, plane %d, %zu glyphs in %zu blocks", path.c_str(), f.size, f.plane,
                   f.glyphs.size(), file.blocks.size() - before);
      if (f.skipped) std::fprintf(stderr, ", %d skipped (not a JIS row/cell)", f.skipped);
      if (f.clipped) std::fprintf(stderr, ", %d clipped to the cell", f.clipped);
      std::fprintf(stderr, "\n");
    }
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
