// SPDX-License-Identifier: MIT
// Writing the web fonts and their specimen page into a directory.
#include <sys/stat.h>

#include <cerrno>

#include "web/web.h"

std::string web_base(const std::string& font) {
  std::string b = font.substr(font.rfind('/') == std::string::npos ? 0 : font.rfind('/') + 1);
  if (b.size() > 4 && b.compare(b.size() - 4, 4, ".ttf") == 0) b.resize(b.size() - 4);
  return b;
}

bool write_web_fonts(const char* name, const uint8_t* in, size_t n, const finish_opts& opts, const char* dir,
                     const std::string& base, std::string& err) {
  webset set;
  if (!make_web_fonts(in, n, opts, set, err)) {
    err = std::string(name) + ": " + err;
    return false;
  }
  if (mkdir(dir, 0777) != 0 && errno != EEXIST) {
    err = std::string("cannot make directory ") + dir;
    return false;
  }
  const std::string d = std::string(dir) + "/";
  for (const webfont& f : set.fonts)
    if (!write_font_file((d + base + "-" + std::to_string(f.size) + ".woff2").c_str(), f.woff2, err, "font/woff2"))
      return false;
  const std::string page = specimen_page(set, base);
  return write_font_file((d + "index.html").c_str(), std::vector<uint8_t>(page.begin(), page.end()), err,
                         "text/html");
}
