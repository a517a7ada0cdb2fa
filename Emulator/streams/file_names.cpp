// File names as the runtime opens them, and the runtime's own current
// directory.
#include "streams/file_names.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "core/memory.h"
#include "core/settings.h"
#include "lvio/allocator.h"
#include "lvio/environment.h"
#include "lvio/process_directories.h"
#include "lvio/result_codes.h"
#include "streams/paths.h"
#include "text/utf8.h"

namespace {

char* current_dir = nullptr;  // LV_malloc, normalised, ends with "/"
uint32_t dir_options = 0;

struct piece {
  const char* text;
  size_t length;
};

piece whole(const char* text) { return {text, std::strlen(text)}; }

// The pieces joined in a new LV_malloc text; null when out of memory.
char* join(std::initializer_list<piece> pieces) {
  size_t length = 0;
  for (const piece& p : pieces) length += p.length;
  char* out = static_cast<char*>(LV_malloc(length + 1));
  if (out == nullptr) return nullptr;
  char* to = out;
  for (const piece& p : pieces) {
    std::memcpy(to, p.text, p.length);
    to += p.length;
  }
  *to = '\0';
  return out;
}

// The home directory of the user (the current user for an empty name), in
// a new LV_malloc text; null when there is none.
char* home_directory(piece user) {
  if (user.length == 0) {
    const char* h = std::getenv("HOME");
    if (h != nullptr && h[0] != '\0') return join({whole(h)});
  }
  char* name = join({user});
  long hint = sysconf(_SC_GETPW_R_SIZE_MAX);
  size_t size = hint > 0 ? static_cast<size_t>(hint) : 16384;
  char* buffer = static_cast<char*>(LV_malloc(size));
  char* home = nullptr;
  if (name != nullptr && buffer != nullptr) {
    passwd entry;
    passwd* found = nullptr;
    int rc = user.length == 0 ? getpwuid_r(getuid(), &entry, buffer, size, &found)
                              : getpwnam_r(name, &entry, buffer, size, &found);
    if (rc == 0 && found != nullptr && entry.pw_dir != nullptr && entry.pw_dir[0] != '\0')
      home = join({whole(entry.pw_dir)});
  }
  LV_free(buffer);
  LV_free(name);
  return home;
}

// The directory relative names are taken against, in a new LV_malloc text:
// base when given, else the runtime current directory, else the I/O
// layer's.
char* base_directory(const char* base) {
  if (base != nullptr && base[0] != '\0') return join({whole(base)});
  if (current_dir != nullptr) return join({whole(current_dir)});
  char* dir = nullptr;
  if (lvio_get_current_directory(&dir, 0) < 0) return nullptr;
  char* out = join({whole(dir)});
  lvio_free(dir);
  return out;
}

// The leading word of a name (after its first character), up to the first
// separator; *rest is where it ends.
piece leading_word(const char* name, const char** rest) {
  const char* p = name + 1;
  while (*p != '\0' && *p != '/') p++;
  *rest = p;
  return {name + 1, static_cast<size_t>(p - (name + 1))};
}

// The name made absolute, before its components are cleaned: a new LV_malloc
// text, or null when the name fails.
char* absolute_form(const char* name, const char* base, uint32_t flags);

// The normalised form in a new LV_malloc text, or null.
char* normalize(const char* name, const char* base, uint32_t flags) {
  if (name == nullptr || lv_text_is_utf8(name) == 0) return nullptr;
  char* full = absolute_form(name, base, flags);
  if (full == nullptr) return nullptr;
  if (full[0] != '/') {  // no root
    LV_free(full);
    return nullptr;
  }
  size_t n = std::strlen(full);
  // The result is never longer than the name plus a closing "/" or ".".
  char* result = static_cast<char*>(LV_malloc(n + 3));
  if (result == nullptr) {
    LV_free(full);
    return nullptr;
  }
  size_t r = 0;
  result[r++] = '/';
  bool ok = true;
  for (size_t i = 1; i < n && ok;) {
    while (i < n && full[i] == '/') i++;
    size_t start = i;
    while (i < n && full[i] != '/') i++;
    size_t length = i - start;
    if (length == 0 || (length == 1 && full[start] == '.')) continue;
    if (length == 2 && full[start] == '.' && full[start + 1] == '.') {
      if (r == 1) {
        ok = false;  // above the root
        break;
      }
      r--;  // the separator after the last component
      while (result[r - 1] != '/') r--;
      continue;
    }
    std::memcpy(result + r, full + start, length);
    r += length;
    if (i < n) result[r++] = '/';
  }
  LV_free(full);
  while (ok && r > 1 && result[r - 1] == '/') r--;
  if (ok && r == 1) {
    if ((flags & LV_NAME_DIRECTORY) == 0) {
      if ((flags & LV_NAME_ROOT_DOT) != 0)
        result[r++] = '.';
      else if ((flags & LV_NAME_ROOT_OK) == 0)
        ok = false;
    }
  } else if (ok && (flags & LV_NAME_DIRECTORY) != 0) {
    result[r++] = '/';
  }
  if (!ok) {
    LV_free(result);
    return nullptr;
  }
  result[r] = '\0';
  return result;
}

char* absolute_form(const char* name, const char* base, uint32_t flags) {
  if (name[0] == '$' && (flags & LV_NAME_NO_VARIABLE) == 0) {
    const char* rest;
    piece variable = leading_word(name, &rest);
    if (variable.length == 0) return nullptr;
    char* variable_name = join({variable});
    if (variable_name == nullptr) return nullptr;
    char* value = lv_get_property_text_default(variable_name, nullptr, nullptr);
    LV_free(variable_name);
    if (value == nullptr) return nullptr;
    char* dir = value[0] != '\0' ? normalize(value, base, flags | LV_NAME_DIRECTORY | LV_NAME_NO_VARIABLE) : nullptr;
    LV_free(value);
    if (dir == nullptr) return nullptr;
    char* full = join({whole(dir), whole(rest)});
    LV_free(dir);
    return full;
  }
  if (name[0] == '~' && (flags & LV_NAME_NO_HOME) == 0) {
    const char* rest;
    char* home = home_directory(leading_word(name, &rest));
    if (home == nullptr) return nullptr;
    char* full = join({whole(home), {"/", 1}, whole(rest)});
    LV_free(home);
    return full;
  }
  if (name[0] == '/') return join({whole(name)});
  if ((flags & LV_NAME_ABSOLUTE) != 0) return nullptr;
  char* dir = base_directory(base);
  if (dir == nullptr) return nullptr;
  size_t n = std::strlen(dir);
  bool separated = n > 0 && dir[n - 1] == '/';
  char* full = join({{dir, n}, {"/", separated ? 0u : 1u}, whole(name)});
  LV_free(dir);
  return full;
}

}  // namespace

char* lv_normalize_file_name(const char* name, const char* base, uint32_t flags) {
  return normalize(name, base, flags);
}

char* lv_expand_relative(const char* name, const char* base, uint32_t flags) {
  if (base == nullptr) return normalize(name, nullptr, flags);
  char* dir = normalize(base, nullptr, LV_NAME_DIRECTORY);
  if (dir == nullptr) return nullptr;
  char* result = normalize(name, dir, flags);
  LV_free(dir);
  return result;
}

uint32_t lv_current_dir_options() { return dir_options; }
void lv_set_current_dir_options(uint32_t options) { dir_options = options; }
const char* lv_current_dir() { return current_dir; }

void lv_clear_current_dir() {
  LV_free(current_dir);
  current_dir = nullptr;
}

int64_t LV_set_current_dir(const char* dir) {
  uint32_t options = dir_options;
  int32_t allow = lv_getenv_yes_no("LV_ALLOW_CHDIR", -1);
  if (allow == 1) options &= ~1u;
  if (allow == 0) options |= 1u;
  if (dir == nullptr || lv_text_is_utf8(dir) == 0) return LVIO_E_ENCODING_INVALID;
  char* path = lv_normalize_file_name(dir, nullptr, LV_NAME_DIRECTORY);
  if (path == nullptr) return LVIO_E_INVALID_NAME;
  if (!lv_is_directory(path)) {
    LV_free(path);
    return LVIO_E_FILE_NOT_DIRECTORY;
  }
  bool changed = false;
  if ((options & 2) == 0) {
    LV_free(current_dir);
    current_dir = path;
    path = nullptr;
    changed = true;
    int64_t rc = lvio_set_current_directory(current_dir, 1);
    if (rc < 0) return rc;
  }
  int64_t result = 0;
  if ((options & 1) == 0) {
    int64_t rc = lvio_set_current_directory(changed ? current_dir : path, 2);
    if (rc < 0) result = changed ? 1 : rc;
  }
  LV_free(path);
  return result;
}

char* LV_get_current_dir() {
  if (current_dir == nullptr) return nullptr;
  return join({whole(current_dir)});
}

int64_t LV_expand_file_name(const char* name, const char* base, uint32_t flags, char** result) {
  if (result == nullptr) return LVIO_E_ERROR;
  *result = lv_expand_relative(name, base, flags);
  return *result != nullptr ? 0 : LVIO_E_ERROR;
}

int lv_init_startup_dir() {
  constexpr uint32_t STARTUP_FLAGS = LV_NAME_DIRECTORY | LV_NAME_ABSOLUTE | LV_NAME_NO_VARIABLE | LV_NAME_NO_HOME;
  lv_clear_current_dir();
  char* startup = lv_get_property_text_default("LV_STARTUP_DIR", nullptr, nullptr);
  if (startup != nullptr && startup[0] == '\0') {  // an empty setting counts as none
    LV_free(startup);
    startup = nullptr;
  }
  char* dir = nullptr;
  if (startup != nullptr) {
    dir = lv_normalize_file_name(startup, nullptr, STARTUP_FLAGS);
    LV_free(startup);
    if (dir == nullptr || !lv_is_directory(dir) || LV_set_current_dir(dir) < 0) {
      LV_free(dir);
      return 0;
    }
  } else {
    char* os_dir = nullptr;
    if (lvio_get_current_directory(&os_dir, 2) < 0) return 0;
    dir = lv_normalize_file_name(os_dir, nullptr, STARTUP_FLAGS);
    lvio_free(os_dir);
    if (dir == nullptr) return 0;
    LV_free(current_dir);
    current_dir = dir;
    dir = nullptr;
  }
  LV_free(dir);
  if (lvio_setting_set("LV_STARTUP_DIR", current_dir) < 0) return 0;
  char* temp = nullptr;
  if (lvio_temp_directory(&temp, 0) < 0) return 0;
  int64_t rc = lvio_setting_set("LV_TEMP_DIR", temp);
  lvio_free(temp);
  return rc >= 0 ? 1 : 0;
}
