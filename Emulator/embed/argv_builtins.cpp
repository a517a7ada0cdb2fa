// $argv and $set_argv: the runtime's argument vector on the Prolog side.
#include "embed/argv_builtins.h"

#include <cstring>

#include "core/atoms.h"
#include "core/builtins.h"
#include "core/error_codes.h"
#include "core/errors.h"
#include "core/memory.h"
#include "core/predefined_atoms.h"
#include "core/stack_shift.h"
#include "core/unify.h"
#include "core/worker.h"
#include "embed/argument_vector.h"

namespace {

const lv_builtin records[] = {
    LV_BUILTIN("$argv", prolog_argv, 1),
    LV_BUILTIN("$set_argv", prolog_set_argv, 1),
};

void free_texts(char** texts, int64_t n) {
  for (int64_t i = 0; i < n; i++) LV_free(texts[i]);
  LV_free(texts);
}

}  // namespace

lv_builtin_table lv_argv_builtins() { return {records, sizeof records / sizeof records[0]}; }

int prolog_argv(lv_worker* w) {
  int argc = 0;
  const char* const* argv = lv_argv(&argc);
  if (argv == nullptr) argc = 0;
  lv_heap_room(w, 2 * static_cast<int64_t>(argc), 1);
  // The vector's atoms are held by it, so finding them creates nothing and
  // cannot start an atom collection while the list is laid out.
  lv_term* h = w->H;
  for (int i = 0; i < argc; i++) {
    lv_term atom = lv_atom_from_text(argv[i], LV_ATOM_FIND);
    if (atom == 0) {
      lv_set_pending_error(LV_ERROR_ARGUMENT_NOT_ATOM, "", 0);
      return lv_raise_builtin_error(w, LV_ATOM_PROLOG, lv_atom_from_text("prolog_flag", LV_ATOM_FIND_OR_CREATE),
                                    2, 0);
    }
    h[2 * i] = atom;
    h[2 * i + 1] = lv_make_list(&h[2 * i + 2]);
  }
  lv_term list = LV_ATOM_NIL;
  if (argc > 0) {
    h[2 * argc - 1] = LV_ATOM_NIL;
    w->H = h + 2 * argc;
    list = lv_make_list(h);
  }
  return cunify(w, w->X[0], list);
}

int prolog_set_argv(lv_worker* w) {
  int64_t n = 0;
  lv_term list = lv_deref(w->X[0]);
  for (lv_term l = list; l != LV_ATOM_NIL; l = lv_deref(lv_list_cells(l)[1])) {
    if (!lv_is_list(l)) return 0;
    n++;
  }
  char** texts = static_cast<char**>(LV_malloc(static_cast<size_t>(n + 1) * sizeof(char*)));
  if (texts == nullptr) return 0;
  int64_t i = 0;
  for (lv_term l = list; l != LV_ATOM_NIL; l = lv_deref(lv_list_cells(l)[1]), i++) {
    // A text is an atom, as the C interface's text reader takes it.
    lv_term element = lv_deref(lv_list_cells(l)[0]);
    const char* text = lv_is_atom(element) ? lv_atom_text(element) : nullptr;
    texts[i] = text != nullptr ? static_cast<char*>(LV_malloc(std::strlen(text) + 1)) : nullptr;
    if (texts[i] == nullptr) {
      free_texts(texts, i);
      return 0;
    }
    std::strcpy(texts[i], text);
  }
  texts[n] = nullptr;
  int ok = LV_set_argv(static_cast<int>(n), texts, 0);
  free_texts(texts, n);
  return ok == 1 ? 1 : 0;
}
