// SPDX-License-Identifier: MIT
// The info-file: 35 lines that name the output and give the weight, the
// vendor id and the name strings.
#include <cstdio>
#include <cstring>
#include <memory>

#include "base/input.h"
#include "base/quit.h"
#include "core/convert.h"

namespace {

constexpr int kLineRead = 255;  // one read takes at most 254 characters and the NUL

// Closes the file when the run ends early, so a refused run leaves no open
// handle behind.
struct file_closer {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using file_ptr = std::unique_ptr<std::FILE, file_closer>;

// Reads the next line piece into buf, or ends the run if the file is done.
void info_line(std::FILE* f, char* buf) {
  if (!std::fgets(buf, kLineRead, f))
    quit(std::ferror(f) ? "cannot open info-file" : "info-file has fewer than 35 lines");
}

}  // namespace

void read_info(const char* path, runinfo& info) {
  file_ptr f(open_input(path, "r"));
  if (!f) quit("cannot open info-file");
  char line[256];

  // Line 1: the first word names the output file.
  info_line(f.get(), line);
  const char* w = line;
  while (*w == ' ' || (*w >= '\t' && *w <= '\r')) ++w;
  size_t wl = 0;
  while (w[wl] && !(w[wl] == ' ' || (w[wl] >= '\t' && w[wl] <= '\r'))) ++wl;
  if (wl == 0) quit("no output name in info-file");
  if (wl > 251) quit("output name too long");
  std::memcpy(info.outname, w, wl);
  std::memcpy(info.outname + wl, ".ttf", 5);
  say(info, "output= [%s]\n", info.outname);

  // Line 2: the weight class, in hundreds.
  info_line(f.get(), line);
  if (std::sscanf(line, "%d", &info.weight) != 1) quit("weight is not a number");

  // Line 3: the vendor id, four characters exactly as they stand. The log
  // shows them last to first.
  info_line(f.get(), line);
  if (std::strcspn(line, "\n") < 4) quit("vendor id shorter than 4 characters");
  std::memcpy(info.vendid, line, 4);
  say(info, "vendid=%c%c%c%c\n", line[3], line[2], line[1], line[0]);
  // The log goes out stage by stage, here and after each later stage's
  // line: a run killed part way leaves the lines of the stages it got
  // through. Lines within a stage (a flood of undefined codes) stay
  // buffered, as a line-buffered log would cost a write for each.
  flushlog(info);

  // Lines 4 to 35: the name strings. The last byte of each is dropped,
  // which removes the newline of a complete line.
  for (auto& slot : info.namestr) {
    info_line(f.get(), slot);
    size_t n = std::strlen(slot);
    if (n) slot[n - 1] = '\0';
  }
}
