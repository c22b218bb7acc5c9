// SPDX-License-Identifier: MIT
// kilnfinish IN OUT: finishes a font of kilnfont's layout (see
// finish/finish.h). OUT is written as kilnfont writes its font, so it is
// never left partial; a failure leaves OUT as it was. Messages go to
// standard error, exit status 1.
//
// kilnfinish --web IN DIR: writes DIR/BASE-S.woff2 for each strike of S
// pixels, a font whose outlines are that strike's pixels (see web/web.h),
// and DIR/index.html, a specimen page that loads them. BASE is IN's file
// name without ".ttf". DIR is made if missing.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "base/heap.h"
#include "base/outfile.h"
#include "base/threads.h"
#include "finish/finish.h"
#include "kiln_version.h"
#include "web/web.h"

namespace {

int fail(const std::string& what) {
  std::fprintf(stderr, "kilnfinish: %s\n", what.c_str());
  return 1;
}

int web(const char* inname, const char* dir, const finish_opts& opts, const std::vector<uint8_t>& in) {
  std::string err;
  const bool done = write_web_fonts(inname, in.data(), in.size(), opts, dir, web_base(inname), err);
  stop_workers();
  return done ? 0 : fail(err);
}

constexpr const char* kUsage = "usage: kilnfinish IN.ttf OUT.ttf\n       kilnfinish --web IN.ttf DIR\n";

int run(int argc, char** argv) {
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    std::printf("kilnfinish %s\n", KILN_VERSION);
    return 0;
  }
  if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  const bool webfonts = argc == 4 && std::strcmp(argv[1], "--web") == 0;
  if (argc != 3 && !webfonts) {
    std::fputs(kUsage, stderr);
    return 1;
  }
  const char* inname = argv[webfonts ? 2 : 1];
  const char* outname = argv[webfonts ? 3 : 2];

  std::vector<uint8_t> in;
  struct stat ist {};
  if (!read_font_file(inname, in, ist)) return fail(std::string("cannot read ") + inname);
  // OUT may replace IN only when it is named by the same path.
  struct stat ost {};
  if (!webfonts && std::strcmp(inname, outname) != 0 && stat(outname, &ost) == 0 && ost.st_dev == ist.st_dev &&
      ost.st_ino == ist.st_ino)
    return fail(std::string(outname) + " is the input under another name");

  finish_opts opts;
  const int64_t epoch = source_date_epoch();
  if (epoch == -2) return fail("SOURCE_DATE_EPOCH is not a number of seconds");
  opts.stamp = epoch >= 0 ? epoch : int64_t(ist.st_mtime);
  opts.restamp = epoch >= 0;

  if (webfonts) return web(inname, outname, opts, in);
  std::vector<uint8_t> out;
  std::string err;
  const bool finished = finish_font(in.data(), in.size(), out, opts, err);
  stop_workers();  // no more work for them: let go while the font is written
  if (!finished) return fail(std::string(inname) + ": " + err);
  std::string why;
  if (!write_font_file(outname, out, why)) return fail(why);
  return 0;
}

}  // namespace

// The heap set up before the C++ runtime allocates its first blocks.
__attribute__((constructor(101))) static void heap_first() { tune_heap(); }

int main(int argc, char** argv) {
  guard_process();
  start_workers();  // up by the time the glyphs are shared out
  try {
    return run(argc, argv);
  } catch (const std::bad_alloc&) {
    return fail("out of memory");
  }
}
