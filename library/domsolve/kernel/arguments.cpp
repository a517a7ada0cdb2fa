// Argument checks of the foreign predicates.
#include "kernel/arguments.h"

#include "kernel/errors.h"

void fd_argument_error(lv_foreign_env* env, const call_site& site, int argno, const char* type) {
  fd_raise_type_error(env, type, site.args[argno - 1], site.name, site.arity, site.args, argno);
}

bool set_argument(lv_foreign_env* env, const call_site& site, int argno, fdset* set, int* kind) {
  fd_t t = site.args[argno - 1];
  bool plain;
  int k = fdset_check(fd_termref(env, t), &plain);
  if (k == FDSET_INVALID) {
    fd_argument_error(env, site, argno, "fdset");
    return false;
  }
  *set = plain ? fd_deref(fd_termref(env, t)) : fdset_plain(env, fd_termref(env, t));
  if (kind != nullptr) *kind = k;
  return true;
}

bool integer_argument(lv_foreign_env* env, const call_site& site, int argno, lv_term* value) {
  *value = fd_deref(fd_termref(env, site.args[argno - 1]));
  if (fd_is_small(*value)) return true;
  fd_argument_error(env, site, argno, "integer");
  return false;
}
