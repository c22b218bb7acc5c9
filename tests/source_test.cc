// The glyph source: jis_uni.txt loading, the pxg reader (with files made by
// the test pxg writer) and the glyph list.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "driver/quit.h"
#include "source/source.h"
#include "support/pxgwriter.h"
#include "support/rundir.h"

namespace {

// Linear JIS index of plane p, row r, cell c.
constexpr int jis(int p, int r, int c) { return p * 8836 + (r - 0x21) * 94 + (c - 0x21); }

// Calls f with stdout captured; returns the output and whether f ended
// through quit (and then which final line it printed is in the output).
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

// A glyph source whose m2u maps every code k to 0x3000 + k, ready for readpxg.
std::unique_ptr<glyphsrc> fresh_src() {
  auto src = std::make_unique<glyphsrc>();
  for (int k = 0; k < kJisCells; ++k) src->m2u[size_t(k)] = uint16_t(0x3000 + k);
  src->store.reset(new uint8_t[kStoreBytes]);
  return src;
}

// Runs readpxg over the named files; returns its log.
std::string read_files(glyphsrc& src, const std::vector<std::string>& names, bool* quitted = nullptr) {
  std::vector<const char*> argv;
  for (const auto& n : names) argv.push_back(n.c_str());
  return captured([&] { readpxg(int32_t(argv.size()), argv.data(), src); }, quitted);
}

// The bitmap strike s gives Unicode u, as bytes.
std::vector<uint8_t> stored(const glyphsrc& src, int s, uint16_t u) {
  const uint16_t k = src.uni2bno[size_t(s)][u];
  if (k == kNoBitmap) return {};
  const uint8_t* p = src.bitmap(s, k);
  return std::vector<uint8_t>(p, p + bitmap_bytes(src.pt[s]));
}

pxgblock block(uint8_t size, std::vector<pxgrange> ranges, bool datafork = false, uint8_t salt = 0) {
  pxgblock b;
  b.size = size;
  b.ranges = std::move(ranges);
  b.datafork = datafork;
  b.salt = salt;
  return b;
}

pxgfile file_of(std::vector<pxgblock> blocks) {
  pxgfile f;
  f.blocks = std::move(blocks);
  return f;
}

void put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  for (int k = 0; k < 4; ++k) b.at(at + size_t(k)) = uint8_t(v >> (24 - 8 * k));
}
void put16(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  b.at(at) = uint8_t(v >> 8);
  b.at(at + 1) = uint8_t(v);
}

}  // namespace

TEST(XferTable, LinesAndValues) {
  rundir dir;
  m2u_table m2u;
  std::string log;
  uint16_t n = 0;

  // The count line is only printed; the lines actually read are returned,
  // blank lines and lines the table has no room for included.
  dir.write("j.txt",
            "5\n"
            "2121 3000\n"
            "7e7e 4e00\n"
            "12121 4e01\n"        // plane 1, row 0x21, cell 0x21 -> index 8836
            "2121 3001\n"         // a later line for the same code wins
            "2122 0\n"            // Unicode 0 leaves the cell undefined
            "2123 1ff21\n"        // above 0xFFFF: the low 16 bits
            "2021 5000\n"         // row 0x20: off the grid
            "217f 5000\n"         // cell 0x7F: off the grid
            "22121 5000\n"        // plane 2: off the grid
            "hello\n"             // not two numbers
            "\n");                // blank
  log = captured([&] { n = setxfertbl("j.txt", m2u); });
  EXPECT_EQ(log, "jis-uni xfer-table : 5 chrs\n");
  EXPECT_EQ(n, 11);
  EXPECT_EQ(m2u[jis(0, 0x21, 0x21)], 0x3001);
  EXPECT_EQ(m2u[jis(0, 0x7E, 0x7E)], 0x4E00);
  EXPECT_EQ(m2u[8835], 0x4E00);
  EXPECT_EQ(m2u[8836], 0x4E01);
  EXPECT_EQ(m2u[jis(0, 0x21, 0x22)], 0);
  EXPECT_EQ(m2u[jis(0, 0x21, 0x23)], 0xFF21);
  int defined = 0;
  for (uint16_t u : m2u) defined += u != 0;
  EXPECT_EQ(defined, 4);  // off-grid lines wrote nowhere

  // A second load starts from an empty table; a line 1 without a number
  // prints 0; the count is printed as an unsigned 16-bit value.
  dir.write("j.txt", "none\n2222 3000\n");
  log = captured([&] { n = setxfertbl("j.txt", m2u); });
  EXPECT_EQ(log, "jis-uni xfer-table : 0 chrs\n");
  EXPECT_EQ(n, 1);
  EXPECT_EQ(m2u[jis(0, 0x21, 0x21)], 0);
  EXPECT_EQ(m2u[jis(0, 0x22, 0x22)], 0x3000);
  dir.write("j.txt", "-1\n");
  log = captured([&] { n = setxfertbl("j.txt", m2u); });
  EXPECT_EQ(log, "jis-uni xfer-table : 65535 chrs\n");
  EXPECT_EQ(n, 0);

  // A line longer than 254 characters is read as two pieces, each counted;
  // the first still holds its mapping.
  dir.write("j.txt", "1\n2424 3042" + std::string(300, ' ') + "\n2425 3043\n");
  log = captured([&] { n = setxfertbl("j.txt", m2u); });
  EXPECT_EQ(n, 3);
  EXPECT_EQ(m2u[jis(0, 0x24, 0x24)], 0x3042);
  EXPECT_EQ(m2u[jis(0, 0x24, 0x25)], 0x3043);

  // Numbers are read as sscanf's "%x %x" reads them, in every form: a
  // "0x" prefix, a sign, tabs, trailing text, more than 8 digits (kept
  // modulo 2^32), and a first number glued to a letter (only one number).
  dir.write("j.txt",
            "6\n"
            "0x2121 0X3002\n"
            "\t2122\t\t-1\n"
            "2123 +3004garbage\n"
            "2124 123456789\n"
            "2125x 3005\n"
            "2126 0x\n");
  log = captured([&] { n = setxfertbl("j.txt", m2u); });
  EXPECT_EQ(n, 6);
  EXPECT_EQ(m2u[jis(0, 0x21, 0x21)], 0x3002);
  EXPECT_EQ(m2u[jis(0, 0x21, 0x22)], 0xFFFF);
  EXPECT_EQ(m2u[jis(0, 0x21, 0x23)], 0x3004);
  EXPECT_EQ(m2u[jis(0, 0x21, 0x24)], 0x6789);
  EXPECT_EQ(m2u[jis(0, 0x21, 0x25)], 0);
  EXPECT_EQ(m2u[jis(0, 0x21, 0x26)], 0);

  // A missing file ends the run, naming jis_uni.txt whatever was asked.
  bool q = false;
  log = captured([&] { setxfertbl("missing.txt", m2u); }, &q);
  EXPECT_TRUE(q);
  EXPECT_EQ(log, "error : cannot open < jis_uni.txt >\n");
}

TEST(ReadPxg, StrikesFormBySizeAcrossFiles) {
  rundir dir;
  auto src = fresh_src();

  // Files given smallest size first: every new, larger size goes in front
  // and the strikes already read move up with their bitmaps and maps. Two
  // files (and two blocks of one file) of size 16 form one strike, the later
  // bitmaps numbered after the earlier ones; storage modes mix freely.
  write_pxg("a12.pxg", build_pxg(file_of({block(12, {{0, 10}})})).bytes);
  write_pxg("b16.pxg", build_pxg(file_of({block(16, {{100, 3}, {110, 2}}),
                                          block(16, {{120, 1}}, true, 1)})).bytes);
  write_pxg("c16.pxg", build_pxg(file_of({block(16, {{200, 3}}, true, 2)})).bytes);
  write_pxg("d24.pxg", build_pxg(file_of({block(24, {{0, 2}})})).bytes);
  bool q = true;
  const std::string log = read_files(*src, {"a12.pxg", "b16.pxg", "c16.pxg", "d24.pxg"}, &q);
  EXPECT_FALSE(q);
  EXPECT_EQ(log, "a12.pxg\nb16.pxg\nc16.pxg\nd24.pxg\n");
  ASSERT_EQ(src->nstrikes, 3);
  EXPECT_EQ(src->pt[0], 24);
  EXPECT_EQ(src->pt[1], 16);
  EXPECT_EQ(src->pt[2], 12);
  EXPECT_EQ(src->bchrs[0], 2);
  EXPECT_EQ(src->bchrs[1], 9);
  EXPECT_EQ(src->bchrs[2], 10);
  const std::vector<std::pair<int, uint16_t>> order16 = {{100, 0}, {101, 1}, {102, 2}, {110, 3}, {111, 4},
                                                         {120, 5}, {200, 6}, {201, 7}, {202, 8}};
  for (auto [code, k] : order16) EXPECT_EQ(src->uni2bno[1][0x3000 + code], k) << code;
  EXPECT_EQ(stored(*src, 1, 0x3000 + 120), pxg_pattern(16, 120, 1));
  EXPECT_EQ(stored(*src, 1, 0x3000 + 202), pxg_pattern(16, 202, 2));
  for (uint16_t c = 0; c < 10; ++c) EXPECT_EQ(stored(*src, 2, 0x3000 + c), pxg_pattern(12, c)) << c;
  EXPECT_EQ(stored(*src, 0, 0x3001), pxg_pattern(24, 1));
  // Maps moved with their strikes: code 5 is only in the 12-pixel strike.
  EXPECT_EQ(src->uni2bno[0][0x3005], kNoBitmap);
  EXPECT_EQ(src->uni2bno[1][0x3005], kNoBitmap);
  EXPECT_EQ(src->uni2bno[2][0x3005], 5);
  EXPECT_EQ(src->uni2bno[2][0], kNoBitmap);

  // The same files in another order give the same strikes.
  auto again = fresh_src();
  read_files(*again, {"d24.pxg", "c16.pxg", "a12.pxg", "b16.pxg"});
  ASSERT_EQ(again->nstrikes, 3);
  EXPECT_EQ(again->pt[0], 24);
  EXPECT_EQ(again->pt[2], 12);
  EXPECT_EQ(again->uni2bno[1][0x3000 + 200], 0);
  EXPECT_EQ(again->uni2bno[1][0x3000 + 100], 3);
  EXPECT_EQ(stored(*again, 2, 0x3009), pxg_pattern(12, 9));
}

TEST(ReadPxg, BlocksRangesAndForkLayouts) {
  rundir dir;

  // A file without bitmap blocks (other resources and a map only) adds
  // nothing, but its name is printed; so does a fork shorter than 4 bytes.
  pxgfile empty;
  write_pxg("empty.pxg", build_pxg(empty).bytes);
  auto tiny = build_pxg(empty).bytes;
  put32(tiny, 87, 2);
  write_pxg("tiny.pxg", tiny);
  auto src = fresh_src();
  bool q = true;
  EXPECT_EQ(read_files(*src, {"empty.pxg", "tiny.pxg"}, &q), "empty.pxg\ntiny.pxg\n");
  EXPECT_FALSE(q);
  EXPECT_EQ(src->nstrikes, 0);

  // Two codes mapping to one Unicode value: the later bitmap is the one
  // named, the earlier stays in the store unreferenced. A zero-count range
  // adds nothing and does not shift the bitmaps after it.
  src = fresh_src();
  src->m2u[40] = src->m2u[30];
  write_pxg("dup.pxg", build_pxg(file_of({block(16, {{30, 1}, {50, 0}, {40, 2}})})).bytes);
  EXPECT_EQ(read_files(*src, {"dup.pxg"}, &q), "dup.pxg\n");
  ASSERT_EQ(src->nstrikes, 1);
  EXPECT_EQ(src->bchrs[0], 3);
  EXPECT_EQ(src->uni2bno[0][0x3000 + 30], 1);
  EXPECT_EQ(stored(*src, 0, 0x3000 + 30), pxg_pattern(16, 40));
  EXPECT_EQ(stored(*src, 0, 0x3000 + 41), pxg_pattern(16, 41));
  EXPECT_EQ(src->uni2bno[0][0x3000 + 50], kNoBitmap);

  // A block with no ranges still creates its strike.
  src = fresh_src();
  write_pxg("none.pxg", build_pxg(file_of({block(20, {})})).bytes);
  read_files(*src, {"none.pxg"}, &q);
  EXPECT_FALSE(q);
  ASSERT_EQ(src->nstrikes, 1);
  EXPECT_EQ(src->pt[0], 20);
  EXPECT_EQ(src->bchrs[0], 0);

  // The walk runs to the end of the whole fork, over the resource map:
  // with the map's header copy (its first word, 256, reads as a length that
  // runs past the fork), with a zeroed copy (the walk steps through the
  // map's words), with a data area right after the 16-byte header, without
  // other entries or map, and with a long map after non-zero reserved bytes
  // (which only a walk from the header's position skips). Every shape reads
  // the same strike.
  std::vector<pxgfile> shapes(5, file_of({block(16, {{0, 4}, {94, 4}}, false), block(16, {{300, 5}}, true),
                                          block(16, {{8836, 2}}, false)}));
  shapes[1].map_header_copy = false;
  shapes[2].data_at = 16;
  shapes[3].others = false;
  shapes[3].map = false;
  shapes[4].blocks[0].name = std::string(200, 'n');  // a map long enough to be stepped into
  shapes[4].blocks[1].name = "second";
  shapes[4].reserved_fill = 0xFF;
  for (size_t i = 0; i < shapes.size(); ++i) {
    const pxgimage img = build_pxg(shapes[i]);
    if (shapes[i].map) {
      ASSERT_GT(img.forklen, img.map_at + 16) << i;
    }
    write_pxg("shape.pxg", img.bytes);
    src = fresh_src();
    const std::string log = read_files(*src, {"shape.pxg"}, &q);
    EXPECT_FALSE(q) << i << log;
    ASSERT_EQ(src->nstrikes, 1) << i;
    EXPECT_EQ(src->bchrs[0], 15) << i;
    EXPECT_EQ(stored(*src, 0, 0x3000 + 97), pxg_pattern(16, 97)) << i;
    EXPECT_EQ(stored(*src, 0, 0x3000 + 304), pxg_pattern(16, 304)) << i;
    EXPECT_EQ(stored(*src, 0, 0x3000 + 8837), pxg_pattern(16, 8837)) << i;
  }

  // An entry whose data would run past the fork ends the walk quietly: the
  // block after it is never seen.
  pxgfile two = file_of({block(16, {{0, 1}}), block(12, {{0, 1}})});
  two.others = false;
  pxgimage img = build_pxg(two);
  put32(img.bytes, img.fork + img.block_at[0] - 4, img.forklen);
  write_pxg("cut.pxg", img.bytes);
  src = fresh_src();
  read_files(*src, {"cut.pxg"}, &q);
  EXPECT_FALSE(q);
  EXPECT_EQ(src->nstrikes, 0);

  // A block's header and ranges need only lie in the fork, not in the
  // entry's own length: with the length cut to 6 the block is still read,
  // and the walk goes on from inside it (and there runs out).
  img = build_pxg(two);
  put32(img.bytes, img.fork + img.block_at[0] - 4, 6);
  write_pxg("short.pxg", img.bytes);
  src = fresh_src();
  read_files(*src, {"short.pxg"}, &q);
  EXPECT_FALSE(q);
  ASSERT_EQ(src->nstrikes, 1);
  EXPECT_EQ(stored(*src, 0, 0x3000), pxg_pattern(16, 0));
}

TEST(ReadPxg, UndefinedCodes) {
  rundir dir;
  auto src = fresh_src();
  src->m2u[0] = 0;
  src->m2u[8836] = 0;

  // Each undefined code is reported as it is met, with its JIS form from
  // the linear index (0 -> 02121, 8836 -> 12121); codes past the table are
  // undefined and printed at full width, and a range may run past 0xFFFF.
  // Reading goes on through every file; the run then ends.
  write_pxg("u1.pxg", build_pxg(file_of({block(16, {{0, 2}, {8836, 1}, {17671, 2}})})).bytes);
  write_pxg("u2.pxg", build_pxg(file_of({block(12, {{0xFFFF, 2}})})).bytes);
  bool q = false;
  const std::string log = read_files(*src, {"u1.pxg", "u2.pxg"}, &q);
  EXPECT_TRUE(q);
  EXPECT_EQ(log,
            "u1.pxg\n"
            "undefined chrcode : pxg=0000 jis=02121\n"
            "undefined chrcode : pxg=2284 jis=12121\n"
            "undefined chrcode : pxg=4508 jis=22121\n"
            "u2.pxg\n"
            "undefined chrcode : pxg=ffff jis=74832\n"
            "undefined chrcode : pxg=10000 jis=74833\n"
            "error : cannot xfer chrcode\n");
  EXPECT_EQ(src->bchrs[0], 2);  // codes 1 and 17671 got numbers
  EXPECT_EQ(src->uni2bno[0][0x3001], 0);
  EXPECT_EQ(src->uni2bno[0][0x3000 + 17671], 1);
}

TEST(ReadPxg, Refusals) {
  rundir dir;
  bool q = false;
  // Runs the reader on these bytes as one file and returns its last line.
  auto last_line = [&](const std::vector<uint8_t>& bytes) {
    write_pxg("bad.pxg", bytes);
    auto src = fresh_src();
    std::string log = read_files(*src, {"bad.pxg"}, &q);
    EXPECT_TRUE(q) << log;
    log.pop_back();
    return log.substr(log.rfind('\n') + 1);
  };
  const std::string broken = "error : broken pxg(pxgb)-file";
  pxgfile one = file_of({block(16, {{0, 2}, {10, 3}})});
  one.others = false;
  pxgfile df = file_of({block(16, {{0, 2}}, true)});
  df.others = false;

  // A file that cannot be opened; the files before it were read.
  write_pxg("ok.pxg", build_pxg(one).bytes);
  auto src = fresh_src();
  EXPECT_EQ(read_files(*src, {"ok.pxg", "nope.pxg"}, &q), "ok.pxg\nnope.pxg\nerror : cannot open pxg(pxgb)-file\n");
  EXPECT_TRUE(q);

  // A header shorter than 128 bytes; an empty file.
  std::vector<uint8_t> b = build_pxg(one).bytes;
  EXPECT_EQ(last_line(std::vector<uint8_t>(b.begin(), b.begin() + 127)), broken);
  EXPECT_EQ(last_line({}), broken);

  // A fork one byte past the end of the file; a fork of length 0 that
  // starts past the end (data fork length too big).
  pxgimage img = build_pxg(one);
  b = img.bytes;
  put32(b, 87, uint32_t(b.size() - img.fork + 1));
  EXPECT_EQ(last_line(b), broken);
  b = img.bytes;
  put32(b, 83, uint32_t(b.size()));
  put32(b, 87, 0);
  EXPECT_EQ(last_line(b), broken);
  b = img.bytes;  // both at their largest: no wrap
  put32(b, 83, 0xFFFFFFFF);
  put32(b, 87, 0xFFFFFFFF);
  EXPECT_EQ(last_line(b), broken);

  // A block's header, or its range list, reaching past the fork while the
  // entry itself (length cut to 6) fits: inline and data-fork headers, and
  // a range list short by one byte.
  for (const pxgfile& f : {one, df}) {
    img = build_pxg(f);
    const uint64_t D = img.block_at[0];
    b = img.bytes;
    put32(b, img.fork + D - 4, 6);
    put32(b, 87, uint32_t(D + (f.blocks[0].datafork ? 101 : 37)));
    EXPECT_EQ(last_line(b), broken);
    put32(b, 87, uint32_t(D + (f.blocks[0].datafork ? 102 : 38) + 6 * f.blocks[0].ranges.size() - 1));
    EXPECT_EQ(last_line(b), broken);
  }

  // Pixel size 0.
  b = img.bytes;
  b[img.fork + img.block_at[0] + 27] = 0;
  EXPECT_EQ(last_line(b), broken);

  // Data-fork bitmaps past the end of the file, also when there are none
  // but their position is past the end.
  b = img.bytes;
  put16(b, img.fork + img.block_at[0] + 54, 0xFFFF);
  EXPECT_EQ(last_line(b), broken);
  pxgfile df0 = df;
  df0.blocks[0].ranges = {{5, 0}};
  img = build_pxg(df0);
  b = img.bytes;
  put16(b, img.fork + img.block_at[0] + 54, uint32_t(b.size()));  // 128 past the end
  EXPECT_EQ(last_line(b), broken);
  put16(b, img.fork + img.block_at[0] + 54, uint32_t(b.size() - 128));  // exactly at the end: fine
  write_pxg("edge.pxg", b);
  src = fresh_src();
  read_files(*src, {"edge.pxg"}, &q);
  EXPECT_FALSE(q);

  // Inline bitmaps past the end of the file (a range count made larger).
  img = build_pxg(one);
  b = img.bytes;
  put16(b, img.fork + img.block_at[0] + 38 + 6 + 4, 200);
  EXPECT_EQ(last_line(b), broken);

  // A seventh size; six are fine.
  pxgfile sizes;
  for (uint8_t s = 10; s < 16; ++s) sizes.blocks.push_back(block(s, {{s, 1}}));
  write_pxg("six.pxg", build_pxg(sizes).bytes);
  src = fresh_src();
  read_files(*src, {"six.pxg"}, &q);
  EXPECT_FALSE(q);
  EXPECT_EQ(src->nstrikes, 6);
  sizes.blocks.push_back(block(9, {{9, 1}}));
  EXPECT_EQ(last_line(build_pxg(sizes).bytes), "error : too many bitmap sizes");

  // A strike reaching 0x8000 bitmaps: 0x7FFF are fine (1-pixel bitmaps,
  // codes repeated over two blocks), one more is refused.
  pxgfile many = file_of({block(1, {{0, 17672}}), block(1, {{0, 0x7FFF - 17672}})});
  write_pxg("many.pxg", build_pxg(many).bytes);
  src = fresh_src();
  read_files(*src, {"many.pxg"}, &q);
  EXPECT_FALSE(q);
  EXPECT_EQ(src->bchrs[0], 0x7FFF);
  many.blocks[1].ranges[0].count += 1;
  EXPECT_EQ(last_line(build_pxg(many).bytes), "error : too many bitmaps");

  // A strike outgrowing its 2 MiB slot: 257 bitmaps of 255 pixels fit
  // (2,089,153 bytes), 258 do not. The slot check comes before the check
  // that the bitmaps are in the file, so a count patched up to 258 is
  // refused as too many, not as broken.
  pxgfile big = file_of({block(255, {{0, 200}}), block(255, {{1000, 57}})});
  big.others = false;
  big.map = false;
  img = build_pxg(big);
  write_pxg("big.pxg", img.bytes);
  src = fresh_src();
  read_files(*src, {"big.pxg"}, &q);
  EXPECT_FALSE(q);
  EXPECT_EQ(src->bchrs[0], 257);
  EXPECT_EQ(stored(*src, 0, 0x3000 + 1056), pxg_pattern(255, 1056));
  b = img.bytes;
  put16(b, img.fork + img.block_at[1] + 38 + 4, 58);
  EXPECT_EQ(last_line(b), "error : too many bitmaps");

  // Order inside a block: a broken header wins over a seventh size.
  sizes.blocks.back().ranges.assign(200, pxgrange{9, 1});
  img = build_pxg(sizes);
  b = img.bytes;
  put32(b, 87, uint32_t(img.block_at.back() + 100));
  put32(b, img.fork + img.block_at.back() - 4, 6);
  EXPECT_EQ(last_line(b), broken);
}

TEST(GlyphList, UnionOfStrikesInCodeOrder) {
  auto src = fresh_src();
  for (auto& m : src->uni2bno) m.fill(kNoBitmap);

  // No strike: glyph 0 alone.
  build_glyph_list(*src);
  ASSERT_EQ(src->glyphs.size(), 1u);
  EXPECT_EQ(src->glyphs[0].code, 0);

  // A code in several strikes gets one glyph; a code only in the smaller
  // strike still gets one; the list ascends and counts glyph 0. Map entries
  // of strikes not in use are ignored.
  src->nstrikes = 2;
  src->bchrs[0] = 2;
  src->bchrs[1] = 3;
  src->uni2bno[0][0x4E00] = 0;
  src->uni2bno[0][0xFFFF] = 1;
  src->uni2bno[1][0x4E00] = 0;
  src->uni2bno[1][0x3042] = 1;
  src->uni2bno[1][0x0041] = 2;
  src->uni2bno[2][0x5000] = 0;
  build_glyph_list(*src);
  std::vector<uint16_t> codes;
  for (const GLYPH& g : src->glyphs) codes.push_back(g.code);
  EXPECT_EQ(codes, (std::vector<uint16_t>{0, 0x41, 0x3042, 0x4E00, 0xFFFF}));
}

TEST(GlyphList, SortGlyph) {
  // Whole records move (len with its code); first > last and first == last
  // touch nothing; a sub-range leaves the rest alone.
  std::vector<GLYPH> g = {{9, 90}, {5, 50}, {7, 70}, {1, 10}, {3, 30}};
  auto before = g;
  sort_glyph(g.data(), 3, 2);
  sort_glyph(g.data(), 1, 1);
  for (size_t k = 0; k < g.size(); ++k) EXPECT_EQ(g[k].code, before[k].code);
  sort_glyph(g.data(), 1, 3);
  EXPECT_EQ(g[0].code, 9);
  EXPECT_EQ(g[1].code, 1);
  EXPECT_EQ(g[3].code, 7);
  EXPECT_EQ(g[4].code, 3);
  sort_glyph(g.data(), 0, 4);
  for (size_t k = 0; k < g.size(); ++k) {
    EXPECT_EQ(g[k].len, g[k].code * 10u);
    if (k) {
      EXPECT_LT(g[k - 1].code, g[k].code);
    }
  }
}

TEST(GlyphSource, WholeRuns) {
  rundir dir;
  std::string table = "3\n";
  for (int row = 0x21; row <= 0x22; ++row)
    for (int cell = 0x21; cell <= 0x7E; ++cell) {
      char line[32];
      std::snprintf(line, sizeof line, "%x %x\n", row << 8 | cell, 0x4E00 + jis(0, row, cell));
      table += line;
    }
  dir.write("jis_uni.txt", table);
  dir.write("font.info", info_text("out"));

  // Two files of one size given after a larger one: two strikes, 100
  // distinct Unicode values give 101 glyphs.
  write_pxg("a.pxg", build_pxg(file_of({block(12, {{0, 60}})})).bytes);
  write_pxg("b.pxg", build_pxg(file_of({block(12, {{60, 40}})})).bytes);
  write_pxg("c.pxg", build_pxg(file_of({block(16, {{0, 10}}, true)})).bytes);
  std::string log = run_kilnfont({"font.info", "c.pxg", "a.pxg", "b.pxg"});
  EXPECT_NE(log.find("188 chrs(xfer-table)\nc.pxg\na.pxg\nb.pxg\n2 bitmap-tables\nset g\nxfer 101 chrs\nsort\n"),
            std::string::npos)
      << log;

  // An undefined code ends the run before any output file exists.
  write_pxg("u.pxg", build_pxg(file_of({block(12, {{200, 1}})})).bytes);
  dir.write("bad.info", info_text("bad"));
  log = run_kilnfont({"bad.info", "a.pxg", "u.pxg"});
  EXPECT_NE(log.find("a.pxg\nu.pxg\nundefined chrcode : pxg=00c8 jis=0232d\nerror : cannot xfer chrcode\n"),
            std::string::npos)
      << log;
  EXPECT_TRUE(dir.exists("out.ttf"));
  EXPECT_FALSE(dir.exists("bad.ttf"));
}

TEST(ReadPxg, DamagedFilesStayInBounds) {
  rundir dir;
  // Random byte damage, mostly in the headers, lengths and range lists that
  // steer the reader. Whatever the outcome (read, or refused through quit),
  // the strikes stay consistent; under the sanitizer build this also shows
  // that nothing is read or written out of bounds.
  pxgfile f = file_of({block(16, {{0, 3}, {90, 2}}), block(12, {{5, 4}}, true), block(16, {{300, 1}}, true),
                       block(24, {{17000, 2}})});
  const pxgimage img = build_pxg(f);
  std::vector<uint64_t> hot = {83, 84, 85, 86, 87, 88, 89, 90, img.fork, img.fork + 3, img.fork + img.map_at};
  for (uint64_t D : img.block_at)
    for (uint64_t k : {uint64_t(0), uint64_t(11), uint64_t(27), uint64_t(37), uint64_t(38), uint64_t(42),
                       uint64_t(43), uint64_t(54), uint64_t(55), uint64_t(101), uint64_t(106), uint64_t(107)}) {
      hot.push_back(img.fork + D + k);
      hot.push_back(img.fork + D - 4 + k % 4);
    }
  uint32_t rng = 12345;
  auto next = [&] { return rng = rng * 1664525u + 1013904223u; };
  for (int round = 0; round < 400; ++round) {
    std::vector<uint8_t> b = img.bytes;
    const int hits = 1 + int(next() >> 29);
    for (int h = 0; h < hits; ++h) {
      const uint64_t at = next() % 4 ? hot[(next() >> 8) % hot.size()] : (next() >> 4) % b.size();
      if (at < b.size()) b[at] = uint8_t(next() >> 24);
    }
    if (next() % 8 == 0) b.resize((next() >> 4) % b.size());
    write_pxg("d.pxg", b);
    auto src = fresh_src();
    read_files(*src, {"d.pxg"});
    ASSERT_LE(src->nstrikes, kMaxStrikes);
    for (int s = 0; s < src->nstrikes; ++s) {
      ASSERT_LT(src->bchrs[s], 0x8000);
      ASSERT_GT(src->pt[s], 0);
      if (s) {
        ASSERT_GT(src->pt[s - 1], src->pt[s]);
      }
      for (uint16_t k : src->uni2bno[size_t(s)]) ASSERT_TRUE(k == kNoBitmap || k < src->bchrs[s]) << round;
    }
  }
}
