// SPDX-License-Identifier: MIT
// The conversion core: what every front end calls once it has read the run
// info and filled the glyph source, and the assembly of the font file.
#pragma once
#include <cstdint>
#include <cstdio>
#include <vector>

#include "core/runinfo.h"
#include "core/glyphsrc.h"
#include "core/tablelist.h"

// Reads the 35 lines of an info-file into info (everything but withbmp),
// printing "output= [...]" and "vendid=...". Ends the run on a missing file
// or an unusable line.
void read_info(const char* path, runinfo& info);

struct tablerec {
  uint32_t tag, checkSum, offset, length;
};

// The table list of one font and the records of the tables as written.
struct fontfile {
  int32_t tbls = 0;                 // 13, or 11 without bitmaps
  uint32_t tblname[13] = {};        // tags in directory order
  const tabledef* defs[13] = {};    // their builders
  tablerec tblrec[13] = {};
};

// Fixes the table list: every table, or all but EBDT and EBLC.
void settables(fontfile& ff, bool withbmp);

// Where assemble puts the font: the file f (opened for writing), or when f
// is null the buffer mem.
struct fontout {
  std::FILE* f = nullptr;
  std::vector<uint8_t>* mem = nullptr;
};

// Writes the font to out: the tables from position 12 + 16 * tbls on, then
// the directory at 0 and head.checkSumAdjustment. Releases the strike store
// after the last table. Ends the run with "cannot write output" when a seek
// or a write fails. The caller closes a file.
void assemble(const fontout& out, fontfile& ff, fontctx& ctx);

// Tags the closed output file info.outname with the type "application/x-truetype"
// (extended attribute user.mime_type); a refusal is not reported.
void settype(const runinfo& info);

// Makes the font info.outname from src (the strikes and the JIS table
// filled): the glyph list, then every table through a temporary file that is
// renamed over the output when complete. Prints the log from "set g" on and
// ends the run through quit(), with "complete" or an error.
[[noreturn]] void convert(const runinfo& info, glyphsrc& src);

// The same conversion into font, in memory, for commands that work on the
// font further before writing it (info.outname is not used). Returns when
// the font is complete; a failure ends the run through quit() with its
// message, as convert does. names, when given, is the name strings'
// converter opened already (its tables take a while to load, which a
// caller can do beside other work).
void convert_to_memory(const runinfo& info, glyphsrc& src, std::vector<uint8_t>& font, textconv* names = nullptr);
