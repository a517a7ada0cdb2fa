// The engine context: creation, destruction and stack usage.
#include "core/worker.h"

#include <cstring>

#include "core/bdd_tables.h"
#include "core/context_init.h"
#include "core/numstack.h"
#include "core/startup_records.h"
#include "core/termrefs.h"

namespace {

// 16-byte aligned: native code moves pairs of its words with aligned moves.
alignas(16) lv_worker the_worker;
lv_worker* current_worker;
bool destroyed;

}  // namespace

lv_worker* get_current_worker() { return current_worker; }

void lv_set_current_worker(lv_worker* w) { current_worker = w; }

lv_worker* lv_create_worker() {
  std::memset(&the_worker, 0, sizeof the_worker);
  destroyed = false;
  if (lv_context_init(&the_worker) < 0) return nullptr;
  return &the_worker;
}

void lv_destroy_worker(lv_worker* w) {
  w->B = nullptr;
  lv_stack_areas_free(w);
  lv_numstack_release(w);
  lv_bdd_tables_free(w);
  if (current_worker == w) current_worker = nullptr;
  lv_termrefs_free(w);
  destroyed = true;
}

bool lv_worker_destroyed() { return destroyed; }

void lv_trail_usage(const lv_worker* w, uint64_t* used, uint64_t* free_bytes) {
  uint64_t choice = 0;
  lv_choice_usage(w, &choice, free_bytes);
  *used = static_cast<uint64_t>(w->TR - w->trail_base) * 8;
}

// A newest choicepoint that is a temporary relocation frame (the stack
// shifter's and the collector's) is not counted. The free figure is half of
// what neither the trail nor the choice stack uses.
void lv_choice_usage(const lv_worker* w, uint64_t* used, uint64_t* free_bytes) {
  const lv_term* b = w->B;
  uint64_t choice = static_cast<uint64_t>(w->choice_base - b) * 8;
  if (lv_choice_view(b)->alt == reinterpret_cast<lv_term>(lv_try_alternative(&lv_startup.relocation_alternative)))
    choice -= lv_startup.relocation_alternative.cp_size;
  uint64_t trail = static_cast<uint64_t>(w->TR - w->trail_base) * 8;
  uint64_t total = static_cast<uint64_t>(w->tc_end - w->trail_base) * 8;
  *used = choice;
  *free_bytes = total > trail + choice ? (total - trail - choice) / 2 : 0;
}
