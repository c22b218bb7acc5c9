// SPDX-License-Identifier: MIT
// UTF-8 to Shift-JIS and UTF-16BE for the name table. The UTF-8 is decoded
// here, so that the handling of malformed input is our own and the same for
// both targets; each well-formed character is then encoded alone: in UTF-16BE
// here (it has every character), in Shift-JIS by iconv, which tells whether
// CP932 has it.
#include "tables/textconv.h"

#include <cstddef>
#include <cstring>

textconv::textconv() : sjis(iconv_open("CP932", "UTF-8")) {}

textconv::textconv(ascii_t) : sjis(iconv_t(-1)), ascii_only(true) {}

textconv::~textconv() {
  if (sjis != iconv_t(-1)) iconv_close(sjis);
}

namespace {

// Length of the well-formed UTF-8 sequence at s[0..n), or 0 when s[0] does
// not start one (stray continuation byte, overlong form, surrogate, value
// beyond U+10FFFF, or a sequence cut short).
size_t utf8_seqlen(const uint8_t* s, size_t n) {
  const uint8_t b = s[0];
  if (b < 0x80) return 1;
  size_t len;
  uint8_t lo = 0x80, hi = 0xBF;  // allowed range of the second byte
  if (b >= 0xC2 && b <= 0xDF) {
    len = 2;
  } else if (b >= 0xE0 && b <= 0xEF) {
    len = 3;
    if (b == 0xE0) lo = 0xA0;       // no overlong three-byte forms
    else if (b == 0xED) hi = 0x9F;  // no UTF-16 surrogates
  } else if (b >= 0xF0 && b <= 0xF4) {
    len = 4;
    if (b == 0xF0) lo = 0x90;       // no overlong four-byte forms
    else if (b == 0xF4) hi = 0x8F;  // nothing beyond U+10FFFF
  } else {
    return 0;
  }
  if (n < len) return 0;
  if (s[1] < lo || s[1] > hi) return 0;
  for (size_t k = 2; k < len; ++k)
    if (s[k] < 0x80 || s[k] > 0xBF) return 0;
  return len;
}

// UTF-16BE of one well-formed character (len bytes of UTF-8) into out: two
// bytes, or four (a surrogate pair) beyond the BMP. Every character has
// one, exactly as glibc's UTF-16BE gives it.
size_t utf16_one(const uint8_t* ch, size_t len, uint8_t* out) {
  static constexpr uint8_t kLead[5] = {0, 0x7F, 0x1F, 0x0F, 0x07};  // value bits of the first byte
  uint32_t c = ch[0] & kLead[len];
  for (size_t k = 1; k < len; ++k) c = c << 6 | (ch[k] & 0x3F);
  if (c < 0x10000) {
    out[0] = uint8_t(c >> 8);
    out[1] = uint8_t(c);
    return 2;
  }
  c -= 0x10000;
  const uint32_t hi = 0xD800 | c >> 10, lo = 0xDC00 | (c & 0x3FF);
  out[0] = uint8_t(hi >> 8);
  out[1] = uint8_t(hi);
  out[2] = uint8_t(lo >> 8);
  out[3] = uint8_t(lo);
  return 4;
}

// Converts one well-formed character into out (room for 8 bytes). Returns
// the bytes produced, or 0 when the target has no such character.
size_t conv_one(iconv_t cd, const uint8_t* ch, size_t len, uint8_t* out) {
  if (len == 1) {  // CP932 keeps ASCII as it is, and needs no call for it
    out[0] = ch[0];
    return 1;
  }
  if (cd == iconv_t(-1)) return 0;  // ASCII alone was expected
  char in[4];
  std::memcpy(in, ch, len);
  char* ip = in;
  size_t il = len;
  char* op = reinterpret_cast<char*>(out);
  size_t ol = 8;
  const size_t r = iconv(cd, &ip, &il, &op, &ol);
  if (r == size_t(-1) || il != 0) {
    iconv(cd, nullptr, nullptr, nullptr, nullptr);  // back to the initial state
    return 0;
  }
  return 8 - ol;
}

}  // namespace

int32_t convert_from_utf8(textconv& tc, uint32_t conversion, const char* src, int32_t& srcLen, char* dst,
                          int32_t& dstLen, int32_t& state, char substitute) {
  (void)state;  // CP932 and UTF-16BE carry no shift state
  const bool sjis = conversion == kConvShiftJIS;
  const size_t room = dstLen > 0 ? size_t(dstLen) : 0;
  const size_t n = srcLen > 0 ? size_t(srcLen) : 0;
  srcLen = 0;
  dstLen = 0;
  if (sjis ? !tc.usable() : conversion != kConvUnicode) return -1;
  auto one = [&tc, sjis](const uint8_t* ch, size_t len, uint8_t* out) {
    return sjis ? conv_one(tc.sjis, ch, len, out) : utf16_one(ch, len, out);
  };

  const uint8_t* s = reinterpret_cast<const uint8_t*>(src);
  // The substitute is the character whose code is its byte value, so it is
  // converted like any other (0x1A -> 1A in CP932, 00 1A in UTF-16).
  const uint8_t sub = uint8_t(substitute);
  uint8_t subutf8[2];
  size_t sublen;
  if (sub < 0x80) {
    subutf8[0] = sub;
    sublen = 1;
  } else {
    subutf8[0] = uint8_t(0xC0 | sub >> 6);
    subutf8[1] = uint8_t(0x80 | (sub & 0x3F));
    sublen = 2;
  }

  size_t pos = 0, out = 0;
  uint8_t buf[8];
  while (pos < n) {
    size_t len = utf8_seqlen(s + pos, n - pos);
    size_t got = len ? one(s + pos, len, buf) : 0;
    if (got == 0) {
      // Malformed byte (consume just it) or a character the target lacks.
      if (len == 0) len = 1;
      got = one(subutf8, sublen, buf);
    }
    // Stop at a character that does not fit whole (or a substitute the
    // target cannot hold either).
    if (got == 0 || got > room - out) break;
    std::memcpy(dst + out, buf, got);
    out += got;
    pos += len;
  }
  srcLen = int32_t(pos);
  dstLen = int32_t(out);
  return 0;
}
