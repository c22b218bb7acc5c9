// SPDX-License-Identifier: MIT
// The conversion core: from a filled glyph source to the font file, written
// through a file that takes the output's name only when complete.
#include "core/convert.h"

#include <sys/xattr.h>

#include <algorithm>
#include <cstdarg>
#include <cstring>
#include <memory>
#include <optional>

#include "base/outfile.h"
#include "base/quit.h"
#include "base/threads.h"
#include "core/glyphsrc.h"
#include "tables/textconv.h"
#include "trace/trace.h"

namespace {

constexpr const char* kWriteFailed = "cannot write output";

// Writes w's bytes at position at of the font, whether a file or memory
// (which is at least that long already).
void write_at(const fontout& out, uint32_t at, const bewriter& w) {
  if (out.mem) {
    if (!w.b.empty()) std::memcpy(out.mem->data() + at, w.b.data(), w.b.size());
    return;
  }
  if (std::fseek(out.f, long(at), SEEK_SET) != 0) quit(kWriteFailed);
  if (!w.b.empty() && std::fwrite(w.b.data(), 1, w.b.size(), out.f) != w.b.size()) quit(kWriteFailed);
}

}  // namespace

void say(const runinfo& info, const char* format, ...) {
  if (!info.log) return;
  va_list args;
  va_start(args, format);
  std::vfprintf(info.log, format, args);
  va_end(args);
}

void flushlog(const runinfo& info) {
  if (info.log) std::fflush(info.log);
}

void settables(fontfile& ff, bool withbmp) {
  ff.tbls = 0;
  for (const tabledef& t : kTables) {
    if (!withbmp && (t.tag == tag("EBDT") || t.tag == tag("EBLC"))) continue;
    ff.tblname[ff.tbls] = t.tag;
    ff.defs[ff.tbls] = &t;
    ++ff.tbls;
  }
}

void assemble(const fontout& out, fontfile& ff, fontctx& ctx) {
  const uint32_t dirlen = 12 + 16 * uint32_t(ff.tbls);
  if (out.mem) {
    // Room for the whole font taken once, so that it does not move as it
    // grows (each move leaves the old block behind, and fresh memory costs
    // more than the copy): the bitmaps, and for the outlines two bytes a
    // pixel of the largest strike (16-pixel kanji take under two). Room
    // never written is address space only.
    const glyphsrc& src = ctx.src;
    uint64_t room = uint64_t(dirlen) + (uint64_t(1) << 18);
    for (int s = 0; s < src.nstrikes && s < kMaxStrikes; ++s)
      room += uint64_t(src.bchrs[s]) * (bitmap_bytes(src.pt[s]) + 16);
    if (src.nstrikes > 0) room += uint64_t(src.glyphs.size()) * 2 * src.pt[0] * src.pt[0];
    out.mem->reserve(size_t(std::min<uint64_t>(room, uint64_t(1) << 30)));
    out.mem->assign(dirlen, 0);
  } else if (std::fseek(out.f, long(dirlen), SEEK_SET) != 0) {
    quit(kWriteFailed);
  }

  // The table loop: build each table, sum it, record it, write it. The big
  // tables stream through the writer's buffer (they spill as they go); the
  // rest is written and summed here in one piece.
  bewriter w;
  w.sink = out.f;
  w.memsink = out.mem;
  for (int32_t i = 0; i < ff.tbls; ++i) {
    say(ctx.info, "table no.%2d   ...   ", i);
    tablerec& rec = ff.tblrec[i];
    rec.tag = ff.tblname[i];
    const tabledef& def = *ff.defs[i];
    if (!def.build) {
      say(ctx.info, "error\n");
      rec.checkSum = 0;
      rec.length = 0;
      continue;
    }
    say(ctx.info, "%s\n", def.name);
    flushlog(ctx.info);
    w.clear();
    def.build(ctx, w);
    if (w.size() % 4 != 0 || w.size() > 0xFFFFFFFCu) quit("table too large");
    w.spill();
    rec.checkSum = w.sum;
    rec.length = uint32_t(w.spilled);
  }
  ctx.src.store.reset();

  // The table directory, at the start of the file.
  say(ctx.info, "create table-index\n");
  bewriter dir;
  dir.reserve(dirlen);
  sfnt_header(dir, uint32_t(ff.tbls));
  uint32_t offset = dirlen, adjpos = 0;
  for (int32_t i = 0; i < ff.tbls; ++i) {
    tablerec& rec = ff.tblrec[i];
    rec.offset = offset;
    dir.u32(rec.tag);
    dir.u32(rec.checkSum);
    dir.u32(rec.offset);
    dir.u32(rec.length);
    if (rec.tag == tag("head")) adjpos = offset + 8;
    offset += rec.length;
  }
  write_at(out, 0, dir);

  // head.checkSumAdjustment makes the whole file sum to 0xB1B0AFBA. The
  // tables are contiguous, aligned and padded, so the file's sum is the
  // directory's sum plus the tables' checksums.
  say(ctx.info, "sum\n");
  flushlog(ctx.info);
  uint32_t total = sumB32(dir.b.data(), dir.size());
  for (int32_t i = 0; i < ff.tbls; ++i) total += ff.tblrec[i].checkSum;
  bewriter adj;
  adj.u32(0xB1B0AFBAu - total);
  write_at(out, adjpos, adj);
}

void settype(const runinfo& info) {
  const char* outname = info.outname;
  // The file's type, in the freedesktop extended attribute. Filesystems
  // without user attributes refuse it; that is not worth a message.
  say(info, "set MIME\n");
  static const char kMime[] = "application/x-truetype";
  setxattr(outname, "user.mime_type", kMime, sizeof kMime - 1, 0);
}

namespace {

// The conversion into mem, or when mem is null into the file info.outname.
void build_font(const runinfo& info, glyphsrc& src, std::vector<uint8_t>* mem, textconv* given) {
  fontfile ff;
  settables(ff, info.withbmp);

  say(info, "set g\n");
  build_glyph_list(src);
  say(info, "xfer %d chrs\n", int(src.glyphs.size()));
  say(info, "sort\n");
  flushlog(info);
  sort_glyph(src.glyphs.data(), 0, int32_t(src.glyphs.size()) - 1);
  if (cmap_segcount(src.glyphs) > 8189) quit("too many cmap segments");
  // Glyph 0 alone makes a font with no character to show, which font
  // readers refuse.
  if (src.glyphs.size() < 2) quit("no characters");

  // The converter needs its tables loaded (descriptors, memory); without
  // it the names would be empty, so the run ends before the output is made.
  std::optional<textconv> own;
  textconv& names = given ? *given : own.emplace();
  if (!names.usable()) quit("cannot convert names");

  auto tr = std::make_unique<tracer>();
  tr->glyf.finished = info.finished_glyphs;
  fontctx ctx{info, src, *tr, names};
  // The outlines are traced on the spare cores from here on, while the
  // output file is made and the tables before glyf are built. Without the
  // memory for it, glyf starts the tracing itself and reports what is
  // missing. A run that ends early stops the tracing with ctx.
  try {
    start_glyf(ctx);
  } catch (const std::bad_alloc&) {
  }

  if (mem) {
    assemble(fontout{nullptr, mem}, ff, ctx);
    return;
  }
  say(info, "open for output\n");
  flushlog(info);
  outfile file;
  create_output(file, info.outname);
  assemble(fontout{file.f, nullptr}, ff, ctx);
  // The run ends with this font: its workers are let go while it is put
  // in place.
  stop_workers();
  commit_output(file, info.outname);
  settype(info);
}

}  // namespace

void convert(const runinfo& info, glyphsrc& src) {
  build_font(info, src, nullptr, nullptr);
  quit("");
}

void convert_to_memory(const runinfo& info, glyphsrc& src, std::vector<uint8_t>& font, textconv* names) {
  build_font(info, src, &font, names);
}
