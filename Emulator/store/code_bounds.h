// The bounds the emulator trusts in compiled code, checked in code that is
// read from outside (quick-load files, saved states) before it is used.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>

#include "core/worker.h"
#include "machine/insn_walk.h"

// Permanent variables a frame may have: a frame is written above the local
// top before the call that makes it current checks the local stack, so it
// must fit the local reserve with its two link words.
constexpr uint64_t LV_CODE_MAX_Y = LV_LOCAL_RESERVE_CELLS - 2;

// Instructions that compiled code read from a file may not hold: the
// foreign-call family and native code (they carry C addresses), the fixed
// stubs' instructions, a bare TRY.
bool lv_insn_refused_when_loaded(uint32_t number);

// An argument register operand (320 + 8n, n < 256), a permanent variable
// operand and an environment size the emulator's frames can take.
bool lv_code_x_valid(uint64_t operand);
bool lv_code_y_valid(uint64_t operand);
bool lv_code_frame_valid(uint64_t operand);

// The bounds of a count (N) or an immediate (I) operand of an instruction
// that the emulator trusts, in a block of the given code words; false for
// an operand it takes as it is. what names the operand in messages.
bool lv_code_operand_bounds(lv_insn insn, char kind, uint64_t block_words, int64_t* low, int64_t* high,
                            const char** what);

// A register-load list (R) or register-save list (G) whose registers and
// variables are all in range.
bool lv_code_register_list_valid(const lv_operand& operand);

// The message of a check of a block's code that refused the word at: the
// formatted reason, "at code word N of a block". Returns false.
bool lv_code_vrefuse(char* message, size_t size, uint64_t at, const char* format, va_list args);
