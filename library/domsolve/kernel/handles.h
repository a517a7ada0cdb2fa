// C blocks tied to a propagator's life. A propagator's block is reachable
// from Prolog through its handle, the list cell [Status | '$free'(Address)]:
// Status is unbound while the block lives, 0 once it is destroyed, 1 once
// the propagator is dead but a choicepoint older than the handle may revive
// it; Address (+3, so that it reads as a small integer) is the block's. Every
// handle is pushed on the handle list (term-reference slot 6), which is the
// engine's cleanup chain: a failure that passes a handle, or a cut that
// passes a dead one, hands it back to the solver (hook event 7), which
// destroys the block. Choicepoints that may revive a dead propagator are
// marked (bit 0 of their alternative word) so that a cut past them looks at
// the chain. The first word of a block is its destroy callback.
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

// Destroys a live block made by fd_new_handle_block: 1 done, 0 when the
// address is no live block of the solver (nothing is then touched).
int fd_release_block(const lv_foreign_env* env, void* block);
// The same for the argument of a handle's '$free'/1 term, as the engine
// hands it over when a failure or a cut passes the handle on the cleanup
// chain (the hook's event 7).
int fd_release_handle(const lv_foreign_env* env, lv_term handle);

// The propagator whose state term is given is dead: a block made after the
// newest choicepoint is destroyed now (Status 0); an older one is marked
// dead (Status 1, trailed) and the choicepoints are marked so that the
// engine frees it once nothing can revive it.
void fd_propagator_entailed_term(const lv_foreign_env* env, lv_term state);
// The same for the state term in argument i of term.
void fd_propagator_entailed(const lv_foreign_env* env, lv_term term, int i);
