// SPDX-License-Identifier: MIT
// Simple-glyph encoder: contours of off-curve points in, one TrueType glyph
// description out. Every point gets its own flag byte (no repeats) and every
// coordinate is a delta from the previous point, so the bytes stay exactly
// predictable from the points.
#include <cstring>

#include "base/quit.h"
#include "base/bewriter.h"
#include "trace/glfenc.h"
#include "trace/trace.h"

namespace {

// Every outline sits in the same cell: the box of every glyph header.
constexpr int16_t kBoxXMin = 0, kBoxYMin = -140, kBoxXMax = 999, kBoxYMax = 899;

template <class T>
void grow_to(std::vector<T>& v, size_t n) {
  if (v.size() < n) v.resize(n);
}

// Copies the first n bytes of v to p (n may be 0 for a vector never used).
uint8_t* put_bytes(uint8_t* p, const std::vector<uint8_t>& v, size_t n) {
  if (n) std::memcpy(p, v.data(), n);
  return p + n;
}

}  // namespace

void reset_glyf(tracer& tr) {
  glfrec& g = tr.glyf;
  g.numberOfContours = 0;
  g.instructionLength = 0;
  g.xByteCount = 0;
  g.yByteCount = 0;
  g.pointTotal = 0;
  g.prevX = 0;
  g.prevY = 0;
  g.flagBytes = 0;
}

void point2glyf(tracer& tr, int32_t count) {
  glfrec& g = tr.glyf;
  if (count < 0) count = 0;
  if (size_t(count) > tr.points.size()) count = int32_t(tr.points.size());  // only points that exist
  const uint32_t first = g.pointTotal;
  const uint64_t total = uint64_t(first) + uint32_t(count);
  if (total > kMaxGlyphPoints || g.numberOfContours >= kMaxGlyphContours) quit("glyph too complex");

  // Room for this contour: one flag and at most two bytes per axis per point.
  grow_to(g.flags, size_t(total));
  grow_to(g.xCoordinates, size_t(g.xByteCount) + 2 * size_t(count));
  grow_to(g.yCoordinates, size_t(g.yByteCount) + 2 * size_t(count));
  grow_to(g.endPtsOfContours, size_t(g.numberOfContours) + 1);

  uint8_t* fl = g.flags.data() + first;
  uint8_t* xs = g.xCoordinates.data() + g.xByteCount;
  uint8_t* ys = g.yCoordinates.data() + g.yByteCount;
  uint8_t* const xs0 = xs;
  uint8_t* const ys0 = ys;
  int32_t px = g.prevX, py = g.prevY;
  for (int32_t i = 0; i < count; ++i) {
    glfpoint& p = tr.points[size_t(i)];
    p.y -= kYShift;
    encode_point(p.x, p.y, px, py, fl, xs, ys);
    px = p.x;
    py = p.y;
  }
  g.prevX = px;
  g.prevY = py;
  g.xByteCount += uint32_t(xs - xs0);
  g.yByteCount += uint32_t(ys - ys0);
  g.pointTotal = first + uint32_t(count);
  // The last point's index over the whole glyph; an empty first contour
  // would give -1, which wraps exactly as the 16-bit field stores it.
  g.endPtsOfContours[g.numberOfContours] = uint16_t(g.pointTotal - 1);
  g.numberOfContours++;
}

int32_t outputglyf(tracer& tr, bewriter& out) {
  glfrec& g = tr.glyf;
  if (g.numberOfContours == 0) return 0;
  if (g.numberOfContours > g.maxContours) g.maxContours = g.numberOfContours;
  if (g.pointTotal > g.maxPoints) g.maxPoints = uint16_t(g.pointTotal);

  // One resize, then the fields through a pointer: this runs once per glyph.
  // Folded flags take at most a byte a point, so the unfolded length (and
  // a byte more for the folding's overrun) is room enough for both forms.
  const size_t raw = 12 + 2 * size_t(g.numberOfContours) + g.pointTotal + g.xByteCount + g.yByteCount;
  const size_t start = out.b.size();
  out.b.resize(start + raw + 4);
  uint8_t* const p0 = out.b.data() + start;
  uint8_t* p = p0;
  p = be16(p, g.numberOfContours);  // numberOfContours
  if (g.finished) {
    p = be16(p, uint16_t(g.xMin));  // xMin
    p = be16(p, uint16_t(g.yMin));  // yMin
    p = be16(p, uint16_t(g.xMax));  // xMax
    p = be16(p, uint16_t(g.yMax));  // yMax
  } else {
    p = be16(p, uint16_t(kBoxXMin));  // xMin
    p = be16(p, uint16_t(kBoxYMin));  // yMin
    p = be16(p, uint16_t(kBoxXMax));  // xMax
    p = be16(p, uint16_t(kBoxYMax));  // yMax
  }
  for (uint16_t c = 0; c < g.numberOfContours; ++c) p = be16(p, g.endPtsOfContours[c]);  // endPtsOfContours
  p = be16(p, g.instructionLength);  // instructionLength (no instructions)
  if (g.flagBytes) p = put_bytes(p, g.flags, g.flagBytes);  // flags: folded by the tracer
  else if (g.finished) p += fold_flags(g.flags.data(), g.pointTotal, p);
  else p = put_bytes(p, g.flags, g.pointTotal);
  p = put_bytes(p, g.xCoordinates, g.xByteCount);  // xCoordinates
  p = put_bytes(p, g.yCoordinates, g.yByteCount);  // yCoordinates
  const size_t used = size_t(p - p0), len = (used + 3) & ~size_t(3);
  std::memset(p, 0, len - used);  // padding to a multiple of 4
  out.b.resize(start + len);
  return int32_t(len);
}
