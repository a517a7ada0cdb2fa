// Code tokens of quick-load blocks, fix-up chains, and the checks every
// block passes before it is used.
//
// Tokens (a NUL byte ends the block; words are written from the code start):
//   '0'-'9' digits  a 32-bit word (the token byte is the first digit)
//   'O' n           the opcode word 2n; the instruction becomes the current
//                   one. A Q form's alignment word is written by the reader
//                   right after its opcode: a writer never writes it.
//   'X' n           an argument register operand, 320 + 8n (n < 256)
//   'Y' n           a permanent variable with two mode bits,
//                   (n & 3) + 8 x ((n >> 2) + 2)
//   '+' n           a 64-bit integer
//   'R' n           the 64-bit address code start + 2n
//   'e' / 'f'       the address of the shared else-fail / fail code
//   'F' text        an inline float box, then NOP 1: 6 words
//   'L' digits      an inline integer box: 2 x (1 + value words) words, the
//                   value words the fewest two's-complement limbs that hold
//                   the value; one that fits a small integer becomes the
//                   constant form of its instruction (large_insn_offset)
//   'T' off n form  at code start + 2 x off: form 1 an internal entry
//                   header (32 bytes), form 0 an inline try record
// The 64-bit tokens and the box tokens align themselves: at a word that is
// 4 mod 8 bytes from the code start (which is 8-aligned) they first write a
// zero word. A box token must stand exactly at the box operand of the
// current instruction. 'T' tokens stand at 8-byte boundaries.
//
// Internal predicates: a form-1 header's target is its clause's code right
// after the header (one clause), or the TRY word of the first of the try
// records that follow the header (several clauses). A form-0 record links
// itself from the record before it; the first record after a header leaves
// the header as it is. Records are written only after a header or another
// record; form 2 is not used in files.
//
// The checks: after the tokens, the block is walked as a sequence of
// instructions and internal entry headers with their records. Every opcode
// must be an even word naming an instruction that compiled code may hold
// (not the foreign-call family, native code, the fixed stubs' instructions
// or a bare TRY), every operand must lie inside the block and have been
// written by the token of its kind, 64-bit operands on 8-byte boundaries.
// When the block stops being current (the next 'K' or the end of its term)
// the operand values are checked: registers in range, the counts, spilled
// registers, heap checks and frame sizes that the emulator trusts within the
// engine's bounds (store/code_bounds.h), constants atomic,
// functors functor words, predicate operands patched by 'N' (or an address
// of an internal entry header of the block), failure continuations a shared
// fail code or an instruction of the block.
#include <cinttypes>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "core/memory.h"
#include "core/predefined_atoms.h"
#include "machine/bignum.h"
#include "machine/insn_walk.h"
#include "store/code_bounds.h"
#include "store/qload.h"
#include "store/qload_internal.h"
#include "store/static_code.h"
#include "store/try_record.h"

namespace {

constexpr uint32_t QLINFO_FLAGS = lv_mem_flags(LV_CAT_QLINFO);

const char* const tag_names[] = {"32-bit word", "alignment word", "64-bit integer", "code address",
                                 "fail code", "fix-up constant", "predicate", "box", "entry header",
                                 "try record", "part of a 64-bit operand"};

uint8_t kind(const ql_reader& r, uint64_t i) { return r.tags[i] & QL_KIND; }
bool code_point(const ql_reader& r, uint64_t i) { return (r.tags[i] & QL_CODE_POINT) != 0; }

bool room(ql_reader& r, uint64_t at, uint64_t words) {
  if (at + words <= r.words) return true;
  return ql_fail(r, "$qload: code tokens overrun the block (%" PRIu64 " words)", r.words);
}

void tag(ql_reader& r, uint64_t at, uint8_t first, uint64_t words) {
  r.tags[at] = first;
  for (uint64_t i = 1; i < words; i++) r.tags[at + i] = QL_HIGH;
}

bool align(ql_reader& r, uint64_t* at) {
  if (*at % 2 == 0) return true;
  if (!room(r, *at, 1)) return false;
  r.code[*at] = 0;
  r.tags[(*at)++] = QL_PAD;
  return true;
}

// Words from the opcode to the box operand, or 0 for an instruction without.
uint64_t box_operand_offset(uint32_t n) {
  const char* k = lv_format_operands[lv_instruction_format_table[n]];
  uint64_t at = 1;
  for (; *k != '\0' && *k != 'B'; k++) at++;
  return *k == 'B' ? at : 0;
}

// The constant form of an instruction with a box operand; raw is set for
// the forms that take the untagged integer.
lv_insn constant_form(uint32_t n, bool* raw) {
  *raw = false;
  switch (n) {
    case LV_OP_GET_LARGEQ: return LV_OP_GET_CONSTANTQ;
    case LV_OP_GET_LARGE: return LV_OP_GET_CONSTANT;
    case LV_OP_GET_LARGE_X0Q: return LV_OP_GET_CONSTANT_X0Q;
    case LV_OP_GET_LARGE_X0: return LV_OP_GET_CONSTANT_X0;
    case LV_OP_PUT_LARGEQ: return LV_OP_PUT_CONSTANTQ;
    case LV_OP_PUT_LARGE: return LV_OP_PUT_CONSTANT;
    case LV_OP_UNIFY_LARGEQ: return LV_OP_UNIFY_CONSTANTQ;
    case LV_OP_UNIFY_LARGE: return LV_OP_UNIFY_CONSTANT;
    default: break;
  }
  *raw = true;
  switch (n) {
    case LV_OP_FIRST_LARGEQ: return LV_OP_FIRST_CONSTANTQ;
    case LV_OP_FIRST_LARGE: return LV_OP_FIRST_CONSTANT;
    case LV_OP_LATER_LARGEQ: return LV_OP_LATER_CONSTANTQ;
    case LV_OP_LATER_LARGE: return LV_OP_LATER_CONSTANT;
    case LV_OP_STORE_LARGEQ: return LV_OP_STORE_CONSTANTQ;
    case LV_OP_STORE_LARGE: return LV_OP_STORE_CONSTANT;
    default: return static_cast<lv_insn>(n);
  }
}

// A code address of the block from an offset in 2-byte units.
bool code_offset(ql_reader& r, int64_t offset, uint64_t* word, const char* what) {
  if (offset < 0 || offset % 2 != 0 || static_cast<uint64_t>(offset) / 2 >= r.words)
    return ql_fail(r, "$qload: %s offset %lld is not a word of the block", what, static_cast<long long>(offset));
  *word = static_cast<uint64_t>(offset) / 2;
  return true;
}

// A box token: the box operand of the current instruction, reserved space
// written, then large_insn_offset.
bool write_box(ql_reader& r, uint64_t* at, const lv_term* box) {
  if (!align(r, at)) return false;
  uint64_t values = lv_box_value_words(box[0]);
  uint64_t reserved = lv_box_is_float(box[0]) ? 6 : 2 * (1 + values);
  uint64_t expected = r.have_insn ? box_operand_offset(r.code[r.insn] >> 1) : 0;
  if (expected == 0 || r.insn + expected != *at)
    return ql_fail(r, "$qload: a box token outside the box operand of its instruction");
  if (!room(r, *at, reserved)) return false;
  for (uint64_t i = 0; i <= values; i++) lv_code_write64(&r.code[*at + 2 * i], box[i]);
  uint32_t opcode = r.code[r.insn];
  large_insn_offset(&r.code[*at], &r.code[r.insn]);
  if (lv_box_is_float(box[0])) {
    tag(r, *at, QL_BOX, 4);
    r.tags[*at + 4] = r.tags[*at + 5] = QL_WORD;
  } else if (r.code[r.insn] != opcode) {
    tag(r, *at, QL_RAW, 2);
    r.tags[*at + 2] = r.tags[*at + 3] = QL_WORD;
    for (uint64_t i = 4; i < reserved; i++) r.tags[*at + i] = QL_PAD;
  } else {
    tag(r, *at, QL_BOX, reserved);
  }
  *at += reserved;
  return true;
}

bool integer_box(ql_reader& r, uint64_t* at) {
  if (!ql_text(r, QL_MAX_DIGITS + 1, "an 'L' token")) return false;
  if (!ql_integer_text(r.text, r.text_length)) return ql_fail(r, "$qload: \"%.40s\" is not a decimal integer", r.text);
  // About 3.33 bits a digit; the conversion asks for more when short.
  uint64_t size = r.text_length / 19 + 8;
  for (int attempt = 0; attempt < 2; attempt++) {
    auto* box = static_cast<lv_term*>(lv_mem_alloc(size * sizeof(lv_term), QLINFO_FLAGS));
    int32_t status = lv_bignum_from_text(r.text, box, box + size, 10, 0);
    if (status == 0) {
      bool ok = write_box(r, at, box);
      lv_mem_free(box, size * sizeof(lv_term), QLINFO_FLAGS);
      return ok;
    }
    lv_mem_free(box, size * sizeof(lv_term), QLINFO_FLAGS);
    if (status < 0) break;
    size = static_cast<uint64_t>(status);
  }
  return ql_fail(r, "$qload: integer too large");
}

bool read_token(ql_reader& r, int c, uint64_t* at) {
  int64_t n = 0, arity = 0, form = 0;
  switch (c) {
    case 'O': {
      if (!ql_number(r, &n, "an 'O' token")) return false;
      if (n < 0 || n >= static_cast<int64_t>(LV_INSN_COUNT))
        return ql_fail(r, "$qload: instruction number %lld out of range", static_cast<long long>(n));
      bool q = lv_format_operands[lv_instruction_format_table[n]][0] == 'p';
      if (!room(r, *at, q ? 2 : 1)) return false;
      r.insn = *at;
      r.have_insn = true;
      r.code[(*at)++] = lv_opcode(static_cast<lv_insn>(n));
      if (q) {
        r.code[*at] = 0;
        r.tags[(*at)++] = QL_PAD;
      }
      return true;
    }
    case 'X':
      if (!ql_number(r, &n, "an 'X' token")) return false;
      if (n < 0 || n >= static_cast<int64_t>(LV_X_REGISTERS))
        return ql_fail(r, "$qload: argument register %lld out of range", static_cast<long long>(n));
      if (!room(r, *at, 1)) return false;
      r.code[(*at)++] = lv_x_operand(static_cast<unsigned>(n));
      return true;
    case 'Y':
      if (!ql_number(r, &n, "a 'Y' token")) return false;
      if (n < 0 || static_cast<uint64_t>(n >> 2) >= LV_CODE_MAX_Y)
        return ql_fail(r, "$qload: permanent variable %lld out of range", static_cast<long long>(n >> 2));
      if (!room(r, *at, 1)) return false;
      r.code[(*at)++] = static_cast<uint32_t>((n & 3) + 8 * ((n >> 2) + 2));
      return true;
    case '+':
    case 'R':
    case 'e':
    case 'f': {
      uint64_t value = 0;
      uint8_t t = QL_RAW;
      if (c == '+') {
        if (!ql_number(r, &n, "a '+' token")) return false;
        value = static_cast<uint64_t>(n);
      } else if (c == 'R') {
        uint64_t word = 0;
        if (!ql_number(r, &n, "an 'R' token") || !code_offset(r, n, &word, "an 'R' token")) return false;
        value = reinterpret_cast<uint64_t>(&r.code[word]);
        t = QL_ADDRESS;
      } else {
        value = reinterpret_cast<uint64_t>(c == 'e' ? lv_else_fail_code : lv_fail_code);
        t = QL_FAIL;
      }
      if (!align(r, at) || !room(r, *at, 2)) return false;
      lv_code_write64(&r.code[*at], value);
      tag(r, *at, t, 2);
      *at += 2;
      return true;
    }
    case 'T': {
      uint64_t target = 0;
      if (!ql_number(r, &n, "a 'T' token") || !ql_number(r, &arity, "a 'T' token") ||
          !ql_number(r, &form, "a 'T' token") || !code_offset(r, n, &target, "a 'T' token"))
        return false;
      if (arity < 0 || arity > 255) return ql_fail(r, "$qload: arity %lld out of range", static_cast<long long>(arity));
      if (form != 0 && form != 1) return ql_fail(r, "$qload: 'T' form %lld is not used in files", static_cast<long long>(form));
      if (*at % 2 != 0) return ql_fail(r, "$qload: a 'T' token not on an 8-byte boundary");
      if (!room(r, *at, 8)) return false;
      if (form == 0 && (*at < 8 || (kind(r, *at - 8) != QL_HEADER && kind(r, *at - 8) != QL_RECORD)))
        return ql_fail(r, "$qload: a try record that follows neither an entry header nor a try record");
      lv_code_write_entry_header(&r.code[*at], &r.code[target], static_cast<unsigned>(arity), static_cast<int>(form));
      tag(r, *at, form == 1 ? QL_HEADER : QL_RECORD, 8);
      *at += 8;
      return true;
    }
    case 'F': {
      double d = 0;
      if (!ql_text(r, QL_MAX_FLOAT_TEXT, "an 'F' token") || !ql_float_text(r, &d)) return false;
      lv_term box[2] = {LV_BOX_FLOAT, lv_canonical_float_bits(d)};
      return write_box(r, at, box);
    }
    case 'L':
      return integer_box(r, at);
    default:
      if (c >= '0' && c <= '9') {
        if (!ql_text(r, 16, "a code word")) return false;
        uint64_t value = static_cast<uint64_t>(c - '0');
        for (const char* p = r.text; *p != '\0'; p++) {
          if (*p < '0' || *p > '9') return ql_fail(r, "$qload: a code word with a character that is no digit");
          value = 10 * value + static_cast<uint64_t>(*p - '0');
          if (value > UINT32_MAX) return ql_fail(r, "$qload: a code word out of range");
        }
        if (!room(r, *at, 1)) return false;
        r.code[(*at)++] = static_cast<uint32_t>(value);
        return true;
      }
      return ql_fail(r, "$qload: invalid bytecode token %d", c);
  }
}

// ---- The structure check ----------------------------------------------------

bool at_word(ql_reader& r, uint64_t i, const char* format, ...) __attribute__((format(printf, 3, 4)));
bool at_word(ql_reader& r, uint64_t i, const char* format, ...) {
  char what[512];
  va_list args;
  va_start(args, format);
  std::vsnprintf(what, sizeof what, format, args);
  va_end(args);
  return ql_fail(r, "$qload: %s at code word %" PRIu64 " of the block", what, i);
}

bool check_header(ql_reader& r, uint64_t* p) {
  uint64_t h = *p;
  const auto* header = reinterpret_cast<const lv_internal_entry*>(&r.code[h]);
  r.tags[h] |= QL_CODE_POINT;
  if (header->first_entry == &r.code[h + 8]) {
    *p = h + 8;
    if (h + 8 >= r.words || kind(r, h + 8) != QL_WORD) return at_word(r, h, "an entry header without its clause");
    return true;
  }
  uint64_t q = h + 8;
  if (header->first_entry != &r.code[q + 7] || q >= r.words || kind(r, q) != QL_RECORD)
    return at_word(r, h, "an entry header whose target is neither its clause nor its first try record");
  for (;;) {
    const auto* record = reinterpret_cast<const lv_try_record*>(&r.code[q]);
    r.tags[q + 7] |= QL_CODE_POINT;
    if (record->next == nullptr) break;
    if (record->next != reinterpret_cast<const lv_try_record*>(&r.code[q + 8]) || q + 8 >= r.words ||
        kind(r, q + 8) != QL_RECORD)
      return at_word(r, q, "a try record not linked to the record after it");
    q += 8;
  }
  *p = q + 8;
  return true;
}

bool need(ql_reader& r, uint64_t p, uint64_t q, uint64_t words, const char* name) {
  if (q + words <= r.words) return true;
  return at_word(r, p, "%s runs past the end of the block", name);
}

bool check_instruction(ql_reader& r, uint64_t* p) {
  uint64_t at = *p;
  uint32_t word = r.code[at];
  if ((word & 1) != 0) return at_word(r, at, "odd opcode word %" PRIu32, word);
  if (!lv_opcode_valid(word)) return at_word(r, at, "opcode word %" PRIu32 " out of range", word);
  uint32_t n = word >> 1;
  const char* name = lv_instruction_name_table[n];
  if (lv_insn_refused_when_loaded(n)) return at_word(r, at, "%s cannot be loaded", name);
  int32_t format = lv_instruction_format_table[n];
  uint64_t q = at + 1;
  for (const char* k = lv_format_operands[format]; *k != '\0'; k++) {
    switch (*k) {
      case 'p':
        if (!need(r, at, q, 1, name)) return false;
        if (kind(r, q) != QL_PAD) return at_word(r, at, "%s without its alignment word", name);
        q++;
        break;
      case 'B': {
        if (!need(r, at, q, 2, name)) return false;
        if (kind(r, q) != QL_BOX) return at_word(r, at, "the box operand of %s is not a box token", name);
        q += 2 * (lv_box_value_words(lv_code_read64(&r.code[q])) + 1);
        break;
      }
      case 'R': {
        if (!need(r, at, q, 1, name) || kind(r, q) != QL_WORD) return at_word(r, at, "a malformed register list of %s", name);
        uint64_t m = r.code[q] >> 8;
        if (!need(r, at, q, 1 + m, name)) return false;
        for (uint64_t i = 1; i <= m; i++)
          if (kind(r, q + i) != QL_WORD) return at_word(r, at, "a malformed register list of %s", name);
        q += 1 + m;
        break;
      }
      case 'G': {
        if (!need(r, at, q, 1, name) || kind(r, q) != QL_WORD) return at_word(r, at, "a malformed register list of %s", name);
        uint64_t m = r.code[q];
        if (!need(r, at, q, 1 + 2 * m, name)) return false;
        for (uint64_t i = 1; i <= 2 * m; i++)
          if (kind(r, q + i) != QL_WORD) return at_word(r, at, "a malformed register list of %s", name);
        q += 1 + 2 * m;
        break;
      }
      default:
        if (lv_operand_is_wide(*k)) {
          if (!need(r, at, q, 2, name)) return false;
          uint8_t t = kind(r, q);
          if (q % 2 != 0 || t < QL_RAW || t > QL_PRED || kind(r, q + 1) != QL_HIGH)
            return at_word(r, at, "operand %c of %s is not a 64-bit token on an 8-byte boundary (%s)", *k, name,
                           tag_names[t]);
          q += 2;
        } else {
          if (!need(r, at, q, 1, name)) return false;
          if (kind(r, q) != QL_WORD) return at_word(r, at, "operand %c of %s is not a 32-bit token (%s)", *k, name, tag_names[kind(r, q)]);
          q++;
        }
        break;
    }
  }
  if (format == 72) {
    uint64_t skip = r.code[at + 1];
    if (skip == 0 || !need(r, at, at + 1, skip, name)) return at_word(r, at, "a NOP whose skip leaves the block");
    q = at + 1 + skip;
  }
  r.tags[at] |= QL_CODE_POINT;
  *p = q;
  return true;
}

bool check_structure(ql_reader& r) {
  for (uint64_t p = 0; p < r.words;) {
    uint8_t t = kind(r, p);
    if (t == QL_HEADER) {
      if (!check_header(r, &p)) return false;
    } else if (t == QL_WORD) {
      if (!check_instruction(r, &p)) return false;
    } else {
      return at_word(r, p, "a %s where an instruction should start", tag_names[t]);
    }
  }
  return true;
}

// ---- The operand check --------------------------------------------------------

bool stable_atom(lv_term a) { return lv_atom_index(lv_functor_atom(a)) < LV_PREDEFINED_ATOM_COUNT; }

// The word index of an address inside the block, or words when outside.
uint64_t word_of(const ql_reader& r, uint64_t address) {
  uint64_t start = reinterpret_cast<uint64_t>(r.code);
  if (address < start || address >= start + 4 * r.words || (address - start) % 4 != 0) return r.words;
  return (address - start) / 4;
}

// An instruction of the block: a failure continuation may also be the TRY
// word of a try record.
bool instruction_at(const ql_reader& r, uint64_t address, bool record_too) {
  uint64_t i = word_of(r, address);
  if (i >= r.words || !code_point(r, i)) return false;
  return kind(r, i) == QL_WORD || (record_too && kind(r, i) == QL_HIGH);
}

bool check_operand(ql_reader& r, uint64_t at, lv_insn insn, const lv_operand& o) {
  const char* name = lv_instruction_name_table[insn];
  uint8_t t = o.at != nullptr ? kind(r, static_cast<uint64_t>(o.at - r.code)) : uint8_t{QL_WORD};
  int64_t low = 0, high = 0;
  const char* what = nullptr;
  if ((o.kind == 'N' || o.kind == 'I') && lv_code_operand_bounds(insn, o.kind, r.words, &low, &high, &what)) {
    int64_t v = static_cast<int64_t>(o.value);
    if (o.kind == 'I' && t != QL_RAW) return at_word(r, at, "the %s of %s is not an integer", what, name);
    if (v < low || v > high)
      return at_word(r, at, "%s %lld of %s out of range (%lld to %lld)", what, static_cast<long long>(v), name,
                     static_cast<long long>(low), static_cast<long long>(high));
    return true;
  }
  switch (o.kind) {
    case 'X':
      return lv_code_x_valid(o.value) || at_word(r, at, "argument register operand %" PRIu64 " of %s out of range", o.value, name);
    case 'Y':
      return lv_code_y_valid(o.value) || at_word(r, at, "permanent variable operand %" PRIu64 " of %s out of range", o.value, name);
    case 'S':
      return lv_code_frame_valid(o.value) ||
             at_word(r, at, "environment size operand %" PRIu64 " of %s out of range", o.value, name);
    case 'C':
      if ((t == QL_CONSTANT || t == QL_RAW) && (lv_is_small(o.value) || (lv_is_atom(o.value) && lv_functor_arity(o.value) == 0 &&
                                                                        (t == QL_CONSTANT || stable_atom(o.value)))))
        return true;
      return at_word(r, at, "the constant of %s is not an atomic term", name);
    case 'F':
      if ((t == QL_CONSTANT || t == QL_RAW) && lv_is_functor_word(o.value) && (t == QL_CONSTANT || stable_atom(o.value)))
        return true;
      return at_word(r, at, "the functor of %s is not a functor word", name);
    case 'P':
      if (t == QL_PRED) return true;
      if (t == QL_ADDRESS) {
        uint64_t i = word_of(r, o.value);
        if (i < r.words && kind(r, i) == QL_HEADER) return true;
      }
      return at_word(r, at, "the predicate of %s is neither a fixed-up predicate nor an entry header", name);
    case 'L':
      if (t == QL_FAIL || (t == QL_ADDRESS && instruction_at(r, o.value, true))) return true;
      return at_word(r, at, "the failure continuation of %s is neither a fail code nor an instruction of the block", name);
    case 'I':
      if (t == QL_RAW || t == QL_CONSTANT) return true;
      return at_word(r, at, "the immediate of %s is not an integer", name);
    case 'R':
      return lv_code_register_list_valid(o) || at_word(r, at, "a register list entry of %s out of range", name);
    case 'G':
      return lv_code_register_list_valid(o) || at_word(r, at, "a register save list entry of %s out of range", name);
    default:
      return true;
  }
}

}  // namespace

int large_insn_offset(uint32_t* position, uint32_t* instruction) {
  lv_term header = lv_code_read64(position);
  uint64_t values = lv_box_value_words(header);
  if (lv_box_is_float(header)) {
    position[4] = lv_opcode(LV_OP_NOP);
    position[5] = 1;
    return 6;
  }
  int reserved = static_cast<int>(2 * (1 + values));
  if (values == 1) {
    int64_t v = static_cast<int64_t>(lv_code_read64(position + 2));
    bool raw = false;
    lv_insn n = constant_form(instruction[0] >> 1, &raw);
    if (lv_fits_small(v) && lv_opcode(n) != instruction[0]) {
      instruction[0] = lv_opcode(n);
      lv_code_write64(position, raw ? static_cast<uint64_t>(v) : lv_make_small(v));
      // The words left become a NOP that skips to the end of the space.
      position[2] = lv_opcode(LV_OP_NOP);
      position[3] = static_cast<uint32_t>(reserved - 3);
    }
  }
  return reserved;
}

bool ql_read_code(ql_reader& r) {
  uint64_t at = 0;
  for (;;) {
    r.at = r.offset;
    bool error = false;
    int c = ql_byte(r, &error);
    if (c < 0) return error ? false : ql_fail(r, "$qload: the file ends inside a code block");
    if (c == 0) break;
    if (!read_token(r, c, &at)) return false;
  }
  return check_structure(r);
}

bool ql_finish_block(ql_reader& r) {
  for (uint64_t p = 0; p < r.words;) {
    if (kind(r, p) == QL_HEADER) {
      const auto* header = reinterpret_cast<const lv_internal_entry*>(&r.code[p]);
      if (header->first_entry == &r.code[p + 8]) {
        p += 8;
        continue;
      }
      for (p += 8;; p += 8) {
        const auto* record = reinterpret_cast<const lv_try_record*>(&r.code[p]);
        if (!instruction_at(r, reinterpret_cast<uint64_t>(record->target), false))
          return at_word(r, p, "a try record whose target is not an instruction of the block");
        if (record->next == nullptr) break;
      }
      p += 8;
      continue;
    }
    lv_decoded_insn d;
    lv_insn_decode(&r.code[p], &d);
    for (unsigned i = 0; i < d.operand_count; i++)
      if (!check_operand(r, p, d.number, d.operands[i])) return false;
    p += d.length;
  }
  lv_mem_free(r.tags, r.words, QLINFO_FLAGS);
  r.tags = nullptr;
  r.block = nullptr;
  return true;
}

bool ql_fixup(ql_reader& r, int64_t offset, uint64_t value, uint8_t patched) {
  if (offset <= 0) return ql_fail(r, "$qload: a fix-up chain that starts at offset %lld", static_cast<long long>(offset));
  // Every link is a '+' word not yet patched, so a chain cannot run forever.
  for (;;) {
    if (offset % 4 != 0 || static_cast<uint64_t>(offset) / 2 + 2 > r.words)
      return ql_fail(r, "$qload: fix-up link at offset %lld is outside the block or not on an 8-byte boundary",
                     static_cast<long long>(offset));
    uint64_t i = static_cast<uint64_t>(offset) / 2;
    uint8_t t = kind(r, i);
    if (t == QL_CONSTANT || t == QL_PRED)
      return ql_fail(r, "$qload: fix-up chain meets offset %lld a second time (a cycle)", static_cast<long long>(offset));
    if (t != QL_RAW) return ql_fail(r, "$qload: fix-up link at offset %lld is not a '+' word", static_cast<long long>(offset));
    offset = static_cast<int64_t>(lv_code_read64(&r.code[i]));
    lv_code_write64(&r.code[i], value);
    r.tags[i] = patched;
    if (offset == 0) return true;
  }
}
