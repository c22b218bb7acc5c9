// SPDX-License-Identifier: MIT
// The command bdf2ttf: one family's BDF or PCF fonts (one per size) become
// one TrueType font named from their properties, through the conversion
// core, which runs without its progress log.
#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <vector>

#include "base/quit.h"
#include "base/threads.h"
#include "bdf/bdf.h"
#include "core/convert.h"
#include "finish/finish.h"
#include "kiln_version.h"
#include "tables/tables.h"
#include "tables/textconv.h"
#include "trace/trace.h"
#include "web/web.h"

namespace {

constexpr const char* kUsage =
    "usage: bdf2ttf [-q] [-o FILE] [--family NAME] [--info FILE] [--map FILE] FONT...\n"
    "  FONT           BDF or PCF fonts, plain or gzip-compressed: one family and\n"
    "                 style, one strike per pixel size\n"
    "  -o FILE        the font to write (default: its PostScript name + .ttf)\n"
    "  --family NAME  the family name instead of FOUNDRY and FAMILY_NAME\n"
    "  --info FILE    weight, vendor id and all 32 name strings from an info-file\n"
    "  --map FILE     the JIS-to-Unicode table from FILE (jis_uni.txt format)\n"
    "  --web DIR      also a WOFF2 font per strike, its pixels as outlines, and\n"
    "                 a specimen page, in DIR (see kilnfinish --web)\n"
    "  -q             no report on standard output\n";

[[noreturn]] void fail(const std::string& msg) { throw fonterror(msg); }

struct options {
  std::string out, family, info, map, web;
  bool quiet = false;
  std::vector<std::string> fonts;
};

// One input, read, named and placed in its cell (see prepare).
struct input {
  fontin font;
  charset cs = charset::unknown;
  int plane = -1;
  fontnames names;
  cellrule cell;
  placed pl;
  std::exception_ptr error;        // what reading it threw
  std::exception_ptr place_error;  // what placing it threw
  // 0 while it is read, 1 read and waiting to be placed with the JIS table
  // made meanwhile, 2 placed (or being placed) with it, 3 not placed so.
  int state = 0;
  bool placed_done = false;  // placed with that table (state 2, and done)
};

// Places font i in its cell with the JIS table m2u, keeping what that
// throws for later. A cell out of range is left unplaced, to be reported.
void place_input(input& i, const uint16_t* m2u, const convtable& conv) {
  try {
    i.cell = cell_of(i.font, i.cs, 0);
    if (i.cell.S < 1 || i.cell.S > 255) return;
    i.pl = place(i.font, i.cs, i.plane, i.cell, m2u, conv.reason, true);
  } catch (...) {
    i.place_error = std::current_exception();
  }
}

// Reading the inputs, on this thread and one per other core. The jobs,
// taken in this order by whichever thread is free: the JIS table (a copy
// of the one built in, which every placing waits for), the reads, largest
// first, the name table's Shift-JIS converter (needed only later, and
// only for an info-file's names), tracing ahead, and last the placing
// jobs, which may wait.
//
// Each font read is placed in its cell as soon as the JIS table is made
// too: by the job that read it when the table is there by then (nearly
// always), else by a placing job, which takes the fonts as they become
// ready. That table is the one used unless a JIS X 0213 font is among the
// inputs, and then every font is placed again with the other (see
// prepare).
//
// Tracing ahead: while the last reads keep one core busy, another traces
// the outlines of the first font read (the largest file: most often the
// largest size, which the outlines come from) from its placed cells, in
// the finished form, until every read is done. The glyf table takes them
// instead of tracing those bitmaps again (see glyphsrc::traced_ahead).
struct reading {
  const options& opt;
  std::vector<input>& in;
  const std::vector<size_t>& order;  // the inputs, largest file first
  const bool want_jis;               // no --map: the table is the built-in one
  std::unique_ptr<textconv>& names;

  std::mutex m;  // guards every input's state and placed_done, jis_done and jis_error
  std::condition_variable cv;
  convtable jis;
  std::exception_ptr jis_error;
  bool jis_done = false;      // made, or failed
  std::atomic<size_t> reads_left;  // read jobs not ended (changed with m held, for cv)
  std::vector<glyphsrc::ahead> ahead;  // per placed cell of the first font read
  size_t ahead_count = 0;              // cells traced, from the first
  std::vector<uint8_t> ahead_bytes;

  enum class kind : uint8_t { table, read, names, ahead, place };
  struct job {
    kind what;
    size_t input = 0;
  };

  reading(const options& o, std::vector<input>& i, const std::vector<size_t>& ord,
          std::unique_ptr<textconv>& nm)
      : opt(o), in(i), order(ord), want_jis(o.map.empty()), names(nm), reads_left(i.size()) {}

  void run() {
    std::vector<job> jobs;
    if (want_jis) jobs.push_back({kind::table});
    for (size_t r : order) jobs.push_back({kind::read, r});
    if (!opt.info.empty()) jobs.push_back({kind::names});  // an info-file may name it in Japanese
    if (want_jis) jobs.push_back({kind::ahead});
    for (size_t k = 0; k < (want_jis ? in.size() : 0); ++k) jobs.push_back({kind::place});
    run_jobs(jobs.size(), [&](size_t j) {
      switch (jobs[j].what) {
        case kind::table: return make_table();
        case kind::read: return read(in[jobs[j].input], opt.fonts[jobs[j].input]);
        case kind::names: return open_names();
        case kind::ahead: return trace_ahead();
        case kind::place: return place_waiting();
      }
    });
  }

  void make_table() {
    std::exception_ptr e;
    try {
      jis = converter_map(false);
    } catch (...) {
      e = std::current_exception();
    }
    {
      std::lock_guard<std::mutex> lk(m);
      jis_error = e;
      jis_done = true;
    }
    cv.notify_all();
  }

  void open_names() {
    try {
      names = std::make_unique<textconv>();
    } catch (const std::bad_alloc&) {  // the conversion opens its own
    }
  }

  // Places font i with the table, and tells the other jobs.
  void place_now(input& i) {
    place_input(i, jis.m2u.data(), jis);
    {
      std::lock_guard<std::mutex> lk(m);
      i.placed_done = true;
    }
    cv.notify_all();
  }

  void read(input& i, const std::string& path) {
    try {
      i.font = read_font(path);
      i.cs = identify(i.font, i.plane);
      if (i.plane < 0)
        fail(i.font.path + ": CHARSET_REGISTRY \"" + i.font.registry + "\" CHARSET_ENCODING \"" + i.font.encoding +
             "\" is not JIS X 0208, 0212 or 0213");
      i.names = names_of(i.font, i.cs, opt.family);
    } catch (...) {
      i.error = std::current_exception();
    }
    bool mine = false;
    {
      std::lock_guard<std::mutex> lk(m);
      i.state = i.error || !want_jis || i.cs == charset::x0213 ? 3 : 1;
      if (i.state == 1 && jis_done && !jis_error) i.state = 2, mine = true;
    }
    cv.notify_all();
    if (mine) place_now(i);
    {
      std::lock_guard<std::mutex> lk(m);
      --reads_left;
    }
    cv.notify_all();
  }

  // Waits for a font to place while any may still come.
  void place_waiting() {
    std::unique_lock<std::mutex> lk(m);
    input* got = nullptr;
    cv.wait(lk, [&] {
      if (jis_done && !jis_error)
        for (input& i : in)
          if (i.state == 1) {
            i.state = 2;
            got = &i;
            return true;
          }
      return jis_done && (jis_error || std::none_of(in.begin(), in.end(), [](const input& i) { return i.state == 0; }));
    });
    lk.unlock();
    if (got) place_now(*got);
  }

  void trace_ahead() {
    input& f = in[order[0]];
    {
      std::unique_lock<std::mutex> lk(m);
      cv.wait(lk, [&] { return f.placed_done || f.state == 3 || reads_left == 0; });
      if (!f.placed_done || f.place_error || f.pl.size < 1) return;
    }
    const placed& p = f.pl;
    const size_t B = bitmap_bytes(unsigned(p.size));
    try {
      auto tr = std::make_unique<tracer>();
      tr->glyf.finished = true;
      bewriter out;
      ahead.resize(p.count);
      for (size_t b = 0; b < p.count && reads_left.load(std::memory_order_relaxed) > 0; ++b) {
        const size_t at = out.size();
        const int32_t len = traceglf(*tr, uint8_t(p.size), p.bits.data() + b * B, out);
        // No ink, or too complex: left to the glyf table, which says so.
        if (len > 0) ahead[b] = {uint32_t(at), uint32_t(len), uint16_t(tr->glyf.pointTotal), tr->glyf.numberOfContours};
        ahead_count = b + 1;
      }
      ahead_bytes = std::move(out.b);
    } catch (const std::bad_alloc&) {  // what is traced stays unused
      ahead_count = 0;
    }
  }
};

// The run up to the conversion: fills info and src. Returns the report
// lines, one per input.
std::vector<std::string> prepare(const options& opt, runinfo& info, glyphsrc& src,
                                 std::unique_ptr<textconv>& names) {
  // Failures are reported in the order of the inputs.
  const size_t n = opt.fonts.size();
  std::vector<input> in(n);
  std::vector<size_t> order(n);
  std::vector<off_t> bytes(n, 0);
  for (size_t k = 0; k < n; ++k) {
    order[k] = k;
    if (struct stat st {}; stat(opt.fonts[k].c_str(), &st) == 0) bytes[k] = st.st_size;
  }
  std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return bytes[a] > bytes[b]; });
  reading rd(opt, in, order, names);
  rd.run();
  for (const input& i : in)
    if (i.error) std::rethrow_exception(i.error);

  // One family and style: the sizes of one design.
  bool has0212 = false, has0213 = false;
  for (const input& i : in) {
    const fontnames& a = in[0].names;
    if (i.names.family != a.family || i.names.style != a.style)
      fail(i.font.path + ": \"" + i.names.family + "\" " + i.names.style + ", but " + in[0].font.path + " is \"" +
           a.family + "\" " + a.style + "; one font holds one family and style");
    has0212 |= i.cs == charset::x0212;
    has0213 |= i.cs == charset::x0213;
  }
  if (has0212 && has0213) fail("JIS X 0212 and JIS X 0213 fonts cannot share one font: both use plane 1");

  // The JIS table: the built-in one, or the given file.
  convtable conv;
  if (opt.map.empty() && !has0213) {  // the table made while reading
    if (rd.jis_error) std::rethrow_exception(rd.jis_error);
    conv = std::move(rd.jis);
  } else if (opt.map.empty()) {
    conv = converter_map(has0213);
  } else {
    conv = converter_map(has0213);  // for saying why a cell has no value
    conv.m2u = read_map(opt.map);
    for (const input& i : in) check_map(conv.m2u, opt.map, i.font.path, i.cs, i.plane);
  }
  std::copy(conv.m2u.begin(), conv.m2u.end(), src.m2u.begin());

  // Each font not placed yet with this table in its cell, on every core;
  // then the strikes, largest first, fonts of one size sharing a strike.
  // The cells are checked in the order of the inputs.
  const bool early = opt.map.empty() && !has0213;
  std::vector<input*> todo;
  for (input& i : in)
    if (!early || i.state != 2) todo.push_back(&i);
  run_jobs(todo.size(), [&](size_t k) {
    input& i = *todo[k];
    i.place_error = nullptr;
    i.pl = placed();
    place_input(i, conv.m2u.data(), conv);
  });
  std::vector<placed> fonts;
  for (input& i : in) {
    if (i.place_error) std::rethrow_exception(i.place_error);
    if (i.cell.S < 1 || i.cell.S > 255)
      fail(i.font.path + ": a cell of " + std::to_string(i.cell.S) + " pixels (" + i.font.metrics + ", DWIDTH " +
           std::to_string(i.cell.W) + "), not 1..255");
    fonts.push_back(std::move(i.pl));
    i.font = fontin();
  }
  std::vector<int> sizes;
  for (const placed& f : fonts)
    if (std::find(sizes.begin(), sizes.end(), f.size) == sizes.end()) sizes.push_back(f.size);
  std::sort(sizes.rbegin(), sizes.rend());
  if (sizes.size() > size_t(kMaxStrikes))
    fail(std::to_string(sizes.size()) + " pixel sizes; a font holds at most " + std::to_string(kMaxStrikes));

  // The strikes' slots packed one after another in a store of their size
  // (a fresh page costs more than the copy into it).
  src.nstrikes = uint8_t(sizes.size());
  size_t storebytes = 0;
  for (size_t s = 0; s < sizes.size(); ++s) {
    size_t count = 0;
    for (const placed& f : fonts) count += f.size == sizes[s] ? f.count : 0;
    src.slot_at[s] = storebytes;
    storebytes += std::min(count * bitmap_bytes(unsigned(sizes[s])), kSlotBytes);
  }
  src.store.reset(new uint8_t[std::max<size_t>(storebytes, 1)]);
  // The outlines traced ahead hold for the cells placed with the table
  // used: not when the fonts were placed again.
  const size_t ahead_count = early ? rd.ahead_count : 0;
  src.ahead_bytes = std::move(rd.ahead_bytes);
  std::string sizelist;
  for (size_t s = 0; s < sizes.size(); ++s) {
    src.pt[s] = uint8_t(sizes[s]);
    src.bchrs[s] = 0;
    src.uni2bno[s].fill(kNoBitmap);
    sizelist = std::to_string(sizes[s]) + (s ? " " : "") + sizelist;  // smallest first
    const size_t B = bitmap_bytes(unsigned(sizes[s]));
    for (size_t k = 0; k < fonts.size(); ++k) {
      const placed& f = fonts[k];
      if (f.size != sizes[s]) continue;
      const bool traced = k == order[0] && ahead_count > 0;
      if (traced) src.traced_ahead[s].resize(size_t(src.bchrs[s]) + f.count);
      // Numbered in code order, as a pxg file made of the font numbers them.
      for (size_t idx = 0; idx < f.slot.size(); ++idx) {
        if (f.slot[idx] < 0) continue;
        if (src.bchrs[s] + 1u >= 0x8000 || (src.bchrs[s] + 1u) * B > kSlotBytes)
          fail(f.path + ": more glyphs of " + std::to_string(f.size) +
               " pixels than a strike holds (32,767 and 2 MiB)");
        std::memcpy(src.store.get() + src.slot_at[s] + src.bchrs[s] * B, f.bitmap(idx), B);
        if (traced && size_t(f.slot[idx]) < ahead_count) src.traced_ahead[s][src.bchrs[s]] = rd.ahead[size_t(f.slot[idx])];
        src.uni2bno[s][conv.m2u[idx]] = src.bchrs[s]++;
      }
    }
  }
  for (size_t s = sizes.size(); s < size_t(kMaxStrikes); ++s) src.bchrs[s] = 0;

  // The names, and the output's.
  if (!opt.info.empty()) read_info(opt.info.c_str(), info);
  else set_names(in[0].names, sizelist, info);
  info.bold = in[0].names.bold;
  info.italic = in[0].names.italic;
  // The Shift-JIS names need the converter only for characters beyond
  // ASCII, which the fonts' own properties do not hold; without one, the
  // core opens its own.
  if (!names && sjis_names_ascii(info)) names = std::make_unique<textconv>(textconv::ascii_t{});
  const std::string out = !opt.out.empty() ? opt.out : opt.info.empty() ? in[0].names.postscript + ".ttf" : "";
  if (!out.empty()) {
    if (out.size() >= sizeof info.outname) fail(out + ": output name too long");
    std::memcpy(info.outname, out.c_str(), out.size() + 1);
  }

  std::vector<std::string> lines;
  for (const placed& f : fonts) {
    char head[64];
    std::snprintf(head, sizeof head, ": %d px, %zu glyphs", f.size, f.count);
    lines.push_back(f.path + head + placement_notes(f, opt.map.empty() ? conv.name : opt.map.c_str(), conv));
  }
  return lines;
}

int run(const options& opt) {
  auto info = std::make_unique<runinfo>();
  info->log = nullptr;
  info->finished_glyphs = true;
  std::unique_ptr<glyphsrc> src(new glyphsrc);
  std::vector<std::string> lines;
  std::unique_ptr<textconv> names;
  try {
    lines = prepare(opt, *info, *src, names);
  } catch (const fonterror& e) {
    std::fprintf(stderr, "bdf2ttf: %s\n", e.what());
    return 1;
  } catch (const quit_signal& q) {  // from the info-file
    std::fprintf(stderr, "bdf2ttf: %s: %s\n", opt.info.c_str(), q.message);
    return 1;
  } catch (const std::bad_alloc&) {
    std::fprintf(stderr, "bdf2ttf: out of memory\n");
    return 1;
  }
  if (!opt.quiet)
    for (const std::string& l : lines) std::printf("%s\n", l.c_str());
  // The font is made in memory and finished there (every metric derived
  // from the glyphs, as kilnfinish does), then written once. Its time is
  // SOURCE_DATE_EPOCH, else that of the newest input, so the same inputs
  // give the same bytes.
  std::string why;
  std::vector<uint8_t> raw;
  finished_font done;  // its big tables stay in raw
  finish_opts fo;
  const int64_t epoch = source_date_epoch();
  if (epoch == -2) why = "SOURCE_DATE_EPOCH is not a number of seconds";
  fo.stamp = epoch;
  fo.restamp = epoch >= 0;
  fo.glyphs_final = true;
  if (epoch == -1)
    for (const std::string& f : opt.fonts)
      if (struct stat st {}; stat(f.c_str(), &st) == 0) fo.stamp = std::max<int64_t>(fo.stamp, int64_t(st.st_mtime));
  if (why.empty()) {
    try {
      try {
        convert_to_memory(*info, *src, raw, names.get());
        stop_workers();
      } catch (const std::bad_alloc&) {
        quit("cannot malloc");
      }
    } catch (const quit_signal& q) {
      why = q.message;
    }
  }
  if (why.empty() && !finish_font(raw.data(), raw.size(), done, fo, why)) why = "cannot finish it: " + why;
  if (why.empty())
    if (const char* err = put_font_file(info->outname, done)) why = err;
  if (why.empty() && !opt.web.empty()) {
    std::vector<uint8_t> font;
    done.flatten(font);
    fo.glyphs_final = false;  // the web fonts are made as kilnfinish makes them, glyphs read anew
    write_web_fonts(info->outname, font.data(), font.size(), fo, opt.web.c_str(), web_base(info->outname), why);
    stop_workers();
  }
  if (!why.empty()) {
    std::fprintf(stderr, "bdf2ttf: %s: %s\n", info->outname, why.c_str());
    return 1;
  }
  if (!opt.quiet) {
    int strikes = 0;
    for (uint16_t b : src->bchrs) strikes += b > 0;
    std::printf("%s: \"%s\", %zu characters, %d strike%s\n", info->outname, info->namestr[16 + 4],
                src->glyphs.size() - 1, strikes, strikes == 1 ? "" : "s");
  }
  return 0;
}

}  // namespace

int bdf2ttf_main(int argc, const char* const* argv) {
  options opt;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    auto value = [&](std::string& v) {
      if (i + 1 >= argc) {
        std::fprintf(stderr, "bdf2ttf: %s needs a value\n%s", a.c_str(), kUsage);
        return false;
      }
      v = argv[++i];
      return true;
    };
    if (a == "--help" || a == "-h") {
      std::printf("%s", kUsage);
      return 0;
    } else if (a == "--version") {
      std::printf("bdf2ttf (kilnfont) %s\n", KILN_VERSION);
      return 0;
    } else if (a == "-q") {
      opt.quiet = true;
    } else if (a == "-o" || a == "--family" || a == "--info" || a == "--map" || a == "--web") {
      if (!value(a == "-o"         ? opt.out
                 : a == "--family" ? opt.family
                 : a == "--info"   ? opt.info
                 : a == "--map"    ? opt.map
                                   : opt.web))
        return 1;
    } else if (a.size() > 1 && a[0] == '-') {
      std::fprintf(stderr, "bdf2ttf: unknown option %s\n%s", a.c_str(), kUsage);
      return 1;
    } else {
      opt.fonts.push_back(a);
    }
  }
  if (opt.fonts.empty()) {
    std::fprintf(stderr, "%s", kUsage);
    return 1;
  }
  const int status = run(opt);
  std::fflush(stdout);
  return status;
}
