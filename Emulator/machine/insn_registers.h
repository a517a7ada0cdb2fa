// Which argument registers each instruction reads and writes: the table the
// live-register analysis runs on.
//
// Every instruction has a step string, its register effects in execution
// order, two characters a step (a letter, then an operand index counted
// without the Q alignment word, or '-'):
//   rK  reads the X operand K            wK  writes the X operand K
//   Rd  reads the fixed register Xd      Wd  writes the fixed register Xd
//   lK  the register-load list K writes X(a) .. X(a+m-1)
//   gK  the register-save list K reads the X register of each pair
//   cK  a call of the predicate operand K: reads X0 .. X(arity-1)
//   nK  reads X0 .. X(N-1), N the count operand K (call/N, foreign frame)
//   sK  reads the register numbered by the immediate K (UNSPILL)
//   SK  writes the register numbered by the immediate K (SPILL)
//   bK  may continue at the failure continuation K
//   k-  clobbers every register: nothing after it reads what it held
//   t-  TRY: saves the registers its record sizes (an odd count first sets
//       the register past them), then continues at the record's target
//   a-  reads the registers the alternative record ending in this word saves
//       (RETRY_INSTANCE), then clobbers
//   A-  reads the registers saved by the call stub whose code this is
//       (RETRY_C), then clobbers
//   K-  reads X0 .. X(n-1), n by the frame-size word of the KONTINUE stub,
//       then clobbers
//   p-  reads the arguments of the engine's called predicate, then clobbers
// Registers above 255 are the overflow registers beyond the context.
#pragma once

#include <cstdint>

#include "machine/instructions.h"

struct lv_worker;

// The step string of an instruction ("" for none); null past the set.
const char* lv_insn_register_steps(lv_insn n);

// One concrete register effect of an instruction at a code address.
enum lv_reg_effect_kind : uint8_t {
  LV_REG_READ,       // reads registers first .. first + count - 1
  LV_REG_WRITE,      // writes registers first .. first + count - 1
  LV_REG_READ_LIST,  // reads the X operands at, at + stride, ... (count of them)
  LV_REG_CLOBBER,    // every register loses its value; nothing after it reads one
  LV_REG_BRANCH,     // execution may continue at target
};

struct lv_reg_effect {
  lv_reg_effect_kind kind;
  uint32_t first;
  uint32_t count;
  uint32_t stride;
  const uint32_t* at;  // READ_LIST: the first X operand word; BRANCH: the target
};

constexpr unsigned LV_REG_MAX_EFFECTS = 6;

// The register effects of the instruction (or internal entry header) at p,
// in execution order; returns their number. A word that is no instruction
// gives one CLOBBER: nothing beyond it is taken to read a register. The
// worker (may be null) names the called predicate for SWITCH_ON_PRED.
unsigned lv_insn_register_effects(const lv_worker* w, const uint32_t* p, lv_reg_effect out[LV_REG_MAX_EFFECTS]);

// The register an X operand word names, or -1 when the word is no X operand.
inline int64_t lv_x_register_of(uint32_t operand) {
  if (operand < 320 || (operand & 7) != 0) return -1;
  return (operand - 320) / 8;
}
