// The program store's part in atom collection and memory trimming: its
// roots (modules, predicates and the atoms in their code), the sweep of
// undefined predicate records nothing refers to, and the reclamation of
// erased code.
#include <cstring>

#include "core/atom_gc.h"
#include "core/memory.h"
#include "core/worker.h"
#include "machine/insn_walk.h"
#include "store/clause_list.h"
#include "store/code_block.h"
#include "store/db_generations.h"
#include "store/db_enumerate.h"
#include "store/db_results.h"
#include "store/db_roots.h"
#include "store/dbref_table.h"
#include "store/dynamic_call.h"
#include "store/dynamic_table.h"
#include "store/predicates.h"
#include "store/reclaim.h"
#include "store/static_code.h"
#include "store/store_init.h"

namespace {

// Marks the atoms in a block's code: constants, functors, and the names of
// the predicates it calls (an undefined callee is flagged as referenced).
void mark_block(lv_code_block* b, void*) {
  lv_atom_mark_word(b->source_key);
  lv_atom_mark_word(b->source);
  const uint32_t* p = lv_code_block_code(b);
  const uint32_t* end = reinterpret_cast<const uint32_t*>(reinterpret_cast<const char*>(b) + lv_code_block_size(b));
  while (p < end) {
    if (p[0] == LV_INTERNAL_HEADER_WORD) {
      p = lv_insn_next(p, nullptr);
      continue;
    }
    lv_decoded_insn d;
    if (!lv_insn_decode(p, &d) || d.number == LV_OP_NATIVE_OP) return;
    for (unsigned i = 0; i < d.operand_count; i++) {
      const lv_operand& o = d.operands[i];
      if (o.kind == 'C' || o.kind == 'F') lv_atom_mark_word(o.value);
      if (o.kind == 'P' && o.value != 0) {
        lv_pred* callee = reinterpret_cast<lv_pred*>(o.value);
        lv_atom_mark_word(callee->name);
        if (lv_definition_type(callee) == LV_DEF_UNDEFINED) callee->flags |= LV_PRED_REFERENCED;
      }
    }
    p += d.length;
  }
}

void mark_definition(lv_pred* p) {
  lv_atom_mark_word(p->name);
  lv_atom_mark_word(p->source_file);
  if (p->meta_spec != nullptr) lv_atom_mark_words(p->meta_spec, static_cast<uint64_t>(p->arity) + 1);
  uint32_t type = lv_definition_type(p);
  if ((type == LV_DEF_COMPACTCODE || type == LV_DEF_COMPACTCODE_INDEXED) && p->definition != nullptr) {
    auto* list = static_cast<lv_clause_list*>(p->definition);
    lv_for_each_clause(list, mark_block, nullptr);
    if (list->key_table != nullptr) {
      lv_hash_entry* e = lv_keytab_entries(list->key_table);
      for (uint64_t i = 0; i < lv_keytab_capacity(list->key_table); i++) lv_atom_mark_word(e[i].key);
    }
  }
}

void mark_module(lv_module* m, void*) {
  lv_atom_mark_word(m->name);
  lv_atom_mark_word(m->module_info);
  lv_hash_entry* e = lv_keytab_entries(m->pred_table);
  for (uint64_t i = 0; i < lv_keytab_capacity(m->pred_table); i++) {
    if (e[i].key == 0 || e[i].value == 0) continue;
    lv_pred* p = reinterpret_cast<lv_pred*>(e[i].value);
    if (p->home_module == m && lv_definition_type(p) != LV_DEF_UNDEFINED) mark_definition(p);
  }
  if (m->prolog_copy_table != nullptr) {
    lv_hash_entry* c = lv_keytab_entries(m->prolog_copy_table);
    for (uint64_t i = 0; i < lv_keytab_capacity(m->prolog_copy_table); i++)
      if (c[i].key != 0 && c[i].value != 0) mark_definition(reinterpret_cast<lv_pred*>(c[i].value));
  }
  lv_hash_entry* bb = lv_keytab_entries(m->bb_table);
  for (uint64_t i = 0; i < lv_keytab_capacity(m->bb_table); i++) lv_atom_mark_word(bb[i].key);
}

void mark_store(lv_worker*) { lv_for_each_module(mark_module, nullptr); }

// Keeps undefined records that something refers to, frees the others.
void sweep_module(lv_module* m, void*) {
  lv_hash_entry* e = lv_keytab_entries(m->pred_table);
  bool removed = false;
  for (uint64_t i = 0; i < lv_keytab_capacity(m->pred_table); i++) {
    if (e[i].key == 0 || e[i].value == 0) continue;
    lv_pred* p = reinterpret_cast<lv_pred*>(e[i].value);
    if (lv_definition_type(p) != LV_DEF_UNDEFINED) continue;
    if ((p->flags & (LV_PRED_REFERENCED | LV_PRED_RESTORE_MARK)) != 0 || p->importers != nullptr ||
        p->next_in_module != nullptr || p->home_module != m) {
      lv_atom_mark_word(p->name);
      p->flags &= ~LV_PRED_REFERENCED;
      continue;
    }
    e[i].value = 0;
    lv_dynamic_ref_forget(p);
    lv_free_pred(p);
    removed = true;
  }
  if (!removed) return;
  uint64_t live = 0;
  for (uint64_t i = 0; i < lv_keytab_capacity(m->pred_table); i++)
    if (e[i].key != 0 && e[i].value != 0) live++;
  if (lv_hash_capacity(live) != lv_keytab_capacity(m->pred_table)) lv_keyhash_rehash(&m->pred_table, 0, nullptr);
}

void sweep_store(lv_worker*) { lv_for_each_module(sweep_module, nullptr); }

void reclaim(lv_worker* w) { lv_reclaim_erased_code(w, 0); }

void trim_code(lv_worker* w, int) { lv_reclaim_erased_code(w, 0); }

}  // namespace

void lv_store_init() {
  lv_code_blocks_reset();
  lv_reclaim_reset();
  lv_init_static_code();
  lv_modules_init();
  lv_dbref_init();
  lv_dynamic_refs_init();
  lv_db_generations_init();
  lv_dynamic_call_init();
  lv_db_roots_init();
  lv_db_enumerate_init();
  lv_db_reset_release_list();
  lv_atom_gc_add_before(reclaim);
  lv_atom_gc_add_roots(mark_store);
  lv_atom_gc_add_after_mark(sweep_store);
  lv_mem_set_trim_step(LV_TRIM_ERASED_CODE, trim_code);
}
