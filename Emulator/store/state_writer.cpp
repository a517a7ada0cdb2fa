// The saved-state writer.
//
// Every record that a later record names is written first (an atom before
// the records that hold it, a module and its name before its predicates, a
// predicate's defining record before the code that calls it), each once:
// the relocation table of the write is the set of keys written.
#include "store/state_writer.h"

#include <cstdio>
#include <initializer_list>
#include <cstring>

#include "core/atoms.h"
#include "core/attributes.h"
#include "core/memory.h"
#include "core/predefined_atoms.h"
#include "store/clause_list.h"
#include "store/code_walk.h"
#include "store/db_clause.h"
#include "store/dynamic_table.h"
#include "store/predicates.h"
#include "store/state_cells.h"
#include "store/state_code_walk.h"
#include "store/state_globals.h"
#include "store/state_reloc.h"
#include "store/static_code.h"

namespace {

constexpr uint32_t WRITER_FLAGS = lv_mem_flags(LV_CAT_MISC);
constexpr lv_term ATOM_SLASH = lv_predefined_atom(110);

struct writer {
  lv_saved_state_io* io;
  // Dynamic predicates that a database reference names, written at the end.
  lv_pred** queue;
  uint64_t queued;
  uint64_t capacity;
  // The predicate being written, and why the write was refused.
  lv_pred* current;
  bool refused;
  char reason[256];
};

lv_term atomic_or_nil(lv_term t) { return lv_is_atomic(t) ? t : LV_ATOM_NIL; }

bool in_list(lv_term list, lv_term item) {
  for (lv_term l = lv_deref(list); lv_is_list(l); l = lv_deref(lv_list_cells(l)[1]))
    if (lv_deref(lv_list_cells(l)[0]) == item) return true;
  return false;
}

// Whether a clause is saved: with a selected-files list, the clauses of a
// multifile predicate only when their source file is in it.
bool keep(writer& wr, const lv_pred* p, lv_term source_key) {
  if (wr.io->selected < 0 || (p->flags & LV_PRED_MULTIFILE) == 0) return true;
  return in_list(lv_term_ref_cell(wr.io->w, wr.io->selected), source_key);
}

bool mark(writer& wr, const void* address) {
  return lv_reloc_mark(&wr.io->reloc, lv_state_address_key(reinterpret_cast<uint64_t>(address)));
}
bool marked(writer& wr, const void* address) {
  return lv_reloc_marked(wr.io->reloc, lv_state_address_key(reinterpret_cast<uint64_t>(address)));
}

void write_atom(writer& wr, uint64_t word) {
  if (!lv_state_is_atom_word(word)) return;
  uint64_t key = lv_state_atom_key(word);
  if (key <= LV_STATE_FIXED_ATOM_KEY_MAX || !lv_reloc_mark(&wr.io->reloc, key)) return;
  const char* text = lv_atom_text(key);
  size_t length = lv_atom_length(key);
  uint64_t prefix = LV_ATOM_PREFIX_NONE;
  const lv_saved_state_io* io = wr.io;
  if (io->library_dir != nullptr && length >= io->library_length &&
      std::memcmp(text, io->library_dir, io->library_length) == 0) {
    prefix = LV_ATOM_PREFIX_LIBRARY;
    text += io->library_length;
    length -= io->library_length;
  } else if (io->state_dir != nullptr && length >= io->state_length &&
             std::memcmp(text, io->state_dir, io->state_length) == 0) {
    prefix = LV_ATOM_PREFIX_STATE;
    text += io->state_length;
    length -= io->state_length;
  }
  lv_state_put_header(wr.io, LV_REC_ATOM, key, length + 1, prefix);
  lv_state_put(wr.io, text, length);
  lv_state_put(wr.io, "", 1);
}

void write_atoms(writer& wr, const uint64_t* words, uint64_t count) {
  for (uint64_t i = 0; i < count; i++) write_atom(wr, words[i]);
}

void write_module_record(writer& wr, lv_module* m) {
  write_atom(wr, m->name);
  if (!mark(wr, m)) return;
  uint64_t entries = m->pred_table->count;
  lv_state_put_header(wr.io, LV_REC_MODULE, reinterpret_cast<uint64_t>(m), m->name,
                      (m->flags & LV_MODULE_SYSTEM) << 1 | entries << 2);
}

// The records that define a predicate: its module, its name, itself.
void write_pred_record(writer& wr, lv_pred* p) {
  write_module_record(wr, p->owner_module);
  write_atom(wr, p->name);
  if (!mark(wr, p)) return;
  lv_state_put_header(wr.io, LV_REC_PREDICATE, reinterpret_cast<uint64_t>(p),
                      reinterpret_cast<uint64_t>(p->owner_module), lv_pred_functor(p));
}

bool refuse(writer& wr, const char* reason) {
  if (!wr.refused) std::snprintf(wr.reason, sizeof wr.reason, "%s", reason);
  wr.refused = true;
  return false;
}

bool on_code_operand(int kind, char, uint64_t* value, void* arg) {
  writer& wr = *static_cast<writer*>(arg);
  switch (kind) {
    case LV_WALK_ATOM:
      write_atom(wr, *value);
      return true;
    case LV_WALK_PRED:
      if (lv_code_is_internal_header(reinterpret_cast<const void*>(*value)))
        return refuse(wr, "its code calls an internal predicate of another clause");
      write_pred_record(wr, reinterpret_cast<lv_pred*>(*value));
      return true;
    default:
      return refuse(wr, "its code calls a C function");
  }
}

bool on_cell_atom(uint64_t word, void* arg) {
  write_atom(*static_cast<writer*>(arg), word);
  return true;
}

// A clause that a '$ref' names: saved when its predicate's clauses are
// (the predicate is written at the end when it has not been).
bool on_cell_clause(lv_db_clause* c, void* arg) {
  writer& wr = *static_cast<writer*>(arg);
  lv_pred* q = c->pred;
  if (lv_definition_type(q) != LV_DEF_DYNAMIC || q->definition == nullptr || !keep(wr, q, c->source_key)) return false;
  if (!marked(wr, c)) {
    if (wr.queued == wr.capacity) {
      uint64_t grown = wr.capacity == 0 ? 8 : 2 * wr.capacity;
      wr.queue = static_cast<lv_pred**>(wr.queue == nullptr
                                            ? lv_mem_alloc(grown * sizeof(lv_pred*), WRITER_FLAGS)
                                            : lv_mem_realloc(wr.queue, wr.capacity * sizeof(lv_pred*),
                                                             grown * sizeof(lv_pred*), WRITER_FLAGS));
      wr.capacity = grown;
    }
    wr.queue[wr.queued++] = q;
  }
  return true;
}

// The cells of a stored block, copied to report their atoms and the
// clauses its references name, before the record that carries them.
struct copied_cells {
  uint64_t* cells;
  uint64_t count;
};

copied_cells copy_cells(writer& wr, lv_stored_block* b) {
  copied_cells c = {nullptr, lv_block_cell_count(b)};
  if (c.count == 0) return c;
  c.cells = static_cast<uint64_t*>(lv_mem_alloc(8 * c.count, WRITER_FLAGS));
  lv_cell_visitor visitor = {on_cell_atom, on_cell_clause, &wr};
  lv_state_copy_cells(b, c.cells, &visitor);
  return c;
}

void put_cells(writer& wr, copied_cells& c) {
  if (c.cells == nullptr) return;
  lv_state_put(wr.io, c.cells, 8 * c.count);
  lv_mem_free(c.cells, 8 * c.count, WRITER_FLAGS);
  c.cells = nullptr;
}

void write_properties(writer& wr, lv_pred* p) {
  write_pred_record(wr, p);
  uint32_t flags = p->flags;
  if (p->meta_spec == nullptr) flags &= ~LV_PRED_META;
  if (p->block_decls == nullptr) flags &= ~LV_PRED_BLOCK;
  auto arity = static_cast<uint64_t>(p->arity);
  if ((flags & LV_PRED_META) != 0) write_atoms(wr, p->meta_spec, arity);
  lv_state_put_header(wr.io, LV_REC_PROPERTIES, reinterpret_cast<uint64_t>(p), lv_state_pack_flags(flags),
                      lv_definition_type(p));
  if ((flags & LV_PRED_META) != 0) lv_state_put(wr.io, p->meta_spec, 8 * arity);
  // The texts in reverse, so that the reader's pushing restores the order.
  uint64_t count = 0;
  for (const lv_block_decl* d = p->block_decls; d != nullptr; d = d->next) count++;
  for (uint64_t i = count; i-- > 0;) {
    const lv_block_decl* d = p->block_decls;
    for (uint64_t j = 0; j < i; j++) d = d->next;
    size_t length = std::strlen(d->text);
    lv_state_put_header(wr.io, LV_REC_TEXT, reinterpret_cast<uint64_t>(p), length + 1);
    lv_state_put(wr.io, d->text, length + 1);
  }
  lv_term slot = atomic_or_nil(p->source_file);
  if (slot != LV_ATOM_NIL) {
    write_atom(wr, slot);
    lv_state_put_header(wr.io, LV_REC_PRED_TERM, reinterpret_cast<uint64_t>(p), slot);
  }
}

void write_block(writer& wr, lv_pred* p, lv_code_block* b) {
  if (wr.refused || !keep(wr, p, b->source_key)) return;
  lv_term source_key = atomic_or_nil(b->source_key);
  lv_term source = atomic_or_nil(b->source);
  write_atom(wr, source_key);
  write_atom(wr, source);
  uint64_t aux_bytes = b->side_table != nullptr ? b->side_table[0] : 0;
  if (aux_bytes != 0) write_atoms(wr, b->side_table + 1, aux_bytes / 8 - 1);
  char why[128];
  if (!lv_walk_clause_code(b, on_code_operand, &wr, why, sizeof why)) {
    if (!wr.refused) refuse(wr, why);
    return;
  }
  uint64_t size = lv_code_block_size(b);
  lv_state_put_header(wr.io, LV_REC_CODE, reinterpret_cast<uint64_t>(p), b->size_key,
                      reinterpret_cast<uint64_t>(b) + size, reinterpret_cast<uint64_t>(lv_fail_code), source_key,
                      source, aux_bytes, size - sizeof(lv_code_block));
  if (aux_bytes != 0) lv_state_put(wr.io, b->side_table, aux_bytes);
  lv_state_put(wr.io, lv_code_block_code(b), size - sizeof(lv_code_block));
}

void write_clause(writer& wr, lv_pred* p, lv_db_clause* c) {
  mark(wr, c);
  lv_term source_key = atomic_or_nil(c->source_key);
  lv_term source = atomic_or_nil(c->source);
  write_atom(wr, c->key);
  write_atom(wr, source_key);
  write_atom(wr, source);
  uint64_t index_bytes = c->side_table != nullptr ? c->side_table[0] : 0;
  uint64_t key_bytes = c->positions != nullptr ? *static_cast<const uint64_t*>(c->positions) : 0;
  if (index_bytes != 0) write_atoms(wr, c->side_table + 1, index_bytes / 8 - 1);
  copied_cells cells = copy_cells(wr, lv_block_of(c));
  lv_state_put_header(wr.io, LV_REC_CLAUSE, reinterpret_cast<uint64_t>(p), source_key, source, c->key, index_bytes,
                      key_bytes, 8 * cells.count);
  uint64_t header[2] = {reinterpret_cast<uint64_t>(c), c->reserved};
  lv_state_put(wr.io, header, sizeof header);
  if (index_bytes != 0) lv_state_put(wr.io, c->side_table, index_bytes);
  if (key_bytes != 0) lv_state_put(wr.io, c->positions, key_bytes);
  put_cells(wr, cells);
}

void write_pred(writer& wr, lv_pred* p, lv_module* m, bool force) {
  if (wr.refused) return;
  wr.current = p;
  if (p->home_module != m) {
    lv_pred* source = p->import_module != nullptr && p->import_module != p->owner_module
                          ? lv_lookup_predicate(p->import_module, p->name, static_cast<unsigned>(p->arity), LV_LOOKUP_FIND)
                          : nullptr;
    if (source == nullptr || source == p) return;
    write_pred_record(wr, p);
    write_pred_record(wr, source);
    lv_state_put_header(wr.io, LV_REC_IMPORT, reinterpret_cast<uint64_t>(p),
                        reinterpret_cast<uint64_t>(p->import_module), reinterpret_cast<uint64_t>(source));
    return;
  }
  bool skip_clauses = (p->flags & LV_PRED_VOLATILE) != 0 && !force;
  uint32_t type = lv_definition_type(p);
  if (type == LV_DEF_COMPACTCODE || type == LV_DEF_COMPACTCODE_INDEXED) {
    write_properties(wr, p);
    auto* list = static_cast<lv_clause_list*>(p->definition);
    if (skip_clauses || list == nullptr || list->head == nullptr) return;
    for (lv_code_block* b = list->head;; b = b->next) {
      write_block(wr, p, b);
      if (b == list->tail) break;
    }
  } else if (type == LV_DEF_DYNAMIC) {
    lv_dynamic_clause_table* t = lv_dynamic_table(p);
    lv_db_clause* first = t != nullptr && t->first != nullptr ? lv_next_live_clause(t->first) : nullptr;
    if (first != nullptr && marked(wr, first)) return;
    write_properties(wr, p);
    if (skip_clauses) return;
    for (lv_db_clause* c = first; c != nullptr;) {
      if (keep(wr, p, c->source_key)) write_clause(wr, p, c);
      lv_db_clause* next = lv_clause_next(c);
      c = next != nullptr ? lv_next_live_clause(next) : nullptr;
    }
  }
}

void write_module(writer& wr, lv_module* m, uint32_t depth) {
  write_module_record(wr, m);
  if (depth > 0)
    lv_state_put_header(wr.io, LV_REC_ATTRIBUTE, reinterpret_cast<uint64_t>(m), m->attribute_index != 0 ? 1 : 0);
  lv_term slot = atomic_or_nil(m->module_info);
  bool chained = m->pred_chain != nullptr && m->pred_chain != LV_CHAIN_END;
  // The chain is written whenever the module has one: a module declared
  // with the term slot [] would otherwise lose its exports.
  if (slot != LV_ATOM_NIL || m == lv_prolog_module() || chained) {
    write_atom(wr, slot);
    uint64_t count = 0;
    for (lv_pred* p = m->pred_chain; p != nullptr && p != LV_CHAIN_END; p = p->next_in_module) {
      write_pred_record(wr, p);
      count++;
    }
    lv_state_put_header(wr.io, LV_REC_CHAIN, reinterpret_cast<uint64_t>(m), slot, 8 * count);
    for (lv_pred* p = m->pred_chain; p != nullptr && p != LV_CHAIN_END; p = p->next_in_module) {
      uint64_t address = reinterpret_cast<uint64_t>(p);
      lv_state_put(wr.io, &address, 8);
    }
  }
  if (depth == 0) return;
  bool prolog = m == lv_prolog_module();
  lv_hash_entry* e = lv_keytab_entries(m->pred_table);
  for (uint64_t i = lv_keytab_capacity(m->pred_table); i-- > 0;) {
    if (e[i].key == 0 || e[i].value == 0) continue;
    auto* p = reinterpret_cast<lv_pred*>(e[i].value);
    bool wanted = prolog ? depth == 3 || (p->flags & (LV_PRED_DYNAMIC | LV_PRED_VOLATILE)) == LV_PRED_DYNAMIC
                         : false;
    if (wanted || p->home_module != lv_prolog_module()) write_pred(wr, p, m, false);
  }
  lv_hash_entry* bb = lv_keytab_entries(m->bb_table);
  for (uint64_t i = lv_keytab_capacity(m->bb_table); i-- > 0;) {
    if (wr.refused) return;
    if (bb[i].key == 0 || bb[i].value == 0) continue;
    auto* b = reinterpret_cast<lv_stored_block*>(bb[i].value);
    write_atom(wr, bb[i].key);
    copied_cells cells = copy_cells(wr, b);
    lv_state_put_header(wr.io, LV_REC_STORED, reinterpret_cast<uint64_t>(m), bb[i].key, 8 * cells.count);
    uint64_t header[2] = {reinterpret_cast<uint64_t>(b), b->db_d};
    lv_state_put(wr.io, header, sizeof header);
    put_cells(wr, cells);
  }
}

void write_globals(writer& wr) {
  uint64_t words[LV_STATE_GLOBAL_WORDS];
  lv_state_global_words(words);
  write_atoms(wr, words, LV_STATE_GLOBAL_WORDS);
  lv_state_put_header(wr.io, LV_REC_GLOBALS);
  lv_state_put(wr.io, words, sizeof words);
}

// Module:Name/Arity without creating anything.
lv_pred* spec_pred(lv_term spec) {
  spec = lv_deref(spec);
  if (!lv_is_struct(spec) || lv_struct_cells(spec)[0] != LV_FUNCTOR_COLON_2) return nullptr;
  lv_module* m = find_module(lv_struct_cells(spec)[1], 0);
  lv_term pi = lv_deref(lv_struct_cells(spec)[2]);
  if (m == nullptr || !lv_is_struct(pi) || lv_struct_cells(pi)[0] != lv_make_functor(ATOM_SLASH, 2)) return nullptr;
  lv_term name = lv_deref(lv_struct_cells(pi)[1]);
  lv_term arity = lv_deref(lv_struct_cells(pi)[2]);
  if (!lv_is_atom(name) || !lv_is_small(arity) || lv_small_value(arity) < 0 || lv_small_value(arity) > 255) return nullptr;
  lv_pred* p = lv_lookup_predicate(m, name, static_cast<unsigned>(lv_small_value(arity)), LV_LOOKUP_FIND);
  return p != nullptr && p->owner_module == m ? p : nullptr;
}

void write_increment(writer& wr, lv_term full, lv_term bare, lv_term preds) {
  for (lv_term list : {full, bare})
    for (lv_term l = lv_deref(list); lv_is_list(l); l = lv_deref(lv_list_cells(l)[1])) {
      lv_module* m = find_module(lv_deref(lv_list_cells(l)[0]), 0);
      if (m == nullptr) continue;
      write_module_record(wr, m);
      lv_state_put_header(wr.io, LV_REC_MODULE_RESET, reinterpret_cast<uint64_t>(m));
    }
  uint32_t depth = 1;
  for (lv_term list : {full, bare}) {
    for (lv_term l = lv_deref(list); lv_is_list(l); l = lv_deref(lv_list_cells(l)[1])) {
      lv_module* m = find_module(lv_deref(lv_list_cells(l)[0]), 0);
      if (m != nullptr) write_module(wr, m, depth);
    }
    depth = 0;
  }
  for (lv_term l = lv_deref(preds); lv_is_list(l); l = lv_deref(lv_list_cells(l)[1])) {
    lv_pred* p = spec_pred(lv_list_cells(l)[0]);
    if (p != nullptr && p->home_module != lv_prolog_module()) write_pred(wr, p, p->owner_module, false);
  }
}

void write_full(writer& wr, uint32_t kind) {
  lv_module* prolog = lv_prolog_module();
  if (kind == LV_STATE_ALL) write_module(wr, prolog, 3);
  lv_term names[LV_MAX_ATTRIBUTE_MODULES];
  uint32_t count = lv_attr_module_names(names);
  for (uint32_t i = 0; i < count; i++) {
    lv_module* m = find_module(names[i], 0);
    if (m != nullptr) write_module(wr, m, kind);
  }
  lv_keytab* table = lv_module_table();
  for (uint64_t i = lv_keytab_capacity(table); i-- > 0;) {
    lv_hash_entry* e = lv_keytab_entries(lv_module_table()) + i;
    if (e->key == 0 || e->value == 0) continue;
    auto* m = reinterpret_cast<lv_module*>(e->value);
    if (m->attribute_index != 0 || (kind != LV_STATE_ALL_BUT_PROLOG && m == prolog) || m->hidden != 0) continue;
    write_module(wr, m, kind);
  }
  write_globals(wr);
}

}  // namespace

int64_t lv_save_state(lv_saved_state_io* io, uint32_t kind, lv_term full_modules, lv_term bare_modules, lv_term preds) {
  writer wr = {io, nullptr, 0, 0, nullptr, false, {}};
  if (kind == LV_STATE_SELECTED)
    write_increment(wr, full_modules, bare_modules, preds);
  else
    write_full(wr, kind);
  for (uint64_t i = 0; i < wr.queued && !wr.refused; i++) write_pred(wr, wr.queue[i], wr.queue[i]->owner_module, true);
  if (wr.queue != nullptr) lv_mem_free(wr.queue, wr.capacity * sizeof(lv_pred*), WRITER_FLAGS);
  if (wr.refused) {
    lv_pred* p = wr.current;
    return lv_state_fail(io, LVIO_E_PARAMETER_ERROR, "%s:%s/%d cannot be saved: %s",
                         lv_atom_text(lv_functor_atom(p->owner_module->name)),
                         lv_atom_text(p->name), p->arity, wr.reason);
  }
  return io->error;
}
