// Option lists.
#include "lvio/options.h"

#include <cstring>

lvio_code lvio_option_find(const lvio_option* list, const char* name, const lvio_option** item) {
  if (list == nullptr) return LVIO_E_NOT_FOUND;
  for (const lvio_option* o = list; lvio_value_kind(&o->value) != LVIO_VALUE_END; o++) {
    if (o->name != nullptr && std::strcmp(o->name, name) == 0) {
      *item = o;
      return 0;
    }
  }
  return LVIO_E_NOT_FOUND;
}

lvio_code lvio_option_lookup_kind(const lvio_option* list, const char* name, uint32_t kind, lvio_value* value) {
  if (kind != LVIO_VALUE_STRING && kind != LVIO_VALUE_POINTER) return LVIO_E_NOT_SUPPORTED;
  const lvio_option* o;
  if (lvio_option_find(list, name, &o) < 0 || lvio_value_kind(&o->value) != kind) return LVIO_E_NOT_FOUND;
  *value = o->value;
  return 0;
}

lvio_code lvio_option_lookup(const lvio_option* list, const char* name, const char** value) {
  lvio_value v;
  lvio_code rc = lvio_option_lookup_kind(list, name, LVIO_VALUE_STRING, &v);
  if (rc >= 0) *value = v.string;
  return rc;
}
