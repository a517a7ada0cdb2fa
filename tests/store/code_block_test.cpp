// Code blocks, the tree of blocks, static code and stubs.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <vector>

#include "core/memory.h"
#include "machine/insn_walk.h"
#include "store/code_block.h"
#include "store/static_code.h"
#include "support/memory_fixture.h"

namespace {

class CodeTest : public MemoryTest {
 protected:
  void SetUp() override {
    MemoryTest::SetUp();
    lv_code_blocks_reset();
  }
};

TEST_F(CodeTest, BlockHeader) {
  lv_init_static_code();
  lv_code_block* b = lv_code_block_new(10);
  EXPECT_EQ(lv_code_block_size(b), 48u + 40);
  EXPECT_EQ(b->alt_entry, lv_fail_code);
  EXPECT_EQ(b->source_key, 7u);
  EXPECT_EQ(b->side_table, nullptr);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(lv_code_block_code(b)) % 8, 0u);
  lv_code_block_free(b);
}

TEST_F(CodeTest, TreeFindsBlocksFromInteriorAddresses) {
  std::mt19937_64 rng(3);
  std::map<uintptr_t, lv_code_block*> live;
  std::vector<lv_code_block*> all;
  for (int round = 0; round < 2000; round++) {
    if (live.empty() || rng() % 3 != 0) {
      lv_code_block* b = lv_code_block_new(1 + rng() % 200);
      lv_code_block_register(b);
      live[reinterpret_cast<uintptr_t>(b)] = b;
    } else {
      auto it = live.begin();
      std::advance(it, static_cast<long>(rng() % live.size()));
      lv_code_block_unregister(it->second);
      lv_code_block_free(it->second);
      live.erase(it);
    }
    ASSERT_EQ(lv_code_block_count(), live.size());
  }
  for (const auto& [start, b] : live) {
    const char* p = reinterpret_cast<const char*>(b);
    uint64_t size = lv_code_block_size(b);
    EXPECT_EQ(lv_find_code_block(p), b);
    EXPECT_EQ(lv_find_code_block(p + size - 1), b);
    EXPECT_EQ(lv_find_code_block(p + rng() % size), b);
    lv_code_block* after = lv_find_code_block(p + size);
    EXPECT_NE(after, b);
  }
  // An AA tree stays balanced: its level is logarithmic.
  unsigned bound = 1;
  while ((uint64_t{1} << bound) <= live.size()) bound++;
  EXPECT_LE(lv_code_tree_level(), bound + 1);
  for (const auto& [start, b] : live) {
    lv_code_block_unregister(b);
    lv_code_block_free(b);
  }
  EXPECT_EQ(lv_code_block_count(), 0u);
  EXPECT_EQ(lv_find_code_block(reinterpret_cast<void*>(0x1000)), nullptr);
  EXPECT_EQ(lv_mem_category_bytes(LV_CAT_AATREE), 0u);
}

TEST_F(CodeTest, StaticCode) {
  lv_init_static_code();
  struct {
    const uint32_t* code;
    uint32_t frame_size;
    std::vector<uint32_t> words;
  } cases[] = {
      {lv_fail_code, 16, {lv_opcode(LV_OP_FAIL), lv_opcode(LV_OP_EXIT_TOPLEVEL)}},
      {lv_else_fail_code, 16, {lv_opcode(LV_OP_FAIL), lv_opcode(LV_OP_EXIT_TOPLEVEL)}},
      {lv_switch_code, 16, {lv_opcode(LV_OP_SWITCH_ON_PRED)}},
      {lv_proceed_code, 16, {lv_opcode(LV_OP_PROCEED), lv_opcode(LV_OP_EXIT_TOPLEVEL)}},
      {lv_progress_code, 16, {lv_opcode(LV_OP_PROGRESS), lv_opcode(LV_OP_EXIT_TOPLEVEL)}},
      {lv_exit_code, 16, {lv_opcode(LV_OP_EXIT_TOPLEVEL), 1}},
      {lv_cutb_code, 16, {lv_opcode(LV_OP_CUTB), lv_opcode(LV_OP_EXIT_TOPLEVEL), 1}},
      {lv_bottom_code, 16, {lv_opcode(LV_OP_EXIT_TOPLEVEL), 0}},
      {lv_restore_caller_code, 32, {lv_opcode(LV_OP_RESTORE_CALLER_PROGRESS)}},
      {lv_restore_operands_code, 32, {lv_opcode(LV_OP_RESTORE_OPERANDS_PROGRESS)}},
      {lv_fixed_continuation_code, 40, {lv_opcode(LV_OP_PROGRESS)}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.code[-1], c.frame_size);
    for (size_t i = 0; i < c.words.size(); i++) EXPECT_EQ(c.code[i], c.words[i]);
  }
  EXPECT_NE(lv_fail_code, lv_else_fail_code);
  EXPECT_EQ(lv_static.fail_record->target, lv_fail_code);
  EXPECT_EQ(lv_static.fail_record->cp_size, 48u);
  EXPECT_EQ(lv_static.proceed_alternative.target, lv_proceed_code);
  EXPECT_EQ(lv_static.exit_stub->record.next, &lv_static.exit_stub->record);
  EXPECT_EQ(lv_static.exit_stub->record.cp_size, 80u);
  EXPECT_EQ(lv_static.exit_stub_minus->record.next, nullptr);
  EXPECT_EQ(lv_static.exit_stub_minus->code[1], 0xFFFFFFFFu);
  EXPECT_EQ(lv_alternative_cp_size(reinterpret_cast<uint64_t>(&lv_static.exit_stub->record.insn)), 80);
}

TEST_F(CodeTest, ContinuationStubsAreShared) {
  lv_init_static_code();
  for (uint64_t n : {0u, 1u, 256u, 300u}) {
    const uint32_t* stub = lv_code_stub_for_arity(n);
    EXPECT_EQ(stub, lv_code_stub_for_arity(n));
    EXPECT_EQ(stub[0], lv_opcode(LV_OP_KONTINUE));
    EXPECT_EQ(stub[-1], 8 * n + 16);
    EXPECT_EQ(lv_code_read64(stub - 3), 8 * n + 16);
  }
}

TEST_F(CodeTest, CRoutineStubs) {
  static int routine;
  lv_call_stub* s = lv_new_c_call_stub(&routine, 3);
  EXPECT_EQ(s->record.next, &s->record);
  EXPECT_EQ(s->record.target, s->code);
  EXPECT_EQ(s->record.cp_size, 32u + 48);  // (8 * 3 + 8) rounded down to 16, + 48
  EXPECT_EQ(s->record.insn, lv_opcode(LV_OP_TRY));
  EXPECT_EQ(s->code[0], lv_opcode(LV_OP_RETRY_CQ));
  EXPECT_EQ(lv_code_read64(&s->code[2]), reinterpret_cast<uint64_t>(&routine));
  EXPECT_EQ(lv_new_c_call_stub(&routine, 4)->record.cp_size, 32u + 48);
}

TEST_F(CodeTest, InlineTryRecords) {
  alignas(8) uint32_t code[64] = {};
  static const uint32_t clause1 = 0, clause2 = 0, clause3 = 0;
  // An internal entry header whose target is the first record's TRY word;
  // the first record leaves the header as it is.
  uint32_t* p = lv_code_write_entry_header(code, code + 15, 3, 1);
  EXPECT_EQ(p, code + 8);
  p = lv_code_write_entry_header(p, &clause1, 3, 0);
  auto* header = reinterpret_cast<lv_internal_entry*>(code);
  auto* first = reinterpret_cast<lv_try_record*>(code + 8);
  EXPECT_EQ(p, code + 16);
  EXPECT_EQ(header->marker, LV_INTERNAL_HEADER_WORD);
  EXPECT_EQ(header->arity, 3u);
  EXPECT_EQ(header->first_entry, &first->insn);
  EXPECT_EQ(first->target, &clause1);
  EXPECT_EQ(first->cp_size, 48u + 8 * 4);  // arity rounded up to even
  EXPECT_EQ(first->last_or_end, first);
  p = lv_code_write_entry_header(p, &clause2, 3, 0);
  auto* second = reinterpret_cast<lv_try_record*>(code + 16);
  EXPECT_EQ(first->next, second);
  // Closing a series.
  second->last_or_end = const_cast<uint32_t*>(&clause3);
  p = lv_code_write_entry_header(p, &clause1, 3, 2);
  auto* closing = reinterpret_cast<lv_try_record*>(code + 24);
  auto* after = reinterpret_cast<lv_try_record*>(code + 32);
  EXPECT_EQ(p, code + 40);
  EXPECT_EQ(closing->target, &clause3);
  EXPECT_EQ(closing->cp_size, 48u + 8 * 3);
  EXPECT_EQ(second->last_or_end, &closing->insn);
  EXPECT_EQ(closing->next, after);
  EXPECT_EQ(after->target, &clause1);
}

TEST_F(CodeTest, FirstArgumentTests) {
  EXPECT_EQ(lv_insn_arg_class(lv_opcode(LV_OP_GET_CONSTANT_X0Q)), 4);
  EXPECT_EQ(lv_insn_arg_class(lv_opcode(LV_OP_GET_STRUCTURE_X0)), 3);
  EXPECT_EQ(lv_insn_arg_class(lv_opcode(LV_OP_GET_LIST_X0)), 1);
  EXPECT_EQ(lv_insn_arg_class(lv_opcode(LV_OP_PROCEED)), 0);
  alignas(8) uint32_t code[8] = {lv_opcode(LV_OP_GET_CONSTANT_X0Q), 0, 0, 0, lv_opcode(LV_OP_PROCEED)};
  lv_code_write64(&code[2], 0x777);
  EXPECT_EQ(lv_entry_tests_key(&code[4], 0x777), -4);
  EXPECT_EQ(lv_entry_tests_key(&code[4], 0x778), 0);
  EXPECT_EQ(lv_entry_tests_key(&code[5], 0x777), -1);
}

}  // namespace
