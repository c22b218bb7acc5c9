// SPDX-License-Identifier: MIT
// The simple-glyph encoder's point coding, shared by the encoder's contour
// intake and the tracer, which encodes its runs as it walks them.
#pragma once
#include <cstddef>
#include <cstdint>

#include "base/bewriter.h"

// TrueType simple-glyph flag bits.
constexpr uint8_t X_SHORT_VECTOR = 0x02;
constexpr uint8_t Y_SHORT_VECTOR = 0x04;
constexpr uint8_t X_IS_SAME_OR_POSITIVE = 0x10;
constexpr uint8_t Y_IS_SAME_OR_POSITIVE = 0x20;

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

// Encodes the point (x, y) after (px, py): its flag byte at fl, its deltas
// at xs and ys (16-bit two's-complement differences, as the format stores
// them); advances all three.
inline void encode_point(int32_t x, int32_t y, int32_t px, int32_t py, uint8_t*& fl, uint8_t*& xs, uint8_t*& ys) {
  const int16_t dx = int16_t(uint16_t(uint32_t(x) - uint32_t(px)));
  const int16_t dy = int16_t(uint16_t(uint32_t(y) - uint32_t(py)));
  uint8_t flag = 0;  // ON_CURVE_POINT clear: every point is off-curve
  flag |= encode_delta(dx, X_IS_SAME_OR_POSITIVE, X_SHORT_VECTOR, xs);
  flag |= encode_delta(dy, Y_IS_SAME_OR_POSITIVE, Y_SHORT_VECTOR, ys);
  *fl++ = flag;
}

// Writes the flags fl[0..n) to out with each run of equal flags folded into
// its first byte, REPEAT_FLAG set and a count of the rest after it (at most
// 255; a run of two is folded too, into as many bytes). Returns the bytes
// written, at most n; out has room for n + 1 (the byte after the last may be
// written over). Without branches: the flags of traced outlines follow no
// pattern a branch predictor could learn. The current run's flag byte is at
// r and its count, once it has one, right after.
inline size_t fold_flags(const uint8_t* fl, size_t n, uint8_t* out) {
  constexpr uint8_t REPEAT_FLAG = 0x08;
  ptrdiff_t r = -1;
  int lastflag = -1, repeats = 0;
  for (size_t i = 0; i < n; ++i) {
    const int flag = fl[i];
    const int more = (flag == lastflag) & (repeats != 255);
    const ptrdiff_t next = r + 1 + (repeats > 0);
    r = next - more * (next - r);
    repeats = more * (repeats + 1);
    out[r] = uint8_t(flag | (repeats > 0 ? REPEAT_FLAG : 0));
    out[r + 1] = uint8_t(repeats);  // the run's count, or room the next run takes
    lastflag = flag;
  }
  return size_t(r + 1 + (repeats > 0));
}
