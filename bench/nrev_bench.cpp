// Naive reverse of a 30-element list, run many times on hand-assembled code:
// reports logical inferences per second (496 per run). Not a test.
//
//   nrev_bench [runs]
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "core/atoms.h"
#include "core/memory.h"
#include "core/predefined_atoms.h"
#include "core/worker.h"
#include "embed/prolog_contract.h"
#include "machine/emulator.h"
#include "store/call_choicepoint.h"
#include "store/clause_list.h"
#include "store/predicates.h"
#include "store/static_code.h"
#include "store/store_init.h"
#include "support/nrev_program.h"

namespace {

constexpr int LIST_LENGTH = 30;
constexpr long INFERENCES_PER_RUN = (LIST_LENGTH + 1) * (LIST_LENGTH + 2) / 2;

// The query's choicepoint: its alternative leaves the emulator with 0.
alignas(8) uint32_t query_exit[3] = {16, lv_opcode(LV_OP_EXIT_TOPLEVEL), 0};
lv_try_record query_alternative = {nullptr, &query_exit[1], nullptr, 48, lv_opcode(LV_OP_TRY)};

// A predicate of module user with an empty clause list.
lv_pred* new_pred(const char* name, unsigned arity) {
  lv_module* user = find_module(lv_atom_from_text("user", LV_ATOM_FIND_OR_CREATE), 1);
  lv_pred* p = lv_lookup_predicate(user, lv_atom_from_text(name, LV_ATOM_FIND_OR_CREATE), arity, LV_LOOKUP_CREATE);
  lv_new_clause_list(p, LV_DEF_COMPACTCODE);
  return p;
}

// One run under a query choicepoint, undone again by failing into it.
bool run_once(lv_worker* w, lv_pred* nrev, lv_term list, lv_term result) {
  lv_push_call_choicepoint(w, &query_alternative);
  w->CP = lv_exit_code;
  w->X[0] = list;
  w->X[1] = result;
  int ok = lv_enter_emulator_protected(w, LV_ENTER_CALL, nrev);
  lv_enter_emulator_protected(w, LV_ENTER_FAIL, nullptr);
  return ok == 1;
}

// The first element of the reversed list, checked once.
int64_t first_of_reverse(lv_worker* w, lv_pred* nrev, lv_term list, lv_term result) {
  lv_push_call_choicepoint(w, &query_alternative);
  w->CP = lv_exit_code;
  w->X[0] = list;
  w->X[1] = result;
  if (lv_enter_emulator_protected(w, LV_ENTER_CALL, nrev) != 1) return -1;
  lv_term r = lv_deref(result);
  int64_t first = lv_is_list(r) ? lv_small_value(lv_deref(lv_list_cells(r)[0])) : -1;
  lv_enter_emulator_protected(w, LV_ENTER_FAIL, nullptr);
  return first;
}

}  // namespace

int main(int argc, char** argv) {
  long runs = argc > 1 ? std::atol(argv[1]) : 100000;
  if (runs <= 0) runs = 1;
  lv_mem_default_hooks();
  if (lv_mem_init(0) != 0) return 1;
  lv_worker* w = lv_create_worker();
  if (w == nullptr) return 1;
  lv_set_current_worker(w);
  lv_atoms_startup();
  lv_store_init();
  lv_define_kind_predicates();
  lv_lookup_role_predicates();

  lv_pred* nrev = new_pred("nrev", 2);
  programs::define_nrev(new_pred("app", 3), nrev);
  lv_term list = LV_ATOM_NIL;
  for (int i = LIST_LENGTH; i >= 1; i--) {
    lv_term* cell = w->H;
    cell[0] = lv_make_small(i);
    cell[1] = list;
    w->H = cell + 2;
    list = lv_make_list(cell);
  }
  lv_term* var = w->H++;
  *var = lv_make_ref(var);
  lv_term result = *var;

  if (first_of_reverse(w, nrev, list, result) != LIST_LENGTH) {
    std::fprintf(stderr, "nrev_bench: wrong result\n");
    return 1;
  }
  for (long i = 0; i < runs / 10; i++) run_once(w, nrev, list, result);  // warm-up

  auto start = std::chrono::steady_clock::now();
  for (long i = 0; i < runs; i++) {
    if (!run_once(w, nrev, list, result)) {
      std::fprintf(stderr, "nrev_bench: run %ld failed\n", i);
      return 1;
    }
  }
  std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
  double lips = static_cast<double>(runs) * INFERENCES_PER_RUN / elapsed.count();
  std::printf("nrev%d: %ld runs of %ld inferences in %.3f s: %.1f million LIPS\n", LIST_LENGTH, runs,
              INFERENCES_PER_RUN, elapsed.count(), lips / 1e6);
  lv_destroy_worker(w);
  lv_mem_deinit();
  return 0;
}
