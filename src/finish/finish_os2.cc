// SPDX-License-Identifier: MIT
// OS/2 of a finished font: version 4, with the character ranges, the first
// and last character, the average advance and the Windows extents taken from
// the font's cmap, advances and glyph boxes. The design fields (weight,
// width, sub- and superscript, panose, vendor, typographic metrics) are kept.
#include <algorithm>
#include <iterator>

#include "finish/finish_int.h"

namespace {

// The Unicode blocks of the BMP that each ulUnicodeRange bit stands for, in
// code order. Bit 57 (characters beyond the BMP) is the surrogate block
// here: a format-4 cmap reaches no further. No bit above 122 is defined.
struct urange {
  uint16_t first, last;
  uint8_t bit;
};
constexpr urange kUnicodeRanges[] = {
    {0x0000, 0x007F,   0},  // Basic Latin
    {0x0080, 0x00FF,   1},  // Latin-1 Supplement
    {0x0100, 0x017F,   2},  // Latin Extended-A
    {0x0180, 0x024F,   3},  // Latin Extended-B
    {0x0250, 0x02AF,   4},  // IPA Extensions
    {0x02B0, 0x02FF,   5},  // Spacing Modifier Letters
    {0x0300, 0x036F,   6},  // Combining Diacritical Marks
    {0x0370, 0x03FF,   7},  // Greek and Coptic
    {0x0400, 0x04FF,   9},  // Cyrillic
    {0x0500, 0x052F,   9},  // Cyrillic Supplement
    {0x0530, 0x058F,  10},  // Armenian
    {0x0590, 0x05FF,  11},  // Hebrew
    {0x0600, 0x06FF,  13},  // Arabic
    {0x0700, 0x074F,  71},  // Syriac
    {0x0750, 0x077F,  13},  // Arabic Supplement
    {0x0780, 0x07BF,  72},  // Thaana
    {0x07C0, 0x07FF,  14},  // NKo
    {0x0900, 0x097F,  15},  // Devanagari
    {0x0980, 0x09FF,  16},  // Bengali
    {0x0A00, 0x0A7F,  17},  // Gurmukhi
    {0x0A80, 0x0AFF,  18},  // Gujarati
    {0x0B00, 0x0B7F,  19},  // Oriya
    {0x0B80, 0x0BFF,  20},  // Tamil
    {0x0C00, 0x0C7F,  21},  // Telugu
    {0x0C80, 0x0CFF,  22},  // Kannada
    {0x0D00, 0x0D7F,  23},  // Malayalam
    {0x0D80, 0x0DFF,  73},  // Sinhala
    {0x0E00, 0x0E7F,  24},  // Thai
    {0x0E80, 0x0EFF,  25},  // Lao
    {0x0F00, 0x0FFF,  70},  // Tibetan
    {0x1000, 0x109F,  74},  // Myanmar
    {0x10A0, 0x10FF,  26},  // Georgian
    {0x1100, 0x11FF,  28},  // Hangul Jamo
    {0x1200, 0x137F,  75},  // Ethiopic
    {0x1380, 0x139F,  75},  // Ethiopic Supplement
    {0x13A0, 0x13FF,  76},  // Cherokee
    {0x1400, 0x167F,  77},  // Unified Canadian Aboriginal Syllabics
    {0x1680, 0x169F,  78},  // Ogham
    {0x16A0, 0x16FF,  79},  // Runic
    {0x1700, 0x171F,  84},  // Tagalog
    {0x1720, 0x173F,  84},  // Hanunoo
    {0x1740, 0x175F,  84},  // Buhid
    {0x1760, 0x177F,  84},  // Tagbanwa
    {0x1780, 0x17FF,  80},  // Khmer
    {0x1800, 0x18AF,  81},  // Mongolian
    {0x1900, 0x194F,  93},  // Limbu
    {0x1950, 0x197F,  94},  // Tai Le
    {0x1980, 0x19DF,  95},  // New Tai Lue
    {0x19E0, 0x19FF,  80},  // Khmer Symbols
    {0x1A00, 0x1A1F,  96},  // Buginese
    {0x1B00, 0x1B7F,  27},  // Balinese
    {0x1B80, 0x1BBF, 112},  // Sundanese
    {0x1C00, 0x1C4F, 113},  // Lepcha
    {0x1C50, 0x1C7F, 114},  // Ol Chiki
    {0x1D00, 0x1D7F,   4},  // Phonetic Extensions
    {0x1D80, 0x1DBF,   4},  // Phonetic Extensions Supplement
    {0x1DC0, 0x1DFF,   6},  // Combining Diacritical Marks Supplement
    {0x1E00, 0x1EFF,  29},  // Latin Extended Additional
    {0x1F00, 0x1FFF,  30},  // Greek Extended
    {0x2000, 0x206F,  31},  // General Punctuation
    {0x2070, 0x209F,  32},  // Superscripts And Subscripts
    {0x20A0, 0x20CF,  33},  // Currency Symbols
    {0x20D0, 0x20FF,  34},  // Combining Diacritical Marks For Symbols
    {0x2100, 0x214F,  35},  // Letterlike Symbols
    {0x2150, 0x218F,  36},  // Number Forms
    {0x2190, 0x21FF,  37},  // Arrows
    {0x2200, 0x22FF,  38},  // Mathematical Operators
    {0x2300, 0x23FF,  39},  // Miscellaneous Technical
    {0x2400, 0x243F,  40},  // Control Pictures
    {0x2440, 0x245F,  41},  // Optical Character Recognition
    {0x2460, 0x24FF,  42},  // Enclosed Alphanumerics
    {0x2500, 0x257F,  43},  // Box Drawing
    {0x2580, 0x259F,  44},  // Block Elements
    {0x25A0, 0x25FF,  45},  // Geometric Shapes
    {0x2600, 0x26FF,  46},  // Miscellaneous Symbols
    {0x2700, 0x27BF,  47},  // Dingbats
    {0x27C0, 0x27EF,  38},  // Miscellaneous Mathematical Symbols-A
    {0x27F0, 0x27FF,  37},  // Supplemental Arrows-A
    {0x2800, 0x28FF,  82},  // Braille Patterns
    {0x2900, 0x297F,  37},  // Supplemental Arrows-B
    {0x2980, 0x29FF,  38},  // Miscellaneous Mathematical Symbols-B
    {0x2A00, 0x2AFF,  38},  // Supplemental Mathematical Operators
    {0x2B00, 0x2BFF,  37},  // Miscellaneous Symbols and Arrows
    {0x2C00, 0x2C5F,  97},  // Glagolitic
    {0x2C60, 0x2C7F,  29},  // Latin Extended-C
    {0x2C80, 0x2CFF,   8},  // Coptic
    {0x2D00, 0x2D2F,  26},  // Georgian Supplement
    {0x2D30, 0x2D7F,  98},  // Tifinagh
    {0x2D80, 0x2DDF,  75},  // Ethiopic Extended
    {0x2DE0, 0x2DFF,   9},  // Cyrillic Extended-A
    {0x2E00, 0x2E7F,  31},  // Supplemental Punctuation
    {0x2E80, 0x2EFF,  59},  // CJK Radicals Supplement
    {0x2F00, 0x2FDF,  59},  // Kangxi Radicals
    {0x2FF0, 0x2FFF,  59},  // Ideographic Description Characters
    {0x3000, 0x303F,  48},  // CJK Symbols And Punctuation
    {0x3040, 0x309F,  49},  // Hiragana
    {0x30A0, 0x30FF,  50},  // Katakana
    {0x3100, 0x312F,  51},  // Bopomofo
    {0x3130, 0x318F,  52},  // Hangul Compatibility Jamo
    {0x3190, 0x319F,  59},  // Kanbun
    {0x31A0, 0x31BF,  51},  // Bopomofo Extended
    {0x31C0, 0x31EF,  61},  // CJK Strokes
    {0x31F0, 0x31FF,  50},  // Katakana Phonetic Extensions
    {0x3200, 0x32FF,  54},  // Enclosed CJK Letters And Months
    {0x3300, 0x33FF,  55},  // CJK Compatibility
    {0x3400, 0x4DBF,  59},  // CJK Unified Ideographs Extension A
    {0x4DC0, 0x4DFF,  99},  // Yijing Hexagram Symbols
    {0x4E00, 0x9FFF,  59},  // CJK Unified Ideographs
    {0xA000, 0xA48F,  83},  // Yi Syllables
    {0xA490, 0xA4CF,  83},  // Yi Radicals
    {0xA500, 0xA63F,  12},  // Vai
    {0xA640, 0xA69F,   9},  // Cyrillic Extended-B
    {0xA700, 0xA71F,   5},  // Modifier Tone Letters
    {0xA720, 0xA7FF,  29},  // Latin Extended-D
    {0xA800, 0xA82F, 100},  // Syloti Nagri
    {0xA840, 0xA87F,  53},  // Phags-pa
    {0xA880, 0xA8DF, 115},  // Saurashtra
    {0xA900, 0xA92F, 116},  // Kayah Li
    {0xA930, 0xA95F, 117},  // Rejang
    {0xAA00, 0xAA5F, 118},  // Cham
    {0xAC00, 0xD7AF,  56},  // Hangul Syllables
    {0xD800, 0xDFFF,  57},  // Non-Plane 0
    {0xE000, 0xF8FF,  60},  // Private Use Area (plane 0)
    {0xF900, 0xFAFF,  61},  // CJK Compatibility Ideographs
    {0xFB00, 0xFB4F,  62},  // Alphabetic Presentation Forms
    {0xFB50, 0xFDFF,  63},  // Arabic Presentation Forms-A
    {0xFE00, 0xFE0F,  91},  // Variation Selectors
    {0xFE10, 0xFE1F,  65},  // Vertical Forms
    {0xFE20, 0xFE2F,  64},  // Combining Half Marks
    {0xFE30, 0xFE4F,  65},  // CJK Compatibility Forms
    {0xFE50, 0xFE6F,  66},  // Small Form Variants
    {0xFE70, 0xFEFF,  67},  // Arabic Presentation Forms-B
    {0xFF00, 0xFFEF,  68},  // Halfwidth And Fullwidth Forms
    {0xFFF0, 0xFFFF,  69},  // Specials
};

// Code pages a font covers, each told by characters that set it apart: a
// bit is set when the cmap holds every one of its characters. Only the code
// pages of Windows' ANSI and East Asian sets are judged; no other bit is set.
struct codepage {
  uint8_t bit;
  char16_t chars[4];  // 0 ends a shorter list
};
constexpr codepage kCodePages[] = {
    {0, {u'A', u'z', u'\u00E9', u'\u00DF'}},             // 1252 Latin 1
    {1, {u'A', u'z', u'\u0141', u'\u0151'}},             // 1250 Latin 2: Ł ő
    {2, {u'\u0411', u'\u044F', 0, 0}},                   // 1251 Cyrillic: Б я
    {3, {u'\u03A9', u'\u03B1', 0, 0}},                   // 1253 Greek: Ω α
    {4, {u'A', u'z', u'\u011F', u'\u0130'}},             // 1254 Turkish: ğ İ
    {5, {u'\u05D0', 0, 0, 0}},                           // 1255 Hebrew: א
    {6, {u'\u0627', 0, 0, 0}},                           // 1256 Arabic: ا
    {7, {u'A', u'z', u'\u0173', u'\u0117'}},             // 1257 Baltic: ų ė
    {8, {u'A', u'z', u'\u01A1', u'\u20AB'}},             // 1258 Vietnamese: ơ ₫
    {16, {u'\u0E01', 0, 0, 0}},                          // 874 Thai: ก
    {17, {u'\u3042', u'\u30A2', u'\u4E9C', 0}},          // 932 Japanese: あ ア 亜
    {18, {u'\u4EEC', u'\u8FD9', u'\u8BF4', 0}},          // 936 Simplified Chinese: 们 这 说
    {19, {u'\uAC00', u'\uB098', 0, 0}},                  // 949 Korean Wansung: 가 나
    {20, {u'\u3105', u'\u5011', u'\u9AD4', 0}},          // 950 Traditional Chinese: ㄅ 們 體
    {21, {u'\uAC00', u'\uAC02', u'\uD7A3', 0}},          // 1361 Korean Johab: 가 갂 힣
};

}  // namespace

void finish_os2(const finfont& f, const fintable& t, bewriter& w) {
  const bereader r = t.reader();
  const uint16_t version = r.u16(0);
  if (version == 0) refuse("not of kilnfont's layout: OS/2 of version 0");
  r.need(0, version >= 2 ? 96 : 86);

  // The characters the font maps, first and last, and their ranges.
  uint32_t ranges[4] = {};
  uint32_t firstChar = 0xFFFF, lastChar = 0;
  for (uint32_t c = 0; c < 0x10000; ++c) {
    if (!f.cmap[c]) continue;
    firstChar = std::min(firstChar, c);
    lastChar = c;
    const urange* u = std::upper_bound(std::begin(kUnicodeRanges), std::end(kUnicodeRanges), c,
                                       [](uint32_t v, const urange& x) { return v < x.first; });
    if (u != std::begin(kUnicodeRanges) && c <= (u - 1)->last) ranges[(u - 1)->bit / 32] |= 1u << ((u - 1)->bit % 32);
  }
  if (lastChar < firstChar) firstChar = lastChar = 0;
  uint32_t pages[2] = {};
  for (const codepage& p : kCodePages) {
    bool all = true;
    for (char16_t c : p.chars) all = all && (c == 0 || f.cmap[c] != 0);
    if (all) pages[p.bit / 32] |= 1u << (p.bit % 32);
  }

  // The average of the advances that are not zero.
  uint64_t sum = 0, counted = 0;
  for (uint16_t a : f.advance)
    if (a) sum += a, ++counted;
  const uint16_t avg = counted ? uint16_t((sum + counted / 2) / counted) : 0;

  // The height of a glyph's box, for sxHeight and sCapHeight; 0 when the
  // font lacks that character.
  const auto top = [&](char16_t c) { return f.box[f.cmap[c]].ink && f.cmap[c] ? f.box[f.cmap[c]].yMax : int16_t(0); };

  const int16_t typoAsc = int16_t(r.u16(68)), typoDesc = int16_t(r.u16(70));
  w.u16(4);                                  // version
  w.i16(int16_t(avg));                       // xAvgCharWidth
  w.bytes(t.d + 4, 38);                      // usWeightClass .. panose, as designed
  for (uint32_t u : ranges) w.u32(u);        // ulUnicodeRange1..4
  w.bytes(t.d + 58, 6);                      // achVendID, fsSelection
  w.u16(uint16_t(firstChar));                // usFirstCharIndex
  w.u16(uint16_t(lastChar));                 // usLastCharIndex
  w.bytes(t.d + 68, 6);                      // sTypoAscender, sTypoDescender, sTypoLineGap
  // Windows clips what lies outside these: they cover every outline.
  w.u16(uint16_t(std::max<int32_t>({typoAsc, f.all.yMax, 0})));    // usWinAscent
  w.u16(uint16_t(std::max<int32_t>({-typoDesc, -f.all.yMin, 0})));  // usWinDescent
  w.u32(pages[0]);                           // ulCodePageRange1
  w.u32(pages[1]);                           // ulCodePageRange2
  w.i16(top(u'x'));                          // sxHeight
  w.i16(top(u'H'));                          // sCapHeight
  w.u16(0);                                  // usDefaultChar: glyph 0
  w.u16(f.cmap[u' '] ? 0x20 : f.cmap[0x3000] ? 0x3000 : 0);  // usBreakChar
  w.u16(0);                                  // usMaxContext: no layout tables
}
