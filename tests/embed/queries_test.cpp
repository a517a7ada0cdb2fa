// Queries run from C: handles, opening, solutions, cut and close, nesting,
// stale ids, exceptions raised in Prolog and from C, and abort.
#include <gtest/gtest.h>

#include <string>

#include "core/api_error.h"
#include "core/catch_frames.h"
#include "core/choice_builtins.h"
#include "core/cleanups.h"
#include "core/errors.h"
#include "core/fault.h"
#include "core/init_state.h"
#include "core/predefined_atoms.h"
#include "core/termrefs.h"
#include "core/unify.h"
#include "embed/api_exceptions.h"
#include "embed/engine_reset.h"
#include "embed/queries.h"
#include "embed/query_programs.h"
#include "machine/frames.h"
#include "machine/heap_blobs.h"
#include "machine/recovery.h"
#include "store/db_results.h"
#include "support/terms.h"

namespace {

using namespace assembler;
using terms::small;

int put_one(lv_worker* w) { return cunify(w, w->X[0], small(1)); }

// raise_from_c(E): raises E through the C interface.
int raise_from_c(lv_worker* w) {
  lv_term_ref t = LV_new_term_ref();
  lv_term_ref_cell(w, t) = w->X[0];
  return LV_raise_exception(t);
}

class QueryTest : public QueryProgramTest {
 protected:
  lv_term_ref ref(lv_term t) {
    lv_term_ref r = LV_new_term_ref();
    lv_term_ref_cell(w, r) = t;
    return r;
  }
  lv_term value(lv_term_ref r) { return lv_deref(lv_term_ref_cell(w, r)); }
  lv_term abc() { return terms::list(w, {atom("a"), atom("b"), atom("c")}); }
};

TEST_F(QueryTest, PredicateHandles) {
  lv_pred* p = LV_predicate("member", 2, "user");
  EXPECT_EQ(p, member_pred);
  EXPECT_NE(p->flags & LV_PRED_RESTORE_MARK, 0u);
  EXPECT_EQ(LV_pred(atom("member"), 2, atom("user")), member_pred);
  EXPECT_EQ(LV_predicate("member", 256, "user"), nullptr);
  EXPECT_EQ(LV_get_errno(), 4);
  EXPECT_EQ(LV_predicate("bad\xff", 1, "user"), nullptr);
  EXPECT_EQ(LV_get_errno(), LV_ERR_NO_ATOM);
  EXPECT_EQ(LV_pred(small(1), 1, atom("user")), nullptr);
  EXPECT_EQ(LV_get_errno(), 4);
  // No module: the default one, prolog while the boot file loads, then user.
  lv_pred* in_prolog = LV_predicate("member", 2, "");
  ASSERT_NE(in_prolog, nullptr);
  EXPECT_EQ(in_prolog->owner_module, lv_prolog_module());
  lv_set_typein_module(find_module(atom("user"), 0));
  EXPECT_EQ(LV_predicate("member", 2, nullptr), member_pred);
  lv_set_typein_module(lv_prolog_module());
}

TEST_F(QueryTest, OpeningRefusesWhatItCannotRun) {
  lv_term_ref x = ref(terms::var(w));
  lv_term_ref l = ref(abc());
  EXPECT_EQ(LV_open_query(nullptr), 0u);
  EXPECT_EQ(LV_get_errno(), LV_ERR_INVALID_TERM_REF);
  EXPECT_EQ(LV_open_query(member_pred, x, lv_term_ref{100000}), 0u);
  EXPECT_EQ(LV_get_errno(), LV_ERR_INVALID_TERM_REF);
  EXPECT_EQ(LV_query(nullptr), -1);
  lv_set_prolog_initialized(false);
  EXPECT_EQ(LV_open_query(member_pred, x, l), 0u);
  EXPECT_EQ(LV_get_errno(), LV_ERR_NOT_INITIALIZED);
}

TEST_F(QueryTest, DeterministicQueryKeepsOrUndoesItsBindings) {
  lv_pred* p = c_pred("put_one", 1, put_one);
  lv_term* b = w->B;
  lv_term_ref x = ref(terms::var(w));
  EXPECT_EQ(LV_query_cut_fail(p, x), 1);
  EXPECT_TRUE(lv_is_ref(value(x)));
  EXPECT_EQ(LV_query(p, x), 1);
  EXPECT_EQ(value(x), small(1));
  EXPECT_EQ(LV_query(p, x), 1);  // 1 = 1
  lv_term_ref two = ref(small(2));
  EXPECT_EQ(LV_query(p, two), 0);
  EXPECT_EQ(LV_get_errno(), 0);
  EXPECT_EQ(w->B, b);
}

TEST_F(QueryTest, TheQueryFrameHoldsTheGoalItsModeAndTheReferenceTop) {
  lv_term_ref x = ref(terms::var(w));
  lv_term_ref l = ref(abc());
  int32_t top = w->termref_top;
  w->X[3] = lv_make_struct(w->H + 1000);  // left over from some earlier run
  lv_query_id q = LV_open_query(member_pred, x, l);
  ASSERT_NE(q, 0u);
  ASSERT_EQ(reinterpret_cast<char*>(w->choice_base) - reinterpret_cast<char*>(w->B), static_cast<int64_t>(q & ~7u));
  const lv_choicepoint* c = lv_choice_view(w->B);
  EXPECT_EQ(c->size(), 80);
  EXPECT_EQ(terms::show(c->args[0]), terms::show(terms::fn(w, LV_ATOM_COLON, {atom("user"),
                                                     terms::fn(w, atom("member"), {value(x), value(l)})})));
  EXPECT_EQ(c->args[1], small(3));
  EXPECT_EQ(c->args[2], small(top));
  EXPECT_EQ(c->args[3], LV_ATOM_NIL);
  ASSERT_EQ(LV_next_solution(q), 1);
  EXPECT_EQ(c->args[1], small(0));
  EXPECT_EQ(LV_close_query(q), 1);
}

TEST_F(QueryTest, NondeterministicQueryGivesEverySolution) {
  lv_term* b = w->B;
  int32_t top = w->termref_top;
  lv_term_ref x = ref(terms::var(w));
  int refs[2] = {static_cast<int>(x), static_cast<int>(ref(abc()))};
  lv_query_id q = LV_open_query_array(member_pred, refs);
  ASSERT_NE(q, 0u);
  EXPECT_EQ(q & 7, 3u);
  for (const char* expected : {"a", "b", "c"}) {
    ASSERT_EQ(LV_next_solution(q), 1);
    EXPECT_EQ(value(x), atom(expected));
    LV_new_term_refs(3);  // released at the next solution
  }
  EXPECT_EQ(LV_next_solution(q), 0);
  EXPECT_TRUE(lv_is_ref(value(x)));
  EXPECT_EQ(LV_next_solution(q), 0);
  EXPECT_EQ(LV_close_query(q), 1);
  EXPECT_EQ(w->B, b);
  EXPECT_EQ(w->termref_top, top + 2);
}

TEST_F(QueryTest, CutKeepsAndCloseUndoesTheLastSolution) {
  lv_term* b = w->B;
  lv_term* e = w->E;
  lv_term* local = w->local_top;
  for (bool cut : {true, false}) {
    lv_term_ref x = ref(terms::var(w));
    lv_query_id q = LV_open_query(member_pred, x, ref(abc()));
    ASSERT_EQ(LV_next_solution(q), 1);
    ASSERT_EQ(LV_next_solution(q), 1);
    EXPECT_EQ(cut ? LV_cut_query(q) : LV_close_query(q), 1);
    if (cut)
      EXPECT_EQ(value(x), atom("b"));
    else
      EXPECT_TRUE(lv_is_ref(value(x)));
    EXPECT_EQ(w->B, b);
    EXPECT_EQ(w->E, e);
    EXPECT_EQ(w->local_top, local);
  }
}

TEST_F(QueryTest, StaleAndForeignIdsAreRefused) {
  lv_term_ref x = ref(terms::var(w));
  lv_term_ref y = ref(terms::var(w));
  lv_term_ref l = ref(abc());
  lv_query_id outer = LV_open_query(member_pred, x, l);
  lv_query_id inner = LV_open_query(member_pred, y, l);
  ASSERT_EQ(LV_cut_query(inner), 1);
  // Already discarded: cut and close accept it, a solution is refused.
  EXPECT_EQ(LV_next_solution(inner), -1);
  EXPECT_EQ(LV_get_errno(), LV_ERR_INVALID_QUERY);
  EXPECT_EQ(LV_cut_query(inner), 1);
  EXPECT_EQ(LV_close_query(inner), 1);
  // A choicepoint of another kind now lies where the inner frame was.
  alignas(8) static uint32_t code[3] = {16, lv_opcode(LV_OP_FAIL), 0};
  static lv_try_record other = {nullptr, &code[1], nullptr, 80, lv_opcode(LV_OP_TRY)};
  lv_push_call_choicepoint(w, &other);
  ASSERT_EQ(w->B, reinterpret_cast<lv_term*>(reinterpret_cast<char*>(w->choice_base) - (inner & ~uint64_t{7})));
  for (lv_query_id bad : {inner, lv_query_id{16}, lv_query_id{0}, lv_query_id{uint64_t{1} << 40 | 3}}) {
    lv_set_api_error(0);
    EXPECT_EQ(LV_next_solution(bad), -1) << bad;
    EXPECT_EQ(LV_get_errno(), LV_ERR_INVALID_QUERY);
    EXPECT_EQ(LV_cut_query(bad), -1) << bad;
    EXPECT_EQ(LV_close_query(bad), -1) << bad;
  }
  lv_pop_call_choicepoint(w);
  ASSERT_EQ(LV_next_solution(outer), 1);
  EXPECT_EQ(value(x), atom("a"));
  EXPECT_EQ(LV_close_query(outer), 1);
  EXPECT_TRUE(lv_is_ref(value(x)));
}

// count_members(L, N): N is the number of solutions of a query of its own
// on member(_, L); asking the query that runs it meanwhile is refused.
lv_query_id running_query;
int refused_outer;
int count_members(lv_worker* w) {
  lv_term_ref args = LV_new_term_refs(3);
  lv_term_ref_cell(w, args) = w->X[0];
  lv_term_ref_cell(w, args + 1) = w->X[1];
  lv_term_ref_cell(w, args + 2) = terms::var(w);
  lv_query_id q = LV_open_query(query_programs::member_pred, args + 2, args);
  int n = 0;
  while (LV_next_solution(q) == 1) {
    n++;
    refused_outer = LV_next_solution(running_query) == -1 && LV_get_errno() == LV_ERR_INVALID_QUERY;
  }
  LV_close_query(q);
  return cunify(w, lv_term_ref_cell(w, args + 1), small(n));
}

TEST_F(QueryTest, NestedQueryRunsInsideACPredicate) {
  lv_pred* p = c_pred("count_members", 2, count_members);
  lv_term_ref n = ref(terms::var(w));
  running_query = LV_open_query(p, ref(abc()), n);
  refused_outer = 0;
  ASSERT_EQ(LV_next_solution(running_query), 1);
  EXPECT_EQ(value(n), small(3));
  EXPECT_EQ(refused_outer, 1);
  EXPECT_EQ(LV_next_solution(running_query), 0);
  EXPECT_EQ(LV_cut_query(running_query), 1);
}

TEST_F(QueryTest, ExceptionsRaisedInPrologAndFromC) {
  lv_pred* in_prolog = thrower_pred;
  lv_pred* from_c = c_pred("raise_from_c", 1, raise_from_c);
  for (lv_pred* p : {in_prolog, from_c}) {
    lv_db_free_pending_node();
    lv_term* b = w->B;
    lv_term_ref ball = ref(terms::fn(w, atom("oops"), {small(7)}));
    lv_term_ref caught = LV_new_term_ref();
    EXPECT_EQ(LV_exception_term(caught), 0);
    EXPECT_EQ(LV_query(p, ball), -1);
    EXPECT_EQ(LV_get_errno(), LV_ERR_EXCEPTION);
    EXPECT_EQ(w->B, b);
    ASSERT_EQ(LV_exception_term(caught), 1);
    lv_term e = value(caught);
    ASSERT_TRUE(lv_is_struct(e));
    EXPECT_EQ(lv_struct_cells(e)[0], lv_make_functor(atom("oops"), 1));
    EXPECT_EQ(lv_deref(lv_struct_cells(e)[1]), small(7));
    EXPECT_EQ(LV_exception_term(caught), 1);  // it stays pending
    EXPECT_EQ(LV_decode_reserved_exception(caught, nullptr), 0);
  }
}

// abort_inside: a query of its own raises '$reserved'(3); the C predicate
// passes the exception on.
int abort_inside(lv_worker* w) {
  lv_term_ref t = LV_new_term_ref();
  lv_term_ref_cell(w, t) = terms::fn(w, lv_atom_from_text("$reserved", LV_ATOM_FIND_OR_CREATE), {small(LV_RESERVED_ABORT)});
  lv_pred* raise = LV_predicate("raise_from_c", 1, "user");
  if (LV_query(raise, t) != -1 || LV_exception_term(t) != 1) return 1;
  return LV_raise_exception(t);
}

TEST_F(QueryTest, AbortReachesTheTopQuery) {
  c_pred("raise_from_c", 1, raise_from_c);
  lv_pred* p = c_pred("abort_inside", 0, abort_inside);
  lv_term* b = w->B;
  int32_t top = w->termref_top;
  EXPECT_EQ(LV_query(p), -1);
  EXPECT_EQ(w->B, b);
  EXPECT_EQ(w->termref_top, top);
  lv_term_ref t = LV_new_term_ref();
  ASSERT_EQ(LV_exception_term(t), 1);
  int code = -1;
  EXPECT_EQ(LV_decode_reserved_exception(t, &code), LV_RESERVED_ABORT);
  EXPECT_EQ(code, 0);
}

// register_cleanup: registers [1 | my_cleanup] (run on cut and on failure)
// and succeeds; the cleanup runner stand-in counts its runs.
int cleanup_runs;
int register_cleanup(lv_worker* w) {
  w->X[0] = terms::cons(w, small(1), lv_atom_from_text("my_cleanup", LV_ATOM_FIND_OR_CREATE));
  return prolog_trail_cleanup(w);
}
int count_cleanup(lv_worker*) {
  cleanup_runs++;
  return 1;
}

TEST_F(QueryTest, CutAndCloseRunTheCleanupsOfWhatTheyDiscard) {
  role("$run_cleanups", 3, count_cleanup);
  w->termrefs[LV_CLEANUP_CHAIN_SLOT].term = terms::mutable_term(w, LV_ATOM_NIL);
  lv_pred* p = c_pred("register_cleanup", 0, register_cleanup);
  lv_term* b = w->B;
  for (bool cut : {true, false}) {
    cleanup_runs = 0;
    lv_query_id q = LV_open_query(p);
    ASSERT_EQ(LV_next_solution(q), 1);
    EXPECT_EQ(cleanup_runs, 0);
    EXPECT_EQ(cut ? LV_cut_query(q) : LV_close_query(q), 1);
    EXPECT_EQ(cleanup_runs, 1) << cut;
    EXPECT_EQ(w->B, b);
    EXPECT_EQ(lv_deref(lv_struct_cells(lv_cleanup_chain(w))[1]), LV_ATOM_NIL);
  }
}

// check_arg(A): reports its argument as an error of its own, with the
// culprit reference of the case.
lv_term_ref culprit_ref;
int check_arg(lv_worker*) {
  return LV_save_and_raise_error(LV_ERROR_NAMED_DOMAIN, "integer", culprit_ref, "check_arg", "lib", 1, 1);
}

// The error handler stand-in: notes the pending error, and the goal it is
// given becomes the exception.
int handled_code;
std::string handled_message;
lv_term handled_argument, handled_culprit;
int goal_as_exception(lv_worker* w) {
  handled_code = lv_pending_error_code();
  handled_message = lv_pending_error_message();
  handled_argument = lv_deref(w->X[1]);
  handled_culprit = lv_deref(w->X[2]);
  return query_programs::throw_term(w);
}

TEST_F(QueryTest, SaveAndRaiseErrorReportsThePredicateAndArgument) {
  role("$error_handler", 4, goal_as_exception);
  lv_pred* p = c_pred("check_arg", 1, check_arg);
  struct Case {
    lv_term_ref culprit;
    lv_term expected;
  };
  const Case cases[] = {
      {0, LV_ATOM_NIL},
      {ref(small(5)), small(5)},
      {100000, lv_atom_from_text("$invalid_ref", LV_ATOM_FIND_OR_CREATE)},
  };
  for (const Case& c : cases) {
    culprit_ref = c.culprit;
    EXPECT_EQ(LV_query(p, ref(atom("x"))), -1);
    EXPECT_EQ(LV_get_errno(), LV_ERR_EXCEPTION);
    EXPECT_EQ(handled_code, LV_ERROR_NAMED_DOMAIN);
    EXPECT_EQ(handled_message, "integer");
    EXPECT_EQ(handled_argument, small(1));
    EXPECT_EQ(handled_culprit, c.expected) << c.culprit;
    lv_term_ref t = LV_new_term_ref();
    ASSERT_EQ(LV_exception_term(t), 1);
    lv_term goal = value(t);  // lib:check_arg(x)
    ASSERT_TRUE(lv_is_struct(goal));
    EXPECT_EQ(lv_struct_cells(goal)[0], LV_FUNCTOR_COLON_2);
    EXPECT_EQ(lv_deref(lv_struct_cells(goal)[1]), atom("lib"));
    lv_term inner = lv_deref(lv_struct_cells(goal)[2]);
    ASSERT_TRUE(lv_is_struct(inner));
    EXPECT_EQ(lv_struct_cells(inner)[0], lv_make_functor(atom("check_arg"), 1));
    EXPECT_EQ(lv_deref(lv_struct_cells(inner)[1]), atom("x"));
  }
}

// A fatal fault inside a nested query lands in the abort record; fetching
// its message gives a fresh engine on which queries run again.
// fault: saves a box for a later run of this engine, then faults.
int fault(lv_worker* w) {
  lv_term box = lv_make_float_box(w, 1.5);
  lv_save_heap_blob(w, lv_struct_cells(box) + 1);
  LV_raise_fault("boom");
}
int nest_fault(lv_worker*) { return LV_query(LV_predicate("fault", 0, "user")); }

TEST_F(QueryTest, FatalFaultLandsInTheAbortRecord) {
  c_pred("fault", 0, fault);
  lv_pred* p = c_pred("nest_fault", 0, nest_fault);
  static lv_jump_record record;
  record.type = 0x110;
  record.self = &record;
  if (_setjmp(record.buffer) == 0) {
    lv_set_abort_env(&record);
    LV_query(p);
    lv_set_abort_env(nullptr);
    FAIL() << "the fault returned";
    return;
  }
  EXPECT_EQ(lv_get_abort_env(), nullptr);
  EXPECT_STREQ(lv_get_abort_err_ienc(), "boom");
  EXPECT_EQ(lv_current_recovery(), nullptr);
  w = get_current_worker();
  EXPECT_EQ(lv_restore_newest_blob(w), nullptr);  // the box went with the old engine
  lv_term_ref x = ref(terms::var(w));
  EXPECT_EQ(LV_query(c_pred("put_one", 1, put_one), x), 1);
  EXPECT_EQ(value(x), small(1));
}

TEST_F(QueryTest, ReservedExceptionsDecode) {
  lv_term reserved = lv_atom_from_text("$reserved", LV_ATOM_FIND_OR_CREATE);
  struct Case {
    lv_term term;
    int result, exit_code, error;
  };
  const Case cases[] = {
      {terms::fn(w, reserved, {small(1028)}), 4, 4, 0},
      {terms::fn(w, reserved, {small(3)}), 3, 0, 0},
      {terms::fn(w, reserved, {small(256)}), 0, -1, 0},
      {terms::fn(w, reserved, {small(3), small(1)}), 0, -1, 0},
      {atom("abort"), 0, -1, 0},
      {small(3), 0, -1, LV_ERR_WRONG_TYPE},
      {terms::var(w), 0, -1, LV_ERR_WRONG_TYPE},
  };
  for (const Case& c : cases) {
    lv_set_api_error(0);
    int exit_code = -1;
    EXPECT_EQ(LV_decode_reserved_exception(ref(c.term), &exit_code), c.result) << terms::show(c.term);
    EXPECT_EQ(exit_code, c.exit_code) << terms::show(c.term);
    EXPECT_EQ(LV_get_errno(), c.error) << terms::show(c.term);
  }
  EXPECT_EQ(LV_decode_reserved_exception(lv_term_ref{100000}, nullptr), 0);
  EXPECT_EQ(LV_get_errno(), LV_ERR_INVALID_TERM_REF);
}

TEST_F(QueryTest, ErrorMessages) {
  EXPECT_STREQ(LV_error_message(0), "");
  EXPECT_STREQ(LV_error_message(6), "No or invalid query given");
  EXPECT_STREQ(LV_error_message(18), "Memory Initialization Error");
  for (int n : {-1, 17, 19, 1000}) EXPECT_STREQ(LV_error_message(n), "Unknown error") << n;
}

}  // namespace
