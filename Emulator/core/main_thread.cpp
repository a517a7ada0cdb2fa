// The thread that initialised the runtime.
#include "core/main_thread.h"

#include "core/thread_time.h"

namespace {

uint64_t main_thread;

}  // namespace

uint64_t lv_record_main_thread() {
  main_thread = lv_thread_id();
  return main_thread;
}

uint64_t lv_main_thread() { return main_thread; }
