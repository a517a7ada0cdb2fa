// Module built-ins: declaring modules and their exports, imports, hiding,
// the type-in module, and questions about predicates of a module. The term
// shapes the Prolog library exchanges with them are listed in
// embed/prolog_contract.def.
#pragma once

#include "core/worker.h"

int prolog_module_decl(lv_worker* w);      // $module(Module, Exports, System, Info)
int prolog_module_boot(lv_worker* w);      // $module(Module, Exports, _)
int prolog_import_preds(lv_worker* w);     // $import_preds(Importer, Exporter, Specs)
int prolog_imported(lv_worker* w);         // $imported(Module, Head, From)
int prolog_module_hiding(lv_worker* w);    // $module_hiding(Module, Old, New)
int prolog_curmod(lv_worker* w);           // $curmod(Module, List, _)
int prolog_typein_module(lv_worker* w);    // $typein_module(Old, New)
int prolog_predicate_file(lv_worker* w);   // $predicate_file(Head, Module, File)
