// The glyph source: jis_uni.txt loading, the pxg reader (with files made by
// the test pxg writer) and the glyph list.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "source/source.h"
#include "support/pxgwriter.h"
#include "support/rundir.h"

namespace {

// Linear JIS index of row r, cell c of plane 0.
constexpr int jis(int r, int c) { return (r - 0x21) * 94 + (c - 0x21); }

// The bitmap strike s gives Unicode u, as bytes.
std::vector<uint8_t> stored(const glyphsrc& src, int s, uint16_t u) {
  const uint16_t k = src.uni2bno[size_t(s)][u];
  if (k == kNoBitmap) return {};
  return std::vector<uint8_t>(src.bitmap(s, k), src.bitmap(s, k) + bitmap_bytes(src.pt[s]));
}

pxgblock block(uint8_t size, std::vector<pxgrange> ranges, bool datafork = false, uint8_t salt = 0) {
  pxgblock b;
  b.size = size, b.ranges = std::move(ranges), b.datafork = datafork, b.salt = salt;
  return b;
}

pxgfile file_of(std::vector<pxgblock> blocks, bool others = true) {
  pxgfile f;
  f.blocks = std::move(blocks);
  f.others = others;
  return f;
}

void put(std::vector<uint8_t>& b, uint64_t at, uint32_t v, int bytes = 4) {
  for (int k = 0; k < bytes; ++k) b.at(size_t(at) + size_t(k)) = uint8_t(v >> (8 * (bytes - 1 - k)));
}

}  // namespace

TEST(XferTable, LinesAndValues) {
  rundir dir;
  m2u_table m2u;
  uint16_t n = 0;
  // The count line is only printed; every line after it is counted, blank,
  // unreadable and off-grid ones too, and a line longer than 254 characters
  // as two pieces. Numbers are read as sscanf's "%x %x" reads them.
  dir.write("j.txt",
            "5\n"
            "2121 3000\n"
            "7e7e 4e00\n"           // the last cell of plane 0: index 8835
            "12121 4e01\n"          // plane 1, row 0x21, cell 0x21: index 8836
            "2121 3001\n"           // a later line for the same code wins
            "2122 0\n"              // Unicode 0 leaves the cell undefined
            "2123 1ff21\n"          // above 0xFFFF: the low 16 bits
            "2021 5000\n217f 5000\n22121 5000\n"  // row 0x20, cell 0x7F, plane 2: off the grid
            "hello\n\n"             // not two numbers; blank
            "2424 3042" + std::string(300, ' ') + "\n"
            "2321 0X3002\n0x2327 3007\n"  // "0x" prefixes
            "\t2322\t\t-1\n"        // tabs, a sign
            "2323 +3004garbage\n"   // trailing text
            "2324 123456789\n"      // more than 8 digits: modulo 2^32
            "2325x 3005\n"          // a first number glued to a letter: one number only
            "2326 0x\n");
  EXPECT_EQ(captured([&] { n = setxfertbl("j.txt", m2u); }), "jis-uni xfer-table : 5 chrs\n");
  EXPECT_EQ(n, 20);
  const std::pair<int, uint16_t> want[] = {
      {jis(0x21, 0x21), 0x3001}, {8835, 0x4E00},           {8836, 0x4E01},           {jis(0x21, 0x22), 0},
      {jis(0x21, 0x23), 0xFF21}, {jis(0x24, 0x24), 0x3042}, {jis(0x23, 0x21), 0x3002}, {jis(0x23, 0x27), 0x3007},
      {jis(0x23, 0x22), 0xFFFF}, {jis(0x23, 0x23), 0x3004}, {jis(0x23, 0x24), 0x6789}, {jis(0x23, 0x25), 0},
      {jis(0x23, 0x26), 0}};
  for (auto [k, u] : want) EXPECT_EQ(m2u[size_t(k)], u) << k;
  int defined = 0;
  for (uint16_t u : m2u) defined += u != 0;
  EXPECT_EQ(defined, 10);  // off-grid lines wrote nowhere

  // A second load starts from an empty table; a line 1 without a number
  // prints 0.
  dir.write("j.txt", "none\n2222 3000\n");
  EXPECT_EQ(captured([&] { n = setxfertbl("j.txt", m2u); }), "jis-uni xfer-table : 0 chrs\n");
  EXPECT_EQ(n, 1);
  EXPECT_EQ(m2u[jis(0x21, 0x21)], 0);

}

TEST(ReadPxg, StrikesFormBySizeAcrossFiles) {
  rundir dir;
  // Sizes met smallest first: each new, larger size goes in front and the
  // strikes already read move up with their bitmaps and maps. Two files
  // (and two blocks of one file) of size 16 form one strike, the later
  // bitmaps numbered after the earlier ones, also after the strike moved;
  // storage modes mix freely.
  write_pxg("a12.pxg", build_pxg(file_of({block(12, {{0, 10}})})).bytes);
  write_pxg("b16.pxg", build_pxg(file_of({block(16, {{100, 3}, {110, 2}}), block(16, {{120, 1}}, true, 1)})).bytes);
  write_pxg("d24.pxg", build_pxg(file_of({block(24, {{0, 2}})})).bytes);
  write_pxg("c16.pxg", build_pxg(file_of({block(16, {{200, 3}}, true, 2)})).bytes);
  auto src = pxg_source();
  bool q = true;
  EXPECT_EQ(read_pxg(*src, {"a12.pxg", "b16.pxg", "d24.pxg", "c16.pxg"}, &q), "a12.pxg\nb16.pxg\nd24.pxg\nc16.pxg\n");
  EXPECT_FALSE(q);
  ASSERT_EQ(src->nstrikes, 3);
  EXPECT_EQ((std::vector<int>{src->pt[0], src->pt[1], src->pt[2]}), (std::vector<int>{24, 16, 12}));
  EXPECT_EQ((std::vector<int>{src->bchrs[0], src->bchrs[1], src->bchrs[2]}), (std::vector<int>{2, 9, 10}));
  const std::pair<int, uint16_t> order16[] = {{100, 0}, {101, 1}, {102, 2}, {110, 3}, {111, 4},
                                              {120, 5}, {200, 6}, {201, 7}, {202, 8}};
  for (auto [code, k] : order16) EXPECT_EQ(src->uni2bno[1][0x3000 + code], k) << code;
  EXPECT_EQ(stored(*src, 1, 0x3000 + 120), pxg_pattern(16, 120, 1));
  EXPECT_EQ(stored(*src, 1, 0x3000 + 202), pxg_pattern(16, 202, 2));
  for (uint16_t c = 0; c < 10; ++c) EXPECT_EQ(stored(*src, 2, 0x3000 + c), pxg_pattern(12, c)) << c;
  EXPECT_EQ(stored(*src, 0, 0x3001), pxg_pattern(24, 1));
  // Maps moved with their strikes: code 5 is only in the 12-pixel strike.
  EXPECT_EQ((std::vector<int>{src->uni2bno[0][0x3005], src->uni2bno[1][0x3005], src->uni2bno[2][0x3005]}),
            (std::vector<int>{kNoBitmap, kNoBitmap, 5}));
}

TEST(ReadPxg, BlocksRangesAndForkLayouts) {
  rundir dir;
  bool q = true;
  // A file without bitmap blocks (other resources and a map only) adds
  // nothing, but its name is printed; so does a fork shorter than 4 bytes.
  std::vector<uint8_t> tiny = build_pxg(pxgfile{}).bytes;
  write_pxg("empty.pxg", tiny);
  put(tiny, 87, 2);
  write_pxg("tiny.pxg", tiny);
  auto src = pxg_source();
  EXPECT_EQ(read_pxg(*src, {"empty.pxg", "tiny.pxg"}, &q), "empty.pxg\ntiny.pxg\n");
  EXPECT_FALSE(q);
  EXPECT_EQ(src->nstrikes, 0);

  // Two codes mapping to one Unicode value: the later bitmap is the one
  // named, the earlier stays in the store unreferenced. A zero-count range
  // adds nothing and does not shift the bitmaps after it.
  src = pxg_source();
  src->m2u[40] = src->m2u[30];
  write_pxg("dup.pxg", build_pxg(file_of({block(16, {{30, 1}, {50, 0}, {40, 2}})})).bytes);
  EXPECT_EQ(read_pxg(*src, {"dup.pxg"}, &q), "dup.pxg\n");
  ASSERT_EQ(src->nstrikes, 1);
  EXPECT_EQ(src->bchrs[0], 3);
  EXPECT_EQ(src->uni2bno[0][0x3000 + 30], 1);
  EXPECT_EQ(stored(*src, 0, 0x3000 + 30), pxg_pattern(16, 40));
  EXPECT_EQ(stored(*src, 0, 0x3000 + 41), pxg_pattern(16, 41));
  EXPECT_EQ(src->uni2bno[0][0x3000 + 50], kNoBitmap);

  // The walk runs to the end of the whole fork, over the resource map:
  // with the map's header copy (its first word, 256, reads as a length that
  // runs past the fork), with a zeroed copy (the walk steps through the
  // map's words), with a data area right after the 16-byte header, without
  // other entries or map, and with a long map after non-zero reserved bytes
  // (which only a walk from the header's position skips). Every shape reads
  // the same strike.
  std::vector<pxgfile> shapes(5, file_of({block(16, {{0, 4}, {94, 4}}), block(16, {{300, 5}}, true),
                                          block(16, {{8836, 2}})}));
  shapes[1].map_header_copy = false;
  shapes[2].data_at = 16;
  shapes[3].others = shapes[3].map = false;
  shapes[4].blocks[0].name = std::string(200, 'n');  // a map long enough to be stepped into
  shapes[4].reserved_fill = 0xFF;
  for (size_t i = 0; i < shapes.size(); ++i) {
    write_pxg("shape.pxg", build_pxg(shapes[i]).bytes);
    src = pxg_source();
    read_pxg(*src, {"shape.pxg"}, &q);
    EXPECT_FALSE(q) << i;
    ASSERT_EQ(src->nstrikes, 1) << i;
    EXPECT_EQ(src->bchrs[0], 15) << i;
    for (uint16_t code : {97, 304, 8837}) EXPECT_EQ(stored(*src, 0, 0x3000 + code), pxg_pattern(16, code)) << i;
  }
}

TEST(ReadPxg, UndefinedCodes) {
  rundir dir;
  auto src = pxg_source();
  src->m2u[0] = src->m2u[8836] = 0;
  // Each undefined code is reported as it is met, with its JIS form from
  // the linear index (0 -> 02121, 8836 -> 12121); codes past the table are
  // undefined and printed at full width, and a range may run past 0xFFFF.
  // Reading goes on through every file; the run then ends.
  write_pxg("u1.pxg", build_pxg(file_of({block(16, {{0, 2}, {8836, 1}, {17671, 2}})})).bytes);
  write_pxg("u2.pxg", build_pxg(file_of({block(12, {{0xFFFF, 2}})})).bytes);
  bool q = false;
  EXPECT_EQ(read_pxg(*src, {"u1.pxg", "u2.pxg"}, &q),
            "u1.pxg\n"
            "undefined chrcode : pxg=0000 jis=02121\n"
            "undefined chrcode : pxg=2284 jis=12121\n"
            "undefined chrcode : pxg=4508 jis=22121\n"
            "u2.pxg\n"
            "undefined chrcode : pxg=ffff jis=74832\n"
            "undefined chrcode : pxg=10000 jis=74833\n"
            "error : cannot xfer chrcode\n");
  EXPECT_TRUE(q);
  EXPECT_EQ(src->bchrs[0], 2);  // codes 1 and 17671 got numbers
  EXPECT_EQ(src->uni2bno[0][0x3001], 0);
  EXPECT_EQ(src->uni2bno[0][0x3000 + 17671], 1);
}

TEST(ReadPxg, Refusals) {
  rundir dir;
  const std::string broken = "error : broken pxg(pxgb)-file\n";
  bool q = false;
  // Each case is a file and the end of the reader's log: a refusal, or ""
  // for a file read whole.
  std::vector<std::pair<std::vector<uint8_t>, std::string>> cases;
  auto add = [&](std::vector<uint8_t> b, const std::string& end) { cases.push_back({std::move(b), end}); };
  const pxgimage in = build_pxg(file_of({block(16, {{0, 2}, {10, 3}})}, false));
  const pxgimage df = build_pxg(file_of({block(16, {{0, 2}}, true)}, false));
  const uint64_t D = in.fork + in.block_at[0], Ddf = df.fork + df.block_at[0];
  std::vector<uint8_t> b;

  // A header shorter than 128 bytes; an empty file.
  add(std::vector<uint8_t>(in.bytes.begin(), in.bytes.begin() + 127), broken);
  add({}, broken);
  // A fork one byte past the end of the file; a fork of length 0 that starts
  // past the end; both fork lengths at their largest (no wrap).
  b = in.bytes, put(b, 87, uint32_t(b.size() - in.fork + 1)), add(b, broken);
  b = in.bytes, put(b, 83, uint32_t(b.size())), put(b, 87, 0), add(b, broken);
  b = in.bytes, put(b, 83, 0xFFFFFFFF), put(b, 87, 0xFFFFFFFF), add(b, broken);
  // A block's header (inline, data-fork), or its range list, reaching one
  // byte past the fork while the entry itself (length cut to 6) fits.
  for (const pxgimage* img : {&in, &df}) {
    const uint64_t hdr = img == &in ? 38 : 102, ranges = 6 * (img == &in ? 2 : 1);
    b = img->bytes;
    put(b, img->fork + img->block_at[0] - 4, 6);
    put(b, 87, uint32_t(img->block_at[0] + hdr - 1)), add(b, broken);
    put(b, 87, uint32_t(img->block_at[0] + hdr + ranges - 1)), add(b, broken);
  }
  // Pixel size 0.
  b = in.bytes, b[D + 27] = 0, add(b, broken);
  // Bitmaps past the end of the file: inline (a range count made larger),
  // in the data fork, and none but their position past the end; exactly
  // at the end is fine.
  b = in.bytes, put(b, D + 38 + 6 + 4, 200, 2), add(b, broken);
  b = df.bytes, put(b, Ddf + 54, 0xFFFF, 2), add(b, broken);
  const pxgimage df0 = build_pxg(file_of({block(16, {{5, 0}}, true)}, false));
  b = df0.bytes, put(b, df0.fork + df0.block_at[0] + 54, uint32_t(b.size()), 2), add(b, broken);
  put(b, df0.fork + df0.block_at[0] + 54, uint32_t(b.size() - 128), 2), add(b, "");

  // A seventh size is refused, but a broken header is found before its size.
  pxgfile sizes;
  for (uint8_t s = 9; s < 16; ++s) sizes.blocks.push_back(block(s, std::vector<pxgrange>(200, pxgrange{s, 1})));
  const pxgimage seven = build_pxg(sizes);
  add(seven.bytes, "error : too many bitmap sizes\n");
  b = seven.bytes, put(b, 87, uint32_t(seven.block_at.back() + 100)), put(b, seven.fork + seven.block_at.back() - 4, 6);
  add(b, broken);
  // A strike outgrowing its 2 MiB slot: 257 bitmaps of 255 pixels fit
  // (2,089,153 bytes), 258 do not. The slot is checked before the file, so
  // a count patched up to 258 is refused as too many, not as broken.
  const pxgimage big = build_pxg(file_of({block(255, {{0, 200}}), block(255, {{1000, 57}})}, false));
  add(big.bytes, "");
  b = big.bytes, put(b, big.fork + big.block_at[1] + 38 + 4, 58, 2), add(b, "error : too many bitmaps\n");

  for (size_t i = 0; i < cases.size(); ++i) {
    write_pxg("case.pxg", cases[i].first);
    auto src = pxg_source();
    const std::string log = read_pxg(*src, {"case.pxg"}, &q);
    EXPECT_EQ(q, !cases[i].second.empty()) << "case " << i << ": " << log;
    EXPECT_TRUE(log.ends_with("case.pxg\n" + cases[i].second)) << "case " << i << ": " << log;
  }
}

TEST(GlyphList, UnionOfStrikesInCodeOrder) {
  auto src = pxg_source();
  for (auto& m : src->uni2bno) m.fill(kNoBitmap);
  // No strike: glyph 0 alone.
  build_glyph_list(*src);
  ASSERT_EQ(src->glyphs.size(), 1u);
  EXPECT_EQ(src->glyphs[0].code, 0);

  // A code in several strikes gets one glyph; a code only in the smaller
  // strike still gets one; the list ascends and counts glyph 0. Map entries
  // of strikes not in use are ignored.
  src->nstrikes = 2;
  src->bchrs[0] = 2, src->bchrs[1] = 3;
  src->uni2bno[0][0x4E00] = 0, src->uni2bno[0][0xFFFF] = 1;
  src->uni2bno[1][0x4E00] = 0, src->uni2bno[1][0x3042] = 1, src->uni2bno[1][0x0041] = 2;
  src->uni2bno[2][0x5000] = 0;
  build_glyph_list(*src);
  std::vector<uint16_t> codes;
  for (const GLYPH& g : src->glyphs) codes.push_back(g.code);
  EXPECT_EQ(codes, (std::vector<uint16_t>{0, 0x41, 0x3042, 0x4E00, 0xFFFF}));

  // sort_glyph sorts list[first..last] by code, moving whole records;
  // first > last and first == last touch nothing.
  std::vector<GLYPH> g = {{9, 90}, {5, 50}, {7, 70}, {1, 10}, {3, 30}};
  auto order = [&] {
    std::string o;
    for (const GLYPH& x : g) o += std::to_string(x.code) + ":" + std::to_string(x.len) + " ";
    return o;
  };
  sort_glyph(g.data(), 3, 2);
  sort_glyph(g.data(), 1, 1);
  EXPECT_EQ(order(), "9:90 5:50 7:70 1:10 3:30 ");
  sort_glyph(g.data(), 1, 3);
  EXPECT_EQ(order(), "9:90 1:10 5:50 7:70 3:30 ");
  sort_glyph(g.data(), 0, 4);
  EXPECT_EQ(order(), "1:10 3:30 5:50 7:70 9:90 ");
}
