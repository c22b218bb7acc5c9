// SPDX-License-Identifier: MIT
// Reading X bitmap fonts: BDF text and the PCF binary format, either one
// plain or gzip-compressed, into the glyph rows and header values the cell
// rule needs and the properties the font's names come from.
#include <libdeflate.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

#include "base/bereader.h"
#include "bdf/bdf.h"

const char* const kNameProps[10] = {"FOUNDRY", "FAMILY_NAME",    "WEIGHT_NAME", "SLANT",  "SETWIDTH_NAME",
                                    "SPACING", "ADD_STYLE_NAME", "COPYRIGHT",   "NOTICE", "FONT_VERSION"};

std::string fontin::prop(std::string_view key) const {
  for (const auto& [k, v] : props)
    if (k == key) return v;
  return "";
}

namespace {

[[noreturn]] void fail(const std::string& msg) { throw fonterror(msg); }

// The glyph rows a font may take in memory. No real font comes near
// (jksp40, 40 px: 1.2 MB); a hostile one with thousands of glyphs of
// 4096 x 4096 pixels stops here instead of exhausting memory.
constexpr size_t kMaxBits = size_t(256) << 20;

void check_bits(const std::string& path, size_t total) {
  if (total > kMaxBits) fail(path + ": more than 256 MiB of glyph bitmaps");
}

bool naming(std::string_view key) {
  for (const char* k : kNameProps)
    if (key == k) return true;
  return false;
}

void setprop(fontin& f, std::string_view key, std::string value) {
  for (auto& [k, v] : f.props)
    if (k == key) {
      v = std::move(value);
      return;
    }
  f.props.emplace_back(std::string(key), std::move(value));
}

// Where the font's ascent and descent come from: the properties, else the
// bounding box (BDF) or the accelerator table (PCF).
void settle_metrics(fontin& f, bool hasascent, bool hasdescent, bool hasbox, long boxh, long boxyo,
                    const char* boxname) {
  if (hasascent && hasdescent) {
    f.metrics = "FONT_ASCENT " + std::to_string(f.ascent) + " + FONT_DESCENT " + std::to_string(f.descent);
  } else if (hasbox) {
    f.ascent = boxh + boxyo;
    f.descent = -boxyo;
    f.metrics = std::string(boxname) + " height " + std::to_string(boxh) + " from " + std::to_string(boxyo);
  } else {
    fail(f.path + ": neither FONT_ASCENT and FONT_DESCENT nor FONTBOUNDINGBOX: no baseline to place glyphs by");
  }
}

// Without the properties the FONT name's last two fields name the set.
void registry_from_name(fontin& f, const std::string& xlfd) {
  const size_t dash = xlfd.rfind('-');
  if (f.registry.empty() && dash != std::string::npos && dash > 0) {
    const size_t before = xlfd.rfind('-', dash - 1);
    if (before != std::string::npos) {
      f.registry = xlfd.substr(before + 1, dash - before - 1);
      if (f.encoding.empty()) f.encoding = xlfd.substr(dash + 1);
    }
  }
}

// ---- BDF ----

bool space(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

int hexval(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// One line of the text, cut into whitespace-separated words on demand.
struct bdfline {
  std::string_view line;
  size_t pos = 0;

  std::string_view word() {
    while (pos < line.size() && space(line[pos])) ++pos;
    const size_t from = pos;
    while (pos < line.size() && !space(line[pos])) ++pos;
    return line.substr(from, pos - from);
  }

  // The next word as a whole decimal number. Values beyond +-65,535 are no
  // real font's and are refused, so that no later sum can overflow.
  long number(const fontin& f, std::string_view key) {
    const std::string_view t = word();
    size_t k = 0;
    const bool minus = !t.empty() && t[0] == '-';
    if (!t.empty() && (t[0] == '-' || t[0] == '+')) ++k;
    long v = 0;
    bool ok = k < t.size();
    for (; k < t.size() && ok; ++k) {
      ok = t[k] >= '0' && t[k] <= '9';
      v = std::min<long>(v * 10 + (t[k] - '0'), 65536);
    }
    if (!ok || v > 65535)
      fail(f.path + ": bad number \"" + std::string(t) + "\" after " + std::string(key));
    return minus ? -v : v;
  }

  // A property value: the rest of the line without quotes and outer blanks.
  std::string text() {
    std::string v;
    for (char c : line.substr(pos))
      if (c != '"') v += c;
    v.erase(0, v.find_first_not_of(" \t"));
    v.erase(v.find_last_not_of(" \t\r") + 1);
    return v;
  }
};

// The lines of a text as std::getline gives them: cut at each newline, a
// last line without one included.
struct lines {
  std::string_view text;
  size_t pos = 0;
  bool next(std::string_view& line) {
    if (pos >= text.size()) return false;
    const size_t nl = text.find('\n', pos);
    const size_t end = nl == std::string_view::npos ? text.size() : nl;
    line = text.substr(pos, end - pos);
    pos = end + 1;
    return true;
  }
};

}  // namespace

fontin parse_bdf(const std::string& path, std::string_view text) {
  fontin f;
  f.path = path;
  bool started = false, hasascent = false, hasdescent = false, hasbox = false;
  long boxh = 0, boxyo = 0;
  std::string xlfd;
  lines in{text};
  std::string_view line;

  // Header up to the first glyph.
  while (in.next(line)) {
    bdfline ls{line};
    const std::string_view key = ls.word();
    if (key == "STARTFONT") started = true;
    else if (key == "PIXEL_SIZE") f.pixel = ls.number(f, key);
    else if (key == "FONT_ASCENT") f.ascent = ls.number(f, key), hasascent = true;
    else if (key == "FONT_DESCENT") f.descent = ls.number(f, key), hasdescent = true;
    else if (key == "FONTBOUNDINGBOX") {
      ls.number(f, key);
      boxh = ls.number(f, key);
      ls.number(f, key);
      boxyo = ls.number(f, key);
      hasbox = true;
    } else if (key == "CHARSET_REGISTRY") f.registry = ls.text();
    else if (key == "CHARSET_ENCODING") f.encoding = ls.text();
    else if (key == "FONT") xlfd = ls.text();
    else if (key == "CHARS") break;
    else if (naming(key)) setprop(f, key, ls.text());
  }
  // Any other file (text, an image, nothing) would otherwise be taken for
  // a BDF font without glyphs and be refused for what it lacks.
  if (!started) fail(path + ": not a BDF or PCF font");
  registry_from_name(f, xlfd);
  settle_metrics(f, hasascent, hasdescent, hasbox, boxh, boxyo, "FONTBOUNDINGBOX");

  fontglyph g;
  bool inglyph = false;
  while (in.next(line)) {
    bdfline ls{line};
    const std::string_view key = ls.word();
    if (key == "STARTCHAR") g = fontglyph(), inglyph = true;
    else if (!inglyph) continue;
    else if (key == "ENCODING") g.enc = ls.number(f, key);
    else if (key == "DWIDTH") g.dw = ls.number(f, key), g.hasdw = true;
    else if (key == "BBX") {
      g.w = ls.number(f, key), g.h = ls.number(f, key);
      g.xo = ls.number(f, key), g.yo = ls.number(f, key);
      if (g.w < 0 || g.h < 0 || g.w > 4096 || g.h > 4096)
        fail(path + ": BBX of " + std::string(line) + " out of 0..4096");
    } else if (key == "BITMAP") {
      // Rows until ENDCHAR; the first h count, missing ones are blank. Each
      // hex digit gives 4 pixels; any other character gives none.
      const size_t stride = size_t(g.w + 7) / 8;
      g.stride = stride;
      g.at = f.bits.size();
      check_bits(path, g.at + stride * size_t(g.h));
      f.bits.resize(g.at + stride * size_t(g.h), 0);
      const size_t digits = size_t(g.w + 3) / 4;
      long i = 0;
      while (in.next(line)) {
        if (line.substr(0, 7) == "ENDCHAR") break;
        if (i >= g.h) continue;
        uint8_t* row = f.bits.data() + g.at + size_t(i) * stride;
        const size_t n = std::min(digits, line.size());
        for (size_t k = 0; k < n; ++k) {
          const int nib = hexval(line[k]);
          if (nib > 0) row[k / 2] |= uint8_t(k % 2 ? nib : nib << 4);
        }
        ++i;
      }
      f.glyphs.push_back(g);
      g = fontglyph();
      inglyph = false;
    }
  }
  return f;
}

namespace {

// ---- PCF ----

constexpr uint32_t kProperties = 1, kAccelerators = 2, kMetrics = 4, kBitmaps = 8, kEncodings = 32,
                   kBdfAccelerators = 0x100;
constexpr uint32_t kByteMSB = 4, kBitMSB = 8, kCompressedMetrics = 0x100;

// One table of a PCF file: its own byte order, from its format word.
struct pcftable {
  const bereader* rd;
  uint64_t at = 0;
  uint32_t format = 0;
  bool msb() const { return format & kByteMSB; }
  uint32_t u32(uint64_t k) const { return msb() ? rd->u32(at + k) : rd->u32le(at + k); }
  uint16_t u16(uint64_t k) const { return msb() ? rd->u16(at + k) : rd->u16le(at + k); }
  int32_t i32(uint64_t k) const { return int32_t(u32(k)); }
  int16_t i16(uint64_t k) const { return int16_t(u16(k)); }
};

uint8_t reverse_bits(uint8_t b) {
  b = uint8_t((b & 0xF0) >> 4 | (b & 0x0F) << 4);
  b = uint8_t((b & 0xCC) >> 2 | (b & 0x33) << 2);
  return uint8_t((b & 0xAA) >> 1 | (b & 0x55) << 1);
}

// A NUL-terminated string of the properties' string area.
std::string pcfstring(const bereader& r, uint64_t from, uint64_t end, uint64_t off) {
  if (off >= end - from) return "";
  const char* s = reinterpret_cast<const char*>(r.d + from + off);
  return std::string(s, strnlen(s, size_t(end - from - off)));
}

}  // namespace

fontin parse_pcf(const std::string& path, std::string_view data) {
  fontin f;
  f.path = path;
  const std::string broken = path + ": broken PCF file";
  try {
    const bereader r{reinterpret_cast<const uint8_t*>(data.data()), data.size(), "broken"};
    const uint32_t ntables = r.u32le(4);
    if (ntables > 1024) quit("broken");
    // The first table of each type; its format word must repeat the directory's.
    auto find = [&](uint32_t type) -> pcftable {
      for (uint32_t i = 0; i < ntables; ++i) {
        const uint64_t e = 8 + 16 * uint64_t(i);
        if (r.u32le(e) != type) continue;
        // Its recorded size is not checked: some fonts' last table claims
        // more than the file holds. Every read is checked instead.
        const uint64_t off = r.u32le(e + 12);
        const pcftable t{&r, off, r.u32le(off)};
        if (t.format != r.u32le(e + 4)) quit("broken");
        return t;
      }
      return pcftable{&r, 0, ~0u};
    };

    // Properties: names and values (numbers or strings).
    bool hasascent = false, hasdescent = false;
    std::string xlfd;
    if (const pcftable t = find(kProperties); t.format != ~0u) {
      const uint32_t n = t.u32(4);
      if (n > 65536) quit("broken");
      const uint64_t strings = 8 + 9 * uint64_t(n) + ((n & 3) ? 4 - (n & 3) : 0) + 4;
      const uint64_t size = t.u32(strings - 4);
      r.need(t.at + strings, size);
      const uint64_t from = t.at + strings, end = from + size;
      for (uint32_t i = 0; i < n; ++i) {
        const uint64_t p = 8 + 9 * uint64_t(i);
        const std::string name = pcfstring(r, from, end, t.u32(p));
        const bool isstring = r.u8(t.at + p + 4) != 0;
        const uint32_t v = t.u32(p + 5);
        const std::string text = isstring ? pcfstring(r, from, end, v) : std::to_string(int32_t(v));
        auto num = [&] {
          if (isstring || int32_t(v) < -65535 || int32_t(v) > 65535)
            fail(path + ": bad number \"" + text + "\" after " + name);
          return long(int32_t(v));
        };
        if (name == "PIXEL_SIZE") f.pixel = num();
        else if (name == "FONT_ASCENT") f.ascent = num(), hasascent = true;
        else if (name == "FONT_DESCENT") f.descent = num(), hasdescent = true;
        else if (name == "CHARSET_REGISTRY") f.registry = text;
        else if (name == "CHARSET_ENCODING") f.encoding = text;
        else if (name == "FONT") xlfd = text;
        else if (naming(name)) setprop(f, name, text);
      }
    }
    registry_from_name(f, xlfd);

    // The accelerators hold the font's ascent and descent, which the
    // properties usually leave out (a BDF made from the font carries them
    // as FONT_ASCENT and FONT_DESCENT).
    pcftable acc = find(kBdfAccelerators);
    if (acc.format == ~0u) acc = find(kAccelerators);
    if (acc.format != ~0u) {
      if (!hasascent) f.ascent = acc.i32(12), hasascent = true;
      if (!hasdescent) f.descent = acc.i32(16), hasdescent = true;
      if (f.ascent < -65535 || f.ascent > 65535 || f.descent < -65535 || f.descent > 65535) quit("broken");
    }
    settle_metrics(f, hasascent, hasdescent, false, 0, 0, "");

    // Metrics, one per glyph: the BDF's BBX (width right - left, height
    // ascent + descent, offsets left and -descent) and DWIDTH.
    const pcftable mt = find(kMetrics);
    if (mt.format == ~0u) fail(path + ": PCF file without metrics");
    const bool compressed = mt.format & kCompressedMetrics;
    const uint32_t n = compressed ? mt.u16(4) : mt.u32(4);
    r.need(mt.at + (compressed ? 6 : 8), (compressed ? 5 : 12) * uint64_t(n));
    f.glyphs.resize(n);
    size_t total = 0;
    for (uint32_t i = 0; i < n; ++i) {
      long left, right, width, ascent, descent;
      if (compressed) {
        const uint8_t* b = r.d + mt.at + 6 + 5 * uint64_t(i);
        left = b[0] - 0x80L, right = b[1] - 0x80L, width = b[2] - 0x80L, ascent = b[3] - 0x80L, descent = b[4] - 0x80L;
      } else {
        const uint64_t p = 8 + 12 * uint64_t(i);
        left = mt.i16(p), right = mt.i16(p + 2), width = mt.i16(p + 4), ascent = mt.i16(p + 6), descent = mt.i16(p + 8);
      }
      fontglyph& g = f.glyphs[i];
      g.w = right - left;
      g.h = ascent + descent;
      g.xo = left;
      g.yo = -descent;
      g.dw = width;
      g.hasdw = true;
      if (g.w < 0 || g.h < 0 || g.w > 4096 || g.h > 4096)
        fail(path + ": glyph " + std::to_string(i) + " of " + std::to_string(g.w) + " x " + std::to_string(g.h) +
             " pixels out of 0..4096");
      g.at = total;
      total += size_t(g.w + 7) / 8 * size_t(g.h);
      check_bits(path, total);
    }

    // Encodings: a two-byte grid of glyph numbers. A glyph reached from
    // several codes takes the last.
    if (const pcftable t = find(kEncodings); t.format != ~0u) {
      const long min2 = t.i16(4), max2 = t.i16(6), min1 = t.i16(8), max1 = t.i16(10);
      if (min2 < 0 || max2 > 255 || min1 < 0 || max1 > 255 || min2 > max2 || min1 > max1) quit("broken");
      const long cols = max2 - min2 + 1, codes = cols * (max1 - min1 + 1);
      r.need(t.at + 14, 2 * uint64_t(codes));
      for (long k = 0; k < codes; ++k) {
        const uint16_t g = t.u16(14 + 2 * uint64_t(k));
        if (g < n) f.glyphs[g].enc = (min1 + k / cols) << 8 | (min2 + k % cols);
      }
    }

    // Bitmaps: rows padded to the glyph pad, in the table's bit and byte
    // order; turned into MSB-first rows of (w + 7) / 8 bytes.
    const pcftable bt = find(kBitmaps);
    if (bt.format == ~0u) fail(path + ": PCF file without bitmaps");
    if (bt.u32(4) != n) quit("broken");
    const uint64_t offsets = bt.at + 8, data_at = offsets + 4 * uint64_t(n) + 16;
    const uint64_t datalen = bt.u32(8 + 4 * uint64_t(n) + 4 * (bt.format & 3));
    r.need(data_at, datalen);
    const uint64_t pad = uint64_t(1) << (bt.format & 3), unit = uint64_t(1) << (bt.format >> 4 & 3);
    const bool lsbbits = !(bt.format & kBitMSB), swap = bool(bt.format & kByteMSB) != bool(bt.format & kBitMSB);
    // Bytes are swapped in scan units over the whole bitmap area, as X
    // does: byte p of the area is stored at p ^ (unit - 1).
    const uint64_t flip = swap ? unit - 1 : 0;
    if (datalen % unit != 0) quit("broken");
    // In the usual order (MSB first, no swap) the rows are read where they
    // stand, padding and all; otherwise they are turned into rows of their
    // own.
    const bool in_place = !lsbbits && !flip;
    if (in_place) f.in = r.d, f.insize = r.len;
    else f.bits.resize(total);
    for (uint32_t i = 0; i < n; ++i) {
      fontglyph& g = f.glyphs[i];
      const uint64_t padded = (uint64_t(g.w) + 8 * pad - 1) / (8 * pad) * pad;
      const size_t stride = size_t(g.w + 7) / 8;
      const uint64_t off = bt.u32(8 + 4 * uint64_t(i));
      if (off > datalen || padded * uint64_t(g.h) > datalen - off) quit("broken");
      if (in_place) {
        g.at = size_t(data_at + off);
        g.stride = size_t(padded);
        continue;
      }
      g.stride = stride;
      const uint8_t* in = r.d + data_at;
      uint8_t* out = f.bits.data() + g.at;
      for (long y = 0; y < g.h; ++y)
        for (size_t k = 0; k < stride; ++k) {
          const uint8_t b = in[(off + uint64_t(y) * padded + k) ^ flip];
          out[size_t(y) * stride + k] = lsbbits ? reverse_bits(b) : b;
        }
    }
  } catch (const quit_signal&) {
    fail(broken);
  }
  return f;
}

namespace {

// Makes room for at least want bytes in b, keeping its first have bytes.
void grow(inputbytes& b, size_t have, size_t want) {
  std::unique_ptr<uint8_t[]> more(new uint8_t[want]);  // not zeroed: only what is written is read
  if (have) std::memcpy(more.get(), b.data.get(), have);
  b.data = std::move(more);
  b.size = want;
}

}  // namespace

inputbytes read_input(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) fail("cannot open " + path);
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> closer(file, std::fclose);
  inputbytes raw;
  struct stat st;
  grow(raw, 0, fstat(fileno(file), &st) == 0 && S_ISREG(st.st_mode) ? size_t(st.st_size) + 1 : 1 << 16);
  size_t have = 0;
  for (;;) {
    if (have == raw.size) grow(raw, have, 2 * raw.size);
    const size_t got = std::fread(raw.data.get() + have, 1, raw.size - have, file);
    if (got == 0) break;
    have += got;
  }
  if (std::ferror(file)) fail("cannot read " + path);
  raw.size = have;
  const uint8_t* r = raw.data.get();
  if (have < 2 || r[0] != 0x1F || r[1] != 0x8B) return raw;

  // gzip: inflated whole, members one after another, each into the room
  // left after the last. The last four bytes give the (last member's) size
  // modulo 2^32, a good first guess; a member that does not fit is
  // inflated again into a buffer twice the size, up to a limit no font
  // comes near. Each member's CRC and size are checked.
  constexpr size_t kMax = size_t(1) << 30;
  size_t cap = 1 << 16;
  if (have >= 18)
    cap = std::min(std::max<size_t>(cap, size_t(r[have - 4]) | size_t(r[have - 3]) << 8 | size_t(r[have - 2]) << 16 |
                                             size_t(r[have - 1]) << 24),
                   kMax);
  inputbytes out;
  grow(out, 0, cap);
  std::unique_ptr<libdeflate_decompressor, void (*)(libdeflate_decompressor*)> d(libdeflate_alloc_decompressor(),
                                                                                 libdeflate_free_decompressor);
  if (!d) fail(path + ": cannot inflate");
  const size_t total = have;
  size_t at = 0;  // where the next member starts
  have = 0;
  for (;;) {
    size_t used = 0, got = 0;
    const libdeflate_result res =
        libdeflate_gzip_decompress_ex(d.get(), r + at, total - at, out.data.get() + have, out.size - have, &used, &got);
    if (res == LIBDEFLATE_INSUFFICIENT_SPACE) {
      if (out.size >= kMax) fail(path + ": more than 1 GiB inflated");
      grow(out, have, std::min(2 * out.size, kMax));
      continue;
    }
    if (res != LIBDEFLATE_SUCCESS) fail(path + ": damaged gzip data");
    have += got;  // after the members before
    at += used;
    // Another member may follow; anything else after the last is ignored.
    if (total - at < 2 || r[at] != 0x1F || r[at + 1] != 0x8B) break;
  }
  out.size = have;
  return out;
}

fontin read_font(const std::string& path) {
  inputbytes in = read_input(path);
  const std::string_view data(reinterpret_cast<const char*>(in.data.get()), in.size);
  if (data.substr(0, 4) != std::string_view("\1fcp", 4)) return parse_bdf(path, data);
  fontin f = parse_pcf(path, data);
  if (f.in) f.owned = std::move(in.data);  // the rows stay where they were read
  return f;
}
