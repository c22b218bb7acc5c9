// SPDX-License-Identifier: MIT
#include <csignal>

#include "bdf/bdf.h"

int main(int argc, char** argv) {
  // Past a file size limit a write should fail and be reported, not kill
  // the process.
  std::signal(SIGXFSZ, SIG_IGN);
  return bdf2ttf_main(argc, argv);
}
