// glyf holds one traced outline per glyph; loca gives where each one starts
// (long format: 32-bit offsets, not halved).
#include <sched.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <memory>
#include <new>
#include <system_error>
#include <thread>

#include "driver/quit.h"
#include "tables/tables.h"
#include "trace/trace.h"

namespace {

// The glyph descriptions stream out through the writer: it spills to the
// font file whenever this much is buffered, so the buffer (and its pages)
// is reused from glyph to glyph instead of holding megabytes of glyf.
constexpr size_t kGlyfSpill = size_t(64) << 10;
// Room reserved before tracing: the spill size plus the largest glyph a
// 255-pixel bitmap can give, so that appending never reallocates.
constexpr size_t kGlyfReserve = kGlyfSpill + (size_t(1) << 20);

// Outlines do not depend on each other, so they are traced on every core,
// in chunks of consecutive glyphs of about this many pixels (sized from the
// largest strike), each into a buffer of its own; the chunks are written in
// glyph order. At most kMaxSlots chunks are traced ahead of the writing,
// which bounds the memory held in buffers. A chunk's buffer is reserved
// once for the bytes a chunk of typical glyphs takes (two bytes a pixel is
// ample), so that it does not move while it fills.
constexpr size_t kChunkPixels = size_t(32) << 10;
constexpr unsigned kMaxThreads = 8;
constexpr size_t kMaxSlots = 16;
constexpr size_t kChunkReserve = 2 * kChunkPixels;

// The strike to trace glyph code from: the first (largest) that holds a
// bitmap for it, whether or not that bitmap has ink; -1 when none does.
int strike_for(const glyphsrc& src, uint16_t code) {
  for (int s = 0; s < src.nstrikes && s < kMaxStrikes; ++s)
    if (src.uni2bno[size_t(s)][code] != kNoBitmap) return s;
  return -1;
}

// Cores this process may run on (its affinity, so "taskset -c 0" counts 1).
unsigned usable_cores() {
  cpu_set_t set;
  if (sched_getaffinity(0, sizeof set, &set) != 0) return 1;
  return unsigned(std::max(1, CPU_COUNT(&set)));
}

// Glyphs first..end-1 traced into out, one description after another.
struct chunk {
  size_t first = 0, end = 0;
  bewriter out;
  size_t failed = 0;  // the first glyph that could not be traced, or end
  const char* why = nullptr;
  bool done = false;  // traced, waiting to be written
};

}  // namespace

// The tracing of one glyf table, shared by its threads. The mutex guards
// next, written, stop and every slot's done flag; a slot's other fields
// belong to the thread that claimed it until it is done, then to the
// writer. Destroying it (also when the run ends early) stops and joins the
// worker threads, so that none outlives the table.
struct glyfwork {
  fontctx& ctx;
  size_t glyphs_per_chunk = 1, nchunks = 0;
  chunk slots[kMaxSlots];
  size_t nslots = 1;   // slots in use
  size_t next = 0;     // the next chunk to claim
  size_t written = 0;  // chunks written so far; chunk c uses slot c % nslots
  std::atomic<bool> stop{false};
  std::mutex m;
  std::condition_variable cv;
  std::vector<tracer> tracers;  // one for each worker thread
  std::vector<uint8_t> tail;    // scratch of write_chunk
  std::vector<std::thread> threads;

  explicit glyfwork(fontctx& c) : ctx(c) {}
  ~glyfwork() {
    {
      std::lock_guard<std::mutex> lk(m);
      stop = true;
    }
    cv.notify_all();
    for (std::thread& t : threads) t.join();
  }

  // Whether a chunk may be claimed now (called with m held).
  bool claimable() const { return next < nchunks && next < written + nslots; }

  // Traces chunk c into its slot with tracer tr. A glyph that cannot be
  // traced ends the chunk there and is recorded, for the writer to report
  // when it reaches it: only the main thread may end the run.
  void trace(size_t c, tracer& tr) {
    chunk& ch = slots[c % nslots];
    const glyphsrc& src = ctx.src;
    std::vector<GLYPH>& glyphs = ctx.src.glyphs;
    ch.first = 1 + c * glyphs_per_chunk;
    ch.end = std::min(glyphs.size(), ch.first + glyphs_per_chunk);
    ch.failed = ch.end;
    ch.out.clear();
    for (size_t i = ch.first; i < ch.end; ++i) {
      if (stop.load(std::memory_order_relaxed)) {
        ch.failed = i;  // abandoned: the run is ending
        break;
      }
      const int s = strike_for(src, glyphs[i].code);
      int32_t len = 0;
      try {
        if (s >= 0) len = traceglf(tr, src.pt[s], src.bitmap(s, src.uni2bno[size_t(s)][glyphs[i].code]), ch.out);
      } catch (const std::bad_alloc&) {
        ch.failed = i, ch.why = "cannot malloc";
        break;
      }
      if (len == kTooComplex) {
        ch.failed = i, ch.why = "glyph too complex";
        break;
      }
      glyphs[i].len = uint32_t(len);
    }
  }

  // A worker thread: claims and traces chunks until none is left.
  void work(tracer& tr) {
    std::unique_lock<std::mutex> lk(m);
    for (;;) {
      cv.wait(lk, [this] { return stop || next >= nchunks || claimable(); });
      if (stop || next >= nchunks) return;
      const size_t c = next++;
      lk.unlock();
      trace(c, tr);
      lk.lock();
      slots[c % nslots].done = true;
      cv.notify_all();
    }
  }
};

void glyfwork_end::operator()(glyfwork* gw) const { delete gw; }

namespace {

// Writes a traced chunk to w exactly as appending its glyphs one at a time
// would, spilling to the file whenever kGlyfSpill bytes are buffered after
// a glyph, and ends the run at a glyph that could not be traced or that
// makes the table too large. When the chunk gets through and the writer has
// a file, the bytes up to the chunk's last spill go to the file straight from
// the chunk's buffer (lent to the writer for the spill) instead of being
// copied through the writer; the rest is buffered as before, in tail's way.
void write_chunk(bewriter& w, uint64_t start, chunk& ch, const std::vector<GLYPH>& glyphs, std::vector<uint8_t>& tail) {
  bool whole = w.sink != nullptr && ch.failed == ch.end;
  size_t at = 0, cut = 0;  // bytes of the chunk, and where its last spill ends
  uint64_t buffered = w.b.size();
  for (size_t i = ch.first; whole && i < ch.end; ++i) {
    at += glyphs[i].len;
    buffered += glyphs[i].len;
    if (w.size() + at - start > 0xFFFFFFFFu) whole = false;
    if (buffered >= kGlyfSpill) cut = at, buffered = 0;
  }
  if (!whole) {
    size_t from = 0;
    for (size_t i = ch.first; i < ch.end; ++i) {
      if (i == ch.failed) quit(ch.why);
      w.bytes(ch.out.b.data() + from, glyphs[i].len);
      from += glyphs[i].len;
      if (w.size() - start > 0xFFFFFFFFu) quit("glyf table too large");
      if (w.b.size() >= kGlyfSpill) w.spill();
    }
    return;
  }
  if (cut == 0) {
    w.bytes(ch.out.b.data(), at);
    return;
  }
  tail.assign(ch.out.b.begin() + std::ptrdiff_t(cut), ch.out.b.begin() + std::ptrdiff_t(at));
  w.spill();  // what was buffered before this chunk
  ch.out.b.resize(cut);
  std::swap(w.b, ch.out.b);
  w.spill();  // the chunk up to its last spill, from its own buffer
  std::swap(w.b, ch.out.b);
  w.bytes(tail.data(), tail.size());
}

}  // namespace

void start_glyf(fontctx& ctx) {
  std::unique_ptr<glyfwork, glyfwork_end> gw(new glyfwork(ctx));
  const std::vector<GLYPH>& glyphs = ctx.src.glyphs;
  const size_t largest = ctx.src.nstrikes > 0 ? ctx.src.pt[0] : 1;
  gw->glyphs_per_chunk = std::max<size_t>(1, kChunkPixels / (largest * largest));
  gw->nchunks = glyphs.size() > 1 ? (glyphs.size() - 1 + gw->glyphs_per_chunk - 1) / gw->glyphs_per_chunk : 0;
  const unsigned threads = unsigned(std::min<size_t>({usable_cores(), kMaxThreads, gw->nchunks}));
  // Room to trace ahead while the tables before glyf are built: a few
  // chunks a thread (one is enough when only the main thread traces).
  gw->nslots = threads > 1 ? std::min<size_t>(kMaxSlots, 4 * threads) : 1;
  for (size_t k = 0; k < gw->nslots; ++k) gw->slots[k].out.reserve(kChunkReserve);
  gw->tracers.resize(threads > 1 ? threads - 1 : 0);
  for (tracer& tr : gw->tracers) {
    try {
      gw->threads.emplace_back([g = gw.get(), &tr] { g->work(tr); });
    } catch (const std::system_error&) {
      break;  // fewer threads: the main thread traces what is left
    }
  }
  ctx.glyf = std::move(gw);
}

void build_glyf(fontctx& ctx, bewriter& w) {
  const uint64_t start = w.size();
  try {
    w.reserve(start + kGlyfReserve);
    if (!ctx.glyf) start_glyf(ctx);
  } catch (const std::bad_alloc&) {
    quit("cannot malloc");
  }
  std::printf("malloc ok\n");

  ctx.maxPoints = 1;
  ctx.maxContours = 1;
  std::vector<GLYPH>& glyphs = ctx.src.glyphs;
  // Glyph 0, the fallback glyph, never has an outline.
  if (!glyphs.empty()) glyphs[0].len = 0;

  // The main thread writes the chunks in glyph order as they are done, and
  // traces one itself whenever the next to write is not ready yet; with
  // one core, or one chunk, it traces them all.
  glyfwork& gw = *ctx.glyf;
  std::unique_lock<std::mutex> lk(gw.m);
  while (gw.written < gw.nchunks) {
    chunk& ch = gw.slots[gw.written % gw.nslots];
    if (ch.done) {
      lk.unlock();
      write_chunk(w, start, ch, glyphs, gw.tail);
      lk.lock();
      ch.done = false;
      ++gw.written;
      gw.cv.notify_all();
    } else if (gw.claimable()) {
      const size_t c = gw.next++;
      lk.unlock();
      gw.trace(c, ctx.tr);
      lk.lock();
      gw.slots[c % gw.nslots].done = true;
    } else {
      gw.cv.wait(lk);
    }
  }
  lk.unlock();
  // The maxima over every glyph, whichever thread traced it.
  auto take = [&ctx](const tracer& tr) {
    ctx.maxPoints = std::max(ctx.maxPoints, tr.glyf.maxPoints);
    ctx.maxContours = std::max(ctx.maxContours, tr.glyf.maxContours);
  };
  if (gw.nchunks > 0) {
    take(ctx.tr);
    for (const tracer& tr : gw.tracers) take(tr);
  }
  ctx.glyf.reset();
  std::printf("glyf size=%08lx\n", static_cast<unsigned long>(w.size() - start));
}

void build_loca(fontctx& ctx, bewriter& w) {
  const std::vector<GLYPH>& glyphs = ctx.src.glyphs;
  w.reserve(w.size() + 4 * (glyphs.size() + 1));
  uint32_t offset = 0;
  for (const GLYPH& g : glyphs) {
    w.u32(offset);  // offset of this glyph in glyf
    offset += g.len;
  }
  w.u32(offset);  // end of the last glyph: the length of glyf
}
