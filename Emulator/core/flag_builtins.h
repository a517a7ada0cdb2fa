// The Prolog flags kept as process-wide atom words, the read-only system
// values, and the built-ins that read and set them.
#pragma once

#include "core/worker.h"

// One word per flag, each holding an atom.
struct lv_flag_words {
  lv_term prompt;
  lv_term char_conversion;
  lv_term double_quotes;
  lv_term unknown;
  lv_term source_info;
  lv_term syntax;
  lv_term compiling;
  lv_term quoted_charset;
  lv_term ferror;
  lv_term single_var;
  lv_term multiple;
  lv_term discontiguous;
  lv_term informational;
  lv_term generate_names_legacy;
  lv_term system_type;  // unknown, development or runtime
  lv_term version;      // the version banner atom, or 0 before start-up
  lv_term platform;     // the host platform's atom, or 0 before start-up
};
extern lv_flag_words lv_flags;

// The system type word; start-up sets it before lv_flags_init.
void lv_set_system_type(lv_term type);

// Sets every flag to its default for the current system type and makes the
// banner, prompt and platform atoms (held, so atom collection keeps them).
// Runs once for each atom table, after the table is made.
void lv_flags_init();

// Flag built-ins: (Old, New).
int prolog_prompt(lv_worker* w);
int prolog_char_conversion(lv_worker* w);
int prolog_double_quotes(lv_worker* w);
int prolog_unknown(lv_worker* w);
int prolog_source_info(lv_worker* w);
int prolog_syntax(lv_worker* w);
int prolog_compiling(lv_worker* w);
int prolog_quoted_charset_flag(lv_worker* w);
int prolog_ferror_flag(lv_worker* w);
int prolog_single_var_flag(lv_worker* w);
int prolog_multiple_flag(lv_worker* w);
int prolog_discontiguous_flag(lv_worker* w);
int prolog_informational_flag(lv_worker* w);
int prolog_generate_names_legacy_flag(lv_worker* w);
int prolog_legacy_char_classification_flag(lv_worker* w);

// Read-only values and version data.
int prolog_system_type_flag(lv_worker* w);     // $system_type_flag(Type)
int prolog_version_flag(lv_worker* w);         // $version_flag(Banner)
int prolog_version_data(lv_worker* w);         // $version_data(Major, Minor, Patch, Extra)
int prolog_os_data(lv_worker* w);              // $os_data(Kind, Family, Platform, Extra)
int prolog_tagged_integer_range(lv_worker* w); // $tagged_integer_range(Min, Max)
int prolog_window_title(lv_worker* w);         // $window_title(Old, New)
int prolog_print_compare_atom_name_statistics(lv_worker* w);
