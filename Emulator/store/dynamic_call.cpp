// Calls of dynamic predicates.
#include "store/dynamic_call.h"

#include "core/memory.h"
#include "core/predefined_atoms.h"
#include "core/stack_shift.h"
#include "core/unify.h"
#include "embed/prolog_contract.h"
#include "machine/frames.h"
#include "machine/instructions.h"
#include "store/db_generations.h"
#include "store/dbref_table.h"
#include "store/dynamic_table.h"

lv_try_record* lv_dynamic_retry_record;

namespace {

constexpr lv_term ATOM_MINUS = lv_predefined_atom(7);
constexpr lv_term FUNCTOR_MINUS_2 = ATOM_MINUS | (lv_term{2} << 55);
constexpr uint64_t NO_FILTER = uint64_t{1} << 32;
// Bytes that must stay free below a dynamic choicepoint.
constexpr int64_t CHOICE_ROOM_BYTES = 4089;

struct retry_record {
  lv_try_record record;
  uint32_t code[2];
};

lv_term clause_word(const lv_db_clause* c) { return lv_pointer_to_term(c); }
lv_db_clause* word_clause(lv_term t) { return reinterpret_cast<lv_db_clause*>(t & ~uint64_t{7}); }

// The principal word of a dereferenced argument: an atomic word itself,
// '.'/2 for a list cell, the functor word (a box's header) of a structure.
lv_term principal(lv_term t, const lv_term* cells) {
  if (lv_is_atomic(t)) return t;
  if (lv_is_list(t)) return LV_FUNCTOR_DOT_2;
  return cells[0];
}

// The bound arguments 2..n of the goal, as principal words (0 unbound)
// with the box of a large number.
struct filter {
  unsigned arity = 0;
  bool used = false;
  lv_term word[256];
  const lv_term* box[256];
};

void build_filter(const lv_term* args, unsigned arity, filter* f) {
  f->arity = arity;
  f->used = false;
  for (unsigned i = 1; i < arity; i++) {
    lv_term a = lv_deref(args[i]);
    f->word[i] = 0;
    f->box[i] = nullptr;
    if (lv_is_ref(a)) continue;
    f->used = true;
    const lv_term* cells = lv_is_struct(a) ? lv_struct_cells(a) : nullptr;
    f->word[i] = principal(a, cells);
    if (cells != nullptr && lv_is_box_header(cells[0])) f->box[i] = cells;
  }
}

bool passes(lv_db_clause* c, const filter* f) {
  if (!f->used) return true;
  for (unsigned i = 1; i < f->arity; i++) {
    if (f->word[i] == 0) continue;
    const lv_term* cell = nullptr;
    lv_term v = lv_clause_head_arg(c, i + 1, &cell);
    if (v == 0) continue;
    if (principal(v, cell) != f->word[i]) return false;
    if (f->box[i] != nullptr && !lv_box_equal(cell, f->box[i])) return false;
  }
  return true;
}

// The goal's arguments (null for an atom) and arity.
const lv_term* goal_args(lv_term goal, unsigned* arity) {
  goal = lv_deref(goal);
  if (lv_is_struct(goal) && !lv_is_box_header(lv_struct_cells(goal)[0])) {
    *arity = lv_functor_arity(lv_struct_cells(goal)[0]);
    return lv_struct_cells(goal) + 1;
  }
  if (lv_is_list(goal)) {
    *arity = 2;
    return lv_list_cells(goal);
  }
  *arity = 0;
  return nullptr;
}

// A walk over table order (by_key false) or over a key chain.
lv_db_clause* step(lv_db_clause* c, bool by_key) { return by_key ? lv_clause_key_next(c) : lv_clause_next(c); }

// The first clause from c on that the call of generation g sees.
lv_db_clause* visible_from(lv_db_clause* c, bool by_key, uint32_t g, const filter* f) {
  for (; c != nullptr; c = step(c, by_key)) {
    if (!lv_clause_alive(c)) lv_db.skipped_erased++;
    if (lv_clause_visible(c, g) && passes(c, f)) return c;
  }
  return nullptr;
}

// Of the two walks' candidates, the one with the lower seq goes first; the
// walk it came from moves on.
lv_db_clause* take(lv_db_clause** key, lv_db_clause** var, bool key_by_key, uint32_t g, const filter* f) {
  lv_db_clause* k = *key;
  lv_db_clause* v = *var;
  if (k != nullptr && (v == nullptr || lv_small_value(k->seq) < lv_small_value(v->seq))) {
    *key = visible_from(step(k, key_by_key), key_by_key, g, f);
    return k;
  }
  if (v != nullptr) *var = visible_from(step(v, true), true, g, f);
  return v;
}

// The called dynamic predicate itself (call kind ENTER_INTERPRETED), or a
// table reference that $current_clauses handed out.
lv_pred* call_pred(lv_worker* w) {
  lv_term t = lv_deref(w->X[2]);
  auto* p = reinterpret_cast<lv_pred*>(t & ~uint64_t{7});
  if (!lv_is_small(t) || (p != w->called_pred && !lv_dynamic_ref_known(p))) return nullptr;
  return p;
}

}  // namespace

void lv_dynamic_call_init() {
  auto* r = static_cast<retry_record*>(lv_mem_alloc(sizeof(retry_record), lv_mem_flags(LV_CAT_TRY_NODE)));
  r->record.next = &r->record;
  r->record.target = r->code;
  r->record.last_or_end = nullptr;
  r->record.cp_size = LV_DYNAMIC_CHOICE_BYTES;
  r->record.insn = lv_opcode(LV_OP_TRY);
  r->code[0] = lv_opcode(LV_OP_RETRY_INSTANCE);
  r->code[1] = lv_opcode(LV_OP_RETRY_INSTANCE);
  lv_dynamic_retry_record = &r->record;
}

bool lv_is_dynamic_choice(const lv_term* b) {
  return lv_dynamic_retry_record != nullptr && lv_choice_view(b)->alternative() == lv_dynamic_retry_record;
}

lv_db_clause* lv_dynamic_choice_pending(const lv_dynamic_choice* cp) {
  lv_db_clause* k = word_clause(cp->key_next);
  return k != nullptr ? k : word_clause(cp->var_next);
}
uint32_t lv_dynamic_choice_generation(const lv_dynamic_choice* cp) {
  return static_cast<uint32_t>(lv_small_value(cp->generation));
}
void lv_set_dynamic_choice_generation(lv_dynamic_choice* cp, uint32_t g) {
  cp->generation = lv_make_small(static_cast<int64_t>((lv_small_value(cp->generation) & NO_FILTER) | g));
}

lv_db_clause* lv_dynamic_first_clause(lv_worker* w) {
  uint32_t g = lv_db_timestamp(w);
  lv_pred* pred = call_pred(w);
  if (pred == nullptr || lv_definition_type(pred) != LV_DEF_DYNAMIC || pred->definition == nullptr) return nullptr;
  lv_dynamic_clause_table* t = lv_dynamic_table(pred);
  unsigned arity = 0;
  const lv_term* args = goal_args(w->X[0], &arity);
  filter f;
  build_filter(args, arity, &f);
  lv_db_clause* key = nullptr;
  lv_db_clause* var = nullptr;
  lv_term first = arity > 0 ? lv_deref(args[0]) : 0;
  bool by_key = arity > 0 && !lv_is_ref(first);
  if (!by_key) {
    key = visible_from(t->first, false, g, &f);
  } else {
    const lv_term* box = lv_is_box(first) ? lv_struct_cells(first) : nullptr;
    lv_term k = principal(first, lv_is_struct(first) ? lv_struct_cells(first) : nullptr);
    key = visible_from(lv_key_chain_first(t, k, box), true, g, &f);
    var = visible_from(t->var_chain, true, g, &f);
  }
  lv_db_clause* c = take(&key, &var, by_key, g, &f);
  if (c == nullptr || (key == nullptr && var == nullptr)) return c;
  // Further candidates: the dynamic choicepoint.
  auto* cp = reinterpret_cast<lv_dynamic_choice*>(reinterpret_cast<char*>(w->B) - LV_DYNAMIC_CHOICE_BYTES);
  cp->alternative = reinterpret_cast<lv_term>(lv_try_alternative(lv_dynamic_retry_record));
  cp->local_top = lv_make_ref(w->local_top);
  cp->heap_top = lv_make_ref(w->H);
  cp->trail_top = lv_make_ref(w->TR);
  cp->env = lv_make_ref(w->E);
  cp->cont = reinterpret_cast<lv_term>(w->CP);
  for (unsigned i = 0; i < 5; i++) cp->args[i] = w->X[i];
  cp->key_next = clause_word(key);
  cp->generation = lv_make_small(static_cast<int64_t>(g | (f.used ? 0 : NO_FILTER)));
  cp->var_next = clause_word(var);
  lv_make_choice_current(w, reinterpret_cast<lv_term*>(cp));
  if (reinterpret_cast<char*>(w->B) - reinterpret_cast<char*>(w->TR) < CHOICE_ROOM_BYTES)
    lv_choice_overflow(w, LV_TRAIL_REQUEST_CELLS);
  lv_db_after_dynamic_choice(w);
  return c;
}

int lv_dynamic_next_clause(lv_worker* w, lv_db_clause** out) {
  auto* cp = reinterpret_cast<lv_dynamic_choice*>(w->B);
  uint64_t gword = static_cast<uint64_t>(lv_small_value(cp->generation));
  uint32_t g = static_cast<uint32_t>(gword);
  unsigned arity = 0;
  const lv_term* args = goal_args(cp->args[0], &arity);
  filter f;
  if ((gword & NO_FILTER) == 0) {
    build_filter(args, arity, &f);
  } else {
    f.arity = arity;
    f.used = false;
  }
  bool by_key = arity > 0 && !lv_is_ref(lv_deref(args[0]));
  lv_db_clause* key = word_clause(cp->key_next);
  lv_db_clause* var = word_clause(cp->var_next);
  lv_db_clause* c = take(&key, &var, by_key, g, &f);
  *out = c;
  if (c == nullptr || (key == nullptr && var == nullptr)) {
    lv_make_choice_current(w, lv_choice_prev(w->B));
  } else {
    cp->key_next = clause_word(key);
    cp->var_next = clause_word(var);
  }
  return c != nullptr ? 1 : 0;
}

int lv_enter_instance(lv_worker* w, lv_db_clause* clause, lv_pred** body_pred) {
  // Room for the clause, a '$ref' and Body-Ref.
  lv_term copy = lv_block_to_heap(w, lv_block_of(clause), 5, 6);
  lv_term head = lv_list_cells(copy)[0];
  lv_term body = lv_list_cells(copy)[1];
  if (!cunify(w, head, w->X[0])) return 0;
  lv_term want = lv_deref(w->X[3]);
  if (lv_is_struct(want) && lv_struct_cells(want)[0] == FUNCTOR_MINUS_2) {
    lv_term* h = w->H;
    lv_term ref = lv_register_dbref(lv_block_of(clause), &h, false);
    h[0] = FUNCTOR_MINUS_2;
    h[1] = body;
    h[2] = ref;
    w->H = h + 3;
    return cunify(w, want, lv_make_struct(h)) ? 1 : 0;
  }
  body = lv_deref(body);
  if (body == LV_ATOM_TRUE) return 1;
  w->X[0] = body;
  w->X[2] = lv_choice_offset(w, w->cut_barrier);
  *body_pred = lv_role.clause_body;
  return 2;
}
