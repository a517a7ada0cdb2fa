// Predicate information for the development tools.
#include "store/pred_info.h"

#include <cinttypes>
#include <cstdio>

#include "core/atoms.h"
#include "core/termrefs.h"
#include "core/unify.h"
#include "core/worker.h"
#include "machine/insn_walk.h"
#include "store/clause_list.h"
#include "store/code_print.h"
#include "store/code_terms.h"
#include "store/code_walk.h"
#include "store/dynamic_table.h"
#include "store/predicates.h"
#include "store/static_code.h"
#include "streams/diagnostics.h"

namespace {

constexpr const char* INDENT = "  ";

// The end of an index line: what the chain is.
void print_chain(const uint32_t* chain, int arity) {
  if (chain == lv_fail_code) {
    lv_ttyprintf(" = fail always\n");
    return;
  }
  if (chain == nullptr || chain[0] != lv_opcode(LV_OP_TRY)) {
    lv_ttyprintf(" = %p\n", static_cast<const void*>(chain));
    return;
  }
  lv_ttyprintf(" = try chain\n");
  auto* r = lv_alternative_record(reinterpret_cast<uint64_t>(chain));
  for (int n = 1; r != nullptr; r = r->next, n++)
    lv_ttyprintf("%s%p: TRY %p,%d,%d\n", INDENT, static_cast<const void*>(&r->insn), static_cast<const void*>(r->target),
                 arity, n);
}

// A large number's key: an inline box in code.
bool print_large_key(const uint32_t* box) {
  lv_term header = lv_code_read64(box);
  if (!lv_is_box_header(header) || lv_box_value_words(header) == 0) {
    lv_ttyprintf("!!MALFORMED!! expected Large: %p\n", static_cast<const void*>(box));
    return false;
  }
  if (lv_box_is_float(header))
    lv_ttyprintf("<float>");
  else
    lv_ttyprintf("<bignum %d words>", static_cast<int>(lv_box_value_words(header)));
  return true;
}

void print_key(lv_term key) {
  char text[256];
  if (lv_is_atom(key) || lv_is_functor_word(key)) {
    lv_term_text(lv_functor_atom(key), false, text, sizeof text);
    lv_ttyprintf("%s/%u", text, static_cast<unsigned>(key >> 55) & 0x1FF);
  } else {
    lv_term_text(key, false, text, sizeof text);
    lv_ttyprintf("%s", text);
  }
}

void print_static(const lv_clause_list* list, int arity) {
  lv_ttyprintf("%sindex VAR", INDENT);
  print_chain(list->all_chain, arity);
  if (list->list_chain != nullptr) {
    lv_ttyprintf("%sindex LIST", INDENT);
    print_chain(list->list_chain, arity);
  }
  if (list->large_table != nullptr) {
    lv_hash_gentry* g = lv_hash_entries(list->large_table);
    for (uint64_t i = 0; i <= list->large_table->mask; i++) {
      if (g[i].key == nullptr || g[i].value == nullptr) continue;
      lv_ttyprintf("%slarge index ", INDENT);
      if (print_large_key(static_cast<const uint32_t*>(g[i].key))) print_chain(static_cast<const uint32_t*>(g[i].value), arity);
    }
  }
  if (list->key_table != nullptr) {
    lv_keytab* t = list->key_table;
    const uint32_t* fallback = lv_fail_code;
    for (uint64_t i = 0; i < lv_keytab_capacity(t); i++) {
      lv_hash_entry e = lv_keytab_entries(t)[i];
      if (e.key == 0) {
        fallback = reinterpret_cast<const uint32_t*>(e.value);
        continue;
      }
      lv_ttyprintf("%sindex ", INDENT);
      print_key(e.key);
      print_chain(reinterpret_cast<const uint32_t*>(e.value), arity);
    }
    lv_ttyprintf("%sindex DEFAULT", INDENT);
    print_chain(fallback, arity);
  }
  if (list->head == nullptr) return;
  for (lv_code_block* b = list->head;; b = b->next) {
    lv_ttyprintf("%sclause = %p, code = %p\n", INDENT, static_cast<void*>(b), static_cast<void*>(lv_code_block_code(b)));
    lv_print_code(lv_code_block_code(b), b->side_table, arity);
    if (b == list->tail) break;
  }
}

lv_pred* find_named(lv_term module_name, lv_term name, unsigned arity, lv_module** module) {
  *module = lv_is_atom(module_name) ? find_module(module_name, 0) : nullptr;
  if (*module == nullptr || !lv_is_atom(name) || arity > 255) return nullptr;
  return lv_lookup_predicate(*module, name, arity, LV_LOOKUP_FIND);
}

// Spec in Module (both arguments dereferenced), without creating anything.
lv_pred* find_spec(lv_term spec, lv_term module_name, lv_module** module) {
  module_name = lv_deref(module_name);
  spec = lv_deref(spec);
  *module = lv_is_atom(module_name) ? find_module(module_name, 0) : nullptr;
  if (*module == nullptr || !(lv_is_atom(spec) || lv_is_compound(spec))) return nullptr;
  return find_definition(*module, spec, nullptr, LV_LOOKUP_FIND);
}

}  // namespace

void lv_print_pred_info(lv_module* asked, const lv_pred* pred) {
  if (pred == nullptr) {
    lv_ttyprintf("does not exist\n");
    lv_ttyflush();
    return;
  }
  lv_ttyprintf("%p: ", static_cast<const void*>(pred));
  lv_print_pred(pred, true);
  lv_ttyprintf("\n");
  if (pred->jit_block != nullptr)
    lv_ttyprintf("JIT code at %p\n", reinterpret_cast<void*>((reinterpret_cast<uintptr_t>(pred->jit_block) + 31) & ~uintptr_t{15}));
  if (asked != nullptr && pred->home_module != nullptr && pred->home_module != asked)
    lv_ttyprintf("exported from %s\n", lv_atom_text(pred->home_module->name));
  static const struct {
    const char* name;
    uint32_t bit;  // 0: exported
  } properties[] = {{"spy", LV_PRED_SPY},           {"dynamic", LV_PRED_DYNAMIC},   {"block", LV_PRED_BLOCK},
                    {"multifile", LV_PRED_MULTIFILE}, {"volatile", LV_PRED_VOLATILE}, {"meta_predicate", LV_PRED_META},
                    {"exported", 0}};
  char list[256];
  size_t used = 0;
  list[0] = '\0';
  for (const auto& p : properties) {
    bool has = p.bit == 0 ? pred->next_in_module != nullptr : (pred->flags & p.bit) != 0;
    if (has) used += static_cast<size_t>(std::snprintf(list + used, sizeof list - used, "%s%s", used > 0 ? "," : "", p.name));
  }
  if (used > 0)
    lv_ttyprintf("properties: [%s]\n", list);
  else
    lv_ttyprintf("no properties\n");
  uint32_t type = lv_definition_type(pred);
  lv_ttyprintf("predicate type: %s\n", type < LV_CALL_KIND_COUNT ? lv_call_kind_name_table[type] : "INVALID_PREDTYPE");
  lv_ttyprintf("definfo address: %p\n", pred->definition);
  if ((type == LV_DEF_COMPACTCODE || type == LV_DEF_COMPACTCODE_INDEXED) && pred->definition != nullptr) {
    print_static(static_cast<const lv_clause_list*>(pred->definition), pred->arity);
  } else if (type == LV_DEF_DYNAMIC && pred->definition != nullptr) {
    const auto* t = static_cast<const lv_dynamic_clause_table*>(pred->definition);
    lv_ttyprintf("%sfirst = %p\n", INDENT, static_cast<void*>(t->first));
    lv_ttyprintf("%svarcase = %p\n", INDENT, static_cast<void*>(t->var_chain));
    lv_ttyprintf("%slstcase = %p\n", INDENT, static_cast<void*>(t->list_chain));
    lv_ttyprintf("%sindexer = %p\n", INDENT, static_cast<void*>(t->key_table));
  }
  lv_ttyflush();
}

void lv_print_pred_info_named(lv_term module_name, lv_term name, unsigned arity) {
  lv_module* module;
  lv_print_pred_info(nullptr, find_named(module_name, name, arity, &module));
}

int lv_pred_properties(lv_worker* w, lv_term module_name, lv_term name, unsigned arity, int64_t term_ref) {
  lv_module* module;
  lv_pred* pred = find_named(module_name, name, arity, &module);
  if (pred == nullptr) return 0;
  lv_term t = lv_pred_properties_term(w, module, pred, 0);
  return cunify(w, lv_term_ref_cell(w, term_ref), t);
}

int prolog_predinfo(lv_worker* w) {
  lv_module* module;
  lv_pred* pred = find_spec(w->X[0], w->X[1], &module);
  if (pred == nullptr) return 0;
  lv_print_pred_info(module, pred);
  return 1;
}

int prolog_disassemble(lv_worker* w) {
  const uint32_t* pc = lv_code_address_of(w->X[0]);
  if (pc == nullptr) return 0;
  // At the start of a clause the listing gets its head and names.
  lv_code_block* block = lv_code_block_of(pc);
  lv_pred* owner = nullptr;
  if (block != nullptr && pc == lv_code_block_code(block) && lv_code_owner(pc, &owner) != 0 &&
      lv_code_known_pred(owner) && !lv_code_is_internal_header(owner))
    lv_print_code(pc, block->side_table, owner->arity);
  else
    lv_print_code(pc, nullptr, 0);
  return 1;
}

int prolog_disassemble_predicate(lv_worker* w) {
  lv_module* module;
  lv_pred* pred = find_spec(w->X[0], w->X[1], &module);
  if (pred == nullptr) return 0;
  lv_term t = lv_pred_properties_term(w, module, pred, 3);
  return cunify(w, w->X[2], t);
}
