// Tokens of an arithmetic expression in code.
#include "store/decompile.h"

#include <cctype>
#include <cstring>
#include <initializer_list>

#include "core/atoms.h"
#include "core/memory.h"
#include "core/numbers.h"
#include "core/predefined_atoms.h"
#include "core/termrefs.h"
#include "core/unify.h"
#include "core/worker.h"
#include "machine/insn_walk.h"
#include "store/code_block.h"
#include "store/code_terms.h"
#include "store/code_walk.h"

namespace {

constexpr uint64_t STEP_LIMIT = uint64_t{1} << 22;

lv_term atom(const char* name) { return lv_atom_from_text(name, LV_ATOM_FIND_OR_CREATE); }

int32_t flow_of(const lv_decoded_insn& d) { return lv_instruction_class_table[d.number]; }
bool in_expression(int32_t flow) { return flow >= LV_FLOW_FIRST && flow <= LV_FLOW_STORE; }

// The token name of an instruction: lower case, without the prefix and the
// Q and _IMM suffixes; *immediate tells whether _IMM was there.
lv_term token_name(const lv_decoded_insn& d, bool* immediate) {
  const char* name = lv_instruction_name_table[d.number];
  for (const char* prefix : {"MONOP_", "BINOP_", "ANOP_"})
    if (std::strncmp(name, prefix, std::strlen(prefix)) == 0) name += std::strlen(prefix);
  char text[64];
  size_t n = std::strlen(name);
  if (lv_insn_is_q(d.number)) n--;
  if (n >= sizeof text) n = sizeof text - 1;
  for (size_t i = 0; i < n; i++) text[i] = static_cast<char>(std::tolower(static_cast<unsigned char>(name[i])));
  text[n] = '\0';
  *immediate = n > 4 && std::strcmp(text + n - 4, "_imm") == 0;
  if (*immediate) text[n - 4] = '\0';
  return atom(text);
}

lv_term fn(lv_worker* w, const char* name, std::initializer_list<lv_term> args) {
  lv_term* c = w->H;
  c[0] = lv_make_functor(atom(name), static_cast<unsigned>(args.size()));
  unsigned i = 1;
  for (lv_term a : args) c[i++] = a;
  w->H = c + i;
  return lv_make_struct(c);
}

// An operand of an expression instruction: numbers, registers.
lv_term operand(lv_worker* w, const lv_operand& o) {
  switch (o.kind) {
    case 'I': return lv_make_integer(w, static_cast<int64_t>(o.value));
    case 'B': {
      lv_term* copy = lv_code_box_copy(o.at);
      uint64_t n = lv_box_value_words(copy[0]) + 2;
      lv_term* h = w->H;
      std::memcpy(h, copy, n * sizeof(lv_term));
      w->H = h + n;
      LV_free(copy);
      return lv_make_struct(h);
    }
    case 'X': return fn(w, "x", {lv_make_small(lv_x_index(static_cast<uint32_t>(o.value)))});
    case 'Y': return fn(w, "y", {lv_make_small(lv_y_index(static_cast<uint32_t>(o.value)))});
    default: return LV_ATOM_NIL;
  }
}

lv_term token(lv_worker* w, const lv_decoded_insn& d) {
  bool immediate = false;
  lv_term name = token_name(d, &immediate);
  lv_term first = d.operand_count > 0 ? operand(w, d.operands[0]) : LV_ATOM_NIL;
  switch (flow_of(d)) {
    case LV_FLOW_FIRST:
      if (d.operand_count == 0) return fn(w, "anop", {name});
      return fn(w, "first", {first});
    case LV_FLOW_LATER: return fn(w, "later", {first});
    case LV_FLOW_MONOP: return fn(w, "monop", {name});
    case LV_FLOW_BINOP: return immediate ? fn(w, "binop", {name, first}) : fn(w, "binop", {name});
    default:
      if (std::strncmp(lv_instruction_name_table[d.number], "STORE_", 6) == 0) return fn(w, "store", {first});
      return immediate ? fn(w, "compare", {name, first}) : fn(w, "compare", {name});
  }
}

uint64_t token_cells(const lv_decoded_insn& d) {
  uint64_t n = 12;
  for (unsigned i = 0; i < d.operand_count; i++)
    if (d.operands[i].kind == 'B') n += d.operands[i].count + 2;
  return n;
}

// The instruction that starts the expression holding pc, or null.
const uint32_t* expression_start(const uint32_t* pc, const uint32_t* code, const uint32_t* limit) {
  lv_decoded_insn d;
  if (!lv_insn_decode_within(pc, limit, &d) || !in_expression(flow_of(d))) return nullptr;
  if (flow_of(d) == LV_FLOW_FIRST) return pc;
  const uint32_t* start = nullptr;
  const uint32_t* p = code;
  for (uint64_t steps = 0; p < pc && steps < STEP_LIMIT; steps++) {
    if (p[0] == LV_INTERNAL_HEADER_WORD || !lv_insn_decode_within(p, limit, &d)) return nullptr;
    if (flow_of(d) == LV_FLOW_FIRST) start = p;
    int classification;
    const uint32_t* next = lv_insn_next(p, &classification);
    if (classification == LV_STEP_END || next <= p) return nullptr;
    p = next;
  }
  return p == pc ? start : nullptr;
}

}  // namespace

int prolog_decompile_tokens(lv_worker* w) {
  const uint32_t* pc = lv_code_address_of(w->X[0]);
  lv_code_block* block = lv_code_block_of(pc);
  if (block == nullptr) return 0;
  const uint32_t* limit = lv_code_block_limit(block);
  const uint32_t* p = expression_start(pc, lv_code_block_code(block), limit);
  if (p == nullptr) return 0;
  lv_term_ref acc = LV_new_term_ref();
  lv_term_ref_cell(w, acc) = LV_ATOM_NIL;
  for (uint64_t steps = 0; steps < STEP_LIMIT; steps++) {
    lv_decoded_insn d;
    if (!lv_insn_decode_within(p, limit, &d) || !in_expression(flow_of(d))) break;
    lv_code_terms_room(w, token_cells(d), 2);
    lv_code_terms_push(w, acc, token(w, d));
    if (flow_of(d) == LV_FLOW_STORE) break;
    p += d.length;
  }
  lv_term list = lv_code_terms_reverse(lv_term_ref_cell(w, acc));
  LV_reset_term_refs(acc);
  return cunify(w, w->X[1], list);
}
