// The flow check of clause code from outside.
#include "store/code_flow.h"

#include <cinttypes>
#include <cstdarg>
#include <cstdio>

#include "core/memory.h"
#include "core/predefined_atoms.h"
#include "machine/insn_registers.h"
#include "machine/insn_walk.h"
#include "store/clause_list.h"
#include "store/code_bounds.h"
#include "store/static_code.h"
#include "store/try_record.h"

namespace {

constexpr uint32_t FLOW_FLAGS = lv_mem_flags(LV_CAT_MISC);
constexpr unsigned Y_WORDS = (LV_CODE_MAX_Y + 63) / 64;
// Heap cells a clause may build past its entry, a call or an event check
// (after which the heap top is below the limit) without a check of its own:
// half the reserve past the limit, since the code it returns to may build
// as much again before its next check.
constexpr int64_t HEAP_BUDGET = LV_HEAP_RESERVE_CELLS / 2;
// Overflow registers (above X255) a clause may keep spilled at once.
constexpr unsigned MAX_SPILLED = 8;

enum mode_kind : uint8_t {
  GOAL,    // between goals
  ARITH1,  // an expression with the first accumulator loaded
  ARITH2,  // and the second
  ARGS,    // arguments of a structure or list cell to come
};
enum frame_kind : uint8_t { NO_FRAME, FRAME_BUILT, FRAME_DONE };

struct flow_state {
  bool reached;
  bool entry;  // at the first instruction of the clause entered by its predicate
  uint8_t mode;
  uint8_t frame;
  uint32_t args;     // ARGS: argument cells left
  uint32_t y_limit;  // permanent variables the frame keeps
  int64_t heap;      // heap cells left to build
  uint64_t x[LV_X_REGISTERS / 64];
  uint64_t y[Y_WORDS];
  // Permanent variables made new unbound cells of the frame since the last
  // call: registers may hold references to them, so the next call must keep
  // them.
  uint64_t fresh[Y_WORDS];
  uint32_t spilled_count;
  uint64_t spilled[MAX_SPILLED];
};

struct pending_state {
  uint64_t at;
  flow_state state;
};

bool has(const uint64_t* bits, uint64_t i) { return ((bits[i / 64] >> (i % 64)) & 1) != 0; }
void put(uint64_t* bits, uint64_t i) { bits[i / 64] |= uint64_t{1} << (i % 64); }

struct checker {
  const uint32_t* code;
  uint64_t words;
  char* message;
  size_t size;
  uint64_t at;  // the instruction being checked
  pending_state* pending;
  uint64_t pending_count;
  uint64_t pending_capacity;

  bool fail(const char* format, ...) __attribute__((format(printf, 2, 3))) {
    va_list args;
    va_start(args, format);
    lv_code_vrefuse(message, size, at, format, args);
    va_end(args);
    return false;
  }

  uint64_t index_of(uint64_t address) const {
    return (address - reinterpret_cast<uint64_t>(code)) / 4;
  }
  bool inside(uint64_t address) const {
    auto start = reinterpret_cast<uint64_t>(code);
    return address >= start && address < start + 4 * words;
  }

  void add_pending(uint64_t target, const flow_state& s) {
    if (pending_count == pending_capacity) {
      uint64_t capacity = pending_capacity == 0 ? 8 : 2 * pending_capacity;
      pending = static_cast<pending_state*>(
          pending == nullptr ? lv_mem_alloc(capacity * sizeof(pending_state), FLOW_FLAGS)
                             : lv_mem_realloc(pending, pending_capacity * sizeof(pending_state),
                                              capacity * sizeof(pending_state), FLOW_FLAGS));
      pending_capacity = capacity;
    }
    pending[pending_count++] = {target, s};
  }
};

// The state where two paths meet. Both must agree on what the emulator
// keeps outside the registers: the mode, the frame.
bool join(checker& c, flow_state& into, const flow_state& from) {
  if (!from.reached) return true;
  if (!into.reached) {
    into = from;
    return true;
  }
  if (into.mode != from.mode || into.frame != from.frame || into.args != from.args)
    return c.fail("paths that meet in different states");
  for (unsigned i = 0; i < LV_X_REGISTERS / 64; i++) into.x[i] &= from.x[i];
  for (unsigned i = 0; i < Y_WORDS; i++) into.y[i] &= from.y[i];
  for (unsigned i = 0; i < Y_WORDS; i++) into.fresh[i] |= from.fresh[i];
  if (from.y_limit < into.y_limit) into.y_limit = from.y_limit;
  if (from.heap < into.heap) into.heap = from.heap;
  into.entry = false;
  uint32_t kept = 0;
  for (uint32_t i = 0; i < into.spilled_count; i++)
    for (uint32_t j = 0; j < from.spilled_count; j++)
      if (into.spilled[i] == from.spilled[j]) into.spilled[kept++] = into.spilled[i];
  into.spilled_count = kept;
  return true;
}

// A branch to the code at address (a failure continuation).
bool branch(checker& c, const flow_state& s, uint64_t address) {
  if (address == reinterpret_cast<uint64_t>(lv_fail_code) || address == reinterpret_cast<uint64_t>(lv_else_fail_code))
    return true;
  if (!c.inside(address) || c.index_of(address) <= c.at) return c.fail("a branch that goes back");
  if (c.code[c.index_of(address)] == lv_opcode(LV_OP_TRY)) return c.fail("a branch into a try record");
  c.add_pending(c.index_of(address), s);
  return true;
}

// ---- Registers ---------------------------------------------------------------

bool spilled(const flow_state& s, uint64_t r) {
  for (uint32_t i = 0; i < s.spilled_count; i++)
    if (s.spilled[i] == r) return true;
  return false;
}

// The argument register effects of the instruction at p (the table the
// live-register analysis runs on).
bool registers(checker& c, flow_state& s, const uint32_t* p) {
  lv_reg_effect effects[LV_REG_MAX_EFFECTS];
  unsigned n = lv_insn_register_effects(nullptr, p, effects);
  for (unsigned i = 0; i < n; i++) {
    const lv_reg_effect& e = effects[i];
    switch (e.kind) {
      case LV_REG_READ:
        for (uint64_t r = e.first; r < uint64_t{e.first} + e.count; r++) {
          bool set = r < LV_X_REGISTERS ? has(s.x, r) : spilled(s, r);
          if (!set) return c.fail("argument register %" PRIu64 " read before it is set", r);
        }
        break;
      case LV_REG_READ_LIST:
        for (uint32_t k = 0; k < e.count; k++) {
          int64_t r = lv_x_register_of(e.at[k * e.stride]);
          if (r < 0 || !has(s.x, static_cast<uint64_t>(r))) return c.fail("a register saved before it is set");
        }
        break;
      case LV_REG_WRITE:
        for (uint64_t r = e.first; r < uint64_t{e.first} + e.count; r++) {
          if (r < LV_X_REGISTERS) {
            put(s.x, r);
          } else if (!spilled(s, r)) {
            if (s.spilled_count == MAX_SPILLED) return c.fail("too many registers spilled");
            s.spilled[s.spilled_count++] = r;
          }
        }
        break;
      case LV_REG_CLOBBER:
        for (uint64_t& w : s.x) w = 0;
        s.spilled_count = 0;
        break;
      case LV_REG_BRANCH: break;  // failure continuations are followed by the instructions themselves
    }
  }
  return true;
}

// ---- Frames and permanent variables -------------------------------------------

uint64_t y_index(uint64_t operand) { return (operand - 16) / 8; }

bool allocate(checker& c, flow_state& s) {
  if (s.frame != NO_FRAME) return c.fail("a second frame");
  s.frame = FRAME_BUILT;
  s.y_limit = LV_CODE_MAX_Y;
  for (uint64_t& w : s.y) w = 0;
  for (uint64_t& w : s.fresh) w = 0;
  return true;
}

bool y_access(checker& c, const flow_state& s, uint64_t k) {
  if (s.frame == NO_FRAME) return c.fail("a permanent variable without a frame");
  if (k >= s.y_limit) return c.fail("permanent variable %" PRIu64 " past the frame kept", k);
  return true;
}
bool y_read(checker& c, const flow_state& s, uint64_t operand) {
  uint64_t k = y_index(operand);
  if (!y_access(c, s, k)) return false;
  return has(s.y, k) || c.fail("permanent variable %" PRIu64 " read before it is set", k);
}
bool y_write(checker& c, flow_state& s, uint64_t operand) {
  uint64_t k = y_index(operand);
  if (!y_access(c, s, k)) return false;
  put(s.y, k);
  return true;
}
// A permanent variable made a new unbound cell of the frame.
bool y_new(checker& c, flow_state& s, uint64_t operand) {
  if (!y_write(c, s, operand)) return false;
  put(s.fresh, y_index(operand));
  return true;
}

// A register-load list (R): values and unsafe values read permanent
// variables, new variables set them, voids take a heap cell.
bool load_list(checker& c, flow_state& s, const lv_operand& o) {
  for (uint32_t i = 1; i <= o.count; i++) {
    uint32_t word = o.at[i];
    switch (word & 3) {
      case 0:
        if (!y_read(c, s, word)) return false;
        break;
      case 1:
        if (!y_new(c, s, word - 1)) return false;
        break;
      case 2:
        if (!y_read(c, s, word - 2)) return false;
        s.heap--;
        break;
      default: s.heap--; break;
    }
  }
  return true;
}

// A register-save list (G): pairs {X, Y}, the Y set.
bool save_list(checker& c, flow_state& s, const lv_operand& o) {
  for (uint32_t i = 0; i < o.count; i++)
    if (!y_write(c, s, o.at[2 + 2 * i])) return false;
  return true;
}

// A call with a frame of size bytes: the frame's variables are set (the
// collector reads them); afterwards no register is, the frame keeps as many
// variables, and the heap is below its limit.
bool call_with_frame(checker& c, flow_state& s, uint64_t size) {
  uint64_t kept = (size - 16) / 8;
  for (uint64_t k = 0; k < kept; k++)
    if (!has(s.y, k)) return c.fail("permanent variable %" PRIu64 " not set at a call that keeps it", k);
  // A new variable the call trims away would leave the callee a reference
  // into the frame cells it reuses.
  for (uint64_t k = kept; k < LV_CODE_MAX_Y; k++)
    if (has(s.fresh, k)) return c.fail("new permanent variable %" PRIu64 " past the frame kept by the call", k);
  for (uint64_t& w : s.fresh) w = 0;
  if (kept < s.y_limit) s.y_limit = static_cast<uint32_t>(kept);
  s.heap = HEAP_BUDGET;
  return true;
}

// Leaving the clause: a proceed or jump with no frame completed, a progress
// or last call with one. A last call must not hand on a new variable of
// the frame it takes away.
bool leave(checker& c, flow_state& s, bool deallocates) {
  if (deallocates && s.frame != FRAME_DONE) return c.fail("a frame left that was not completed");
  for (uint64_t k = 0; deallocates && k < LV_CODE_MAX_Y; k++)
    if (has(s.fresh, k)) return c.fail("new permanent variable %" PRIu64 " past the frame kept by the call", k);
  if (!deallocates && s.frame == FRAME_DONE) return c.fail("a completed frame left in place");
  s.reached = false;
  return true;
}

// ---- Structure arguments --------------------------------------------------------

uint32_t functor_arity(uint64_t word) { return lv_functor_arity(static_cast<lv_term>(word)); }

bool start_args(checker& c, flow_state& s, uint32_t n) {
  if (n == 0) return c.fail("a structure without arguments");
  s.mode = ARGS;
  s.args = n;
  return true;
}

// n argument cells of the structure or list cell under way.
bool take_args(checker& c, flow_state& s, uint64_t n) {
  if (s.mode != ARGS) return c.fail("a structure argument outside a structure");
  if (n > s.args) return c.fail("more arguments than the structure has");
  s.args -= static_cast<uint32_t>(n);
  if (s.args == 0) s.mode = GOAL;
  return true;
}
// The last argument cell.
bool take_last(checker& c, flow_state& s) {
  if (s.mode != ARGS || s.args != 1) return c.fail("an instruction for the last argument elsewhere");
  return take_args(c, s, 1);
}

uint64_t box_cells(const lv_operand& o) { return uint64_t{o.count} + 2; }

// ---- One instruction ------------------------------------------------------------

bool need(checker& c, const flow_state& s, uint8_t mode) {
  if (s.mode == mode) return true;
  switch (mode) {
    case GOAL:
      return c.fail(s.mode == ARGS ? "an instruction among structure arguments"
                                   : "an instruction inside an arithmetic expression");
    case ARITH1: return c.fail("an arithmetic instruction outside an expression with one operand");
    case ARITH2: return c.fail("an arithmetic instruction outside an expression with two operands");
    default: return c.fail("a structure argument outside a structure");
  }
}

bool step(checker& c, flow_state& s, const uint32_t* p) {
  lv_decoded_insn d;
  lv_insn_decode(p, &d);
  const lv_operand* o = d.operands;
  bool first = s.entry;
  s.entry = false;
  if (!registers(c, s, p)) return false;
  switch (d.number) {
    // Register moves and head matching.
    case LV_OP_GET_X0_X1: case LV_OP_GET_X0_X2: case LV_OP_GET_X0_X3: case LV_OP_GET_X0_Xn:
    case LV_OP_GET_X1_X0: case LV_OP_GET_X1_X2: case LV_OP_GET_X1_X3: case LV_OP_GET_X1_Xn:
    case LV_OP_GET_X2_X0: case LV_OP_GET_X2_X1: case LV_OP_GET_X2_X3: case LV_OP_GET_X2_Xn:
    case LV_OP_GET_X3_X0: case LV_OP_GET_X3_X1: case LV_OP_GET_X3_X2: case LV_OP_GET_X3_Xn:
    case LV_OP_GET_Xn_X0: case LV_OP_GET_Xn_X1: case LV_OP_GET_Xn_X2: case LV_OP_GET_Xn_X3:
    case LV_OP_GET_X_VARIABLE: case LV_OP_GET_XVAR_XVAR: case LV_OP_GET_X_VALUE:
    case LV_OP_GET_CONSTANTQ: case LV_OP_GET_CONSTANT: case LV_OP_GET_NIL:
    case LV_OP_PUT_CONSTANTQ: case LV_OP_PUT_CONSTANT: case LV_OP_PUT_NIL:
    case LV_OP_CHOICE_X: case LV_OP_CUTB_X: case LV_OP_CUTB: case LV_OP_SPILLQ: case LV_OP_SPILL:
    case LV_OP_UNSPILLQ: case LV_OP_UNSPILL:
      return need(c, s, GOAL);
    case LV_OP_GET_X_VALUE_PROCEED: case LV_OP_GET_FACT_2Q: case LV_OP_GET_FACT_2: case LV_OP_GET_FACT_3Q:
    case LV_OP_GET_FACT_3: case LV_OP_GET_FACT_4Q: case LV_OP_GET_FACT_4: case LV_OP_CUTB_X_PROCEED:
    case LV_OP_CUTB_PROCEED: case LV_OP_PROCEED:
      return need(c, s, GOAL) && leave(c, s, false);
    case LV_OP_PUT_Y_FIRST_VARIABLE:
      return need(c, s, GOAL) && allocate(c, s) && y_new(c, s, o[1].value);
    case LV_OP_GET_Y_FIRST_VARIABLE: case LV_OP_CHOICE_YF:
      if (!need(c, s, GOAL) || !allocate(c, s)) return false;
      return y_write(c, s, o[d.number == LV_OP_CHOICE_YF ? 0 : 1].value);
    case LV_OP_PUT_Y_VARIABLE:
      return need(c, s, GOAL) && y_new(c, s, o[1].value);
    case LV_OP_GET_Y_VARIABLE: case LV_OP_GET_Y_UNSAFE_VARIABLE:
      return need(c, s, GOAL) && y_write(c, s, o[1].value);
    case LV_OP_CHOICE_Y:
      return need(c, s, GOAL) && y_write(c, s, o[0].value);
    case LV_OP_GET_Y_VALUE: case LV_OP_PUT_Y_VALUE:
      return need(c, s, GOAL) && y_read(c, s, o[1].value);
    case LV_OP_PUT_Y_UNSAFE_VALUE:
      s.heap--;
      return need(c, s, GOAL) && y_read(c, s, o[1].value);
    case LV_OP_GET_Y_VALUE_PROGRESS:
      return need(c, s, GOAL) && y_read(c, s, o[1].value) && leave(c, s, true);
    case LV_OP_CUT_Y:
      return need(c, s, GOAL) && y_read(c, s, o[0].value);
    case LV_OP_CUT_Y_PROGRESS:
      return need(c, s, GOAL) && y_read(c, s, o[0].value) && leave(c, s, true);
    case LV_OP_GET_FIRST:
      return need(c, s, GOAL) && allocate(c, s) && save_list(c, s, o[0]);
    case LV_OP_GET:
      return need(c, s, GOAL) && save_list(c, s, o[0]);
    case LV_OP_PUT_FIRST:
      return need(c, s, GOAL) && allocate(c, s) && load_list(c, s, o[0]);
    case LV_OP_PUT:
      return need(c, s, GOAL) && load_list(c, s, o[0]);
    case LV_OP_PUT_X_VOID: case LV_OP_PUT_X_VARIABLE: case LV_OP_PUT_X_UNSAFE_VALUE:
      s.heap--;
      return need(c, s, GOAL);
    case LV_OP_GET_LARGEQ: case LV_OP_GET_LARGE: case LV_OP_PUT_LARGEQ: case LV_OP_PUT_LARGE:
      s.heap -= static_cast<int64_t>(box_cells(o[1]));
      return need(c, s, GOAL);

    // The first argument's test, where the index enters the clause.
    case LV_OP_GET_CONSTANT_X0Q: case LV_OP_GET_CONSTANT_X0: case LV_OP_GET_NIL_X0:
    case LV_OP_GET_LARGE_X0Q: case LV_OP_GET_LARGE_X0: case LV_OP_GET_LIST_X0:
    case LV_OP_GET_STRUCTURE_X0Q: case LV_OP_GET_STRUCTURE_X0:
      if (!first) return c.fail("%s not at the start of its clause", lv_instruction_name_table[d.number]);
      if (d.number == LV_OP_GET_LARGE_X0Q || d.number == LV_OP_GET_LARGE_X0) s.heap -= static_cast<int64_t>(box_cells(o[0]));
      if (d.number == LV_OP_GET_LIST_X0) {
        s.heap -= 2;
        return start_args(c, s, 2);
      }
      if (d.number == LV_OP_GET_STRUCTURE_X0Q || d.number == LV_OP_GET_STRUCTURE_X0) {
        s.heap -= 1 + functor_arity(o[0].value);
        return start_args(c, s, functor_arity(o[0].value));
      }
      return true;

    // Structures and list cells.
    case LV_OP_GET_STRUCTUREQ: case LV_OP_GET_STRUCTURE: case LV_OP_PUT_STRUCTUREQ: case LV_OP_PUT_STRUCTURE:
      s.heap -= 1 + functor_arity(o[1].value);
      return need(c, s, GOAL) && start_args(c, s, functor_arity(o[1].value));
    case LV_OP_GET_STRUCTURE_XVAR_XVARQ: case LV_OP_GET_STRUCTURE_XVAR_XVAR: {
      uint32_t n = functor_arity(o[1].value);
      s.heap -= 1 + n;
      if (!need(c, s, GOAL)) return false;
      if (n < 2) return c.fail("a structure with fewer arguments than its instruction takes");
      if (n > 2) return start_args(c, s, n - 2);
      return true;
    }
    case LV_OP_GET_LIST: case LV_OP_PUT_LIST:
      s.heap -= 2;
      return need(c, s, GOAL) && start_args(c, s, 2);
    case LV_OP_GET_LIST_XVAR_XVAR:
      s.heap -= 2;
      return need(c, s, GOAL);

    // Structure arguments.
    case LV_OP_UNIFY_VOID: return take_args(c, s, o[0].value);
    case LV_OP_UNIFY_VOID_1: return take_args(c, s, 1);
    case LV_OP_UNIFY_VOID_2: return take_args(c, s, 2);
    case LV_OP_UNIFY_VOID_3: return take_args(c, s, 3);
    case LV_OP_UNIFY_VOID_4: return take_args(c, s, 4);
    case LV_OP_UNIFY_X_VARIABLE: case LV_OP_UNIFY_X_VALUE: case LV_OP_UNIFY_CONSTANTQ: case LV_OP_UNIFY_CONSTANT:
    case LV_OP_UNIFY_NIL:
      return take_args(c, s, 1);
    case LV_OP_UNIFY_X_LOCAL_VALUE:
      s.heap--;
      return take_args(c, s, 1);
    case LV_OP_UNIFY_X_VALUE_PROCEED: case LV_OP_UNIFY_CONSTANT_PROCEEDQ: case LV_OP_UNIFY_CONSTANT_PROCEED:
    case LV_OP_UNIFY_NIL_PROCEED:
      return take_last(c, s) && leave(c, s, false);
    case LV_OP_UNIFY_X_LOCAL_VALUE_PROCEED:
      s.heap--;
      return take_last(c, s) && leave(c, s, false);
    case LV_OP_UNIFY_CONSTANT_PROGRESSQ: case LV_OP_UNIFY_CONSTANT_PROGRESS: case LV_OP_UNIFY_NIL_PROGRESS:
      return take_last(c, s) && leave(c, s, true);
    case LV_OP_UNIFY_Y_FIRST_VARIABLE:
      return take_args(c, s, 1) && allocate(c, s) && y_write(c, s, o[0].value);
    case LV_OP_UNIFY_Y_VARIABLE: case LV_OP_UNIFY_Y_UNSAFE_VARIABLE:
      return take_args(c, s, 1) && y_write(c, s, o[0].value);
    case LV_OP_UNIFY_Y_VALUE: return take_args(c, s, 1) && y_read(c, s, o[0].value);
    case LV_OP_UNIFY_Y_LOCAL_VALUE:
      s.heap--;
      return take_args(c, s, 1) && y_read(c, s, o[0].value);
    case LV_OP_UNIFY_Y_VALUE_PROGRESS:
      return y_read(c, s, o[0].value) && take_last(c, s) && leave(c, s, true);
    case LV_OP_UNIFY_Y_LOCAL_VALUE_PROGRESS:
      s.heap--;
      return y_read(c, s, o[0].value) && take_last(c, s) && leave(c, s, true);
    case LV_OP_UNIFY_STRUCTUREQ: case LV_OP_UNIFY_STRUCTURE:
      s.heap -= 1 + functor_arity(o[0].value);
      return take_last(c, s) && start_args(c, s, functor_arity(o[0].value));
    case LV_OP_UNIFY_LIST:
      s.heap -= 2;
      return take_last(c, s) && start_args(c, s, 2);
    case LV_OP_UNIFY_LARGEQ: case LV_OP_UNIFY_LARGE:
      s.heap -= static_cast<int64_t>(box_cells(o[0]));
      return take_last(c, s);
    case LV_OP_U2_VOID_XVAR: case LV_OP_U2_VOID_XVAL: case LV_OP_U2_VOID_XLVAL:
      s.heap -= d.number == LV_OP_U2_VOID_XLVAL;
      return take_args(c, s, o[0].value + 1);
    case LV_OP_U2_XVAR_VOID: case LV_OP_U2_XVAL_VOID: case LV_OP_U2_XLVAL_VOID:
      s.heap -= d.number == LV_OP_U2_XLVAL_VOID;
      return take_args(c, s, 1 + o[1].value);
    case LV_OP_U2_XVAR_XVAR: case LV_OP_U2_XVAR_XVAL: case LV_OP_U2_XVAL_XVAR: case LV_OP_U2_XVAL_XVAL:
      return take_args(c, s, 2);
    case LV_OP_U2_XVAR_XLVAL: case LV_OP_U2_XLVAL_XVAR: case LV_OP_U2_XLVAL_XVAL: case LV_OP_U2_XVAL_XLVAL:
      s.heap--;
      return take_args(c, s, 2);
    case LV_OP_U2_XLVAL_XLVAL:
      s.heap -= 2;
      return take_args(c, s, 2);

    // Calls and returns.
    case LV_OP_INITCALLQ: case LV_OP_INITCALL: case LV_OP_INITCALL_CALL:
      if (!need(c, s, GOAL) || !allocate(c, s) || !load_list(c, s, o[0])) return false;
      s.frame = FRAME_DONE;
      return call_with_frame(c, s, o[2].value);
    case LV_OP_FIRSTCALLQ: case LV_OP_FIRSTCALL: case LV_OP_FIRSTCALL_CALL:
      if (!need(c, s, GOAL)) return false;
      if (s.frame != FRAME_BUILT) return c.fail("a first call without a frame being built");
      if (!load_list(c, s, o[0])) return false;
      s.frame = FRAME_DONE;
      return call_with_frame(c, s, o[2].value);
    case LV_OP_CALLQ: case LV_OP_CALL: case LV_OP_CALL_CALL:
      if (!need(c, s, GOAL)) return false;
      if (s.frame != FRAME_DONE) return c.fail("a call without a completed frame");
      return load_list(c, s, o[0]) && call_with_frame(c, s, o[2].value);
    case LV_OP_LASTCALLQ: case LV_OP_LASTCALL: case LV_OP_LASTCALL_CALL:
      return need(c, s, GOAL) && (s.frame == FRAME_DONE || c.fail("a last call without a completed frame")) &&
             load_list(c, s, o[0]) && leave(c, s, true);
    case LV_OP_EXECUTEQ: case LV_OP_EXECUTE: case LV_OP_EXECUTE_CALL: case LV_OP_END_OF_CLAUSEQ:
    case LV_OP_END_OF_CLAUSE:
      return need(c, s, GOAL) && leave(c, s, false);
    case LV_OP_PROGRESS:
      return need(c, s, GOAL) && leave(c, s, true);
    case LV_OP_FAIL:
      s.reached = false;
      return need(c, s, GOAL);
    case LV_OP_CHECK_HEAPQ: case LV_OP_CHECK_HEAP: {
      if (!need(c, s, GOAL)) return false;
      int64_t budget = static_cast<int64_t>(o[0].value) + HEAP_BUDGET;
      if (s.heap < budget) s.heap = budget;
      return true;
    }
    case LV_OP_NOP: return true;

    // Tests and inline built-ins: an event check first, then the heap is
    // below its limit again.
    case LV_OP_ATOMQ: case LV_OP_ATOM: case LV_OP_ATOMICQ: case LV_OP_ATOMIC: case LV_OP_FLOATQ: case LV_OP_FLOAT:
    case LV_OP_INTEGERQ: case LV_OP_INTEGER: case LV_OP_NUMBERQ: case LV_OP_NUMBER: case LV_OP_VARQ: case LV_OP_VAR:
    case LV_OP_NONVARQ: case LV_OP_NONVAR: case LV_OP_SIMPLEQ: case LV_OP_SIMPLE: case LV_OP_COMPOUNDQ:
    case LV_OP_COMPOUND: case LV_OP_CALLABLEQ: case LV_OP_CALLABLE: case LV_OP_GROUNDQ: case LV_OP_GROUND:
    case LV_OP_MUTABLEQ: case LV_OP_MUTABLE: case LV_OP_DB_REFERENCEQ: case LV_OP_DB_REFERENCE:
      if (!need(c, s, GOAL)) return false;
      if (s.heap < HEAP_BUDGET) s.heap = HEAP_BUDGET;
      return branch(c, s, o[1].value);
    case LV_OP_ARG: case LV_OP_UNIV: case LV_OP_CREATE_MUTABLE: case LV_OP_GET_MUTABLE: case LV_OP_UPDATE_MUTABLE:
    case LV_OP_FUNCTOR: case LV_OP_APPEND: case LV_OP_LENGTH: case LV_OP_COMPARE:
      if (!need(c, s, GOAL)) return false;
      if (s.heap < HEAP_BUDGET) s.heap = HEAP_BUDGET;
      return true;

    // Arithmetic.
    case LV_OP_FIRST_CONSTANTQ: case LV_OP_FIRST_CONSTANT: case LV_OP_FIRST_LARGEQ: case LV_OP_FIRST_LARGE:
    case LV_OP_FIRST_X_VALUE: case LV_OP_FIRST_Y_VALUE: case LV_OP_ANOP_IF: case LV_OP_COMPAREOP:
      if (!need(c, s, GOAL)) return false;
      if (d.number == LV_OP_FIRST_Y_VALUE && !y_read(c, s, o[0].value)) return false;
      s.mode = ARITH1;
      return true;
    case LV_OP_ANOP_INF: case LV_OP_ANOP_NAN:
      s.reached = false;
      return need(c, s, GOAL);
    case LV_OP_LATER_CONSTANTQ: case LV_OP_LATER_CONSTANT: case LV_OP_LATER_LARGEQ: case LV_OP_LATER_LARGE:
    case LV_OP_LATER_X_VALUE: case LV_OP_LATER_Y_VALUE:
      if (!need(c, s, ARITH1)) return false;
      if (d.number == LV_OP_LATER_Y_VALUE && !y_read(c, s, o[0].value)) return false;
      s.mode = ARITH2;
      return true;
    case LV_OP_BINOP_SWAP: return need(c, s, ARITH2);
    case LV_OP_STORE_CONSTANTQ: case LV_OP_STORE_CONSTANT: case LV_OP_STORE_LARGEQ: case LV_OP_STORE_LARGE:
    case LV_OP_STORE_X_VARIABLE: case LV_OP_STORE_X_VALUE:
      if (!need(c, s, ARITH1)) return false;
      s.heap -= 3;
      s.mode = GOAL;
      return true;
    case LV_OP_STORE_Y_FIRST_VARIABLE:
      if (!need(c, s, ARITH1) || !allocate(c, s)) return false;
      s.heap -= 3;
      s.mode = GOAL;
      return y_write(c, s, o[0].value);
    case LV_OP_STORE_Y_VARIABLE: case LV_OP_STORE_Y_UNSAFE_VARIABLE:
      if (!need(c, s, ARITH1)) return false;
      s.heap -= 3;
      s.mode = GOAL;
      return y_write(c, s, o[0].value);
    case LV_OP_STORE_Y_VALUE:
      if (!need(c, s, ARITH1)) return false;
      s.heap -= 3;
      s.mode = GOAL;
      return y_read(c, s, o[0].value);
    case LV_OP_EQUAL_TOQ: case LV_OP_EQUAL_TO: case LV_OP_NOT_EQUAL_TOQ: case LV_OP_NOT_EQUAL_TO:
    case LV_OP_LESS_THANQ: case LV_OP_LESS_THAN: case LV_OP_NOT_LESS_THANQ: case LV_OP_NOT_LESS_THAN:
    case LV_OP_GREATER_THANQ: case LV_OP_GREATER_THAN: case LV_OP_NOT_GREATER_THANQ: case LV_OP_NOT_GREATER_THAN:
      if (!need(c, s, ARITH2)) return false;
      s.mode = GOAL;
      return branch(c, s, o[0].value);
    case LV_OP_EQUAL_TO_IMMQ: case LV_OP_EQUAL_TO_IMM: case LV_OP_NOT_EQUAL_TO_IMMQ: case LV_OP_NOT_EQUAL_TO_IMM:
    case LV_OP_LESS_THAN_IMMQ: case LV_OP_LESS_THAN_IMM: case LV_OP_NOT_LESS_THAN_IMMQ: case LV_OP_NOT_LESS_THAN_IMM:
    case LV_OP_GREATER_THAN_IMMQ: case LV_OP_GREATER_THAN_IMM: case LV_OP_NOT_GREATER_THAN_IMMQ:
    case LV_OP_NOT_GREATER_THAN_IMM:
      if (!need(c, s, ARITH1)) return false;
      s.mode = GOAL;
      return branch(c, s, o[1].value);
    default: break;
  }
  switch (lv_instruction_class_table[d.number]) {
    case LV_FLOW_MONOP: return need(c, s, ARITH1);
    case LV_FLOW_BINOP:
      if (d.operand_count > 0) return need(c, s, ARITH1);  // an immediate second operand
      if (!need(c, s, ARITH2)) return false;
      s.mode = ARITH1;
      return true;
    default: return c.fail("%s cannot be checked", lv_instruction_name_table[d.number]);
  }
}

// The states of the branches to p joined into s; they are taken off.
bool take_pending(checker& c, flow_state& s, uint64_t p) {
  for (uint64_t i = 0; i < c.pending_count;) {
    if (c.pending[i].at != p) {
      i++;
      continue;
    }
    if (!join(c, s, c.pending[i].state)) return false;
    c.pending[i] = c.pending[--c.pending_count];
  }
  return true;
}

// Every path from the instruction at start, entered with arity argument
// registers (main: by the predicate, where an _X0 test may stand).
bool check_entry(checker& c, uint64_t start, unsigned arity, bool main) {
  flow_state s{};
  s.reached = true;
  s.entry = main;
  s.mode = GOAL;
  s.frame = NO_FRAME;
  s.y_limit = LV_CODE_MAX_Y;
  s.heap = HEAP_BUDGET;
  for (unsigned r = 0; r < arity && r < LV_X_REGISTERS; r++) put(s.x, r);
  c.pending_count = 0;
  const uint32_t* end = c.code + c.words;
  for (uint64_t p = start; p < c.words;) {
    c.at = p;
    if (!take_pending(c, s, p)) return false;
    if (!s.reached && c.pending_count == 0) return true;
    uint64_t length = lv_insn_length_within(c.code + p, end);
    if (length == 0) return c.fail("a word that starts no instruction");
    if (c.code[p] == LV_INTERNAL_HEADER_WORD) {
      if (s.reached) return c.fail("a path that runs into an internal entry header");
    } else if (s.reached) {
      if (!step(c, s, c.code + p)) return false;
      if (s.reached && s.heap < 0) return c.fail("heap cells built past the reserve without a heap check");
    }
    p += length;
  }
  c.at = c.words;
  if (s.reached || c.pending_count != 0) return c.fail("a path that runs past the end of the block");
  return true;
}

}  // namespace

bool lv_code_flow_check(const lv_code_block* block, unsigned arity, char* message, size_t size) {
  checker c{};
  c.code = reinterpret_cast<const uint32_t*>(block + 1);
  c.words = (lv_code_block_size(block) - sizeof(lv_code_block)) / 4;
  c.message = message;
  c.size = size;
  bool ok = c.words > 0 && check_entry(c, 0, arity, true);
  if (c.words == 0) std::snprintf(message, size, "a block without code");
  // Each clause of each internal predicate of the block.
  const uint32_t* end = c.code + c.words;
  for (uint64_t p = 0; ok && p < c.words;) {
    uint64_t length = lv_insn_length_within(c.code + p, end);
    if (length == 0) break;
    if (c.code[p] == LV_INTERNAL_HEADER_WORD) {
      const auto* header = reinterpret_cast<const lv_internal_entry*>(c.code + p);
      if (header->first_entry == c.code + p + 8) {
        ok = check_entry(c, p + 8, header->arity, false);
      } else {
        for (uint64_t q = p + 8; ok && q < p + length; q += 8) {
          const auto* record = reinterpret_cast<const lv_try_record*>(c.code + q);
          c.at = q;
          auto target = reinterpret_cast<uint64_t>(record->target);
          ok = c.inside(target) ? check_entry(c, c.index_of(target), header->arity, false)
                                : c.fail("a try record aimed outside its block");
        }
      }
    }
    p += length;
  }
  if (c.pending != nullptr) lv_mem_free(c.pending, c.pending_capacity * sizeof(pending_state), FLOW_FLAGS);
  return ok;
}

bool lv_code_calls_c(const lv_code_block* block) {
  const uint32_t* code = reinterpret_cast<const uint32_t*>(block + 1);
  uint64_t words = (lv_code_block_size(block) - sizeof(lv_code_block)) / 4;
  for (uint64_t p = 0; p < words;) {
    uint64_t length = lv_insn_length_within(code + p, code + words);
    if (length == 0) return false;
    uint32_t n = code[p] >> 1;
    if (code[p] != LV_INTERNAL_HEADER_WORD && n >= LV_OP_OPEN_FOREIGN_CALLQ && n <= LV_OP_RECEIVE_CODES) return true;
    p += length;
  }
  return false;
}

bool lv_code_key_check(const lv_code_block* block, uint32_t bits, lv_term key, char* message, size_t size) {
  const uint32_t* code = reinterpret_cast<const uint32_t*>(block + 1);
  uint32_t n = code[0] >> 1;
  bool structure = n == LV_OP_GET_STRUCTURE_X0Q || n == LV_OP_GET_STRUCTURE_X0;
  bool list = n == LV_OP_GET_LIST_X0;
  bool test = structure || list || n == LV_OP_GET_CONSTANT_X0Q || n == LV_OP_GET_CONSTANT_X0 ||
              n == LV_OP_GET_NIL_X0 || n == LV_OP_GET_LARGE_X0Q || n == LV_OP_GET_LARGE_X0;
  if (!test) return true;
  const char* what = nullptr;
  // Without a key the predicate may stay unindexed, whose chain enters a
  // clause with any first argument.
  if ((bits & 31) == LV_KEY_NONE) what = "a clause tested by its first argument given no key";
  // The list chain enters with a list cell, the key chains with their key.
  else if (structure && (bits & LV_KEY_LIST) != 0) what = "a clause for a structure in the chain of lists";
  else if ((structure || list) && (bits & LV_KEY_KEYED) != 0 && key != lv_first_arg_key(block))
    what = "a clause in the chain of a key other than its own";
  if (what == nullptr) return true;
  std::snprintf(message, size, "%s (key bits %" PRIu32 ")", what, bits);
  return false;
}
