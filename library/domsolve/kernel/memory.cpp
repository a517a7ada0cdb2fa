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

namespace {

void reserve(const lv_foreign_env* env, fd_words* a, int64_t n) {
  if (n <= a->capacity) return;
  int64_t capacity = a->capacity == 0 ? 16 : a->capacity;
  while (capacity < n) capacity *= 2;
  size_t bytes = static_cast<size_t>(capacity) * sizeof(uint64_t);
  a->data = static_cast<uint64_t*>(a->data == nullptr ? fd_malloc(env, bytes) : fd_realloc(env, a->data, bytes));
  a->capacity = capacity;
}

}  // namespace

void fd_words_push(const lv_foreign_env* env, fd_words* a, uint64_t word) {
  reserve(env, a, a->count + 1);
  a->data[a->count++] = word;
}

void fd_words_resize(const lv_foreign_env* env, fd_words* a, int64_t n) {
  reserve(env, a, n);
  a->count = n;
}

void fd_words_free(const lv_foreign_env* env, fd_words* a) {
  if (a->data != nullptr) fd_free(env, a->data);
  fd_words_init(a);
}
