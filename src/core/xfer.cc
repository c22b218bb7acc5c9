// SPDX-License-Identifier: MIT
// The JIS-to-Unicode transfer table, loaded from a text file of "%x %x"
// lines (JIS code, Unicode value) after a count line.
#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <memory>

#include "base/input.h"
#include "base/quit.h"
#include "core/glyphsrc.h"

namespace {

// A "JIS code" packs plane << 16 | row << 8 | cell; the table is indexed by
// plane * 8836 + (row - 0x21) * 94 + (cell - 0x21). Returns -1 off the grid.
long jis_index(unsigned long code) {
  unsigned long plane = code >> 16, row = code >> 8 & 0xFF, cell = code & 0xFF;
  if (plane > 1 || row < 0x21 || row > 0x7E || cell < 0x21 || cell > 0x7E) return -1;
  return long(plane * 8836 + (row - 0x21) * 94 + (cell - 0x21));
}

bool blank(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// The value of each hex digit character, -1 for every other byte.
constexpr auto kHex = [] {
  std::array<int8_t, 256> t{};
  for (int c = 0; c < 256; ++c)
    t[size_t(c)] = int8_t(c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1);
  return t;
}();

int hexdigit(char c) { return kHex[uint8_t(c)]; }

// Reads up to 8 hex digits at p; false when there are none or more.
bool hexnum(const char*& p, unsigned& v) {
  v = 0;
  int d = 0;
  for (int h; (h = hexdigit(*p)) >= 0; ++p, ++d) {
    if (d == 8) return false;
    v = v << 4 | unsigned(h);
  }
  return d > 0;
}

// The two numbers of a mapping line, read as sscanf("%x %x") reads them.
// The plain form (blanks, hex digits, blanks, hex digits) is parsed here;
// anything else (a sign, a "0x" prefix, a long number, a missing second
// number) goes to sscanf itself, so every line gets sscanf's result.
bool mapping(const char* line, unsigned& jis, unsigned& uni) {
  const char* p = line;
  while (blank(*p)) ++p;
  if (hexnum(p, jis) && blank(*p)) {
    while (blank(*p)) ++p;
    if (hexnum(p, uni) && *p != 'x' && *p != 'X') return true;
  }
  return std::sscanf(line, "%x %x", &jis, &uni) == 2;
}

// The text of a file, read a block at a time, and cut into the pieces that
// fgets(line, 255, f) would read: up to and including the next newline, at
// most 254 characters. The block is refilled whenever less than a whole
// piece is left in it, so one small buffer serves the whole file.
struct piecereader {
  // A table never needs more than a few hundred kilobytes (17,672 cells); a
  // file that goes on past this is no table, and an endless one (a pipe, a
  // device) is stopped here.
  static constexpr uint64_t kMaxBytes = uint64_t(16) << 20;

  std::FILE* f = nullptr;
  uint64_t total = 0;  // bytes read so far
  char buf[(size_t(1) << 16) + 1];  // the block, and a NUL after its data
  size_t at = 0, end = 0;
  bool eof = false;

  piecereader() = default;
  piecereader(const piecereader&) = delete;
  piecereader& operator=(const piecereader&) = delete;
  ~piecereader() {
    if (f) std::fclose(f);
  }

  // Refills the block when less than a whole piece is left in it.
  void fill() {
    if (end - at < 254 && !eof) {
      std::memmove(buf, buf + at, end - at);
      end -= at;
      at = 0;
      while (end < sizeof buf - 1 && !eof) {
        const size_t got = std::fread(buf + end, 1, sizeof buf - 1 - end, f);
        end += got;
        eof = got == 0;
        if (eof && std::ferror(f)) quit("cannot open < jis_uni.txt >");
        total += got;
        if (total > kMaxBytes) quit("jis_uni.txt too long");
      }
    }
    buf[end] = '\0';
  }

  // Reads the next piece when it is a plain mapping line: hex digits, blanks
  // (spaces or tabs), hex digits and a newline, at most 8 digits a number and
  // 254 characters in all, which is what nearly every line is. Such a piece
  // gives what mapping() gives for it. Returns false, reading nothing, for
  // any other piece.
  bool plain(unsigned& jis, unsigned& uni) {
    fill();
    const char* const first = buf + at;
    const char* p = first;  // hexnum stops at the NUL after the data at the latest
    if (!hexnum(p, jis) || (*p != ' ' && *p != '\t')) return false;
    while (*p == ' ' || *p == '\t') ++p;
    if (!hexnum(p, uni) || *p != '\n' || p - first >= 254) return false;
    at = size_t(p + 1 - buf);
    return true;
  }

  // The next piece as a C string in line; false at the end of the file.
  bool next(char (&line)[255]) {
    fill();
    if (at >= end) return false;
    size_t n = std::min(end - at, sizeof line - 1);
    if (const void* nl = std::memchr(buf + at, '\n', n)) n = size_t(static_cast<const char*>(nl) - (buf + at)) + 1;
    std::memcpy(line, buf + at, n);
    line[n] = '\0';
    at += n;
    return true;
  }
};

}  // namespace

uint16_t setxfertbl(const char* path, m2u_table& m2u) {
  m2u.fill(0);
  // Read in large blocks rather than a line at a time: the file has some
  // 13,000 lines.
  auto rd = std::make_unique<piecereader>();
  rd->f = open_input(path, "r");
  if (!rd->f) quit("cannot open < jis_uni.txt >");

  char line[255];
  int declared = 0;
  if (rd->next(line) && std::sscanf(line, "%d", &declared) != 1) declared = 0;
  std::printf("jis-uni xfer-table : %d chrs\n", int(uint16_t(declared)));

  uint16_t lines = 0;
  for (;;) {
    unsigned int jis, uni;
    if (!rd->plain(jis, uni)) {
      if (!rd->next(line)) break;
      if (!mapping(line, jis, uni)) {
        ++lines;  // every piece counts, whether or not it holds a mapping
        continue;
      }
    }
    ++lines;
    long idx = jis_index(jis);
    if (idx < 0) continue;  // off the grid: nowhere to put it
    m2u[size_t(idx)] = uint16_t(uni);
  }
  return lines;
}
