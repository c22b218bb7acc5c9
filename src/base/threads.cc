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

void place_worker(std::thread& t, unsigned index) {
  cpu_set_t set;
  if (sched_getaffinity(0, sizeof set, &set) != 0) return;
  const int me = sched_getcpu();
  int others[CPU_SETSIZE];
  unsigned count = 0;
  for (int c = 0; c < CPU_SETSIZE; ++c)
    if (CPU_ISSET(c, &set) && c != me) others[count++] = c;
  if (count == 0) return;
  cpu_set_t one;
  CPU_ZERO(&one);
  CPU_SET(others[index % count], &one);
  pthread_setaffinity_np(t.native_handle(), sizeof one, &one);
}

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
      place_worker(helpers.back(), unsigned(i));
    }
  }
  loop();
  for (std::thread& t : helpers) t.join();
}
