// Scratch buffers and temporary memory.
#include "kernel/memory.h"

#include "kernel/fdset.h"

void* fd_scratch_reserve(const lv_foreign_env* env, int64_t size, fd_scratch* scratch) {
  if (scratch->capacity == 0) return fd_rt::checkalloc(env, static_cast<size_t>(size), 0);
  if (size > scratch->capacity) {
    scratch->buffer = fd_rt::checkrealloc(env, scratch->buffer, static_cast<size_t>(scratch->capacity),
                                          static_cast<size_t>(size), 0);
    scratch->capacity = size;
  }
  return scratch->buffer;
}

void fd_scratch_release(const lv_foreign_env* env, void* p, const fd_scratch* scratch) {
  if (scratch->capacity == 0) fd_rt::checkdealloc(env, p, 1, 0);
}

void* fd_temp_alloc(const lv_foreign_env* env, int64_t size) { return fdset_alloc(env, (size - 1) / 8 + 1); }
