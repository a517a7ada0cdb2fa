// Built-ins through which the Prolog library reaches the operating system:
// the runtime current directory, absolute paths, file tests and properties,
// directories, renaming and deletion, environment paths, exit and dates.
// Most report a failure of the I/O layer by unifying their last argument
// with its result code (0 for success) and leave the error to the Prolog
// side.
#pragma once

#include "core/builtins.h"

struct lv_worker;

int prolog_unix_cd(lv_worker* w);
int prolog_set_current_dir_options(lv_worker* w);
int prolog_unix_exit(lv_worker* w);
int prolog_absolute_path(lv_worker* w);
int prolog_directory_path(lv_worker* w);
int prolog_test_file_access(lv_worker* w);
int prolog_file_type(lv_worker* w);
int prolog_create_directory(lv_worker* w);
int prolog_list_directory(lv_worker* w);
int prolog_case_normalize_path(lv_worker* w);
int prolog_delete_file(lv_worker* w);
int prolog_rename_file(lv_worker* w);
int prolog_file_property(lv_worker* w);
int prolog_split_env_path(lv_worker* w);
int prolog_get_system_property(lv_worker* w);
int prolog_get_system_properties(lv_worker* w);
int prolog_set_system_property(lv_worker* w);
int prolog_datime(lv_worker* w);
int prolog_datime_of(lv_worker* w);
int prolog_time(lv_worker* w);
int prolog_mktime(lv_worker* w);

