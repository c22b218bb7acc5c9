// Fuzz target: the pxg reader on one to three files (the input cut at each
// "@@KILN@@"), so that strikes of one size join across files, new sizes
// move earlier strikes, and a refusal may come in any file.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzzenv.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  silence_stdout();
  scratch_dir();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const char* const names[] = {"a.pxg", "b.pxg", "c.pxg"};
  const auto parts = split_input(data, size, 3);
  std::vector<std::string> files;
  for (size_t i = 0; i < parts.size(); ++i) {
    files.push_back(scratch(names[i]));
    put_file(files.back(), reinterpret_cast<const uint8_t*>(parts[i].data()), parts[i].size());
  }
  read_and_check(files);
  return 0;
}
