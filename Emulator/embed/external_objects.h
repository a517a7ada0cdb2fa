// External objects: C data handed to Prolog under a handle. A handle is the
// address of the object's record; in a term it is named by the atom "$ptr "
// followed by the handle's nibbles, least significant first, as the letters
// A-P. Every object is on one list, and each type on a list of types.
#pragma once

#include <cstdint>

#include "core/termrefs.h"
#include "lorvika.h"

struct lv_external_object_type {
  lv_external_finalizer finalizer;
  lv_external_putter putter;
  void* user_data;
  lv_external_object_type* next;
};
static_assert(sizeof(lv_external_object_type) == 32);

struct lv_external_object {
  void* object;
  lv_external_object_type* type;
  lv_external_object* next;
};
static_assert(sizeof(lv_external_object) == 24);

lv_external_object_type* LV_register_external_object_type(lv_external_finalizer finalizer, lv_external_putter putter,
                                                          void* user_data);
lv_external_object* LV_register_external_object(void* object, lv_external_object_type* type);
int LV_put_external_object(lv_term_ref t, lv_external_object* handle);
int LV_external_object_default_putter_helper(lv_term_ref t, lv_external_object* handle, lv_term functor_name);
int LV_put_external_object_link(lv_term_ref t, lv_external_object* handle);
int LV_put_weak_external_object_link(lv_term_ref t, lv_external_object* handle);
int LV_get_external_object(lv_term_ref t, lv_external_object** handle);
void* LV_get_external_object_data(lv_external_object* handle);
lv_external_object_type* LV_get_external_object_type(lv_external_object* handle);
// Takes the object off the list; with finalize set also finalises and frees
// it. 1 when it was found, else 0.
int LV_unlink_external_object(lv_external_object* handle, int finalize);
int LV_finalize_external_object(lv_term_ref t, int* result);
int LV_garbage_collect_external_objects(lv_external_object_type* type);

// The text "$ptr ..." of a handle into a buffer of at least 22 bytes: false
// for a null handle.
bool lv_external_handle_text(const lv_external_object* handle, char* buffer);
