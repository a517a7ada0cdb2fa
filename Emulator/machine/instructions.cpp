// The instruction tables.
#include "machine/instructions.h"

#include <cstring>

const char* const lv_instruction_name_table[LV_INSN_TABLE_SIZE] = {
#define LV_INSTRUCTION(number, name, format, flow) #name,
#include "machine/instructions.def"
#undef LV_INSTRUCTION
};

const int32_t lv_instruction_format_table[LV_INSN_TABLE_SIZE] = {
#define LV_INSTRUCTION(number, name, format, flow) format,
#include "machine/instructions.def"
#undef LV_INSTRUCTION
};

const int32_t lv_instruction_class_table[LV_INSN_TABLE_SIZE] = {
#define LV_INSTRUCTION(number, name, format, flow) flow,
#include "machine/instructions.def"
#undef LV_INSTRUCTION
};

const char* const lv_call_kind_name_table[LV_CALL_KIND_COUNT] = {
#define LV_CALL_KIND(number, name) #name,
#include "machine/call_kinds.def"
#undef LV_CALL_KIND
};

// Operands of each format in storage order after the opcode word.
const char* const lv_format_operands[LV_FORMAT_COUNT] = {
    "",      // 0
    "",      // 1-12: the two registers are implied
    "", "", "", "", "", "", "", "", "", "", "",
    "X",     // 13-16: GET_Xi_Xn
    "X", "X", "X",
    "X",     // 17-20: GET_Xn_Xi
    "X", "X", "X",
    "A",     // 21 RETRY_C
    "AS",    // 22 CALL_FOREIGN
    "P",     // 23 EXECUTE
    "RPS",   // 24 INITCALL
    "B",     // 25 GET_LARGE_X0
    "pA",    // 26 RETRY_CQ
    "pAS",   // 27 CALL_FOREIGNQ
    "pP",    // 28 EXECUTEQ
    "pRPS",  // 29 INITCALLQ
    "pB",    // 30 GET_LARGE_X0Q
    "pRPS",  // 31 FIRSTCALLQ
    "pRP",   // 32 LASTCALLQ
    "pRPS",  // 33 CALLQ
    "pF",    // 34 GET_STRUCTURE_X0Q
    "pNNPA", // 35 OPEN_FOREIGN_CALLQ
    "pI",    // 36 FIRST_CONSTANTQ ...
    "pIL",   // 37 EQUAL_TO_IMMQ ...
    "pL",    // 38 EQUAL_TOQ ...
    "pC",    // 39 GET_CONSTANT_X0Q ...
    "pXL",   // 40 ATOMQ ...
    "pXB",   // 41 PUT_LARGEQ
    "pXB",   // 42 GET_LARGEQ
    "pXF",   // 43 PUT_STRUCTUREQ
    "pXF",   // 44 GET_STRUCTUREQ
    "pXFXX", // 45 GET_STRUCTURE_XVAR_XVARQ
    "pXC",   // 46 PUT_CONSTANTQ
    "pXC",   // 47 GET_CONSTANTQ
    "pIX",   // 48 UNSPILLQ
    "pIX",   // 49 SPILLQ
    nullptr, // 50
    "pC",    // 51 GET_FACT_2Q
    "pCC",   // 52 GET_FACT_3Q
    "pCCC",  // 53 GET_FACT_4Q
    "RPS",   // 54 FIRSTCALL
    "RNS",   // 55 FIRSTCALL_CALL
    "RP",    // 56 LASTCALL
    "RPS",   // 57 CALL
    "RN",    // 58 LASTCALL_CALL
    "RNS",   // 59 CALL_CALL
    "R",     // 60 PUT_FIRST
    "R",     // 61 PUT
    "F",     // 62 GET_STRUCTURE_X0
    "RNS",   // 63 INITCALL_CALL
    "N",     // 64 UNIFY_VOID
    "NNPA",  // 65 OPEN_FOREIGN_CALL
    "NX",    // 66 U2_VOID_XVAR
    "NX",    // 67 U2_VOID_XVAL
    "I",     // 68 FIRST_CONSTANT ...
    "IL",    // 69 EQUAL_TO_IMM ...
    "L",     // 70 EQUAL_TO ...
    "N",     // 71 EXECUTE_CALL
    "N",     // 72 NOP: the next instruction starts N words after the operand
    "C",     // 73 GET_CONSTANT_X0 ...
    "X",     // 74 UNIFY_X_VARIABLE, STORE_X_VARIABLE
    "X",     // 75 PUT_X_VOID ...
    "X",     // 76 GET_NIL ...
    "XL",    // 77 ATOM ...
    "XB",    // 78 PUT_LARGE
    "XB",    // 79 GET_LARGE
    "XF",    // 80 PUT_STRUCTURE
    "XF",    // 81 GET_STRUCTURE
    "XFXX",  // 82 GET_STRUCTURE_XVAR_XVAR
    "XN",    // 83 U2_XVAR_VOID
    "XN",    // 84 U2_XVAL_VOID
    "XC",    // 85 PUT_CONSTANT
    "XC",    // 86 GET_CONSTANT
    "IX",    // 87 UNSPILL
    "IX",    // 88 SPILL
    "XX",    // 89 U2_XVAR_XVAR
    "XX",    // 90
    "XX",    // 91
    "XX",    // 92
    "XX",    // 93 PUT_X_VARIABLE
    "XX",    // 94 PUT_X_UNSAFE_VALUE
    "XX",    // 95 GET_X_VARIABLE
    "XX",    // 96 GET_X_VALUE
    nullptr, // 97
    "C",     // 98 GET_FACT_2
    "CC",    // 99 GET_FACT_3
    "CCC",   // 100 GET_FACT_4
    "XXX",   // 101 GET_LIST_XVAR_XVAR
    nullptr, // 102
    "XXX",   // 103 ARG, FUNCTOR, APPEND, COMPARE
    nullptr, // 104
    "XXXX",  // 105 GET_XVAR_XVAR
    "XY",    // 106 PUT_Y_VALUE, PUT_Y_UNSAFE_VALUE
    "XY",    // 107 PUT_Y_VARIABLE
    "XY",    // 108 PUT_Y_FIRST_VARIABLE
    "XY",    // 109 GET_Y_VALUE
    "XY",    // 110 GET_Y_VARIABLE
    "XY",    // 111 GET_Y_FIRST_VARIABLE
    "Y",     // 112
    "Y",     // 113
    "Y",     // 114 CHOICE_Y
    "Y",     // 115
    "Y",     // 116 CHOICE_YF
    "G",     // 117 GET
    "G",     // 118 GET_FIRST
    "A",     // 119 NATIVE_OP: walkers continue at A
};

namespace {

struct twin_table {
  lv_insn twin[LV_INSN_COUNT];
  bool is_q[LV_INSN_COUNT];
  twin_table() {
    for (uint32_t n = 0; n < LV_INSN_COUNT; n++) {
      twin[n] = static_cast<lv_insn>(n);
      is_q[n] = false;
    }
    for (uint32_t n = 0; n < LV_INSN_COUNT; n++) {
      const char* name = lv_instruction_name_table[n];
      size_t length = std::strlen(name);
      for (uint32_t m = 0; m < LV_INSN_COUNT; m++) {
        const char* other = lv_instruction_name_table[m];
        if (std::strlen(other) == length + 1 && other[length] == 'Q' && std::strncmp(name, other, length) == 0) {
          twin[n] = static_cast<lv_insn>(m);
          twin[m] = static_cast<lv_insn>(n);
          is_q[m] = true;
        }
      }
    }
  }
};

const twin_table& twins() {
  static const twin_table table;
  return table;
}

}  // namespace

lv_insn lv_insn_q_twin(lv_insn n) { return twins().twin[n]; }

bool lv_insn_is_q(lv_insn n) { return twins().is_q[n]; }
