// The C interface's error number and messages, and exceptions seen from C.
#include "embed/api_exceptions.h"

#include <iterator>

#include "core/api_error.h"
#include "core/atoms.h"
#include "core/errors.h"
#include "core/predefined_atoms.h"
#include "embed/term_interface.h"
#include "store/db_results.h"
#include "store/predicates.h"

namespace {

const char* const messages[] = {
    "",
    "Prolog Runtime Kernel not initialized",
    "Invalid predicate definition",
    "Failed to load bootfile (lvrt.ql or lvds.ql)",
    "Predicate not found",
    "Failed to boot Prolog",
    "No or invalid query given",
    "Null string given",
    "Invalid action",
    "Invalid inquiry",
    "Uncaught exception",
    "Type error",
    "Domain error",
    "Invalid number",
    "Invalid string",
    "System error",
    "Unknown error",
    nullptr,
    "Memory Initialization Error",
};
constexpr int UNKNOWN_ERROR = 16;

lv_term atom_or(const char* text, lv_term fallback) {
  lv_term a = text != nullptr ? lv_atom_from_text(text, LV_ATOM_FIND_OR_CREATE) : 0;
  return a != 0 ? a : fallback;
}

lv_term invalid_ref_atom() { return lv_atom_from_text("$invalid_ref", LV_ATOM_FIND_OR_CREATE); }

// The term of a reference, '$invalid_ref' for an invalid one.
lv_term term_or_invalid(lv_worker* w, lv_term_ref t) {
  int saved = lv_get_api_error();
  if (lv_term_ref_valid(t)) return lv_term_ref_cell(w, t);
  lv_set_api_error(saved);
  return invalid_ref_atom();
}

}  // namespace

int LV_get_errno() { return lv_get_api_error(); }

const char* LV_error_message(int number) {
  if (number < 0 || number >= static_cast<int>(std::size(messages)) || messages[number] == nullptr)
    return messages[UNKNOWN_ERROR];
  return messages[number];
}

int LV_exception_term(lv_term_ref t) {
  if (!lv_term_ref_valid(t)) return 0;
  lv_worker* w = get_current_worker();
  lv_term e = lv_decode_pending_db_node(w);
  if (e == 0) return 0;
  lv_term_ref_cell(w, t) = e;
  return 1;
}

int LV_raise_exception(lv_term_ref t) {
  lv_worker* w = get_current_worker();
  int result = lv_raise_error_term(w, term_or_invalid(w, t));
  w->foreign_call->status = 0;
  return result;
}

void LV_fail() { get_current_worker()->foreign_call->status = 0; }

int LV_save_and_raise_error(int code, const char* message, lv_term_ref culprit, const char* name,
                            const char* module, int arity, int argno) {
  lv_worker* w = get_current_worker();
  lv_term culprit_term = culprit == 0 ? LV_ATOM_NIL : term_or_invalid(w, culprit);
  lv_set_pending_error(code, message, culprit_term);
  lv_term module_name = lv_typein_module() != nullptr ? lv_typein_module()->name : LV_ATOM_USER;
  if (module != nullptr && module[0] != '\0') module_name = atom_or(module, module_name);
  unsigned n = arity >= 0 && arity < 256 ? static_cast<unsigned>(arity) : 0;
  // The goal is built from the argument registers: those of the C call.
  int result = lv_raise_builtin_error(w, module_name, atom_or(name, LV_ATOM_EMPTY), n, argno);
  w->foreign_call->status = 0;
  return result;
}

int LV_decode_reserved_exception(lv_term_ref t, int* exit_code) {
  if (!lv_term_ref_valid(t)) return 0;
  lv_term term = lv_deref(lv_term_ref_cell(get_current_worker(), t));
  lv_term name;
  int arity;
  if (int error = lv_callable_name_arity(term, &name, &arity); error != 0) {
    lv_set_api_error(error);
    return 0;
  }
  lv_term reserved = lv_atom_from_text("$reserved", LV_ATOM_FIND);
  if (reserved == 0 || name != reserved || arity != 1) return 0;
  lv_term n = lv_deref(lv_struct_cells(term)[1]);
  if (!lv_is_small(n)) return 0;
  int64_t value = lv_small_value(n);
  int code = static_cast<int>(value & 0xFF);
  if (code != 0 && exit_code != nullptr) *exit_code = static_cast<int>(value >> 8);
  return code;
}
