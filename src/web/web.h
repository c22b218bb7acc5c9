// SPDX-License-Identifier: MIT
// Web fonts from a font's embedded strikes. Browsers drop EBDT and EBLC when
// they sanitize a font loaded with @font-face, so a strike's pixels reach a
// page only as outlines. For each strike of S pixels this builds a TrueType
// font whose glyphs are that strike's pixels as rectilinear contours on an
// em of S x 64 units (every pixel edge a whole unit, the baseline on a pixel
// boundary), finishes it with the finishing pass, and packs it as WOFF2.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "finish/finish.h"

// Units per pixel in the pixel fonts: a power of two, so that a 1x pixel
// is a whole number of units and the em S x 64 stays far below 16384.
constexpr int kPixelUnits = 64;

struct webfont {
  int size = 0;                 // pixels per em of the strike
  int ascent = 0, descent = 0;  // whole pixels above and below the baseline
  std::string family;           // "<family> <size>", as the name table says
  std::vector<uint8_t> ttf;     // the finished pixel font
  std::vector<uint8_t> woff2;   // the same, as WOFF2
};

// A glyph bitmap: rows top down, ink[r * width + c]; bx and by place its
// top-left corner relative to the origin on the baseline (by upwards).
struct pixelglyph {
  int width = 0, height = 0, bx = 0, by = 0;
  std::vector<uint8_t> ink;
};

// One closed contour as corner points, in pixel units (y upwards).
struct pixelcontour {
  std::vector<int32_t> x, y;
};

// The glyph's ink as contours along the pixel edges: outer contours
// clockwise and holes counter-clockwise (ink always on the right), only the
// corners kept, no two contours covering the same area. Where two inked
// pixels touch only at a corner, the contours around them stay apart.
void trace_pixels(const pixelglyph& g, std::vector<pixelcontour>& out);

// The web fonts of one input: one per strike, smallest first, and the
// input's character map (code to glyph id, 0 for unmapped).
struct webset {
  std::vector<webfont> fonts;
  std::vector<uint16_t> cmap;
};

// Builds a web font for every strike of the font in[0..n) (of kilnfont's
// layout, finished or not). Returns false with a one-line reason in err for
// a font the finishing pass refuses, one without strikes, or when the
// WOFF2 encoder fails.
bool make_web_fonts(const uint8_t* in, size_t n, const finish_opts& opts, webset& out, std::string& err);

// The specimen page: an @font-face rule for BASE-S.woff2 of each font, and
// each size's sample at 1x, 2x and 3x. The sample is the characters of a
// fixed list (kana, full-width Latin, symbols, dense kanji) that cmap maps.
// Every sample block is placed at whole pixels and says where in data-left
// and data-top, so that a screenshot can be measured against the bitmaps.
std::string specimen_page(const webset& set, const std::string& base);

// The base name of a font's web fonts: its file name without ".ttf".
std::string web_base(const std::string& font);

// make_web_fonts on the font called name, then DIR/BASE-S.woff2 for each
// strike and DIR/index.html, each written the safe way; DIR is made if
// missing. False with a one-line reason in err.
bool write_web_fonts(const char* name, const uint8_t* in, size_t n, const finish_opts& opts, const char* dir,
                     const std::string& base, std::string& err);
