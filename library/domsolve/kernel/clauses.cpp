// Clause watchers, binary implications, coreference lists and calling a
// propagator by name.
#include <vector>

#include "kernel/attributes.h"
#include "kernel/clauses.h"
#include "kernel/propagation.h"
#include "kernel/solver_state.h"
#include "kernel/state_terms.h"

namespace {

constexpr int64_t CLAUSE_RESERVE = 1159;

// The numbers of the literals of both lists, positives first: i for the
// i-th positive, -j for the j-th negative.
std::vector<int64_t> numbers(lv_term pos, lv_term neg) {
  std::vector<int64_t> out;
  int64_t i = 1;
  for (lv_term l = fd_deref(pos); fd_is_list(l); l = fd_deref(fd_list_cells(l)[1])) out.push_back(i++);
  i = 1;
  for (lv_term l = fd_deref(neg); fd_is_list(l); l = fd_deref(fd_list_cells(l)[1])) out.push_back(-i++);
  return out;
}

// The literal numbered k of the two lists.
lv_term literal_at(lv_term pos, lv_term neg, int64_t k) {
  lv_term l = fd_deref(k > 0 ? pos : neg);
  for (int64_t i = 1; i < (k > 0 ? k : -k); i++) l = fd_deref(fd_list_cells(l)[1]);
  return fd_deref(fd_list_cells(l)[0]);
}

lv_term literal_var(lv_term lit) { return fd_deref(fd_arg(lit, 2)); }

// The solver attribute of an unbound variable, or 0.
lv_term attribute_of(const lv_foreign_env* env, lv_term var) {
  if (!fd_is_ref(var)) return 0;
  lv_term a = fd_rt::get_attributes(env, var, fd_state(env)->module);
  return a == 0 ? 0 : fd_deref(a);
}

}  // namespace

void fd_post_clause_watchers(const lv_foreign_env* env, lv_term_ref pos, lv_term_ref neg, int live) {
  std::vector<int64_t> nums = numbers(fd_termref(env, pos), fd_termref(env, neg));
  int64_t n = static_cast<int64_t>(nums.size());
  if (n == 0) return;
  fd_heap_room(env, CLAUSE_RESERVE + 2 * n + 7 + 6 * n, live);
  fd_engine* w = fd_engine_of(env);
  lv_term p = fd_deref(fd_termref(env, pos)), q = fd_deref(fd_termref(env, neg));
  lv_term* c = w->H;
  w->H += 7;
  c[0] = fd_functor(FD_ATOM_CLAUSE, 6);
  c[1] = fd_make_small(n >= 2 ? nums[n - 2] : nums[0]);
  c[2] = fd_make_small(nums[n - 1]);
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
    lv_term var = literal_var(literal_at(p, q, nums[i]));
    lv_term attribute = attribute_of(env, var);
    if (attribute == 0) continue;
    lv_term cl = fd_deref(fd_termref(env, clause));
    lv_term* h = w->H;
    w->H += 6;
    h[0] = fd_functor(FD_ATOM_WATCHER, 5);
    h[1] = fd_make_small(nums[i]);
    if (n == 2) {
      int64_t other = nums[1 - i];
      h[2] = literal_var(literal_at(p, q, other));
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
}

void fd_post_binary_implications(const lv_foreign_env* env, lv_term_ref pos, lv_term_ref neg, int live) {
  std::vector<int64_t> nums = numbers(fd_termref(env, pos), fd_termref(env, neg));
  if (nums.size() != 2) return;
  fd_heap_room(env, CLAUSE_RESERVE + 10, live);
  fd_engine* w = fd_engine_of(env);
  lv_term p = fd_deref(fd_termref(env, pos)), q = fd_deref(fd_termref(env, neg));
  lv_term a = literal_at(p, q, nums[0]), b = literal_at(p, q, nums[1]);
  // A literal is made true by 1 when positive, by 0 when negative; the term
  // on a literal's variable forces the other literal once this one is false.
  lv_term ta = fd_make_small(nums[0] > 0 ? 1 : 0), tb = fd_make_small(nums[1] > 0 ? 1 : 0);
  lv_term fa = fd_make_small(nums[0] > 0 ? 0 : 1), fb = fd_make_small(nums[1] > 0 ? 0 : 1);
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
  lv_term attr_a = attribute_of(env, literal_var(a));
  if (attr_a != 0) fd_add_suspension(env, attr_a, val, fd_termref(env, on_a), fa, live);
  // The heap may have moved: b is read again from the term on it.
  lv_term attr_b = attribute_of(env, literal_var(fd_deref(fd_arg(fd_deref(fd_termref(env, on_b)), 3))));
  if (attr_b != 0) fd_add_suspension(env, attr_b, val, fd_deref(fd_termref(env, on_b)), fb, live);
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
