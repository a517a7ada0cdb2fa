// compact_table: k variables form one row (tuple) of a table.
//
// The table is built once by $fd_compact_table_common(Tuples, Entries,
// Users, Columns, Common) and shared, reference-counted, by every
// propagator over it. Each column has entries, disjoint ascending
// intervals numbered globally column by column; a tuple matches one or
// more entries per column, and each entry keeps the bit set of the tuples
// that match it.
//
// A propagator keeps the tuples still valid as a sparse bit set: the words
// that are not zero are listed in the prefix of an index array. A daemon
// on every variable removes the tuples its new domain excludes; the
// propagator then keeps in each domain only the values of entries that
// meet a valid tuple (a residue per entry remembers the word where a
// support was last seen). Every word is saved on the block's own trail at
// most once per version of the state (the state's stamp); the trail height
// at the end of each run lives in the state, so a version met again after
// backtracking is restored by popping the trail down to it.
//
// State: s(Pairs, Common, TrailHeight, Handle, Stamp), the pairs p(X,
// Attribute) in column order, Common the term -(Handle, 0) of the table.
#include <algorithm>
#include <cstring>

#include "global/interval_bag.h"
#include "global/pairs.h"
#include "kernel/attributes.h"
#include "kernel/errors.h"
#include "kernel/foreign_predicates.h"
#include "kernel/handles.h"
#include "kernel/memory.h"
#include "kernel/propagation.h"
#include "kernel/solver_state.h"
#include "kernel/state_terms.h"
#include "kernel/term_helpers.h"

namespace {

constexpr int32_t NO_VARIABLE = 0x0FFFFFFF;

// The shared table.
struct ct_table {
  int32_t refcount, users;
  int32_t words, tuples, entries, columns;
  uint64_t* supports;  // entries x words
  lv_term *lo, *hi;    // per entry
  int32_t* first;      // per column, and the end of the last
  // Column lookup: dense (entry = first + v - base), a table of the first
  // entry whose hi is at least v for v in base..base+span-1, or neither
  // (binary search on hi).
  int32_t* dense;
  int64_t* base;
  int64_t* span;
  int32_t** lookup;
};

void table_release(const lv_foreign_env* env, ct_table* t) {
  if (--t->refcount > 0) return;
  for (int32_t c = 0; c < t->columns; c++)
    if (t->lookup[c] != nullptr) fd_free(env, t->lookup[c]);
  fd_free(env, t->supports);
  fd_free(env, t);
}

// The first entry of column c whose hi is at least v (the column's end
// when there is none).
int32_t entry_from(const ct_table* t, int32_t c, lv_term v) {
  int32_t lo = t->first[c], hi = t->first[c + 1];
  if (fd_is_small(v) && (t->dense[c] || t->lookup[c] != nullptr)) {
    int64_t off = fd_small_value(v) - t->base[c];
    if (off < 0) return lo;
    if (off >= t->span[c]) return hi;
    return t->dense[c] ? lo + static_cast<int32_t>(off) : t->lookup[c][off];
  }
  while (lo < hi) {
    int32_t mid = lo + (hi - lo) / 2;
    if (fd_bound_compare(t->hi[mid], v) < 0) lo = mid + 1;
    else hi = mid;
  }
  return lo;
}

// Calls f(e) for every entry of column c that meets the record's domain.
template <typename F>
void entries_meeting(const ct_table* t, int32_t c, const dvar* d, F f) {
  int32_t end = t->first[c + 1], e = t->first[c];
  dvar_iter it;
  for (dvar_iter_init(d, &it); !dvar_iter_done(&it);) {
    lv_term a, b;
    dvar_iter_next_interval_tagged(&it, &a, &b);
    if (e < end && fd_bound_compare(t->hi[e], a) < 0) e = entry_from(t, c, a);
    for (; e < end && fd_bound_compare(t->lo[e], b) <= 0; e++) {
      f(e);
      if (fd_bound_compare(t->hi[e], b) > 0) break;  // it may meet the next interval too
    }
  }
}

// The block of $fd_compact_table_common: the table for the propagators.
struct common_block {
  void (*destroy)(void*);
  lv_foreign_env* env;
  ct_table* table;
};

void common_destroy(void* p) {
  auto* b = static_cast<common_block*>(p);
  table_release(b->env, b->table);
  fd_free(b->env, b);
}

struct trail_record {
  int64_t word, stamp;
  uint64_t value;
};

struct ct_block {
  void (*destroy)(void*);
  fd_daemon_fn daemon;
  lv_foreign_env* env;
  ct_table* table;
  fd_termref_slot* refs;
  int64_t saved_stamp;
  trail_record *trail, *top, *trail_end;
  int32_t k, last_changed, limit, changed;
  uint64_t* words;
  int32_t* index;
  int64_t* save_stamps;
  int32_t* residues;
  uint64_t* mask;
  dvar* d;
};

void block_destroy(void* p) {
  auto* b = static_cast<ct_block*>(p);
  if (b->refs != nullptr) fd_rt::free_globrefs(b->env, b->refs);
  if (b->trail != nullptr) fd_free(b->env, b->trail);
  table_release(b->env, b->table);
  fd_free(b->env, b);
}

void save_and_store(ct_block* b, int32_t w, uint64_t value) {
  if (b->save_stamps[w] < b->saved_stamp) {
    if (b->trail_end - b->top < 3) {
      int64_t used = b->top - b->trail, cap = b->trail_end - b->trail;
      cap = cap == 0 ? 16 : 2 * cap;
      size_t bytes = static_cast<size_t>(cap) * sizeof(trail_record);
      b->trail = static_cast<trail_record*>(b->trail == nullptr ? fd_malloc(b->env, bytes)
                                                                : fd_realloc(b->env, b->trail, bytes));
      b->top = b->trail + used;
      b->trail_end = b->trail + cap;
    }
    *b->top++ = trail_record{w, b->save_stamps[w], b->words[w]};
    b->save_stamps[w] = b->saved_stamp;
  }
  b->words[w] = value;
}

// Pops the trail down to height records; words that come back from 0
// return to the live part of the index array.
void undo_to(ct_block* b, int64_t height) {
  while (b->top - b->trail > height) {
    trail_record r = *--b->top;
    if (b->words[r.word] == 0 && r.value != 0) b->limit++;
    b->words[r.word] = r.value;
    b->save_stamps[r.word] = r.stamp;
  }
}

// The state's stamp and trail height.
int64_t state_stamp(lv_term state) {
  return fd_small_value(fd_deref(fd_arg(state, fd_functor_arity(fd_functor_of(state)))));
}
int64_t state_height(lv_term state) { return fd_small_value(fd_deref(fd_arg(state, 3))); }

// Brings the block to the state's version when it reflects another one.
void sync_version(ct_block* b, lv_term state) {
  int64_t stamp = state_stamp(state);
  if (stamp == b->saved_stamp) return;
  b->last_changed = NO_VARIABLE;
  b->saved_stamp = stamp;
  undo_to(b, state_height(state));
}

// Removes the tuples variable i's domain excludes. false: none is left.
bool update_by(const lv_foreign_env* env, ct_block* b, int32_t i) {
  const ct_table* t = b->table;
  dvar* d = &b->d[i];
  const uint64_t* mask;
  if (dvar_is_fixed(d)) {
    int32_t e = entry_from(t, i, d->min);
    if (e == t->first[i + 1] || fd_bound_compare(t->lo[e], d->min) > 0) return false;
    mask = &t->supports[static_cast<int64_t>(e) * t->words];
  } else {
    uint64_t* m = b->mask;
    for (int32_t p = 0; p < b->limit; p++) m[b->index[p]] = 0;
    entries_meeting(t, i, d, [&](int32_t e) {
      const uint64_t* s = &t->supports[static_cast<int64_t>(e) * t->words];
      for (int32_t p = 0; p < b->limit; p++) m[b->index[p]] |= s[b->index[p]];
    });
    mask = m;
  }
  (void)env;
  for (int32_t p = b->limit - 1; p >= 0; p--) {
    int32_t w = b->index[p];
    uint64_t nw = b->words[w] & mask[w];
    if (nw == b->words[w]) continue;
    b->changed = 1;
    save_and_store(b, w, nw);
    if (nw == 0) {
      std::swap(b->index[p], b->index[b->limit - 1]);
      b->limit--;
    }
  }
  return b->limit > 0;
}

int64_t table_daemon(lv_foreign_env* env, void* p, lv_term* cell, lv_term* propagator) {
  auto* b = static_cast<ct_block*>(p);
  auto i = static_cast<int32_t>(fd_pair_index(b->refs, cell));
  lv_term state = fd_mutable_value(fd_arg(fd_deref(*propagator), 1));
  sync_version(b, state);
  int copied;
  lv_term writable = fd_mutable_copy(env, propagator, &copied, 0);
  lv_term* cells = fd_struct_cells(writable);
  unsigned arity = fd_functor_arity(fd_functor_of(writable));
  if (copied) b->saved_stamp++;
  else cells[arity] = fd_make_small(fd_small_value(fd_deref(cells[arity])) - 1);
  b->last_changed = b->last_changed == NO_VARIABLE ? i : b->k;
  dvar_refresh(env, &b->d[i]);
  b->changed = 0;
  if (!update_by(env, b, i)) return 4;
  return b->changed || dvar_is_fixed(&b->d[i]) ? 1 : 2;
}

// Whether entry e meets the valid tuples (its residue first).
bool supported(ct_block* b, int32_t e) {
  const ct_table* t = b->table;
  const uint64_t* s = &t->supports[static_cast<int64_t>(e) * t->words];
  int32_t r = b->residues[e];
  if (s[r] & b->words[r]) return true;
  for (int32_t p = 0; p < b->limit; p++) {
    int32_t w = b->index[p];
    if (s[w] & b->words[w]) {
      b->residues[e] = w;
      return true;
    }
  }
  return false;
}

ct_block* block_create(lv_foreign_env* env, lv_term_ref new_state, lv_term_ref goal, ct_table* t) {
  lv_term state = fd_deref(fd_termref(env, new_state));
  int32_t k = t->columns, w = t->words;
  size_t size = sizeof(ct_block) + static_cast<size_t>(w) * (2 * sizeof(uint64_t) + sizeof(int32_t) + sizeof(int64_t)) +
                static_cast<size_t>(t->entries) * sizeof(int32_t) + static_cast<size_t>(k) * sizeof(dvar) + 16;
  auto* b = static_cast<ct_block*>(fd_new_handle_block(env, size, fd_arg(state, 4), 0));
  *b = ct_block{};
  b->destroy = block_destroy;
  b->daemon = table_daemon;
  b->env = env;
  b->table = t;
  t->refcount++;
  b->k = k;
  b->last_changed = NO_VARIABLE;
  b->d = reinterpret_cast<dvar*>(b + 1);
  b->words = reinterpret_cast<uint64_t*>(b->d + k);
  b->mask = b->words + w;
  b->save_stamps = reinterpret_cast<int64_t*>(b->mask + w);
  b->index = reinterpret_cast<int32_t*>(b->save_stamps + w);
  b->residues = b->index + w;
  for (int32_t i = 0; i < w; i++) {
    b->words[i] = ~uint64_t{0};
    b->index[i] = i;
    b->save_stamps[i] = 0;
  }
  if (t->tuples % 64 != 0) b->words[w - 1] = (uint64_t{1} << (t->tuples % 64)) - 1;
  b->limit = t->tuples == 0 ? 0 : w;
  std::memset(b->residues, 0, static_cast<size_t>(t->entries) * sizeof(int32_t));
  b->refs = fd_rt::alloc_globrefs(env, static_cast<uint64_t>(2 * k));
  state = fd_deref(fd_termref(env, new_state));
  fd_pair_list_take(env, fd_arg(state, 1), b->refs, b->d);
  for (int32_t i = 0; i < k; i++) dvar_attach_daemon(env, &b->d[i], b, goal, fd_functor(FD_ATOM_DOM, 1), 0);
  return b;
}

bool state_well_formed(lv_term state, ct_table** table) {
  if (!fd_is_compound_struct(state) || fd_functor_arity(fd_functor_of(state)) != 5) return false;
  if (!fd_pair_list_well_formed(fd_arg(state, 1)) || !fd_is_small(fd_deref(fd_arg(state, 3)))) return false;
  lv_term common = fd_deref(fd_arg(state, 2));
  if (!fd_is_compound_struct(common) || fd_functor_arity(fd_functor_of(common)) != 2) return false;
  lv_term handle = fd_deref(fd_arg(common, 1));
  if (!fd_is_list(handle) || !fd_is_ref(fd_deref(fd_list_cells(handle)[0]))) return false;  // retired
  *table = static_cast<common_block*>(fd_handle_pointer(handle))->table;
  return fd_proper_length(fd_arg(state, 1)) == (*table)->columns;
}

// The union of the column's entries.
fdset column_set(const lv_foreign_env* env, const ct_table* t, int32_t c) {
  fd_interval_bag bag;
  fd_interval_bag_init(&bag);
  for (int32_t e = t->first[c]; e < t->first[c + 1]; e++) fd_interval_bag_add(env, &bag, t->lo[e], t->hi[e]);
  return fd_interval_bag_set(&bag);
}

}  // namespace

int compact_table(lv_foreign_env* env, fd_t state_ref, fd_t new_state, fd_t actions, fd_t goal) {
  lv_term handle;
  lv_term old_state = fd_deref(fd_termref(env, state_ref));
  int64_t old_stamp = fd_is_compound_struct(old_state) ? state_stamp(old_state) : 0;
  lv_term state = fd_propagator_begin(env, state_ref, new_state, actions, &handle);
  ct_block* b;
  if (fd_is_ref(handle)) {
    ct_table* t;
    if (!state_well_formed(state, &t)) {
      fd_raise_system_error(env, "compact_table: malformed state");
      return 0;
    }
    b = block_create(env, new_state, goal, t);
    state = fd_deref(fd_termref(env, new_state));
    if (--t->users <= 0) fd_propagator_entailed(env, state, 2);
    for (int32_t i = 0; i < b->k; i++) {
      dvar_refresh(env, &b->d[i]);
      // Values no entry of the column covers have no tuple.
      if (dvar_fix_set(env, &b->d[i], column_set(env, t, i)) < 0 || !update_by(env, b, i))
        return fd_propagator_exit(env, new_state, actions, goal, 4, 0);
    }
  } else {
    b = static_cast<ct_block*>(fd_handle_pointer(handle));
    // A run with no daemon call since the version changed brings the bit
    // set back first.
    if (old_stamp != b->saved_stamp) {
      b->last_changed = NO_VARIABLE;
      b->saved_stamp = old_stamp;
      undo_to(b, state_height(state));
    }
    for (int32_t i = 0; i < b->k; i++) dvar_refresh(env, &b->d[i]);
  }
  const ct_table* t = b->table;
  int32_t unfixed = 0;
  for (int32_t i = 0; i < b->k; i++) {
    dvar* d = &b->d[i];
    if (i != b->last_changed && !dvar_is_fixed(d)) {
      fd_interval_bag bag;
      fd_interval_bag_init(&bag);
      entries_meeting(t, i, d, [&](int32_t e) {
        if (supported(b, e)) fd_interval_bag_add(env, &bag, t->lo[e], t->hi[e]);
      });
      if (dvar_fix_set(env, d, fd_interval_bag_set(&bag)) < 0)
        return fd_propagator_exit(env, new_state, actions, goal, 4, 0);
    }
    if (!dvar_is_fixed(d)) unfixed++;
  }
  b->last_changed = NO_VARIABLE;
  dvar_export_changed(env, b->d, nullptr, b->k, actions);
  fd_struct_cells(fd_deref(fd_termref(env, new_state)))[3] = fd_make_small(b->top - b->trail);
  return fd_propagator_exit(env, new_state, actions, goal, unfixed <= 1 ? 3 : 2, 0);
}

// ---------------------------------------------------------------------------
// The table's builder.

namespace {

bool small_of(lv_term t, int64_t lo, int64_t hi, int64_t* out) {
  t = fd_deref(t);
  if (!fd_is_small(t) || fd_small_value(t) < lo || fd_small_value(t) > hi) return false;
  *out = fd_small_value(t);
  return true;
}

bool bound_term(lv_term t) {
  t = fd_deref(t);
  return fd_is_small(t) || t == FD_INF || t == FD_SUP;
}

// Reads Entries into the table's lo, hi and first arrays (columns from 0
// on, each column's entries disjoint and ascending). false: malformed.
bool read_entries(lv_term list, ct_table* t) {
  int32_t e = 0, column = -1;
  for (list = fd_deref(list); fd_is_list(list); list = fd_deref(fd_list_cells(list)[1]), e++) {
    lv_term triple = fd_deref(fd_list_cells(list)[0]);
    int64_t c;
    if (!fd_is_compound_struct(triple) || fd_functor_arity(fd_functor_of(triple)) != 3 ||
        !small_of(fd_arg(triple, 1), 0, t->columns - 1, &c) || !bound_term(fd_arg(triple, 2)) ||
        !bound_term(fd_arg(triple, 3)))
      return false;
    lv_term lo = fd_deref(fd_arg(triple, 2)), hi = fd_deref(fd_arg(triple, 3));
    if (lo == FD_SUP || hi == FD_INF || fd_bound_compare(lo, hi) > 0) return false;
    if (c == column) {
      if (fd_bound_compare(t->hi[e - 1], lo) >= 0) return false;
    } else {
      if (c != column + 1) return false;
      column = static_cast<int32_t>(c);
      t->first[column] = e;
    }
    t->lo[e] = lo;
    t->hi[e] = hi;
  }
  if (column != t->columns - 1) return false;
  t->first[t->columns] = e;
  return true;
}

void make_lookup(const lv_foreign_env* env, ct_table* t, int32_t c) {
  int32_t first = t->first[c], end = t->first[c + 1], count = end - first;
  t->dense[c] = 0;
  t->lookup[c] = nullptr;
  if (!fd_is_small(t->lo[first]) || !fd_is_small(t->hi[end - 1])) return;
  int64_t base = fd_small_value(t->lo[first]), span = fd_small_value(t->hi[end - 1]) - base + 1;
  t->base[c] = base;
  t->span[c] = span;
  if (span == count) {
    bool single = true;
    for (int32_t e = first; e < end && single; e++) single = t->lo[e] == t->hi[e];
    if (single) {
      t->dense[c] = 1;
      return;
    }
  }
  if (span > 10 * static_cast<int64_t>(count)) return;
  auto* table = static_cast<int32_t*>(fd_malloc(env, static_cast<size_t>(span) * sizeof(int32_t)));
  int32_t e = first;
  for (int64_t v = 0; v < span; v++) {
    while (fd_small_value(t->hi[e]) < base + v) e++;
    table[v] = e;
  }
  t->lookup[c] = table;
}

// Reads the tuples into the support sets. false: malformed.
bool read_tuples(lv_term list, ct_table* t) {
  int32_t tuple = 0;
  for (list = fd_deref(list); fd_is_list(list); list = fd_deref(fd_list_cells(list)[1]), tuple++) {
    lv_term items = fd_deref(fd_list_cells(list)[0]);
    if (fd_proper_length(items) != t->columns) return false;
    int32_t c = 0;
    for (; fd_is_list(items); items = fd_deref(fd_list_cells(items)[1]), c++) {
      lv_term entries = fd_deref(fd_list_cells(items)[0]);
      if (fd_proper_length(entries) <= 0) return false;
      for (; fd_is_list(entries); entries = fd_deref(fd_list_cells(entries)[1])) {
        int64_t e;
        if (!small_of(fd_list_cells(entries)[0], t->first[c], t->first[c + 1] - 1, &e)) return false;
        t->supports[e * t->words + tuple / 64] |= uint64_t{1} << (tuple % 64);
      }
    }
  }
  return true;
}

}  // namespace

void fd_compact_table_common(lv_foreign_env* env, fd_t tuples, fd_t entries, fd_w users, fd_t columns, fd_t common) {
  lv_term_ref args[] = {tuples, entries, -1, columns, common};
  int64_t k, tuple_count = fd_proper_length(fd_termref(env, tuples)), entry_count = fd_proper_length(fd_termref(env, entries));
  if (!small_of(fd_termref(env, columns), 1, 1 << 20, &k)) {
    fd_raise_type_error(env, "table_columns", columns, "$fd_compact_table_common", 5, args, 4);
    return;
  }
  if (tuple_count < 0 || tuple_count >= (int64_t{1} << 31)) {
    fd_raise_type_error(env, "table_tuples", tuples, "$fd_compact_table_common", 5, args, 1);
    return;
  }
  if (entry_count < k || entry_count >= (int64_t{1} << 31)) {
    fd_raise_type_error(env, "table_entries", entries, "$fd_compact_table_common", 5, args, 2);
    return;
  }
  int32_t words = static_cast<int32_t>(tuple_count == 0 ? 1 : (tuple_count - 1) / 64 + 1);
  size_t head = sizeof(ct_table) + static_cast<size_t>(entry_count) * 2 * sizeof(lv_term) +
                static_cast<size_t>(k + 1) * sizeof(int32_t) + static_cast<size_t>(k) * (sizeof(int32_t) + 2 * sizeof(int64_t) + sizeof(int32_t*)) + 64;
  auto* t = static_cast<ct_table*>(fd_malloc(env, head));
  *t = ct_table{};
  t->refcount = 1;
  t->users = static_cast<int32_t>(std::clamp<int64_t>(users, 0, INT32_MAX));
  t->words = words;
  t->tuples = static_cast<int32_t>(tuple_count);
  t->entries = static_cast<int32_t>(entry_count);
  t->columns = static_cast<int32_t>(k);
  t->lo = reinterpret_cast<lv_term*>(t + 1);
  t->hi = t->lo + entry_count;
  t->base = reinterpret_cast<int64_t*>(t->hi + entry_count);
  t->span = t->base + k;
  t->lookup = reinterpret_cast<int32_t**>(t->span + k);
  t->first = reinterpret_cast<int32_t*>(t->lookup + k);
  t->dense = t->first + k + 1;
  for (int64_t c = 0; c < k; c++) t->lookup[c] = nullptr;
  size_t support_bytes = static_cast<size_t>(entry_count) * static_cast<size_t>(words) * sizeof(uint64_t);
  t->supports = static_cast<uint64_t*>(fd_malloc(env, support_bytes));
  std::memset(t->supports, 0, support_bytes);
  if (!read_entries(fd_termref(env, entries), t)) {
    table_release(env, t);
    fd_raise_type_error(env, "table_entries", entries, "$fd_compact_table_common", 5, args, 2);
    return;
  }
  for (int32_t c = 0; c < t->columns; c++) make_lookup(env, t, c);
  if (!read_tuples(fd_termref(env, tuples), t)) {
    table_release(env, t);
    fd_raise_type_error(env, "table_tuples", tuples, "$fd_compact_table_common", 5, args, 1);
    return;
  }
  // Common = -(Handle, 0), the handle's block holding the table.
  lv_term_ref pair[2] = {fd_rt::new_term_ref(env), fd_rt::new_term_ref(env)};
  lv_term_ref made = fd_rt::new_term_ref(env);
  fd_rt::put_variable(env, pair[0]);
  fd_rt::put_integer(env, pair[1], 0);
  auto* cb = static_cast<common_block*>(fd_new_handle_block(env, sizeof(common_block), fd_termref(env, pair[0]), 0));
  cb->destroy = common_destroy;
  cb->env = env;
  cb->table = t;
  fd_rt::cons_functor(env, made, fd_rt::atom(env, "-"), 2, pair);
  if (!fd_rt::unify(env, made, common)) fd_rt::fail(env);
  fd_rt::reset_term_refs(env, pair[0]);
}
