// Hardening: the limits of the input formats at their exact boundaries,
// arithmetic that must not wrap, and refusals that must leave the output
// file alone. (Inputs of fuzzing findings go under tests/regress/, each with
// a case here.)
#include <unistd.h>

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

// Runs f with standard output sent to a scratch file (some of these inputs
// print two million lines); returns the last line printed, without its
// newline, and sets quitted when f ended through quit.
template <class F>
std::string last_line_quietly(F f, bool& quitted) {
  std::fflush(stdout);
  std::FILE* tmp = std::tmpfile();
  const int saved = dup(1);
  if (!tmp || saved < 0 || dup2(fileno(tmp), 1) < 0) throw std::runtime_error("cannot redirect stdout");
  quitted = false;
  try {
    f();
  } catch (const quit_signal&) {
    quitted = true;
  }
  std::fflush(stdout);
  dup2(saved, 1);
  close(saved);
  std::fseek(tmp, 0, SEEK_END);
  const long size = std::ftell(tmp);
  const long from = size > 200 ? size - 200 : 0;
  std::fseek(tmp, from, SEEK_SET);
  std::string tail(size_t(size - from), '\0');
  tail.resize(std::fread(tail.data(), 1, tail.size(), tmp));
  std::fclose(tmp);
  if (!tail.empty() && tail.back() == '\n') tail.pop_back();
  return tail.substr(tail.rfind('\n') == std::string::npos ? 0 : tail.rfind('\n') + 1);
}

// readpxg over the named files; the last line it printed.
std::string read_files(glyphsrc& src, const std::vector<std::string>& names, bool& quitted) {
  std::vector<const char*> argv;
  for (const auto& n : names) argv.push_back(n.c_str());
  return last_line_quietly([&] { src.nstrikes = readpxg(int32_t(argv.size()), argv.data(), src); }, quitted);
}

std::vector<uint8_t> stored(const glyphsrc& src, int s, uint16_t u) {
  const uint16_t k = src.uni2bno[size_t(s)][u];
  if (k == kNoBitmap) return {};
  const uint8_t* p = src.bitmap(s, k);
  return std::vector<uint8_t>(p, p + bitmap_bytes(src.pt[s]));
}

pxgblock block(uint8_t size, std::vector<pxgrange> ranges, bool datafork = false) {
  pxgblock b;
  b.size = size;
  b.ranges = std::move(ranges);
  b.datafork = datafork;
  return b;
}

pxgfile bare(std::vector<pxgblock> blocks) {
  pxgfile f;
  f.blocks = std::move(blocks);
  f.others = false;
  f.map = false;
  return f;
}

void put32(std::vector<uint8_t>& b, uint64_t at, uint32_t v) {
  for (int k = 0; k < 4; ++k) b.at(size_t(at) + size_t(k)) = uint8_t(v >> (24 - 8 * k));
}

// An n x n bitmap, ink where ink(r, c) says so, as one MSB-first bit stream.
template <class F>
std::vector<uint8_t> bitmap(unsigned n, F ink) {
  std::vector<uint8_t> b(bitmap_bytes(n), 0);
  for (unsigned r = 0; r < n; ++r)
    for (unsigned c = 0; c < n; ++c)
      if (ink(r, c)) b[(r * n + c) / 8] |= uint8_t(0x80 >> ((r * n + c) % 8));
  return b;
}

}  // namespace

TEST(Hardening, StrikeSlotBoundaries) {
  rundir dir;
  bool q = false;

  // 16,384 bitmaps of 32 pixels fill the 2 MiB slot exactly (a reader that
  // checks with < instead of <= refuses them). Five larger sizes come after
  // it, so the full slot moves down five times to the last one, whose end
  // is the end of the store: ASan sees any byte written or moved past it.
  pxgfile f = bare({block(32, {{0, 16384}})});
  for (uint8_t size = 33; size <= 37; ++size) f.blocks.push_back(block(size, {}));
  write_pxg("full.pxg", build_pxg(f).bytes);
  auto src = pxg_source();
  read_files(*src, {"full.pxg"}, q);
  ASSERT_FALSE(q);
  ASSERT_EQ(src->nstrikes, 6);
  ASSERT_EQ(src->pt[5], 32);
  EXPECT_EQ(src->bchrs[5], 16384);
  EXPECT_EQ(src->bitmap(5, 16383) + 128, src->store.get() + kStoreBytes);
  EXPECT_EQ(stored(*src, 5, 0x3000 + 16383), pxg_pattern(32, 16383));
  EXPECT_EQ(stored(*src, 5, 0x3000), pxg_pattern(32, 0));

  // One more 32-pixel bitmap, in a later file, no longer fits.
  write_pxg("one32.pxg", build_pxg(bare({block(32, {{5, 1}})})).bytes);
  src = pxg_source();
  EXPECT_EQ(read_files(*src, {"full.pxg", "one32.pxg"}, q), "error : too many bitmaps");
  EXPECT_TRUE(q);

  // With 1-byte bitmaps (2 pixels) the slot can be missed by exactly one
  // byte: 2,097,153 codes, the first 17,672 defined. The bitmaps of
  // undefined codes are read with their block, so they count for the slot
  // too (counting only the numbered ones would let 2 MiB + 1 byte in).
  f = bare({});
  for (uint8_t size = 3; size <= 7; ++size) f.blocks.push_back(block(size, {}));
  std::vector<pxgrange> ranges = {{0, uint16_t(kJisCells)}};
  uint32_t total = kJisCells;
  for (; total + 65535 <= kSlotBytes; total += 65535) ranges.push_back({17672, 65535});
  ranges.push_back({17672, uint16_t(kSlotBytes - total + 1)});
  f.blocks.push_back(block(2, ranges));
  f.blocks.back().bits.assign(kSlotBytes + 1, 0x50);
  write_pxg("past.pxg", build_pxg(f).bytes);
  src = pxg_source();
  EXPECT_EQ(read_files(*src, {"past.pxg"}, q), "error : too many bitmaps");
}

TEST(Hardening, WideForksAndFarBitmaps) {
  rundir dir;
  bool q = false;

  // A resource fork far longer than 65,792 bytes, with a block whose header
  // straddles that point and whose inline bitmaps start past file position
  // 65,536: read whole, with positions kept at full width.
  pxgfile wide = bare({block(24, {{7, 5}}), block(12, {{100, 2}})});
  wide.data_at = 65770;
  pxgimage img = build_pxg(wide);
  ASSERT_LT(img.block_at[0], 65792u);
  ASSERT_GT(img.block_at[0] + 38, 65792u);
  ASSERT_GT(img.bits_at[0], 65536u);
  write_pxg("wide.pxg", img.bytes);

  // Data-fork bitmaps at 128 + 0xFFC0 = 65,600, past 65,536 (a 16-bit
  // file position would read them from the header).
  pxgfile far = bare({block(16, {{300, 3}}, true)});
  far.datafork_lead = 0xFFC0;
  img = build_pxg(far);
  ASSERT_EQ(img.bits_at[0], 128u + 0xFFC0);
  write_pxg("far.pxg", img.bytes);

  auto src = pxg_source();
  read_files(*src, {"wide.pxg", "far.pxg"}, q);
  ASSERT_FALSE(q);
  ASSERT_EQ(src->nstrikes, 3);
  EXPECT_EQ(stored(*src, 0, 0x3000 + 11), pxg_pattern(24, 11));
  EXPECT_EQ(stored(*src, 1, 0x3000 + 302), pxg_pattern(16, 302));
  EXPECT_EQ(stored(*src, 2, 0x3000 + 101), pxg_pattern(12, 101));
}

TEST(Hardening, WrappingPositions) {
  rundir dir;
  bool q = false;
  pxgfile two = bare({block(16, {{0, 2}}), block(12, {{10, 1}})});
  const pxgimage img = build_pxg(two);
  const uint64_t P1 = img.block_at[1] - 4;  // the second entry's length word

  // An entry length whose end wraps a 32-bit position back onto the same
  // entry (a 32-bit walk would loop forever), or back onto the first block
  // (which it would read again): the walk ends there, the first block read
  // once and the second never.
  for (uint32_t back : {0u, uint32_t(P1 - (img.block_at[0] - 4))}) {
    std::vector<uint8_t> b = img.bytes;
    put32(b, img.fork + P1, uint32_t(0x100000000 - 4 - back));
    write_pxg("wrap.pxg", b);
    auto src = pxg_source();
    read_files(*src, {"wrap.pxg"}, q);
    EXPECT_FALSE(q);
    ASSERT_EQ(src->nstrikes, 1) << back;
    EXPECT_EQ(src->bchrs[0], 2) << back;
  }

  // A data area position at the very top of the range: nothing to walk.
  std::vector<uint8_t> b = img.bytes;
  put32(b, img.fork, 0xFFFFFFFF);
  write_pxg("top.pxg", b);
  auto src = pxg_source();
  read_files(*src, {"top.pxg"}, q);
  EXPECT_FALSE(q);
  EXPECT_EQ(src->nstrikes, 0);

  // A data fork length whose rounding to 128 wraps 32 bits to 0 would put
  // the fork on the MacBinary header; it lies 4 GiB past the end instead.
  b = img.bytes;
  put32(b, 83, 0xFFFFFF80);
  write_pxg("round.pxg", b);
  src = pxg_source();
  EXPECT_EQ(read_files(*src, {"round.pxg"}, q), "error : broken pxg(pxgb)-file");

  // T x B beyond 32 bits: 528,358 bitmaps of 255 pixels are 4,295,022,182
  // bytes, 54,886 bytes after a 32-bit product wraps, which would pass as
  // fitting the slot. All but the first 1000 codes are undefined.
  std::vector<pxgrange> ranges;
  uint32_t left = 528358;
  ranges.push_back({0, 1000});
  left -= 1000;
  while (left) {
    const uint16_t n = uint16_t(left < 65535 ? left : 65535);
    ranges.push_back({17672, n});
    left -= n;
  }
  pxgfile hf = bare({block(255, {{0, 1}})});
  pxgimage h = build_pxg(hf);
  // Put the huge block's header and ranges in place of the small one's,
  // with no bitmaps behind them.
  std::vector<uint8_t> hb(h.bytes.begin(), h.bytes.begin() + long(h.fork + h.block_at[0]));
  const size_t D = hb.size();
  hb.resize(D + 38 + 6 * ranges.size(), 0);
  hb[D] = 0x21, hb[D + 2] = 'f', hb[D + 3] = 'b', hb[D + 4] = 'i', hb[D + 5] = 't';
  hb[D + 11] = 0;
  hb[D + 27] = 255;
  hb[D + 37] = uint8_t(ranges.size());
  for (size_t r = 0; r < ranges.size(); ++r) {
    hb[D + 38 + 6 * r] = uint8_t(ranges[r].first >> 8), hb[D + 39 + 6 * r] = uint8_t(ranges[r].first);
    hb[D + 42 + 6 * r] = uint8_t(ranges[r].count >> 8), hb[D + 43 + 6 * r] = uint8_t(ranges[r].count);
  }
  const uint32_t forklen = uint32_t(hb.size() - h.fork);
  put32(hb, 87, forklen);
  put32(hb, h.fork + h.block_at[0] - 4, forklen - uint32_t(h.block_at[0]));
  write_pxg("huge.pxg", hb);
  src = pxg_source();
  EXPECT_EQ(read_files(*src, {"huge.pxg"}, q), "error : too many bitmaps");
}

TEST(Hardening, RefusalsLeaveTheOutputAlone) {
  rundir dir;
  // Codes 0..8199 map to every other Unicode value from 0x1000 (each glyph
  // a cmap segment of its own); the last cell of the grid, plane 1 row 0x7E
  // cell 0x7E (code 17,671), maps to 0x9000.
  std::string table = "8201\n";
  for (int k = 0; k < 8200; ++k) {
    char line[32];
    std::snprintf(line, sizeof line, "%x %x\n", (k / 94 + 0x21) << 8 | (k % 94 + 0x21), 0x1000 + 2 * k);
    table += line;
  }
  table += "17e7e 9000\n";
  dir.write("jis_uni.txt", table);
  dir.write("font.info", info_text("out"));
  dir.write("short.info", info_text("out").substr(0, 20));

  write_pxg("good.pxg", build_pxg(bare({block(12, {{0, 10}})})).bytes);
  std::vector<uint8_t> cut = build_pxg(bare({block(12, {{0, 10}})})).bytes;
  cut.resize(100);
  write_pxg("broken.pxg", cut);
  pxgfile seven = bare({});
  for (uint8_t s = 10; s <= 16; ++s) seven.blocks.push_back(block(s, {{s, 1}}));
  write_pxg("seven.pxg", build_pxg(seven).bytes);
  // 0x8000 bitmaps in one strike: four times codes 0..8187, then 16 more.
  pxgfile many = bare({block(1, {{0, 8188}}), block(1, {{0, 8188}}), block(1, {{0, 8188}}), block(1, {{0, 8188}}),
                       block(1, {{0, 16}})});
  write_pxg("many.pxg", build_pxg(many).bytes);
  write_pxg("edge.pxg", build_pxg(bare({block(12, {{17671, 1}})})).bytes);
  write_pxg("undef.pxg", build_pxg(bare({block(12, {{17671, 2}})})).bytes);
  write_pxg("segs.pxg", build_pxg(bare({block(1, {{0, 8189}})})).bytes);
  pxgblock checker = block(255, {{0, 1}});
  checker.bits = bitmap(255, [](unsigned r, unsigned c) { return (r + c) % 2 == 0; });
  write_pxg("checker.pxg", build_pxg(bare({checker})).bytes);
  pxgblock ink = block(255, {{0, 1}});
  ink.bits = bitmap(255, [](unsigned, unsigned) { return true; });
  write_pxg("ink.pxg", build_pxg(bare({ink})).bytes);

  struct refusal {
    std::vector<std::string> args;
    std::string last;
  };
  // Every stage before the output is opened: info-file, transfer table,
  // each pxg refusal, the undefined code 17,672 (one past the table), and
  // the cmap segment count (8,189 glyphs and the closing segment).
  const std::vector<refusal> refusals = {
      {{"none.info", "good.pxg"}, "error : cannot open info-file\n"},
      {{"short.info", "good.pxg"}, "error : info-file has fewer than 35 lines\n"},
      {{"font.info", "JIS", "good.pxg"}, "error : cannot open < jis_uni.txt >\n"},
      {{"font.info", "good.pxg", "none.pxg"}, "error : cannot open pxg(pxgb)-file\n"},
      {{"font.info", "good.pxg", "broken.pxg"}, "error : broken pxg(pxgb)-file\n"},
      {{"font.info", "seven.pxg"}, "error : too many bitmap sizes\n"},
      {{"font.info", "many.pxg"}, "error : too many bitmaps\n"},
      {{"font.info", "undef.pxg"}, "undefined chrcode : pxg=4508 jis=22121\nerror : cannot xfer chrcode\n"},
      {{"font.info", "segs.pxg"}, "error : too many cmap segments\n"},
  };
  const std::string precious = "an older font of the same name";
  for (const refusal& r : refusals) {
    std::vector<std::string> args;
    const bool nojis = r.args[1] == "JIS";
    for (const auto& a : r.args)
      if (a != "JIS") args.push_back(a);
    if (nojis) std::rename("jis_uni.txt", "away.txt");
    for (bool before : {false, true}) {
      if (before) dir.write("out.ttf", precious);
      const std::string log = run_kilnfont(args);
      ASSERT_GE(log.size(), r.last.size()) << log;
      EXPECT_EQ(log.substr(log.size() - r.last.size()), r.last) << args[1];
      if (before) {
        const std::vector<uint8_t> now = dir.read("out.ttf");
        EXPECT_EQ(std::string(now.begin(), now.end()), precious) << r.last;
        std::remove("out.ttf");
      } else {
        EXPECT_FALSE(dir.exists("out.ttf")) << r.last;
      }
    }
    if (nojis) std::rename("away.txt", "jis_uni.txt");
  }

  // The other side of each boundary converts: code 17,671 (the grid's last
  // cell); 0x7FFF bitmaps in one strike, of 8,188 glyphs (8,189 segments),
  // the bitmap tables then naming bitmap 0x7FFE; and a 255-pixel all-ink
  // glyph, whose outline has 4 x 255 points.
  std::string log = run_kilnfont({"font.info", "edge.pxg"});
  EXPECT_NE(log.find("xfer 2 chrs\n"), std::string::npos) << log;
  EXPECT_TRUE(log.ends_with("\ncomplete\n")) << log;
  many.blocks.back().ranges[0].count = 15;
  write_pxg("many.pxg", build_pxg(many).bytes);
  log = run_kilnfont({"font.info", "many.pxg"});
  EXPECT_NE(log.find("xfer 8189 chrs\n"), std::string::npos) << log;
  EXPECT_TRUE(log.ends_with("\ncomplete\n")) << log;
  EXPECT_EQ(font_tables(dir.read("out.ttf")).size(), 13u);
  log = run_kilnfont({"font.info", "ink.pxg"});
  EXPECT_TRUE(log.ends_with("\ncomplete\n")) << log;
  const auto tables = font_tables(dir.read("out.ttf"));
  const fonttable* maxp = find_table(tables, "maxp");
  ASSERT_NE(maxp, nullptr);
  EXPECT_EQ(rd16(maxp->data, 6), 1020u);  // maxPoints
  EXPECT_EQ(rd16(maxp->data, 8), 1u);     // maxContours

  // "glyph too complex" (a 255-pixel checkerboard: 130,052 points) comes
  // while glyf is built, after the output is opened: the older file is
  // replaced by the partial one.
  dir.write("out.ttf", precious);
  log = run_kilnfont({"font.info", "checker.pxg"});
  EXPECT_TRUE(log.ends_with("\nerror : glyph too complex\n")) << log;
  ASSERT_TRUE(dir.exists("out.ttf"));
  const std::vector<uint8_t> partial = dir.read("out.ttf");
  EXPECT_NE(std::string(partial.begin(), partial.end()), precious);
}
