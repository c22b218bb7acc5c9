// SPDX-License-Identifier: MIT
// The specimen page of the pixel web fonts. Its layout is in whole pixels
// throughout (fixed heights, margins and line heights), so each sample
// block's place is known here and written into it: a screenshot can then be
// compared glyph by glyph with the strikes.
#include <string>

#include "web/web.h"

namespace {

// The sample: kana, full-width Latin and digits, punctuation and symbols,
// Greek and Cyrillic, and kanji from simple to the densest a cell holds.
constexpr char16_t kSample[] =
    u"あいうえおかきくけこがぎぐげごさしすせそぱぴぷぺぽゃゅょっ"
    u"アイウエオカキクケコガギグゲゴパピプペポァィゥェォヴヵヶー"
    u"ＡＢＣＤＥＦＧＨＩＪＫＬＭａｂｃｄｅｆｇｈｉｊｋｌｍ０１２３４５６７８９"
    u"！？＃＄％＆＊＠（）「」『』【】、。・〜★☆○●◎◇◆□■△▲▽▼※〒→←↑↓〓♪♂♀℃§¶"
    u"αβγΩЖя一二三人山川日月永東京漢字鬱驚龍驫鑿纏麟鷹臓響轟魔曜識議護";
constexpr int kPerLine = 25;
constexpr int kMaxLines = 7;
constexpr int kPad = 16;      // around the page
constexpr int kCaption = 32;  // height of each heading and caption line
constexpr int kGap = 16;      // below each sample block

void utf8(std::string& s, char32_t c) {
  if (c < 0x80) {
    s.push_back(char(c));
  } else if (c < 0x800) {
    s += {char(0xC0 | c >> 6), char(0x80 | (c & 0x3F))};
  } else {
    s += {char(0xE0 | c >> 12), char(0x80 | (c >> 6 & 0x3F)), char(0x80 | (c & 0x3F))};
  }
}

// Text for HTML (also inside a quoted attribute or a CSS string in one).
std::string html(const std::string& s) {
  std::string o;
  for (char c : s) {
    if (c == '&') o += "&amp;";
    else if (c == '<') o += "&lt;";
    else if (c == '>') o += "&gt;";
    else if (c == '"') o += "&quot;";
    else if (c == '\'') o += "&#39;";
    else o.push_back(c);
  }
  return o;
}

// Text for a CSS string: quotes, backslashes and markup characters as
// escapes, so that it is safe both in a style element and in an attribute.
std::string css(const std::string& s) {
  std::string o;
  for (char c : s) {
    switch (c) {
      case '"': o += "\\22 "; break;
      case '\'': o += "\\27 "; break;
      case '\\': o += "\\5C "; break;
      case '<': o += "\\3C "; break;
      case '>': o += "\\3E "; break;
      case '&': o += "\\26 "; break;
      default: o.push_back(c);
    }
  }
  return o;
}

// A file name as a relative URL: unreserved bytes kept, the rest escaped.
std::string url(const std::string& s) {
  static const char hex[] = "0123456789ABCDEF";
  std::string o;
  for (char c : s) {
    const uint8_t b = uint8_t(c);
    if ((b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') || (b >= '0' && b <= '9') || b == '-' || b == '.' ||
        b == '_' || b == '~')
      o.push_back(c);
    else
      o += {'%', hex[b >> 4], hex[b & 15]};
  }
  return o;
}

}  // namespace

std::string specimen_page(const webset& set, const std::string& base) {
  std::string sample;
  int count = 0;
  for (char16_t c : kSample) {
    if (!c || !set.cmap[c] || count == kPerLine * kMaxLines) continue;
    if (count && count % kPerLine == 0) sample.push_back('\n');
    utf8(sample, c);
    ++count;
  }
  const std::string title = set.fonts.empty() ? base : set.fonts[0].family.substr(
      0, set.fonts[0].family.size() - 1 - std::to_string(set.fonts[0].size).size());
  std::string p =
      "<!DOCTYPE html>\n<html lang=\"ja\">\n<head>\n<meta charset=\"utf-8\">\n<title>" + html(title) +
      ": pixel web fonts</title>\n<style>\n";
  for (const webfont& f : set.fonts)
    p += "@font-face { font-family: \"" + css(f.family) + "\"; src: url(\"" +
         url(base + "-" + std::to_string(f.size) + ".woff2") + "\") format(\"woff2\"); }\n";
  p += "html, body { margin: 0; padding: 0; background: #fff; color: #000; }\n"
       "body { padding: " + std::to_string(kPad) + "px; width: max-content; }\n"
       "h1, h2, p { margin: 0; height: " + std::to_string(kCaption) + "px; font: 16px/" +
       std::to_string(kCaption) + "px sans-serif; white-space: nowrap; }\n"
       "div { margin: 0 0 " + std::to_string(kGap) + "px; white-space: pre; font-kerning: none; "
       "font-synthesis: none; }\n</style>\n</head>\n<body>\n<h1>" + html(title) +
       ": one web font per pixel size</h1>\n";
  const int lines = (count + kPerLine - 1) / kPerLine;
  int top = kPad + kCaption;
  for (const webfont& f : set.fonts) {
    const std::string s = std::to_string(f.size);
    p += "<h2>" + s + " px: font-family \"" + html(f.family) + "\", " + url(base + "-" + s + ".woff2") + "</h2>\n";
    top += kCaption;
    for (int k = 1; k <= 3; ++k) {
      const int line = (f.ascent + f.descent) * k;
      p += "<p>" + std::to_string(k) + "\u00D7: font-size " + std::to_string(f.size * k) + "px, line-height " +
           std::to_string(line) + "px</p>\n";
      top += kCaption;
      p += "<div style=\"font: " + std::to_string(f.size * k) + "px/" + std::to_string(line) + "px &quot;" +
           css(f.family) + "&quot;; height: " + std::to_string(line * lines) + "px\" data-size=\"" + s +
           "\" data-scale=\"" + std::to_string(k) + "\" data-left=\"" + std::to_string(kPad) + "\" data-top=\"" +
           std::to_string(top) + "\" data-ascent=\"" + std::to_string(f.ascent) + "\">" + html(sample) + "</div>\n";
      top += line * lines + kGap;
    }
  }
  p += "</body>\n</html>\n";
  return p;
}
