// SPDX-License-Identifier: MIT
// A font's names from its X properties, in the form font menus want: one
// family per design, Regular / Bold / Italic / Bold Italic within it.
#include <iconv.h>

#include <cstring>

#include "bdf/bdf.h"

namespace {

std::string lower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
  return s;
}

// Each word with a capital first letter ("mplus gothic" -> "Mplus Gothic");
// the rest of the word as it stands ("MNKANAME" stays).
std::string capitalised(std::string s) {
  for (size_t k = 0; k < s.size(); ++k)
    if ((k == 0 || s[k - 1] == ' ') && s[k] >= 'a' && s[k] <= 'z') s[k] = char(s[k] - 'a' + 'A');
  return s;
}

void append_word(std::string& s, const std::string& w) {
  if (w.empty()) return;
  if (!s.empty()) s += ' ';
  s += w;
}

// A PostScript name's characters: printable ASCII but for the ten that
// PostScript reserves, and no space.
std::string postscript(const std::string& s) {
  std::string out;
  for (char c : s)
    if (c > ' ' && c < 0x7F && !std::strchr("[](){}<>/%", c)) out += c;
  return out;
}

// s (UTF-8) in the character set code (Mac Roman, CP932), in out; false
// when a character of s has no place in it, or s is not UTF-8. ASCII is
// the same in both, and needs no converter.
bool encode(const char* code, const std::string& s, std::string& out) {
  out = s;
  bool ascii = true;
  for (char c : s) ascii &= uint8_t(c) < 0x80;
  if (ascii) return true;
  const iconv_t cd = iconv_open(code, "UTF-8");
  if (cd == iconv_t(-1)) return false;
  std::string in = s;
  char* from = in.data();
  size_t left = in.size(), room = in.size();  // a character beyond ASCII takes at most the bytes of its UTF-8
  char* to = out.data();
  const bool whole = iconv(cd, &from, &left, &to, &room) != size_t(-1) && left == 0;
  iconv_close(cd);
  out.resize(size_t(to - out.data()));
  return whole;
}

// The family the font's properties give.
std::string own_family(const fontin& f, charset cs) {
  std::string family;
  append_word(family, capitalised(f.prop("FOUNDRY")));
  append_word(family, capitalised(f.prop("FAMILY_NAME")));
  append_word(family, capitalised(f.prop("ADD_STYLE_NAME")));
  // The same design in other sets or spacings is another font, not
  // another style: it keeps a family of its own.
  if (lower(f.prop("SPACING")) == "p") append_word(family, "Proportional");
  if (cs == charset::x0208_1978) append_word(family, "JIS C 6226");
  if (cs == charset::x0213) append_word(family, "JIS X 0213");
  if (family.empty()) {  // no naming properties: the file's name
    const size_t slash = f.path.rfind('/');
    family = f.path.substr(slash == std::string::npos ? 0 : slash + 1);
    family = family.substr(0, family.find('.'));
  }
  return family;
}

}  // namespace

fontnames names_of(const fontin& f, charset cs, const std::string& family) {
  fontnames n;
  n.family = family.empty() ? own_family(f, cs) : family;

  const std::string weight = lower(f.prop("WEIGHT_NAME")), slant = lower(f.prop("SLANT"));
  n.bold = weight.find("bold") != std::string::npos || weight.find("black") != std::string::npos ||
           weight.find("heavy") != std::string::npos;
  n.italic = slant == "i" || slant == "o" || slant == "ri" || slant == "ro";
  n.style = n.bold && n.italic ? "Bold Italic" : n.bold ? "Bold" : n.italic ? "Italic" : "Regular";
  n.full = n.style == "Regular" ? n.family : n.family + " " + n.style;
  // A family without a character a PostScript name may hold (one given
  // in Japanese, say) takes that part from the properties' family, so that
  // the name, and the file named after it, does not start with the hyphen.
  std::string ps = postscript(n.family);
  if (ps.empty()) ps = postscript(own_family(f, cs));
  if (ps.empty()) ps = "Font";
  n.postscript = ps + "-" + postscript(n.style);
  if (n.postscript.size() > 63) n.postscript.resize(63);

  n.copyright = f.prop("COPYRIGHT");
  const std::string notice = f.prop("NOTICE");
  if (!notice.empty() && notice != n.copyright) append_word(n.copyright, notice);
  const std::string version = f.prop("FONT_VERSION");
  n.version = "Version " + (version.empty() ? std::string("1.000") : version);

  // The vendor id: the foundry's first four letters or digits, in capitals.
  std::memset(n.vendid, ' ', 4);
  int k = 0;
  for (char c : f.prop("FOUNDRY")) {
    if (k == 4) break;
    if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
    if ((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) n.vendid[k++] = c;
  }
  return n;
}

void set_names(const fontnames& n, const std::string& sizes, runinfo& info) {
  const std::string unique = n.full + (n.full == n.family ? " Regular" : "") + ": " + sizes + " px";
  const std::string strings[8] = {n.copyright, n.family, n.style, unique, n.full, n.version, n.postscript, ""};
  // The Macintosh records hold their strings in Mac Roman and Shift-JIS
  // (which the name table converts to). A name beyond a group's encoding
  // (a Japanese family in Mac Roman, an accented letter in Shift-JIS)
  // would only show as other characters or substitutes there, so that
  // group is left out: readers today name the font from the Windows
  // records, which hold every name.
  std::string roman[8], sjis;
  bool in_roman = true, in_sjis = true;
  for (int id = 0; id < 8; ++id) {
    in_roman &= encode("MACINTOSH", strings[id], roman[id]);
    in_sjis &= encode("CP932", strings[id], sjis);
  }
  info.name_groups = uint8_t(0x0C | (in_roman ? 1 : 0) | (in_sjis ? 2 : 0));
  for (int g = 0; g < 4; ++g)  // Mac Roman, Mac Japanese, Windows English, Windows Japanese
    for (int id = 0; id < 8; ++id) {
      const std::string& s = g == 0 && in_roman ? roman[id] : strings[id];
      char* slot = info.namestr[8 * g + id];
      const size_t len = std::min<size_t>(s.size(), sizeof info.namestr[0] - 1);
      std::memcpy(slot, s.data(), len);
      slot[len] = '\0';
    }
  info.weight = n.bold ? 7 : 4;
  info.bold = n.bold;
  info.italic = n.italic;
  std::memcpy(info.vendid, n.vendid, 4);
}
