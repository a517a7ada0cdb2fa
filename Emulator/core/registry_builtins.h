// $w32_get_registry_value(Root, Path, Name, Value): an installation value
// (core/registry.h) as an atom.
#pragma once

#include "core/worker.h"

int prolog_w32_get_registry_value(lv_worker* w);
