// What the saved-state writer and reader ask of the Prolog level, through
// queries that the embedding side runs (embed/state_services.cpp).
#pragma once

#include "core/termrefs.h"
#include "core/worker.h"

// The names that prolog:loaded_resource/1 yields, in order, each handed
// to visit. False when the query raised an exception or a solution is no
// atom; true (with no call) when the predicate is not defined or start-up
// has not finished (no resource is loaded then).
bool lv_state_loaded_resources(void (*visit)(const char* name, void* arg), void* arg);

// The selected-files list: L of '$save':type(files(L)) when that
// predicate is defined and its first solution has that form with L a list
// of atoms, kept in a new term reference; -1 when there is none.
lv_term_ref lv_state_selected_files(lv_worker* w);
