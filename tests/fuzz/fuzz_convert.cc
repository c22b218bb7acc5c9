// Fuzz target: a whole conversion. The input is cut at "@@KILN@@" into the
// info-file, jis_uni.txt and one to three pxg files. The info-file's first
// line becomes "out", so the font always lands in the scratch directory and
// never at a path the input names; "-n" on that line runs without bitmaps.
// Every run must end with its final line; a complete one leaves out.ttf,
// a refusal before the output is opened leaves none.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>

#include "core/convert.h"
#include "pxg/pxg.h"
#include "fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<std::string_view> parts = split_input(data, size, 5);
  if (parts.size() < 3) return 0;
  const std::string_view line1 = parts[0].substr(0, parts[0].find('\n'));
  const std::string_view rest = parts[0].substr(line1.size());
  put_file("font.info", "out" + std::string(rest));
  put_file("jis_uni.txt", parts[1]);
  std::vector<const char*> argv = {"kilnfont"};
  if (line1.find("-n") != std::string_view::npos) argv.push_back("-n");
  argv.push_back("font.info");
  const char* names[] = {"a.pxg", "b.pxg", "c.pxg"};
  for (size_t k = 2; k < parts.size(); ++k) argv.push_back(names[k - 2]), put_file(names[k - 2], parts[k]);

  static const std::string dir = scratch(""), log = scratch("log"), out = scratch("out.ttf");
  std::remove(out.c_str());
  std::fflush(stdout);
  const int back = open(".", O_RDONLY | O_DIRECTORY);
  if (!std::freopen(log.c_str(), "w", stdout) || back < 0 || chdir(dir.c_str()) != 0) fail("cannot set up the run");
  kilnfont_main(int(argv.size()), argv.data());
  std::fflush(stdout);
  if (fchdir(back) != 0) fail("cannot leave the scratch directory");
  close(back);
  std::ifstream f(log);
  const std::string text(std::istreambuf_iterator<char>(f), {});
  const size_t at = text.rfind('\n', text.size() < 2 ? 0 : text.size() - 2);
  const std::string last = text.substr(at == std::string::npos ? 0 : at + 1);
  const bool written = access(out.c_str(), F_OK) == 0;
  if (last != "complete\n" && last.rfind("error : ", 0) != 0) fail("the log does not end with its final line");
  if (last == "complete\n" && !written) fail("complete without a font");
  if (written && text.find("open for output\n") == std::string::npos) fail("a font written before the output was opened");
  return 0;
}
