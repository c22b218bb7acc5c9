// SPDX-License-Identifier: MIT
#include "base/quit.h"

#include <cstdio>

void quit(const char* message) {
  if (message[0] == '\0')
    std::printf("complete\n");
  else
    std::printf("error : %s\n", message);
  std::fflush(stdout);
  throw quit_signal{message[0] == '\0'};
}
