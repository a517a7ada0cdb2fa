// Fatal faults and the abort record.
#include "core/fault.h"

#include <cstdlib>

#include "core/memory.h"
#include "streams/diagnostics.h"

namespace {

lv_jump_record* abort_env;

}  // namespace

void lv_set_abort_env(lv_jump_record* record) { abort_env = record; }

lv_jump_record* lv_get_abort_env() { return abort_env; }

void lv_longjmp_(lv_jump_record* record, int status) { longjmp(record->buffer, status); }

void LV_raise_fault(const char* message) {
  lv_jump_record* record = abort_env;
  if (record == nullptr) {
    // errprintf starts the text on a new line.
    errprintf(3, "! %s\n", message);
    std::exit(-1);
  }
  // Unregister first, so that a fault during recovery cannot jump here again.
  abort_env = nullptr;
  lv_longjmp_(record, 3);
}

void lv_memory_fault(const char*, int32_t category) {
  lv_mem_set_culprit(category);
  LV_raise_fault("Resource error: insufficient memory");
}

void lv_resource_fault(const char* message, int32_t category) { lv_memory_fault(message, category); }
