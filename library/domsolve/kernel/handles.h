// C blocks tied to a propagator's life. A propagator's block is reachable
// from Prolog through its handle, the list cell [Status | '$free'(Address)]:
// Status is unbound while the block lives, 0 once it is destroyed, 1 once
// the propagator is dead but a choicepoint older than the handle may revive
// it; Address (+3, so that it reads as a small integer) is the block's. Every
// handle is pushed on the handle list (term-reference slot 6), which the
// engine walks when backtracking or cutting past the choicepoints marked for
// it. The first word of a block is its destroy callback.
#pragma once

#include <cstddef>
#include <cstdint>

#include "kernel/runtime.h"

struct fd_propagator_block {
  void (*destroy)(void* block);
  // the propagator's own data follows
};

// A new block of size bytes, its handle bound to the unbound variable slot
// (kept in X register xreg while heap room is made) and pushed on the
// handle list. The caller stores the destroy callback.
void* fd_new_handle_block(const lv_foreign_env* env, size_t size, lv_term slot, int xreg);
void* fd_handle_pointer(lv_term handle);

// The propagator whose state term is given is dead: a block made after the
// newest choicepoint is destroyed now (Status 0); an older one is marked
// dead (Status 1, trailed) and the choicepoints are marked so that the
// engine frees it once nothing can revive it.
void fd_propagator_entailed_term(const lv_foreign_env* env, lv_term state);
// The same for the state term in argument i of term.
void fd_propagator_entailed(const lv_foreign_env* env, lv_term term, int i);
