// SPDX-License-Identifier: MIT
// Bounds-checked big-endian (and little-endian) reading of input bytes. Every access is checked
// against the data's length; a read that would run past it ends the
// conversion through quit() with the reader's message, or, for a reader
// made with throws set, throws read_error with that message (the finishing
// pass, which reports on standard error and prints nothing else).
#pragma once
#include <cstddef>
#include <cstdint>

#include "base/quit.h"

struct read_error {
  const char* message;
};

struct bereader {
  const uint8_t* d = nullptr;
  size_t len = 0;
  const char* broken = "broken input";  // message for quit()
  bool throws = false;                   // throw read_error instead of quit()

  // True when n bytes starting at position at lie inside the data.
  // Written so that no addition can wrap.
  bool has(uint64_t at, uint64_t n) const { return at <= len && n <= len - at; }
  void need(uint64_t at, uint64_t n) const {
    if (!has(at, n)) fail();
  }
  [[noreturn]] void fail() const {
    if (throws) throw read_error{broken};
    quit(broken);
  }
  uint8_t u8(uint64_t at) const {
    need(at, 1);
    return d[at];
  }
  uint16_t u16(uint64_t at) const {
    need(at, 2);
    return uint16_t(d[at] << 8 | d[at + 1]);
  }
  uint32_t u32(uint64_t at) const {
    need(at, 4);
    return uint32_t(d[at]) << 24 | uint32_t(d[at + 1]) << 16 | uint32_t(d[at + 2]) << 8 | d[at + 3];
  }
  // Little-endian values, for the formats that store them so (PCF).
  uint16_t u16le(uint64_t at) const {
    need(at, 2);
    return uint16_t(d[at + 1] << 8 | d[at]);
  }
  uint32_t u32le(uint64_t at) const {
    need(at, 4);
    return uint32_t(d[at + 3]) << 24 | uint32_t(d[at + 2]) << 16 | uint32_t(d[at + 1]) << 8 | d[at];
  }
};
