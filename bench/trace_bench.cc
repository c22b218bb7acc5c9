// SPDX-License-Identifier: MIT
// Tracing speed: glyphs per second through bmp2glf (tracer and encoder), on
// the 16-pixel bitmaps of the example font when it is there, otherwise on
// generated stroke bitmaps of the same size; plus generated bitmaps of every
// side from 8 to 255, to show how the cost grows with the bitmap (pixels/s
// stays level when the cost is proportional to the pixels).
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "base/quit.h"
#include "pxg/pxg.h"
#include "base/bewriter.h"
#include "trace/trace.h"

namespace {

struct bitmaps {
  unsigned n = 16;
  std::vector<std::vector<uint8_t>> bits;
  std::string from;
};

// Kanji-like bitmaps: a few horizontal and vertical strokes, one or two
// pixels wide, and some diagonal runs.
bitmaps generated(unsigned n, size_t count) {
  bitmaps b;
  b.n = n;
  b.from = "generated";
  std::mt19937 rng(n * 7919u);
  std::uniform_int_distribution<unsigned> pos(0, n - 1), strokes(3, 7);
  for (size_t g = 0; g < count; ++g) {
    std::vector<uint8_t> v(bitmap_bytes(n));
    auto set = [&](unsigned r, unsigned c) {
      if (r < n && c < n) v[(r * n + c) / 8] |= uint8_t(0x80 >> ((r * n + c) % 8));
    };
    for (unsigned s = strokes(rng); s > 0; --s) {
      const unsigned kind = rng() % 4, a = pos(rng), b0 = pos(rng), b1 = pos(rng), w = 1 + n / 12;
      for (unsigned t = std::min(b0, b1); t <= std::max(b0, b1); ++t)
        for (unsigned k = 0; k < w; ++k) {
          if (kind == 0) set(a + k, t);             // horizontal
          if (kind == 1) set(t, a + k);             // vertical
          if (kind == 2) set(t, t - b0 + a + k);    // falling diagonal
          if (kind == 3) set(t, a + b0 - t + k);    // rising diagonal
        }
    }
    b.bits.push_back(std::move(v));
  }
  return b;
}

// The 16-pixel strike of example/*.pxg, read with the converter's own
// reader. Every JIS code is given a Unicode value so that no code is
// refused; only the bitmaps matter here.
bitmaps example16() {
  namespace fs = std::filesystem;
  std::vector<std::string> paths;
  const fs::path dir = fs::path(KILN_SOURCE_DIR) / "example";
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(dir, ec))
    if (e.path().extension() == ".pxg") paths.push_back(e.path().string());
  std::sort(paths.begin(), paths.end());
  if (paths.empty()) return {};

  auto src = std::make_unique<glyphsrc>();
  for (int i = 0; i < kJisCells; ++i) src->m2u[size_t(i)] = uint16_t(0x4E00 + i);
  for (auto& u : src->uni2bno) u.fill(kNoBitmap);
  src->store = std::make_unique<uint8_t[]>(kStoreBytes);
  std::vector<const char*> argv;
  for (const std::string& p : paths) argv.push_back(p.c_str());
  // The reader logs every file name; keep that out of the benchmark report.
  std::fflush(stdout);
  const int saved = dup(1), devnull = open("/dev/null", O_WRONLY);
  if (devnull >= 0) dup2(devnull, 1);
  try {
    src->nstrikes = readpxg(int32_t(argv.size()), argv.data(), *src);
  } catch (const quit_signal&) {
    src->nstrikes = 0;
  }
  std::fflush(stdout);
  if (saved >= 0) dup2(saved, 1);
  if (saved >= 0) close(saved);
  if (devnull >= 0) close(devnull);
  bitmaps b;
  for (int s = 0; s < src->nstrikes; ++s) {
    if (src->pt[s] != 16) continue;
    b.from = "example";
    for (unsigned k = 0; k < src->bchrs[s]; ++k) {
      const uint8_t* p = src->bitmap(s, k);
      b.bits.emplace_back(p, p + bitmap_bytes(16));
    }
  }
  return b;
}

void trace_all(benchmark::State& state, const bitmaps& b, bool finished = false) {
  if (b.bits.empty()) {
    state.SkipWithError("no bitmaps");
    return;
  }
  tracer tr;
  tr.glyf.finished = finished;
  bewriter w;
  w.reserve(size_t(16) << 20);
  for (auto _ : state) {
    w.clear();
    for (const auto& v : b.bits) bmp2glf(tr, uint8_t(b.n), uint8_t(b.n), v.data(), w);
    benchmark::DoNotOptimize(w.b.data());
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(b.bits.size()));
  state.counters["glyphs/s"] =
      benchmark::Counter(double(b.bits.size()), benchmark::Counter::kIsIterationInvariantRate);
  state.counters["pixels/s"] = benchmark::Counter(double(b.bits.size()) * b.n * b.n,
                                                 benchmark::Counter::kIsIterationInvariantRate);
  state.counters["bytes/glyph"] = double(w.size()) / double(b.bits.size());
  state.SetLabel(b.from + ", " + std::to_string(b.bits.size()) + " glyphs");
}

void BM_Trace16(benchmark::State& state) {
  static const bitmaps b = [] {
    bitmaps e = example16();
    return e.bits.empty() ? generated(16, 7000) : e;
  }();
  trace_all(state, b);
}
BENCHMARK(BM_Trace16)->Unit(benchmark::kMillisecond);

// The same glyphs traced in their finished form (box, folded flags), as
// bdf2ttf traces them.
void BM_Trace16Finished(benchmark::State& state) {
  static const bitmaps b = [] {
    bitmaps e = example16();
    return e.bits.empty() ? generated(16, 7000) : e;
  }();
  trace_all(state, b, true);
}
BENCHMARK(BM_Trace16Finished)->Unit(benchmark::kMillisecond);

void BM_TraceSide(benchmark::State& state) {
  const bitmaps b = generated(unsigned(state.range(0)), 500);
  trace_all(state, b);
}
BENCHMARK(BM_TraceSide)
    ->Arg(8)->Arg(12)->Arg(16)->Arg(24)->Arg(32)->Arg(48)->Arg(62)->Arg(64)->Arg(96)->Arg(128)->Arg(192)->Arg(255)
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
