// Test support: a scratch directory to run whole conversions in, captured
// output, hand-made glyph sources for the reader and the table builders, and
// a tiny independent reader of the font files the conversions produce.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "driver/quit.h"
#include "source/source.h"
#include "tables/tables.h"

// Creates a fresh directory under the system temp dir and makes it the
// current directory (jis_uni.txt is read from there); the destructor goes
// back and removes it.
class rundir {
 public:
  rundir();
  ~rundir();
  rundir(const rundir&) = delete;
  rundir& operator=(const rundir&) = delete;

  const std::string& path() const { return dir_; }
  void write(const std::string& name, const std::string& bytes) const;
  void write(const std::string& name, const std::vector<uint8_t>& bytes) const;
  bool exists(const std::string& name) const;
  std::vector<uint8_t> read(const std::string& name) const;

 private:
  std::string dir_, old_;
};

// Runs f with standard output captured and returns what it printed;
// *quitted (when given) tells whether f ended through quit.
template <class F>
std::string captured(F f, bool* quitted = nullptr) {
  std::fflush(stdout);
  testing::internal::CaptureStdout();
  bool q = false;
  try {
    f();
  } catch (const quit_signal&) {
    q = true;
  }
  if (quitted) *quitted = q;
  return testing::internal::GetCapturedStdout();
}

// A glyph source ready for readpxg: store allocated, code k mapped to 0x3000 + k.
std::unique_ptr<glyphsrc> pxg_source();
// readpxg over the named files; returns its log.
std::string read_pxg(glyphsrc& src, const std::vector<std::string>& files, bool* quitted = nullptr);

// A glyph source with strikes of the given sizes (largest first), empty maps,
// a zeroed store, and the glyph list: glyph 0, then the codes.
std::unique_ptr<glyphsrc> make_src(const std::vector<uint8_t>& sizes, const std::vector<uint16_t>& codes);
// Stores bits as the next bitmap of strike s and maps code to it.
void put_bitmap(glyphsrc& src, int s, uint16_t code, const std::vector<uint8_t>& bits);

// Runs one table builder over src and info; returns the table, *log what it printed.
std::vector<uint8_t> build_table(table_builder f, glyphsrc& src, const runinfo& info = runinfo{},
                                 std::string* log = nullptr);

// Runs kilnfont_main with these arguments (the program name is added) and
// returns what it printed.
std::string run_kilnfont(const std::vector<std::string>& args);

// An info-file of 35 lines: name line, weight, vendor id, and 32 names
// ("name00".."name31") unless given.
std::string info_text(const std::string& line1 = "out", const std::string& weight = "4",
                      const std::string& vendor = "KILN", const std::vector<std::string>& names = {});

// Big-endian fields of a byte vector, read without the converter's code.
inline uint32_t rd16(const std::vector<uint8_t>& b, size_t at) {
  return uint32_t(b.at(at)) << 8 | b.at(at + 1);
}
inline uint32_t rd32(const std::vector<uint8_t>& b, size_t at) {
  return rd16(b, at) << 16 | rd16(b, at + 2);
}

// One table of a font file, as its directory records it.
struct fonttable {
  std::string tag;
  uint32_t checksum = 0, offset = 0, length = 0;
  std::vector<uint8_t> data;  // the table's bytes
};

// The tables of a TrueType file in directory order.
std::vector<fonttable> font_tables(const std::vector<uint8_t>& file);
const fonttable* find_table(const std::vector<fonttable>& t, const std::string& tag);
