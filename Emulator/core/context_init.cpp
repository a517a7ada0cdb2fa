// Set-up of a cleared engine context.
#include "core/context_init.h"

#include "core/atoms.h"
#include "core/bdd_tables.h"
#include "core/numstack.h"
#include "core/predefined_atoms.h"
#include "core/settings.h"
#include "core/startup_records.h"
#include "core/termrefs.h"
#include "store/static_code.h"

namespace {

constexpr unsigned BOTTOM_CHOICE_WORDS = 10;

}  // namespace

void lv_context_reset_stacks(lv_worker* w) {
  // The first environment frame: two zero words.
  lv_term* e = w->local_base;
  lv_env_frame* f = lv_frame_view(e);
  f->e = 0;
  f->cp = 0;
  w->E = e;
  w->local_top = e + LV_FRAME_Y;
  w->H = w->area_start;
  w->trail_base[0] = 0;
  w->TR = w->trail_base + 1;
  lv_termrefs_fill_reserved(w);

  // The bottom choicepoint, with four saved arguments [] and the
  // collector's generation bits set in its saved TR.
  lv_term* b = w->choice_base - BOTTOM_CHOICE_WORDS;
  lv_choicepoint* c = lv_choice_view(b);
  c->save(reinterpret_cast<lv_term>(lv_try_alternative(&lv_startup.bottom_alternative)), w->local_top, w->H, w->TR,
          w->E, lv_bottom_code);
  c->tr |= 3;
  for (unsigned i = 0; i < BOTTOM_CHOICE_WORDS - LV_CP_ARGS; i++) c->args[i] = LV_ATOM_NIL;
  lv_make_choice_current(w, b);
  w->marked_choice = b;
  w->cut_barrier = b;
  w->CP = lv_bottom_code;

  for (unsigned i = 0; i < 4; i++) w->X[i] = LV_ATOM_NIL;
  w->pair_index = LV_PAIR_INDEX_REST;
  w->wakeup_count = 0;
}

int lv_context_init(lv_worker* w) {
  lv_stack_areas_init(w);
  lv_numstack_init(w);
  lv_termrefs_init(w);
  lv_context_reset_stacks(w);

  w->debug_mode = 4;
  for (lv_term& word : w->debug_words) word = LV_ATOM_OFF;

  lv_bdd_tables_new(w);
  w->fcall.x0 = w->X;
  w->fcall.status = 1;
  w->foreign_call = &w->fcall;
  w->atom_pages = lv_atom_pages;
  w->jit_counter_limit = lv_getenv_int_suffixed("LV_JIT_COUNTER_LIMIT", 0, 0);
  return 0;
}
