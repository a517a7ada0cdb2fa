// Clause lists and their first-argument index.
#include "store/clause_list.h"

#include <cstring>

#include "core/fd_hooks.h"
#include "core/heap_parse.h"
#include "core/memory.h"
#include "core/predefined_atoms.h"
#include "machine/insn_walk.h"
#include "machine/instructions.h"
#include "store/code_walk.h"
#include "store/counters.h"
#include "store/dynamic_table.h"
#include "store/reclaim.h"
#include "store/static_code.h"

namespace {

constexpr uint32_t LIST_FLAGS = lv_mem_flags(LV_CAT_INCORE_INFO);
constexpr uint32_t TRY_FLAGS = lv_mem_flags(LV_CAT_TRY_NODE);
constexpr uint32_t MISC_FLAGS = lv_mem_flags(LV_CAT_MISC);

// --- Chains ---------------------------------------------------------------

bool is_series(const uint32_t* chain) { return chain[0] == lv_opcode(LV_OP_TRY); }

lv_try_record* record_of(const uint32_t* try_word) {
  return reinterpret_cast<lv_try_record*>(reinterpret_cast<char*>(const_cast<uint32_t*>(try_word)) -
                                          offsetof(lv_try_record, insn));
}

lv_try_record* new_record(const uint32_t* target, uint32_t cp_size) {
  lv_try_record* r = static_cast<lv_try_record*>(lv_mem_alloc(sizeof(lv_try_record), TRY_FLAGS));
  *r = {nullptr, target, nullptr, cp_size, lv_opcode(LV_OP_TRY)};
  return r;
}

uint32_t later_cp_size(unsigned arity) { return 48 + 8 * ((arity + 1) & ~1u); }

const uint32_t* code_start(lv_code_block* b) { return lv_code_block_code(b); }

// Where a chain enters a clause: at its first instruction in all_chain, past
// its first-argument test elsewhere.
const uint32_t* chain_entry(lv_code_block* b, bool in_all) {
  const uint32_t* code = code_start(b);
  return in_all ? code : code + lv_insn_arg_class(code[0]);
}

// The block of the last clause of a non-empty chain.
lv_code_block* last_clause(const uint32_t* chain) {
  if (is_series(chain)) chain = static_cast<lv_try_record*>(record_of(chain)->last_or_end)->target;
  return lv_find_code_block(chain);
}

// Adds a clause to a chain with a try record (no joining).
void add_with_record(const uint32_t** chain, lv_code_block* b, unsigned arity, bool in_all) {
  const uint32_t* w = *chain;
  if (w == lv_fail_code) {
    *chain = chain_entry(b, in_all);
    return;
  }
  lv_try_record* fresh = new_record(code_start(b), later_cp_size(arity));
  fresh->last_or_end = lv_retry_end;
  if (!is_series(w)) {
    lv_try_record* first = new_record(w, 48 + 8 * arity);
    first->next = fresh;
    first->last_or_end = fresh;
    *chain = &first->insn;
    return;
  }
  lv_try_record* first = record_of(w);
  lv_try_record* last = static_cast<lv_try_record*>(first->last_or_end);
  last->next = fresh;
  if (last != first) last->last_or_end = nullptr;
  first->last_or_end = fresh;
}

bool covers_bits(uint32_t c, uint32_t b) {
  return ((b & LV_KEY_ALL) == 0 || (c & LV_KEY_ALL) != 0) && ((b & LV_KEY_LIST) == 0 || (c & LV_KEY_LIST) != 0) &&
         (c & LV_KEY_KEYED) >= (b & LV_KEY_KEYED);
}

// Adds clause C to a chain, joining it through the last clause's alt_entry
// when that clause continues into following clauses.
void chain_add(const uint32_t** chain, lv_code_block* c, unsigned arity, bool in_all) {
  if (*chain != lv_fail_code) {
    lv_code_block* b = last_clause(*chain);
    while (b != nullptr && (lv_code_block_key_bits(b) & LV_KEY_JOIN) != 0 && b->alt_entry != lv_fail_code)
      b = lv_find_code_block(b->alt_entry);
    if (b != nullptr) {
      if (b == c) return;
      uint32_t bb = lv_code_block_key_bits(b);
      if ((bb & LV_KEY_STOP) != 0 && (!in_all || lv_insn_arg_class(code_start(b)[0]) == 0)) return;
      uint32_t cb = lv_code_block_key_bits(c);
      if ((bb & LV_KEY_JOIN) != 0 && lv_first_arg_key(c) == 0 && covers_bits(cb, bb)) {
        b->alt_entry = code_start(c);
        lv_code_block_end(b);
        return;
      }
      b->size_key &= ~LV_KEY_JOIN;
    }
  }
  add_with_record(chain, c, arity, in_all);
}

// A copy of a chain: its try records are duplicated.
const uint32_t* chain_copy(const uint32_t* chain) {
  if (!is_series(chain)) return chain;
  lv_try_record* first = nullptr;
  lv_try_record* last = nullptr;
  for (lv_try_record* r = record_of(chain); r != nullptr; r = r->next) {
    lv_try_record* copy = new_record(r->target, r->cp_size);
    if (first == nullptr)
      first = copy;
    else
      last->next = copy;
    last = copy;
  }
  last->last_or_end = lv_retry_end;
  if (first != last) first->last_or_end = last;
  return &first->insn;
}

void free_chain(const uint32_t* chain) {
  if (chain == nullptr || !is_series(chain)) return;
  for (lv_try_record* r = record_of(chain); r != nullptr;) {
    lv_try_record* next = r->next;
    lv_mem_free(r, sizeof *r, TRY_FLAGS);
    r = next;
  }
}

// --- The key table --------------------------------------------------------

// The default chain: the value of any empty entry.
const uint32_t* default_chain(lv_keytab* t) {
  lv_hash_entry* e = lv_keytab_entries(t);
  for (uint64_t i = 0; i < lv_keytab_capacity(t); i++)
    if (e[i].key == 0) return reinterpret_cast<const uint32_t*>(e[i].value);
  return lv_fail_code;
}

void set_default_chain(lv_keytab* t, const uint32_t* chain) {
  lv_hash_entry* e = lv_keytab_entries(t);
  for (uint64_t i = 0; i < lv_keytab_capacity(t); i++)
    if (e[i].key == 0) e[i].value = reinterpret_cast<uint64_t>(chain);
}

// The entry of a key, made (with a copy of the default chain) when absent.
lv_hash_entry* key_entry(lv_keytab** table, lv_term key) {
  lv_hash_entry* e = incore_gethash(*table, key);
  if (e->key == key) return e;
  uint64_t fallback = e->value;
  e->key = key;
  e->value = reinterpret_cast<uint64_t>(chain_copy(reinterpret_cast<const uint32_t*>(fallback)));
  (*table)->count++;
  if (lv_keyhash_over_limit(*table)) {
    lv_keyhash_rehash(table, fallback, e);
    e = incore_gethash(*table, key);
  }
  return e;
}

// --- Large-number keys ----------------------------------------------------

// Inline boxes: a 64-bit header and value words, read from code.
uint64_t box_words(const uint32_t* box) { return static_cast<uint64_t>(LargeArity_checked(lv_code_read64(box))); }

int boxes_equal(const void* stored, const void* key, void*) {
  const uint32_t* a = static_cast<const uint32_t*>(stored);
  const uint32_t* b = static_cast<const uint32_t*>(key);
  uint64_t n = box_words(a);
  return n == box_words(b) && std::memcmp(a, b, 8 * n) == 0;
}

uint64_t box_hash(const uint32_t* box) {
  uint64_t h = 0;
  for (uint64_t i = 0; i < box_words(box); i++) h = lv_hash_word(h ^ lv_code_read64(box + 2 * i));
  return h;
}

lv_hash_gentry* large_entry(lv_clause_list* list, const uint32_t* box) {
  if (list->large_table == nullptr) list->large_table = lv_hash_new(4, boxes_equal, nullptr);
  uint64_t h = box_hash(box);
  lv_hash_gentry* e = lv_hash_lookup(list->large_table, box, h);
  if (e->key == nullptr) {
    e = lv_hash_insert(&list->large_table, box, h);
    e->value = const_cast<uint32_t*>(chain_copy(default_chain(list->key_table)));
  }
  return e;
}

lv_code_block* list_pseudo_block(lv_clause_list* list) { return reinterpret_cast<lv_code_block*>(list); }

// The instruction after CHECK_HEAPQ, and its register operand X0.
bool reads_x0(const lv_decoded_insn& d) {
  return d.operand_count > 0 && d.operands[0].kind == 'X' && d.operands[0].value == lv_x_operand(0);
}

// The heap check of a head that builds much: the first argument's test
// follows it. A check of no cells is the event check of a body goal, which
// the first argument's key does not come from.
bool head_heap_check(const lv_decoded_insn& d) {
  return (d.number == LV_OP_CHECK_HEAPQ || d.number == LV_OP_CHECK_HEAP) && d.operands[0].value != 0;
}

}  // namespace

// --- First-argument keys ----------------------------------------------------

lv_term lv_first_arg_key(const lv_code_block* block) {
  const uint32_t* code = reinterpret_cast<const uint32_t*>(block + 1);
  lv_decoded_insn d;
  if (!lv_insn_decode(code, &d)) return 0;
  switch (d.number) {
    case LV_OP_GET_CONSTANT_X0Q: case LV_OP_GET_CONSTANT_X0:
    case LV_OP_GET_STRUCTURE_X0Q: case LV_OP_GET_STRUCTURE_X0:
    case LV_OP_GET_LARGE_X0Q: case LV_OP_GET_LARGE_X0:
      return d.operands[0].value;
    case LV_OP_GET_NIL_X0: return LV_ATOM_NIL;
    case LV_OP_GET_LIST_X0: return LV_FUNCTOR_DOT_2;
    default:
      if (!head_heap_check(d)) return 0;
      break;
  }
  lv_decoded_insn next;
  if (!lv_insn_decode(code + d.length, &next) || !reads_x0(next)) return 0;
  switch (next.number) {
    case LV_OP_GET_STRUCTURE: case LV_OP_GET_STRUCTUREQ:
    case LV_OP_GET_STRUCTURE_XVAR_XVAR: case LV_OP_GET_STRUCTURE_XVAR_XVARQ:
    case LV_OP_GET_LARGE: case LV_OP_GET_LARGEQ:
      return next.operands[1].value;
    case LV_OP_GET_LIST_XVAR_XVAR: case LV_OP_GET_LIST:
      return LV_FUNCTOR_DOT_2;
    default:
      return 0;
  }
}

const uint32_t* lv_large_chain(lv_clause_list* list, const lv_term* box) {
  if (list->large_table == nullptr) return nullptr;
  const uint32_t* words = reinterpret_cast<const uint32_t*>(box);
  lv_hash_gentry* e = lv_hash_lookup(list->large_table, words, box_hash(words));
  return e != nullptr && e->key != nullptr ? static_cast<const uint32_t*>(e->value) : nullptr;
}

const uint32_t* lv_large_key(const lv_code_block* block) {
  const uint32_t* code = reinterpret_cast<const uint32_t*>(block + 1);
  lv_decoded_insn d;
  if (!lv_insn_decode(code, &d)) return nullptr;
  if (d.number == LV_OP_GET_LARGE_X0Q || d.number == LV_OP_GET_LARGE_X0) return d.operands[0].at;
  if (!head_heap_check(d)) return nullptr;
  lv_decoded_insn next;
  if (!lv_insn_decode(code + d.length, &next) || !reads_x0(next)) return nullptr;
  if (next.number == LV_OP_GET_LARGE || next.number == LV_OP_GET_LARGEQ) return next.operands[1].at;
  return nullptr;
}

// --- Definitions --------------------------------------------------------------

void lv_new_clause_list(lv_pred* pred, uint32_t type) {
  if (type == LV_DEF_DYNAMIC) {
    pred->definition = lv_dynamic_table_new(pred);
  } else {
    lv_clause_list* list = static_cast<lv_clause_list*>(lv_mem_alloc(sizeof(lv_clause_list), LIST_FLAGS));
    *list = {nullptr, nullptr, lv_fail_code, nullptr, nullptr, nullptr};
    list->tail = list_pseudo_block(list);
    pred->definition = list;
    pred->flags &= ~LV_PRED_CLAUSE_FLAG;
  }
  update_exports(pred, type);
}

void lv_append_clause(lv_pred* pred, lv_code_block* block, uint32_t bits, lv_term key) {
  lv_clause_list* list = static_cast<lv_clause_list*>(pred->definition);
  unsigned arity = static_cast<unsigned>(pred->arity);
  block->next = reinterpret_cast<lv_code_block*>(lv_clause_number(list->tail) + 1);
  list->tail->next = block;
  list->tail = block;
  block->size_key = (block->size_key & ~0x1FFu) | (bits & 0x1FF);
  block->marks = LV_BLOCK_IN_LIST;
  if ((bits & LV_KEY_FLAG) != 0) pred->flags |= LV_PRED_CLAUSE_FLAG;
  uint32_t type = lv_definition_type(pred);
  if ((type & 1) == 0 && (bits & 31) != 0 && (bits & 31) != LV_KEY_NONE) {
    list->list_chain = chain_copy(list->all_chain);
    list->key_table = new_switch_on_key(2, reinterpret_cast<uint64_t>(chain_copy(list->all_chain)));
    type++;
    update_exports(pred, type);
  }
  if ((bits & LV_KEY_ALL) != 0) chain_add(&list->all_chain, block, arity, true);
  if ((type & 1) == 0) return;
  if ((bits & LV_KEY_LIST) != 0) chain_add(&list->list_chain, block, arity, false);
  if ((bits & LV_KEY_KEYED) == 0) return;
  if (key != 0 && !lv_heap_box_start(key)) {
    lv_hash_entry* e = key_entry(&list->key_table, key);
    const uint32_t* chain = reinterpret_cast<const uint32_t*>(e->value);
    chain_add(&chain, block, arity, false);
    e->value = reinterpret_cast<uint64_t>(chain);
    return;
  }
  if (key == 0) {
    lv_keytab* t = list->key_table;
    lv_hash_entry* entries = lv_keytab_entries(t);
    for (uint64_t i = 0; i < lv_keytab_capacity(t); i++) {
      if (entries[i].key == 0) continue;
      const uint32_t* chain = reinterpret_cast<const uint32_t*>(entries[i].value);
      chain_add(&chain, block, arity, false);
      entries[i].value = reinterpret_cast<uint64_t>(chain);
    }
    const uint32_t* fallback = default_chain(t);
    chain_add(&fallback, block, arity, false);
    set_default_chain(t, fallback);
    if (list->large_table != nullptr) {
      lv_hash_gentry* g = lv_hash_entries(list->large_table);
      for (uint64_t i = 0; i <= list->large_table->mask; i++) {
        if (g[i].key == nullptr || g[i].value == nullptr) continue;
        const uint32_t* chain = static_cast<const uint32_t*>(g[i].value);
        chain_add(&chain, block, arity, false);
        g[i].value = const_cast<uint32_t*>(chain);
      }
    }
    return;
  }
  const uint32_t* box = lv_large_key(block);
  if (box == nullptr) return;
  lv_hash_gentry* g = large_entry(list, box);
  const uint32_t* chain = static_cast<const uint32_t*>(g->value);
  chain_add(&chain, block, arity, false);
  g->value = const_cast<uint32_t*>(chain);
}

void lv_for_each_clause(lv_clause_list* list, void (*visit)(lv_code_block* b, void* arg), void* arg) {
  if (list->head == nullptr) return;
  // The link and the end test are read first: visit may free the block.
  for (lv_code_block* b = list->head;;) {
    bool last = b == list->tail;
    lv_code_block* next = b->next;
    visit(b, arg);
    if (last) break;
    b = next;
  }
}

void lv_for_each_try_record(const uint32_t* chain, void (*visit)(lv_try_record* r, void* arg), void* arg) {
  if (chain == nullptr || !is_series(chain)) return;
  for (lv_try_record* r = record_of(chain); r != nullptr; r = r->next) visit(r, arg);
}

void lv_free_clause_index(lv_clause_list* list) {
  free_chain(list->all_chain);
  free_chain(list->list_chain);
  if (list->key_table != nullptr) {
    lv_hash_entry* e = lv_keytab_entries(list->key_table);
    for (uint64_t i = 0; i < lv_keytab_capacity(list->key_table); i++)
      if (e[i].key != 0) free_chain(reinterpret_cast<const uint32_t*>(e[i].value));
    free_chain(default_chain(list->key_table));
    dispose_switch_on_key(list->key_table);
  }
  if (list->large_table != nullptr) {
    lv_hash_gentry* g = lv_hash_entries(list->large_table);
    for (uint64_t i = 0; i <= list->large_table->mask; i++)
      if (g[i].key != nullptr && g[i].value != nullptr) free_chain(static_cast<const uint32_t*>(g[i].value));
    lv_hash_free(list->large_table);
  }
  list->all_chain = lv_fail_code;
  list->list_chain = nullptr;
  list->key_table = nullptr;
  list->large_table = nullptr;
}

namespace {

void free_fd_definition(lv_fd_definition* d) {
  for (uint64_t& chain : d->chains) lv_call_fd_free_hook(&chain);
  lv_checkdealloc(d, sizeof *d, 0);
}

void free_block_decls(lv_pred* pred) {
  for (lv_block_decl* d = pred->block_decls; d != nullptr;) {
    lv_block_decl* next = d->next;
    lv_mem_free(d, 16 + std::strlen(d->text), MISC_FLAGS);
    d = next;
  }
  pred->block_decls = nullptr;
}

}  // namespace

void lv_clear_definition(lv_pred* pred) {
  uint32_t type = lv_definition_type(pred);
  if (pred->import_module == pred->owner_module) {
    if (type > LV_DEF_FD_CONSTRAINT) return;
    if (type != LV_DEF_UNDEFINED) {
      if (lv_typein_module() != lv_prolog_module()) {
        lv_free_predicate_counters(pred);
        free_block_decls(pred);
        pred->flags &= ~LV_PRED_BLOCK;
        if (pred->meta_spec != nullptr)
          lv_mem_free(pred->meta_spec, sizeof(lv_term) * (static_cast<unsigned>(pred->arity) + 1), MISC_FLAGS);
        pred->meta_spec = nullptr;
        pred->flags &= ~LV_PRED_META;
        pred->source_file = LV_ATOM_NIL;
      }
      if (type == LV_DEF_DYNAMIC && pred->definition != nullptr) lv_dynamic_table_free(pred);
      if (type == LV_DEF_FD_CONSTRAINT && pred->definition != nullptr)
        free_fd_definition(static_cast<lv_fd_definition*>(pred->definition));
      if ((type == LV_DEF_COMPACTCODE || type == LV_DEF_COMPACTCODE_INDEXED) && pred->definition != nullptr)
        lv_queue_erased_code(type, static_cast<lv_clause_list*>(pred->definition));
      pred->definition = nullptr;
    }
  } else {
    lv_pred* source = lv_lookup_predicate(pred->import_module, pred->name, static_cast<unsigned>(pred->arity), LV_LOOKUP_FIND);
    if (source != nullptr) {
      // Unlink this record and the importers chained behind it that import
      // through it; the next record importing from the source's module
      // directly stays.
      lv_pred* last = pred;
      while (last->importers != nullptr && last->importers->import_module != pred->import_module) last = last->importers;
      for (lv_pred** link = &source->importers; *link != nullptr; link = &(*link)->importers) {
        if (*link == pred) {
          *link = last->importers;
          break;
        }
      }
      last->importers = nullptr;
      if ((source->flags & LV_PRED_JITTED) != 0) {
        source->flags = (source->flags & ~LV_PRED_JITTED) | LV_PRED_JIT_CANDIDATE;
        lv_select_entry(source, lv_debugging_condition(source));
      }
    }
    pred->home_module = pred->import_module = pred->owner_module;
    pred->block_decls = nullptr;
    pred->meta_spec = nullptr;
    pred->counters = nullptr;
    pred->source_file = LV_ATOM_NIL;
    pred->jit_block = nullptr;
    pred->definition = nullptr;
    pred->flags &= ~LV_PRED_META;
  }
  pred->flags &= ~0xc32u;
  update_exports(pred, LV_DEF_UNDEFINED);
}

namespace {

bool key_listed(lv_term keys, lv_term key) {
  for (lv_term t = lv_deref(keys); lv_is_list(t); t = lv_deref(lv_list_cells(t)[1]))
    if (lv_deref(lv_list_cells(t)[0]) == key) return true;
  return false;
}

}  // namespace

void lv_erase_clauses(lv_pred* pred, lv_term keys) {
  uint32_t type = lv_definition_type(pred);
  if (type != LV_DEF_COMPACTCODE && type != LV_DEF_COMPACTCODE_INDEXED) return;
  lv_clause_list* old = static_cast<lv_clause_list*>(pred->definition);
  if (old == nullptr || old->head == nullptr) return;
  uint64_t count = 0;
  bool any = false;
  for (lv_code_block* b = old->head;; b = b->next) {
    count++;
    if (keys == 0 || key_listed(keys, b->source_key)) any = true;
    if (b == old->tail) break;
  }
  if (!any) return;
  if ((type & 1) != 0) lv_set_definition_type(pred, type & ~1u);
  lv_code_block** blocks = static_cast<lv_code_block**>(lv_mem_alloc(count * sizeof(lv_code_block*), MISC_FLAGS));
  uint64_t n = 0;
  for (lv_code_block* b = old->head;; b = b->next) {
    blocks[n++] = b;
    if (b == old->tail) break;
  }
  // The old record keeps the erased blocks, and its index, for reclamation.
  old->head = nullptr;
  old->tail = list_pseudo_block(old);
  for (uint64_t i = 0; i < n; i++) {
    lv_code_block* b = blocks[i];
    if (keys != 0 && !key_listed(keys, b->source_key)) continue;
    b->next = reinterpret_cast<lv_code_block*>(lv_clause_number(old->tail) + 1);
    old->tail->next = b;
    old->tail = b;
  }
  lv_queue_erased_code(type & ~1u, old);
  lv_new_clause_list(pred, type & ~1u);
  for (uint64_t i = 0; i < n; i++) {
    lv_code_block* b = blocks[i];
    if (keys == 0 || key_listed(keys, b->source_key)) continue;
    lv_append_clause(pred, b, lv_code_block_key_bits(b), lv_first_arg_key(b));
  }
  lv_mem_free(blocks, count * sizeof(lv_code_block*), MISC_FLAGS);
}
