// The cells of stored blocks in saved states.
#include "store/state_cells.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "core/heap_parse.h"
#include "core/memory.h"
#include "core/predefined_atoms.h"
#include "store/db_clause.h"
#include "store/dbref_table.h"
#include "store/predicates.h"
#include "store/state_code_check.h"
#include "store/state_format.h"
#include "store/state_reloc.h"

namespace {

constexpr uint32_t FIXUP_FLAGS = lv_mem_flags(LV_CAT_MISC);

// What each cell of a block being checked is.
enum : uint8_t { CELL = 0, FUNCTOR = 1, BOX = 2, INSIDE_BOX = 3 };

bool is_small_pair(const lv_term* args) { return lv_is_small(args[0]) && lv_is_small(args[1]); }

void push(lv_ref_fixups* f, lv_stored_block* block, uint64_t cell) {
  if (f->count == f->capacity) {
    uint64_t grown = f->capacity == 0 ? 16 : 2 * f->capacity;
    f->items = static_cast<lv_ref_fixup*>(
        f->items == nullptr ? lv_mem_alloc(grown * sizeof(lv_ref_fixup), FIXUP_FLAGS)
                            : lv_mem_realloc(f->items, f->capacity * sizeof(lv_ref_fixup), grown * sizeof(lv_ref_fixup),
                                             FIXUP_FLAGS));
    f->capacity = grown;
  }
  f->items[f->count++] = {block, cell};
}

bool refuse(char* message, size_t size, const char* what, uint64_t cell) {
  std::snprintf(message, size, "a stored term with %s (cell %" PRIu64 ")", what, cell);
  return false;
}

// The cell a checked pointer word aims at.
uint64_t target(lv_term v) { return (v & ~uint64_t{3}) / 8; }

// A checked cell, followed through a reference to the variable it names.
lv_term resolved(const lv_term* cells, lv_term v) { return lv_is_ref(v) ? cells[target(v)] : v; }

}  // namespace

bool lv_state_copy_cells(lv_stored_block* block, uint64_t* out, const lv_cell_visitor* visitor) {
  const lv_term* cells = lv_block_cells(block);
  uint64_t n = lv_block_cell_count(block);
  for (uint64_t k = 0; k < n;) {
    lv_term v = cells[k];
    if (lv_heap_box_start(v)) {
      uint64_t span = lv_heap_item_cells(v);
      if (span > n - k) span = n - k;
      std::memcpy(out + k, cells + k, 8 * span);
      k += span;
      continue;
    }
    out[k] = v;
    if (lv_state_is_atom_word(v)) {
      if (!visitor->atom(v, visitor->arg)) return false;
      if (v == LV_FUNCTOR_REF_2 && n - k > 2 && is_small_pair(cells + k + 1)) {
        lv_term ref[3] = {v, cells[k + 1], cells[k + 2]};
        lv_stored_block* b = lv_dbref_to_block(lv_make_struct(ref));
        lv_db_clause* c = b != nullptr ? lv_clause_of(b) : nullptr;
        bool kept = c != nullptr && lv_clause_alive(c) && c->pred != nullptr && visitor->clause(c, visitor->arg);
        out[k + 1] = lv_make_small(kept ? static_cast<int64_t>(reinterpret_cast<uint64_t>(b) >> 3) : 0);
        out[k + 2] = lv_make_small(0);
        k += 3;
        continue;
      }
    }
    k++;
  }
  return true;
}

bool lv_state_restore_cells(lv_stored_block* block, lv_keytab* reloc, lv_ref_fixups* fixups, char* message,
                            size_t size) {
  lv_term* cells = lv_block_cells(block);
  uint64_t n = lv_block_cell_count(block);
  if (n < 2) return refuse(message, size, "no root pair", 0);
  auto* classes = static_cast<uint8_t*>(lv_mem_alloc(n, FIXUP_FLAGS));
  bool ok = true;
  const char* what = nullptr;
  uint64_t at = 0;
  auto bad = [&](const char* reason, uint64_t k) {
    what = reason;
    at = k;
    ok = false;
  };
  for (uint64_t k = 0; ok && k < n;) {
    lv_term v = cells[k];
    if ((v & 7) == 7 && static_cast<int64_t>(v) < 0) {
      uint64_t values = v == LV_ATTVAR_MARKER ? 0 : lv_box_value_words(v);
      if (values == 0 || values > n || n - k < values + 2 || cells[k + values + 1] != v ||
          !lv_state_box_valid(cells + k, values + 1)) {
        bad("a malformed box", k);
        break;
      }
      classes[k] = BOX;
      for (uint64_t j = 1; j < values + 2; j++) classes[k + j] = INSIDE_BOX;
      k += values + 2;
      continue;
    }
    classes[k++] = lv_state_is_atom_word(v) && lv_functor_arity(v) != 0 ? FUNCTOR : CELL;
  }
  for (uint64_t k = 0; ok && k < n; k++) {
    lv_term v = cells[k];
    uint64_t relocated = 0;
    if (classes[k] == FUNCTOR) {
      unsigned arity = lv_functor_arity(v);
      if (n - k <= arity) {
        bad("a structure missing arguments", k);
        break;
      }
      for (unsigned j = 1; j <= arity; j++)
        if (classes[k + j] != CELL) bad("a functor word or box as an argument", k);
      if (!ok) break;
      if (!lv_reloc_lookup(reloc, v, LV_RELOC_ATOM, &relocated)) {
        bad("an atom the state does not define", k);
        break;
      }
      cells[k] = relocated;
      if (relocated == LV_FUNCTOR_REF_2 && is_small_pair(cells + k + 1) && cells[k + 1] != lv_make_small(0)) {
        if (cells[k + 2] != lv_make_small(0)) {
          bad("a database reference that is not the state's", k);
          break;
        }
        push(fixups, block, k);
      }
      continue;
    }
    if (classes[k] != CELL) continue;
    switch (v & 3) {
      case LV_TAG_ATOMIC:
        if (lv_is_small(v)) break;
        if (!lv_reloc_lookup(reloc, v, LV_RELOC_ATOM, &relocated)) {
          bad("an atom the state does not define", k);
          break;
        }
        cells[k] = relocated;
        break;
      case LV_TAG_REF: {
        uint64_t t = target(v);
        if ((v & 7) != 0 || t >= n || classes[t] != CELL || cells[t] != t * 8) bad("a reference that names no variable", k);
        break;
      }
      case LV_TAG_STRUCT: {
        uint64_t t = target(v);
        if ((v & 7) != LV_TAG_STRUCT || t >= n || (classes[t] != FUNCTOR && classes[t] != BOX))
          bad("a structure pointer that names no structure", k);
        break;
      }
      default: {
        uint64_t t = target(v);
        if ((v & 7) != LV_TAG_LIST || t >= n - 1 || classes[t] != CELL || classes[t + 1] != CELL)
          bad("a list pointer that names no list cell", k);
        break;
      }
    }
  }
  if (ok && (classes[n - 2] != CELL || classes[n - 1] != CELL)) bad("no root pair", n - 2);
  lv_mem_free(classes, n, FIXUP_FLAGS);
  return ok || refuse(message, size, what, at);
}

void lv_ref_fixups_free(lv_ref_fixups* f) {
  if (f->items != nullptr) lv_mem_free(f->items, f->capacity * sizeof(lv_ref_fixup), FIXUP_FLAGS);
  *f = {nullptr, 0, 0};
}

bool lv_ref_fixups_resolve(lv_ref_fixups* f, lv_keytab* reloc, char* message, size_t size) {
  for (uint64_t i = 0; i < f->count; i++) {
    lv_term* cells = lv_block_cells(f->items[i].block) + f->items[i].cell;
    uint64_t address = static_cast<uint64_t>(lv_small_value(cells[1])) << 3;
    uint64_t value = 0;
    if (!lv_reloc_lookup(reloc, address, LV_RELOC_CLAUSE, &value)) {
      std::snprintf(message, size, "a database reference to a clause the state does not hold (key 0x%" PRIx64 ")",
                    address);
      return false;
    }
    lv_term* h = cells;
    lv_register_dbref(reinterpret_cast<lv_stored_block*>(value), &h, false);
  }
  f->count = 0;
  return true;
}

void lv_ref_fixups_drop(lv_ref_fixups* f) {
  for (uint64_t i = 0; i < f->count; i++) {
    lv_term* cells = lv_block_cells(f->items[i].block) + f->items[i].cell;
    cells[1] = cells[2] = lv_make_small(0);
  }
  f->count = 0;
}

lv_term lv_state_clause_key(lv_stored_block* block) {
  const lv_term* cells = lv_block_cells(block);
  lv_term head = cells[lv_block_cell_count(block) - 2];
  if (!lv_is_struct(head)) return 0;
  const lv_term* s = cells + target(head);
  if (lv_is_box_header(s[0])) return 0;
  lv_term arg = resolved(cells, s[1]);
  if (lv_is_ref(arg)) return 0;
  if (lv_is_atomic(arg)) return arg;
  if (lv_is_list(arg)) return LV_FUNCTOR_DOT_2;
  return cells[target(arg)];
}

bool lv_state_head_is(lv_stored_block* block, lv_term functor) {
  const lv_term* cells = lv_block_cells(block);
  lv_term head = cells[lv_block_cell_count(block) - 2];
  if (lv_functor_arity(functor) == 0) return head == functor;
  if (lv_is_list(head)) return functor == LV_FUNCTOR_DOT_2;
  return lv_is_struct(head) && cells[target(head)] == functor;
}
