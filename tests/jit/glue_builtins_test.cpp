// Type tests, term comparison, the inline term built-ins, switch tables,
// argument registers beyond X255, the routines that move variables to the
// heap, meta-calls and the glue table, through native code over the engine.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "machine/arith.h"
#include "core/numbers.h"
#include "jit/native_fixture.h"
#include "support/terms.h"

namespace {

using namespace assembler;
using terms::small;

std::string calls;
int note(lv_worker* w) {
  calls += terms::reader(w).write(w->X[0]) + " ";
  return 1;
}
int succeed(lv_worker*) { return 1; }

class NativeBuiltinsTest : public NativeTest {
 protected:
  void SetUp() override {
    NativeTest::SetUp();
    calls.clear();
    role("$event_handler", 0, succeed);
    Assembler resume;
    resume.op(LV_OP_EXECUTE, {P(lv_kind_pred[LV_KIND_BUILTIN_RESUME])});
    clauses("$frame_handler", 7, {&resume}, "prolog");
    lv_lookup_role_predicates();
  }

  std::string text(lv_term t) { return terms::reader(w).write(t); }

  // A native predicate from one body (after the prologue), with its stub.
  lv_pred* native(const std::string& name, unsigned arity, const std::vector<std::string>& body, int labels) {
    lv_pred* p = pred("user", name.c_str(), arity);
    install(p, {prologue(), body}, labels);
    link(p);
    return p;
  }

  // The first answer: argument `shown` as text (the last by default), or
  // "yes" for shown = -1; "fail" when there is none. The answer's bindings
  // are undone afterwards.
  std::string answer(lv_pred* p, std::vector<lv_term> args, int shown = -2) {
    lv_push_call_choicepoint(w, &query_alternative);
    w->CP = lv_exit_code;
    for (size_t i = 0; i < args.size(); i++) w->X[i] = args[i];
    if (lv_enter_emulator_protected(w, LV_ENTER_CALL, p) != 1) return "fail";
    std::string s = shown == -1 ? "yes" : text(args[shown == -2 ? args.size() - 1 : static_cast<size_t>(shown)]);
    EXPECT_EQ(redo(), 0);
    return s;
  }
};

TEST_F(NativeBuiltinsTest, TypeTestsAnswerInTheZeroFlag) {
  const char* tests[] = {"var",     "nonvar", "atom",     "atomic", "float",   "integer",      "number",
                         "simple",  "compound", "callable", "ground", "mutable", "db_reference"};
  std::vector<lv_pred*> preds;
  for (const char* t : tests)
    preds.push_back(native(std::string("t_") + t, 1,
                           {"move(x(0), arg0)", "call(kernel(native_" + std::string(t) + "))",
                            "branch(e, kernel(native_fail_jit))", "jump(kernel(native_proceed))"},
                           0));
  terms::reader r(w);
  struct {
    lv_term term;
    const char* holds;  // one letter per test, in the order above
  } table[] = {
      {r.read("_"), "1000000100000"},
      {r.read("a"), "0111000101100"},
      {r.read("[]"), "0111000101100"},
      {small(-5), "0101011100100"},
      {lv_make_integer(w, int64_t{1} << 62), "0101011100100"},
      {lv_arith_shl(w, small(1), small(90)), "0101011100100"},
      {lv_make_float_box(w, 1.5), "0101101100100"},
      {r.read("f(a, 1)"), "0100000011100"},
      {r.read("f(X)"), "0100000011000"},
      {r.read("[a|T]"), "0100000011000"},
      {r.read("[a, b]"), "0100000011100"},
      {r.read("'$mutable'(1, 2)"), "0100000011010"},
      {r.read("'$ref'(1, 2)"), "0100000011101"},
  };
  for (const auto& row : table)
    for (size_t i = 0; i < std::size(tests); i++)
      EXPECT_EQ(answer(preds[i], {row.term}, -1), row.holds[i] == '1' ? "yes" : "fail")
          << tests[i] << "(" << text(row.term) << ")";
}

TEST_F(NativeBuiltinsTest, ComparisonsFollowTheStandardOrder) {
  // ord(A, B, O) by native_compareop and the flags; cmp(O, A, B) by the
  // inline compare/3 (natively for an unbound O, through its C twin for a
  // bound one).
  lv_pred* ord = native("ord", 3,
                        {"move(x(0), arg0)", "move(x(1), arg1)", "call(kernel(native_compareop))", "branch(l, label(0))",
                         "branch(g, label(1))", "move(constant('='), arg1)", "jump(label(2))", "label(0)",
                         "move(constant('<'), arg1)", "jump(label(2))", "label(1)", "move(constant('>'), arg1)",
                         "label(2)", "move(x(2), arg0)", "call(kernel(native_get_constant))",
                         "jump(kernel(native_proceed))"},
                        3);
  lv_pred* cmp = native("cmp", 3,
                        {"move(label(0), w_insn)", "move(x(0), arg0)", "move(x(1), arg1)", "move(x(2), arg2)",
                         "call(kernel(native_compare))", "jump(kernel(native_proceed))", "align(1)", "label(0)",
                         "half(native_op)", "word(" + address(lv_proceed_code) + ")", "jump(kernel(native_proceed))"},
                        1);
  terms::reader r(w);
  lv_term v1 = terms::var(w), v2 = terms::var(w);
  std::vector<lv_term> terms_in_order = {
      v1, v2, lv_make_float_box(w, -1.5), small(-1), lv_make_float_box(w, 1.0), small(1),
      lv_make_integer(w, int64_t{1} << 62), r.read("abc"), r.read("abd"), r.read("b"), r.read("f(a)"),
      r.read("f(b)"), r.read("g(a)"), r.read("f(a, a)")};
  for (size_t i = 0; i < terms_in_order.size(); i++)
    for (size_t j = 0; j < terms_in_order.size(); j++) {
      lv_term a = terms_in_order[i], b = terms_in_order[j];
      int c = lv_compare_vars(w, a, b);
      std::string want = c < 0 ? "<" : c > 0 ? ">" : "=";
      EXPECT_EQ(answer(ord, {a, b, terms::var(w)}), want) << text(a) << " " << text(b);
      EXPECT_EQ(answer(cmp, {terms::var(w), a, b}, 0), want) << text(a) << " " << text(b);
      EXPECT_EQ(answer(cmp, {atom(want.c_str()), a, b}, -1), "yes") << text(a) << " " << text(b);
      EXPECT_EQ(answer(cmp, {atom(want == "=" ? "<" : "="), a, b}, -1), "fail");
    }
}

TEST_F(NativeBuiltinsTest, InlineBuiltInsTakeTheirFastPathsOrTheirCTwins) {
  // b(X, Y, Z) :- <builtin>(X, Y, Z), with P at the header after it.
  auto builtin = [&](const std::string& glue_name) {
    return native("b_" + glue_name, 3,
                  {"move(label(0), w_insn)", "move(x(0), arg0)", "move(x(1), arg1)", "move(x(2), arg2)",
                   "call(kernel(" + glue_name + "))", "jump(kernel(native_proceed))", "align(1)", "label(0)",
                   "half(native_op)", "word(" + address(lv_proceed_code) + ")", "jump(kernel(native_proceed))"},
                  1);
  };
  lv_pred* arg = builtin("native_arg");
  lv_pred* functor = builtin("native_functor");
  lv_pred* length = builtin("native_length");
  lv_pred* univ = builtin("native_univ");
  lv_pred* append = builtin("native_append");
  lv_pred* create = builtin("native_create_mutable");
  lv_pred* get = builtin("native_get_mutable");
  lv_pred* update = builtin("native_update_mutable");
  terms::reader r(w);
  auto q = [&](lv_pred* p, const std::string& a, const std::string& b, const std::string& c, int shown) {
    terms::reader rr(w);
    return answer(p, {rr.read(a), rr.read(b), rr.read(c)}, shown);
  };
  EXPECT_EQ(q(arg, "1", "f(a, b)", "X", 2), "a");
  EXPECT_EQ(q(arg, "2", "f(a, b)", "b", 2), "b");
  EXPECT_EQ(q(arg, "2", "f(a, g(X))", "g(c)", 1), "f(a,g(c))");
  EXPECT_EQ(q(arg, "3", "f(a, b)", "X", 2), "fail");
  EXPECT_EQ(q(arg, "0", "f(a)", "X", 2), "fail");
  EXPECT_EQ(q(arg, "1", "[x|y]", "X", 2), "x");
  EXPECT_EQ(q(functor, "f(a, b)", "N", "A", 1), "f");
  EXPECT_EQ(q(functor, "T", "foo", "2", 0), "foo(_,_)");
  EXPECT_EQ(q(length, "[a, b, c]", "N", "_", 1), "3");
  EXPECT_EQ(q(univ, "f(a, b)", "L", "_", 1), "[f,a,b]");
  EXPECT_EQ(q(univ, "T", "[g, 1]", "_", 0), "g(1)");
  EXPECT_EQ(q(append, "[1, 2]", "[3]", "L", 2), "[1,2,3]");
  EXPECT_EQ(q(append, "[1, 2]", "[3]", "[1, 2, 4]", 2), "fail");
  EXPECT_EQ(q(create, "7", "M", "_", 1).substr(0, 11), "$mutable(7,");
  EXPECT_EQ(q(get, "V", "'$mutable'(5, 0)", "_", 0), "5");
  EXPECT_EQ(q(get, "6", "'$mutable'(5, 0)", "_", 0), "fail");
  EXPECT_EQ(q(update, "2", "'$mutable'(1, 0)", "_", 1).substr(0, 11), "$mutable(2,");
  // ug(V, M, R) :- update_mutable(V, M), get_mutable(R, M).
  lv_pred* ug = native("ug", 3,
                       {"move(label(0), w_insn)", "move(x(0), arg0)", "move(x(1), arg1)",
                        "call(kernel(native_update_mutable))", "jump(label(2))", "align(1)", "label(0)",
                        "half(native_op)", "word(" + address(lv_proceed_code) + ")", "label(2)",
                        "move(label(1), w_insn)", "move(x(2), arg0)", "move(x(1), arg1)",
                        "call(kernel(native_get_mutable))", "jump(kernel(native_proceed))", "align(1)", "label(1)",
                        "half(native_op)", "word(" + address(lv_proceed_code) + ")", "jump(kernel(native_proceed))"},
                       3);
  EXPECT_EQ(q(ug, "9", "'$mutable'(1, 0)", "R", 2), "9");
  (void)update;
  (void)r;
}

TEST_F(NativeBuiltinsTest, SwitchJumpsByTheTermsKey) {
  lv_pred* sw = native("sw", 2,
                       {"move(label(0), arg1)", "move(x(0), arg0)", "jump(kernel(native_switch))", "align(0)",
                        "label(0)",
                        "switch([-(constant(a), label(1)), -(constant(7), label(2)), -(functor(f, 2), label(3)), "
                        "-(functor('.', 2), label(4)), -(constant([]), label(2))], label(5))",
                        "label(1)", "move(constant(atom_a), arg1)", "jump(label(6))", "label(2)",
                        "move(constant(seven_or_nil), arg1)", "jump(label(6))", "label(3)",
                        "move(constant(f2), arg1)", "jump(label(6))", "label(4)", "move(constant(list), arg1)",
                        "jump(label(6))", "label(5)", "move(constant(other), arg1)", "label(6)", "move(x(1), arg0)",
                        "call(kernel(native_get_constant))", "jump(kernel(native_proceed))"},
                       7);
  terms::reader r(w);
  struct {
    const char* term;
    const char* target;
  } table[] = {{"a", "atom_a"},        {"7", "seven_or_nil"}, {"[]", "seven_or_nil"}, {"f(1, 2)", "f2"},
               {"f(1)", "other"},     {"[1]", "list"},       {"b", "other"},         {"8", "other"},
               {"X", "other"},        {"g(1, 2)", "other"}};
  for (const auto& row : table) EXPECT_EQ(answer(sw, {r.read(row.term), terms::var(w)}), row.target) << row.term;
}

TEST_F(NativeBuiltinsTest, RegistersBeyondX255LiveInTheTermReferences) {
  // sp(V, R): X300 := V, R := X300; and X5 through the same routines.
  lv_pred* sp = native("sp", 2,
                       {"move(x(0), arg1)", "move(300, arg0)", "call(kernel(native_spill))", "move(x(0), arg1)",
                        "move(5, arg0)", "call(kernel(native_spill))", "move(300, arg0)",
                        "call(kernel(native_unspill))", "move(x(1), arg1)", "call(kernel(native_get_value))",
                        "move(5, arg0)", "call(kernel(native_unspill))", "move(x(1), arg1)",
                        "call(kernel(native_get_value))", "jump(kernel(native_proceed))"},
                       0);
  EXPECT_EQ(answer(sp, {small(42), terms::var(w)}), "42");
  EXPECT_EQ(w->termrefs[w->termref_top + 300 - 256].term, small(42));
}

TEST_F(NativeBuiltinsTest, LocalVariablesMoveToTheHeap) {
  // g(X): a local variable of a new frame is made global (make_global, at
  // a heap word reserved first) and unified with X: X ends as a heap
  // variable. s(X): the same through make_safe. The local cells are older
  // than the choicepoint pushed after the frame: their bindings are
  // trailed.
  auto body = [](const std::string& routine, bool reserve) {
    std::vector<std::string> c = {"move(e, a(0))", "move(cp, a(8))", "move(a, e)", "add(a, 24, a)",
                                  "init(y(0), x(3))"};
    std::vector<std::string> cp = NativeTest::push_choicepoint(0, 0);
    c.insert(c.end(), cp.begin(), cp.end());
    c.push_back("move(tr, x(2))");
    if (reserve) c.push_back("add(h, 8, h)");
    c.insert(c.end(), {"move(x(3), arg0)", "call(kernel(" + routine + "))",
                       // A heap variable, which the local variable is bound to.
                       "cmps(arg0, w_stack_start)", "branch(geu, kernel(native_fail_jit))", "move(y(0), arg1)",
                       "cmps(arg1, arg0)", "branch(ne, kernel(native_fail_jit))",
                       // One trail entry: the local cell's binding.
                       "move(tr, arg0)", "sub(arg0, x(2), arg0)", "cmps(arg0, 8)", "branch(ne, kernel(native_fail_jit))",
                       "move(e(8), cp)", "move(e(0), e)", "jump(kernel(native_proceed))", "align(0)", "label(0)",
                       "try_chain([f(label(1), 0)], 0)"});
    for (const std::string& line : NativeTest::header(1, lv_fail_code)) c.push_back(line);
    c.push_back("jump(kernel(native_fail_jit))");
    return c;
  };
  lv_pred* g = native("g", 1, body("native_make_global", true), 2);
  lv_pred* s = native("s", 1, body("native_make_safe", false), 2);
  for (lv_pred* p : {g, s}) EXPECT_EQ(answer(p, {terms::var(w)}, -1), "yes") << lv_atom_text(p->name);
  // trail_unsafe: a local cell holding a compound is trailed below the
  // choicepoint's saved local top, one holding an atomic term is not.
  lv_pred* t = native("t", 1,
                      [] {
                        std::vector<std::string> c = {"move(e, a(0))", "move(cp, a(8))", "move(a, e)", "add(a, 32, a)",
                                                      "move(x(0), y(0))", "move(constant(z), y(1))"};
                        auto cp = NativeTest::push_choicepoint(0, 0);
                        c.insert(c.end(), cp.begin(), cp.end());
                        c.insert(c.end(), {"move(tr, x(2))", "add(e, 16, arg0)", "call(kernel(native_trail_unsafe))",
                                           "add(e, 24, arg0)", "call(kernel(native_trail_unsafe))",
                                           "move(tr, arg0)", "sub(arg0, x(2), arg0)", "cmps(arg0, 8)",
                                           "branch(ne, kernel(native_fail_jit))", "move(e(8), cp)", "move(e(0), e)",
                                           "jump(kernel(native_proceed))", "align(0)", "label(0)",
                                           "try_chain([f(label(1), 0)], 0)"});
                        for (const std::string& line : NativeTest::header(1, lv_fail_code)) c.push_back(line);
                        c.push_back("jump(kernel(native_fail_jit))");
                        return c;
                      }(),
                      2);
  EXPECT_EQ(answer(t, {terms::reader(w).read("f(a)")}, -1), "yes");
}

TEST_F(NativeBuiltinsTest, MetaCallsRunNativeCEmulatedAndUnknownGoals) {
  // mc(G) :- call(G).  nd(G, M) :- '$nodebug_call'(G, M).
  lv_pred* c = c_pred("c", 1, note);
  lv_pred* n1 = pred("user", "n1", 1);
  install(n1, {prologue(), {"move(constant(native), x(0))"}, call_to("native_entry(" + spec("c", 1) + ")")}, 0);
  Assembler ea;
  ea.op(LV_OP_PUT_CONSTANT, {X(0), C(atom("emulated"))}).op(LV_OP_EXECUTE, {P(c)});
  lv_pred* e1 = clauses("e1", 1, {&ea});
  lv_pred* mc = native("mc", 1,
                       {"move(label(0), w_insn)", "move(x(0), arg0)", "call(kernel(native_metacall))", "align(0)",
                        "word(0)", "word(label(0))", "align(1)", "label(0)", "half(native_op)",
                        "word(" + address(lv_proceed_code) + ")"},
                       1);
  lv_pred* nd = native("nd", 2, call_to("native_entry(:(prolog, /('$nodebug_call', 2)))"), 0);
  lv_pred* nodebug = lv_kind_pred[LV_KIND_BUILTIN_NODEBUG_CALL];
  for (lv_pred* p : {c, n1, e1, nodebug}) link(p);
  lv_set_typein_module(find_module(atom("user"), 1));
  terms::reader r(w);
  EXPECT_EQ(answer(mc, {r.read("n1(x)")}, -1), "yes");
  EXPECT_EQ(answer(mc, {r.read("c(direct)")}, -1), "yes");
  EXPECT_EQ(answer(mc, {r.read("e1(y)")}, -1), "yes");
  EXPECT_EQ(answer(mc, {r.read("':'(user, c(qualified))")}, -1), "yes");
  EXPECT_EQ(calls, "native direct emulated qualified ");
  calls.clear();
  EXPECT_EQ(answer(nd, {r.read("n1(x)"), atom("user")}, -1), "yes");
  EXPECT_EQ(answer(nd, {r.read("c(direct)"), atom("user")}, -1), "yes");
  EXPECT_EQ(answer(nd, {r.read("e1(y)"), atom("user")}, -1), "yes");
  EXPECT_EQ(calls, "native direct emulated ");
}

TEST_F(NativeBuiltinsTest, GlueTableNamesEveryRoutineByItsAtom) {
  std::set<uint64_t> seen_addresses;
  uint64_t trap = glue("native_fli_open");
  for (unsigned i = 0; i < LV_GLUE_COUNT; i++) {
    lv_term a = lv_glue_atom(i);
    std::string name = lv_atom_text(a);
    ASSERT_EQ(name.rfind("native_", 0), 0u) << name;
    uint64_t address = lv_glue_address(a);
    ASSERT_NE(address, 0u) << name;
    if (name.rfind("native_fli_", 0) == 0) {
      EXPECT_EQ(address, trap) << name;
    } else {
      EXPECT_TRUE(seen_addresses.insert(address).second) << name << " shares its address";
    }
  }
  EXPECT_EQ(seen_addresses.size(), LV_GLUE_COUNT - 14);
  EXPECT_EQ(reinterpret_cast<const uint8_t*>(trap)[0], 0x0F);  // ud2
  EXPECT_EQ(reinterpret_cast<const uint8_t*>(trap)[1], 0x0B);
  EXPECT_EQ(lv_glue_address(atom("native_entry")), 0u);
  EXPECT_EQ(lv_glue_address(atom("move")), 0u);
  EXPECT_EQ(lv_glue_address(small(400)), 0u);
}

}  // namespace
