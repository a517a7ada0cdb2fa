// Fatal faults: they end in the abort record registered by the C-interface
// entry, or, when there is none, end the process with a message.
#pragma once

#include <csetjmp>
#include <cstdint>

// A jump record: a type word, a pointer to the record itself and, 16 bytes
// in, the C jump buffer.
struct lv_jump_record {
  uint64_t type;
  lv_jump_record* self;
  jmp_buf buffer;
};
static_assert(__builtin_offsetof(lv_jump_record, buffer) == 16);

// Registers the abort record (null clears it).
void lv_set_abort_env(lv_jump_record* record);
lv_jump_record* lv_get_abort_env();

// Jumps to the record's buffer with the status.
[[noreturn]] void lv_longjmp_(lv_jump_record* record, int status);

// A fatal fault: jumps to the abort record with status 3 after unregistering
// it, or, with no abort record, prints "\n! <message>\n" on the standard error
// stream and ends the process with exit code -1.
[[noreturn]] void LV_raise_fault(const char* message);

// Out of memory: records the category as the memory manager's culprit and
// raises the fault "Resource error: insufficient memory". The message is
// not used.
[[noreturn]] void lv_memory_fault(const char* message, int32_t category);
[[noreturn]] void lv_resource_fault(const char* message, int32_t category);
