// Type tests and inline built-ins on the emulator: the type tests' truth
// table over representative terms (both forms, and with an event pending),
// each inline built-in once through the dispatch loop, its fall-back
// continuing the clause, the heap made room for after building, and a
// mutable's update after a new choicepoint undone by backtracking.
#include <gtest/gtest.h>

#include <string>

#include "core/predefined_atoms.h"
#include "core/stack_shift.h"
#include "core/unify.h"
#include "machine/frames.h"
#include "support/emulator_fixture.h"
#include "support/term_text.h"

namespace {

using namespace assembler;

// What the C predicates of these tests saw.
struct observations {
  int yes, no, events, fallbacks;
  lv_term seen[4];
};
observations seen;
lv_term loads[4];

int yes(lv_worker*) {
  seen.yes++;
  return 1;
}
int no(lv_worker*) {
  seen.no++;
  return 1;
}
int event_handler(lv_worker*) {
  seen.events++;
  return 1;
}
// X0..X3 := the terms to load.
int load(lv_worker* w) {
  for (int i = 0; i < 4; i++) w->X[i] = loads[i];
  return 1;
}
int record(lv_worker* w) {
  for (int i = 0; i < 4; i++) seen.seen[i] = w->X[i];
  return 1;
}
// The fall-back of arg/3: binds A to the atom fallback.
int arg_fallback(lv_worker* w) {
  seen.fallbacks++;
  return cunify(w, w->X[2], lv_atom_from_text("fallback", LV_ATOM_FIND_OR_CREATE));
}

class BuiltinInsnTest : public EmulatorTest {
 protected:
  void SetUp() override {
    EmulatorTest::SetUp();
    seen = {};
    for (lv_term& l : loads) l = LV_ATOM_NIL;
    role("$event_handler", 0, event_handler);
    role("arg", 3, arg_fallback);
    Assembler resume;
    resume.op(LV_OP_EXECUTE, {P(lv_kind_pred[LV_KIND_BUILTIN_RESUME])});
    clauses("$frame_handler", 7, {&resume}, "prolog");
    lv_lookup_role_predicates();
    yes_pred = c_pred("yes", 0, yes);
    no_pred = c_pred("no", 0, no);
    load_pred = c_pred("load", 0, load);
    record_pred = c_pred("record", 4, record);
  }

  // test(X): TEST X0 else no; yes.  pad words shift the test to its other
  // form.
  lv_pred* type_test(lv_insn test, unsigned pad) {
    Assembler a;
    if (pad > 0) a.nop(pad);
    a.op(test, {X(0), L("no")}).op(LV_OP_EXECUTE, {P(yes_pred)}).label("no").op(LV_OP_EXECUTE, {P(no_pred)});
    return clauses(("t" + std::to_string(test) + "_" + std::to_string(pad)).c_str(), 1, {&a});
  }

  // c :- load, INSN x0 x1 [x2], record(X0, X1, X2, X3).
  lv_pred* inline_clause(lv_insn insn, unsigned operands) {
    Assembler a;
    a.op(LV_OP_INITCALL, {R(0, {}), P(load_pred), S(0)});
    if (operands == 2)
      a.op(insn, {X(0), X(1)});
    else
      a.op(insn, {X(0), X(1), X(2)});
    a.op(LV_OP_LASTCALL, {R(0, {}), P(record_pred)});
    return clauses(("c" + std::to_string(++made)).c_str(), 0, {&a});
  }

  lv_pred *yes_pred, *no_pred, *load_pred, *record_pred;
  int made = 0;
};

// The terms of the truth table: a variable, atoms, small and boxed integers,
// a float, compound terms, a mutable and a database reference.
const char* const TERMS[] = {"X",        "a",      "[]",     "7",
                             "4611686018427387904", "2^70", "2.5", "f(a)",
                             "[a]",      "f(X)",   "'$mutable'(a,0)", "'$ref'(1,2)"};

lv_term read_term(lv_worker* w, terms::reader& r, const char* text) {
  if (std::string(text) != "2^70") return r.read(text);
  lv_term* h = w->H;  // two limbs: 0 and 2^6
  h[0] = h[3] = LV_BOX_INT2;
  h[1] = 0;
  h[2] = 64;
  w->H = h + 4;
  return lv_make_struct(h);
}

TEST_F(BuiltinInsnTest, TypeTestTruthTable) {
  struct {
    lv_insn test;
    const char* holds;  // one digit per term of TERMS
  } table[] = {
      {LV_OP_ATOM, "011000000000"},     {LV_OP_ATOMIC, "011111100000"},   {LV_OP_FLOAT, "000000100000"},
      {LV_OP_INTEGER, "000111000000"},  {LV_OP_NUMBER, "000111100000"},   {LV_OP_VAR, "100000000000"},
      {LV_OP_NONVAR, "011111111111"},   {LV_OP_SIMPLE, "111111100000"},   {LV_OP_COMPOUND, "000000011111"},
      {LV_OP_CALLABLE, "011000011111"}, {LV_OP_GROUND, "011111111001"},   {LV_OP_MUTABLE, "000000000010"},
      {LV_OP_DB_REFERENCE, "000000000001"},
  };
  for (const auto& row : table) {
    for (unsigned pad : {0u, 2u}) {
      lv_pred* p = type_test(row.test, pad);
      std::string found;
      for (const char* text : TERMS) {
        terms::reader r(w);
        seen.yes = seen.no = 0;
        EXPECT_EQ(call(p, {read_term(w, r, text)}), 1);
        found += seen.yes == 1 && seen.no == 0 ? '1' : seen.no == 1 && seen.yes == 0 ? '0' : '?';
      }
      EXPECT_EQ(found, row.holds) << lv_instruction_name_table[row.test] << " pad " << pad;
    }
  }
}

// The first form of the test is the plain one, the padded one its Q twin.
TEST_F(BuiltinInsnTest, TypeTestsComeInBothForms) {
  Assembler plain, q;
  plain.op(LV_OP_ATOM, {X(0), L("l")}).label("l");
  q.nop(2).op(LV_OP_ATOM, {X(0), L("l")}).label("l");
  EXPECT_EQ(lv_code_block_code(plain.finish())[0], lv_opcode(LV_OP_ATOM));
  EXPECT_EQ(lv_code_block_code(q.finish())[3], lv_opcode(LV_OP_ATOMQ));
}

// t :- load, UNSPILL 300 -> X0, ATOM X0 else no; yes.  load requests an
// event: the test runs the handler first, then tests the register it kept.
int load_and_request_event(lv_worker* w) {
  lv_request_event(w);
  return 1;
}

TEST_F(BuiltinInsnTest, TypeTestWithAnEventPendingRunsTheHandlerFirst) {
  Assembler a;
  a.op(LV_OP_INITCALL, {R(0, {}), P(c_pred("request", 0, load_and_request_event)), S(0)})
      .op(LV_OP_UNSPILL, {I(300), X(0)})
      .op(LV_OP_ATOM, {X(0), L("no")})
      .op(LV_OP_LASTCALL, {R(0, {}), P(yes_pred)})
      .label("no")
      .op(LV_OP_LASTCALL, {R(0, {}), P(no_pred)});
  lv_pred* p = clauses("t", 0, {&a});
  lv_grow_x_overflow_area(w, 300, atom("a"));
  EXPECT_EQ(call(p), 1);
  EXPECT_EQ(seen.events, 1);
  EXPECT_EQ(seen.yes, 1);
  EXPECT_EQ(seen.no, 0);
}

// Each inline built-in once through the emulator: it goes on with the next
// instruction (in the odd state) or fails.
TEST_F(BuiltinInsnTest, InlineBuiltinsRunInTheClause) {
  struct {
    lv_insn insn;
    unsigned operands;
    const char* args[3];
    int result;
    const char* x;  // the registers record/4 sees, X0 to X2 ("..." ends a start)
  } table[] = {
      {LV_OP_UNIV, 2, {"T", "[f,a]"}, 1, "f(a) [f,a]"},
      {LV_OP_LENGTH, 2, {"L", "2"}, 1, "[_,_] 2"},
      {LV_OP_CREATE_MUTABLE, 2, {"a", "M"}, 1, "a $mutable(a,0)"},
      {LV_OP_GET_MUTABLE, 2, {"V", "'$mutable'(b,0)"}, 1, "b $mutable(b,0)"},
      {LV_OP_UPDATE_MUTABLE, 2, {"c", "'$mutable'(b,0)"}, 1, "c $mutable(c,..."},
      {LV_OP_FUNCTOR, 3, {"f(a,b)", "N", "A"}, 1, "f(a,b) f 2"},
      {LV_OP_APPEND, 3, {"[a]", "[b]", "L"}, 1, "[a] [b] [a,b]"},
      {LV_OP_ARG, 3, {"2", "g(a,b)", "A"}, 1, "2 g(a,b) b"},
      {LV_OP_COMPARE, 3, {"O", "1", "2"}, 1, "< 1 2"},
      {LV_OP_ARG, 3, {"3", "g(a,b)", "A"}, 0, ""},
      {LV_OP_COMPARE, 3, {"=", "1", "2"}, 0, ""},
  };
  for (const auto& row : table) {
    SCOPED_TRACE(lv_instruction_name_table[row.insn]);
    terms::reader r(w);
    for (unsigned i = 0; i < row.operands; i++) loads[i] = r.read(row.args[i]);
    EXPECT_EQ(call(inline_clause(row.insn, row.operands)), row.result);
    if (row.result == 0) continue;
    std::string x = r.write(seen.seen[0]);
    for (unsigned i = 1; i < row.operands; i++) x += " " + r.write(seen.seen[i]);
    std::string expected = row.x;
    size_t dots = expected.find("...");
    if (dots != std::string::npos) x = x.substr(0, dots) + "...";
    EXPECT_EQ(x, expected);
  }
}

// The fall-back runs in place of the built-in, and the clause goes on after
// it with its registers: record/4 reads X3, which arg/3 does not name.
TEST_F(BuiltinInsnTest, FallBackContinuesTheClause) {
  terms::reader r(w);
  loads[0] = r.read("N");
  loads[1] = r.read("g(a,b)");
  loads[2] = r.read("A");
  loads[3] = lv_make_small(42);
  EXPECT_EQ(call(inline_clause(LV_OP_ARG, 3)), 1);
  EXPECT_EQ(seen.fallbacks, 1);
  EXPECT_EQ(r.write(seen.seen[0]), "N");
  EXPECT_EQ(r.write(seen.seen[1]), "g(a,b)");
  EXPECT_EQ(r.write(seen.seen[2]), "fallback");
  EXPECT_EQ(lv_deref(seen.seen[3]), lv_make_small(42));
}

// A built term past the heap limit: $resume makes room before the clause
// goes on.
TEST_F(BuiltinInsnTest, BuildingPastTheHeapLimitMakesRoom) {
  terms::reader r(w);
  loads[0] = r.read("T");
  loads[1] = r.read("foo");
  loads[2] = lv_make_small(200);
  while (w->heap_hard_limit - w->H > 100) *w->H++ = lv_make_small(0);  // the heap nearly full
  uint64_t overflows = lv_shift_stats.heap_overflows;
  EXPECT_EQ(call(inline_clause(LV_OP_FUNCTOR, 3)), 1);
  EXPECT_GT(lv_shift_stats.heap_overflows, overflows);
  lv_term t = lv_deref(seen.seen[0]);
  ASSERT_TRUE(lv_is_struct(t));
  EXPECT_EQ(lv_struct_cells(t)[0], lv_make_functor(atom("foo"), 200));
  EXPECT_GE(w->heap_hard_limit - w->H, LV_HEAP_RESERVE_CELLS);
}

// An inline built-in leaves the odd state for the instruction after it: a
// type test there loads H first.
TEST_F(BuiltinInsnTest, TypeTestAfterAnInlineBuiltin) {
  Assembler a;
  a.op(LV_OP_INITCALL, {R(0, {}), P(load_pred), S(0)})
      .op(LV_OP_GET_MUTABLE, {X(0), X(1)})
      .op(LV_OP_ATOM, {X(0), L("no")})
      .op(LV_OP_LASTCALL, {R(0, {}), P(yes_pred)})
      .label("no")
      .op(LV_OP_LASTCALL, {R(0, {}), P(no_pred)});
  terms::reader r(w);
  loads[0] = r.read("V");
  loads[1] = r.read("'$mutable'(a,0)");
  EXPECT_EQ(call(clauses("g", 0, {&a})), 1);
  EXPECT_EQ(seen.yes, 1);
}

// q :- M := 1, r.   r :- M := 2, fail.   r :- record(M's value).
// The update in r comes right after r's choicepoint: it is trailed, and
// backtracking into r's second clause finds the value 1 again.
lv_term shared_mutable;
int load_one(lv_worker* w) {
  w->X[0] = lv_make_small(1);
  w->X[1] = shared_mutable;
  return 1;
}
int load_two(lv_worker* w) {
  w->X[0] = lv_make_small(2);
  w->X[1] = shared_mutable;
  return 1;
}
int read_value(lv_worker*) {
  seen.seen[0] = lv_deref(lv_struct_cells(shared_mutable)[1]);
  return 1;
}

TEST_F(BuiltinInsnTest, UpdateAfterANewChoicepointIsUndoneOnBacktracking) {
  terms::reader r(w);
  shared_mutable = r.read("'$mutable'(0,0)");
  Assembler r1, r2, q1, q2;
  r1.op(LV_OP_INITCALL, {R(0, {}), P(c_pred("load_two", 0, load_two)), S(0)})
      .op(LV_OP_UPDATE_MUTABLE, {X(0), X(1)})
      .op(LV_OP_FAIL);
  r2.op(LV_OP_EXECUTE, {P(c_pred("read_value", 0, read_value))});
  lv_pred* rp = clauses("r", 0, {&r1, &r2});
  q1.op(LV_OP_INITCALL, {R(0, {}), P(c_pred("load_one", 0, load_one)), S(0)})
      .op(LV_OP_UPDATE_MUTABLE, {X(0), X(1)})
      .op(LV_OP_LASTCALL, {R(0, {}), P(rp)});
  q2.op(LV_OP_PROCEED);
  EXPECT_EQ(call(clauses("q", 0, {&q1, &q2})), 1);
  EXPECT_EQ(seen.seen[0], lv_make_small(1));
}

// COMPAREOP puts the standard order of X0 and X1 in the accumulator for the
// comparisons after it: before(X, Y) :- compare(<, X, Y).
TEST_F(BuiltinInsnTest, CompareOpFeedsTheArithmeticComparisons) {
  Assembler a;
  a.op(LV_OP_COMPAREOP, {X(0), X(1)})
      .op(LV_OP_EQUAL_TO_IMM, {I(-1), L("no")})
      .op(LV_OP_EXECUTE, {P(yes_pred)})
      .label("no")
      .op(LV_OP_EXECUTE, {P(no_pred)});
  lv_pred* before = clauses("before", 2, {&a});
  terms::reader r(w);
  struct {
    const char* x;
    const char* y;
    int before;
  } cases[] = {{"a", "b", 1}, {"b", "a", 0}, {"1", "a", 1}, {"f(a)", "f(a)", 0}, {"X", "1", 1}, {"2.0", "1", 1}};
  for (const auto& c : cases) {
    seen = {};
    ASSERT_EQ(call(before, {r.read(c.x), r.read(c.y)}), 1);
    EXPECT_EQ(seen.yes, c.before) << c.x << " " << c.y;
    EXPECT_EQ(seen.no, 1 - c.before) << c.x << " " << c.y;
  }
}

}  // namespace
