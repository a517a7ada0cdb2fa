// File names as the runtime opens them, and the runtime's own current
// directory.
#include "streams/file_names.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

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

char* copy_out(const std::string& text) {
  char* out = static_cast<char*>(LV_malloc(text.size() + 1));
  if (out != nullptr) std::memcpy(out, text.c_str(), text.size() + 1);
  return out;
}

// The home directory of the user (the current user for an empty name).
bool home_directory(const std::string& user, std::string* home) {
  if (user.empty()) {
    const char* h = std::getenv("HOME");
    if (h != nullptr && h[0] != '\0') {
      *home = h;
      return true;
    }
  }
  long hint = sysconf(_SC_GETPW_R_SIZE_MAX);
  std::string buffer(hint > 0 ? static_cast<size_t>(hint) : 16384, '\0');
  passwd entry;
  passwd* found = nullptr;
  int rc = user.empty() ? getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found)
                        : getpwnam_r(user.c_str(), &entry, buffer.data(), buffer.size(), &found);
  if (rc != 0 || found == nullptr || entry.pw_dir == nullptr || entry.pw_dir[0] == '\0') return false;
  *home = entry.pw_dir;
  return true;
}

// The directory relative names are taken against: base when given, else
// the runtime current directory, else the I/O layer's.
bool base_directory(const char* base, std::string* out) {
  if (base != nullptr && base[0] != '\0') {
    *out = base;
    return true;
  }
  if (current_dir != nullptr) {
    *out = current_dir;
    return true;
  }
  char* dir = nullptr;
  if (lvio_get_current_directory(&dir, 0) < 0) return false;
  *out = dir;
  lvio_free(dir);
  return true;
}

// The text of the leading component (after its first character).
std::string leading_word(const char* name, const char** end) {
  const char* p = name + 1;
  while (*p != '\0' && *p != '/') p++;
  *end = p;
  return std::string(name + 1, p);
}

bool normalize(const char* name, const char* base, uint32_t flags, std::string* out) {
  if (name == nullptr || lv_text_is_utf8(name) == 0) return false;
  std::string full;
  if (name[0] == '$' && (flags & LV_NAME_NO_VARIABLE) == 0) {
    const char* rest;
    std::string variable = leading_word(name, &rest);
    if (variable.empty()) return false;
    char* value = lv_get_property_text_default(variable.c_str(), nullptr, nullptr);
    if (value == nullptr) return false;
    bool ok = value[0] != '\0' && normalize(value, base, flags | LV_NAME_DIRECTORY | LV_NAME_NO_VARIABLE, &full);
    LV_free(value);
    if (!ok) return false;
    full += rest;
  } else if (name[0] == '~' && (flags & LV_NAME_NO_HOME) == 0) {
    const char* rest;
    std::string home;
    if (!home_directory(leading_word(name, &rest), &home)) return false;
    full = home + "/" + rest;
  } else if (name[0] == '/') {
    full = name;
  } else {
    if ((flags & LV_NAME_ABSOLUTE) != 0) return false;
    if (!base_directory(base, &full)) return false;
    if (full.empty() || full.back() != '/') full += '/';
    full += name;
  }
  if (full.empty() || full[0] != '/') return false;  // no root

  std::string result = "/";
  for (size_t i = 1; i < full.size();) {
    while (i < full.size() && full[i] == '/') i++;
    size_t start = i;
    while (i < full.size() && full[i] != '/') i++;
    size_t length = i - start;
    if (length == 0 || (length == 1 && full[start] == '.')) continue;
    if (length == 2 && full[start] == '.' && full[start + 1] == '.') {
      if (result.size() == 1) return false;  // above the root
      result.pop_back();
      result.erase(result.rfind('/') + 1);
      continue;
    }
    result.append(full, start, length);
    if (i < full.size()) result += '/';
  }
  while (result.size() > 1 && result.back() == '/') result.pop_back();
  if (result.size() == 1) {
    if ((flags & LV_NAME_DIRECTORY) == 0) {
      if ((flags & LV_NAME_ROOT_DOT) != 0)
        result += '.';
      else if ((flags & LV_NAME_ROOT_OK) == 0)
        return false;
    }
  } else if ((flags & LV_NAME_DIRECTORY) != 0) {
    result += '/';
  }
  *out = std::move(result);
  return true;
}

}  // namespace

char* lv_normalize_file_name(const char* name, const char* base, uint32_t flags) {
  std::string result;
  if (!normalize(name, base, flags, &result)) return nullptr;
  return copy_out(result);
}

char* lv_expand_relative(const char* name, const char* base, uint32_t flags) {
  std::string dir;
  if (base != nullptr && !normalize(base, nullptr, LV_NAME_DIRECTORY, &dir)) return nullptr;
  return lv_normalize_file_name(name, base != nullptr ? dir.c_str() : nullptr, flags);
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
  return copy_out(current_dir);
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
