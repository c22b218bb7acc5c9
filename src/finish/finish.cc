// SPDX-License-Identifier: MIT
// The finishing pass over a font of kilnfont's layout. Every table is read
// through the checked reader (a short or inconsistent table is refused, never
// read past) and every rebuilt table is written with the big-endian writer.
// Tables the pass does not change (cmap, gasp, name, EBDT) are copied to
// their true length; the rest are rebuilt from what the font holds.
#include "finish/finish.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "finish/finish_int.h"
#include "base/bewriter.h"

namespace {

constexpr uint32_t tag4(const char* s) {
  return uint32_t(uint8_t(s[0])) << 24 | uint32_t(uint8_t(s[1])) << 16 | uint32_t(uint8_t(s[2])) << 8 |
         uint8_t(s[3]);
}

// kilnfont's tables in directory order; a font made with -n lacks the first
// two. The messages name the table a read runs short in.
constexpr int kLayoutTables = 13;
constexpr const char* kLayout[kLayoutTables] = {"EBDT", "EBLC", "OS/2", "cmap", "gasp", "glyf", "head",
                                                "hhea", "hmtx", "loca", "maxp", "name", "post"};
constexpr const char* kBroken[kLayoutTables] = {
    "broken EBDT table", "broken EBLC table", "broken OS/2 table", "broken cmap table", "broken gasp table",
    "broken glyf table", "broken head table", "broken hhea table", "broken hmtx table", "broken loca table",
    "broken maxp table", "broken name table", "broken post table"};

// Seconds from 1904 (head's epoch) to 1970.
constexpr int64_t kEpoch1904 = 2082844800;
// The slant written for a font whose subfamily says Italic or Oblique, in
// degrees (negative: leaning right), and the caret slope that goes with it
// (rise 1000, run 1000 tan 12 degrees).
constexpr int32_t kItalicDegrees = -12;
constexpr int16_t kItalicRun = 213;

struct input {
  fintable t[kLayoutTables];
  bool bitmaps = false;

  const fintable& get(const char* tg) const {
    for (const fintable& x : t)
      if (x.tag == tag4(tg)) return x;
    refuse("internal: table missing");  // the layout check makes this unreachable
  }
};

void read_directory(const uint8_t* in, size_t n, input& font) {
  const bereader r{in, n, "not a font: too short for its table directory", true};
  if (r.u32(0) != 0x00010000) refuse("not a TrueType font");
  const uint16_t count = r.u16(4);
  if (count != 11 && count != 13) refuse("not of kilnfont's layout: it has 11 or 13 tables");
  font.bitmaps = count == 13;
  const int skip = font.bitmaps ? 0 : 2;
  for (int i = 0; i < count; ++i) {
    const uint64_t rec = 12 + 16 * uint64_t(i);
    const int k = i + skip;
    if (r.u32(rec) != tag4(kLayout[k])) refuse("not of kilnfont's layout: other tables or another order");
    const uint32_t at = r.u32(rec + 8), len = r.u32(rec + 12);
    if (!r.has(at, len)) refuse("broken font: a table runs past the end of the file");
    font.t[k] = fintable{tag4(kLayout[k]), in + at, len, kBroken[k]};
  }
}

// The code-to-glyph map of the Windows Unicode subtable (format 4); returns
// the subtable's true length, so cmap is copied without padding.
size_t read_cmap(const fintable& t, uint16_t numGlyphs, std::vector<uint16_t>& map) {
  const bereader r = t.reader();
  const uint16_t count = r.u16(2);
  size_t end = 4 + 8 * size_t(count);
  bool unicode = false;
  map.assign(0x10000, 0);
  for (uint16_t k = 0; k < count; ++k) {
    const uint64_t rec = 4 + 8 * uint64_t(k);
    const uint32_t at = r.u32(rec + 4);
    const uint16_t format = r.u16(at);
    if (format != 0 && format != 4) refuse("not of kilnfont's layout: a cmap subtable of another format");
    const uint16_t len = r.u16(at + 2);
    r.need(at, len);
    end = std::max<size_t>(end, size_t(at) + len);
    if (format != 4 || r.u16(rec) != 3 || r.u16(rec + 2) != 1) continue;
    unicode = true;
    const bereader s{t.d + at, len, t.broken, true};
    const uint32_t segs = s.u16(6) / 2u;
    const uint64_t ends = 14, starts = 16 + 2 * uint64_t(segs), deltas = starts + 2 * segs,
                   ranges = deltas + 2 * segs;
    int32_t prev = -1;  // the last code of the segment before
    for (uint32_t i = 0; i < segs; ++i) {
      const uint16_t hi = s.u16(ends + 2 * i), lo = s.u16(starts + 2 * i);
      const uint16_t delta = s.u16(deltas + 2 * i), ro = s.u16(ranges + 2 * i);
      // Ascending, apart: so the walk visits each code at most once.
      if (lo > hi || int32_t(lo) <= prev) refuse("broken cmap table: segments out of order");
      prev = hi;
      for (uint32_t c = lo; c <= hi; ++c) {
        uint16_t g = 0;
        if (ro == 0) {
          g = uint16_t(c + delta);
        } else {
          g = s.u16(ranges + 2 * i + ro + 2 * uint64_t(c - lo));
          if (g) g = uint16_t(g + delta);
        }
        if (c == 0xFFFF) break;  // the closing segment maps no character
        if (g >= numGlyphs) refuse("broken cmap table: a code maps past the last glyph");
        map[c] = g;
      }
    }
  }
  if (!unicode) refuse("not of kilnfont's layout: no Windows Unicode cmap subtable");
  return end;
}

// The subfamily (name 2) and version (name 5) strings, read from the English
// Windows records (UTF-16, only the ASCII part kept) or, failing those, from
// the Macintosh Roman ones; returns the table's true length.
size_t read_name(const fintable& t, std::string& subfamily, std::string& version) {
  const bereader r = t.reader();
  if (r.u16(0) != 0) refuse("not of kilnfont's layout: name table of format 1");
  const uint16_t count = r.u16(2), storage = r.u16(4);
  size_t end = 6 + 12 * size_t(count);
  r.need(0, end);
  int best2 = 0, best5 = 0;
  for (uint16_t k = 0; k < count; ++k) {
    const uint64_t rec = 6 + 12 * uint64_t(k);
    const uint16_t platform = r.u16(rec), enc = r.u16(rec + 2), lang = r.u16(rec + 4), id = r.u16(rec + 6);
    const uint16_t len = r.u16(rec + 8), off = r.u16(rec + 10);
    r.need(uint64_t(storage) + off, len);
    end = std::max<size_t>(end, size_t(storage) + off + len);
    const int rank = platform == 3 && enc == 1 && lang == 0x409 ? 2 : platform == 1 && enc == 0 && lang == 0 ? 1 : 0;
    if (rank == 0 || (id != 2 && id != 5)) continue;
    int& best = id == 2 ? best2 : best5;
    if (rank <= best) continue;
    best = rank;
    std::string s;
    const size_t step = rank == 2 ? 2 : 1;
    for (size_t i = 0; i + step <= len; i += step) {
      const uint16_t ch = rank == 2 ? r.u16(uint64_t(storage) + off + i) : r.u8(uint64_t(storage) + off + i);
      s.push_back(ch < 0x80 ? char(ch) : '?');
    }
    (id == 2 ? subfamily : version) = s;
  }
  return end;
}

// fontRevision from a version string such as "Version 1.00": the first
// number in it, as 16.16 fixed point; keep when there is none.
uint32_t revision_of(const std::string& v, uint32_t keep) {
  size_t i = 0;
  while (i < v.size() && !(v[i] >= '0' && v[i] <= '9')) ++i;
  if (i == v.size()) return keep;
  uint32_t whole = 0;
  for (; i < v.size() && v[i] >= '0' && v[i] <= '9'; ++i) {
    whole = whole * 10 + uint32_t(v[i] - '0');
    if (whole > 0x7FFF) return keep;
  }
  uint64_t frac = 0, scale = 1;
  if (i < v.size() && v[i] == '.')
    for (++i; i < v.size() && v[i] >= '0' && v[i] <= '9' && scale < 100000; ++i) {
      frac = frac * 10 + uint64_t(v[i] - '0');
      scale *= 10;
    }
  return whole << 16 | uint32_t((frac * 65536 + scale / 2) / scale);
}

bool says_italic(const std::string& s) {
  std::string l;
  for (char c : s) l.push_back(c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c);
  return l.find("italic") != std::string::npos || l.find("oblique") != std::string::npos;
}

// A glyph description read into its points.
struct glyphpts {
  int16_t contours = 0;
  std::vector<uint16_t> ends;
  std::vector<uint8_t> instructions;
  std::vector<uint8_t> flags;  // per point: bit 0 on-curve, bit 6 overlap (first point)
  std::vector<int32_t> x, y;
};

void read_glyph(const bereader& g, glyphpts& p) {
  p.contours = int16_t(g.u16(0));
  if (p.contours < 0) refuse("not of kilnfont's layout: a composite glyph");
  p.ends.resize(size_t(p.contours));
  int32_t last = -1;
  for (int c = 0; c < p.contours; ++c) {
    p.ends[size_t(c)] = g.u16(10 + 2 * uint64_t(c));
    if (int32_t(p.ends[size_t(c)]) < last || p.ends[size_t(c)] == 0xFFFF)
      refuse("broken glyf table: contour ends out of order");
    last = p.ends[size_t(c)];
  }
  const size_t points = size_t(last + 1);
  uint64_t at = 10 + 2 * uint64_t(p.contours);
  const uint16_t ilen = g.u16(at);
  at += 2;
  g.need(at, ilen);
  p.instructions.assign(g.d + at, g.d + at + ilen);
  at += ilen;
  p.flags.clear();
  while (p.flags.size() < points) {
    const uint8_t f = g.u8(at++);
    size_t times = 1;
    if (f & 0x08) times += g.u8(at++);
    if (times > points - p.flags.size()) refuse("broken glyf table: flags repeat past the last point");
    p.flags.insert(p.flags.end(), times, f);
  }
  p.x.resize(points);
  p.y.resize(points);
  for (int axis = 0; axis < 2; ++axis) {
    const uint8_t short_ = axis ? 0x04 : 0x02, same = axis ? 0x20 : 0x10;
    std::vector<int32_t>& v = axis ? p.y : p.x;
    int32_t c = 0;
    for (size_t i = 0; i < points; ++i) {
      const uint8_t f = p.flags[i];
      if (f & short_) {
        const int32_t d = g.u8(at++);
        c += f & same ? d : -d;
      } else if (!(f & same)) {
        c += int16_t(g.u16(at));
        at += 2;
      }
      if (c < -32768 || c > 32767) refuse("not of kilnfont's layout: a point outside the 16-bit range");
      v[i] = c;
    }
  }
  for (uint8_t& f : p.flags) f &= 0x01;
  if (points && (g.u8(10 + 2 * uint64_t(p.contours) + 2 + ilen) & 0x40)) p.flags[0] |= 0x40;
}

// Writes the glyph as a WOFF2 decoder rebuilds it, so that a font made into
// WOFF2 and back has this very glyf table: the box from the points; a flag
// per point, each run of equal flags folded into the first with a count of
// the rest (at most 255; a run of two is folded too, into as many bytes);
// deltas of 1 to 255 in one byte with the sign in the flag, an unchanged
// coordinate in no byte, other deltas in two (they fit: the points were read
// from 16-bit deltas and lie in the 16-bit range); then zeros to a multiple
// of 4.
void write_glyph(const glyphpts& p, finbox& box, bewriter& w) {
  const size_t points = p.x.size();
  box = finbox{};
  box.ink = true;
  if (points) {
    box.xMin = box.xMax = int16_t(p.x[0]);
    box.yMin = box.yMax = int16_t(p.y[0]);
  }
  for (size_t i = 1; i < points; ++i) {
    box.xMin = std::min(box.xMin, int16_t(p.x[i]));
    box.xMax = std::max(box.xMax, int16_t(p.x[i]));
    box.yMin = std::min(box.yMin, int16_t(p.y[i]));
    box.yMax = std::max(box.yMax, int16_t(p.y[i]));
  }
  const size_t start = w.size();
  w.i16(p.contours);  // numberOfContours
  w.i16(box.xMin);    // xMin
  w.i16(box.yMin);    // yMin
  w.i16(box.xMax);    // xMax
  w.i16(box.yMax);    // yMax
  for (uint16_t e : p.ends) w.u16(e);  // endPtsOfContours
  w.u16(uint16_t(p.instructions.size()));                   // instructionLength
  w.bytes(p.instructions.data(), p.instructions.size());  // instructions
  bewriter xs, ys;
  int last = -1, repeats = 0;
  size_t run = 0;  // where the flag byte of the current run is
  int32_t px = 0, py = 0;
  for (size_t i = 0; i < points; ++i) {
    int flag = p.flags[i];
    const int32_t d[2] = {p.x[i] - px, p.y[i] - py};
    for (int axis = 0; axis < 2; ++axis) {
      const int short_ = axis ? 0x04 : 0x02, same = axis ? 0x20 : 0x10;
      bewriter& o = axis ? ys : xs;
      if (d[axis] == 0) {
        flag |= same;
      } else if (d[axis] > -256 && d[axis] < 256) {
        flag |= short_ | (d[axis] > 0 ? same : 0);
        o.u8(uint8_t(d[axis] < 0 ? -d[axis] : d[axis]));
      } else {
        o.i16(int16_t(d[axis]));
      }
    }
    if (flag == last && repeats != 255) {
      w.b[run] |= 0x08;  // REPEAT_FLAG on the run's flag byte
      ++repeats;
    } else {
      if (repeats) w.u8(uint8_t(repeats));  // the finished run's count
      run = w.b.size();
      w.u8(uint8_t(flag));
      repeats = 0;
    }
    last = flag;
    px = p.x[i];
    py = p.y[i];
  }
  if (repeats) w.u8(uint8_t(repeats));
  w.bytes(xs.b.data(), xs.b.size());
  w.bytes(ys.b.data(), ys.b.size());
  while ((w.size() - start) % 4) w.u8(0);
}

// Reads every glyph of glyf through loca and writes it anew into glyf,
// recording each glyph's box and the new offsets.
void refit_glyf(const input& font, uint16_t locaFormat, finfont& f, bewriter& glyf, std::vector<uint32_t>& loca,
                uint16_t& maxPoints, uint16_t& maxContours) {
  const fintable& tg = font.get("glyf");
  const bereader lr = font.get("loca").reader();
  const size_t n = f.numGlyphs;
  f.box.assign(n, finbox{});
  loca.assign(n + 1, 0);
  glyphpts p;
  maxPoints = maxContours = 0;
  const auto offset = [&](size_t i) { return locaFormat ? uint64_t(lr.u32(4 * i)) : 2 * uint64_t(lr.u16(2 * i)); };
  uint64_t from = offset(0);
  for (size_t i = 0; i < n; ++i) {
    const uint64_t to = offset(i + 1);
    if (to < from || to > tg.n) refuse("broken loca table: offsets out of order or past glyf");
    loca[i] = uint32_t(glyf.size());
    if (to > from) {
      read_glyph(bereader{tg.d + from, size_t(to - from), tg.broken, true}, p);
      if (p.contours > 0) {
        write_glyph(p, f.box[i], glyf);
        maxPoints = std::max<uint16_t>(maxPoints, uint16_t(p.x.size()));
        maxContours = std::max<uint16_t>(maxContours, uint16_t(p.contours));
      }
    }
    if (glyf.size() > 0xFFFFFFFCu) refuse("glyf table too large");
    from = to;
  }
  loca[n] = uint32_t(glyf.size());
}

// EBLC with each strike's line metrics taken from its glyphs' metrics and
// its glyph range from its index subtables; returns EBDT's true length (the
// end of its last image).
size_t refit_eblc(const fintable& t, uint16_t numGlyphs, bewriter& w) {
  const bereader r = t.reader();
  if (r.u32(0) != 0x00020000) refuse("not of kilnfont's layout: EBLC of another version");
  const uint32_t sizes = r.u32(4);
  r.need(8, 48 * uint64_t(sizes));
  size_t end = 8 + 48 * size_t(sizes), ebdt = 4;
  w.bytes(t.d, std::min(end, t.n));
  for (uint32_t s = 0; s < sizes; ++s) {
    const uint64_t rec = 8 + 48 * uint64_t(s);
    const uint32_t array = r.u32(rec), bytes = r.u32(rec + 4), subs = r.u32(rec + 8);
    r.need(array, bytes);
    r.need(array, 8 * uint64_t(subs));
    end = std::max<size_t>(end, size_t(array) + bytes);
    int asc = -128, desc = 127, widthMax = 0, minOrigin = 127, minAdvance = 127;
    uint16_t first = 0xFFFF, lastg = 0;
    for (uint32_t k = 0; k < subs; ++k) {
      const uint64_t e = array + 8 * uint64_t(k);
      const uint16_t g0 = r.u16(e), g1 = r.u16(e + 2);
      const uint64_t sub = uint64_t(array) + r.u32(e + 4);
      if (g0 > g1 || g1 >= numGlyphs) refuse("broken EBLC table: a glyph range out of order or past the last glyph");
      if (r.u16(sub) != 2 || r.u16(sub + 2) != 5) refuse("not of kilnfont's layout: EBLC index or image format");
      const uint32_t image = r.u32(sub + 4), size = r.u32(sub + 8);
      ebdt = std::max<size_t>(ebdt, size_t(image) + size_t(size) * (size_t(g1) - g0 + 1));
      const int height = r.u8(sub + 12), width = r.u8(sub + 13);
      const int bx = int8_t(r.u8(sub + 14)), by = int8_t(r.u8(sub + 15)), advance = r.u8(sub + 16);
      asc = std::max(asc, by);
      desc = std::min(desc, by - height);
      widthMax = std::max(widthMax, width);
      minOrigin = std::min(minOrigin, bx);
      minAdvance = std::min(minAdvance, advance - bx - width);
      first = std::min(first, g0);
      lastg = std::max(lastg, g1);
    }
    if (subs == 0) continue;  // no glyphs: nothing to take the metrics from
    const auto clamp8 = [](int v) { return uint8_t(int8_t(std::clamp(v, -128, 127))); };
    // Written as both hori and vert line metrics, as kilnfont writes them.
    for (uint64_t m = rec + 16; m <= rec + 28; m += 12) {
      w.b[m] = clamp8(asc);               // ascender
      w.b[m + 1] = clamp8(desc);          // descender
      w.b[m + 2] = uint8_t(widthMax);     // widthMax
      w.b[m + 6] = clamp8(minOrigin);     // minOriginSB
      w.b[m + 7] = clamp8(minAdvance);    // minAdvanceSB
      w.b[m + 8] = clamp8(asc);           // maxBeforeBL
      w.b[m + 9] = clamp8(desc);          // minAfterBL
    }
    w.put_u16(rec + 40, first);  // startGlyphIndex
    w.put_u16(rec + 42, lastg);  // endGlyphIndex
  }
  r.need(0, end);
  w.bytes(t.d + w.size(), end - w.size());
  return ebdt;
}

struct outtable {
  uint32_t tag;
  std::vector<uint8_t> b;
};

void assemble(std::vector<outtable>& tables, std::vector<uint8_t>& out) {
  const uint32_t n = uint32_t(tables.size());
  bewriter w;
  sfnt_header(w, n);
  uint64_t at = 12 + 16 * uint64_t(n);
  size_t head = 0;
  for (outtable& t : tables) {
    const size_t len = t.b.size();
    t.b.resize((len + 3) & ~size_t(3), 0);
    if (at + t.b.size() > 0xFFFFFFFFu) refuse("finished font too large");
    w.u32(t.tag);                               // tag
    w.u32(sumB32(t.b.data(), t.b.size()));      // checkSum
    w.u32(uint32_t(at));                        // offset
    w.u32(uint32_t(len));                       // length
    if (t.tag == tag4("head")) head = size_t(at);
    at += t.b.size();
  }
  for (const outtable& t : tables) w.bytes(t.b.data(), t.b.size());
  w.put_u32(head + 8, 0xB1B0AFBAu - sumB32(w.b.data(), w.b.size()));  // checkSumAdjustment
  out = std::move(w.b);
}

void finish(const uint8_t* in, size_t n, std::vector<uint8_t>& out, const finish_opts& opts) {
  input font;
  read_directory(in, n, font);
  finfont f;

  const fintable& head = font.get("head");
  const bereader hr = head.reader();
  hr.need(0, 54);
  if (hr.u32(12) != 0x5F0F3CF5) refuse("broken head table: no magic number");
  uint16_t locaFormat = hr.u16(50);
  if (locaFormat > 1) refuse("broken head table: unknown loca format");

  const fintable& maxp = font.get("maxp");
  const bereader mr = maxp.reader();
  mr.need(0, 32);
  if (mr.u32(0) != 0x00010000) refuse("not of kilnfont's layout: maxp of another version");
  f.numGlyphs = mr.u16(4);
  if (f.numGlyphs == 0) refuse("broken maxp table: no glyphs");

  const fintable& hhea = font.get("hhea");
  const bereader hh = hhea.reader();
  hh.need(0, 36);
  const uint16_t nhm = hh.u16(34);
  if (nhm == 0 || nhm > f.numGlyphs) refuse("broken hhea table: numberOfHMetrics");
  const fintable& hmtx = font.get("hmtx");
  const bereader xr = hmtx.reader();
  xr.need(0, 4 * uint64_t(nhm) + 2 * uint64_t(f.numGlyphs - nhm));
  f.advance.resize(f.numGlyphs);
  for (size_t i = 0; i < f.numGlyphs; ++i) f.advance[i] = xr.u16(4 * std::min<size_t>(i, nhm - 1));
  font.get("loca").reader().need(0, (locaFormat ? 4 : 2) * (uint64_t(f.numGlyphs) + 1));

  const fintable& post = font.get("post");
  const bereader pr = post.reader();
  pr.need(0, 32);
  if (pr.u32(0) != 0x00030000) refuse("not of kilnfont's layout: post of another version");

  std::vector<outtable> tables;
  const auto copy = [&](const fintable& t, size_t len) {
    tables.push_back({t.tag, std::vector<uint8_t>(t.d, t.d + len)});
  };

  // glyf first: its boxes feed every extent.
  bewriter glyf;
  std::vector<uint32_t> loca;
  uint16_t maxPoints = 0, maxContours = 0;
  refit_glyf(font, locaFormat, f, glyf, loca, maxPoints, maxContours);
  if (loca.back() > 0x1FFFE) locaFormat = 1;
  bool anyink = false;
  for (const finbox& b : f.box) {
    if (!b.ink) continue;
    if (!anyink) f.all = b;
    anyink = true;
    f.all.xMin = std::min(f.all.xMin, b.xMin);
    f.all.yMin = std::min(f.all.yMin, b.yMin);
    f.all.xMax = std::max(f.all.xMax, b.xMax);
    f.all.yMax = std::max(f.all.yMax, b.yMax);
  }

  std::string subfamily, version;
  const size_t nameLength = read_name(font.get("name"), subfamily, version);
  f.italic = says_italic(subfamily);
  const size_t cmapLength = read_cmap(font.get("cmap"), f.numGlyphs, f.cmap);
  const fintable& gasp = font.get("gasp");
  const size_t gaspLength = 4 + 4 * size_t(gasp.reader().u16(2));
  gasp.reader().need(0, gaspLength);

  if (font.bitmaps) {
    bewriter eblc;
    const size_t ebdtLength = refit_eblc(font.get("EBLC"), f.numGlyphs, eblc);
    font.get("EBDT").reader().need(0, ebdtLength);
    copy(font.get("EBDT"), ebdtLength);
    tables.push_back({tag4("EBLC"), std::move(eblc.b)});
  }

  bewriter os2;
  finish_os2(f, font.get("OS/2"), os2);
  tables.push_back({tag4("OS/2"), std::move(os2.b)});
  copy(font.get("cmap"), cmapLength);
  copy(gasp, gaspLength);
  tables.push_back({tag4("glyf"), std::move(glyf.b)});

  // head: the revision from the version string, the times, the font's box.
  bewriter w;
  w.u32(hr.u32(0));                                  // version
  w.u32(revision_of(version, hr.u32(4)));           // fontRevision
  w.u32(0);                                          // checkSumAdjustment, set once the file is whole
  w.u32(0x5F0F3CF5);                                 // magicNumber
  w.u16(hr.u16(16));                                 // flags
  w.u16(hr.u16(18));                                 // unitsPerEm
  uint64_t created = uint64_t(hr.u32(20)) << 32 | hr.u32(24);
  uint64_t modified = uint64_t(hr.u32(28)) << 32 | hr.u32(32);
  if (opts.stamp >= 0 && (opts.restamp || (created == 0 && modified == 0)))
    created = modified = uint64_t(opts.stamp + kEpoch1904);
  w.u64(created);                                    // created
  w.u64(modified);                                   // modified
  w.i16(f.all.xMin);                                 // xMin
  w.i16(f.all.yMin);                                 // yMin
  w.i16(f.all.xMax);                                 // xMax
  w.i16(f.all.yMax);                                 // yMax
  w.u16(hr.u16(44));                                 // macStyle
  w.u16(hr.u16(46));                                 // lowestRecPPEM
  w.u16(hr.u16(48));                                 // fontDirectionHint
  w.u16(locaFormat);                                 // indexToLocFormat
  w.u16(hr.u16(52));                                 // glyphDataFormat
  tables.push_back({tag4("head"), std::move(w.b)});

  // hhea: the extents from the boxes, each bearing being the box's xMin.
  int32_t minLsb = 0, minRsb = 0, maxExtent = 0;
  uint16_t maxAdvance = 0;
  bool first = true;
  for (size_t i = 0; i < f.numGlyphs; ++i) {
    maxAdvance = std::max(maxAdvance, f.advance[i]);
    const finbox& b = f.box[i];
    if (!b.ink) continue;
    const int32_t rsb = int32_t(f.advance[i]) - b.xMax;
    minLsb = first ? b.xMin : std::min<int32_t>(minLsb, b.xMin);
    minRsb = first ? rsb : std::min(minRsb, rsb);
    maxExtent = first ? b.xMax : std::max<int32_t>(maxExtent, b.xMax);
    first = false;
  }
  w.b.clear();
  w.u32(hh.u32(0));                                // version
  w.u16(hh.u16(4));                                // ascender
  w.u16(hh.u16(6));                                // descender
  w.u16(hh.u16(8));                                // lineGap
  w.u16(maxAdvance);                               // advanceWidthMax
  w.i16(int16_t(minLsb));                          // minLeftSideBearing
  w.i16(int16_t(std::max(minRsb, -32768)));        // minRightSideBearing
  w.i16(int16_t(maxExtent));                       // xMaxExtent
  w.i16(f.italic ? 1000 : 1);                      // caretSlopeRise
  w.i16(f.italic ? kItalicRun : 0);                // caretSlopeRun
  w.u16(hh.u16(22));                               // caretOffset
  w.zeros(8);                                      // reserved
  w.u16(hh.u16(32));                               // metricDataFormat
  w.u16(nhm);                                      // numberOfHMetrics
  tables.push_back({tag4("hhea"), std::move(w.b)});

  // hmtx: advances kept, each bearing the glyph's xMin.
  w.b.clear();
  for (size_t i = 0; i < f.numGlyphs; ++i) {
    if (i < nhm) w.u16(f.advance[i]);  // advanceWidth
    w.i16(f.box[i].xMin);              // lsb
  }
  tables.push_back({tag4("hmtx"), std::move(w.b)});

  w.b.clear();
  for (uint32_t off : loca) locaFormat ? w.u32(off) : w.u16(uint16_t(off / 2));
  tables.push_back({tag4("loca"), std::move(w.b)});

  w.b.clear();
  w.bytes(maxp.d, 32);
  w.put_u16(6, std::max<uint16_t>(maxPoints, 1));    // maxPoints
  w.put_u16(8, std::max<uint16_t>(maxContours, 1));  // maxContours
  tables.push_back({tag4("maxp"), std::move(w.b)});

  copy(font.get("name"), nameLength);

  // post: upright unless the subfamily says otherwise; fixed pitch when
  // every advance is the same.
  bool fixed = true;
  for (uint16_t a : f.advance) fixed = fixed && a == f.advance[0];
  w.b.clear();
  w.u32(0x00030000);                                   // version 3.0
  w.u32(f.italic ? uint32_t(kItalicDegrees * 65536) : 0);  // italicAngle
  w.u16(pr.u16(8));                                    // underlinePosition
  w.u16(pr.u16(10));                                   // underlineThickness
  w.u32(fixed ? 1 : 0);                                // isFixedPitch
  w.bytes(post.d + 16, 16);                            // the memory hints
  tables.push_back({tag4("post"), std::move(w.b)});

  assemble(tables, out);
}

}  // namespace

bool finish_font(const uint8_t* in, size_t n, std::vector<uint8_t>& out, const finish_opts& opts, std::string& err) {
  try {
    finish(in, n, out, opts);
    return true;
  } catch (const read_error& e) {
    err = e.message;
  } catch (const std::bad_alloc&) {
    err = "out of memory";
  }
  return false;
}
