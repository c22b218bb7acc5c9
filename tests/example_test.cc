// The example font in example/ and the tools that make it: a full
// conversion with its glyph count, and bdf2pxg / mkjisuni on small inputs.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/rundir.h"

namespace fs = std::filesystem;

namespace {

const std::string kExample = std::string(KILN_SOURCE_DIR) + "/example/";
const std::string kTools = std::string(KILN_BINARY_DIR) + "/tools/";

std::string slurp(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), {});
}

// The inked pixels of an n x n bitmap as "row,col" words.
std::string inked(const uint8_t* bitmap, unsigned n) {
  std::string s;
  for (unsigned k = 0; k < n * n; ++k)
    if (bitmap[k / 8] >> (7 - k % 8) & 1)
      s += (s.empty() ? "" : " ") + std::to_string(k / n) + "," + std::to_string(k % n);
  return s;
}

}  // namespace

TEST(ExampleFont, ConvertsWithEveryJisX0208Glyph) {
  rundir dir;
  for (const char* f : {"jis_uni.txt", "example.info", "gothic12.pxg", "gothic14.pxg", "gothic16.pxg"})
    fs::copy_file(kExample + f, dir.path() + "/" + f);
  // The Shinonome gothic fonts hold all 6,879 characters of JIS X 0208, and
  // glibc's EUC-JP table maps each to its own Unicode value: 6,879 glyphs
  // plus glyph 0, in three strikes.
  const std::string log = run_kilnfont({"example.info", "gothic12.pxg", "gothic14.pxg", "gothic16.pxg"});
  EXPECT_NE(log.find("12946 chrs(xfer-table)\ngothic12.pxg\ngothic14.pxg\ngothic16.pxg\n3 bitmap-tables\n"
                     "set g\nxfer 6880 chrs\nsort\nopen for output\n"),
            std::string::npos)
      << log;
  EXPECT_TRUE(log.ends_with("\ncomplete\n")) << log;
  const auto tables = font_tables(dir.read("kilnexample.ttf"));
  EXPECT_EQ(tables.size(), 13u);
  EXPECT_EQ(rd16(find_table(tables, "maxp")->data, 4), 6880u);   // numGlyphs
  EXPECT_EQ(rd16(find_table(tables, "hhea")->data, 34), 6880u);  // numberOfHMetrics
}

TEST(ExampleTools, MkjisuniMakesTheShippedTable) {
  rundir dir;
  // The shipped table is what the tool makes; spot checks of known cells
  // (plane 0 and the first cell of plane 1) and of the count line.
  ASSERT_EQ(std::system((kTools + "mkjisuni jis.txt").c_str()), 0);
  const std::string made = slurp("jis.txt");
  EXPECT_EQ(made, slurp(kExample + "jis_uni.txt"));
  EXPECT_EQ(made.substr(0, 6), "12946\n");
  for (const char* line : {"\n2121 3000\n", "\n2140 ff3c\n", "\n2422 3042\n", "\n7426 7199\n", "\n1222f 2d8\n"})
    EXPECT_NE(made.find(line), std::string::npos) << line;
  ASSERT_EQ(std::system((kTools + "mkjisuni -0 jis0.txt").c_str()), 0);
  const std::string plane0 = slurp("jis0.txt");
  EXPECT_EQ(plane0.substr(0, 5), "6879\n");
  EXPECT_EQ(plane0.find("\n1222f "), std::string::npos);
}

TEST(ExampleTools, Bdf2pxgPlacesGlyphsInTheCell) {
  rundir dir;
  // An 8-pixel font with ascent 7: glyphs smaller than the cell sit by
  // their BBX offsets. Cell 2421 is 2 x 3 at (1, -1): its rows land on cell
  // rows 5 to 7 in columns 1 and 2. Cell 2422 has a pixel above the cell
  // (clipped); encoding 0x2020 is no JIS cell (skipped).
  dir.write("a.bdf",
            "STARTFONT 2.1\nFONT test\nSIZE 8 75 75\nFONTBOUNDINGBOX 8 8 0 -1\n"
            "STARTPROPERTIES 4\nPIXEL_SIZE 8\nFONT_ASCENT 7\nFONT_DESCENT 1\n"
            "CHARSET_REGISTRY \"JISX0208.1983\"\nENDPROPERTIES\nCHARS 3\n"
            "STARTCHAR a\nENCODING 9249\nDWIDTH 8 0\nBBX 2 3 1 -1\nBITMAP\nC0\n40\n80\nENDCHAR\n"
            "STARTCHAR b\nENCODING 9250\nDWIDTH 8 0\nBBX 1 2 7 6\nBITMAP\n80\n80\nENDCHAR\n"
            "STARTCHAR c\nENCODING 8224\nDWIDTH 8 0\nBBX 1 1 0 0\nBITMAP\n80\nENDCHAR\nENDFONT\n");
  // A 10-pixel plane-1 font (JIS X 0212), full cells, sized by ascent +
  // descent alone.
  std::string b = "STARTFONT 2.1\nFONT test\nSIZE 10 75 75\nFONTBOUNDINGBOX 10 10 0 -2\n"
                  "STARTPROPERTIES 3\nFONT_ASCENT 8\nFONT_DESCENT 2\nCHARSET_REGISTRY \"JISX0212.1990\"\n"
                  "ENDPROPERTIES\nCHARS 2\n";
  for (int enc : {0x2237, 0x2238})
    b += "STARTCHAR x\nENCODING " + std::to_string(enc) +
         "\nBBX 10 10 0 -2\nBITMAP\n8000\n0000\n0000\n0000\n0000\n0000\n0000\n0000\n0000\n0040\nENDCHAR\n";
  dir.write("b.bdf", b + "ENDFONT\n");

  // Every shape of file gives the same strikes: plain, with the glyphs
  // split over blocks, with the bitmaps in the data fork.
  for (const char* opts : {"--plain", "--split 2", "--datafork --split 3"}) {
    const std::string cmd = kTools + "bdf2pxg " + opts + " -o t.pxg a.bdf b.bdf 2>err.txt";
    ASSERT_EQ(std::system(cmd.c_str()), 0) << opts;
    const std::string err = slurp("err.txt");
    for (const char* count : {"2 glyphs", "1 skipped", "1 clipped"}) EXPECT_NE(err.find(count), std::string::npos);
    auto src = pxg_source();  // pxg code k is JIS cell k: 2421 -> 0x3000 + 94 * 3, ...
    bool q = true;
    EXPECT_EQ(read_pxg(*src, {"t.pxg"}, &q), "t.pxg\n") << opts;
    EXPECT_FALSE(q);
    ASSERT_EQ(src->nstrikes, 2) << opts;
    EXPECT_EQ(src->pt[0], 10);
    EXPECT_EQ(src->pt[1], 8);
    auto cell = [&](int s, int plane, int row, int col) {
      return inked(src->bitmap(s, src->uni2bno[size_t(s)][0x3000 + plane * 8836 + (row - 0x21) * 94 + col - 0x21]),
                   src->pt[s]);
    };
    EXPECT_EQ(cell(1, 0, 0x24, 0x21), "5,1 5,2 6,2 7,1") << opts;
    EXPECT_EQ(cell(1, 0, 0x24, 0x22), "0,7") << opts;
    EXPECT_EQ(cell(0, 1, 0x22, 0x37), "0,0 9,9") << opts;
    EXPECT_EQ(cell(0, 1, 0x22, 0x38), "0,0 9,9") << opts;
  }
}
