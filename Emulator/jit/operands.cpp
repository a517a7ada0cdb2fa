// Decoding the operands of instruction terms: registers, memory words,
// immediates, jump and call targets, size expressions and conditions.
#include <climits>
#include <cstddef>

#include "core/hashtab.h"
#include "core/predefined_atoms.h"
#include "core/worker.h"
#include "jit/emitters.h"
#include "jit/glue_layout.h"
#include "jit/glue_table.h"
#include "jit/jit_atoms.h"
#include "store/predicates.h"

using namespace jit_atoms;

namespace {

constexpr int RAX = 0, RCX = 1, RDX = 2, RBX = 3, RSP = 4, RBP = 5, RSI = 6, RDI = 7, R8 = 8, R9 = 9, R10 = 10,
              R11 = 11, R12 = 12;

// xmm6 to xmm15 belong to the C code that entered native code, which keeps
// values there across the call: compiled code may use xmm0 to xmm5 only.
constexpr int64_t XMM_REGISTERS = 6;

lv_jit_operand immediate(int64_t v, int32_t sub_kind = LV_IMMEDIATE_VALUE) { return {LV_OPERAND_IMMEDIATE, sub_kind, v}; }
lv_jit_operand reg(int r) { return {LV_OPERAND_REGISTER, r, 0}; }
lv_jit_operand mem(int base, int64_t disp) { return {LV_OPERAND_MEMORY, base, disp}; }

lv_jit_operand failed(lv_jit_asm* a) {
  a->error = true;
  return immediate(0);
}

// The compound term's functor word and argument cells, or 0.
lv_term functor_of(lv_term t, const lv_term** args) {
  if (!lv_is_struct(t)) return 0;
  const lv_term* cells = lv_struct_cells(t);
  if (lv_is_box_header(cells[0])) return 0;
  *args = cells + 1;
  return cells[0];
}

bool small_arg(lv_term t, int64_t* out) {
  t = lv_deref(t);
  if (!lv_is_small(t)) return false;
  *out = lv_small_value(t);
  return true;
}

bool fits32(int64_t v) { return v >= INT32_MIN && v <= INT32_MAX; }

// A memory operand whose displacement is a size expression.
lv_jit_operand memory_operand(lv_jit_asm* a, int base, lv_term d) {
  int64_t disp;
  if (!lv_jit_eval_size_expr(d, &disp) || !fits32(disp)) return failed(a);
  return mem(base, disp);
}

// The base register of the one-argument memory forms a(D) ... sp(D), and of
// the register atoms a ... sp.
int base_register(lv_term name) {
  switch (name) {
    case A: return RBP;
    case B: return R8;
    case CP: return RCX;
    case E: return RDI;
    case H: return RSI;
    case S: return RDX;
    case VAL: return RAX;
    case SP: return RSP;
    default: return -1;
  }
}

// The context word a context-word atom names, or -1.
int64_t context_word(lv_term name) {
  switch (name) {
    case FCP: return W_FCP;
    case CTX_HEAP_WARN_SOFT: return W_HEAP_SOFT_LIMIT;
    case CTX_INSN: return W_P;
    case CTX_NEXT_NODE: return W_NEXT_NODE;
    case CTX_NUMSTACK_END: return W_NUMSTACK_CHUNK;
    case CTX_STACK_START: return W_LOCAL_BASE;
    case CTX_STACK_WARN: return W_LOCAL_LIMIT;
    case CTX_FLI_STACK_START: return W_TERMREFS;
    default: return -1;
  }
}

// The predicate record of P: an integer address, or Module:Name/Arity
// (found or created). A record of prolog on its module's chain named from
// prolog's own code stands for the original that prolog's copy table holds.
uint64_t predicate_record(lv_jit_asm* a, lv_term p) {
  p = lv_deref(p);
  int64_t address;
  if (lv_jit_eval_size_expr(p, &address) && address != 0) return static_cast<uint64_t>(address);
  const lv_term* args;
  if (functor_of(p, &args) != lv_make_functor(COLON, 2)) return 0;
  lv_term module_name = lv_deref(args[0]);
  lv_term indicator = lv_deref(args[1]);
  const lv_term* na;
  if (!lv_is_atom(module_name) || functor_of(indicator, &na) != lv_make_functor(SLASH, 2)) return 0;
  lv_term name = lv_deref(na[0]);
  int64_t arity;
  if (!lv_is_atom(name) || !small_arg(na[1], &arity) || arity < 0 || arity > 255) return 0;
  lv_module* m = find_module(module_name, 1);
  if (m == nullptr) return 0;
  lv_pred* record = lv_lookup_predicate(m, name, static_cast<unsigned>(arity), LV_LOOKUP_CREATE);
  if (record == nullptr) return 0;
  if (m == lv_prolog_module() && a->module == m && record->next_in_module != nullptr &&
      m->prolog_copy_table != nullptr) {
    lv_hash_entry* e = incore_gethash(m->prolog_copy_table, lv_pred_functor(record));
    if (e != nullptr && e->key == lv_pred_functor(record) && e->value != 0) return e->value;
  }
  return reinterpret_cast<uint64_t>(record);
}

lv_jit_operand label_address(lv_jit_asm* a, lv_term l) {
  int64_t n;
  if (!small_arg(l, &n) || n < 0 || n >= a->label_count) return failed(a);
  a->label_dependent = true;
  return immediate(static_cast<int64_t>(a->labels[n]), LV_IMMEDIATE_LABEL);
}

lv_jit_operand glue_address(lv_jit_asm* a, lv_term name) {
  uint64_t address = lv_glue_address(lv_deref(name));
  if (address == 0) return failed(a);
  return immediate(static_cast<int64_t>(address), LV_IMMEDIATE_GLUE);
}

}  // namespace

int lv_jit_eval_size_expr(lv_term t, int64_t* out) {
  t = lv_deref(t);
  if (lv_is_small(t)) {
    *out = lv_small_value(t);
    return 1;
  }
  if (t == KONTINUE || t == NATIVE_OP) {
    *out = t == KONTINUE ? 674 : 700;
    return 1;
  }
  if (!lv_is_struct(t)) return 0;
  const lv_term* cells = lv_struct_cells(t);
  if (cells[0] == LV_BOX_INT1) {
    *out = static_cast<int64_t>(cells[1]);
    return 1;
  }
  const lv_term* args;
  lv_term f = functor_of(t, &args);
  int64_t x, y;
  if (f == lv_make_functor(PLUS, 2))
    return lv_jit_eval_size_expr(args[0], &x) && lv_jit_eval_size_expr(args[1], &y) && !__builtin_add_overflow(x, y, out);
  if (f == lv_make_functor(MINUS, 2)) {
    lv_term b = lv_deref(args[1]);
    bool integer = lv_is_small(b) || (lv_is_struct(b) && lv_struct_cells(b)[0] == LV_BOX_INT1);
    return integer && lv_jit_eval_size_expr(args[0], &x) && lv_jit_eval_size_expr(b, &y) &&
           !__builtin_sub_overflow(x, y, out);
  }
  int64_t scale = f == lv_make_functor(HALF, 1) ? 4 : f == lv_make_functor(WORD, 1) || f == lv_make_functor(ITOY, 1) ? 8 : 0;
  if (scale == 0 || !lv_jit_eval_size_expr(args[0], &x) || __builtin_mul_overflow(x, scale, out)) return 0;
  return f != lv_make_functor(ITOY, 1) || !__builtin_add_overflow(*out, 16, out);
}

int lv_jit_condition(lv_term atom) {
  switch (atom) {
    case E: return 4;
    case NE: return 5;
    case L: return 12;
    case LE: return 14;
    case G: return 15;
    case GE: return 13;
    case LU: return 2;
    case LEU: return 6;
    case GU: return 7;
    case GEU: return 3;
    default: return -1;
  }
}

lv_jit_operand lv_jit_decode_operand(lv_jit_asm* a, lv_term t) {
  t = lv_deref(t);
  int64_t v;
  if (lv_jit_eval_size_expr(t, &v)) return immediate(v);
  if (lv_is_atom(t)) {
    if (t == NIL) return immediate(static_cast<int64_t>(LV_ATOM_NIL));
    if (t == X0) return reg(R12);
    if (t == ARG0) return reg(RAX);
    if (t == ARG1) return reg(R10);
    if (t == ARG2) return reg(R11);
    if (t == TR) return reg(R9);
    if (t == AB) return mem(R8, CP_LOCAL_TOP);
    if (t == HB) return mem(R8, CP_H);
    if (t == AC0) return mem(RSP, FRAME_AC0);
    if (t == AC1) return mem(RSP, FRAME_AC1);
    int base = base_register(t);
    if (base >= 0) return reg(base);
    int64_t word = context_word(t);
    if (word >= 0) return mem(RBX, word);
    return failed(a);
  }
  const lv_term* args;
  lv_term f = functor_of(t, &args);
  if (f == 0) return failed(a);
  lv_term name = lv_functor_atom(f);
  unsigned arity = lv_functor_arity(f);
  if (arity == 1) {
    int base = base_register(name);
    if (base >= 0) return memory_operand(a, base, args[0]);
    if (name == X) {
      if (!lv_jit_eval_size_expr(args[0], &v) || v < 0 || v >= LV_X_REGISTERS) return failed(a);
      return v < 4 ? reg(R12 + static_cast<int>(v)) : mem(RBX, W_X + 8 * v);
    }
    if (name == Y) {
      if (!lv_jit_eval_size_expr(args[0], &v) || v < 0 || v > (INT32_MAX - 16) / 8) return failed(a);
      return mem(RDI, 8 * v + 16);
    }
    if (name == GPR || name == FPR) {
      if (!small_arg(args[0], &v) || v < 0 || v >= (name == GPR ? 16 : XMM_REGISTERS)) return failed(a);
      return {name == GPR ? LV_OPERAND_REGISTER : LV_OPERAND_XMM, static_cast<int32_t>(v), 0};
    }
    if (name == CONSTANT) {
      // Only atomic words: a word pointing into the stacks would not stay
      // valid in code.
      lv_term c = lv_deref(args[0]);
      if (!lv_is_atomic(c)) return failed(a);
      return immediate(static_cast<int64_t>(c));
    }
    if (name == LABEL) return label_address(a, args[0]);
    if (name == KERNEL) return glue_address(a, args[0]);
  }
  if (f == lv_make_functor(FUNCTOR, 2)) {
    lv_term atom = lv_deref(args[0]);
    if (!lv_is_atom(atom) || !small_arg(args[1], &v) || v < 0 || v > 255) return failed(a);
    return immediate(static_cast<int64_t>(lv_make_functor(atom, static_cast<unsigned>(v))));
  }
  return failed(a);
}

lv_jit_operand lv_jit_decode_target(lv_jit_asm* a, lv_term t) {
  t = lv_deref(t);
  int64_t v;
  if (lv_is_small(t) || (lv_is_struct(t) && lv_struct_cells(t)[0] == LV_BOX_INT1)) {
    lv_jit_eval_size_expr(t, &v);
    return immediate(v);
  }
  if (t == FCP) return mem(RBX, W_FCP);
  const lv_term* args;
  lv_term f = functor_of(t, &args);
  if (f == lv_make_functor(KERNEL, 1)) return glue_address(a, args[0]);
  if (f == lv_make_functor(LABEL, 1)) return label_address(a, args[0]);
  if (f == lv_make_functor(CP, 1)) return memory_operand(a, RCX, args[0]);
  if (f == lv_make_functor(PROCEDURE, 1) || f == lv_make_functor(NATIVE_ENTRY, 1)) {
    uint64_t record = predicate_record(a, args[0]);
    if (record == 0) return failed(a);
    if (f == lv_make_functor(PROCEDURE, 1)) return immediate(static_cast<int64_t>(record));
    return immediate(static_cast<int64_t>(record + PRED_STUB), LV_IMMEDIATE_STUB);
  }
  return failed(a);
}
