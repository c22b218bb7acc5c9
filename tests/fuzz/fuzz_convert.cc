// Fuzz target: a whole conversion in process. The input is cut at each
// "@@KILN@@" into the info-file, jis_uni.txt and one to three pxg files.
// The info-file's first line is replaced by "out" (so the font always lands
// in the scratch directory, never at a path the input names); "-n" on that
// first line runs without bitmaps.
//
// Checked on every run, from the log and the files alone:
//  - the log ends with "complete" or with one of the converter's messages;
//  - a refusal before the output is opened leaves no output file;
//  - a complete font has a sound directory (ascending tags, aligned,
//    contiguous tables that fill the file), every table's checksum, and the
//    whole file summing to 0xB1B0AFBA.
#include <fcntl.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "driver/driver.h"
#include "fuzzenv.h"

namespace {

int logfd = -1;  // standard output goes to this file

void start_log() {
  std::fflush(stdout);
  if (ftruncate(1, 0) != 0 || lseek(1, 0, SEEK_SET) != 0) fail("cannot reset the log");
}

std::string read_whole(const char* name) {
  std::string s;
  if (std::FILE* f = std::fopen(name, "rb")) {
    char buf[65536];
    size_t got;
    while ((got = std::fread(buf, 1, sizeof buf, f)) > 0) s.append(buf, got);
    std::fclose(f);
  }
  return s;
}

std::string last_line(const std::string& log) {
  if (log.empty() || log.back() != '\n') fail("log does not end with a line");
  const size_t at = log.rfind('\n', log.size() - 2);
  return log.substr(at == std::string::npos ? 0 : at + 1);
}

// Messages that may end a run before the output file is opened, and those
// that may come while the tables are being written.
const char* const kBefore[] = {
    "error : info-file has fewer than 35 lines\n", "error : no output name in info-file\n",
    "error : output name too long\n",              "error : weight is not a number\n",
    "error : vendor id shorter than 4 characters\n", "error : cannot open < jis_uni.txt >\n",
    "error : cannot open pxg(pxgb)-file\n",        "error : broken pxg(pxgb)-file\n",
    "error : too many bitmap sizes\n",             "error : too many bitmaps\n",
    "error : cannot xfer chrcode\n",               "error : too many cmap segments\n",
};
const char* const kDuring[] = {
    "error : glyph too complex\n", "error : glyf table too large\n", "error : cannot malloc\n",
    "error : table too large\n",
};

uint32_t be32(const std::string& f, size_t at) {
  return uint32_t(uint8_t(f[at])) << 24 | uint32_t(uint8_t(f[at + 1])) << 16 | uint32_t(uint8_t(f[at + 2])) << 8 |
         uint8_t(f[at + 3]);
}

uint32_t words(const std::string& f, size_t from, size_t len) {
  uint32_t s = 0;
  for (size_t k = 0; k + 4 <= len; k += 4) s += be32(f, from + k);
  return s;
}

void check_font(const std::string& f, bool withbmp) {
  if (f.size() < 12) fail("font shorter than its header");
  const uint32_t n = be32(f, 4) >> 16;
  if (n != (withbmp ? 13u : 11u)) fail("wrong number of tables");
  uint32_t at = 12 + 16 * n, prev = 0;
  for (uint32_t i = 0; i < n; ++i) {
    const size_t rec = 12 + 16 * size_t(i);
    const uint32_t tag = be32(f, rec), sum = be32(f, rec + 4), off = be32(f, rec + 8), len = be32(f, rec + 12);
    if (i > 0 && tag <= prev) fail("tags not ascending");
    if (off != at || len % 4 != 0 || off > f.size() || len > f.size() - off) fail("tables not contiguous");
    uint32_t s = words(f, off, len);
    if (tag == 0x68656164) s -= be32(f, off + 8);  // head, without checkSumAdjustment
    if (s != sum) fail("table checksum");
    prev = tag;
    at = off + len;
  }
  if (at != f.size()) fail("tables do not fill the file");
  if (words(f, 0, f.size()) != 0xB1B0AFBAu) fail("file does not sum to 0xB1B0AFBA");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  std::fflush(stdout);
  logfd = open(scratch("log.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  if (logfd < 0 || dup2(logfd, 1) < 0) fail("cannot redirect stdout");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  in_scratch here;
  const auto parts = split_input(data, size, 5);
  static const char* const pxgnames[] = {"a.pxg", "b.pxg", "c.pxg"};

  // The info-file: "out" in place of its first line.
  std::string_view info = parts[0];
  const size_t nl = info.find('\n');
  const std::string_view line1 = info.substr(0, nl);
  const bool withbmp = line1.find("-n") == std::string_view::npos;
  std::string text = "out\n";
  if (nl != std::string_view::npos) text.append(info.substr(nl + 1));
  put_file("font.info", reinterpret_cast<const uint8_t*>(text.data()), text.size());

  std::vector<const char*> argv{"kilnfont"};
  if (!withbmp) argv.push_back("-n");
  argv.push_back("font.info");
  std::remove("jis_uni.txt");
  if (parts.size() > 1) put_file("jis_uni.txt", reinterpret_cast<const uint8_t*>(parts[1].data()), parts[1].size());
  for (size_t i = 2; i < parts.size(); ++i) {
    put_file(pxgnames[i - 2], reinterpret_cast<const uint8_t*>(parts[i].data()), parts[i].size());
    argv.push_back(pxgnames[i - 2]);
  }
  if (argv.size() < 3) argv.push_back("missing.pxg");  // the converter needs two arguments

  std::remove("out.ttf");
  start_log();
  kilnfont_main(int(argv.size()), argv.data());
  std::fflush(stdout);
  const std::string log = read_whole("log.txt");
  if (std::getenv("KILN_FUZZ_LOG")) std::fputs(log.c_str(), stderr);  // to see what a run did
  const std::string end = last_line(log);

  const std::string font = read_whole("out.ttf");
  if (end == "complete\n") {
    check_font(font, withbmp);
    return 0;
  }
  for (const char* m : kBefore)
    if (end == m) {
      if (access("out.ttf", F_OK) == 0) fail("a refusal before the output left a file");
      return 0;
    }
  for (const char* m : kDuring)
    if (end == m) return 0;
  std::fprintf(stderr, "last line: %s", end.c_str());
  fail("the run ended with an unknown line");
}
