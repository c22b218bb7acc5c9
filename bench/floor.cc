// SPDX-License-Identifier: MIT
// The physical floor of a conversion: one process that reads the same input
// files whole and writes a file of N bytes, and does nothing else. What
// kilnfont takes beyond this is its own work.
//
//   usage: floor N out-file in-file...
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>

namespace {

char buf[1 << 16];

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  const unsigned long long n = std::strtoull(argv[1], nullptr, 10);
  for (int i = 3; i < argc; ++i) {
    const int fd = open(argv[i], O_RDONLY);
    if (fd < 0) return 1;
    while (read(fd, buf, sizeof buf) > 0) {
    }
    close(fd);
  }
  const int out = open(argv[2], O_WRONLY | O_CREAT | O_TRUNC, 0666);
  if (out < 0) return 1;
  for (unsigned long long left = n; left > 0;) {
    const ssize_t w = write(out, buf, left < sizeof buf ? left : sizeof buf);
    if (w <= 0) return 1;
    left -= (unsigned long long)w;
  }
  return close(out) == 0 ? 0 : 1;
}
