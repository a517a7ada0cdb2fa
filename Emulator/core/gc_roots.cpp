// The collector's roots: registering, marking from and threading them.
//
// Root words are checked before they are followed. A permanent variable
// that the code walk counts live may not have been written yet by the
// running clause, an argument register or a term-reference slot above the top may
// hold anything, and C code may have left a word behind: such a word may
// point anywhere. A root word is followed only when it points into the
// collected part at something that is there (lv_gc_valid_pointer: a cell
// that is no box word, a pair of them, a whole structure or box) or is a
// reference into the live local stack (that cell becomes a root in turn).
// A word that points into the collected part at something else cannot be a
// live term; it is replaced by [] so that it is not threaded later. Stale
// words that pass the check keep what they point at alive and are moved with
// it, which is harmless.
//
// The chains of environment frames are walked to their ends, not only down
// to the segment: a clause may write a permanent variable for the first time
// after a choicepoint that protects its frame was made; that write is not
// trailed, yet the frame lies below the segment.
//
// Local-stack cells that are roots are registered by setting their MARK bit
// (the local stack is never marked otherwise); marking and threading then
// scan the local part of the map, so that a cell reached by several paths
// (two frame chains, the trail) is threaded once. Older heap cells met on
// the trail are deduplicated the same way.
#include <cstring>

#include "core/errors.h"
#include "core/fault.h"
#include "core/fd_hooks.h"
#include "core/gc_internal.h"
#include "core/gc_queue.h"
#include "core/termrefs.h"
#include "machine/instructions.h"
#include "store/live_permanents.h"
#include "store/static_code.h"
#include "store/try_record.h"

namespace {

// Argument registers, the culprit and the argument-vector pointer are
// handled in 16-byte scratch slots (their relocation flag in the second
// word) and copied back after the slide.
constexpr unsigned SCRATCH_CULPRIT = LV_X_REGISTERS;
constexpr unsigned SCRATCH_ARG_VECTOR = LV_X_REGISTERS + 1;
lv_termref_slot scratch[LV_X_REGISTERS + 2];
bool arg_vector_scratched;


// The choicepoints of the segment, from B down to marked_choice.
template <typename F>
void for_each_segment_choice(const lv_gc_state& g, F f) {
  for (lv_term* b = g.w->B;; b = lv_choice_prev(b)) {
    f(b);
    if (b == g.marked || lv_choice_prev(b) >= g.w->choice_base) break;
  }
}

lv_term* choice_args_end(lv_term* b) {
  return reinterpret_cast<lv_term*>(reinterpret_cast<char*>(b) + lv_choice_view(b)->size());
}

bool in_local(const lv_worker* w, const lv_term* p) { return p >= w->local_base && p < w->local_top; }
bool in_older_heap(const lv_gc_state& g, const lv_term* p) { return p >= g.w->area_start && p < g.base; }

// Registers a local cell as a root, and the local cells its reference chain
// runs through.
void register_local(lv_gc_state& g, lv_term* c) {
  lv_worker* w = g.w;
  while (in_local(w, c) && !lv_gc_marked(w, c)) {
    lv_gc_bits_or(w, c, LV_GC_MARK);
    lv_term v = *c;
    if (!lv_is_ref(v) || lv_ref_cell(v) == c) return;
    c = lv_ref_cell(v);
  }
}

// Variable shunting: the end of the reference chain that starts with v, as
// far as the chain runs through collected cells whose binding nothing can
// undo or overwrite: not trailed (flagged by the caller), not attributed
// variables, not a mutable's value.
lv_term shunted(const lv_gc_state& g, lv_term v) {
  const lv_worker* w = g.w;
  while (lv_is_ref(v)) {
    lv_term* x = lv_ref_cell(v);
    if (!lv_gc_collected(g, x)) break;
    lv_term xv = *x;
    if (xv == v || lv_gc_bits(w, x) != 0) break;
    if (x > w->area_start && (x[-1] == LV_ATTVAR_MARKER || x[-1] == LV_FUNCTOR_MUTABLE_2)) break;
    v = xv;
  }
  return v;
}

// A root cell in the marking phase: a reference into the local stack
// registers that cell; a word that points into the collected part is
// followed when valid and replaced otherwise.
void mark_root(lv_gc_state& g, lv_term* cell) {
  lv_term v = *cell;
  if (lv_is_atomic(v)) return;
  if (lv_is_ref(v) && in_local(g.w, lv_ref_cell(v))) {
    register_local(g, lv_ref_cell(v));
    return;
  }
  if (!lv_gc_points_in(g, v)) return;
  if (lv_gc_valid_pointer(g, v))
    lv_gc_mark_from(g, v);
  else
    *cell = LV_ATOM_NIL;
}

// A root cell in the threading phase. Its target was marked from it; the
// MARK test only guards against a root that changed in between.
void thread_root(lv_gc_state& g, lv_term* cell) {
  lv_term v = *cell;
  if (!lv_gc_points_in(g, v)) return;
  lv_term* t = lv_gc_target(v);
  if (lv_gc_marked(g.w, t))
    lv_gc_thread(g.w, cell, t);
  else
    *cell = LV_ATOM_NIL;
}

// The roots outside the stacks and the saved registers, for one phase.
template <typename F>
void for_each_plain_root(lv_gc_state& g, F f) {
  lv_worker* w = g.w;
  for (int32_t i = 0; i < w->termref_capacity; i++) f(&w->termrefs[i].term);
  lv_for_each_registered_slot([&](lv_termref_slot* s) { f(&s->term); });
  for (lv_termref_slot& s : scratch) f(&s.term);
  for_each_segment_choice(g, [&](lv_term* b) {
    for (lv_term* a = lv_choice_view(b)->args; a < choice_args_end(b); a++) f(a);
  });
}

// Results of the code walk by continuation, for one environment pass.
lv_permanents_memo permanents_memo;

// Walks one chain of environment frames, from frame e that continues at cp,
// registering the permanent variables inside each frame's live size that
// the code walk finds live at the frame's continuation (a dead one may hold
// a stale word). The frame under a handler frame (one whose continuation is
// a shared KONTINUE stub) was interrupted in the middle of its clause, past
// its continuation: all of its variables count. (The collector runs at calls
// and under handler frames; code that makes room in the middle of a clause
// must first let E continue at a shared stub of its frame's size, as
// lv_push_handler_frame does.) The first word of a walked frame gets the
// FIRST bit: a later chain that reaches it registers that
// frame's variables for its own continuation and stops there, since the
// frames below are the same.
void walk_frames(lv_gc_state& g, lv_term* e, const uint32_t* cp) {
  lv_worker* w = g.w;
  bool interrupted = false;
  while (e > w->local_base && e < w->local_top) {
    lv_term* end = e + lv_gc_frame_bytes(cp) / 8;
    if (end > w->local_top) end = w->local_top;
    lv_live_permanents live;
    if (interrupted) {
      live.all = true;
    } else {
      lv_code_live_permanents(cp, &live, &permanents_memo);
    }
    for (lv_term* y = e + LV_FRAME_Y; y < end; y++)
      if (lv_permanent_live(live, static_cast<uint64_t>(y - (e + LV_FRAME_Y)))) register_local(g, y);
    if ((lv_gc_bits(w, e) & LV_GC_FIRST) != 0) return;
    lv_gc_bits_or(w, e, LV_GC_FIRST);
    interrupted = cp != nullptr && cp[0] == lv_opcode(LV_OP_KONTINUE) && lv_is_shared_continuation_stub(cp);
    cp = lv_frame_view(e)->continuation();
    e = lv_frame_view(e)->previous();
  }
}

// Clears the bits of the given kind from the local part of the map.
void clear_local_bits(lv_worker* w, unsigned bits) {
  for (lv_term* c = w->local_base; c < w->local_top; c++) lv_gc_bits_clear(w, c, bits);
}

// Calls f on every registered local root; in the threading phase it also
// clears the registration.
template <typename F>
void for_each_local_root(lv_worker* w, bool clear, F f) {
  const uint8_t* map = reinterpret_cast<const uint8_t*>(w->local_end);
  for (lv_term* c = w->local_base; c < w->local_top; c++) {
    uint64_t i = static_cast<uint64_t>(c - w->area_start);
    if ((i & 3) == 0 && map[i >> 2] == 0) {
      c += 3;
      continue;
    }
    if (!lv_gc_marked(w, c)) continue;
    if (clear) lv_gc_bits_clear(w, c, LV_GC_MARK);
    f(c);
  }
}

// Walks the trail entries of the segment: plain(entry) for a plain entry,
// value(entry) for a value-trail entry.
template <typename P, typename V>
void for_each_entry(const lv_gc_state& g, P plain, V value) {
  for (lv_term* p = g.trail_lo; p < g.w->TR;) {
    lv_term v = *p;
    if (v == 0) {
      p++;
    } else if (lv_is_struct(v)) {
      value(p);
      p += 3;
    } else {
      plain(p);
      p++;
    }
  }
}

// Whether one of the eight cells at p may be a box header: a negative word
// with tag 111 (an attributed-variable marker passes too; the caller tests
// the cells one by one then).
bool any_box_start8(const lv_term* p) {
  constexpr uint64_t bits = (uint64_t{1} << 63) | LV_TAG_ATOM;
  uint64_t any = 0;
  for (int i = 0; i < 8; i++) any |= static_cast<uint64_t>((p[i] & bits) == bits);
  return any != 0;
}

}  // namespace

uint64_t lv_gc_frame_bytes(const uint32_t* cp) {
  if (cp == nullptr) return 0;
  int64_t size = static_cast<int32_t>(cp[-1]);
  if (size == 0) std::memcpy(&size, reinterpret_cast<const char*>(cp) - 12, sizeof size);
  size &= ~int64_t{1};  // the examined bit of the code walk
  return size < 0 ? 0 : static_cast<uint64_t>(size);
}

void lv_gc_scan_collected(lv_gc_state& g, bool shunt) {
  lv_worker* w = g.w;
  if (shunt) {
    // Trailed cells: a binding that backtracking undoes is not shunted.
    for_each_entry(
        g,
        [&](lv_term* p) {
          lv_term* c = lv_ref_cell(*p);
          if (lv_gc_collected(g, c)) lv_gc_bits_or(w, c, LV_GC_FIRST);
        },
        [](lv_term*) {});
  }
  for (lv_term* p = g.base; p < g.top;) {
    // Without shunting only boxes matter: eight cells at a time are tested
    // for a box header, without a branch per cell.
    if (!shunt) {
      while (g.top - p >= 8 && !any_box_start8(p)) p += 8;
      if (p == g.top) break;
    }
    lv_term v = *p;
    if (lv_heap_box_start(v)) {
      uint64_t cells = lv_heap_item_cells(v);
      if (cells > static_cast<uint64_t>(g.top - p) || p[cells - 1] != v) LV_raise_fault("GC: a box without its trailer");
      static_assert(LV_GC_BOX_BODY == 3);
      lv_gc_bits_fill(w, p + 1, cells - 1, true);
      p += cells;
      continue;
    }
    if (shunt && lv_is_ref(v) && lv_ref_cell(v) != p) *p = shunted(g, v);
    p++;
  }
}

void lv_gc_environment_pass(lv_gc_state& g, bool shunt) {
  lv_worker* w = g.w;
  lv_permanents_memo_clear(&permanents_memo);
  walk_frames(g, w->E, w->CP);
  for_each_segment_choice(
      g, [&](lv_term* b) { walk_frames(g, lv_choice_view(b)->saved_e(), lv_choice_view(b)->saved_cp()); });
  clear_local_bits(w, LV_GC_FIRST);
  if (!shunt) return;
  auto shunt_root = [&](lv_term* cell) {
    lv_term v = *cell;
    if (lv_is_ref(v) && lv_gc_points_in(g, v) && lv_gc_valid_pointer(g, v)) *cell = shunted(g, v);
  };
  for_each_local_root(w, false, shunt_root);
  for_each_segment_choice(g, [&](lv_term* b) {
    for (lv_term* a = lv_choice_view(b)->args; a < choice_args_end(b); a++) shunt_root(a);
  });
  // Take the trailed flags off again.
  for_each_entry(
      g,
      [&](lv_term* p) {
        lv_term* c = lv_ref_cell(*p);
        if (lv_gc_collected(g, c) && lv_gc_bits(w, c) == LV_GC_FIRST) lv_gc_bits_clear(w, c, LV_GC_FIRST);
      },
      [](lv_term*) {});
}

void lv_gc_mark_roots(lv_gc_state& g) {
  lv_worker* w = g.w;
  // The trail: older cells bound since the segment began hold roots, as do
  // the old values that backtracking restores; a bound attributed variable
  // of the collected part stays alive for the woken-goal scan.
  for_each_entry(
      g,
      [&](lv_term* p) {
        lv_term* c = lv_ref_cell(*p);
        if (lv_gc_collected(g, c)) {
          if (c > w->area_start && c[-1] == LV_ATTVAR_MARKER) lv_gc_mark_from(g, lv_make_ref(c));
        } else if (in_older_heap(g, c)) {
          if (lv_gc_points_in(g, *c) && !lv_gc_marked(w, c)) {
            lv_gc_bits_or(w, c, LV_GC_MARK);
            lv_gc_mark_from(g, *c);
          }
        } else if (in_local(w, c)) {
          register_local(g, c);
        }
      },
      [&](lv_term* p) {
        lv_term* m = lv_struct_cells(p[0]);
        lv_term old = p[1];
        if (lv_is_ref(old) && in_local(w, lv_ref_cell(old)))
          register_local(g, lv_ref_cell(old));
        else if (lv_gc_points_in(g, old))
          lv_gc_mark_from(g, old);
        if (in_older_heap(g, m) && lv_gc_points_in(g, m[1]) && !lv_gc_marked(w, m + 1)) {
          lv_gc_bits_or(w, m + 1, LV_GC_MARK);
          lv_gc_mark_from(g, m[1]);
        }
      });

  // The words handled in scratch slots.
  for (unsigned i = 0; i < LV_X_REGISTERS; i++) scratch[i] = {w->X[i], 0};
  scratch[SCRATCH_CULPRIT] = {*lv_pending_error_culprit_cell(), 0};
  lv_term* args = w->arg_vector;
  arg_vector_scratched = lv_gc_collected(g, args) && args > g.base && lv_is_functor_word(args[-1]);
  scratch[SCRATCH_ARG_VECTOR] = {arg_vector_scratched ? lv_make_struct(args - 1) : LV_ATOM_NIL, 0};
  // Term-reference slots above the top may never have been written: their
  // second words are made 0 for the relocation flag.
  for (int32_t i = 0; i < w->termref_capacity; i++) w->termrefs[i].zero = 0;

  lv_call_fd_hook(LV_FD_EVENT_MARK, 0);
  for_each_plain_root(g, [&](lv_term* cell) { mark_root(g, cell); });
  for_each_local_root(w, false, [&](lv_term* c) {
    lv_term v = *c;
    if (!lv_gc_points_in(g, v)) return;
    if (lv_gc_valid_pointer(g, v))
      lv_gc_mark_from(g, v);
    else
      *c = LV_ATOM_NIL;
  });
}

void lv_gc_drop_dead_entries(lv_gc_state& g) {
  lv_worker* w = g.w;
  for_each_entry(
      g,
      [&](lv_term* p) {
        lv_term* c = lv_ref_cell(*p);
        if (lv_gc_collected(g, c) && !lv_gc_marked(w, c)) *p = 0;
      },
      [&](lv_term* p) {
        lv_term* m = lv_struct_cells(p[0]);
        if (lv_gc_collected(g, m) && !lv_gc_marked(w, m)) p[0] = p[1] = p[2] = 0;
      });
}

void lv_gc_thread_roots(lv_gc_state& g) {
  lv_worker* w = g.w;
  auto older_cell = [&](lv_term* c) {
    if (!lv_gc_marked(w, c)) return;
    lv_gc_bits_clear(w, c, LV_GC_MARK);
    thread_root(g, c);
  };
  for_each_entry(
      g,
      [&](lv_term* p) {
        lv_term* c = lv_ref_cell(*p);
        if (lv_gc_collected(g, c))
          lv_gc_thread(w, p, c);
        else if (in_older_heap(g, c))
          older_cell(c);
      },
      [&](lv_term* p) {
        lv_term* m = lv_struct_cells(p[0]);
        if (lv_gc_collected(g, m))
          lv_gc_thread(w, p, m);
        else if (in_older_heap(g, m))
          older_cell(m + 1);
        thread_root(g, p + 1);
      });
  for_each_plain_root(g, [&](lv_term* cell) { thread_root(g, cell); });
  for_each_local_root(w, true, [&](lv_term* c) { thread_root(g, c); });
  lv_call_fd_hook(LV_FD_EVENT_GC_RELOCATE, static_cast<int64_t>(reinterpret_cast<intptr_t>(g.base)));
}

void lv_gc_restore_scratch_roots(lv_gc_state&) {
  lv_worker* w = get_current_worker();
  for (unsigned i = 0; i < LV_X_REGISTERS; i++) w->X[i] = scratch[i].term;
  *lv_pending_error_culprit_cell() = scratch[SCRATCH_CULPRIT].term;
  if (arg_vector_scratched) w->arg_vector = lv_struct_cells(scratch[SCRATCH_ARG_VECTOR].term) + 1;
}

void intoRelocationChain(lv_worker* w, lv_term* target, lv_term* cell) {
  lv_gc_state& g = lv_gc_now;
  lv_term* t = lv_gc_target(reinterpret_cast<lv_term>(target));
  if (!g.active || w != g.w || !lv_gc_collected(g, t) || !lv_gc_marked(w, t)) return;
  if (lv_gc_target(*cell) != t) return;
  lv_gc_thread(w, cell, t);
}
