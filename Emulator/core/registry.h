// Installation values kept in configuration files, one per root: the
// current user's ($XDG_CONFIG_HOME/lorvika/4.9.0.conf, or
// ~/.config/lorvika/4.9.0.conf without XDG_CONFIG_HOME) and the machine's
// (/etc/lorvika/4.9.0.conf). Each line of a file is Key=Value, the key being
// the key path's components and the value's name joined by '/', e.g.
// "Software/Lorvika/4.9.0/LV_PATH=/opt/lorvika"; blanks around key and
// value are dropped, and empty lines and lines starting with '#' are
// skipped. The first line of a key counts. An absent file holds no values.
#pragma once

#include <cstddef>

// Root codes.
enum : int {
  LV_ROOT_CLASSES = 1,
  LV_ROOT_CURRENT_CONFIG = 2,
  LV_ROOT_CURRENT_USER = 3,
  LV_ROOT_LOCAL_MACHINE = 4,
  LV_ROOT_USERS = 5,
  LV_ROOT_PERFORMANCE_DATA = 6,
  LV_ROOT_DYN_DATA = 7,
};

// The file of a root in buffer; false when the root has none (or the path
// does not fit).
bool lv_registry_file(int root, char* buffer, size_t size);

// The value under the root, key path (a null-terminated array of component
// texts) and value name, as a new text (LV_malloc) that the caller frees
// with LV_free; null when the file, the key or the value is absent.
char* lv_registry_get_by_root(int root, const char* const* path, const char* name);

// An installation value of this version (the key path SOFTWARE, VESK,
// Lorvika, 4.9.0): the current user's first, then the machine's. The first
// value found is copied into the buffer when it fits (its length plus the
// NUL at most size) and the buffer returned; null when the value is absent
// or does not fit. Needs no memory manager: the settings readers use it.
char* lv_registry_value(const char* name, char* buffer, size_t size);
