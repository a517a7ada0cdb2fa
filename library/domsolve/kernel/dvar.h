// Domain variables as propagators see them: a dvar is a private working
// copy of one variable's domain, read from its attribute, pruned by the
// operations below (which report what changed) and exported back to the
// variable once at the end of the propagator call.
//
// The domain of a record is always the values of its set field restricted to
// [min, max], or all of [min, max] when the interval flag is set: bound
// prunings never touch the set, which is restricted lazily when a caller
// really needs it (the set-current flag).
#pragma once

#include <cstdint>

#include "kernel/fdset.h"
#include "kernel/runtime.h"
#include "kernel/terms.h"

// Flag bits; the four low ones double as the change bits of a pruning result.
enum : uint32_t {
  DVAR_DOM_CHANGED = 0x01,  // values were removed inside the bounds
  DVAR_MIN_CHANGED = 0x02,
  DVAR_MAX_CHANGED = 0x04,
  DVAR_FIXED = 0x08,
  DVAR_SET_CURRENT = 0x10,  // the set field is exactly the domain
  DVAR_INTERVAL = 0x20,     // the domain is all of [min, max]
  DVAR_EXPORTED = 0x40,
};

// The word written into every set field after the export, so that no record
// is used again before it is refreshed.
constexpr lv_term DVAR_STALE = 0xFDDEADFD;

// Plain encodings of the infinities where plain integers are handed out.
constexpr int64_t DVAR_PLAIN_INF = INT64_MIN + 1;
constexpr int64_t DVAR_PLAIN_SUP = INT64_MAX;

struct dvar {
  lv_term min;
  lv_term max;
  fdset set;          // 0 when there is none
  lv_term size;       // the size read from the attribute: the witness of no change since
  lv_term attribute;  // a reference to the cell holding the attribute (the attribute itself: dvar_init_full)
  lv_term variable;   // likewise for the variable
  uint32_t flags;
  // 1 while the set field's last interval ends at max (as the domain read
  // from the attribute does), so that narrowing from below needs no walk
  // to the end of the set.
  uint32_t ends_at_max;
};
static_assert(sizeof(dvar) == 7 * 8);

// A bounds-only record.
struct dvar_bounds {
  lv_term min;
  lv_term max;
  lv_term attribute;
  lv_term variable;
};

// The iterator: the current value, the record's max, and the set from the
// current interval on (0 for an interval record; [] once ended).
struct dvar_iter {
  lv_term value;
  lv_term max;
  fdset rest;
};

// Reading a variable.
void dvar_init(const lv_foreign_env* env, dvar* d, lv_term attribute_ref, lv_term variable_ref);
void dvar_refresh(const lv_foreign_env* env, dvar* d);
void dvar_init_full(const lv_foreign_env* env, dvar* d, lv_term attribute, lv_term variable);
void dvar_init_interval(dvar* d, lv_term min, lv_term max);
void dvar_init_bounds(dvar_bounds* b, lv_term attribute_ref, lv_term variable_ref);
void dvar_copy(const lv_foreign_env* env, dvar* to, dvar* from);
// The attribute and the variable of a record (references followed).
lv_term dvar_attribute(const dvar* d);
lv_term dvar_variable(const dvar* d);

// Queries.
inline bool dvar_is_fixed(const dvar* d) { return (d->flags & DVAR_FIXED) != 0; }
inline bool dvar_is_interval(const dvar* d) { return (d->flags & DVAR_INTERVAL) != 0; }
fdset dvar_get_set(const lv_foreign_env* env, dvar* d);
int64_t dvar_size(const dvar* d);
int64_t dvar_interval_count(const dvar* d);
int dvar_contains(const dvar* d, lv_term v);
int dvar_intersects_interval(const lv_foreign_env* env, dvar* d, lv_term a, lv_term b);
int dvar_intersects_set(const lv_foreign_env* env, dvar* d, fdset s);
int dvar_compare_set(const lv_foreign_env* env, dvar* d, fdset s);
int dvar_same_var(const dvar* a, const dvar* b);
int dvar_same_var_bounds(const dvar_bounds* a, const dvar_bounds* b);
int64_t dvar_next_value(const dvar* d, int64_t v);
int64_t dvar_prev_value(const dvar* d, int64_t v);
lv_term dvar_next_value_tagged(const dvar* d, lv_term v);
lv_term dvar_prev_value_tagged(const dvar* d, lv_term v);

// Iterators; callers loop until rest is [].
void dvar_iter_init(const dvar* d, dvar_iter* it);
inline bool dvar_iter_done(const dvar_iter* it) { return it->rest == FD_NIL; }
int64_t dvar_iter_next(dvar_iter* it);
void dvar_iter_next_interval(dvar_iter* it, int64_t* lo, int64_t* hi);
void dvar_iter_next_interval_tagged(dvar_iter* it, lv_term* lo, lv_term* hi);
void dvar_iter_skip_past(dvar_iter* it, lv_term v);

// Pruning: -1 the domain became empty, 0 no change, otherwise the change
// bits (1 values removed, 2 min moved, 4 max moved, 8 fixed).
int dvar_fix_interval(const lv_foreign_env* env, dvar* d, lv_term a, lv_term b);
int dvar_fix_set(const lv_foreign_env* env, dvar* d, fdset s);
int dvar_prune_interval(const lv_foreign_env* env, dvar* d, lv_term a, lv_term b);
int dvar_prune_set(const lv_foreign_env* env, dvar* d, fdset s);
int dvar_narrow_in_set(dvar* d, int bits, lv_term lo, lv_term hi, fdset set);
inline int dvar_fix_value(const lv_foreign_env* env, dvar* d, lv_term v) { return dvar_fix_interval(env, d, v, v); }
inline int dvar_prune_value(const lv_foreign_env* env, dvar* d, lv_term v) {
  return dvar_prune_interval(env, d, v, v);
}

// Export, at the end of a propagator call: dvar_pruning_set on every record
// first, then dvar_export on each record with change bits 1, 2 or 4, then
// DVAR_STALE into every set field. actions is the term reference of the
// actions list; live_registers the X registers that hold live terms.
int dvar_pruning_set(const lv_foreign_env* env, dvar* d);
void dvar_export(const lv_foreign_env* env, dvar* d, lv_term_ref actions, int live_registers);
void dvar_export_mode(const lv_foreign_env* env, dvar* d, int queued, lv_term_ref actions, int live_registers);
int dvar_fix_value_and_export(const lv_foreign_env* env, const dvar_bounds* b, int64_t value, lv_term_ref actions,
                              int live_registers);
void dvar_export_interval_direct(const lv_foreign_env* env, lv_term attribute, lv_term var, lv_term min, lv_term max,
                                 int64_t event, int live_registers);
// The interval fast path (flags not kept): 1 done, 0 empty.
int dvar_bounds_fix_interval(const lv_foreign_env* env, dvar* d, lv_term a, lv_term b, int live_registers);
int dvar_bounds_fix_value(const lv_foreign_env* env, dvar* d, lv_term v, int live_registers);
void dvar_bind_value(const lv_foreign_env* env, dvar* d, lv_term value, int live_registers);
void dvar_bind_forward(const lv_foreign_env* env, dvar* d, lv_term value, int live_registers);

// Suspensions: a daemon/6 of the propagator in term reference propagator
// (or the propagator itself: _simple) added to the variable for the event
// (a term dom(_), min(_), ... or its functor word); nothing for a fixed
// variable.
void dvar_attach_daemon(const lv_foreign_env* env, const dvar* d, void* block, lv_term_ref propagator, lv_term event,
                        int live_registers);
void dvar_attach_daemon_bounds(const lv_foreign_env* env, const dvar_bounds* b, void* block, lv_term_ref propagator,
                               lv_term event, int live_registers);
void dvar_attach_daemon_simple(const lv_foreign_env* env, const dvar* d, lv_term_ref propagator, lv_term event,
                               int live_registers);
void dvar_attach_daemon_simple_bounds(const lv_foreign_env* env, const dvar_bounds* b, lv_term_ref propagator,
                                      lv_term event, int live_registers);

// The start of a propagator call: the number stack emptied, the actions
// list [], the state term made ready to update (fd_mutable_begin_update:
// a copy when a choicepoint may still need the old one) and put into
// new_state; its handle (second-to-last argument) in *handle.
lv_term fd_propagator_begin(lv_foreign_env* env, lv_term_ref state, lv_term_ref new_state, lv_term_ref actions,
                            lv_term* handle);
// The export at the end of a call, over the records d[order[0..count-1]]
// (order null: d[0..count-1]): the sets of the changed ones made ready,
// the changed ones exported, then every one marked stale.
void dvar_export_changed(const lv_foreign_env* env, dvar* d, const int32_t* order, int32_t count,
                         lv_term_ref actions);

// The end of a propagator call: status 2 suspended, 3 entailed (the
// propagator in new_state, unless that is 0, is marked dead and `exit`
// pushed), otherwise failed (`fail` pushed). Returns the overflow report's
// verdict on the goal's second argument: 1 go on, 0 the call has failed.
int fd_propagator_exit(lv_foreign_env* env, lv_term_ref new_state, lv_term_ref actions, lv_term_ref goal, int status,
                       int live_registers);
