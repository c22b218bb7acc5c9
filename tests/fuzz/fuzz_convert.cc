// SPDX-License-Identifier: MIT
// Fuzz target: a whole conversion. The input is cut at "@@KILN@@" into the
// info-file, jis_uni.txt and one to three pxg files. The info-file's first
// line becomes "out", so the font always lands in the scratch directory and
// never at a path the input names; "-n" on that line runs without bitmaps.
// Every run must end with its final line; a complete one leaves out.ttf,
// whose table directory and checksums must hold, and any other run leaves
// none. No other file may be left in the directory.
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstring>

#include <cstdio>
#include <fstream>
#include <iterator>

#include "core/convert.h"
#include "pxg/pxg.h"
#include "fuzz.h"

namespace {

uint32_t be32(const std::string& b, size_t at) {
  return uint32_t(uint8_t(b[at])) << 24 | uint32_t(uint8_t(b[at + 1])) << 16 | uint32_t(uint8_t(b[at + 2])) << 8 |
         uint8_t(b[at + 3]);
}

uint32_t sum32(const std::string& b, size_t at, size_t len) {
  uint32_t s = 0;
  for (size_t k = 0; k + 4 <= len; k += 4) s += be32(b, at + k);
  return s;
}

// The font's frame, read independently of the writer: the directory's
// tables in ascending tag order, contiguous from the directory's end,
// 4-aligned, each with its checksum (head's without checkSumAdjustment),
// and the whole file summing to 0xB1B0AFBA.
void check_font(const std::string& b) {
  if (b.size() < 12 || be32(b, 0) != 0x00010000u) fail("complete, but the font has no sfnt header");
  const size_t n = size_t(uint8_t(b[4])) << 8 | uint8_t(b[5]);
  size_t at = 12 + 16 * n;
  if (b.size() < at || b.size() % 4 != 0) fail("complete, but the directory runs past the font");
  uint32_t prev = 0;
  for (size_t i = 0; i < n; ++i) {
    const size_t e = 12 + 16 * i;
    const uint32_t tag = be32(b, e), off = be32(b, e + 8), len = be32(b, e + 12);
    if (i > 0 && tag <= prev) fail("complete, but the tables are not in tag order");
    if (off != at || len > b.size() - off) fail("complete, but the tables are not contiguous");
    std::string t = b.substr(off, (len + 3) & ~size_t(3));
    if (tag == 0x68656164u && t.size() >= 12) std::memset(t.data() + 8, 0, 4);  // head
    if (sum32(t, 0, t.size()) != be32(b, e + 4)) fail("complete, but a table checksum is wrong");
    at = off + ((len + 3) & ~size_t(3));
    prev = tag;
  }
  if (at != b.size()) fail("complete, but the font has bytes past its last table");
  if (sum32(b, 0, b.size()) != 0xB1B0AFBAu) fail("complete, but the file does not sum to 0xB1B0AFBA");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<std::string_view> parts = split_input(data, size, 5);
  if (parts.size() < 3) return 0;
  const std::string_view line1 = parts[0].substr(0, parts[0].find('\n'));
  const std::string_view rest = parts[0].substr(line1.size());
  put_file("font.info", "out" + std::string(rest));
  put_file("jis_uni.txt", parts[1]);
  std::vector<const char*> argv = {"kilnfont"};
  if (line1.find("-n") != std::string_view::npos) argv.push_back("-n");
  argv.push_back("font.info");
  const char* names[] = {"a.pxg", "b.pxg", "c.pxg"};
  for (size_t k = 2; k < parts.size(); ++k) argv.push_back(names[k - 2]), put_file(names[k - 2], parts[k]);

  static const std::string dir = scratch(""), log = scratch("log"), out = scratch("out.ttf");
  std::remove(out.c_str());
  std::fflush(stdout);
  const int back = open(".", O_RDONLY | O_DIRECTORY);
  if (!std::freopen(log.c_str(), "w", stdout) || back < 0 || chdir(dir.c_str()) != 0) fail("cannot set up the run");
  kilnfont_main(int(argv.size()), argv.data());
  std::fflush(stdout);
  if (fchdir(back) != 0) fail("cannot leave the scratch directory");
  close(back);
  std::ifstream f(log);
  const std::string text(std::istreambuf_iterator<char>(f), {});
  const size_t at = text.rfind('\n', text.size() < 2 ? 0 : text.size() - 2);
  const std::string last = text.substr(at == std::string::npos ? 0 : at + 1);
  const bool written = access(out.c_str(), F_OK) == 0;
  if (last != "complete\n" && last.rfind("error : ", 0) != 0) fail("the log does not end with its final line");
  if (last == "complete\n" && !written) fail("complete without a font");
  if (written && last != "complete\n") fail("a font left by a run that did not complete");
  if (written) {
    std::ifstream ff(out, std::ios::binary);
    check_font(std::string(std::istreambuf_iterator<char>(ff), {}));
  }
  DIR* d = opendir(dir.c_str());
  if (!d) fail("cannot list the scratch directory");
  while (const dirent* e = readdir(d)) {
    const std::string name = e->d_name;
    if (name != "." && name != ".." && name != "font.info" && name != "jis_uni.txt" && name != "log" &&
        name != "out.ttf" && name != "a.pxg" && name != "b.pxg" && name != "c.pxg")
      fail("a file left behind in the output's directory");
  }
  closedir(d);
  return 0;
}
