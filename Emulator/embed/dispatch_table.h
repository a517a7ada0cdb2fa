// The two dispatch tables as fixed binary layouts: a 24-byte header, one
// 16-byte entry per slot, then an end entry {0, 0}.
#pragma once

#include <cstddef>

#include "lorvika.h"
#include "support.h"

struct lv_c_interface_table {
  lv_api_table header;
  lv_api_entry entries[LV_C_INTERFACE_SLOT_COUNT + 1];
};

struct lv_support_table {
  lv_api_table header;
  lv_api_entry entries[LV_SUPPORT_SLOT_COUNT + 1];
};

static_assert(sizeof(lv_api_entry) == 16);
static_assert(sizeof(lv_api_table) == 24);
static_assert(sizeof(lv_dispatch) == 32);
static_assert(offsetof(lv_c_interface_table, entries) == 24);
static_assert(sizeof(lv_c_interface_table) == 0xc78);
static_assert(sizeof(lv_support_table) == 0x2e8);

extern const lv_c_interface_table lv_c_interface;
extern const lv_support_table lv_support;
