// The system built-ins: platform descriptions, settings, the saved-state
// version check, message digests, memory primitives for foreign-memory
// libraries, counters, debugging hooks and the built-in table's search and
// dump (table lv_system_builtins).
#pragma once

#include <cstdint>
#include <cstdio>

#include "core/builtins.h"
#include "core/worker.h"

// The system version number that $version/1 accepts from a saved state.
constexpr int64_t LV_SYSTEM_VERSION_NUMBER = 1040900;

lv_builtin_table lv_system_builtins();

// Start-up: counters and debug settings to zero, the yes/no setting
// LV_RECORD_IS_DIRECTIVES read (default yes), the statistics' base times.
void lv_system_builtins_reset();

// Prints records in the dump format of $dump_pred_table on out.
void lv_dump_builtin_records(FILE* out, const lv_builtin* records, size_t count);

int prolog_version(lv_worker* w);
int prolog_message_digest(lv_worker* w);
int prolog_pred_table_search(lv_worker* w);
int prolog_pred_table_entry(lv_worker* w);
int prolog_bump_counter(lv_worker* w);
