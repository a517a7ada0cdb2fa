// The C functions of the plug-in's foreign predicates, declared from their
// table (foreign_predicates.def), and the registration tables the entry
// hands to the runtime.
#pragma once

#include <cstdint>

#include "kernel/runtime.h"

typedef lv_term_ref fd_t;  // a term-reference argument
typedef int64_t fd_w;      // a 64-bit word argument

#define FD_FOREIGN(index, name, arity, function, built, result, ...) \
  result function(lv_foreign_env* env, __VA_ARGS__);
#include "kernel/foreign_predicates.def"
#undef FD_FOREIGN

constexpr int FD_FOREIGN_COUNT = 103;

// A glue stub: receives the runtime's call record (word 0 the environment,
// word 3 the result, the arguments from word 5).
typedef void (*fd_glue_fn)(uint64_t* record);

// Parallel tables in registration order: names and stubs end with a null
// entry, arities with -1.
extern const char* const fd_foreign_names[FD_FOREIGN_COUNT + 1];
extern const int32_t fd_foreign_arities[FD_FOREIGN_COUNT + 1];
extern fd_glue_fn const fd_foreign_stubs[FD_FOREIGN_COUNT + 1];

// Raises the "not implemented" error of the foreign predicate with that
// registration index.
void fd_not_implemented(lv_foreign_env* env, int index);
