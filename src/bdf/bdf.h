// SPDX-License-Identifier: MIT
// The BDF and PCF front end: reading X bitmap fonts (plain or gzip), the JIS
// character sets they name, placing their glyphs in square cells, and the
// JIS-to-Unicode table from the C library's converters. Shared by bdf2ttf,
// bdf2pxg and mkjisuni. Every failure throws fonterror with its message.
#pragma once
#include <cstdint>
#include <memory>
#include <set>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "core/glyphsrc.h"
#include "core/runinfo.h"

struct fonterror : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// ---- Reading (readfont.cc) ----

// One glyph as the font gives it: its rows, top first, each (w + 7) / 8
// bytes MSB first and stride bytes after the one before, start at rows()[at]
// of its font; bits past w are not looked at.
struct fontglyph {
  long enc = -1;
  long dw = 0;
  bool hasdw = false;
  long w = 0, h = 0, xo = 0, yo = 0;  // BBX
  size_t at = 0;      // where its rows start in the font's rows
  size_t stride = 0;  // bytes from one row to the next, (w + 7) / 8 or more
};

// A font as read: the header values used and every glyph.
struct fontin {
  std::string path, registry, encoding, metrics;  // metrics: where H came from, for the report
  long pixel = 0, ascent = 0, descent = 0;
  std::vector<std::pair<std::string, std::string>> props;  // the naming properties (see kNameProps)
  std::vector<fontglyph> glyphs;
  std::vector<uint8_t> bits;  // the glyphs' rows, MSB first, unless read in place
  // A PCF font whose rows are in the order used here has them read in
  // place: in, of insize bytes, is the file's data, owned by the font when
  // read_font read it (else the caller's to keep while the font is used).
  const uint8_t* in = nullptr;
  size_t insize = 0;
  std::unique_ptr<uint8_t[]> owned;

  const uint8_t* rows() const { return in ? in : bits.data(); }
  size_t rows_size() const { return in ? insize : bits.size(); }

  // The value of a naming property, "" when the font has none.
  std::string prop(std::string_view key) const;
};

// The properties kept in fontin::props, for the font's names.
extern const char* const kNameProps[10];

// The bytes of the file at path, inflated when it is gzip-compressed.
// Throws "cannot open PATH" and "PATH: ..." for a damaged gzip stream.
struct inputbytes {
  std::unique_ptr<uint8_t[]> data;
  size_t size = 0;
};
inputbytes read_input(const std::string& path);

// Reads a BDF or PCF font (plain or gzip; PCF by its magic number, anything
// else as BDF).
fontin read_font(const std::string& path);
fontin parse_bdf(const std::string& path, std::string_view text);
fontin parse_pcf(const std::string& path, std::string_view data);

// ---- Character sets and cells (place.cc) ----

// The JIS character sets known. The 1978 edition numbers 26 kanji
// differently from every later JIS X 0208 (see renumber_1978).
enum class charset { unknown, x0208, x0208_1978, x0212, x0213 };

const char* setname(charset cs);

// Which JIS set and plane the font's registry names; plane -1 when none.
// CHARSET_REGISTRY and CHARSET_ENCODING (or the FONT name's last two
// fields) in any letter case: JISX0208.* and JISC6226.1978 are plane 0,
// JISX0212.* plane 1, JIS X 0213 plane 1 (jisx0213.2000-1, .2004-1) plane 0
// and its plane 2 (jisx0213.2000-2) plane 1.
charset identify(const fontin& f, int& plane);

// The code a glyph of the 1978 order has in every later edition.
long renumber_1978(long code);

// The cell of a font. H = FONT_ASCENT + FONT_DESCENT rows, W the widest
// DWIDTH of its JIS glyphs (a glyph without DWIDTH counts the right edge of
// its BBX), side S = max(H, W) unless forced. The box is centred in the
// S x S square, the odd extra row going to the bottom and the odd extra
// column to the right.
struct cellrule {
  long H = 0, W = 0, S = 0;
  int renumbered = 0;  // glyphs of the 1978 order moved
};
cellrule cell_of(const fontin& in, charset cs, long forced);

// A font's JIS glyphs placed in their cells.
struct placed {
  std::string path;
  int size = 0;  // cell side S
  int plane = 0;
  charset cs = charset::unknown;
  std::vector<int32_t> slot;  // per linear JIS index: bitmap number in bits, -1 for none
  std::vector<uint8_t> bits;  // the bitmaps, bitmap_bytes(size) each
  size_t count = 0;           // cells holding a glyph
  int skipped = 0, clipped = 0, twice = 0;
  long clippedpx = 0;
  int unmapped = 0, unmappedink = 0;  // glyphs at cells the table gives no value
  int unmappedwhy[4] = {0, 0, 0, 0};  // of those, by what the converter gives the cell (see why)
  std::set<int> unmappedrows;         // rows of those with ink

  const uint8_t* bitmap(size_t idx) const { return bits.data() + size_t(slot[idx]) * bitmap_bytes(unsigned(size)); }
};

// What the C library's converter gives each cell.
enum class why : uint8_t { value, none, beyond, pair };

// Places every JIS glyph of in in the cell c.S (1..255): the BDF pixel x
// columns right of the glyph origin and y rows above the baseline lands in
// cell column x + floor((S - W) / 2) and row FONT_ASCENT + floor((S - H) / 2)
// - 1 - y (row 0 the top); ink outside the square is clipped and counted.
// Glyphs at cells m2u gives no value are counted (reasons from reason) and
// left out when drop is set. A cell given twice keeps the last glyph.
placed place(const fontin& in, charset cs, int plane, const cellrule& c, const uint16_t* m2u,
             const std::vector<why>& reason, bool drop);

struct convtable;

// Why the cells without a value have none, by the converter: "26 beyond
// the BMP, 25 of two code points".
std::string unmapped_reasons(const placed& f, const convtable& conv);

// ", in rows 22 2d" for the rows of the glyphs with ink among those, or "".
std::string unmapped_rows(const placed& f);

// What placing the font did besides placing glyphs, each piece starting
// with ", ": glyphs skipped, clipped, at a cell given twice, and (when
// leftout names the table) left out; "" when there is nothing to say.
std::string placement_notes(const placed& f, const char* leftout, const convtable& conv);

// ---- The JIS-to-Unicode table (jisuni.cc) ----

// What the converter gives for one cell: no character (n = 0), one code
// point, or two (a base letter and a combining mark).
struct jischar {
  int n = 0;
  uint32_t u[2] = {0, 0};
};

// Decodes all 17,672 cells with the C library's (glibc's) iconv: EUC-JP for
// JIS X 0208 (plane 0) and JIS X 0212 (plane 1), EUC-JISX0213 for JIS X
// 0213 planes 1 and 2 (planes 0 and 1 here). Both spell row r, cell c of
// the first plane as the bytes r|0x80, c|0x80 and of the second as 0x8F,
// r|0x80, c|0x80. Throws when the C library lacks the converter.
std::vector<jischar> decode_cells(bool x0213);

// The value jis_uni.txt can hold for the cell: its one code point when that
// lies in the Basic Multilingual Plane, else 0 (no value).
inline uint32_t jisbmp(const jischar& c) { return c.n == 1 && c.u[0] <= 0xFFFF ? c.u[0] : 0; }

// The table as mkjisuni writes it, and why each cell without a value has none.
struct convtable {
  bool x0213 = false;
  const char* name = "";  // "EUC-JP" or "EUC-JISX0213"
  std::vector<uint16_t> m2u;
  std::vector<why> reason;
};
// The table of EUC-JP (JIS X 0208 and 0212) or of EUC-JISX0213, as the C
// library's converter gave it when the commands were built (mkjisuni's).
convtable converter_map(bool x0213);
// The same table from decoded cells: made when the commands are built.
convtable table_of_cells(bool x0213, const std::vector<jischar>& cells);

// Unicode value per linear JIS index, 0 for none, as kilnfont reads
// jis_uni.txt: "%x %x" lines after the count line, the low 16 bits kept,
// lines off the grid skipped, a later line for a cell winning.
std::vector<uint16_t> read_map(const std::string& path);

// Refuses a table that gives the font's cells the meanings of another
// character set: plane 1 holds JIS X 0212 in one kind of table and JIS X
// 0213 plane 2 in the other, and a JIS X 0213 font needs the rows JIS X
// 0208 leaves empty (0x29..0x2F, 0x75..0x7E).
void check_map(const std::vector<uint16_t>& m2u, const std::string& mappath, const std::string& fontpath,
               charset cs, int plane);

// ---- Names (names.cc) ----

// A font's names from its properties: family from FOUNDRY, FAMILY_NAME and
// ADD_STYLE_NAME (or the given family), with "Proportional" for SPACING P
// and the set for the 1978 order and JIS X 0213, which are other fonts of
// the same design; style (Regular, Bold, Italic, Bold Italic) from
// WEIGHT_NAME and SLANT; copyright from COPYRIGHT and NOTICE; the vendor id
// from FOUNDRY; a PostScript name of printable ASCII without spaces, at
// most 63 characters.
struct fontnames {
  std::string family, style, full, postscript, copyright, version;
  bool bold = false, italic = false;
  char vendid[4] = {' ', ' ', ' ', ' '};
};
fontnames names_of(const fontin& f, charset cs, const std::string& family);

// Puts the names in all four name groups of info, with the weight, the
// style bits and the vendor id; sizes ("12 14 16") go into the unique id.
// The Macintosh Roman group gets them in Mac Roman; when a name has a
// character that a Macintosh group's encoding (Mac Roman, Shift-JIS)
// lacks, the font has no records of that group.
void set_names(const fontnames& n, const std::string& sizes, runinfo& info);

// ---- The command (bdf2ttf.cc) ----

// bdf2ttf's whole run: returns the exit status (0, or 1 after a message on
// standard error).
int bdf2ttf_main(int argc, const char* const* argv);
