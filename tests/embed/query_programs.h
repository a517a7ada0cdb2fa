// Test support: the small programs that queries from C run, made as a boot
// file would have made them: member/2 (nondeterministic), thrower/1 (raises
// its argument from Prolog), and the error-term handler's stand-in, which
// makes the term the pending exception as throw/1 does.
#pragma once

#include "core/api_error.h"
#include "core/catch_frames.h"
#include "core/init_state.h"
#include "core/unify.h"
#include "machine/frames.h"
#include "store/db_results.h"
#include "support/emulator_fixture.h"

namespace query_programs {

// member(X, L): the head of L, or member of its tail.
inline lv_pred* member_pred;
inline int list_head(lv_worker* w) {
  lv_term l = lv_deref(w->X[1]);
  return lv_is_list(l) && cunify(w, w->X[0], lv_list_cells(l)[0]) ? 1 : 0;
}
inline int member_tail(lv_worker* w) {
  lv_term l = lv_deref(w->X[1]);
  if (!lv_is_list(l)) return 0;
  w->X[1] = lv_list_cells(l)[1];
  lv_push_continuation_frame(w, member_pred, nullptr);
  return 1;
}

inline int throw_term(lv_worker* w) {
  prolog_store_exception(w);
  lv_unwind_to_catch_frame(w);
  return 0;
}

}  // namespace query_programs

class QueryProgramTest : public EmulatorTest {
 protected:
  void SetUp() override {
    EmulatorTest::SetUp();
    lv_set_prolog_initialized(true);
    role("$error_term_handler", 2, query_programs::throw_term);
    using namespace assembler;
    Assembler first, second;
    first.op(LV_OP_EXECUTE, {P(c_pred("list_head", 2, query_programs::list_head))});
    second.op(LV_OP_EXECUTE, {P(c_pred("member_tail", 2, query_programs::member_tail))});
    member_pred = query_programs::member_pred = clauses("member", 2, {&first, &second});
    // thrower(E) :- '$store_exception'(E), '$unwind_stack'.
    Assembler code;
    code.op(LV_OP_INITCALL, {R(0, {}), P(c_pred("$store_exception", 1, prolog_store_exception)), S(0)})
        .op(LV_OP_CALL, {R(0, {}), P(lv_kind_pred[LV_KIND_BUILTIN_UNWIND_STACK]), S(0)})
        .op(LV_OP_PROGRESS);
    thrower_pred = clauses("thrower", 1, {&code});
    lv_set_api_error(0);
  }
  void TearDown() override {
    lv_db_free_pending_node();
    lv_set_prolog_initialized(false);
    EmulatorTest::TearDown();
  }

  lv_pred* member_pred = nullptr;
  lv_pred* thrower_pred = nullptr;
};
