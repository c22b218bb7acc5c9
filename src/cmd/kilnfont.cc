// SPDX-License-Identifier: MIT
#include "base/heap.h"
#include "base/outfile.h"
#include "base/threads.h"
#include "pxg/pxg.h"

int main(int argc, char** argv) {
  guard_process();
  tune_heap();
  start_workers();  // up by the time there is work for them
  return kilnfont_main(argc, argv);
}
