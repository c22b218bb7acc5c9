// SPDX-License-Identifier: MIT
#include "base/outfile.h"
#include "pxg/pxg.h"

int main(int argc, char** argv) {
  guard_process();
  return kilnfont_main(argc, argv);
}
