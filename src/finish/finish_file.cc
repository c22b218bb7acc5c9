// SPDX-License-Identifier: MIT
// Reading and writing a font file whole, for the commands that finish fonts.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/outfile.h"
#include "finish/finish.h"

bool read_font_file(const char* path, std::vector<uint8_t>& data, struct stat& st) {
  const int fd = open(path, O_RDONLY);
  if (fd < 0) return false;
  bool ok = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  if (ok) {
    data.resize(size_t(st.st_size));
    size_t got = 0;
    while (ok && got < data.size()) {
      const ssize_t k = read(fd, data.data() + got, data.size() - got);
      if (k < 0 && errno == EINTR) continue;
      ok = k > 0;
      if (ok) got += size_t(k);
    }
  }
  close(fd);
  return ok;
}

const char* put_font_file(const char* outname, const std::vector<uint8_t>& data, const char* mime) {
  finished_font whole;  // one piece: data itself, not copied
  whole.pieces.push_back(finished_font::piece{data.data(), 0, data.size()});
  whole.size = data.size();
  return put_font_file(outname, whole, mime);
}

const char* put_font_file(const char* outname, const finished_font& font, const char* mime) {
  outfile o;
  const char* err = open_output(o, outname);
  for (const finished_font::piece& p : font.pieces) {
    if (err) break;
    if (p.len && std::fwrite(font.bytes(p), 1, p.len, o.f) != p.len) err = "cannot write output";
  }
  if (!err) err = close_output(o, outname);
  if (!err) setxattr(outname, "user.mime_type", mime, std::strlen(mime), 0);
  return err;
}

bool write_font_file(const char* outname, const std::vector<uint8_t>& data, std::string& why, const char* mime) {
  const char* err = put_font_file(outname, data, mime);
  if (err) why = std::string(err) + " " + outname;
  return !err;
}

int64_t source_date_epoch() {
  const char* s = std::getenv("SOURCE_DATE_EPOCH");
  if (!s) return -1;
  if (!*s || std::strlen(s) > 12) return -2;
  int64_t v = 0;
  for (; *s; ++s) {
    if (*s < '0' || *s > '9') return -2;
    v = v * 10 + (*s - '0');
  }
  return v;
}
