// The example font in example/ and the tools that make it: a full
// conversion, the glyph count against the Shinonome fonts it was made from,
// and bdf2pxg / mkjisuni on small inputs.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "driver/quit.h"
#include "source/source.h"
#include "support/rundir.h"

namespace fs = std::filesystem;

namespace {

const std::string kExample = std::string(KILN_SOURCE_DIR) + "/example/";
const std::string kTools = std::string(KILN_BINARY_DIR) + "/tools/";
const std::vector<std::string> kPxg = {"gothic12.pxg", "gothic14.pxg", "gothic16.pxg"};

std::string slurp(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), {});
}

// Reads pxg files into a fresh glyph source with the given jis_uni.txt;
// the log goes to *log.
std::unique_ptr<glyphsrc> read_source(const std::string& table, const std::vector<std::string>& files,
                                      std::string* log) {
  auto src = std::make_unique<glyphsrc>();
  src->store.reset(new uint8_t[kStoreBytes]);
  std::vector<const char*> argv;
  for (const auto& f : files) argv.push_back(f.c_str());
  std::fflush(stdout);
  testing::internal::CaptureStdout();
  try {
    setxfertbl(table.c_str(), src->m2u);
    readpxg(int32_t(argv.size()), argv.data(), *src);
    build_glyph_list(*src);
  } catch (const quit_signal&) {
  }
  *log = testing::internal::GetCapturedStdout();
  return src;
}

bool pixel(const uint8_t* bitmap, unsigned size, unsigned row, unsigned col) {
  const unsigned bit = row * size + col;
  return bitmap[bit / 8] >> (7 - bit % 8) & 1;
}

}  // namespace

TEST(ExampleFont, ConvertsWithEveryJisX0208Glyph) {
  rundir dir;
  for (const std::string& f : {std::string("jis_uni.txt"), std::string("example.info")})
    fs::copy_file(kExample + f, dir.path() + "/" + f);
  for (const auto& f : kPxg) fs::copy_file(kExample + f, dir.path() + "/" + f);

  // The Shinonome gothic fonts hold all 6,879 characters of JIS X 0208, and
  // glibc's EUC-JP table maps each to its own Unicode value: 6,879 glyphs
  // plus glyph 0 in each of the three strikes.
  std::string log;
  auto src = read_source("jis_uni.txt", kPxg, &log);
  EXPECT_EQ(log, "jis-uni xfer-table : 12946 chrs\ngothic12.pxg\ngothic14.pxg\ngothic16.pxg\n");
  ASSERT_EQ(src->nstrikes, 3);
  const uint8_t sizes[3] = {16, 14, 12};
  for (int s = 0; s < 3; ++s) {
    EXPECT_EQ(src->pt[s], sizes[s]);
    EXPECT_EQ(src->bchrs[s], 6879);
  }
  EXPECT_EQ(src->glyphs.size(), 6880u);
  // The ideographic space is blank; hiragana A (row 4, cell 2) has ink.
  for (int s = 0; s < 3; ++s) {
    const uint8_t* space = src->bitmap(s, src->uni2bno[size_t(s)][0x3000]);
    const uint8_t* a = src->bitmap(s, src->uni2bno[size_t(s)][0x3042]);
    int ink_space = 0, ink_a = 0;
    for (unsigned k = 0; k < bitmap_bytes(sizes[s]); ++k) ink_space += space[k] != 0, ink_a += a[k] != 0;
    EXPECT_EQ(ink_space, 0) << int(sizes[s]);
    EXPECT_GT(ink_a, 3) << int(sizes[s]);
  }

  // The whole run, as the README's command gives it.
  log = run_kilnfont({"example.info", "gothic12.pxg", "gothic14.pxg", "gothic16.pxg"});
  EXPECT_NE(log.find("12946 chrs(xfer-table)\ngothic12.pxg\ngothic14.pxg\ngothic16.pxg\n3 bitmap-tables\n"
                     "set g\nxfer 6880 chrs\nsort\nopen for output\n"),
            std::string::npos)
      << log;
  ASSERT_GE(log.size(), 9u);
  EXPECT_EQ(log.substr(log.size() - 9), "complete\n") << log;
  EXPECT_TRUE(dir.exists("kilnexample.ttf"));
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
  dir.write("jis.txt", "3\n2421 3042\n2422 3043\n12237 7e\n12238 2dc\n");

  // Every shape of file gives the same strikes: plain, with the glyphs
  // split over blocks, with the bitmaps in the data fork.
  for (const char* opts : {"--plain", "--split 2", "--datafork --split 3"}) {
    const std::string cmd = kTools + "bdf2pxg " + opts + " -o t.pxg a.bdf b.bdf 2>err.txt";
    ASSERT_EQ(std::system(cmd.c_str()), 0) << opts;
    EXPECT_NE(slurp("err.txt").find("2 glyphs"), std::string::npos);
    EXPECT_NE(slurp("err.txt").find("1 skipped"), std::string::npos);
    EXPECT_NE(slurp("err.txt").find("1 clipped"), std::string::npos);
    std::string log;
    auto src = read_source("jis.txt", {"t.pxg"}, &log);
    EXPECT_EQ(log, "jis-uni xfer-table : 3 chrs\nt.pxg\n") << opts;
    ASSERT_EQ(src->nstrikes, 2) << opts;
    EXPECT_EQ(src->pt[0], 10);
    EXPECT_EQ(src->pt[1], 8);
    const uint8_t* a = src->bitmap(1, src->uni2bno[1][0x3042]);
    for (unsigned r = 0; r < 8; ++r)
      for (unsigned c = 0; c < 8; ++c) {
        const bool ink = (r == 5 && (c == 1 || c == 2)) || (r == 6 && c == 2) || (r == 7 && c == 1);
        EXPECT_EQ(pixel(a, 8, r, c), ink) << opts << " row " << r << " col " << c;
      }
    const uint8_t* clipped = src->bitmap(1, src->uni2bno[1][0x3043]);
    for (unsigned r = 0; r < 8; ++r)
      for (unsigned c = 0; c < 8; ++c) EXPECT_EQ(pixel(clipped, 8, r, c), r == 0 && c == 7) << opts;
    for (uint16_t u : {0x7E, 0x2DC}) {
      const uint8_t* x = src->bitmap(0, src->uni2bno[0][u]);
      for (unsigned r = 0; r < 10; ++r)
        for (unsigned c = 0; c < 10; ++c)
          EXPECT_EQ(pixel(x, 10, r, c), (r == 0 && c == 0) || (r == 9 && c == 9)) << opts;
    }
  }
}
