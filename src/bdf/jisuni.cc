// SPDX-License-Identifier: MIT
// The JIS-to-Unicode table, from the C library's converters or from a
// jis_uni.txt file. (The tables built into the commands are made from the
// converters by tools/jistable when they are built: see jisbuiltin.cc.)
#include <iconv.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "bdf/bdf.h"

namespace {

struct iconv_closer {
  void operator()(void* cd) const { iconv_close(iconv_t(cd)); }
};

// The bytes of one cell: plane (0 or 1), row and cell (0x21..0x7E each).
size_t cellbytes(int plane, int row, int cell, unsigned char* in) {
  size_t n = 0;
  if (plane) in[n++] = 0x8F;
  in[n++] = uint8_t(row | 0x80);
  in[n++] = uint8_t(cell | 0x80);
  return n;
}

uint32_t ucs4(const unsigned char* p) {
  return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

// Decodes one cell with a fresh converter state.
jischar decode_one(iconv_t cd, int plane, int row, int cell) {
  unsigned char in[3];
  const size_t n = cellbytes(plane, row, cell, in);
  unsigned char out[16];
  char* ip = reinterpret_cast<char*>(in);
  char* op = reinterpret_cast<char*>(out);
  size_t il = n, ol = sizeof out;
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  jischar c;
  if (iconv(cd, &ip, &il, &op, &ol) == size_t(-1) || il != 0) return c;
  if (iconv(cd, nullptr, nullptr, &op, &ol) == size_t(-1)) return c;  // flush anything held back
  const size_t got = sizeof out - ol;
  if (got != 4 && got != 8) return c;
  c.n = int(got / 4);
  for (int k = 0; k < c.n; ++k) c.u[k] = ucs4(out + 4 * k);
  return c;
}

}  // namespace

std::vector<jischar> decode_cells(bool x0213) {
  const char* name = x0213 ? "EUC-JISX0213" : "EUC-JP";
  const iconv_t cd = iconv_open("UCS-4BE", name);
  if (cd == iconv_t(-1)) throw fonterror(std::string("no ") + name + " converter in the C library");
  std::unique_ptr<void, iconv_closer> closer(cd);
  std::vector<jischar> cells(static_cast<size_t>(kJisCells));

  // EUC-JP gives exactly one character per valid cell and keeps no state,
  // so a whole plane goes through in one call, resumed after each invalid
  // cell (which has no character): far fewer calls than one per cell.
  // EUC-JISX0213 pairs base letters with combining marks, so each of its
  // cells is decoded on its own.
  if (!x0213) {
    for (int plane = 0; plane < 2; ++plane) {
      std::vector<unsigned char> in;
      in.reserve(8836 * 3);
      for (int k = 0; k < 8836; ++k) {
        unsigned char b[3];
        in.insert(in.end(), b, b + cellbytes(plane, k / 94 + 0x21, k % 94 + 0x21, b));
      }
      const size_t per = plane ? 3 : 2;
      std::vector<unsigned char> out(8836 * 4);
      size_t k = 0;  // the next cell to convert
      while (k < 8836) {
        char* ip = reinterpret_cast<char*>(in.data() + k * per);
        char* op = reinterpret_cast<char*>(out.data());
        size_t il = (8836 - k) * per, ol = out.size();
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        const size_t r = iconv(cd, &ip, &il, &op, &ol);
        const size_t done = (8836 - k) - il / per, got = (out.size() - ol) / 4;
        if (il % per != 0 || got != done) {  // not one character per cell: cell by cell from here
          for (; k < 8836; ++k)
            cells[size_t(plane * 8836) + k] = decode_one(cd, plane, int(k / 94 + 0x21), int(k % 94 + 0x21));
          break;
        }
        for (size_t j = 0; j < done; ++j) {
          jischar& c = cells[size_t(plane * 8836) + k + j];
          c.n = 1;
          c.u[0] = ucs4(out.data() + 4 * j);
        }
        k += done;
        if (r == size_t(-1)) ++k;  // the cell it stopped at has no character
      }
    }
    return cells;
  }
  for (int k = 0; k < kJisCells; ++k) cells[size_t(k)] = decode_one(cd, k / 8836, k % 8836 / 94 + 0x21, k % 94 + 0x21);
  return cells;
}

convtable table_of_cells(bool x0213, const std::vector<jischar>& cells) {
  convtable t{x0213, x0213 ? "EUC-JISX0213" : "EUC-JP", std::vector<uint16_t>(size_t(kJisCells), 0),
              std::vector<why>(size_t(kJisCells), why::none)};
  for (size_t k = 0; k < cells.size() && k < size_t(kJisCells); ++k) {
    const jischar& c = cells[k];
    t.m2u[k] = uint16_t(jisbmp(c));
    t.reason[k] = t.m2u[k] ? why::value : c.n == 2 ? why::pair : c.n == 1 ? why::beyond : why::none;
  }
  return t;
}

std::vector<uint16_t> read_map(const std::string& path) {
  std::vector<uint16_t> m2u(size_t(kJisCells), 0);
  std::FILE* in = std::fopen(path.c_str(), "r");
  if (!in) throw fonterror("cannot open " + path);
  char* line = nullptr;
  size_t room = 0;
  for (bool head = true; getline(&line, &room, in) >= 0; head = false) {
    unsigned jis = 0, uni = 0;
    if (head || std::sscanf(line, "%x %x", &jis, &uni) != 2) continue;
    const unsigned p = jis >> 16, r = jis >> 8 & 0xFF, c = jis & 0xFF;
    if (p > 1 || r < 0x21 || r > 0x7E || c < 0x21 || c > 0x7E) continue;
    m2u[p * 8836 + (r - 0x21) * 94 + (c - 0x21)] = uint16_t(uni);
  }
  std::free(line);
  std::fclose(in);
  return m2u;
}

namespace {

bool maps_any(const std::vector<uint16_t>& m2u, int plane, int row0, int row1) {
  for (int r = row0; r <= row1; ++r)
    for (int c = 0; c < 94; ++c)
      if (m2u[size_t(plane * 8836 + (r - 0x21) * 94 + c)]) return true;
  return false;
}

}  // namespace

void check_map(const std::vector<uint16_t>& m2u, const std::string& mappath, const std::string& fontpath,
               charset cs, int plane) {
  const bool x0212 = maps_any(m2u, 1, 0x30, 0x6D);  // JIS X 0212's kanji rows
  const bool x0213p2 = maps_any(m2u, 1, 0x6E, 0x7E);
  const bool x0213p1 = maps_any(m2u, 0, 0x29, 0x2F) || maps_any(m2u, 0, 0x75, 0x7E);
  if (cs == charset::x0212 && x0213p2)
    throw fonterror(fontpath + ": a JIS X 0212 font, but plane 1 of " + mappath +
                    " is JIS X 0213 plane 2; make the table with mkjisuni (without --jisx0213)");
  if (cs == charset::x0213 && plane == 1 && (x0212 || !x0213p2))
    throw fonterror(fontpath + ": a JIS X 0213 plane 2 font, but plane 1 of " + mappath +
                    " is not JIS X 0213 plane 2; make the table with mkjisuni --jisx0213");
  if (cs == charset::x0213 && plane == 0 && !x0213p1)
    throw fonterror(fontpath + ": a JIS X 0213 font, but " + mappath +
                    " is not a JIS X 0213 table; make it with mkjisuni --jisx0213");
}
