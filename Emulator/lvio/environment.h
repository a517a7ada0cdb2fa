// The layer's private environment and environment blocks.
//
// An entry is one string in the name-value form: the name, a NUL, the value
// and a NUL. An environment block is one lvio_alloc allocation that begins
// with a null-terminated array of entry pointers and continues with the
// entries they point into; its size in bytes travels with it.
//
// The private environment holds the settings made while the runtime runs
// (the -D items of the initial options among them). It comes before the
// process environment in setting lookups and in the environment of child
// processes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "lvio/result_codes.h"

inline const char* lvio_entry_value(const char* entry) { return entry + std::strlen(entry) + 1; }
inline size_t lvio_entry_size(const char* entry) {
  size_t name = std::strlen(entry) + 1;
  return name + std::strlen(entry + name) + 1;
}

// Stores or replaces a setting in the private environment. Setting a name to
// the value it has changes nothing. LVIO_E_NOT_FOUND before the private
// environment exists (before the layer's environment module has started),
// LVIO_E_PARAMETER_ERROR for a null name or value, LVIO_E_OUT_OF_MEMORY.
[[nodiscard]] lvio_code lvio_setting_set(const char* name, const char* value);

// A setting of the private environment only, copied as lvio_setting_get
// does; LVIO_E_NOT_FOUND.
[[nodiscard]] lvio_code lvio_private_environment_lookup(const char* name, char* buffer, size_t* size);

// The private environment as a block, built and cached when absent. Flag 1
// lends the cached block (valid until the next setting change); otherwise
// the block is handed over to the caller, who frees it with lvio_free.
[[nodiscard]] lvio_code lvio_private_environment_block(char*** block, size_t* size, uint32_t flags);

// Flag 2: a fresh snapshot of the process environment for the caller to
// free (flags 1 and 4 are not allowed with it). Flag 1: the kept snapshot,
// lent (flag 4 refreshes it first); LVIO_E_INVALID_STATE, with a null block,
// when none is kept. Neither: LVIO_E_PARAMETER_ERROR. Size may be null.
[[nodiscard]] lvio_code lvio_environment_snapshot(char*** block, size_t* size, uint32_t flags);

// Packs a null-terminated list of strings into a block. Flag 1: the strings
// are NAME=VALUE texts, each split at its first "=" (a text without "=", or
// beginning with one, is LVIO_E_PARAMETER_ERROR); otherwise they are entries.
[[nodiscard]] lvio_code lvio_environment_pack(const char* const* list, char*** block, size_t* size, uint32_t flags);

// The entries of a then b (either may be null) in one new block, ordered by
// name; names compare as lvio_name_compare does and equal names keep their
// packing order. Unless flag 1, only the first entry of each name is kept.
// Flag 4 restores the packing order (flag 2, name order, is the default;
// both: LVIO_E_PARAMETER_ERROR). Flag 8 turns each entry into NAME=VALUE and
// drops entries whose name contains "=".
[[nodiscard]] lvio_code lvio_environment_merge(char* const* a, size_t a_size, char* const* b, size_t b_size,
                                               char*** out, size_t* out_size, uint32_t flags);

// Flag 1: a copy of a packed block, its pointers relocated. Otherwise the
// block is a null-terminated list of entries, packed anew.
[[nodiscard]] lvio_code lvio_environment_copy(char* const* block, size_t size, char*** out, size_t* out_size,
                                              uint32_t flags);

// The environment of a child process: the private entries, then the process
// environment's, a name set twice given by its first entry (so a private
// setting wins). Flag 2 leaves out the process environment, flag 4 the
// private one; flag 16 refreshes the process-environment snapshot first.
// Flag 1 keeps duplicate names, flag 8 gives NAME=VALUE entries. With a null
// block nothing is handed out and the size reported is 0.
[[nodiscard]] lvio_code lvio_environment_build(char*** block, size_t* size, uint32_t flags);

// The environment step of the layer's start (flags bit 0 clear) and stop
// (bit 0 set): start takes the process-environment snapshot, creates the
// private environment, stores the installed override settings in it (the
// first of a name wins, as in lookups) and uninstalls the override table;
// stop frees all of it.
[[nodiscard]] lvio_code lvio_environment_module(uint32_t flags);
