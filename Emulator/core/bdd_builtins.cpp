// The decision-diagram built-ins.
#include "core/bdd_builtins.h"

#include "core/bdd_tables.h"
#include "core/bind.h"
#include "core/memory.h"
#include "core/stack_shift.h"
#include "core/term_compare.h"
#include "core/text_lists.h"
#include "core/unify.h"

namespace {

enum diagram : int { NOT_A_DIAGRAM = -1, ZERO = 0, ONE = 1, POS = 2, NEG = 3 };

const lv_term TERMINAL_0 = lv_make_small(0);
const lv_term TERMINAL_1 = lv_make_small(1);

// The class of a dereferenced word.
diagram kind_of(lv_term t) {
  if (t == TERMINAL_0) return ZERO;
  if (t == TERMINAL_1) return ONE;
  if (!lv_is_struct(t)) return NOT_A_DIAGRAM;
  lv_term f = *lv_struct_cells(t);
  return f == LV_FUNCTOR_BDD_POS ? POS : f == LV_FUNCTOR_BDD_NEG ? NEG : NOT_A_DIAGRAM;
}

lv_term arg(lv_worker* w, unsigned i) { return lv_deref(w->X[i]); }

// Room for the cells a built-in may build, its arguments kept.
void room(lv_worker* w, int64_t cells, unsigned arity) {
  if (w->heap_hard_limit - w->H < cells) call_overflow(w, cells, arity);
}

lv_term complement(lv_worker* w, lv_term d) {
  switch (kind_of(d)) {
    case ZERO:
      return TERMINAL_1;
    case ONE:
      return TERMINAL_0;
    default: {
      const lv_term* c = lv_struct_cells(d);
      return lv_bdd_node(w, c[0] ^ (LV_FUNCTOR_BDD_POS ^ LV_FUNCTOR_BDD_NEG), c[1], c[2], c[3]);
    }
  }
}

// The children of a node's meaning.
void meaning(lv_worker* w, lv_term node, lv_term* low, lv_term* high) {
  const lv_term* c = lv_struct_cells(node);
  if (c[0] == LV_FUNCTOR_BDD_POS) {
    *low = c[2];
    *high = c[3];
  } else {
    *low = complement(w, c[2]);
    *high = complement(w, c[3]);
  }
}

bool complements(lv_term a, lv_term b) {
  const lv_term* x = lv_struct_cells(a);
  const lv_term* y = lv_struct_cells(b);
  return x[0] != y[0] && x[1] == y[1] && x[2] == y[2] && x[3] == y[3];
}

// A value kept in a table must not be a local-stack variable: such a
// variable is bound to a new heap variable first.
lv_term heap_value(lv_worker* w, lv_term v) {
  if (!lv_is_ref(v) || lv_ref_cell(v) < w->H) return v;
  lv_term* cell = w->H++;
  *cell = lv_make_ref(cell);
  lv_bind(w, lv_ref_cell(v), *cell);
  return *cell;
}

}  // namespace

int prolog_bdd_build(lv_worker* w) {
  room(w, 12, 4);
  lv_term var = arg(w, 0), low = arg(w, 1), high = arg(w, 2);
  diagram kl = kind_of(low);
  if (!lv_is_atomic(var) || kl == NOT_A_DIAGRAM || kind_of(high) == NOT_A_DIAGRAM) return 0;
  if (low == high) return cunify(w, w->X[3], low);
  lv_term node = kl == ZERO || kl == NEG
                     ? lv_bdd_node(w, LV_FUNCTOR_BDD_NEG, var, complement(w, low), complement(w, high))
                     : lv_bdd_node(w, LV_FUNCTOR_BDD_POS, var, low, high);
  return cunify(w, w->X[3], node);
}

int prolog_bdd_parts(lv_worker* w) {
  room(w, 8, 4);
  lv_term node = arg(w, 0);
  if (kind_of(node) < POS) return 0;
  lv_term low, high;
  meaning(w, node, &low, &high);
  return cunify(w, w->X[1], lv_struct_cells(node)[1]) && cunify(w, w->X[2], low) && cunify(w, w->X[3], high);
}

int prolog_bdd_store(lv_worker* w) {
  room(w, 5, 4);
  lv_term a = arg(w, 0), b = arg(w, 1), c = arg(w, 2);
  if (lv_is_ref(a) || lv_is_ref(b) || lv_is_ref(c)) return 0;
  if (lv_bdd_entry* e = lv_bdd_memo_find(w, a, b, c)) return cunify(w, w->X[3], e->value);
  lv_bdd_memo_add(w, a, b, c, heap_value(w, arg(w, 3)));
  return 1;
}

int prolog_bdd_negate(lv_worker* w) {
  room(w, 4, 2);
  lv_term d = arg(w, 0);
  if (kind_of(d) == NOT_A_DIAGRAM) return 0;
  return cunify(w, w->X[1], complement(w, d));
}

int prolog_bdd_equiv(lv_worker* w) { return arg(w, 0) == arg(w, 1) ? 1 : 0; }

int prolog_bdd_antiv(lv_worker* w) {
  lv_term a = arg(w, 0), b = arg(w, 1);
  diagram ka = kind_of(a), kb = kind_of(b);
  if (ka == NOT_A_DIAGRAM || kb == NOT_A_DIAGRAM) return 0;
  if (ka < POS || kb < POS) return ka + kb == ZERO + ONE && ka != kb ? 1 : 0;
  return complements(a, b) ? 1 : 0;
}

int prolog_bdd_transv(lv_worker* w) {
  lv_term a = arg(w, 0), b = arg(w, 1);
  int order = 0;
  if (kind_of(a) >= POS && kind_of(b) >= POS) {
    const lv_term* x = lv_struct_cells(a);
    const lv_term* y = lv_struct_cells(b);
    if (x[1] == y[1]) {
      for (unsigned i = 2; i <= 3 && order == 0; i++) order = x[i] < y[i] ? -1 : x[i] > y[i] ? 1 : 0;
    }
  }
  return cunify(w, w->X[2], lv_make_small(order));
}

int prolog_bdd_type(lv_worker* w) {
  lv_term a = arg(w, 0), b = arg(w, 1);
  diagram ka = kind_of(a), kb = kind_of(b);
  if (ka == NOT_A_DIAGRAM || kb == NOT_A_DIAGRAM) return 0;
  int code;
  if (a == b)
    code = -1;
  else if (ka == ZERO)
    code = kb == ONE ? 1 : 3;
  else if (ka == ONE)
    code = kb == ZERO ? 0 : 2;
  else if (kb == ZERO)
    code = 4;
  else if (kb == ONE)
    code = 5;
  else
    code = complements(a, b) ? 6 : 7;
  return cunify(w, w->X[2], lv_make_small(code));
}

int prolog_bdd_univ_case(lv_worker* w) {
  room(w, 24, 11);
  lv_term d[3];
  int code = 0;
  lv_term top = 0;
  for (unsigned i = 0; i < 3; i++) {
    d[i] = arg(w, i);
    diagram k = kind_of(d[i]);
    if (k == NOT_A_DIAGRAM) return 0;
    code = code * 4 + k;
    if (k >= POS) {
      lv_term var = lv_struct_cells(d[i])[1];
      if (top == 0 || lv_standard_order(w, var, top) < 0) top = var;
    }
  }
  if (!cunify(w, w->X[3], lv_make_small(code)) || !cunify(w, w->X[4], top == 0 ? LV_ATOM_NIL : top)) return 0;
  for (unsigned i = 0; i < 3; i++) {
    lv_term low = d[i], high = d[i];
    if (kind_of(d[i]) >= POS && lv_struct_cells(d[i])[1] == top) meaning(w, d[i], &low, &high);
    if (!cunify(w, w->X[5 + 2 * i], low) || !cunify(w, w->X[6 + 2 * i], high)) return 0;
  }
  return 1;
}

int prolog_bdd_subst_case(lv_worker* w) {
  lv_term d = arg(w, 0);
  diagram k = kind_of(d);
  if (k == NOT_A_DIAGRAM) return 0;
  if (k < POS) return cunify(w, w->X[1], lv_make_small(k));
  if (lv_bdd_entry* e = lv_bdd_subst_find(w, d)) return cunify(w, w->X[1], lv_make_small(4)) && cunify(w, w->X[2], e->value);
  const lv_term* c = lv_struct_cells(d);
  return cunify(w, w->X[1], lv_make_small(k)) && cunify(w, w->X[2], c[1]) && cunify(w, w->X[3], c[2]) &&
         cunify(w, w->X[4], c[3]);
}

int prolog_bdd_subst_reset(lv_worker* w) {
  lv_bdd_subst_clear(w);
  return 1;
}

int prolog_bdd_subst_store(lv_worker* w) {
  room(w, 3, 2);
  lv_term node = arg(w, 0);
  if (kind_of(node) < POS) return 0;
  if (lv_bdd_entry* e = lv_bdd_subst_find(w, node)) return cunify(w, w->X[1], e->value);
  lv_bdd_subst_add(w, node, heap_value(w, arg(w, 1)));
  return 1;
}

int prolog_bdd_vector_size(lv_worker* w) {
  lv_term list = arg(w, 0);
  if (lv_proper_list_length(list) < 0) return 0;
  // Each node met is marked by flipping bit 0 of its functor word and
  // recorded; the records serve as the work list and for unmarking.
  constexpr uint32_t FLAGS = lv_mem_flags(LV_CAT_BDD_HASH);
  uint64_t capacity = 64, count = 0;
  lv_term** seen = static_cast<lv_term**>(lv_mem_alloc(capacity * sizeof(lv_term*), FLAGS));
  bool ok = true;
  auto visit = [&](lv_term d) {
    if (!lv_is_struct(d)) return;
    lv_term* c = lv_struct_cells(d);
    if (c[0] != LV_FUNCTOR_BDD_POS && c[0] != LV_FUNCTOR_BDD_NEG) return;  // a terminal, or marked
    c[0] ^= 1;
    if (count == capacity) {
      seen = static_cast<lv_term**>(
          lv_mem_realloc(seen, capacity * sizeof(lv_term*), 2 * capacity * sizeof(lv_term*), FLAGS));
      capacity *= 2;
    }
    seen[count++] = c;
  };
  for (lv_term l = list; ok && lv_is_list(l); l = lv_deref(lv_list_cells(l)[1])) {
    lv_term d = lv_deref(lv_list_cells(l)[0]);
    lv_term f = lv_is_struct(d) ? *lv_struct_cells(d) | 1 : 0;
    ok = d == TERMINAL_0 || d == TERMINAL_1 || f == LV_FUNCTOR_BDD_POS || f == LV_FUNCTOR_BDD_NEG;
    if (ok) visit(d);
  }
  for (uint64_t i = 0; ok && i < count; i++) {
    visit(seen[i][2]);
    visit(seen[i][3]);
  }
  for (uint64_t i = 0; i < count; i++) seen[i][0] ^= 1;
  lv_mem_free(seen, capacity * sizeof(lv_term*), FLAGS);
  return ok && cunify(w, w->X[1], lv_make_small(static_cast<int64_t>(count))) ? 1 : 0;
}
