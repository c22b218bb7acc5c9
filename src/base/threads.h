// SPDX-License-Identifier: MIT
// What the commands' worker threads share: how many cores there are to run
// on, and the signal mask a worker starts with.
#pragma once
#include <signal.h>

#include <cstddef>
#include <functional>
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

// Puts the worker t on a core of its own: the index-th (counting round) of
// the usable cores other than the one the caller runs on now. Left to the
// scheduler, a new thread can wait milliseconds before it first runs beside
// its creator (kernels that pack threads onto few cores hold it on the
// busy one until the next balancing), which is most of a phase's length.
// Only a hint: a refusal leaves t where it is.
void place_worker(std::thread& t, unsigned index);

// Runs job(0), ..., job(n - 1), each once, on the calling thread and on as
// many more as there are other cores (at most n - 1), each thread taking
// the next job not yet taken; returns when all are done. A job must not
// throw. Without a thread to be had, the calling thread runs them all.
void run_jobs(size_t n, const std::function<void(size_t)>& job);
