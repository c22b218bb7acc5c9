// SPDX-License-Identifier: MIT
// glyf holds one traced outline per glyph; loca gives where each one starts
// (long format: 32-bit offsets, not halved).
#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <memory>
#include <new>

#include "base/quit.h"
#include "base/threads.h"
#include "tables/tables.h"
#include "trace/trace.h"

namespace {

// Glyphs appended one at a time (those before a glyph that ends the run)
// spill to the font file whenever this much is buffered, so the buffer (and
// its pages) is reused instead of holding megabytes of glyf.
constexpr size_t kGlyfSpill = size_t(64) << 10;
// Room reserved before tracing: the spill size plus the largest glyph a
// 255-pixel bitmap can give, so that appending never reallocates.
constexpr size_t kGlyfReserve = kGlyfSpill + (size_t(1) << 20);

// Outlines do not depend on each other, so they are traced on every core,
// in chunks of consecutive glyphs of about this many pixels (sized from the
// largest strike), each into a buffer of its own; the chunks are written in
// glyph order. At most kMaxSlots chunks are traced ahead of the writing,
// which bounds the memory held in buffers. A chunk's buffer is reserved
// once for the bytes a chunk of typical glyphs takes (four bytes a pixel;
// 16-pixel kanji take about two), so that it does not move while it fills.
constexpr size_t kChunkPixels = size_t(32) << 10;
constexpr unsigned kMaxThreads = 8;
constexpr size_t kMaxSlots = 64;
constexpr size_t kChunkReserve = 4 * kChunkPixels;

// The strike to trace glyph code from: the first (largest) that holds a
// bitmap for it, whether or not that bitmap has ink; -1 when none does.
int strike_for(const glyphsrc& src, uint16_t code) {
  for (int s = 0; s < src.nstrikes && s < kMaxStrikes; ++s)
    if (src.uni2bno[size_t(s)][code] != kNoBitmap) return s;
  return -1;
}

// The outline of code from strike s, appended to out: the bytes traced
// ahead for its bitmap when there are some (the maxima brought up to date
// as tracing would), else traced now. Returns as traceglf does.
int32_t outline(const glyphsrc& src, tracer& tr, int s, uint16_t code, bewriter& out) {
  const uint16_t bno = src.uni2bno[size_t(s)][code];
  const std::vector<glyphsrc::ahead>& ahead = src.traced_ahead[size_t(s)];
  if (bno >= ahead.size() || ahead[bno].len == 0) return traceglf(tr, src.pt[s], src.bitmap(s, bno), out);
  const glyphsrc::ahead& a = ahead[bno];
  out.bytes(src.ahead_bytes.data() + a.at, a.len);
  tr.glyf.maxPoints = std::max(tr.glyf.maxPoints, a.points);
  tr.glyf.maxContours = std::max(tr.glyf.maxContours, a.contours);
  return int32_t(a.len);
}

// Glyphs first..end-1 traced into out, one description after another, and
// the length of each.
struct chunk {
  size_t index = 0;  // which chunk
  size_t first = 0, end = 0;
  bewriter out;
  std::vector<uint32_t> lens;
  uint32_t sum = 0;   // sumB32 of out, taken while it is still in the cache
  size_t failed = 0;  // the first glyph that could not be traced, or end
  const char* why = nullptr;
  bool busy = false;               // a thread is tracing into it
  std::atomic<bool> done{false};   // traced, waiting to be written
  bool taken = false;              // written from the main thread's own copy meanwhile
};

}  // namespace

// The tracing of one glyf table, shared by its threads. The mutex guards
// next, written, stop and every slot's index, busy, done and taken; a slot's
// other fields belong to the thread that traces into it until it is done,
// then to the writer. Destroying it (also when the run ends early) stops the
// workers and waits for them, so that none outlives the table.
struct glyfwork {
  fontctx& ctx;
  size_t glyphs_per_chunk = 1, nchunks = 0;
  chunk slots[kMaxSlots];
  chunk own;           // the main thread's copy of the next chunk to write
  size_t nslots = 1;   // slots in use
  size_t next = 0;     // the next chunk to claim
  size_t written = 0;  // chunks written so far; chunk c uses slot c % nslots
  std::atomic<bool> stop{false};
  std::mutex m;
  std::condition_variable cv;
  std::vector<tracer> tracers;  // one for each worker thread
  taskgroup workers;

  explicit glyfwork(fontctx& c) : ctx(c) {}
  ~glyfwork() {
    {
      std::lock_guard<std::mutex> lk(m);
      stop = true;
    }
    cv.notify_all();
    workers.wait();
  }

  // Whether the next chunk may be claimed into its slot (called with m held).
  bool claimable() const { return next < nchunks && next < written + nslots && !slots[next % nslots].busy; }

  // Claims the next chunk into its slot (called with m held).
  chunk& claim() {
    chunk& ch = slots[next % nslots];
    ch.index = next++;
    ch.busy = true;
    return ch;
  }

  // Traces chunk c into ch with tracer tr. A glyph that cannot be traced
  // ends the chunk there and is recorded, for the writer to report when it
  // reaches it: only the main thread may end the run. Returns false, with
  // the chunk unfinished, when the run is ending or when other_done (the
  // slot of a copy traced by another thread) is set first.
  bool trace(size_t c, tracer& tr, chunk& ch, const std::atomic<bool>* other_done = nullptr) {
    const glyphsrc& src = ctx.src;
    const std::vector<GLYPH>& glyphs = ctx.src.glyphs;
    ch.first = 1 + c * glyphs_per_chunk;
    ch.end = std::min(glyphs.size(), ch.first + glyphs_per_chunk);
    ch.failed = ch.end;
    ch.why = nullptr;
    ch.out.clear();
    ch.lens.resize(ch.end - ch.first);
    for (size_t i = ch.first; i < ch.end; ++i) {
      if (stop.load(std::memory_order_relaxed) || (other_done && other_done->load(std::memory_order_acquire)))
        return false;
      const int s = strike_for(src, glyphs[i].code);
      int32_t len = 0;
      try {
        if (s >= 0) len = outline(src, tr, s, glyphs[i].code, ch.out);
      } catch (const std::bad_alloc&) {
        ch.failed = i, ch.why = "cannot malloc";
        break;
      }
      if (len == kTooComplex) {
        ch.failed = i, ch.why = "glyph too complex";
        break;
      }
      ch.lens[i - ch.first] = uint32_t(len);
    }
    ch.sum = sumB32(ch.out.b.data(), ch.out.b.size());
    return true;
  }

  // A worker thread: claims and traces chunks until none is left.
  void work(tracer& tr) {
    std::unique_lock<std::mutex> lk(m);
    for (;;) {
      cv.wait(lk, [this] { return stop || next >= nchunks || claimable(); });
      if (stop || next >= nchunks) return;
      chunk& ch = claim();
      lk.unlock();
      trace(ch.index, tr, ch);
      lk.lock();
      ch.busy = false;
      if (ch.taken)
        ch.taken = false;  // the main thread wrote its own copy: the slot is free again
      else
        ch.done = true;
      cv.notify_all();
    }
  }
};

void glyfwork_end::operator()(glyfwork* gw) const { delete gw; }

namespace {

// Writes a traced chunk to w: its glyphs' lengths to the glyph list, its
// bytes to the table. A glyph that could not be traced, or that makes the
// table too large, ends the run there. A chunk that gets through goes to the
// file straight from its own buffer, lent to the writer for the spill.
void write_chunk(bewriter& w, uint64_t start, chunk& ch, std::vector<GLYPH>& glyphs) {
  uint64_t bytes = 0;
  for (size_t i = ch.first; i < ch.end; ++i) bytes += ch.lens[i - ch.first];
  if (ch.failed != ch.end || w.size() + bytes - start > 0xFFFFFFFFu) {
    size_t from = 0;
    for (size_t i = ch.first; i < ch.end; ++i) {
      if (i == ch.failed) quit(ch.why);
      glyphs[i].len = ch.lens[i - ch.first];
      w.bytes(ch.out.b.data() + from, glyphs[i].len);
      from += glyphs[i].len;
      if (w.size() - start > 0xFFFFFFFFu) quit("glyf table too large");
      if (w.b.size() >= kGlyfSpill) w.spill();
    }
    return;
  }
  for (size_t i = ch.first; i < ch.end; ++i) glyphs[i].len = ch.lens[i - ch.first];
  w.spill();  // what was buffered before: whole words (glyphs are), so nothing stays
  if (!w.streams() || !w.b.empty()) {
    w.bytes(ch.out.b.data(), ch.out.b.size());
    return;
  }
  std::swap(w.b, ch.out.b);
  w.spill_summed(ch.sum);
  std::swap(w.b, ch.out.b);
}

}  // namespace

void start_glyf(fontctx& ctx) {
  std::unique_ptr<glyfwork, glyfwork_end> gw(new glyfwork(ctx));
  const std::vector<GLYPH>& glyphs = ctx.src.glyphs;
  const size_t largest = ctx.src.nstrikes > 0 ? ctx.src.pt[0] : 1;
  gw->glyphs_per_chunk = std::max<size_t>(1, kChunkPixels / (largest * largest));
  gw->nchunks = glyphs.size() > 1 ? (glyphs.size() - 1 + gw->glyphs_per_chunk - 1) / gw->glyphs_per_chunk : 0;
  const unsigned threads = unsigned(std::min<size_t>({usable_cores(), kMaxThreads, gw->nchunks}));
  // Room to trace ahead while the tables before glyf are built, which
  // takes a worker about a dozen chunks' time: 16 chunks a worker (the main
  // thread alone needs none: it writes each chunk as it traces it).
  gw->nslots = threads > 1 ? std::min<size_t>(kMaxSlots, 16 * (threads - 1)) : 1;
  for (size_t k = 0; k < gw->nslots; ++k) {
    gw->slots[k].out.reserve(kChunkReserve);
    gw->slots[k].lens.reserve(gw->glyphs_per_chunk);
  }
  gw->own.out.reserve(kChunkReserve);
  gw->own.lens.reserve(gw->glyphs_per_chunk);
  gw->tracers.resize(threads > 1 ? threads - 1 : 0);
  for (tracer& tr : gw->tracers) tr.glyf.finished = ctx.tr.glyf.finished;
  // Without an idle worker, the main thread traces what is left.
  for (tracer& tr : gw->tracers)
    if (!gw->workers.spawn([g = gw.get(), &tr] { g->work(tr); })) break;
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
  say(ctx.info, "malloc ok\n");

  ctx.maxPoints = 1;
  ctx.maxContours = 1;
  std::vector<GLYPH>& glyphs = ctx.src.glyphs;
  // Glyph 0, the fallback glyph, never has an outline.
  if (!glyphs.empty()) glyphs[0].len = 0;

  // The main thread writes the chunks in glyph order. The next one to
  // write it takes from its slot when it is done; traces itself, straight
  // to the file, when nobody has claimed it; when a worker is still on it,
  // traces a chunk further on if one is free, else traces a copy of it and
  // keeps whichever copy is done first, so that it never waits for a worker
  // that is slow to get a core. With one core it traces every chunk itself.
  glyfwork& gw = *ctx.glyf;
  std::unique_lock<std::mutex> lk(gw.m);
  while (gw.written < gw.nchunks) {
    const size_t c = gw.written;
    chunk& ch = gw.slots[c % gw.nslots];
    if (ch.done && ch.index == c) {
      lk.unlock();
      write_chunk(w, start, ch, glyphs);
      lk.lock();
      ch.done = false;
    } else if (gw.next == c) {
      ++gw.next;
      lk.unlock();
      gw.trace(c, ctx.tr, gw.own);
      write_chunk(w, start, gw.own, glyphs);
      lk.lock();
    } else if (gw.claimable()) {
      chunk& ahead = gw.claim();
      lk.unlock();
      gw.trace(ahead.index, ctx.tr, ahead);
      lk.lock();
      ahead.busy = false;
      ahead.done = true;
      continue;
    } else if (ch.busy && ch.index == c) {
      lk.unlock();
      const bool mine = gw.trace(c, ctx.tr, gw.own, &ch.done);
      lk.lock();
      if (!mine || ch.done) continue;  // the worker's copy was done first
      ch.taken = true;
      lk.unlock();
      write_chunk(w, start, gw.own, glyphs);
      lk.lock();
    } else {
      gw.cv.wait(lk);
      continue;
    }
    ++gw.written;
    gw.cv.notify_all();
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
  say(ctx.info, "glyf size=%08lx\n", static_cast<unsigned long>(w.size() - start));
  // A glyf table with no outline at all is refused by font readers.
  if (w.size() == start) quit("no outlines");
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
