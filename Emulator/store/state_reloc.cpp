// The relocation table of saved states.
#include "store/state_reloc.h"

#include <cinttypes>

#include "core/atoms.h"
#include "store/predicates.h"
#include "store/state_format.h"
#include "streams/diagnostics.h"

namespace {

uint64_t tagged(lv_reloc_kind kind, uint64_t value) {
  if (kind == LV_RELOC_ATOM) return value - 2;
  return value + (kind == LV_RELOC_MARK ? 0u : static_cast<uint32_t>(kind));
}

lv_reloc_kind kind_of(uint64_t value) {
  uint32_t low = value & 7;
  return low == 5 ? LV_RELOC_ATOM : static_cast<lv_reloc_kind>(low);
}

uint64_t untagged(uint64_t value) {
  lv_reloc_kind k = kind_of(value);
  if (k == LV_RELOC_ATOM) return value + 2;
  return value - (k == LV_RELOC_MARK ? 0u : static_cast<uint32_t>(k));
}

// Lets go of what a value holds.
void release(uint64_t value) {
  switch (kind_of(value)) {
    case LV_RELOC_ATOM:
      lv_atom_ref_dec(untagged(value));
      break;
    case LV_RELOC_PRED:
      reinterpret_cast<lv_pred*>(untagged(value))->flags &= ~LV_PRED_RESTORE_MARK;
      break;
    default:
      break;
  }
}

lv_hash_entry* find(lv_keytab* table, uint64_t key) {
  lv_hash_entry* e = incore_gethash(table, key);
  return e != nullptr && e->key == key && e->value != 0 ? e : nullptr;
}

}  // namespace

lv_keytab* lv_reloc_new() { return new_switch_on_key(256, 0); }

void lv_reloc_free(lv_keytab* table) {
  if (table == nullptr) return;
  lv_hash_entry* e = lv_keytab_entries(table);
  for (uint64_t i = 0; i < lv_keytab_capacity(table); i++)
    if (e[i].key != 0 && e[i].value != 0) release(e[i].value);
  dispose_switch_on_key(table);
}

uint64_t lv_reloc_key(uint64_t word) {
  return lv_state_is_atom_word(word) ? lv_state_atom_key(word) : lv_state_address_key(word);
}

void lv_reloc_define(lv_keytab** table, uint64_t word, lv_reloc_kind kind, uint64_t value) {
  uint64_t key = lv_reloc_key(word);
  if (lv_state_is_atom_word(key) && key <= LV_STATE_FIXED_ATOM_KEY_MAX) return;
  uint64_t v = tagged(kind, value);
  if (kind == LV_RELOC_ATOM) lv_atom_ref_inc(value);
  if (kind == LV_RELOC_PRED) reinterpret_cast<lv_pred*>(value)->flags |= LV_PRED_RESTORE_MARK;
  lv_hash_entry* e = dyn_puthash(table, key);
  if (e->value != 0) {
    lv_ttyprintf("! relocation redefined, key=0x%" PRIx64 ", old value=0x%" PRIx64 ", new value=0x%" PRIx64 "\n", key,
                 e->value, v);
    lv_ttyflush();
    release(e->value);
  }
  e->value = v;
}

bool lv_reloc_lookup(lv_keytab* table, uint64_t word, lv_reloc_kind kind, uint64_t* value) {
  bool atom = lv_state_is_atom_word(word);
  if (atom != (kind == LV_RELOC_ATOM)) return false;
  uint64_t key = lv_reloc_key(word);
  if (atom && key <= LV_STATE_FIXED_ATOM_KEY_MAX) {
    *value = word;
    return true;
  }
  lv_hash_entry* e = find(table, key);
  if (e == nullptr || kind_of(e->value) != kind) return false;
  *value = untagged(e->value) | (atom ? word & LV_ARITY_BITS : 0);
  return true;
}

bool lv_reloc_mark(lv_keytab** table, uint64_t key) {
  if (find(*table, key) != nullptr) return false;
  dyn_puthash(table, key)->value = LV_RELOC_MARK;
  return true;
}

bool lv_reloc_marked(lv_keytab* table, uint64_t key) { return find(table, key) != nullptr; }
