// C-defined predicates: LV_define_c_predicate and its trampoline, and the
// definition and error helpers of the runtime's own C predicates.
#include "embed/c_predicates.h"

#include <cstdarg>
#include <cstdio>

#include "core/api_error.h"
#include "core/atoms.h"
#include "core/error_codes.h"
#include "core/errors.h"
#include "core/memory.h"
#include "core/predefined_atoms.h"
#include "core/termrefs.h"
#include "embed/nesting.h"
#include "embed/queries.h"
#include "embed/term_interface.h"
#include "store/clause_list.h"

namespace {

constexpr unsigned MAX_ARITY = 255;

// An integer word as a term reference's value.
bool put_address(lv_term_ref t, const void* address) {
  return LV_put_integer(t, static_cast<int64_t>(reinterpret_cast<uintptr_t>(address))) == 1;
}

}  // namespace

int LV_define_c_predicate(const char* name, int arity, const char* module, lv_c_predicate_fn function, void* stash) {
  lv_module* m = lv_typein_module();
  if (module != nullptr && module[0] != '\0') {
    lv_term module_atom = lv_atom_from_text(module, LV_ATOM_FIND);
    m = module_atom != 0 ? find_module(module_atom, 0) : nullptr;
  }
  if (m == nullptr || name == nullptr) return 0;
  lv_term name_atom = lv_atom_from_text(name, LV_ATOM_FIND_OR_CREATE);
  if (name_atom == 0) return 0;
  if (arity < 0 || arity > static_cast<int>(MAX_ARITY) || function == nullptr) return 0;
  LV_register_atom(name_atom);
  auto* record = static_cast<lv_c_predicate_record*>(LV_malloc(sizeof(lv_c_predicate_record)));
  if (record == nullptr) {
    LV_unregister_atom(name_atom);
    return 0;
  }
  *record = {name_atom, arity, 0, function, stash};

  lv_term_ref mark = LV_new_term_refs(0);
  lv_term_ref args = LV_new_term_refs(5);
  bool built = LV_put_atom(args, name_atom) == 1 && LV_put_integer(args + 1, arity) == 1 &&
               LV_put_atom(args + 2, m->name) == 1 &&
               put_address(args + 3, reinterpret_cast<const void*>(&lv_c_predicate_trampoline)) &&
               put_address(args + 4, record);
  int result = 0;
  if (built) {
    lv_pred* define = LV_predicate("fli_define_stash_predicate", 5, "prolog");
    lv_nest_enter();
    result = define != nullptr ? LV_query_cut_fail(define, args, args + 1, args + 2, args + 3, args + 4) : 0;
    lv_nest_leave();
  }
  LV_reset_term_refs(mark);
  if (result == 1) return 1;
  lv_set_api_error(LV_ERR_UNKNOWN);
  LV_free(record);
  LV_unregister_atom(name_atom);
  return 0;
}

void lv_c_predicate_trampoline(lv_call_record* call) {
  lv_worker* w = get_current_worker();
  const auto* record = static_cast<const lv_c_predicate_record*>(call->env);
  lv_term_ref mark = LV_new_term_refs(0);
  lv_term_ref goal = LV_new_term_ref();
  int32_t remembered = w->foreign_call->status;
  bool built;
  if (record->arity == 0) {
    built = LV_put_atom(goal, record->name) == 1;
  } else {
    // The argument references are consecutive from the first one.
    lv_term_ref refs[MAX_ARITY];
    lv_term_ref first = static_cast<lv_term_ref>(call->args[0]);
    for (int32_t i = 0; i < record->arity; i++) refs[i] = first + i;
    built = LV_cons_functor_array(goal, record->name, record->arity, refs) == 1;
  }
  if (!built) {
    LV_reset_term_refs(mark);
    w->foreign_call->status = 0;
    return;
  }
  w->foreign_call->status = 1;
  int answer = record->function(goal, record->stash);
  LV_reset_term_refs(mark);
  if (w->foreign_call->status == 0) return;
  w->foreign_call->status = answer == 1 ? remembered : 0;
}

lv_pred* lv_define_c_function_predicate(const char* name, unsigned arity, lv_module* module, int install,
                                        lv_builtin_function function) {
  lv_term name_atom = lv_atom_from_text(name, LV_ATOM_FIND_OR_CREATE);
  if (name_atom == 0) return nullptr;
  lv_pred* p = lv_lookup_predicate(module != nullptr ? module : lv_prolog_module(), name_atom, arity, LV_LOOKUP_CREATE);
  if (p == nullptr) return nullptr;
  lv_clear_definition(p);
  if (install != 0) {
    p->definition = reinterpret_cast<void*>(function);
    update_exports(p, LV_DEF_C);
  }
  return p;
}

void lv_raise_formatted_error(const char* format, ...) {
  char message[2048];
  va_list args;
  va_start(args, format);
  int n = std::vsnprintf(message, sizeof message, format, args);
  va_end(args);
  if (n < 0 || static_cast<size_t>(n) >= sizeof message) message[0] = '\0';
  lv_set_pending_error(LV_ERROR_SYSTEM, message, LV_ATOM_NIL);
}
