// The writer's streaming half: spilling buffered words to the font file.
#include "tables/bewriter.h"

#include "driver/quit.h"
#include "tables/tables.h"

void bewriter::spill() {
  if (!sink) return;
  const size_t n = b.size() & ~size_t(3);  // whole words; the rest waits
  if (n == 0) return;
  sum += sumB32(b.data(), n);
  if (std::fwrite(b.data(), 1, n, sink) != n) quit("cannot write output");
  spilled += n;
  b.erase(b.begin(), b.begin() + std::ptrdiff_t(n));
}
