// The initial options an embedding program gives start-up: -D settings that
// come before the process environment, and the two option flags that choose
// how the I/O layer starts.
#pragma once

#include "lorvika.h"
#include "lvio/settings.h"

// A record is valid when its format word is LV_INIT_OPTIONS_FORMAT, its
// item array is given whenever it has items, and every item is of kind 1, or
// of kind 2 with both texts.
bool lv_init_options_valid(const lv_init_options* options);

// The options as the I/O layer's override table (the item records have the
// same layout).
lvio_override_table lv_init_options_overrides(const lv_init_options* options);

// An option flag: the value "yes" of the last setting item of that name
// gives 1, "no" gives 0, any other value leaves the answer before it; the
// default stands when no item names it. Options may be null.
int lv_init_option_flag(const lv_init_options* options, const char* name, int deflt);

// The I/O layer's start flags from LVRM_21178 (default on: flag 4, the
// standard input's kind decides) and LVRM_21329_NO_STDIN_ (default off:
// flag 8, the standard input is left alone).
uint32_t lv_init_io_start_flags(const lv_init_options* options);

// Slot 122: only before start-up (else 0). A null record clears the stored
// options; an invalid one is refused (0); otherwise it is stored (1).
extern "C" int LV_set_initial_options(const lv_init_options* options);

// The stored options (null when none), and clearing them.
const lv_init_options* lv_stored_init_options();
void lv_clear_stored_init_options();
void lv_store_init_options(const lv_init_options* options);
