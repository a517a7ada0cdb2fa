// Predicate handles and queries run from C.
#include "embed/queries.h"

#include "core/api_error.h"
#include "core/atoms.h"
#include "core/bind.h"
#include "core/cleanups.h"
#include "core/init_state.h"
#include "core/predefined_atoms.h"
#include "core/stack_shift.h"
#include "embed/prolog_contract.h"
#include "machine/emulator.h"
#include "machine/frames.h"
#include "store/call_choicepoint.h"
#include "store/predicates.h"
#include "store/static_code.h"

namespace {

// The query frame's words after the six saved machine words.
enum : int { GOAL = 0, MODE = 1, TERMREF_TOP = 2, FRAME_NIL = 3 };
constexpr int64_t FRAME_BYTES = 80;
// Heap cells free before the goal is built.
constexpr int64_t GOAL_ROOM = 1156;

lv_worker* worker() { return get_current_worker(); }

bool query_marker(lv_term alternative) {
  const lv_try_record* r = lv_alternative_record(alternative);
  return r == &lv_static.exit_stub->record || r == &lv_static.exit_stub_minus->record;
}

lv_query_id id_of(lv_worker* w, const lv_term* frame) {
  return static_cast<lv_query_id>(reinterpret_cast<const char*>(w->choice_base) - reinterpret_cast<const char*>(frame)) | 3;
}

// The frame address of an id, or null when the id cannot name a frame of
// the choice stack's block.
lv_term* frame_of(lv_worker* w, lv_query_id id) {
  if (w == nullptr || (id & 7) != 3) return nullptr;
  uint64_t offset = id & ~uint64_t{7};
  uint64_t block = static_cast<uint64_t>(reinterpret_cast<char*>(w->choice_base) - reinterpret_cast<char*>(w->TR));
  if (offset < FRAME_BYTES || offset > block) return nullptr;
  return reinterpret_cast<lv_term*>(reinterpret_cast<char*>(w->choice_base) - offset);
}

// Whether the frame (at or above B) is a live query frame: a choicepoint
// boundary of the stack whose alternative is a query marker. With newest
// set, no other query frame may lie between B and it.
bool live_query(lv_worker* w, lv_term* frame, bool newest) {
  for (lv_term* b = w->B; b < w->choice_base; b = lv_choice_prev(b)) {
    bool query = query_marker(lv_choice_view(b)->alt);
    if (b == frame) return query;
    if (newest && query) return false;
    if (b > frame) break;
  }
  return false;
}

// Pops the frame: the machine state of its opening comes back, the
// bindings stay.
void pop_frame(lv_worker* w, lv_term* frame) {
  const lv_choicepoint* c = lv_choice_view(frame);
  w->termref_top = static_cast<int32_t>(lv_small_value(c->args[TERMREF_TOP]));
  w->local_top = c->saved_local_top();
  w->E = c->saved_e();
  w->CP = c->saved_cp();
  lv_make_choice_current(w, frame + FRAME_BYTES / 8);
}

// The argument cell for an argument: an unbound variable outside the heap
// (a term reference or the local stack) is bound to the new cell.
void store_argument(lv_worker* w, lv_term* slot, lv_term t, const lv_term* old_top) {
  t = lv_deref(t);
  if (lv_is_ref(t)) {
    lv_term* cell = lv_ref_cell(t);
    if (cell < w->area_start || cell >= old_top) {
      *slot = lv_make_ref(slot);
      *cell = *slot;
      if (cell >= w->local_base && cell < w->saved_local_top) lv_trail_push(w, cell);
      return;
    }
  }
  *slot = t;
}

// Opens the query whose arguments are in X0..Xn-1.
lv_query_id open_with_registers(lv_worker* w, lv_pred* pred) {
  unsigned n = static_cast<unsigned>(pred->arity);
  lv_heap_room(w, GOAL_ROOM + n, n);
  lv_term* h = w->H;
  lv_term goal = pred->name;
  if (n > 0) {
    h[0] = lv_make_functor(pred->name, n);
    for (unsigned i = 0; i < n; i++) store_argument(w, &h[1 + i], w->X[i], h);
    goal = lv_make_struct(h);
    h += 1 + n;
  }
  h[0] = LV_FUNCTOR_COLON_2;
  h[1] = pred->home_module->name;
  h[2] = goal;
  w->H = h + 3;
  w->X[GOAL] = lv_make_struct(h);
  w->X[MODE] = lv_make_small(LV_ENTER_CALL);
  w->X[TERMREF_TOP] = lv_make_small(w->termref_top);
  // The last word is []: whatever X3 held may point above the heap top by now.
  w->X[FRAME_NIL] = LV_ATOM_NIL;
  lv_push_call_choicepoint(w, &lv_static.exit_stub->record);
  lv_term* frame = w->B;
  // The continuation record: the goal returns through it to the query's
  // return code.
  lv_term* record = w->local_top;
  lv_frame_view(record)->e = reinterpret_cast<lv_term>(w->E);
  lv_frame_view(record)->cp = reinterpret_cast<lv_term>(w->CP);
  w->E = record;
  w->CP = lv_exit_code;
  w->local_top = record + LV_FRAME_Y;
  lv_local_limit_check(w);
  return id_of(w, frame);
}

bool can_open(lv_pred* pred) {
  if (!lv_prolog_initialized()) {
    lv_set_api_error(LV_ERR_NOT_INITIALIZED);
    return false;
  }
  if (pred == nullptr) {
    lv_set_api_error(LV_ERR_INVALID_TERM_REF);
    return false;
  }
  return true;
}

// The argument registers for the goal of a frame being called.
lv_pred* load_goal(lv_worker* w, lv_term goal) {
  lv_term* colon = lv_struct_cells(goal);
  lv_term inner = colon[2];
  lv_term name = inner;
  unsigned n = 0;
  if (lv_is_struct(inner)) {
    lv_term* cells = lv_struct_cells(inner);
    name = lv_functor_atom(cells[0]);
    n = lv_functor_arity(cells[0]);
    for (unsigned i = 0; i < n; i++) w->X[i] = cells[1 + i];
  }
  lv_module* module = find_module(colon[1], 1);
  return lv_lookup_predicate(module, name, n, LV_LOOKUP_CREATE);
}

// Checks an id for cut and close: the live frame, null for one already
// discarded, or null with *invalid set.
lv_term* frame_to_discard(lv_worker* w, lv_query_id id, bool* invalid) {
  lv_term* frame = frame_of(w, id);
  *invalid = false;
  if (frame == nullptr) {
    *invalid = true;
  } else if (frame < w->B) {
    frame = nullptr;
  } else if (!live_query(w, frame, false)) {
    *invalid = true;
    frame = nullptr;
  }
  if (*invalid) lv_set_api_error(LV_ERR_INVALID_QUERY);
  return frame;
}

}  // namespace

lv_pred* LV_predicate(const char* name, int64_t arity, const char* module) {
  lv_term module_name = lv_typein_module() != nullptr ? lv_typein_module()->name : LV_ATOM_USER;
  if (module != nullptr && module[0] != '\0') {
    module_name = lv_atom_from_text(module, LV_ATOM_FIND_OR_CREATE);
    if (module_name == 0) {
      lv_set_api_error(LV_ERR_NO_ATOM);
      return nullptr;
    }
  }
  // Making the name's atom may collect atoms: the module's is held meanwhile.
  lv_atom_ref_inc(module_name);
  lv_term name_atom = name != nullptr ? lv_atom_from_text(name, LV_ATOM_FIND_OR_CREATE) : 0;
  lv_pred* pred = nullptr;
  if (name_atom == 0)
    lv_set_api_error(LV_ERR_NO_ATOM);
  else
    pred = LV_pred(name_atom, arity, module_name);
  lv_atom_ref_dec(module_name);
  return pred;
}

lv_pred* LV_pred(lv_term name, int64_t arity, lv_term module) {
  lv_pred* pred = nullptr;
  if (lv_is_atom(name) && lv_is_atom(module) && arity >= 0 && arity < 256) {
    lv_module* m = find_module(module, 1);
    if (m != nullptr) pred = lv_lookup_predicate(m, name, static_cast<unsigned>(arity), LV_LOOKUP_CREATE);
  }
  if (pred == nullptr) {
    lv_set_api_error(LV_ERR_NO_PREDICATE);
    return nullptr;
  }
  pred->flags |= LV_PRED_RESTORE_MARK;
  return pred;
}

lv_query_id LV_open_query_va(lv_pred* pred, va_list args) {
  if (!can_open(pred)) return 0;
  lv_worker* w = worker();
  for (int32_t i = 0; i < pred->arity; i++) {
    lv_term_ref ref = va_arg(args, lv_term_ref);
    if (!lv_term_ref_valid(ref)) return 0;
    w->X[i] = lv_term_ref_cell(w, ref);
  }
  return open_with_registers(w, pred);
}

lv_query_id LV_open_query(lv_pred* pred, ...) {
  va_list args;
  va_start(args, pred);
  lv_query_id id = LV_open_query_va(pred, args);
  va_end(args);
  return id;
}

lv_query_id LV_open_query_array(lv_pred* pred, const int* refs) {
  if (!can_open(pred)) return 0;
  lv_worker* w = worker();
  if (pred->arity > 0 && refs == nullptr) {
    lv_set_api_error(LV_ERR_INVALID_TERM_REF);
    return 0;
  }
  for (int32_t i = 0; i < pred->arity; i++) {
    if (!lv_term_ref_valid(refs[i])) return 0;
    w->X[i] = lv_term_ref_cell(w, refs[i]);
  }
  return open_with_registers(w, pred);
}

int LV_next_solution(lv_query_id id) {
  lv_worker* w = worker();
  lv_term* frame = frame_of(w, id);
  // Only the newest open query, and only a live frame: a stale id whose
  // place now holds another choicepoint is refused.
  if (frame == nullptr || frame < w->B || !live_query(w, frame, true)) {
    lv_set_api_error(LV_ERR_INVALID_QUERY);
    return -1;
  }
  lv_choicepoint* c = lv_choice_view(frame);
  w->termref_top = static_cast<int32_t>(lv_small_value(c->args[TERMREF_TOP]));
  int mode = static_cast<int>(lv_small_value(c->args[MODE]));
  c->args[MODE] = lv_make_small(LV_ENTER_FAIL);
  lv_pred* pred = nullptr;
  if (mode == LV_ENTER_CALL) {
    // The state the query was opened in: the continuation record above the
    // frame's saved local top returns to the query's return code.
    lv_term* record = c->saved_local_top();
    w->E = record;
    w->CP = lv_exit_code;
    w->local_top = record + LV_FRAME_Y;
    pred = load_goal(w, c->args[GOAL]);
  }
  int result = lv_enter_emulator_protected(w, mode, pred);
  lv_set_api_error(result == -1 ? LV_ERR_EXCEPTION : LV_ERR_NONE);
  return result;
}

int LV_cut_query(lv_query_id id) {
  lv_worker* w = worker();
  bool invalid;
  lv_term* frame = frame_to_discard(w, id, &invalid);
  if (invalid) return -1;
  if (frame == nullptr) return 1;
  if (lv_choice_view(frame)->guards_cleanups()) {
    // The cleanups of what the cut discards run first, returning through a
    // continuation record at the frame's saved local top.
    lv_make_choice_current(w, frame);
    lv_term* record = lv_choice_view(frame)->saved_local_top();
    w->E = record;
    w->CP = lv_exit_code;
    w->local_top = record + LV_FRAME_Y;
    lv_pred* run = lv_cut_run_cleanups(w, lv_kind_pred[LV_KIND_BUILTIN_TRUE]);
    lv_enter_emulator_protected(w, LV_ENTER_CALL, run);
    frame = frame_of(w, id);
    if (frame < w->B) return 1;
  }
  pop_frame(w, frame);
  return 1;
}

int LV_close_query(lv_query_id id) {
  lv_worker* w = worker();
  bool invalid;
  lv_term* frame = frame_to_discard(w, id, &invalid);
  if (invalid) return -1;
  if (frame == nullptr) return 1;
  // Backtracking into the frame undoes the query's bindings and ends at its
  // marker, which leaves the frame in place.
  lv_make_choice_current(w, frame);
  w->termref_top = static_cast<int32_t>(lv_small_value(lv_choice_view(frame)->args[TERMREF_TOP]));
  lv_enter_emulator_protected(w, LV_ENTER_FAIL, nullptr);
  frame = frame_of(w, id);
  if (frame >= w->B && query_marker(lv_choice_view(frame)->alt)) pop_frame(w, frame);
  return 1;
}

int LV_query_va(lv_pred* pred, va_list args) {
  lv_query_id id = LV_open_query_va(pred, args);
  if (id == 0) return -1;
  int result = LV_next_solution(id);
  if (result == 1)
    LV_cut_query(id);
  else
    LV_close_query(id);
  return result;
}

int LV_query(lv_pred* pred, ...) {
  va_list args;
  va_start(args, pred);
  int result = LV_query_va(pred, args);
  va_end(args);
  return result;
}

int LV_query_cut_fail_va(lv_pred* pred, va_list args) {
  lv_query_id id = LV_open_query_va(pred, args);
  if (id == 0) return -1;
  int result = LV_next_solution(id);
  LV_close_query(id);
  return result;
}

int LV_query_cut_fail(lv_pred* pred, ...) {
  va_list args;
  va_start(args, pred);
  int result = LV_query_cut_fail_va(pred, args);
  va_end(args);
  return result;
}
