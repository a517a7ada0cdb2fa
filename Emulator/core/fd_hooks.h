// The hooks through which the constraint solver follows the engine: an event
// hook (called by the collector and the stack shifter, and on reset and
// wake-ups) and a hook that frees indexical definitions.
#pragma once

#include <cstdint>

#include "core/worker.h"

typedef int64_t (*lv_fd_event_hook)(void* data, lv_worker* w, int64_t event, int64_t argument);
typedef void (*lv_fd_free_hook)(void* data, uint64_t* word);

// Event codes passed to the event hook.
enum : int64_t {
  LV_FD_EVENT_RELOCATED = 1,  // argument: the heap delta
  LV_FD_EVENT_MARK = 2,       // before the roots are marked
  LV_FD_EVENT_OVERFLOW = 5,   // start of a heap overflow, and trimming
  LV_FD_EVENT_RELEASE = 7,    // argument: a '$free' handle from the cleanup chain;
                              // the hook answers 1 when it freed a block of its own
};

// With install set, installs the data and both hooks; with it clear
// removes all three. Returns 1.
int LV_install_fd_hooks(void* data, lv_fd_event_hook event_hook, lv_fd_free_hook free_hook, int install);
int64_t lv_call_fd_hook(int64_t event, int64_t argument);
// Replaces the event hook and returns the one it replaces (a saved-state
// restore sets it aside while the program is replaced, then puts it back).
lv_fd_event_hook lv_swap_fd_event_hook(lv_fd_event_hook hook);
void lv_call_fd_free_hook(uint64_t* word);
