// Clause watchers, binary implications, coreference lists and calling a
// propagator by name.
#include "kernel/attributes.h"
#include "kernel/clauses.h"
#include "kernel/memory.h"
#include "kernel/propagation.h"
#include "kernel/solver_state.h"
#include "kernel/state_terms.h"

namespace {

constexpr int64_t CLAUSE_RESERVE = 1159;

// The numbers of the literals of both lists, positives first: i for the
// i-th positive, -j for the j-th negative.
void numbers(const lv_foreign_env* env, lv_term pos, lv_term neg, fd_words* out) {
  int64_t i = 1;
  for (lv_term l = fd_deref(pos); fd_is_list(l); l = fd_deref(fd_list_cells(l)[1]))
    fd_words_push(env, out, static_cast<uint64_t>(i++));
  i = 1;
  for (lv_term l = fd_deref(neg); fd_is_list(l); l = fd_deref(fd_list_cells(l)[1]))
    fd_words_push(env, out, static_cast<uint64_t>(-i++));
}

// The literal numbered k of the two lists.
lv_term literal_at(lv_term pos, lv_term neg, int64_t k) {
  lv_term l = fd_deref(k > 0 ? pos : neg);
  for (int64_t i = 1; i < (k > 0 ? k : -k); i++) l = fd_deref(fd_list_cells(l)[1]);
  return fd_deref(fd_list_cells(l)[0]);
}

// The solver attribute of a literal (lit(Var, Attribute, _): its second
// argument, or the attribute of a variable there), or 0 for a literal whose
// variable has none.
lv_term literal_attribute(const lv_foreign_env* env, lv_term lit) {
  lv_term t = fd_deref(fd_arg(lit, 2));
  if (fd_functor_of(t) == FD_FUNCTOR_V_7) return t;
  if (!fd_is_ref(t)) return 0;
  lv_term a = fd_rt::get_attributes(env, t, fd_state(env)->module);
  return a == 0 ? 0 : fd_deref(a);
}

// Whether the attribute is of a variable still open (suspensions are kept
// only on those).
bool open_attribute(lv_term attribute) {
  return attribute != 0 && !fd_is_small(fd_attribute_domain(attribute));
}

}  // namespace

void fd_post_clause_watchers(const lv_foreign_env* env, lv_term_ref pos, lv_term_ref neg, int live) {
  fd_words nums;
  fd_words_init(&nums);
  numbers(env, fd_termref(env, pos), fd_termref(env, neg), &nums);
  int64_t n = nums.count;
  auto num = [&](int64_t i) { return static_cast<int64_t>(nums.data[i]); };
  if (n == 0) {
    fd_words_free(env, &nums);
    return;
  }
  fd_heap_room(env, CLAUSE_RESERVE + 2 * n + 7 + 6 * n, live);
  fd_engine* w = fd_engine_of(env);
  lv_term p = fd_deref(fd_termref(env, pos)), q = fd_deref(fd_termref(env, neg));
  lv_term* c = w->H;
  w->H += 7;
  c[0] = fd_functor(FD_ATOM_CLAUSE, 6);
  c[1] = fd_make_small(n >= 2 ? num(n - 2) : num(0));
  c[2] = fd_make_small(num(n - 1));
  c[3] = fd_make_small(0);
  c[4] = fd_make_ref(&c[4]);
  c[5] = p;
  c[6] = q;
  lv_term_ref clause = fd_rt::new_term_ref(env);
  fd_termref(env, clause) = fd_make_struct(c);
  for (int64_t i = 0; i < n; i++) {
    fd_heap_room(env, 6 + FD_HEAP_RESERVE_CELLS, live);
    p = fd_deref(fd_termref(env, pos));
    q = fd_deref(fd_termref(env, neg));
    lv_term attribute = literal_attribute(env, literal_at(p, q, num(i)));
    if (!open_attribute(attribute)) continue;
    lv_term cl = fd_deref(fd_termref(env, clause));
    lv_term* h = w->H;
    w->H += 6;
    h[0] = fd_functor(FD_ATOM_WATCHER, 5);
    h[1] = fd_make_small(num(i));
    if (n == 2) {
      int64_t other = num(1 - i);
      h[2] = fd_arg(literal_at(p, q, other), 2);
      h[3] = fd_make_small(other > 0 ? 1 : 2);
    } else {
      h[2] = FD_NIL;
      h[3] = fd_make_small(0);
    }
    h[4] = fd_make_ref(&fd_struct_cells(cl)[4]);
    h[5] = cl;
    fd_add_suspension(env, attribute, fd_state(env)->functors[FD_F_VAL_1], fd_make_struct(h), FD_NIL, live);
  }
  fd_rt::reset_term_refs(env, clause);
  fd_words_free(env, &nums);
}

void fd_post_binary_implications(const lv_foreign_env* env, lv_term_ref pos, lv_term_ref neg, int live) {
  fd_words nums;
  fd_words_init(&nums);
  numbers(env, fd_termref(env, pos), fd_termref(env, neg), &nums);
  int64_t n0 = nums.count == 2 ? static_cast<int64_t>(nums.data[0]) : 0;
  int64_t n1 = nums.count == 2 ? static_cast<int64_t>(nums.data[1]) : 0;
  fd_words_free(env, &nums);
  if (n0 == 0) return;
  fd_heap_room(env, CLAUSE_RESERVE + 10, live);
  fd_engine* w = fd_engine_of(env);
  lv_term p = fd_deref(fd_termref(env, pos)), q = fd_deref(fd_termref(env, neg));
  lv_term a = literal_at(p, q, n0), b = literal_at(p, q, n1);
  // A literal is made true by 1 when positive, by 0 when negative; the term
  // on a literal's variable forces the other literal once this one is false.
  lv_term ta = fd_make_small(n0 > 0 ? 1 : 0), tb = fd_make_small(n1 > 0 ? 1 : 0);
  lv_term fa = fd_make_small(n0 > 0 ? 0 : 1), fb = fd_make_small(n1 > 0 ? 0 : 1);
  lv_term* h = w->H;
  w->H += 10;
  // On a: implication(b, tb, a, ta), woken when a takes its false value.
  h[0] = fd_functor(FD_ATOM_IMPLICATION, 4);
  h[1] = b;
  h[2] = tb;
  h[3] = a;
  h[4] = ta;
  h[5] = fd_functor(FD_ATOM_IMPLICATION, 4);
  h[6] = a;
  h[7] = ta;
  h[8] = b;
  h[9] = tb;
  lv_term_ref on_a = fd_rt::new_term_ref(env), on_b = fd_rt::new_term_ref(env);
  fd_termref(env, on_a) = fd_make_struct(h);
  fd_termref(env, on_b) = fd_make_struct(h + 5);
  lv_term val = fd_state(env)->functors[FD_F_VAL_1];
  lv_term attr_a = literal_attribute(env, a);
  if (open_attribute(attr_a)) fd_add_suspension(env, attr_a, val, fd_termref(env, on_a), fa, live);
  // The heap may have moved: b is read again from the term on it.
  lv_term attr_b = literal_attribute(env, fd_deref(fd_arg(fd_deref(fd_termref(env, on_b)), 3)));
  if (open_attribute(attr_b)) fd_add_suspension(env, attr_b, val, fd_deref(fd_termref(env, on_b)), fb, live);
  fd_rt::reset_term_refs(env, on_a);
}

void fd_set_mutables(const lv_foreign_env* env, lv_term list, lv_term value) {
  for (lv_term l = fd_deref(list); fd_is_list(l); l = fd_deref(fd_list_cells(l)[1])) {
    lv_term pair = fd_deref(fd_list_cells(l)[0]);
    if (fd_functor_of(pair) != FD_FUNCTOR_MINUS_2) continue;
    lv_term attribute = fd_deref(fd_arg(pair, 2));
    if (fd_functor_of(attribute) != FD_FUNCTOR_V_7) continue;
    fd_trail_assign(env, value, fd_struct_cells(attribute)[FD_ATTR_COREFERENCES]);
  }
}

int fd_call_propagator_by_name(lv_foreign_env* env, lv_term name, int64_t arity, lv_term_ref state,
                               lv_term_ref new_state, lv_term_ref actions, lv_term_ref goal) {
  name = fd_deref(name);
  lv_term atom = fd_is_atom(name) ? name : fd_functor_name(fd_functor_of(name));
  if (!fd_is_atom(atom) || arity < 0 || arity > 255) return 0;
  fd_propagator_fn fn = fd_find_propagator(env, arity == 0 ? atom : fd_functor(atom, static_cast<unsigned>(arity)));
  if (fn == nullptr) return 0;
  int ok = fn(env, state, new_state, actions, goal);
  return ok && fd_state(env)->pending_overflow == FD_OVERFLOW_NONE ? 1 : 0;
}
