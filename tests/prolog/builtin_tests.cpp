// The harness of the Prolog tests: boots the Prolog level from its boot
// file, loads a compiled test table (with builtins/runner.pl and the expected
// answers) into module user, runs user:run_tests/3 and the cases of r/3
// (goals that end the query with a reserved exception) and prints the
// report: each failed case with the answer it gave and the one expected,
// then "N passed, N failed".
// Usage: builtin_tests BOOT.ql TESTS.ql
// Exit status 1 when a case failed, loading failed or an exception was not
// caught.
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "support/ql_runtime.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s BOOT.ql TESTS.ql\n", argv[0]);
    return 2;
  }
  qlrt::Runtime rt;
  if (!rt.start()) {
    std::fprintf(stderr, "the engine did not start\n");
    return 1;
  }
  std::string error;
  if (!rt.load(argv[1], &error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }
  if (!rt.boot()) {
    std::fprintf(stderr, "boot/0 did not succeed\n");
    return 1;
  }
  if (!rt.load(argv[2], &error, "user")) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }
  lv_pred* run = rt.find("run_tests", 3, "user");
  long passed = -1, failed = -1;
  rt.solve(run, [&](lv_term_ref args) {
    passed = lv_small_value(rt.arg(args));
    failed = lv_small_value(rt.arg(args + 1));
    for (lv_term l = rt.arg(args + 2); lv_is_list(l); l = lv_deref(lv_list_cells(l)[1])) {
      const lv_term* f = lv_struct_cells(lv_deref(lv_list_cells(l)[0]));
      qlrt::Canon canon;
      std::string name = canon.text(f[1]), got = canon.text(f[2]), expected = canon.text(f[3]);
      std::printf("FAILED %s\n  got      %s\n  expected %s\n", name.c_str(), got.c_str(), expected.c_str());
    }
  }, 1);
  if (passed < 0) {
    std::fprintf(stderr, "run_tests/3 did not succeed\n");
    return 1;
  }
  std::vector<std::pair<lv_term, std::string>> reserved;
  rt.solve(rt.find("r", 3, "user"), [&](lv_term_ref args) {
    reserved.emplace_back(rt.arg(args), qlrt::Canon().text(rt.arg(args + 2)));
  });
  long faults = rt.faults();
  rt.set_quiet(true);
  for (const auto& [name, ball] : reserved) {
    rt.solve(rt.find("run_reserved", 1, "user"), [](lv_term_ref) {}, 1, {name});
    if (rt.faults() == faults + 1 && rt.last_exception() == ball) {
      passed++;
    } else {
      failed++;
      std::printf("FAILED %s\n  got      %s\n  expected %s\n", lv_atom_text(name),
                  rt.faults() == faults ? "no exception" : rt.last_exception().c_str(), ball.c_str());
    }
    faults = rt.faults();
  }
  rt.set_quiet(false);
  std::printf("%ld passed, %ld failed\n", passed, failed);
  rt.stop();
  return failed == 0 ? 0 : 1;
}
