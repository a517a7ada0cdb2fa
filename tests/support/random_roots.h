// Test support: random term graphs held in every kind of root the engine
// relocates and collects from, hand-made frames and choicepoints, and an
// address-independent printed form of everything those roots reach.
#pragma once

#include <cmath>
#include <cstdint>
#include <initializer_list>
#include <random>
#include <string>
#include <vector>

#include "core/bind.h"
#include "core/errors.h"
#include "core/numbers.h"
#include "core/predefined_atoms.h"
#include "core/stack_shift.h"
#include "core/startup_records.h"
#include "core/termrefs.h"
#include "core/unify.h"
#include "store/call_choicepoint.h"
#include "support/term_graph.h"
#include "support/terms.h"

namespace terms {

// A continuation for hand-made frames with n permanent variables: the 32-bit
// word before it holds the frame's live size, 16 + 8n bytes.
inline const uint32_t* frame_continuation(unsigned n) {
  static uint32_t code[64][2];
  code[n][0] = 16 + 8 * n;
  return &code[n][1];
}

// Pushes a frame {E, CP, Y0, ...} at the local top and makes it current, as
// a call from it would: CP becomes a continuation whose frame size covers
// the given permanent variables.
inline lv_term* push_frame(lv_worker* w, std::initializer_list<lv_term> ys) {
  lv_term* f = w->local_top;
  f[LV_FRAME_E] = lv_make_ref(w->E);
  f[LV_FRAME_CP] = reinterpret_cast<lv_term>(w->CP);
  unsigned i = LV_FRAME_Y;
  for (lv_term y : ys) f[i++] = y;
  w->E = f;
  w->CP = frame_continuation(static_cast<unsigned>(ys.size()));
  w->local_top = f + i;
  return f;
}

// Pushes a choicepoint saving X0..X(n-1), n < 8.
inline void push_choice(lv_worker* w, unsigned n) {
  static lv_try_record records[8];
  lv_try_record* r = &records[n];
  r->cp_size = 48 + 8 * n;
  lv_push_call_choicepoint(w, r);
}

// Makes room on the heap before terms are built (terms held in C++
// variables do not survive a shift or a collection).
inline void make_room(lv_worker* w, int64_t cells) {
  if (w->heap_hard_limit - w->H < cells) heap_overflow(w, cells, LV_LOCAL_RESERVE_CELLS);
}

inline lv_term* saved_trail_top(const lv_term* b) { return reinterpret_cast<lv_term*>(b[LV_CP_TR] & ~lv_term{3}); }

// Undoes the trail down to mark, as backtracking does.
inline void untrail_to(lv_worker* w, lv_term* mark) {
  std::vector<lv_term*> entries;
  for (lv_term* t = mark; t < w->TR; t += lv_is_struct(*t) ? 3 : 1) entries.push_back(t);
  for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
    lv_term* t = *it;
    if (lv_is_struct(*t)) {
      lv_term* m = lv_struct_cells(t[0]);
      m[1] = t[1];
      m[2] = t[2];
    } else if (*t != 0) {
      *lv_ref_cell(*t) = *t;
    }
  }
  w->TR = mark;
}

// Backtracks to the newest choicepoint and removes it: the trail is undone
// and the heap and local tops come back.
inline void backtrack_and_pop(lv_worker* w) {
  lv_term* b = w->B;
  untrail_to(w, saved_trail_top(b));
  w->H = reinterpret_cast<lv_term*>(b[LV_CP_H]);
  w->local_top = reinterpret_cast<lv_term*>(b[LV_CP_LOCAL_TOP]);
  w->E = reinterpret_cast<lv_term*>(b[LV_CP_E]);
  w->CP = reinterpret_cast<const uint32_t*>(b[LV_CP_CP]);
  lv_pop_call_choicepoint(w);
}

inline bool is_relocation_frame(const lv_term* b) {
  return (b[LV_CP_ALT] & ~lv_term{1}) ==
         reinterpret_cast<lv_term>(lv_try_alternative(&lv_startup.relocation_alternative));
}

// Random term graphs: shared subterms, cycles, boxes, attributed variables
// and mutables, spread over term references, registered cells, argument
// registers (X0-X8 and three above X255), the pending error's culprit and
// frames of permanent variables. Terms to share (and every variable made)
// are kept in a pool of term references.
class random_roots {
 public:
  static constexpr unsigned POOL = 200;
  const lv_term F = atom(300), G = atom(301), A = atom(302), B = atom(303);

  std::mt19937_64 rng;
  lv_worker* w = nullptr;
  lv_term_ref pool_base = 0;
  unsigned pool_size = 0;
  lv_termref_slot* globrefs[2] = {nullptr, nullptr};
  unsigned high_registers = 0;  // argument registers from X256 on

  explicit random_roots(uint64_t seed = 12345) : rng(seed) {}

  void start(lv_worker* worker) {
    w = worker;
    pool_base = LV_new_term_refs(POOL);
    globrefs[0] = LV_alloc_globrefs(3);
    globrefs[1] = LV_alloc_globrefs(2);
  }
  void stop() {
    LV_free_globrefs(globrefs[0]);
    LV_free_globrefs(globrefs[1]);
  }

  uint64_t pick(uint64_t n) { return rng() % n; }
  lv_term pooled(uint64_t i) { return lv_term_ref_cell(w, pool_base + static_cast<lv_term_ref>(i)); }
  void add_pool(lv_term t) {
    if (pool_size < POOL) lv_term_ref_cell(w, pool_base + pool_size++) = t;
  }

  // A random term of at most about a thousand cells; the caller has made
  // room for it.
  lv_term random_term(int depth) {
    switch (depth <= 0 ? pick(8) : pick(14)) {
      case 0: {
        const lv_term atoms[] = {F, G, A, B, LV_ATOM_NIL, LV_ATOM_EMPTY};
        return atoms[pick(6)];
      }
      case 1: {
        const int64_t values[] = {0, -1, 7, LV_SMALL_MIN, LV_SMALL_MAX, static_cast<int64_t>(rng()) >> 4};
        return small(values[pick(6)]);
      }
      case 2:
        return lv_make_integer_box(w, (int64_t{1} << 61) + static_cast<int64_t>(pick(1000)));
      case 3: {
        lv_term* h = w->H;
        h[0] = h[3] = LV_BOX_INT2;
        h[1] = rng();
        h[2] = pick(5);
        w->H = h + 4;
        return lv_make_struct(h);
      }
      case 4:
        return lv_make_float_box(w, pick(4) == 0 ? std::nan("") : static_cast<double>(rng()) / 7.0);
      case 5: {
        lv_term v = var(w);
        add_pool(v);
        return v;
      }
      case 6: {
        lv_term v = attvar(w);
        lv_term* cell = lv_ref_cell(v);
        cell[1] = depth > 0 ? random_term(depth - 1) : A;
        cell[2] = list(w, {random_term(0)});
        add_pool(v);
        return v;
      }
      case 7:
        return pool_size > 0 ? pooled(pick(pool_size)) : A;
      case 8:
      case 9: {
        unsigned n = 1 + static_cast<unsigned>(pick(4));
        lv_term args[4];
        for (unsigned i = 0; i < n; i++) args[i] = random_term(depth - 1);
        lv_term* h = w->H;
        h[0] = lv_make_functor(pick(2) ? F : G, n);
        for (unsigned i = 0; i < n; i++) h[1 + i] = args[i];
        w->H = h + 1 + n;
        lv_term t = lv_make_struct(h);
        if (pick(3) == 0) add_pool(t);
        return t;
      }
      case 10:
      case 11: {
        lv_term tail = pick(3) == 0 ? random_term(0) : LV_ATOM_NIL;
        for (uint64_t n = pick(5); n > 0; n--) tail = cons(w, random_term(depth - 1), tail);
        if (lv_is_list(tail) && pick(3) == 0) add_pool(tail);
        return tail;
      }
      case 12: {
        lv_term m = mutable_term(w, random_term(depth - 1));
        add_pool(m);
        return m;
      }
      default: {
        // A variable bound to a term that may contain it: cycles.
        lv_term v = var(w);
        lv_term t = fn(w, F, {v, random_term(depth - 1)});
        *lv_ref_cell(v) = t;
        return t;
      }
    }
  }

  // A random term of the given depth, after making room for it.
  lv_term make(int depth) {
    make_room(w, 2000);
    return random_term(depth);
  }

  // Binds some pooled unbound variables to pooled terms (trailed when they
  // are older than the newest choicepoint) and updates some mutables.
  void bind_some() {
    for (int i = 0; i < 4 && pool_size > 0; i++) {
      lv_term v = lv_deref(pooled(pick(pool_size)));
      lv_term t = lv_deref(pooled(pick(pool_size)));
      if (lv_is_ref(v) && !lv_is_ref(t)) lv_bind(w, lv_ref_cell(v), t);
    }
    for (int i = 0; i < 4 && pool_size > 0; i++) {
      lv_term m = lv_deref(pooled(pick(pool_size)));
      if (lv_is_struct(m) && *lv_struct_cells(m) == LV_FUNCTOR_MUTABLE_2) {
        w->X[9] = m;
        make_room(w, 600);
        lv_update_mutable(w, random_term(2), w->X[9]);
      }
    }
  }

  // Fills every kind of root with new random terms.
  void grow_roots() {
    for (int i = 0; i < 8; i++) add_pool(make(3));
    for (int i = 0; i < 8; i++) w->X[i] = make(2);
    for (int i = 0; i < 3; i++) globrefs[0][i].term = make(2);
    for (int i = 0; i < 2; i++) globrefs[1][i].term = make(2);
    lv_set_pending_error(1, "culprit", make(2));
    // Registers above X255 live in the term-reference array above its top.
    high_registers = 3;
    lv_termrefs_grow(w, w->termref_top + high_registers);
    for (unsigned j = 0; j < high_registers; j++) w->termrefs[w->termref_top + j].term = make(2);
    // A frame of local variables: unbound, sharing an older frame's
    // variable, holding a heap term, bound to a heap term.
    make_room(w, 3000);
    lv_term y4 = random_term(1), y5 = random_term(1);
    lv_term* older = w->E == w->local_base ? nullptr : w->E;
    lv_term* f = push_frame(w, {0, 0, y4, 0});
    f[2] = lv_make_ref(&f[2]);
    f[3] = older == nullptr ? A : lv_make_ref(&older[2]);
    f[5] = lv_make_ref(&f[5]);
    lv_bind(w, &f[5], y5);
    w->X[8] = lv_make_ref(&f[2]);
    bind_some();
  }

  // Prints everything the roots reach, in one printer; with the trail its
  // entries too. The generation frames a collection leaves are not printed.
  std::string snapshot(bool with_trail = true, graph_printer* printer = nullptr) {
    graph_printer own(w);
    graph_printer& p = printer != nullptr ? *printer : own;
    std::string s;
    for (unsigned i = 0; i < pool_size; i++) s += p.print(pooled(i)) + "\n";
    for (int i = 0; i <= 8; i++) s += "X" + std::to_string(i) + "=" + p.print(w->X[i]) + "\n";
    for (unsigned j = 0; j < high_registers; j++) s += p.print(w->termrefs[w->termref_top + j].term) + "\n";
    for (int i = 0; i < 3; i++) s += p.print(globrefs[0][i].term) + "\n";
    for (int i = 0; i < 2; i++) s += p.print(globrefs[1][i].term) + "\n";
    s += "culprit=" + p.print(lv_pending_error_culprit()) + "\n";
    for (lv_term* e = w->E; e != nullptr && e != w->local_base; e = reinterpret_cast<lv_term*>(e[LV_FRAME_E])) {
      s += "frame";
      for (int i = 2; i < 6; i++) s += " " + p.print(lv_make_ref(&e[i]));
      s += "\n";
    }
    for (lv_term* b = w->B; b < w->choice_base; b = lv_choice_prev(b)) {
      if (is_relocation_frame(b)) continue;
      s += "choice";
      for (lv_term* a = b + LV_CP_ARGS; a < lv_choice_prev(b); a++) s += " " + p.print(*a);
      s += "\n";
    }
    if (with_trail) {
      for (lv_term* t = w->trail_base + 1; t < w->TR; t++) {
        if (lv_is_struct(*t)) {
          s += "value-trail " + p.print(t[0]) + " " + p.print(t[1]) + " " + std::to_string(lv_small_value(t[2])) +
               "\n";
          t += 2;
        } else if (*t != 0) {
          s += "trail " + p.print(*t) + "\n";
        }
      }
    }
    if (!p.ok()) s += "!stale words\n";
    return s;
  }
};

}  // namespace terms
