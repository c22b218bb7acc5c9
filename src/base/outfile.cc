// SPDX-License-Identifier: MIT
#include "base/outfile.h"

#include <fcntl.h>
#include <pthread.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <new>

#include "base/quit.h"

namespace {

// The named temporary file of this process, for the signal handler: set
// before the name exists, cleared once it is gone. A plain array and an
// atomic flag, since the handler may only use async-signal-safe calls.
char g_temp[4096];
volatile std::sig_atomic_t g_has_temp = 0;

void register_temp(const std::string& path) {
  g_has_temp = 0;
  if (path.size() >= sizeof g_temp) return;  // too long to keep: such a name cannot be made anyway
  std::memcpy(g_temp, path.c_str(), path.size() + 1);
  g_has_temp = 1;
}

// Holds SIGINT, SIGTERM and SIGHUP back while a temporary file gets its
// name and is registered, so the handler never misses a name that exists.
struct hold_signals {
  sigset_t old;
  hold_signals() {
    sigset_t set;
    sigemptyset(&set);
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&set, sig);
    pthread_sigmask(SIG_BLOCK, &set, &old);
  }
  ~hold_signals() { pthread_sigmask(SIG_SETMASK, &old, nullptr); }
};

void on_signal(int sig) {
  if (g_has_temp) unlink(g_temp);
  // The handler was installed with SA_RESETHAND: the signal, blocked while
  // the handler runs, ends the process as soon as it returns.
  raise(sig);
}

// The output's directory, with its slash ("" for the current directory).
std::string dir_of(const char* outname) {
  const char* slash = std::strrchr(outname, '/');
  return std::string(outname, slash ? size_t(slash - outname + 1) : 0);
}

// A name ".kilnfont-XXXXXX" in dir that is not taken yet (six random
// letters and digits), or "" when none is found.
std::string free_name(const std::string& dir) {
  static const char kChars[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  for (int tries = 0; tries < 100; ++tries) {
    unsigned char r[6] = {};
    if (getrandom(r, sizeof r, GRND_NONBLOCK) != ssize_t(sizeof r))
      for (size_t k = 0; k < sizeof r; ++k) r[k] = static_cast<unsigned char>(getpid() + tries * 7 + k * 13);
    std::string name = dir + ".kilnfont-";
    for (unsigned char c : r) name += kChars[c % (sizeof kChars - 1)];
    struct stat st;
    if (lstat(name.c_str(), &st) != 0 && errno == ENOENT) return name;
  }
  return "";
}

}  // namespace

outfile::~outfile() {
  if (f) std::fclose(f);
  if (!temp.empty()) {
    std::remove(temp.c_str());
    g_has_temp = 0;
  }
}

const char* open_output(outfile& o, const char* outname) {
  const std::string dir = dir_of(outname);
  int fd = -1;
#ifdef O_TMPFILE
  // An anonymous file vanishes with the process however it ends, SIGKILL
  // included. It is named through /proc when complete, so that must exist.
  if (access("/proc/self/fd", X_OK) == 0) {
    fd = open(dir.empty() ? "." : dir.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    o.anonymous = fd >= 0;
  }
#endif
  if (fd < 0) {
    // Where the file system has no anonymous files: a named one, which the
    // signal handler and every early end remove.
    // The name is made in place in o.temp, so that the destructor knows it
    // as soon as the file exists.
    o.temp = dir + ".kilnfont-XXXXXX";
    {
      hold_signals held;
      fd = mkostemp(o.temp.data(), O_CLOEXEC);
      if (fd < 0) {
        o.temp.clear();
        return "cannot output";
      }
      register_temp(o.temp);
    }
    const mode_t mask = umask(0);
    umask(mask);
    if (fchmod(fd, 0666 & ~mask) != 0) {
      close(fd);
      return "cannot output";
    }
  }
  o.f = fdopen(fd, "wb");
  if (!o.f) {
    const bool nomem = errno == ENOMEM;
    close(fd);
    if (nomem) throw std::bad_alloc();
    return "cannot output";
  }
  // Every write is a whole buffer already (a table, or 64 KiB of one):
  // unbuffered, each becomes one write call, with no copy through stdio.
  std::setvbuf(o.f, nullptr, _IONBF, 0);
  return nullptr;
}

void create_output(outfile& o, const char* outname) {
  if (const char* why = open_output(o, outname)) quit(why);
}

const char* close_output(outfile& o, const char* outname) {
  // An anonymous file gets its name here, through its descriptor, at a
  // fresh name beside the output; the rename follows at once.
  if (std::fflush(o.f) != 0) return "cannot write output";
  // From the name to the rename, a signal waits: it then finds the font in
  // place, or the older file untouched and the temporary name removed.
  hold_signals held;
  if (o.anonymous) {
    std::string name = free_name(dir_of(outname));
    if (name.empty()) return "cannot output";
    char proc[64];
    std::snprintf(proc, sizeof proc, "/proc/self/fd/%d", fileno(o.f));
    // Nothing may fail between the link and the rename without the name
    // being known to the destructor and the signal handler: both are set
    // first (neither allocates), and cleared if the link fails.
    o.temp = std::move(name);
    register_temp(o.temp);
    if (linkat(AT_FDCWD, proc, AT_FDCWD, o.temp.c_str(), AT_SYMLINK_FOLLOW) != 0) {
      o.temp.clear();
      g_has_temp = 0;
      return "cannot output";
    }
  }
  const bool closed = std::fclose(o.f) == 0;
  o.f = nullptr;
  if (!closed) return "cannot write output";
  if (std::rename(o.temp.c_str(), outname) != 0) return "cannot output";
  g_has_temp = 0;
  o.temp.clear();
  return nullptr;
}

void commit_output(outfile& o, const char* outname) {
  if (const char* why = close_output(o, outname)) quit(why);
}

void guard_process() {
  for (int fd = 0; fd <= 2; ++fd)
    if (fcntl(fd, F_GETFD) == -1 && errno == EBADF) {
      // open() takes the lowest free number, which is fd.
      const int got = open("/dev/null", O_RDWR);
      if (got >= 0 && got != fd) close(got);
    }
  std::signal(SIGPIPE, SIG_IGN);
  std::signal(SIGXFSZ, SIG_IGN);
  struct sigaction sa;
  std::memset(&sa, 0, sizeof sa);
  sa.sa_handler = on_signal;
  sa.sa_flags = SA_RESETHAND;
  sigemptyset(&sa.sa_mask);
  for (int sig : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&sa.sa_mask, sig);
  for (int sig : {SIGINT, SIGTERM, SIGHUP}) sigaction(sig, &sa, nullptr);
}
