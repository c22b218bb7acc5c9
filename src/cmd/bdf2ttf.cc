// SPDX-License-Identifier: MIT
#include "base/heap.h"
#include "base/outfile.h"
#include "base/threads.h"
#include "bdf/bdf.h"

int main(int argc, char** argv) {
  // Closed standard descriptors reopened, SIGPIPE and SIGXFSZ ignored (a
  // write fails and is reported instead), and a temporary file removed on
  // SIGINT, SIGTERM or SIGHUP.
  guard_process();
  tune_heap();
  start_workers();  // up by the time there is work for them
  return bdf2ttf_main(argc, argv);
}
