// Live argument registers at a code address.
//
// A run analyses the straight-line code from one address: it decodes the
// instructions forward to the end of the run (a call, a return, a jump out
// of the clause, backtracking), analysing every branch target it meets as a
// run of its own first, then walks the instructions backwards over a table
// of marks, one byte per register: a read marks the register with the run's
// epoch (live), a write clears the mark (dead). Each run takes a new epoch,
// so the table is never cleared between runs, except when the epoch wraps.
//
// Branch targets are analysed once per top-level call (the results are
// kept by address): code with many sequential if-then-elses reaches the
// same join point along many paths. A target already being analysed further
// up (a cycle) counts as reading nothing; such a partial result is not kept,
// except for the run whose own start closed the cycle, whose result is then
// complete, since a path that revisits its start adds no register.
#include "store/live_registers.h"

#include <climits>
#include <cstring>

#include "core/memory.h"
#include "machine/insn_registers.h"
#include "machine/insn_walk.h"
#include "store/code_block.h"
#include "store/static_code.h"

namespace {

constexpr uint32_t FLAGS = lv_mem_flags(LV_CAT_MISC);
constexpr size_t NO_CYCLE = SIZE_MAX;

// A growing array from the memory manager. Released explicitly: nothing with
// a destructor lives on an engine path.
template <typename T>
struct growing {
  T* items;
  size_t size;
  size_t capacity;

  void init(size_t n) {
    items = static_cast<T*>(lv_mem_alloc(n * sizeof(T), FLAGS));
    size = 0;
    capacity = n;
  }
  void push(const T& v) {
    if (size == capacity) {
      items = static_cast<T*>(lv_mem_realloc(items, capacity * sizeof(T), 2 * capacity * sizeof(T), FLAGS));
      capacity *= 2;
    }
    items[size++] = v;
  }
  T pop() { return items[--size]; }
  void release() { lv_mem_free(items, capacity * sizeof(T), FLAGS); }
};

struct memo_entry {
  const uint32_t* address;
  lv_live_set set;
};

struct analysis {
  lv_worker* w;
  growing<const uint32_t*> insns;    // instructions of the runs in progress
  growing<lv_live_set> branches;     // live sets at branch targets, in decoding order
  growing<const uint32_t*> active;   // start of each run in progress, by depth
  growing<memo_entry> memo;          // complete results by start address
};

// One mark byte per register, then the epoch.
struct {
  uint8_t mark[256];
  uint8_t epoch;
} marks;

uint8_t new_epoch() {
  if (marks.epoch == 255) {
    std::memset(marks.mark, 0, sizeof marks.mark);
    marks.epoch = 1;
  } else {
    marks.epoch++;
  }
  return marks.epoch;
}

void clear(lv_live_set* s) { *s = {{0, 0, 0, 0}, 0}; }

size_t analyse(analysis& a, const uint32_t* start, lv_live_set* out);

// The live set at a branch target; returns the depth of an unfinished run
// the result depends on, or NO_CYCLE.
size_t branch(analysis& a, const uint32_t* target, lv_live_set* out) {
  clear(out);
  if (target == nullptr) return NO_CYCLE;
  target = lv_code_deref(target);
  if (target == lv_fail_code || target == lv_else_fail_code) return NO_CYCLE;  // registers come from the choicepoint
  for (size_t i = 0; i < a.memo.size; i++) {
    if (a.memo.items[i].address == target) {
      *out = a.memo.items[i].set;
      return NO_CYCLE;
    }
  }
  for (size_t depth = 0; depth < a.active.size; depth++)
    if (a.active.items[depth] == target) return depth;
  return analyse(a, target, out);
}

// Whether the run from base already holds address (a NATIVE_OP leading back).
bool in_run(const analysis& a, size_t base, const uint32_t* address) {
  for (size_t i = base; i < a.insns.size; i++)
    if (a.insns.items[i] == address) return true;
  return false;
}

void mark_read(uint64_t first, uint64_t count, uint8_t epoch, uint64_t* overflow) {
  uint64_t end = first + count;
  for (uint64_t r = first; r < end && r < 256; r++) marks.mark[r] = epoch;
  if (end > 256 && end > *overflow) *overflow = end;
}

void apply(const lv_reg_effect& e, analysis& a, uint8_t epoch, uint64_t* overflow) {
  switch (e.kind) {
    case LV_REG_READ: mark_read(e.first, e.count, epoch, overflow); break;
    case LV_REG_WRITE: {
      // Writes of overflow registers are not followed: their reads count anywhere.
      uint64_t end = uint64_t{e.first} + e.count;
      for (uint64_t r = e.first; r < end && r < 256; r++) marks.mark[r] = 0;
      break;
    }
    case LV_REG_READ_LIST:
      for (uint32_t k = 0; k < e.count; k++) {
        int64_t r = lv_x_register_of(e.at[uint64_t{k} * e.stride]);
        if (r >= 0) mark_read(static_cast<uint64_t>(r), 1, epoch, overflow);
      }
      break;
    case LV_REG_CLOBBER:
      std::memset(marks.mark, 0, sizeof marks.mark);
      *overflow = 0;
      break;
    case LV_REG_BRANCH: {
      lv_live_set s = a.branches.pop();
      for (unsigned r = 0; r < 256; r++)
        if (lv_live_set_has(s, r)) marks.mark[r] = epoch;
      if (s.overflow > *overflow) *overflow = s.overflow;
      break;
    }
  }
}

// Analyses the run from start (NATIVE_OP already followed); returns the
// depth of an unfinished enclosing run the result depends on, or NO_CYCLE.
size_t analyse(analysis& a, const uint32_t* start, lv_live_set* out) {
  size_t depth = a.active.size;
  a.active.push(start);
  size_t base = a.insns.size;
  size_t cycle = NO_CYCLE;
  lv_reg_effect effects[LV_REG_MAX_EFFECTS];

  // Forward: collect the run, analysing branch targets as they come.
  for (const uint32_t* p = start;;) {
    a.insns.push(p);
    unsigned n = lv_insn_register_effects(a.w, p, effects);
    bool clobbers = false;
    for (unsigned i = 0; i < n; i++) {
      if (effects[i].kind == LV_REG_CLOBBER) clobbers = true;
      if (effects[i].kind == LV_REG_BRANCH) {
        lv_live_set s;
        size_t d = branch(a, effects[i].at, &s);
        if (d < cycle) cycle = d;
        a.branches.push(s);
      }
    }
    if (clobbers) break;  // nothing after it reads what the registers hold now
    int step;
    const uint32_t* next = lv_insn_next(p, &step);
    if (step == LV_STEP_END || step == LV_STEP_LEAVE) break;
    if (p[0] == lv_opcode(LV_OP_NATIVE_OP) && in_run(a, base, next)) break;
    p = next;
  }

  // Backward: the live set at start.
  uint8_t epoch = new_epoch();
  uint64_t overflow = 0;
  while (a.insns.size > base) {
    unsigned n = lv_insn_register_effects(a.w, a.insns.pop(), effects);
    for (unsigned i = n; i-- > 0;) apply(effects[i], a, epoch, &overflow);
  }
  clear(out);
  for (unsigned r = 0; r < 256; r++)
    if (marks.mark[r] == epoch) out->bits[r >> 6] |= uint64_t{1} << (r & 63);
  out->overflow = overflow;

  a.active.pop();
  if (cycle >= depth) {
    a.memo.push({start, *out});
    return NO_CYCLE;
  }
  return cycle;
}

}  // namespace

uint64_t lv_live_set_count(const lv_live_set& s) {
  uint64_t n = 0;
  for (unsigned k = 4; k-- > 0;) {
    if (s.bits[k] != 0) {
      n = 64 * k + 64 - static_cast<uint64_t>(__builtin_clzll(s.bits[k]));
      break;
    }
  }
  return s.overflow > n ? s.overflow : n;
}

void lv_live_x_register_set(lv_worker* w, const uint32_t* address, lv_live_set* out) {
  clear(out);
  if (address == nullptr) return;
  analysis a;
  a.w = w;
  a.insns.init(256);
  a.branches.init(16);
  a.active.init(16);
  a.memo.init(16);
  analyse(a, lv_code_deref(address), out);
  a.insns.release();
  a.branches.release();
  a.active.release();
  a.memo.release();
}

int lv_live_x_registers(lv_worker* w, const uint32_t* address, int nested) {
  lv_live_set s;
  lv_live_x_register_set(w, address, &s);
  uint64_t n = lv_live_set_count(s);
  if (nested > 0 && n < static_cast<uint64_t>(nested)) n = static_cast<uint64_t>(nested);
  return n > INT_MAX ? INT_MAX : static_cast<int>(n);
}

unsigned lv_live_registers_epoch() { return marks.epoch; }
