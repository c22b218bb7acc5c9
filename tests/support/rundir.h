// Test support: a scratch directory to run whole conversions in, and a tiny
// independent reader of the font files they produce.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

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
