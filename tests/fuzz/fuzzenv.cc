#include "fuzzenv.h"

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <memory>

#include "driver/quit.h"
#include "source/source.h"

namespace fs = std::filesystem;

namespace {

std::string made_dir;

void remove_scratch() {
  std::error_code ec;
  fs::remove_all(made_dir, ec);
}

}  // namespace

void fail(const char* what) {
  std::fprintf(stderr, "fuzz check failed: %s\n", what);
  std::abort();
}

const std::string& scratch_dir() {
  if (made_dir.empty()) {
    // Memory-backed when the machine has it: every input is written to a
    // file, and a disk would make the file system the bottleneck.
    std::error_code ec;
    const fs::path base = fs::is_directory("/dev/shm", ec) && access("/dev/shm", W_OK) == 0
                              ? fs::path("/dev/shm")
                              : fs::temp_directory_path();
    std::string tmpl = (base / "kilnfuzz-XXXXXX").string();
    if (!mkdtemp(tmpl.data())) fail("mkdtemp");
    made_dir = tmpl;
    std::atexit(remove_scratch);
  }
  return made_dir;
}

std::string scratch(const char* name) { return scratch_dir() + "/" + name; }

in_scratch::in_scratch() : back(open(".", O_RDONLY | O_DIRECTORY)) {
  if (back < 0 || chdir(scratch_dir().c_str()) != 0) fail("cannot enter the scratch directory");
}

in_scratch::~in_scratch() {
  if (fchdir(back) != 0) fail("cannot leave the scratch directory");
  close(back);
}

void silence_stdout() {
  static bool done = false;
  if (done) return;
  done = true;
  std::fflush(stdout);
  const int fd = open("/dev/null", O_WRONLY);
  if (fd < 0 || dup2(fd, 1) < 0) fail("cannot silence stdout");
  close(fd);
}

void put_file(const std::string& path, const uint8_t* data, size_t size) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) fail("cannot create an input file");
  const bool ok = size == 0 || std::fwrite(data, 1, size, f) == size;
  if (std::fclose(f) != 0 || !ok) fail("cannot write an input file");
}

std::vector<std::string_view> split_input(const uint8_t* data, size_t size, size_t max_parts) {
  std::string_view rest(reinterpret_cast<const char*>(data), size);
  std::vector<std::string_view> parts;
  while (parts.size() + 1 < max_parts) {
    const size_t at = rest.find(kSplit);
    if (at == std::string_view::npos) break;
    parts.push_back(rest.substr(0, at));
    rest.remove_prefix(at + kSplit.size());
  }
  parts.push_back(rest);
  return parts;
}

glyphsrc& fuzz_src() {
  static std::unique_ptr<glyphsrc> src = [] {
    auto s = std::make_unique<glyphsrc>();
    for (int k = 0; k < kJisCells; ++k) {
      // Every 500th cell is undefined; the last 100 cells share their
      // Unicode values with the first 100.
      uint16_t u = uint16_t(0x3000 + k);
      if (k % 500 == 499) u = 0;
      if (k >= kJisCells - 100) u = uint16_t(0x3000 + (k - (kJisCells - 100)));
      s->m2u[size_t(k)] = u;
    }
    s->store.reset(new uint8_t[kStoreBytes]);
    return s;
  }();
  return *src;
}

void reset_src(glyphsrc& src) {
  for (auto& b : src.bchrs) b = 0;
  src.nstrikes = 0;
  src.glyphs.clear();
}

void read_and_check(const std::vector<std::string>& files) {
  glyphsrc& src = fuzz_src();
  reset_src(src);
  std::vector<const char*> argv;
  for (const auto& f : files) argv.push_back(f.c_str());
  try {
    src.nstrikes = readpxg(int32_t(argv.size()), argv.data(), src);
  } catch (const quit_signal&) {
    return;  // a refusal is a fine answer to a broken file
  }

  // What the table builders rely on: strikes largest first and distinct,
  // bitmap numbers below 0x8000 and inside the slot, map entries naming
  // numbered bitmaps only.
  if (src.nstrikes > kMaxStrikes) fail("more than six strikes");
  for (int s = 0; s < src.nstrikes; ++s) {
    if (src.pt[s] == 0) fail("strike of pixel size 0");
    if (s > 0 && src.pt[s - 1] <= src.pt[s]) fail("strikes not largest first");
    if (src.bchrs[s] >= 0x8000) fail("0x8000 bitmaps in a strike");
    if (size_t(src.bchrs[s]) * bitmap_bytes(src.pt[s]) > kSlotBytes) fail("strike outgrows its slot");
    if (src.uni2bno[size_t(s)][0] != kNoBitmap) fail("Unicode 0 has a bitmap");
    for (uint16_t k : src.uni2bno[size_t(s)])
      if (k != kNoBitmap && k >= src.bchrs[s]) fail("map names an unnumbered bitmap");
  }
}
