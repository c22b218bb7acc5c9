// SPDX-License-Identifier: MIT
#include "base/quit.h"

void quit(const char* message) { throw quit_signal{message[0] == '\0', message}; }
