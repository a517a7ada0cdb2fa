// Indexical definitions on predicates and their posting: $fd_install makes
// a predicate an indexical definition (its table of four chains),
// $fd_find_definition and $fd_indexical_data read one, $fd_post_reified
// posts the chains a reification Boolean selects, and $fd_eval_indexical
// evaluates one posted indexical at once.
//
// The predicates the solver has made indexical definitions, and their
// tables, are kept in two registries, so that the address of a predicate
// that comes back from Prolog is checked before it is followed; a table
// leaves them when the runtime frees the predicate's definition.
#include "kernel/arguments.h"
#include "kernel/attributes.h"
#include "kernel/dvar.h"
#include "kernel/errors.h"
#include "kernel/foreign_predicates.h"
#include "kernel/indexical.h"
#include "kernel/memory.h"
#include "kernel/posting.h"
#include "kernel/pred_view.h"
#include "kernel/propagation.h"
#include "kernel/queues.h"
#include "kernel/solver_state.h"
#include "kernel/state_terms.h"

namespace {

constexpr int CHAINS = 4;

lv_term term_of(const lv_foreign_env* env, fd_t t) { return fd_deref(fd_termref(env, t)); }

lv_term slash_functor(const lv_foreign_env* env) { return fd_functor(fd_rt::atom(env, "/"), 2); }

// The functor word (an atom for arity 0) named by Name/Arity, Name or a
// goal; 0 for anything else.
lv_term spec_key(const lv_foreign_env* env, lv_term spec) {
  spec = fd_deref(spec);
  if (fd_is_atom(spec)) return spec;
  lv_term f = fd_functor_of(spec);
  if (f == 0) return 0;
  if (f == slash_functor(env)) {
    lv_term name = fd_deref(fd_arg(spec, 1)), arity = fd_deref(fd_arg(spec, 2));
    if (!fd_is_atom(name) || !fd_is_small(arity) || fd_small_value(arity) < 0 || fd_small_value(arity) > 255)
      return 0;
    return fd_small_value(arity) == 0 ? name : fd_functor(name, static_cast<unsigned>(fd_small_value(arity)));
  }
  return f;
}

// The predicate record of a functor word in a module.
fd_pred* lookup(const lv_foreign_env* env, lv_module* module, lv_term key, int create) {
  typedef fd_pred* find_definition_fn(lv_module*, lv_term, lv_term**, int);
  // A structure that only its functor word is read of.
  lv_term skeleton[1] = {key};
  lv_term goal = fd_functor_arity(key) == 0 ? key : fd_make_struct(skeleton);
  return fd_rt::support<find_definition_fn>(env, LV_SUPPORT_find_definition)(module, goal, nullptr, create);
}

// The table of chain heads of a predicate the solver made an indexical
// definition, or null.
void** registered_table(const lv_foreign_env* env, const fd_pred* pred) {
  return reinterpret_cast<void**>(fd_keyed_get(env, fd_tables(env)->definitions, pred));
}

// The registered predicate that an argument names (its address + 3), or
// null.
fd_pred* definition_argument(const lv_foreign_env* env, lv_term t) {
  t = fd_deref(t);
  if (!fd_is_small(t)) return nullptr;
  auto* pred = static_cast<fd_pred*>(fd_term_pointer(t));
  void** table = registered_table(env, pred);
  if (table == nullptr || pred->definition != table || fd_pred_type(pred) != FD_PRED_INDEXICAL) return nullptr;
  return pred;
}

void raise_refused(lv_foreign_env* env, const char* what, const char* why) {
  char message[160];
  int n = 0;
  for (const char* p = what; *p != 0 && n < 100; p++) message[n++] = *p;
  for (const char* p = ": "; *p != 0; p++) message[n++] = *p;
  for (const char* p = why; *p != 0 && n < 158; p++) message[n++] = *p;
  message[n] = 0;
  fd_raise_system_error(env, message);
}

}  // namespace

void fd_forget_definition_table(const lv_foreign_env* env, const void* chain) {
  fd_kernel_tables* t = fd_tables(env);
  const auto* head = static_cast<void* const*>(chain);
  for (int k = 0; k < CHAINS; k++) {
    const void* table = head - k;
    auto* pred = reinterpret_cast<const fd_pred*>(fd_keyed_get(env, t->tables, table));
    if (pred == nullptr) continue;
    fd_keyed_put(env, &t->tables, table, 0);
    fd_keyed_put(env, &t->definitions, pred, 0);
    return;
  }
}

void fd_install(lv_foreign_env* env, fd_t spec, fd_w module_word, fd_w index, fd_w count, fd_t def) {
  call_site site{"$fd_install", 5, {spec, -1, -1, -1, def}};
  lv_term key = spec_key(env, fd_termref(env, spec));
  if (key == 0) {
    fd_argument_error(env, site, 1, "predicate_indicator");
    return;
  }
  lv_term module_atom = static_cast<lv_term>(module_word);
  if (!fd_is_atom(module_atom)) {
    fd_raise_system_error(env, "$fd_install: the module is no atom");
    return;
  }
  if (index < 0 || index >= CHAINS) {
    fd_raise_system_error(env, "$fd_install: the chain index lies outside 0..3");
    return;
  }
  lv_module* module = fd_rt::find_module(env, module_atom, 1);
  fd_pred* pred = module == nullptr ? nullptr : lookup(env, module, key, 1);
  if (pred == nullptr) {
    fd_raise_system_error(env, "$fd_install: no predicate record");
    return;
  }
  void** table = registered_table(env, pred);
  if (table == nullptr) {
    // Only an undefined predicate becomes an indexical definition: the
    // definition of any other would be lost.
    if (fd_pred_type(pred) != FD_PRED_UNDEFINED || pred->definition != nullptr) {
      fd_raise_system_error(env, "$fd_install: the predicate has a definition of another kind");
      return;
    }
    table = static_cast<void**>(fd_rt::checkalloc(env, CHAINS * sizeof(void*), 0));
    for (int k = 0; k < CHAINS; k++) table[k] = nullptr;
    // Built into the table first: a refused definition leaves the predicate
    // undefined and nothing allocated.
    const char* why = nullptr;
    if (!fd_build_definition_chain(env, fd_termref(env, def), index, count, table, &why)) {
      fd_rt::checkdealloc(env, table, CHAINS * sizeof(void*), 0);
      raise_refused(env, "$fd_install: malformed indexical definition", why != nullptr ? why : "");
      return;
    }
    pred->definition = table;
    typedef void update_exports_fn(fd_pred*, uint32_t);
    fd_rt::support<update_exports_fn>(env, LV_SUPPORT_update_exports)(pred, FD_PRED_INDEXICAL);
    fd_kernel_tables* t = fd_tables(env);
    fd_keyed_put(env, &t->definitions, pred, reinterpret_cast<uint64_t>(table));
    fd_keyed_put(env, &t->tables, table, reinterpret_cast<uint64_t>(pred));
    return;
  }
  // Already an indexical definition: the chain at index is replaced (the
  // builder retires the old one).
  const char* why = nullptr;
  if (!fd_build_definition_chain(env, fd_termref(env, def), index, count, table, &why))
    raise_refused(env, "$fd_install: malformed indexical definition", why != nullptr ? why : "");
}

void fd_find_definition(lv_foreign_env* env, fd_t name, fd_w module_word, fd_t def) {
  lv_term result = fd_make_small(0);
  lv_term key = spec_key(env, fd_termref(env, name));
  lv_term module_atom = static_cast<lv_term>(module_word);
  lv_module* module = key != 0 && fd_is_atom(module_atom) ? fd_rt::find_module(env, module_atom, 0) : nullptr;
  fd_pred* pred = module == nullptr ? nullptr : lookup(env, module, key, 0);
  if (pred != nullptr && fd_pred_type(pred) == FD_PRED_INDEXICAL && pred->definition != nullptr) {
    // An importing module's record shares the table: the record the table
    // was made for is the one handed out.
    auto* owner = reinterpret_cast<fd_pred*>(fd_keyed_get(env, fd_tables(env)->tables, pred->definition));
    if (owner != nullptr) result = fd_pointer_term(owner);
  }
  if (!fd_rt::unify_terms(env, fd_termref(env, def), result)) fd_rt::fail(env);
}

int64_t fd_indexical_data(lv_foreign_env* env, fd_t def, fd_w slot) {
  fd_pred* pred = definition_argument(env, fd_termref(env, def));
  if (pred == nullptr || slot < 0 || slot >= CHAINS) return 0;
  void* chain = static_cast<void**>(pred->definition)[slot];
  return chain == nullptr ? 0 : static_cast<int64_t>(fd_pointer_term(chain));
}

namespace {

// Posting one chain: the records whose target argument is bound first, in
// reverse chain order, then the others in chain order.
struct reified_posting {
  lv_foreign_env* env;
  fd_t goal, tuple, b, b_attr;
  lv_term_ref status;  // the shared status variable, once made
  int64_t flags;       // the flag word's value for the chain
  bool on_b;           // suspended on B's value instead of queued
  int64_t chain_number;

  bool target_bound(const fd_definition* d) {
    lv_term g = term_of(env, goal);
    unsigned position = d->flags & FD_IX_TARGET_MASK;
    if (!fd_is_compound_struct(g) || position > fd_functor_arity(fd_functor_of(g))) return false;
    return !fd_is_ref(fd_deref(fd_arg(g, position)));
  }

  void post(const fd_definition* d) {
    fd_heap_room(env, 9 + FD_HEAP_RESERVE_CELLS, 0);
    fd_engine* w = fd_engine_of(env);
    lv_term* h = w->H;
    w->H = h + 9;
    h[0] = fd_functor(FD_ATOM_INDEXICAL, 8);
    h[1] = fd_pointer_term(d);
    h[2] = term_of(env, goal);
    h[3] = fd_make_small(flags);
    if (fd_termref(env, status) == FD_NIL) {
      h[4] = fd_make_ref(&h[4]);
      fd_termref(env, status) = h[4];
    } else {
      h[4] = fd_termref(env, status);
    }
    h[5] = term_of(env, b);
    h[6] = term_of(env, tuple);
    h[7] = term_of(env, b_attr);
    h[8] = (fd_solver_flags(env) & FD_FLAG_HIDING) ? fd_rt::atom(env, "true") : term_of(env, goal);
    lv_term_ref ix = fd_rt::new_term_ref(env);
    fd_termref(env, ix) = fd_make_struct(h);
    fd_attach_indexical(env, d, fd_termref(env, ix), 0);
    if (on_b) {
      lv_term attribute = term_of(env, b_attr);
      if (!fd_is_small(fd_attribute_domain(attribute)))
        fd_add_suspension(env, attribute, fd_state(env)->functors[FD_F_VAL_1], term_of(env, ix),
                          fd_make_small(chain_number), 0);
    } else {
      fd_queue_push_back(env, 4, term_of(env, ix));
    }
    fd_rt::reset_term_refs(env, ix);
  }

  void post_chain(const fd_definition* chain) {
    // The bound ones in reverse order, through a list of them.
    fd_words order;
    fd_words_init(&order);
    for (const fd_definition* d = chain; d != nullptr; d = d->next)
      if (target_bound(d)) fd_words_push(env, &order, reinterpret_cast<uint64_t>(d));
    for (int64_t i = order.count; i-- > 0;) post(reinterpret_cast<const fd_definition*>(order.data[i]));
    for (const fd_definition* d = chain; d != nullptr; d = d->next)
      if (!target_bound(d)) post(d);
    fd_words_free(env, &order);
  }
};

}  // namespace

void fd_post_reified(lv_foreign_env* env, fd_t def, fd_t goal, fd_t tuple, fd_t b, fd_t b_attr) {
  call_site site{"$fd_post_reified", 5, {def, goal, tuple, b, b_attr}};
  fd_pred* pred = definition_argument(env, fd_termref(env, def));
  if (pred == nullptr) {
    fd_argument_error(env, site, 1, "indexical_definition");
    return;
  }
  lv_term t = term_of(env, tuple);
  if (!fd_is_compound_struct(t)) {
    fd_argument_error(env, site, 3, "compound");
    return;
  }
  for (unsigned i = 1; i <= fd_functor_arity(fd_functor_of(t)); i++)
    if (fd_functor_of(fd_deref(fd_arg(t, i))) != FD_FUNCTOR_V_7) {
      fd_argument_error(env, site, 3, "fd_attributes");
      return;
    }
  lv_term battr = term_of(env, b_attr);
  lv_term bdomain = fd_functor_of(battr) == FD_FUNCTOR_V_7 ? fd_attribute_domain(battr) : 0;
  lv_term bmin = fd_is_struct(bdomain) ? fd_deref(fd_arg(bdomain, 2)) : bdomain;
  lv_term bmax = fd_is_struct(bdomain) ? fd_deref(fd_arg(bdomain, 3)) : bdomain;
  if (bdomain == 0 || fd_bound_compare(bmin, fd_make_small(0)) < 0 ||
      fd_bound_compare(bmax, fd_make_small(1)) > 0) {
    fd_argument_error(env, site, 5, "boolean_attribute");
    return;
  }
  fd_state(env)->constraints++;
  fd_posting_open(env);
  void** table = static_cast<void**>(pred->definition);
  reified_posting p{env, goal, tuple, b, b_attr, fd_rt::new_term_ref(env), 0, false, 0};
  auto chain = [&](int k) { return static_cast<const fd_definition*>(table[k]); };
  if (bmin == fd_make_small(1) || bmax == fd_make_small(0)) {
    // Decided: the positive (1) or the negative (0) chain alone, queued.
    p.flags = FD_PROP_QUEUED;
    p.post_chain(chain(bmin == fd_make_small(1) ? 1 : 0));
  } else {
    // Chains 0 and 1 wait for B's value (conditional on it, not queued);
    // chains 2 and 3 check while B is open (queued).
    p.on_b = true;
    p.flags = 0x20;
    p.chain_number = 0;
    p.post_chain(chain(0));
    p.flags = 0x40;
    p.chain_number = 1;
    p.post_chain(chain(1));
    p.on_b = false;
    p.flags = 0x60 | FD_PROP_QUEUED;
    p.post_chain(chain(2));
    p.post_chain(chain(3));
  }
  fd_rt::reset_term_refs(env, p.status);
}

void fd_eval_indexical(lv_foreign_env* env, fd_t goal, fd_t state, fd_t actions) {
  call_site site{"$fd_eval_indexical", 3, {goal, state, actions}};
  lv_term ix = term_of(env, state);
  if (fd_functor_of(ix) != fd_functor(FD_ATOM_INDEXICAL, 8) || !fd_is_small(fd_deref(fd_arg(ix, 1))) ||
      fd_keyed_get(env, fd_tables(env)->records, fd_term_pointer(fd_deref(fd_arg(ix, 1)))) == 0) {
    fd_argument_error(env, site, 2, "indexical");
    return;
  }
  fd_solver_state* st = fd_state(env);
  int64_t entailments = st->entailments;
  fd_termref(env, actions) = FD_NIL;
  fd_scratch_reset(env);
  int r = fd_eval_indexical_code(env, actions, state, 0);
  int status = 2;
  if (r == 0) {
    if (st->pending_overflow != FD_OVERFLOW_NONE) return;
    status = 4;
  } else if (st->entailments > entailments) {
    st->entailments = entailments;
    status = 3;
  }
  fd_propagator_exit(env, 0, actions, goal, status, 0);
}
