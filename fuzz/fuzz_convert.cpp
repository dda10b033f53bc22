// The converter's argument and extension handling on real files: the first
// bytes choose the names, the rest is the input file's content.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "converter/ConsoleMain.h"

namespace {
const char* const kInExt[] = {".s19", ".bin", ".boo", ".S19", "", ".txt", ".s19.bin", "."};
const char* const kOutExt[] = {".s19", ".bin", ".hex", "", ".HEX", ".out", "."};

// The scratch folder, made on first use and removed at exit.  A plain array
// so that it is still there when the exit handler runs.
char g_dir[] = "/tmp/keston-fuzz-convert-XXXXXX";

std::string Dir() {
  static bool made = [] {
    if (!mkdtemp(g_dir)) std::abort();
    mkdir((std::string(g_dir) + "/dir.d").c_str(), 0700);
    std::atexit([] { std::system((std::string("rm -rf '") + g_dir + "'").c_str()); });
    return true;
  }();
  (void)made;
  return g_dir;
}

long FileSize(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 ? static_cast<long>(st.st_size) : -1;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  const std::string dir = Dir();
  std::string inExt = kInExt[data[0] % (sizeof kInExt / sizeof *kInExt)];
  std::string outExt = kOutExt[data[1] % (sizeof kOutExt / sizeof *kOutExt)];
  int mode = data[2] % 4;
  std::string folder = (data[2] & 4) ? dir + "/dir.d" : dir;
  std::string in = folder + "/in" + inExt;
  std::string out = folder + "/out" + outExt;
  if (mode == 3) out = dir + "/dir.d/missing/out" + outExt;  // cannot be created

  FILE* f = std::fopen(in.c_str(), "wb");
  if (!f) std::abort();
  std::fwrite(data + 3, 1, size - 3, f);
  std::fclose(f);
  unlink(out.c_str());

  std::string prog = "keston-convert";
  char* argv[] = {prog.data(), in.data(), out.data(), nullptr};
  int argc = mode == 0 ? 2 : 3;
  int rc = ConsoleMain(argc, argv);
  if (rc != 0 && rc != 1) std::abort();

  bool knownIn = inExt == ".s19" || inExt == ".bin" || inExt == ".boo" || inExt == ".s19.bin";
  if (!knownIn && rc != 1) std::abort();
  if (rc == 0 && argc == 3 && mode != 3) {
    long expected = outExt == ".bin" ? 65536 : outExt == ".hex" ? 2048 * 65 : -2;
    if (expected != -2 && FileSize(out) != expected) std::abort();
  }
  unlink(in.c_str());
  unlink(out.c_str());
  return 0;
}
