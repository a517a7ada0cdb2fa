// Domain-variable attributes and the foreign predicates that give, walk and
// drop them.
#include "kernel/attributes.h"

#include "kernel/engine.h"
#include "kernel/foreign_predicates.h"
#include "kernel/handles.h"
#include "kernel/solver_state.h"
#include "kernel/state_terms.h"
#include "kernel/term_helpers.h"

namespace {

// The fresh attribute, laid out in 32 words built at once: words that are
// not atomic hold offsets from the start of the copy (with their tags) and
// are relocated by adding the copy's address. Var (word 2), Min, Max and
// Size (24-26) are filled in afterwards. The one-interval set [[Min|Max]]
// (word 23) shares its interval cell with dom/4's Min and Max.
constexpr lv_term at(unsigned word, uint64_t tag) { return lv_term{word} * 8 + tag; }
constexpr lv_term ZERO = (lv_term{0} << 3) | FD_TAG_SMALL;
constexpr lv_term ONE = (lv_term{1} << 3) | FD_TAG_SMALL;
constexpr int TEMPLATE_WORDS = 32;
constexpr unsigned T_VAR = 2, T_MIN = 24, T_MAX = 25, T_SIZE = 26;
constexpr lv_term attribute_template[TEMPLATE_WORDS] = {
    FD_FUNCTOR_V_7, ONE, 0, at(8, FD_TAG_STRUCT), at(11, FD_TAG_STRUCT), at(14, FD_TAG_STRUCT),
    at(17, FD_TAG_STRUCT), ZERO,
    FD_FUNCTOR_MUTABLE_2, at(22, FD_TAG_STRUCT), ZERO,  // 8: $mutable(dom(...), 0)
    FD_FUNCTOR_MUTABLE_2, FD_NIL, ZERO,                   // 11: $mutable([], 0)
    FD_FUNCTOR_MUTABLE_2, ZERO, ZERO,                     // 14: $mutable(0, 0)
    FD_FUNCTOR_MUTABLE_2, at(20, FD_TAG_LIST), ZERO,      // 17: $mutable([0-Attr | _], 0)
    at(29, FD_TAG_STRUCT), at(21, FD_TAG_REF),            // 20: [0-Attr | _]
    FD_FUNCTOR_DOM_4, at(27, FD_TAG_LIST), 0, 0, 0,       // 22: dom(Set, Min, Max, Size)
    at(24, FD_TAG_LIST), FD_NIL,                          // 27: [[Min|Max]]
    FD_FUNCTOR_MINUS_2, ZERO, at(0, FD_TAG_STRUCT),       // 29: 0-Attr
};
constexpr int INTEGER_WORDS = 11;

// Heap words kept free beyond the engine's reserve while building one.
constexpr int64_t ATTRIBUTE_ROOM = 292;

const lv_module* solver_module(const lv_foreign_env* env) { return fd_state(env)->module; }

lv_term term_of(const lv_foreign_env* env, fd_t t) { return fd_deref(fd_termref(env, t)); }

// Whether an attribute's domain has integer bounds: a value, or dom/4 with
// small-integer Min and Max.
bool finite_domain(lv_term attribute) {
  lv_term d = fd_attribute_domain(attribute);
  if (fd_is_small(d)) return true;
  const lv_term* dom = fd_struct_cells(d);
  return fd_is_small(fd_deref(dom[2])) && fd_is_small(fd_deref(dom[3]));
}

}  // namespace

lv_term fd_make_dvar_attribute(const lv_foreign_env* env, lv_term var, lv_term min, lv_term max, lv_term size,
                               int64_t extra, int xreg) {
  fd_engine* w = fd_engine_of(env);
  // The room kept beyond the engine's reserve covers the attribute and what
  // the runtime's attaching makes sure of before it would grow the heap.
  if (w->heap_hard_limit - w->H < extra + ATTRIBUTE_ROOM) {
    w->X[xreg] = var;
    fd_rt::call_overflow(env, extra + ATTRIBUTE_ROOM, xreg + 1);
    var = w->X[xreg];
  }
  var = fd_deref(var);
  if (fd_is_small(var)) {
    lv_term* h = w->H;
    h[0] = FD_FUNCTOR_V_7;
    h[1] = ONE;
    h[2] = var;
    h[3] = fd_make_struct(h + 8);
    h[4] = h[5] = h[6] = h[7] = ZERO;
    h[8] = FD_FUNCTOR_MUTABLE_2;
    h[9] = var;
    h[10] = ZERO;
    w->H = h + INTEGER_WORDS;
    return fd_make_struct(h);
  }
  if (!fd_is_ref(var)) return 0;
  lv_term existing = fd_rt::get_attributes(env, var, solver_module(env));
  if (existing != 0) return existing;
  lv_term* h = w->H;
  lv_term base = reinterpret_cast<lv_term>(h);
  for (int i = 0; i < TEMPLATE_WORDS; i++) {
    lv_term t = attribute_template[i];
    h[i] = fd_is_atomic(t) || t == 0 ? t : t + base;
  }
  h[T_MIN] = min;
  h[T_MAX] = max;
  h[T_SIZE] = size;
  h[T_VAR] = var;
  w->H = h + TEMPLATE_WORDS;
  // The runtime's attaching passes the variable and the attribute in X0 and
  // X1; the room made above is the most it needs, so nothing moves, and the
  // caller's X0 and X1 are put back.
  lv_term x0 = w->X[0], x1 = w->X[1];
  lv_term attribute = fd_make_struct(h);
  fd_rt::put_attributes(env, var, solver_module(env), attribute);
  w->X[0] = x0;
  w->X[1] = x1;
  fd_struct_cells(attribute)[FD_ATTR_VAR] = fd_deref(var);
  return attribute;
}

lv_term fd_deref_attribute(const lv_foreign_env* env, lv_term term) {
  term = fd_deref(term);
  if (!fd_is_ref(term)) return term;
  lv_term attribute = fd_rt::get_attributes(env, term, solver_module(env));
  if (attribute == 0) return term;
  lv_term d = fd_attribute_domain(attribute);
  return fd_is_small(d) ? d : term;
}

void fd_arg_attribute(lv_foreign_env* env, fd_t x, fd_w finite, fd_t result) {
  lv_term attribute = fd_make_dvar_attribute(env, fd_termref(env, x), FD_INF, FD_SUP, FD_SUP, 0, 0);
  if (attribute == 0 || (finite != 0 && !finite_domain(attribute)) ||
      !fd_rt::unify_terms(env, fd_termref(env, result), attribute))
    fd_rt::fail(env);
}

void fd_dvar_list(lv_foreign_env* env, fd_t list, fd_w finite) {
  int64_t n = fd_proper_length(fd_termref(env, list));
  if (n < 0) {
    fd_rt::fail(env);
    return;
  }
  // The walk's position lives in a term reference: making an attribute may
  // move the heap.
  lv_term_ref position = fd_rt::new_term_ref(env);
  fd_termref(env, position) = term_of(env, list);
  for (int64_t i = 0; i < n; i++) {
    lv_term cell = term_of(env, position);
    lv_term attribute = fd_make_dvar_attribute(env, fd_list_cells(cell)[0], FD_INF, FD_SUP, FD_SUP, 0, 0);
    if (attribute == 0 || (finite != 0 && !finite_domain(attribute))) {
      fd_rt::fail(env);
      break;
    }
    fd_termref(env, position) = fd_deref(fd_list_cells(term_of(env, position))[1]);
  }
  fd_rt::reset_term_refs(env, position);
}

void fd_coref(lv_foreign_env* env, fd_t list) {
  // A cyclic list whose elements never end the walk would loop: the walk
  // stops, failing, once it has gone round (Brent's cycle test).
  lv_term t = term_of(env, list), mark = t;
  uint64_t steps = 0, limit = 1;
  for (; fd_is_list(t); t = fd_deref(fd_list_cells(t)[1])) {
    lv_term element = fd_deref(fd_list_cells(t)[0]);
    if (fd_is_compound_struct(element)) {
      lv_term first = fd_deref(fd_arg(element, 1));
      if (first == FD_NIL) return;
      if (fd_is_ref(first)) fd_bind(env, fd_ref_cell(first), FD_NIL);
    }
    if (++steps == limit) {
      mark = t;
      limit *= 2;
      steps = 0;
    } else if (fd_deref(fd_list_cells(t)[1]) == mark) {
      break;
    }
  }
  fd_rt::fail(env);
}

namespace {

// Kills one live suspension propagator(EventMask, Kind, Status, Item).
void kill_suspension(lv_foreign_env* env, lv_term suspension) {
  if (fd_functor_of(suspension) != FD_FUNCTOR_PROPAGATOR_4) return;
  lv_term status = fd_deref(fd_arg(suspension, 3));
  if (!fd_is_ref(status)) return;  // already dead
  lv_term kind = fd_deref(fd_arg(suspension, 2));
  lv_term item = fd_deref(fd_arg(suspension, 4));
  int64_t k = fd_is_small(kind) ? fd_small_value(kind) : -1;
  if (k == 2) {
    // A disequation's counter: the $mutable right after its item.
    if (fd_functor_of(item) == fd_functor(FD_ATOM_DISEQUATION, 4))
      fd_trail_assign(env, ZERO, fd_make_struct(fd_struct_cells(item) + 5));
    return;
  }
  if (k >= 5 && k <= 8) {
    // The propagator: the item itself, or a daemon's first argument.
    lv_term propagator = k == 5 ? fd_deref(fd_arg(item, 1)) : item;
    if (fd_functor_of(propagator) == fd_functor(FD_ATOM_GLOBAL, 6)) {
      lv_term goal = fd_deref(fd_arg(propagator, 2));
      lv_term key = fd_is_atom(goal) ? goal : fd_functor_of(goal);
      if (key != 0 && fd_find_propagator(env, key) != nullptr)
        fd_propagator_entailed_term(env, fd_mutable_value(fd_arg(propagator, 1)));
    }
  } else if (k != 3 && k != 4) {
    return;
  }
  fd_bind(env, fd_ref_cell(status), ONE);
}

}  // namespace

void fd_purge(lv_foreign_env* env, fd_t var_ref) {
  lv_term var = term_of(env, var_ref);
  if (!fd_is_ref(var)) return;
  lv_term attribute = fd_rt::get_attributes(env, var, solver_module(env));
  if (attribute == 0) return;
  const lv_term* a = fd_struct_cells(attribute);
  lv_term suspensions = fd_mutable_value(a[FD_ATTR_SUSPENSIONS]);
  lv_term count = fd_mutable_value(a[FD_ATTR_COUNT]);
  if (fd_functor_of(suspensions) == FD_FUNCTOR_ARRAY1D_2 && fd_is_small(count)) {
    lv_term cells = fd_deref(fd_arg(suspensions, 2));
    for (int64_t i = 0; i < fd_small_value(count) && fd_is_list(cells); i++)
      kill_suspension(env, fd_deref(fd_list_cells(cells)[2 * i]));
  }

  // The coreference list without this variable's entry: the cells before it
  // copied, the rest shared.
  lv_term list = fd_mutable_value(a[FD_ATTR_COREFERENCES]);
  int64_t before = 0;
  bool found = false;
  for (lv_term t = list; fd_is_list(t); t = fd_deref(fd_list_cells(t)[1]), before++) {
    lv_term entry = fd_deref(fd_list_cells(t)[0]);
    if (fd_functor_of(entry) == FD_FUNCTOR_MINUS_2 && fd_deref(fd_arg(entry, 2)) == attribute) {
      found = true;
      break;
    }
  }
  if (found) {
    fd_heap_room(env, 2 * before, 0);
    var = term_of(env, var_ref);
    attribute = fd_rt::get_attributes(env, var, solver_module(env));
    list = fd_mutable_value(fd_struct_cells(attribute)[FD_ATTR_COREFERENCES]);
    fd_engine* w = fd_engine_of(env);
    lv_term shortened = FD_NIL;
    lv_term* link = &shortened;
    lv_term t = list;
    for (int64_t i = 0; i < before; i++, t = fd_deref(fd_list_cells(t)[1])) {
      lv_term* h = w->H;
      w->H = h + 2;
      h[0] = fd_list_cells(t)[0];
      *link = fd_make_list(h);
      link = &h[1];
    }
    *link = fd_list_cells(t)[1];
    for (lv_term l = shortened; fd_is_list(l); l = fd_deref(fd_list_cells(l)[1])) {
      lv_term entry = fd_deref(fd_list_cells(l)[0]);
      if (fd_functor_of(entry) != FD_FUNCTOR_MINUS_2) continue;
      lv_term other = fd_deref(fd_arg(entry, 2));
      if (fd_functor_of(other) == FD_FUNCTOR_V_7)
        fd_trail_assign(env, shortened, fd_struct_cells(other)[FD_ATTR_COREFERENCES]);
    }
  }
  fd_rt::delete_attributes(env, term_of(env, var_ref), solver_module(env));
}
