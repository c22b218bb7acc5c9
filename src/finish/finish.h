// SPDX-License-Identifier: MIT
// The finishing pass: takes a font of kilnfont's layout and rewrites the
// values that clients distrust (glyph boxes and bearings, the extents in
// head, hhea and OS/2, OS/2's ranges and version-4 fields, the italic angle,
// the revision and timestamps, EBLC's line metrics, table lengths and
// checksums) from the font itself, and re-encodes the glyph descriptions
// compactly. Points, advances, cmap, names and bitmaps are kept as they are.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include <sys/stat.h>

struct finish_opts {
  // Seconds since 1970 for head's created and modified; -1 leaves them as
  // read. A stamp is written only over timestamps that are still 0 (as
  // kilnfont writes them), unless restamp is set: a font finished once keeps
  // its time when finished again.
  int64_t stamp = -1;
  bool restamp = false;
  // The glyph descriptions are already as the pass writes them (a font the
  // core made in this process with runinfo's finished_glyphs): glyf and
  // loca are kept, and each glyph's box and counts are read from its header;
  // the tables kept whole keep their checksums.
  bool glyphs_final = false;
};

// A finished font as pieces, one after another: the bytes the pass wrote
// (own) and the tables it kept as they are, which stay in its input.
struct finished_font {
  struct piece {
    const uint8_t* kept = nullptr;  // the input's bytes, or null for own[at..]
    size_t at = 0, len = 0;
  };
  std::vector<uint8_t> own;
  std::vector<piece> pieces;
  size_t size = 0;  // the font's length

  // The bytes of piece p.
  const uint8_t* bytes(const piece& p) const { return p.kept ? p.kept : own.data() + p.at; }
  // The font in one buffer.
  void flatten(std::vector<uint8_t>& font) const;
};

// Finishes the font in in[0..n) into out, whose pieces point into in, so
// in must outlive it; otherwise as below. The big tables that the pass
// keeps are not copied.
bool finish_font(const uint8_t* in, size_t n, finished_font& out, const finish_opts& opts, std::string& err);

// Finishes the font in in[0..n) into out. Returns false with a one-line
// reason in err, and out unspecified, for a font that cannot be read or is
// not of kilnfont's layout (its 13 tables, or 11 without bitmaps).
bool finish_font(const uint8_t* in, size_t n, std::vector<uint8_t>& out, const finish_opts& opts, std::string& err);

// A regular file read whole into data, with its status in st; false when it
// cannot be opened or read, or is not a regular file.
bool read_font_file(const char* path, std::vector<uint8_t>& data, struct stat& st);

// Writes data to outname the safe way (base/outfile.h): never a partial
// file, and an existing one replaced only by the whole font; then tags it
// with the type mime (extended attribute user.mime_type; a file system that
// refuses it is not reported). False with the reason in why.
bool write_font_file(const char* outname, const std::vector<uint8_t>& data, std::string& why,
                     const char* mime = "application/x-truetype");

// The same for a font in pieces, returning the message alone.
const char* put_font_file(const char* outname, const finished_font& font,
                          const char* mime = "application/x-truetype");

// The same, returning the message alone ("cannot output", "cannot write
// output"), without the name, or nullptr when done.
const char* put_font_file(const char* outname, const std::vector<uint8_t>& data,
                          const char* mime = "application/x-truetype");

// SOURCE_DATE_EPOCH as seconds since 1970: -1 when unset, -2 when not a
// plain decimal number.
int64_t source_date_epoch();
