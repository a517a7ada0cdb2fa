// Registered release records.
#include "core/free_handles.h"

#include "core/hashtab.h"

namespace {

lv_keytab* handles;  // record address -> 1 while registered

}  // namespace

lv_term lv_free_handle(lv_free_record* record) {
  if (handles == nullptr) handles = lv_wordtab_new(8);
  lv_wordtab_insert(&handles, reinterpret_cast<uint64_t>(record))->value = 1;
  return lv_pointer_to_term(record);
}

int lv_release_handle(lv_term handle) {
  if (!lv_is_small(handle) || handles == nullptr) return 0;
  auto* record = static_cast<lv_free_record*>(TermToPointer_checked(handle));
  lv_hash_entry* e = lv_wordtab_find(handles, reinterpret_cast<uint64_t>(record));
  if (e == nullptr || e->key != reinterpret_cast<uint64_t>(record) || e->value == 0) return 0;
  e->value = 0;
  record->release(record);
  return 1;
}

int prolog_free(lv_worker* w) { return lv_release_handle(lv_deref(w->X[0])); }
