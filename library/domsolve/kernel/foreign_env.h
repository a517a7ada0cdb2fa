// The records through which the runtime's foreign-resource loader and a
// resource meet (the layouts are fixed): the resource's environment, a copy
// of the dispatch record whose third word is the resource's own state and
// whose fourth is the engine context, and the parameter block the entry
// receives. The runtime's public header declares them; this header gives
// the same declarations to a build whose header does not have them yet.
#pragma once

#include <cstddef>
#include <cstdint>

#include "lorvika.h"

#ifndef LV_FOREIGN_PARAMS_VERSION
#define LV_FOREIGN_PARAMS_VERSION 0x30001

typedef struct lv_foreign_env {
  const lv_api_table* c_interface;
  const lv_api_table* support;
  uint64_t state;
  void* engine;
} lv_foreign_env;

typedef struct lv_foreign_params {
  uint64_t version;
  lv_foreign_env* env;
  uint32_t flags;
  uint32_t padding;
  void* const* functions;
  const char* const* names;
  const int32_t* arities;
  void* init;
  void* deinit;
} lv_foreign_params;
#endif

static_assert(sizeof(lv_foreign_env) == 32 && offsetof(lv_foreign_env, state) == 16 &&
              offsetof(lv_foreign_env, engine) == 24);
static_assert(sizeof(lv_foreign_params) == 64 && offsetof(lv_foreign_params, env) == 8 &&
              offsetof(lv_foreign_params, flags) == 16 && offsetof(lv_foreign_params, functions) == 24 &&
              offsetof(lv_foreign_params, names) == 32 && offsetof(lv_foreign_params, arities) == 40 &&
              offsetof(lv_foreign_params, init) == 48 && offsetof(lv_foreign_params, deinit) == 56);
