// Shared by the fuzz targets: a scratch directory per process, input files
// written by name (the readers take file names), and splitting one fuzz
// input into several files.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct glyphsrc;

// Separates the files packed into one fuzz input. Seeds are written with it
// (mkseeds); libFuzzer learns it from the comparison in split_input.
constexpr std::string_view kSplit = "@@KILN@@";

// Creates a fresh scratch directory (in /dev/shm, else the temp dir) on the
// first call
// and removes it when the process exits. Returns its path. The current
// directory stays where libFuzzer was started, so that relative corpus and
// artifact paths keep working.
const std::string& scratch_dir();

// The path of name inside the scratch directory.
std::string scratch(const char* name);

// Makes the scratch directory current for its lifetime (the conversion
// reads jis_uni.txt from the current directory), then goes back.
struct in_scratch {
  int back;
  in_scratch();
  ~in_scratch();
};

// Points standard output at /dev/null, once: the readers log every file
// name and undefined code, which would drown libFuzzer's own report.
void silence_stdout();

// Writes size bytes to the file path; aborts on failure, so
// that a target never runs on a file it did not write.
void put_file(const std::string& path, const uint8_t* data, size_t size);

// Cuts data at each kSplit into at most max_parts pieces; the last piece
// keeps any further separators.
std::vector<std::string_view> split_input(const uint8_t* data, size_t size, size_t max_parts);

// A glyph source ready for readpxg: a transfer table with undefined cells,
// and several codes sharing one Unicode value, so that both paths run.
// Allocated once; reset() clears what a previous input left.
glyphsrc& fuzz_src();
void reset_src(glyphsrc& src);

// Runs readpxg over the named files and aborts if the strikes break an
// invariant the table builders rely on. (The glyph list, a scan of every
// strike's whole map, is left to the conversion target: here it would take
// most of the time.)
void read_and_check(const std::vector<std::string>& files);

// Aborts with a message on stderr: libFuzzer records the input as a crash.
[[noreturn]] void fail(const char* what);
