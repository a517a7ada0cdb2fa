// Atoms seen from C, unification and comparison of the terms that term
// references hold, the name of a variable and the debugging print of a term.
#include <cstdio>

#include "core/api_error.h"
#include "core/atoms.h"
#include "core/bind.h"
#include "core/term_compare.h"
#include "core/unify.h"
#include "embed/term_interface.h"
#include "embed/term_ref_access.h"
#include "store/call_choicepoint.h"
#include "store/static_code.h"
#include "text/debug_print.h"

namespace {

bool live_atom(lv_term atom) {
  if (lv_is_atom(atom) && atom < (lv_term{1} << 55) && lv_atom_live(atom)) return true;
  lv_set_api_error(LV_ERR_WRONG_TYPE);
  return false;
}

}  // namespace

lv_term LV_atom_from_string(const char* text) {
  if (text == nullptr) {
    lv_set_api_error(LV_ERR_NULL_TEXT);
    return 0;
  }
  lv_term atom = lv_atom_from_text(text, LV_ATOM_FIND_OR_CREATE);
  if (atom == 0) lv_set_api_error(LV_ERR_NO_ATOM);
  return atom;
}

lv_term LV_existing_atom_from_string(const char* text) {
  if (text == nullptr) return 0;
  return lv_atom_from_text(text, LV_ATOM_FIND);
}

const char* LV_string_from_atom(lv_term atom) { return live_atom(atom) ? lv_atom_text(atom) : nullptr; }

size_t LV_atom_length(lv_term atom) { return live_atom(atom) ? lv_atom_length(atom) : 0; }

int LV_unify(lv_term_ref a, lv_term_ref b) {
  if (!lv_term_ref_valid(a) || !lv_term_ref_valid(b)) return 0;
  lv_worker* w = get_current_worker();
  // Under a choicepoint of its own every binding is trailed, so a failed
  // attempt can be undone completely.
  int32_t wakeups = w->wakeup_count;
  lv_push_call_choicepoint(w, &lv_static.fail_alternative);
  int64_t mark = w->TR - w->trail_base;
  int unified = cunify(w, lv_term_ref_cell(w, a), lv_term_ref_cell(w, b));
  if (!unified) lv_undo_bindings(w, mark, wakeups);
  lv_pop_call_choicepoint(w);
  return unified ? 1 : 0;
}

int LV_compare(lv_term_ref a, lv_term_ref b) {
  if (!lv_term_ref_valid(a) || !lv_term_ref_valid(b)) return -1;
  lv_worker* w = get_current_worker();
  int order = lv_standard_order(w, lv_term_ref_cell(w, a), lv_term_ref_cell(w, b));
  return order < 0 ? -1 : order > 0 ? 1 : 0;
}

int lv_variable_to_string(lv_term_ref t, char* buffer, size_t size) {
  if (buffer == nullptr || size == 0) return 0;
  int n;
  if (!lv_term_ref_valid(t)) {
    n = std::snprintf(buffer, size, "_$");
  } else {
    lv_worker* w = get_current_worker();
    lv_term x = lv_term_ref_value(t);
    long long offset = lv_is_ref(x) ? static_cast<long long>(lv_ref_cell(x) - w->area_start) : -1;
    n = offset < 0 ? std::snprintf(buffer, size, "_$") : std::snprintf(buffer, size, "_%lld", offset);
  }
  return n >= 0 && static_cast<size_t>(n) < size ? 1 : 0;
}

void LV_write_term(lv_term_ref t) { lv_print_term_debug_nl(lv_ref_term(t)); }
