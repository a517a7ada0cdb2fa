// The top level's loop: prolog:reboot/2 runs the top level and binds its
// second argument to the exit code. A fatal fault jumps back here; its
// message is printed and the top level starts again, told so by the mode 3.
#include <csetjmp>

#include "frontend.h"
#include "frontend_runtime.h"

namespace {

constexpr int RESERVED_ABORT = 3;
constexpr int RESERVED_HALT = 4;

// The outcome of one pass of reboot/2.
int pass_exit_code(int result, lv_term_ref t1, lv_term_ref t2) {
  int64_t code;
  if (result == 1 && rt::get_integer(t2, &code) != 0) return static_cast<int>(code);
  if (result == -1 && rt::exception_term(t1) == 1) {
    int halt_code = 0;
    switch (rt::decode_reserved_exception(t1, &halt_code)) {
      case RESERVED_ABORT: return 1;
      case RESERVED_HALT: return halt_code;
      default:
        rt::errprintf(1, "Lorvika Internal error: uncaught exception term in main");
        return 1;
    }
  }
  return 1;
}

}  // namespace

int frontend_run_toplevel() {
  volatile int mode = 2;
  lv_jump_record record;
  record.type = LV_ABORT_RECORD_TYPE;
  record.self = &record;
  int code;
  for (;;) {
    if (setjmp(record.buffer) != 0) {
      const char* message = rt::abort_err();
      rt::errprintf(1, "! %s\n", message != nullptr ? message : "");
      mode = 3;
      continue;
    }
    rt::set_abort_env(&record);
    lv_term_ref t1 = rt::new_term_ref();
    lv_term_ref t2 = rt::new_term_ref();
    rt::put_integer(t1, mode);
    rt::put_variable(t2);
    int result = rt::query(rt::predicate("reboot", 2, "prolog"), t1, t2);
    code = pass_exit_code(result, t1, t2);
    break;
  }
  rt::set_abort_env(nullptr);
  return code;
}
