// SPDX-License-Identifier: MIT
#include "base/threads.h"

#include <pthread.h>
#include <sched.h>

#include <algorithm>

unsigned usable_cores() {
  cpu_set_t set;
  if (sched_getaffinity(0, sizeof set, &set) != 0) return 1;
  return unsigned(std::max(1, CPU_COUNT(&set)));
}

workers_masked::workers_masked() {
  sigset_t all;
  sigfillset(&all);
  pthread_sigmask(SIG_SETMASK, &all, &old);
}

workers_masked::~workers_masked() { pthread_sigmask(SIG_SETMASK, &old, nullptr); }
