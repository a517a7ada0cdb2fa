// The I/O layer's allocator hook. All memory of the layer (and of the
// compression library it drives) comes through one process-wide function:
//   size > 0, old null      allocate
//   size > 0, old non-null  reallocate
//   size 0,   old non-null  free (returns null)
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "lvio/result_codes.h"

typedef void* (*lvio_allocator_fn)(void* context, void* old, size_t size);

// The default function's context: it counts every call, every allocation and
// every free. The counters are atomic because any thread may allocate.
struct lvio_allocator_counts {
  std::atomic<uint64_t> calls;
  std::atomic<uint64_t> allocations;
  std::atomic<uint64_t> frees;
};

// Installs the hook. A null function installs the default (malloc, realloc
// and free counting into its own counter record); the context is then
// ignored. Returns 0.
lvio_code lvio_set_allocator(lvio_allocator_fn function, void* context);

// The installed hook, for callers that need to restore it.
void lvio_get_allocator(lvio_allocator_fn* function, void** context);

// The default function's counter record.
const lvio_allocator_counts* lvio_default_allocator_counts();

// Allocates size bytes (0 is taken as 1); null on failure.
void* lvio_alloc(size_t size);
// Resizes a block (size 0 is taken as 1); null on failure, the block unchanged.
void* lvio_realloc(void* pointer, size_t size);
// Frees a block; null is ignored.
void lvio_free(void* pointer);
// A copy of the string, NUL included; null for a null string or on failure.
char* lvio_strdup(const char* text);

// The hook in the shape of the compression library's allocation callbacks
// (opaque, item count, item size) and (opaque, address).
void* lvio_zalloc(void* opaque, unsigned items, unsigned size);
void lvio_zfree(void* opaque, void* address);
