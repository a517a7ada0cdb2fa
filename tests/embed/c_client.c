/* A client written in C: the interface's headers compile as C, and a slot
 * is called with its type through LV_API. */
#include "lorvika.h"
#include "support.h"

int c_client_atom_errno(const lv_dispatch* d, lv_term* atom) {
  *atom = LV_API(d->c_interface, LV_atom_from_string)("c_client");
  return LV_API(d->c_interface, LV_get_errno)();
}
