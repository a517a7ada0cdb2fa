// The queue handlers of Boolean implications, disequations and clause
// watchers are not written yet: each raises a
// system error, so that no item is mistaken for served.
#include "kernel/errors.h"
#include "kernel/propagation.h"

namespace {

int not_built(lv_foreign_env* env, const char* what) {
  fd_raise_system_error(env, what);
  return -1;
}

}  // namespace

int fd_implication_handler(lv_foreign_env* env, lv_term) { return not_built(env, "implication handler not implemented"); }
int fd_disequation_handler(lv_foreign_env* env, lv_term) { return not_built(env, "disequation handler not implemented"); }
int fd_watcher_handler(lv_foreign_env* env, lv_term, lv_term) { return not_built(env, "watcher handler not implemented"); }
