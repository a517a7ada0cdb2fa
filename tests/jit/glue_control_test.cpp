// Native code over a real engine, through the glue routines: head
// unification, binding and trailing, choicepoints retried and trusted,
// cut, calls between native code and the emulator both ways, events met in
// native code, the stub links of native calls. Results are compared with
// the emulator running the same programs.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/attributes.h"
#include "core/stack_shift.h"
#include "core/suspension.h"
#include "jit/native_fixture.h"
#include "support/nrev_program.h"
#include "support/terms.h"

namespace {

using namespace assembler;
using terms::show;
using terms::small;

struct observations {
  int events;
  int calls;
  std::string order;
};
observations seen;

int count_event(lv_worker*) {
  seen.events++;
  seen.order += "event ";
  return 1;
}
int zero_soft_limit(lv_worker* w) {
  seen.order += "zero ";
  lv_request_event(w);
  return 1;
}
int note_call(lv_worker* w) {
  seen.calls++;
  seen.order += "c(" + terms::reader(w).write(w->X[0]) + ") ";
  return 1;
}
int wake_attributes(lv_worker*) {
  seen.order += "wake ";
  return 1;
}
int succeed(lv_worker*) { return 1; }

class NativeControlTest : public NativeTest {
 protected:
  void SetUp() override {
    NativeTest::SetUp();
    seen = {};
    role("$event_handler", 0, count_event);
    role("$run_woken_goals", 1, succeed);
    role("$wake_attributes", 2, wake_attributes);
    Assembler resume;
    resume.op(LV_OP_EXECUTE, {P(lv_kind_pred[LV_KIND_BUILTIN_RESUME])});
    clauses("$frame_handler", 7, {&resume}, "prolog");
    lv_lookup_role_predicates();
  }

  lv_pred* indexed(const char* name, unsigned arity) {
    lv_pred* p = pred("user", name, arity);
    lv_new_clause_list(p, LV_DEF_COMPACTCODE);
    return p;
  }

  lv_term ints(std::initializer_list<int64_t> values) {
    lv_term l = LV_ATOM_NIL;
    for (auto it = std::rbegin(values); it != std::rend(values); ++it) l = terms::cons(w, small(*it), l);
    return l;
  }

  // app([], L, L).
  // app([H|T], L, [H|R]) :- app(T, L, R).
  // Labels: 0 the alternative record, 1 the second clause, 2-5 inside it.
  void install_app(lv_pred* app) {
    install(app,
            {prologue(),
             push_choicepoint(0, 3),
             {"move(x(0), arg0)", "call(kernel(native_get_nil))", "move(x(1), arg0)", "move(x(2), arg1)",
              "call(kernel(native_get_value))", "jump(kernel(native_proceed))", "align(0)", "label(0)",
              "try_chain([f(label(1), " + address(lv_fail_code) + ")], 3)"},
             header(1),
             {"move(x(0), arg0)", "call(kernel(native_get_list))", "branch(e, label(2))", "move(s(0), x(3))",
              "move(s(8), x(0))", "jump(label(3))", "label(2)", "init(h(0), x(3))", "init(h(8), x(0))",
              "add(h, 16, h)", "label(3)", "move(x(2), arg0)", "call(kernel(native_get_list))",
              "branch(e, label(4))", "move(s(0), arg0)", "move(x(3), arg1)", "call(kernel(native_get_value))",
              "move(s(8), x(2))", "jump(label(5))", "label(4)", "move(x(3), h(0))", "init(h(8), x(2))",
              "add(h, 16, h)", "label(5)"},
             call_to("native_entry(" + spec(lv_atom_text(app->name), 3) + ")")},
            6);
  }

  // nrev([], []).
  // nrev([H|T], R) :- nrev(T, RT), app(RT, [H], R).
  // The second clause keeps H, R and RT in an environment frame.
  void install_nrev(lv_pred* nrev, lv_pred* app) {
    install(nrev,
            {prologue(),
             push_choicepoint(0, 2),
             {"move(x(0), arg0)", "call(kernel(native_get_nil))", "move(x(1), arg0)", "call(kernel(native_get_nil))",
              "jump(kernel(native_proceed))", "align(0)", "label(0)",
              "try_chain([f(label(1), " + address(lv_fail_code) + ")], 2)"},
             header(1),
             {"move(e, a(0))", "move(cp, a(8))", "move(a, e)", "add(a, 40, a)", "move(x(0), arg0)",
              "call(kernel(native_get_list))", "branch(e, label(2))", "move(s(0), y(0))", "move(s(8), x(0))",
              "jump(label(3))", "label(2)", "init(h(0), y(0))", "init(h(8), x(0))", "add(h, 16, h)", "label(3)",
              "move(x(1), y(1))", "init(y(2), x(1))"},
             call_to("native_entry(" + spec(lv_atom_text(nrev->name), 2) + ")", 4),
             header(4),
             {"move(y(2), x(0))", "move(y(0), h(0))", "move(nil, h(8))", "add(h, 2, x(1))", "add(h, 16, h)",
              "move(y(1), x(2))", "move(e(8), cp)", "move(e(0), e)"},
             call_to("native_entry(" + spec(lv_atom_text(app->name), 3) + ")")},
            5);
  }

  // All answers of a query as text ("fail" for none).
  std::vector<std::string> answers(lv_pred* p, std::initializer_list<lv_term> args, lv_term shown) {
    std::vector<std::string> out;
    for (int r = call(p, args); r == 1; r = redo()) out.push_back(terms::reader(w).write(shown));
    return out;
  }
};

TEST_F(NativeControlTest, AppendAnswersAsTheEmulatorDoes) {
  lv_pred* native = pred("user", "app", 3);
  lv_pred* emulated = indexed("app_e", 3);
  programs::define_nrev(emulated, indexed("nrev_e", 2));
  install_app(native);
  for (lv_pred* p : {native, emulated}) link(p);
  // Each query on both predicates: the answers (X, Y and Z shown together).
  auto both = [&](lv_pred* p, int which) {
    lv_term x = terms::var(w), y = terms::var(w), z = terms::var(w);
    lv_term all = terms::fn(w, atom("r"), {x, y, z});
    switch (which) {
      case 0: return answers(p, {ints({1, 2}), ints({3}), z}, all);
      case 1: return answers(p, {x, y, ints({1, 2, 3})}, all);
      case 2: return answers(p, {ints({1, 2}), y, ints({1, 2, 3})}, all);
      case 3: return answers(p, {ints({1, 2}), ints({3}), ints({1, 3, 3})}, all);
      default: return answers(p, {ints({1, 2}), ints({3}), atom("x")}, all);
    }
  };
  for (int q = 0; q < 5; q++) EXPECT_EQ(both(native, q), both(emulated, q)) << "query " << q;
  lv_term x = terms::var(w), y = terms::var(w);
  EXPECT_EQ(answers(native, {x, y, ints({1, 2})}, terms::fn(w, atom("pair"), {x, y})),
            (std::vector<std::string>{"pair([],[1,2])", "pair([1],[2])", "pair([1,2],[])"}));
  // Every binding was undone by backtracking.
  EXPECT_TRUE(lv_is_ref(lv_deref(x)));
  EXPECT_TRUE(lv_is_ref(lv_deref(y)));
}

TEST_F(NativeControlTest, NaiveReverseAcrossNativeAndEmulatedPredicates) {
  lv_term list = LV_ATOM_NIL, reversed = LV_ATOM_NIL;
  for (int64_t i = 30; i >= 1; i--) list = terms::cons(w, small(i), list);
  for (int64_t i = 1; i <= 30; i++) reversed = terms::cons(w, small(i), reversed);
  // The emulator's nrev calling native app; native nrev and app; native
  // nrev calling the emulator's app.
  lv_pred* app_n = indexed("app_n", 3);
  lv_pred* nrev_e = indexed("nrev_e", 2);
  programs::define_nrev(app_n, nrev_e);
  install_app(app_n);
  lv_pred* nrev_n = pred("user", "nrev_n", 2);
  install_nrev(nrev_n, app_n);
  lv_pred* app_e = indexed("app_e", 3);
  programs::define_nrev(app_e, indexed("unused", 2));
  lv_pred* nrev_ne = pred("user", "nrev_ne", 2);
  install_nrev(nrev_ne, app_e);
  for (lv_pred* p : {app_n, nrev_n, app_e, nrev_ne, nrev_e}) link(p);
  for (lv_pred* nrev : {nrev_e, nrev_n, nrev_ne}) {
    SCOPED_TRACE(lv_atom_text(nrev->name));
    lv_term r = terms::var(w);
    ASSERT_EQ(call(nrev, {list, r}), 1);
    EXPECT_EQ(show(r), show(reversed));
    EXPECT_EQ(call(nrev, {list, reversed}), 1);
    EXPECT_EQ(call(nrev, {list, terms::cons(w, small(0), reversed)}), 0);
  }
}

TEST_F(NativeControlTest, ShuntLinkPointsTheCallSiteAtTheCalleeAndRestoreLinkBack) {
  lv_pred* app = indexed("app", 3);
  programs::define_nrev(app, indexed("unused", 2));
  install_app(app);
  lv_pred* nrev = pred("user", "nrev", 2);
  install_nrev(nrev, app);
  for (lv_pred* p : {app, nrev}) link(p);
  lv_term list = ints({1, 2, 3});
  lv_term r = terms::var(w);
  ASSERT_EQ(call(nrev, {list, r}), 1);
  EXPECT_EQ(show(r), "[3,2,1]");
  // The calls of app in nrev's code now reach app's code start directly
  // (or through a trampoline that jumps there).
  uint8_t* app_start = static_cast<uint8_t*>(app->jit_block) + 32;
  uint8_t* nrev_start = static_cast<uint8_t*>(nrev->jit_block) + 32;
  // The target of the rel32 call at site; one of the block's own
  // trampolines is followed.
  auto* block = static_cast<uint8_t*>(nrev->jit_block);
  uint64_t block_size = reinterpret_cast<uint64_t*>(block)[0];
  auto site_target = [&](uint8_t* site) {
    int32_t rel;
    std::memcpy(&rel, site + 1, 4);
    uint64_t t = reinterpret_cast<uint64_t>(site + 5) + static_cast<uint64_t>(static_cast<int64_t>(rel));
    bool trampoline = (t & 15) == 2 && t >= reinterpret_cast<uint64_t>(block) &&
                      t + 14 <= reinterpret_cast<uint64_t>(block + block_size);
    if (trampoline) std::memcpy(&t, reinterpret_cast<uint8_t*>(t) + 6, 8);
    return t;
  };
  uint8_t* site = nullptr;
  for (uint8_t* p = nrev_start; p < nrev_start + 600 && site == nullptr; p++)
    if (p[0] == 0xE8 && site_target(p) == reinterpret_cast<uint64_t>(app_start)) site = p;
  ASSERT_NE(site, nullptr);
  // app leaves native code: its stub goes to native_nonjit, its code head
  // to native_restore_link. The site goes back through the stub and the
  // emulator runs app's clauses.
  app->flags &= ~LV_PRED_JITTED;
  lv_select_entry(app, false);
  link(app);
  lv_write_native_jump(app_start, glue("native_restore_link"));
  lv_term r2 = terms::var(w);
  ASSERT_EQ(call(nrev, {ints({4, 5, 6}), r2}), 1);
  EXPECT_EQ(show(r2), "[6,5,4]");
  EXPECT_EQ(site_target(site), reinterpret_cast<uint64_t>(app->native_stub));
}

TEST_F(NativeControlTest, BindingsAreTrailedAndUndoneByRetryAndTrust) {
  // p(X, Y): X = 1, Y = a ; X = 2 ; fails. The variables are older than the
  // choicepoint: trailed, reset on backtracking.
  lv_pred* p = pred("user", "p", 2);
  install(p,
          {prologue(), push_choicepoint(0, 2),
           {"move(x(0), arg0)", "move(constant(1), arg1)", "call(kernel(native_get_constant))", "move(x(1), arg0)",
            "move(constant(a), arg1)", "call(kernel(native_get_constant))", "jump(kernel(native_proceed))",
            "align(0)", "label(0)",
            "try_chain([f(label(1), 0), f(label(2), 0)], 2)"},
           header(1),
           {"move(x(0), arg0)", "move(constant(2), arg1)", "call(kernel(native_get_constant))",
            "jump(kernel(native_proceed))"},
           header(2), {"jump(kernel(native_fail_jit))"}},
          3);
  link(p);
  lv_term x = terms::var(w), y = terms::var(w);
  lv_term* tr = w->TR;
  EXPECT_EQ(answers(p, {x, y}, terms::fn(w, atom("pair"), {x, y})), (std::vector<std::string>{"pair(1,a)", "pair(2,_)"}));
  EXPECT_TRUE(lv_is_ref(lv_deref(x)));
  EXPECT_TRUE(lv_is_ref(lv_deref(y)));
  EXPECT_EQ(w->TR, tr);
  // A constant that does not match fails into the retry.
  EXPECT_EQ(answers(p, {small(2), y}, y), (std::vector<std::string>{"_"}));
  EXPECT_EQ(answers(p, {small(3), y}, y), (std::vector<std::string>{}));
}

// A choicepoint of n saved registers, retried with the routine the records
// name for arity n: every one of X0 .. X(n-1) comes back, odd counts
// included.
TEST_F(NativeControlTest, RetryAndTrustRestoreExactlyTheSavedRegisters) {
  for (int arity : {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}) {
    SCOPED_TRACE(arity);
    std::string name = "r" + n(arity);
    lv_pred* p = pred("user", name.c_str(), static_cast<unsigned>(arity));
    // First alternative: spoil every register and fail. Second: spoil them
    // again and fail. Third: check that each holds 100 + i.
    std::vector<std::string> spoil, check;
    for (int i = 0; i < arity + 2; i++) spoil.push_back("move(constant(999), x(" + n(i) + "))");
    spoil.push_back("jump(kernel(native_fail_jit))");
    for (int i = 0; i < arity; i++) {
      check.push_back("move(x(" + n(i) + "), arg0)");
      check.push_back("cmps(arg0, constant(" + n(100 + i) + "))");
      check.push_back("branch(ne, kernel(native_fail_jit))");
    }
    check.push_back("jump(kernel(native_proceed))");
    install(p,
            {prologue(), push_choicepoint(0, arity), spoil,
             {"align(0)", "label(0)", "try_chain([f(label(1), 0), f(label(2), 0)], " + n(arity) + ")"},
             header(1), spoil, header(2), check},
            3);
    link(p);
    std::vector<lv_term> args;
    for (int i = 0; i < arity; i++) w->X[i] = small(100 + i);
    lv_push_call_choicepoint(w, &query_alternative);
    w->CP = lv_exit_code;
    EXPECT_EQ(lv_enter_emulator_protected(w, LV_ENTER_CALL, p), 1);
  }
}

TEST_F(NativeControlTest, CutRemovesTheChoicepointsOfTheClause) {
  // q(X) :- (X = 1 ; X = 2), !.  The cut target is the B at entry, kept as
  // a choicepoint offset (cp2int, int2cp); native_if gives it as a word count.
  lv_pred* q = pred("user", "q", 1);
  install(q,
          {prologue(),
           {"move(b, arg0)", "cp2int(arg0, x(3))", "call(kernel(native_if))", "move(ac0, arg1)",
            "sh(arg1, 3, arg1)", "add(arg1, 3, arg1)", "cmps(arg1, x(3))", "branch(ne, kernel(native_fail_jit))"},
           push_choicepoint(0, 1),
           {"move(x(0), arg0)", "move(constant(1), arg1)", "call(kernel(native_get_constant))", "jump(label(3))",
            "align(0)", "label(0)", "try_chain([f(label(1), 0)], 1)"},
           header(1),
           {"move(x(0), arg0)", "move(constant(2), arg1)", "call(kernel(native_get_constant))", "label(3)",
            "int2cp(x(3), arg0)", "call(kernel(native_cut))", "jump(kernel(native_proceed))"}},
          4);
  link(q);
  lv_term x = terms::var(w);
  lv_term* b = w->B;
  EXPECT_EQ(answers(q, {x}, x), (std::vector<std::string>{"1"}));
  EXPECT_EQ(w->B, b);
  // Without the first answer, the second alternative runs and cuts.
  EXPECT_EQ(answers(q, {small(2)}, x), (std::vector<std::string>{"_"}));
  EXPECT_EQ(answers(q, {small(3)}, x), (std::vector<std::string>{}));
}

TEST_F(NativeControlTest, CutLeavesANewerTargetAndACleanupGuardAlone) {
  // p(T): a cut to a choicepoint newer than B changes nothing; a cut to T,
  // whose alternative word has bit 0 set (it guards cleanups), is left to
  // the emulator, which continues at P (here the header after the call).
  lv_pred* p = pred("user", "p", 1);
  install(p,
          {prologue(),
           {"move(b, x(1))", "move(b, arg0)", "sub(arg0, 160, arg0)", "call(kernel(native_cut))", "cmps(b, x(1))",
            "branch(ne, kernel(native_fail_jit))", "move(label(0), w_insn)", "move(x(0), arg0)",
            "call(kernel(native_cut))", "jump(kernel(native_fail_jit))"},
           header(0), {"cmps(b, x(1))", "branch(ne, kernel(native_fail_jit))", "jump(kernel(native_proceed))"}},
          1);
  link(p);
  static lv_try_record guard = {nullptr, lv_fail_code, nullptr, 48, lv_opcode(LV_OP_TRY)};
  lv_push_call_choicepoint(w, &guard);
  lv_term* guarded = w->B;
  lv_choice_view(guarded)->alt |= 1;
  EXPECT_EQ(call(p, {reinterpret_cast<lv_term>(guarded)}), 1);
  EXPECT_EQ(redo(), 0);
  EXPECT_EQ(w->B, guarded);
  lv_choice_view(guarded)->alt &= ~lv_term{1};
  lv_pop_call_choicepoint(w);
}

TEST_F(NativeControlTest, NativeCodeCallsCPredicatesAndTheEmulatorBoth) {
  // p(X) :- c(X), q(X), c(done).  c is written in C; q is the emulator's
  // q(X) :- c(X). The calls return into native code at their headers.
  lv_pred* c = c_pred("c", 1, note_call);
  Assembler qa;
  qa.op(LV_OP_EXECUTE, {P(c)});
  lv_pred* q = clauses("q", 1, {&qa});
  lv_pred* p = pred("user", "p", 1);
  install(p,
          {prologue(), {"move(e, a(0))", "move(cp, a(8))", "move(a, e)", "add(a, 24, a)", "move(x(0), y(0))"},
           call_to("native_entry(" + spec("c", 1) + ")", 0), header(0), {"move(y(0), x(0))"},
           call_to("native_entry(" + spec("q", 1) + ")", 1), header(1),
           {"move(constant(done), x(0))", "move(e(8), cp)", "move(e(0), e)"}, call_to("native_entry(" + spec("c", 1) + ")")},
          2);
  for (lv_pred* x : {c, q, p}) link(x);
  EXPECT_EQ(call(p, {small(7)}), 1);
  EXPECT_EQ(seen.order, "c(7) c(7) c(done) ");
}

TEST_F(NativeControlTest, EventsMetAtANativeCodeStartRunBeforeTheCallee) {
  // p :- zero, r(1).  zero (C) zeroes the heap soft limit; r's code start
  // meets it and leaves for the emulator, which takes the event and calls r
  // again; r runs natively.
  lv_pred* zero = c_pred("zero", 0, zero_soft_limit);
  lv_pred* c = c_pred("c", 1, note_call);
  lv_pred* r = pred("user", "r", 1);
  install(r, {prologue(), call_to("native_entry(" + spec("c", 1) + ")")}, 0);
  lv_pred* p = pred("user", "p", 0);
  install(p,
          {prologue(), {"move(e, a(0))", "move(cp, a(8))", "move(a, e)", "add(a, 16, a)"},
           call_to("native_entry(" + spec("zero", 0) + ")", 0), header(0),
           {"move(constant(1), x(0))", "move(e(8), cp)", "move(e(0), e)"}, call_to("native_entry(" + spec("r", 1) + ")")},
          1);
  for (lv_pred* x : {zero, c, r, p}) link(x);
  EXPECT_EQ(call(p), 1);
  EXPECT_EQ(seen.order, "zero event c(1) ");
}

TEST_F(NativeControlTest, ProgressLeavesForEventsAndResumesAtItsHeader) {
  // p(X) :- zero, <progress>, c(X): the event is taken at the progress
  // point and native code resumes behind its header.
  lv_pred* zero = c_pred("zero", 0, zero_soft_limit);
  lv_pred* c = c_pred("c", 1, note_call);
  lv_pred* p = pred("user", "p", 1);
  install(p,
          {prologue(), {"move(e, a(0))", "move(cp, a(8))", "move(a, e)", "add(a, 24, a)", "move(x(0), y(0))"},
           call_to("native_entry(" + spec("zero", 0) + ")", 0), header(0),
           {"move(label(1), w_insn)", "jump(kernel(native_progress))"}, header(1),
           {"move(y(0), x(0))", "move(e(8), cp)", "move(e(0), e)"}, call_to("native_entry(" + spec("c", 1) + ")")},
          2);
  for (lv_pred* x : {zero, c, p}) link(x);
  EXPECT_EQ(call(p, {small(5)}), 1);
  EXPECT_EQ(seen.order, "zero event c(5) ");
  // Without an event pending the progress point only continues.
  seen = {};
  lv_pred* p2 = pred("user", "p2", 1);
  install(p2,
          {prologue(), {"move(label(0), w_insn)", "jump(kernel(native_progress))"}, header(0),
           call_to("native_entry(" + spec("c", 1) + ")")},
          1);
  link(p2);
  EXPECT_EQ(call(p2, {small(6)}), 1);
  EXPECT_EQ(seen.order, "c(6) ");
}

TEST_F(NativeControlTest, BindingAnAttributedVariableLeavesAtTheNextSoftLimitCheck) {
  // p(X) :- X = 1, r(1).  r(X) :- c(X).  With X attributed the binding
  // counts a wake-up and zeroes the soft limit; r's code start leaves native
  // code and the wake-up and event run before r, as in the emulator.
  lv_module* m = find_module(atom("colour"), 1);
  ASSERT_EQ(lv_attr_module_register(m), 1);
  lv_pred* c = c_pred("c", 1, note_call);
  lv_pred* r = pred("user", "r", 1);
  install(r, {prologue(), call_to("native_entry(" + spec("c", 1) + ")")}, 0);
  lv_pred* p = pred("user", "p", 1);
  install(p,
          {prologue(),
           {"move(x(0), arg0)", "move(constant(1), arg1)", "call(kernel(native_get_constant))", "move(constant(1), x(0))"},
           call_to("native_entry(" + spec("r", 1) + ")")},
          0);
  Assembler ra, pa;
  ra.op(LV_OP_EXECUTE, {P(c)});
  lv_pred* r_e = clauses("r_e", 1, {&ra});
  pa.op(LV_OP_GET_CONSTANT, {X(0), C(small(1))}).op(LV_OP_PUT_CONSTANT, {X(0), C(small(1))}).op(LV_OP_EXECUTE, {P(r_e)});
  lv_pred* p_e = clauses("p_e", 1, {&pa});
  for (lv_pred* x : {c, r, p}) link(x);
  std::string order[2];
  int64_t trailed[2];
  lv_pred* ps[2] = {p, p_e};
  for (int i = 0; i < 2; i++) {
    seen = {};
    lv_term v = terms::var(w);
    put_attributes(w, v, m, atom("red"));
    lv_term* tr = w->TR;
    EXPECT_EQ(call(ps[i], {lv_deref(v)}), 1);
    order[i] = seen.order;
    trailed[i] = w->TR - tr;
    EXPECT_EQ(redo(), 0);
  }
  EXPECT_EQ(order[0], "event wake c(1) ");
  EXPECT_EQ(order[0], order[1]);
  EXPECT_EQ(trailed[0], trailed[1]);
}

TEST_F(NativeControlTest, HandOverEntriesStepPBackToTheBuiltInsInstruction) {
  // With the heap soft limit reached, compareop hands over with P stepped
  // back 16 bytes, length 12, a type test not at all. Here P points into
  // {FAIL, PROCEED, FAIL, FAIL, FAIL, FAIL} so that only the right step
  // lands on PROCEED.
  alignas(8) static uint32_t code[6];
  code[0] = lv_opcode(LV_OP_FAIL);
  code[1] = lv_opcode(LV_OP_PROCEED);
  for (int i = 2; i < 6; i++) code[i] = lv_opcode(LV_OP_FAIL);
  struct {
    const char* routine;
    int words;
  } table[] = {{"native_compareop", 4}, {"native_length", 3}, {"native_var", 0}, {"native_first_value", 0}};
  for (const auto& t : table) {
    lv_pred* p = pred("user", (std::string("h_") + t.routine).c_str(), 0);
    install(p,
            {prologue(),
             {"move(" + address(&code[1 + t.words]) + ", w_insn)", "move(0, w_heap_warn_soft)",
              "call(kernel(" + std::string(t.routine) + "))", "jump(kernel(native_fail_jit))"}},
            0);
    link(p);
    EXPECT_EQ(call(p), 1) << t.routine;
    EXPECT_EQ(redo(), 0);
  }
}

TEST_F(NativeControlTest, SubproceedBacktracksNativelyAtTheFailInstruction) {
  // p :- P = FAIL, subproceed: fails into the newest choicepoint (here one
  // of p's own, whose alternative succeeds); P = PROCEED continues in the
  // emulator.
  for (const uint32_t* code : {lv_fail_code, lv_proceed_code}) {
    lv_pred* p = pred("user", code == lv_fail_code ? "sub_fail" : "sub_proceed", 1);
    install(p,
            {prologue(), push_choicepoint(0, 1),
             {"move(" + address(code) + ", w_insn)", "jump(kernel(native_subproceed))", "align(0)", "label(0)",
              "try_chain([f(label(1), 0)], 1)"},
             header(1),
             {"move(x(0), arg0)", "move(constant(second), arg1)", "call(kernel(native_get_constant))",
              "jump(kernel(native_proceed))"}},
            2);
    link(p);
    lv_term x = terms::var(w);
    EXPECT_EQ(answers(p, {x}, x), (code == lv_fail_code ? std::vector<std::string>{"second"}
                                                         : std::vector<std::string>{"_", "second"}));
  }
}

TEST_F(NativeControlTest, ManyTrailedBindingsGrowTheTrailStack) {
  // ones([]).  ones([X|T]) :- X = 1, ones(T).  Two hundred thousand variables
  // older than the query's choicepoint: every binding is trailed, and the
  // trail outgrows its gap below the choice stack several times.
  lv_pred* ones = pred("user", "ones", 1);
  install(ones,
          {prologue(),
           {"move(x(0), arg0)", "call(kernel(native_atom))", "branch(e, label(0))", "move(x(0), arg0)",
            "call(kernel(native_get_nil))", "jump(kernel(native_proceed))", "label(0)", "move(x(0), arg0)",
            "call(kernel(native_get_list))", "move(s(8), x(0))", "move(s(0), arg0)", "move(constant(1), arg1)",
            "call(kernel(native_get_constant))"},
           call_to("native_entry(" + spec("ones", 1) + ")")},
          1);
  link(ones);
  constexpr int COUNT = 200000;
  lv_heap_room(w, 3 * COUNT + 64, 0);
  ASSERT_LT(reinterpret_cast<char*>(w->B) - reinterpret_cast<char*>(w->TR), 8 * COUNT);
  // The list lives in a term reference: growing the trail may move the
  // stacks.
  int32_t slot = w->termref_top++;
  w->termrefs[slot].term = LV_ATOM_NIL;
  for (int i = 0; i < COUNT; i++) w->termrefs[slot].term = terms::cons(w, terms::var(w), w->termrefs[slot].term);
  auto elements = [&](lv_term want) {
    int n = 0;
    for (lv_term l = lv_deref(w->termrefs[slot].term); lv_is_list(l); l = lv_deref(lv_list_cells(l)[1]), n++) {
      lv_term e = lv_deref(lv_list_cells(l)[0]);
      if (want != 0 ? e != want : !lv_is_ref(e)) return -1;
    }
    return n;
  };
  lv_push_call_choicepoint(w, &query_alternative);
  w->CP = lv_exit_code;
  w->X[0] = w->termrefs[slot].term;
  ASSERT_EQ(lv_enter_emulator_protected(w, LV_ENTER_CALL, ones), 1);
  EXPECT_GE(w->TR - w->trail_base, COUNT);
  EXPECT_EQ(elements(small(1)), COUNT);
  EXPECT_EQ(redo(), 0);
  EXPECT_EQ(elements(0), COUNT);
  w->termref_top = slot;
}

TEST_F(NativeControlTest, ValueTrailEntriesAreUndoneByTheRetry) {
  // um(M) :- update_mutable(2, M), fail.  um(_).  The update is value-
  // trailed under um's own choicepoint; the native retry restores the old
  // value and stamp.
  lv_pred* um = pred("user", "um", 1);
  install(um,
          {prologue(), push_choicepoint(0, 1),
           {"move(label(2), w_insn)", "move(constant(2), arg0)", "move(x(0), arg1)",
            "call(kernel(native_update_mutable))", "jump(kernel(native_fail_jit))", "align(0)", "label(0)",
            "try_chain([f(label(1), 0)], 1)"},
           header(2, lv_fail_code), {"jump(kernel(native_fail_jit))"}, header(1), {"jump(kernel(native_proceed))"}},
          3);
  link(um);
  lv_term m = terms::reader(w).read("'$mutable'(1, 0)");
  lv_term* cells = lv_struct_cells(m);
  lv_term stamp = cells[2];
  lv_push_call_choicepoint(w, &query_alternative);
  w->CP = lv_exit_code;
  w->X[0] = m;
  ASSERT_EQ(lv_enter_emulator_protected(w, LV_ENTER_CALL, um), 1);
  EXPECT_EQ(cells[1], small(1));
  EXPECT_EQ(cells[2], stamp);
  EXPECT_EQ(redo(), 0);
}

}  // namespace
