// The saved-state round trip of a compiled program, for
// tests/store/state_roundtrip.sh.
//
//   state_answers run BOOT.ql PROGRAM.ql MODULE
//     boots the Prolog level from BOOT.ql, loads PROGRAM.ql into MODULE
//     (prolog, or user with the program's own module directives), runs its
//     setup/0 when it has one, and prints every answer of answer/2 (of
//     MODULE).
//   state_answers save BOOT.ql PROGRAM.ql MODULE STATE KIND
//     the same up to setup/0, then prints the program's listing, saves a
//     state of KIND (all, or all_but_prolog) to STATE, restores it in the
//     same engine at once, and prints the listing and the answers.
//   state_answers restore STATE MODULE [BOOT.ql]
//     a fresh engine (after BOOT.ql when given) restores STATE as start-up
//     does and prints the listing and the answers.
// Each listing and answer block follows a line "== <what>". The script
// compares the blocks. Exit status 1 when something failed.
#include <cstdio>
#include <string>

#include "core/init_state.h"
#include "store/saved_state.h"
#include "support/program_listing.h"
#include "support/ql_runtime.h"

namespace {

void print_answers(qlrt::Runtime& rt, const char* module) {
  std::printf("== answers\n");
  lv_pred* answer = rt.find("answer", 2, module);
  if (answer == nullptr) return;
  rt.solve(answer, [&](lv_term_ref args) {
    qlrt::Canon canon;
    std::string name = canon.text(rt.arg(args));
    std::string result = canon.text(rt.arg(args + 1));
    std::printf("%s = %s\n", name.c_str(), result.c_str());
  });
}

void print_listing(qlrt::Runtime& rt, const std::vector<std::string>& skip) {
  std::printf("== listing\n%s", program_listing::text(rt.worker(), skip).c_str());
}

// A full state's listing leaves nothing out; over a booted system the
// system itself is not compared.
std::vector<std::string> skipped(bool all) {
  return all ? std::vector<std::string>{} : std::vector<std::string>{"prolog"};
}

bool call_prolog(qlrt::Runtime& rt, const char* name, unsigned arity, std::vector<lv_term> args) {
  lv_pred* p = rt.find(name, arity);
  return p != nullptr && rt.solve(p, [](lv_term_ref) {}, 1, args) == 1;
}

}  // namespace

int main(int argc, char** argv) {
  std::string mode = argc > 1 ? argv[1] : "";
  qlrt::Runtime rt;
  if (!rt.start()) {
    std::fprintf(stderr, "the engine did not start\n");
    return 1;
  }
  std::string error;
  if ((mode == "save" && argc == 7) || (mode == "run" && argc == 5)) {
    const char* module = argv[4];
    bool all = mode == "save" && std::string(argv[6]) == "all";
    if (!rt.load(argv[2], &error) || !rt.boot()) {
      std::fprintf(stderr, "boot failed: %s\n", error.c_str());
      return 1;
    }
    lv_set_prolog_initialized(true);
    rt.set_typein(module);
    if (!rt.load(argv[3], &error, module)) {
      std::fprintf(stderr, "%s\n", error.c_str());
      return 1;
    }
    lv_pred* setup = rt.find("setup", 0, module);
    if (setup != nullptr && lv_definition_type(setup) != LV_DEF_UNDEFINED && rt.solve(setup, [](lv_term_ref) {}, 1) != 1) {
      std::fprintf(stderr, "setup/0 failed\n");
      return 1;
    }
    if (mode == "run") {
      print_answers(rt, module);
      rt.stop();
      return rt.faults() == 0 ? 0 : 1;
    }
    print_listing(rt, skipped(all));
    if (!call_prolog(rt, "$save", 3, {rt.atom(argv[5]), lv_make_small(all ? 1 : 0), LV_ATOM_NIL})) {
      std::fprintf(stderr, "$save failed\n");
      return 1;
    }
    if (!call_prolog(rt, "$restore", 2, {rt.atom(argv[5]), LV_ATOM_NIL})) {
      std::fprintf(stderr, "$restore failed\n");
      return 1;
    }
    lv_lookup_role_predicates();
    print_listing(rt, skipped(all));
    print_answers(rt, module);
  } else if (mode == "restore" && (argc == 4 || argc == 5)) {
    const char* module = argv[3];
    if (argc == 5 && (!rt.load(argv[4], &error) || !rt.boot())) {
      std::fprintf(stderr, "boot failed: %s\n", error.c_str());
      return 1;
    }
    char message[512];
    int64_t rc = lv_restore_saved_state(rt.worker(), argv[2], message, sizeof message);
    if (rc != 0) {
      std::fprintf(stderr, "restore failed (%lld): %s\n", static_cast<long long>(rc), message);
      return 1;
    }
    lv_set_prolog_initialized(true);
    lv_lookup_role_predicates();
    print_listing(rt, skipped(argc == 4));
    print_answers(rt, module);
  } else {
    std::fprintf(stderr,
                 "usage: %s run BOOT.ql PROGRAM.ql MODULE | save BOOT.ql PROGRAM.ql MODULE STATE KIND | "
                 "restore STATE MODULE [BOOT.ql]\n",
                 argv[0]);
    return 2;
  }
  long faults = rt.faults();
  rt.stop();
  return faults == 0 ? 0 : 1;
}
