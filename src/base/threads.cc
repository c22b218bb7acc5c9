// SPDX-License-Identifier: MIT
#include "base/threads.h"

#include <pthread.h>
#include <sched.h>

#include <algorithm>
#include <atomic>
#include <exception>
#include <memory>
#include <new>
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

namespace {

// The index-th (counting round) of the usable cores other than the one the
// caller runs on now, or -1 when there is none.
int other_core(unsigned index) {
  cpu_set_t set;
  if (sched_getaffinity(0, sizeof set, &set) != 0) return -1;
  const int me = sched_getcpu();
  int others[CPU_SETSIZE];
  unsigned count = 0;
  for (int c = 0; c < CPU_SETSIZE; ++c)
    if (CPU_ISSET(c, &set) && c != me) others[count++] = c;
  return count ? others[index % count] : -1;
}

void pin(pthread_t t, int core) {
  cpu_set_t one;
  CPU_ZERO(&one);
  CPU_SET(core, &one);
  pthread_setaffinity_np(t, sizeof one, &one);
}

}  // namespace

// One thread of the pool: waits for a task, runs it, tells its group. The
// thread and the pool share it, so that a thread let go finishes its task
// and ends on its own, however the pool has moved on.
struct pool_worker {
  std::mutex m;  // guards everything below but handle and core
  std::condition_variable cv;
  std::function<void()> task;  // set while it has one
  taskgroup* group = nullptr;
  bool busy = false;  // given a task not yet done
  bool quit = false;  // to end once idle
  pthread_t handle{};
  int core = -1;  // the core it is kept on (known to the pool only)

  static void loop(std::shared_ptr<pool_worker> self) {
    pool_worker& w = *self;
    for (;;) {
      std::function<void()> t;
      taskgroup* g;
      {
        std::unique_lock<std::mutex> lk(w.m);
        w.cv.wait(lk, [&w] { return bool(w.task) || w.quit; });
        if (!w.task) return;
        t = std::move(w.task);
        w.task = nullptr;
        g = w.group;
      }
      t();
      {
        std::lock_guard<std::mutex> lk(w.m);
        w.busy = false;
      }
      // Under the group's lock, so that the group (which waits for this)
      // is not gone before the notification is made.
      std::lock_guard<std::mutex> lk(g->m);
      --g->running;
      g->cv.notify_all();
    }
  }
};

namespace {

constexpr unsigned kMaxWorkers = 15;

// The workers of the run, started when first needed and again after they
// were let go. Never destroyed, so that its mutex outlives every thread.
struct pool {
  std::mutex m;
  std::vector<std::shared_ptr<pool_worker>> workers;
};

// The pool, or null without the memory for it.
pool* the_pool() {
  static pool* const p = new (std::nothrow) pool;
  return p;
}

// Starts the workers when there are none (with p.m held); fewer, or none,
// when threads or memory cannot be had.
void start_locked(pool& p) {
  if (!p.workers.empty()) return;
  const unsigned want = std::min(usable_cores() - 1, kMaxWorkers);
  try {
    p.workers.reserve(want);
  } catch (const std::bad_alloc&) {
    return;
  }
  const workers_masked held;  // they start with every signal blocked
  for (unsigned i = 0; i < want; ++i) {
    try {
      std::shared_ptr<pool_worker> w = std::make_shared<pool_worker>();
      std::thread t(&pool_worker::loop, w);
      w->handle = t.native_handle();
      t.detach();
      p.workers.push_back(std::move(w));
    } catch (const std::exception&) {  // no thread, or no memory for one
      break;
    }
  }
}

}  // namespace

void start_workers() {
  pool* const p = the_pool();
  if (!p) return;
  std::lock_guard<std::mutex> lk(p->m);
  start_locked(*p);
}

void stop_workers() {
  pool* const p = the_pool();
  if (!p) return;
  std::lock_guard<std::mutex> lk(p->m);
  for (const std::shared_ptr<pool_worker>& w : p->workers) {
    {
      std::lock_guard<std::mutex> wl(w->m);
      w->quit = true;
    }
    w->cv.notify_one();
  }
  p->workers.clear();
}

bool taskgroup::spawn(std::function<void()> task) {
  pool* const pp = the_pool();
  if (!pp) return false;
  pool& p = *pp;
  std::shared_ptr<pool_worker> w;
  {
    std::lock_guard<std::mutex> lk(p.m);
    start_locked(p);
    unsigned index = 0;  // the idle worker's place in the pool
    for (; index < p.workers.size(); ++index) {
      std::lock_guard<std::mutex> wl(p.workers[index]->m);
      if (!p.workers[index]->busy) {
        w = p.workers[index];
        w->busy = true;
        break;
      }
    }
    if (!w) return false;
    // On a core other than the caller's (which may have moved since the
    // last task), so that the two do not wait for each other. A refusal
    // leaves the worker where it is.
    if (const int core = other_core(index); core >= 0 && core != w->core) pin(w->handle, core), w->core = core;
  }
  {
    std::lock_guard<std::mutex> lk(m);
    ++running;
  }
  {
    std::lock_guard<std::mutex> lk(w->m);
    w->group = this;
    w->task = std::move(task);
  }
  w->cv.notify_one();
  return true;
}

void taskgroup::wait() {
  std::unique_lock<std::mutex> lk(m);
  cv.wait(lk, [this] { return running == 0; });
}

void run_jobs(size_t n, const std::function<void(size_t)>& job) {
  std::atomic<size_t> next{0};
  auto loop = [&] {
    for (size_t k; (k = next.fetch_add(1)) < n;) job(k);
  };
  taskgroup helpers;
  const size_t more = n > 1 ? std::min<size_t>(usable_cores(), n) - 1 : 0;
  for (size_t i = 0; i < more; ++i)
    if (!helpers.spawn(loop)) break;
  loop();
  helpers.wait();
}
