// SPDX-License-Identifier: MIT
// What the commands' worker threads share: how many cores there are to run
// on, and the signal mask a worker starts with.
#pragma once
#include <signal.h>

#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <thread>

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

// The run's worker threads: one per usable core but one, kept for the
// whole run, since starting a thread costs a fraction of a millisecond here
// and handing work to a waiting one a few microseconds. Each task is run
// on a core other than the one its giver runs on: left to the scheduler, a
// thread woken beside a busy one can wait milliseconds before it runs
// (kernels that pack threads onto few cores hold it on the busy one until
// the next balancing), which is most of a phase's length.
// start_workers starts them at once (commands call it first thing, so that
// they are up by the time there is work); otherwise the first spawn does.
void start_workers();
// Lets the workers go: each ends once its task is done, and the next spawn
// starts new ones. For when no more work is coming: a thread that ends now,
// beside the rest of the run, costs less than one the process's exit has
// to wake and stop.
void stop_workers();

// Tasks handed to idle workers of the pool, and waited for together.
class taskgroup {
 public:
  taskgroup() = default;
  taskgroup(const taskgroup&) = delete;
  taskgroup& operator=(const taskgroup&) = delete;
  ~taskgroup() { wait(); }
  // Gives task to an idle worker; false when none is idle (or none could be
  // started), and then the caller does the work itself. A task must not
  // throw.
  bool spawn(std::function<void()> task);
  // Returns when every task this group gave out has returned.
  void wait();

 private:
  friend struct pool_worker;  // counts its tasks down
  std::mutex m;
  std::condition_variable cv;
  size_t running = 0;
};

// Runs job(0), ..., job(n - 1), each once, on the calling thread and on as
// many more as there are other cores (at most n - 1), each thread taking
// the next job not yet taken; returns when all are done. A job must not
// throw. Without a thread to be had, the calling thread runs them all.
void run_jobs(size_t n, const std::function<void(size_t)>& job);
