// SPDX-License-Identifier: MIT
// Fuzz target: the pxg reader on one to three files, cut from the input at
// "@@KILN@@", with the strike invariants the table builders rely on checked
// after a clean read.
#include <memory>

#include "fuzz.h"
#include "pxg/pxg.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static std::unique_ptr<glyphsrc> src = [] {
    auto s = std::make_unique<glyphsrc>();
    // Every 500th cell undefined; the last 100 share their Unicode values
    // with the first 100.
    for (int k = 0; k < kJisCells; ++k)
      s->m2u[size_t(k)] = k % 500 == 499 ? 0 : uint16_t(0x3000 + (k >= kJisCells - 100 ? k - kJisCells + 100 : k));
    s->store.reset(new uint8_t[kStoreBytes]);
    return s;
  }();
  std::vector<std::string> paths;
  std::vector<const char*> argv;
  const char* names[] = {"a.pxg", "b.pxg", "c.pxg"};
  for (std::string_view part : split_input(data, size, 3)) paths.push_back(put_file(names[paths.size()], part));
  for (const auto& p : paths) argv.push_back(p.c_str());
  for (auto& b : src->bchrs) b = 0;
  if (!quietly([&] { src->nstrikes = readpxg(int32_t(argv.size()), argv.data(), *src); })) return 0;
  for (int s = 0; s < src->nstrikes; ++s) {
    if (src->pt[s] == 0 || (s > 0 && src->pt[s - 1] <= src->pt[s])) fail("strikes not distinct and largest first");
    if (src->bchrs[s] >= 0x8000 || size_t(src->bchrs[s]) * bitmap_bytes(src->pt[s]) > kSlotBytes)
      fail("strike outgrows its numbers or its slot");
    if (src->uni2bno[size_t(s)][0] != kNoBitmap) fail("Unicode 0 has a bitmap");
    for (uint16_t k : src->uni2bno[size_t(s)])
      if (k != kNoBitmap && k >= src->bchrs[s]) fail("map names an unnumbered bitmap");
  }
  return src->nstrikes > kMaxStrikes;
}
