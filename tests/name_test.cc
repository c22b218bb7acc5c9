// The name table and the UTF-8 conversion behind its Japanese and Windows
// records.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "support/rundir.h"
#include "tables/tables.h"
#include "tables/textconv.h"

namespace {

using bytes = std::vector<uint8_t>;

// Builds the name table from the given 32 lines; *log receives what it printed.
bytes build_name_from(const std::vector<std::string>& lines, std::string* log = nullptr) {
  runinfo info;
  for (size_t k = 0; k < 32; ++k) std::snprintf(info.namestr[k], sizeof info.namestr[k], "%s", lines[k].c_str());
  auto src = std::make_unique<glyphsrc>();
  return build_table(build_name, *src, info, log);
}

// One name record read back: platform, encoding, language, name ID, length, offset.
struct namerec {
  uint32_t platform, encoding, language, id, length, offset;
  bool operator==(const namerec&) const = default;
};
namerec record(const bytes& t, int r) {
  const size_t at = 6 + 12 * size_t(r);
  return {rd16(t, at), rd16(t, at + 2), rd16(t, at + 4), rd16(t, at + 6), rd16(t, at + 8), rd16(t, at + 10)};
}
bytes string_of(const bytes& t, int r) {
  const size_t at = rd16(t, 4) + record(t, r).offset;
  return bytes(t.begin() + long(at), t.begin() + long(at + record(t, r).length));
}

bytes utf16(const std::string& ascii) {
  bytes b;
  for (char c : ascii) b.insert(b.end(), {0x00, uint8_t(c)});
  return b;
}

// Converts s with the given conversion into at most room bytes.
bytes conv(uint32_t conversion, const std::string& s, int32_t room = 255, int32_t* consumed = nullptr) {
  textconv tc;
  char out[512];
  int32_t srcLen = int32_t(s.size()), dstLen = room, state = 0;
  convert_from_utf8(tc, conversion, s.data(), srcLen, out, dstLen, state, 0x1A);
  EXPECT_EQ(state, 0);
  if (consumed) *consumed = srcLen;
  return bytes(out, out + dstLen);
}

}  // namespace

TEST(NameTable, ThirtyTwoTenCharacterLines) {
  std::vector<std::string> lines;
  for (int k = 0; k < 32; ++k) {
    char l[16];
    std::snprintf(l, sizeof l, "name%02dabcd", k);
    lines.push_back(l);
  }
  std::string log;
  const bytes t = build_name_from(lines, &log);
  // 390 + 2 x 8 x 10 + 2 x 8 x 20 = 870, padded to 872; nothing to report.
  ASSERT_EQ(t.size(), 872u);
  EXPECT_EQ(log, "");
  EXPECT_EQ(rd16(t, 0), 0u);    // format
  EXPECT_EQ(rd16(t, 2), 32u);   // count
  EXPECT_EQ(rd16(t, 4), 390u);  // stringOffset
  // Offsets run 0..70 by 10, 80..150 by 10, 160..300 by 20, 320..460 by 20.
  const uint32_t groups[4][3] = {{1, 0, 0}, {1, 1, 11}, {3, 1, 0x409}, {3, 1, 0x411}};
  const uint32_t first[4] = {0, 80, 160, 320}, len[4] = {10, 10, 20, 20};
  for (int r = 0; r < 32; ++r) {
    const int g = r / 8, id = r % 8;
    EXPECT_EQ(record(t, r),
              (namerec{groups[g][0], groups[g][1], groups[g][2], uint32_t(id), len[g], first[g] + len[g] * id}))
        << "record " << r;
    EXPECT_EQ(string_of(t, r), g < 2 ? bytes(lines[r].begin(), lines[r].end()) : utf16(lines[r])) << r;
  }
  EXPECT_EQ(rd16(t, 870), 0u);
}

TEST(NameTable, LengthsAndConversions) {
  std::vector<std::string> lines(32, "x");
  lines[0] = "\xC3\xA9\xFF";  // group 0 takes the bytes as they stand, UTF-8 or not
  lines[3] = "";              // length 0, the offset of the next record
  // 200 ASCII characters: kept whole in Mac Roman, 127 characters (254
  // bytes) in a Windows record.
  lines[5] = lines[16 + 5] = std::string(200, 'w');
  // Mac Japanese: two bytes per kanji, hiragana and full-width katakana,
  // one per ASCII character; the Japanese Windows group in UTF-16BE.
  lines[8 + 1] = "日本語のフォントAB";
  lines[24 + 1] = "日本A";
  const bytes t = build_name_from(lines);

  EXPECT_EQ(string_of(t, 0), (bytes{0xC3, 0xA9, 0xFF}));
  EXPECT_EQ(record(t, 3).length, 0u);
  EXPECT_EQ(record(t, 3).offset, record(t, 4).offset);
  EXPECT_EQ(record(t, 5).length, 200u);
  EXPECT_EQ(string_of(t, 16 + 5), utf16(std::string(127, 'w')));
  EXPECT_EQ(string_of(t, 9), (bytes{0x93, 0xFA, 0x96, 0x7B, 0x8C, 0xEA, 0x82, 0xCC,  // 日本語の
                                    0x83, 0x74, 0x83, 0x48, 0x83, 0x93, 0x83, 0x67,  // フォント
                                    0x41, 0x42}));
  EXPECT_EQ(string_of(t, 25), (bytes{0x65, 0xE5, 0x67, 0x2C, 0x00, 0x41}));
}

TEST(TextConv, SubstitutesAndCuts) {
  // Each byte that does not start a well-formed UTF-8 sequence (cut short,
  // overlong, surrogate, beyond U+10FFFF, stray continuation) becomes one
  // substitute, and decoding goes on at the next byte. A character CP932
  // lacks (the euro sign, an emoji) is one substitute however long its
  // UTF-8; UTF-16 holds both, the emoji as a surrogate pair.
  const std::string bad = "\xE3\x81" "b" "\xC0\x80" "\xED\xA0\x80" "\xF4\x90\x80\x80" "\x80" "a";
  bytes want = {0x1A, 0x1A, 'b'};
  want.insert(want.end(), 10, 0x1A);
  want.push_back('a');
  EXPECT_EQ(conv(kConvShiftJIS, bad), want);
  EXPECT_EQ(conv(kConvUnicode, "\xE3\x81" "b"), (bytes{0x00, 0x1A, 0x00, 0x1A, 0x00, 'b'}));
  EXPECT_EQ(conv(kConvShiftJIS, "\xE2\x82\xAC" "\xF0\x9F\x98\x80"), (bytes{0x1A, 0x1A}));
  EXPECT_EQ(conv(kConvUnicode, "\xE2\x82\xAC" "\xF0\x9F\x98\x80"), (bytes{0x20, 0xAC, 0xD8, 0x3D, 0xDE, 0x00}));

  // Only whole characters fit: 128 kanji give 127 (254 of 255 bytes); a
  // surrogate pair is not split, nor a double-byte character after 254
  // single bytes; no room, nothing.
  std::string kanji;
  for (int k = 0; k < 128; ++k) kanji += "漢";
  int32_t used = 0;
  EXPECT_EQ(conv(kConvShiftJIS, kanji, 255, &used).size(), 254u);
  EXPECT_EQ(used, 127 * 3);
  EXPECT_EQ(conv(kConvUnicode, std::string(126, 'a') + "\xF0\x9F\x98\x80").size(), 252u);
  EXPECT_EQ(conv(kConvUnicode, std::string(125, 'a') + "\xF0\x9F\x98\x80").size(), 254u);
  EXPECT_EQ(conv(kConvShiftJIS, std::string(254, 'a') + "漢").size(), 254u);
  EXPECT_EQ(conv(kConvUnicode, "abc", 1).size(), 0u);
}
