// Fatal faults and the abort record.
#include "core/fault.h"

#include <cstdlib>

#include "core/errors.h"
#include "core/memory.h"
#include "core/predefined_atoms.h"
#include "core/settings.h"
#include "core/worker.h"
#include "machine/recovery.h"
#include "streams/diagnostics.h"

namespace {

lv_jump_record* abort_env;
int fixup_mode;

}  // namespace

void lv_set_abort_env(lv_jump_record* record) { abort_env = record; }

lv_jump_record* lv_get_abort_env() { return abort_env; }

void lv_longjmp_(lv_jump_record* record, int status) { longjmp(record->buffer, status); }

void lv_jmpbuf_fixup_init(uint32_t boot_flags) {
  fixup_mode = (boot_flags & 1) != 0 ? 2 : 1;
  if (lv_getenv_yes_no("LV_NO_JMP_BUF_FIXUP", 0) == 1) fixup_mode = 1;
}

void lv_jmpbuf_fixup_off() { fixup_mode = 0; }

int lv_jmpbuf_fixup_mode() { return fixup_mode; }

void LV_raise_fault(const char* message) {
  lv_jump_record* record = abort_env;
  if (record == nullptr || get_current_worker() == nullptr) {
    // errprintf starts the text on a new line.
    errprintf(3, "! %s\n", message);
    std::exit(-1);
  }
  lv_set_pending_error(LV_ERROR_FAULT, message, LV_ATOM_NIL);
  // Unregister first, so that a fault during recovery cannot jump here again.
  abort_env = nullptr;
  lv_longjmp_(record, 3);
}

void lv_memory_fault(const char*, int32_t category) {
  lv_mem_set_culprit(category);
  // With an abort record registered (a top level, start-up) the fault takes
  // the abort road: the record's owner reports it and goes on with a fresh
  // engine. Without one, a protected emulator run restarts from empty stacks
  // and its query fails, so that an embedding program keeps its process.
  lv_jump_record* recovery = lv_current_recovery();
  if (abort_env == nullptr && recovery != nullptr) lv_longjmp_(recovery, LV_UNWIND_REINIT);
  LV_raise_fault("Resource error: insufficient memory");
}

void lv_resource_fault(const char* message, int32_t category) { lv_memory_fault(message, category); }

void lv_exitmsg(int status) { std::exit(status); }
