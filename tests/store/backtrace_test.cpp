// Backtraces, pending cleanups and ancestors, taken from inside a running
// query: p :- q, true.  q :- probe, true.  (probe is written in C.)
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "core/unify.h"
#include "store/backtrace.h"
#include "store/code_print.h"
#include "support/emulator_fixture.h"
#include "support/listing_text.h"
#include "support/terms.h"

namespace {

using namespace assembler;

std::function<int(lv_worker*)> probe_body;
int probe(lv_worker* w) { return probe_body(w); }

class BacktraceTest : public EmulatorTest {
 protected:
  void SetUp() override {
    EmulatorTest::SetUp();
    lv_pred* probe_pred = c_pred("probe", 0, probe);
    lv_pred* truth = c_pred("truth", 0, [](lv_worker*) { return 1; });
    q_pred = pred("user", "q", 0);
    p_pred = pred("user", "p", 0);
    qa.op(LV_OP_INITCALL, {R(0, {}), P(probe_pred), S(0)})
        .label("k")
        .op(LV_OP_LASTCALL, {R(0, {}), P(truth)})
        .op(LV_OP_END_OF_CLAUSE, {P(q_pred)});
    qb.op(LV_OP_PROCEED).op(LV_OP_END_OF_CLAUSE, {P(q_pred)});  // a second clause: a choicepoint
    pa.op(LV_OP_INITCALL, {R(0, {}), P(q_pred), S(0)})
        .label("k")
        .op(LV_OP_LASTCALL, {R(0, {}), P(truth)})
        .op(LV_OP_END_OF_CLAUSE, {P(p_pred)});
    lv_new_clause_list(q_pred, LV_DEF_COMPACTCODE);
    lv_append_clause(q_pred, clause(qa, "file_a"), LV_KEY_NONE, 0);
    lv_append_clause(q_pred, clause(qb, "file_a"), LV_KEY_NONE, 0);
    lv_new_clause_list(p_pred, LV_DEF_COMPACTCODE);
    lv_append_clause(p_pred, clause(pa), LV_KEY_NONE, 0);
  }
  void TearDown() override {
    probe_body = nullptr;
    EmulatorTest::TearDown();
  }

  // $ancestors(Limit, Flags, A) from inside probe, as text.
  std::string ancestors(lv_term limit, lv_term flags) {
    std::string result = "not run";
    probe_body = [&](lv_worker* w) {
      w->X[0] = limit;
      w->X[1] = flags;
      w->X[2] = terms::var(w);
      lv_term out = w->X[2];
      if (prolog_ancestors(w) == 0) {
        result = "fails";
        return 1;
      }
      char text[1024];
      lv_term_text(out, true, text, sizeof text);
      result = text;
      return 1;
    };
    EXPECT_EQ(call(p_pred), 1);
    return result;
  }

  Assembler pa, qa, qb;
  lv_pred* p_pred = nullptr;
  lv_pred* q_pred = nullptr;
};

TEST_F(BacktraceTest, AncestorsAreTheCallersInnermostFirst) {
  EXPECT_EQ(ancestors(lv_make_small(0), lv_make_small(0)),
            "[ancestor(:(user,/(q,0)),1,1,-1),ancestor(:(user,/(p,0)),1,1,-1)]");
  EXPECT_EQ(ancestors(lv_make_small(1), lv_make_small(0)), "[ancestor(:(user,/(q,0)),1,1,-1)]");
  std::string with_address = ancestors(lv_make_small(1), lv_make_small(LV_ANCESTORS_WITH_ADDRESS));
  EXPECT_EQ(with_address, "[ancestor(:(user,/(q,0)),1,1,-1," +
                              std::to_string(reinterpret_cast<uintptr_t>(qa.at("k"))) + ")]");
  EXPECT_EQ(ancestors(LV_ATOM_NIL, lv_make_small(0)), "fails");
  EXPECT_EQ(ancestors(lv_make_small(0), atom("x")), "fails");
}

TEST_F(BacktraceTest, BacktraceShowsFramesChoicepointsAndCode) {
  std::string out;
  probe_body = [&](lv_worker* w) {
    testing::internal::CaptureStderr();
    prolog_backtrace(w);
    // Q forms by their plain names: where they stand depends on alignment.
    out = listing_text::plain_names(testing::internal::GetCapturedStderr());
    return 1;
  };
  ASSERT_EQ(call(p_pred), 1);
  for (const std::string& expected :
       {std::string("  Environment #1 at "), ", arity = 0, continuation at " + std::string() , std::string(" in user:q/0\n"),
        std::string(" in user:p/0\n"), std::string("Choicepoint #1 at "), std::string(": created by user:q/0\n"),
        std::string("  (local,global,trail) top = ("), std::string("  alt pc = "),
        std::string(": LASTCALL [],user:truth/0\n"), std::string(": END_OF_CLAUSE user:p/0\n")})
    EXPECT_NE(out.find(expected), std::string::npos) << expected << "\nin\n" << out;
  // The chain of the choicepoint reaches the frame printed before.
  EXPECT_NE(out.find("  see above for rest of backtrace\n"), std::string::npos) << out;
}

TEST_F(BacktraceTest, DumpCleanupShowsChoicepointsAndPendingGoals) {
  std::string out;
  probe_body = [&](lv_worker* w) {
    // A cleanup chain with one entry [Status|Goal] made after the newest
    // choicepoint.
    lv_term goal = terms::fn(w, atom("undo"), {atom("x")});
    lv_term entry = terms::cons(w, terms::var(w), goal);
    lv_term saved = w->termrefs[6].term;
    w->termrefs[6].term = terms::mutable_term(w, terms::list(w, {entry}));
    testing::internal::CaptureStderr();
    prolog_dump_cleanup(w);
    out = testing::internal::GetCapturedStderr();
    w->termrefs[6].term = saved;
    return 1;
  };
  ASSERT_EQ(call(p_pred), 1);
  for (const char* expected : {"Choicepoint #1 at ", "  trail top = ", "  alt pc = ", "Current cleanup: undo(x)\n"})
    EXPECT_NE(out.find(expected), std::string::npos) << expected << "\nin\n" << out;
}

}  // namespace
