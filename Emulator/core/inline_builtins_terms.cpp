// The inline built-ins that build terms: =../2, functor/3, length/2 and
// append/3.
#include "core/bind.h"
#include "core/heap_list.h"
#include "core/inline_builtins.h"
#include "core/inline_builtins_support.h"
#include "core/numbers.h"
#include "core/predefined_atoms.h"
#include "core/text_lists.h"
#include "core/unify.h"
#include "embed/prolog_contract.h"
#include "store/static_code.h"

namespace {

// The elements =.. takes at most: a name and 255 arguments.
constexpr int64_t UNIV_MAX_ELEMENTS = 256;

// Functors that only their own built-ins make.
bool reserved_functor(lv_term functor) { return functor == LV_FUNCTOR_ARRAY1D_2 || functor == LV_FUNCTOR_MUTABLE_2; }

bool is_atomic_term(lv_term t) { return lv_is_atomic(t) || lv_is_box(t); }

// Binds an unbound variable (dereferenced) to a term that is not a variable.
void bind(lv_worker* w, lv_term var, lv_term value) { lv_bind(w, lv_ref_cell(var), value); }

// A new list cell [head | fresh variable]; *rest receives the variable.
lv_term push_open_cell(lv_worker* w, lv_term head, lv_term* rest) {
  lv_term* h = w->H;
  h[0] = head;
  h[1] = lv_make_ref(&h[1]);
  w->H = h + 2;
  *rest = h[1];
  return lv_make_list(h);
}

// T =.. L with T bound: [Name | Args] unified with L.
const uint32_t* univ_decompose(lv_worker* w, lv_term t, lv_term list, const uint32_t* next, lv_term* frame) {
  lv_term elements[UNIV_MAX_ELEMENTS];
  uint64_t n;
  if (lv_is_list(t)) {
    elements[0] = LV_ATOM_DOT;
    elements[1] = lv_list_cells(t)[0];
    elements[2] = lv_list_cells(t)[1];
    n = 3;
  } else if (lv_is_compound(t)) {
    const lv_term* cells = lv_struct_cells(t);
    unsigned arity = lv_functor_arity(cells[0]);
    elements[0] = lv_functor_atom(cells[0]);
    for (unsigned i = 1; i <= arity; i++) elements[i] = cells[i];
    n = arity + 1;
  } else {
    elements[0] = t;
    n = 1;
  }
  if (cunify(w, lv_push_list(w, elements, n), list) == 0) return lv_fail_code;
  return lv_inline_success(w, next, frame);
}

}  // namespace

const uint32_t* lv_inline_univ(lv_worker* w, lv_term t, lv_term list, const uint32_t* next, lv_term* frame) {
  lv_term term = lv_deref(t);
  if (!lv_is_ref(term)) return univ_decompose(w, term, list, next, frame);

  // T unbound: a proper list of at most 256 elements whose head names it.
  lv_term elements[UNIV_MAX_ELEMENTS];
  int64_t n = 0;
  lv_term l = lv_deref(list);
  while (lv_is_list(l) && n < UNIV_MAX_ELEMENTS) {
    elements[n++] = lv_list_cells(l)[0];
    l = lv_deref(lv_list_cells(l)[1]);
  }
  lv_term head = n > 0 ? lv_deref(elements[0]) : 0;
  int64_t arity = n - 1;
  lv_term built = 0;
  if (l != LV_ATOM_NIL || n == 0) {
    // a partial list, a list too long, or no list
  } else if (arity == 0) {
    if (is_atomic_term(head)) built = head;
  } else if (head == LV_ATOM_DOT && arity == 2) {
    lv_term* h = w->H;
    h[0] = elements[1];
    h[1] = elements[2];
    w->H = h + 2;
    built = lv_make_list(h);
  } else if (lv_is_atom(head) && !reserved_functor(lv_make_functor(head, static_cast<unsigned>(arity)))) {
    lv_term* h = w->H;
    h[0] = lv_make_functor(head, static_cast<unsigned>(arity));
    for (int64_t i = 1; i <= arity; i++) h[i] = elements[i];
    w->H = h + arity + 1;
    built = lv_make_struct(h);
  }
  if (built == 0) {
    lv_term args[] = {t, list};
    return lv_inline_fall_back(w, lv_role.univ_fallback, "=../2", args, 2, next, frame);
  }
  bind(w, term, built);
  return lv_inline_success(w, next, frame);
}

const uint32_t* lv_inline_functor(lv_worker* w, lv_term t, lv_term name, lv_term arity, const uint32_t* next,
                                  lv_term* frame) {
  lv_term term = lv_deref(t);
  if (lv_is_ref(term)) {
    lv_term a = lv_deref(arity);
    lv_term f = lv_deref(name);
    lv_term built = 0;
    if (lv_is_small(a) && lv_small_value(a) >= 0 && lv_small_value(a) <= 255 && is_atomic_term(f)) {
      unsigned n = static_cast<unsigned>(lv_small_value(a));
      if (n == 0) {
        built = f;
      } else if (lv_is_atom(f) && !reserved_functor(lv_make_functor(f, n))) {
        built = lv_make_skeleton(w, lv_make_functor(f, n));
      }
    }
    if (built == 0) {
      lv_term args[] = {t, name, arity};
      return lv_inline_fall_back(w, lv_role.functor_fallback, "functor/3", args, 3, next, frame);
    }
    bind(w, term, built);
    return lv_inline_success(w, next, frame);
  }

  lv_term found_name = term;
  int64_t found_arity = 0;
  if (lv_is_list(term)) {
    found_name = LV_ATOM_DOT;
    found_arity = 2;
  } else if (lv_is_compound(term)) {
    lv_term functor = lv_struct_cells(term)[0];
    found_name = lv_functor_atom(functor);
    found_arity = lv_functor_arity(functor);
  }
  if (cunify(w, arity, lv_make_small(found_arity)) == 0 || cunify(w, name, found_name) == 0) return lv_fail_code;
  return next;
}

const uint32_t* lv_inline_length(lv_worker* w, lv_term list, lv_term n, const uint32_t* next, lv_term* frame) {
  lv_term tail;
  int64_t count = lv_list_length_tail(list, &tail);
  lv_term length = lv_deref(n);
  lv_term whole[] = {list, n};
  if (count < 0) return lv_inline_fall_back(w, lv_role.length_fallback, "length/2", whole, 2, next, frame);

  if (lv_is_ref(length)) {
    if (tail == LV_ATOM_NIL) {
      bind(w, length, lv_make_small(count));
      return next;
    }
    // A partial list has many lengths; a tail that is no list is left to
    // the Prolog definition, which knows what to do with it.
    return lv_inline_fall_back(w, lv_role.length_fallback, "length/2", whole, 2, next, frame);
  }
  if (!lv_is_small(length) || lv_small_value(length) < 0)
    return lv_inline_fall_back(w, lv_role.length_fallback, "length/2", whole, 2, next, frame);

  int64_t remaining = lv_small_value(length) - count;
  if (tail == LV_ATOM_NIL) return remaining == 0 ? next : lv_fail_code;
  if (!lv_is_ref(tail) || remaining < 0) return lv_fail_code;
  // The open tail gets the remaining cells of fresh variables, one by one;
  // at the heap limit the Prolog definition adds the rest.
  for (; remaining > 0; remaining--) {
    if (!lv_inline_heap_room(w, 2)) {
      lv_term rest[] = {tail, lv_make_small(remaining)};
      return lv_inline_fall_back(w, lv_role.length_fallback, "length/2", rest, 2, next, frame);
    }
    lv_term rest;
    lv_term cell = push_open_cell(w, lv_make_ref(w->H), &rest);  // the head: a fresh variable in its own cell
    bind(w, tail, cell);
    tail = rest;
  }
  bind(w, tail, LV_ATOM_NIL);
  return lv_inline_success(w, next, frame);
}

const uint32_t* lv_inline_append(lv_worker* w, lv_term l1, lv_term l2, lv_term l3, const uint32_t* next,
                                 lv_term* frame) {
  lv_term a = lv_deref(l1);
  lv_term c = lv_deref(l3);
  // While L3 is bound, both lists are walked in step. Brent's cycle test on
  // L3 ends the walk when both are cyclic.
  lv_term saved = c;
  int64_t power = 1, since = 0;
  while (!lv_is_ref(c)) {
    if (a == LV_ATOM_NIL) return cunify(w, l2, c) != 0 ? next : lv_fail_code;
    if (lv_is_ref(a)) break;
    if (!lv_is_list(a) || !lv_is_list(c)) return lv_fail_code;
    if (cunify(w, lv_list_cells(a)[0], lv_list_cells(c)[0]) == 0) return lv_fail_code;
    a = lv_deref(lv_list_cells(a)[1]);
    c = lv_deref(lv_list_cells(c)[1]);
    if (c == saved) break;
    if (++since == power) {
      saved = c;
      power *= 2;
      since = 0;
    }
  }
  // L3's rest is unbound: it gets L1's elements cell by cell.
  while (lv_is_ref(c)) {
    if (a == LV_ATOM_NIL) {
      if (cunify(w, l2, c) == 0) return lv_fail_code;
      return lv_inline_success(w, next, frame);
    }
    if (!lv_is_list(a) && !lv_is_ref(a)) return lv_fail_code;
    if (lv_is_ref(a) || !lv_inline_heap_room(w, 2)) break;
    lv_term rest;
    lv_term cell = push_open_cell(w, lv_list_cells(a)[0], &rest);
    bind(w, c, cell);
    c = rest;
    a = lv_deref(lv_list_cells(a)[1]);
  }
  lv_term args[] = {a, l2, c};
  return lv_inline_fall_back(w, lv_role.append_fallback, "append/3", args, 3, next, frame);
}
