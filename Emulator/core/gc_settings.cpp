// The collector's settings and their built-ins.
#include "core/gc.h"
#include "core/settings.h"
#include "core/unify.h"

lv_gc_settings lv_gc_setting = {LV_ATOM_ON, LV_ATOM_OFF, 1000};
int64_t lv_gc_debug_words[2];

namespace {

int always = -1;  // -1: not read from the settings yet

// The margin is used as margin * 1024 / 8 heap cells; larger values would
// overflow that and ask for more memory than there is.
constexpr int64_t MAX_MARGIN_KB = int64_t{1} << 40;

// Unifies X0 with the present value, then takes X1 when accept says so.
template <typename T, typename A>
int exchange(lv_worker* w, T& setting, lv_term present, A accept) {
  if (!cunify(w, w->X[0], present)) return 0;
  return accept(lv_deref(w->X[1]), setting) ? 1 : 0;
}

}  // namespace

bool lv_gc_always() {
  if (always < 0) always = lv_getenv_yes_no("LV_GC_ALWAYS", 0) == 1 ? 1 : 0;
  return always == 1;
}

void lv_gc_set_always(int mode) { always = mode < 0 ? -1 : mode != 0; }

int prolog_gc_mode(lv_worker* w) {
  return exchange(w, lv_gc_setting.mode, lv_gc_setting.mode, [](lv_term v, lv_term& mode) {
    if (v != LV_ATOM_ON && v != LV_ATOM_OFF) return false;
    mode = v;
    return true;
  });
}

int prolog_gc_trace(lv_worker* w) {
  return exchange(w, lv_gc_setting.trace, lv_gc_setting.trace, [](lv_term v, lv_term& trace) {
    if (v != LV_ATOM_OFF && v != LV_ATOM_TERSE && v != LV_ATOM_VERBOSE) return false;
    trace = v;
    return true;
  });
}

int prolog_gc_margin(lv_worker* w) {
  return exchange(w, lv_gc_setting.margin, lv_make_small(lv_gc_setting.margin), [](lv_term v, int64_t& margin) {
    if (!lv_is_small(v) || lv_small_value(v) < 0 || lv_small_value(v) > MAX_MARGIN_KB) return false;
    margin = lv_small_value(v);
    return true;
  });
}
