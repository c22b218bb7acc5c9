// SPDX-License-Identifier: MIT
#include "base/heap.h"
#include "base/outfile.h"
#include "pxg/pxg.h"

int main(int argc, char** argv) {
  guard_process();
  tune_heap();
  return kilnfont_main(argc, argv);
}
