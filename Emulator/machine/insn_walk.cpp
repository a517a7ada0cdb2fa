// Stepping over and decoding instructions.
#include "machine/insn_walk.h"

#include <cinttypes>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "core/term.h"
#include "store/static_code.h"
#include "text/float_text.h"

namespace {

// 64-bit words of an inline box: its header and value words.
uint64_t box_words(uint64_t header) { return static_cast<uint64_t>(LargeArity_checked(header)); }

// Words of one operand at p.
uint64_t operand_words(char kind, const uint32_t* p) {
  switch (kind) {
    case 'B': return 2 * box_words(lv_code_read64(p));
    case 'R': return 1 + (p[0] >> 8);
    case 'G': return 1 + 2 * uint64_t{p[0]};
    default: return lv_operand_is_wide(kind) ? 2 : 1;
  }
}

const uint32_t* step_internal_header(const uint32_t* p) {
  const lv_internal_entry* h = reinterpret_cast<const lv_internal_entry*>(p);
  if (h->first_entry == p + 8) return p + 8;
  const lv_clause_entry* e = reinterpret_cast<const lv_clause_entry*>(p + 8);
  while (e->link != nullptr) e++;
  return reinterpret_cast<const uint32_t*>(e + 1);
}

int classify(uint32_t number) {
  int32_t flow = lv_instruction_class_table[number];
  if (flow == LV_FLOW_END) return LV_STEP_END;
  if (flow == LV_FLOW_LEAVE) return LV_STEP_LEAVE;
  switch (lv_instruction_format_table[number]) {
    case 22: case 24: case 27: case 29: case 31: case 33: case 54: case 55: case 57: case 59: case 63:
      return LV_STEP_CALL;
    default:
      return LV_STEP_ORDINARY;
  }
}

}  // namespace

uint64_t lv_insn_length(const uint32_t* p) {
  uint32_t number = p[0] >> 1;
  int32_t format = lv_instruction_format_table[number];
  if (format == 72) return 1 + p[1];  // NOP: the next starts N words after the operand word
  if (format == 119) return 3;        // NATIVE_OP: opcode and a 64-bit address
  const uint32_t* q = p + 1;
  for (const char* k = lv_format_operands[format]; *k != '\0'; k++) q += operand_words(*k, q);
  return static_cast<uint64_t>(q - p);
}

const uint32_t* lv_insn_next(const uint32_t* p, int* classification) {
  if (classification != nullptr) *classification = LV_STEP_ORDINARY;
  uint32_t word = p[0];
  if (word == LV_INTERNAL_HEADER_WORD) return step_internal_header(p);
  if (word == lv_opcode(LV_OP_KONTINUE)) {
    if (classification != nullptr) *classification = classify(LV_OP_KONTINUE);
    return p - 3;
  }
  uint32_t number = word >> 1;
  if (classification != nullptr) *classification = classify(number);
  if (lv_instruction_format_table[number] == 119)
    return reinterpret_cast<const uint32_t*>(lv_code_read64(p + 1));
  return p + lv_insn_length(p);
}

const uint32_t* lv_insn_next_replacing(uint32_t* p, int* classification, const uint32_t* fail_address) {
  if (p[0] != LV_INTERNAL_HEADER_WORD && lv_opcode_valid(p[0])) {
    lv_decoded_insn d;
    if (lv_insn_decode(p, &d)) {
      for (unsigned i = 0; i < d.operand_count; i++) {
        const lv_operand& o = d.operands[i];
        if (o.kind == 'L' && o.value == reinterpret_cast<uint64_t>(lv_else_fail_code))
          lv_code_write64(const_cast<uint32_t*>(o.at), reinterpret_cast<uint64_t>(fail_address));
      }
    }
  }
  return lv_insn_next(p, classification);
}

bool lv_insn_decode(const uint32_t* p, lv_decoded_insn* out) {
  uint32_t word = p[0];
  if (!lv_opcode_valid(word)) return false;
  uint32_t number = word >> 1;
  int32_t format = lv_instruction_format_table[number];
  if (!lv_format_valid(format)) return false;
  out->number = static_cast<lv_insn>(number);
  out->format = format;
  out->operand_count = 0;
  const uint32_t* q = p + 1;
  for (const char* k = lv_format_operands[format]; *k != '\0'; k++) {
    uint64_t words = operand_words(*k, q);
    if (*k != 'p') {
      lv_operand& o = out->operands[out->operand_count++];
      o.kind = *k;
      o.at = q;
      o.count = 0;
      switch (*k) {
        case 'B':
          o.value = lv_code_read64(q);
          o.count = static_cast<uint32_t>(box_words(o.value) - 1);
          break;
        case 'R':
          o.value = q[0] & 0xFF;
          o.count = q[0] >> 8;
          break;
        case 'G':
          o.value = q[0];
          o.count = q[0];
          break;
        default:
          o.value = lv_operand_is_wide(*k) ? lv_code_read64(q) : q[0];
          break;
      }
    }
    q += words;
  }
  out->length = format == 72 ? 1 + p[1] : format == 119 ? 3 : static_cast<uint64_t>(q - p);
  return true;
}

uint64_t lv_insn_length_within(const uint32_t* p, const uint32_t* end) {
  if (p == nullptr || p >= end) return 0;
  uint64_t room = static_cast<uint64_t>(end - p);
  uint32_t word = p[0];
  if (word == LV_INTERNAL_HEADER_WORD) {
    if (room < 8) return 0;
    const lv_internal_entry* h = reinterpret_cast<const lv_internal_entry*>(p);
    if (h->first_entry == p + 8) return 8;
    for (uint64_t at = 8;; at += 8) {
      if (room - at < 8) return 0;
      if (reinterpret_cast<const lv_clause_entry*>(p + at)->link == nullptr) return at + 8;
    }
  }
  if (!lv_opcode_valid(word)) return 0;
  int32_t format = lv_instruction_format_table[word >> 1];
  if (!lv_format_valid(format)) return 0;
  if (format == 72) {
    if (room < 2) return 0;
    uint64_t length = 1 + uint64_t{p[1]};
    return length <= room ? length : 0;
  }
  if (format == 119) return room >= 3 ? 3 : 0;
  uint64_t at = 1;
  for (const char* k = lv_format_operands[format]; *k != '\0'; k++) {
    uint64_t words;
    if (*k == 'B') {
      if (room - at < 2) return 0;
      int64_t box = LargeArity_checked(lv_code_read64(p + at));
      if (box < 2) return 0;  // no box header: a header and at least one value word
      words = 2 * static_cast<uint64_t>(box);
    } else if (*k == 'R' || *k == 'G') {
      if (room - at < 1) return 0;
      words = *k == 'R' ? 1 + (p[at] >> 8) : 1 + 2 * uint64_t{p[at]};
    } else {
      words = lv_operand_is_wide(*k) ? 2 : 1;
    }
    if (words > room - at) return 0;
    at += words;
  }
  return at;
}

bool lv_insn_decode_within(const uint32_t* p, const uint32_t* end, lv_decoded_insn* out) {
  if (p == nullptr || p >= end || p[0] == LV_INTERNAL_HEADER_WORD) return false;
  return lv_insn_length_within(p, end) != 0 && lv_insn_decode(p, out);
}

bool lv_insn_receives_new_variable(const lv_decoded_insn& d, unsigned i, uint32_t entry) {
  if (i >= d.operand_count) return false;
  const lv_operand& o = d.operands[i];
  if (o.kind == 'R') return entry < o.count && (o.at[1 + entry] & 3) == 1;
  if (o.kind == 'G') return entry < o.count;
  switch (d.number) {
    case LV_OP_UNIFY_X_VARIABLE: case LV_OP_STORE_X_VARIABLE:
    case LV_OP_UNIFY_Y_VARIABLE: case LV_OP_UNIFY_Y_UNSAFE_VARIABLE: case LV_OP_UNIFY_Y_FIRST_VARIABLE:
    case LV_OP_STORE_Y_VARIABLE: case LV_OP_STORE_Y_UNSAFE_VARIABLE: case LV_OP_STORE_Y_FIRST_VARIABLE:
    case LV_OP_U2_XVAR_VOID: case LV_OP_U2_XVAR_XVAL: case LV_OP_U2_XVAR_XLVAL:
      return i == 0;
    case LV_OP_GET_X_VARIABLE: case LV_OP_PUT_X_VARIABLE:
    case LV_OP_PUT_Y_VARIABLE: case LV_OP_PUT_Y_FIRST_VARIABLE:
    case LV_OP_GET_Y_VARIABLE: case LV_OP_GET_Y_UNSAFE_VARIABLE: case LV_OP_GET_Y_FIRST_VARIABLE:
    case LV_OP_U2_VOID_XVAR: case LV_OP_U2_XVAL_XVAR: case LV_OP_U2_XLVAL_XVAR:
      return i == 1;
    case LV_OP_U2_XVAR_XVAR: return i <= 1;
    case LV_OP_GET_XVAR_XVAR: return i == 1 || i == 3;
    case LV_OP_GET_LIST_XVAR_XVAR: return i == 1 || i == 2;
    case LV_OP_GET_STRUCTURE_XVAR_XVAR: case LV_OP_GET_STRUCTURE_XVAR_XVARQ: return i == 2 || i == 3;
    default: return false;
  }
}

uint64_t lv_insn_new_variable_count(const lv_decoded_insn& d) {
  uint64_t n = 0;
  for (unsigned i = 0; i < d.operand_count; i++) {
    const lv_operand& o = d.operands[i];
    if (o.kind == 'R' || o.kind == 'G') {
      for (uint32_t j = 0; j < o.count; j++) n += lv_insn_receives_new_variable(d, i, j) ? 1 : 0;
    } else if (lv_insn_receives_new_variable(d, i, 0)) {
      n++;
    }
  }
  return n;
}

bool lv_insn_is_call_site(lv_insn n) {
  switch (n) {
    case LV_OP_LASTCALLQ: case LV_OP_LASTCALL: case LV_OP_LASTCALL_CALL:
    case LV_OP_EXECUTEQ: case LV_OP_EXECUTE: case LV_OP_EXECUTE_CALL:
      return true;
    default:
      return classify(n) == LV_STEP_CALL;
  }
}

namespace {

struct text_out {
  char* buffer;
  size_t size;
  size_t used;
  void add(const char* format, ...) __attribute__((format(printf, 2, 3))) {
    if (used + 1 >= size) return;
    va_list args;
    va_start(args, format);
    int n = vsnprintf(buffer + used, size - used, format, args);
    va_end(args);
    if (n > 0) used = used + static_cast<size_t>(n) < size ? used + static_cast<size_t>(n) : size - 1;
  }
};

void print_term(text_out& out, uint64_t term, lv_term_printer printer) {
  if (printer == nullptr) {
    out.add("0x%" PRIx64, term);
    return;
  }
  char text[256];
  printer(term, text, sizeof text);
  out.add("%s", text);
}

// An inline box: a one-word integer or a float by value, a longer integer by
// its size.
void print_box(text_out& out, const uint32_t* box) {
  lv_term header = lv_code_read64(box);
  uint64_t words = lv_box_value_words(header);
  if (lv_box_is_float(header)) {
    char digits[40];
    lv_float_text(lv_double_from_bits(lv_code_read64(box + 2)), digits, sizeof digits);
    out.add("%s", digits);
  } else if (words == 1) {
    out.add("%" PRId64, static_cast<int64_t>(lv_code_read64(box + 2)));
  } else {
    out.add("<bignum %" PRIu64 " words>", words);
  }
}

void print_pred(text_out& out, const void* pred, const lv_insn_print_options* o) {
  if (o == nullptr || o->pred == nullptr) {
    out.add("%p", pred);
    return;
  }
  char text[256];
  o->pred(pred, text, sizeof text);
  out.add("%s", text);
}

void print_new_variable(text_out& out, const lv_insn_print_options* o) {
  if (o == nullptr || o->new_variable == nullptr) return;
  char text[256];
  const char* name = o->new_variable(o->arg, text, sizeof text);
  if (name != nullptr) out.add("[%s]", name);
}

}  // namespace

const uint32_t* lv_insn_print(const uint32_t* p, char* buffer, size_t size, lv_term_printer print) {
  lv_insn_print_options o = {print, nullptr, nullptr, nullptr, nullptr};
  const uint32_t* end = p + lv_insn_length_within(p, p + (uint64_t{1} << 40));
  return lv_insn_print_with(p, end == p ? p + 1 : end, buffer, size, &o);
}

const uint32_t* lv_insn_print_with(const uint32_t* p, const uint32_t* end, char* buffer, size_t size,
                                   const lv_insn_print_options* options) {
  text_out out = {buffer, size, 0};
  if (size > 0) buffer[0] = '\0';
  lv_term_printer print = options != nullptr ? options->term : nullptr;
  if (p < end && p[0] == LV_INTERNAL_HEADER_WORD && lv_insn_length_within(p, end) != 0) {
    out.add("%p: ENTER_INTERNAL arity=%d", static_cast<const void*>(p), static_cast<int>(p[1]));
    return lv_insn_next(p, nullptr);
  }
  lv_decoded_insn d;
  if (!lv_insn_decode_within(p, end, &d)) {
    if (p < end) out.add("%p: %" PRId32, static_cast<const void*>(p), static_cast<int32_t>(p[0]));
    return p + 1;
  }
  out.add("%p: %s ", static_cast<const void*>(p), lv_instruction_name_table[d.number]);
  if (d.number == LV_OP_KONTINUE && !lv_is_shared_continuation_stub(p))
    print_pred(out, reinterpret_cast<const char*>(p) - 12, options);
  if (d.format >= 1 && d.format <= 12) {
    // GET_Xi_Xj: both registers implied by the name.
    const char* name = lv_instruction_name_table[d.number];
    out.add("x(%c),x(%c)", name[5], name[8]);
  }
  bool swap_pairs = (d.format >= 93 && d.format <= 96) || d.format == 105 || d.format == 106;
  for (unsigned i = 0; i < d.operand_count; i++) {
    unsigned at = i;
    if (swap_pairs) at = i ^ 1;
    const lv_operand& o = d.operands[at];
    if (i > 0) out.add(",");
    if (d.format >= 13 && d.format <= 16 && i == 0) out.add("x(%c),", lv_instruction_name_table[d.number][5]);
    switch (o.kind) {
      case 'X': out.add("x(%u)", lv_x_index(static_cast<uint32_t>(o.value))); break;
      case 'Y': out.add("y(%u)", lv_y_index(static_cast<uint32_t>(o.value))); break;
      case 'S': out.add("%u", lv_y_index(static_cast<uint32_t>(o.value))); break;
      case 'N': out.add("%" PRIu64, o.value); break;
      case 'I': out.add("%" PRId64, static_cast<int64_t>(o.value)); break;
      case 'C': case 'F': print_term(out, o.value, print); break;
      case 'P': print_pred(out, reinterpret_cast<const void*>(o.value), options); break;
      case 'A': {
        const char* name = options != nullptr && options->code_name != nullptr
                               ? options->code_name(reinterpret_cast<const void*>(o.value))
                               : nullptr;
        if (name != nullptr)
          out.add("%s", name);
        else
          out.add("%p", reinterpret_cast<const void*>(o.value));
        break;
      }
      case 'L':
        if (o.value == reinterpret_cast<uint64_t>(lv_fail_code))
          out.add(" else fail always");
        else if (o.value == reinterpret_cast<uint64_t>(lv_else_fail_code))
          out.add(" else fail for now");
        else
          out.add(" else %p", reinterpret_cast<const void*>(o.value));
        break;
      case 'B': print_box(out, o.at); break;
      case 'R': {
        static const char* const kinds[] = {"value", "variable", "unsafe_value", "void"};
        for (uint32_t j = 0; j < o.count; j++) {
          uint32_t e = o.at[1 + j];
          out.add("%sx(%" PRIu64 ")=%s", j > 0 ? "," : "[", o.value + j, kinds[e & 3]);
          if ((e & 3) != 3) out.add("(%u)", lv_y_index(e & ~3u));
          if (lv_insn_receives_new_variable(d, at, j)) print_new_variable(out, options);
        }
        out.add(o.count > 0 ? "]" : "[]");
        break;
      }
      case 'G':
        for (uint32_t j = 0; j < o.count; j++) {
          out.add("%sy(%u)", j > 0 ? "," : "[", lv_y_index(o.at[2 + 2 * j]));
          print_new_variable(out, options);
          out.add("=x(%u)", lv_x_index(o.at[1 + 2 * j]));
        }
        out.add(o.count > 0 ? "]" : "[]");
        break;
      default: break;
    }
    if (o.kind != 'R' && o.kind != 'G' && lv_insn_receives_new_variable(d, at, 0)) print_new_variable(out, options);
    if (d.format >= 17 && d.format <= 20 && i == 0) out.add(",x(%c)", lv_instruction_name_table[d.number][8]);
  }
  if (d.format == 119) return reinterpret_cast<const uint32_t*>(d.operands[0].value);
  return p + d.length;
}
