// Fuzz target: the jis_uni.txt reader on the whole input.
#include <cstddef>
#include <cstdint>
#include <string>

#include "driver/quit.h"
#include "fuzzenv.h"
#include "source/source.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  silence_stdout();
  scratch_dir();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string name = scratch("jis_uni.txt");
  put_file(name, data, size);
  static m2u_table m2u;
  try {
    setxfertbl(name.c_str(), m2u);
  } catch (const quit_signal&) {
    fail("a readable transfer table was refused");
  }
  return 0;
}
