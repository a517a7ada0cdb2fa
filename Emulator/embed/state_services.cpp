// The queries that the saved-state writer and reader run on the Prolog
// level (store/state_services.h).
#include "store/state_services.h"

#include "core/atoms.h"
#include "core/init_state.h"
#include "core/predefined_atoms.h"
#include "embed/nesting.h"
#include "embed/queries.h"
#include "embed/term_interface.h"
#include "store/predicates.h"

namespace {

constexpr lv_term ATOM_SAVE = lv_predefined_atom(251);
constexpr lv_term ATOM_TYPE = lv_predefined_atom(253);
constexpr lv_term ATOM_FILES = lv_predefined_atom(254);

// The defined predicate Name/Arity of the module, or null; nothing is made.
lv_pred* defined(lv_term module, lv_term name, unsigned arity) {
  lv_module* m = find_module(module, 0);
  lv_pred* p = m != nullptr ? lv_lookup_predicate(m, name, arity, LV_LOOKUP_FIND) : nullptr;
  return p != nullptr && lv_definition_type(p) != LV_DEF_UNDEFINED ? p : nullptr;
}

bool proper_atom_list(lv_term l) {
  for (l = lv_deref(l); lv_is_list(l); l = lv_deref(lv_list_cells(l)[1]))
    if (!lv_is_atom(lv_deref(lv_list_cells(l)[0]))) return false;
  return l == LV_ATOM_NIL;
}

}  // namespace

bool lv_state_loaded_resources(void (*visit)(const char* name, void* arg), void* arg) {
  lv_term name = lv_atom_from_text("loaded_resource", LV_ATOM_FIND);
  lv_pred* p = name != 0 ? defined(LV_ATOM_PROLOG, name, 1) : nullptr;
  // Before start-up has finished no query runs and no resource is loaded.
  if (p == nullptr || !lv_prolog_initialized()) return true;
  lv_term_ref a = LV_new_term_ref();
  if (a < 0) return false;
  lv_nest_enter();
  lv_query_id q = LV_open_query(p, a);
  bool ok = q != 0;
  int rc = 0;
  while (ok && (rc = LV_next_solution(q)) == 1) {
    lv_term t = lv_deref(lv_term_ref_cell(get_current_worker(), a));
    if (!lv_is_atom(t)) {
      ok = false;
      break;
    }
    visit(lv_atom_text(t), arg);
  }
  if (rc < 0) ok = false;
  if (q != 0) LV_close_query(q);
  lv_nest_leave();
  LV_reset_term_refs(a);
  return ok;
}

lv_term_ref lv_state_selected_files(lv_worker* w) {
  lv_pred* p = defined(ATOM_SAVE, ATOM_TYPE, 1);
  if (p == nullptr) return -1;
  lv_term_ref a = LV_new_term_ref();
  if (a < 0) return -1;
  lv_nest_enter();
  lv_query_id q = LV_open_query(p, a);
  bool found = q != 0 && LV_next_solution(q) == 1;
  lv_term list = 0;
  if (found) {
    lv_term t = lv_deref(lv_term_ref_cell(w, a));
    if (lv_is_struct(t) && lv_struct_cells(t)[0] == lv_make_functor(ATOM_FILES, 1) &&
        proper_atom_list(lv_struct_cells(t)[1]))
      list = lv_struct_cells(t)[1];
  }
  // The bindings stay: the list lives on the heap above the query.
  if (q != 0) (void)(found ? LV_cut_query(q) : LV_close_query(q));
  lv_nest_leave();
  if (list == 0) {
    LV_reset_term_refs(a);
    return -1;
  }
  lv_term_ref_cell(w, a) = list;
  return a;
}
