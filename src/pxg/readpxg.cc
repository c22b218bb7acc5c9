// SPDX-License-Identifier: MIT
// The pxg reader: walks the resource fork of each bitmap-font file and
// gathers every bitmap block into the strike of its pixel size.
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "base/input.h"
#include "base/quit.h"
#include "base/bereader.h"
#include "pxg/pxg.h"

namespace {

constexpr const char* kBroken = "broken pxg(pxgb)-file";
constexpr uint64_t kHeaderBytes = 128;   // MacBinary header
constexpr uint16_t kMaxBitmaps = 0x8000;  // consumers read bitmap numbers as 0..0x7FFF

// The longest forks a pxg file can use. Data-fork bitmaps start within the
// first 64 KiB of the data fork (a 16-bit position) and fill at most one
// strike slot. The resource fork's data is addressed with 24-bit offsets,
// followed by its map, whose own offsets are 16-bit. A header that declares
// more is refused before anything more is read, so an endless input (a pipe,
// a device) costs a bounded read.
constexpr uint64_t kMaxDataFork = 0xFFFF + kSlotBytes;
constexpr uint64_t kMaxResourceFork = (uint64_t(1) << 24) + 0x10000;

// Bitmaps never lie further into a file than the end of its resource fork
// (inline blocks) or the 16-bit data-fork position (data-fork blocks), plus
// one strike slot. Reading stops there, so a huge or endless input (a pipe,
// /dev/zero) costs a bounded read and every check below still sees the
// file's true extent wherever it matters.
uint64_t read_limit(uint64_t fork_end) {
  return std::max(fork_end, kHeaderBytes + 0xFFFF) + kSlotBytes;
}

// Reads up to limit bytes of f into buf (grown only when a file needs more
// than any before it) and returns how many were read.
uint64_t read_file(std::FILE* f, std::vector<uint8_t>& buf, uint64_t have, uint64_t limit) {
  // A regular file's size is known: room for all of it at once saves the
  // copies and page faults of growing the buffer step by step.
  struct stat st;
  if (fstat(fileno(f), &st) == 0 && S_ISREG(st.st_mode) && uint64_t(st.st_size) > buf.size())
    buf.resize(size_t(std::min<uint64_t>(uint64_t(st.st_size), limit)));
  while (have < limit) {
    if (have == buf.size()) buf.resize(size_t(std::min<uint64_t>(std::max<uint64_t>(2 * buf.size(), 1 << 16), limit)));
    const size_t want = size_t(std::min<uint64_t>(buf.size(), limit) - have);
    const size_t got = std::fread(buf.data() + have, 1, want, f);
    have += got;
    if (got == 0) break;
  }
  return have;
}

// Finds the strike of pixel size S, or creates it in its place by size,
// largest first: smaller strikes move up one place. Returns its number.
int strike_for(uint8_t S, glyphsrc& src) {
  for (int s = 0; s < src.nstrikes; ++s)
    if (src.pt[s] == S) return s;
  if (src.nstrikes >= kMaxStrikes) quit("too many bitmap sizes");
  int j = src.nstrikes;
  for (; j > 0 && src.pt[j - 1] < S; --j) {
    src.pt[j] = src.pt[j - 1];
    src.bchrs[j] = src.bchrs[j - 1];
    src.used[j] = src.used[j - 1];
    src.bchrs[j - 1] = 0;
    // Only numbered bitmaps are ever looked up, so the rest of the slot
    // need not move.
    std::memmove(src.store.get() + size_t(j) * kSlotBytes, src.store.get() + size_t(j - 1) * kSlotBytes,
                 size_t(src.bchrs[j]) * bitmap_bytes(src.pt[j]));
    src.uni2bno[size_t(j)] = src.uni2bno[size_t(j - 1)];
  }
  src.uni2bno[size_t(j)].fill(kNoBitmap);
  src.pt[j] = S;
  src.bchrs[j] = 0;
  src.used[j] = 0;
  ++src.nstrikes;
  return j;
}

// Handles the bitmap block whose data starts at D of the fork. file is the
// whole file as read (flen bytes), F the fork's file position. Every check
// of the block comes before its codes are numbered, so that the work and the
// "undefined chrcode" lines stay within one slot's worth of codes per strike
// whatever the input.
void read_block(const bereader& fork, uint64_t D, const uint8_t* file, uint64_t flen, uint64_t F,
                glyphsrc& src, bool& undefined) {
  // 1. Header and range list inside the fork (not necessarily inside the
  //    entry's own length).
  const bool inline_bits = fork.u8(D + 11) == 0;
  const uint64_t hdr = inline_bits ? 38 : 102;
  fork.need(D, hdr);
  const uint8_t S = fork.u8(D + 27);
  const unsigned n = fork.u8(D + hdr - 1);
  fork.need(D + hdr, 6 * uint64_t(n));
  if (S == 0) quit(kBroken);
  uint64_t T = 0;
  for (unsigned r = 0; r < n; ++r) T += fork.u16(D + hdr + 6 * uint64_t(r) + 4);

  // 2. The strike of this size.
  const int s = strike_for(S, src);
  const uint64_t B = bitmap_bytes(S);

  // 3. All T bitmaps, undefined codes' included, take room in the slot after
  //    those of the strike's earlier blocks.
  if ((src.used[s] + T) * B > kSlotBytes) quit("too many bitmaps");
  src.used[s] += uint32_t(T);

  // 4. They must lie inside the file. They go where the numbered bitmaps
  //    end, which is inside the room just taken.
  const uint64_t from = inline_bits ? F + D + hdr + 6 * uint64_t(n) : kHeaderBytes + fork.u16(D + 54);
  const uint64_t bytes = T * B;
  if (from > flen || bytes > flen - from) quit(kBroken);
  std::memcpy(src.store.get() + size_t(s) * kSlotBytes + size_t(src.bchrs[s]) * B, file + from, size_t(bytes));

  // 5. Number the codes; codes are kept at full width, so a range may run
  //    past 0xFFFF and past the table.
  for (unsigned r = 0; r < n; ++r) {
    const uint64_t at = D + hdr + 6 * uint64_t(r);
    const uint32_t first = fork.u16(at);
    const uint32_t count = fork.u16(at + 4);
    for (uint32_t code = first; code < first + count; ++code) {
      const uint16_t u = code < uint32_t(kJisCells) ? src.m2u[code] : 0;
      if (u == 0) {
        std::printf("undefined chrcode : pxg=%04x jis=%01x%02x%02x\n", code, code / 8836, code % 8836 / 94 + 0x21,
                    code % 94 + 0x21);
        undefined = true;
        continue;
      }
      if (src.bchrs[s] + 1u >= kMaxBitmaps) quit("too many bitmaps");
      src.uni2bno[size_t(s)][u] = src.bchrs[s]++;
    }
  }
}

// True when the entry data at D is a bitmap block: flag bit 0x20 and the
// letters "fbit" at bytes 2 to 5. Bytes outside the fork identify nothing.
bool is_block(const bereader& fork, uint64_t D) {
  return fork.has(D, 6) && (fork.d[D] & 0x20) && std::memcmp(fork.d + D + 2, "fbit", 4) == 0;
}

}  // namespace

uint8_t readpxg(int32_t count, const char* const* files, glyphsrc& src) {
  src.nstrikes = 0;
  bool undefined = false;
  std::vector<uint8_t> buf;  // each file whole, reused for the next

  for (int32_t i = 0; i < count; ++i) {
    std::printf("%s\n", files[i]);
    std::fflush(stdout);
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> f(open_input(files[i], "rb"), std::fclose);
    if (!f) quit("cannot open pxg(pxgb)-file");
    // A read that fails (not one that meets the end) is a file that cannot
    // be read, not a broken one.
    auto read_to = [&](uint64_t have, uint64_t limit) {
      const uint64_t got = read_file(f.get(), buf, have, limit);
      if (std::ferror(f.get())) quit("cannot open pxg(pxgb)-file");
      return got;
    };

    uint64_t flen = read_to(0, kHeaderBytes);
    if (flen < kHeaderBytes) quit(kBroken);
    const bereader head{buf.data(), size_t(flen), kBroken};
    const uint64_t Ld = head.u32(83), Lr = head.u32(87);
    if (Ld > kMaxDataFork || Lr > kMaxResourceFork) quit(kBroken);
    const uint64_t F = (Ld + 255) & ~uint64_t(127);
    flen = read_to(flen, read_limit(F + Lr));
    f.reset();
    if (F > flen || Lr > flen - F) quit(kBroken);

    // The walk runs from the data area to the end of the whole fork, so it
    // also steps over the resource map; running short there ends it quietly.
    const bereader fork{buf.data() + F, size_t(Lr), kBroken};
    uint64_t P = fork.has(0, 4) ? fork.u32(0) : Lr;
    while (P < Lr && fork.has(P, 4)) {
      const uint64_t L = fork.u32(P);
      const uint64_t D = P + 4;
      if (!fork.has(D, L)) break;
      if (is_block(fork, D)) read_block(fork, D, buf.data(), flen, F, src, undefined);
      P = D + L;  // at least 4 further on
    }
  }
  if (undefined) quit("cannot xfer chrcode");
  return src.nstrikes;
}
