// SPDX-License-Identifier: MIT
// The table builders. Each one appends exactly its table's bytes (padded to a
// multiple of 4) to the writer it is given; the table loop prints the tag
// line, sums, records and writes the table.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "core/runinfo.h"
#include "core/glyphsrc.h"
#include "base/bewriter.h"

struct tracer;
struct textconv;

// The outlines being traced for glyf, on threads of their own; ending it
// stops and joins them.
struct glyfwork;
struct glyfwork_end {
  void operator()(glyfwork* gw) const;
};

// What the builders read, and the little that glyf leaves for loca and maxp.
struct fontctx {
  const runinfo& info;
  glyphsrc& src;             // glyf writes each glyph's len
  tracer& tr;                // the tracer's scratch, reused for every glyph
  textconv& names;           // the name strings' converter, opened before the output
  uint16_t maxPoints = 1;    // outline maxima found while glyf is built
  uint16_t maxContours = 1;
  std::unique_ptr<glyfwork, glyfwork_end> glyf{};  // see start_glyf
};

// Starts tracing the outlines of ctx.src's glyph list on the spare cores
// (if any), ahead of the glyf builder, which writes them and traces the
// rest. The glyph list and the strikes must be complete and stay unchanged
// until glyf is built; each glyph's len is written by the tracing. Prints
// nothing: a glyph that cannot be traced is reported by build_glyf.
void start_glyf(fontctx& ctx);

using table_builder = void (*)(fontctx&, bewriter&);

void build_head(fontctx&, bewriter&);
void build_hhea(fontctx&, bewriter&);
void build_maxp(fontctx&, bewriter&);
void build_post(fontctx&, bewriter&);
void build_name(fontctx&, bewriter&);
// Whether the name strings that build_name writes in Shift-JIS are ASCII
// alone, which CP932 keeps as it is, or none are written: they need no
// converter.
bool sjis_names_ascii(const runinfo& info);
void build_hmtx(fontctx&, bewriter&);
void build_cmap(fontctx&, bewriter&);
void build_glyf(fontctx&, bewriter&);
void build_loca(fontctx&, bewriter&);
void build_os2(fontctx&, bewriter&);
void build_gasp(fontctx&, bewriter&);
void build_ebdt(fontctx&, bewriter&);
void build_eblc(fontctx&, bewriter&);

// Number of format-4 segments the glyph list needs in cmap, the closing
// 0xFFFF segment included.
uint32_t cmap_segcount(const std::vector<GLYPH>& glyphs);
