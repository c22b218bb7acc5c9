// SPDX-License-Identifier: MIT
// Fuzz target: the finishing pass on the whole input as a font. It may
// refuse the input, never crash or read past it; a font it finishes must
// finish again to the same bytes.
#include "finish/finish.h"
#include "fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<uint8_t> once, twice;
  std::string err;
  const finish_opts opts{};
  if (!finish_font(data, size, once, opts, err)) return 0;
  if (!finish_font(once.data(), once.size(), twice, opts, err)) fail("a finished font was refused");
  if (once != twice) fail("finishing a finished font changed it");
  return 0;
}
