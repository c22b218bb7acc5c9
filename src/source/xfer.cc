// The JIS-to-Unicode transfer table, loaded from a text file of "%x %x"
// lines (JIS code, Unicode value) after a count line.
#include <cstdio>

#include "driver/quit.h"
#include "source/source.h"

namespace {

// A "JIS code" packs plane << 16 | row << 8 | cell; the table is indexed by
// plane * 8836 + (row - 0x21) * 94 + (cell - 0x21). Returns -1 off the grid.
long jis_index(unsigned long code) {
  unsigned long plane = code >> 16, row = code >> 8 & 0xFF, cell = code & 0xFF;
  if (plane > 1 || row < 0x21 || row > 0x7E || cell < 0x21 || cell > 0x7E) return -1;
  return long(plane * 8836 + (row - 0x21) * 94 + (cell - 0x21));
}

bool blank(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

int hexdigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

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

}  // namespace

uint16_t setxfertbl(const char* path, m2u_table& m2u) {
  m2u.fill(0);
  std::FILE* f = std::fopen(path, "r");
  if (!f) quit("cannot open < jis_uni.txt >");

  char line[255];
  int declared = 0;
  if (std::fgets(line, sizeof line, f) && std::sscanf(line, "%d", &declared) != 1) declared = 0;
  std::printf("jis-uni xfer-table : %d chrs\n", int(uint16_t(declared)));

  uint16_t lines = 0;
  while (std::fgets(line, sizeof line, f)) {
    ++lines;  // every piece counts, whether or not it holds a mapping
    unsigned int jis, uni;
    if (!mapping(line, jis, uni)) continue;
    long idx = jis_index(jis);
    if (idx < 0) continue;  // off the grid: nowhere to put it
    m2u[size_t(idx)] = uint16_t(uni);
  }
  std::fclose(f);
  return lines;
}
