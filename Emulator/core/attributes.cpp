// Attribute modules and the per-module attribute operations.
#include "core/attributes.h"

#include "core/atoms.h"
#include "core/bind.h"
#include "core/errors.h"
#include "core/predefined_atoms.h"
#include "core/stack_shift.h"
#include "core/suspension.h"
#include "core/unify.h"
#include "machine/emulator_errors.h"
#include "machine/instructions.h"
#include "machine/insn_unify.h"
#include "store/predicates.h"

namespace {

uint32_t module_count;

// Heap room the put and delete operations make first (in bytes between H
// and the local stack), keeping X0 and X1.
constexpr int64_t ATTRIBUTE_ROOM_BYTES = 11289;

void define(lv_module* module, const char* name, unsigned arity, uint32_t kind) {
  lv_pred* p = lv_lookup_predicate(module, lv_atom_from_text(name, LV_ATOM_FIND_OR_CREATE), arity, LV_LOOKUP_CREATE);
  if (p->owner_module != module) return;
  p->definition = nullptr;
  p->home_module = module;
  update_exports(p, kind);
}

// The attributed variable's cell for an unbound variable, or null for a
// plain one.
lv_term* attributed_cell(lv_worker* w, lv_term var) {
  lv_term* cell = lv_ref_cell(var);
  return lv_is_attvar_cell(w, cell) ? cell : nullptr;
}

uint32_t vector_slots(lv_term vector) { return lv_attr_vector_slots(vector); }

// A new vector []/N with the old slots (unbound ones fresh), slot m set to
// value (a fresh variable for value 0).
lv_term new_vector(lv_worker* w, lv_term old, uint32_t m, lv_term value) {
  uint32_t n = module_count > m ? module_count : m;
  uint32_t old_slots = vector_slots(old);
  lv_term* h = w->H;
  h[0] = lv_make_functor(LV_ATOM_NIL, n);
  for (uint32_t i = 1; i <= n; i++) {
    lv_term t = i <= old_slots && i != m ? lv_deref(lv_struct_cells(old)[i]) : 0;
    h[i] = t != 0 && !lv_is_ref(t) ? t : lv_make_ref(&h[i]);
  }
  if (value != 0) h[m] = value;
  w->H = h + n + 1;
  return lv_make_struct(h);
}

// Whether no slot of the vector is bound.
bool vector_empty(lv_term vector) {
  uint32_t n = vector_slots(vector);
  for (uint32_t i = 1; i <= n; i++)
    if (!lv_is_ref(lv_deref(lv_struct_cells(vector)[i]))) return false;
  return true;
}

// Whether slot i of the vector is bound.
bool slot_bound(lv_term vector, uint32_t i) {
  return i >= 1 && i <= vector_slots(vector) && !lv_is_ref(lv_deref(lv_struct_cells(vector)[i]));
}

// The number of bound slots of the vector.
uint32_t bound_slots(lv_term vector) {
  uint32_t n = 0;
  for (uint32_t i = 1; i <= vector_slots(vector); i++) n += slot_bound(vector, i) ? 1 : 0;
  return n;
}

void collect_name(lv_module* module, void* arg) {
  if (module->attribute_index != 0 && module->attribute_index <= LV_MAX_ATTRIBUTE_MODULES)
    static_cast<lv_term*>(arg)[module->attribute_index - 1] = module->name;
}

// Stores value (0: deletes) in slot m of the variable's attributes. The
// variable and the value are also in X0 and X1, which keep them should the
// heap grow.
void set_attribute(lv_worker* w, lv_term var, uint32_t m, lv_term value) {
  if (reinterpret_cast<char*>(w->local_base) - reinterpret_cast<char*>(w->H) < ATTRIBUTE_ROOM_BYTES) {
    call_overflow(w, ATTRIBUTE_ROOM_BYTES / 8, 2);
    var = lv_deref(w->X[0]);
    if (value != 0) value = lv_deref(w->X[1]);
  }
  if (value != 0) {
    value = lv_heap_value(w, value);  // the vector keeps it
    var = lv_deref(var);
  }
  lv_term* cell = attributed_cell(w, var);
  lv_term vector = cell != nullptr ? lv_deref(cell[1]) : LV_ATOM_NIL;
  if (cell == nullptr && value == 0) return;  // nothing to delete
  if (vector == LV_ATOM_NIL || lv_struct_cells(vector) < w->HB || vector_slots(vector) < m) {
    lv_term fresh = new_vector(w, vector, m, value);
    if (cell == nullptr || cell < w->HB)
      cell = lv_attvar_renew(w, lv_ref_cell(var), fresh, cell != nullptr ? cell[2] : LV_ATOM_NIL);
    else
      cell[1] = fresh;
    vector = fresh;
  } else {
    lv_term* slot = &lv_struct_cells(vector)[m];
    *slot = value != 0 ? value : lv_make_ref(slot);
  }
  // Without goals and bound slots the variable is plain again.
  if (value == 0 && lv_deref(cell[2]) == LV_ATOM_NIL && vector_empty(vector)) {
    if (cell < w->HB) {
      lv_term* plain = w->H++;
      *plain = lv_make_ref(plain);
      *cell = *plain;
      lv_trail_push(w, cell);
    } else {
      cell[-1] = LV_ATOM_NIL;
    }
  }
}

}  // namespace

int lv_attr_module_register(lv_module* module) {
  if (module->attribute_index == 0) {
    if (module_count >= LV_MAX_ATTRIBUTE_MODULES) return 0;
    module->attribute_index = ++module_count;
  }
  define(module, "$get_attributes", 3, LV_KIND_BUILTIN_GET_ATTRIBUTES);
  define(module, "$put_attributes", 2, LV_KIND_BUILTIN_PUT_ATTRIBUTES);
  define(module, "$delete_attributes", 1, LV_KIND_BUILTIN_DELETE_ATTRIBUTES);
  return 1;
}

uint32_t lv_attr_module_count() { return module_count; }

uint32_t lv_attr_vector_slots(lv_term vector) {
  if (!lv_is_struct(vector)) return 0;
  lv_term functor = *lv_struct_cells(vector);
  return !lv_is_box_header(functor) && lv_functor_atom(functor) == LV_ATOM_NIL ? lv_functor_arity(functor) : 0;
}

uint32_t lv_attr_module_names(lv_term names[LV_MAX_ATTRIBUTE_MODULES]) {
  for (uint32_t i = 0; i < module_count; i++) names[i] = LV_ATOM_NIL;
  lv_for_each_module(collect_name, names);
  return module_count;
}

void lv_attr_modules_reset() { module_count = 0; }

int lv_inline_get_attribute(lv_worker* w, uint32_t m, const lv_pred* pred) {
  lv_term var = lv_deref(w->X[0]);
  if (!lv_is_ref(var)) return lv_raise_in_predicate(w, LV_ERROR_VARIABLE_EXPECTED, pred, 1, var);
  lv_term* cell = attributed_cell(w, var);
  lv_term vector = cell != nullptr ? lv_deref(cell[1]) : LV_ATOM_NIL;
  if (vector_slots(vector) < m) return cunify(w, w->X[2], lv_make_small(0));
  lv_term value = lv_deref(w->X[1]);
  if (!lv_is_ref(value)) return 0;
  lv_term content = lv_deref(lv_struct_cells(vector)[m]);
  lv_bind_term(w, value, content);
  lv_term mask = lv_is_compound(content) ? (lv_is_list(content) ? lv_list_cells(content)[0] : lv_struct_cells(content)[1])
                                         : lv_make_small(0);
  return cunify(w, w->X[2], mask);
}

int lv_inline_put_attribute(lv_worker* w, uint32_t m, const lv_pred* pred) {
  lv_term var = lv_deref(w->X[0]);
  if (!lv_is_ref(var)) return lv_raise_in_predicate(w, LV_ERROR_VARIABLE_EXPECTED, pred, 1, var);
  lv_term value = lv_deref(w->X[1]);
  set_attribute(w, var, m, value == LV_ATOM_NIL ? 0 : value);
  return 1;
}

int lv_inline_delete_attribute(lv_worker* w, uint32_t m, const lv_pred* pred) {
  lv_term var = lv_deref(w->X[0]);
  if (!lv_is_ref(var)) return lv_raise_in_predicate(w, LV_ERROR_VARIABLE_EXPECTED, pred, 1, var);
  set_attribute(w, var, m, 0);
  return 1;
}

lv_term get_attributes(lv_worker* w, lv_term var, const lv_module* module) {
  lv_term* cell = attributed_cell(w, var);
  uint32_t m = module->attribute_index;
  if (cell == nullptr || m == 0) return 0;
  lv_term vector = lv_deref(cell[1]);
  if (vector_slots(vector) < m) return 0;
  lv_term content = lv_deref(lv_struct_cells(vector)[m]);
  return lv_is_compound(content) ? content : 0;
}

void put_attributes(lv_worker* w, lv_term var, const lv_module* module, lv_term value) {
  if (module->attribute_index == 0) return;
  value = lv_deref(value);
  w->X[0] = var;
  w->X[1] = value;
  set_attribute(w, var, module->attribute_index, value == LV_ATOM_NIL ? 0 : value);
}

void delete_attributes(lv_worker* w, lv_term var, const lv_module* module) {
  if (module->attribute_index == 0) return;
  w->X[0] = var;
  set_attribute(w, var, module->attribute_index, 0);
}

int pure_attributes(lv_worker* w, lv_term var, const lv_module* module) {
  lv_term* cell = attributed_cell(w, var);
  if (cell == nullptr) return 1;
  if (lv_deref(cell[2]) != LV_ATOM_NIL) return 0;
  lv_term vector = lv_deref(cell[1]);
  return bound_slots(vector) == (slot_bound(vector, module->attribute_index) ? 1u : 0u) ? 1 : 0;
}

int single_attribute(lv_worker* w, lv_term var, const lv_module* module) {
  lv_term* cell = attributed_cell(w, var);
  if (cell == nullptr || lv_deref(cell[2]) != LV_ATOM_NIL) return 0;
  lv_term vector = lv_deref(cell[1]);
  return slot_bound(vector, module->attribute_index) && bound_slots(vector) == 1 ? 1 : 0;
}
