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
#include <new>

#include "finish/finish_int.h"
#include "trace/glfenc.h"
#include "base/bewriter.h"
#include "base/threads.h"

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
    font.t[k] = fintable{tag4(kLayout[k]), in + at, len, kBroken[k], r.u32(rec + 4)};
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

// Scratch room for one glyph's flags and coordinate bytes, kept from glyph
// to glyph: each buffer only grows, and is written through raw pointers
// within the room it has.
struct glyphscratch {
  std::vector<uint8_t> flags;  // per point, as read, then as written
  std::vector<uint8_t> fold;   // the written flags with their runs folded
  std::vector<uint8_t> xs, ys; // the written coordinate bytes of each axis

  static uint8_t* room(std::vector<uint8_t>& v, size_t n) {
    if (v.size() < n) v.resize(n);
    return v.data();
  }
};

// One axis of a glyph, read and written anew.
struct axisout {
  int16_t lo = 0, hi = 0;  // the least and the greatest coordinate
  size_t used = 0;         // bytes written
};

// Reads the points' deltas on one axis (flag bits short_ and same) from q
// on, sums them into the coordinates (kept in the 16-bit range) and writes
// each delta anew at out, its new flag bits replacing the read ones in fl.
// Returns where the axis's bytes end. The traced outlines' flags follow no
// pattern a branch predictor could learn, so the delta is picked by
// arithmetic, wherever two bytes are there to look at.
template <uint8_t short_, uint8_t same>
const uint8_t* refit_axis(const bereader& g, const uint8_t* q, uint8_t* fl, size_t points, uint8_t* out,
                          axisout& ax) {
  const uint8_t* const end = g.d + g.len;
  uint8_t* const out0 = out;
  int32_t c = 0, mn = 32767, mx = -32768;
  for (size_t i = 0; i < points; ++i) {
    const uint32_t f = fl[i];
    const int32_t sh = (f & short_) != 0, sm = (f & same) != 0;
    const int32_t lng = (1 - sh) & (1 - sm);  // a two-byte delta
    int32_t d = 0;
    if (end - q >= 2) {
      const int32_t b0 = q[0], b1 = q[1];
      const int32_t neg = sm - 1;  // all ones when a short delta is negative
      const int32_t small = (b0 ^ neg) - neg;
      const int32_t word = int16_t(uint16_t(b0 << 8 | b1));
      d = (small & -sh) | (word & -lng);
      q += sh + 2 * lng;
    } else if (sh) {
      if (q >= end) g.fail();
      d = sm ? *q : -int32_t(*q);
      ++q;
    } else if (lng) {
      g.fail();
    }
    c += d;
    if (c < -32768 || c > 32767) refuse("not of kilnfont's layout: a point outside the 16-bit range");
    mn = std::min(mn, c);
    mx = std::max(mx, c);
    fl[i] = uint8_t((f & ~uint32_t(short_ | same)) | encode_delta(int16_t(d), same, short_, out));
  }
  ax.lo = int16_t(points ? mn : 0);
  ax.hi = int16_t(points ? mx : 0);
  ax.used = size_t(out - out0);
  return q;
}

// Reads one glyph description of g (the description's own bytes) and
// writes it to w as a WOFF2 decoder rebuilds it, so that a font made into
// WOFF2 and back has this very glyf table:
// - the box from the points;
// - a flag per point, each run of equal flags folded into the first with a
//   count of the rest (at most 255; a run of two is folded too, into as
//   many bytes);
// - deltas of 1 to 255 in one byte with the sign in the flag, an unchanged
//   coordinate in no byte, other deltas in two;
// - zeros to a multiple of 4.
// The points are not changed, so each delta is the one read; only its
// coding may change. Returns the number of points; box.ink is set.
size_t refit_glyph(const bereader& g, glyphscratch& k, finbox& box, uint16_t& contours, bewriter& w) {
  const int16_t nc = int16_t(g.u16(0));
  if (nc < 0) refuse("not of kilnfont's layout: a composite glyph");
  contours = uint16_t(nc);
  int32_t last = -1;
  for (int c = 0; c < nc; ++c) {
    const uint16_t e = g.u16(10 + 2 * uint64_t(c));
    if (int32_t(e) < last || e == 0xFFFF) refuse("broken glyf table: contour ends out of order");
    last = e;
  }
  const size_t points = size_t(last + 1);
  const uint64_t ilenat = 10 + 2 * uint64_t(nc);
  const uint16_t ilen = g.u16(ilenat);
  g.need(ilenat + 2, ilen);

  // The flags as read, runs unfolded.
  uint64_t at = ilenat + 2 + ilen;
  uint8_t* fl = glyphscratch::room(k.flags, points);
  for (size_t i = 0; i < points;) {
    const uint8_t f = g.u8(at++);
    size_t times = 1;
    if (f & 0x08) times += g.u8(at++);
    if (times > points - i) refuse("broken glyf table: flags repeat past the last point");
    if (times == 1) fl[i] = f;  // the tracer's flags come one by one
    else std::memset(fl + i, f, times);
    i += times;
  }

  // Each axis: its deltas read, summed into the box (and kept in the 16-bit
  // range) and written anew, the new flag bits or-ed into the flag.
  const uint8_t* q = g.d + at;
  axisout ax[2];
  q = refit_axis<0x02, 0x10>(g, q, fl, points, glyphscratch::room(k.xs, 2 * points), ax[0]);
  refit_axis<0x04, 0x20>(g, q, fl, points, glyphscratch::room(k.ys, 2 * points), ax[1]);
  int16_t lo[2] = {ax[0].lo, ax[1].lo}, hi[2] = {ax[0].hi, ax[1].hi};
  size_t used[2] = {ax[0].used, ax[1].used};
  box = finbox{lo[0], lo[1], hi[0], hi[1], true};

  // The flags written: on-curve kept, overlap kept on the first point
  // only, runs folded.
  const uint8_t overlap = points ? uint8_t(fl[0] & 0x40) : 0;
  for (size_t i = 0; i < points; ++i) fl[i] &= 0x37;
  if (points) fl[0] |= overlap;
  uint8_t* const fold0 = glyphscratch::room(k.fold, points + 1);
  const size_t folded = fold_flags(fl, points, fold0);
  const size_t start = w.b.size();
  w.i16(nc);         // numberOfContours
  w.i16(box.xMin);   // xMin
  w.i16(box.yMin);   // yMin
  w.i16(box.xMax);   // xMax
  w.i16(box.yMax);   // yMax
  w.bytes(g.d + 10, 2 * size_t(nc) + 2 + ilen);  // endPtsOfContours, instructionLength, instructions
  w.bytes(fold0, folded);                         // flags
  w.bytes(k.xs.data(), used[0]);                  // xCoordinates
  w.bytes(k.ys.data(), used[1]);                  // yCoordinates
  while ((w.b.size() - start) % 4) w.u8(0);
  return points;
}

// The glyphs first..end-1 of glyf, re-encoded into out, with what they
// give the tables after glyf. A part may run on a worker, so it keeps its
// failure for the caller instead of throwing it.
struct glyfpart {
  size_t first = 0, end = 0;
  bewriter* out = nullptr;
  std::vector<uint32_t> at;  // per glyph and one past: offset from the part's start in out
  uint16_t maxPoints = 0, maxContours = 0;
  const char* error = nullptr;
};

void refit_part(const input& font, uint16_t locaFormat, finfont& f, glyfpart& part) noexcept {
  try {
    const fintable& tg = font.get("glyf");
    const bereader lr = font.get("loca").reader();
    const auto offset = [&](size_t i) { return locaFormat ? uint64_t(lr.u32(4 * i)) : 2 * uint64_t(lr.u16(2 * i)); };
    bewriter& w = *part.out;
    const uint64_t base = w.size();
    part.at.resize(part.end - part.first + 1);
    glyphscratch k;
    uint64_t from = offset(part.first);
    for (size_t i = part.first; i < part.end; ++i) {
      const uint64_t to = offset(i + 1);
      if (to < from || to > tg.n) refuse("broken loca table: offsets out of order or past glyf");
      part.at[i - part.first] = uint32_t(w.size() - base);
      // A glyph without contours keeps no bytes: it has no outline.
      const bereader g{tg.d + from, size_t(to - from), tg.broken, true};
      if (to > from && int16_t(g.u16(0)) != 0) {
        uint16_t contours = 0;
        const size_t points = refit_glyph(g, k, f.box[i], contours, w);
        part.maxPoints = std::max<uint16_t>(part.maxPoints, uint16_t(points));
        part.maxContours = std::max<uint16_t>(part.maxContours, contours);
      }
      if (w.size() - base > 0xFFFFFFFCu) refuse("glyf table too large");
      from = to;
    }
    part.at.back() = uint32_t(w.size() - base);
  } catch (const read_error& e) {
    part.error = e.message;
  } catch (const std::bad_alloc&) {
    part.error = "out of memory";
  }
}

// Reads every glyph of glyf through loca and writes it anew to glyf (the
// end of w), recording each glyph's box and the new offsets. With a second
// core, the second half of the glyphs is done by a worker into a buffer of
// its own, appended after the first; a failure is reported as the glyphs
// one after another would meet it.
void refit_glyf(const input& font, uint16_t locaFormat, finfont& f, bewriter& glyf, std::vector<uint32_t>& loca,
                uint16_t& maxPoints, uint16_t& maxContours) {
  const size_t n = f.numGlyphs;
  f.box.assign(n, finbox{});
  const size_t base = glyf.b.size();
  constexpr size_t kAlone = 512;  // fewer glyphs are not worth a thread
  const bool split = n >= kAlone && usable_cores() > 1;
  bewriter rest;
  glyfpart parts[2];
  parts[0].end = parts[1].first = split ? n / 2 : n;
  parts[1].end = n;
  parts[0].out = &glyf;
  parts[1].out = &rest;
  taskgroup helper;
  bool given = false;
  if (split) {
    rest.reserve(font.get("glyf").n / 2 + n * 4);
    try {
      given = helper.spawn([&font, locaFormat, &f, &parts] { refit_part(font, locaFormat, f, parts[1]); });
    } catch (const std::bad_alloc&) {
    }
  }
  refit_part(font, locaFormat, f, parts[0]);
  helper.wait();
  if (!given && parts[0].error == nullptr && parts[1].first < n) refit_part(font, locaFormat, f, parts[1]);
  for (const glyfpart& p : parts)
    if (p.error) refuse(p.error);

  loca.assign(n + 1, 0);
  for (size_t i = 0; i < parts[0].end; ++i) loca[i] = parts[0].at[i - parts[0].first];
  const uint32_t first_size = uint32_t(glyf.b.size() - base);
  for (size_t i = parts[1].first; i < n; ++i) loca[i] = first_size + parts[1].at[i - parts[1].first];
  glyf.bytes(rest.b.data(), rest.b.size());
  if (glyf.b.size() - base > 0xFFFFFFFCu) refuse("glyf table too large");
  loca[n] = uint32_t(glyf.b.size() - base);
  maxPoints = std::max(parts[0].maxPoints, parts[1].maxPoints);
  maxContours = std::max(parts[0].maxContours, parts[1].maxContours);
}

// For glyphs already in their finished encoding, which glyf keeps as they
// are: each glyph's box, points and contours read from its header, loca's
// offsets taken over.
void keep_glyf(const input& font, uint16_t locaFormat, finfont& f, std::vector<uint32_t>& loca, uint16_t& maxPoints,
               uint16_t& maxContours) {
  const size_t n = f.numGlyphs;
  const fintable& tg = font.get("glyf");
  const bereader lr = font.get("loca").reader();
  f.box.assign(n, finbox{});
  loca.assign(n + 1, 0);
  maxPoints = maxContours = 0;
  uint64_t from = locaFormat ? lr.u32(0) : 2 * uint64_t(lr.u16(0));
  if (from != 0) refuse("broken loca table: offsets out of order or past glyf");
  // The headers lie hundreds of bytes apart, too far for the hardware to
  // guess: each is fetched a few glyphs ahead.
  constexpr size_t kAhead = 8;
  for (size_t i = 0; i < n; ++i) {
    const uint64_t to = locaFormat ? lr.u32(4 * (i + 1)) : 2 * uint64_t(lr.u16(2 * (i + 1)));
    if (to < from || to > tg.n) refuse("broken loca table: offsets out of order or past glyf");
    loca[i + 1] = uint32_t(to);
    if (i + kAhead < n) {
      const uint64_t ahead = locaFormat ? lr.u32(4 * (i + kAhead)) : 2 * uint64_t(lr.u16(2 * (i + kAhead)));
      if (ahead < tg.n) __builtin_prefetch(tg.d + ahead);
    }
    const bereader g{tg.d + from, size_t(to - from), tg.broken, true};
    if (to > from && int16_t(g.u16(0)) > 0) {
      const uint16_t nc = g.u16(0);
      f.box[i] = finbox{int16_t(g.u16(2)), int16_t(g.u16(4)), int16_t(g.u16(6)), int16_t(g.u16(8)), true};
      maxContours = std::max(maxContours, nc);
      maxPoints = std::max<uint16_t>(maxPoints, uint16_t(g.u16(10 + 2 * uint64_t(nc - 1)) + 1));
    }
    from = to;
  }
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

// The sum of a table's bytes padded with zeros to a whole word.
uint32_t sum_padded(const uint8_t* d, size_t len) {
  uint32_t sum = sumB32(d, len & ~size_t(3));
  if (len % 4) {
    uint8_t tail[4] = {0, 0, 0, 0};
    std::memcpy(tail, d + (len & ~size_t(3)), len % 4);
    sum += sumB32(tail, 4);
  }
  return sum;
}

// The finished font, table by table in directory order: the tables the
// pass writes go into one buffer, whose first bytes are the directory's
// room, filled in last; the tables it keeps as they are stay where they are
// in the input, and the font is the pieces one after another.
struct outfont {
  struct rec {
    uint32_t tag = 0;
    size_t at = 0, len = 0;         // in the font
    size_t own = 0;                 // where a written table starts in w (a kept one's padding)
    const uint8_t* kept = nullptr;  // the input's bytes of a kept table
    bool summed = false;            // sum holds its checksum
    uint32_t sum = 0;
  };
  bewriter w;
  rec recs[kLayoutTables];
  uint32_t count = 0;
  size_t size = 0;  // bytes of the font so far

  void open(const char* tg) { recs[count] = rec{tag4(tg), size, 0, w.b.size(), nullptr, false, 0}; }
  void close() {
    rec& r = recs[count];
    r.len = w.b.size() - r.own;
    while ((w.b.size() - r.own) % 4) w.u8(0);  // padded from its own start: w holds only some tables
    size += w.b.size() - r.own;
    if (size > 0xFFFFFFFFu) refuse("finished font too large");
    ++count;
  }
  // A table of the input kept as it is, to its true length; the zeros that
  // pad it to a whole word go into w. With trusted set (the input is this
  // process's own, see glyphs_final), a table kept whole keeps the
  // checksum the directory gives it.
  void copy(const fintable& t, size_t len, bool trusted) {
    recs[count] = rec{t.tag, size, len, w.b.size(), t.d, trusted && len == t.n, t.sum};
    w.zeros((4 - len % 4) % 4);
    size += (len + 3) & ~size_t(3);
    if (size > 0xFFFFFFFFu) refuse("finished font too large");
    ++count;
  }
  // The directory, each table's checksum, head's checkSumAdjustment, and
  // the font's pieces in order.
  void finish(finished_font& out) {
    bewriter dir;
    sfnt_header(dir, count);
    uint32_t total = 0;
    size_t headat = 0;
    for (uint32_t i = 0; i < count; ++i) {
      const rec& r = recs[i];
      const uint32_t sum = r.summed ? r.sum
                           : r.kept   ? sum_padded(r.kept, r.len)
                                      : sumB32(w.b.data() + r.own, (r.len + 3) & ~size_t(3));
      total += sum;
      dir.u32(r.tag);              // tag
      dir.u32(sum);                // checkSum
      dir.u32(uint32_t(r.at));     // offset
      dir.u32(uint32_t(r.len));    // length
      if (r.tag == tag4("head")) headat = r.own;
    }
    std::memcpy(w.b.data(), dir.b.data(), dir.b.size());
    // The tables are contiguous and padded, so the file's sum is the
    // directory's plus the tables'.
    total += sumB32(dir.b.data(), dir.b.size());
    w.put_u32(headat + 8, 0xB1B0AFBAu - total);  // checkSumAdjustment

    out.own = std::move(w.b);
    out.pieces.clear();
    out.size = size;
    size_t own = 0;  // written bytes not yet in a piece
    for (uint32_t i = 0; i < count; ++i) {
      const rec& r = recs[i];
      if (!r.kept) continue;
      if (r.own > own) out.pieces.push_back(finished_font::piece{nullptr, own, r.own - own});
      out.pieces.push_back(finished_font::piece{r.kept, 0, r.len});
      own = r.own;  // its padding comes next, from w
    }
    if (out.own.size() > own) out.pieces.push_back(finished_font::piece{nullptr, own, out.own.size() - own});
  }
};

// The size of OS/2 as finish_os2 writes it (version 4).
constexpr size_t kOS2Size = 96;

void finish(const uint8_t* in, size_t n, finished_font& out, const finish_opts& opts) {
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

  std::string subfamily, version;
  const size_t nameLength = read_name(font.get("name"), subfamily, version);
  f.italic = says_italic(subfamily);
  const size_t cmapLength = read_cmap(font.get("cmap"), f.numGlyphs, f.cmap);
  const fintable& gasp = font.get("gasp");
  const size_t gaspLength = 4 + 4 * size_t(gasp.reader().u16(2));
  gasp.reader().need(0, gaspLength);
  bewriter eblc;
  size_t ebdtLength = 0;
  if (font.bitmaps) {
    ebdtLength = refit_eblc(font.get("EBLC"), f.numGlyphs, eblc);
    font.get("EBDT").reader().need(0, ebdtLength);
  }

  // The tables in directory order. Room for what the pass writes is taken
  // once: the glyphs re-encoded (a byte a point more at most) unless they
  // are kept, and the small tables (loca may double); a larger font grows
  // the buffer.
  outfont o;
  o.w.reserve((opts.glyphs_final ? 0 : n + n / 4) + 12 * uint64_t(f.numGlyphs) + 4096);
  o.w.zeros(12 + 16 * (font.bitmaps ? 13 : 11));
  o.size = o.w.b.size();
  if (font.bitmaps) {
    o.copy(font.get("EBDT"), ebdtLength, opts.glyphs_final);
    o.open("EBLC");
    o.w.bytes(eblc.b.data(), eblc.b.size());
    o.close();
  }
  // OS/2 needs the glyphs' boxes: its room now, its bytes once glyf is done.
  o.open("OS/2");
  const size_t os2at = o.w.b.size();
  o.w.zeros(kOS2Size);
  o.close();
  o.copy(font.get("cmap"), cmapLength, opts.glyphs_final);
  o.copy(gasp, gaspLength, opts.glyphs_final);

  // glyf: every glyph re-encoded, its box feeding every extent.
  std::vector<uint32_t> loca;
  uint16_t maxPoints = 0, maxContours = 0;
  if (opts.glyphs_final) {
    keep_glyf(font, locaFormat, f, loca, maxPoints, maxContours);
    o.copy(font.get("glyf"), loca.back(), opts.glyphs_final);
  } else {
    o.open("glyf");
    refit_glyf(font, locaFormat, f, o.w, loca, maxPoints, maxContours);
    o.close();
  }
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

  bewriter os2;
  finish_os2(f, font.get("OS/2"), os2);
  if (os2.b.size() != kOS2Size) refuse("internal: OS/2 of another size");
  std::memcpy(o.w.b.data() + os2at, os2.b.data(), kOS2Size);

  // head: the revision from the version string, the times, the font's box.
  bewriter& w = o.w;
  o.open("head");
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
  o.close();

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
  o.open("hhea");
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
  o.close();

  // hmtx: advances kept, each bearing the glyph's xMin.
  o.open("hmtx");
  for (size_t i = 0; i < f.numGlyphs; ++i) {
    if (i < nhm) w.u16(f.advance[i]);  // advanceWidth
    w.i16(f.box[i].xMin);              // lsb
  }
  o.close();

  o.open("loca");
  for (uint32_t off : loca) locaFormat ? w.u32(off) : w.u16(uint16_t(off / 2));
  o.close();

  o.open("maxp");
  const size_t maxpat = w.b.size();
  w.bytes(maxp.d, 32);
  w.put_u16(maxpat + 6, std::max<uint16_t>(maxPoints, 1));    // maxPoints
  w.put_u16(maxpat + 8, std::max<uint16_t>(maxContours, 1));  // maxContours
  o.close();

  o.copy(font.get("name"), nameLength, opts.glyphs_final);

  // post: upright unless the subfamily says otherwise; fixed pitch when
  // every advance is the same.
  bool fixed = true;
  for (uint16_t a : f.advance) fixed = fixed && a == f.advance[0];
  o.open("post");
  w.u32(0x00030000);                                   // version 3.0
  w.u32(f.italic ? uint32_t(kItalicDegrees * 65536) : 0);  // italicAngle
  w.u16(pr.u16(8));                                    // underlinePosition
  w.u16(pr.u16(10));                                   // underlineThickness
  w.u32(fixed ? 1 : 0);                                // isFixedPitch
  w.bytes(post.d + 16, 16);                            // the memory hints
  o.close();

  o.finish(out);
}

}  // namespace

void finished_font::flatten(std::vector<uint8_t>& font) const {
  font.resize(size);
  size_t at = 0;
  for (const piece& p : pieces) {
    std::memcpy(font.data() + at, bytes(p), p.len);
    at += p.len;
  }
}

bool finish_font(const uint8_t* in, size_t n, finished_font& out, const finish_opts& opts, std::string& err) {
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

bool finish_font(const uint8_t* in, size_t n, std::vector<uint8_t>& out, const finish_opts& opts, std::string& err) {
  finished_font f;
  if (!finish_font(in, n, f, opts, err)) return false;
  try {
    f.flatten(out);
    return true;
  } catch (const std::bad_alloc&) {
    err = "out of memory";
  }
  return false;
}
