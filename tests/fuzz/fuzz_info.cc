// SPDX-License-Identifier: MIT
// Fuzz target: the info-file reader on the whole input.
#include "core/convert.h"
#include <cstring>

#include "fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path = put_file("font.info", {reinterpret_cast<const char*>(data), size});
  static runinfo info;
  if (quietly([&] { info = runinfo{}; read_info(path.c_str(), info); })) {
    // What the builders rely on: a named output and terminated names.
    if (info.outname[0] == '\0' || !std::memchr(info.outname, 0, sizeof info.outname)) fail("bad output name");
    for (const auto& n : info.namestr)
      if (!std::memchr(n, 0, sizeof n)) fail("name not terminated");
  }
  return 0;
}
