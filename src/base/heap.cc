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
constexpr size_t kFirst = size_t(16) << 20;      // the first growth, made now

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
  // Grow the heap now, so the range to advise is known: address space only,
  // no page is touched.
  void* volatile big = std::malloc(kFirst);
  if (!big) return;
  std::free(big);
  void* volatile low = std::malloc(1);
  if (!low) return;
  const uintptr_t from = (reinterpret_cast<uintptr_t>(low) + kHuge - 1) & ~(kHuge - 1);
  const uintptr_t top = reinterpret_cast<uintptr_t>(sbrk(0));
  std::free(low);
  // Only the heap just grown: not when the allocator took a mapping instead.
  if (top > from && top - from <= kFirst + uintptr_t(kPad) + kHuge)
    madvise(reinterpret_cast<void*>(from), top - from, MADV_HUGEPAGE);
#endif
}
