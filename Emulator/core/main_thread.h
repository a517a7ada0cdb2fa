// The thread that initialised the runtime.
#pragma once

#include <cstdint>

// Records the calling thread as the main thread; returns its id.
uint64_t lv_record_main_thread();
// The recorded id, 0 before it is recorded.
uint64_t lv_main_thread();
