// The flow check of clause code that comes from outside (quick-load files,
// saved states, $make_bytecode_object): beyond its operands, the emulator
// trusts the order of the instructions. The check follows every path
// through the clause (and through each clause of its internal predicates),
// all of them forward, and holds each instruction to what the emulator
// assumes when it runs it:
// - an argument register is read only once this clause has set it (the
//   arguments at the entry; none after a call);
// - a permanent variable is used only inside a frame this clause made, once
//   set, and within the frame size of the call before; at each call every
//   variable the frame size counts is set;
// - a frame is made once, completed by the first call, and left by the last
//   call or a progress (a proceed or jump leaves only a frame not completed);
// - an arithmetic instruction runs in an expression (the accumulators
//   loaded), structure arguments follow their structure or list cell in
//   their number, an _X0 test only starts the clause;
// - the heap cells built between a call (or a heap check) and the next stay
//   within the reserve the emulator keeps past the heap's limit;
// - no path runs off the block or into an internal entry header, and no
//   branch goes back.
// The block's instructions, headers and operands must have passed the
// reader's own checks.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/term.h"
#include "store/code_block.h"

// True when the clause in block, entered with arity argument registers,
// passes; else false with the reason in message.
bool lv_code_flow_check(const lv_code_block* block, unsigned arity, char* message, size_t size);

// True when the block holds a call of a C function (the foreign-call
// instructions, which carry C addresses). Only code made in memory holds
// them (the foreign-resource loader's stubs): the readers of files refuse
// them, and the flow check does not follow them.
bool lv_code_calls_c(const lv_code_block* block);

// True when the clause key bits and key given with a block agree with its
// first instruction: a clause starting with an _X0 test is entered through
// first-argument indexing, in the odd state through the chains of its key,
// so it must not join the chains of other keys.
bool lv_code_key_check(const lv_code_block* block, uint32_t bits, lv_term key, char* message, size_t size);
