// The state shared by the copies of the runtime library loaded into one
// process, the mutexes C code locks through the interface, and the loading
// of further copies. Each copy has its own engine and globals; a further
// copy is the file "lvrt4-9-0-instance-XX.so" (XX its number, two upper-case
// hexadecimal digits from 01) beside this library.
#pragma once

#include <pthread.h>

#include <cstdint>

#include "lorvika.h"

struct lv_multi_state {
  int64_t refcount;
  pthread_mutex_t* lock;  // re-entrant
  int64_t next_instance;
  uint64_t reserved;
};

// The shared state, made under the library's global lock when absent (start-up
// calls this); null when the C heap is exhausted.
lv_multi_state* lv_multi_state_get_or_create();
// The state this copy uses, or null before it exists.
lv_multi_state* lv_multi_state_current();

// The first call in a process answers this copy itself (module null); each
// later one loads the next instance file and hands it the shared state.
// 1, or -1.
int LV_load_lorvika_run_time(lv_dispatch_entry* entry, void** module);
// Adopts the shared state on its first call (1); every later call answers 0.
int LV_set_multi_lv_state(lv_multi_state* state);

// A mutex variable holds 0 until its first lock. These refuse to run (0,
// interface error 1) before the shared state exists.
int LV_mutex_lock(void** mutex);
int LV_mutex_unlock(void** mutex);
int LV_mutex_destroy(void** mutex);
