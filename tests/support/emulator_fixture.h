// Test support: running queries on the emulator. Predicates are made from
// assembled clause blocks or C functions; the role predicates the emulator
// hands goals to are installed under their contract names as stand-ins.
#pragma once

#include <initializer_list>

#include "core/builtins.h"
#include "embed/prolog_contract.h"
#include "machine/emulator.h"
#include "store/call_choicepoint.h"
#include "support/store_fixture.h"

class EmulatorTest : public StoreTest {
 protected:
  void SetUp() override {
    StoreTest::SetUp();
    lv_define_kind_predicates();
    lv_lookup_role_predicates();
  }

  // A predicate written in C.
  lv_pred* c_pred(const char* name, unsigned arity, lv_builtin_function f, const char* module = "user") {
    lv_pred* p = pred(module, name, arity);
    p->definition = reinterpret_cast<void*>(f);
    lv_set_definition_type(p, LV_DEF_C);
    return p;
  }

  // A compiled predicate: one clause per assembled block, no first-argument
  // keys.
  lv_pred* clauses(const char* name, unsigned arity, std::initializer_list<assembler::Assembler*> blocks,
                   const char* module = "user") {
    lv_pred* p = pred(module, name, arity);
    lv_new_clause_list(p, LV_DEF_COMPACTCODE);
    for (assembler::Assembler* a : blocks) lv_append_clause(p, clause(*a), LV_KEY_NONE, 0);
    return p;
  }

  // A role predicate stand-in in module prolog, written in C.
  void role(const char* name, unsigned arity, lv_builtin_function f) {
    c_pred(name, arity, f, "prolog");
    lv_lookup_role_predicates();
  }

  // Runs p with the arguments under a query choicepoint: 1 for success, 0
  // for failure. redo() asks for the next solution.
  int call(lv_pred* p, std::initializer_list<lv_term> args = {}) {
    lv_push_call_choicepoint(w, &query_alternative);
    w->CP = lv_exit_code;
    unsigned i = 0;
    for (lv_term a : args) w->X[i++] = a;
    return lv_enter_emulator_protected(w, LV_ENTER_CALL, p);
  }
  int redo() { return lv_enter_emulator_protected(w, LV_ENTER_FAIL, nullptr); }

  // The query choicepoint's alternative: EXIT_TOPLEVEL with the result 0.
  alignas(8) static inline uint32_t query_exit[3] = {16, lv_opcode(LV_OP_EXIT_TOPLEVEL), 0};
  static inline lv_try_record query_alternative = {nullptr, &query_exit[1], nullptr, 48, lv_opcode(LV_OP_TRY)};
};
