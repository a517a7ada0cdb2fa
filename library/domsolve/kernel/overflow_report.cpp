// The overflow report: a saturated bound that reached a domain leaves a
// pending code, which every propagator exit hands to this report.
#include "kernel/solver_state.h"

int fd_report_overflow(lv_foreign_env* env, lv_term goal) {
  fd_solver_state* state = fd_state(env);
  int32_t code = state->pending_overflow;
  state->pending_overflow = FD_OVERFLOW_NONE;
  if (code == FD_OVERFLOW_NONE) return 1;
  if (state->overflow != 0) {
    // The handler is looked up when first needed: the library that defines
    // it may load the plug-in before defining it.
    if (state->overflow_handler == nullptr)
      state->overflow_handler = fd_rt::predicate(env, "overflow_action", 2, "domsolve");
    lv_term_ref g = fd_rt::new_term_ref(env);
    lv_term_ref c = fd_rt::new_term_ref(env);
    fd_termref(env, g) = goal;
    fd_rt::put_integer(env, c, code);
    int result = -1;
    if (state->overflow_handler != nullptr)
      result = fd_rt::api<fd_rt::LV_query_fn>(env, LV_SLOT_LV_query)(state->overflow_handler, g, c);
    if (result == -1) {
      lv_term_ref e = fd_rt::new_term_ref(env);
      if (!fd_rt::exception_term(env, e)) fd_rt::put_string(env, e, "DOMSOLVE Internal Error");
      fd_rt::raise_exception(env, e);
    }
    fd_rt::reset_term_refs(env, g);
  }
  fd_rt::fail(env);
  return 0;
}
