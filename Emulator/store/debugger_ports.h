// Port decisions: whether a port of a procedure box is shown and whether
// the user is asked, read from debugger slot 0 and the leash word, and the
// built-ins that open and close the ports.
#pragma once

#include "core/worker.h"

// The port decision for the port term: sets slots 1 and 2 and answers the
// Debug atom (`debug` or `off`).
lv_term lv_port_decision(lv_worker* w, lv_term port);

// The skip test: when slot 0 holds an integer S and 0 < Depth <= |S|,
// slot 0 becomes `trace`.
void lv_debugger_skip_test(lv_worker* w, int64_t depth);

int prolog_port_setup(lv_worker* w);              // $port_setup(Port, Box, Goal, Module, Advice)
int prolog_port_debugger_setup(lv_worker* w);     // $port_debugger_setup(Port, _, Debug)
int prolog_call_port_conclusion(lv_worker* w);    // $call_port_conclusion(Action, Box, Result)
int prolog_port_interaction_setup(lv_worker* w);  // $port_interaction_setup(Interact)
