// Runs bench/0 of a compiled program once and prints the user CPU seconds it
// took (loading excluded): the measure that swipl's statistics(cputime)
// gives on the other side of bench/run.sh. Not a test.
//
//   ql_bench BOOT.ql FILE.ql             (the boot file: build/boot/lvds.ql)
//   ql_bench BOOT.ql --consult FILE.pl   (the source loaded by consult/1)
#include <sys/resource.h>

#include <cstdio>
#include <string>

#include "support/ql_runtime.h"

namespace {

double user_seconds() {
  rusage usage;
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec) + static_cast<double>(usage.ru_utime.tv_usec) / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
  bool consult = argc == 4 && std::string(argv[2]) == "--consult";
  if (argc != 3 && !consult) {
    std::fprintf(stderr, "usage: %s BOOT.ql [--consult] FILE\n", argv[0]);
    return 2;
  }
  qlrt::Runtime rt;
  std::string error;
  if (!rt.start() || !rt.load(argv[1], &error) || !rt.boot()) {
    std::fprintf(stderr, "the boot file did not boot: %s\n", error.c_str());
    return 1;
  }
  // The program is loaded into prolog, as the differential test's corpus.
  rt.set_typein("prolog");
  if (consult) {
    lv_pred* load = rt.find("consult", 1);
    if (load == nullptr || rt.solve(load, [](lv_term_ref) {}, 1, {rt.atom(argv[3])}) != 1 || rt.faults() != 0) {
      std::fprintf(stderr, "consult(%s) did not succeed\n", argv[3]);
      return 1;
    }
  } else if (!rt.load(argv[2], &error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }
  lv_pred* bench = rt.find("bench", 0);
  if (bench == nullptr) return 1;
  double t0 = user_seconds();
  bool ok = false;
  // The first solution only: bench/0 is run once.
  rt.solve(bench, [&](lv_term_ref) { ok = true; }, 1);
  double t1 = user_seconds();
  if (!ok || rt.faults() != 0) {
    std::fprintf(stderr, "bench/0 failed\n");
    return 1;
  }
  std::printf("%.3f\n", t1 - t0);
  rt.stop();
  return 0;
}
