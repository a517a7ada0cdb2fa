// Fatal faults: they end in the abort record registered by the C-interface
// entry, or, when there is none, end the process with a message.
#pragma once

#include <csetjmp>
#include <cstdint>

#include "lorvika.h"

// A jump record (lv_jump_record, lorvika.h): a type word, a pointer to the
// record itself and, 16 bytes in, the C jump buffer. Abort records and the
// emulator's recovery records have this form.
static_assert(__builtin_offsetof(lv_jump_record, buffer) == 16);

// Registers the abort record (null clears it).
void lv_set_abort_env(lv_jump_record* record);
lv_jump_record* lv_get_abort_env();

// Jumps to the record's buffer with the status.
[[noreturn]] void lv_longjmp_(lv_jump_record* record, int status);

// The jump-buffer fix-up mode: 2 when bit 0 of the boot flags is set, else 1
// (also 1 when LV_NO_JMP_BUF_FIXUP is yes); 0 after shutdown. Buffers need
// no fix-up on this platform; the mode is kept for those who ask for it.
void lv_jmpbuf_fixup_init(uint32_t boot_flags);
void lv_jmpbuf_fixup_off();
int lv_jmpbuf_fixup_mode();

// A fatal fault. With an engine context and an abort record: makes the
// message the pending error (code -1, culprit []), unregisters the record and
// jumps to it with status 3. Otherwise prints "\n! <message>\n" on the
// standard error stream and ends the process with exit code -1.
[[noreturn]] void LV_raise_fault(const char* message);

// Out of memory: records the category as the memory manager's culprit; with
// an abort record registered, or outside every protected emulator run, raises
// the fault "Resource error: insufficient memory"; otherwise unwinds to the
// run with code -2. The message is not used.
[[noreturn]] void lv_memory_fault(const char* message, int32_t category);
[[noreturn]] void lv_resource_fault(const char* message, int32_t category);

// Ends the process with the status.
[[noreturn]] void lv_exitmsg(int status);
