// External objects and their types.
#include "embed/external_objects.h"

#include <cstring>

#include "core/api_error.h"
#include "core/atoms.h"
#include "core/memory.h"
#include "embed/term_interface.h"
#include "embed/term_ref_access.h"

namespace {

constexpr uint32_t FLAGS = lv_mem_flags(LV_CAT_MISC);
constexpr char PREFIX[] = "$ptr ";
constexpr size_t PREFIX_LENGTH = sizeof PREFIX - 1;
constexpr char NIBBLES[] = "ABCDEFGHIJKLMNOP";

lv_external_object_type* types;
lv_external_object* objects;

void no_finalizer(void*, void*) {}

int default_putter(lv_term_ref t, lv_external_object* handle) {
  return LV_external_object_default_putter_helper(t, handle, LV_atom_from_string("$external_object"));
}

// The handle an atom's text names, or null (not of the "$ptr " form, or a
// letter outside A-P).
lv_external_object* handle_of_text(const char* text) {
  if (std::strncmp(text, PREFIX, PREFIX_LENGTH) != 0) return nullptr;
  const char* digits = text + PREFIX_LENGTH;
  size_t n = std::strlen(digits);
  if (n == 0 || n > 16) return nullptr;
  uint64_t value = 0;
  for (size_t i = 0; i < n; i++) {
    if (digits[i] < 'A' || digits[i] > 'P') return nullptr;
    value |= static_cast<uint64_t>(digits[i] - 'A') << (4 * i);
  }
  return reinterpret_cast<lv_external_object*>(value);
}

// Takes the record off the object list: true when it was on it.
bool unlink(lv_external_object* handle) {
  for (lv_external_object** p = &objects; *p != nullptr; p = &(*p)->next)
    if (*p == handle) {
      *p = handle->next;
      handle->next = nullptr;
      return true;
    }
  return false;
}

void finalize_and_free(lv_external_object* handle) {
  lv_external_object_type* type = handle->type;
  type->finalizer(handle->object, type->user_data);
  std::memset(handle, 0, sizeof *handle);
  lv_mem_free(handle, sizeof *handle, FLAGS);
}

// The object named by a term: the atom "$ptr ..." itself or a compound whose
// first argument is that atom; found on the list, it moves to the front.
lv_external_object* find(lv_term_ref t) {
  lv_term x = lv_term_ref_value(t);
  if (lv_is_compound(x) && !lv_is_list(x) && lv_functor_arity(*lv_struct_cells(x)) >= 1)
    x = lv_deref(lv_struct_cells(x)[1]);
  if (!lv_is_atom(x)) return nullptr;
  lv_external_object* handle = handle_of_text(lv_atom_text(x));
  if (handle == nullptr || !unlink(handle)) return nullptr;
  handle->next = objects;
  objects = handle;
  return handle;
}

}  // namespace

bool lv_external_handle_text(const lv_external_object* handle, char* buffer) {
  uint64_t value = reinterpret_cast<uint64_t>(handle);
  if (value == 0) return false;
  std::memcpy(buffer, PREFIX, PREFIX_LENGTH);
  char* p = buffer + PREFIX_LENGTH;
  for (; value != 0; value >>= 4) *p++ = NIBBLES[value & 15];
  *p = '\0';
  return true;
}

lv_external_object_type* LV_register_external_object_type(lv_external_finalizer finalizer, lv_external_putter putter,
                                                          void* user_data) {
  auto* type = static_cast<lv_external_object_type*>(lv_mem_alloc(sizeof(lv_external_object_type), FLAGS));
  if (type == nullptr) return nullptr;
  type->finalizer = finalizer != nullptr ? finalizer : no_finalizer;
  type->putter = putter != nullptr ? putter : default_putter;
  type->user_data = user_data;
  type->next = types;
  types = type;
  return type;
}

lv_external_object* LV_register_external_object(void* object, lv_external_object_type* type) {
  if (type == nullptr) return nullptr;
  auto* handle = static_cast<lv_external_object*>(lv_mem_alloc(sizeof(lv_external_object), FLAGS));
  if (handle == nullptr) return nullptr;
  handle->object = object;
  handle->type = type;
  handle->next = objects;
  objects = handle;
  return handle;
}

int LV_put_external_object(lv_term_ref t, lv_external_object* handle) {
  if (handle == nullptr) return 0;
  return handle->type->putter(t, handle);
}

int LV_external_object_default_putter_helper(lv_term_ref t, lv_external_object* handle, lv_term functor_name) {
  char text[PREFIX_LENGTH + 17];
  if (!lv_term_ref_valid(t) || !lv_external_handle_text(handle, text)) return 0;
  lv_term_ref name = LV_new_term_ref();
  int ok = LV_put_string(name, text) && LV_cons_functor(t, functor_name, 1, name);
  LV_reset_term_refs(name);
  return ok;
}

int LV_put_external_object_link(lv_term_ref t, lv_external_object* handle) {
  char text[PREFIX_LENGTH + 17];
  if (!lv_external_handle_text(handle, text)) return 0;
  return LV_put_string(t, text);
}

int LV_put_weak_external_object_link(lv_term_ref t, lv_external_object* handle) {
  return LV_put_external_object_link(t, handle);
}

int LV_get_external_object(lv_term_ref t, lv_external_object** handle) {
  if (!lv_term_ref_valid(t)) return 0;
  lv_external_object* found = find(t);
  if (found == nullptr) return 0;
  *handle = found;
  return 1;
}

void* LV_get_external_object_data(lv_external_object* handle) { return handle != nullptr ? handle->object : nullptr; }

lv_external_object_type* LV_get_external_object_type(lv_external_object* handle) {
  return handle != nullptr ? handle->type : nullptr;
}

int LV_unlink_external_object(lv_external_object* handle, int finalize) {
  if (handle == nullptr || !unlink(handle)) return 0;
  if (finalize) finalize_and_free(handle);
  return 1;
}

int LV_finalize_external_object(lv_term_ref t, int* result) {
  int found = 0;
  if (lv_term_ref_valid(t)) {
    lv_external_object* handle = find(t);
    if (handle != nullptr) {
      unlink(handle);
      finalize_and_free(handle);
      found = 1;
    }
  }
  if (result != nullptr) *result = found;
  return found;
}

int LV_garbage_collect_external_objects(lv_external_object_type* type) {
  int finalized = 0;
  char text[PREFIX_LENGTH + 17];
  for (lv_external_object** p = &objects; *p != nullptr;) {
    lv_external_object* handle = *p;
    if ((type == nullptr || handle->type == type) && lv_external_handle_text(handle, text) &&
        LV_existing_atom_from_string(text) == 0) {
      *p = handle->next;
      finalize_and_free(handle);
      finalized++;
    } else {
      p = &handle->next;
    }
  }
  return finalized;
}
