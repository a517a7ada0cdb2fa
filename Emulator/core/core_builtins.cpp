// The engine core's table of built-ins.
#include "core/array_builtins.h"
#include "core/atom_builtins.h"
#include "core/attribute_builtins.h"
#include "core/bdd_builtins.h"
#include "core/box_builtins.h"
#include "core/builtins.h"
#include "core/choice_builtins.h"
#include "core/copy_term.h"
#include "core/dict_builtins.h"
#include "core/flag_builtins.h"
#include "core/free_handles.h"
#include "core/gc.h"
#include "core/memory_builtins.h"
#include "core/mgu_builtins.h"
#include "core/registry_builtins.h"
#include "core/term_builtins.h"
#include "core/term_hash.h"

namespace {

const lv_builtin records[] = {
    LV_BUILTIN("garbage_collect_atoms", prolog_garbage_collect_atoms, 0),
    LV_BUILTIN("$agc_margin", prolog_agc_margin, 2),
    LV_BUILTIN("$atomic_mode", prolog_atomic_mode, 3),
    LV_BUILTIN("$replace_suffix", prolog_replace_suffix, 4),
    LV_BUILTIN("$cerror_data", prolog_cerror_data, 2),
    LV_BUILTIN("$error_message", prolog_error_message, 2),
    LV_BUILTIN("$copy_term", prolog_copy_term, 2),
    LV_BUILTIN("$acyclic", prolog_acyclic, 1),
    LV_BUILTIN("$unify_with_occurs_check", prolog_unify_with_occurs_check, 2),
    LV_BUILTIN("$term_variables_dfs", prolog_term_variables_dfs, 2),
    LV_BUILTIN("$term_attributed_variables_dfs", prolog_term_attributed_variables_dfs, 2),
    LV_BUILTIN("$subsumes_chk", prolog_subsumes_chk, 2),
    LV_BUILTIN("$compare_term_identity", prolog_compare_term_identity, 3),
    LV_BUILTIN("$compare_compound_term_age", prolog_compare_compound_term_age, 3),
    LV_BUILTIN("$eq", prolog_eq, 2),
    LV_BUILTIN("$term_hash_4_0_5", prolog_term_hash_4_0_5, 5),
    LV_BUILTIN("$trimcore", prolog_trimcore, 1),
    LV_BUILTIN("$minfo", prolog_minfo, 0),
    LV_BUILTIN("$gc_mode", prolog_gc_mode, 2),
    LV_BUILTIN("$gc_trace", prolog_gc_trace, 2),
    LV_BUILTIN("$gc_margin", prolog_gc_margin, 2),
    LV_BUILTIN("$bdd_build", prolog_bdd_build, 4),
    LV_BUILTIN("$bdd_parts", prolog_bdd_parts, 4),
    LV_BUILTIN("$bdd_store", prolog_bdd_store, 4),
    LV_BUILTIN("$bdd_negate", prolog_bdd_negate, 2),
    LV_BUILTIN("$bdd_equiv", prolog_bdd_equiv, 2),
    LV_BUILTIN("$bdd_antiv", prolog_bdd_antiv, 2),
    LV_BUILTIN("$bdd_transv", prolog_bdd_transv, 3),
    LV_BUILTIN("$bdd_type", prolog_bdd_type, 3),
    LV_BUILTIN("$bdd_univ_case", prolog_bdd_univ_case, 11),
    LV_BUILTIN("$bdd_subst_case", prolog_bdd_subst_case, 5),
    LV_BUILTIN("$bdd_subst_reset", prolog_bdd_subst_reset, 0),
    LV_BUILTIN("$bdd_subst_store", prolog_bdd_subst_store, 2),
    LV_BUILTIN("$bdd_vector_size", prolog_bdd_vector_size, 2),
    LV_BUILTIN("$save_attribute_info", prolog_save_attribute_info, 1),
    LV_BUILTIN("$get_all_attribute_modules", prolog_get_all_attribute_modules, 1),
    LV_BUILTIN("$get_attribute_modules", prolog_get_attribute_modules, 2),
    LV_BUILTIN("$get_cva", prolog_get_cva, 3),
    LV_BUILTIN("$put_cva", prolog_put_cva, 3),
    LV_BUILTIN("$disjunctive_geler", prolog_disjunctive_geler, 2),
    LV_BUILTIN("$constraint_list", prolog_constraint_list, 2),
    LV_BUILTIN("$prompt", prolog_prompt, 2),
    LV_BUILTIN("$char_conversion", prolog_char_conversion, 2),
    LV_BUILTIN("$double_quotes", prolog_double_quotes, 2),
    LV_BUILTIN("$unknown", prolog_unknown, 2),
    LV_BUILTIN("$source_info", prolog_source_info, 2),
    LV_BUILTIN("$syntax", prolog_syntax, 2),
    LV_BUILTIN("$compiling", prolog_compiling, 2),
    LV_BUILTIN("$quoted_charset_flag", prolog_quoted_charset_flag, 2),
    LV_BUILTIN("$ferror_flag", prolog_ferror_flag, 2),
    LV_BUILTIN("$single_var_flag", prolog_single_var_flag, 2),
    LV_BUILTIN("$multiple_flag", prolog_multiple_flag, 2),
    LV_BUILTIN("$discontiguous_flag", prolog_discontiguous_flag, 2),
    LV_BUILTIN("$informational_flag", prolog_informational_flag, 2),
    LV_BUILTIN("$generate_names_legacy_flag", prolog_generate_names_legacy_flag, 2),
    LV_BUILTIN("$legacy_char_classification_flag", prolog_legacy_char_classification_flag, 2),
    LV_BUILTIN("$system_type_flag", prolog_system_type_flag, 1),
    LV_BUILTIN("$version_flag", prolog_version_flag, 1),
    LV_BUILTIN("$version_data", prolog_version_data, 4),
    LV_BUILTIN("$os_data", prolog_os_data, 4),
    LV_BUILTIN("$tagged_integer_range", prolog_tagged_integer_range, 2),
    LV_BUILTIN("$large_data", prolog_large_data, 3),
    LV_BUILTIN("$array1d_new", prolog_array1d_new, 2),
    LV_BUILTIN("$array1d_nth", prolog_array1d_nth, 3),
    LV_BUILTIN("$array1d_set_length", prolog_array1d_set_length, 3),
    LV_BUILTIN("$array1d_set_nth", prolog_array1d_set_nth, 4),
    LV_BUILTIN("$array1d_dict_new", prolog_array1d_dict_new, 1),
    LV_BUILTIN("$array1d_dict_get", prolog_array1d_dict_get, 3),
    LV_BUILTIN("$array1d_dict_put", prolog_array1d_dict_put, 4),
    LV_BUILTIN("$array1d_dict_delete", prolog_array1d_dict_delete, 3),
    LV_BUILTIN("$array1d_dict_clear", prolog_array1d_dict_clear, 2),
    LV_BUILTIN("$array1d_dict_items", prolog_array1d_dict_items, 2),
    LV_BUILTIN("$print_compare_atom_name_statistics", prolog_print_compare_atom_name_statistics, 0),
    LV_BUILTIN("$nth_choicepoint", prolog_nth_choicepoint, 2),
    LV_BUILTIN("$clean_up", prolog_clean_up, 2),
    LV_BUILTIN("$zap_chpt", prolog_zap_chpt, 1),
    LV_BUILTIN("$trail_cleanup", prolog_trail_cleanup, 1),
    LV_BUILTIN("$trail_undo", prolog_trail_undo, 1),
    LV_BUILTIN("$undo_cleanup", prolog_undo_cleanup, 1),
    LV_BUILTIN("$free", prolog_free, 1),
    LV_BUILTIN("$mgu_variables", prolog_mgu_variables, 3),
    LV_BUILTIN("$window_title", prolog_window_title, 2),
    LV_BUILTIN("$w32_get_registry_value", prolog_w32_get_registry_value, 4),
};

}  // namespace

lv_builtin_table lv_core_builtins() { return {records, sizeof records / sizeof records[0]}; }
