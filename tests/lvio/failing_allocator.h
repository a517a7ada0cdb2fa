// Test support: an allocator hook that refuses allocations on request, for
// the out-of-memory paths. The default hook is back at scope exit.
#pragma once

#include <cstdlib>

#include "lvio/allocator.h"

class FailingAllocator {
 public:
  // Allocations and reallocations succeed `allowed` times, then fail.
  explicit FailingAllocator(int allowed = 0) : allowed_(allowed) { lvio_set_allocator(hook, this); }
  ~FailingAllocator() { lvio_set_allocator(nullptr, nullptr); }
  FailingAllocator(const FailingAllocator&) = delete;
  FailingAllocator& operator=(const FailingAllocator&) = delete;

  void allow(int n) { allowed_ = n; }

 private:
  static void* hook(void* context, void* old, size_t size) {
    auto* self = static_cast<FailingAllocator*>(context);
    if (size == 0) {
      std::free(old);
      return nullptr;
    }
    if (self->allowed_ <= 0) return nullptr;
    self->allowed_--;
    return std::realloc(old, size);
  }
  int allowed_;
};
