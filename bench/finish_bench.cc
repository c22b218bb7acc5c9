// SPDX-License-Identifier: MIT
// Finishing speed: the example font (6,879 glyphs, 1.18 million points,
// three strikes), made in memory once, then finished again and again; also
// the whole conversion to memory, to show the share the finishing takes.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/quit.h"
#include "core/convert.h"
#include "finish/finish.h"
#include "pxg/pxg.h"

namespace {

const std::string kExample = std::string(KILN_SOURCE_DIR) + "/example/";

// The example font, converted in memory (quietly).
std::vector<uint8_t> example_font() {
  auto info = std::make_unique<runinfo>();
  info->log = nullptr;
  read_info((kExample + "example.info").c_str(), *info);
  std::unique_ptr<glyphsrc> src(new glyphsrc);
  setxfertbl((kExample + "jis_uni.txt").c_str(), src->m2u);
  src->store.reset(new uint8_t[kStoreBytes]);
  const std::string files[3] = {kExample + "gothic12.pxg", kExample + "gothic14.pxg", kExample + "gothic16.pxg"};
  const char* names[3] = {files[0].c_str(), files[1].c_str(), files[2].c_str()};
  src->nstrikes = readpxg(3, names, *src);
  std::vector<uint8_t> font;
  convert_to_memory(*info, *src, font);
  return font;
}

void BM_finish(benchmark::State& state) {
  const std::vector<uint8_t> font = example_font();
  std::vector<uint8_t> out;
  std::string err;
  for (auto _ : state) {
    if (!finish_font(font.data(), font.size(), out, finish_opts{}, err)) state.SkipWithError(err.c_str());
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(font.size()));
}
BENCHMARK(BM_finish)->Unit(benchmark::kMillisecond);

void BM_convert(benchmark::State& state) {
  for (auto _ : state) {
    std::vector<uint8_t> font = example_font();
    benchmark::DoNotOptimize(font.data());
  }
}
BENCHMARK(BM_convert)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
