// The plug-in's one export: the runtime's foreign-resource loader calls it
// with the resource's parameter block, on loading and again on unloading.
// It checks that the block and the runtime's interface are ones it
// understands, then hands back its tables and its init and deinit.
#include "kernel/foreign_predicates.h"
#include "kernel/solver_state.h"

namespace {

// Set by the runtime in both of its calls: the block has its full layout.
constexpr uint32_t FULL_BLOCK = 0x4;

constexpr uint32_t API_MAJOR = 0x3;
constexpr uint32_t API_MINOR_MIN = 0x1c5;

}  // namespace

extern "C" __attribute__((visibility("default"))) int lv_main_LVENV_domsolve(lv_foreign_params* block) {
  if (static_cast<uint32_t>(block->version) != LV_FOREIGN_PARAMS_VERSION || (block->flags & FULL_BLOCK) == 0) return 2;
  block->flags |= LV_FOREIGN_UNDERSTOOD;
  const lv_foreign_env* env = block->env;
  if (env == nullptr || env->c_interface == nullptr) return 1;
  uint32_t version = static_cast<uint32_t>(env->c_interface->version);
  if ((version >> 16) != API_MAJOR || (version & 0xffff) < API_MINOR_MIN) return 2;
  block->functions = reinterpret_cast<void* const*>(fd_foreign_stubs);
  block->names = fd_foreign_names;
  block->arities = fd_foreign_arities;
  block->init = reinterpret_cast<void*>(&domsolve_init);
  block->deinit = reinterpret_cast<void*>(&domsolve_deinit);
  block->flags |= LV_FOREIGN_WITH_ENV;  // every function takes the env first
  return 0;
}
