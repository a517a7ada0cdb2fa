// A tool-interface plug-in for the tests: it logs the events it is told of,
// and on load installs a hook through the C interface of the env it is
// given, which logs the events of native code and compilations with their
// arguments. The tests read the log through lvti_test_log.
#include <cstdint>
#include <cstring>

#include "lorvika.h"

namespace {

struct lvti_test_log_record {
  int loads, unloads, hook_events;
  uint64_t last_event, last_count;
  char last_name[64];
  uint64_t last_arity;
  int records_well_formed;  // every record seen had size 48 and was active with an env, or inactive after shutdown
  int hook_installed;       // what LV_install_lvti_hook answered
};
lvti_test_log_record log_record;

void check(const lvti_record* r, bool active) {
  if (r->size != 48 || r->active != (active ? 1u : 0u) || (active && r->env == nullptr)) log_record.records_well_formed = 0;
}

void hook(lvti_record* r, void*) {
  check(r, true);
  log_record.hook_events++;
  log_record.last_event = r->event;
  log_record.last_count = r->argument_count;
  if (r->argument_count >= 3 && r->arguments != nullptr) {
    std::strncpy(log_record.last_name, reinterpret_cast<const char*>(r->arguments[0]), sizeof log_record.last_name - 1);
    log_record.last_arity = r->arguments[1];
  }
}

}  // namespace

extern "C" {

__attribute__((visibility("default"))) void _LVTI_OnLoad(lvti_record* r, int) {
  if (log_record.loads == 0) log_record.records_well_formed = 1;
  check(r, true);
  log_record.loads++;
  log_record.last_event = r->event;
  auto install = LV_API(r->env->c_interface, LV_install_lvti_hook);
  log_record.hook_installed = install(hook, nullptr, 0);
}

__attribute__((visibility("default"))) void _LVTI_OnUnLoad(lvti_record* r, int) {
  log_record.unloads++;
  log_record.last_event = r->event;
}

__attribute__((visibility("default"))) const lvti_test_log_record* lvti_test_log() { return &log_record; }
}
