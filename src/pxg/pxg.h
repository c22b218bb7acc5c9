// SPDX-License-Identifier: MIT
// The pxg front end: the command "kilnfont [-n] info-file pxg-file..." and
// its reader of pxg files.
#pragma once
#include <cstdint>

#include "core/glyphsrc.h"

// One whole conversion, as the command runs it. Prints the progress log and
// the final line on standard output and returns 0 whatever happened; only the
// final line tells success from failure.
int kilnfont_main(int argc, const char* const* argv);

// Reads the pxg files in order into the strikes of src (pt, bchrs, used,
// uni2bno, store; src.store must hold kStoreBytes and bchrs must be 0).
// Returns the strike count. Ends the run on an unreadable or broken file, a
// strike beyond the store's limits, and after the last file if any
// character code had no Unicode value.
uint8_t readpxg(int32_t count, const char* const* files, glyphsrc& src);
