// Built-ins of the atom table and of the pending error.
#include "core/atom_builtins.h"

#include <cmath>
#include <cstring>

#include "core/atom_gc.h"
#include "core/atoms.h"
#include "core/errors.h"
#include "core/memory.h"
#include "core/numbers.h"
#include "core/predefined_atoms.h"
#include "core/unify.h"
#include "lvio/result_codes.h"
#include "streams/paths.h"

namespace {

// The atom of a text, or "unknown error" when no atom can be made of it.
lv_term message_atom(const char* text) {
  lv_term atom = lv_atom_from_text(text, LV_ATOM_FIND_OR_CREATE);
  return atom != 0 ? atom : lv_atom_from_text("unknown error", LV_ATOM_FIND_OR_CREATE);
}

int sign_mode(bool negative) { return negative ? 4 : 0; }

}  // namespace

int prolog_garbage_collect_atoms(lv_worker* w) {
  lv_garbage_collect_atoms(w);
  return 1;
}

int prolog_agc_margin(lv_worker* w) {
  if (!cunify(w, w->X[0], lv_make_integer(w, lv_atom_gc_margin()))) return 0;
  lv_term fresh = lv_deref(w->X[1]);
  if (!lv_is_small(fresh)) return 0;
  lv_atom_gc_set_margin(lv_small_value(fresh));
  return 1;
}

int prolog_atomic_mode(lv_worker* w) {
  lv_term t = lv_deref(w->X[0]);
  int left = 0, right = 0;
  if (lv_is_atom(t)) {
    uint32_t wc = lv_atom_writing_class(t);
    left = (wc & LV_WC_QUOTE) ? 2 : (wc & LV_WC_SYMBOL) ? 4 : (wc & LV_WC_SOLO) ? 8 : 0;
    right = left;
  } else if (lv_is_small(t)) {
    left = sign_mode(lv_small_value(t) < 0);
  } else if (lv_is_float_box(t)) {
    double d = lv_float_value(t);
    left = sign_mode(std::signbit(d) || std::isinf(d) || std::isnan(d));
  } else if (lv_is_integer_box(t)) {
    const lv_term* cells = lv_struct_cells(t);
    left = sign_mode(static_cast<int64_t>(cells[lv_box_value_words(cells[0])]) < 0);
  }
  return cunify(w, w->X[1], lv_make_small(left)) && cunify(w, w->X[2], lv_make_small(right));
}

int prolog_replace_suffix(lv_worker* w) {
  lv_term file = lv_deref(w->X[0]);
  lv_term suffix = lv_deref(w->X[1]);
  if (!lv_is_atom(file) || !lv_is_atom(suffix)) return 0;
  const char* text = lv_atom_text(file);
  const char* dot = lv_path_extension(text);
  size_t stem = dot != nullptr ? static_cast<size_t>(dot - text) : std::strlen(text);
  lv_term old_suffix = lv_atom_from_text(dot != nullptr ? dot : "", LV_ATOM_FIND_OR_CREATE);
  if (!cunify(w, w->X[2], old_suffix)) return 0;
  size_t suffix_length = lv_atom_length(suffix);
  size_t bytes = stem + suffix_length + 1;
  char* joined = static_cast<char*>(lv_mem_alloc(bytes, lv_mem_flags(LV_CAT_MISC)));
  std::memcpy(joined, lv_atom_text(file), stem);
  std::memcpy(joined + stem, lv_atom_text(suffix), suffix_length + 1);
  lv_term result = lv_atom_from_text(joined, LV_ATOM_FIND_OR_CREATE);
  lv_mem_free(joined, bytes, lv_mem_flags(LV_CAT_MISC));
  return result != 0 && cunify(w, w->X[3], result);
}

int prolog_cerror_data(lv_worker* w) {
  return cunify(w, w->X[0], lv_make_small(lv_pending_error_code())) &&
         cunify(w, w->X[1], message_atom(lv_pending_error_message()));
}

int prolog_error_message(lv_worker* w) {
  lv_term code = lv_deref(w->X[0]);
  int64_t value = LVIO_E_INTERNAL_ERROR;
  if (lv_is_small(code)) {
    value = lv_small_value(code);
  } else if (lv_is_integer_box(code) && lv_struct_cells(code)[0] == LV_BOX_INT1) {
    value = static_cast<int64_t>(lv_struct_cells(code)[1]);
  }
  const char* text = value < 0 ? lvio_error_name_of(value) : "Unknown C library error";
  return cunify(w, w->X[1], message_atom(text));
}
