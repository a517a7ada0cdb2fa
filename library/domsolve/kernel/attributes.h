// The domain-variable attribute (fd_attribute) that the solver attaches to
// a variable in module domsolve:
//   v(1, Var, $mutable(Domain, 0), $mutable(Suspensions, 0),
//     $mutable(Count, 0), $mutable(Coreferences, 0), FailureWeight)
// Domain is the variable's value or dom(Set, Min, Max, Size); Suspensions is
// [] or $array1d(Capacity, Cells), Cells a run of Capacity list cells whose
// first Count heads are suspensions propagator(EventMask, Kind, Status,
// Item); Coreferences is the open list [Key-Attribute | _] of the variables
// kept equal up to a constant.
#pragma once

#include <cstdint>

#include "kernel/runtime.h"
#include "kernel/terms.h"

// Attribute arguments.
enum : unsigned {
  FD_ATTR_VAR = 2,
  FD_ATTR_DOMAIN = 3,
  FD_ATTR_SUSPENSIONS = 4,
  FD_ATTR_COUNT = 5,
  FD_ATTR_COREFERENCES = 6,
  FD_ATTR_WEIGHT = 7,
};

// The attribute of var: an unbound variable's existing attribute, or a
// fresh one with bounds min..max and size attached to it; the integer
// attribute v(1, N, $mutable(N, 0), 0, 0, 0, 0) of a small integer N; 0 for
// anything else. Heap room for extra more words is made too (var is kept in
// X register xreg meanwhile); the caller's other argument registers are
// left as they were.
lv_term fd_make_dvar_attribute(const lv_foreign_env* env, lv_term var, lv_term min, lv_term max, lv_term size,
                               int64_t extra, int xreg);
// The term, with an unbound variable whose domain is one value replaced by
// that value.
lv_term fd_deref_attribute(const lv_foreign_env* env, lv_term term);
// The value held in a $mutable term.
inline lv_term fd_mutable_value(lv_term mutable_term) {
  return fd_deref(fd_struct_cells(fd_deref(mutable_term))[1]);
}
// The domain of an attribute: a small integer or dom(Set, Min, Max, Size).
inline lv_term fd_attribute_domain(lv_term attribute) {
  return fd_mutable_value(fd_struct_cells(attribute)[FD_ATTR_DOMAIN]);
}
