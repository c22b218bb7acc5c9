// glyf holds one traced outline per glyph; loca gives where each one starts
// (long format: 32-bit offsets, not halved).
#include <cstdio>
#include <new>

#include "driver/quit.h"
#include "tables/tables.h"
#include "trace/trace.h"

namespace {

// The glyph descriptions stream out through the writer: it spills to the
// font file whenever this much is buffered, so the buffer (and its pages)
// is reused from glyph to glyph instead of holding megabytes of glyf.
constexpr size_t kGlyfSpill = size_t(64) << 10;
// Room reserved before tracing: the spill size plus the largest glyph a
// 255-pixel bitmap can give, so that appending never reallocates.
constexpr size_t kGlyfReserve = kGlyfSpill + (size_t(1) << 20);

// The strike to trace glyph code from: the first (largest) that holds a
// bitmap for it, whether or not that bitmap has ink; -1 when none does.
int strike_for(const glyphsrc& src, uint16_t code) {
  for (int s = 0; s < src.nstrikes && s < kMaxStrikes; ++s)
    if (src.uni2bno[size_t(s)][code] != kNoBitmap) return s;
  return -1;
}

}  // namespace

void build_glyf(fontctx& ctx, bewriter& w) {
  const uint64_t start = w.size();
  try {
    w.reserve(start + kGlyfReserve);
  } catch (const std::bad_alloc&) {
    quit("cannot malloc");
  }
  std::printf("malloc ok\n");

  ctx.maxPoints = 1;
  ctx.maxContours = 1;
  std::vector<GLYPH>& glyphs = ctx.src.glyphs;
  try {
    // Glyph 0, the fallback glyph, never has an outline.
    if (!glyphs.empty()) glyphs[0].len = 0;
    for (size_t i = 1; i < glyphs.size(); ++i) {
      const int s = strike_for(ctx.src, glyphs[i].code);
      int32_t len = 0;
      if (s >= 0) {
        const uint8_t n = ctx.src.pt[s];
        len = bmp2glf(ctx.tr, n, n, ctx.src.bitmap(s, ctx.src.uni2bno[size_t(s)][glyphs[i].code]), w);
      }
      glyphs[i].len = uint32_t(len);
      if (w.size() - start > 0xFFFFFFFFu) quit("glyf table too large");
      if (w.b.size() >= kGlyfSpill) w.spill();
      if (ctx.tr.glyf.maxPoints > ctx.maxPoints) ctx.maxPoints = ctx.tr.glyf.maxPoints;
      if (ctx.tr.glyf.maxContours > ctx.maxContours) ctx.maxContours = ctx.tr.glyf.maxContours;
    }
  } catch (const std::bad_alloc&) {
    quit("cannot malloc");
  }
  std::printf("glyf size=%08lx\n", static_cast<unsigned long>(w.size() - start));
}

void build_loca(fontctx& ctx, bewriter& w) {
  const std::vector<GLYPH>& glyphs = ctx.src.glyphs;
  w.reserve(w.size() + 4 * (glyphs.size() + 1));
  uint32_t offset = 0;
  for (const GLYPH& g : glyphs) {
    w.u32(offset);  // offset of this glyph in glyf
    offset += g.len;
  }
  w.u32(offset);  // end of the last glyph: the length of glyf
}
