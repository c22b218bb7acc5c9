#include <csignal>

#include "pxg/pxg.h"

int main(int argc, char** argv) {
  // Past a file size limit a write should fail and be reported ("cannot
  // write output", the temporary file removed), not kill the process.
  std::signal(SIGXFSZ, SIG_IGN);
  return kilnfont_main(argc, argv);
}
