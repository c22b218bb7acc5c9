// The few checks a whole conversion would hide: the encoder's limits, fed
// points directly, and a conversion run twice in one process.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "driver/driver.h"
#include "driver/quit.h"
#include "tables/bewriter.h"
#include "trace/trace.h"

TEST(Encoder, DeltaLimits) {
  // 255 and -255 take one byte, 256 and -256 two bytes with no flag bit for
  // that axis, 0 none. y values are given before the encoder lowers them by
  // 100, so the stored y run 0, 255, -1, -1, 255.
  tracer tr;
  reset_glyf(tr);
  tr.points = {{2, 255, 100}, {2, 0, 355}, {2, 256, 99}, {2, 0, 99}, {2, 0, 355}};
  point2glyf(tr, 5);
  bewriter w;
  EXPECT_EQ(outputglyf(tr, w), 32);
  EXPECT_EQ(std::vector<uint8_t>(w.b.begin() + 14, w.b.end()),
            (std::vector<uint8_t>{0x32, 0x26, 0x00, 0x20, 0x10,        // flags
                                  0xFF, 0xFF, 0x01, 0x00, 0xFF, 0x00,  // x: +255 -255 +256 -256 0
                                  0xFF, 0xFF, 0x00, 0x01, 0x00,        // y: 0 +255 -256 0 +256
                                  0x00, 0x00}));                       // padding
  EXPECT_EQ(tr.points[2].y, -1);  // lowered in place
}

TEST(Encoder, ContourLimit) {
  // 32,767 contours fit a glyph; one more ends the run.
  tracer tr;
  reset_glyf(tr);
  tr.points = {{2, 1, 1}};
  for (int c = 0; c < 32767; ++c) point2glyf(tr, 1);
  testing::internal::CaptureStdout();
  EXPECT_THROW(point2glyf(tr, 1), quit_signal);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "error : glyph too complex\n");
}

TEST(Driver, RunsTwiceTheSame) {
  // All state lives in the run: a second conversion in the same process
  // gives the same bytes.
  char dir[] = "/tmp/kiln-unit.XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  const std::string ex = std::string(KILN_SOURCE_DIR) + "/example/";
  auto slurp = [](const std::string& p) {
    std::ifstream f(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), {});
  };
  for (const char* f : {"example.info", "jis_uni.txt", "gothic12.pxg"})
    std::ofstream(std::string(dir) + "/" + f, std::ios::binary) << slurp(ex + f);
  ASSERT_EQ(chdir(dir), 0);
  const char* args[] = {"kilnfont", "example.info", "gothic12.pxg"};
  testing::internal::CaptureStdout();
  kilnfont_main(3, args);
  const std::string first = slurp("kilnexample.ttf");
  kilnfont_main(3, args);
  const std::string log = testing::internal::GetCapturedStdout();
  EXPECT_EQ(log.substr(log.size() - 9), "complete\n");
  EXPECT_GT(first.size(), 100000u);
  EXPECT_EQ(slurp("kilnexample.ttf"), first);
  for (const char* f : {"example.info", "jis_uni.txt", "gothic12.pxg", "kilnexample.ttf"}) std::remove(f);
  EXPECT_EQ(chdir("/"), 0);
  rmdir(dir);
}
