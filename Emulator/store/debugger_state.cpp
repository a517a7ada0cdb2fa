// The debugger's mode, leash word, break level and entry decision.
#include "store/debugger_state.h"

#include "core/unify.h"
#include "store/debugger_slots.h"
#include "store/predicates.h"

namespace {

constexpr lv_debugger_globals START = {LV_ATOM_OFF, false, false, 31, 0};

}  // namespace

lv_debugger_globals lv_debugger = START;

namespace {

bool debugging(int64_t mode) { return mode == 1 || mode == 3; }

// Prolog's records: re-selected unless marked with flag bit 7 (in the low
// byte). Every other module: each record defined there passes its
// definition on to its importers.
void reselect_module(lv_module* m, void*) {
  lv_hash_entry* e = lv_keytab_entries(m->pred_table);
  for (uint64_t i = 0; i < lv_keytab_capacity(m->pred_table); i++) {
    if (e[i].key == 0 || e[i].value == 0) continue;
    lv_pred* p = reinterpret_cast<lv_pred*>(e[i].value);
    if (m == lv_prolog_module()) {
      // A record of a system module that is not chained is never debugged,
      // so the debugging condition decides, as for every other change.
      if ((p->flags & 0x80) == 0) lv_select_entry(p, lv_debugging_condition(p));
    } else if (p->home_module == m && lv_definition_type(p) != LV_DEF_UNDEFINED) {
      update_exports(p, lv_definition_type(p));
    }
  }
}

}  // namespace

int64_t lv_debugger_entry_mode(const lv_worker* w) {
  lv_term a = w->debug_words[LV_DBG_SLOT_ACTION];
  int sign = lv_debugger_integer_sign(a);
  int64_t c;
  if (a == LV_ATOM_OFF || sign == 0 || sign == 1)
    c = 4;
  else if (a == LV_DBG_ZIP || sign == -1)
    c = 2;
  else
    c = 1;
  if (lv_debugger.advice && c == 4) c = 2;
  if (lv_debugger.second && c == 2) c = 1;
  if (w->debug_in_box || (!lv_debugger.advice && w->debug_engine_switch)) {
    if (c == 1) c = 3;
    if (c == 2) c = 4;
  }
  return c;
}

void lv_sync_debugger(lv_worker* w) {
  int64_t old = w->debug_mode;
  w->debug_mode = lv_debugger_entry_mode(w);
  if (debugging(old) == debugging(w->debug_mode)) return;
  lv_for_each_module(reselect_module, nullptr);
}

void lv_debugger_set_in_box(lv_worker* w, bool on) {
  w->debug_in_box = on;
  lv_sync_debugger(w);
}

void lv_debugger_reset() {
  lv_debugger_table_release();
  lv_debugger = START;
}

void lv_backtrace_action() {
  lv_worker* w = get_current_worker();
  lv_debugger.mode = LV_DBG_TRACE;
  if (w == nullptr) return;
  lv_debugger_set_atomic(&w->debug_words[LV_DBG_SLOT_ACTION], LV_DBG_TRACE);
  lv_sync_debugger(w);
}

// Old is unified first, so that (V, V) reads the mode and leaves it.
int prolog_debugger_global(lv_worker* w) {
  if (!cunify(w, w->X[0], lv_debugger.mode)) return 0;
  lv_term next = lv_deref(w->X[1]);
  if (next != LV_ATOM_OFF && next != LV_DBG_TRACE && next != LV_DBG_DEBUG && next != LV_DBG_ZIP) return 0;
  lv_debugger.mode = next;
  return 1;
}

int prolog_sync_debugger(lv_worker* w) {
  lv_sync_debugger(w);
  return 1;
}

// Only a small integer becomes the leash word: anything else could be a
// pointer into the stacks, which a process-wide word must never keep. Old
// is unified first, so that (V, V) reads the word and leaves it.
int prolog_leash_mode(lv_worker* w) {
  if (!cunify(w, w->X[0], lv_make_small(lv_debugger.leash))) return 0;
  lv_term next = lv_deref(w->X[1]);
  if (!lv_is_small(next)) return 0;
  lv_debugger.leash = lv_small_value(next);
  return 1;
}

// The level stays a small integer: an increment that would leave that range
// fails and changes nothing.
int prolog_breaklevel(lv_worker* w) {
  lv_term increment = lv_deref(w->X[1]);
  if (!lv_is_small(increment)) return 0;
  int64_t next = lv_debugger.break_level + lv_small_value(increment);
  if (!lv_fits_small(next)) return 0;
  if (!cunify(w, w->X[0], lv_make_small(lv_debugger.break_level))) return 0;
  lv_debugger.break_level = next;
  return 1;
}
