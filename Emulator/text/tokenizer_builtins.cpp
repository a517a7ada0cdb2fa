// $read_token and $add_char_conversion.
#include "text/tokenizer_builtins.h"

#include "core/atoms.h"
#include "core/errors.h"
#include "core/flag_builtins.h"
#include "core/predefined_atoms.h"
#include "core/unify.h"
#include "streams/std_streams.h"
#include "streams/stream.h"
#include "text/char_conversion.h"
#include "text/tokenizer.h"

namespace {

constexpr int32_t CODE_MAX = 0x7fffffff;

// A character argument: -1 for end of file (and any negative value); a
// value beyond the code points (a big integer among them) reads as the
// largest, an illegal character. False for a term that is no integer.
bool char_arg(lv_term t, int32_t* c) {
  t = lv_deref(t);
  if (lv_is_small(t)) {
    int64_t v = lv_small_value(t);
    *c = v < 0 ? -1 : v > CODE_MAX ? CODE_MAX : static_cast<int32_t>(v);
    return true;
  }
  if (lv_is_integer_box(t)) {
    const lv_term* cells = lv_struct_cells(t);
    uint64_t words = lv_box_value_words(cells[0]);
    *c = static_cast<int64_t>(cells[words]) < 0 ? -1 : CODE_MAX;
    return true;
  }
  return false;
}

bool code_arg(lv_term t, int32_t* c) {
  t = lv_deref(t);
  if (!lv_is_small(t)) return false;
  int64_t v = lv_small_value(t);
  if (v < 0 || v > CODE_MAX) return false;
  *c = static_cast<int32_t>(v);
  return true;
}

}  // namespace

int prolog_read_token(lv_worker* w) {
  int32_t c = -1;
  if (!char_arg(w->X[0], &c)) return 0;
  lv_term state_arg = lv_deref(w->X[1]);
  int32_t state = 0;
  lv_term prompt = 0;
  if (lv_is_small(state_arg)) {
    int64_t v = lv_small_value(state_arg);
    state = v == 1 || v == LV_TOKEN_STATE_PREFIX ? static_cast<int32_t>(v) : 0;
  } else if (lv_is_atom(state_arg)) {
    prompt = state_arg;
  } else {
    return 0;
  }
  lv_stream* s = lv_streams.current_input;
  if (s == nullptr) return 0;
  lv_token t;
  lv_read_token(w, s, c, state, prompt, 6, &t);
  if (t.error != 0) {
    lv_raise_lvio_error(t.error, false, lv_stream_term(s));
    return lv_raise_builtin_error(w, LV_ATOM_PROLOG, lv_atom_from_text("$read_token", LV_ATOM_FIND_OR_CREATE), 6,
                                  0);
  }
  return cunify(w, w->X[2], t.token) && cunify(w, w->X[3], lv_make_small(t.next)) &&
         cunify(w, w->X[4], lv_make_small(t.status)) && cunify(w, w->X[5], lv_make_small(t.line));
}

int prolog_add_char_conversion(lv_worker* w) {
  int32_t in = 0;
  int32_t out = 0;
  if (!code_arg(w->X[0], &in) || !code_arg(w->X[1], &out)) return 0;
  return lv_char_conversion_set(in, out);
}

void lv_reset_reader_flags() {
  lv_flags.char_conversion = LV_ATOM_ON;
  lv_char_conversion_clear();
}
