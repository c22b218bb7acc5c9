// SPDX-License-Identifier: MIT
#include "fuzz.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

std::string made;

void remove_scratch() {
  std::error_code ec;
  fs::remove_all(made, ec);
}

}  // namespace

void fail(const char* what) {
  std::fprintf(stderr, "fuzz check failed: %s\n", what);
  std::abort();
}

std::string scratch(const char* name) {
  if (made.empty()) {
    // Memory-backed where the machine has it: every input goes to a file.
    std::string tmpl = (access("/dev/shm", W_OK) == 0 ? "/dev/shm" : fs::temp_directory_path().string()) +
                       "/kilnfuzz-XXXXXX";
    if (!mkdtemp(tmpl.data())) fail("mkdtemp");
    made = tmpl;
    std::atexit(remove_scratch);
  }
  return made + "/" + name;
}

std::string put_file(const char* name, std::string_view bytes) {
  const std::string path = scratch(name);
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size() || std::fclose(f) != 0)
    fail("cannot write an input file");
  return path;
}

std::vector<std::string_view> split_input(const uint8_t* data, size_t size, size_t max_parts) {
  std::string_view rest(reinterpret_cast<const char*>(data), size);
  std::vector<std::string_view> parts;
  while (parts.size() + 1 < max_parts) {
    const size_t at = rest.find("@@KILN@@");
    if (at == std::string_view::npos) break;
    parts.push_back(rest.substr(0, at));
    rest.remove_prefix(at + 8);
  }
  parts.push_back(rest);
  return parts;
}

void silence_stdout() {
  static const bool done = [] {
    std::fflush(stdout);
    const int fd = open("/dev/null", O_WRONLY);
    if (fd < 0 || dup2(fd, 1) < 0) fail("cannot silence stdout");
    close(fd);
    return true;
  }();
  (void)done;
}
