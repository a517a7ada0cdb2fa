// Indexicals over a real engine: definitions written by hand as the
// compiled terms Prolog hands over, installed into a chain table and
// evaluated on posted $indexical/8 terms; malformed definitions refused at
// install, and what can only be checked while evaluating refused then.
#include <gtest/gtest.h>

#include <string>

#include "domsolve/solver_fixture.h"
#include "kernel/attributes.h"
#include "kernel/foreign_predicates.h"
#include "kernel/indexical.h"
#include "kernel/propagation.h"
#include "kernel/state_terms.h"
#include "support/random_roots.h"

namespace {

class Indexical : public SolverTest {
 protected:
  void TearDown() override {
    for (void*& head : table) fd_release_definition_chain(&env, &head);
    SolverTest::TearDown();
  }
  // Installs one definition (entries, target, code, stored terms written as
  // Prolog lists) in the slot; the refusal's reason, or "" when installed.
  std::string install(const std::string& entries, int target, const std::string& code, const std::string& stored,
                      int slot = 0) {
    lv_term c = read(code), s = read(stored), e = read(entries);
    int64_t nc = list_length(c), ns = list_length(s), ne = list_length(e);
    std::string t = "[ix(" + entries + ", " + std::to_string(ne) + ", " + std::to_string(target) + ", " + code +
                    ", " + std::to_string(nc) + ", " + stored + ", " + std::to_string(ns) + ")]";
    const char* why = nullptr;
    int ok = fd_build_definition_chain(&env, read(t), slot, 1, table, &why);
    return ok ? "" : why;
  }
  static int64_t list_length(lv_term l) {
    int64_t n = 0;
    for (l = lv_deref(l); lv_is_list(l); l = lv_deref(lv_list_cells(l)[1])) n++;
    return n;
  }
  // An attribute for a domain lo..hi, or for the value lo when hi < lo.
  lv_term attribute(int64_t lo, int64_t hi) {
    if (hi < lo) return fd_make_dvar_attribute(&env, lv_make_small(lo), FD_INF, FD_SUP, FD_SUP, 0, 0);
    return fd_make_dvar_attribute(&env, read("_"), lv_make_small(lo), lv_make_small(hi),
                                  lv_make_small(hi - lo + 1), 0, 0);
  }
  // A posted indexical of the definition in slot over the attributes; its
  // reification variable has domain 0..1.
  lv_term_ref post(int slot, std::initializer_list<lv_term> attrs) {
    std::string args;
    for (size_t i = 0; i < attrs.size(); i++) args += i ? ", _" : "_";
    lv_term reif_attr = attribute(0, 1);
    lv_term p = read("'$indexical'(0, g, 0, _, _, t(" + args + "), _, [])");
    lv_term* c = lv_struct_cells(p);
    c[1] = fd_pointer_term(table[slot]);
    size_t i = 1;
    for (lv_term a : attrs) lv_struct_cells(lv_deref(c[6]))[i++] = a;
    c[5] = lv_deref(lv_struct_cells(reif_attr)[2]);
    c[7] = reif_attr;
    return ref(p);
  }
  lv_term arg(lv_term_ref p, int i) { return lv_deref(lv_struct_cells(lv_deref(w->termrefs[p].term))[i]); }
  std::string domain(lv_term attr) { return text(fd_attribute_domain(attr)); }
  int eval(lv_term_ref p) {
    begin_call();
    lv_term_ref actions = ref("[]");
    return fd_eval_indexical_code(&env, actions, p, 0);
  }

  void* table[4] = {};
};

TEST_F(Indexical, XInZeroToSup) {
  ASSERT_EQ(install("[p(1, 1)]", 1, "[41, 0, 47]", "[]"), "");
  // Fixed to 5: nothing to tell, and entailed.
  lv_term five = attribute(5, 0);
  lv_term_ref p = post(0, {five});
  EXPECT_EQ(eval(p), 1);
  EXPECT_EQ(text(arg(p, 4)), "1");
  // Fixed to -1: failure, which raises the variable's failure count.
  lv_term minus = attribute(-1, -2);
  p = post(0, {minus});
  EXPECT_EQ(eval(p), 0);
  EXPECT_EQ(text(lv_struct_cells(minus)[7]), "1");
  // A variable -5..9 is narrowed to 0..9; it read no unfixed variable, so
  // it is entailed as well.
  lv_term x = attribute(-5, 9);
  p = post(0, {x});
  EXPECT_EQ(eval(p), 1);
  EXPECT_EQ(domain(x), "dom([[0|9]],0,9,10)");
  EXPECT_EQ(text(arg(p, 4)), "1");
  EXPECT_EQ(fd_item_flags(lv_deref(w->termrefs[p].term)), 0);
}

TEST_F(Indexical, ReifiedCheck) {
  // X = 3, the truth value 1 on entailment (slot 1); the second variable's
  // minimum is read first, so the check is decided negatively only while it
  // is fixed.
  ASSERT_EQ(install("[p(1, 1), p(2, 1)]", 1, "[33, 2, 41, 3, 59]", "[]", 1), "");
  const struct {
    int64_t xlo, xhi, ylo, yhi;
    const char* status;
    const char* reif;
  } cases[] = {
      {1, 5, 0, -1, "_", "dom([[0|1]],0,1,2)"},  // undecided
      {3, 2, 0, -1, "1", "1"},                   // X fixed to 3: true
      {4, 3, 0, -1, "0", "0"},                   // X fixed to 4, Y fixed: false
      {4, 3, 0, 9, "_", "dom([[0|1]],0,1,2)"},   // X fixed to 4, Y open: undecided
      {5, 9, 0, -1, "0", "0"},                   // 3 not in X: false
  };
  for (const auto& c : cases) {
    lv_term_ref p = post(1, {attribute(c.xlo, c.xhi), attribute(c.ylo, c.yhi)});
    EXPECT_EQ(eval(p), 1);
    std::string status = lv_is_ref(arg(p, 4)) ? "_" : text(arg(p, 4));
    EXPECT_EQ(status, c.status) << c.xlo << ".." << c.xhi;
    EXPECT_EQ(lv_is_ref(arg(p, 5)) ? domain(arg(p, 7)) : text(arg(p, 5)), c.reif) << c.xlo << ".." << c.xhi;
  }
}

TEST_F(Indexical, ProgramsAndTheirResults) {
  const struct {
    const char* code;
    const char* stored;
    const char* domain;
  } cases[] = {
      // A loop over 1..3 whose body gives {2r}: the union of the results.
      {"[41, d(0), 63, 12, 18, 7, 21, 2, 0, 64, 7, 4, 52]", "[d([[1|3]])]", "dom([[2|2],[4|4],[6|6]],2,6,3)"},
      // Words above 86 are skipped.
      {"[99, 41, 3, 1000, 47]", "[]", "dom([[3|9]],3,9,7)"},
      // min(X)+2 .. max(X)-2, through the arithmetic.
      {"[34, 41, 2, 19, 38, 41, 2, 20, 48]", "[]", "dom([[3|7]],3,7,5)"},
      // X not in {4, 6}; X in {1..5} mod 3 over a constant set.
      {"[41, 4, 41, 6, 10, 50]", "[]", "dom([[1|3],[5|5],[7|9]],1,9,7)"},
      {"[41, d(0), 41, 3, 7, 52]", "[d([[1|5]])]", "dom([[1|2]],1,2,2)"},
      // A hash dispatch on the value 2: its entry jumps to code that pushes
      // 5..sup and returns.
      {"[41, 2, 69, h(0), 5, 47, 41, 5, 70]", "[f([-(2, 6)])]", "dom([[5|9]],5,9,5)"},
  };
  for (const auto& c : cases) {
    ASSERT_EQ(install("[p(1, 1)]", 1, c.code, c.stored), "") << c.code;
    lv_term x = attribute(1, 9);
    lv_term_ref p = post(0, {x});
    EXPECT_EQ(eval(p), 1) << c.code;
    EXPECT_EQ(domain(x), c.domain) << c.code;
  }
}

TEST_F(Indexical, SaturatedRangeReportsAnOverflow) {
  ASSERT_EQ(install("[p(1, 1)]", 1, "[41, t(0), 41, t(0), 4, 52]", "[inf]"), "");
  state->overflow = 0;  // fail quietly
  lv_term_ref p = post(0, {attribute(1, 9)});
  EXPECT_EQ(eval(p), 0);
  EXPECT_TRUE(call_failed());
  EXPECT_EQ(state->pending_overflow, 0);
}

TEST_F(Indexical, MalformedDefinitionsAreRefused) {
  const struct {
    const char* entries;
    int target;
    const char* code;
    const char* stored;
    const char* why;
  } cases[] = {
      {"[p(1, 1)]", 1, "[18, 23, 52]", "[]", "register"},
      {"[p(1, 1)]", 1, "[18, 4, 52]", "[]", "register"},         // a word of the target's record
      {"[p(1, 1)]", 1, "[64, 1, 0]", "[]", "register"},          // a loop writing the target's bounds
      {"[p(1, 1)]", 1, "[61, 50]", "[]", "jump target"},         // past the end
      {"[p(1, 1)]", 1, "[41, 5, 62, 1]", "[]", "jump target"},   // into an operand
      {"[p(1, 1)]", 1, "[63, 2, 45]", "[]", "loop target"},      // not just after a loop end
      {"[p(1, 1)]", 1, "[41, t(3)]", "[]", "stored-term index"},
      {"[p(1, 1)]", 1, "[41, h(0)]", "[f([-(1, 0)])]", "stored-term index"},
      {"[p(1, 1)]", 1, "[69, h(0), 3, 45]", "[inf]", "stored-term index"},
      {"[p(1, 1)]", 1, "[45]", "[f([-(1, 99)])]", "hash table offset"},
      {"[p(1, 1)]", 1, "[45]", "[f([-(x, a)])]", "hash table pairs"},
      {"[p(1, 1)]", 1, "[41]", "[]", "operand missing"},
      {"[p(1, 1)]", 1, "[t(0)]", "[inf]", "opcode"},
      {"[p(1, 1)]", 1, "[25, 0]", "[]", "variable position"},
      {"[p(0, 1)]", 1, "[45]", "[]", "variable entries"},
      {"[p(1, 1)]", 0, "[45]", "[]", "counts"},
      {"[p(1, 1)]", 1, "[45]", "[d(f(_))]", "stored term"},
      {"[p(1, 1)]", 1, "[45]", "[g(a, b)]", "stored term"},
      {"[p(1, 1)]", 1, "[41, 2.5]", "[]", "code word"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(install(c.entries, c.target, c.code, c.stored), c.why) << c.code << " " << c.stored;
    EXPECT_EQ(table[0], nullptr) << c.code;
  }
  // A wrong count, and a slot outside the table.
  const char* why = nullptr;
  EXPECT_EQ(fd_build_definition_chain(&env, read("[ix([], 0, 1, [45], 2, [], 0)]"), 0, 1, table, &why), 0);
  EXPECT_STREQ(why, "code length");
  EXPECT_EQ(fd_build_definition_chain(&env, read("[ix([], 0, 1, [45], 1, [], 0)]"), 4, 1, table, &why), 0);
  EXPECT_STREQ(why, "slot");
}

TEST_F(Indexical, WhatOnlyEvaluationCanTellIsRefusedThen) {
  const struct {
    const char* code;
  } cases[] = {
      {"[33, 5, 47]"},          // a variable position past the posted tuple
      {"[41, 1, 70]"},          // a return with no address under the result
      {"[41, t(0), 41, 1, 70]"},  // a return address that is no code offset
      {"[52]"},                 // a pop from the empty stack
      {"[41, 1, 0, 0, 52]"},    // a set where a value is needed
  };
  for (const auto& c : cases) {
    ASSERT_EQ(install("[p(1, 1)]", 1, c.code, "[a]"), "") << c.code;
    lv_term_ref p = post(0, {attribute(1, 9)});
    EXPECT_EQ(eval(p), 0) << c.code;
    EXPECT_TRUE(call_failed()) << c.code;
  }
  // A value stack deeper than its registers.
  std::string deep = "[";
  for (int i = 0; i < FD_IX_STACK + 1; i++) deep += "41, 1, ";
  deep += "47]";
  ASSERT_EQ(install("[p(1, 1)]", 1, deep, "[]"), "");
  EXPECT_EQ(eval(post(0, {attribute(1, 9)})), 0);
  EXPECT_TRUE(call_failed());
}

// A bad operand ends the evaluation as malformed at once: nothing is told,
// the indexical is not taken for entailed, whatever the code does next.
TEST_F(Indexical, ABadOperandEndsTheEvaluationAsMalformed) {
  const char* cases[] = {
      "[46]",              // tell inf..top over an empty stack
      "[47]",              // tell top..sup over an empty stack
      "[1, 21, 2, 47]",    // a set multiplied, then told
      "[1, 22, 0, 47]",    // a set divided by 0: undefined, which finishes
      "[1, 23, 2, 47]",
      "[1, 42, 2, 47]",    // times a fixed variable's value
      "[1, 43, 2, 47]",
      "[1, 44, 2, 47]",
      "[1, 80, 0, 47]",    // times a register
      "[1, 81, 0, 47]",
      "[1, 82, 0, 47]",
      "[1, 41, 3, 24, 47]",  // a set modulo 3
      "[1, 41, 3, 85, 47]",  // a set remainder 3
      "[41, 3, 1, 24, 47]",  // 3 modulo a set
  };
  for (const char* code : cases) {
    ASSERT_EQ(install("[p(1, 1), p(2, 1)]", 1, code, "[]"), "") << code;
    lv_term x = attribute(-5, 9);
    lv_term_ref p = post(0, {x, attribute(2, 1)});
    EXPECT_EQ(eval(p), 0) << code;
    EXPECT_TRUE(call_failed()) << code;
    EXPECT_EQ(domain(x), "dom([[-5|9]],-5,9,15)") << code;
    EXPECT_TRUE(lv_is_ref(arg(p, 4))) << code;
    EXPECT_EQ(state->pending_overflow, 0) << code;
  }
}

// Stored lists are walked along their tails: a cyclic one and one longer
// than 10,000 elements are refused, as are terms nested too deep.
TEST_F(Indexical, StoredListsAreBounded) {
  // Room for the long texts, which the test reader builds without asking.
  terms::make_room(w, 400000);
  auto long_list = [](int n) {
    std::string l = "[";
    for (int i = 0; i < n; i++) l += (i ? ",-(" : "-(") + std::to_string(i) + ", 0)";
    return l + "]";
  };
  EXPECT_EQ(install("[p(1, 1)]", 1, "[45]", "[f(" + long_list(10000) + ")]"), "");
  EXPECT_EQ(install("[p(1, 1)]", 1, "[45]", "[f(" + long_list(10001) + ")]"), "hash table pairs");
  EXPECT_EQ(install("[p(1, 1)]", 1, "[45]", "[d(" + long_list(10001) + ")]"), "stored term");
  std::string deep = "a";
  for (int i = 0; i < 1100; i++) deep = "g(" + deep + ")";
  EXPECT_EQ(install("[p(1, 1)]", 1, "[45]", "[d([" + deep + "])]"), "stored term");
  // Cyclic lists of pairs, as a hash table and as a copied term.
  for (const char* kind : {"f", "d"}) {
    lv_term pairs = read("[-(1, 0), -(2, 0)]");
    lv_term second = lv_deref(lv_list_cells(pairs)[1]);
    lv_list_cells(second)[1] = pairs;
    lv_term stored = read(std::string("[") + kind + "(_)]");
    lv_struct_cells(lv_deref(lv_list_cells(stored)[0]))[1] = pairs;
    lv_term def = read("[ix([p(1, 1)], 1, 1, [45], 1, _, 1)]");
    lv_struct_cells(lv_deref(lv_list_cells(def)[0]))[6] = stored;
    const char* why = nullptr;
    EXPECT_EQ(fd_build_definition_chain(&env, def, 0, 1, table, &why), 0) << kind;
    EXPECT_STREQ(why, std::string(kind) == "f" ? "hash table pairs" : "stored term");
  }
}

TEST_F(Indexical, StoredTermsLiveOutsideTheHeapWithTheirAtomsHeld) {
  ASSERT_EQ(install("[p(1, 1)]", 1, "[41, d(0), 52]", "[d([[1|3], [k2_atom|x2_atom]])]"), "");
  auto* def = static_cast<fd_definition*>(table[0]);
  ASSERT_EQ(def->stored[0].kind, static_cast<uint32_t>(FD_STORED_COPY));
  lv_term* cell = reinterpret_cast<lv_term*>(def->stored[0].term & ~uint64_t{3});
  EXPECT_FALSE(cell >= w->area_start && cell < w->area_end);
  EXPECT_EQ(def->atom_count, 3);  // k2_atom, x2_atom and []
  // Replacing the chain frees the old one.
  ASSERT_EQ(install("[p(1, 1)]", 1, "[45]", "[]"), "");
  EXPECT_NE(table[0], static_cast<void*>(def));
}

TEST_F(Indexical, AttachingAndTheDriver) {
  // X in min(Y)..sup, waiting on nothing: attached to Y for its events.
  ASSERT_EQ(install("[p(1, 1), p(2, 1)]", 1, "[33, 2, 47]", "[]"), "");
  lv_term x = attribute(0, 9), y = attribute(0, 9);
  lv_term_ref p = post(0, {x, y});
  fd_attach_indexical(&env, static_cast<fd_definition*>(table[0]), lv_deref(w->termrefs[p].term), 0);
  EXPECT_EQ(text(fd_mutable_value(lv_struct_cells(y)[FD_ATTR_COUNT])), "1");
  EXPECT_EQ(text(fd_mutable_value(lv_struct_cells(x)[FD_ATTR_COUNT])), "1");
  // Y's minimum rises: the indexical is queued and the driver runs it.
  fd_queue_open(&env);
  fd_tell_interval(&env, y, lv_deref(lv_struct_cells(y)[2]), lv_make_small(4), lv_make_small(9), 3, 0);
  begin_call();
  lv_term_ref out = LV_new_term_ref();
  EXPECT_EQ(fd_evaluate_indexical(&env, out), 0);
  EXPECT_FALSE(call_failed());
  EXPECT_EQ(domain(x), "dom([[4|9]],4,9,6)");
  EXPECT_TRUE(lv_is_ref(arg(p, 4)));  // Y is not fixed: not entailed
}

}  // namespace
