// Times keston-convert against srec_cat on the same conversions of a full
// 64 KB image and prints both times and their ratio.  Each conversion is a
// whole process run, as a user would start it; the median of the runs is
// reported so one slow run on a busy machine does not decide the figure.
//
//   bench_convert [runs]      (default 15 runs per conversion)
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

extern char** environ;

namespace {

// Runs argv with its screen output discarded; the wall time in milliseconds,
// or a negative value when it could not run or failed.
double TimeRun(const std::vector<std::string>& args) {
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  auto start = std::chrono::steady_clock::now();
  pid_t pid = 0;
  int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return -1;
  int status = 0;
  waitpid(pid, &status, 0);
  auto end = std::chrono::steady_clock::now();
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return -1;
  return std::chrono::duration<double, std::milli>(end - start).count();
}

double Median(const std::vector<std::string>& args, int runs) {
  std::vector<double> times;
  for (int i = 0; i < runs; ++i) {
    double t = TimeRun(args);
    if (t < 0) return -1;
    times.push_back(t);
  }
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 15;
  char tmpl[] = "/tmp/keston-bench-XXXXXX";
  const char* dirp = mkdtemp(tmpl);
  if (!dirp) {
    std::perror("mkdtemp");
    return 1;
  }
  const std::string dir = dirp;
  const std::string ours = KESTON_CONVERT;

  // A full image of varied bytes, and the same image as S-records.
  std::vector<unsigned char> image(0x10000);
  unsigned x = 2463534242u;
  for (auto& b : image) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    b = static_cast<unsigned char>(x);
  }
  const std::string bin = dir + "/image.bin", s19 = dir + "/image.s19";
  FILE* f = std::fopen(bin.c_str(), "wb");
  if (!f || std::fwrite(image.data(), 1, image.size(), f) != image.size() || std::fclose(f) != 0) {
    std::fprintf(stderr, "cannot write %s\n", bin.c_str());
    return 1;
  }
  if (TimeRun({ours, bin, s19}) < 0) {
    std::fprintf(stderr, "keston-convert failed to make %s\n", s19.c_str());
    return 1;
  }

  struct Conversion {
    const char* name;
    std::vector<std::string> oursArgs, theirsArgs;
  } conversions[] = {
      {"s19 -> bin", {ours, s19, dir + "/a.bin"}, {"srec_cat", s19, "-o", dir + "/b.bin", "-binary"}},
      {"bin -> s19",
       {ours, bin, dir + "/a.s19"},
       {"srec_cat", bin, "-binary", "-o", dir + "/b.s19", "-motorola", "-address-length=2", "-obs=32"}},
      {"bin -> hex",
       {ours, bin, dir + "/a.hex"},
       {"srec_cat", bin, "-binary", "-o", dir + "/b.hex", "-hex-dump"}},
  };

  std::printf("full 64 KB image, median of %d runs per conversion (whole process, wall time)\n", runs);
  std::printf("%-12s %16s %12s %8s\n", "conversion", "keston-convert", "srec_cat", "ratio");
  for (const Conversion& c : conversions) {
    double a = Median(c.oursArgs, runs);
    double b = Median(c.theirsArgs, runs);
    if (a < 0 || b < 0) {
      std::printf("%-12s %16s %12s %8s\n", c.name, a < 0 ? "failed" : "ok", b < 0 ? "failed" : "ok", "-");
      continue;
    }
    std::printf("%-12s %13.2f ms %9.2f ms %8.2f\n", c.name, a, b, a / b);
  }
  std::printf("ratio = keston-convert time / srec_cat time (below 1: keston-convert is faster)\n");
  std::system(("rm -rf '" + dir + "'").c_str());
  return 0;
}
