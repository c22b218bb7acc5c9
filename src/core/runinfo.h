// SPDX-License-Identifier: MIT
// What the command line and the info-file give a conversion.
#pragma once
#include <cstdint>

struct runinfo {
  bool withbmp = true;          // false once "-n" is seen: no EBDT/EBLC
  char outname[256] = {};       // first word of info line 1 + ".ttf"
  int32_t weight = 0;           // info line 2
  uint8_t vendid[4] = {};       // first four characters of info line 3, file order
  char namestr[32][256] = {};   // info lines 4..35, last character removed
};
