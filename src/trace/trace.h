// Outline tracing: one glyph bitmap in, one TrueType simple glyph out.
//
// The tracer follows the unit edges between ink and blank pixels around each
// closed boundary and emits one off-curve point per edge, at its midpoint; the
// encoder turns each contour into flag bytes and delta-coded coordinates and
// finally serialises the glyph description.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

struct bewriter;

// TrueType's limits for one simple glyph; a glyph beyond them is refused.
constexpr uint32_t kMaxGlyphPoints = 65535;
constexpr uint32_t kMaxGlyphContours = 32767;

// One traced point: kind (always 2, off-curve), x, y in font units.
struct glfpoint {
  int32_t kind, x, y;
};

// The encoder's one-glyph work record, with the running outline maxima.
// The arrays are sized from the glyph (grown only, reused from glyph to
// glyph); the counters say how much of each belongs to the current glyph.
struct glfrec {
  uint16_t numberOfContours = 0;
  uint16_t instructionLength = 0;
  uint32_t xByteCount = 0;           // bytes used in xCoordinates
  uint32_t yByteCount = 0;           // bytes used in yCoordinates
  std::vector<uint16_t> endPtsOfContours;
  std::vector<uint8_t> flags;        // one flag byte per point
  std::vector<uint8_t> xCoordinates; // 0, 1 or 2 bytes per point
  std::vector<uint8_t> yCoordinates;
  uint32_t pointTotal = 0;           // points of this glyph so far
  uint16_t maxPoints = 0;            // over every glyph written so far
  uint16_t maxContours = 0;
  int32_t prevX = 0, prevY = 0;      // origin of the next delta
};

// The tracer's state: the point list of the contour being followed, the
// work record, and the pixel grid and edge map of the glyph being traced.
// Everything a conversion needs lives here, so two conversions never share.
struct tracer {
  std::vector<glfpoint> points;
  glfrec glyf;
  std::vector<uint8_t> grid;   // (n+2)^2 cells, bitmap inside a blank border
  std::vector<uint8_t> edges;  // edge map, see edgemap_size()
  // Font-unit point of every edge-map index for side xy_n (x, y pairs):
  // computed once per bitmap side, so tracing a point is a table look-up.
  std::vector<int32_t> edgexy;
  unsigned xy_n = 0;
};

// Bytes of the edge map for side n: n+1 blocks of 2n+3 bytes (vertical edges
// of the row above, guard, horizontal edges of the grid line, guard) plus
// n+1 bytes where the vertical edges of row n would be.
constexpr size_t edgemap_size(unsigned n) { return size_t(2 * n + 3) * (n + 1) + (n + 1); }
// Edge-map index of horizontal edge H(L, j) and vertical edge V(R, k).
constexpr size_t hedge_index(unsigned n, unsigned L, unsigned j) { return size_t(2 * n + 3) * L + n + 2 + j; }
constexpr size_t vedge_index(unsigned n, unsigned R, unsigned k) { return size_t(2 * n + 3) * (R + 1) + k; }

// Traces the height x height bitmap (a continuous MSB-first bit stream, a
// set bit is ink; width is not used, the glyph is square) and appends its
// simple-glyph description to out. Returns the bytes appended, a multiple of
// 4, or 0 when the bitmap has no ink (nothing is appended). The running
// maxima of tr.glyf are brought up to date. A glyph of more than 65,535
// points ends the run with "glyph too complex".
int32_t bmp2glf(tracer& tr, uint8_t width, uint8_t height, const uint8_t* bitmap, bewriter& out);

// Stores the off-curve point (x, y) at position idx of tr.points, which the
// caller has sized to hold it.
void set_glf_point(tracer& tr, int32_t x, int32_t y, int32_t idx);

// Clears the work record for a new glyph; the running maxima stay.
void reset_glyf(tracer& tr);

// Appends points 0..count-1 of tr.points as the next contour of the glyph,
// lowering each y by 100 in place. Grows the record when the glyph needs
// more room. Ends the run with "glyph too complex" when the glyph would pass
// TrueType's point or contour limit.
void point2glyf(tracer& tr, int32_t count);

// Appends the glyph description to out and returns its length, padded to a
// multiple of 4; returns 0 and appends nothing when the glyph has no contour.
int32_t outputglyf(tracer& tr, bewriter& out);
