// Backtraces, pending cleanups and ancestors.
#include "store/backtrace.h"

#include <cstdlib>

#include "core/atoms.h"
#include "core/cleanups.h"
#include "core/hashtab.h"
#include "core/memory.h"
#include "core/numbers.h"
#include "core/predefined_atoms.h"
#include "core/termrefs.h"
#include "core/unify.h"
#include "core/worker.h"
#include "machine/frames.h"
#include "store/code_print.h"
#include "store/code_terms.h"
#include "store/code_walk.h"
#include "store/try_record.h"
#include "streams/diagnostics.h"

namespace {

constexpr uint32_t FLAGS = lv_mem_flags(LV_CAT_MISC);
// Alternatives followed per choicepoint at most: a record may name itself.
constexpr int ALTERNATIVE_LIMIT = 1000;

struct code_run {
  const uint32_t* start;
  const uint32_t* end;
};

// What a backtrace has met: the frames printed and the code runs.
struct walk_record {
  lv_keytab* frames;
  code_run* runs;
  uint64_t run_count;
  uint64_t run_capacity;

  void init() {
    frames = lv_wordtab_new(16);
    runs = nullptr;
    run_count = run_capacity = 0;
  }
  void release() {
    lv_wordtab_free(frames);
    if (runs != nullptr) lv_mem_free(runs, run_capacity * sizeof *runs, FLAGS);
  }
  // Whether the frame was printed before; it counts as printed now.
  bool seen(const lv_term* frame) {
    uint64_t key = reinterpret_cast<uint64_t>(frame);
    lv_hash_entry* e = lv_wordtab_find(frames, key);
    if (e != nullptr && e->key == key) return true;
    lv_wordtab_insert(&frames, key)->value = 1;
    return false;
  }
  void add_run(const uint32_t* address) {
    if (lv_code_block_of(address) == nullptr) return;
    const uint32_t* end = address;
    lv_code_block_owner(address, &end);
    if (run_count == run_capacity) {
      uint64_t grown = run_capacity == 0 ? 16 : 2 * run_capacity;
      runs = static_cast<code_run*>(runs == nullptr ? lv_mem_alloc(grown * sizeof *runs, FLAGS)
                                                    : lv_mem_realloc(runs, run_capacity * sizeof *runs,
                                                                     grown * sizeof *runs, FLAGS));
      run_capacity = grown;
    }
    runs[run_count++] = {address, end};
  }
};

bool in_local(const lv_worker* w, const lv_term* e) { return e > w->local_base && e < w->local_top; }

void print_owner(const void* code) {
  lv_pred* owner = nullptr;
  if (code != nullptr && lv_code_owner(code, &owner) != 0)
    lv_print_pred_spec_nl(owner);
  else
    lv_ttyprintf("stub\n");
}

void print_environments(lv_worker* w, lv_term* e, const uint32_t* cp, walk_record& met) {
  for (int n = 1; in_local(w, e) && cp != nullptr; n++) {
    if (met.seen(e)) {
      lv_ttyprintf("  see above for rest of backtrace\n");
      return;
    }
    int64_t size = lv_frame_size_at(cp);
    lv_ttyprintf("  Environment #%d at %p, arity = %d, continuation at %p in ", n, static_cast<void*>(e),
                 static_cast<int>(size > 16 ? (size - 16) / 8 : 0), static_cast<const void*>(cp));
    print_owner(cp);
    met.add_run(cp);
    cp = lv_frame_view(e)->continuation();
    e = lv_frame_view(e)->previous();
  }
}

const lv_try_record* alternative_of(const lv_term* b) { return lv_choice_view(b)->alternative(); }

void print_choicepoint_head(const lv_term* b, int n) {
  int32_t size = lv_choice_view(b)->size();
  lv_ttyprintf("Choicepoint #%d at %p, arity = %d: created by ", n, static_cast<const void*>(b), size / 8 - 6);
  print_owner(alternative_of(b)->target);
}

// The alternatives of a choicepoint: the record it names and those after it.
template <typename F>
void for_each_alternative(const lv_term* b, F f) {
  const lv_try_record* r = alternative_of(b);
  for (int i = 0; r != nullptr && i < ALTERNATIVE_LIMIT; r = r->next == r ? nullptr : r->next, i++) f(r);
}

int compare_runs(const void* a, const void* b) {
  return lv_code_address_compare(static_cast<const code_run*>(a)->start, static_cast<const code_run*>(b)->start);
}

void print_runs(walk_record& met) {
  if (met.run_count == 0) return;
  std::qsort(met.runs, met.run_count, sizeof *met.runs, compare_runs);
  const uint32_t* printed_end = nullptr;
  for (uint64_t i = 0; i < met.run_count; i++) {
    const code_run& r = met.runs[i];
    if (printed_end != nullptr && r.start < printed_end) continue;  // inside a run printed
    lv_ttyprintf("\n");
    lv_print_code(r.start, nullptr, 0);
    if (printed_end == nullptr || r.end > printed_end) printed_end = r.end;
  }
}

// The newest choicepoint whose saved heap top lies at or below a cell:
// the one the cell was made after, numbered from the newest (1); 0 when
// none.
int choicepoint_below(const lv_worker* w, const lv_term* cell) {
  int n = 1;
  for (lv_term* b = w->B; b < w->choice_base; b = lv_choice_prev(b), n++)
    if (lv_choice_view(b)->saved_h() <= cell) return n;
  return 0;
}

}  // namespace

int prolog_backtrace(lv_worker* w) {
  walk_record met;
  met.init();
  print_environments(w, w->E, w->CP, met);
  int n = 1;
  for (lv_term* b = w->B; b < w->choice_base; b = lv_choice_prev(b), n++) {
    print_choicepoint_head(b, n);
    for_each_alternative(b, [&](const lv_try_record* r) {
      const lv_choicepoint* c = lv_choice_view(b);
      lv_ttyprintf("  (local,global,trail) top = (%p,%p,%p)\n", static_cast<void*>(c->saved_local_top()),
                   static_cast<void*>(c->saved_h()), static_cast<void*>(c->saved_tr()));
      lv_ttyprintf("  alt pc = %p\n", static_cast<const void*>(r->target));
      met.add_run(r->target);
    });
    print_environments(w, lv_choice_view(b)->saved_e(), lv_choice_view(b)->saved_cp(), met);
  }
  print_runs(met);
  met.release();
  lv_ttyflush();
  return 1;
}

int prolog_dump_cleanup(lv_worker* w) {
  int n = 1;
  for (lv_term* b = w->B; b < w->choice_base; b = lv_choice_prev(b), n++) {
    print_choicepoint_head(b, n);
    lv_ttyprintf("  trail top = %p\n", static_cast<void*>(lv_choice_view(b)->saved_tr()));
    for_each_alternative(b, [&](const lv_try_record* r) {
      lv_ttyprintf("  alt pc = %p\n", static_cast<const void*>(r->target));
    });
  }
  lv_term chain = lv_cleanup_chain(w);
  if (chain != 0) {
    char goal[1024];
    for (lv_term e = lv_deref(lv_struct_cells(chain)[1]); lv_is_list(e); e = lv_deref(lv_list_cells(e)[1])) {
      lv_term entry = lv_deref(lv_list_cells(e)[0]);
      if (!lv_is_list(entry)) continue;
      const lv_term* cell = lv_list_cells(entry);
      int below = choicepoint_below(w, cell);
      if (below == 1)
        lv_ttyprintf("Current cleanup: ");
      else
        lv_ttyprintf("Cleanup at %p, after chpt %d: ", static_cast<const void*>(cell), below);
      lv_term_text(cell[1], true, goal, sizeof goal);
      lv_ttyprintf("%s\n", goal);
    }
  }
  lv_ttyflush();
  return 1;
}

int prolog_ancestors(lv_worker* w) {
  lv_term limit_term = lv_deref(w->X[0]);
  lv_term flags_term = lv_deref(w->X[1]);
  if (!lv_is_small(limit_term) || !lv_is_small(flags_term)) return 0;
  int64_t limit = lv_small_value(limit_term);
  bool with_address = (lv_small_value(flags_term) & LV_ANCESTORS_WITH_ADDRESS) != 0;
  lv_term_ref acc = LV_new_term_ref();
  lv_term_ref_cell(w, acc) = LV_ATOM_NIL;
  // The frame is held by its offset: making room may move the local stack.
  int64_t e = w->E - w->local_base;
  const uint32_t* cp = w->CP;
  for (int64_t count = 0; (limit <= 0 || count < limit) && in_local(w, w->local_base + e) && cp != nullptr;) {
    lv_code_position position;
    if (lv_code_owner_info(cp, &position) != 0) {
      lv_code_terms_room(w, 40, 3);
      lv_term args[5] = {lv_pred_spec_term(w, position.pred), lv_make_integer(w, position.clause),
                         lv_make_integer(w, position.calls), lv_make_integer(w, position.line),
                         lv_code_address_term(cp, false)};
      lv_term* t = w->H;
      unsigned arity = with_address ? 5 : 4;
      t[0] = lv_make_functor(lv_atom_from_text("ancestor", LV_ATOM_FIND_OR_CREATE), arity);
      for (unsigned i = 0; i < arity; i++) t[1 + i] = args[i];
      w->H = t + 1 + arity;
      lv_code_terms_push(w, acc, lv_make_struct(t));
      count++;
    }
    lv_term* frame = w->local_base + e;
    cp = lv_frame_view(frame)->continuation();
    e = lv_frame_view(frame)->previous() - w->local_base;
  }
  lv_term list = lv_code_terms_reverse(lv_term_ref_cell(w, acc));  // innermost first
  LV_reset_term_refs(acc);
  return cunify(w, w->X[2], list);
}
