// mkjisuni: writes a jis_uni.txt transfer table built from glibc's EUC-JP
// converter. EUC-JP stores JIS X 0208 row r, cell c as the bytes r|0x80,
// c|0x80 (plane 0) and JIS X 0212 as 0x8F, r|0x80, c|0x80 (plane 1).
//
// usage: mkjisuni [-0] [output]   (-0: plane 0 only; default output stdout)
#include <iconv.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

// The Unicode value of one EUC-JP character, or 0 when the converter has
// none (or gives more than one character, or one outside the BMP).
uint32_t decode(iconv_t cd, const unsigned char* in, size_t inlen) {
  iconv(cd, nullptr, nullptr, nullptr, nullptr);  // reset the state
  char* ip = reinterpret_cast<char*>(const_cast<unsigned char*>(in));
  unsigned char out[16];
  char* op = reinterpret_cast<char*>(out);
  size_t il = inlen, ol = sizeof out;
  if (iconv(cd, &ip, &il, &op, &ol) == size_t(-1) || il != 0) return 0;
  if (sizeof out - ol != 4) return 0;
  const uint32_t u = uint32_t(out[0]) << 24 | uint32_t(out[1]) << 16 | uint32_t(out[2]) << 8 | out[3];
  return u <= 0xFFFF ? u : 0;
}

}  // namespace

int main(int argc, char** argv) {
  bool plane1 = true;
  const char* path = nullptr;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "-0") == 0)
      plane1 = false;
    else if (!path)
      path = argv[i];
    else {
      std::fprintf(stderr, "usage: mkjisuni [-0] [output]\n");
      return 2;
    }
  }

  iconv_t cd = iconv_open("UCS-4BE", "EUC-JP");
  if (cd == iconv_t(-1)) {
    std::fprintf(stderr, "mkjisuni: no EUC-JP converter: %s\n", std::strerror(errno));
    return 1;
  }
  std::vector<std::string> lines;
  for (int plane = 0; plane <= (plane1 ? 1 : 0); ++plane)
    for (int row = 0x21; row <= 0x7E; ++row)
      for (int cell = 0x21; cell <= 0x7E; ++cell) {
        unsigned char euc[3];
        size_t n = 0;
        if (plane) euc[n++] = 0x8F;
        euc[n++] = uint8_t(row | 0x80);
        euc[n++] = uint8_t(cell | 0x80);
        const uint32_t u = decode(cd, euc, n);
        if (!u) continue;
        char line[32];
        std::snprintf(line, sizeof line, "%x %x\n", plane << 16 | row << 8 | cell, unsigned(u));
        lines.emplace_back(line);
      }
  iconv_close(cd);

  std::FILE* out = path ? std::fopen(path, "w") : stdout;
  if (!out) {
    std::fprintf(stderr, "mkjisuni: cannot create %s\n", path);
    return 1;
  }
  std::fprintf(out, "%zu\n", lines.size());
  for (const auto& l : lines) std::fputs(l.c_str(), out);
  if (std::fflush(out) != 0 || (path && std::fclose(out) != 0)) {
    std::fprintf(stderr, "mkjisuni: write error\n");
    return 1;
  }
  return 0;
}
