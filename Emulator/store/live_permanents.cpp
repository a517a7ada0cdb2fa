// The permanent variables live at a continuation.
//
// The walk goes forward and keeps two sets: the variables already decided
// (read or written on the way) and the live ones (read before any write).
// A failure continuation into the same block is analysed as a walk of its
// own, and what it finds live counts for the variables not yet decided at
// the branch. Since failure continuations lead forward, this gives the
// backward analysis's answer without a list of the instructions.
#include "store/live_permanents.h"

#include <cstring>

#include "machine/insn_walk.h"
#include "store/code_block.h"
#include "store/code_walk.h"
#include "store/static_code.h"

namespace {

constexpr unsigned WORDS = LV_TRACKED_PERMANENTS / 64;
constexpr unsigned MAX_DEPTH = 16;     // branch targets under analysis at once
constexpr unsigned TARGET_MEMO = 32;   // branch targets' results kept in one walk
constexpr uint64_t STEP_LIMIT = uint64_t{1} << 20;

struct varset {
  uint64_t w[WORDS];
  bool has(uint64_t k) const { return (w[k >> 6] >> (k & 63) & 1) != 0; }
  void add(uint64_t k) { w[k >> 6] |= uint64_t{1} << (k & 63); }
};

struct walk {
  const uint32_t* start;  // the block's code
  const uint32_t* limit;
  const uint32_t* active[MAX_DEPTH];
  unsigned depth;
  struct {
    const uint32_t* target;
    varset live;
  } memo[TARGET_MEMO];
  unsigned memo_used;
};

// The running state of one forward walk.
struct flow {
  varset decided;
  varset live;
  bool read(uint32_t operand) {
    if (operand < 16 || (operand & 7) != 0) return false;
    uint64_t k = lv_y_index(operand);
    if (k < LV_TRACKED_PERMANENTS && !decided.has(k)) {
      decided.add(k);
      live.add(k);
    }
    return true;
  }
  bool write(uint32_t operand) {
    if (operand < 16 || (operand & 7) != 0) return false;
    uint64_t k = lv_y_index(operand);
    if (k < LV_TRACKED_PERMANENTS) decided.add(k);
    return true;
  }
};

enum effect { NONE, READ, WRITE, NEW_FRAME, LIST };

// What an instruction does to the permanent variables of its frame, by
// operand format.
effect y_effect(int32_t format) {
  switch (format) {
    case 106: case 109: case 112: return READ;
    case 107: case 110: case 113: case 114: case 117: return WRITE;
    case 32: case 33: case 56: case 57: case 58: case 59: case 61: return LIST;
    // Instructions that build a frame: after them the Y operands name
    // another frame.
    case 24: case 29: case 31: case 54: case 55: case 60: case 63:
    case 108: case 111: case 115: case 116: case 118:
      return NEW_FRAME;
    default: return NONE;
  }
}

bool live_in(walk& s, const uint32_t* p, varset* out);

// Merges what a failure continuation reads; false when it cannot be told.
bool branch(walk& s, flow& f, uint64_t target_word) {
  const uint32_t* target = reinterpret_cast<const uint32_t*>(target_word);
  if (target == lv_fail_code || target == lv_else_fail_code) return true;  // backtracking
  varset sub;
  bool known = false;
  for (unsigned i = 0; i < s.memo_used && !known; i++) {
    if (s.memo[i].target == target) {
      sub = s.memo[i].live;
      known = true;
    }
  }
  if (!known) {
    if (!live_in(s, target, &sub)) return false;
    if (s.memo_used < TARGET_MEMO) s.memo[s.memo_used++] = {target, sub};
  }
  for (unsigned i = 0; i < WORDS; i++) f.live.w[i] |= sub.w[i] & ~f.decided.w[i];
  return true;
}

// The effects of one decoded instruction; false when the walk must give up.
bool apply(walk& s, flow& f, const lv_decoded_insn& d) {
  if (d.number == LV_OP_TRY) return false;  // enters clause code without a call
  switch (y_effect(d.format)) {
    case NEW_FRAME: return false;
    case READ:
    case WRITE:
      for (unsigned i = 0; i < d.operand_count; i++) {
        const lv_operand& o = d.operands[i];
        if (o.kind == 'Y' && !(y_effect(d.format) == READ ? f.read(static_cast<uint32_t>(o.value))
                                                          : f.write(static_cast<uint32_t>(o.value))))
          return false;
        if (o.kind == 'G') {
          for (uint32_t j = 0; j < o.count; j++)
            if (!f.write(o.at[2 + 2 * j])) return false;
        }
      }
      break;
    case LIST:
      for (unsigned i = 0; i < d.operand_count; i++) {
        const lv_operand& o = d.operands[i];
        if (o.kind != 'R') continue;
        for (uint32_t j = 0; j < o.count; j++) {
          uint32_t e = o.at[1 + j];
          bool ok = true;
          switch (e & 3) {
            case 0: case 2: ok = f.read(e & ~3u); break;
            case 1: ok = f.write(e & ~3u); break;
            default: break;
          }
          if (!ok) return false;
        }
      }
      break;
    default: break;
  }
  for (unsigned i = 0; i < d.operand_count; i++)
    if (d.operands[i].kind == 'L' && !branch(s, f, d.operands[i].value)) return false;
  return true;
}

bool live_in(walk& s, const uint32_t* p, varset* out) {
  if (s.depth == MAX_DEPTH) return false;
  for (unsigned i = 0; i < s.depth; i++)
    if (s.active[i] == p) return false;  // a cycle
  s.active[s.depth++] = p;
  flow f;
  std::memset(&f, 0, sizeof f);
  bool known = false;
  for (uint64_t steps = 0; steps < STEP_LIMIT; steps++) {
    if (p < s.start || p >= s.limit || p[0] == LV_INTERNAL_HEADER_WORD || p[0] == lv_opcode(LV_OP_KONTINUE)) break;
    lv_decoded_insn d;
    if (!lv_insn_decode_within(p, s.limit, &d)) break;
    if (d.number == LV_OP_FAIL) {  // what follows is not reached
      known = true;
      break;
    }
    if (!apply(s, f, d)) break;
    int classification;
    const uint32_t* next = lv_insn_next(p, &classification);
    if (classification == LV_STEP_END) {
      known = d.number == LV_OP_END_OF_CLAUSE || d.number == LV_OP_END_OF_CLAUSEQ;
      break;
    }
    if (classification == LV_STEP_LEAVE) {
      known = true;
      break;
    }
    p = next;
  }
  s.depth--;
  *out = f.live;
  return known;
}

unsigned memo_slot(const uint32_t* continuation) {
  return static_cast<unsigned>((reinterpret_cast<uintptr_t>(continuation) >> 2) % lv_permanents_memo::SLOTS);
}

}  // namespace

void lv_permanents_memo_clear(lv_permanents_memo* memo) {
  for (auto& slot : memo->slots) slot.continuation = nullptr;
}

void lv_code_live_permanents(const uint32_t* continuation, lv_live_permanents* out, lv_permanents_memo* memo) {
  if (memo != nullptr && continuation != nullptr) {
    const auto& slot = memo->slots[memo_slot(continuation)];
    if (slot.continuation == continuation) {
      *out = slot.set;
      return;
    }
  }
  std::memset(out, 0, sizeof *out);
  out->all = true;
  lv_code_block* b = lv_code_block_of(continuation);
  if (b != nullptr) {
    walk s;
    s.start = lv_code_block_code(b);
    s.limit = lv_code_block_limit(b);
    s.depth = 0;
    s.memo_used = 0;
    varset live;
    if (live_in(s, continuation, &live)) {
      out->all = false;
      std::memcpy(out->bits, live.w, sizeof out->bits);
    }
  }
  if (memo != nullptr && continuation != nullptr) memo->slots[memo_slot(continuation)] = {continuation, *out};
}
