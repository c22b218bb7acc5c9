// SPDX-License-Identifier: MIT
// The command's run: command line, info-file, JIS table and pxg files fill
// the glyph source, and the conversion core makes the font from it.
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <stdexcept>

#include "base/quit.h"
#include "core/convert.h"
#include "pxg/pxg.h"

namespace {

constexpr const char* kUsage = "kilnfont  ver.0.00\nusage:\tkilnfont info-file pxg(pxgb)...";

void run(int argc, const char* const* argv) {
  auto info = std::make_unique<runinfo>();

  // Command line: options first, then the info-file, then the pxg files.
  if (argc < 3) quit(kUsage);
  int i = 1;
  for (; i < argc && argv[i][0] == '-'; ++i)
    if (std::strcmp(argv[i], "-n") == 0) info->withbmp = false;
  if (i >= argc) quit(kUsage);
  const char* infofile = argv[i];
  const char* const* files = argv + i + 1;
  const int32_t nfiles = argc - i - 1;

  read_info(infofile, *info);

  // Not value-initialised: uni2bno is filled strike by strike as the reader
  // creates them, so the maps of unused strikes are never touched.
  std::unique_ptr<glyphsrc> src(new glyphsrc);
  std::printf("%d chrs(xfer-table)\n", int(setxfertbl("jis_uni.txt", src->m2u)));
  std::fflush(stdout);

  for (auto& b : src->bchrs) b = 0;
  // Left uninitialised on purpose: the reader fills what it uses, and an
  // untouched slot costs no memory.
  src->store.reset(new uint8_t[kStoreBytes]);
  src->nstrikes = readpxg(nfiles, files, *src);
  std::printf("%d bitmap-tables\n", int(src->nstrikes));
  std::fflush(stdout);

  convert(*info, *src);
}

}  // namespace

int kilnfont_main(int argc, const char* const* argv) {
  try {
    try {
      run(argc, argv);
    } catch (const std::bad_alloc&) {
      quit("cannot malloc");
    } catch (const std::length_error&) {
      quit("cannot malloc");
    }
  } catch (const quit_signal& q) {
    if (q.ok)
      std::printf("complete\n");
    else
      std::printf("error : %s\n", q.message);
  }
  std::fflush(stdout);
  return 0;
}
