// SPDX-License-Identifier: MIT
// The writer's streaming half: spilling buffered words to the font file, or
// to the font assembled in memory.
#include "base/bewriter.h"

#include <fcntl.h>

#include "base/quit.h"

namespace {

// Every this many bytes of a table, the file's data starts on its way to the
// disk. The font is renamed over an older one at the end, and the file
// system then writes out whatever is still only in memory before the rename
// returns (ext4 does, to keep the replacement safe); started early, that
// writing overlaps the conversion instead of stalling the rename.
constexpr uint64_t kWriteback = uint64_t(512) << 10;

void start_writeback(std::FILE* f) {
#ifdef SYNC_FILE_RANGE_WRITE
  // Only a hint: where it is refused, the data goes at the rename as before.
  sync_file_range(fileno(f), 0, 0, SYNC_FILE_RANGE_WRITE);
#else
  (void)f;
#endif
}

}  // namespace

void bewriter::spill() {
  if (!streams()) return;
  const size_t n = b.size() & ~size_t(3);  // whole words; the rest waits
  if (n == 0) return;
  emit(n, sumB32(b.data(), n));
}

void bewriter::spill_summed(uint32_t bsum) {
  if (streams() && !b.empty()) emit(b.size(), bsum);
}

void bewriter::emit(size_t n, uint32_t nsum) {
  sum += nsum;
  if (memsink) {
    memsink->insert(memsink->end(), b.data(), b.data() + n);
  } else {
    if (std::fwrite(b.data(), 1, n, sink) != n) quit("cannot write output");
    if ((spilled + n) / kWriteback != spilled / kWriteback) start_writeback(sink);
  }
  spilled += n;
  b.erase(b.begin(), b.begin() + std::ptrdiff_t(n));
}
