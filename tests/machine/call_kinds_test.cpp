// Call kinds: foreign memory, calls in a module, $apply/3, unwinding to a
// catch, attributes, the profiling switch, spy points, block declarations and
// native-compilation counting.
#include <gtest/gtest.h>

#include <cstring>
#include <limits>

#include "core/attributes.h"
#include "core/errors.h"
#include "core/memory.h"
#include "core/predefined_atoms.h"
#include "core/suspension.h"
#include "store/static_code.h"
#include "support/emulator_fixture.h"
#include "support/terms.h"

namespace {

using namespace assembler;
using terms::small;

struct observations {
  int calls;
  int32_t error_code;
  int64_t error_argument;
  lv_term seen[4];
};
observations seen;

int record_args(lv_worker* w) {
  for (int i = 0; i < 4; i++) seen.seen[i] = lv_deref(w->X[i]);
  seen.calls++;
  return 1;
}

// The error handler stand-in: notes the pending code and the argument
// number, and fails.
int error_handler(lv_worker* w) {
  seen.error_code = lv_pending_error_code();
  seen.error_argument = lv_small_value(lv_deref(w->X[1]));
  return 0;
}

class CallKindTest : public EmulatorTest {
 protected:
  void SetUp() override {
    EmulatorTest::SetUp();
    seen = {};
    role("$error_handler", 4, error_handler);
  }

  lv_pred* kind_pred(const char* name, unsigned arity, uint32_t kind) {
    lv_pred* p = pred("user", name, arity);
    p->kind = kind;
    return p;
  }
};

// ---- Foreign memory -------------------------------------------------------

struct structs_case {
  uint32_t kind;
  int64_t offset;            // added to the buffer's address given as X0
  bool bound;                // X2 is given (a PUT, or a GET compared)
  int64_t x2;                // small integer X2 when bound
  int result;                // 1 success, 0 failure
  int64_t read;              // GET into a variable: the small integer read
  int32_t error;             // the code raised, or 0
  uint8_t byte0;             // the buffer's first byte afterwards
};

TEST_F(CallKindTest, ForeignMemoryTable) {
  const structs_case cases[] = {
      {LV_KIND_STRUCTS_GET_INTEGER_8, 0, false, 0, 1, -1, 0, 0xFF},
      {LV_KIND_STRUCTS_GET_UNSIGNED_8, 0, false, 0, 1, 255, 0, 0xFF},
      {LV_KIND_STRUCTS_GET_INTEGER_16, 0, false, 0, 1, static_cast<int16_t>(0x7FFF), 0, 0xFF},
      {LV_KIND_STRUCTS_GET_UNSIGNED_32, 4, false, 0, 1, 0x04030201, 0, 0xFF},
      {LV_KIND_STRUCTS_GET_INTEGER_8, 0, true, -1, 1, 0, 0, 0xFF},
      {LV_KIND_STRUCTS_GET_INTEGER_8, 0, true, 255, 0, 0, 0, 0xFF},
      {LV_KIND_STRUCTS_PUT_INTEGER_8, 0, true, 128, 0, 0, 3331, 0xFF},
      {LV_KIND_STRUCTS_PUT_INTEGER_8, 0, true, -128, 1, 0, 0, 0x80},
      {LV_KIND_STRUCTS_PUT_UNSIGNED_8, 0, true, 256, 0, 0, 4611, 0xFF},
      {LV_KIND_STRUCTS_PUT_UNSIGNED_8, 0, true, -1, 0, 0, 4611, 0xFF},
      {LV_KIND_STRUCTS_PUT_UNSIGNED_16, 0, true, 0x1234, 1, 0, 0, 0x34},
      {LV_KIND_STRUCTS_PUT_INTEGER_32, 0, true, int64_t{1} << 31, 0, 0, 2819, 0xFF},
      {LV_KIND_STRUCTS_PUT_UNSIGNED, 0, true, -5, 0, 0, 3587, 0xFF},
  };
  for (const structs_case& c : cases) {
    alignas(8) uint8_t buffer[16] = {0xFF, 0x7F, 0, 0, 1, 2, 3, 4};
    seen = {};
    lv_term x2 = c.bound ? small(c.x2) : terms::var(w);
    lv_pred* p = kind_pred("access", 3, c.kind);
    int64_t base = static_cast<int64_t>(reinterpret_cast<uintptr_t>(buffer));
    EXPECT_EQ(call(p, {small(base), small(c.offset), x2}), c.result) << c.kind << " " << c.x2;
    if (!c.bound && c.result == 1) {
      EXPECT_EQ(lv_deref(x2), small(c.read)) << c.kind;
    }
    EXPECT_EQ(seen.error_code, c.error) << c.kind << " " << c.x2;
    if (c.error != 0) {
      EXPECT_EQ(seen.error_argument, 3);
    }
    EXPECT_EQ(buffer[0], c.byte0) << c.kind << " " << c.x2;
  }
}

TEST_F(CallKindTest, ForeignMemoryWideValuesAndAddresses) {
  alignas(8) uint64_t buffer[4] = {std::numeric_limits<uint64_t>::max(), 0, 0, 0};
  int64_t base = static_cast<int64_t>(reinterpret_cast<uintptr_t>(buffer));
  // An unsigned 64-bit value with its top bit set reads as a two-word box.
  lv_term x = terms::var(w);
  ASSERT_EQ(call(kind_pred("u64", 3, LV_KIND_STRUCTS_GET_UNSIGNED_64), {small(base), small(0), x}), 1);
  lv_term v = lv_deref(x);
  ASSERT_TRUE(lv_is_integer_box(v));
  EXPECT_EQ(lv_struct_cells(v)[0], LV_BOX_INT2);
  EXPECT_EQ(lv_struct_cells(v)[1], std::numeric_limits<uint64_t>::max());
  // ... and writes back from that box.
  buffer[1] = 0;
  ASSERT_EQ(call(kind_pred("pu64", 3, LV_KIND_STRUCTS_PUT_UNSIGNED_64), {small(base), small(8), v}), 1);
  EXPECT_EQ(buffer[1], std::numeric_limits<uint64_t>::max());
  // Floats: a small integer is converted; a value that a float cannot hold
  // is refused.
  ASSERT_EQ(call(kind_pred("pf", 3, LV_KIND_STRUCTS_PUT_FLOAT), {small(base), small(16), small(3)}), 1);
  double d;
  std::memcpy(&d, &buffer[2], sizeof d);
  EXPECT_EQ(d, 3.0);
  lv_term big = lv_make_float_box(w, 1e300);
  EXPECT_EQ(call(kind_pred("pf32", 3, LV_KIND_STRUCTS_PUT_FLOAT_32), {small(base), small(24), big}), 0);
  EXPECT_EQ(seen.error_code, 263);
  // Address parts that are not integers.
  EXPECT_EQ(call(kind_pred("bad", 3, LV_KIND_STRUCTS_GET_INTEGER), {atom("a"), small(0), terms::var(w)}), 0);
  EXPECT_EQ(seen.error_code, 5123);
  EXPECT_EQ(seen.error_argument, 1);
  EXPECT_EQ(call(kind_pred("bad2", 3, LV_KIND_STRUCTS_GET_INTEGER), {small(base), atom("a"), terms::var(w)}), 0);
  EXPECT_EQ(seen.error_code, 5379);
  EXPECT_EQ(seen.error_argument, 2);
}

TEST_F(CallKindTest, ForeignMemoryAtomsStringsAndFunctors) {
  struct record {
    lv_term functor;
    lv_term atom;
    const char* text;
  };
  alignas(8) record r = {lv_make_functor(atom("point"), 2), 0, nullptr};
  int64_t base = static_cast<int64_t>(reinterpret_cast<uintptr_t>(&r.atom));
  lv_term hello = atom("hello");
  ASSERT_EQ(call(kind_pred("pa", 3, LV_KIND_STRUCTS_PUT_ATOM), {small(base), small(0), hello}), 1);
  EXPECT_EQ(r.atom, hello);
  lv_term x = terms::var(w);
  ASSERT_EQ(call(kind_pred("ga", 3, LV_KIND_STRUCTS_GET_ATOM), {small(base), small(0), x}), 1);
  EXPECT_EQ(lv_deref(x), hello);
  ASSERT_EQ(call(kind_pred("ps", 3, LV_KIND_STRUCTS_PUT_STRING), {small(base), small(8), hello}), 1);
  EXPECT_STREQ(r.text, "hello");
  lv_term y = terms::var(w);
  ASSERT_EQ(call(kind_pred("gs", 3, LV_KIND_STRUCTS_GET_STRING), {small(base), small(8), y}), 1);
  EXPECT_EQ(lv_deref(y), hello);
  EXPECT_EQ(call(kind_pred("gs2", 3, LV_KIND_STRUCTS_GET_STRING), {small(base), small(8), atom("other")}), 0);
  EXPECT_EQ(call(kind_pred("pa2", 3, LV_KIND_STRUCTS_PUT_ATOM), {small(base), small(0), small(1)}), 0);
  EXPECT_EQ(seen.error_code, 513);
  // The functor word 8 bytes before the address.
  lv_term f = terms::var(w);
  ASSERT_EQ(call(kind_pred("gf", 2, LV_KIND_STRUCTS_GET_FUNCTOR), {small(base), f}), 1);
  EXPECT_EQ(lv_deref(f), r.functor);
  EXPECT_EQ(call(kind_pred("gf2", 2, LV_KIND_STRUCTS_GET_FUNCTOR), {atom("a"), f}), 0);
  EXPECT_EQ(seen.error_code, 769);
}

// ---- Calls in a module ------------------------------------------------------

TEST_F(CallKindTest, ColonCallsTheGoalInItsModule) {
  c_pred("target", 2, record_args, "other");
  lv_term goal = terms::fn(w, atom("target"), {small(1), small(2)});
  ASSERT_EQ(call(lv_kind_pred[LV_KIND_BUILTIN_COLON], {atom("other"), goal}), 1);
  EXPECT_EQ(seen.calls, 1);
  EXPECT_EQ(seen.seen[0], small(1));
  EXPECT_EQ(seen.seen[1], small(2));
}

TEST_F(CallKindTest, CallInModuleOfANonCallableGoesToTheCallErrorPredicate) {
  role("$call_error", 2, record_args);
  ASSERT_EQ(call(lv_kind_pred[LV_KIND_BUILTIN_NODEBUG_CALL], {small(3), atom("user")}), 1);
  ASSERT_TRUE(lv_is_struct(seen.seen[0]));
  EXPECT_EQ(lv_struct_cells(seen.seen[0])[0], lv_make_functor(LV_ATOM_CALL, 1));
  EXPECT_EQ(lv_deref(lv_struct_cells(seen.seen[0])[1]), small(3));
}

TEST_F(CallKindTest, ApplyRunsOnceAndHandsTheGoalToTheInterpreter) {
  role("$apply_interpreter", 3, record_args);
  lv_pred* apply = lv_kind_pred[LV_KIND_BUILTIN_APPLY];
  // Done already: nothing runs.
  ASSERT_EQ(call(apply, {atom("g"), atom("user"), small(1)}), 1);
  EXPECT_EQ(seen.calls, 0);
  // While debugging, the interpreter gets the goal with Done bound to [].
  w->debug_mode = 1;
  lv_term done = terms::var(w);
  ASSERT_EQ(call(apply, {atom("g"), atom("user"), done}), 1);
  EXPECT_EQ(seen.calls, 1);
  EXPECT_EQ(seen.seen[2], LV_ATOM_NIL);
  // Otherwise the goal is called directly in its module.
  w->debug_mode = 4;
  c_pred("g", 0, record_args);
  ASSERT_EQ(call(apply, {atom("g"), atom("user"), terms::var(w)}), 1);
  EXPECT_EQ(seen.calls, 2);
}

// ---- Unwinding to a catch --------------------------------------------------

// A C predicate's retry alternative stays until the predicate pops it.
int catch_alternative(lv_worker* w) {
  seen.error_code = lv_pending_error_code();
  seen.calls++;
  lv_pop_call_choicepoint(w);
  return 0;
}
lv_call_stub* catch_stub;
int push_catch(lv_worker* w) {
  w->X[0] = LV_ATOM_NIL;
  w->X[1] = LV_ATOM_CATCH_HOOK;
  lv_push_call_choicepoint(w, &catch_stub->record);
  return 1;
}

TEST_F(CallKindTest, UnwindStackFailsIntoTheLiveCatch) {
  catch_stub = lv_new_c_call_stub(reinterpret_cast<void*>(catch_alternative), 2);
  Assembler code;
  code.op(LV_OP_INITCALL, {R(0, {}), P(c_pred("catch", 0, push_catch)), S(0)})
      .op(LV_OP_CALL, {R(0, {}), P(lv_kind_pred[LV_KIND_BUILTIN_UNWIND_STACK]), S(0)})
      .op(LV_OP_PROGRESS);
  EXPECT_EQ(call(clauses("thrower", 0, {&code})), 0);
  EXPECT_EQ(seen.calls, 1);
  EXPECT_EQ(seen.error_code, -1);
  EXPECT_STREQ(lv_pending_error_message(), "user");
}

// ---- Attributes --------------------------------------------------------------

TEST_F(CallKindTest, AttributesArePutReadAndDeleted) {
  lv_module* m = find_module(atom("colour"), 1);
  ASSERT_EQ(lv_attr_module_register(m), 1);
  lv_pred* get = lv_lookup_predicate(m, atom("$get_attributes"), 3, LV_LOOKUP_FIND);
  lv_pred* put = lv_lookup_predicate(m, atom("$put_attributes"), 2, LV_LOOKUP_FIND);
  lv_pred* del = lv_lookup_predicate(m, atom("$delete_attributes"), 1, LV_LOOKUP_FIND);
  ASSERT_NE(get, nullptr);
  EXPECT_EQ(get->kind, LV_KIND_BUILTIN_GET_ATTRIBUTES);

  lv_term var = terms::var(w);
  lv_term value = terms::fn(w, atom("c"), {small(7), atom("red")});
  ASSERT_EQ(call(put, {var, value}), 1);
  lv_term* cell = lv_ref_cell(lv_deref(var));
  EXPECT_EQ(cell[-1], LV_ATTVAR_MARKER);
  lv_term got = terms::var(w), mask = terms::var(w);
  ASSERT_EQ(call(get, {var, got, mask}), 1);
  EXPECT_EQ(lv_deref(got), value);
  EXPECT_EQ(lv_deref(mask), small(7));
  // A bound Value fails; a non-variable first argument raises.
  EXPECT_EQ(call(get, {var, small(1), terms::var(w)}), 0);
  EXPECT_EQ(call(get, {small(1), terms::var(w), terms::var(w)}), 0);
  EXPECT_EQ(seen.error_code, LV_ERROR_VARIABLE_EXPECTED);
  // Deleting the only attribute makes the variable plain again.
  ASSERT_EQ(call(del, {var}), 1);
  cell = lv_ref_cell(lv_deref(var));
  EXPECT_NE(cell[-1], LV_ATTVAR_MARKER);
  lv_term mask2 = terms::var(w);
  ASSERT_EQ(call(get, {var, terms::var(w), mask2}), 1);
  EXPECT_EQ(lv_deref(mask2), small(0));
}

TEST_F(CallKindTest, AnAttributeChangeUnderAChoicepointIsUndone) {
  lv_module* m = find_module(atom("colour"), 1);
  ASSERT_EQ(lv_attr_module_register(m), 1);
  lv_pred* put = lv_lookup_predicate(m, atom("$put_attributes"), 2, LV_LOOKUP_FIND);
  lv_term var = terms::var(w);
  ASSERT_EQ(call(put, {var, atom("blue")}), 1);
  lv_term* old_cell = lv_ref_cell(lv_deref(var));
  // A second module registered later: its slot extends the vector.
  lv_module* m2 = find_module(atom("size"), 1);
  ASSERT_EQ(lv_attr_module_register(m2), 1);
  EXPECT_EQ(m2->attribute_index, 2u);
  lv_pred* put2 = lv_lookup_predicate(m2, atom("$put_attributes"), 2, LV_LOOKUP_FIND);
  lv_push_call_choicepoint(w, &query_alternative);  // makes the variable old
  ASSERT_EQ(call(put2, {var, atom("big")}), 1);
  lv_term* cell = lv_ref_cell(lv_deref(var));
  EXPECT_NE(cell, old_cell);
  lv_term vector = lv_deref(cell[1]);
  EXPECT_EQ(lv_struct_cells(vector)[0], lv_make_functor(LV_ATOM_NIL, 2));
  EXPECT_EQ(lv_deref(lv_struct_cells(vector)[1]), atom("blue"));
  EXPECT_EQ(lv_deref(lv_struct_cells(vector)[2]), atom("big"));
  EXPECT_EQ(redo(), 0);  // back past the choicepoint
  EXPECT_EQ(lv_ref_cell(lv_deref(var)), old_cell);
  EXPECT_EQ(w->wakeup_count, 0);  // the move woke nothing
}

// ---- The profiling switch -----------------------------------------------------

lv_term old_switch;
int load_switch_arguments(lv_worker* w) {
  w->X[0] = old_switch;
  w->X[1] = LV_ATOM_ON;
  return 1;
}

TEST_F(CallKindTest, SwitchingProfilingOnMovesToTheProfiledEmulator) {
  lv_profiling_switch = LV_ATOM_OFF;
  lv_term old = terms::var(w);
  old_switch = old;
  Assembler code;
  code.op(LV_OP_INITCALL, {R(0, {}), P(c_pred("load", 0, load_switch_arguments)), S(0)})
      .op(LV_OP_CALL, {R(0, {}), P(lv_kind_pred[LV_KIND_BUILTIN_PROFILING_FLAG]), S(0)})
      .op(LV_OP_LASTCALL, {R(0, {}), P(c_pred("after", 0, record_args))});
  EXPECT_EQ(call(clauses("prof", 0, {&code})), 1);
  EXPECT_EQ(lv_deref(old), LV_ATOM_OFF);
  EXPECT_EQ(lv_profiling_switch, LV_ATOM_ON);
  EXPECT_EQ(seen.calls, 1);  // the run went on at CP
  lv_profiling_switch = LV_ATOM_OFF;
}

// ---- Spy points, block declarations, native-compilation counting ----------

TEST_F(CallKindTest, SpyPointHandsTheGoalToTheDebugger) {
  role("$debugger_port", 3, record_args);
  lv_pred* p = c_pred("spied", 1, [](lv_worker*) { return 0; });
  p->flags |= LV_PRED_SPY;
  lv_select_entry(p, false);
  ASSERT_EQ(p->kind, LV_KIND_BREAKPOINT);
  w->debug_mode = 1;
  ASSERT_EQ(call(p, {small(4)}), 1);
  EXPECT_EQ(seen.calls, 1);
  EXPECT_EQ(lv_struct_cells(seen.seen[0])[1], small(4));
  // With the debugger off the predicate's own definition runs.
  w->debug_mode = 4;
  EXPECT_EQ(call(p, {small(4)}), 0);
  EXPECT_EQ(seen.calls, 1);
}

TEST_F(CallKindTest, BlockDeclarationSuspendsAnUnboundCall) {
  lv_pred* p = c_pred("blocked", 1, record_args);
  auto* decl = static_cast<lv_block_decl*>(lv_mem_alloc(16 + 2, lv_mem_flags(LV_CAT_MISC)));
  decl->next = nullptr;
  decl->text[0] = 1;  // argument 1
  decl->text[1] = 0;
  p->block_decls = decl;
  p->flags |= LV_PRED_BLOCK;
  lv_select_entry(p, false);
  ASSERT_EQ(p->kind, LV_KIND_BLOCKPOINT);
  lv_term var = terms::var(w);
  ASSERT_EQ(call(p, {var}), 1);
  EXPECT_EQ(seen.calls, 0);  // suspended, not run
  lv_term* cell = lv_ref_cell(lv_deref(var));
  EXPECT_EQ(cell[-1], LV_ATTVAR_MARKER);
  EXPECT_TRUE(lv_is_list(lv_deref(lv_attvar_goals(cell))));
  ASSERT_EQ(call(p, {small(1)}), 1);
  EXPECT_EQ(seen.calls, 1);
}

TEST_F(CallKindTest, NativeCompilationCandidateIsHandedOverAtTheLimit) {
  role("$jit_compile", 3, record_args);
  lv_pred* p = c_pred("hot", 0, [](lv_worker*) { return 1; });
  w->jit_counter_limit = 3;
  lv_jit_switch = true;
  p->flags |= LV_PRED_JIT_CANDIDATE;
  lv_select_entry(p, false);
  ASSERT_EQ(p->kind, LV_KIND_JITTABLE);
  for (int i = 0; i < 2; i++) ASSERT_EQ(call(p), 1);
  EXPECT_EQ(seen.calls, 0);
  ASSERT_EQ(call(p), 1);
  EXPECT_EQ(seen.calls, 1);
  EXPECT_EQ(seen.seen[0], atom("hot"));
  lv_jit_switch = false;
}

}  // namespace
