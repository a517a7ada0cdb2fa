// $fd_post_equality: X = Y + C. With a side fixed the other is told its
// value; with both open the two variables are coreferenced: their
// coreference lists (open lists of Key-Attribute pairs, shared by every
// attribute on them, Value + Key the same number for all members) are
// joined, and each variable's domain becomes the common part of both.
#include "kernel/arguments.h"
#include "kernel/attributes.h"
#include "kernel/clauses.h"
#include "kernel/foreign_predicates.h"
#include "kernel/posting.h"
#include "kernel/propagation.h"
#include "kernel/solver_state.h"
#include "kernel/state_terms.h"

namespace {

lv_term term_of(const lv_foreign_env* env, fd_t t) { return fd_deref(fd_termref(env, t)); }

constexpr int64_t ENTRY_WORDS = 5;  // a list cell and its Key-Attribute pair

// A coreference list: its entries up to the unbound tail.
struct coref_list {
  lv_term list;
  lv_term* tail;   // the unbound tail's cell
  int64_t length;
  int64_t key;     // the key of the attribute looked for
  bool found;
};

coref_list read_list(lv_term attribute, lv_term wanted) {
  coref_list c{fd_mutable_value(fd_struct_cells(attribute)[FD_ATTR_COREFERENCES]), nullptr, 0, 0, false};
  lv_term t = c.list;
  for (; fd_is_list(t); t = fd_deref(fd_list_cells(t)[1])) {
    c.length++;
    lv_term entry = fd_deref(fd_list_cells(t)[0]);
    if (fd_deref(fd_arg(entry, 2)) == wanted) {
      c.key = fd_small_value(fd_deref(fd_arg(entry, 1)));
      c.found = true;
    }
  }
  c.tail = fd_is_ref(t) ? fd_ref_cell(t) : nullptr;
  return c;
}

lv_term domain_set(const lv_foreign_env* env, lv_term domain) {
  return fd_is_small(domain) ? fdset_interval(env, domain, domain) : fd_deref(fd_arg(domain, 1));
}

// Tells the variable of the attribute that value, which must lie in its
// domain: -1 when it does not.
int64_t tell_value_in(lv_foreign_env* env, lv_term attribute, lv_term value, lv_term goal) {
  lv_term d = fd_attribute_domain(attribute);
  if (!fd_is_small(value) || !fdset_member(value, domain_set(env, d))) return -1;
  fd_tell_value(env, attribute, fd_deref(fd_arg(attribute, FD_ATTR_VAR)), value, 0);
  fd_report_overflow(env, goal);
  return 1;
}

}  // namespace

int64_t fd_post_equality(lv_foreign_env* env, fd_t goal, fd_t pair) {
  call_site site{"$fd_post_equality", 3, {goal, pair, -1}};
  lv_term g = term_of(env, goal), p = term_of(env, pair);
  if (!fd_is_compound_struct(g) || fd_functor_arity(fd_functor_of(g)) < 3 || !fd_is_small(fd_deref(fd_arg(g, 3)))) {
    fd_argument_error(env, site, 1, "equality_goal");
    return -1;
  }
  if (!fd_is_compound_struct(p) || fd_functor_arity(fd_functor_of(p)) != 2 ||
      fd_functor_of(fd_deref(fd_arg(p, 1))) != FD_FUNCTOR_V_7 ||
      fd_functor_of(fd_deref(fd_arg(p, 2))) != FD_FUNCTOR_V_7) {
    fd_argument_error(env, site, 2, "attribute_pair");
    return -1;
  }
  fd_solver_state* st = fd_state(env);
  fd_posting_open(env);
  for (;;) {
    fd_scratch_reset(env);
    g = term_of(env, goal);
    p = term_of(env, pair);
    lv_term c = fd_deref(fd_arg(g, 3));
    lv_term ax = fd_deref(fd_arg(p, 1)), ay = fd_deref(fd_arg(p, 2));
    lv_term dx = fd_attribute_domain(ax), dy = fd_attribute_domain(ay);
    if (fd_is_small(dx) && fd_is_small(dy)) return dx == fd_bound_add(dy, c) ? 1 : -1;
    if (fd_is_small(dx)) return tell_value_in(env, ay, fd_bound_sub(dx, c), g);
    if (fd_is_small(dy)) return tell_value_in(env, ax, fd_bound_add(dy, c), g);

    coref_list lx = read_list(ax, ax), ly = read_list(ay, ay);
    coref_list both = read_list(ax, ay);
    if (both.found) return ly.key - lx.key == fd_small_value(c) ? 1 : -1;
    if (lx.tail == nullptr || ly.tail == nullptr || !lx.found || !ly.found) {
      fd_argument_error(env, site, 2, "attribute_pair");
      return -1;
    }
    // The shorter list moves into the longer one (X's when they are as
    // long), its keys shifted so that Value + Key stays the longer list's
    // number.
    __int128 d = static_cast<__int128>(ly.key) - lx.key - fd_small_value(c);
    bool x_moves = lx.length <= ly.length;
    const coref_list& moving = x_moves ? lx : ly;
    const coref_list& staying = x_moves ? ly : lx;
    __int128 shift = x_moves ? d : -d;
    for (lv_term t = moving.list; fd_is_list(t); t = fd_deref(fd_list_cells(t)[1])) {
      __int128 k = fd_small_value(fd_deref(fd_arg(fd_deref(fd_list_cells(t)[0]), 1))) + shift;
      if (k < FD_SMALL_MIN || k > FD_SMALL_MAX) {
        fd_set_overflow(env, k < 0 ? FD_OVERFLOW_INF : FD_OVERFLOW_SUP);
        fd_report_overflow(env, g);
        return -1;
      }
    }
    fd_engine* w = fd_engine_of(env);
    int64_t words = ENTRY_WORDS * moving.length + 1;
    if (w->heap_hard_limit - w->H < words + FD_HEAP_RESERVE_CELLS) {
      fd_rt::call_overflow(env, words + FD_HEAP_RESERVE_CELLS, 0);
      continue;  // everything is read again
    }
    st->constraints++;
    lv_term* h = w->H;
    lv_term copy = FD_NIL;
    lv_term* link = &copy;
    for (lv_term t = moving.list; fd_is_list(t); t = fd_deref(fd_list_cells(t)[1])) {
      lv_term entry = fd_deref(fd_list_cells(t)[0]);
      h[0] = fd_make_struct(h + 2);
      h[2] = FD_FUNCTOR_MINUS_2;
      h[3] = fd_make_small(static_cast<int64_t>(fd_small_value(fd_deref(fd_arg(entry, 1))) + shift));
      h[4] = fd_deref(fd_arg(entry, 2));
      *link = fd_make_list(h);
      link = &h[1];
      h += ENTRY_WORDS;
    }
    *h = fd_make_ref(h);  // the joined list's new unbound tail
    *link = *h;
    w->H = h + 1;
    fd_bind(env, staying.tail, copy);
    fd_set_mutables(env, copy, staying.list);

    // Domains: X's set against Y's shifted by C. X is told the common
    // part, which the tell shares with Y through the joined list (shifted
    // back by C) and wakes Y's suspensions with.
    fdset sx = domain_set(env, dx), sy = fdset_add_constant(env, domain_set(env, dy), c);
    if (fdset_compare(sx, sy) == FDSET_EQUAL) return 1;
    fdset common = fdset_intersection(env, sx, sy);
    if (common == FD_NIL) return -1;  // the join is undone by the backtracking that follows
    fd_tell_fdset(env, ax, fd_deref(fd_arg(ax, FD_ATTR_VAR)), common, 0);
    fd_report_overflow(env, term_of(env, goal));
    return 1;
  }
}
