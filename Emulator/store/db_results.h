// Terms kept across backtracking: the stored exception and the setof roots
// (the solutions bagof and setof collect, chained per root).
#pragma once

#include "core/stored_block.h"
#include "core/worker.h"

// The stored exception copied onto the heap, or 0 when there is none.
lv_term lv_decode_pending_db_node(lv_worker* w);
// Frees the stored exception.
void lv_db_free_pending_node();

// Start-up: the setof root list is empty; the engine reset frees every
// root with its blocks.
void lv_db_reset_release_list();
void lv_db_free_released();

// Visits the atoms of the stored exception and of the setof roots' blocks.
void lv_db_mark_other_blocks(void (*visit)(lv_term word));

int prolog_store_exception(lv_worker* w);       // (Term)
int prolog_load_exception(lv_worker* w);        // (Term)
int prolog_erase_exception(lv_worker* w);       // ()
int prolog_add_setof_root(lv_worker* w);        // (Root)
int prolog_setof_inserta(lv_worker* w);         // (Root, Term, _)
int prolog_setof_list_instances(lv_worker* w);  // (Root, List, Tail)
int prolog_term_ref(lv_worker* w);              // (I, T)
