// The installation-value built-in.
#include "core/registry_builtins.h"

#include "core/atoms.h"
#include "core/memory.h"
#include "core/text_lists.h"
#include "core/unify.h"
#include "core/registry.h"

int prolog_w32_get_registry_value(lv_worker* w) {
  lv_term root = lv_deref(w->X[0]);
  lv_term path = lv_deref(w->X[1]);
  lv_term name = lv_deref(w->X[2]);
  if (!lv_is_small(root) || lv_small_value(root) < LV_ROOT_CLASSES || lv_small_value(root) > LV_ROOT_DYN_DATA || !lv_is_atom(name) || !lv_is_ref(lv_deref(w->X[3]))) return 0;
  int64_t n = lv_proper_list_length(path);
  if (n < 0) return 0;
  auto* components = static_cast<const char**>(LV_malloc(sizeof(char*) * (static_cast<size_t>(n) + 1)));
  if (components == nullptr) return 0;
  int64_t i = 0;
  for (lv_term l = path; lv_is_list(l); l = lv_deref(lv_list_cells(l)[1])) {
    lv_term c = lv_deref(lv_list_cells(l)[0]);
    if (!lv_is_atom(c)) break;
    components[i++] = lv_atom_text(c);
  }
  components[i] = nullptr;
  char* value = nullptr;
  if (i == n) value = lv_registry_get_by_root(static_cast<int>(lv_small_value(root)), components, lv_atom_text(name));
  LV_free(components);
  if (value == nullptr) return 0;
  lv_term atom = lv_atom_from_text(value, LV_ATOM_FIND_OR_CREATE);
  LV_free(value);
  return atom != 0 && cunify(w, w->X[3], atom);
}
