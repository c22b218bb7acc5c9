// SPDX-License-Identifier: MIT
// Fuzz target: the BDF and PCF readers, the cell rule and the names, in
// memory. Input starting with the PCF magic number is read as PCF, anything
// else as BDF. A refusal (fonterror) is a fine answer; a crash, overread,
// hang or runaway allocation is not.
#include <string_view>
#include <vector>

#include "bdf/bdf.h"
#include "fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view in(reinterpret_cast<const char*>(data), size);
  static const std::vector<uint16_t> m2u(size_t(kJisCells), 0x4E00);
  static const std::vector<why> reason(size_t(kJisCells), why::value);
  try {
    const fontin f = in.substr(0, 4) == std::string_view("\1fcp", 4) ? parse_pcf("f", in) : parse_bdf("f", in);
    int plane = 0;
    const charset cs = identify(f, plane);
    const cellrule c = cell_of(f, cs, 0);
    if (c.S >= 1 && c.S <= 255) {
      const placed p = place(f, cs, plane < 0 ? 0 : plane, c, m2u.data(), reason, (size & 1) != 0);
      if (p.count > size_t(kJisCells)) fail("more glyphs placed than cells");
    }
    names_of(f, cs, "");
  } catch (const fonterror&) {
  }
  return 0;
}
