// Tables of built-in predicates written in C. Each subsystem has its table of
// records {Prolog name, C function, C name, flags}; start-up registers them.
// A built-in reads its arguments from X0, X1, ... and returns 1 (success) or
// 0 (failure).
#pragma once

#include <cstddef>
#include <cstdint>

struct lv_worker;

typedef int (*lv_builtin_function)(lv_worker* w);

struct lv_builtin {
  const char* name;
  lv_builtin_function function;
  const char* c_name;
  uint32_t flags;  // bits 0-7 arity, 17-19 module index, 20-23 determinism class
};

// Module indices of the flags word.
enum : uint32_t {
  LV_BUILTIN_PROLOG = 0,
  LV_BUILTIN_USER = 1,
  LV_BUILTIN_DOMSOLVE = 2,
  LV_BUILTIN_ALIGNMENTS = 3,
  LV_BUILTIN_STRUCTS = 4,
};

constexpr uint32_t lv_builtin_flags(unsigned arity, uint32_t module = LV_BUILTIN_PROLOG) {
  return arity | (module << 17);
}

#define LV_BUILTIN(name, function, arity) {name, function, #function, lv_builtin_flags(arity)}

struct lv_builtin_table {
  const lv_builtin* records;
  size_t count;
};

// The tables of the engine's subsystems.
lv_builtin_table lv_core_builtins();
lv_builtin_table lv_store_builtins();
lv_builtin_table lv_db_builtins();
lv_builtin_table lv_reader_builtins();
lv_builtin_table lv_os_builtins();
lv_builtin_table lv_tunnel_builtins();
lv_builtin_table lv_stream_builtins();
lv_builtin_table lv_embed_builtins();
lv_builtin_table lv_argv_builtins();
