#include "pxgwriter.h"

#include <cstdio>
#include <stdexcept>

namespace {

// Big-endian appends and patches on a byte vector.
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
void set24(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  b.at(at) = uint8_t(v >> 16);
  set16(b, at + 1, v);
}
void set32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  set16(b, at, v >> 16);
  set16(b, at + 2, v);
}
void put_text(std::vector<uint8_t>& b, const std::string& s) { b.insert(b.end(), s.begin(), s.end()); }

// One resource of the data area: its type for the map, and its data.
struct resource {
  char type[5];
  int16_t id;
  std::string name;
  std::vector<uint8_t> data;
  uint32_t offset = 0;  // of its [length] word, from the data area's start
};

// The bytes of a bitmap block. Unread header bytes hold 0xA5 so that a
// reader looking at the wrong offset sees nonsense rather than zeros.
std::vector<uint8_t> block_bytes(const pxgblock& b, uint32_t datapos, const std::vector<uint8_t>& bits) {
  if (b.ranges.size() > 255) throw std::runtime_error("pxg block with more than 255 ranges");
  const size_t hdr = b.datafork ? 102 : 38;
  std::vector<uint8_t> d(hdr, 0xA5);
  d[0] = b.flags;
  d[1] = 0;
  d[2] = 'f', d[3] = 'b', d[4] = 'i', d[5] = 't';
  d[11] = b.datafork ? 1 : 0;
  d[27] = b.size;
  if (b.datafork) {
    set16(d, 54, datapos);
    d[101] = uint8_t(b.ranges.size());
  } else {
    d[37] = uint8_t(b.ranges.size());
  }
  for (const pxgrange& r : b.ranges) {
    put16(d, r.first);
    put16(d, 0xA5A5);  // not read
    put16(d, r.count);
  }
  if (!b.datafork) d.insert(d.end(), bits.begin(), bits.end());
  return d;
}

// A resource map as the Macintosh Resource Manager writes it: header copy,
// next-map handle, file reference, attributes, type-list and name-list
// offsets, the type list, the reference lists and the names.
std::vector<uint8_t> map_bytes(const std::vector<resource>& res, const std::vector<uint8_t>& header, bool copy) {
  std::vector<uint8_t> m;
  if (copy)
    m.insert(m.end(), header.begin(), header.begin() + 16);
  else
    m.resize(16, 0);
  put32(m, 0);  // handle to next map
  put16(m, 0);  // file reference number
  put16(m, 0);  // fork attributes
  put16(m, 28); // offset of the type list
  put16(m, 0);  // offset of the name list, patched below

  std::vector<std::string> types;
  for (const resource& r : res) {
    bool seen = false;
    for (const auto& t : types) seen |= t == r.type;
    if (!seen) types.emplace_back(r.type);
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
      m.push_back(0);  // attributes
      m.resize(m.size() + 3);
      set24(m, m.size() - 3, r.offset);
      put32(m, 0);  // handle
    }
  }
  set16(m, 26, uint32_t(m.size()));
  m.insert(m.end(), names.begin(), names.end());
  return m;
}

}  // namespace

std::vector<uint8_t> pxg_pattern(uint8_t size, uint32_t code, uint8_t salt) {
  const size_t bits = size_t(size) * size, n = (bits + 7) / 8;
  std::vector<uint8_t> b(n);
  uint32_t h = code * 2654435761u ^ (uint32_t(salt) + 1) * 40503u;
  for (size_t k = 0; k < n; ++k) {
    h ^= h << 13, h ^= h >> 17, h ^= h << 5;
    b[k] = uint8_t(h >> 11);
  }
  if (bits) {
    b[0] |= 0x80;                                         // first pixel
    b[(bits - 1) / 8] |= uint8_t(0x80 >> ((bits - 1) % 8));  // last pixel
    if (bits % 8) b[n - 1] &= uint8_t(0xFF << (8 - bits % 8));  // unused bits clear
  }
  return b;
}

uint32_t pxg_count(const pxgblock& b) {
  uint32_t t = 0;
  for (const pxgrange& r : b.ranges) t += r.count;
  return t;
}

std::vector<uint8_t> pxg_bits(const pxgblock& b) {
  if (!b.bits.empty() || pxg_count(b) == 0) return b.bits;
  std::vector<uint8_t> out;
  for (const pxgrange& r : b.ranges)
    for (uint32_t k = 0; k < r.count; ++k) {
      const auto p = pxg_pattern(b.size, uint32_t(r.first) + k, b.salt);
      out.insert(out.end(), p.begin(), p.end());
    }
  return out;
}

pxgimage build_pxg(const pxgfile& file) {
  pxgimage img;
  std::vector<uint8_t> datafork;
  datafork.resize(file.datafork_lead, 0x5A);

  // The resources in data-area order: bitmap blocks, with other resources
  // before, between and after them as a real font file holds.
  std::vector<resource> res;
  std::vector<int> block_res;  // index in res of each block
  auto other = [&](const char* type, int16_t id, std::vector<uint8_t> data) {
    resource r{};
    std::snprintf(r.type, sizeof r.type, "%s", type);
    r.id = id;
    r.data = std::move(data);
    res.push_back(std::move(r));
  };
  if (file.others) {
    std::vector<uint8_t> vers = {0x01, 0x00, 0x80, 0x00, 0x00, 0x00, 5};
    put_text(vers, "1.0.0");
    vers.push_back(0);
    other("vers", 1, vers);
  }
  for (size_t i = 0; i < file.blocks.size(); ++i) {
    const pxgblock& b = file.blocks[i];
    const std::vector<uint8_t> bits = pxg_bits(b);
    if (bits.size() != pxg_count(b) * ((size_t(b.size) * b.size + 7) / 8))
      throw std::runtime_error("pxg block bits of the wrong length");
    uint32_t datapos = 0;
    if (b.datafork) {
      if (datafork.size() > 0xFFFF) throw std::runtime_error("pxg data-fork position past 65535");
      datapos = uint32_t(datafork.size());
      datafork.insert(datafork.end(), bits.begin(), bits.end());
    }
    resource r{};
    std::snprintf(r.type, sizeof r.type, "%s", "PXGB");
    r.id = int16_t(128 + i);
    r.name = b.name;
    r.data = block_bytes(b, datapos, bits);
    block_res.push_back(int(res.size()));
    res.push_back(std::move(r));
    if (file.others && i + 1 < file.blocks.size()) other("STR ", int16_t(200 + i), {4, 'n', 'o', 't', 'e'});
  }
  if (file.others) other("STR#", 300, {0, 1, 3, 'e', 'n', 'd'});

  // Fork: header, reserved bytes up to the data area, entries, map.
  std::vector<uint8_t> fork(16, 0);
  if (file.data_at < 16) throw std::runtime_error("pxg data area inside the fork header");
  fork.resize(file.data_at, file.reserved_fill);
  for (resource& r : res) {
    r.offset = uint32_t(fork.size() - file.data_at);
    put32(fork, uint32_t(r.data.size()));
    fork.insert(fork.end(), r.data.begin(), r.data.end());
  }
  const uint32_t datalen = uint32_t(fork.size() - file.data_at);
  img.map_at = uint32_t(fork.size());
  set32(fork, 0, file.data_at);
  set32(fork, 4, img.map_at);
  set32(fork, 8, datalen);
  if (file.map) {
    std::vector<uint8_t> map = map_bytes(res, fork, file.map_header_copy);
    set32(fork, 12, uint32_t(map.size()));
    if (file.map_header_copy) set32(map, 12, uint32_t(map.size()));
    fork.insert(fork.end(), map.begin(), map.end());
  } else {
    set32(fork, 4, 0);
  }

  // MacBinary: 128-byte header, data fork, resource fork, each padded to 128.
  std::vector<uint8_t>& f = img.bytes;
  f.assign(128, 0);
  const std::string title = "kiln pxg";
  f[1] = uint8_t(title.size());
  for (size_t k = 0; k < title.size(); ++k) f[2 + k] = uint8_t(title[k]);
  for (int k = 0; k < 4; ++k) f[65 + k] = uint8_t("pxgb"[k]), f[69 + k] = uint8_t("kiln"[k]);
  set32(f, 83, uint32_t(datafork.size()));
  set32(f, 87, uint32_t(fork.size()));
  f.insert(f.end(), datafork.begin(), datafork.end());
  f.resize((datafork.size() + 255) / 128 * 128, 0);
  img.fork = f.size();
  img.forklen = uint32_t(fork.size());
  f.insert(f.end(), fork.begin(), fork.end());
  f.resize((f.size() + 127) / 128 * 128, 0);

  for (int k : block_res) {
    const uint64_t D = file.data_at + res[size_t(k)].offset + 4;
    img.block_at.push_back(D);
  }
  for (size_t i = 0; i < file.blocks.size(); ++i) {
    const pxgblock& b = file.blocks[i];
    const uint64_t D = img.block_at[i];
    if (b.datafork)
      img.bits_at.push_back(128 + (uint32_t(fork.at(D + 54)) << 8 | fork.at(D + 55)));
    else
      img.bits_at.push_back(img.fork + D + 38 + 6 * b.ranges.size());
  }
  return img;
}

void write_pxg(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) throw std::runtime_error("cannot create " + path);
  const bool ok = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  if (std::fclose(f) != 0 || !ok) throw std::runtime_error("cannot write " + path);
}
