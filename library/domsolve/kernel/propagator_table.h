// The C propagators the Prolog level may dispatch by goal functor: 51 rows
// {name, arity, C function}, ended by a row with a null name.
#pragma once

#include <cstdint>

#include "kernel/solver_state.h"

struct fd_propagator_row {
  const char* name;
  int64_t arity;
  fd_propagator_fn function;
};

constexpr int FD_PROPAGATOR_COUNT = 51;
extern const fd_propagator_row fd_propagator_table[FD_PROPAGATOR_COUNT + 1];
