// SPDX-License-Identifier: MIT
// What the command line and the info-file give a conversion.
#pragma once
#include <cstdint>
#include <cstdio>

struct runinfo {
  bool withbmp = true;          // false once "-n" is seen: no EBDT/EBLC
  char outname[256] = {};       // first word of info line 1 + ".ttf"
  int32_t weight = 0;           // info line 2
  uint8_t vendid[4] = {};       // first four characters of info line 3, file order
  char namestr[32][256] = {};   // info lines 4..35, last character removed
  bool bold = false;            // the style bits of OS/2 fsSelection and head macStyle;
  bool italic = false;          // neither: "regular"
  std::FILE* log = stdout;      // the progress log; nullptr runs silently
  bool finished_glyphs = false; // glyphs as the finishing pass writes them (for a command that finishes the font)
  uint8_t name_groups = 0x0F;   // the name groups written, bit g for group g (Mac Roman, Mac Japanese, Windows English, Windows Japanese)
};

// Prints a piece of the progress log on info.log, or nothing when it is null.
void say(const runinfo& info, const char* format, ...) __attribute__((format(printf, 2, 3)));

// Sends what the log holds on its way (at the end of each stage).
void flushlog(const runinfo& info);
