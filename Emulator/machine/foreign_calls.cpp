// The call record of foreign calls: arguments in, results out.
#include "machine/foreign_calls.h"

#include <cmath>
#include <csetjmp>
#include <cstring>

#include "core/atoms.h"
#include "core/fault.h"
#include "core/memory.h"
#include "core/numbers.h"
#include "core/predefined_atoms.h"
#include "core/stack_shift.h"
#include "core/termrefs.h"
#include "core/text_lists.h"
#include "core/unify.h"
#include "machine/emulator_errors.h"
#include "machine/frames.h"
#include "machine/recovery.h"
#include "store/predicates.h"

namespace {

constexpr uint32_t TEXT_FLAGS = lv_mem_flags(LV_CAT_FOREIGN_RESOURCE);

// The bounds of a 64-bit integer as doubles: -2^63 and 2^63.
constexpr double INT64_LOW = -9223372036854775808.0;
constexpr double INT64_HIGH = 9223372036854775808.0;

// A PUSH_CODES text: {next text, the text and its NUL}.
struct text_block {
  text_block* next;
  char text[];
};
size_t text_block_size(const text_block* b) { return sizeof(text_block) + std::strlen(b->text) + 1; }

void append_arg(lv_call_record* r, uint64_t word) {
  if (r->arg_count >= LV_CALL_RECORD_SLOTS) LV_raise_fault("a foreign call with more than 256 arguments");
  r->args[r->arg_count++] = word;
}

// The next of the call's term references (one more is made when the call
// asked for too few; nothing else makes any until the function runs).
lv_term_ref take_term_ref(lv_worker* w, lv_call_record* r) {
  if (r->termref_next == r->termref_first + r->termref_count) {
    LV_new_term_ref();
    r->termref_count++;
  }
  lv_term_ref ref = r->termref_next++;
  w->termrefs[ref].term = LV_ATOM_NIL;
  return ref;
}

// An integer argument: 0, or the error code.
int32_t integer_argument(lv_term t, int64_t* out) {
  if (lv_is_small(t)) {
    *out = lv_small_value(t);
    return 0;
  }
  if (!lv_is_box(t)) return LV_ERROR_NOT_A_NUMBER;
  const lv_term* cells = lv_struct_cells(t);
  if (cells[0] == LV_BOX_INT1) {
    *out = static_cast<int64_t>(cells[1]);
    return 0;
  }
  if (!lv_box_is_float(cells[0])) return LV_ERROR_ARGUMENT_RANGE;
  double d = lv_double_from_bits(cells[1]);
  if (!(d >= INT64_LOW && d < INT64_HIGH)) return LV_ERROR_ARGUMENT_RANGE;
  *out = static_cast<int64_t>(d);  // truncated toward zero
  return 0;
}

// A float argument: 0, or the error code.
int32_t float_argument(lv_term t, double* out) {
  if (lv_is_small(t))
    *out = static_cast<double>(lv_small_value(t));
  else if (lv_is_box(t))
    *out = lv_number_to_double(t);
  else
    return LV_ERROR_NOT_A_NUMBER;
  return std::isfinite(*out) ? 0 : LV_ERROR_NOT_FINITE;
}

// A code-list argument as a text of the record: 0, or the error code.
int32_t codes_argument(lv_call_record* r, lv_term t, const char** out) {
  char* text = nullptr;
  if (lv_term_to_text(t, LV_TEXT_CODES, &text) != 1) return LV_ERROR_NOT_CODES;
  size_t length = std::strlen(text);
  auto* block = static_cast<text_block*>(lv_mem_alloc(sizeof(text_block) + length + 1, TEXT_FLAGS));
  std::memcpy(block->text, text, length + 1);
  lv_text_free(text);
  block->next = static_cast<text_block*>(r->texts);
  r->texts = block;
  *out = block->text;
  return 0;
}

// Makes sure that a box fits on the heap.
void heap_room(lv_worker* w, int64_t cells) {
  if (w->heap_hard_limit - w->H < cells) heap_overflow(w, LV_HEAP_RESERVE_CELLS, LV_LOCAL_RESERVE_CELLS);
}

// Raises an error of the call: the record is released and the foreign frame
// popped first, with the argument registers it saved back in place, so that
// the error is raised (and the handler returns, if it does) in the context
// of the predicate's caller.
int raise_for_call(lv_worker* w, lv_call_record* r, int32_t code, int64_t argument, lv_term culprit) {
  lv_foreign_release(w, r);
  lv_term* frame = w->E;
  for (uint32_t i = 0; i < r->saved_registers; i++) w->X[i] = lv_frame_view(frame)->y[i];
  lv_deallocate(w, frame);
  return lv_raise_in_predicate(w, code, r->pred, argument, culprit);
}

// A result that is no valid text: error 1283 for the result's argument.
int invalid_text(lv_worker* w, lv_call_record* r, uint32_t y) {
  return raise_for_call(w, r, LV_ERROR_INVALID_TEXT, (static_cast<int64_t>(y) - 8 * LV_FRAME_Y) / 8 + 1,
                        LV_ATOM_NIL);
}

}  // namespace

void lv_foreign_open(lv_worker* w, lv_call_record* r, const lv_pred* pred, uint32_t registers, uint32_t count,
                     void* env) {
  r->env = env;
  r->arg_count = 0;
  r->double_count = 0;
  r->result = 0;
  r->float_result = 0.0;
  r->output_count = 0;
  r->output_cursor = 0;
  r->saved_registers = registers;
  r->pred = pred;
  r->texts = nullptr;
  r->termref_first = w->termref_top;
  r->termref_count = 0;
  if (count > 0) {
    r->termref_first = static_cast<int32_t>(LV_new_term_refs(count));
    r->termref_count = static_cast<int32_t>(count);
  }
  r->termref_next = r->termref_first;
}

int lv_foreign_push(lv_worker* w, lv_call_record* r, lv_foreign_kind kind, uint32_t reg, lv_term value) {
  lv_term t = lv_deref(value);
  int32_t error = 0;
  switch (kind) {
    case LV_FOREIGN_INTEGER: {
      int64_t v = 0;
      error = integer_argument(t, &v);
      if (error == 0) append_arg(r, static_cast<uint64_t>(v));
      break;
    }
    case LV_FOREIGN_FLOAT: {
      double d = 0.0;
      error = float_argument(t, &d);
      if (error == 0) {
        if (r->double_count >= LV_CALL_RECORD_SLOTS)
          LV_raise_fault("a foreign call with more than 256 float arguments");
        r->doubles[r->double_count++] = d;
      }
      break;
    }
    case LV_FOREIGN_TERM: {
      lv_term_ref ref = take_term_ref(w, r);
      w->termrefs[ref].term = t;
      append_arg(r, static_cast<uint64_t>(ref));
      break;
    }
    case LV_FOREIGN_ATOM:
    case LV_FOREIGN_STRING:
      if (!lv_is_atom(t))
        error = LV_ERROR_NOT_AN_ATOM;
      else if (kind == LV_FOREIGN_ATOM)
        append_arg(r, t);
      else
        append_arg(r, reinterpret_cast<uint64_t>(lv_atom_text(t)));
      break;
    case LV_FOREIGN_CODES: {
      const char* text = nullptr;
      error = codes_argument(r, t, &text);
      if (error == 0) append_arg(r, reinterpret_cast<uint64_t>(text));
      break;
    }
  }
  if (error == 0) return 1;
  return raise_for_call(w, r, error, static_cast<int64_t>(reg) + 1, t);
}

void lv_foreign_push_result(lv_worker* w, lv_call_record* r, lv_foreign_kind kind) {
  if (r->output_count >= LV_CALL_RECORD_SLOTS) LV_raise_fault("a foreign call with more than 256 results");
  uint64_t& slot = r->outputs[r->output_count++];
  switch (kind) {
    case LV_FOREIGN_TERM: {
      lv_term_ref ref = take_term_ref(w, r);
      slot = static_cast<uint64_t>(ref);
      append_arg(r, slot);
      return;
    }
    case LV_FOREIGN_ATOM:
      slot = LV_ATOM_NIL;
      break;
    default:
      slot = 0;
      break;
  }
  append_arg(r, reinterpret_cast<uint64_t>(&slot));
}

int lv_foreign_invoke(lv_worker* w, lv_call_record* r, lv_foreign_function f) {
  int32_t saved_status = w->foreign_call->status;
  // An event that the function finds pending (lv_check_event) unwinds to
  // this record instead of the run's entry, which knows nothing of the call.
  lv_jump_record* previous = lv_current_recovery();
  lv_jump_record record;
  if (previous != nullptr) {
    record.type = LV_RECOVERY_RECORD_TYPE;
    record.self = &record;
    int code = _setjmp(record.buffer);
    if (code != 0) {
      lv_set_current_recovery(previous);
      w->foreign_call->status = saved_status;
      if (code != LV_UNWIND_EVENT) lv_longjmp_(previous, code);
      lv_foreign_release(w, r);
      lv_term* frame = w->E;
      for (uint32_t i = 0; i < r->saved_registers; i++) w->X[i] = lv_frame_view(frame)->y[i];
      lv_deallocate(w, frame);
      return -1;
    }
    lv_set_current_recovery(&record);
  }
  w->foreign_call->status = 1;
  f(r);
  int32_t status = w->foreign_call->status;
  w->foreign_call->status = saved_status;
  if (previous != nullptr) lv_set_current_recovery(previous);
  if (status == 0) {
    lv_foreign_release(w, r);
    return 0;
  }
  r->output_cursor = 0;
  if (w->H >= w->heap_hard_limit) heap_overflow(w, LV_HEAP_RESERVE_CELLS, LV_LOCAL_RESERVE_CELLS);
  return 1;
}

uint64_t lv_foreign_next_output(lv_call_record* r) {
  if (r->output_cursor >= r->output_count) LV_raise_fault("a foreign call reads more results than it reserved");
  return r->outputs[r->output_cursor++];
}

int lv_foreign_unify_result(lv_worker* w, lv_call_record* r, lv_foreign_kind kind, uint64_t word, uint32_t y) {
  lv_term value = 0;
  switch (kind) {
    case LV_FOREIGN_INTEGER:
      heap_room(w, 3);
      value = lv_make_integer(w, static_cast<int64_t>(word));
      break;
    case LV_FOREIGN_FLOAT:
      heap_room(w, 3);
      value = lv_make_float_box(w, lv_double_from_bits(word));
      break;
    case LV_FOREIGN_TERM: {
      // A reference the call does not own is no result.
      int64_t ref = static_cast<int64_t>(word);
      if (ref >= LV_TERMREF_RESERVED && ref < w->termref_top) value = w->termrefs[ref].term;
      break;
    }
    case LV_FOREIGN_ATOM:
      if (lv_is_atom(word) && lv_atom_live(word)) value = word;
      break;
    case LV_FOREIGN_STRING: {
      const char* text = reinterpret_cast<const char*>(word);
      value = text != nullptr ? lv_atom_from_text(text, LV_ATOM_FIND_OR_CREATE) : 0;
      if (value == 0) return invalid_text(w, r, y);
      break;
    }
    case LV_FOREIGN_CODES: {
      const char* text = reinterpret_cast<const char*>(word);
      if (text != nullptr) value = lv_text_to_code_list(w, std::strlen(text), text, LV_ATOM_NIL, LV_TEXT_CODES, 0, 0);
      if (value == 0) return invalid_text(w, r, y);
      break;
    }
  }
  // The frame is read only now: making heap room may have moved it.
  if (value == 0 || cunify(w, value, *reinterpret_cast<lv_term*>(reinterpret_cast<char*>(w->E) + y)) == 0) {
    lv_foreign_release(w, r);
    return 0;
  }
  return 1;
}

void lv_foreign_release(lv_worker* w, lv_call_record* r) {
  if (r->termref_first >= 0 && r->termref_first <= w->termref_top) LV_reset_term_refs(r->termref_first);
  r->termref_first = -1;
  r->termref_count = 0;
  auto* b = static_cast<text_block*>(r->texts);
  while (b != nullptr) {
    text_block* next = b->next;
    lv_mem_free(b, text_block_size(b), TEXT_FLAGS);
    b = next;
  }
  r->texts = nullptr;
}
