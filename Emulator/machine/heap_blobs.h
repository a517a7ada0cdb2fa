// Saved boxes: a number that the emulator must keep across a call that may
// reuse the number stack or move the heap (an arithmetic operand handed to
// the evaluation handler) is saved off the stacks and restored later onto the
// number stack. Saved boxes form one chain, newest first.
#pragma once

#include "core/worker.h"

// Saves the box whose header is the word before value (header and value
// words; a trailer is not kept).
void lv_save_heap_blob(lv_worker* w, const lv_term* value);

// Moves the newest saved box onto the number stack (growing it as needed)
// and returns the address after its header; null when none is saved.
lv_term* lv_restore_newest_blob(lv_worker* w);

// Restores every saved box, newest first, leaving the chain empty (run when
// the engine is reinitialised).
void lv_restore_saved_blobs(lv_worker* w);
