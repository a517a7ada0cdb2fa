// Test support: the loaded program as text that does not depend on where
// anything lies in memory, for comparing a program with itself after a
// saved-state round trip. Modules by name; for each its flags, term slot,
// attribute index, chain and blackboard; its predicates by name and arity,
// each with its definition, flags, declarations and clauses: code blocks
// instruction by instruction (operands that point into the block as
// offsets, predicates by name, atoms by text), dynamic clauses as terms.
#pragma once

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "core/atoms.h"
#include "core/predefined_atoms.h"
#include "core/hashtab.h"
#include "core/stored_block.h"
#include "core/worker.h"
#include "machine/insn_walk.h"
#include "store/clause_list.h"
#include "store/code_print.h"
#include "store/code_walk.h"
#include "store/db_clause.h"
#include "store/dbref_table.h"
#include "store/dynamic_table.h"
#include "store/predicates.h"
#include "store/static_code.h"
#include "store/try_record.h"
#include "support/ql_runtime.h"

namespace program_listing {

inline std::string atom_text(lv_term a) { return lv_atom_text(lv_functor_atom(a)); }

inline std::string word_text(uint64_t w) {
  if (lv_is_functor_word(w)) return atom_text(w) + "/" + std::to_string(lv_functor_arity(w));
  char b[256];
  lv_term_text(w, false, b, sizeof b);
  return b;
}

inline std::string pred_name(const lv_pred* p) {
  return atom_text(p->owner_module->name) + ":" + atom_text(p->name) + "/" + std::to_string(p->arity);
}

inline std::string pred_name(const lv_pred* p);

// What a database reference names: the clause's predicate and its place
// among the live clauses, or stale.
inline std::string ref_target(lv_term index, lv_term stamp) {
  lv_term cells[3] = {LV_FUNCTOR_REF_2, index, stamp};
  lv_stored_block* b = lv_dbref_to_block(lv_make_struct(cells));
  if (b == nullptr) return "stale";
  lv_db_clause* c = lv_clause_of(b);
  if (!lv_clause_alive(c)) return "erased";
  int n = 1;
  for (lv_db_clause* d = lv_dynamic_table(c->pred)->first; d != nullptr && d != c; d = lv_clause_next(d))
    n += lv_clause_alive(d) ? 1 : 0;
  return pred_name(c->pred) + "#" + std::to_string(n);
}

// The '$ref' terms of a heap copy, their arguments replaced by what they
// name (the numbers differ from run to run).
inline void name_refs(lv_term t, int depth) {
  for (; depth < 10000; depth++) {
    t = lv_deref(t);
    if (lv_is_list(t)) {
      name_refs(lv_list_cells(t)[0], depth + 1);
      t = lv_list_cells(t)[1];
      continue;
    }
    if (!lv_is_struct(t) || lv_is_box_header(lv_struct_cells(t)[0])) return;
    lv_term* cells = lv_struct_cells(t);
    unsigned arity = lv_functor_arity(cells[0]);
    if (cells[0] == LV_FUNCTOR_REF_2 && lv_is_small(lv_deref(cells[1])) && lv_is_small(lv_deref(cells[2]))) {
      cells[1] = lv_atom_from_text(ref_target(lv_deref(cells[1]), lv_deref(cells[2])).c_str(), LV_ATOM_FIND_OR_CREATE);
      cells[2] = lv_make_small(0);
      return;
    }
    for (unsigned i = 1; i < arity; i++) name_refs(cells[i], depth + 1);
    t = cells[arity];
  }
}

// A stored term [Head|Body] (or [Term]) in canonical text: copied to the
// heap top and printed, the heap top put back.
inline std::string stored_text(lv_worker* w, lv_stored_block* b) {
  lv_term* h = w->H;
  lv_term t = lv_block_to_heap(w, b, 0, 0);
  name_refs(t, 0);
  std::string s = qlrt::Canon().text(t);
  w->H = h;
  return s;
}

inline std::string code_text(lv_code_block* b) {
  std::string out;
  uint32_t* code = lv_code_block_code(b);
  const uint32_t* end = lv_code_block_limit(b);
  auto start = reinterpret_cast<uint64_t>(code);
  auto inside = [&](uint64_t v) { return v >= start && v < reinterpret_cast<uint64_t>(end); };
  auto address = [&](uint64_t v) -> std::string {
    if (inside(v)) return "@+" + std::to_string((v - start) / 4);
    if (v == reinterpret_cast<uint64_t>(lv_fail_code)) return "fail";
    if (v == reinterpret_cast<uint64_t>(lv_else_fail_code)) return "elsefail";
    return "@outside";
  };
  for (const uint32_t* p = code; p < end;) {
    uint64_t length = lv_insn_length_within(p, end);
    if (length == 0) return out + "<undecodable>\n";
    if (p[0] == LV_INTERNAL_HEADER_WORD) {
      const auto* h = reinterpret_cast<const lv_internal_entry*>(p);
      out += "  HEADER " + std::to_string(h->arity) + " " + address(reinterpret_cast<uint64_t>(h->first_entry)) + "\n";
      if (h->first_entry != p + 8)
        for (const auto* r = reinterpret_cast<const lv_try_record*>(p + 8);; r++) {
          out += "    TRY " + address(reinterpret_cast<uint64_t>(r->target)) + " " + std::to_string(r->cp_size) + "\n";
          if (r->next == nullptr) break;
        }
      p += length;
      continue;
    }
    lv_decoded_insn d;
    lv_insn_decode(p, &d);
    out += "  " + std::string(lv_instruction_name_table[d.number]);
    for (unsigned i = 0; i < d.operand_count; i++) {
      const lv_operand& o = d.operands[i];
      out += i == 0 ? " " : ",";
      switch (o.kind) {
        case 'C': case 'F': out += word_text(o.value); break;
        case 'P':
          out += inside(o.value) ? address(o.value) : pred_name(reinterpret_cast<const lv_pred*>(o.value));
          break;
        case 'A': case 'L': out += address(o.value); break;
        case 'B':
          for (uint32_t j = 0; j <= o.count; j++) {
            char b[24];
            std::snprintf(b, sizeof b, "%s%" PRIx64, j == 0 ? "box:" : ".", lv_code_read64(o.at + 2 * j));
            out += b;
          }
          break;
        case 'R': case 'G':
          out += std::string(1, o.kind) + "[";
          for (uint32_t j = 0; j <= (o.kind == 'R' ? o.count : 2 * o.count); j++) out += std::to_string(o.at[j]) + " ";
          out += "]";
          break;
        default: out += std::to_string(static_cast<int64_t>(o.value)); break;
      }
    }
    out += "\n";
    p += length;
  }
  return out;
}

inline std::string side_table_text(const uint64_t* t) {
  if (t == nullptr) return "";
  std::string out = " side[";
  for (uint64_t i = 1; i < t[0] / 8; i++) out += word_text(t[i]) + " ";
  return out + "]";
}

inline std::string pred_text(lv_worker* w, lv_pred* p) {
  std::string out = pred_name(p);
  // Marks of collection and restore, the spy point and the JIT bits are
  // no part of the program.
  uint32_t flags = p->flags & ~(LV_PRED_SPY | LV_PRED_REFERENCED | LV_PRED_RESTORE_MARK | LV_PRED_JIT_CANDIDATE |
                                LV_PRED_JITTED | 0xFFFF000u);
  uint32_t type = lv_definition_type(p);
  out += " type=" + std::to_string(type) + " flags=" + std::to_string(flags);
  out += " home=" + atom_text(p->home_module->name) + " import=" + atom_text(p->import_module->name);
  out += p->next_in_module != nullptr ? " chained" : "";
  if (p->meta_spec != nullptr) {
    out += " meta(";
    for (int i = 0; i < p->arity; i++) out += word_text(p->meta_spec[i]) + " ";
    out += ")";
  }
  for (const lv_block_decl* d = p->block_decls; d != nullptr; d = d->next) {
    out += " block(";
    for (const char* c = d->text; *c != 0; c++) out += std::to_string(static_cast<int>(static_cast<uint8_t>(*c))) + " ";
    out += ")";
  }
  if (p->source_file != LV_ATOM_NIL) out += " file=" + word_text(p->source_file);
  out += "\n";
  if (p->import_module != p->owner_module) return out;
  if ((type == LV_DEF_COMPACTCODE || type == LV_DEF_COMPACTCODE_INDEXED) && p->definition != nullptr) {
    auto* list = static_cast<lv_clause_list*>(p->definition);
    if (list->head != nullptr)
      for (lv_code_block* b = list->head;; b = b->next) {
        out += " block key=" + std::to_string(lv_code_block_key_bits(b)) + " source=" + word_text(b->source_key) + "," +
               word_text(b->source) + side_table_text(b->side_table) + "\n" + code_text(b);
        if (b == list->tail) break;
      }
  } else if (type == LV_DEF_DYNAMIC && p->definition != nullptr) {
    for (lv_db_clause* c = lv_dynamic_table(p)->first; c != nullptr; c = lv_clause_next(c)) {
      if (!lv_clause_alive(c)) continue;
      out += " clause key=" + (c->key == 0 ? std::string("0") : word_text(c->key)) + " source=" +
             word_text(c->source_key) + "," + word_text(c->source) + side_table_text(c->side_table) + " " +
             stored_text(w, lv_block_of(c)) + "\n";
    }
  }
  return out;
}

// The listing of every module but those named in skip.
inline std::string text(lv_worker* w, const std::vector<std::string>& skip = {}) {
  std::vector<lv_module*> modules;
  lv_for_each_module([](lv_module* m, void* arg) { static_cast<std::vector<lv_module*>*>(arg)->push_back(m); },
                     &modules);
  std::sort(modules.begin(), modules.end(),
            [](lv_module* a, lv_module* b) { return atom_text(a->name) < atom_text(b->name); });
  std::string out;
  for (lv_module* m : modules) {
    std::string name = atom_text(m->name);
    if (std::find(skip.begin(), skip.end(), name) != skip.end()) continue;
    out += "module " + name + " flags=" + std::to_string(m->flags) + " info=" + word_text(m->module_info) +
           " attribute=" + std::to_string(m->attribute_index) + " chain=[";
    for (lv_pred* p = m->pred_chain; p != nullptr && p != LV_CHAIN_END; p = p->next_in_module)
      out += atom_text(p->name) + "/" + std::to_string(p->arity) + " ";
    out += "]\n";
    std::vector<std::string> bb;
    lv_hash_entry* e = lv_keytab_entries(m->bb_table);
    for (uint64_t i = 0; i < lv_keytab_capacity(m->bb_table); i++)
      if (e[i].key != 0 && e[i].value != 0)
        bb.push_back(" bb " + word_text(e[i].key) + " = " +
                     stored_text(w, reinterpret_cast<lv_stored_block*>(e[i].value)) + "\n");
    std::sort(bb.begin(), bb.end());
    for (const std::string& s : bb) out += s;
    std::vector<std::pair<std::string, lv_pred*>> preds;
    e = lv_keytab_entries(m->pred_table);
    for (uint64_t i = 0; i < lv_keytab_capacity(m->pred_table); i++) {
      if (e[i].key == 0 || e[i].value == 0) continue;
      auto* p = reinterpret_cast<lv_pred*>(e[i].value);
      // Undefined records that nothing defines are no part of the program.
      if (lv_definition_type(p) == LV_DEF_UNDEFINED && p->next_in_module == nullptr && p->meta_spec == nullptr &&
          p->block_decls == nullptr)
        continue;
      preds.emplace_back(atom_text(p->name) + "/" + std::to_string(p->arity), p);
    }
    std::sort(preds.begin(), preds.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    for (auto& [key, p] : preds) out += pred_text(w, p);
  }
  return out;
}

}  // namespace program_listing
