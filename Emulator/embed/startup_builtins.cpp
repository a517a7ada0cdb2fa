// The built-ins of start-up and foreign resources.
#include "embed/builtin_registry.h"
#include "embed/foreign_resources.h"
#include "embed/install_paths.h"

namespace {

const lv_builtin records[] = {
    LV_BUILTIN("$lorvika_path", prolog_lorvika_path, 2),
    LV_BUILTIN("$load_foreign_resource", prolog_load_foreign_resource, 3),
    LV_BUILTIN("$unload_foreign_resource", prolog_unload_foreign_resource, 3),
    LV_BUILTIN("$prelinked_foreign_resource", prolog_prelinked_foreign_resource, 1),
    LV_BUILTIN("$foreign_resource_symbols", prolog_foreign_resource_symbols, 3),
    LV_BUILTIN("$foreign_resource_suffix", prolog_foreign_resource_suffix, 1),
    LV_BUILTIN("$LV_MAIN_PREFIX", prolog_lv_main_prefix, 1),
    LV_BUILTIN("$LV_MAINFUN_PARAMS_VERSION", prolog_lv_mainfun_params_version, 1),
};

}  // namespace

lv_builtin_table lv_startup_builtins() { return {records, sizeof records / sizeof records[0]}; }
