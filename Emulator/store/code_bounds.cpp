// The bounds the emulator trusts in compiled code.
#include "store/code_bounds.h"

#include <cinttypes>
#include <cstdio>


namespace {

constexpr uint64_t MAX_FRAME_BYTES = 8 * LV_LOCAL_RESERVE_CELLS;
// Spilled registers live in the term-reference array above its top; 64K
// registers in all keep that array's growth far from its 32-bit capacity.
constexpr int64_t MAX_SPILLED_REGISTER = 65535;
// Heap cells one word of code can build at the most (UNIFY_VOID 255 in two
// words): a heap check asks for no more than its block can build, plus the
// reserve.
constexpr int64_t CELLS_PER_CODE_WORD = 128;
// Void counts stay within one structure of at most 255 arguments; call/N
// forms name 1 to 256 argument registers (the closure and the arguments
// added to it).
constexpr int64_t MAX_ARITY = 255;
constexpr int64_t MAX_CALL_N_REGISTERS = 256;

}  // namespace

bool lv_insn_refused_when_loaded(uint32_t n) {
  switch (n) {
    case LV_OP_NATIVE_OP: case LV_OP_KONTINUE: case LV_OP_SWITCH_ON_PRED: case LV_OP_EXIT_TOPLEVEL:
    case LV_OP_RETRY_INSTANCE: case LV_OP_RETRY_C: case LV_OP_RETRY_CQ: case LV_OP_RESTORE_OPERANDS_PROGRESS:
    case LV_OP_RESTORE_CALLER_PROGRESS: case LV_OP_TRY:
      return true;
    default:
      return n >= LV_OP_OPEN_FOREIGN_CALLQ && n <= LV_OP_RECEIVE_CODES;
  }
}

bool lv_code_x_valid(uint64_t v) { return v >= 320 && (v - 320) % 8 == 0 && (v - 320) / 8 < LV_X_REGISTERS; }
bool lv_code_y_valid(uint64_t v) { return v >= 16 && v % 8 == 0 && (v - 16) / 8 < LV_CODE_MAX_Y; }
bool lv_code_frame_valid(uint64_t v) { return v >= 16 && v % 8 == 0 && v <= MAX_FRAME_BYTES; }

bool lv_code_operand_bounds(lv_insn n, char kind, uint64_t block_words, int64_t* low, int64_t* high,
                            const char** what) {
  *what = "count";
  *low = 1;
  if (kind == 'N') {
    switch (n) {
      case LV_OP_UNIFY_VOID:
        *high = MAX_ARITY;
        return true;
      case LV_OP_U2_VOID_XVAR: case LV_OP_U2_VOID_XVAL: case LV_OP_U2_VOID_XLVAL:
      case LV_OP_U2_XVAR_VOID: case LV_OP_U2_XVAL_VOID: case LV_OP_U2_XLVAL_VOID:
        *high = MAX_ARITY - 1;
        return true;
      case LV_OP_EXECUTE_CALL: case LV_OP_FIRSTCALL_CALL: case LV_OP_LASTCALL_CALL:
      case LV_OP_CALL_CALL: case LV_OP_INITCALL_CALL:
        *high = MAX_CALL_N_REGISTERS;
        return true;
      default:
        return false;
    }
  }
  if (kind != 'I') return false;
  switch (n) {
    case LV_OP_SPILL: case LV_OP_SPILLQ: case LV_OP_UNSPILL: case LV_OP_UNSPILLQ:
      *what = "spilled register";
      *low = LV_X_REGISTERS;
      *high = MAX_SPILLED_REGISTER;
      return true;
    case LV_OP_CHECK_HEAP: case LV_OP_CHECK_HEAPQ:
      *what = "heap check";
      *low = 0;
      *high = CELLS_PER_CODE_WORD * static_cast<int64_t>(block_words) + LV_HEAP_RESERVE_CELLS;
      return true;
    default:
      return false;
  }
}

bool lv_code_register_list_valid(const lv_operand& o) {
  if (o.kind == 'R') {
    if (o.value + o.count > LV_X_REGISTERS) return false;
    for (uint32_t i = 1; i <= o.count; i++) {
      uint32_t e = o.at[i];
      if ((e & 3) != 3 && !lv_code_y_valid(e & ~3u)) return false;
    }
    return true;
  }
  if (o.kind == 'G') {
    for (uint32_t i = 0; i < o.count; i++)
      if (!lv_code_x_valid(o.at[1 + 2 * i]) || !lv_code_y_valid(o.at[2 + 2 * i])) return false;
    return true;
  }
  return false;
}

bool lv_code_vrefuse(char* message, size_t size, uint64_t at, const char* format, va_list args) {
  char what[256];
  std::vsnprintf(what, sizeof what, format, args);
  std::snprintf(message, size, "%s at code word %" PRIu64 " of a block", what, at);
  return false;
}
