// Foreign calls on the emulator: a C function taking and returning integers,
// floats, atoms, texts, code lists and terms through the call record; its
// failure; the conversions' errors; and an event found inside it.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "core/errors.h"
#include "core/predefined_atoms.h"
#include "embed/foreign_call.h"
#include "machine/foreign_calls.h"
#include "machine/recovery.h"
#include "support/emulator_fixture.h"
#include "support/term_text.h"

namespace {

using namespace assembler;

struct observations {
  int calls, events, errors;
  void* env;
  uint32_t arg_count, double_count;
  int32_t error_code;
  lv_term error_args[3];
};
observations seen;
int environment;  // stands for a resource's environment

lv_worker* worker() { return get_current_worker(); }

// ffi(I, D, A, Codes, T, IntOut, FloatOut, AtomOut, StringOut, CodesOut,
//     TermOut, Return): the outputs are I + 1, D * 2, A, the text of A with
// "!" added, Codes with "?" added, w(T), and the return value I * 2. I = 0
// fails.
void ffi_function(lv_call_record* r) {
  seen.calls++;
  seen.env = r->env;
  seen.arg_count = r->arg_count;
  seen.double_count = r->double_count;
  lv_worker* w = worker();
  int64_t i = static_cast<int64_t>(r->args[0]);
  if (i == 0) {
    w->foreign_call->status = 0;
    return;
  }
  static std::string name, codes;
  name = reinterpret_cast<const char*>(r->args[4]) + std::string("!");
  codes = reinterpret_cast<const char*>(r->args[2]) + std::string("?");
  *reinterpret_cast<int64_t*>(r->args[5]) = i + 1;
  *reinterpret_cast<double*>(r->args[6]) = r->doubles[0] * 2;
  *reinterpret_cast<lv_term*>(r->args[7]) = r->args[1];
  *reinterpret_cast<const char**>(r->args[8]) = name.c_str();
  *reinterpret_cast<const char**>(r->args[9]) = codes.c_str();
  lv_term* h = w->H;
  h[0] = lv_make_functor(lv_atom_from_text("w", LV_ATOM_FIND_OR_CREATE), 1);
  h[1] = w->termrefs[r->args[3]].term;
  w->H = h + 2;
  w->termrefs[r->args[10]].term = lv_make_struct(h);
  r->result = i * 2;
}

void nothing(lv_call_record*) { seen.calls++; }

// Writes a text that is no UTF-8 into its one output slot.
void bad_text(lv_call_record* r) { *reinterpret_cast<const char**>(r->args[0]) = "\xff\xfe"; }

// Finds an event pending on its first call, and unwinds; the second call
// returns 1.
void event_once(lv_call_record* r) {
  if (++seen.calls == 1) {
    lv_request_event(worker());
    lv_check_event(worker());
  }
  *reinterpret_cast<int64_t*>(r->args[0]) = 1;
}

int error_handler(lv_worker* w) {
  seen.errors++;
  seen.error_code = lv_pending_error_code();
  for (int i = 0; i < 3; i++) seen.error_args[i] = w->X[i];
  return 1;
}
int event_handler(lv_worker*) {
  seen.events++;
  return 1;
}

const uint32_t* code_of(lv_foreign_function f) { return reinterpret_cast<const uint32_t*>(f); }

class ForeignCallTest : public EmulatorTest {
 protected:
  void SetUp() override {
    EmulatorTest::SetUp();
    seen = {};
    role("$error_handler", 4, error_handler);
    role("$event_handler", 0, event_handler);
  }

  lv_pred* ffi() {
    lv_pred* p = pred("user", "ffi", 12);
    Assembler a;
    a.op(LV_OP_OPEN_FOREIGN_CALL, {N(12), N(1), P(p), A(reinterpret_cast<const uint32_t*>(&environment))})
        .op(LV_OP_PUSH_INTEGER, {X(0)})
        .op(LV_OP_PUSH_FLOAT, {X(1)})
        .op(LV_OP_PUSH_ATOM, {X(2)})
        .op(LV_OP_PUSH_CODES, {X(3)})
        .op(LV_OP_PUSH_TERM, {X(4)})
        .op(LV_OP_PUSH_STRING, {X(2)})
        .op(LV_OP_PUSH_RESULT_INTEGER)
        .op(LV_OP_PUSH_RESULT_FLOAT)
        .op(LV_OP_PUSH_RESULT_ATOM)
        .op(LV_OP_PUSH_RESULT_STRING)
        .op(LV_OP_PUSH_RESULT_CODES)
        .op(LV_OP_PUSH_RESULT_TERM)
        .op(LV_OP_CALL_FOREIGN, {A(code_of(ffi_function)), S(12)})
        .op(LV_OP_POP_INTEGER, {Y(5)})
        .op(LV_OP_POP_FLOAT, {Y(6)})
        .op(LV_OP_POP_ATOM, {Y(7)})
        .op(LV_OP_POP_STRING, {Y(8)})
        .op(LV_OP_POP_CODES, {Y(9)})
        .op(LV_OP_POP_TERM, {Y(10)})
        .op(LV_OP_RECEIVE_INTEGER, {Y(11)})
        .op(LV_OP_CLOSE_FOREIGN_CALL);
    return clauses("ffi", 12, {&a});
  }

  // p(_, X): PUSH_<kind> X1, then f; one result popped into X0 when asked.
  lv_pred* one(const char* name, lv_insn push, lv_foreign_function f, lv_insn pop = LV_OP_NOP) {
    lv_pred* p = pred("user", name, 2);
    Assembler a;
    a.op(LV_OP_OPEN_FOREIGN_CALL, {N(2), N(0), P(p), A(static_cast<const uint32_t*>(nullptr))});
    if (push == LV_OP_PUSH_RESULT_STRING || push == LV_OP_PUSH_RESULT_INTEGER)
      a.op(push);
    else
      a.op(push, {X(1)});
    a.op(LV_OP_CALL_FOREIGN_FAST, {A(code_of(f)), S(2)});
    if (pop != LV_OP_NOP) a.op(pop, {Y(0)});
    a.op(LV_OP_CLOSE_FOREIGN_CALL);
    return clauses(name, 2, {&a});
  }
};

TEST_F(ForeignCallTest, ArgumentsAndResultsOfEachKind) {
  lv_pred* p = ffi();
  struct {
    const char* in[5];
    const char* out;  // the eleven outputs and the return value, as written
  } table[] = {
      {{"5", "1.5", "abc", "[120,121,122]", "f(Z)"}, "6 3.0 abc abc! [120,121,122,63] w(f(Z)) 10"},
      {{"3.9", "2", "'h\xc3\xa9'", "[]", "[a]"}, "4 4.0 h\xc3\xa9 h\xc3\xa9! [63] w([a]) 6"},
      {{"2305843009213693952", "-0.5", "[]", "[233]", "7"},
       "2305843009213693953 -1.0 [] []! [233,63] w(7) 4611686018427387904"},
  };
  for (const auto& row : table) {
    SCOPED_TRACE(row.in[0]);
    terms::reader r(w);
    lv_term args[12];
    for (int i = 0; i < 5; i++) args[i] = r.read(row.in[i]);
    for (int i = 5; i < 12; i++) args[i] = r.read("O" + std::to_string(i));
    int32_t termref_top = w->termref_top;
    ASSERT_EQ(call(p, {args[0], args[1], args[2], args[3], args[4], args[5], args[6], args[7], args[8], args[9],
                       args[10], args[11]}),
              1);
    EXPECT_EQ(seen.env, &environment);
    EXPECT_EQ(seen.arg_count, 11u);  // the five inputs but the float, the string and six results
    EXPECT_EQ(seen.double_count, 1u);
    std::string out = r.write(args[5]);
    for (int i = 6; i < 12; i++) out += " " + r.write(args[i]);
    EXPECT_EQ(out, row.out);
    EXPECT_EQ(w->termref_top, termref_top);  // the call's term references are released
  }
  // Results beyond the small integers come back boxed.
  terms::reader r(w);
  lv_term i = r.read("2305843009213693952");
  lv_term out = r.read("O");
  ASSERT_EQ(call(p, {i, r.read("1.0"), r.read("a"), r.read("[]"), r.read("t"), out, r.read("_"), r.read("_"),
                     r.read("_"), r.read("_"), r.read("_"), r.read("_")}),
            1);
  EXPECT_TRUE(lv_is_integer_box(lv_deref(out)));
}

TEST_F(ForeignCallTest, FailureOfTheFunctionOrOfAResult) {
  lv_pred* p = ffi();
  terms::reader r(w);
  auto run = [&](const char* i, const char* int_out) {
    return call(p, {r.read(i), r.read("1.0"), r.read("a"), r.read("[]"), r.read("t"), r.read(int_out), r.read("_"),
                    r.read("_"), r.read("_"), r.read("_"), r.read("_"), r.read("_")});
  };
  int32_t termref_top = w->termref_top;
  EXPECT_EQ(run("0", "_"), 0);   // the function cleared the status
  EXPECT_EQ(run("5", "7"), 0);   // 6 does not unify with 7
  EXPECT_EQ(run("5", "6"), 1);
  EXPECT_EQ(w->termref_top, termref_top);
  EXPECT_EQ(w->foreign_call->status, 1);
}

TEST_F(ForeignCallTest, ConversionErrors) {
  struct {
    lv_insn push;
    const char* arg;
    int32_t code;
  } table[] = {
      {LV_OP_PUSH_INTEGER, "a", LV_ERROR_NOT_A_NUMBER},
      {LV_OP_PUSH_INTEGER, "X", 0},  // unbound: no code, the culprit says it
      {LV_OP_PUSH_INTEGER, "2^70", LV_ERROR_ARGUMENT_RANGE},
      {LV_OP_PUSH_INTEGER, "1.0e30", LV_ERROR_ARGUMENT_RANGE},
      {LV_OP_PUSH_INTEGER, "f(1)", LV_ERROR_NOT_A_NUMBER},
      {LV_OP_PUSH_FLOAT, "a", LV_ERROR_NOT_A_NUMBER},
      {LV_OP_PUSH_FLOAT, "2^1088", LV_ERROR_NOT_FINITE},
      {LV_OP_PUSH_ATOM, "7", LV_ERROR_NOT_AN_ATOM},
      {LV_OP_PUSH_STRING, "f(x)", LV_ERROR_NOT_AN_ATOM},
      {LV_OP_PUSH_CODES, "[a]", LV_ERROR_NOT_CODES},
      {LV_OP_PUSH_CODES, "[97|T]", LV_ERROR_NOT_CODES},
      {LV_OP_PUSH_CODES, "[-1]", LV_ERROR_NOT_CODES},
  };
  int made = 0;
  for (const auto& row : table) {
    SCOPED_TRACE(row.arg);
    terms::reader r(w);
    lv_term arg;
    if (std::strcmp(row.arg, "2^70") == 0 || std::strcmp(row.arg, "2^1088") == 0) {
      uint64_t limbs = row.arg[2] == '7' ? 2 : 18;  // value 2^(64 (limbs - 1) + 6) and 2^1088
      lv_term* h = w->H;
      h[0] = h[limbs + 1] = lv_box_header(limbs, false);
      for (uint64_t k = 1; k <= limbs; k++) h[k] = 0;
      h[limbs] = limbs == 2 ? 64 : 1;
      w->H = h + limbs + 2;
      arg = lv_make_struct(h);
    } else {
      arg = r.read(row.arg);
    }
    seen = {};
    lv_pred* p = one(("e" + std::to_string(++made)).c_str(), row.push, nothing);
    int32_t termref_top = w->termref_top;
    EXPECT_EQ(call(p, {LV_ATOM_NIL, arg}), 1);  // the stand-in handler succeeds
    EXPECT_EQ(seen.calls, 0);
    EXPECT_EQ(seen.errors, 1);
    EXPECT_EQ(seen.error_code, row.code);
    EXPECT_EQ(lv_deref(seen.error_args[1]), lv_make_small(2));  // X1: argument 2
    EXPECT_EQ(lv_deref(seen.error_args[2]), lv_deref(arg));
    EXPECT_EQ(w->termref_top, termref_top);
  }
}

// Passing 3.9 to an integer argument passes 3.
int64_t passed;
void take_integer(lv_call_record* r) { passed = static_cast<int64_t>(r->args[0]); }

TEST_F(ForeignCallTest, FloatToIntegerArgumentTruncates) {
  terms::reader r(w);
  for (auto [text, value] : {std::pair{"3.9", 3}, {"-3.9", -3}, {"7", 7}}) {
    EXPECT_EQ(call(one(("i" + std::to_string(value + 10)).c_str(), LV_OP_PUSH_INTEGER, take_integer),
                   {LV_ATOM_NIL, r.read(text)}),
              1);
    EXPECT_EQ(passed, value);
  }
}

TEST_F(ForeignCallTest, TextResultThatIsNoTextRaises) {
  lv_pred* p = one("bad", LV_OP_PUSH_RESULT_STRING, bad_text, LV_OP_POP_STRING);
  terms::reader r(w);
  EXPECT_EQ(call(p, {r.read("X"), r.read("Y")}), 1);
  EXPECT_EQ(seen.errors, 1);
  EXPECT_EQ(seen.error_code, LV_ERROR_INVALID_TEXT);
  EXPECT_EQ(lv_deref(seen.error_args[1]), lv_make_small(1));
  // An output slot left unwritten holds no text either.
  lv_pred* q = one("unwritten", LV_OP_PUSH_RESULT_STRING, nothing, LV_OP_POP_STRING);
  EXPECT_EQ(call(q, {r.read("X"), r.read("Y")}), 1);
  EXPECT_EQ(seen.errors, 2);
}

// An event found inside the function: the handler runs, and the predicate
// is called again from its start.
TEST_F(ForeignCallTest, EventInsideTheFunctionCallsThePredicateAgain) {
  lv_pred* p = one("evt", LV_OP_PUSH_RESULT_INTEGER, event_once, LV_OP_POP_INTEGER);
  terms::reader r(w);
  lv_term x = r.read("X");
  int32_t termref_top = w->termref_top;
  EXPECT_EQ(call(p, {x, r.read("Y")}), 1);
  EXPECT_EQ(seen.calls, 2);
  EXPECT_EQ(seen.events, 1);
  EXPECT_EQ(lv_deref(x), lv_make_small(1));
  EXPECT_EQ(w->termref_top, termref_top);
  EXPECT_EQ(w->foreign_call->status, 1);
}

}  // namespace
