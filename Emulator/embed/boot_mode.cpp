// The mode word and the system mode.
#include "embed/boot_mode.h"

#include "core/flag_builtins.h"
#include "core/predefined_atoms.h"
#include "core/settings.h"

namespace {

constexpr lv_term DEVELOPMENT = lv_predefined_atom(59);
constexpr lv_term RUNTIME = lv_predefined_atom(147);

lv_term system_mode = RUNTIME;

// A yes sets the bits and a no clears them; unset changes nothing.
uint32_t apply(uint32_t mode, int32_t setting, uint32_t bits) {
  if (setting == 1) return mode | bits;
  if (setting == 0) return mode & ~bits;
  return mode;
}

}  // namespace

const char* lv_boot_base_name(int kind) {
  switch (kind) {
    case LV_BOOT_RUNTIME: return "lvrt";
    case LV_BOOT_DEVSYS: return "lvds";
    case LV_BOOT_EXTENDED: return "lvre";
    default: return nullptr;
  }
}

lv_devsys_settings lv_read_devsys_settings() {
  return {lv_getenv_yes_no("LV_ALLOW_DEVSYS", -1), lv_getenv_yes_no("LV_ATTACH_KETCH", -1),
          lv_getenv_yes_no("LV_USE_DEVSYS", -1), lv_getenv_yes_no("LV_DEVSYS_NO_TRACE", -1)};
}

uint32_t lv_boot_mode_word(uint32_t boot_flags, uint32_t boot_options, const lv_devsys_settings& s) {
  uint32_t mode = boot_flags;
  if ((boot_options & 0x10) != 0) mode |= LV_MODE_DEVSYS;
  if ((boot_options & 0x20) != 0) mode |= LV_MODE_ATTACH_IDE;
  if ((boot_options & 0x100) != 0) mode |= LV_MODE_NO_TRACE;
  mode |= LV_MODE_SETTINGS;
  if ((boot_options & 0x80) != 0) mode |= LV_MODE_DEVSYS_DENIED;
  if (s.allow_devsys == 0) mode |= LV_MODE_DEVSYS_DENIED;
  if ((mode & LV_MODE_DEVSYS_DENIED) != 0) mode &= ~LV_MODE_SETTINGS;
  if ((mode & LV_MODE_SETTINGS) != 0) mode = apply(mode, s.attach_ide, LV_MODE_ATTACH_IDE);
  if ((mode & LV_MODE_ATTACH_IDE) != 0) mode |= LV_MODE_DEVSYS;
  if ((mode & LV_MODE_SETTINGS) != 0) mode = apply(mode, s.use_devsys, LV_MODE_DEVSYS);
  if ((mode & LV_MODE_DEVSYS) != 0) mode = apply(mode, s.devsys_no_trace, LV_MODE_NO_TRACE);
  if ((boot_flags & 1) == 0) mode &= ~LV_MODE_DEVSYS;
  return mode;
}

lv_term lv_system_mode() { return system_mode; }

void lv_set_system_mode(lv_term mode) {
  system_mode = mode;
  lv_set_system_type(mode);
}

int lv_is_development_system() { return system_mode == DEVELOPMENT ? 1 : 0; }
