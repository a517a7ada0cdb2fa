// The I/O layer's allocator hook.
#include "lvio/allocator.h"

#include <cstdlib>
#include <cstring>

namespace {

lvio_allocator_counts default_counts;

void* default_allocator(void* context, void* old, size_t size) {
  auto* counts = static_cast<lvio_allocator_counts*>(context);
  counts->calls.fetch_add(1, std::memory_order_relaxed);
  if (size == 0) {
    if (old == nullptr) return nullptr;
    counts->frees.fetch_add(1, std::memory_order_relaxed);
    std::free(old);
    return nullptr;
  }
  if (old != nullptr) return std::realloc(old, size);
  counts->allocations.fetch_add(1, std::memory_order_relaxed);
  return std::malloc(size);
}

// Set before other threads exist; read by all of them.
lvio_allocator_fn hook_function = default_allocator;
void* hook_context = &default_counts;

}  // namespace

lvio_code lvio_set_allocator(lvio_allocator_fn function, void* context) {
  if (function == nullptr) {
    function = default_allocator;
    context = &default_counts;
  }
  // Re-installing the same hook writes nothing: a worker thread that is
  // still finishing may be reading it.
  if (hook_function != function) hook_function = function;
  if (hook_context != context) hook_context = context;
  return 0;
}

void lvio_get_allocator(lvio_allocator_fn* function, void** context) {
  *function = hook_function;
  *context = hook_context;
}

const lvio_allocator_counts* lvio_default_allocator_counts() { return &default_counts; }

void* lvio_alloc(size_t size) { return hook_function(hook_context, nullptr, size == 0 ? 1 : size); }

void* lvio_realloc(void* pointer, size_t size) { return hook_function(hook_context, pointer, size == 0 ? 1 : size); }

void lvio_free(void* pointer) {
  if (pointer != nullptr) hook_function(hook_context, pointer, 0);
}

char* lvio_strdup(const char* text) {
  if (text == nullptr) return nullptr;
  size_t size = std::strlen(text) + 1;
  auto* copy = static_cast<char*>(lvio_alloc(size));
  if (copy != nullptr) std::memcpy(copy, text, size);
  return copy;
}

// Two 32-bit factors cannot overflow a 64-bit size.
void* lvio_zalloc(void*, unsigned items, unsigned size) { return lvio_alloc(static_cast<size_t>(items) * size); }

void lvio_zfree(void*, void* address) { lvio_free(address); }
