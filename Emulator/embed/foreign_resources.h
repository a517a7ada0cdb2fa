// Foreign resources: shared libraries (or sets of functions linked into the
// embedding program) that export one entry function and hand the runtime
// their tables of C functions, names and arities and their init and deinit
// functions. This is the native half; the Prolog library (boot/foreign.pl)
// resolves file names, keeps the declarations and defines the foreign
// predicates through the built-ins below.
#pragma once

#include <cstdint>

#include "core/worker.h"
#include "embed/dynamic_libraries.h"
#include "lorvika.h"

// One loaded resource (memory-manager category 6), on the resource list in
// loading order.
struct lv_foreign_resource {
  lv_term name;                 // the base name's atom, registered
  void* library;                // null for a prelinked resource
  lv_foreign_env env;           // handed to every function of the resource
  lv_foreign_entry entry;
  int32_t unload_started;
  int32_t reserved;
  lv_foreign_resource* next;
  lv_foreign_params params;
};
static_assert(sizeof(lv_foreign_env) == 32 && sizeof(lv_foreign_params) == 64);
static_assert(__builtin_offsetof(lv_foreign_params, functions) == 24);
static_assert(__builtin_offsetof(lv_foreign_params, deinit) == 56);

// The resource of that name atom, or null.
lv_foreign_resource* lv_find_foreign_resource(lv_term name);

// Unloads every resource still loaded (When 2, as at exit) and forgets the
// list; shutdown runs it once the Prolog side has had its turn.
void lv_unload_remaining_foreign_resources();

// Built-ins.
int prolog_load_foreign_resource(lv_worker* w);        // $load_foreign_resource(File, Module, When)
int prolog_unload_foreign_resource(lv_worker* w);      // $unload_foreign_resource(Name, Module, When)
int prolog_prelinked_foreign_resource(lv_worker* w);   // $prelinked_foreign_resource(File)
int prolog_foreign_resource_symbols(lv_worker* w);     // $foreign_resource_symbols(Name, Specs, Env)
int prolog_foreign_resource_suffix(lv_worker* w);      // $foreign_resource_suffix(Suffix)
int prolog_lv_main_prefix(lv_worker* w);               // $LV_MAIN_PREFIX(Prefix)
int prolog_lv_mainfun_params_version(lv_worker* w);    // $LV_MAINFUN_PARAMS_VERSION(Version)
