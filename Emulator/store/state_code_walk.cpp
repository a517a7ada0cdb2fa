// The code walker of saved states.
#include "store/state_code_walk.h"

#include <cinttypes>
#include <cstdarg>
#include <cstdio>

#include "core/term.h"
#include "machine/insn_walk.h"
#include "store/code_bounds.h"
#include "store/code_walk.h"
#include "store/state_code_check.h"
#include "store/state_format.h"
#include "store/static_code.h"
#include "store/try_record.h"

namespace {

constexpr int32_t FORMAT_NOP = 72;
constexpr int32_t FORMAT_NATIVE = 119;

struct walker {
  lv_code_walk* wk;
  uint32_t* code;
  uint64_t words;
  uint64_t delta;      // bytes the block moved, modulo 2^64
  int64_t x_shift;     // bytes added to X operands
  bool passed_header;  // an internal entry header has been walked over

  bool fail(uint64_t at, const char* format, ...) __attribute__((format(printf, 3, 4))) {
    char what[256];
    va_list args;
    va_start(args, format);
    std::vsnprintf(what, sizeof what, format, args);
    va_end(args);
    std::snprintf(wk->message, wk->message_size, "%s at code word %" PRIu64 " of a block", what, at);
    return false;
  }

  bool inside(uint64_t address) const {
    auto start = reinterpret_cast<uint64_t>(code);
    return address >= start && address < start + 4 * words;
  }

  void swap32(uint64_t at) {
    if (wk->swap) code[at] = lv_swap32(code[at]);
  }
  // A 64-bit value: the two words byte-reversed as one.
  void swap64(uint64_t at) {
    if (wk->swap) lv_code_write64(code + at, lv_swap64(lv_code_read64(code + at)));
  }

  bool report(int kind, char letter, uint64_t* value) { return wk->callback(kind, letter, value, wk->arg); }
};

// Puts the operands of the instruction at at (its opcode already this
// runtime's) into this runtime's byte order, moves its X operands, and
// finds its length.
bool swap_operands(walker& r, uint64_t at, uint64_t* length) {
  uint32_t n = r.code[at] >> 1;
  int32_t format = lv_instruction_format_table[n];
  const char* name = lv_instruction_name_table[n];
  uint64_t q = at + 1;
  auto room = [&](uint64_t words) { return r.words - q >= words; };
  auto shift_x = [&](uint64_t i) {
    int64_t v = static_cast<int64_t>(r.code[i]) + r.x_shift;
    if (v < 0 || v > static_cast<int64_t>(UINT32_MAX)) return false;
    r.code[i] = static_cast<uint32_t>(v);
    return true;
  };
  if (format == FORMAT_NOP) {
    if (!room(1)) return r.fail(at, "%s runs past the end of the block", name);
    r.swap32(q);
    uint64_t skip = r.code[q];
    if (skip == 0 || r.words - q < skip) return r.fail(at, "a NOP whose skip leaves the block");
    *length = 1 + skip;
    return true;
  }
  for (const char* k = lv_format_operands[format]; *k != '\0'; k++) {
    switch (*k) {
      case 'p':
      case 'Y':
      case 'S':
      case 'N':
        if (!room(1)) return r.fail(at, "%s runs past the end of the block", name);
        r.swap32(q++);
        break;
      case 'X':
        if (!room(1)) return r.fail(at, "%s runs past the end of the block", name);
        r.swap32(q);
        if (!shift_x(q++)) return r.fail(at, "an argument register of %s out of range", name);
        break;
      case 'R': {
        if (!room(1)) return r.fail(at, "%s runs past the end of the block", name);
        r.swap32(q);
        uint64_t m = r.code[q] >> 8;
        if (!room(1 + m)) return r.fail(at, "%s runs past the end of the block", name);
        for (uint64_t i = 1; i <= m; i++) r.swap32(q + i);
        q += 1 + m;
        break;
      }
      case 'G': {
        if (!room(1)) return r.fail(at, "%s runs past the end of the block", name);
        r.swap32(q);
        uint64_t m = r.code[q];
        if ((r.words - q - 1) / 2 < m) return r.fail(at, "%s runs past the end of the block", name);
        for (uint64_t i = 0; i < m; i++) {
          r.swap32(q + 1 + 2 * i);
          r.swap32(q + 2 + 2 * i);
          if (!shift_x(q + 1 + 2 * i)) return r.fail(at, "an argument register of %s out of range", name);
        }
        q += 1 + 2 * m;
        break;
      }
      case 'B': {
        if (q % 2 != 0 || !room(2)) return r.fail(at, "the box of %s is misplaced", name);
        r.swap64(q);
        uint64_t header = lv_code_read64(r.code + q);
        if ((header & 7) != 7 || static_cast<int64_t>(header) >= 0) return r.fail(at, "the box of %s has no header", name);
        uint64_t values = lv_box_value_words(header);
        if (values == 0 || (r.words - q) / 2 < values + 1) return r.fail(at, "the box of %s runs past the end of the block", name);
        for (uint64_t i = 1; i <= values; i++) r.swap64(q + 2 * i);
        q += 2 * (values + 1);
        break;
      }
      default:  // a 64-bit operand
        if (q % 2 != 0 || !room(2)) return r.fail(at, "operand %c of %s is misplaced", *k, name);
        r.swap64(q);
        q += 2;
        break;
    }
  }
  *length = q - at;
  return true;
}

bool relocate_operands(walker& r, uint64_t at) {
  lv_decoded_insn d;
  if (!lv_insn_decode_within(r.code + at, r.code + r.words, &d)) return r.fail(at, "an instruction that does not decode");
  for (unsigned i = 0; i < d.operand_count; i++) {
    const lv_operand& o = d.operands[i];
    auto* cell = const_cast<uint32_t*>(o.at);
    uint64_t v = o.value;
    switch (o.kind) {
      case 'C':
      case 'F':
        if (!lv_state_is_atom_word(v)) continue;
        if (!r.report(LV_WALK_ATOM, o.kind, &v)) return false;
        break;
      case 'P':
      case 'A':
        if (r.inside(v + r.delta)) {
          v += r.delta;
        } else if (!r.report(o.kind == 'P' ? LV_WALK_PRED : LV_WALK_ADDRESS, o.kind, &v)) {
          return false;
        }
        break;
      case 'L':
        if (v == r.wk->old_fail)
          v = reinterpret_cast<uint64_t>(lv_fail_code);
        else if (r.passed_header && r.inside(v + r.delta))
          v += r.delta;
        else
          v = reinterpret_cast<uint64_t>(lv_else_fail_code);
        break;
      default:
        continue;
    }
    lv_code_write64(cell, v);
  }
  return true;
}

// An internal entry header and its try records, rebuilt at their new place.
bool rebuild_header(walker& r, uint64_t* at) {
  uint64_t h = *at;
  if (h % 2 != 0 || r.words - h < 8) return r.fail(h, "a misplaced internal entry header");
  for (uint64_t i = 1; i < 4; i++) r.swap32(h + i);
  r.swap64(h + 4);
  r.swap64(h + 6);
  uint32_t* header = r.code + h;
  uint32_t arity = header[1];
  if (arity > 255) return r.fail(h, "an internal entry header of arity %" PRIu32, arity);
  uint64_t old_header = reinterpret_cast<uint64_t>(header) - r.delta;
  uint64_t first = lv_code_read64(header + 4);
  if (first == old_header + 32) {
    lv_code_write_entry_header(header, header + 8, arity, 1);
    *at = h + 8;
    return true;
  }
  if (first != old_header + 32 + 28) return r.fail(h, "an internal entry header aimed elsewhere");
  lv_code_write_entry_header(header, header + 8 + 7, arity, 1);
  for (uint64_t q = h + 8, k = 1;; q += 8, k++) {
    if (r.words - q < 8) return r.fail(q, "a try record past the end of the block");
    r.swap64(q);
    r.swap64(q + 2);
    uint64_t next = lv_code_read64(r.code + q);
    uint64_t target = lv_code_read64(r.code + q + 2) + r.delta;
    if (!r.inside(target)) return r.fail(q, "a try record aimed outside the block");
    if (next != 0 && next != old_header + 32 + 32 * k) return r.fail(q, "a try record not linked to the record after it");
    lv_code_write_entry_header(r.code + q, reinterpret_cast<const uint32_t*>(target), arity, 0);
    if (next == 0) {
      *at = q + 8;
      return true;
    }
  }
}

}  // namespace

bool lv_walk_code(lv_code_walk* wk) {
  lv_code_block* block = wk->block;
  walker r{wk, lv_code_block_code(block), (lv_code_block_size(block) - sizeof(lv_code_block)) / 4,
           static_cast<uint64_t>(wk->delta_words) * 4, 0, false};
  r.x_shift = 8 * (static_cast<int64_t>(lv_archmask_x0_index(wk->own_mask)) -
                   static_cast<int64_t>(lv_archmask_x0_index(wk->file_mask)));
  unsigned file_shift = lv_archmask_opcode_shift(wk->file_mask);
  for (uint64_t p = 0; p < r.words;) {
    r.swap32(p);
    uint32_t word = r.code[p];
    if (word == LV_INTERNAL_HEADER_WORD) {
      if (!rebuild_header(r, &p)) return false;
      r.passed_header = true;
      continue;
    }
    uint32_t n = word >> file_shift;
    if ((word & ((1u << file_shift) - 1)) != 0 || n >= LV_INSN_COUNT)
      return r.fail(p, "opcode word %" PRIu32 " names no instruction", word);
    if (lv_insn_refused_when_loaded(n) || lv_instruction_format_table[n] == FORMAT_NATIVE)
      return r.fail(p, "%s cannot be restored", lv_instruction_name_table[n]);
    r.code[p] = lv_opcode(static_cast<lv_insn>(n));
    uint64_t length = 0;
    if (!swap_operands(r, p, &length) || !relocate_operands(r, p)) return false;
    p += length;
  }
  return lv_state_check_code(block, wk->message, wk->message_size);
}

bool lv_walk_clause_code(lv_code_block* block, lv_walk_callback callback, void* arg, char* message, size_t size) {
  uint32_t* code = lv_code_block_code(block);
  const uint32_t* end = lv_code_block_limit(block);
  auto inside = [&](uint64_t v) {
    return v >= reinterpret_cast<uint64_t>(code) && v < reinterpret_cast<uint64_t>(end);
  };
  for (uint32_t* p = code; p < end;) {
    uint64_t length = lv_insn_length_within(p, end);
    if (length == 0) {
      std::snprintf(message, size, "a block whose code does not decode");
      return false;
    }
    if (p[0] != LV_INTERNAL_HEADER_WORD) {
      lv_decoded_insn d;
      lv_insn_decode(p, &d);
      if (lv_insn_refused_when_loaded(d.number)) {
        std::snprintf(message, size, "its code holds %s", lv_instruction_name_table[d.number]);
        return false;
      }
      for (unsigned i = 0; i < d.operand_count; i++) {
        const lv_operand& o = d.operands[i];
        uint64_t v = o.value;
        int kind = 0;
        if ((o.kind == 'C' || o.kind == 'F') && lv_state_is_atom_word(v)) kind = LV_WALK_ATOM;
        if (o.kind == 'P' && !inside(v)) kind = LV_WALK_PRED;
        if (o.kind == 'A' && !inside(v)) kind = LV_WALK_ADDRESS;
        if (kind != 0 && !callback(kind, o.kind, &v, arg)) return false;
      }
    }
    p += length;
  }
  return true;
}
