// Walking the code of a block.
#include "store/code_walk.h"

#include "core/memory.h"
#include "machine/insn_walk.h"
#include "store/clause_list.h"
#include "store/predicates.h"
#include "store/static_code.h"

namespace {

// No walk of one piece of straight-line code takes more steps than this:
// NATIVE_OP operands may lead in circles.
constexpr uint64_t STEP_LIMIT = uint64_t{1} << 22;

bool ends_clause(uint32_t word) {
  return word == lv_opcode(LV_OP_END_OF_CLAUSE) || word == lv_opcode(LV_OP_END_OF_CLAUSEQ);
}

// The end of the block that holds p, or null.
const uint32_t* limit_of(const uint32_t* p) {
  lv_code_block* b = lv_code_block_of(p);
  return b != nullptr ? lv_code_block_limit(b) : nullptr;
}

struct module_search {
  const void* wanted;
  bool found;
};

bool table_holds(lv_keytab* t, const void* wanted) {
  if (t == nullptr) return false;
  lv_hash_entry* e = lv_keytab_entries(t);
  for (uint64_t i = 0; i < lv_keytab_capacity(t); i++)
    if (e[i].key != 0 && e[i].value == reinterpret_cast<uint64_t>(wanted)) return true;
  return false;
}

void search_module(lv_module* m, void* arg) {
  auto* s = static_cast<module_search*>(arg);
  if (!s->found) s->found = table_holds(m->pred_table, s->wanted) || table_holds(m->prolog_copy_table, s->wanted);
}

void visit_operands(const lv_decoded_insn& d, lv_code_ref_visitor visit, void* arg) {
  for (unsigned i = 0; i < d.operand_count; i++) {
    const lv_operand& o = d.operands[i];
    if (o.kind == 'P' || o.kind == 'C' || o.kind == 'F') visit(o.kind, o.at, o.value, arg);
  }
}

// A growing list of addresses from the memory manager.
struct address_list {
  const uint32_t** items = nullptr;
  uint64_t size = 0;
  uint64_t capacity = 0;
  bool holds(const uint32_t* a) const {
    for (uint64_t i = 0; i < size; i++)
      if (items[i] == a) return true;
    return false;
  }
  void push(const uint32_t* a) {
    if (holds(a)) return;
    if (size == capacity) {
      uint64_t grown = capacity == 0 ? 16 : 2 * capacity;
      constexpr uint32_t flags = lv_mem_flags(LV_CAT_MISC);
      items = static_cast<const uint32_t**>(
          items == nullptr ? lv_mem_alloc(grown * sizeof *items, flags)
                           : lv_mem_realloc(items, capacity * sizeof *items, grown * sizeof *items, flags));
      capacity = grown;
    }
    items[size++] = a;
  }
  void release() {
    if (items != nullptr) lv_mem_free(items, capacity * sizeof *items, lv_mem_flags(LV_CAT_MISC));
  }
};

}  // namespace

const uint32_t* lv_code_step(const uint32_t* p, const uint32_t* end, int* classification) {
  if (lv_insn_length_within(p, end) == 0) return nullptr;
  return lv_insn_next(p, classification);
}

const uint32_t* lv_code_block_end(lv_code_block* block) {
  uint32_t* p = lv_code_block_code(block);
  const uint32_t* end = lv_code_block_limit(block);
  while (p < end) {
    if (lv_insn_length_within(p, end) == 0) return p;
    int classification = LV_STEP_ORDINARY;
    const uint32_t* next = lv_insn_next_replacing(p, &classification, block->alt_entry);
    if (classification != LV_STEP_ORDINARY) return p;
    p = const_cast<uint32_t*>(next);
  }
  return p;
}

void lv_code_reset_entries(lv_code_block* block) {
  uint32_t* p = lv_code_block_code(block);
  const uint32_t* end = lv_code_block_limit(block);
  while (p < end) {
    if (lv_insn_length_within(p, end) == 0) return;
    if (p[0] == LV_INTERNAL_HEADER_WORD) {
      auto* header = reinterpret_cast<lv_internal_entry*>(p);
      if (header->first_entry != p + 8) {
        for (auto* e = reinterpret_cast<lv_clause_entry*>(p + 8);; e++) {
          e->unused[0] = reinterpret_cast<uint64_t>(lv_retry_end);
          if (e->link == nullptr) break;
        }
      }
    }
    int classification = LV_STEP_ORDINARY;
    const uint32_t* next = lv_insn_next(p, &classification);
    if (classification == LV_STEP_END) return;
    p = const_cast<uint32_t*>(next);
  }
}

lv_pred* lv_code_block_owner(const uint32_t* start, const uint32_t** end) {
  const uint32_t* p = start;
  const uint32_t* limit = limit_of(p);
  lv_pred* owner = nullptr;
  for (uint64_t steps = 0; limit != nullptr && steps < STEP_LIMIT; steps++) {
    if (p[0] == lv_opcode(LV_OP_KONTINUE)) break;  // a stub
    uint64_t length = lv_insn_length_within(p, limit);
    if (length == 0) break;
    int classification;
    const uint32_t* next = lv_insn_next(p, &classification);
    if (classification == LV_STEP_END) {
      if (ends_clause(p[0])) owner = reinterpret_cast<lv_pred*>(lv_code_read64(p + length - 2));
      p += length;
      break;
    }
    if (next < p || next >= limit) limit = limit_of(next);  // a NATIVE_OP operand
    p = next;
  }
  if (end != nullptr) *end = p;
  return owner;
}

int lv_code_owner(const void* address, lv_pred** owner) {
  lv_pred* p = lv_code_block_owner(static_cast<const uint32_t*>(address), nullptr);
  if (owner != nullptr) *owner = p;
  return p != nullptr ? 1 : 0;
}

bool lv_code_is_internal_header(const void* pred) {
  const uint32_t* p = static_cast<const uint32_t*>(pred);
  if ((reinterpret_cast<uintptr_t>(p) & 3) != 0) return false;
  const uint32_t* limit = limit_of(p);
  return limit != nullptr && p[0] == LV_INTERNAL_HEADER_WORD && lv_insn_length_within(p, limit) != 0;
}

bool lv_code_known_pred(const void* pred) {
  if (pred == nullptr || (reinterpret_cast<uintptr_t>(pred) & 7) != 0) return false;
  if (lv_find_code_block(pred) != nullptr) return lv_code_is_internal_header(pred);
  module_search s = {pred, false};
  lv_for_each_module(search_module, &s);
  return s.found;
}

lv_pred* lv_code_pc_owner(const uint32_t* return_address) {
  // The predicate operand ends one word before the address (the frame size
  // follows it) or right at it (EXECUTE): of the two, the 8-aligned place.
  const uint32_t* operand = return_address - 2;
  if ((reinterpret_cast<uintptr_t>(operand) & 7) != 0) operand--;
  lv_code_block* b = lv_code_block_of(operand);
  if (b == nullptr || operand + 2 > lv_code_block_limit(b)) return nullptr;
  auto* pred = reinterpret_cast<lv_pred*>(lv_code_read64(operand));
  return lv_code_known_pred(pred) ? pred : nullptr;
}

int lv_code_owner_info(const void* address, lv_code_position* out) {
  const uint32_t* at = static_cast<const uint32_t*>(address);
  lv_code_block* block = lv_code_block_of(at);
  if (block == nullptr) return 0;
  lv_pred* pred = lv_code_block_owner(at, nullptr);
  if (pred == nullptr || !lv_code_known_pred(pred) || lv_code_is_internal_header(pred)) return 0;
  uint32_t type = lv_definition_type(pred);
  if (type > LV_DEF_COMPACTCODE_INDEXED || pred->definition == nullptr) return 0;
  auto* list = static_cast<lv_clause_list*>(pred->definition);

  out->pred = pred;
  out->block = block;
  out->source_key = block->source_key;
  out->clause = 0;
  if (list->head != nullptr) {
    int64_t n = 0;
    for (lv_code_block* b = list->head;; b = b->next) {
      if (b->source_key == block->source_key) n++;
      if (b == block) {
        out->clause = n;
        break;
      }
      if (b == list->tail) break;
    }
  }

  // Calls and source words up to the address.
  const uint64_t* source = block->side_table;
  uint64_t source_words = source != nullptr ? source[0] / 8 : 0;
  uint64_t cursor = 1 + static_cast<uint64_t>(pred->arity) + 1;  // past the head's words
  const uint32_t* limit = lv_code_block_limit(block);
  const uint32_t* p = lv_code_block_code(block);
  int64_t calls = 0;
  bool stepped = false;
  while (p < at) {
    lv_decoded_insn d;
    int classification;
    if (p[0] == LV_INTERNAL_HEADER_WORD || !lv_insn_decode_within(p, limit, &d)) break;
    const uint32_t* next = lv_insn_next(p, &classification);
    cursor += lv_insn_new_variable_count(d);
    if (lv_insn_is_call_site(d.number)) {
      calls++;
      cursor++;
    }
    stepped = true;
    if (classification == LV_STEP_END || next <= p || next > at) {
      p = next;
      break;
    }
    p = next;
  }
  if (p != at) {
    out->calls = -1;
    out->line = -1;
    return 1;
  }
  out->calls = calls;
  out->line = -1;
  if (stepped && cursor - 1 < source_words && lv_is_small(source[cursor - 1]))
    out->line = lv_small_value(source[cursor - 1]);
  return 1;
}

void lv_code_scan_refs(const uint32_t* address, lv_code_ref_visitor visit, void* arg) {
  const uint32_t* p = address;
  const uint32_t* limit = limit_of(p);
  for (uint64_t steps = 0; limit != nullptr && steps < STEP_LIMIT; steps++) {
    if (p[0] == lv_opcode(LV_OP_KONTINUE)) return;
    lv_decoded_insn d;
    if (p[0] != LV_INTERNAL_HEADER_WORD) {
      if (!lv_insn_decode_within(p, limit, &d)) return;
      visit_operands(d, visit, arg);
    }
    int classification;
    const uint32_t* next = lv_code_step(p, limit, &classification);
    if (next == nullptr || classification == LV_STEP_END) return;
    if (next < p || next >= limit) limit = limit_of(next);
    p = next;
  }
}

void lv_code_scan_block(lv_code_block* block, lv_code_ref_visitor visit, void* arg) {
  const uint32_t* start = lv_code_block_code(block);
  const uint32_t* limit = lv_code_block_limit(block);
  auto inside = [&](const void* a) { return a >= static_cast<const void*>(start) && a < static_cast<const void*>(limit); };
  address_list todo;
  todo.push(start);
  for (uint64_t next_run = 0; next_run < todo.size; next_run++) {
    const uint32_t* p = todo.items[next_run];
    for (uint64_t steps = 0; steps < STEP_LIMIT && inside(p); steps++) {
      if (p[0] == lv_opcode(LV_OP_KONTINUE) || lv_insn_length_within(p, limit) == 0) break;
      if (p[0] == LV_INTERNAL_HEADER_WORD) {
        auto* header = reinterpret_cast<const lv_internal_entry*>(p);
        if (header->first_entry != p + 8) {
          for (auto* e = reinterpret_cast<const lv_clause_entry*>(p + 8);; e++) {
            if (inside(e->code)) todo.push(e->code);
            if (e->link == nullptr) break;
          }
        }
      } else {
        lv_decoded_insn d;
        lv_insn_decode(p, &d);
        visit_operands(d, visit, arg);
        for (unsigned i = 0; i < d.operand_count; i++) {
          const void* target = reinterpret_cast<const void*>(d.operands[i].value);
          if ((d.operands[i].kind == 'L' || d.operands[i].kind == 'A') && inside(target))
            todo.push(static_cast<const uint32_t*>(target));
        }
      }
      int classification;
      const uint32_t* next = lv_insn_next(p, &classification);
      if (classification == LV_STEP_END) break;
      p = next;
    }
  }
  todo.release();
}

int lv_code_address_compare(const void* a, const void* b) {
  auto x = reinterpret_cast<uintptr_t>(a);
  auto y = reinterpret_cast<uintptr_t>(b);
  return x < y ? -1 : x > y ? 1 : 0;
}

void lv_empty_init_step() {}
