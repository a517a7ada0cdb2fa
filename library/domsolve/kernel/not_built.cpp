// The foreign predicates whose C functions are not written yet: each raises
// the "not implemented" error instead of failing, so that nothing mistakes
// it for an answer.
#include "kernel/foreign_predicates.h"

#define FD_NOT_BUILT_1(index, function, result, ...)
#define FD_NOT_BUILT_0(index, function, result, ...) \
  result function(lv_foreign_env* env, __VA_ARGS__) {  \
    fd_not_implemented(env, index);                    \
    return result();                                   \
  }
#define FD_FOREIGN(index, name, arity, function, built, result, ...) \
  FD_NOT_BUILT_##built(index, function, result, __VA_ARGS__)
#include "kernel/foreign_predicates.def"
#undef FD_FOREIGN
