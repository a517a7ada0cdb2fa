// The instruction set of the emulator and its tables.
//
// Code is a sequence of 32-bit words. Word 0 of an instruction is its opcode
// word, 2 x its instruction number (the emulator dispatches on opcode + 1
// while the accumulator holds an untagged integer). Operand words follow:
// 32-bit operands take one word, 64-bit operands two words on an 8-byte
// boundary. Every instruction with a 64-bit operand has a plain form and a Q
// form whose operands start with one alignment word.
#pragma once

#include <cstdint>

enum lv_insn : uint32_t {
#define LV_INSTRUCTION(number, name, format, operands, flow, twin) LV_OP_##name = number,
#include "machine/instructions.def"
#undef LV_INSTRUCTION
};

// One per row of the table.
constexpr uint32_t LV_INSN_COUNT = 0
#define LV_INSTRUCTION(number, name, format, operands, flow, twin) +1
#include "machine/instructions.def"
#undef LV_INSTRUCTION
    ;
constexpr uint32_t LV_INSN_TABLE_SIZE = 360;
static_assert(LV_INSN_COUNT <= LV_INSN_TABLE_SIZE);
constexpr uint32_t LV_FORMAT_COUNT = 120;

// The stored opcode word of an instruction.
constexpr uint32_t lv_opcode(lv_insn n) { return 2 * static_cast<uint32_t>(n); }

// The opcode position of an internal entry header (call kind ENTER_INTERNAL):
// no instruction. Walkers test for it before decoding.
constexpr uint32_t LV_INTERNAL_HEADER_WORD = 3;

extern const char* const lv_instruction_name_table[LV_INSN_TABLE_SIZE];
extern const int32_t lv_instruction_format_table[LV_INSN_TABLE_SIZE];
extern const int32_t lv_instruction_class_table[LV_INSN_TABLE_SIZE];

// Flow classes.
enum : int32_t {
  LV_FLOW_END = 0,      // no successor in straight-line code
  LV_FLOW_LEAVE = 1,    // leaves the clause (proceed, last call, jump)
  LV_FLOW_FIRST = 2,    // starts an arithmetic expression
  LV_FLOW_LATER = 3,    // loads the second operand of an expression
  LV_FLOW_MONOP = 4,    // unary operator on the accumulator
  LV_FLOW_BINOP = 5,    // binary operator on the accumulators
  LV_FLOW_STORE = 6,    // ends an expression: store or compare-and-branch
  LV_FLOW_ORDINARY = 7,
};

// Call kinds: the first word of a predicate record.
enum lv_call_kind : uint32_t {
#define LV_CALL_KIND(number, name) LV_KIND_##name = number,
#include "machine/call_kinds.def"
#undef LV_CALL_KIND
};
constexpr uint32_t LV_CALL_KIND_COUNT = 55;
// Calls dispatch on this base plus the kind.
constexpr uint32_t LV_CALL_KIND_DISPATCH = 712;

extern const char* const lv_call_kind_name_table[LV_CALL_KIND_COUNT];

// Operand kinds of the formats, as letters:
//   X argument register (320 + 8n)     Y permanent variable (16 + 8k)
//   S environment size (16 + 8n)       N 32-bit count or small integer
//   C tagged constant (64)             F functor word (64)
//   P predicate record address (64)    A code address (64)
//   L failure continuation (64)        I signed immediate (64)
//   B inline box: header and value words, 64 bits each, no trailer
//   R register-load list: header (low 8 bits first register, bits 8-31
//     count m), then m words
//   G register-save list: count m, then m pairs {X, Y}
//   p the alignment word of a Q form
// Formats 1-12 (GET_Xi_Xj) imply both registers. NOP's N counts the words
// after it that the next instruction skips; walkers continue NATIVE_OP at A.
// Null for a format code no instruction has. Built from the instruction rows.
extern const char* const (&lv_format_operands)[LV_FORMAT_COUNT];

inline bool lv_operand_is_wide(char kind) {
  return kind == 'C' || kind == 'F' || kind == 'P' || kind == 'A' || kind == 'L' || kind == 'I';
}

// Queries for readers of code from outside (quick-load files, saved states).
// A valid stored opcode word is even and names an instruction.
inline bool lv_opcode_valid(uint32_t word) { return (word & 1) == 0 && (word >> 1) < LV_INSN_COUNT; }
inline const char* lv_insn_name(uint32_t word) { return lv_instruction_name_table[word >> 1]; }
inline int32_t lv_insn_format(uint32_t word) { return lv_instruction_format_table[word >> 1]; }
inline bool lv_format_valid(int32_t format) {
  return format >= 0 && format < static_cast<int32_t>(LV_FORMAT_COUNT) && lv_format_operands[format] != nullptr;
}

// The Q form of a plain instruction (or the plain form of a Q one); the
// instruction itself when it has no twin.
lv_insn lv_insn_q_twin(lv_insn n);
bool lv_insn_is_q(lv_insn n);
