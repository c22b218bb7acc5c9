// SPDX-License-Identifier: MIT
// The list of tables a font can hold, each with its builder.
#pragma once
#include <cstdint>

#include "tables/tables.h"

// A tag held as the number whose big-endian bytes spell it.
constexpr uint32_t tag(const char (&s)[5]) {
  uint32_t t = 0;
  for (int k = 0; k < 4; ++k) t = t << 8 | uint8_t(s[k]);
  return t;
}

struct tabledef {
  uint32_t tag;
  const char* name;        // printed as the tag line
  table_builder build;     // nullptr: not built, the loop prints "error"
};

extern const tabledef kTables[13];  // EBDT and EBLC first: left out with "-n"
