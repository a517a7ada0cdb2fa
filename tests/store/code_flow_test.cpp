// The flow check of clause code from outside: a table of small clauses, each
// breaking one rule (or keeping them all), the key check, and every clause
// of the boot file.
#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <string>

#include "store/code_flow.h"
#include "support/ql_runtime.h"
#include "support/store_fixture.h"

namespace {

using namespace assembler;

class CodeFlowTest : public StoreTest {
 protected:
  // The check's verdict on the assembled clause: "" when it passes, else
  // its message.
  std::string check(Assembler& a, unsigned arity) {
    lv_code_block* b = a.finish(false);
    char message[256] = "";
    bool ok = lv_code_flow_check(b, arity, message, sizeof message);
    lv_code_block_free(b);
    return ok ? "" : message;
  }
};

struct flow_case {
  const char* name;
  unsigned arity;
  std::function<void(Assembler&, lv_pred* q1, lv_pred* q2)> code;
  const char* refusal;  // a part of the message, or "" when the clause passes
};

TEST_F(CodeFlowTest, EachRuleOfTheFlow) {
  lv_pred* q1 = pred("user", "q", 1);
  lv_pred* q2 = pred("user", "q", 2);
  lv_term f2 = lv_make_functor(atom("f"), 2);
  lv_term big = lv_make_functor(atom("g"), 255);
  const flow_case cases[] = {
      // app([H|T], L, [H|R]) :- app(T, L, R).
      {"list_clause", 3, [&](Assembler& a, lv_pred*, lv_pred*) {
         a.op(LV_OP_GET_LIST_X0).op(LV_OP_UNIFY_X_VARIABLE, {X(3)}).op(LV_OP_UNIFY_X_VARIABLE, {X(4)})
             .op(LV_OP_GET_LIST, {X(2)}).op(LV_OP_UNIFY_X_VALUE, {X(3)}).op(LV_OP_UNIFY_X_VARIABLE, {X(5)})
             .op(LV_OP_GET_X_VARIABLE, {X(4), X(0)}).op(LV_OP_GET_X_VARIABLE, {X(5), X(2)})
             .op(LV_OP_EXECUTE, {P(q2)});
       }, ""},
      {"register_not_set", 1, [&](Assembler& a, lv_pred*, lv_pred*) {
         a.op(LV_OP_GET_X_VALUE, {X(0), X(5)}).op(LV_OP_PROCEED);
       }, "argument register 5 read before it is set"},
      {"register_after_a_call", 1, [&](Assembler& a, lv_pred*, lv_pred* q) {
         a.op(LV_OP_PUT_Y_FIRST_VARIABLE, {X(1), Y(0)}).op(LV_OP_FIRSTCALL, {R(0, {}), P(q), S(1)})
             .op(LV_OP_GET_X_VALUE, {X(0), X(1)}).op(LV_OP_PROGRESS);
       }, "argument register 0 read before it is set"},
      {"monop_outside_an_expression", 0, [&](Assembler& a, lv_pred*, lv_pred*) {
         a.op(LV_OP_MONOP_ATANH).op(LV_OP_PROCEED);
       }, "outside an expression"},
      {"binop_with_one_operand", 1, [&](Assembler& a, lv_pred*, lv_pred*) {
         a.op(LV_OP_FIRST_X_VALUE, {X(0)}).op(LV_OP_BINOP_ADD).op(LV_OP_STORE_X_VALUE, {X(0)}).op(LV_OP_PROCEED);
       }, "two operands"},
      {"expression", 2, [&](Assembler& a, lv_pred*, lv_pred*) {
         a.op(LV_OP_FIRST_X_VALUE, {X(0)}).op(LV_OP_LATER_X_VALUE, {X(1)}).op(LV_OP_BINOP_MULTIPLY)
             .op(LV_OP_BINOP_ADD_IMM, {I(1)}).op(LV_OP_GREATER_THAN_IMM, {I(3), L(lv_fail_code)}).op(LV_OP_PROCEED);
       }, ""},
      {"call_inside_an_expression", 1, [&](Assembler& a, lv_pred* q, lv_pred*) {
         a.op(LV_OP_FIRST_X_VALUE, {X(0)}).op(LV_OP_EXECUTE, {P(q)});
       }, "inside an arithmetic expression"},
      {"argument_outside_a_structure", 1, [&](Assembler& a, lv_pred*, lv_pred*) {
         a.op(LV_OP_GET_NIL, {X(0)}).op(LV_OP_UNIFY_X_VARIABLE, {X(1)}).op(LV_OP_PROCEED);
       }, "outside a structure"},
      {"structure_arguments_missing", 1, [&](Assembler& a, lv_pred*, lv_pred*) {
         a.op(LV_OP_GET_STRUCTURE, {X(0), F(f2)}).op(LV_OP_UNIFY_VOID_1).op(LV_OP_PROCEED);
       }, "among structure arguments"},
      {"structure_arguments_too_many", 1, [&](Assembler& a, lv_pred*, lv_pred*) {
         a.op(LV_OP_GET_LIST, {X(0)}).op(LV_OP_UNIFY_VOID, {N(3)}).op(LV_OP_PROCEED);
       }, "more arguments than the structure has"},
      {"last_argument_early", 1, [&](Assembler& a, lv_pred*, lv_pred*) {
         a.op(LV_OP_GET_STRUCTURE, {X(0), F(f2)}).op(LV_OP_UNIFY_LIST).op(LV_OP_UNIFY_VOID_2).op(LV_OP_UNIFY_VOID_1)
             .op(LV_OP_PROCEED);
       }, "last argument elsewhere"},
      {"x0_test_later", 2, [&](Assembler& a, lv_pred*, lv_pred*) {
         a.op(LV_OP_GET_NIL, {X(1)}).op(LV_OP_GET_LIST_X0).op(LV_OP_UNIFY_VOID_2).op(LV_OP_PROCEED);
       }, "GET_LIST_X0 not at the start"},
      {"variable_without_a_frame", 1, [&](Assembler& a, lv_pred*, lv_pred*) {
         a.op(LV_OP_PUT_Y_VALUE, {X(0), Y(0)}).op(LV_OP_PROCEED);
       }, "without a frame"},
      {"variable_not_set", 1, [&](Assembler& a, lv_pred*, lv_pred*) {
         a.op(LV_OP_GET_Y_FIRST_VARIABLE, {X(0), Y(0)}).op(LV_OP_PUT_Y_VALUE, {X(0), Y(1)}).op(LV_OP_PROCEED);
       }, "permanent variable 1 read before it is set"},
      {"call_keeps_a_variable_not_set", 1, [&](Assembler& a, lv_pred* q, lv_pred*) {
         a.op(LV_OP_GET_Y_FIRST_VARIABLE, {X(0), Y(1)}).op(LV_OP_FIRSTCALL, {R(0, {{VALUE, 1}}), P(q), S(2)})
             .op(LV_OP_PROGRESS);
       }, "permanent variable 0 not set at a call"},
      {"variable_past_the_frame_kept", 1, [&](Assembler& a, lv_pred* q, lv_pred*) {
         a.op(LV_OP_GET_Y_FIRST_VARIABLE, {X(0), Y(0)}).op(LV_OP_PUT_Y_VARIABLE, {X(0), Y(1)})
             .op(LV_OP_FIRSTCALL, {R(0, {}), P(q), S(1)}).op(LV_OP_PUT_Y_VALUE, {X(0), Y(1)}).op(LV_OP_PROGRESS);
       }, "past the frame kept"},
      // A new variable handed to a call that trims it away: the callee's frame
      // takes its cell.
      {"new_variable_trimmed_by_the_call", 1, [&](Assembler& a, lv_pred* q, lv_pred*) {
         a.op(LV_OP_GET_Y_FIRST_VARIABLE, {X(0), Y(0)}).op(LV_OP_PUT_Y_VARIABLE, {X(1), Y(1)})
             .op(LV_OP_FIRSTCALL, {R(0, {}), P(q), S(1)}).op(LV_OP_PROGRESS);
       }, "new permanent variable 1 past the frame kept"},
      {"new_variable_of_a_load_list_trimmed", 1, [&](Assembler& a, lv_pred* q, lv_pred*) {
         a.op(LV_OP_GET_Y_FIRST_VARIABLE, {X(0), Y(0)}).op(LV_OP_FIRSTCALL, {R(0, {{VARIABLE, 1}}), P(q), S(1)})
             .op(LV_OP_PROGRESS);
       }, "new permanent variable 1 past the frame kept"},
      {"new_variable_handed_to_a_last_call", 1, [&](Assembler& a, lv_pred* q, lv_pred*) {
         a.op(LV_OP_GET_Y_FIRST_VARIABLE, {X(0), Y(0)}).op(LV_OP_FIRSTCALL, {R(0, {}), P(q), S(1)})
             .op(LV_OP_PUT_Y_VARIABLE, {X(0), Y(0)}).op(LV_OP_LASTCALL, {R(0, {}), P(q)});
       }, "new permanent variable 0 past the frame kept"},
      {"first_call_without_a_frame", 1, [&](Assembler& a, lv_pred* q, lv_pred*) {
         a.op(LV_OP_FIRSTCALL, {R(0, {}), P(q), S(0)}).op(LV_OP_PROGRESS);
       }, "without a frame being built"},
      {"call_before_the_first", 1, [&](Assembler& a, lv_pred* q, lv_pred*) {
         a.op(LV_OP_CALL, {R(0, {}), P(q), S(0)}).op(LV_OP_PROGRESS);
       }, "without a completed frame"},
      {"proceed_leaving_a_frame", 1, [&](Assembler& a, lv_pred* q, lv_pred*) {
         a.op(LV_OP_INITCALL, {R(0, {}), P(q), S(0)}).op(LV_OP_PROCEED);
       }, "completed frame left in place"},
      {"progress_without_a_frame", 0, [&](Assembler& a, lv_pred*, lv_pred*) { a.op(LV_OP_PROGRESS); },
       "not completed"},
      {"second_frame", 1, [&](Assembler& a, lv_pred*, lv_pred*) {
         a.op(LV_OP_GET_Y_FIRST_VARIABLE, {X(0), Y(0)}).op(LV_OP_CHOICE_YF, {Y(1)}).op(LV_OP_PROCEED);
       }, "a second frame"},
      {"heap_past_the_reserve", 0, [&](Assembler& a, lv_pred*, lv_pred*) {
         for (int i = 0; i < 3; i++) a.op(LV_OP_PUT_STRUCTURE, {X(0), F(big)}).op(LV_OP_UNIFY_VOID, {N(255)});
         a.op(LV_OP_PROCEED);
       }, "past the reserve"},
      {"heap_checked", 0, [&](Assembler& a, lv_pred*, lv_pred*) {
         a.op(LV_OP_CHECK_HEAP, {I(800 + LV_HEAP_RESERVE_CELLS)});
         for (int i = 0; i < 3; i++) a.op(LV_OP_PUT_STRUCTURE, {X(0), F(big)}).op(LV_OP_UNIFY_VOID, {N(255)});
         a.op(LV_OP_PROCEED);
       }, ""},
      {"branch_back", 1, [&](Assembler& a, lv_pred*, lv_pred*) {
         a.label("top").op(LV_OP_ATOM, {X(0), L("top")}).op(LV_OP_PROCEED);
       }, "goes back"},
      {"branch_forward", 1, [&](Assembler& a, lv_pred*, lv_pred*) {
         a.op(LV_OP_ATOM, {X(0), L("other")}).op(LV_OP_PROCEED).label("other").op(LV_OP_FAIL);
       }, ""},
      {"off_the_end", 1, [&](Assembler& a, lv_pred*, lv_pred*) { a.op(LV_OP_GET_NIL, {X(0)}); },
       "past the end of the block"},
      {"into_a_header", 1, [&](Assembler& a, lv_pred*, lv_pred*) {
         a.op(LV_OP_GET_NIL, {X(0)}).entry(1, "body", 1).label("body").op(LV_OP_PROCEED);
       }, "into an internal entry header"},
      // p(X) :- ( X > 0 -> true ; fail ) as an internal predicate of two clauses.
      {"internal_predicate", 1, [&](Assembler& a, lv_pred*, lv_pred*) {
         a.op(LV_OP_EXECUTE, {P("header")}).label("header").entry(1, "r1", 1, 7)
             .label("r1").entry(0, "c1", 1).label("r2").entry(0, "c2", 1)
             .label("c1").op(LV_OP_FIRST_X_VALUE, {X(0)}).op(LV_OP_GREATER_THAN_IMM, {I(0), L(lv_fail_code)})
             .op(LV_OP_CUTB).op(LV_OP_PROCEED).label("c2").op(LV_OP_GET_X_VALUE, {X(0), X(3)}).op(LV_OP_FAIL);
       }, "argument register 3 read before it is set"},
  };
  for (const flow_case& c : cases) {
    SCOPED_TRACE(c.name);
    Assembler a;
    c.code(a, q1, q2);
    std::string got = check(a, c.arity);
    if (c.refusal[0] == '\0')
      EXPECT_EQ(got, "");
    else
      EXPECT_NE(got.find(c.refusal), std::string::npos) << got;
  }
}

// A clause starting with an _X0 test joins only the chains it can be
// entered by: given no key it may be entered with any first argument, a
// structure test does not join the list chain, and a structure or list
// test joins the key chain of its own key alone.
TEST_F(CodeFlowTest, KeyBitsAgreeWithTheFirstInstruction) {
  lv_term f2 = lv_make_functor(atom("f"), 2);
  Assembler s;
  s.op(LV_OP_GET_STRUCTURE_X0, {F(f2)}).op(LV_OP_UNIFY_VOID_2).op(LV_OP_PROCEED);
  Assembler k;
  k.op(LV_OP_GET_CONSTANT_X0, {C(atom("a"))}).op(LV_OP_PROCEED);
  Assembler plain;
  plain.op(LV_OP_GET_NIL, {X(0)}).op(LV_OP_PROCEED);
  lv_code_block* structure = s.finish(false);
  lv_code_block* constant = k.finish(false);
  lv_code_block* other = plain.finish(false);
  struct key_case {
    lv_code_block* block;
    uint32_t bits;
    lv_term key;
    bool ok;
  };
  const key_case cases[] = {
      {structure, LV_KEY_ALL | LV_KEY_KEYED, f2, true},
      {structure, LV_KEY_NONE, 0, false},
      {structure, LV_KEY_ALL | LV_KEY_LIST, 0, false},
      {structure, LV_KEY_ALL | LV_KEY_KEYED, lv_make_functor(atom("g"), 2), false},
      {structure, LV_KEY_ALL | LV_KEY_KEYED, 0, false},
      {constant, LV_KEY_ALL | LV_KEY_KEYED, atom("a"), true},
      {constant, LV_KEY_ALL | LV_KEY_LIST, 0, true},
      {constant, LV_KEY_NONE, 0, false},
      {other, LV_KEY_NONE, 0, true},
      {other, LV_KEY_ALL | LV_KEY_KEYED, atom("b"), true},
  };
  for (const key_case& c : cases) {
    char message[256] = "";
    EXPECT_EQ(lv_code_key_check(c.block, c.bits, c.key, message, sizeof message), c.ok)
        << (&c - cases) << ": " << message;
  }
  for (lv_code_block* b : {structure, constant, other}) lv_code_block_free(b);
}

// Every clause the compiler made for the boot file passes.
TEST(CodeFlowBootFile, EveryClauseOfTheBootFilePasses) {
  if (!std::ifstream(LV_TEST_BOOT_FILE).good()) GTEST_SKIP() << "no boot file " << LV_TEST_BOOT_FILE;
  qlrt::Runtime rt;
  ASSERT_TRUE(rt.start());
  std::string error;
  ASSERT_TRUE(rt.load(LV_TEST_BOOT_FILE, &error)) << error;
  struct tally {
    uint64_t blocks = 0;
    std::string failures;
  } t;
  lv_for_each_module(
      [](lv_module* m, void* arg) {
        auto* t = static_cast<tally*>(arg);
        lv_hash_entry* e = lv_keytab_entries(m->pred_table);
        for (uint64_t i = 0; i < lv_keytab_capacity(m->pred_table); i++) {
          if (e[i].key == 0 || e[i].value == 0) continue;
          auto* p = reinterpret_cast<lv_pred*>(e[i].value);
          uint32_t type = lv_definition_type(p);
          if (p->owner_module != m || (type != LV_DEF_COMPACTCODE && type != LV_DEF_COMPACTCODE_INDEXED)) continue;
          auto* list = static_cast<lv_clause_list*>(p->definition);
          if (list == nullptr || list->head == nullptr) continue;
          for (lv_code_block* b = list->head;; b = b->next) {
            char message[256];
            t->blocks++;
            if (!lv_code_flow_check(b, static_cast<unsigned>(p->arity), message, sizeof message) ||
                !lv_code_key_check(b, lv_code_block_key_bits(b), lv_first_arg_key(b), message, sizeof message))
              t->failures += std::string(lv_atom_text(p->name)) + "/" + std::to_string(p->arity) + ": " + message + "\n";
            if (b == list->tail) break;
          }
        }
      },
      &t);
  EXPECT_GT(t.blocks, 1000u);
  EXPECT_EQ(t.failures, "");
  rt.stop();
}

}  // namespace
