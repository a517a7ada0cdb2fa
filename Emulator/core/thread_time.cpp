// Per-thread CPU time and identity.
#include "core/thread_time.h"

#include <sys/resource.h>
#include <unistd.h>

uint64_t lv_thread_cpu_ms() {
  rusage usage;
  if (getrusage(RUSAGE_THREAD, &usage) != 0) return 0;
  return static_cast<uint64_t>(usage.ru_utime.tv_sec) * 1000 +
         static_cast<uint64_t>(usage.ru_utime.tv_usec) / 1000;
}

uint64_t lv_thread_id() { return static_cast<uint64_t>(gettid()); }
