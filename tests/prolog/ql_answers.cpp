// The emulator side of the differential test: boots the Prolog level from
// its boot file, loads a compiled corpus file through the quick-load reader
// into module prolog (the corpus calls the engine's built-ins) and prints
// every solution of answer(Name, Result), in order, in the canonical form
// of answers.pl.
// Usage: ql_answers BOOT.ql FILE.ql
//        ql_answers BOOT.ql --items FILE.items
//        ql_answers BOOT.ql --consult FILE.pl
// With --items the clauses are made in memory from the compiler's item lists
// ($make_bytecode_object) instead of read as code blocks; with --consult the
// source is loaded by consult/1 on the system, into module prolog.
// Exit status 1 when loading failed or an exception was not caught.
#include <cstdio>
#include <string>

#include "support/ql_runtime.h"

int main(int argc, char** argv) {
  std::string mode = argc == 4 ? argv[2] : "";
  bool items = mode == "--items", consult = mode == "--consult";
  if (argc != 3 && !items && !consult) {
    std::fprintf(stderr, "usage: %s BOOT.ql [--items|--consult] FILE\n", argv[0]);
    return 2;
  }
  const char* file = argv[argc - 1];
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
  rt.set_typein("prolog");
  if (consult) {
    lv_pred* load = rt.find("consult", 1);
    long faults = rt.faults();
    if (load == nullptr || rt.solve(load, [](lv_term_ref) {}, 1, {rt.atom(file)}) != 1 || rt.faults() != faults) {
      std::fprintf(stderr, "consult(%s) did not succeed\n", file);
      return 1;
    }
  } else if (!(items ? rt.load_items(file, &error) : rt.load(file, &error))) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }
  lv_pred* answer = rt.find("answer", 2);
  if (answer == nullptr) {
    std::fprintf(stderr, "%s defines no answer/2\n", file);
    return 1;
  }
  rt.solve(answer, [&](lv_term_ref args) {
    qlrt::Canon canon;
    std::string name = canon.text(rt.arg(args));
    std::string result = canon.text(rt.arg(args + 1));
    std::printf("%s = %s\n", name.c_str(), result.c_str());
  });
  long faults = rt.faults();
  rt.stop();
  return faults == 0 ? 0 : 1;
}
