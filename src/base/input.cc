// SPDX-License-Identifier: MIT
#include "base/input.h"

#include <sys/stat.h>

#include <cerrno>
#include <new>

std::FILE* open_input(const char* path, const char* mode) {
  std::FILE* f = std::fopen(path, mode);
  // Out of memory is not a file that cannot be opened.
  if (!f && errno == ENOMEM) throw std::bad_alloc();
  struct stat st;
  if (f && fstat(fileno(f), &st) == 0 && S_ISDIR(st.st_mode)) {
    std::fclose(f);
    errno = EISDIR;
    return nullptr;
  }
  return f;
}
