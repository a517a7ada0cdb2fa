// The C functions the glue routines call, and the checks that the numbers
// the glue addresses records by (glue_layout.h) match the records.
#include "jit/glue_calls.h"

#include <cstddef>

#include "core/cleanups.h"
#include "core/inline_builtins.h"
#include "core/numstack.h"
#include "core/predefined_atoms.h"
#include "core/stack_shift.h"
#include "core/unify.h"
#include "jit/glue_layout.h"
#include "machine/arith.h"
#include "machine/boxed_numbers.h"
#include "machine/call_n.h"
#include "machine/frames.h"
#include "machine/instructions.h"
#include "store/predicates.h"
#include "store/static_code.h"
#include "store/try_record.h"

static_assert(W_P == offsetof(lv_worker, P) && W_CALLED_PRED == offsetof(lv_worker, called_pred));
static_assert(W_WAKEUP_COUNT == offsetof(lv_worker, wakeup_count) && W_NEXT_NODE == offsetof(lv_worker, next_node));
static_assert(W_TERMREF_CAPACITY == offsetof(lv_worker, termref_capacity) &&
              W_TERMREF_TOP == offsetof(lv_worker, termref_top) && W_TERMREFS == offsetof(lv_worker, termrefs));
static_assert(W_AREA_START == offsetof(lv_worker, area_start) &&
              W_HEAP_SOFT_LIMIT == offsetof(lv_worker, heap_soft_limit));
static_assert(W_LOCAL_BASE == offsetof(lv_worker, local_base) && W_LOCAL_LIMIT == offsetof(lv_worker, local_limit));
static_assert(W_CHOICE_BASE == offsetof(lv_worker, choice_base) && W_TRAIL_BASE == offsetof(lv_worker, trail_base));
static_assert(W_NATIVE_SCRATCH == offsetof(lv_worker, native_scratch));
static_assert(W_NUMSTACK_TOP == offsetof(lv_worker, numstack_top) &&
              W_NUMSTACK_CHUNK == offsetof(lv_worker, numstack_chunk));
static_assert(W_SAVED_LOCAL_TOP == offsetof(lv_worker, saved_local_top) && W_HB == offsetof(lv_worker, HB) &&
              W_HB == W_SAVED_LOCAL_TOP + 8);
static_assert(W_B == offsetof(lv_worker, B) && W_LOCAL_TOP == offsetof(lv_worker, local_top) &&
              W_H == offsetof(lv_worker, H) && W_TR == offsetof(lv_worker, TR) && W_E == offsetof(lv_worker, E) &&
              W_CP == offsetof(lv_worker, CP) && W_X == offsetof(lv_worker, X) && W_FCP == offsetof(lv_worker, fcp));
static_assert(CP_ALT == 8 * LV_CP_ALT && CP_LOCAL_TOP == 8 * LV_CP_LOCAL_TOP && CP_H == 8 * LV_CP_H &&
              CP_TR == 8 * LV_CP_TR && CP_E == 8 * LV_CP_E && CP_CP == 8 * LV_CP_CP && CP_ARGS == 8 * LV_CP_ARGS);
// The refresh of the saved local top and HB copies the two choicepoint
// words in one 16-byte move.
static_assert(CP_H == CP_LOCAL_TOP + 8);
static_assert(PRED_KIND == offsetof(lv_pred, kind) && PRED_CONTINUE == offsetof(lv_pred, continue_insn) &&
              PRED_DEFINITION == offsetof(lv_pred, definition) && PRED_STUB == offsetof(lv_pred, native_stub) &&
              PRED_JIT_BLOCK == offsetof(lv_pred, jit_block));
static_assert(ALT_RECORD_TO_WORD == offsetof(lv_try_record, insn) &&
              ALT_NEXT == static_cast<int>(offsetof(lv_try_record, next)) - ALT_RECORD_TO_WORD &&
              ALT_TARGET == static_cast<int>(offsetof(lv_try_record, target)) - ALT_RECORD_TO_WORD &&
              ALT_RETRY == static_cast<int>(offsetof(lv_try_record, last_or_end)) - ALT_RECORD_TO_WORD &&
              ALT_SIZE == static_cast<int>(offsetof(lv_try_record, cp_size)) - ALT_RECORD_TO_WORD);
static_assert(OP_NATIVE_OP == lv_opcode(LV_OP_NATIVE_OP) && OP_FAIL == lv_opcode(LV_OP_FAIL) &&
              OP_TRY == lv_opcode(LV_OP_TRY) && OP_KONTINUE == lv_opcode(LV_OP_KONTINUE));
static_assert(KIND_JITTED == LV_KIND_JITTED);
static_assert(ATOM_NIL == LV_ATOM_NIL && ATOM_LESS == LV_ATOM_LESS && ATOM_EQUAL == LV_ATOM_EQUAL &&
              ATOM_GREATER == LV_ATOM_GREATER);
static_assert(FUNCTOR_DOT_2 == LV_FUNCTOR_DOT_2 && FUNCTOR_MUTABLE_2 == LV_FUNCTOR_MUTABLE_2 &&
              FUNCTOR_REF_2 == LV_FUNCTOR_REF_2);
static_assert(static_cast<lv_term>(BOX_FLOAT) == LV_BOX_FLOAT && static_cast<lv_term>(BOX_INT1) == LV_BOX_INT1 &&
              static_cast<lv_term>(ATTVAR_MARKER) == LV_ATTVAR_MARKER);
static_assert(TRAIL_GAP == LV_TRAIL_GAP_BYTES && HEAP_RESERVE_CELLS == LV_HEAP_RESERVE_CELLS &&
              CLEANUP_CHAIN_SLOT == LV_CLEANUP_CHAIN_SLOT);

namespace {

typedef lv_term (*unary_function)(lv_worker*, lv_term);
typedef lv_term (*binary_function)(lv_worker*, lv_term, lv_term);

struct evaluator {
  unary_function unary;
  binary_function binary;
};

template <int operands>
constexpr evaluator make_evaluator(unary_function f) {
  static_assert(operands == 1);
  return {f, nullptr};
}
template <int operands>
constexpr evaluator make_evaluator(binary_function f) {
  static_assert(operands == 2);
  return {nullptr, f};
}

constexpr evaluator evaluators[] = {
#define LV_CALLOUT(index, name, function, operands) make_evaluator<operands>(function),
#include "jit/glue_callouts.def"
#undef LV_CALLOUT
};

// The code a C twin answers, with the failure code as null.
const uint32_t* twin_result(const uint32_t* code) { return code == lv_fail_code ? nullptr : code; }

}  // namespace

extern "C" {

int lv_native_call_c(lv_worker* w, lv_builtin_function function) { return function(w); }

int lv_native_resolve_callable(lv_worker* w) {
  lv_term goal = lv_deref(w->X[0]);
  lv_term module = lv_deref(w->X[1]);
  lv_term name;
  const lv_term* args = &goal;  // no arguments to copy for an atom
  if (lv_is_atom(goal)) {
    name = goal;
  } else if (lv_is_list(goal)) {
    name = LV_FUNCTOR_DOT_2;
    args = lv_list_cells(goal);
  } else if (lv_is_compound(goal) && *lv_struct_cells(goal) != LV_FUNCTOR_COLON_2) {
    name = *lv_struct_cells(goal);
    args = lv_struct_cells(goal) + 1;
  } else {
    return 3;
  }
  if (!lv_is_atom(module) || find_module(module, 0) == nullptr) return 3;
  lv_term saved0 = w->X[0], saved1 = w->X[1];
  w->X[0] = name;
  w->X[1] = module;
  int result = lv_resolve_callable(w, args);
  if (result == 3) {
    w->X[0] = saved0;
    w->X[1] = saved1;
  }
  return result;
}

lv_pred* lv_native_build_call(lv_worker* w, lv_term goal) {
  w->X[0] = goal;
  return lv_build_call_n_goal(w, 1, w->P);
}

void lv_native_choice_overflow(lv_worker* w) { lv_ensure_choice_space(w, LV_TRAIL_REQUEST_CELLS); }

int lv_native_unify(lv_worker* w, lv_term a, lv_term b) { return cunify(w, a, b); }

int lv_native_compare(lv_worker* w, lv_term a, lv_term b) { return lv_compare_vars(w, a, b); }

int lv_native_ground(lv_worker* w, lv_term t) { return lv_inline_ground(w, t); }

uint32_t lv_native_arith_compare(lv_worker* w, lv_term x, lv_term y) { return lv_arith_compare(w, x, y); }

lv_term lv_native_arith_and(lv_worker* w, lv_term x, lv_term y) { return lv_arith_and(w, x, y); }

lv_term lv_native_evaluate(lv_worker* w, uint32_t index, lv_term x, lv_term y) {
  LV_ASSERT(index < sizeof evaluators / sizeof evaluators[0]);
  const evaluator& e = evaluators[index];
  return e.unary != nullptr ? e.unary(w, x) : e.binary(w, x, y);
}

void lv_native_numstack_overflow(lv_worker* w) { numstack_overflow(w); }

void lv_native_spill(lv_worker* w, int64_t n, lv_term value) {
  if (n < static_cast<int64_t>(LV_X_REGISTERS))
    w->X[n] = value;
  else
    lv_grow_x_overflow_area(w, n, value);
}

lv_term lv_native_unspill(lv_worker* w, int64_t n) {
  return n < static_cast<int64_t>(LV_X_REGISTERS) ? w->X[n] : lv_x_overflow_register(w, n);
}

const uint32_t* lv_native_inline_arg(lv_worker* w, lv_term n, lv_term t, lv_term a) {
  return twin_result(lv_inline_arg(w, n, t, a, w->P, w->E));
}
const uint32_t* lv_native_inline_functor(lv_worker* w, lv_term t, lv_term name, lv_term arity) {
  return twin_result(lv_inline_functor(w, t, name, arity, w->P, w->E));
}
const uint32_t* lv_native_inline_length(lv_worker* w, lv_term list, lv_term n, lv_term) {
  return twin_result(lv_inline_length(w, list, n, w->P, w->E));
}
const uint32_t* lv_native_inline_univ(lv_worker* w, lv_term t, lv_term list, lv_term) {
  return twin_result(lv_inline_univ(w, t, list, w->P, w->E));
}
const uint32_t* lv_native_inline_append(lv_worker* w, lv_term a, lv_term b, lv_term c) {
  return twin_result(lv_inline_append(w, a, b, c, w->P, w->E));
}
const uint32_t* lv_native_inline_compare(lv_worker* w, lv_term order, lv_term a, lv_term b) {
  return twin_result(lv_inline_compare(w, order, a, b, w->P, w->E));
}
const uint32_t* lv_native_inline_create_mutable(lv_worker* w, lv_term value, lv_term m, lv_term) {
  return twin_result(lv_inline_create_mutable(w, value, m, w->P, w->E));
}
const uint32_t* lv_native_inline_get_mutable(lv_worker* w, lv_term value, lv_term m, lv_term) {
  return twin_result(lv_inline_get_mutable(w, value, m, w->P, w->E));
}
const uint32_t* lv_native_inline_update_mutable(lv_worker* w, lv_term value, lv_term m, lv_term) {
  return twin_result(lv_inline_update_mutable(w, value, m, w->P, w->E));
}

lv_term lv_native_store_variable(lv_worker* w, lv_term value, int boxed) {
  if (boxed == 0) {
    int64_t v = static_cast<int64_t>(value);
    if (lv_fits_small(v)) return lv_make_small(v);
    value = lv_numstack_push_int(w, v);
  }
  if (lv_is_small(value)) return value;
  int64_t needed = 0;
  // Results of native arithmetic are finite: a zero answer means the heap
  // is short, which the emulator handles when it runs the code again.
  return lv_copy_boxed_to_heap(w, value, &needed);
}

int lv_native_store_value(lv_worker* w, lv_term term, lv_term value, int boxed) {
  if (boxed == 0) value = lv_numstack_push_int(w, static_cast<int64_t>(value));
  if (lv_is_small(value)) return cunify(w, term, value);
  // A one-limb integer box compares by value: the term may hold it as a
  // small integer.
  const lv_term* cells = lv_struct_cells(value);
  if (cells[0] == LV_BOX_INT1 && lv_fits_small(static_cast<int64_t>(cells[1])))
    return cunify(w, term, lv_make_small(static_cast<int64_t>(cells[1])));
  int64_t needed = 0;
  int r = lv_equal_boxed(w, term, value, &needed);
  return r > 0 ? 1 : r == 0 ? 0 : -1;
}

}  // extern "C"
