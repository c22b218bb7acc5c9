// The command line, the info-file, and the assembled font file: directory,
// checksums and the header tables, read back with the tests' own reader.
#include <gtest/gtest.h>
#include <sys/xattr.h>

#include <string>
#include <vector>

#include "driver/driver.h"
#include "driver/quit.h"
#include "support/rundir.h"
#include "tables/tables.h"

namespace {

const std::string kUsage = "error : kilnfont  ver.0.00\nusage:\tkilnfont info-file pxg(pxgb)...\n";

// A scratch directory holding an info-file and an empty transfer table.
struct minimal : rundir {
  explicit minimal(const std::string& info = info_text()) {
    write("font.info", info);
    write("jis_uni.txt", "0\n");
  }
};

uint32_t file_sum(const std::vector<uint8_t>& f) {
  uint32_t s = 0;
  for (size_t i = 0; i + 4 <= f.size(); i += 4) s += rd32(f, i);
  return s;
}

}  // namespace

TEST(CommandLine, UsageAndOptions) {
  minimal d;
  // Fewer than two arguments: the usage text, through the error line, with
  // its two blanks, embedded newline and tab.
  EXPECT_EQ(run_kilnfont({}), kUsage);
  EXPECT_EQ(run_kilnfont({"font.info"}), kUsage);
  // Only options and no info-file: also the usage text, and no output.
  EXPECT_EQ(run_kilnfont({"-n", "-x"}), kUsage);
  EXPECT_EQ(run_kilnfont({"-n", "-n", "-"}), kUsage);
  EXPECT_FALSE(d.exists("out.ttf"));

  // "-n" with the info-file alone passes the count test and reads no pxg.
  std::string log = run_kilnfont({"-n", "font.info"});
  EXPECT_NE(log.find("0 bitmap-tables\n"), std::string::npos) << log;
  EXPECT_EQ(log.substr(log.size() - 9), "complete\n") << log;
  EXPECT_EQ(rd16(d.read("out.ttf"), 4), 11u);

  // Other options are ignored silently; "-n" may repeat among them.
  EXPECT_EQ(run_kilnfont({"-q", "--verbose", "font.info"}).find("error :"), std::string::npos);
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
  runinfo info;
  testing::internal::CaptureStdout();
  read_info("a.info", info);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "output= [myfont.ttf]\nvendid=C BA\n");
  EXPECT_STREQ(info.outname, "myfont.ttf");
  EXPECT_EQ(info.weight, 4);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(info.vendid), 4), "AB C");
  EXPECT_STREQ(info.namestr[0], "name00");
  EXPECT_STREQ(info.namestr[31], "name3");

  // A line longer than 254 characters is read in pieces: the rest of it
  // becomes the next line. The last byte of every name line is dropped,
  // a CR included.
  std::string names_long = std::string(300, 'x');
  d.write("b.info", info_text("f", " -7kg", "ABCD", {names_long, "crlf\r"}));
  runinfo b;
  testing::internal::CaptureStdout();
  read_info("b.info", b);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "output= [f.ttf]\nvendid=DCBA\n");
  EXPECT_EQ(b.weight, -7);
  EXPECT_EQ(std::string(b.namestr[0]), std::string(253, 'x'));
  EXPECT_EQ(std::string(b.namestr[1]), std::string(46, 'x'));
  EXPECT_STREQ(b.namestr[2], "crlf\r");
  EXPECT_STREQ(b.namestr[31], "name30");  // the split pushed the file's last line out

  // Lines are checked one at a time: the log of the earlier lines comes
  // before the refusal.
  d.write("c.info", info_text("g").substr(0, 12));
  runinfo c;
  testing::internal::CaptureStdout();
  EXPECT_THROW(read_info("c.info", c), quit_signal);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "output= [g.ttf]\nvendid=NLIK\nerror : info-file has fewer than 35 lines\n");
}

TEST(InfoFile, RefusalsLeaveNoOutput) {
  struct refusal {
    std::string info, log_tail;
  };
  const std::string base = info_text();
  const std::vector<refusal> cases = {
      {info_text().substr(0, 20), "error : info-file has fewer than 35 lines\n"},
      {info_text("   "), "error : no output name in info-file\n"},
      {info_text(std::string(252, 'n')), "error : output name too long\n"},
      {info_text("out", "four"), "output= [out.ttf]\nerror : weight is not a number\n"},
      {info_text("out", "4", "ABC"), "output= [out.ttf]\nerror : vendor id shorter than 4 characters\n"},
  };
  for (const auto& c : cases) {
    minimal d(c.info);
    std::string log = run_kilnfont({"font.info", "x.pxg"});
    ASSERT_GE(log.size(), c.log_tail.size());
    EXPECT_EQ(log.substr(log.size() - c.log_tail.size()), c.log_tail);
    EXPECT_FALSE(d.exists("out.ttf"));
  }
  // 251 characters still fit the name buffer with ".ttf".
  minimal ok(info_text(std::string(251, 'n')));
  EXPECT_EQ(run_kilnfont({"-n", "font.info"}).find("error"), std::string::npos);
}

TEST(InfoFile, MissingInputsLeaveNoOutput) {
  rundir d;
  EXPECT_EQ(run_kilnfont({"none.info", "x.pxg"}), "error : cannot open info-file\n");
  d.write("font.info", info_text());
  std::string log = run_kilnfont({"font.info", "x.pxg"});
  EXPECT_EQ(log, "output= [out.ttf]\nvendid=NLIK\nerror : cannot open < jis_uni.txt >\n");
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
    // "-x" is ignored; it only makes up the argument count.
    const std::vector<std::string> args = {withbmp ? "-x" : "-n", "font.info"};
    std::string log = run_kilnfont(args);
    EXPECT_NE(log.find("create table-index\nsum\nset MIME\ncomplete\n"), std::string::npos) << log;

    const std::vector<uint8_t> f = d.read("out.ttf");
    const uint32_t n = withbmp ? 13 : 11;
    EXPECT_EQ(rd32(f, 0), 0x00010000u);
    EXPECT_EQ(rd16(f, 4), n);
    EXPECT_EQ(rd16(f, 6), 128u);                    // searchRange
    EXPECT_EQ(rd16(f, 8), 3u);                      // entrySelector
    EXPECT_EQ(rd16(f, 10), withbmp ? 80u : 48u);    // rangeShift

    // Tags ascend; tables follow the directory (220 or 188 bytes) without
    // gaps, 4-aligned; the file ends with the last table.
    const auto tables = font_tables(f);
    uint32_t at = withbmp ? 220 : 188;
    EXPECT_EQ(tables.front().tag, withbmp ? "EBDT" : "OS/2");
    for (size_t i = 0; i < tables.size(); ++i) {
      if (i) {
        EXPECT_LT(tables[i - 1].tag, tables[i].tag);
      }
      EXPECT_EQ(tables[i].offset, at) << tables[i].tag;
      EXPECT_EQ(tables[i].offset % 4, 0u);
      at += tables[i].length;
    }
    EXPECT_EQ(f.size(), at);

    // Each table's checksum is over its bytes; head's over its bytes with
    // checkSumAdjustment taken as 0. The whole file sums to 0xB1B0AFBA.
    for (const auto& t : tables) {
      std::vector<uint8_t> b = t.data;
      if (t.tag == "head") std::fill(b.begin() + 8, b.begin() + 12, 0);
      uint32_t s = 0;
      for (size_t i = 0; i + 4 <= b.size(); i += 4) s += rd32(b, i);
      EXPECT_EQ(t.checksum, s) << t.tag;
    }
    EXPECT_EQ(file_sum(f), 0xB1B0AFBAu);

    // The file carries its type for desktop file managers.
    char type[64] = {};
    ASSERT_GT(getxattr((d.path() + "/out.ttf").c_str(), "user.mime_type", type, sizeof type - 1), 0);
    EXPECT_STREQ(type, "application/x-truetype");
  }
}

TEST(FontFile, LogOfTheTableLoop) {
  minimal d;
  std::string log = run_kilnfont({"-n", "font.info"});
  const std::string head =
      "output= [out.ttf]\nvendid=NLIK\njis-uni xfer-table : 0 chrs\n0 chrs(xfer-table)\n"
      "0 bitmap-tables\nset g\nxfer 1 chrs\nsort\nopen for output\n"
      "table no. 0   ...   ";
  EXPECT_EQ(log.substr(0, head.size()), head) << log;
  for (int i = 0; i < 11; ++i) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "table no.%2d   ...   ", i);
    EXPECT_NE(log.find(buf), std::string::npos) << buf;
  }
  EXPECT_NE(log.find("table no. 4   ...   head\ntable no. 5   ...   hhea\n"), std::string::npos);
  EXPECT_NE(log.find("table no.10   ...   post\ncreate table-index\n"), std::string::npos);
}

TEST(FontFile, HeaderTables) {
  minimal d;
  run_kilnfont({"-n", "font.info"});
  const auto tables = font_tables(d.read("out.ttf"));

  const fonttable* head = find_table(tables, "head");
  ASSERT_NE(head, nullptr);
  std::vector<uint8_t> h = head->data;
  std::fill(h.begin() + 8, h.begin() + 12, 0);
  const std::vector<uint8_t> want_head = {
      0x00, 0x01, 0x00, 0x00,  // version 1.0
      0x00, 0x00, 0x00, 0x00,  // fontRevision
      0x00, 0x00, 0x00, 0x00,  // checkSumAdjustment (cleared above)
      0x5F, 0x0F, 0x3C, 0xF5,  // magicNumber
      0x00, 0x01, 0x03, 0xE8,  // flags 1, unitsPerEm 1000
      0, 0, 0, 0, 0, 0, 0, 0,  // created
      0, 0, 0, 0, 0, 0, 0, 0,  // modified
      0x00, 0x00, 0xFF, 0x74,  // xMin 0, yMin -140
      0x03, 0xE7, 0x03, 0x5B,  // xMax 999, yMax 859
      0x00, 0x00, 0x00, 0x06,  // macStyle, lowestRecPPEM 6
      0x00, 0x01, 0x00, 0x01,  // fontDirectionHint 1, indexToLocFormat 1
      0x00, 0x00, 0x00, 0x00,  // glyphDataFormat, padding
  };
  EXPECT_EQ(h, want_head);

  // Only the fallback glyph: one glyph, one metric, the outline maxima
  // stay at their starting value of 1.
  const fonttable* hhea = find_table(tables, "hhea");
  const fonttable* maxp = find_table(tables, "maxp");
  const fonttable* post = find_table(tables, "post");
  ASSERT_TRUE(hhea && maxp && post);
  EXPECT_EQ(hhea->length, 36u);
  EXPECT_EQ(rd16(hhea->data, 4), 860u);
  EXPECT_EQ(rd16(hhea->data, 6), 0xFF74u);
  EXPECT_EQ(rd16(hhea->data, 34), 1u);  // numberOfHMetrics
  EXPECT_EQ(maxp->length, 32u);
  EXPECT_EQ(rd16(maxp->data, 4), 1u);   // numGlyphs
  EXPECT_EQ(rd16(maxp->data, 6), 1u);   // maxPoints
  EXPECT_EQ(rd16(maxp->data, 8), 1u);   // maxContours
  EXPECT_EQ(rd16(maxp->data, 14), 1u);  // maxZones
  EXPECT_EQ(post->length, 32u);
  EXPECT_EQ(rd32(post->data, 0), 0x00030000u);
  EXPECT_EQ(rd32(post->data, 4), 0x00140000u);  // italicAngle 20
  EXPECT_EQ(rd16(post->data, 8), 0xFF9Cu);      // underlinePosition -100
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
