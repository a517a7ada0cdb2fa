// The garbage collector's entry points. Until the collector exists they
// collect nothing and report no garbage left.
#include "core/gc.h"

lv_gc_settings lv_gc_setting = {LV_ATOM_ON, LV_ATOM_OFF, 1000};
int64_t lv_gc_debug_words[2];

int64_t lv_gc(lv_worker*) { return 0; }

void lv_gc_trail_sweep(lv_worker*) {}

void lv_gc_trail_compact(lv_worker*, int) {}

void lv_gc_check(lv_worker*) {}
