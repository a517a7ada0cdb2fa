// Modules and predicate records.
#include "store/predicates.h"

#include <cstring>

#include "core/attributes.h"
#include "core/memory.h"
#include "core/predefined_atoms.h"
#include "core/worker.h"
#include "jit/native_entry.h"
#include "machine/insn_walk.h"
#include "machine/instructions.h"
#include "store/clause_list.h"

bool lv_jit_switch;

namespace {

constexpr uint32_t MODULE_FLAGS = lv_mem_flags(LV_CAT_MODULE);
constexpr uint32_t PRED_FLAGS = lv_mem_flags(LV_CAT_PREDICATE);
constexpr uint32_t MISC_FLAGS = lv_mem_flags(LV_CAT_MISC);
constexpr lv_term ATOM_QUESTION = lv_predefined_atom(5);
constexpr lv_term ATOM_SLASH = lv_predefined_atom(110);

lv_keytab* module_table;
lv_module* prolog_module;
lv_module* typein_module;

lv_module* new_module(lv_term name) {
  lv_module* m = static_cast<lv_module*>(lv_mem_alloc(sizeof(lv_module), MODULE_FLAGS));
  std::memset(m, 0, sizeof *m);
  m->name = name;
  m->flags = name == LV_ATOM_PROLOG ? LV_MODULE_SYSTEM : 0;
  m->pred_chain = LV_CHAIN_END;
  m->pred_table = new_switch_on_key(4, 0);
  m->aux_table = new_switch_on_key(4, 0);
  m->bb_table = new_switch_on_key(1, 0);
  m->module_info = LV_ATOM_NIL;
  return m;
}

lv_pred* new_pred(lv_module* m, lv_term name, unsigned arity) {
  lv_pred* p = static_cast<lv_pred*>(lv_mem_alloc(sizeof(lv_pred), PRED_FLAGS));
  std::memset(p, 0, sizeof *p);
  p->kind = LV_KIND_ENTER_UNDEFINED;
  p->arity = static_cast<int32_t>(arity);
  p->frame_size = 16 + 8 * arity;
  p->continue_insn = lv_opcode(LV_OP_KONTINUE);
  p->name = name;
  p->flags = LV_DEF_UNDEFINED << 12;
  p->home_module = p->import_module = p->owner_module = m;
  p->source_file = LV_ATOM_NIL;
  lv_set_native_entry(p);
  return p;
}

void enter(lv_module* m, lv_pred* p) { dyn_puthash(&m->pred_table, lv_pred_functor(p))->value = reinterpret_cast<uint64_t>(p); }

lv_pred* table_lookup(const lv_module* m, lv_term key) {
  lv_hash_entry* e = incore_gethash(m->pred_table, key);
  return e != nullptr && e->key == key ? reinterpret_cast<lv_pred*>(e->value) : nullptr;
}

// A copy of a record for another module: all fields but the counters.
lv_pred* copy_pred(const lv_pred* source, lv_module* owner) {
  lv_pred* p = static_cast<lv_pred*>(lv_mem_alloc(sizeof(lv_pred), PRED_FLAGS));
  std::memcpy(p, source, sizeof *p);
  p->counters = nullptr;
  p->owner_module = owner;
  return p;
}

void push_chain(lv_module* m, lv_pred* p) {
  p->next_in_module = m->pred_chain;
  m->pred_chain = p;
}

}  // namespace

void lv_modules_init() {
  module_table = new_switch_on_key(16, 0);
  lv_attr_modules_reset();
  typein_module = nullptr;
  prolog_module = find_module(LV_ATOM_PROLOG, 1);
  typein_module = prolog_module;
}

lv_module* lv_prolog_module() { return prolog_module; }
lv_module* lv_typein_module() { return typein_module; }
lv_keytab* lv_module_table() { return module_table; }
void lv_set_typein_module(lv_module* m) { typein_module = m; }

void lv_for_each_module(void (*visit)(lv_module* m, void* arg), void* arg) {
  if (module_table == nullptr) return;
  lv_hash_entry* entries = lv_keytab_entries(module_table);
  for (uint64_t i = 0; i < lv_keytab_capacity(module_table); i++)
    if (entries[i].key != 0 && entries[i].value != 0) visit(reinterpret_cast<lv_module*>(entries[i].value), arg);
}

lv_module* find_module(lv_term name, int create) {
  name = lv_deref(name);
  if (typein_module != nullptr && typein_module->name == name) return typein_module;
  lv_term key = name;
  if (lv_is_list(name)) key = LV_FUNCTOR_DOT_2;
  else if (lv_is_struct(name)) key = lv_struct_cells(name)[0];
  if (lv_is_ref(key) || key == 0) return nullptr;
  lv_hash_entry* e = incore_gethash(module_table, key);
  if (e != nullptr && e->key == key && e->value != 0) return reinterpret_cast<lv_module*>(e->value);
  if (!create || static_cast<int64_t>(key) < 0) return nullptr;
  lv_module* m = new_module(key);
  dyn_puthash(&module_table, key)->value = reinterpret_cast<uint64_t>(m);
  return m;
}

lv_pred* lv_lookup_predicate(lv_module* module, lv_term name, unsigned arity, int mode) {
  lv_term key = lv_pred_key(name, arity);
  if (module != nullptr) {
    lv_pred* p = table_lookup(module, key);
    if (p != nullptr) return p;
  }
  if (module != prolog_module) {
    lv_pred* p = table_lookup(prolog_module, key);
    if (p != nullptr && p->next_in_module != nullptr) {
      if (mode == LV_LOOKUP_DEFINE && module != nullptr && p->owner_module == prolog_module) {
        lv_pred* copy = copy_pred(p, module);
        enter(module, copy);
        return copy;
      }
      return p;
    }
  }
  if (name == LV_ATOM_CALL && arity > 0) {
    lv_pred* p = table_lookup(prolog_module, key);
    if (p == nullptr) {
      p = new_pred(prolog_module, name, arity);
      enter(prolog_module, p);
    }
    if (lv_definition_type(p) == LV_DEF_UNDEFINED) lv_define_call_n(p);
    return p;
  }
  if (mode == LV_LOOKUP_CREATE && module != nullptr) {
    lv_pred* p = new_pred(module, name, arity);
    enter(module, p);
    return p;
  }
  return nullptr;
}

lv_pred* lv_module_own_predicate(lv_module* module, lv_term name, unsigned arity) {
  lv_pred* p = table_lookup(module, lv_pred_key(name, arity));
  if (p == nullptr) {
    p = new_pred(module, name, arity);
    enter(module, p);
  }
  return p;
}

lv_pred* find_definition(lv_module* module, lv_term goal, lv_term** argument, int mode) {
  goal = lv_deref(goal);
  if (lv_is_atom(goal)) return lv_lookup_predicate(module, goal, 0, mode);
  if (lv_is_list(goal)) {
    if (argument != nullptr) *argument = lv_list_cells(goal);
    return lv_lookup_predicate(module, LV_ATOM_DOT, 2, mode);
  }
  if (lv_is_struct(goal) && !lv_is_box_header(lv_struct_cells(goal)[0])) {
    lv_term* cells = lv_struct_cells(goal);
    if (argument != nullptr) *argument = cells + 1;
    return lv_lookup_predicate(module, lv_functor_atom(cells[0]), lv_functor_arity(cells[0]), mode);
  }
  return nullptr;
}

lv_pred* find_def_in_module(lv_term goal, lv_term module_term) {
  lv_module* m = find_module(module_term, 0);
  if (m == nullptr) return nullptr;
  lv_term* argument = nullptr;
  lv_pred* p = find_definition(m, goal, &argument, LV_LOOKUP_FIND);
  lv_worker* w = get_current_worker();
  if (w != nullptr) w->arg_vector = argument;
  if (p == nullptr || p->kind == LV_KIND_ENTER_UNDEFINED) return nullptr;
  return p;
}

lv_pred* parse_definition(lv_term spec, lv_module* module) {
  spec = lv_deref(spec);
  while (lv_is_struct(spec) && lv_struct_cells(spec)[0] == LV_FUNCTOR_COLON_2) {
    module = find_module(lv_struct_cells(spec)[1], 1);
    if (module == nullptr) return nullptr;
    spec = lv_deref(lv_struct_cells(spec)[2]);
  }
  if (!lv_is_struct(spec) || lv_struct_cells(spec)[0] != lv_make_functor(ATOM_SLASH, 2)) return nullptr;
  lv_term name = lv_deref(lv_struct_cells(spec)[1]);
  lv_term arity = lv_deref(lv_struct_cells(spec)[2]);
  if (!lv_is_atom(name) || !lv_is_small(arity) || lv_small_value(arity) < 0 || lv_small_value(arity) > 255)
    return nullptr;
  return lv_lookup_predicate(module, name, static_cast<unsigned>(lv_small_value(arity)), LV_LOOKUP_CREATE);
}

void lv_define_call_n(lv_pred* pred) {
  unsigned n = static_cast<unsigned>(pred->arity);
  lv_code_block* block = lv_code_block_new(6);
  uint32_t* code = lv_code_block_code(block);
  code[0] = lv_opcode(LV_OP_EXECUTE_CALL);
  code[1] = n;
  code[2] = lv_opcode(LV_OP_END_OF_CLAUSEQ);
  code[3] = 0;
  lv_code_write64(&code[4], reinterpret_cast<uint64_t>(pred));
  lv_code_block_register(block);
  lv_module* prolog = prolog_module;
  if (table_lookup(prolog, lv_pred_functor(pred)) != pred) enter(prolog, pred);
  lv_new_clause_list(pred, LV_DEF_COMPACTCODE);
  lv_append_clause(pred, block, 31, 0);
  lv_term* spec = static_cast<lv_term*>(lv_mem_alloc(sizeof(lv_term) * (n + 1), MISC_FLAGS));
  spec[0] = lv_make_small(static_cast<int64_t>(n) - 1);
  for (unsigned i = 1; i < n; i++) spec[i] = ATOM_QUESTION;
  spec[n] = LV_ATOM_NIL;
  pred->meta_spec = spec;
  pred->flags |= LV_PRED_META;
  push_chain(prolog, pred);
}

void lv_copy_module_predicates() {
  lv_module* prolog = prolog_module;
  if (prolog->prolog_copy_table == nullptr) prolog->prolog_copy_table = new_switch_on_key(16, 0);
  lv_pred* copies = LV_CHAIN_END;
  lv_pred** tail = &copies;
  for (lv_pred* p = prolog->pred_chain; p != LV_CHAIN_END; p = p->next_in_module) {
    lv_pred* copy = copy_pred(p, prolog);
    copy->importers = nullptr;
    lv_select_entry(copy, false);
    enter(prolog, copy);
    dyn_puthash(&prolog->prolog_copy_table, lv_pred_functor(copy))->value = reinterpret_cast<uint64_t>(p);
    *tail = copy;
    tail = &copy->next_in_module;
  }
  *tail = LV_CHAIN_END;
  prolog->pred_chain = copies;
}

bool lv_debugging_condition(const lv_pred* pred) {
  if (pred->home_module == nullptr) return false;
  lv_worker* w = get_current_worker();
  if (w == nullptr || (w->debug_mode != 1 && w->debug_mode != 3)) return false;
  return !((pred->home_module->flags & LV_MODULE_SYSTEM) != 0 && pred->next_in_module == nullptr);
}

void lv_select_entry(lv_pred* pred, bool debugging) {
  uint32_t f = pred->flags;
  if (debugging || (f & LV_PRED_SPY) != 0)
    pred->kind = LV_KIND_BREAKPOINT;
  else if ((f & LV_PRED_BLOCK) != 0)
    pred->kind = LV_KIND_BLOCKPOINT;
  else if ((f & LV_PRED_JIT_CANDIDATE) != 0 && lv_jit_switch)
    pred->kind = LV_KIND_JITTABLE;
  else if ((f & LV_PRED_JITTED) != 0)
    pred->kind = LV_KIND_JITTED;
  else
    pred->kind = lv_definition_type(pred);
  pred->jit_counter = 0;
  lv_set_native_entry(pred);
}

static void store_type(lv_pred* pred, uint32_t type) {
  pred->flags = (pred->flags & ~(0xFFFFu << 12)) | ((type & 0xFFFF) << 12);
}

void lv_set_definition_type(lv_pred* pred, uint32_t type) {
  store_type(pred, type);
  lv_select_entry(pred, lv_debugging_condition(pred));
}

void update_exports(lv_pred* pred, uint32_t type) {
  store_type(pred, type);
  lv_select_entry(pred, lv_debugging_condition(pred));
  if (pred->home_module == prolog_module) return;
  for (lv_pred* i = pred->importers; i != nullptr; i = i->importers) {
    i->home_module = pred->home_module;
    i->flags = pred->flags;
    i->flags_high = pred->flags_high;
    i->definition = pred->definition;
    i->block_decls = pred->block_decls;
    i->meta_spec = pred->meta_spec;
    i->counters = pred->counters;
    i->source_file = pred->source_file;
    i->jit_block = pred->jit_block;
    lv_select_entry(i, lv_debugging_condition(i));
  }
}

void lv_pred_chain_dependent(lv_pred* source, lv_module* module, lv_pred* importer) {
  if (source->home_module == importer->home_module) return;
  lv_clear_definition(importer);
  importer->import_module = module;
  lv_pred* last = importer;
  while (last->importers != nullptr) last = last->importers;
  last->importers = source->importers;
  source->importers = importer;
  lv_pred* holder = source;
  if (source->home_module != source->owner_module) {
    lv_pred* home = lv_lookup_predicate(source->home_module, source->name, static_cast<unsigned>(source->arity), LV_LOOKUP_FIND);
    if (home != nullptr) holder = home;
  }
  update_exports(holder, lv_definition_type(holder));
}

void lv_free_pred(lv_pred* pred) { lv_mem_free(pred, sizeof(lv_pred), PRED_FLAGS); }
