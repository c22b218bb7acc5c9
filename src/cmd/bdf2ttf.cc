// SPDX-License-Identifier: MIT
#include "base/heap.h"
#include "base/outfile.h"
#include "base/threads.h"
#include "bdf/bdf.h"

// The heap set up before the C++ runtime allocates its first blocks.
__attribute__((constructor(101))) static void heap_first() { tune_heap(); }

int main(int argc, char** argv) {
  // Closed standard descriptors reopened, SIGPIPE and SIGXFSZ ignored (a
  // write fails and is reported instead), and a temporary file removed on
  // SIGINT, SIGTERM or SIGHUP.
  guard_process();
  start_workers();  // up by the time there is work for them
  return bdf2ttf_main(argc, argv);
}
