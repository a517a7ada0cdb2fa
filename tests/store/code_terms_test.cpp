// Code as terms: instruction terms by operand kind, the HEAD pair, internal
// entry headers, a predicate's code terms and predicate/11, decompilation
// of simple clauses and arithmetic expressions from those terms.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/atoms.h"
#include "store/code_print.h"
#include "store/code_terms.h"
#include "store/counters.h"
#include "store/decompile.h"
#include "store/pred_info.h"
#include "support/listing_text.h"
#include "support/store_fixture.h"
#include "support/terms.h"

namespace {

using namespace assembler;

std::string text(lv_term t) {
  char buffer[2048];
  lv_term_text(t, true, buffer, sizeof buffer);
  return buffer;
}

std::string name_of(lv_term t) {
  t = lv_deref(t);
  if (lv_is_atom(t)) return lv_atom_text(t);
  return lv_atom_text(lv_functor_atom(lv_struct_cells(t)[0]));
}
lv_term arg(lv_term t, unsigned i) { return lv_deref(lv_struct_cells(lv_deref(t))[i]); }

std::vector<lv_term> elements(lv_term list) {
  std::vector<lv_term> v;
  for (lv_term t = lv_deref(list); lv_is_list(t); t = lv_deref(lv_list_cells(t)[1])) v.push_back(lv_deref(lv_list_cells(t)[0]));
  return v;
}

// The instructions of an instruction-term list, without their addresses.
std::vector<std::string> instructions(lv_term list) {
  std::vector<std::string> v;
  for (lv_term pair : elements(list)) v.push_back(text(arg(pair, 2)));
  return v;
}

// The name of a Q form as that of its plain form: the terms are the same.
std::string plain(const std::string& insn) { return listing_text::plain_names(insn); }

class CodeTermsTest : public StoreTest {};

TEST_F(CodeTermsTest, InstructionTermsByOperandKind) {
  lv_pred* p = pred("user", "p", 2);
  lv_pred* q = pred("user", "q", 1);
  Assembler a;
  a.op(LV_OP_GET_CONSTANT, {X(1), C(atom("k"))})
      .op(LV_OP_GET_STRUCTURE, {X(0), F(lv_make_functor(atom("f"), 2))})
      .op(LV_OP_UNIFY_Y_VARIABLE, {Y(3)})
      .op(LV_OP_PUT_LARGE, {X(2), B({static_cast<uint64_t>(LV_BOX_INT1), 7})})
      .op(LV_OP_EQUAL_TO_IMM, {I(-4), L(lv_else_fail_code)})
      .op(LV_OP_ATOM, {X(0), L("end")})
      .op(LV_OP_GET_X2_X1)
      .op(LV_OP_NOP, {N(1)})
      .op(LV_OP_GET, {G({{1, 2}})})
      .op(LV_OP_CALL, {R(0, {{VALUE, 0}, {VARIABLE, 1}, {UNSAFE_VALUE, 2}, {VOID, 0}}), P(q), S(3)})
      .label("end")
      .op(LV_OP_EXECUTE_CALL, {N(2)})
      .op(LV_OP_END_OF_CLAUSE, {P(p)});
  a.finish();
  lv_term list = lv_insn_to_term(w, a.start(), nullptr, 0, 0);
  std::vector<lv_term> pairs = elements(list);
  ASSERT_EQ(pairs.size(), 12u);
  EXPECT_EQ(arg(pairs[0], 1), lv_code_address_term(a.start(), false));
  EXPECT_EQ(lv_code_address_of(arg(pairs[0], 1)), a.start());
  std::vector<std::string> expected = {
      "'GET_CONSTANT'(x(1),k)",
      "'GET_STRUCTURE'(x(0),/(f,2))",
      "'UNIFY_Y_VARIABLE'(y(3))",
      "'PUT_LARGE'(x(2),7)",
      "'EQUAL_TO_IMM'(-4,elsecode)",
      "'ATOM'(x(0)," + std::to_string(reinterpret_cast<uintptr_t>(a.at("end"))) + ")",
      "'GET_X2_X1'",
      "'NOP'(1)",
      "'GET'([=(y(2),x(1))])",
      "'CALL'([=(x(0),y(0)),=(x(1),variable(y(1))),=(x(2),y_unsafe(2)),=(x(3),void)],:(user,/(q,1)),3)",
      "'EXECUTE_CALL'(2)",
      "'END_OF_CLAUSE'(:(user,/(p,2)))",
  };
  std::vector<std::string> got = instructions(list);
  for (size_t i = 0; i < expected.size(); i++) EXPECT_EQ(plain(got[i]), expected[i]) << i;
}

TEST_F(CodeTermsTest, HeadPairAndInternalHeaders) {
  lv_pred* p = pred("user", "p", 3);
  Assembler a;
  a.label("h").word(LV_INTERNAL_HEADER_WORD).word(1).word(24).word(lv_opcode(LV_OP_KONTINUE));
  for (int i = 0; i < 4; i++) a.word(0);
  a.label("c").op(LV_OP_PROCEED).op(LV_OP_END_OF_CLAUSE, {P(p)});
  a.finish();
  uint32_t* h = const_cast<uint32_t*>(a.at("h"));
  lv_code_write64(h + 4, reinterpret_cast<uint64_t>(h + 8));  // one clause: right after the header
  uint64_t source[] = {6 * 8, atom("a"), lv_make_small(5), atom("b"), lv_make_small(3), atom("x")};
  lv_term list = lv_insn_to_term(w, h, source, 3, 0);
  std::vector<lv_term> pairs = elements(list);
  ASSERT_EQ(pairs.size(), 4u);
  EXPECT_EQ(text(arg(pairs[0], 2)), "'HEAD'(a,0,b)");
  EXPECT_EQ(text(arg(pairs[1], 2)), "'ENTER_INTERNAL'(1," + std::to_string(reinterpret_cast<uintptr_t>(h + 8)) + ")");
  EXPECT_EQ(text(arg(pairs[2], 2)), "'PROCEED'");
  EXPECT_EQ(lv_insn_to_term(w, lv_proceed_code, nullptr, 0, 0), LV_ATOM_NIL);  // not in a block
  lv_term head0 = lv_insn_to_term(w, a.at("c"), source, 0, 0);
  EXPECT_EQ(text(arg(elements(head0)[0], 2)), "'HEAD'");
}

TEST_F(CodeTermsTest, PredicateCodeTermsAndProperties) {
  lv_pred* p = pred("user", "p", 1);
  lv_new_clause_list(p, LV_DEF_COMPACTCODE);
  Assembler c1, c2;
  c1.op(LV_OP_GET_CONSTANT_X0, {C(atom("a"))}).op(LV_OP_PROCEED).op(LV_OP_END_OF_CLAUSE, {P(p)});
  c2.op(LV_OP_PROCEED).op(LV_OP_END_OF_CLAUSE, {P(p)});
  lv_code_block* b1 = clause(c1);
  lv_append_clause(p, b1, LV_KEY_ALL | LV_KEY_KEYED, atom("a"));
  lv_append_clause(p, clause(c2), LV_KEY_NONE, 0);
  p->flags |= LV_PRED_DYNAMIC | LV_PRED_SPY;

  lv_term code = lv_pred_code_terms(w, p, 0);
  ASSERT_EQ(name_of(code), "code");
  lv_term index = arg(code, 1);
  EXPECT_EQ(name_of(index), "index");
  EXPECT_EQ(name_of(arg(index, 1)), "try");  // VAR: both clauses
  EXPECT_EQ(elements(arg(arg(index, 1), 1)).size(), 2u);
  std::vector<lv_term> keys = elements(arg(index, 3));
  ASSERT_EQ(keys.size(), 1u);
  EXPECT_EQ(arg(keys[0], 1), atom("a"));
  std::vector<lv_term> clauses = elements(arg(code, 2));
  ASSERT_EQ(clauses.size(), 2u);
  EXPECT_EQ(arg(clauses[0], 1), lv_make_small(static_cast<int64_t>(reinterpret_cast<uintptr_t>(b1) / 8)));
  EXPECT_EQ(text(arg(clauses[0], 2)), "[var,number,atom,structure]");
  EXPECT_EQ(text(arg(clauses[1], 2)), "[var,number,atom,list,structure]");
  EXPECT_EQ(plain(instructions(arg(clauses[0], 3))[0]), "'GET_CONSTANT_X0'(a)");

  // predicate/11 through $disassemble_predicate.
  w->X[0] = terms::fn(w, atom("p"), {terms::var(w)});
  w->X[1] = atom("user");
  w->X[2] = terms::var(w);
  ASSERT_EQ(prolog_disassemble_predicate(w), 1);
  lv_term t = lv_deref(w->X[2]);
  ASSERT_EQ(name_of(t), "predicate");
  std::string fields;
  for (unsigned i : {1u, 2u, 3u, 5u, 6u, 7u, 8u, 9u}) fields += text(arg(t, i)) + " ";
  EXPECT_EQ(fields, "user p 1 :(user,/(p,1)) user [] [dynamic,spy] 'ENTER_COMPACTCODE_INDEXED' ");
  EXPECT_EQ(lv_code_address_of(arg(t, 4)), reinterpret_cast<const uint32_t*>(p));
  EXPECT_EQ(name_of(arg(t, 11)), "code");

  lv_pred* d = pred("user", "d", 0);
  lv_new_clause_list(d, LV_DEF_DYNAMIC);
  EXPECT_EQ(text(lv_pred_code_terms(w, d, 0)), "'INVALID_PREDTYPE'");
  lv_term props = lv_pred_properties_term(w, nullptr, d, 0);
  EXPECT_EQ(arg(props, 11), LV_ATOM_NIL);
  EXPECT_EQ(text(arg(props, 9)), "'ENTER_INTERPRETED'");
  w->X[0] = atom("missing");
  EXPECT_EQ(prolog_disassemble_predicate(w), 0);
}

TEST_F(CodeTermsTest, CoverageOfClauseCode) {
  lv_pred* p = pred("user", "p", 0);
  lv_new_clause_list(p, LV_DEF_COMPACTCODE);
  Assembler c1, c2;
  c1.op(LV_OP_PROCEED).op(LV_OP_END_OF_CLAUSE, {P(p)});
  c2.op(LV_OP_PROCEED).op(LV_OP_END_OF_CLAUSE, {P(p)});
  lv_append_clause(p, clause(c1, "f1"), LV_KEY_NONE, 0);
  lv_append_clause(p, clause(c2, "f2"), LV_KEY_NONE, 0);
  EXPECT_EQ(lv_code_coverage_terms(w, p, LV_ATOM_NIL, 0), LV_ATOM_NIL);  // no counters
  auto* counters = lv_new_counter_object();
  p->counters = counters;
  lv_wordtab_insert(&counters->table, reinterpret_cast<uint64_t>(c2.start()))->value = 2 * 3 + 1;
  lv_wordtab_insert(&counters->table, reinterpret_cast<uint64_t>(&p->continue_insn))->value = 2;  // no clause's
  EXPECT_EQ(text(lv_code_coverage_terms(w, p, atom("tail"), 0)), "[-(counter(f2,:(user,/(p,0)),2,-1),nondet(3))|tail]");
  p->counters = nullptr;
  lv_free_counter_object(counters);
}

// A decompiler of simple clauses written over instruction terms: head
// unification, register moves and one last call. What it gives back shows
// that the terms carry the clause.
class ClauseRebuilder {
 public:
  explicit ClauseRebuilder(int arity) {
    for (int i = 0; i < arity; i++) head_.push_back(reg(i) = fresh());
  }

 private:
  struct Node {
    std::string name;  // a variable when empty and no args
    std::vector<Node*> args;
    Node* alias = nullptr;
  };

  Node* fresh() {
    nodes_.push_back(std::make_unique<Node>());
    return nodes_.back().get();
  }
  Node* leaf(const std::string& name) {
    Node* n = fresh();
    n->name = name;
    return n;
  }
  static Node* resolve(Node* n) {
    while (n->alias != nullptr) n = n->alias;
    return n;
  }
  Node*& reg(int i) { return regs_[i]; }
  static int x(lv_term t) { return static_cast<int>(lv_small_value(arg(t, 1))); }

  // Binds an unbound node to a value.
  static void bind(Node* var, Node* value) {
    var = resolve(var);
    if (var != resolve(value)) var->alias = value;
  }
  // The next argument of the structure being matched.
  Node* next_arg() { return args_[position_++]; }
  void open(Node* n) {
    args_ = n->args;
    position_ = 0;
  }
  Node* structure(const std::string& name, unsigned arity) {
    Node* n = leaf(name);
    for (unsigned i = 0; i < arity; i++) n->args.push_back(fresh());
    return n;
  }

  void step(lv_term insn) {
    std::string name = name_of(insn);
    if (!name.empty() && name.back() == 'Q') name.pop_back();
    auto constant = [&](lv_term c) { return leaf(text(c)); };
    if (name == "GET_CONSTANT") {
      bind(reg(x(arg(insn, 1))), constant(arg(insn, 2)));
    } else if (name == "GET_NIL") {
      bind(reg(x(arg(insn, 1))), leaf("[]"));
    } else if (name == "GET_STRUCTURE" || name == "GET_LIST") {
      lv_term f = name == "GET_LIST" ? LV_ATOM_NIL : arg(insn, 2);
      Node* s = name == "GET_LIST" ? structure(".", 2)
                                   : structure(name_of(arg(f, 1)), static_cast<unsigned>(lv_small_value(arg(f, 2))));
      bind(reg(x(arg(insn, 1))), s);
      open(s);
    } else if (name == "UNIFY_X_VARIABLE") {
      reg(x(arg(insn, 1))) = next_arg();
    } else if (name == "UNIFY_X_VALUE") {
      bind(next_arg(), reg(x(arg(insn, 1))));
    } else if (name == "UNIFY_CONSTANT") {
      bind(next_arg(), constant(arg(insn, 1)));
    } else if (name == "UNIFY_NIL") {
      bind(next_arg(), leaf("[]"));
    } else if (name == "UNIFY_VOID_1") {
      next_arg();
    } else if (name == "GET_X_VARIABLE") {
      reg(x(arg(insn, 2))) = reg(x(arg(insn, 1)));
    } else if (name == "GET_X_VALUE") {
      bind(reg(x(arg(insn, 2))), reg(x(arg(insn, 1))));
    } else if (name.rfind("GET_X", 0) == 0 && name.size() == 9 && name[8] == 'n') {  // GET_Xi_Xn
      reg(name[5] - '0') = reg(x(arg(insn, 1)));
    } else if (name == "PUT_CONSTANT") {
      reg(x(arg(insn, 1))) = constant(arg(insn, 2));
    } else if (name == "EXECUTE") {
      lv_term spec = arg(arg(insn, 1), 2);
      int arity = static_cast<int>(lv_small_value(arg(spec, 2)));
      Node* goal = leaf(name_of(arg(spec, 1)));
      for (int i = 0; i < arity; i++) goal->args.push_back(reg(i));
      pending_goal_ = goal;
    } else if (name == "END_OF_CLAUSE") {
      if (name_.empty()) name_ = name_of(arg(arg(arg(insn, 1), 2), 1));
    }
  }

  std::string show(Node* n) {
    n = resolve(n);
    if (n->name.empty()) {
      auto it = var_names_.find(n);
      if (it != var_names_.end()) return it->second;
      std::string v = std::string("_") + static_cast<char>('A' + var_names_.size());
      var_names_[n] = v;
      return v;
    }
    if (n->name == "." && n->args.size() == 2) {
      std::string s = "[" + show(n->args[0]);
      Node* tail = resolve(n->args[1]);
      while (tail->name == "." && tail->args.size() == 2) {
        s += "," + show(tail->args[0]);
        tail = resolve(tail->args[1]);
      }
      return s + (tail->name == "[]" ? "]" : "|" + show(tail) + "]");
    }
    std::string s = n->name;
    for (size_t i = 0; i < n->args.size(); i++) s += (i == 0 ? "(" : ",") + show(n->args[i]);
    return n->args.empty() ? s : s + ")";
  }

 public:
  std::string finish(const std::vector<lv_term>& pairs) {
    std::string head_text;
    for (lv_term pair : pairs) step(arg(pair, 2));
    head_text = name_;
    if (!head_.empty()) {
      head_text += "(";
      for (size_t i = 0; i < head_.size(); i++) head_text += (i > 0 ? "," : "") + show(head_[i]);
      head_text += ")";
    }
    return pending_goal_ == nullptr ? head_text : head_text + " :- " + show(pending_goal_);
  }

 private:
  std::vector<std::unique_ptr<Node>> nodes_;
  std::map<int, Node*> regs_;
  std::vector<Node*> head_;
  std::vector<Node*> args_;
  size_t position_ = 0;
  Node* pending_goal_ = nullptr;
  std::map<Node*, std::string> var_names_;
  std::string name_;
};

TEST_F(CodeTermsTest, SimpleClausesDecompileToTheirTerms) {
  lv_pred* p = pred("user", "p", 4);
  lv_pred* q = pred("user", "q", 2);
  lv_pred* r = pred("user", "r", 3);
  // p(a, [], f(X, b), X).
  Assembler fact;
  fact.op(LV_OP_GET_CONSTANT, {X(0), C(atom("a"))})
      .op(LV_OP_GET_NIL, {X(1)})
      .op(LV_OP_GET_STRUCTURE, {X(2), F(lv_make_functor(atom("f"), 2))})
      .op(LV_OP_UNIFY_X_VARIABLE, {X(4)})
      .op(LV_OP_UNIFY_CONSTANT, {C(atom("b"))})
      .op(LV_OP_GET_X_VALUE, {X(3), X(4)})
      .op(LV_OP_PROCEED)
      .op(LV_OP_END_OF_CLAUSE, {P(p)});
  fact.finish();
  // q([H|T], N) :- r(T, H, N).
  Assembler rule;
  rule.op(LV_OP_GET_LIST, {X(0)})
      .op(LV_OP_UNIFY_X_VARIABLE, {X(3)})
      .op(LV_OP_UNIFY_X_VARIABLE, {X(4)})
      .op(LV_OP_GET_X_VARIABLE, {X(1), X(2)})
      .op(LV_OP_GET_X0_Xn, {X(4)})
      .op(LV_OP_GET_X1_Xn, {X(3)})
      .op(LV_OP_EXECUTE, {P(r)})
      .op(LV_OP_END_OF_CLAUSE, {P(q)});
  rule.finish();
  struct {
    const Assembler* code;
    int arity;
    const char* clause;
  } cases[] = {{&fact, 4, "p(a,[],f(_A,b),_A)"}, {&rule, 2, "q([_A|_B],_C) :- r(_B,_A,_C)"}};
  for (const auto& c : cases) {
    ClauseRebuilder rebuilder(c.arity);
    EXPECT_EQ(rebuilder.finish(elements(lv_insn_to_term(w, c.code->start(), nullptr, 0, 0))), c.clause);
  }
}

// Tokens of arithmetic, rebuilt into the expression they came from.
std::string expression(lv_term tokens) {
  std::string acc, second;
  static const std::map<std::string, std::string> ops = {{"add", "+"}, {"subtract", "-"}, {"multiply", "*"}};
  for (lv_term t : elements(tokens)) {
    std::string kind = name_of(t);
    std::string a1 = text(arg(t, 1));
    if (kind == "first") acc = a1;
    if (kind == "later") second = a1;
    if (kind == "monop") acc = a1 + "(" + acc + ")";
    if (kind == "binop")
      acc = "(" + acc + ops.at(a1) + (lv_functor_arity(lv_struct_cells(t)[0]) == 2 ? text(arg(t, 2)) : second) + ")";
    if (kind == "store") acc = a1 + " is " + acc;
    if (kind == "compare") acc = acc + " " + a1 + " " + second;
  }
  return acc;
}

TEST_F(CodeTermsTest, ArithmeticDecompilesFromItsTokens) {
  Assembler a;
  a.op(LV_OP_GET_X_VARIABLE, {X(5), X(1)})
      .label("first")
      .op(LV_OP_FIRST_Y_VALUE, {Y(0)})
      .op(LV_OP_BINOP_ADD_IMM, {I(1)})
      .op(LV_OP_LATER_X_VALUE, {X(1)})
      .label("mul")
      .op(LV_OP_BINOP_MULTIPLY)
      .op(LV_OP_MONOP_MINUS)
      .op(LV_OP_STORE_X_VARIABLE, {X(0)})
      .label("compare")
      .op(LV_OP_FIRST_X_VALUE, {X(0)})
      .op(LV_OP_LATER_CONSTANT, {I(3)})
      .op(LV_OP_LESS_THAN, {L(lv_fail_code)})
      .label("other")
      .op(LV_OP_PROCEED);
  a.finish();
  auto tokens = [&](const char* label) -> std::string {
    w->X[0] = lv_code_address_term(a.at(label), false);
    w->X[1] = terms::var(w);
    if (prolog_decompile_tokens(w) == 0) return "fails";
    return text(w->X[1]) + " = " + expression(w->X[1]);
  };
  const std::string first =
      "[first(y(0)),binop(add,1),later(x(1)),binop(multiply),monop(minus),store(x(0))] = x(0) is minus(((y(0)+1)*x(1)))";
  EXPECT_EQ(tokens("first"), first);
  EXPECT_EQ(tokens("mul"), first);  // from within the expression
  EXPECT_EQ(tokens("compare"), "[first(x(0)),later(3),compare(less_than)] = x(0) less_than 3");
  EXPECT_EQ(tokens("other"), "fails");
  w->X[0] = atom("x");
  EXPECT_EQ(prolog_decompile_tokens(w), 0);
}

}  // namespace
