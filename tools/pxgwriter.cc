// SPDX-License-Identifier: MIT
#include "pxgwriter.h"

#include <cstdio>
#include <stdexcept>

namespace {

void put16(std::vector<uint8_t>& b, uint32_t v) {
  b.push_back(uint8_t(v >> 8));
  b.push_back(uint8_t(v));
}
void put32(std::vector<uint8_t>& b, uint32_t v) {
  put16(b, v >> 16);
  put16(b, v);
}
void set16(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  b.at(at) = uint8_t(v >> 8);
  b.at(at + 1) = uint8_t(v);
}
void set32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  set16(b, at, v >> 16);
  set16(b, at + 2, v);
}
void put_text(std::vector<uint8_t>& b, const std::string& s) { b.insert(b.end(), s.begin(), s.end()); }

// One resource of the data area: its type and id for the map, and its data.
struct resource {
  std::string type, name;
  int16_t id;
  std::vector<uint8_t> data;
  uint32_t offset = 0;  // of its [length] word, from the data area's start
};

// The bytes of a bitmap block: flags, "fbit", storage mode, pixel size, the
// range count and list (and the data-fork position), then inline bitmaps.
// Bytes no reader looks at hold 0xA5, so that a reader looking at the wrong
// offset sees nonsense rather than zeros.
std::vector<uint8_t> block_bytes(const pxgblock& b, uint32_t datapos) {
  if (b.ranges.size() > 255) throw std::runtime_error("pxg block with more than 255 ranges");
  std::vector<uint8_t> d(b.datafork ? 102 : 38, 0xA5);
  d[0] = 0x21;  // flags: bit 0x20 marks a bitmap block
  d[1] = 0;
  d[2] = 'f', d[3] = 'b', d[4] = 'i', d[5] = 't';
  d[11] = b.datafork ? 1 : 0;
  d[27] = b.size;
  if (b.datafork) set16(d, 54, datapos);
  d.back() = uint8_t(b.ranges.size());
  for (const pxgrange& r : b.ranges) {
    put16(d, r.first);
    put16(d, 0xA5A5);  // not read
    put16(d, r.count);
  }
  if (!b.datafork) d.insert(d.end(), b.bits.begin(), b.bits.end());
  return d;
}

// A resource map as the Macintosh Resource Manager writes it: a copy of the
// fork header, next-map handle, file reference, attributes, type-list and
// name-list offsets, the type list, the reference lists and the names.
std::vector<uint8_t> map_bytes(const std::vector<resource>& res, const std::vector<uint8_t>& header) {
  std::vector<uint8_t> m(header.begin(), header.begin() + 16);
  put32(m, 0);   // handle to next map
  put16(m, 0);   // file reference number
  put16(m, 0);   // fork attributes
  put16(m, 28);  // offset of the type list
  put16(m, 0);   // offset of the name list, patched below
  std::vector<std::string> types;
  for (const resource& r : res) {
    bool seen = false;
    for (const auto& t : types) seen |= t == r.type;
    if (!seen) types.push_back(r.type);
  }
  put16(m, uint32_t(types.size()) - 1);
  size_t reflist = 2 + 8 * types.size();  // from the type list's start
  for (const auto& t : types) {
    uint32_t n = 0;
    for (const resource& r : res) n += t == r.type;
    put_text(m, t);
    put16(m, n - 1);
    put16(m, uint32_t(reflist));
    reflist += 12 * n;
  }
  std::vector<uint8_t> names;
  for (const auto& t : types) {
    for (const resource& r : res) {
      if (t != r.type) continue;
      put16(m, uint16_t(r.id));
      if (r.name.empty()) {
        put16(m, 0xFFFF);
      } else {
        put16(m, uint32_t(names.size()));
        names.push_back(uint8_t(r.name.size()));
        put_text(names, r.name);
      }
      put32(m, r.offset);  // attributes 0, then the 24-bit data offset
      put32(m, 0);         // handle
    }
  }
  set16(m, 26, uint32_t(m.size()));
  m.insert(m.end(), names.begin(), names.end());
  set32(m, 12, uint32_t(m.size()));
  return m;
}

}  // namespace

std::vector<uint8_t> build_pxg(const pxgfile& file) {
  std::vector<uint8_t> datafork;
  std::vector<resource> res;
  auto other = [&](const char* type, int16_t id, std::vector<uint8_t> data) {
    res.push_back(resource{type, "", id, std::move(data)});
  };
  if (file.others) other("vers", 1, {0x01, 0x00, 0x80, 0x00, 0x00, 0x00, 5, '1', '.', '0', '.', '0', 0});
  for (size_t i = 0; i < file.blocks.size(); ++i) {
    const pxgblock& b = file.blocks[i];
    size_t t = 0;
    for (const pxgrange& r : b.ranges) t += r.count;
    if (b.bits.size() != t * ((size_t(b.size) * b.size + 7) / 8))
      throw std::runtime_error("pxg block bits of the wrong length");
    uint32_t datapos = 0;
    if (b.datafork) {
      if (datafork.size() > 0xFFFF) throw std::runtime_error("pxg data-fork position past 65535");
      datapos = uint32_t(datafork.size());
      datafork.insert(datafork.end(), b.bits.begin(), b.bits.end());
    }
    res.push_back(resource{"PXGB", b.name, int16_t(128 + i), block_bytes(b, datapos)});
    if (file.others && i + 1 < file.blocks.size()) other("STR ", int16_t(200 + i), {4, 'n', 'o', 't', 'e'});
  }
  if (file.others) other("STR#", 300, {0, 1, 3, 'e', 'n', 'd'});

  // Fork: header, reserved bytes up to the data area at 256, entries, map.
  constexpr uint32_t kDataAt = 256;
  std::vector<uint8_t> fork(kDataAt, 0);
  for (resource& r : res) {
    r.offset = uint32_t(fork.size() - kDataAt);
    put32(fork, uint32_t(r.data.size()));
    fork.insert(fork.end(), r.data.begin(), r.data.end());
  }
  set32(fork, 0, kDataAt);
  set32(fork, 4, file.map ? uint32_t(fork.size()) : 0);
  set32(fork, 8, uint32_t(fork.size() - kDataAt));
  if (file.map) {
    const std::vector<uint8_t> map = map_bytes(res, fork);
    set32(fork, 12, uint32_t(map.size()));
    fork.insert(fork.end(), map.begin(), map.end());
  }

  // MacBinary: the 128-byte header, the data fork, the resource fork, each
  // padded to a multiple of 128.
  std::vector<uint8_t> f(128, 0);
  const std::string title = "kiln pxg";
  f[1] = uint8_t(title.size());
  for (size_t k = 0; k < title.size(); ++k) f[2 + k] = uint8_t(title[k]);
  for (int k = 0; k < 4; ++k) f[65 + k] = uint8_t("pxgb"[k]), f[69 + k] = uint8_t("kiln"[k]);
  set32(f, 83, uint32_t(datafork.size()));
  set32(f, 87, uint32_t(fork.size()));
  f.insert(f.end(), datafork.begin(), datafork.end());
  f.resize((datafork.size() + 255) / 128 * 128, 0);
  f.insert(f.end(), fork.begin(), fork.end());
  f.resize((f.size() + 127) / 128 * 128, 0);
  return f;
}
