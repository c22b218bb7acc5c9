// SPDX-License-Identifier: MIT
#include "base/heap.h"
#include "base/outfile.h"
#include "base/threads.h"
#include "pxg/pxg.h"

// The heap set up before the C++ runtime allocates its first blocks.
__attribute__((constructor(101))) static void heap_first() { tune_heap(); }

int main(int argc, char** argv) {
  guard_process();
  start_workers();  // up by the time there is work for them
  return kilnfont_main(argc, argv);
}
