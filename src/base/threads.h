// SPDX-License-Identifier: MIT
// What the commands' worker threads share: how many cores there are to run
// on, and the signal mask a worker starts with.
#pragma once
#include <signal.h>

// Cores this process may run on (its affinity, so "taskset -c 0" counts 1).
unsigned usable_cores();

// While it lives, the calling thread blocks every signal, so that threads
// started meanwhile inherit that mask and a signal to the process is
// handled by the main thread; the old mask comes back after.
struct workers_masked {
  sigset_t old;
  workers_masked();
  ~workers_masked();
  workers_masked(const workers_masked&) = delete;
  workers_masked& operator=(const workers_masked&) = delete;
};
