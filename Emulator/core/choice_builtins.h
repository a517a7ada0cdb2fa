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

// The choicepoint at b, or the next older one that is no C-call frame; null
// past the bottom. The next older such choicepoint than b, or null.
lv_term* lv_choice_skip_frames(lv_worker* w, lv_term* b);
lv_term* lv_choice_older(lv_worker* w, lv_term* b);
// A choicepoint's reference, and the live choicepoint a reference names
// (null when none).
lv_term lv_choice_reference(const lv_worker* w, const lv_term* b);
lv_term* lv_choice_of_reference(lv_worker* w, lv_term ref);
// Makes b the newest choicepoint (HB and the protected local top from its
// saved words); when it guards cleanup entries an event check follows.
void lv_choice_make_newest(lv_worker* w, lv_term* b);

int prolog_nth_choicepoint(lv_worker* w);  // $nth_choicepoint(N, Ref)
int prolog_clean_up(lv_worker* w);         // $clean_up(Ref, N)
int prolog_zap_chpt(lv_worker* w);         // $zap_chpt(Ref)
int prolog_trail_cleanup(lv_worker* w);    // $trail_cleanup(Entry)
int prolog_trail_undo(lv_worker* w);       // $trail_undo(Entry)
int prolog_undo_cleanup(lv_worker* w);     // $undo_cleanup(Ref)
