// Posting Boolean constraints: clauses over literals ($fd_post_clause) and
// disequations over 0/1 variables ($fd_post_disequation).
//
// A literal, and a Boolean of a disequation, is a term whose second
// argument is the variable's attribute (lit(Var, Attribute, _) as the
// library builds them), or the variable, or its value.
#include "kernel/arguments.h"
#include "kernel/attributes.h"
#include "kernel/clauses.h"
#include "kernel/foreign_predicates.h"
#include "kernel/posting.h"
#include "kernel/propagation.h"
#include "kernel/solver_state.h"
#include "kernel/state_terms.h"
#include "kernel/term_helpers.h"

namespace {

lv_term term_of(const lv_foreign_env* env, fd_t t) { return fd_deref(fd_termref(env, t)); }

// A Boolean as posting sees it: its attribute (0 for a value) and its
// value, or 0 (no term) while it is open.
struct boolean {
  lv_term attribute;
  lv_term value;
};

// The Boolean a literal names; false for a term that names none.
bool read_boolean(const lv_foreign_env* env, lv_term literal, boolean* out) {
  literal = fd_deref(literal);
  if (!fd_is_compound_struct(literal) || fd_functor_arity(fd_functor_of(literal)) < 2) return false;
  lv_term t = fd_deref(fd_arg(literal, 2));
  if (fd_is_ref(t)) {
    t = fd_rt::get_attributes(env, t, fd_state(env)->module);
    if (t == 0) return false;
    t = fd_deref(t);
  }
  if (fd_is_small(t)) {
    *out = {0, t};
    return true;
  }
  if (fd_functor_of(t) != FD_FUNCTOR_V_7) return false;
  lv_term d = fd_attribute_domain(t);
  *out = {t, fd_is_small(d) ? d : 0};
  return true;
}

bool boolean_list(const lv_foreign_env* env, lv_term list) {
  boolean b;
  for (list = fd_deref(list); list != FD_NIL; list = fd_deref(fd_list_cells(list)[1]))
    if (!read_boolean(env, fd_list_cells(list)[0], &b)) return false;
  return true;
}

// The literals of a list that are still open, as a new list (built in the
// heap room the caller made); *entailed is set when one of them is true
// already (positive: a value other than 0; negative: 0).
lv_term open_literals(const lv_foreign_env* env, lv_term list, bool positive, bool* entailed, int64_t* open) {
  fd_engine* w = fd_engine_of(env);
  lv_term head = FD_NIL;
  lv_term* link = &head;
  for (list = fd_deref(list); list != FD_NIL; list = fd_deref(fd_list_cells(list)[1])) {
    lv_term literal = fd_deref(fd_list_cells(list)[0]);
    boolean b;
    read_boolean(env, literal, &b);
    if (b.value != 0) {
      if ((b.value != fd_make_small(0)) == positive) *entailed = true;
      continue;
    }
    lv_term* h = w->H;
    w->H = h + 2;
    h[0] = literal;
    *link = fd_make_list(h);
    link = &h[1];
    (*open)++;
  }
  *link = FD_NIL;
  return head;
}

}  // namespace

void fd_post_clause(lv_foreign_env* env, fd_t pos, fd_t neg) {
  call_site site{"$fd_post_clause", 2, {pos, neg}};
  fd_solver_state* st = fd_state(env);
  int64_t np = fd_proper_length(fd_termref(env, pos)), nn = fd_proper_length(fd_termref(env, neg));
  if (np < 0 || !boolean_list(env, term_of(env, pos))) {
    fd_argument_error(env, site, 1, "literal_list");
    return;
  }
  if (nn < 0 || !boolean_list(env, term_of(env, neg))) {
    fd_argument_error(env, site, 2, "literal_list");
    return;
  }
  st->constraints++;
  fd_posting_open(env);
  // Literals fixed already: a true one entails the clause, a false one is
  // left out; the clause is posted over the open ones.
  fd_heap_room(env, 2 * (np + nn) + FD_HEAP_RESERVE_CELLS, 0);
  bool entailed = false;
  int64_t open = 0;
  lv_term_ref p = fd_rt::new_term_ref(env), q = fd_rt::new_term_ref(env);
  fd_termref(env, p) = open_literals(env, term_of(env, pos), true, &entailed, &open);
  fd_termref(env, q) = open_literals(env, term_of(env, neg), false, &entailed, &open);
  if (entailed) {
    st->entailments++;
  } else if (open == 0) {
    st->failures++;
    fd_rt::fail(env);
  } else if (open == 1) {
    // One literal left: it must hold.
    bool positive = term_of(env, p) != FD_NIL;
    lv_term literal = fd_deref(fd_list_cells(term_of(env, positive ? p : q))[0]);
    boolean b;
    read_boolean(env, literal, &b);
    lv_term v = fd_make_small(positive ? 1 : 0);
    lv_term d = fd_attribute_domain(b.attribute);
    if (!fdset_member(v, fd_deref(fd_arg(d, 1)))) {
      st->failures++;
      fd_rt::fail(env);
    } else {
      fd_tell_value(env, b.attribute, fd_deref(fd_arg(b.attribute, FD_ATTR_VAR)), v, 0);
      if (!fd_report_overflow(env, FD_NIL)) open = -1;
    }
  } else if (open == 2 && st->debug == 0) {
    fd_post_binary_implications(env, p, q, 0);
  } else {
    fd_post_clause_watchers(env, p, q, 0);
  }
  fd_rt::reset_term_refs(env, p);
}

void fd_post_disequation(lv_foreign_env* env, fd_t xs, fd_t ys, fd_w c) {
  call_site site{"$fd_post_disequation", 3, {xs, ys, -1}};
  fd_solver_state* st = fd_state(env);
  int64_t n = fd_proper_length(fd_termref(env, xs));
  bool coefficients = n >= 0;
  for (lv_term l = term_of(env, xs); coefficients && l != FD_NIL; l = fd_deref(fd_list_cells(l)[1]))
    coefficients = fd_is_small(fd_deref(fd_list_cells(l)[0]));
  if (!coefficients) {
    fd_argument_error(env, site, 1, "integer_list");
    return;
  }
  if (fd_proper_length(fd_termref(env, ys)) != n || !boolean_list(env, term_of(env, ys))) {
    fd_argument_error(env, site, 2, "boolean_list");
    return;
  }
  if (!fd_fits_small(c)) {
    fd_argument_error(env, site, 3, "integer");
    return;
  }
  st->constraints++;
  fd_posting_open(env);
  // disequation(Counter, Xs, Ys, C), then its counter $mutable(Open, 0),
  // then the copies of the two lists.
  fd_heap_room(env, 8 + 4 * n + FD_HEAP_RESERVE_CELLS, 0);
  fd_engine* w = fd_engine_of(env);
  lv_term* h = w->H;
  w->H = h + 8 + 4 * n;
  lv_term* xcells = h + 8;
  lv_term* ycells = xcells + 2 * n;
  int64_t open = 0;
  lv_term x = term_of(env, xs), y = term_of(env, ys);
  for (int64_t i = 0; i < n; i++, x = fd_deref(fd_list_cells(x)[1]), y = fd_deref(fd_list_cells(y)[1])) {
    xcells[2 * i] = fd_deref(fd_list_cells(x)[0]);
    xcells[2 * i + 1] = i + 1 < n ? fd_make_list(xcells + 2 * i + 2) : FD_NIL;
    ycells[2 * i] = fd_deref(fd_list_cells(y)[0]);
    ycells[2 * i + 1] = i + 1 < n ? fd_make_list(ycells + 2 * i + 2) : FD_NIL;
    boolean b;
    read_boolean(env, ycells[2 * i], &b);
    if (b.value == 0) open++;
  }
  h[0] = fd_functor(FD_ATOM_DISEQUATION, 4);
  h[1] = fd_make_struct(h + 5);
  h[2] = n > 0 ? fd_make_list(xcells) : FD_NIL;
  h[3] = n > 0 ? fd_make_list(ycells) : FD_NIL;
  h[4] = fd_make_small(c);
  h[5] = FD_FUNCTOR_MUTABLE_2;
  // The counter counts the Booleans still open: the item is decided once
  // one is left.
  h[6] = fd_make_small(open);
  h[7] = fd_make_small(0);
  lv_term_ref item = fd_rt::new_term_ref(env);
  fd_termref(env, item) = fd_make_struct(h);
  if (open <= 1) {
    fd_queue_push_front(env, 2, term_of(env, item));
  } else {
    // A suspension on every open Boolean; the walk's position lives in a
    // term reference, since adding a suspension may move the heap.
    lv_term_ref rest = fd_rt::new_term_ref(env);
    fd_termref(env, rest) = fd_deref(fd_arg(term_of(env, item), 3));
    while (fd_is_list(term_of(env, rest))) {
      lv_term cell = term_of(env, rest);
      fd_termref(env, rest) = fd_deref(fd_list_cells(cell)[1]);
      boolean b;
      read_boolean(env, fd_list_cells(cell)[0], &b);
      if (b.value == 0)
        fd_add_suspension(env, b.attribute, st->functors[FD_F_VAL_1], term_of(env, item), FD_NIL, 0);
    }
  }
  fd_rt::reset_term_refs(env, item);
}
