// $make_bytecode_object: a code block written from a list of items.
#include <cstring>

#include "core/memory.h"
#include "core/predefined_atoms.h"
#include "core/unify.h"
#include "machine/insn_walk.h"
#include "store/code_block.h"
#include "store/code_walk.h"
#include "store/predicates.h"
#include "store/qload.h"
#include "store/static_code.h"
#include "store/store_builtins.h"

namespace {

constexpr lv_term atom(unsigned i) { return lv_predefined_atom(i); }
constexpr lv_term ATOM_VOID = atom(47), ATOM_ELSE = atom(45), ATOM_FAIL = atom(12), ATOM_O = atom(106),
                  ATOM_X = atom(107), ATOM_Y = atom(108), ATOM_VALUE = atom(91), ATOM_VARIABLE = atom(90),
                  ATOM_UNSAFE_VALUE = atom(92), ATOM_FUNCTOR = atom(111), ATOM_TAGGED = atom(112),
                  ATOM_EMUL_ENTRY = atom(113), ATOM_LONG = atom(116), ATOM_REF = atom(117),
                  ATOM_LARGE = atom(115), ATOM_TRY = atom(118), ATOM_LINENO = atom(119), ATOM_DEF = atom(120),
                  ATOM_SLASH = atom(110);

// The writing position within the block; every write is checked against
// its end.
struct writer {
  uint32_t* start;
  uint32_t* at;
  uint32_t* end;
  uint32_t* insn;  // the instruction of the last o(N) item, or null
  bool room(uint64_t words) const { return static_cast<uint64_t>(end - at) >= words; }
  bool word(uint64_t v) {
    if (!room(1)) return false;
    *at++ = static_cast<uint32_t>(v);
    return true;
  }
  bool wide(uint64_t v) {
    if (!room(2)) return false;
    lv_code_write64(at, v);
    at += 2;
    return true;
  }
  // The address start + 2 x offset of a word inside the block, or null.
  const uint32_t* inside(int64_t offset) const {
    if (offset < 0 || offset % 2 != 0 || offset / 2 >= end - start) return nullptr;
    return start + offset / 2;
  }
};

bool small_arg(lv_term item, unsigned i, int64_t* value) {
  lv_term a = lv_deref(lv_struct_cells(item)[i]);
  if (!lv_is_small(a)) return false;
  *value = lv_small_value(a);
  return true;
}

bool integer_value(lv_term t, int64_t* value) {
  t = lv_deref(t);
  if (lv_is_small(t)) {
    *value = lv_small_value(t);
    return true;
  }
  if (lv_is_integer_box(t) && lv_struct_cells(t)[0] == LV_BOX_INT1) {
    *value = static_cast<int64_t>(lv_struct_cells(t)[1]);
    return true;
  }
  return false;
}

// Writes one item; false when the item is not understood or does not fit.
bool write_item(writer& out, lv_term item) {
  item = lv_deref(item);
  if (lv_is_small(item)) return out.word(static_cast<uint64_t>(lv_small_value(item)));
  if (item == ATOM_VOID) return out.word(3);
  if (item == ATOM_ELSE) return out.wide(reinterpret_cast<uint64_t>(lv_else_fail_code));
  if (item == ATOM_FAIL) return out.wide(reinterpret_cast<uint64_t>(lv_fail_code));
  if (!lv_is_struct(item) || lv_is_box_header(lv_struct_cells(item)[0])) return false;
  lv_term f = lv_struct_cells(item)[0];
  lv_term name = lv_functor_atom(f);
  unsigned arity = lv_functor_arity(f);
  int64_t n = 0;
  if (arity == 1) {
    lv_term arg = lv_deref(lv_struct_cells(item)[1]);
    if (name == ATOM_LINENO || name == ATOM_DEF) return true;
    if (name == ATOM_O) {
      out.insn = out.at;
      return small_arg(item, 1, &n) && n >= 0 && n < static_cast<int64_t>(LV_INSN_COUNT) &&
             out.word(static_cast<uint64_t>(2 * n));
    }
    if (name == ATOM_X) return small_arg(item, 1, &n) && out.word(static_cast<uint64_t>(8 * n + 320));
    if (name == ATOM_Y || name == ATOM_VALUE) return small_arg(item, 1, &n) && out.word(static_cast<uint64_t>(8 * n + 16));
    if (name == ATOM_VARIABLE) return small_arg(item, 1, &n) && out.word(static_cast<uint64_t>(8 * n + 17));
    if (name == ATOM_UNSAFE_VALUE) return small_arg(item, 1, &n) && out.word(static_cast<uint64_t>(8 * n + 18));
    if (name == ATOM_LONG) return integer_value(arg, &n) && out.wide(static_cast<uint64_t>(n));
    if (name == ATOM_REF) return small_arg(item, 1, &n) && out.inside(n) != nullptr && out.wide(reinterpret_cast<uint64_t>(out.inside(n)));
    if (name == ATOM_TAGGED) return lv_is_atomic(arg) && out.wide(arg);
    if (name == ATOM_FUNCTOR) {
      if (!lv_is_struct(arg) || lv_struct_cells(arg)[0] != lv_make_functor(ATOM_SLASH, 2)) return false;
      lv_term fname = lv_deref(lv_struct_cells(arg)[1]);
      lv_term farity = lv_deref(lv_struct_cells(arg)[2]);
      if (!lv_is_atom(fname) || !lv_is_small(farity) || lv_small_value(farity) < 0 || lv_small_value(farity) > 255) return false;
      return out.wide(lv_small_value(farity) == 0 ? fname : lv_make_functor(fname, static_cast<unsigned>(lv_small_value(farity))));
    }
    if (name == ATOM_EMUL_ENTRY) {
      // A predicate not defined yet is created undefined, as the quick-load
      // reader's fix-ups do: code that calls a predicate defined later (or
      // never) is compiled all the same, and the call finds the definition
      // made meanwhile or the unknown-predicate handler.
      lv_pred* p = parse_definition(arg, lv_typein_module());
      if (p == nullptr) return false;
      return out.wide(reinterpret_cast<uint64_t>(p));
    }
    if (name == ATOM_LARGE) {
      // The box at the operand of the last instruction, in the space that
      // large_insn_offset reserves for it (a float is followed by NOP 1; an
      // integer that fits a small integer makes the constant form).
      lv_term one[2] = {LV_BOX_INT1, static_cast<lv_term>(lv_is_small(arg) ? lv_small_value(arg) : 0)};
      if (!lv_is_small(arg) && !lv_is_box(arg)) return false;
      const lv_term* box = lv_is_small(arg) ? one : lv_struct_cells(arg);
      uint64_t words = lv_box_value_words(box[0]) + 1;
      uint64_t reserved = lv_box_is_float(box[0]) ? 6 : 2 * words;
      if (out.insn == nullptr || !out.room(reserved)) return false;
      uint32_t* position = out.at;
      for (uint64_t i = 0; i < words; i++) out.wide(box[i]);
      out.at = position + large_insn_offset(position, out.insn);
      return true;
    }
    return false;
  }
  if (arity == 3 && name == ATOM_TRY) {
    int64_t offset = 0, try_arity = 0, kind = 0;
    if (!small_arg(item, 1, &offset) || !small_arg(item, 2, &try_arity) || !small_arg(item, 3, &kind) || try_arity < 0 ||
        try_arity > 255 || !out.room(8))
      return false;
    const uint32_t* target = out.inside(offset);
    if (target == nullptr) return false;
    int form = kind == 1 ? 1 : kind == 2 ? 2 : 0;
    if (form == 2 && !out.room(16)) return false;
    if (form != 1 && out.at - out.start < 8) return false;  // needs the previous record before it
    out.at = lv_code_write_entry_header(out.at, target, static_cast<unsigned>(try_arity), form);
    return true;
  }
  return false;
}

}  // namespace

int prolog_make_bytecode_object(lv_worker* w) {
  int64_t size = 0;
  if (!integer_value(w->X[0], &size) || size < 0 ||
      static_cast<uint64_t>(size) > (LV_CODE_BLOCK_MAX_BYTES - sizeof(lv_code_block)) / 2)
    return 0;
  lv_term source_key = lv_deref(w->X[2]);
  lv_term source = lv_deref(w->X[3]);
  if (!lv_is_atomic(source_key) || !lv_is_atomic(source)) return 0;
  uint64_t code_bytes = 2 * static_cast<uint64_t>(size);
  lv_code_block* block = lv_code_block_new((code_bytes + 3) / 4);
  block->size_key = static_cast<uint32_t>((sizeof(lv_code_block) + code_bytes) << 9);
  block->source_key = source_key;
  block->source = source;
  uint32_t* code = lv_code_block_code(block);
  writer out = {code, code, reinterpret_cast<uint32_t*>(reinterpret_cast<char*>(code) + code_bytes), nullptr};
  uint64_t side_entries = 0;
  bool has_line = false;
  lv_term items = lv_deref(w->X[1]);
  for (lv_term t = items; lv_is_list(t); t = lv_deref(lv_list_cells(t)[1])) {
    lv_term item = lv_deref(lv_list_cells(t)[0]);
    if (!write_item(out, item)) {
      lv_code_block_free(block);
      return 0;
    }
    if (lv_is_struct(item) && !lv_is_box_header(lv_struct_cells(item)[0])) {
      lv_term name = lv_functor_atom(lv_struct_cells(item)[0]);
      if (name == ATOM_LINENO || name == ATOM_DEF) {
        side_entries++;
        if (name == ATOM_LINENO && lv_is_integer(lv_deref(lv_struct_cells(item)[1]))) has_line = true;
      }
    }
  }
  if (lv_source_info_level != 127 && has_line) {
    uint64_t bytes = 8 * side_entries + 8;
    uint64_t* table = static_cast<uint64_t*>(lv_mem_alloc(bytes, lv_mem_flags(LV_CAT_SOURCE_INFO)));
    table[0] = bytes;
    uint64_t i = 1;
    for (lv_term t = items; lv_is_list(t); t = lv_deref(lv_list_cells(t)[1])) {
      lv_term item = lv_deref(lv_list_cells(t)[0]);
      if (!lv_is_struct(item) || lv_is_box_header(lv_struct_cells(item)[0])) continue;
      lv_term name = lv_functor_atom(lv_struct_cells(item)[0]);
      if (name != ATOM_LINENO && name != ATOM_DEF) continue;
      lv_term value = lv_deref(lv_struct_cells(item)[1]);
      table[i++] = lv_is_atomic(value) ? value : LV_ATOM_NIL;
    }
    block->side_table = table;
  }
  lv_code_reset_entries(block);
  lv_code_block_register(block);
  if (cunify(w, w->X[4], lv_make_small(static_cast<int64_t>(reinterpret_cast<uintptr_t>(block) / 8)))) return 1;
  lv_code_block_unregister(block);
  if (block->side_table != nullptr) lv_mem_free(block->side_table, block->side_table[0], lv_mem_flags(LV_CAT_SOURCE_INFO));
  lv_code_block_free(block);
  return 0;
}
