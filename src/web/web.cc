// SPDX-License-Identifier: MIT
// Pixel fonts from a font's strikes. The input is finished first, so its
// EBLC line metrics are those of its bitmaps; each strike then becomes a
// font of kilnfont's layout without bitmaps (11 tables), whose glyphs are
// the strike's pixels, and that font goes through the finishing pass, which
// derives every box, bearing and extent from the points. Every read goes
// through the checked reader, every table through the big-endian writer.
#include "web/web.h"

#include <fcntl.h>
#include <unistd.h>
#include <dlfcn.h>

#include <algorithm>
#include <cstdio>
#include <new>

#include "base/bereader.h"
#include "base/bewriter.h"

namespace {

[[noreturn]] void refuse(const char* why) { throw read_error{why}; }

constexpr uint32_t tag4(const char* s) {
  return uint32_t(uint8_t(s[0])) << 24 | uint32_t(uint8_t(s[1])) << 16 | uint32_t(uint8_t(s[2])) << 8 |
         uint8_t(s[3]);
}

struct table {
  uint32_t tag = 0;
  const uint8_t* d = nullptr;
  size_t n = 0;
};

// The tables of a finished font, found by tag.
struct sfnt {
  std::vector<table> t;
  const table* find(const char* tg) const {
    for (const table& x : t)
      if (x.tag == tag4(tg)) return &x;
    return nullptr;
  }
  bereader reader(const char* tg) const {
    const table* x = find(tg);
    if (!x) refuse("internal: a finished font lacks a table");
    return bereader{x->d, x->n, "internal: a finished font is short", true};
  }
};

void read_sfnt(const std::vector<uint8_t>& f, sfnt& s) {
  const bereader r{f.data(), f.size(), "internal: a finished font is short", true};
  const uint16_t count = r.u16(4);
  for (uint16_t i = 0; i < count; ++i) {
    const uint64_t rec = 12 + 16 * uint64_t(i);
    const uint32_t at = r.u32(rec + 8), len = r.u32(rec + 12);
    r.need(at, len);
    s.t.push_back(table{r.u32(rec), f.data() + at, len});
  }
}

// The code-to-glyph map of the Windows Unicode subtable (format 4), 0 for
// an unmapped code. The finishing pass has checked the segments already.
void read_cmap(const bereader& r, std::vector<uint16_t>& map) {
  map.assign(0x10000, 0);
  const uint16_t count = r.u16(2);
  for (uint16_t k = 0; k < count; ++k) {
    const uint64_t rec = 4 + 8 * uint64_t(k);
    if (r.u16(rec) != 3 || r.u16(rec + 2) != 1) continue;
    const uint64_t at = r.u32(rec + 4);
    if (r.u16(at) != 4) continue;
    const uint32_t segs = r.u16(at + 6) / 2u;
    const uint64_t ends = at + 14, starts = ends + 2 + 2 * uint64_t(segs), deltas = starts + 2 * uint64_t(segs),
                   ranges = deltas + 2 * uint64_t(segs);
    for (uint32_t i = 0; i < segs; ++i) {
      const uint16_t hi = r.u16(ends + 2 * i), lo = r.u16(starts + 2 * i);
      const uint16_t delta = r.u16(deltas + 2 * i), ro = r.u16(ranges + 2 * i);
      for (uint32_t c = lo; c <= hi && c < 0xFFFF; ++c) {
        if (ro == 0) {
          map[c] = uint16_t(c + delta);
        } else {
          const uint16_t g = r.u16(ranges + 2 * i + ro + 2 * uint64_t(c - lo));
          map[c] = g ? uint16_t(g + delta) : 0;
        }
      }
    }
  }
}

// One strike as EBLC and EBDT give it: each glyph's bitmap, if it has one.
struct strike {
  int size = 0, ascent = 0, descent = 0;
  std::vector<pixelglyph> glyph;  // per glyph id
  std::vector<int> advance;       // per glyph id, in pixels
  std::vector<bool> has;          // whether the strike holds the glyph
};

// Reads strike s. The finishing pass has already refused any index format
// but 2 (one size and metrics for a run of glyphs) and any image format
// but 5 (bit-aligned rows, metrics in EBLC).
void read_strike(const bereader& eblc, const bereader& ebdt, uint32_t s, uint16_t numGlyphs, strike& k) {
  const uint64_t rec = 8 + 48 * uint64_t(s);
  const uint32_t array = eblc.u32(rec), subs = eblc.u32(rec + 8);
  if (eblc.u8(rec + 46) != 1) refuse("a strike with more than one bit per pixel");
  k.size = eblc.u8(rec + 45);
  k.ascent = std::max(0, int(int8_t(eblc.u8(rec + 16))));
  k.descent = std::max(0, -int(int8_t(eblc.u8(rec + 17))));
  k.glyph.assign(numGlyphs, pixelglyph{});
  k.has.assign(numGlyphs, false);
  k.advance.assign(numGlyphs, 0);
  for (uint32_t i = 0; i < subs; ++i) {
    const uint64_t e = array + 8 * uint64_t(i);
    const uint16_t g0 = eblc.u16(e), g1 = eblc.u16(e + 2);
    const uint64_t sub = uint64_t(array) + eblc.u32(e + 4);
    if (g0 > g1 || g1 >= numGlyphs) refuse("broken EBLC table: a glyph range past the last glyph");
    const uint32_t image = eblc.u32(sub + 4), bytes = eblc.u32(sub + 8);
    pixelglyph m;
    m.height = eblc.u8(sub + 12);
    m.width = eblc.u8(sub + 13);
    m.bx = int8_t(eblc.u8(sub + 14));
    m.by = int8_t(eblc.u8(sub + 15));
    const int advance = eblc.u8(sub + 16);
    const uint64_t bits = uint64_t(m.width) * uint64_t(m.height);
    if (bits > 8 * uint64_t(bytes)) refuse("broken EBLC table: an image size too small for its bitmap");
    for (uint32_t g = g0; g <= g1; ++g) {
      const uint64_t at = image + uint64_t(bytes) * (g - g0);
      ebdt.need(at, bytes);
      pixelglyph& p = k.glyph[g];
      p = m;
      p.ink.resize(size_t(bits));
      for (uint64_t b = 0; b < bits; ++b) p.ink[size_t(b)] = ebdt.d[at + b / 8] >> (7 - b % 8) & 1;
      k.advance[g] = advance;
      k.has[g] = true;
    }
  }
}

}  // namespace

void trace_pixels(const pixelglyph& g, std::vector<pixelcontour>& out) {
  out.clear();
  const int w = g.width, h = g.height, vw = w + 1;
  const auto ink = [&](int r, int c) { return r >= 0 && r < h && c >= 0 && c < w && g.ink[size_t(r * w + c)]; };
  // The lattice of pixel corners, (w+1) x (h+1), row j from the top. Each
  // corner holds its outgoing edges as bits: 1 east, 2 south, 4 west, 8
  // north. An edge runs along every side of an inked pixel whose neighbour
  // there is blank, with the ink on its right.
  std::vector<uint8_t> out_edges(size_t(vw) * size_t(h + 1), 0), used(out_edges.size(), 0);
  for (int r = 0; r < h; ++r)
    for (int c = 0; c < w; ++c) {
      if (!ink(r, c)) continue;
      if (!ink(r - 1, c)) out_edges[size_t(r * vw + c)] |= 1;            // top, eastwards
      if (!ink(r, c + 1)) out_edges[size_t(r * vw + c + 1)] |= 2;        // right, southwards
      if (!ink(r + 1, c)) out_edges[size_t((r + 1) * vw + c + 1)] |= 4;  // bottom, westwards
      if (!ink(r, c - 1)) out_edges[size_t((r + 1) * vw + c)] |= 8;      // left, northwards
    }
  static constexpr int dx[4] = {1, 0, -1, 0}, dy[4] = {0, 1, 0, -1};
  for (size_t v0 = 0; v0 < out_edges.size(); ++v0)
    for (int d0 = 0; d0 < 4; ++d0) {
      if (!(out_edges[v0] & (1 << d0)) || (used[v0] & (1 << d0))) continue;
      // Follow the edges, turning right where a corner offers two ways
      // (only where two inked pixels meet at a corner): the choice depends
      // on the edges alone, so each edge lies on exactly one contour.
      std::vector<int> vs, ds;
      size_t v = v0;
      int d = d0;
      do {
        used[v] |= uint8_t(1 << d);
        vs.push_back(int(v));
        ds.push_back(d);
        v = size_t(int(v) + dy[d] * vw + dx[d]);
        const int turns[3] = {(d + 1) % 4, d, (d + 3) % 4};
        int next = -1;
        for (int t : turns)
          if (out_edges[v] & (1 << t)) {
            next = t;
            break;
          }
        d = next;  // every corner reached has an edge out: ink on the right goes on
      } while (!(v == v0 && d == d0));
      // The corners: where the direction changes.
      pixelcontour pc;
      const size_t n = vs.size();
      for (size_t i = 0; i < n; ++i) {
        if (ds[i] == ds[(i + n - 1) % n]) continue;
        const int c = vs[i] % vw, j = vs[i] / vw;
        pc.x.push_back(g.bx + c);
        pc.y.push_back(g.by - j);
      }
      out.push_back(std::move(pc));
    }
}

namespace {

// The size put into the names: " 16" after the family, "16" in the
// PostScript name; written in the record's own encoding (UTF-16 for
// Unicode and Windows, one byte per character otherwise).
std::string encoded(const std::string& ascii, bool wide) {
  std::string s;
  for (char c : ascii) {
    if (wide) s.push_back('\0');
    s.push_back(c);
  }
  return s;
}

// The name table with the size in the family: names 1 and 16 get " S",
// names 3 and 4 too after the family they start with, name 6 gets "S"
// before its first '-'. Other records are kept. Also returns the family as
// UTF-8, from the English Windows record (or the Macintosh Roman one).
void rename(const bereader& r, int size, bewriter& w, std::string& family) {
  const uint16_t count = r.u16(2), storage = r.u16(4);
  struct rec {
    uint16_t platform, enc, lang, id;
    std::string s;
  };
  std::vector<rec> recs;
  for (uint16_t k = 0; k < count; ++k) {
    const uint64_t at = 6 + 12 * uint64_t(k);
    rec x{r.u16(at), r.u16(at + 2), r.u16(at + 4), r.u16(at + 6), {}};
    const uint16_t len = r.u16(at + 8), off = r.u16(at + 10);
    r.need(uint64_t(storage) + off, len);
    x.s.assign(reinterpret_cast<const char*>(r.d) + storage + off, len);
    recs.push_back(std::move(x));
  }
  const std::string digits = std::to_string(size);
  const std::vector<rec> before = recs;
  for (rec& x : recs) {
    const bool wide = x.platform == 0 || x.platform == 3;
    const rec* fam = nullptr;
    for (const rec& y : before)
      if (y.id == 1 && y.platform == x.platform && y.enc == x.enc && y.lang == x.lang) fam = &y;
    if (x.id == 1 || x.id == 16 || ((x.id == 3 || x.id == 4) && fam && x.s.compare(0, fam->s.size(), fam->s) == 0)) {
      const size_t at = x.id == 1 || x.id == 16 ? x.s.size() : fam->s.size();
      x.s.insert(at, encoded(" " + digits, wide));
    } else if (x.id == 6) {
      size_t at = x.s.find(encoded("-", wide));
      while (wide && at != std::string::npos && at % 2) at = x.s.find(encoded("-", wide), at + 1);
      x.s.insert(at == std::string::npos ? x.s.size() : at, encoded(digits, wide));
    }
  }
  int best = 0;
  for (const rec& x : recs) {
    if (x.id != 1) continue;
    const int rank = x.platform == 3 && x.lang == 0x409 ? 2 : x.platform == 1 && x.enc == 0 && x.lang == 0 ? 1 : 0;
    if (rank <= best) continue;
    best = rank;
    family.clear();
    for (size_t i = 0; i < x.s.size(); i += rank == 2 ? 2 : 1) {
      uint32_t c = uint8_t(x.s[i]);
      if (rank == 2) {
        if (i + 1 >= x.s.size()) break;
        c = c << 8 | uint8_t(x.s[i + 1]);
        if (c >= 0xD800 && c < 0xDC00 && i + 3 < x.s.size()) {
          const uint32_t lo = uint32_t(uint8_t(x.s[i + 2])) << 8 | uint8_t(x.s[i + 3]);
          if (lo >= 0xDC00 && lo < 0xE000) c = 0x10000 + ((c - 0xD800) << 10) + (lo - 0xDC00), i += 2;
        }
      } else if (c >= 0x80) {
        c = '?';
      }
      if (c < 0x80) {
        family.push_back(char(c));
      } else if (c < 0x800) {
        family += {char(0xC0 | c >> 6), char(0x80 | (c & 0x3F))};
      } else if (c < 0x10000) {
        family += {char(0xE0 | c >> 12), char(0x80 | (c >> 6 & 0x3F)), char(0x80 | (c & 0x3F))};
      } else {
        family += {char(0xF0 | c >> 18), char(0x80 | (c >> 12 & 0x3F)), char(0x80 | (c >> 6 & 0x3F)),
                   char(0x80 | (c & 0x3F))};
      }
    }
  }
  w.u16(0);                           // format
  w.u16(count);                       // count
  w.u16(uint16_t(6 + 12 * count));    // stringOffset
  size_t off = 0;
  for (const rec& x : recs) {
    if (off + x.s.size() > 0xFFFF) refuse("name table too large with the size in the names");
    w.u16(x.platform);                // platformID
    w.u16(x.enc);                     // encodingID
    w.u16(x.lang);                    // languageID
    w.u16(x.id);                      // nameID
    w.u16(uint16_t(x.s.size()));      // length
    w.u16(uint16_t(off));             // stringOffset
    off += x.s.size();
  }
  for (const rec& x : recs) w.bytes(x.s.data(), x.s.size());
}

// v * num / den (den > 0) rounded to the nearest whole number, halves away
// from zero. In integers, so the commands need no maths library.
int64_t round_div(int64_t v, int64_t num, int64_t den) {
  const int64_t p = v * num;
  return p >= 0 ? (2 * p + den) / (2 * den) : -((-2 * p + den) / (2 * den));
}

// A value of the input's em in the pixel font's units.
int16_t scaled(int v, int fromEm, int toEm) { return int16_t(round_div(v, toEm, fromEm)); }

// The pixel font of strike k, in kilnfont's layout without bitmaps, before
// finishing: boxes, bearings and extents are left to the finishing pass.
void build(const sfnt& f, const strike& k, uint16_t numGlyphs, std::vector<uint8_t>& out, std::string& family) {
  const int em = k.size * kPixelUnits;
  const bereader head = f.reader("head"), hhea = f.reader("hhea"), hmtx = f.reader("hmtx"), os2 = f.reader("OS/2"),
                 post = f.reader("post"), maxp = f.reader("maxp");
  const int inEm = head.u16(18);
  if (inEm < 16) refuse("broken head table: unitsPerEm");
  const uint16_t nhm = hhea.u16(34);
  const int asc = k.ascent * kPixelUnits, desc = k.descent * kPixelUnits;

  bewriter glyf, loca, hmtxw;
  std::vector<pixelcontour> contours;
  for (uint32_t g = 0; g < numGlyphs; ++g) {
    loca.u32(uint32_t(glyf.size()));
    // Advances in whole pixels: the bitmap's own, or the outline's rounded.
    const int inAdvance = hmtx.u16(4 * uint64_t(std::min<uint32_t>(g, nhm - 1u)));
    const int advance =
        (k.has[g] ? k.advance[g] : int(round_div(inAdvance, k.size, inEm))) * kPixelUnits;
    if (k.has[g]) trace_pixels(k.glyph[g], contours);
    if (!k.has[g] || contours.empty()) {
      hmtxw.u16(uint16_t(advance));
      hmtxw.i16(0);
      continue;
    }
    if (contours.size() > 0x7FFF) refuse("a glyph with too many contours");
    glyf.i16(int16_t(contours.size()));  // numberOfContours
    glyf.zeros(8);                       // the box, which the finishing pass derives
    uint32_t points = 0;
    for (const pixelcontour& c : contours) {
      points += uint32_t(c.x.size());
      if (points > 0xFFFF) refuse("a glyph with too many points");
      glyf.u16(uint16_t(points - 1));  // endPtsOfContours
    }
    glyf.u16(0);                                       // instructionLength
    for (uint32_t i = 0; i < points; ++i) glyf.u8(1);  // flags: on the curve, two-byte deltas
    for (int axis = 0; axis < 2; ++axis) {
      int32_t prev = 0;
      for (const pixelcontour& c : contours)
        for (size_t i = 0; i < c.x.size(); ++i) {
          const int32_t v = (axis ? c.y[i] : c.x[i]) * kPixelUnits;
          glyf.i16(int16_t(v - prev));
          prev = v;
        }
    }
    glyf.pad4();
    hmtxw.u16(uint16_t(advance));
    hmtxw.i16(0);
  }
  loca.u32(uint32_t(glyf.size()));

  struct outtable {
    const char* tag;
    std::vector<uint8_t> b;
  };
  std::vector<outtable> tables;
  const auto copy = [&](const char* tg) {
    const table* t = f.find(tg);
    if (!t) refuse("internal: a finished font lacks a table");
    return std::vector<uint8_t>(t->d, t->d + t->n);
  };

  // OS/2: the design values in the new units, the line at whole pixels and
  // marked as the one to use.
  std::vector<uint8_t> o = copy("OS/2");
  os2.need(0, 96);
  bewriter ow;
  ow.b = o;
  for (uint64_t at = 10; at <= 28; at += 2) ow.put_u16(at, uint16_t(scaled(int16_t(os2.u16(at)), inEm, em)));
  ow.put_u16(26, kPixelUnits);                                                              // yStrikeoutSize
  ow.put_u16(28, uint16_t(int16_t(round_div(int16_t(os2.u16(28)), k.size, inEm) * kPixelUnits)));
  ow.put_u16(62, uint16_t(os2.u16(62) | 0x80));  // fsSelection: USE_TYPO_METRICS
  ow.put_u16(68, uint16_t(asc));                 // sTypoAscender
  ow.put_u16(70, uint16_t(-desc));               // sTypoDescender
  ow.put_u16(72, 0);                             // sTypoLineGap
  ow.put_u16(74, uint16_t(asc));                 // usWinAscent
  ow.put_u16(76, uint16_t(desc));                // usWinDescent
  tables.push_back({"OS/2", std::move(ow.b)});
  tables.push_back({"cmap", copy("cmap")});
  tables.push_back({"gasp", copy("gasp")});
  tables.push_back({"glyf", std::move(glyf.b)});

  bewriter hw;
  hw.b = copy("head");
  head.need(0, 54);
  hw.put_u16(18, uint16_t(em));         // unitsPerEm
  hw.put_u16(46, uint16_t(k.size));     // lowestRecPPEM: the strike's size
  hw.put_u16(50, 1);                    // indexToLocFormat: long offsets
  tables.push_back({"head", std::move(hw.b)});

  bewriter hh;
  hh.b = copy("hhea");
  hhea.need(0, 36);
  hh.put_u16(4, uint16_t(asc));         // ascender
  hh.put_u16(6, uint16_t(-desc));       // descender
  hh.put_u16(8, 0);                     // lineGap
  hh.put_u16(34, numGlyphs);            // numberOfHMetrics: one per glyph
  tables.push_back({"hhea", std::move(hh.b)});
  tables.push_back({"hmtx", std::move(hmtxw.b)});
  tables.push_back({"loca", std::move(loca.b)});
  maxp.need(0, 32);
  tables.push_back({"maxp", copy("maxp")});
  bewriter nw;
  rename(f.reader("name"), k.size, nw, family);
  tables.push_back({"name", std::move(nw.b)});

  // post: an underline one pixel thick, one pixel below the baseline.
  bewriter pw;
  pw.b = copy("post");
  post.need(0, 32);
  pw.put_u16(8, uint16_t(-kPixelUnits));  // underlinePosition
  pw.put_u16(10, kPixelUnits);            // underlineThickness
  tables.push_back({"post", std::move(pw.b)});

  // The directory, in kilnfont's order, which the finishing pass reads.
  bewriter w;
  const uint32_t n = uint32_t(tables.size());
  sfnt_header(w, n);
  uint64_t at = 12 + 16 * uint64_t(n);
  for (outtable& t : tables) {
    const size_t len = t.b.size();
    t.b.resize((len + 3) & ~size_t(3), 0);
    if (at + t.b.size() > 0xFFFFFFFFu) refuse("pixel font too large");
    w.u32(tag4(t.tag));                            // tag
    w.u32(sumB32(t.b.data(), t.b.size()));         // checkSum
    w.u32(uint32_t(at));                           // offset
    w.u32(uint32_t(len));                          // length
    at += t.b.size();
  }
  for (const outtable& t : tables) w.bytes(t.b.data(), t.b.size());
  out = std::move(w.b);
}

// The WOFF2 encoder's two calls, taken from its library when the first web
// font is packed rather than linked: a linked library (and the C++ runtime
// it brings) would be loaded at every start of every command that can make
// web fonts, a few milliseconds, for the few runs that do. The calls take
// and give plain bytes and sizes only.
struct woff2enc {
  size_t (*max_size)(const uint8_t* data, size_t length) = nullptr;
  bool (*convert)(const uint8_t* data, size_t length, uint8_t* result, size_t* result_length) = nullptr;
};

const woff2enc& load_woff2enc() {
  static const woff2enc e = [] {
    woff2enc r;
    void* lib = dlopen(KILN_WOFF2ENC_SONAME, RTLD_NOW | RTLD_LOCAL);
    if (!lib) return r;
    // woff2::MaxWOFF2CompressedSize(const uint8_t*, size_t) and
    // woff2::ConvertTTFToWOFF2(const uint8_t*, size_t, uint8_t*, size_t*).
    r.max_size = reinterpret_cast<decltype(r.max_size)>(dlsym(lib, "_ZN5woff222MaxWOFF2CompressedSizeEPKhm"));
    r.convert = reinterpret_cast<decltype(r.convert)>(dlsym(lib, "_ZN5woff217ConvertTTFToWOFF2EPKhmPhPm"));
    if (!r.max_size || !r.convert) r = woff2enc();
    return r;
  }();
  return e;
}

// WOFF2 at the encoder's best compression, glyf and loca transformed. The
// encoder as Debian builds it reports every font it compresses on standard
// error, which a command's only messages are kept for: that descriptor goes
// to /dev/null for the call.
bool to_woff2(const std::vector<uint8_t>& ttf, std::vector<uint8_t>& woff2) {
  const woff2enc& enc = load_woff2enc();
  if (!enc.convert) refuse("the WOFF2 encoder library " KILN_WOFF2ENC_SONAME " cannot be loaded");
  size_t len = enc.max_size(ttf.data(), ttf.size());
  woff2.resize(len);
  std::fflush(stderr);
  const int saved = dup(2), null = open("/dev/null", O_WRONLY | O_CLOEXEC);
  if (saved >= 0 && null >= 0) dup2(null, 2);
  const bool ok = enc.convert(ttf.data(), ttf.size(), woff2.data(), &len);
  if (saved >= 0 && null >= 0) dup2(saved, 2);
  if (saved >= 0) close(saved);
  if (null >= 0) close(null);
  woff2.resize(ok ? len : 0);
  return ok;
}

void make(const uint8_t* in, size_t n, const finish_opts& opts, webset& set) {
  std::vector<uint8_t> fin;
  std::string err;
  if (!finish_font(in, n, fin, opts, err)) throw std::string(err);
  sfnt f;
  read_sfnt(fin, f);
  const table* eblc = f.find("EBLC");
  const table* ebdt = f.find("EBDT");
  if (!eblc || !ebdt) refuse("no strikes: the font has no bitmaps to make web fonts of");
  const uint16_t numGlyphs = f.reader("maxp").u16(4);
  read_cmap(f.reader("cmap"), set.cmap);
  const bereader er{eblc->d, eblc->n, "broken EBLC table", true}, dr{ebdt->d, ebdt->n, "broken EBDT table", true};
  const uint32_t sizes = er.u32(4);
  std::vector<strike> strikes(sizes);
  for (uint32_t s = 0; s < sizes; ++s) read_strike(er, dr, s, numGlyphs, strikes[s]);
  std::sort(strikes.begin(), strikes.end(), [](const strike& a, const strike& b) { return a.size < b.size; });
  for (const strike& k : strikes) {
    if (k.size == 0 || (!set.fonts.empty() && set.fonts.back().size == k.size)) continue;
    webfont wf;
    wf.size = k.size;
    wf.ascent = k.ascent;
    wf.descent = k.descent;
    std::vector<uint8_t> raw;
    build(f, k, numGlyphs, raw, wf.family);
    if (!finish_font(raw.data(), raw.size(), wf.ttf, opts, err)) throw std::string("pixel font: " + err);
    if (!to_woff2(wf.ttf, wf.woff2)) refuse("the WOFF2 encoder fails on a pixel font");
    set.fonts.push_back(std::move(wf));
  }
}

}  // namespace

bool make_web_fonts(const uint8_t* in, size_t n, const finish_opts& opts, webset& out, std::string& err) {
  out = webset{};
  try {
    make(in, n, opts, out);
    return true;
  } catch (const read_error& e) {
    err = e.message;
  } catch (const std::string& e) {
    err = e;
  } catch (const std::bad_alloc&) {
    err = "out of memory";
  }
  return false;
}
