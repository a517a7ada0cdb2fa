// Per-thread CPU time and identity.
#pragma once

#include <cstdint>

// User-mode CPU time of the calling thread, in milliseconds.
uint64_t lv_thread_cpu_ms();

// The operating system's identifier of the calling thread.
uint64_t lv_thread_id();
