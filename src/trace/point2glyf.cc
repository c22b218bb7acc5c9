// Simple-glyph encoder: contours of off-curve points in, one TrueType glyph
// description out. Every point gets its own flag byte (no repeats) and every
// coordinate is a delta from the previous point, so the bytes stay exactly
// predictable from the points.
#include <cstring>

#include "driver/quit.h"
#include "tables/bewriter.h"
#include "trace/trace.h"

namespace {

// TrueType simple-glyph flag bits.
constexpr uint8_t X_SHORT_VECTOR = 0x02;
constexpr uint8_t Y_SHORT_VECTOR = 0x04;
constexpr uint8_t X_IS_SAME_OR_POSITIVE = 0x10;
constexpr uint8_t Y_IS_SAME_OR_POSITIVE = 0x20;

// Every outline sits in the same cell: the box of every glyph header.
constexpr int16_t kBoxXMin = 0, kBoxYMin = -140, kBoxXMax = 999, kBoxYMax = 899;

// Places the outline in the em: lowers every traced y by this much.
constexpr int32_t kYShift = 100;

// Encodes one delta, returns the flag bits for its axis and appends 0, 1 or
// 2 bytes at out (advancing it). same/short_ are the axis's two flag bits.
// The short case is written without branches on the sign (the traced
// directions change too often to predict): the byte is stored even for a
// zero delta and kept only when the delta is not zero, which the room
// reserved per point allows.
inline uint8_t encode_delta(int16_t d, uint8_t same, uint8_t short_, uint8_t*& out) {
  const unsigned a = unsigned(d < 0 ? -d : d);
  if (a <= 255) {
    *out = uint8_t(a);
    out += a != 0;
    return uint8_t((a != 0 ? short_ : same) | (d > 0 ? same : 0));
  }
  out = be16(out, uint16_t(d));  // a big-endian int16
  return 0;
}

template <class T>
void grow_to(std::vector<T>& v, size_t n) {
  if (v.size() < n) v.resize(n);
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
    // 16-bit two's-complement differences, as the format stores them.
    const int16_t dx = int16_t(uint16_t(uint32_t(p.x) - uint32_t(px)));
    const int16_t dy = int16_t(uint16_t(uint32_t(p.y) - uint32_t(py)));
    uint8_t flag = 0;  // ON_CURVE_POINT clear: every point is off-curve
    flag |= encode_delta(dx, X_IS_SAME_OR_POSITIVE, X_SHORT_VECTOR, xs);
    flag |= encode_delta(dy, Y_IS_SAME_OR_POSITIVE, Y_SHORT_VECTOR, ys);
    *fl++ = flag;
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

  const size_t start = out.size();
  out.i16(int16_t(g.numberOfContours));  // numberOfContours
  out.i16(kBoxXMin);                     // xMin
  out.i16(kBoxYMin);                     // yMin
  out.i16(kBoxXMax);                     // xMax
  out.i16(kBoxYMax);                     // yMax
  for (uint16_t c = 0; c < g.numberOfContours; ++c) out.u16(g.endPtsOfContours[c]);  // endPtsOfContours
  out.u16(g.instructionLength);                    // instructionLength (no instructions)
  out.bytes(g.flags.data(), g.pointTotal);         // flags
  out.bytes(g.xCoordinates.data(), g.xByteCount);  // xCoordinates
  out.bytes(g.yCoordinates.data(), g.yByteCount);  // yCoordinates
  const size_t len = out.size() - start;
  out.zeros((4 - len % 4) % 4);
  return int32_t(out.size() - start);
}
