#include "support/rundir.h"

#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include <gtest/gtest.h>

#include "driver/driver.h"
#include "trace/trace.h"

namespace fs = std::filesystem;

rundir::rundir() {
  std::string tmpl = (fs::temp_directory_path() / "kilnfont-XXXXXX").string();
  if (!mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
  dir_ = tmpl;
  old_ = fs::current_path().string();
  fs::current_path(dir_);
}

rundir::~rundir() {
  std::error_code ec;
  fs::current_path(old_, ec);
  fs::remove_all(dir_, ec);
}

void rundir::write(const std::string& name, const std::string& bytes) const {
  std::ofstream(dir_ + "/" + name, std::ios::binary) << bytes;
}

void rundir::write(const std::string& name, const std::vector<uint8_t>& bytes) const {
  std::ofstream f(dir_ + "/" + name, std::ios::binary);
  f.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

bool rundir::exists(const std::string& name) const { return fs::exists(dir_ + "/" + name); }

std::vector<uint8_t> rundir::read(const std::string& name) const {
  std::ifstream f(dir_ + "/" + name, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), {});
}

std::string run_kilnfont(const std::vector<std::string>& args) {
  std::vector<const char*> argv{"kilnfont"};
  for (const auto& a : args) argv.push_back(a.c_str());
  return captured([&] { kilnfont_main(int(argv.size()), argv.data()); });
}

std::string info_text(const std::string& line1, const std::string& weight, const std::string& vendor,
                      const std::vector<std::string>& names) {
  std::string s = line1 + "\n" + weight + "\n" + vendor + "\n";
  for (int k = 0; k < 32; ++k) {
    if (size_t(k) < names.size())
      s += names[size_t(k)] + "\n";
    else
      s += "name" + std::string(1, char('0' + k / 10)) + std::string(1, char('0' + k % 10)) + "\n";
  }
  return s;
}

std::vector<fonttable> font_tables(const std::vector<uint8_t>& file) {
  std::vector<fonttable> out;
  const uint32_t n = rd16(file, 4);
  for (uint32_t i = 0; i < n; ++i) {
    const size_t rec = 12 + 16 * size_t(i);
    fonttable t;
    t.tag.assign(reinterpret_cast<const char*>(&file.at(rec)), 4);
    t.checksum = rd32(file, rec + 4);
    t.offset = rd32(file, rec + 8);
    t.length = rd32(file, rec + 12);
    if (size_t(t.offset) + t.length > file.size()) throw std::runtime_error("table past end of file");
    t.data.assign(file.begin() + t.offset, file.begin() + t.offset + t.length);
    out.push_back(std::move(t));
  }
  return out;
}

const fonttable* find_table(const std::vector<fonttable>& t, const std::string& tag) {
  for (const auto& x : t)
    if (x.tag == tag) return &x;
  return nullptr;
}

std::unique_ptr<glyphsrc> pxg_source() {
  auto src = std::make_unique<glyphsrc>();
  for (int k = 0; k < kJisCells; ++k) src->m2u[size_t(k)] = uint16_t(0x3000 + k);
  src->store.reset(new uint8_t[kStoreBytes]);
  return src;
}

std::string read_pxg(glyphsrc& src, const std::vector<std::string>& files, bool* quitted) {
  std::vector<const char*> argv;
  for (const auto& n : files) argv.push_back(n.c_str());
  return captured([&] { readpxg(int32_t(argv.size()), argv.data(), src); }, quitted);
}

std::unique_ptr<glyphsrc> make_src(const std::vector<uint8_t>& sizes, const std::vector<uint16_t>& codes) {
  auto src = std::make_unique<glyphsrc>();
  for (auto& m : src->uni2bno) m.fill(kNoBitmap);
  src->nstrikes = uint8_t(sizes.size());
  std::copy(sizes.begin(), sizes.end(), src->pt);
  src->store = std::make_unique<uint8_t[]>(kStoreBytes);
  src->glyphs.push_back({0, 0});
  for (uint16_t c : codes) src->glyphs.push_back({c, 0});
  return src;
}

void put_bitmap(glyphsrc& src, int s, uint16_t code, const std::vector<uint8_t>& bits) {
  const uint16_t k = src.bchrs[s]++;
  std::copy(bits.begin(), bits.end(), src.store.get() + size_t(s) * kSlotBytes + k * bitmap_bytes(src.pt[s]));
  src.uni2bno[size_t(s)][code] = k;
}

std::vector<uint8_t> build_table(table_builder f, glyphsrc& src, const runinfo& info, std::string* log) {
  tracer tr;
  fontctx ctx{info, src, tr};
  bewriter w;
  const std::string out = captured([&] { f(ctx, w); });
  if (log) *log = out;
  return w.b;
}
