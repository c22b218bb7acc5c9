// Writes the fuzz targets' seed corpora: pxg files made by the test pxg
// writer in every layout it knows, small info-files and transfer tables,
// worked tracer bitmaps, and excerpts of the example font (a few dozen real
// glyphs of each size with the table lines and info-file they need).
//
//   mkseeds CORPUS_DIR [EXAMPLE_DIR]
//
// The output is deterministic, so the committed seeds can be made again.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "driver/quit.h"
#include "source/source.h"
#include "support/pxgwriter.h"

namespace fs = std::filesystem;

namespace {

const std::string kSplit = "@@KILN@@";
using bytes = std::vector<uint8_t>;

fs::path outdir;

void seed(const std::string& target, const std::string& name, const bytes& b) {
  const fs::path dir = outdir / target;
  fs::create_directories(dir);
  write_pxg((dir / name).string(), b);
}
void seed(const std::string& target, const std::string& name, const std::string& s) {
  seed(target, name, bytes(s.begin(), s.end()));
}

bytes join(const std::vector<bytes>& parts) {
  bytes out;
  for (size_t i = 0; i < parts.size(); ++i) {
    if (i) out.insert(out.end(), kSplit.begin(), kSplit.end());
    out.insert(out.end(), parts[i].begin(), parts[i].end());
  }
  return out;
}
bytes text(const std::string& s) { return bytes(s.begin(), s.end()); }

pxgblock block(uint8_t size, std::vector<pxgrange> ranges, bool datafork = false, uint8_t salt = 0) {
  pxgblock b;
  b.size = size;
  b.ranges = std::move(ranges);
  b.datafork = datafork;
  b.salt = salt;
  return b;
}

std::string info_text(const std::string& line1, const std::vector<std::string>& names = {}) {
  std::string s = line1 + "\n4\nKILN\n";
  for (int k = 0; k < 32; ++k)
    s += (size_t(k) < names.size() ? names[size_t(k)] : "name" + std::to_string(k)) + "\n";
  return s;
}

// A transfer table mapping linear codes first..first+count-1.
std::string xfer_lines(int first, int count) {
  std::string s = std::to_string(count) + "\n";
  for (int k = first; k < first + count; ++k) {
    const int p = k / 8836, r = k % 8836 / 94 + 0x21, c = k % 94 + 0x21;
    char line[32];
    std::snprintf(line, sizeof line, "%x %x\n", p << 16 | r << 8 | c, 0x4E00 + k);
    s += line;
  }
  return s;
}

// The pxg seeds: every layout of the writer, kept to a few KB each.
std::vector<bytes> pxg_seeds() {
  std::vector<pxgfile> files;
  pxgfile f;
  f.blocks = {block(12, {{0, 3}, {94, 2}})};
  files.push_back(f);                                  // one inline block with other resources and a map
  f.blocks = {block(16, {{0, 2}}, true), block(12, {{10, 2}})};
  files.push_back(f);                                  // data-fork and inline blocks, two sizes
  f.others = false;
  f.map = false;
  files.push_back(f);                                  // entries only
  f = pxgfile{};
  f.map_header_copy = false;
  f.data_at = 16;
  f.blocks = {block(8, {{5, 1}, {7, 0}, {8836, 2}}), block(8, {{5, 1}}, false, 1)};
  f.blocks[0].name = "small";
  files.push_back(f);                                  // zeroed map header, data area at 16, names, repeats
  f = pxgfile{};
  f.blocks = {block(1, {{0, 8}}), block(2, {{0, 4}}), block(3, {{0, 3}}), block(5, {{0, 2}}),
              block(7, {{0, 2}}), block(9, {{0, 1}})};
  files.push_back(f);                                  // six sizes
  f = pxgfile{};
  f.blocks = {block(20, {})};
  files.push_back(f);                                  // a block without ranges
  files.push_back(pxgfile{});                          // no bitmap blocks
  f = pxgfile{};
  f.blocks = {block(64, {{300, 1}}, true)};
  f.reserved_fill = 0xFF;
  f.datafork_lead = 0;
  files.push_back(f);                                  // one large glyph in the data fork
  f = pxgfile{};
  f.blocks = {block(12, {{17670, 2}})};
  files.push_back(f);                                  // the last codes of the table and past it
  std::vector<bytes> out;
  for (const pxgfile& p : files) out.push_back(build_pxg(p).bytes);
  return out;
}

// Packs a bitmap of rows ('#' ink) as the tracer's input: side, then bits.
bytes trace_seed(const std::vector<std::string>& rows) {
  const size_t n = rows.size();
  bytes b(1 + (n * n + 7) / 8, 0);
  b[0] = uint8_t(n);
  for (size_t r = 0; r < n; ++r)
    for (size_t c = 0; c < n; ++c)
      if (rows[r][c] == '#') b[1 + (r * n + c) / 8] |= uint8_t(0x80 >> ((r * n + c) % 8));
  return b;
}

std::string read_text(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), {});
}

// Excerpts of the example font: for each of its sizes a pxg of 3 ranges
// of real glyphs (symbols, kana, kanji), the table lines for their codes,
// and a few glyph bitmaps for the tracer.
void example_seeds(const fs::path& dir) {
  const std::vector<pxgrange> ranges = {{0, 12}, {282, 12}, {1410, 12}};
  auto src = std::make_unique<glyphsrc>();
  std::vector<std::string> names;
  for (const char* n : {"gothic16.pxg", "gothic14.pxg", "gothic12.pxg"})
    if (fs::exists(dir / n)) names.push_back((dir / n).string());
  if (names.empty() || !fs::exists(dir / "jis_uni.txt")) return;
  try {
    setxfertbl((dir / "jis_uni.txt").string().c_str(), src->m2u);
    src->store.reset(new uint8_t[kStoreBytes]);
    std::vector<const char*> argv;
    for (const auto& n : names) argv.push_back(n.c_str());
    src->nstrikes = readpxg(int32_t(argv.size()), argv.data(), *src);
  } catch (const quit_signal&) {
    std::fprintf(stderr, "mkseeds: the example font does not read\n");
    std::exit(1);
  }

  // The transfer-table lines of the codes used, in the file's own form.
  std::string xfer = "36\n";
  for (const pxgrange& r : ranges)
    for (int k = r.first; k < r.first + r.count; ++k) {
      char line[32];
      std::snprintf(line, sizeof line, "%x %x\n", (k % 8836 / 94 + 0x21) << 8 | (k % 94 + 0x21), src->m2u[size_t(k)]);
      xfer += line;
    }

  std::vector<bytes> pxgs;
  for (int s = 0; s < src->nstrikes; ++s) {
    pxgblock b = block(src->pt[s], ranges, s == 1);
    for (const pxgrange& r : ranges)
      for (int k = r.first; k < r.first + r.count; ++k) {
        const uint16_t no = src->uni2bno[size_t(s)][src->m2u[size_t(k)]];
        const uint8_t* p = src->bitmap(s, no);
        b.bits.insert(b.bits.end(), p, p + bitmap_bytes(src->pt[s]));
        if (k % 6 == 0) {  // a few real glyphs for the tracer
          bytes t{src->pt[s]};
          t.insert(t.end(), p, p + bitmap_bytes(src->pt[s]));
          seed("fuzz_trace", "example" + std::to_string(src->pt[s]) + "-" + std::to_string(k), t);
        }
      }
    pxgfile f;
    f.blocks = {b};
    pxgs.push_back(build_pxg(f).bytes);
    seed("fuzz_pxg", "example" + std::to_string(src->pt[s]) + ".pxg", pxgs.back());
  }
  const std::string info = read_text(dir / "example.info");
  seed("fuzz_info", "example.info", info);
  seed("fuzz_xfer", "example-excerpt.txt", xfer);
  std::string head;  // the example table's first lines, as shipped
  {
    std::ifstream f(dir / "jis_uni.txt");
    std::string line;
    for (int k = 0; k < 40 && std::getline(f, line); ++k) head += line + "\n";
  }
  seed("fuzz_xfer", "example-head.txt", head);
  seed("fuzz_pxg_files", "example-3.pxg", join(pxgs));
  std::vector<bytes> all = {text(info), text(xfer)};
  all.insert(all.end(), pxgs.begin(), pxgs.end());
  seed("fuzz_convert", "example", join(all));
  std::string info_n = info;
  info_n.insert(0, "-n ");
  seed("fuzz_convert", "example-n", join({text(info_n), text(xfer), pxgs.back()}));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: mkseeds CORPUS_DIR [EXAMPLE_DIR]\n");
    return 2;
  }
  outdir = argv[1];
  std::FILE* null = std::freopen("/dev/null", "w", stdout);  // the reader's log
  (void)null;

  const std::vector<bytes> pxgs = pxg_seeds();
  for (size_t i = 0; i < pxgs.size(); ++i) seed("fuzz_pxg", "writer" + std::to_string(i) + ".pxg", pxgs[i]);
  seed("fuzz_pxg_files", "sizes-joined", join({pxgs[1], pxgs[0]}));
  seed("fuzz_pxg_files", "three", join({pxgs[3], pxgs[4], pxgs[2]}));

  seed("fuzz_info", "plain.info", info_text("out"));
  seed("fuzz_info", "words.info", info_text("  font more words", {"crlf\r", std::string(300, 'x')}));

  seed("fuzz_xfer", "grid-edges.txt", "6\n2121 3000\n7e7e 4e00\n12121 4e01\n17e7e 4e02\n2021 5000\n22121 5000\n");
  seed("fuzz_xfer", "odd-lines.txt", "x\n\n2121\n0x2122 0x3001\n-2123 +3002\n2124 1ff21\n");

  seed("fuzz_trace", "pixel4", trace_seed({"....", ".#..", "....", "...."}));
  seed("fuzz_trace", "ring5", trace_seed({".....", ".###.", ".#.#.", ".###.", "....."}));
  seed("fuzz_trace", "diagonal4", trace_seed({"#...", ".#..", "..#.", "...#"}));
  seed("fuzz_trace", "corners2", trace_seed({".#", "#."}));
  seed("fuzz_trace", "full16", trace_seed(std::vector<std::string>(16, std::string(16, '#'))));
  seed("fuzz_trace", "pixel1", trace_seed({"#"}));

  const std::string xfer = xfer_lines(0, 200);
  seed("fuzz_convert", "writer", join({text(info_text("out")), text(xfer), pxgs[0], pxgs[1]}));
  seed("fuzz_convert", "writer-n", join({text(info_text("-n")), text(xfer), pxgs[4]}));
  seed("fuzz_convert", "undefined", join({text(info_text("out")), text("1\n2121 3000\n"), pxgs[0]}));

  if (argc > 2) example_seeds(argv[2]);
  return 0;
}
