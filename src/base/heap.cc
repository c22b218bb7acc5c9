// SPDX-License-Identifier: MIT
#include "base/heap.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace {

constexpr uintptr_t kHuge = uintptr_t(2) << 20;  // a transparent huge page on x86-64 and arm64
constexpr int kPad = 64 << 20;                   // heap grown this much beyond each request

}  // namespace

void tune_heap() {
#if defined(__GLIBC__) && !defined(__SANITIZE_ADDRESS__)
  // Blocks of up to 32 MiB (the strike store is 12) come from the heap
  // rather than mappings of their own, one thread arena is used by all
  // threads (they allocate little, the readers a few large blocks), and
  // freed memory stays for the next block instead of going back.
  mallopt(M_MMAP_THRESHOLD, 32 << 20);
  mallopt(M_TRIM_THRESHOLD, 1 << 30);
  mallopt(M_TOP_PAD, kPad);
  mallopt(M_ARENA_MAX, 1);
  // Move the break up to a huge page's boundary first. The heap starts
  // wherever the kernel put it, and what the allocator placed below the
  // first boundary could only have ordinary pages. The allocator takes the
  // gap as another's and goes on above it.
  const uintptr_t brk0 = reinterpret_cast<uintptr_t>(sbrk(0));
  const uintptr_t from = (brk0 + kHuge - 1) & ~(kHuge - 1);
  if (from > brk0 && sbrk(intptr_t(from - brk0)) == reinterpret_cast<void*>(-1)) return;
  // A block of almost 2 MiB makes the allocator grow the heap (by the pad
  // besides: address space only) and fills the first 2 MiB range above the
  // boundary. The allocator writes its headers there before the advice can
  // be given, and a range with a page already in it keeps ordinary pages
  // (512 faults as it fills), so that range is left to this block, never
  // touched nor freed; every range above it is untouched when advised.
  static void* first_range = nullptr;  // kept for the run, never freed
  first_range = std::malloc(kHuge - 8192);
  const uintptr_t at = reinterpret_cast<uintptr_t>(first_range);
  const uintptr_t top = reinterpret_cast<uintptr_t>(sbrk(0));
  if (!first_range || at < from || at >= from + 4096 || top < from + 2 * kHuge ||
      top - from > uintptr_t(kPad) + 2 * kHuge)
    return;
  madvise(reinterpret_cast<void*>(from + kHuge), top - from - kHuge, MADV_HUGEPAGE);
#endif
}
