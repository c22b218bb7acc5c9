// SPDX-License-Identifier: MIT
// The JIS-to-Unicode tables built into the commands: the values of every
// cell and why a cell has none, for EUC-JP and EUC-JISX0213, made from the
// C library's converters when the commands are built (tools/jistable
// writes them). Decoding the 17,672 cells at run time took a millisecond
// of every bdf2ttf run; these take a copy.
#include <algorithm>

#include "bdf/bdf.h"

// Defined in the file the build makes (jistable.cc): [0] EUC-JP, [1]
// EUC-JISX0213; kJisWhy holds the why values.
extern const uint16_t kJisM2u[2][kJisCells];
extern const uint8_t kJisWhy[2][kJisCells];

convtable converter_map(bool x0213) {
  convtable t{x0213, x0213 ? "EUC-JISX0213" : "EUC-JP", std::vector<uint16_t>(size_t(kJisCells)),
              std::vector<why>(size_t(kJisCells))};
  std::copy(kJisM2u[x0213], kJisM2u[x0213] + kJisCells, t.m2u.begin());
  std::transform(kJisWhy[x0213], kJisWhy[x0213] + kJisCells, t.reason.begin(), [](uint8_t w) { return why(w); });
  return t;
}
