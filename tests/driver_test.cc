// The command line, the info-file, and the assembled font file: directory,
// checksums and the header tables, read back with the tests' own reader.
#include <gtest/gtest.h>
#include <sys/xattr.h>

#include <string>
#include <tuple>
#include <vector>

#include "driver/driver.h"
#include "support/rundir.h"

namespace {

// A scratch directory holding an info-file and an empty transfer table.
struct minimal : rundir {
  explicit minimal(const std::string& info = info_text()) {
    write("font.info", info);
    write("jis_uni.txt", "0\n");
  }
};

}  // namespace

TEST(CommandLine, UsageOptionsAndTheRunLog) {
  minimal d;
  // Fewer than two arguments, or options that leave no info-file: the usage
  // text through the error line (two blanks, a newline and a tab in it), and
  // no output.
  for (const auto& args : std::vector<std::vector<std::string>>{{}, {"font.info"}, {"-n", "-x"}, {"-n", "-n", "-"}})
    EXPECT_EQ(run_kilnfont(args), "error : kilnfont  ver.0.00\nusage:\tkilnfont info-file pxg(pxgb)...\n");
  EXPECT_FALSE(d.exists("out.ttf"));

  // "-n" with the info-file alone passes the count test and reads no pxg:
  // every stage's line, one line per table numbered "%2d", 11 tables.
  EXPECT_EQ(run_kilnfont({"-n", "font.info"}),
            "output= [out.ttf]\nvendid=NLIK\njis-uni xfer-table : 0 chrs\n0 chrs(xfer-table)\n0 bitmap-tables\n"
            "set g\nxfer 1 chrs\nsort\nopen for output\n"
            "table no. 0   ...   OS/2\ntable no. 1   ...   cmap\ntable no. 2   ...   gasp\n"
            "table no. 3   ...   glyf\nmalloc ok\nglyf size=00000000\ntable no. 4   ...   head\n"
            "table no. 5   ...   hhea\ntable no. 6   ...   hmtx\ntable no. 7   ...   loca\n"
            "table no. 8   ...   maxp\ntable no. 9   ...   name\ntable no.10   ...   post\n"
            "create table-index\nsum\nset MIME\ncomplete\n");
  EXPECT_EQ(rd16(d.read("out.ttf"), 4), 11u);

  // Other options are ignored silently; "-n" may repeat among them.
  run_kilnfont({"-q", "--verbose", "font.info"});
  EXPECT_EQ(rd16(d.read("out.ttf"), 4), 13u);
  run_kilnfont({"-x", "-n", "-n", "font.info"});
  EXPECT_EQ(rd16(d.read("out.ttf"), 4), 11u);
}

TEST(InfoFile, LinesAsRead) {
  rundir d;
  // Several words on line 1: only the first names the output; the vendor id
  // keeps its blank and the log shows it reversed; line 35 without its
  // newline loses its last real character.
  std::string text = info_text("  myfont and more words", "4", "AB C-rest");
  text.pop_back();
  d.write("a.info", text);
  runinfo a;
  EXPECT_EQ(captured([&] { read_info("a.info", a); }), "output= [myfont.ttf]\nvendid=C BA\n");
  EXPECT_STREQ(a.outname, "myfont.ttf");
  EXPECT_EQ(a.weight, 4);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(a.vendid), 4), "AB C");
  EXPECT_STREQ(a.namestr[31], "name3");

  // The weight is read as "%d" reads it. A line longer than 254 characters
  // is read in pieces, the rest becoming the next line. Only the last byte
  // of a name line is dropped: a CR before the newline stays.
  d.write("b.info", info_text("f", " -7kg", "ABCD", {std::string(300, 'x'), "crlf\r"}));
  runinfo b;
  captured([&] { read_info("b.info", b); });
  EXPECT_EQ(b.weight, -7);
  EXPECT_EQ(std::string(b.namestr[0]), std::string(253, 'x'));
  EXPECT_EQ(std::string(b.namestr[1]), std::string(46, 'x'));
  EXPECT_STREQ(b.namestr[2], "crlf\r");
  EXPECT_STREQ(b.namestr[31], "name30");  // the split pushed the file's last line out
}

TEST(InfoFile, RefusalsLeaveNoOutput) {
  // Lines are checked as they are read: the log of the lines before comes first.
  const std::string head = "output= [out.ttf]\nvendid=NLIK\n";
  const std::vector<std::pair<std::string, std::string>> cases = {
      {info_text().substr(0, 20), head + "error : info-file has fewer than 35 lines\n"},
      {info_text("   "), "error : no output name in info-file\n"},
      {info_text(std::string(252, 'n')), "error : output name too long\n"},
      {info_text("out", "four"), "output= [out.ttf]\nerror : weight is not a number\n"},
      {info_text("out", "4", "ABC"), "output= [out.ttf]\nerror : vendor id shorter than 4 characters\n"},
  };
  for (const auto& [info, log] : cases) {
    minimal d(info);
    EXPECT_EQ(run_kilnfont({"font.info", "x.pxg"}), log);
    EXPECT_FALSE(d.exists("out.ttf"));
  }
  {  // 251 characters still fit the name buffer with ".ttf".
    minimal ok(info_text(std::string(251, 'n')));
    EXPECT_EQ(run_kilnfont({"-n", "font.info"}).find("error"), std::string::npos);
  }
  // A missing info-file or jis_uni.txt.
  rundir d;
  EXPECT_EQ(run_kilnfont({"none.info", "x.pxg"}), "error : cannot open info-file\n");
  d.write("font.info", info_text());
  EXPECT_EQ(run_kilnfont({"font.info", "x.pxg"}), head + "error : cannot open < jis_uni.txt >\n");
  EXPECT_FALSE(d.exists("out.ttf"));
}

TEST(Checksum, SumB32) {
  const uint8_t b[8] = {0, 0, 0, 1, 0, 0, 0, 2};
  EXPECT_EQ(sumB32(b, 8), 3u);
  EXPECT_EQ(sumB32(b, 7), 1u);  // the part-word is left out
  EXPECT_EQ(sumB32(b, 3), 0u);
  const uint8_t big[8] = {0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 2};
  EXPECT_EQ(sumB32(big, 8), 1u);  // modulo 2^32
}

TEST(FontFile, DirectoryAndChecksums) {
  for (bool withbmp : {true, false}) {
    minimal d;
    run_kilnfont({withbmp ? "-x" : "-n", "font.info"});  // "-x" only makes up the argument count
    const std::vector<uint8_t> f = d.read("out.ttf");
    EXPECT_EQ(rd32(f, 0), 0x00010000u);
    EXPECT_EQ(rd16(f, 4), withbmp ? 13u : 11u);
    EXPECT_EQ(rd16(f, 6), 128u);                  // searchRange
    EXPECT_EQ(rd16(f, 8), 3u);                    // entrySelector
    EXPECT_EQ(rd16(f, 10), withbmp ? 80u : 48u);  // rangeShift

    // Tags ascend; tables follow the directory (220 or 188 bytes) without
    // gaps; the file ends with the last table. Each checksum is over the
    // table's bytes, head's with checkSumAdjustment taken as 0, and the
    // whole file sums to 0xB1B0AFBA.
    const auto tables = font_tables(f);
    EXPECT_EQ(tables.front().tag, withbmp ? "EBDT" : "OS/2");
    uint32_t at = withbmp ? 220 : 188;
    for (size_t i = 0; i < tables.size(); ++i) {
      EXPECT_TRUE(i == 0 || tables[i - 1].tag < tables[i].tag);
      EXPECT_EQ(tables[i].offset, at) << tables[i].tag;
      EXPECT_EQ(tables[i].length % 4, 0u) << tables[i].tag;
      at += tables[i].length;
      std::vector<uint8_t> b = tables[i].data;
      if (tables[i].tag == "head") std::fill(b.begin() + 8, b.begin() + 12, 0);
      EXPECT_EQ(tables[i].checksum, sumB32(b.data(), b.size())) << tables[i].tag;
    }
    EXPECT_EQ(f.size(), at);
    EXPECT_EQ(sumB32(f.data(), f.size()), 0xB1B0AFBAu);

    // The file carries its type for desktop file managers.
    char type[64] = {};
    ASSERT_GT(getxattr((d.path() + "/out.ttf").c_str(), "user.mime_type", type, sizeof type - 1), 0);
    EXPECT_STREQ(type, "application/x-truetype");
  }
}

TEST(FontFile, HeaderTables) {
  minimal d;
  run_kilnfont({"-n", "font.info"});
  const auto tables = font_tables(d.read("out.ttf"));
  // The lengths, and the 16-bit fields that are easy to get wrong: head's
  // box ends at (999, 859), not 1000 and 860, and loca is long; post's italic
  // angle is 20. With only the fallback glyph there is one glyph and one
  // metric, glyf is empty, loca holds 0, 0, and the outline maxima keep
  // their starting value 1.
  using fields = std::vector<std::pair<size_t, uint32_t>>;
  const std::tuple<const char*, uint32_t, fields> want[] = {
      {"head", 56, {{12, 0x5F0F}, {18, 1000}, {38, 0xFF74}, {40, 999}, {42, 859}, {50, 1}}},
      {"hhea", 36, {{4, 860}, {6, 0xFF74}, {34, 1}}},
      {"maxp", 32, {{4, 1}, {6, 1}, {8, 1}, {14, 1}}},
      {"post", 32, {{4, 0x14}, {8, 0xFF9C}}},
      {"glyf", 0, {}},
      {"loca", 8, {{0, 0}, {2, 0}, {4, 0}, {6, 0}}}};
  for (const auto& [tag, length, f] : want) {
    const fonttable* t = find_table(tables, tag);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->length, length) << tag;
    for (auto [at, value] : f) EXPECT_EQ(rd16(t->data, at), value) << tag << " " << at;
  }
}

TEST(FontFile, RunsTwiceTheSame) {
  // All state lives in the run: a second conversion in the same process
  // gives the same bytes.
  minimal d;
  run_kilnfont({"font.info"});
  const auto first = d.read("out.ttf");
  run_kilnfont({"font.info"});
  EXPECT_EQ(d.read("out.ttf"), first);
}
