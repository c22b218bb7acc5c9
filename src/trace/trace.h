// SPDX-License-Identifier: MIT
// Outline tracing: one glyph bitmap in, one TrueType simple glyph out.
//
// The tracer follows the unit edges between ink and blank pixels around each
// closed boundary and emits one off-curve point per edge, at its midpoint; the
// encoder turns each contour into flag bytes and delta-coded coordinates and
// finally serialises the glyph description.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
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
  // Set by a command that finishes the font itself: glyphs are written as
  // the finishing pass writes them, with the box of their points and each
  // run of equal flags folded, so that the pass can keep them as they are.
  // The tracer then sets the box of each glyph it traces.
  bool finished = false;
  int16_t xMin = 0, yMin = 0, xMax = 0, yMax = 0;
  uint32_t flagBytes = 0;  // when not 0, flags holds this many bytes, already folded
};

// Font units of every edge for one bitmap side, and the byte deltas from
// one edge to the next along a run and around a turn, so that tracing a
// point is a look-up. Indexed by bit position (see bmp2glf.cc): column c of
// the bitmap and grid line gx = c both sit at position c + 1. The arrays
// have room for every side (positions 0..256) and for the tracer's 8-byte
// copies, so that one struct of fixed layout holds them all.
constexpr size_t kSideTab = 272;
struct sidetab {
  unsigned side = 0;
  bool runs = false;          // every delta below is 1..255 (true for sides 4 and up)
  int32_t hx[kSideTab];       // x of a horizontal edge, by position
  int32_t vx[kSideTab];       // x of a vertical edge, by position
  int32_t hy[kSideTab];       // y of a horizontal edge, by grid line, lowered by 100
  int32_t vy[kSideTab];       // y of a vertical edge, by pixel row, lowered by 100
  uint8_t dxe[kSideTab];      // hx[q] - hx[q-1]: a step East (or West, reversed in dxw)
  uint8_t dxw[kSideTab];      // dxe[n+1-i]
  uint8_t dys[kSideTab];      // vy[r-1] - vy[r]: a step South or North
  uint8_t xl[kSideTab];       // vx[v] - hx[v-1]: from the horizontal edge left of vertex v to it
  uint8_t xr[kSideTab];       // hx[v] - vx[v]: from vertex v to the horizontal edge right of it
  uint8_t ya[kSideTab];       // vy[L-1] - hy[L]: from grid line L to the vertical edge above
  uint8_t yb[kSideTab];       // hy[L] - vy[L]: from the vertical edge below grid line L to it
};

// The tracer's state: the point list for point2glyf, the work record, and
// the scratch of the glyph being traced. Everything a conversion needs lives
// here, so two conversions (or two threads) never share; the scratch is
// sized from the largest glyph so far and reused.
struct tracer {
  std::vector<glfpoint> points;
  glfrec glyf;
  std::vector<uint8_t> bitmap;  // the glyph's bit stream, copied with zero padding
  std::vector<uint64_t> rows;   // pixel rows and edge rows, 64 positions a word
  std::vector<std::unique_ptr<sidetab>> sides;  // one for each bitmap side met so far (a font has a few)
};

// Traces the height x height bitmap (a continuous MSB-first bit stream, a
// set bit is ink; width is not used, the glyph is square) and appends its
// simple-glyph description to out. Returns the bytes appended, a multiple of
// 4, or 0 when the bitmap has no ink (nothing is appended). The running
// maxima of tr.glyf are brought up to date. A glyph of more than 65,535
// points ends the run with "glyph too complex".
int32_t bmp2glf(tracer& tr, uint8_t width, uint8_t height, const uint8_t* bitmap, bewriter& out);

// bmp2glf for callers that must not end the run themselves (the glyf
// builder's worker threads): the n x n bitmap is traced the same way, but a
// glyph beyond TrueType's limits returns kTooComplex, prints nothing and
// appends nothing.
constexpr int32_t kTooComplex = -1;
int32_t traceglf(tracer& tr, uint8_t n, const uint8_t* bitmap, bewriter& out);

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
