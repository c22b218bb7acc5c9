// Fuzz target: the info-file reader on the whole input. After a clean read
// the values must be well-formed strings of the sizes the builders use.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "driver/driver.h"
#include "driver/quit.h"
#include "fuzzenv.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  silence_stdout();
  scratch_dir();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string name = scratch("font.info");
  put_file(name, data, size);
  auto info = std::make_unique<runinfo>();
  try {
    read_info(name.c_str(), *info);
  } catch (const quit_signal&) {
    return 0;
  }
  const size_t n = strnlen(info->outname, sizeof info->outname);
  if (n == sizeof info->outname) fail("outname not terminated");
  if (n < 5 || std::strcmp(info->outname + n - 4, ".ttf") != 0) fail("outname without a word and .ttf");
  for (const auto& slot : info->namestr)
    if (strnlen(slot, sizeof slot) >= 254) fail("name string longer than a line piece");
  return 0;
}
