// SPDX-License-Identifier: MIT
// The single exit of a conversion.
#pragma once

// Thrown by quit() after the final line has been printed; kilnfont_main
// catches it and returns, so a whole conversion can run inside a test.
struct quit_signal {
  bool ok;  // true for "complete", false for an "error : " line
};

// Prints "complete\n" for an empty message, otherwise "error : MESSAGE\n",
// on standard output, then ends the conversion. Never returns.
[[noreturn]] void quit(const char* message);
