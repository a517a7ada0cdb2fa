// The native entry stub of predicate records.
#include "jit/native_entry.h"

#include "jit/native_stub.h"
#include "store/predicates.h"

int lv_jit_trace_level;
bool lv_native_code_on;

int lv_set_native_entry(lv_pred* pred) {
  lv_write_native_trap(pred->native_stub);
  return 0;
}
