// Module built-ins.
#include "store/db_modules.h"

#include "core/atoms.h"
#include "core/predefined_atoms.h"
#include "core/stack_shift.h"
#include "core/unify.h"
#include "store/predicates.h"

namespace {

constexpr lv_term ATOM_SLASH = lv_predefined_atom(110);
constexpr lv_term FUNCTOR_SLASH_2 = ATOM_SLASH | (lv_term{2} << 55);

// Name/Arity: the name and arity, or false.
bool spec_parts(lv_term spec, lv_term* name, unsigned* arity) {
  spec = lv_deref(spec);
  if (!lv_is_struct(spec) || lv_struct_cells(spec)[0] != FUNCTOR_SLASH_2) return false;
  *name = lv_deref(lv_struct_cells(spec)[1]);
  lv_term a = lv_deref(lv_struct_cells(spec)[2]);
  if (!lv_is_atom(*name) || !lv_is_small(a) || lv_small_value(a) < 0 || lv_small_value(a) > 255) return false;
  *arity = static_cast<unsigned>(lv_small_value(a));
  return true;
}

// The module's own record of Name/Arity, made when absent; null when the
// name is one of prolog's chained predicates.
lv_pred* own_record(lv_module* m, lv_term name, unsigned arity) {
  lv_pred* p = lv_lookup_predicate(m, name, arity, LV_LOOKUP_CREATE);
  return p != nullptr && p->owner_module == m ? p : nullptr;
}

bool proper_list(lv_term l) {
  for (l = lv_deref(l); lv_is_list(l); l = lv_deref(lv_list_cells(l)[1])) {
  }
  return l == LV_ATOM_NIL;
}

int declare(lv_worker* w, lv_term name, lv_term exports, bool system, lv_term info) {
  if (!lv_is_atom(name) || !proper_list(exports) || !lv_is_atomic(info)) return 0;
  // Check every export before changing anything.
  for (lv_term l = lv_deref(exports); lv_is_list(l); l = lv_deref(lv_list_cells(l)[1])) {
    lv_term n = 0;
    unsigned a = 0;
    if (!spec_parts(lv_list_cells(l)[0], &n, &a)) return 0;
  }
  lv_module* m = find_module(name, 1);
  if (m == nullptr) return 0;
  for (lv_pred* p = m->pred_chain; p != nullptr && p != LV_CHAIN_END;) {
    lv_pred* next = p->next_in_module;
    p->next_in_module = nullptr;
    p = next;
  }
  lv_pred** tail = &m->pred_chain;
  for (lv_term l = lv_deref(exports); lv_is_list(l); l = lv_deref(lv_list_cells(l)[1])) {
    lv_term n = 0;
    unsigned a = 0;
    spec_parts(lv_list_cells(l)[0], &n, &a);
    lv_pred* p = own_record(m, n, a);
    if (p == nullptr || p->next_in_module != nullptr) continue;
    *tail = p;
    tail = &p->next_in_module;
  }
  *tail = LV_CHAIN_END;
  m->flags = system ? (m->flags | LV_MODULE_SYSTEM) : (m->flags & ~LV_MODULE_SYSTEM);
  m->module_info = info;
  (void)w;
  return 1;
}

}  // namespace

int prolog_module_decl(lv_worker* w) {
  return declare(w, lv_deref(w->X[0]), w->X[1], lv_deref(w->X[2]) == LV_ATOM_TRUE, lv_deref(w->X[3]));
}

int prolog_module_boot(lv_worker* w) { return declare(w, lv_deref(w->X[0]), w->X[1], true, LV_ATOM_NIL); }

// Each Name/Arity of Specs that Exporter defines becomes the importer's
// record chained to the exporter's; others are left out.
int prolog_import_preds(lv_worker* w) {
  lv_term iname = lv_deref(w->X[0]);
  lv_term ename = lv_deref(w->X[1]);
  if (!lv_is_atom(iname) || !lv_is_atom(ename) || iname == ename || !proper_list(w->X[2])) return 0;
  lv_module* importer = find_module(iname, 1);
  lv_module* exporter = find_module(ename, 0);
  if (importer == nullptr || exporter == nullptr) return 0;
  for (lv_term l = lv_deref(w->X[2]); lv_is_list(l); l = lv_deref(lv_list_cells(l)[1])) {
    lv_term n = 0;
    unsigned a = 0;
    if (!spec_parts(lv_list_cells(l)[0], &n, &a)) continue;
    lv_pred* source = lv_lookup_predicate(exporter, n, a, LV_LOOKUP_FIND);
    if (source == nullptr || source->owner_module != exporter) continue;
    lv_pred* p = own_record(importer, n, a);
    if (p == nullptr || p == source || p->import_module == exporter) continue;
    lv_pred_chain_dependent(source, exporter, p);
  }
  return 1;
}

// From := the module a record of Module imports Head from; fails when
// Module's own record does not import.
int prolog_imported(lv_worker* w) {
  lv_module* m = find_module(lv_deref(w->X[0]), 0);
  lv_term head = lv_deref(w->X[1]);
  if (m == nullptr || lv_is_ref(head)) return 0;
  lv_pred* p = find_definition(m, head, nullptr, LV_LOOKUP_FIND);
  if (p == nullptr || p->owner_module != m || p->import_module == m || p->import_module == nullptr) return 0;
  return cunify(w, w->X[2], p->import_module->name);
}

// Old := on or off (whether saved states leave the module out); New, when
// on or off, sets it. prolog answers system and keeps its state.
int prolog_module_hiding(lv_worker* w) {
  lv_module* m = find_module(lv_deref(w->X[0]), 0);
  if (m == nullptr) return 0;
  if (m == lv_prolog_module()) return cunify(w, w->X[1], lv_atom_from_text("system", 0));
  if (!cunify(w, w->X[1], m->hidden != 0 ? LV_ATOM_ON : LV_ATOM_OFF)) return 0;
  lv_term next = lv_deref(w->X[2]);
  if (next == LV_ATOM_ON) m->hidden = 1;
  if (next == LV_ATOM_OFF) m->hidden = 0;
  return 1;
}

int prolog_curmod(lv_worker* w) {
  lv_module* m = find_module(lv_deref(w->X[0]), 0);
  if (m == nullptr) return 0;
  uint64_t n = 0;
  for (lv_pred* p = m->pred_chain; p != nullptr && p != LV_CHAIN_END; p = p->next_in_module) n++;
  if (w->heap_hard_limit - w->H < static_cast<int64_t>(5 * n)) {
    call_overflow(w, static_cast<int64_t>(5 * n) + LV_HEAP_RESERVE_CELLS, 3);
    m = find_module(lv_deref(w->X[0]), 0);
  }
  lv_term* h = w->H;
  lv_term list = LV_ATOM_NIL;
  lv_term* last = nullptr;
  for (lv_pred* p = m->pred_chain; p != nullptr && p != LV_CHAIN_END; p = p->next_in_module) {
    h[0] = FUNCTOR_SLASH_2;
    h[1] = p->name;
    h[2] = lv_make_small(p->arity);
    h[3] = lv_make_struct(h);
    h[4] = LV_ATOM_NIL;
    if (last == nullptr) list = lv_make_list(&h[3]); else *last = lv_make_list(&h[3]);
    last = &h[4];
    h += 5;
  }
  w->H = h;
  return cunify(w, w->X[1], list);
}

int prolog_typein_module(lv_worker* w) {
  lv_module* old = lv_typein_module();
  if (!cunify(w, w->X[0], old->name)) return 0;
  lv_term next = lv_deref(w->X[1]);
  if (lv_is_atom(next) && next != old->name) {
    lv_module* m = find_module(next, 1);
    if (m != nullptr) lv_set_typein_module(m);
  }
  return 1;
}

int prolog_predicate_file(lv_worker* w) {
  lv_term head = lv_deref(w->X[0]);
  lv_module* m = find_module(lv_deref(w->X[1]), 0);
  if (m == nullptr || lv_is_ref(head)) return 0;
  lv_pred* p = find_definition(m, head, nullptr, LV_LOOKUP_FIND);
  if (p == nullptr || lv_definition_type(p) == LV_DEF_UNDEFINED) return 0;
  return cunify(w, w->X[2], p->source_file);
}
