// SPDX-License-Identifier: MIT
// The single exit of a conversion.
#pragma once

// Thrown by quit(). The command's entry catches it and reports the end of
// the run in its own way (kilnfont prints "complete" or "error : MESSAGE"
// on standard output), so a whole conversion can run inside a test.
struct quit_signal {
  bool ok;              // true for a complete run
  const char* message;  // "" when ok, else what went wrong (a string literal)
};

// Ends the conversion: successfully for an empty message, else with the
// message as the reason. Prints nothing. Never returns.
[[noreturn]] void quit(const char* message);
