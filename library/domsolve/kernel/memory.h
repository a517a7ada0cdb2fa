// Memory for the solver's C blocks, over the runtime's allocator, and
// scratch buffers.
#pragma once

#include <cstddef>
#include <cstdint>

#include "kernel/runtime.h"

inline void* fd_malloc(const lv_foreign_env* env, size_t size) { return fd_rt::checkalloc(env, size, 0); }
inline void* fd_realloc(const lv_foreign_env* env, void* p, size_t size) {
  return fd_rt::checkrealloc(env, p, 1, size, 0);
}
inline void fd_free(const lv_foreign_env* env, void* p) { fd_rt::checkdealloc(env, p, 1, 0); }

// A scratch record: capacity 0 means no persistent buffer (each reserve
// allocates a fresh block that release frees); a nonzero capacity marks a
// persistent buffer that reserve grows and release leaves alone.
struct fd_scratch {
  int64_t capacity;
  void* buffer;
};
void* fd_scratch_reserve(const lv_foreign_env* env, int64_t size, fd_scratch* scratch);
void fd_scratch_release(const lv_foreign_env* env, void* p, const fd_scratch* scratch);

// size bytes (rounded up to words) from the engine's temporary number-stack
// area; they live until that area is reset.
void* fd_temp_alloc(const lv_foreign_env* env, int64_t size);

// A growable array of words from the solver allocator, for work inside one
// call. It has no destructor (engine paths may be unwound): whoever made it
// frees it with fd_words_free on every way out.
struct fd_words {
  uint64_t* data;
  int64_t count;
  int64_t capacity;
};
inline void fd_words_init(fd_words* a) { *a = fd_words{nullptr, 0, 0}; }
void fd_words_push(const lv_foreign_env* env, fd_words* a, uint64_t word);
// Room for n words, count set to n (contents undefined).
void fd_words_resize(const lv_foreign_env* env, fd_words* a, int64_t n);
void fd_words_free(const lv_foreign_env* env, fd_words* a);
