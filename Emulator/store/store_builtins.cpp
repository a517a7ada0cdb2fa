// Built-ins that change definitions.
#include "store/store_builtins.h"

#include <cstdio>
#include <cstring>

#include "core/atoms.h"
#include "core/builtins.h"
#include "core/errors.h"
#include "core/memory.h"
#include "core/predefined_atoms.h"
#include "core/unify.h"
#include "machine/insn_walk.h"
#include "machine/instructions.h"
#include "store/backtrace.h"
#include "store/clause_list.h"
#include "store/code_flow.h"
#include "store/code_walk.h"
#include "store/counters.h"
#include "store/declaration_builtins.h"
#include "store/decompile.h"
#include "store/dynamic_table.h"
#include "store/goal_check_builtins.h"
#include "store/instance_builtins.h"
#include "store/pred_info.h"
#include "store/predicates.h"
#include "store/qload.h"
#include "store/reclaim.h"
#include "store/saved_state.h"
#include "store/static_code.h"
#include "store/warn_ndexit.h"

int lv_source_info_level;

namespace {

constexpr lv_term ATOM_SLASH = lv_predefined_atom(110);
constexpr lv_term ATOM_VOLATILE = lv_predefined_atom(74);
constexpr lv_term ATOM_DYNAMIC = lv_predefined_atom(72);
constexpr lv_term ATOM_MULTIFILE = lv_predefined_atom(73);
constexpr lv_term ATOM_INTERPRETED = lv_predefined_atom(75);
constexpr lv_term ATOM_COMPACTCODE = lv_predefined_atom(69);

bool belongs_to_prolog(const lv_pred* p) {
  return p->owner_module == lv_prolog_module() || p->home_module == lv_prolog_module();
}

// Name/Arity, or Module:Name/Arity, without creating anything.
lv_pred* resolve_spec(lv_term spec, lv_module* module) {
  spec = lv_deref(spec);
  while (lv_is_struct(spec) && lv_struct_cells(spec)[0] == LV_FUNCTOR_COLON_2) {
    module = find_module(lv_struct_cells(spec)[1], 0);
    if (module == nullptr) return nullptr;
    spec = lv_deref(lv_struct_cells(spec)[2]);
  }
  if (lv_is_struct(spec) && lv_struct_cells(spec)[0] == lv_make_functor(ATOM_SLASH, 2)) {
    lv_term name = lv_deref(lv_struct_cells(spec)[1]);
    lv_term arity = lv_deref(lv_struct_cells(spec)[2]);
    if (!lv_is_atom(name) || !lv_is_small(arity) || lv_small_value(arity) < 0 || lv_small_value(arity) > 255)
      return nullptr;
    return lv_lookup_predicate(module, name, static_cast<unsigned>(lv_small_value(arity)), LV_LOOKUP_FIND);
  }
  return find_definition(module, spec, nullptr, LV_LOOKUP_FIND);
}

bool has_clauses(const lv_pred* p) {
  uint32_t type = lv_definition_type(p);
  if (p->definition == nullptr) return false;
  if (type == LV_DEF_DYNAMIC) return static_cast<lv_dynamic_clause_table*>(p->definition)->first != nullptr;
  if (type == LV_DEF_COMPACTCODE || type == LV_DEF_COMPACTCODE_INDEXED)
    return static_cast<lv_clause_list*>(p->definition)->head != nullptr;
  return false;
}

lv_code_block* block_of_ref(lv_term ref) {
  ref = lv_deref(ref);
  if (!lv_is_small(ref)) return nullptr;
  auto* b = reinterpret_cast<lv_code_block*>(static_cast<uintptr_t>(lv_small_value(ref)) * 8);
  return lv_find_code_block(b) == b ? b : nullptr;
}

bool atomic_term(lv_term t) { return lv_is_atomic(t); }

}  // namespace

int prolog_abolish(lv_worker* w) {
  lv_module* module = find_module(w->X[1], 0);
  if (module == nullptr) return 1;
  lv_pred* p = resolve_spec(w->X[0], module);
  if (p == nullptr || (belongs_to_prolog(p) && module != lv_prolog_module())) return 1;
  lv_clear_definition(p);
  return 1;
}

int prolog_undefine_all(lv_worker* w) {
  lv_module* m = find_module(w->X[0], 0);
  if (m == nullptr) return 0;
  m->module_info = LV_ATOM_NIL;
  m->pred_chain = LV_CHAIN_END;
  lv_hash_entry* e = lv_keytab_entries(m->pred_table);
  for (uint64_t i = 0; i < lv_keytab_capacity(m->pred_table); i++) {
    if (e[i].key == 0 || e[i].value == 0) continue;
    lv_pred* p = reinterpret_cast<lv_pred*>(e[i].value);
    if (belongs_to_prolog(p)) continue;
    lv_clear_definition(p);
    p->next_in_module = nullptr;
  }
  return 1;
}

// A block still linked into a clause list is refused; any other waits for
// deferred reclamation, since a frame or choicepoint may still run it.
int prolog_erase_clause(lv_worker* w) {
  lv_code_block* b = block_of_ref(w->X[0]);
  if (b == nullptr || (b->marks & LV_BLOCK_IN_LIST) != 0) return 0;
  // Its counts go now: a later block at the same address starts from none.
  lv_pred* owner = lv_code_block_owner(lv_code_block_code(b), nullptr);
  if (owner != nullptr && !lv_code_is_internal_header(owner))
    lv_clear_counters_in_range(owner, b, lv_code_block_limit(b));
  lv_queue_erased_block(b);
  return 1;
}

int prolog_compiled_clause(lv_worker* w) {
  lv_pred* p = parse_definition(w->X[0], lv_typein_module());
  lv_code_block* b = block_of_ref(w->X[1]);
  lv_term info = lv_deref(w->X[3]);
  if (p == nullptr || b == nullptr || !lv_is_struct(info) || lv_functor_arity(lv_struct_cells(info)[0]) < 2) return 0;
  uint32_t type = lv_definition_type(p);
  if (type != LV_DEF_COMPACTCODE && type != LV_DEF_COMPACTCODE_INDEXED) return 1;
  if (p->definition == nullptr) lv_new_clause_list(p, type);
  if ((p->flags & LV_PRED_JITTED) != 0) {
    // Native code is dropped; the clauses stay.
    p->flags &= ~(LV_PRED_JITTED | LV_PRED_JIT_CANDIDATE);
    if (lv_jit_switch) p->flags |= LV_PRED_JIT_CANDIDATE;
    p->jit_block = nullptr;
    lv_set_definition_type(p, type);
  }
  lv_term bits_term = lv_deref(lv_struct_cells(info)[1]);
  if (!lv_is_small(bits_term)) return 0;
  uint32_t bits = static_cast<uint32_t>(lv_small_value(bits_term)) & 0x1FF;
  if ((bits & LV_KEY_KEYED) != 0) bits |= LV_KEY_KEYED;
  lv_term key = lv_deref(lv_struct_cells(info)[2]);
  if (lv_is_ref(key))
    key = 0;
  else if (lv_is_list(key))
    key = LV_FUNCTOR_DOT_2;
  else if (lv_is_struct(key))
    key = lv_struct_cells(key)[0];
  // The code came from a file or from Prolog: its flow is checked before it
  // can run (a foreign-call stub, made in memory, is the loader's own), and
  // a block joins one clause list only.
  char message[256];
  if ((b->marks & LV_BLOCK_IN_LIST) != 0) {
    std::snprintf(message, sizeof message, "a code block that is already a clause");
  } else if ((lv_code_calls_c(b) || lv_code_flow_check(b, static_cast<unsigned>(p->arity), message, sizeof message)) &&
             lv_code_key_check(b, bits, key, message, sizeof message)) {
    lv_append_clause(p, b, bits, key);
    return 1;
  }
  lv_set_pending_error(LV_ERROR_SYSTEM, message, lv_deref(w->X[0]));
  return lv_raise_builtin_error(w, LV_ATOM_PROLOG, lv_atom_from_text("$compiled_clause", LV_ATOM_FIND_OR_CREATE), 4, 2);
}

int prolog_set_property(lv_worker* w) {
  lv_pred* p = resolve_spec(w->X[0], lv_typein_module());
  if (p == nullptr) return 0;
  lv_term prop = lv_deref(w->X[1]);
  if (prop == ATOM_VOLATILE && (p->flags & LV_PRED_VOLATILE) != 0) return 1;
  uint32_t type = lv_definition_type(p);
  if (type != LV_DEF_COMPACTCODE && type != LV_DEF_COMPACTCODE_INDEXED && type != LV_DEF_DYNAMIC) return 0;
  if (has_clauses(p)) {
    if (prop == ATOM_DYNAMIC) return (p->flags & LV_PRED_DYNAMIC) != 0;
    if (prop == ATOM_MULTIFILE) return (p->flags & LV_PRED_MULTIFILE) != 0;
    if (prop == ATOM_VOLATILE) return (p->flags & LV_PRED_VOLATILE) != 0;
    return 0;
  }
  if (lv_is_struct(prop) && !lv_is_box_header(lv_struct_cells(prop)[0])) {
    lv_term file = lv_deref(lv_struct_cells(prop)[1]);
    if (!atomic_term(file)) return 0;  // only atomic terms are kept in records
    p->source_file = file;
    return 1;
  }
  if (prop == ATOM_INTERPRETED || prop == ATOM_DYNAMIC) {
    if (type != LV_DEF_DYNAMIC) {
      if (p->definition != nullptr && type != LV_DEF_DYNAMIC) lv_queue_erased_code(type, static_cast<lv_clause_list*>(p->definition));
      p->definition = nullptr;
      p->flags &= ~LV_PRED_JIT_CANDIDATE;
      lv_new_clause_list(p, LV_DEF_DYNAMIC);
    }
    if (prop == ATOM_DYNAMIC) p->flags |= LV_PRED_DYNAMIC;
    lv_set_definition_type(p, LV_DEF_DYNAMIC);
    return 1;
  }
  if (prop == ATOM_MULTIFILE) {
    p->flags = (p->flags | LV_PRED_MULTIFILE) & ~LV_PRED_JIT_CANDIDATE;
  } else if (prop == ATOM_VOLATILE) {
    p->flags = (p->flags | LV_PRED_VOLATILE) & ~LV_PRED_JIT_CANDIDATE;
  } else if (!lv_is_atom(prop)) {
    return 0;
  }
  lv_set_definition_type(p, lv_definition_type(p));
  return 1;
}

int prolog_define_predicate(lv_worker* w) {
  lv_term spec = lv_deref(w->X[0]);
  lv_module* module = lv_typein_module();
  while (lv_is_struct(spec) && lv_struct_cells(spec)[0] == LV_FUNCTOR_COLON_2) {
    module = find_module(lv_struct_cells(spec)[1], 1);
    if (module == nullptr) return 0;
    spec = lv_deref(lv_struct_cells(spec)[2]);
  }
  lv_pred* p = parse_definition(spec, module);
  if (p == nullptr) return 0;
  if (belongs_to_prolog(p) && module != lv_prolog_module()) return 0;
  lv_clear_definition(p);
  if (lv_deref(w->X[1]) == ATOM_COMPACTCODE) {
    if (lv_jit_switch) p->flags |= LV_PRED_JIT_CANDIDATE;
    lv_new_clause_list(p, LV_DEF_COMPACTCODE);
  } else {
    lv_new_clause_list(p, LV_DEF_DYNAMIC);
    lv_set_definition_type(p, LV_DEF_DYNAMIC);
  }
  return 1;
}

int prolog_print_hashtable_statistics(lv_worker*) { return 1; }

namespace {

const lv_builtin records[] = {
    LV_BUILTIN("$abolish", prolog_abolish, 2),
    LV_BUILTIN("$undefine_all", prolog_undefine_all, 1),
    LV_BUILTIN("$erase_clause", prolog_erase_clause, 1),
    LV_BUILTIN("$compiled_clause", prolog_compiled_clause, 4),
    LV_BUILTIN("$set_property", prolog_set_property, 3),
    LV_BUILTIN("$define_predicate", prolog_define_predicate, 2),
    LV_BUILTIN("$make_bytecode_object", prolog_make_bytecode_object, 5),
    LV_BUILTIN("$print_hashtable_statistics", prolog_print_hashtable_statistics, 0),
    LV_BUILTIN("$warn_ndexit", prolog_warn_ndexit, 3),
    LV_BUILTIN("$qread", prolog_qread, 3),
    LV_BUILTIN("$push_qlinfo", prolog_push_qlinfo, 0),
    LV_BUILTIN("$pop_qlinfo", prolog_pop_qlinfo, 0),
    LV_BUILTIN("$ql_complete", prolog_ql_complete, 0),
    LV_BUILTIN("$save", prolog_save, 3),
    LV_BUILTIN("$save_increment", prolog_save_increment, 5),
    LV_BUILTIN("$restore", prolog_restore, 2),
    LV_BUILTIN("$restore_increment", prolog_restore_increment, 3),
    LV_BUILTIN("$predinfo", prolog_predinfo, 2),
    LV_BUILTIN("$disassemble", prolog_disassemble, 1),
    LV_BUILTIN("$disassemble_predicate", prolog_disassemble_predicate, 3),
    LV_BUILTIN("$backtrace", prolog_backtrace, 0),
    LV_BUILTIN("$dump_cleanup", prolog_dump_cleanup, 0),
    LV_BUILTIN("$ancestors", prolog_ancestors, 3),
    LV_BUILTIN("$decompile_tokens", prolog_decompile_tokens, 2),
    LV_BUILTIN("$instance_module", prolog_instance_module, 2),
    LV_BUILTIN("$nth_instance", prolog_nth_instance, 2),
    LV_BUILTIN("$block", prolog_block, 2),
    LV_BUILTIN("$block_declaration", prolog_block_declaration, 3),
    LV_BUILTIN("$meta_predicate", prolog_meta_predicate, 2),
    LV_BUILTIN("$meta_declaration", prolog_meta_declaration, 3),
    LV_BUILTIN("$fast_goal", prolog_fast_goal, 2),
    LV_BUILTIN("$fast_wellformed_call_body_expand", prolog_fast_wellformed_call_body_expand, 4),
    LV_BUILTIN("$fast_callable_closure_arg", prolog_fast_callable_closure_arg, 1),
};

}  // namespace

lv_builtin_table lv_store_builtins() { return {records, sizeof records / sizeof records[0]}; }
