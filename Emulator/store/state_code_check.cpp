// The check of code blocks restored from saved states.
#include "store/state_code_check.h"

#include <cinttypes>
#include <cstdarg>
#include <cstdio>

#include "core/memory.h"
#include "machine/insn_walk.h"
#include "store/code_bounds.h"
#include "store/state_format.h"
#include "store/static_code.h"
#include "store/try_record.h"

namespace {

constexpr uint32_t CHECK_FLAGS = lv_mem_flags(LV_CAT_MISC);

// What each code word is.
enum : uint8_t { OTHER = 0, INSTRUCTION = 1, HEADER = 2, RECORD_TRY = 3 };

struct checker {
  const uint32_t* code;
  uint64_t words;
  uint8_t* marks;
  char* message;
  size_t size;

  bool fail(uint64_t at, const char* format, ...) __attribute__((format(printf, 3, 4))) {
    va_list args;
    va_start(args, format);
    lv_code_vrefuse(message, size, at, format, args);
    va_end(args);
    return false;
  }

  // The word index of a code address, or words when it is not a word of
  // the block.
  uint64_t index_of(uint64_t address) const {
    auto start = reinterpret_cast<uint64_t>(code);
    if (address < start || address >= start + 4 * words || (address - start) % 4 != 0) return words;
    return (address - start) / 4;
  }

  bool is(uint64_t address, uint8_t mark) const {
    uint64_t i = index_of(address);
    return i < words && marks[i] == mark;
  }
};

bool check_header(checker& c, uint64_t* at) {
  uint64_t h = *at;
  if (h % 2 != 0 || c.words - h < 8) return c.fail(h, "a misplaced internal entry header");
  const auto* header = reinterpret_cast<const lv_internal_entry*>(c.code + h);
  c.marks[h] = HEADER;
  if (header->first_entry == c.code + h + 8) {
    if (h + 8 >= c.words) return c.fail(h, "an internal entry header without its clause");
    *at = h + 8;
    return true;
  }
  uint64_t q = h + 8;
  if (header->first_entry != c.code + q + 7) return c.fail(h, "an internal entry header aimed elsewhere");
  for (;;) {
    if (c.words - q < 8) return c.fail(q, "a try record past the end of the block");
    const auto* r = reinterpret_cast<const lv_try_record*>(c.code + q);
    if (r->insn != lv_opcode(LV_OP_TRY) || r->cp_size != 48 + 8 * ((header->arity + 1) & ~1u))
      return c.fail(q, "a malformed try record");
    c.marks[q + 7] = RECORD_TRY;
    if (r->next == nullptr) break;
    if (r->next != reinterpret_cast<const lv_try_record*>(c.code + q + 8))
      return c.fail(q, "a try record not linked to the record after it");
    q += 8;
  }
  *at = q + 8;
  return true;
}

bool check_structure(checker& c) {
  for (uint64_t p = 0; p < c.words;) {
    if (c.code[p] == LV_INTERNAL_HEADER_WORD) {
      if (!check_header(c, &p)) return false;
      continue;
    }
    uint32_t word = c.code[p];
    if (!lv_opcode_valid(word)) return c.fail(p, "opcode word %" PRIu32 " names no instruction", word);
    if (lv_insn_refused_when_loaded(word >> 1))
      return c.fail(p, "%s cannot be restored", lv_instruction_name_table[word >> 1]);
    uint64_t length = lv_insn_length_within(c.code + p, c.code + c.words);
    if (length == 0) return c.fail(p, "%s runs past the end of the block", lv_instruction_name_table[word >> 1]);
    c.marks[p] = INSTRUCTION;
    p += length;
  }
  return true;
}

bool check_operand(checker& c, uint64_t at, const lv_decoded_insn& d, const lv_operand& o) {
  const char* name = lv_instruction_name_table[d.number];
  int64_t low = 0, high = 0;
  const char* what = nullptr;
  if ((o.kind == 'N' || o.kind == 'I') && lv_code_operand_bounds(d.number, o.kind, c.words, &low, &high, &what)) {
    auto v = static_cast<int64_t>(o.value);
    if (v < low || v > high) return c.fail(at, "%s %" PRId64 " of %s out of range", what, v, name);
    return true;
  }
  if (o.kind != 'N' && o.kind != 'I' && o.kind != 'X' && o.kind != 'Y' && o.kind != 'S' && o.kind != 'R' &&
      o.kind != 'G' && (o.at - c.code) % 2 != 0)
    return c.fail(at, "operand %c of %s is not on an 8-byte boundary", o.kind, name);
  switch (o.kind) {
    case 'X':
      return lv_code_x_valid(o.value) || c.fail(at, "argument register operand of %s out of range", name);
    case 'Y':
      return lv_code_y_valid(o.value) || c.fail(at, "permanent variable operand of %s out of range", name);
    case 'S':
      return lv_code_frame_valid(o.value) || c.fail(at, "environment size operand of %s out of range", name);
    case 'R':
    case 'G':
      return lv_code_register_list_valid(o) || c.fail(at, "a register list entry of %s out of range", name);
    case 'C':
      if (lv_is_small(o.value) || (lv_state_is_atom_word(o.value) && lv_functor_arity(o.value) == 0)) return true;
      return c.fail(at, "the constant of %s is not an atomic term", name);
    case 'F':
      return lv_is_functor_word(o.value) || c.fail(at, "the functor of %s is not a functor word", name);
    case 'P':
      if (o.value < reinterpret_cast<uint64_t>(c.code) || o.value >= reinterpret_cast<uint64_t>(c.code + c.words))
        return true;  // a predicate record (relocated)
      return c.is(o.value, HEADER) || c.fail(at, "the predicate of %s is no internal entry header", name);
    case 'L':
      if (o.value == reinterpret_cast<uint64_t>(lv_fail_code) || o.value == reinterpret_cast<uint64_t>(lv_else_fail_code) ||
          c.is(o.value, INSTRUCTION) || c.is(o.value, RECORD_TRY))
        return true;
      return c.fail(at, "the failure continuation of %s is neither a fail code nor an instruction of the block", name);
    case 'B':
      return lv_state_box_valid(reinterpret_cast<const uint64_t*>(o.at), o.count + 1) ||
             c.fail(at, "the box of %s is malformed", name);
    case 'A':
      return c.fail(at, "%s holds a C address", name);
    default:
      return true;
  }
}

bool check_operands(checker& c) {
  for (uint64_t p = 0; p < c.words;) {
    if (c.marks[p] == HEADER) {
      const auto* header = reinterpret_cast<const lv_internal_entry*>(c.code + p);
      if (header->first_entry == c.code + p + 8) {
        if (c.marks[p + 8] != INSTRUCTION) return c.fail(p, "an internal entry header without its clause");
        p += 8;
        continue;
      }
      for (p += 8;; p += 8) {
        const auto* r = reinterpret_cast<const lv_try_record*>(c.code + p);
        if (!c.is(reinterpret_cast<uint64_t>(r->target), INSTRUCTION))
          return c.fail(p, "a try record whose target is not an instruction of the block");
        if (r->next == nullptr) break;
      }
      p += 8;
      continue;
    }
    lv_decoded_insn d;
    lv_insn_decode(c.code + p, &d);
    for (unsigned i = 0; i < d.operand_count; i++)
      if (!check_operand(c, p, d, d.operands[i])) return false;
    p += d.length;
  }
  return true;
}

}  // namespace

bool lv_state_box_valid(const uint64_t* box, uint64_t words) {
  if (words < 2) return false;
  uint64_t header = box[0];
  if ((header & 7) != 7 || static_cast<int64_t>(header) >= 0 || header == LV_ATTVAR_MARKER) return false;
  uint64_t values = lv_box_value_words(header);
  if (values == 0 || values + 1 != words) return false;
  if (lv_box_is_float(header)) {
    // One NaN and no negative zero, as every float of the runtime.
    uint64_t bits = box[1];
    bool nan = (bits & 0x7ff0000000000000) == 0x7ff0000000000000 && (bits & 0x000fffffffffffff) != 0;
    return values == 1 && (header & 15) == 15 && bits != 0x8000000000000000 && (!nan || bits == LV_CANONICAL_NAN);
  }
  if ((header & 15) != 7) return false;
  auto top = static_cast<int64_t>(box[values]);
  if (values == 1) return !lv_fits_small(top);
  bool below_negative = static_cast<int64_t>(box[values - 1]) < 0;
  return !((top == 0 && !below_negative) || (top == -1 && below_negative));
}

bool lv_state_check_code(lv_code_block* block, char* message, size_t size) {
  checker c{lv_code_block_code(block), (lv_code_block_size(block) - sizeof(lv_code_block)) / 4, nullptr, message, size};
  if (c.words == 0) {
    std::snprintf(message, size, "a code block without code");
    return false;
  }
  c.marks = static_cast<uint8_t*>(lv_mem_alloc(c.words, CHECK_FLAGS));
  for (uint64_t i = 0; i < c.words; i++) c.marks[i] = OTHER;
  bool ok = check_structure(c) && check_operands(c);
  lv_mem_free(c.marks, c.words, CHECK_FLAGS);
  return ok;
}
