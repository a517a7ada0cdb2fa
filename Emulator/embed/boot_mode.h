// The choice between the runtime, the extended runtime and the development
// system: the mode word start-up builds from the boot flags, the boot
// options and four yes/no settings, and the system mode it settles on.
#pragma once

#include <cstdint>

#include "core/term.h"

// Bits of the mode word.
enum : uint32_t {
  LV_MODE_DEVSYS = 0x1000,           // the development system is chosen
  LV_MODE_DEVSYS_FLAG = 0x2000,      // passed from the boot flags to the development system
  LV_MODE_ATTACH_IDE = 0x4000,       // attach to the IDE
  LV_MODE_SETTINGS = 0x8000,         // the development-system settings are consulted
  LV_MODE_DEVSYS_DENIED = 0x20000,   // the development system is not allowed
  LV_MODE_NO_TRACE = 0x40000,        // the development system starts without tracing
};

// Boot kinds (bits 0-1 of the boot options) and their boot files' base
// names; kind 3 is invalid.
enum : int { LV_BOOT_RUNTIME = 0, LV_BOOT_DEVSYS = 1, LV_BOOT_EXTENDED = 2, LV_BOOT_INVALID = 3 };
const char* lv_boot_base_name(int kind);

// The four settings as read: 1 yes, 0 no, -1 unset (or anything else).
struct lv_devsys_settings {
  int32_t allow_devsys;      // LV_ALLOW_DEVSYS
  int32_t attach_ide;        // LV_ATTACH_KETCH
  int32_t use_devsys;        // LV_USE_DEVSYS
  int32_t devsys_no_trace;   // LV_DEVSYS_NO_TRACE
};

// Reads them through the settings lookup (then the installation values).
lv_devsys_settings lv_read_devsys_settings();

// The mode word for the boot flags, the boot options and the settings.
uint32_t lv_boot_mode_word(uint32_t boot_flags, uint32_t boot_options, const lv_devsys_settings& settings);

// The system mode: runtime, development, or unknown while the development
// system is looked for.
lv_term lv_system_mode();
void lv_set_system_mode(lv_term mode);
// Slot 134: whether the system mode is development.
extern "C" int lv_is_development_system();
