// SPDX-License-Identifier: MIT
// Conversion of name strings from UTF-8 to the encodings of the name table's
// record groups: Shift-JIS through glibc iconv, UTF-16BE directly.
#pragma once
#include <iconv.h>

#include <cstdint>

// The encodings a string can be converted to.
constexpr uint32_t kConvShiftJIS = 11;  // Microsoft Shift-JIS (CP932)
constexpr uint32_t kConvUnicode = 15;   // UTF-16, big-endian, surrogate pairs beyond the BMP

// The iconv descriptor for Shift-JIS, opened with the value and closed when
// it goes out of scope: one is opened per name table, not per string.
// UTF-16BE needs no table and is encoded here.
struct textconv {
  iconv_t sjis;             // UTF-8 -> CP932
  bool ascii_only = false;  // no descriptor: the strings are ASCII, which CP932 keeps as it is
  textconv();
  // For strings known to be ASCII alone: nothing is opened (the converter's
  // tables take a fraction of a millisecond to load). Any other character
  // becomes the substitute.
  struct ascii_t {};
  explicit textconv(ascii_t);
  // Whether Shift-JIS can be produced.
  bool usable() const { return ascii_only || sjis != iconv_t(-1); }
  ~textconv();
  textconv(const textconv&) = delete;
  textconv& operator=(const textconv&) = delete;
};

// Converts srcLen bytes of UTF-8 at src into the encoding `conversion`
// (kConvShiftJIS or kConvUnicode), writing at most dstLen bytes to dst: the
// converted text alone, no byte-order mark, no terminator.
// - A character the target lacks, and each byte that does not start a
//   well-formed UTF-8 sequence, becomes the character `substitute` (0x1A in
//   Shift-JIS, U+001A in UTF-16).
// - Output stops after the last whole character that fits dstLen.
// On return srcLen is the number of source bytes consumed and dstLen the
// number of bytes written (0 if nothing fitted). `state` is for stateful
// encodings; both of these are stateless and leave it unchanged.
// Returns 0, or -1 for an unknown conversion or an encoding glibc could not
// open (then nothing is written).
int32_t convert_from_utf8(textconv& tc, uint32_t conversion, const char* src, int32_t& srcLen, char* dst,
                          int32_t& dstLen, int32_t& state, char substitute);
