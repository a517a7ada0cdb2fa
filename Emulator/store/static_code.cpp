// Static code, start-up records and shared stubs.
#include "store/static_code.h"

#include <cstring>

#include "core/hashtab.h"
#include "core/memory.h"
#include "machine/insn_walk.h"
#include "machine/instructions.h"
#include "store/predicates.h"

namespace {

constexpr uint32_t op(lv_insn n) { return lv_opcode(n); }

// Each sequence starts with its frame-size word 16.
alignas(8) const uint32_t static_words[] = {
    16, op(LV_OP_FAIL), op(LV_OP_EXIT_TOPLEVEL),           // 1: fail
    16, op(LV_OP_FAIL), op(LV_OP_EXIT_TOPLEVEL),           // 4: else fail
    16, op(LV_OP_SWITCH_ON_PRED),                          // 7: switch
    16, op(LV_OP_PROCEED), op(LV_OP_EXIT_TOPLEVEL),        // 9: proceed
    16, op(LV_OP_PROGRESS), op(LV_OP_EXIT_TOPLEVEL),       // 12: progress
    16, op(LV_OP_EXIT_TOPLEVEL), 1,                        // 15: exit
    16, op(LV_OP_CUTB), op(LV_OP_EXIT_TOPLEVEL), 1,        // 18: cutb
    16, op(LV_OP_EXIT_TOPLEVEL), 0,                        // 22: bottom
    32, op(LV_OP_RESTORE_CALLER_PROGRESS),                 // 25: restore caller
    32, op(LV_OP_RESTORE_OPERANDS_PROGRESS),               // 27: restore operands
    40, op(LV_OP_PROGRESS),                                // 29: fixed continuation
};

constexpr uint32_t STUB_FLAGS = lv_mem_flags(LV_CAT_MISC);
constexpr uint32_t CODE_FLAGS = lv_mem_flags(LV_CAT_COMPILED_CODE);
constexpr uint64_t STARTUP_STUBS = 256;

lv_keytab* continuation_stubs;

lv_call_stub* new_stub() {
  lv_call_stub* s = static_cast<lv_call_stub*>(lv_mem_alloc(sizeof(lv_call_stub), STUB_FLAGS));
  std::memset(s, 0, sizeof *s);
  s->record.target = s->code;
  s->record.last_or_end = lv_retry_end;
  s->record.insn = op(LV_OP_TRY);
  return s;
}

}  // namespace

const uint32_t* lv_fail_code = &static_words[1];
const uint32_t* lv_else_fail_code = &static_words[4];
const uint32_t* lv_switch_code = &static_words[7];
const uint32_t* lv_proceed_code = &static_words[9];
const uint32_t* lv_progress_code = &static_words[12];
const uint32_t* lv_exit_code = &static_words[15];
const uint32_t* lv_cutb_code = &static_words[18];
const uint32_t* lv_bottom_code = &static_words[22];
const uint32_t* lv_restore_caller_code = &static_words[25];
const uint32_t* lv_restore_operands_code = &static_words[27];
const uint32_t* lv_fixed_continuation_code = &static_words[29];

void* lv_retry_end;
lv_static_records lv_static;

void lv_init_static_code() {
  lv_static.fail_record = static_cast<lv_try_record*>(lv_mem_alloc(sizeof(lv_try_record), lv_mem_flags(LV_CAT_TRY_NODE)));
  *lv_static.fail_record = {nullptr, lv_fail_code, lv_retry_end, 48, op(LV_OP_TRY)};
  lv_static.fail_alternative = {nullptr, lv_fail_code, lv_retry_end, 48, op(LV_OP_TRY)};
  lv_static.proceed_alternative = {nullptr, lv_proceed_code, lv_retry_end, 48, op(LV_OP_TRY)};
  lv_static.exit_stub = new_stub();
  lv_static.exit_stub->record.next = &lv_static.exit_stub->record;
  lv_static.exit_stub->record.cp_size = 80;
  lv_static.exit_stub->code[0] = op(LV_OP_EXIT_TOPLEVEL);
  lv_static.exit_stub_minus = new_stub();
  lv_static.exit_stub_minus->record.cp_size = 80;
  lv_static.exit_stub_minus->code[0] = op(LV_OP_EXIT_TOPLEVEL);
  lv_static.exit_stub_minus->code[1] = static_cast<uint32_t>(-1);
  continuation_stubs = new_switch_on_key(512, 0);
  for (uint64_t n = 0; n <= STARTUP_STUBS; n++) lv_code_stub_for_arity(n);
}

const uint32_t* lv_code_stub_for_arity(uint64_t n) {
  if (continuation_stubs == nullptr) continuation_stubs = new_switch_on_key(512, 0);
  uint64_t key = 8 * n + 16;
  lv_hash_entry* e = dyn_puthash(&continuation_stubs, key);
  if (e->value == 0) {
    uint32_t* stub = static_cast<uint32_t*>(lv_mem_alloc(16, CODE_FLAGS));
    lv_code_write64(stub, key);
    stub[2] = key <= UINT32_MAX ? static_cast<uint32_t>(key) : 0;
    stub[3] = op(LV_OP_KONTINUE);
    e->value = reinterpret_cast<uint64_t>(&stub[3]);
  }
  return reinterpret_cast<const uint32_t*>(e->value);
}

// Choicepoint bytes of a call stub for n arguments.
static uint32_t stub_cp_size(unsigned n) { return ((8 * n + 8) & ~15u) + 48; }

bool lv_is_shared_continuation_stub(const uint32_t* kontinue) {
  if (continuation_stubs == nullptr) return false;
  lv_hash_entry* e = incore_gethash(continuation_stubs, lv_code_read64(kontinue - 3));
  return e != nullptr && e->value == reinterpret_cast<uint64_t>(kontinue);
}

lv_call_stub* lv_new_c_call_stub(void* routine, unsigned n) {
  lv_call_stub* s = new_stub();
  s->record.next = &s->record;
  s->record.cp_size = stub_cp_size(n);
  s->code[0] = op(LV_OP_RETRY_CQ);
  lv_code_write64(&s->code[2], reinterpret_cast<uint64_t>(routine));
  return s;
}

lv_call_stub* lv_new_pred_call_stub(const lv_pred* pred) {
  lv_call_stub* s = new_stub();
  s->record.next = nullptr;
  s->record.cp_size = stub_cp_size(static_cast<unsigned>(pred->arity));
  s->code[0] = op(LV_OP_EXECUTEQ);
  lv_code_write64(&s->code[2], reinterpret_cast<uint64_t>(pred));
  return s;
}
