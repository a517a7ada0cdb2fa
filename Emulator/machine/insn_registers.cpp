// The register effects of the instructions.
#include "machine/insn_registers.h"

#include "core/worker.h"
#include "machine/insn_walk.h"
#include "store/predicates.h"

namespace {

// The step string of every instruction. The switch names each instruction
// of the set (the compiler warns of one left out) and the table below is
// checked for completeness when it is built.
constexpr const char* steps_of(lv_insn n) {
  switch (n) {
    // Register moves: Xi := Xj.
    case LV_OP_GET_X0_X1: return "R1W0";
    case LV_OP_GET_X0_X2: return "R2W0";
    case LV_OP_GET_X0_X3: return "R3W0";
    case LV_OP_GET_X1_X0: return "R0W1";
    case LV_OP_GET_X1_X2: return "R2W1";
    case LV_OP_GET_X1_X3: return "R3W1";
    case LV_OP_GET_X2_X0: return "R0W2";
    case LV_OP_GET_X2_X1: return "R1W2";
    case LV_OP_GET_X2_X3: return "R3W2";
    case LV_OP_GET_X3_X0: return "R0W3";
    case LV_OP_GET_X3_X1: return "R1W3";
    case LV_OP_GET_X3_X2: return "R2W3";
    case LV_OP_GET_X0_Xn: return "r0W0";
    case LV_OP_GET_X1_Xn: return "r0W1";
    case LV_OP_GET_X2_Xn: return "r0W2";
    case LV_OP_GET_X3_Xn: return "r0W3";
    case LV_OP_GET_Xn_X0: return "R0w0";
    case LV_OP_GET_Xn_X1: return "R1w0";
    case LV_OP_GET_Xn_X2: return "R2w0";
    case LV_OP_GET_Xn_X3: return "R3w0";
    case LV_OP_GET_X_VARIABLE: return "r0w1";
    case LV_OP_GET_XVAR_XVAR: return "r0w1r2w3";  // the second move sees the first
    case LV_OP_GET_FIRST:
    case LV_OP_GET: return "g0";

    // Head matching.
    case LV_OP_GET_X_VALUE:
    case LV_OP_GET_X_VALUE_PROCEED: return "r0r1";
    case LV_OP_GET_Y_FIRST_VARIABLE:
    case LV_OP_GET_Y_VARIABLE:
    case LV_OP_GET_Y_UNSAFE_VARIABLE:
    case LV_OP_GET_Y_VALUE:
    case LV_OP_GET_Y_VALUE_PROGRESS:
    case LV_OP_GET_CONSTANTQ:
    case LV_OP_GET_CONSTANT:
    case LV_OP_GET_STRUCTUREQ:
    case LV_OP_GET_STRUCTURE:
    case LV_OP_GET_NIL:
    case LV_OP_GET_LIST:
    case LV_OP_GET_LARGEQ:
    case LV_OP_GET_LARGE: return "r0";
    // The _X0 forms do nothing to X0 when the index matched already; they
    // bind it otherwise, so X0 counts as read.
    case LV_OP_GET_CONSTANT_X0Q:
    case LV_OP_GET_CONSTANT_X0:
    case LV_OP_GET_STRUCTURE_X0Q:
    case LV_OP_GET_STRUCTURE_X0:
    case LV_OP_GET_NIL_X0:
    case LV_OP_GET_LIST_X0:
    case LV_OP_GET_LARGE_X0Q:
    case LV_OP_GET_LARGE_X0: return "R0";
    // Facts: X0 was matched by the index and is not examined.
    case LV_OP_GET_FACT_2Q:
    case LV_OP_GET_FACT_2: return "R1";
    case LV_OP_GET_FACT_3Q:
    case LV_OP_GET_FACT_3: return "R1R2";
    case LV_OP_GET_FACT_4Q:
    case LV_OP_GET_FACT_4: return "R1R2R3";
    case LV_OP_GET_STRUCTURE_XVAR_XVARQ:
    case LV_OP_GET_STRUCTURE_XVAR_XVAR: return "r0w2w3";
    case LV_OP_GET_LIST_XVAR_XVAR: return "r0w1w2";

    // Building call arguments.
    case LV_OP_PUT_X_VOID:
    case LV_OP_PUT_Y_FIRST_VARIABLE:
    case LV_OP_PUT_Y_VARIABLE:
    case LV_OP_PUT_Y_VALUE:
    case LV_OP_PUT_Y_UNSAFE_VALUE:
    case LV_OP_PUT_CONSTANTQ:
    case LV_OP_PUT_CONSTANT:
    case LV_OP_PUT_STRUCTUREQ:
    case LV_OP_PUT_STRUCTURE:
    case LV_OP_PUT_NIL:
    case LV_OP_PUT_LIST:
    case LV_OP_PUT_LARGEQ:
    case LV_OP_PUT_LARGE: return "w0";
    case LV_OP_PUT_X_VARIABLE: return "w0w1";
    case LV_OP_PUT_X_UNSAFE_VALUE: return "r1w1w0";  // Xv may be globalised, then Xa := Xv
    case LV_OP_PUT_FIRST:
    case LV_OP_PUT: return "l0";

    // Structure arguments.
    case LV_OP_UNIFY_VOID:
    case LV_OP_UNIFY_VOID_1:
    case LV_OP_UNIFY_VOID_2:
    case LV_OP_UNIFY_VOID_3:
    case LV_OP_UNIFY_VOID_4:
    case LV_OP_UNIFY_Y_FIRST_VARIABLE:
    case LV_OP_UNIFY_Y_VARIABLE:
    case LV_OP_UNIFY_Y_UNSAFE_VARIABLE:
    case LV_OP_UNIFY_Y_VALUE:
    case LV_OP_UNIFY_Y_VALUE_PROGRESS:
    case LV_OP_UNIFY_Y_LOCAL_VALUE:
    case LV_OP_UNIFY_Y_LOCAL_VALUE_PROGRESS:
    case LV_OP_UNIFY_CONSTANTQ:
    case LV_OP_UNIFY_CONSTANT:
    case LV_OP_UNIFY_CONSTANT_PROCEEDQ:
    case LV_OP_UNIFY_CONSTANT_PROCEED:
    case LV_OP_UNIFY_CONSTANT_PROGRESSQ:
    case LV_OP_UNIFY_CONSTANT_PROGRESS:
    case LV_OP_UNIFY_STRUCTUREQ:
    case LV_OP_UNIFY_STRUCTURE:
    case LV_OP_UNIFY_NIL:
    case LV_OP_UNIFY_NIL_PROCEED:
    case LV_OP_UNIFY_NIL_PROGRESS:
    case LV_OP_UNIFY_LIST:
    case LV_OP_UNIFY_LARGEQ:
    case LV_OP_UNIFY_LARGE: return "";
    case LV_OP_UNIFY_X_VARIABLE: return "w0";
    case LV_OP_UNIFY_X_VALUE:
    case LV_OP_UNIFY_X_VALUE_PROCEED:
    case LV_OP_UNIFY_X_LOCAL_VALUE:
    case LV_OP_UNIFY_X_LOCAL_VALUE_PROCEED: return "r0";
    case LV_OP_U2_VOID_XVAR: return "w1";
    case LV_OP_U2_VOID_XVAL:
    case LV_OP_U2_VOID_XLVAL: return "r1";
    case LV_OP_U2_XVAR_VOID: return "w0";
    case LV_OP_U2_XVAL_VOID:
    case LV_OP_U2_XLVAL_VOID: return "r0";
    case LV_OP_U2_XVAR_XVAR: return "w0w1";
    case LV_OP_U2_XVAR_XVAL:
    case LV_OP_U2_XVAR_XLVAL: return "w0r1";
    case LV_OP_U2_XVAL_XVAR:
    case LV_OP_U2_XLVAL_XVAR: return "r0w1";
    case LV_OP_U2_XVAL_XVAL:
    case LV_OP_U2_XLVAL_XVAL:
    case LV_OP_U2_XVAL_XLVAL:
    case LV_OP_U2_XLVAL_XLVAL: return "r0r1";

    // Calls: load the list, read the arguments, lose every register.
    case LV_OP_INITCALLQ:
    case LV_OP_INITCALL:
    case LV_OP_FIRSTCALLQ:
    case LV_OP_FIRSTCALL:
    case LV_OP_CALLQ:
    case LV_OP_CALL:
    case LV_OP_LASTCALLQ:
    case LV_OP_LASTCALL: return "l0c1k-";
    case LV_OP_INITCALL_CALL:
    case LV_OP_FIRSTCALL_CALL:
    case LV_OP_CALL_CALL:
    case LV_OP_LASTCALL_CALL: return "l0n1k-";
    case LV_OP_EXECUTEQ:
    case LV_OP_EXECUTE:
    case LV_OP_END_OF_CLAUSEQ:
    case LV_OP_END_OF_CLAUSE: return "c0k-";
    case LV_OP_EXECUTE_CALL: return "n0k-";

    // Returns, backtracking, choicepoints and cuts.
    case LV_OP_PROCEED:
    case LV_OP_PROGRESS:
    case LV_OP_EXIT_TOPLEVEL:
    case LV_OP_RESTORE_OPERANDS_PROGRESS:
    case LV_OP_RESTORE_CALLER_PROGRESS:
    case LV_OP_CUTB:
    case LV_OP_CUTB_PROCEED:
    case LV_OP_CUT_Y:
    case LV_OP_CUT_Y_PROGRESS:
    case LV_OP_CHOICE_YF:
    case LV_OP_CHOICE_Y:
    case LV_OP_CHECK_HEAPQ:
    case LV_OP_CHECK_HEAP:
    case LV_OP_NOP:
    case LV_OP_NATIVE_OP: return "";
    case LV_OP_FAIL: return "k-";  // the registers come back from the choicepoint
    case LV_OP_TRY: return "t-";
    case LV_OP_RETRY_INSTANCE: return "a-";
    case LV_OP_RETRY_CQ:
    case LV_OP_RETRY_C: return "A-";
    case LV_OP_KONTINUE: return "K-";
    case LV_OP_SWITCH_ON_PRED: return "p-";
    case LV_OP_CUTB_X:
    case LV_OP_CUTB_X_PROCEED: return "r0";
    case LV_OP_CHOICE_X: return "w0";
    case LV_OP_SPILLQ:
    case LV_OP_SPILL: return "r1S0";
    case LV_OP_UNSPILLQ:
    case LV_OP_UNSPILL: return "s0w1";

    // Arithmetic: only the X operands of loads and stores touch registers.
    case LV_OP_FIRST_X_VALUE:
    case LV_OP_LATER_X_VALUE:
    case LV_OP_STORE_X_VALUE: return "r0";
    case LV_OP_STORE_X_VARIABLE: return "w0";
    case LV_OP_FIRST_CONSTANTQ:
    case LV_OP_FIRST_CONSTANT:
    case LV_OP_FIRST_LARGEQ:
    case LV_OP_FIRST_LARGE:
    case LV_OP_FIRST_Y_VALUE:
    case LV_OP_LATER_CONSTANTQ:
    case LV_OP_LATER_CONSTANT:
    case LV_OP_LATER_LARGEQ:
    case LV_OP_LATER_LARGE:
    case LV_OP_LATER_Y_VALUE:
    case LV_OP_STORE_CONSTANTQ:
    case LV_OP_STORE_CONSTANT:
    case LV_OP_STORE_LARGEQ:
    case LV_OP_STORE_LARGE:
    case LV_OP_STORE_Y_FIRST_VARIABLE:
    case LV_OP_STORE_Y_VARIABLE:
    case LV_OP_STORE_Y_UNSAFE_VARIABLE:
    case LV_OP_STORE_Y_VALUE:
    case LV_OP_ANOP_IF:
    case LV_OP_ANOP_INF:
    case LV_OP_ANOP_NAN:
    case LV_OP_MONOP_MINUS:
    case LV_OP_MONOP_INTEGER:
    case LV_OP_MONOP_FLOAT:
    case LV_OP_MONOP_COMPLEMENT:
    case LV_OP_MONOP_SIN:
    case LV_OP_MONOP_COS:
    case LV_OP_MONOP_TAN:
    case LV_OP_MONOP_COT:
    case LV_OP_MONOP_SINH:
    case LV_OP_MONOP_COSH:
    case LV_OP_MONOP_TANH:
    case LV_OP_MONOP_COTH:
    case LV_OP_MONOP_ASIN:
    case LV_OP_MONOP_ACOS:
    case LV_OP_MONOP_ATAN:
    case LV_OP_MONOP_ACOT:
    case LV_OP_MONOP_ASINH:
    case LV_OP_MONOP_ACOSH:
    case LV_OP_MONOP_ATANH:
    case LV_OP_MONOP_ACOTH:
    case LV_OP_MONOP_SQRT:
    case LV_OP_MONOP_LOG:
    case LV_OP_MONOP_EXP:
    case LV_OP_MONOP_ABS:
    case LV_OP_MONOP_MSB:
    case LV_OP_MONOP_ROUND:
    case LV_OP_MONOP_TRUNCATE:
    case LV_OP_MONOP_FLOOR:
    case LV_OP_MONOP_CEILING:
    case LV_OP_MONOP_SIGN:
    case LV_OP_MONOP_FLOAT_INTEGER_PART:
    case LV_OP_MONOP_FLOAT_FRACTIONAL_PART:
    case LV_OP_BINOP_SWAP:
    case LV_OP_BINOP_ADD:
    case LV_OP_BINOP_SUBTRACT:
    case LV_OP_BINOP_MULTIPLY:
    case LV_OP_BINOP_DIVIDE:
    case LV_OP_BINOP_IDIVIDE:
    case LV_OP_BINOP_MODULUS:
    case LV_OP_BINOP_REMAINDER:
    case LV_OP_BINOP_MAXIMUM:
    case LV_OP_BINOP_MINIMUM:
    case LV_OP_BINOP_XOR:
    case LV_OP_BINOP_AND:
    case LV_OP_BINOP_OR:
    case LV_OP_BINOP_LEFT_SHIFT:
    case LV_OP_BINOP_RIGHT_SHIFT:
    case LV_OP_BINOP_ATAN2:
    case LV_OP_BINOP_ACOT2:
    case LV_OP_BINOP_LOG:
    case LV_OP_BINOP_EXP:
    case LV_OP_BINOP_POWER:
    case LV_OP_BINOP_GCD:
    case LV_OP_BINOP_IPOWER:
    case LV_OP_BINOP_FDIVIDE:
    case LV_OP_BINOP_ADD_IMMQ:
    case LV_OP_BINOP_ADD_IMM:
    case LV_OP_BINOP_SUBTRACT_IMMQ:
    case LV_OP_BINOP_SUBTRACT_IMM:
    case LV_OP_BINOP_MULTIPLY_IMMQ:
    case LV_OP_BINOP_MULTIPLY_IMM:
    case LV_OP_BINOP_IDIVIDE_IMMQ:
    case LV_OP_BINOP_IDIVIDE_IMM:
    case LV_OP_BINOP_MODULUS_IMMQ:
    case LV_OP_BINOP_MODULUS_IMM:
    case LV_OP_BINOP_REMAINDER_IMMQ:
    case LV_OP_BINOP_REMAINDER_IMM:
    case LV_OP_BINOP_XOR_IMMQ:
    case LV_OP_BINOP_XOR_IMM:
    case LV_OP_BINOP_AND_IMMQ:
    case LV_OP_BINOP_AND_IMM:
    case LV_OP_BINOP_OR_IMMQ:
    case LV_OP_BINOP_OR_IMM:
    case LV_OP_BINOP_FDIVIDE_IMMQ:
    case LV_OP_BINOP_FDIVIDE_IMM: return "";
    case LV_OP_EQUAL_TOQ:
    case LV_OP_EQUAL_TO:
    case LV_OP_NOT_EQUAL_TOQ:
    case LV_OP_NOT_EQUAL_TO:
    case LV_OP_LESS_THANQ:
    case LV_OP_LESS_THAN:
    case LV_OP_NOT_LESS_THANQ:
    case LV_OP_NOT_LESS_THAN:
    case LV_OP_GREATER_THANQ:
    case LV_OP_GREATER_THAN:
    case LV_OP_NOT_GREATER_THANQ:
    case LV_OP_NOT_GREATER_THAN: return "b0";
    case LV_OP_EQUAL_TO_IMMQ:
    case LV_OP_EQUAL_TO_IMM:
    case LV_OP_NOT_EQUAL_TO_IMMQ:
    case LV_OP_NOT_EQUAL_TO_IMM:
    case LV_OP_LESS_THAN_IMMQ:
    case LV_OP_LESS_THAN_IMM:
    case LV_OP_NOT_LESS_THAN_IMMQ:
    case LV_OP_NOT_LESS_THAN_IMM:
    case LV_OP_GREATER_THAN_IMMQ:
    case LV_OP_GREATER_THAN_IMM:
    case LV_OP_NOT_GREATER_THAN_IMMQ:
    case LV_OP_NOT_GREATER_THAN_IMM: return "b1";

    // Type tests.
    case LV_OP_ATOMQ:
    case LV_OP_ATOM:
    case LV_OP_ATOMICQ:
    case LV_OP_ATOMIC:
    case LV_OP_FLOATQ:
    case LV_OP_FLOAT:
    case LV_OP_INTEGERQ:
    case LV_OP_INTEGER:
    case LV_OP_NUMBERQ:
    case LV_OP_NUMBER:
    case LV_OP_VARQ:
    case LV_OP_VAR:
    case LV_OP_NONVARQ:
    case LV_OP_NONVAR:
    case LV_OP_SIMPLEQ:
    case LV_OP_SIMPLE:
    case LV_OP_COMPOUNDQ:
    case LV_OP_COMPOUND:
    case LV_OP_CALLABLEQ:
    case LV_OP_CALLABLE:
    case LV_OP_GROUNDQ:
    case LV_OP_GROUND:
    case LV_OP_MUTABLEQ:
    case LV_OP_MUTABLE:
    case LV_OP_DB_REFERENCEQ:
    case LV_OP_DB_REFERENCE: return "r0b1";

    // Inline built-ins read their operands; a fall-back call saves the
    // registers live after the instruction, so nothing is lost here.
    case LV_OP_COMPAREOP:
    case LV_OP_UNIV:
    case LV_OP_CREATE_MUTABLE:
    case LV_OP_GET_MUTABLE:
    case LV_OP_UPDATE_MUTABLE:
    case LV_OP_LENGTH: return "r0r1";
    case LV_OP_ARG:
    case LV_OP_FUNCTOR:
    case LV_OP_APPEND:
    case LV_OP_COMPARE: return "r0r1r2";

    // Foreign calls: the frame keeps X0 .. X(n-1); the C function takes its
    // arguments from the call record. It is not taken to clobber registers,
    // so any read after it still counts before it.
    case LV_OP_OPEN_FOREIGN_CALLQ:
    case LV_OP_OPEN_FOREIGN_CALL: return "n0";
    case LV_OP_PUSH_FLOAT:
    case LV_OP_PUSH_INTEGER:
    case LV_OP_PUSH_TERM:
    case LV_OP_PUSH_ATOM:
    case LV_OP_PUSH_STRING:
    case LV_OP_PUSH_CODES: return "r0";
    case LV_OP_CLOSE_FOREIGN_CALL:
    case LV_OP_CALL_FOREIGNQ:
    case LV_OP_CALL_FOREIGN:
    case LV_OP_CALL_FOREIGN_FASTQ:
    case LV_OP_CALL_FOREIGN_FAST:
    case LV_OP_PUSH_RESULT_FLOAT:
    case LV_OP_PUSH_RESULT_INTEGER:
    case LV_OP_PUSH_RESULT_TERM:
    case LV_OP_PUSH_RESULT_ATOM:
    case LV_OP_PUSH_RESULT_STRING:
    case LV_OP_PUSH_RESULT_CODES:
    case LV_OP_POP_FLOAT:
    case LV_OP_POP_INTEGER:
    case LV_OP_POP_TERM:
    case LV_OP_POP_ATOM:
    case LV_OP_POP_STRING:
    case LV_OP_POP_CODES:
    case LV_OP_RECEIVE_FLOAT:
    case LV_OP_RECEIVE_INTEGER:
    case LV_OP_RECEIVE_TERM:
    case LV_OP_RECEIVE_ATOM:
    case LV_OP_RECEIVE_STRING:
    case LV_OP_RECEIVE_CODES: return "";
  }
  return nullptr;
}

// Effects one step can expand to.
constexpr unsigned step_effects(char step) {
  switch (step) {
    case 't': return 3;
    case 'a': case 'A': case 'K': case 'p': return 2;
    default: return 1;
  }
}

constexpr bool step_letter(char c) {
  for (const char* s = "rwRWlgcnsSbktaAKp"; *s != '\0'; s++)
    if (*s == c) return true;
  return false;
}

// Well formed: pairs of a known letter and a digit or '-', within the
// effect buffer.
constexpr bool well_formed(const char* steps) {
  if (steps == nullptr) return false;
  unsigned effects = 0;
  for (; *steps != '\0'; steps += 2) {
    if (!step_letter(steps[0])) return false;
    char arg = steps[1];
    if (arg != '-' && (arg < '0' || arg > '5')) return false;
    effects += step_effects(steps[0]);
  }
  return effects <= LV_REG_MAX_EFFECTS;
}

struct step_table {
  const char* steps[LV_INSN_COUNT];
};

constexpr step_table make_table() {
  step_table t{};
  for (uint32_t n = 0; n < LV_INSN_COUNT; n++) t.steps[n] = steps_of(static_cast<lv_insn>(n));
  return t;
}

constexpr step_table table = make_table();

constexpr bool table_complete() {
  for (uint32_t n = 0; n < LV_INSN_COUNT; n++)
    if (!well_formed(table.steps[n])) return false;
  return true;
}
static_assert(table_complete(), "every instruction needs a well-formed register step string");

class effect_list {
 public:
  explicit effect_list(lv_reg_effect* out) : out_(out) {}
  void add(lv_reg_effect_kind kind, uint64_t first, uint64_t count, const uint32_t* at = nullptr, uint32_t stride = 0) {
    if ((kind == LV_REG_READ || kind == LV_REG_WRITE || kind == LV_REG_READ_LIST) && count == 0) return;
    if (first > UINT32_MAX) return;
    if (count > UINT32_MAX - first) count = UINT32_MAX - first;
    out_[n_++] = {kind, static_cast<uint32_t>(first), static_cast<uint32_t>(count), stride, at};
  }
  unsigned size() const { return n_; }

 private:
  lv_reg_effect* out_;
  unsigned n_ = 0;
};

// Registers saved by a choicepoint of cp_size bytes (0 for a size that is
// no choicepoint size).
uint64_t saved_registers(uint32_t cp_size) {
  if (cp_size < 48 || (cp_size & 7) != 0) return 0;
  return (cp_size - 48) / 8;
}

// Arguments of the predicate a KONTINUE word belongs to: the frame-size word
// before it, or the 64-bit key before that when the size did not fit.
uint64_t kontinue_arity(const uint32_t* p) {
  uint64_t size = p[-1] != 0 ? p[-1] : lv_code_read64(p - 3);
  return size >= 16 ? (size - 16) / 8 : 0;
}

uint64_t pred_arity(const lv_pred* pred) { return pred != nullptr && pred->arity > 0 ? static_cast<uint64_t>(pred->arity) : 0; }

void add_try(effect_list& e, const uint32_t* p) {
  uint64_t n = saved_registers(p[-1]);
  if (n & 1) {
    e.add(LV_REG_WRITE, n, 1);  // the register past the saved range becomes []
    n++;
  }
  e.add(LV_REG_READ, 0, n);
  const uint32_t* target = reinterpret_cast<const uint32_t*>(lv_code_read64(p - 5));
  if (target != nullptr) e.add(LV_REG_BRANCH, 0, 0, target);
}

}  // namespace

const char* lv_insn_register_steps(lv_insn n) { return n < LV_INSN_COUNT ? table.steps[n] : nullptr; }

unsigned lv_insn_register_effects(const lv_worker* w, const uint32_t* p, lv_reg_effect out[LV_REG_MAX_EFFECTS]) {
  effect_list e(out);
  if (p[0] == LV_INTERNAL_HEADER_WORD) {
    // Entered like a predicate: its arguments are read.
    e.add(LV_REG_READ, 0, p[1]);
    e.add(LV_REG_CLOBBER, 0, 0);
    return e.size();
  }
  lv_decoded_insn d;
  if (!lv_insn_decode(p, &d)) {
    e.add(LV_REG_CLOBBER, 0, 0);
    return e.size();
  }
  for (const char* s = table.steps[d.number]; *s != '\0'; s += 2) {
    const lv_operand* o = s[1] == '-' ? nullptr : &d.operands[s[1] - '0'];
    switch (s[0]) {
      case 'r':
      case 'w': {
        int64_t r = lv_x_register_of(static_cast<uint32_t>(o->value));
        if (r >= 0) e.add(s[0] == 'r' ? LV_REG_READ : LV_REG_WRITE, static_cast<uint64_t>(r), 1);
        break;
      }
      case 'R': e.add(LV_REG_READ, static_cast<uint64_t>(s[1] - '0'), 1); break;
      case 'W': e.add(LV_REG_WRITE, static_cast<uint64_t>(s[1] - '0'), 1); break;
      case 'l': e.add(LV_REG_WRITE, o->value, o->count); break;
      case 'g': e.add(LV_REG_READ_LIST, 0, o->count, o->at + 1, 2); break;
      case 'c': e.add(LV_REG_READ, 0, pred_arity(reinterpret_cast<const lv_pred*>(o->value))); break;
      case 'n': e.add(LV_REG_READ, 0, o->value); break;
      case 's':
      case 'S':
        if (static_cast<int64_t>(o->value) >= 0) e.add(s[0] == 's' ? LV_REG_READ : LV_REG_WRITE, o->value, 1);
        break;
      case 'b': e.add(LV_REG_BRANCH, 0, 0, reinterpret_cast<const uint32_t*>(o->value)); break;
      case 'k': e.add(LV_REG_CLOBBER, 0, 0); break;
      case 't': add_try(e, p); break;
      case 'a':
        e.add(LV_REG_READ, 0, saved_registers(p[-1]));
        e.add(LV_REG_CLOBBER, 0, 0);
        break;
      case 'A':
        if (p[-1] == lv_opcode(LV_OP_TRY)) e.add(LV_REG_READ, 0, saved_registers(p[-2]));
        e.add(LV_REG_CLOBBER, 0, 0);
        break;
      case 'K':
        e.add(LV_REG_READ, 0, kontinue_arity(p));
        e.add(LV_REG_CLOBBER, 0, 0);
        break;
      case 'p':
        e.add(LV_REG_READ, 0, w != nullptr ? pred_arity(w->called_pred) : 0);
        e.add(LV_REG_CLOBBER, 0, 0);
        break;
      default: break;
    }
  }
  return e.size();
}
