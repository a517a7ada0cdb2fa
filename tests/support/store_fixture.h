// Test support: an engine with its atoms and program store, and helpers to
// make clause blocks and read back clause-list chains.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/atoms.h"
#include "machine/insn_walk.h"
#include "store/clause_list.h"
#include "store/predicates.h"
#include "store/static_code.h"
#include "store/store_init.h"
#include "support/assembler.h"
#include "support/engine_fixture.h"

class StoreTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    lv_atoms_startup();
    lv_store_init();
  }

  lv_term atom(const char* text) { return lv_atom_from_text(text, LV_ATOM_FIND_OR_CREATE); }

  lv_pred* pred(const char* module, const char* name, unsigned arity) {
    return lv_lookup_predicate(find_module(atom(module), 1), atom(name), arity, LV_LOOKUP_CREATE);
  }

  // A registered clause block made by the assembler; remembered by number
  // for describing chains.
  lv_code_block* clause(assembler::Assembler& a, const std::string& source_key = "") {
    lv_code_block* b = a.finish();
    if (!source_key.empty()) b->source_key = atom(source_key.c_str());
    blocks_.push_back(b);
    return b;
  }

  // A chain as text: "fail", "c1+4" (clause 1 entered 4 words in), or a
  // series "[c1+4,c2]".
  std::string describe(const uint32_t* chain) const {
    if (chain == nullptr) return "null";
    if (chain == lv_fail_code) return "fail";
    if (chain[0] != lv_opcode(LV_OP_TRY)) return entry(chain);
    const auto* r = reinterpret_cast<const lv_try_record*>(reinterpret_cast<const char*>(chain) - 28);
    std::string s = "[";
    for (; r != nullptr; r = r->next) s += entry(r->target) + (r->next != nullptr ? "," : "");
    return s + "]";
  }

  std::string key_chain(lv_pred* p, lv_term key) const {
    auto* list = static_cast<lv_clause_list*>(p->definition);
    lv_hash_entry* e = incore_gethash(list->key_table, key);
    return describe(reinterpret_cast<const uint32_t*>(e->value));
  }

 private:
  std::string entry(const uint32_t* code) const {
    for (size_t i = 0; i < blocks_.size(); i++) {
      const uint32_t* start = lv_code_block_code(blocks_[i]);
      const uint32_t* end = reinterpret_cast<const uint32_t*>(reinterpret_cast<const char*>(blocks_[i]) + lv_code_block_size(blocks_[i]));
      if (code >= start && code < end) {
        std::string s = "c" + std::to_string(i + 1);
        if (code != start) s += "+" + std::to_string(code - start);
        return s;
      }
    }
    return "?";
  }

  std::vector<lv_code_block*> blocks_;
};
