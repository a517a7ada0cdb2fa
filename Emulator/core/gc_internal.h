// What the parts of the collector share: the bounds of the collection under
// way, the mark-map bits, the relocation flag of any cell and the threading
// of relocation chains.
#pragma once

#include <cstdint>
#include <cstring>

#include "core/gc.h"
#include "core/heap_parse.h"
#include "core/lv_assert.h"
#include "core/mark_map.h"
#include "core/worker.h"

// Bits of the first block's map while a collection runs.
//   LV_GC_MARK   a live cell of the collected part; on a local-stack cell or
//                an older heap cell: registered as a root
//   LV_GC_FIRST  relocation flag: the cell heads a chain (a target) or holds
//                a link of one (a referrer). Before threading it serves for
//                a while as: on a frame's first word, the frames below were
//                walked; on a trailed cell, not to be shunted; on a
//                mutable's stamp cell, the trail sweep or compaction met the
//                mutable already
//   both         a body word or trailer of a box of the collected part, from
//                the start of the collection to the downward pass
constexpr unsigned LV_GC_MARK = 1;
constexpr unsigned LV_GC_FIRST = 2;
constexpr unsigned LV_GC_BOX_BODY = 3;

struct lv_gc_state {
  lv_worker* w;
  bool active;           // between the start of marking and the end of the slide
  lv_term* base;         // the collected part of the heap: [base, top)
  lv_term* top;
  lv_term* trail_lo;     // the first trail word of the segment
  lv_term* marked;       // marked_choice: the segment is B down to it
  uint64_t marked_cells; // cells marked, a box counting all its words
  uint64_t bdd_nodes;    // decision-diagram nodes met by the upward pass
};
extern lv_gc_state lv_gc_now;

inline bool lv_gc_collected(const lv_gc_state& g, const lv_term* p) { return p >= g.base && p < g.top; }

// The address a pointer word refers to (tags 00, 01 and 10).
inline lv_term* lv_gc_target(lv_term v) { return reinterpret_cast<lv_term*>(v & ~LV_TAG_MASK); }

// A word that points into the collected part.
inline bool lv_gc_points_in(const lv_gc_state& g, lv_term v) {
  return !lv_is_atomic(v) && lv_gc_collected(g, lv_gc_target(v));
}

// The first block's map, 2 bits a cell.
inline unsigned lv_gc_bits(const lv_worker* w, const lv_term* p) { return lv_mark_get(w, p); }
inline void lv_gc_bits_or(lv_worker* w, const lv_term* p, unsigned bits) {
  uint64_t i = static_cast<uint64_t>(p - w->area_start);
  reinterpret_cast<uint8_t*>(w->local_end)[i >> 2] |= static_cast<uint8_t>(bits << (2 * (i & 3)));
}
inline void lv_gc_bits_clear(lv_worker* w, const lv_term* p, unsigned bits) {
  uint64_t i = static_cast<uint64_t>(p - w->area_start);
  reinterpret_cast<uint8_t*>(w->local_end)[i >> 2] &= static_cast<uint8_t>(~(bits << (2 * (i & 3))));
}
inline bool lv_gc_marked(const lv_worker* w, const lv_term* p) { return (lv_gc_bits(w, p) & LV_GC_MARK) != 0; }

// Sets (on) or clears both bits of every cell in [p, p + n): whole bytes of
// the map at once, so that a large box costs little more than a small one.
inline void lv_gc_bits_fill(lv_worker* w, const lv_term* p, uint64_t n, bool on) {
  uint64_t i = static_cast<uint64_t>(p - w->area_start);
  uint64_t end = i + n;
  uint8_t* map = reinterpret_cast<uint8_t*>(w->local_end);
  auto one = [&](uint64_t k) {
    uint8_t bits = static_cast<uint8_t>(3u << (2 * (k & 3)));
    map[k >> 2] = static_cast<uint8_t>(on ? map[k >> 2] | bits : map[k >> 2] & ~bits);
  };
  for (; i < end && (i & 3) != 0; i++) one(i);
  uint64_t bytes = (end - i) / 4;
  std::memset(map + (i >> 2), on ? 0xFF : 0, bytes);
  for (i += 4 * bytes; i < end; i++) one(i);
}

// The relocation flag of any cell: in the first block's map for cells of the
// heap and the local stack, in the second block's map (1 bit a word) for
// trail and choicepoint words, in the following word for anything else.
inline bool lv_gc_in_first_block(const lv_worker* w, const lv_term* p) {
  return p >= w->area_start && p < w->local_end;
}
inline bool lv_gc_in_second_block(const lv_worker* w, const lv_term* p) {
  return p >= w->trail_base && p < w->choice_base;
}
inline bool lv_gc_first(const lv_worker* w, const lv_term* p) {
  if (lv_gc_in_first_block(w, p)) return (lv_gc_bits(w, p) & LV_GC_FIRST) != 0;
  if (lv_gc_in_second_block(w, p)) {
    uint64_t i = static_cast<uint64_t>(p - w->trail_base);
    return (reinterpret_cast<const uint8_t*>(w->choice_base)[i >> 3] >> (i & 7)) & 1;
  }
  return p[1] != 0;
}
inline void lv_gc_set_first(lv_worker* w, lv_term* p, bool on) {
  if (lv_gc_in_first_block(w, p)) {
    if (on)
      lv_gc_bits_or(w, p, LV_GC_FIRST);
    else
      lv_gc_bits_clear(w, p, LV_GC_FIRST);
  } else if (lv_gc_in_second_block(w, p)) {
    uint64_t i = static_cast<uint64_t>(p - w->trail_base);
    uint8_t* byte = reinterpret_cast<uint8_t*>(w->choice_base) + (i >> 3);
    if (on)
      *byte = static_cast<uint8_t>(*byte | (1u << (i & 7)));
    else
      *byte = static_cast<uint8_t>(*byte & ~(1u << (i & 7)));
  } else {
    p[1] = on ? 1 : 0;
  }
}

// Threads the referring cell c, which points at target t, into t's
// relocation chain: c takes t's contents with c's own tag bits, t takes c's
// address with t's own tag bits. The first referrer ends the chain (it holds
// t's former contents); later ones hold links.
inline void lv_gc_thread(lv_worker* w, lv_term* c, lv_term* t) {
  LV_ASSERT(lv_gc_now.active && lv_gc_collected(lv_gc_now, t));
  LV_ASSERT(c != t && lv_gc_target(*c) == t);
  LV_ASSERT(!lv_gc_in_first_block(w, c) || !lv_gc_first(w, c));
  lv_term tv = *t;
  *c = (tv & ~LV_TAG_MASK) | (*c & LV_TAG_MASK);
  *t = reinterpret_cast<lv_term>(c) | (tv & LV_TAG_MASK);
  if (!lv_gc_first(w, t))
    lv_gc_set_first(w, t, true);
  else
    lv_gc_set_first(w, c, true);
}

// Gives every referrer in t's chain t's new address (keeping each one's tag)
// and gives t back its contents.
inline void lv_gc_unthread(lv_worker* w, lv_term* t, const lv_term* new_address) {
  LV_ASSERT(lv_gc_now.active && lv_gc_collected(lv_gc_now, t));
  LV_ASSERT(new_address >= lv_gc_now.base && new_address <= t);
  if (!lv_gc_first(w, t)) return;
  lv_gc_set_first(w, t, false);
  lv_term address = reinterpret_cast<lv_term>(new_address);
  lv_term* p = lv_gc_target(*t);
  for (;;) {
    LV_ASSERT(p != t);
    lv_term v = *p;
    *p = address | (v & LV_TAG_MASK);
    if (lv_gc_first(w, p)) {
      lv_gc_set_first(w, p, false);
      p = lv_gc_target(v);
      continue;
    }
    *t = (v & ~LV_TAG_MASK) | (*t & LV_TAG_MASK);
    return;
  }
}

// A word that may stand in a term's cell: no box header or trailer, no
// attributed-variable marker, no functor word.
inline bool lv_gc_term_word(lv_term v) {
  return !lv_is_atom(v) || (static_cast<int64_t>(v) >= 0 && lv_functor_arity(v) == 0);
}

// Marking (gc_mark.cpp): everything reachable from a word that points into
// the collected part, which the caller has found valid. Counts the cells.
void lv_gc_mark_from(lv_gc_state& g, lv_term v);
// Whether a word that points into the collected part points at something
// that is there: a cell that is no box word for a reference, a pair of such
// cells for a list, a whole structure or box for a structure pointer.
bool lv_gc_valid_pointer(const lv_gc_state& g, lv_term v);

// Roots (gc_roots.cpp).
// Flags the box bodies of the collected part; in a full collection also
// shortens the reference chains held in its cells (variable shunting).
void lv_gc_scan_collected(lv_gc_state& g, bool shunt);
// Registers the permanent variables of every frame reachable from the
// current frame and from the segment's choicepoints, and shortens their
// chains and those of the saved registers in a full collection.
void lv_gc_environment_pass(lv_gc_state& g, bool shunt);
// Marks from the trail, then from every other root.
void lv_gc_mark_roots(lv_gc_state& g);
// Zeroes the trail entries of collected cells and mutables that are not
// live (after marking).
void lv_gc_drop_dead_entries(lv_gc_state& g);
// Threads every root that points into the collected part.
void lv_gc_thread_roots(lv_gc_state& g);
// Copies back the words that were handled in scratch slots (argument
// registers, the culprit, the argument-vector pointer).
void lv_gc_restore_scratch_roots(lv_gc_state& g);

// The downward and upward passes (gc_compact.cpp); the new heap top.
lv_term* lv_gc_slide(lv_gc_state& g);

// The live size in bytes of the frame that continues at cp (0: no frame
// words known), the frame's first two words included.
uint64_t lv_gc_frame_bytes(const uint32_t* cp);

// Traces (gc_trace.cpp).
void lv_gc_trace_start(const lv_gc_state& g);
void lv_gc_trace_marked(const lv_gc_state& g, double seconds, int64_t garbage);
void lv_gc_trace_end(const lv_worker* w, uint64_t reclaimed, double seconds, double total_seconds);
