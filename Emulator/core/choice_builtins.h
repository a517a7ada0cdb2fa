// Built-ins over choicepoint references and the cleanup chain. A
// choicepoint reference is a small integer: the choicepoint's offset in
// cells from the base (upper end) of the choice stack.
#pragma once

#include "core/worker.h"
#include "store/try_record.h"

// The alternative of a frame that C code pushes on the choice stack around
// a call into Prolog; the walks below skip such frames and do not count
// them.
extern const lv_try_record lv_c_call_frame_alternative;

int prolog_nth_choicepoint(lv_worker* w);  // $nth_choicepoint(N, Ref)
int prolog_clean_up(lv_worker* w);         // $clean_up(Ref, N)
int prolog_zap_chpt(lv_worker* w);         // $zap_chpt(Ref)
int prolog_trail_cleanup(lv_worker* w);    // $trail_cleanup(Entry)
int prolog_trail_undo(lv_worker* w);       // $trail_undo(Entry)
int prolog_undo_cleanup(lv_worker* w);     // $undo_cleanup(Ref)
