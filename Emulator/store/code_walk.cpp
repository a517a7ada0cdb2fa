// Walking the code of a block.
#include "store/code_walk.h"

#include "machine/insn_walk.h"
#include "store/static_code.h"

const uint32_t* lv_code_block_end(lv_code_block* block) {
  uint32_t* p = lv_code_block_code(block);
  const uint32_t* end = reinterpret_cast<const uint32_t*>(reinterpret_cast<char*>(block) + lv_code_block_size(block));
  while (p < end) {
    int classification = LV_STEP_ORDINARY;
    const uint32_t* next = lv_insn_next_replacing(p, &classification, block->alt_entry);
    if (classification != LV_STEP_ORDINARY) return p;
    p = const_cast<uint32_t*>(next);
  }
  return p;
}

void lv_code_reset_entries(lv_code_block* block) {
  uint32_t* p = lv_code_block_code(block);
  const uint32_t* end = reinterpret_cast<const uint32_t*>(reinterpret_cast<char*>(block) + lv_code_block_size(block));
  while (p < end) {
    if (p[0] == LV_INTERNAL_HEADER_WORD) {
      auto* header = reinterpret_cast<lv_internal_entry*>(p);
      if (header->first_entry != p + 8) {
        for (auto* e = reinterpret_cast<lv_clause_entry*>(p + 8);; e++) {
          e->unused[0] = reinterpret_cast<uint64_t>(lv_retry_end);
          if (e->link == nullptr) break;
        }
      }
    } else if (!lv_opcode_valid(p[0])) {
      return;
    }
    int classification = LV_STEP_ORDINARY;
    const uint32_t* next = lv_insn_next(p, &classification);
    if (classification == LV_STEP_END) return;
    p = const_cast<uint32_t*>(next);
  }
}
