// Instruction terms to x86-64 machine code: the state an assembly keeps
// (code block, cursor, labels, trampolines), the decoded operand, and the
// emitters that write one instruction term at the cursor.
//
// Operand grammar, register names (the native register convention: rbx the
// engine context, r8 B, rsi H, r9 TR, rdi E, rcx CP, rbp the local top,
// r12-r15 X0-X3, rax/r10/r11 the glue arguments, rdx S, rsp the native
// frame) and the encodings are those of the instruction vocabulary; every
// encoding is the one GNU as gives for the same instruction, and the
// emitters choose the shortest forms. Emitters use rax, r11 (and rdx where
// a memory operand's base is rax or r8) as scratch registers and may change
// the flags where the instruction does not define them.
#pragma once

#include <cstdint>

#include "core/term.h"

struct lv_module;

// A decoded operand.
enum : int32_t {
  LV_OPERAND_IMMEDIATE = 0,
  LV_OPERAND_REGISTER = 1,  // a general register: rax 0 ... r15 15
  LV_OPERAND_XMM = 2,
  LV_OPERAND_MEMORY = 3,    // base register + displacement
};
// Sub-kinds of an immediate.
enum : int32_t {
  LV_IMMEDIATE_VALUE = 1,
  LV_IMMEDIATE_LABEL = 2,   // a label's address
  LV_IMMEDIATE_GLUE = 3,    // a glue routine's address
  LV_IMMEDIATE_STUB = 4,    // a predicate's native entry stub (its record + 24)
};
struct lv_jit_operand {
  int32_t kind;
  int32_t reg;    // the register number, or for an immediate its sub-kind
  int64_t value;  // the immediate, or a memory operand's displacement
};
inline bool lv_jit_operands_equal(const lv_jit_operand& a, const lv_jit_operand& b) {
  return a.kind == b.kind && a.reg == b.reg &&
         (a.value == b.value || (a.kind != LV_OPERAND_IMMEDIATE && a.kind != LV_OPERAND_MEMORY));
}

// The state of one assembly. The driver owns the tables and sets the code
// block, the labels and the trampoline table; it resets cursor and the
// per-pass counts at the start of each pass and short_jumps and the flags
// before each instruction.
struct lv_jit_asm {
  uint8_t* block;            // the code block
  uint8_t* block_end;        // its end: nothing is written at or beyond it
  uint8_t* begin;            // the first assembled byte: block rounded down to 16, + 24
  uint8_t* cursor;           // where the next instruction goes
  uint64_t* labels;          // label addresses
  int64_t label_count;
  uint64_t* trampoline_targets;
  int64_t trampoline_capacity;
  int64_t trampolines_requested;  // distinct targets requested in this pass
  int64_t trampolines_emitted;    // written by the trampolines term in this pass
  int64_t trampolines_label;      // the label just before the trampolines term, or -1
  lv_module* module;         // the module of the predicate being assembled, or null
  bool short_jumps;          // the instruction may use a 2-byte jump form
  bool label_dependent;      // set: the bytes depend on labels, trampolines or the position
  bool label_moved;          // set by a label term whose address changed
  bool error;                // set: the instruction cannot be encoded
};

// The native code start of a block: where native callers enter.
inline uint8_t* lv_jit_code_start(const lv_jit_asm* a) { return a->begin + 8; }

// Decoding (the error flag is set for a term outside the grammar).
lv_jit_operand lv_jit_decode_operand(lv_jit_asm* a, lv_term t);
lv_jit_operand lv_jit_decode_target(lv_jit_asm* a, lv_term t);
// A size expression: 1 with *out set, 0 when t is none.
int lv_jit_eval_size_expr(lv_term t, int64_t* out);
// The x86 condition code a condition atom names, or -1.
int lv_jit_condition(lv_term atom);

// Encodes one instruction term at the cursor and advances it. Comments and
// other terms without bytes write nothing.
void lv_jit_emit(lv_jit_asm* a, lv_term insn);

// Encodes the instruction named by the atom (move, dmove, cmove, init,
// cp2int, int2cp, add, sub, and, or, xor, sh, addo, subo, mulo, cmps, cmpu,
// test, jump, branch, call, plcall, ccall, pop, half, word, align or label)
// from operands already decoded, in the term's argument order. A condition
// is an immediate holding its code; the targets of the control transfers
// and of word are decoded as targets.
void lv_jit_emit_operands(lv_jit_asm* a, lv_term name, int count, const lv_jit_operand* operands);

// The address of the jump of the trampoline for target (one per distinct
// target in a pass), or 0 with the error flag set when the table is full or
// no trampolines label is known.
uint64_t lv_jit_trampoline(lv_jit_asm* a, uint64_t target);
