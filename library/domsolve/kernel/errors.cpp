// Raising errors through the C interface.
#include "kernel/errors.h"

#include <cstdio>

#include "kernel/foreign_predicates.h"

namespace {

lv_term_ref term(lv_foreign_env* env, const char* name, int arity, const lv_term_ref* arguments) {
  lv_term_ref t = fd_rt::new_term_ref(env);
  fd_rt::cons_functor(env, t, fd_rt::atom(env, name), arity, arguments);
  return t;
}

lv_term_ref atom_term(lv_foreign_env* env, const char* text) {
  lv_term_ref t = fd_rt::new_term_ref(env);
  fd_rt::put_string(env, t, text);
  return t;
}

}  // namespace

void fd_raise_system_error(lv_foreign_env* env, const char* message) {
  lv_term_ref first = fd_rt::new_term_ref(env);
  fd_rt::put_string(env, first, "system_error");
  lv_term_ref text = atom_term(env, message);
  lv_term_ref args[2] = {first, term(env, "system_error", 1, &text)};
  fd_rt::raise_exception(env, term(env, "error", 2, args));
  fd_rt::reset_term_refs(env, first);
}

void fd_raise_type_error(lv_foreign_env* env, const char* type, lv_term_ref culprit, const char* name, int arity,
                         const lv_term_ref* arguments, int argno) {
  lv_term_ref goal_args[16];
  lv_term_ref first = fd_rt::new_term_ref(env);
  for (int i = 0; i < arity && i < 16; i++) {
    if (arguments[i] >= 0) {
      goal_args[i] = arguments[i];
    } else {
      goal_args[i] = fd_rt::new_term_ref(env);
      fd_rt::put_variable(env, goal_args[i]);
    }
  }
  lv_term_ref qualified[2] = {atom_term(env, "domsolve"), term(env, name, arity, goal_args)};
  lv_term_ref number = fd_rt::new_term_ref(env);
  fd_rt::put_integer(env, number, argno);
  lv_term_ref type_atom = atom_term(env, type);
  lv_term_ref formal_args[2] = {type_atom, culprit};
  lv_term_ref context_args[4] = {term(env, ":", 2, qualified), number, type_atom, culprit};
  lv_term_ref error_args[2] = {term(env, "type_error", 2, formal_args), term(env, "type_error", 4, context_args)};
  fd_rt::raise_exception(env, term(env, "error", 2, error_args));
  fd_rt::reset_term_refs(env, first);
}

void fd_not_implemented(lv_foreign_env* env, int index) {
  char message[96];
  std::snprintf(message, sizeof message, "%s/%d is not implemented", fd_foreign_names[index],
                fd_foreign_arities[index]);
  fd_raise_system_error(env, message);
}
