// Fuzz target: the pxg reader on one file (the whole input), with
// the strike invariants checked after a clean read.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzzenv.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  silence_stdout();
  scratch_dir();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string name = scratch("a.pxg");
  put_file(name, data, size);
  read_and_check({name});
  return 0;
}
