// Runs bench/0 of a compiled program once and prints the seconds it took
// (loading excluded). Used by bench/run.sh; not a test.
//
//   ql_bench PRELUDE.ql FILE.ql   (the prelude: tests/prolog/prelude.pl compiled)
#include <chrono>
#include <cstdio>
#include <string>

#include "support/ql_runtime.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s PRELUDE.ql FILE.ql\n", argv[0]);
    return 2;
  }
  qlrt::Runtime rt;
  std::string error;
  if (!rt.start() || !rt.load(argv[1], &error) || !rt.load(argv[2], &error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }
  lv_pred* bench = rt.find("bench", 0);
  if (bench == nullptr) return 1;
  auto t0 = std::chrono::steady_clock::now();
  bool ok = false;
  // The first solution only: bench/0 is run once.
  rt.solve(bench, [&](lv_term_ref) { ok = true; });
  auto t1 = std::chrono::steady_clock::now();
  if (!ok || rt.faults() != 0) {
    std::fprintf(stderr, "bench/0 failed\n");
    return 1;
  }
  std::printf("%.3f\n", std::chrono::duration<double>(t1 - t0).count());
  rt.stop();
  return 0;
}
