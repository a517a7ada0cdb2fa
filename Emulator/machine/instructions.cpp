// The instruction tables.
#include "machine/instructions.h"

#include <iterator>

namespace {

struct insn_row {
  uint32_t number;
  int32_t format;
  const char* operands;
  lv_insn twin;
};

constexpr insn_row rows[] = {
#define LV_INSTRUCTION(number, name, format, operands, flow, twin) {number, format, operands, LV_OP_##twin},
#include "machine/instructions.def"
#undef LV_INSTRUCTION
};
static_assert(std::size(rows) == LV_INSN_COUNT);

constexpr bool same_text(const char* a, const char* b) {
  while (*a != 0 && *a == *b) a++, b++;
  return *a == *b;
}

constexpr bool rows_numbered_in_order() {
  for (uint32_t n = 0; n < LV_INSN_COUNT; n++)
    if (rows[n].number != n) return false;
  return true;
}
static_assert(rows_numbered_in_order(), "row n of instructions.def must say number n");

constexpr bool formats_agree() {
  for (const insn_row& r : rows) {
    if (r.format < 0 || r.format >= static_cast<int32_t>(LV_FORMAT_COUNT)) return false;
    for (const insn_row& s : rows)
      if (s.format == r.format && !same_text(s.operands, r.operands)) return false;
  }
  return true;
}
static_assert(formats_agree(), "rows with one format code must have the same operand letters");

// Twins pair up: the twin of the twin is the instruction, and the Q one's
// operands are the plain one's after the alignment word.
constexpr bool twins_pair_up() {
  for (uint32_t n = 0; n < LV_INSN_COUNT; n++) {
    const insn_row& r = rows[n];
    if (r.twin >= LV_INSN_COUNT || rows[r.twin].twin != n) return false;
    if (r.twin == n) continue;
    const insn_row& q = r.operands[0] == 'p' ? r : rows[r.twin];
    const insn_row& plain = r.operands[0] == 'p' ? rows[r.twin] : r;
    if (plain.operands[0] == 'p' || !same_text(q.operands + 1, plain.operands)) return false;
  }
  return true;
}
static_assert(twins_pair_up(), "twins must name each other and differ by the alignment word");

struct format_table {
  const char* operands[LV_FORMAT_COUNT];
};

constexpr format_table build_formats() {
  format_table t{};
  for (const insn_row& r : rows) t.operands[r.format] = r.operands;
  return t;
}
constexpr format_table formats = build_formats();

}  // namespace

const char* const lv_instruction_name_table[LV_INSN_TABLE_SIZE] = {
#define LV_INSTRUCTION(number, name, format, operands, flow, twin) #name,
#include "machine/instructions.def"
#undef LV_INSTRUCTION
};

const int32_t lv_instruction_format_table[LV_INSN_TABLE_SIZE] = {
#define LV_INSTRUCTION(number, name, format, operands, flow, twin) format,
#include "machine/instructions.def"
#undef LV_INSTRUCTION
};

const int32_t lv_instruction_class_table[LV_INSN_TABLE_SIZE] = {
#define LV_INSTRUCTION(number, name, format, operands, flow, twin) flow,
#include "machine/instructions.def"
#undef LV_INSTRUCTION
};

const char* const (&lv_format_operands)[LV_FORMAT_COUNT] = formats.operands;

const char* const lv_call_kind_name_table[LV_CALL_KIND_COUNT] = {
#define LV_CALL_KIND(number, name) #name,
#include "machine/call_kinds.def"
#undef LV_CALL_KIND
};

lv_insn lv_insn_q_twin(lv_insn n) { return rows[n].twin; }

bool lv_insn_is_q(lv_insn n) { return rows[n].operands[0] == 'p'; }
