// SPDX-License-Identifier: MIT
// Shared by the fuzz targets: input files written by name into a scratch
// directory (the readers take file names), one input cut into several
// files, and a run of converter code with its log silenced.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/quit.h"

// The path of name in this process's scratch directory (made on first use,
// removed at exit).
std::string scratch(const char* name);

// Writes the bytes to the scratch file name and returns its path.
std::string put_file(const char* name, std::string_view bytes);

// Cuts the input at each "@@KILN@@" into at most max_parts pieces; the last
// piece keeps any further separators.
std::vector<std::string_view> split_input(const uint8_t* data, size_t size, size_t max_parts);

// Aborts with a message, so that libFuzzer records the input as a crash.
[[noreturn]] void fail(const char* what);

// Runs f with standard output sent to /dev/null; returns false when it
// ended through quit (a refusal is a fine answer to a broken input).
template <class F>
bool quietly(F f) {
  void silence_stdout();
  silence_stdout();
  try {
    f();
    return true;
  } catch (const quit_signal&) {
    return false;
  }
}
