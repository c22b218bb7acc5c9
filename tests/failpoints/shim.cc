// SPDX-License-Identifier: MIT
// A preloaded library that makes one kind of call fail, for the failure
// tests: the Nth call of the kind set in KILN_FAIL_KIND (and, unless
// KILN_FAIL_ONCE is set, every later one) fails as the system would fail it,
// or, with KILN_FAIL_SIGNAL, the process gets that signal at the Nth call.
//   KILN_FAIL_KIND    alloc, open, read, write, seek, close, rename, iconv
//   KILN_FAIL_AT      N, counted from 1 (unset or 0: nothing fails)
//   KILN_FAIL_COUNTS  a file that gets "KIND COUNT" lines at exit
//   KILN_NO_TMPFILE   set: open() with O_TMPFILE fails as on a file system
//                     without anonymous files
// Built without the alloc kind (KILN_SHIM_NO_ALLOC) for sanitizer builds,
// whose allocator must not be replaced.
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <iconv.h>
#include <signal.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <atomic>

namespace {

enum kind { kAlloc, kOpen, kRead, kWrite, kSeek, kClose, kRename, kIconv, kKinds };
const char* const kNames[kKinds] = {"alloc", "open", "read", "write", "seek", "close", "rename", "iconv"};

std::atomic<long> g_count[kKinds];
int g_kind = -1;
long g_at = 0;
bool g_once = false;
int g_signal = 0;
bool g_no_tmpfile = false;
bool g_ready = false;

// Reads the settings once, before main. getenv allocates nothing. Calls
// are counted from main on (see __libc_start_main below): what the C++
// runtime sets up before main belongs to starting the process.
__attribute__((constructor)) void setup() {
  if (const char* k = getenv("KILN_FAIL_KIND"))
    for (int i = 0; i < kKinds; ++i)
      if (strcmp(k, kNames[i]) == 0) g_kind = i;
  if (const char* n = getenv("KILN_FAIL_AT")) g_at = atol(n);
  g_once = getenv("KILN_FAIL_ONCE") != nullptr;
  if (const char* s = getenv("KILN_FAIL_SIGNAL")) g_signal = atoi(s);
  g_no_tmpfile = getenv("KILN_NO_TMPFILE") != nullptr;
}

using main_fn = int (*)(int, char**, char**);
main_fn g_main = nullptr;

int counted_main(int argc, char** argv, char** envp) {
  g_ready = true;
  return g_main(argc, argv, envp);
}

__attribute__((destructor)) void report() {
  const char* path = getenv("KILN_FAIL_COUNTS");
  if (!path) return;
  g_ready = false;  // the report's own calls count for nothing
  FILE* f = fopen(path, "w");
  if (!f) return;
  for (int i = 0; i < kKinds; ++i) fprintf(f, "%s %ld\n", kNames[i], g_count[i].load());
  fclose(f);
}

// Counts a call of kind k; true when it is to fail.
bool fails(int k) {
  if (!g_ready) return false;
  const long n = ++g_count[k];
  if (k != g_kind || g_at <= 0 || n < g_at || (g_once && n != g_at)) return false;
  if (g_signal) {
    if (n == g_at) kill(getpid(), g_signal);  // to the process, as a kill from outside
    return false;
  }
  return true;
}

template <typename F>
F next(const char* name) {
  return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

}  // namespace

extern "C" {

// The program's start, taken over to begin counting at main.
int __libc_start_main(main_fn m, int argc, char** argv, void (*init)(), void (*fini)(), void (*rtld_fini)(),
                      void* stack) {
  g_main = m;
  using start_fn = int (*)(main_fn, int, char**, void (*)(), void (*)(), void (*)(), void*);
  return next<start_fn>("__libc_start_main")(counted_main, argc, argv, init, fini, rtld_fini, stack);
}

#ifndef KILN_SHIM_NO_ALLOC
void* __libc_malloc(size_t);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);
void* __libc_memalign(size_t, size_t);

void* malloc(size_t n) {
  if (fails(kAlloc)) return errno = ENOMEM, nullptr;
  return __libc_malloc(n);
}
void* calloc(size_t n, size_t m) {
  if (fails(kAlloc)) return errno = ENOMEM, nullptr;
  return __libc_calloc(n, m);
}
void* realloc(void* p, size_t n) {
  if (fails(kAlloc)) return errno = ENOMEM, nullptr;
  return __libc_realloc(p, n);
}
void* aligned_alloc(size_t a, size_t n) {
  if (fails(kAlloc)) return errno = ENOMEM, nullptr;
  return __libc_memalign(a, n);
}
int posix_memalign(void** p, size_t a, size_t n) {
  if (fails(kAlloc)) return ENOMEM;
  *p = __libc_memalign(a, n);
  return *p ? 0 : ENOMEM;
}
#endif

int open(const char* path, int flags, ...) {
  va_list ap;
  va_start(ap, flags);
  const mode_t mode = va_arg(ap, mode_t);
  va_end(ap);
#ifdef O_TMPFILE
  if (g_no_tmpfile && (flags & O_TMPFILE) == O_TMPFILE) return errno = EOPNOTSUPP, -1;
#endif
  if (fails(kOpen)) return errno = EMFILE, -1;
  return next<int (*)(const char*, int, ...)>("open")(path, flags, mode);
}
int open64(const char* path, int flags, ...) {
  va_list ap;
  va_start(ap, flags);
  const mode_t mode = va_arg(ap, mode_t);
  va_end(ap);
  return open(path, flags, mode);
}
FILE* fopen(const char* path, const char* mode) {
  if (fails(kOpen)) return errno = EMFILE, nullptr;
  return next<FILE* (*)(const char*, const char*)>("fopen")(path, mode);
}
FILE* fopen64(const char* path, const char* mode) { return fopen(path, mode); }
FILE* fdopen(int fd, const char* mode) {
  if (fails(kOpen)) return errno = ENOMEM, nullptr;
  return next<FILE* (*)(int, const char*)>("fdopen")(fd, mode);
}
int mkostemp(char* pattern, int flags) {
  if (fails(kOpen)) return errno = EMFILE, -1;
  return next<int (*)(char*, int)>("mkostemp")(pattern, flags);
}
int mkostemp64(char* pattern, int flags) { return mkostemp(pattern, flags); }

ssize_t read(int fd, void* buf, size_t n) {
  if (fails(kRead)) return errno = EIO, -1;
  return next<ssize_t (*)(int, void*, size_t)>("read")(fd, buf, n);
}
// A failed stream read or write sets the stream's error flag, as glibc's
// own failures do (_IO_ERR_SEEN).
static void set_error(FILE* f) { f->_flags |= 0x20; }

size_t fread(void* buf, size_t size, size_t n, FILE* f) {
  if (fails(kRead)) {
    errno = EIO;
    set_error(f);
    return 0;
  }
  return next<size_t (*)(void*, size_t, size_t, FILE*)>("fread")(buf, size, n, f);
}
char* fgets(char* buf, int n, FILE* f) {
  if (fails(kRead)) {
    errno = EIO;
    set_error(f);
    return nullptr;
  }
  return next<char* (*)(char*, int, FILE*)>("fgets")(buf, n, f);
}

ssize_t write(int fd, const void* buf, size_t n) {
  if (fails(kWrite)) return errno = ENOSPC, -1;
  return next<ssize_t (*)(int, const void*, size_t)>("write")(fd, buf, n);
}
size_t fwrite(const void* buf, size_t size, size_t n, FILE* f) {
  if (fails(kWrite)) {
    errno = ENOSPC;
    set_error(f);
    return 0;
  }
  return next<size_t (*)(const void*, size_t, size_t, FILE*)>("fwrite")(buf, size, n, f);
}
int fflush(FILE* f) {
  if (f && fails(kWrite)) return errno = ENOSPC, EOF;
  return next<int (*)(FILE*)>("fflush")(f);
}

int fseek(FILE* f, long at, int whence) {
  if (fails(kSeek)) return errno = EIO, -1;
  return next<int (*)(FILE*, long, int)>("fseek")(f, at, whence);
}
off_t lseek(int fd, off_t at, int whence) {
  if (fails(kSeek)) return errno = EIO, -1;
  return next<off_t (*)(int, off_t, int)>("lseek")(fd, at, whence);
}

// A failing close still closes, as on Linux.
int close(int fd) {
  const int r = next<int (*)(int)>("close")(fd);
  if (fails(kClose)) return errno = EIO, -1;
  return r;
}
int fclose(FILE* f) {
  const int r = next<int (*)(FILE*)>("fclose")(f);
  if (fails(kClose)) return errno = EIO, EOF;
  return r;
}

int rename(const char* from, const char* to) {
  if (fails(kRename)) return errno = EIO, -1;
  return next<int (*)(const char*, const char*)>("rename")(from, to);
}
int linkat(int fd1, const char* from, int fd2, const char* to, int flags) {
  if (fails(kRename)) return errno = ENOSPC, -1;
  return next<int (*)(int, const char*, int, const char*, int)>("linkat")(fd1, from, fd2, to, flags);
}

// The forms a fortified build calls instead, where the buffer's size is
// known to the compiler.
int __open_2(const char* path, int flags) { return open(path, flags, 0); }
int __open64_2(const char* path, int flags) { return open(path, flags, 0); }
ssize_t __read_chk(int fd, void* buf, size_t n, size_t) { return read(fd, buf, n); }
size_t __fread_chk(void* buf, size_t, size_t size, size_t n, FILE* f) { return fread(buf, size, n, f); }
char* __fgets_chk(char* buf, size_t, int n, FILE* f) { return fgets(buf, n, f); }

iconv_t iconv_open(const char* to, const char* from) {
  if (fails(kIconv)) return errno = EMFILE, iconv_t(-1);
  return next<iconv_t (*)(const char*, const char*)>("iconv_open")(to, from);
}

}  // extern "C"
