// Runs the compiler on the system itself: boots the Prolog level from a boot
// file (which holds the compiler) and calls
// prolog:lvc_compile_files(Files, Module, Out, ql), which reads the sources
// with the system's reader and writes the quick-load file through its
// streams.
// Usage: lvqlc_system BOOT.ql --out OUTPUT.ql [--module M] SOURCE.pl...
// Exit status 0 when the file was written, 1 when the compiler failed or
// raised an error (printed on standard error), 2 on a usage error.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "support/ql_runtime.h"

namespace {

int usage(const char* program) {
  std::fprintf(stderr, "usage: %s BOOT.ql --out OUTPUT.ql [--module M] SOURCE.pl...\n", program);
  return 2;
}

// The list of the atoms of texts, built on the heap.
lv_term atom_list(qlrt::Runtime& rt, const std::vector<const char*>& texts) {
  lv_worker* w = rt.worker();
  lv_term list = LV_ATOM_NIL;
  for (size_t i = texts.size(); i-- > 0;) {
    lv_term* cell = w->H;
    w->H += 2;
    cell[0] = rt.atom(texts[i]);
    cell[1] = list;
    list = lv_make_list(cell);
  }
  return list;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 5 || std::strcmp(argv[2], "--out") != 0) return usage(argv[0]);
  const char* boot = argv[1];
  const char* out = argv[3];
  const char* module = "user";
  int first = 4;
  if (std::strcmp(argv[first], "--module") == 0) {
    if (argc < first + 3) return usage(argv[0]);
    module = argv[first + 1];
    first += 2;
  }
  std::vector<const char*> sources(argv + first, argv + argc);

  qlrt::Runtime rt;
  if (!rt.start()) {
    std::fprintf(stderr, "the engine did not start\n");
    return 1;
  }
  std::string error;
  if (!rt.load(boot, &error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }
  if (!rt.boot()) {
    std::fprintf(stderr, "boot/0 did not succeed\n");
    return 1;
  }
  lv_pred* compile = rt.find("lvc_compile_files", 4);
  if (compile == nullptr) {
    std::fprintf(stderr, "the boot file holds no compiler\n");
    return 1;
  }
  lv_term files = atom_list(rt, sources);
  long n = rt.solve(compile, [](lv_term_ref) {}, 1, {files, rt.atom(module), rt.atom(out), rt.atom("ql")});
  bool ok = n == 1 && rt.faults() == 0;
  if (n == 0 && rt.faults() == 0) std::fprintf(stderr, "the compiler failed\n");
  rt.stop();
  return ok ? 0 : 1;
}
