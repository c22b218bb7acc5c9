// SPDX-License-Identifier: MIT
// Fuzz target: the jis_uni.txt reader on the whole input.
#include "fuzz.h"
#include "core/glyphsrc.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static m2u_table m2u;
  const std::string path = put_file("jis_uni.txt", {reinterpret_cast<const char*>(data), size});
  if (!quietly([&] { setxfertbl(path.c_str(), m2u); })) fail("a readable transfer table was refused");
  return 0;
}
