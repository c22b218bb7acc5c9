// SPDX-License-Identifier: MIT
#include "base/threads.h"

#include <pthread.h>
#include <sched.h>

#include <algorithm>
#include <atomic>
#include <system_error>
#include <thread>
#include <vector>

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

void run_jobs(size_t n, const std::function<void(size_t)>& job) {
  std::atomic<size_t> next{0};
  auto loop = [&] {
    for (size_t k; (k = next.fetch_add(1)) < n;) job(k);
  };
  std::vector<std::thread> helpers;
  const size_t more = n > 1 ? std::min<size_t>(usable_cores(), n) - 1 : 0;
  helpers.reserve(more);
  {
    const workers_masked held;
    for (size_t i = 0; i < more; ++i) {
      try {
        helpers.emplace_back(loop);
      } catch (const std::system_error&) {
        break;
      }
    }
  }
  loop();
  for (std::thread& t : helpers) t.join();
}
