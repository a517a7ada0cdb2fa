// Code as terms.
#include "store/code_terms.h"

#include <cstring>
#include <initializer_list>

#include "core/atoms.h"
#include "core/memory.h"
#include "core/numbers.h"
#include "core/predefined_atoms.h"
#include "core/stack_shift.h"
#include "core/termrefs.h"
#include "core/worker.h"
#include "machine/insn_walk.h"
#include "store/clause_list.h"
#include "store/code_print.h"
#include "store/code_walk.h"
#include "store/counters.h"
#include "store/predicates.h"
#include "store/static_code.h"

namespace {

constexpr uint64_t STEP_LIMIT = uint64_t{1} << 22;

lv_term atom(const char* name) { return lv_atom_from_text(name, LV_ATOM_FIND_OR_CREATE); }

// Builders: the caller has made room.
lv_term cons(lv_worker* w, lv_term head, lv_term tail) {
  lv_term* c = w->H;
  c[0] = head;
  c[1] = tail;
  w->H = c + 2;
  return lv_make_list(c);
}

lv_term compound(lv_worker* w, lv_term name, std::initializer_list<lv_term> args) {
  lv_term* c = w->H;
  c[0] = lv_make_functor(name, static_cast<unsigned>(args.size()));
  unsigned i = 1;
  for (lv_term a : args) c[i++] = a;
  w->H = c + i;
  return lv_make_struct(c);
}

// name(args[0], ..., args[n-1]), the atom itself for n = 0.
lv_term compound_of(lv_worker* w, lv_term name, const lv_term* args, unsigned n) {
  if (n == 0) return name;
  lv_term* c = w->H;
  c[0] = lv_make_functor(name, n);
  for (unsigned i = 0; i < n; i++) c[1 + i] = args[i];
  w->H = c + 1 + n;
  return lv_make_struct(c);
}

lv_term integer(lv_worker* w, int64_t v) { return lv_make_integer(w, v); }

// A word from code as a term: atomic words as they are (atoms only when
// live), anything else as the integer it holds. 3 cells at most.
lv_term code_word(lv_worker* w, uint64_t word) {
  if (lv_is_small(word) || lv_atom_live(word)) return word;
  return integer(w, static_cast<int64_t>(word));
}

// A box read from code onto the heap (value words + 2 cells of room made).
lv_term box_term(lv_worker* w, const uint32_t* box) {
  lv_term header = lv_code_read64(box);
  uint64_t n = lv_box_value_words(header);
  lv_term* h = w->H;
  h[0] = header;
  for (uint64_t i = 0; i < n; i++) h[1 + i] = lv_code_read64(box + 2 + 2 * i);
  h[n + 1] = header;
  w->H = h + n + 2;
  return lv_make_struct(h);
}

// Cells an instruction's term takes at most (its pair and list cell
// included).
uint64_t insn_cells(const lv_decoded_insn& d) {
  uint64_t n = 1 + d.operand_count + 3 + 2;
  for (unsigned i = 0; i < d.operand_count; i++) {
    const lv_operand& o = d.operands[i];
    switch (o.kind) {
      case 'X': case 'Y': n += 2; break;
      case 'S': case 'N': case 'I': case 'C': n += 3; break;
      case 'F': n += 3; break;
      case 'P': n += 6; break;
      case 'A': case 'L': n += 3; break;
      case 'B': n += o.count + 3; break;
      case 'R': n += 11 * uint64_t{o.count}; break;
      case 'G': n += 9 * uint64_t{o.count}; break;
      default: break;
    }
  }
  return n;
}

lv_term x_term(lv_worker* w, uint32_t operand) {
  return compound(w, atom("x"), {lv_make_small(lv_x_index(operand))});
}
lv_term y_term(lv_worker* w, uint32_t operand, const char* name = "y") {
  return compound(w, atom(name), {lv_make_small(lv_y_index(operand))});
}

lv_term operand_term(lv_worker* w, const lv_operand& o) {
  switch (o.kind) {
    case 'X': return x_term(w, static_cast<uint32_t>(o.value));
    case 'Y': return y_term(w, static_cast<uint32_t>(o.value));
    case 'S': return lv_make_small(lv_y_index(static_cast<uint32_t>(o.value)));
    case 'N': return lv_make_small(static_cast<int64_t>(o.value));
    case 'I': return integer(w, static_cast<int64_t>(o.value));
    case 'C': return code_word(w, o.value);
    case 'F':
      if (lv_is_functor_word(o.value) && lv_atom_live(lv_functor_atom(o.value))) return lv_functor_spec_term(w, o.value);
      return code_word(w, o.value);
    case 'P': return lv_pred_spec_term(w, reinterpret_cast<const void*>(o.value));
    case 'A': case 'L': return lv_code_address_term(reinterpret_cast<const void*>(o.value), true);
    case 'B': return box_term(w, o.at);
    case 'R': {
      lv_term list = LV_ATOM_NIL;
      for (uint32_t j = o.count; j-- > 0;) {
        uint32_t e = o.at[1 + j];
        lv_term source;
        switch (e & 3) {
          case 0: source = y_term(w, e & ~3u); break;
          case 1: source = compound(w, atom("variable"), {y_term(w, e & ~3u)}); break;
          case 2: source = y_term(w, e & ~3u, "y_unsafe"); break;
          default: source = atom("void"); break;
        }
        lv_term target = compound(w, atom("x"), {lv_make_small(static_cast<int64_t>(o.value + j))});
        list = cons(w, compound(w, atom("="), {target, source}), list);
      }
      return list;
    }
    case 'G': {
      lv_term list = LV_ATOM_NIL;
      for (uint32_t j = o.count; j-- > 0;) {
        lv_term pair = compound(w, atom("="), {y_term(w, o.at[2 + 2 * j]), x_term(w, o.at[1 + 2 * j])});
        list = cons(w, pair, list);
      }
      return list;
    }
    default: return LV_ATOM_NIL;
  }
}

lv_term insn_term(lv_worker* w, const lv_decoded_insn& d) {
  lv_term args[LV_MAX_OPERANDS];
  for (unsigned i = 0; i < d.operand_count; i++) args[i] = operand_term(w, d.operands[i]);
  return compound_of(w, atom(lv_instruction_name_table[d.number]), args, d.operand_count);
}

// 'ENTER_INTERNAL'(Arity, Entries) of a header that lies before limit.
// The room made covers the pair and list cell that hold it.
lv_term header_term(lv_worker* w, const uint32_t* header, const uint32_t* limit, unsigned live) {
  const auto* h = reinterpret_cast<const lv_internal_entry*>(header);
  uint64_t entries = (lv_insn_length_within(header, limit) - 8) / 8;
  lv_code_terms_room(w, 2 * entries + 3 + 3 + 5, live);
  lv_term list;
  if (h->first_entry == header + 8) {
    list = lv_code_address_term(header + 8, false);
  } else {
    list = LV_ATOM_NIL;
    const auto* first = reinterpret_cast<const lv_clause_entry*>(header + 8);
    for (uint64_t i = entries; i-- > 0;) list = cons(w, lv_code_address_term(first[i].code, false), list);
  }
  return compound(w, atom("ENTER_INTERNAL"), {lv_make_small(h->arity), list});
}

const uint32_t* record_target_chain_start(const uint32_t* chain) {
  return reinterpret_cast<const uint32_t*>(reinterpret_cast<const char*>(chain) - offsetof(lv_try_record, insn));
}

// The term of an index chain; room for chain_cells(chain) made.
uint64_t chain_cells(const uint32_t* chain) {
  if (chain == nullptr || chain[0] != lv_opcode(LV_OP_TRY)) return 0;
  uint64_t n = 2;
  for (auto* r = reinterpret_cast<const lv_try_record*>(record_target_chain_start(chain)); r != nullptr; r = r->next) n += 2;
  return n;
}

lv_term chain_term(lv_worker* w, const uint32_t* chain) {
  if (chain == nullptr) return LV_ATOM_NIL;
  if (chain[0] != lv_opcode(LV_OP_TRY)) return lv_code_address_term(chain, true);
  // The targets in order: counted first, then consed from the last.
  auto* first = reinterpret_cast<const lv_try_record*>(record_target_chain_start(chain));
  uint64_t n = 0;
  for (auto* r = first; r != nullptr; r = r->next) n++;
  lv_term* c = w->H;
  w->H = c + 2 * n;
  uint64_t i = 0;
  for (auto* r = first; r != nullptr; r = r->next, i++) {
    c[2 * i] = lv_code_address_term(r->target, true);
    c[2 * i + 1] = i + 1 < n ? lv_make_list(c + 2 * i + 2) : LV_ATOM_NIL;
  }
  return compound(w, atom("try"), {lv_make_list(c)});
}

// A key of the key table as a term (3 cells).
lv_term key_term(lv_worker* w, lv_term key) {
  if (lv_is_functor_word(key) && lv_functor_arity(key) > 0) return lv_functor_spec_term(w, key);
  return code_word(w, key);
}

const uint32_t* default_chain(lv_keytab* t) {
  lv_hash_entry* e = lv_keytab_entries(t);
  for (uint64_t i = 0; i < lv_keytab_capacity(t); i++)
    if (e[i].key == 0) return reinterpret_cast<const uint32_t*>(e[i].value);
  return lv_fail_code;
}

lv_term index_term(lv_worker* w, lv_clause_list* list, unsigned live) {
  lv_term_ref keys = LV_new_term_ref();
  lv_term_ref large = LV_new_term_ref();
  lv_term_ref fixed = LV_new_term_ref();  // Var, List and Default
  lv_term_ref_cell(w, keys) = LV_ATOM_NIL;
  lv_term_ref_cell(w, large) = LV_ATOM_NIL;
  if (list->key_table != nullptr) {
    lv_keytab* t = list->key_table;
    for (uint64_t i = 0; i < lv_keytab_capacity(t); i++) {
      lv_hash_entry e = lv_keytab_entries(t)[i];
      if (e.key == 0) continue;
      const uint32_t* chain = reinterpret_cast<const uint32_t*>(e.value);
      lv_code_terms_room(w, chain_cells(chain) + 3 + 3 + 3 + 2, live);
      lv_term pair = compound(w, atom("-"), {key_term(w, e.key), chain_term(w, chain)});
      lv_code_terms_push(w, keys, pair);
    }
  }
  if (list->large_table != nullptr) {
    lv_hash_gentry* g = lv_hash_entries(list->large_table);
    for (uint64_t i = 0; i <= list->large_table->mask; i++) {
      if (g[i].key == nullptr || g[i].value == nullptr) continue;
      const uint32_t* box = static_cast<const uint32_t*>(g[i].key);
      const uint32_t* chain = static_cast<const uint32_t*>(g[i].value);
      lv_code_terms_room(w, chain_cells(chain) + lv_box_value_words(lv_code_read64(box)) + 2 + 3 + 3 + 2, live);
      lv_term pair = compound(w, atom("-"), {box_term(w, box), chain_term(w, chain)});
      lv_code_terms_push(w, large, pair);
    }
  }
  const uint32_t* fallback = list->key_table != nullptr ? default_chain(list->key_table) : nullptr;
  lv_code_terms_room(w, chain_cells(list->all_chain) + chain_cells(list->list_chain) + chain_cells(fallback) + 20, live);
  lv_term var = chain_term(w, list->all_chain);
  lv_term lst = chain_term(w, list->list_chain);
  lv_term def = chain_term(w, fallback);
  lv_term_ref_cell(w, fixed) = compound(w, atom("index"), {var, lst, lv_term_ref_cell(w, keys), lv_term_ref_cell(w, large), def});
  lv_term result = lv_term_ref_cell(w, fixed);
  LV_reset_term_refs(keys);
  return result;
}

lv_term key_atoms(lv_worker* w, uint32_t bits) {
  static const char* const names[] = {"var", "number", "atom", "list", "structure", "last", "choice", "cut", "else"};
  lv_term list = LV_ATOM_NIL;
  for (unsigned i = 9; i-- > 0;)
    if ((bits >> i & 1) != 0) list = cons(w, atom(names[i]), list);
  return list;
}

}  // namespace

void lv_code_terms_room(lv_worker* w, uint64_t cells, unsigned live) {
  if (w->heap_hard_limit - w->H <= static_cast<int64_t>(cells))
    call_overflow(w, static_cast<int64_t>(cells) + LV_HEAP_RESERVE_CELLS + 1, live);
}

void lv_code_terms_push(lv_worker* w, int64_t list_ref, lv_term head) {
  lv_term_ref_cell(w, list_ref) = cons(w, head, lv_term_ref_cell(w, list_ref));
}

lv_term lv_code_terms_reverse(lv_term list) {
  lv_term done = LV_ATOM_NIL;
  while (lv_is_list(list)) {
    lv_term* cell = lv_list_cells(list);
    lv_term next = cell[1];
    cell[1] = done;
    done = list;
    list = next;
  }
  return done;
}

lv_term lv_code_address_term(const void* address, bool named) {
  if (address == nullptr) return LV_ATOM_NIL;
  if (named) {
    const char* name = lv_code_piece_name(address);
    if (name != nullptr) return atom(name);
  }
  return lv_make_small(static_cast<int64_t>(reinterpret_cast<uintptr_t>(address)));
}

const uint32_t* lv_code_address_of(lv_term t) {
  t = lv_deref(t);
  if (!lv_is_small(t) || lv_small_value(t) <= 0) return nullptr;
  return reinterpret_cast<const uint32_t*>(static_cast<uintptr_t>(lv_small_value(t)));
}

lv_term lv_pred_spec_term(lv_worker* w, const void* pred) {
  if (lv_code_is_internal_header(pred))
    return compound(w, atom("/"), {lv_code_address_term(pred, false), lv_make_small(static_cast<const uint32_t*>(pred)[1])});
  if (!lv_code_known_pred(pred)) return lv_code_address_term(pred, false);
  const auto* p = static_cast<const lv_pred*>(pred);
  lv_term spec = compound(w, atom("/"), {p->name, lv_make_small(p->arity)});
  lv_term module = p->owner_module != nullptr ? p->owner_module->name : LV_ATOM_NIL;
  return compound(w, LV_ATOM_COLON, {module, spec});
}

lv_term lv_functor_spec_term(lv_worker* w, lv_term functor) {
  return compound(w, atom("/"), {lv_functor_atom(functor), lv_make_small(lv_functor_arity(functor))});
}

lv_term* lv_code_box_copy(const uint32_t* box) {
  lv_term header = lv_code_read64(box);
  uint64_t n = lv_box_value_words(header);
  auto* copy = static_cast<lv_term*>(LV_malloc((n + 2) * sizeof(lv_term)));
  if (copy == nullptr) return nullptr;
  copy[0] = header;
  for (uint64_t i = 0; i < n; i++) copy[1 + i] = lv_code_read64(box + 2 + 2 * i);
  copy[n + 1] = header;
  return copy;
}

lv_term lv_code_box_to_heap(lv_worker* w, const uint32_t* box, unsigned live) {
  lv_code_terms_room(w, lv_box_value_words(lv_code_read64(box)) + 2, live);
  return box_term(w, box);
}

lv_term lv_insn_to_term(lv_worker* w, const uint32_t* address, const uint64_t* source, int arity, unsigned live) {
  lv_code_block* block = lv_code_block_of(address);
  if (block == nullptr) return LV_ATOM_NIL;
  lv_term_ref acc = LV_new_term_ref();
  lv_term_ref_cell(w, acc) = LV_ATOM_NIL;
  if (source != nullptr) {
    uint64_t words = source[0] / 8;
    lv_code_terms_room(w, static_cast<uint64_t>(arity) + 1 + 3 + 2, live);
    lv_term* args = w->H;
    w->H += arity > 0 ? arity + 1 : 0;
    for (int i = 0; i < arity; i++) {
      uint64_t k = 1 + static_cast<uint64_t>(i);
      args[1 + i] = k < words && lv_atom_live(source[k]) ? source[k] : lv_make_small(0);
    }
    lv_term head = atom("HEAD");
    if (arity > 0) {
      args[0] = lv_make_functor(head, static_cast<unsigned>(arity));
      head = lv_make_struct(args);
    }
    lv_term pair = compound(w, atom("="), {lv_code_address_term(address, false), head});
    lv_term_ref_cell(w, acc) = cons(w, pair, LV_ATOM_NIL);
  }
  const uint32_t* limit = lv_code_block_limit(block);
  const uint32_t* p = address;
  for (uint64_t steps = 0; steps < STEP_LIMIT && p >= lv_code_block_code(block) && p < limit; steps++) {
    lv_term t;
    const uint32_t* next;
    bool end = false;
    if (p[0] == LV_INTERNAL_HEADER_WORD) {
      if (lv_insn_length_within(p, limit) == 0) break;
      t = header_term(w, p, limit, live);
      next = lv_insn_next(p, nullptr);
    } else {
      lv_decoded_insn d;
      if (!lv_insn_decode_within(p, limit, &d)) break;
      lv_code_terms_room(w, insn_cells(d), live);
      t = insn_term(w, d);
      int classification;
      next = lv_insn_next(p, &classification);
      end = classification == LV_STEP_END;
    }
    lv_term pair = compound(w, atom("="), {lv_code_address_term(p, false), t});
    lv_code_terms_push(w, acc, pair);
    if (end) break;
    if (next < lv_code_block_code(block) || next >= limit) {
      block = lv_code_block_of(next);  // a NATIVE_OP's operand
      if (block == nullptr) break;
      limit = lv_code_block_limit(block);
    }
    p = next;
  }
  lv_term result = lv_code_terms_reverse(lv_term_ref_cell(w, acc));
  LV_reset_term_refs(acc);
  return result;
}

lv_term lv_definition_type_atom(uint32_t type) {
  return atom(type < LV_CALL_KIND_COUNT ? lv_call_kind_name_table[type] : "INVALID_PREDTYPE");
}

lv_term lv_pred_code_terms(lv_worker* w, lv_pred* pred, unsigned live) {
  uint32_t type = lv_definition_type(pred);
  if ((type != LV_DEF_COMPACTCODE && type != LV_DEF_COMPACTCODE_INDEXED) || pred->definition == nullptr)
    return atom("INVALID_PREDTYPE");
  auto* list = static_cast<lv_clause_list*>(pred->definition);
  lv_term_ref index = LV_new_term_ref();
  lv_term_ref clauses = LV_new_term_ref();
  lv_term_ref code = LV_new_term_ref();
  lv_term_ref_cell(w, index) = index_term(w, list, live);
  lv_term_ref_cell(w, clauses) = LV_ATOM_NIL;
  if (list->head != nullptr) {
    for (lv_code_block* b = list->head;; b = b->next) {
      lv_term_ref_cell(w, code) =
          lv_insn_to_term(w, lv_code_block_code(b), b->side_table, pred->arity, live);
      lv_code_terms_room(w, 4 + 2 * 9 + 3 + 2, live);
      lv_term ref = lv_make_small(static_cast<int64_t>(reinterpret_cast<uintptr_t>(b) / 8));
      lv_term clause = compound(w, atom("clause"), {ref, key_atoms(w, lv_code_block_key_bits(b)), lv_term_ref_cell(w, code)});
      lv_code_terms_push(w, clauses, clause);
      if (b == list->tail) break;
    }
  }
  lv_code_terms_room(w, 3, live);
  lv_term result =
      compound(w, atom("code"), {lv_term_ref_cell(w, index), lv_code_terms_reverse(lv_term_ref_cell(w, clauses))});
  LV_reset_term_refs(index);
  return result;
}

lv_term lv_pred_properties_term(lv_worker* w, lv_module* asked, lv_pred* pred, unsigned live) {
  lv_term_ref code = LV_new_term_ref();
  uint32_t type = lv_definition_type(pred);
  bool has_code = (type == LV_DEF_COMPACTCODE || type == LV_DEF_COMPACTCODE_INDEXED) && pred->definition != nullptr;
  lv_term_ref_cell(w, code) = has_code ? lv_pred_code_terms(w, pred, live) : LV_ATOM_NIL;
  lv_code_terms_room(w, 64, live);
  static const struct {
    const char* name;
    uint32_t bit;  // 0: exported (on its module's chain)
  } properties[] = {{"exported", 0},          {"meta_predicate", LV_PRED_META}, {"volatile", LV_PRED_VOLATILE},
                    {"multifile", LV_PRED_MULTIFILE}, {"block", LV_PRED_BLOCK}, {"dynamic", LV_PRED_DYNAMIC},
                    {"spy", LV_PRED_SPY}};
  lv_term props = LV_ATOM_NIL;
  for (size_t i = sizeof properties / sizeof properties[0]; i-- > 0;) {
    bool has = properties[i].bit == 0 ? pred->next_in_module != nullptr : (pred->flags & properties[i].bit) != 0;
    if (has) props = cons(w, atom(properties[i].name), props);
  }
  lv_module* module = asked != nullptr ? asked : pred->owner_module;
  lv_term args[11] = {
      module != nullptr ? module->name : LV_ATOM_NIL,
      pred->name,
      lv_make_small(pred->arity),
      lv_code_address_term(pred, false),
      lv_pred_spec_term(w, pred),
      pred->home_module != nullptr ? pred->home_module->name : LV_ATOM_NIL,
      lv_is_atomic(pred->source_file) ? pred->source_file : LV_ATOM_NIL,
      props,
      lv_definition_type_atom(type),
      lv_code_address_term(pred->definition, false),
      lv_term_ref_cell(w, code),
  };
  lv_term result = compound_of(w, atom("predicate"), args, 11);
  LV_reset_term_refs(code);
  return result;
}

lv_term lv_code_coverage_terms(lv_worker* w, lv_pred* pred, lv_term tail, unsigned live) {
  uint32_t type = lv_definition_type(pred);
  auto* counters = static_cast<lv_counter_object*>(pred->counters);
  if ((type != LV_DEF_COMPACTCODE && type != LV_DEF_COMPACTCODE_INDEXED) || pred->definition == nullptr ||
      counters == nullptr || counters->table == nullptr)
    return tail;
  auto* list = static_cast<lv_clause_list*>(pred->definition);
  lv_term_ref acc = LV_new_term_ref();
  lv_term_ref_cell(w, acc) = tail;
  if (list->head != nullptr) {
    int64_t number = 1;
    for (lv_code_block* b = list->head;; b = b->next, number++) {
      const void* start = lv_code_block_code(b);
      const void* limit = lv_code_block_limit(b);
      for (uint64_t i = 0; i < lv_keytab_capacity(counters->table); i++) {
        lv_hash_entry e = lv_keytab_entries(counters->table)[i];
        const void* key = reinterpret_cast<const void*>(e.key);
        if (e.key == 0 || e.value == 0 || key < start || key >= limit) continue;
        lv_code_position position;
        int64_t line = lv_code_owner_info(key, &position) != 0 ? position.line : -1;
        lv_code_terms_room(w, 5 + 6 + 3 + 5 + 3 + 2, live);
        lv_term file = lv_is_atomic(b->source_key) ? b->source_key : LV_ATOM_NIL;
        lv_term counter =
            compound(w, atom("counter"), {file, lv_pred_spec_term(w, pred), lv_make_small(number), integer(w, line)});
        lv_term count = compound(w, atom((e.value & 1) != 0 ? "nondet" : "det"),
                                 {integer(w, static_cast<int64_t>(e.value >> 1))});
        lv_term pair = compound(w, atom("-"), {counter, count});
        lv_code_terms_push(w, acc, pair);
      }
      if (b == list->tail) break;
    }
  }
  lv_term result = lv_term_ref_cell(w, acc);
  LV_reset_term_refs(acc);
  return result;
}
