// SPDX-License-Identifier: MIT
// Bounds-checked big-endian reading of input bytes. Every access is checked
// against the data's length; a read that would run past it ends the
// conversion through quit() with the reader's message.
#pragma once
#include <cstddef>
#include <cstdint>

#include "base/quit.h"

struct bereader {
  const uint8_t* d = nullptr;
  size_t len = 0;
  const char* broken = "broken input";  // message for quit()

  // True when n bytes starting at position at lie inside the data.
  // Written so that no addition can wrap.
  bool has(uint64_t at, uint64_t n) const { return at <= len && n <= len - at; }
  void need(uint64_t at, uint64_t n) const {
    if (!has(at, n)) quit(broken);
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
};
