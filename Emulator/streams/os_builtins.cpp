// Operating-system built-ins over the I/O layer.
#include "streams/os_builtins.h"

#include <cstdlib>
#include <cstring>
#include <ctime>

#include "core/atoms.h"
#include "core/memory.h"
#include "core/numbers.h"
#include "core/predefined_atoms.h"
#include "core/settings.h"
#include "core/stack_shift.h"
#include "core/unify.h"
#include "core/worker.h"
#include "lvio/accounts.h"
#include "lvio/directory_listing.h"
#include "lvio/environment.h"
#include "lvio/file_access.h"
#include "lvio/file_operations.h"
#include "lvio/file_status.h"
#include "lvio/path_text.h"
#include "lvio/process_directories.h"
#include "lvio/allocator.h"
#include "lvio/result_codes.h"
#include "lvio/settings.h"
#include "streams/file_names.h"
#include "streams/paths.h"
#include "streams/stream.h"
#include "streams/stream_api.h"
#include "streams/url_layer.h"

namespace {

// Heap cells enough for any one result built here besides lists.
constexpr int64_t RESULT_CELLS = 16;

const char* atom_arg(lv_term t) {
  t = lv_deref(t);
  return lv_is_atom(t) ? lv_atom_text(t) : nullptr;
}

bool small_arg(lv_term t, int64_t* v) {
  t = lv_deref(t);
  if (!lv_is_small(t)) return false;
  *v = lv_small_value(t);
  return true;
}

// A 64-bit integer: small or a one-word box.
bool int64_arg(lv_term t, int64_t* v) {
  t = lv_deref(t);
  if (lv_is_small(t)) {
    *v = lv_small_value(t);
    return true;
  }
  if (!lv_is_integer_box(t)) return false;
  const lv_term* cells = lv_struct_cells(t);
  if (lv_box_value_words(cells[0]) != 1) return false;
  *v = static_cast<int64_t>(cells[1]);
  return true;
}

bool unify_text(lv_worker* w, lv_term target, const char* text) {
  lv_term atom = lv_atom_from_text(text, LV_ATOM_FIND_OR_CREATE);
  return atom != 0 && cunify(w, target, atom) != 0;
}

bool unify_int(lv_worker* w, lv_term target, int64_t v) { return cunify(w, target, lv_make_integer(w, v)) != 0; }

// Puts the atom of text in front of the list in X[slot], which keeps it
// across a move of the heap; the first `live` registers are kept as well.
bool push_front(lv_worker* w, unsigned slot, const char* text) {
  lv_heap_room(w, 2, slot + 1);
  lv_term atom = lv_atom_from_text(text, LV_ATOM_FIND_OR_CREATE);
  if (atom == 0) return false;
  lv_term* h = w->H;
  h[0] = atom;
  h[1] = w->X[slot];
  w->H = h + 2;
  w->X[slot] = lv_make_list(h);
  return true;
}

// A new LV_malloc text: the first length bytes of head, then tail, with
// every "\\" turned into "/".
char* slashed_copy(const char* head, size_t length, const char* tail) {
  size_t n = std::strlen(tail);
  auto* out = static_cast<char*>(LV_malloc(length + n + 1));
  if (out == nullptr) return nullptr;
  std::memcpy(out, head, length);
  std::memcpy(out + length, tail, n + 1);
  for (char* p = out; *p != '\0'; p++)
    if (*p == '\\') *p = '/';
  return out;
}

// The Kind class of an access-test result, for the Prolog side.
int64_t access_kind(int64_t code) {
  if (code >= 0) return 0;
  if (code == LVIO_E_INVALID_NAME || code == LVIO_E_PARAMETER_ERROR) return 252;
  if (code == LVIO_E_FILE_ACCESS || code == LVIO_E_FILE_IS_DIRECTORY || code == LVIO_E_FILE_NOT_DIRECTORY ||
      code == LVIO_E_PERMISSION_ERROR)
    return 253;
  if (code == LVIO_E_FILE_NOT_FOUND) return 254;
  return 246;
}

// Name as a text: an atom, or a list of atoms joined with '/'. A new
// LV_malloc text, or null.
char* joined_name(lv_term t) {
  t = lv_deref(t);
  if (lv_is_atom(t)) {
    const char* text = lv_atom_text(t);
    char* out = static_cast<char*>(LV_malloc(std::strlen(text) + 1));
    if (out != nullptr) std::strcpy(out, text);
    return out;
  }
  size_t length = 0;
  for (lv_term l = t; l != LV_ATOM_NIL; l = lv_deref(lv_list_cells(l)[1])) {
    if (!lv_is_list(l)) return nullptr;
    const char* part = atom_arg(lv_list_cells(l)[0]);
    if (part == nullptr) return nullptr;
    length += std::strlen(part) + 1;
  }
  if (length == 0) return nullptr;
  char* out = static_cast<char*>(LV_malloc(length));
  if (out == nullptr) return nullptr;
  out[0] = '\0';
  for (lv_term l = t; l != LV_ATOM_NIL; l = lv_deref(lv_list_cells(l)[1])) {
    if (out[0] != '\0') std::strcat(out, "/");
    std::strcat(out, atom_arg(lv_list_cells(l)[0]));
  }
  return out;
}

bool unify_tm(lv_worker* w, unsigned first, const std::tm& tm) {
  return unify_int(w, w->X[first], tm.tm_year + 1900LL) && unify_int(w, w->X[first + 1], tm.tm_mon + 1) &&
         unify_int(w, w->X[first + 2], tm.tm_mday) && unify_int(w, w->X[first + 3], tm.tm_hour) &&
         unify_int(w, w->X[first + 4], tm.tm_min) && unify_int(w, w->X[first + 5], tm.tm_sec);
}

// Which settings a system-property kind names: the runtime's own
// (properties), the process environment, or both with the runtime's first
// (merged). The lookup flags of lvio_setting_get and the leave-out flags of
// lvio_environment_build; false for another term.
constexpr uint32_t ENV_WITHOUT_PROCESS = 2;
constexpr uint32_t ENV_WITHOUT_PRIVATE = 4;

bool property_kind(lv_term t, uint32_t* lookup, uint32_t* listing) {
  t = lv_deref(t);
  if (!lv_is_atom(t)) return false;
  const char* kind = lv_atom_text(t);
  if (std::strcmp(kind, "merged") == 0) {
    *lookup = 0;
    *listing = 0;
  } else if (std::strcmp(kind, "properties") == 0) {
    *lookup = LVIO_SETTING_SKIP_PROCESS_ENV;
    *listing = ENV_WITHOUT_PROCESS;
  } else if (std::strcmp(kind, "environment") == 0) {
    *lookup = LVIO_SETTING_SKIP_OVERRIDES;
    *listing = ENV_WITHOUT_PRIVATE;
  } else {
    return false;
  }
  return true;
}

const lv_builtin records[] = {
    LV_BUILTIN("$unix_cd", prolog_unix_cd, 2),
    LV_BUILTIN("$set_current_dir_options", prolog_set_current_dir_options, 2),
    LV_BUILTIN("$unix_exit", prolog_unix_exit, 1),
    LV_BUILTIN("$absolute_path", prolog_absolute_path, 4),
    LV_BUILTIN("$directory_path", prolog_directory_path, 2),
    LV_BUILTIN("$test_file_access", prolog_test_file_access, 4),
    LV_BUILTIN("$file_type", prolog_file_type, 3),
    LV_BUILTIN("$create_directory", prolog_create_directory, 3),
    LV_BUILTIN("$list_directory", prolog_list_directory, 4),
    LV_BUILTIN("$case_normalize_path", prolog_case_normalize_path, 2),
    LV_BUILTIN("$delete_file", prolog_delete_file, 3),
    LV_BUILTIN("$rename_file", prolog_rename_file, 4),
    LV_BUILTIN("$file_property", prolog_file_property, 4),
    LV_BUILTIN("$split_env_path", prolog_split_env_path, 3),
    LV_BUILTIN("$get_system_property", prolog_get_system_property, 3),
    LV_BUILTIN("$get_system_properties", prolog_get_system_properties, 2),
    LV_BUILTIN("$set_system_property", prolog_set_system_property, 2),
    LV_BUILTIN("$datime", prolog_datime, 6),
    LV_BUILTIN("$datime", prolog_datime_of, 7),
    LV_BUILTIN("$time", prolog_time, 1),
    LV_BUILTIN("$mktime", prolog_mktime, 7),
};

}  // namespace

lv_builtin_table lv_os_builtins() { return {records, sizeof records / sizeof records[0]}; }

int prolog_unix_cd(lv_worker* w) {
  const char* dir = lv_current_dir();
  char* os_dir = nullptr;
  if (dir == nullptr) {
    if (lvio_get_current_directory(&os_dir, 0) < 0) return 0;
    dir = os_dir;
  }
  lv_term old = lv_atom_from_text(dir, LV_ATOM_FIND_OR_CREATE);
  lvio_free(os_dir);
  if (old == 0 || cunify(w, w->X[0], old) == 0) return 0;
  lv_term fresh = lv_deref(w->X[1]);
  if (!lv_is_atom(fresh)) return 0;
  if (fresh == lv_deref(w->X[0])) return 1;
  int64_t rc = LV_set_current_dir(lv_atom_text(fresh));
  return rc == 0 || rc == 1 ? 1 : 0;
}

int prolog_set_current_dir_options(lv_worker* w) {
  if (!unify_int(w, w->X[0], lv_current_dir_options())) return 0;
  int64_t v;
  if (!small_arg(w->X[1], &v) || v < 0 || v > UINT32_MAX) return 0;
  lv_set_current_dir_options(static_cast<uint32_t>(v));
  return 1;
}

int prolog_unix_exit(lv_worker* w) {
  int64_t code;
  if (!small_arg(w->X[0], &code)) return 0;
  std::exit(static_cast<int>(code));
}

int prolog_absolute_path(lv_worker* w) {
  lv_heap_room(w, RESULT_CELLS, 4);
  char* name = joined_name(w->X[0]);
  char* result = nullptr;
  int64_t options = 0;
  if (name != nullptr && lv_url_path_opens(name) != 0) {
    // A "URL:" path is taken as it is.
    result = slashed_copy(name, std::strlen(name), "");
  } else if (name != nullptr && small_arg(w->X[2], &options)) {
    uint32_t flags = ((options & 1) != 0 ? LV_NAME_DIRECTORY : 0) | ((options & 2) != 0 ? LV_NAME_ROOT_OK : 0) |
                     ((options & 4) != 0 ? LV_NAME_KEEP_CASE : 0);
    const char* relative_to = atom_arg(w->X[1]);
    if (relative_to != nullptr && relative_to[0] != '\0' && std::strcmp(relative_to, ".") != 0 &&
        lv_url_path_opens(relative_to) != 0) {
      // Relative to a "URL:" path: a relative name is joined to its
      // directory part as text, as "URL:" paths are not normalised.
      const char* slash = std::strrchr(relative_to, '/');
      if (name[0] == '/')
        result = lv_normalize_file_name(name, nullptr, flags);
      else
        result = slashed_copy(relative_to, slash != nullptr ? static_cast<size_t>(slash - relative_to + 1) : 0, name);
    } else {
      char* base = nullptr;
      bool ok = true;
      if (relative_to != nullptr && relative_to[0] != '\0' && std::strcmp(relative_to, ".") != 0) {
        base = lv_normalize_file_name(relative_to, nullptr, LV_NAME_ROOT_OK);
        ok = base != nullptr;
        // A file stands for its directory.
        if (ok && lv_is_regular_file(base) != 0) base[lv_path_dirname_length(base)] = '\0';
      }
      if (ok) result = lv_normalize_file_name(name, base, flags);
      LV_free(base);
    }
  }
  LV_free(name);
  bool unified = unify_text(w, w->X[3], result != nullptr ? result : "");
  LV_free(result);
  return unified ? 1 : 0;
}

int prolog_directory_path(lv_worker* w) {
  const char* file = atom_arg(w->X[0]);
  if (file == nullptr) return 0;
  char* dir = lv_path_dirname(file);
  if (dir == nullptr) return 0;
  bool unified = unify_text(w, w->X[1], dir);
  LV_free(dir);
  return unified ? 1 : 0;
}

int prolog_test_file_access(lv_worker* w) {
  lv_heap_room(w, RESULT_CELLS, 4);
  const char* file = atom_arg(w->X[0]);
  int64_t mode;
  if (file == nullptr || !int64_arg(w->X[1], &mode)) return 0;
  int64_t code;
  if (lv_url_path_opens(file) != 0)
    // "URL:" paths are read-only files.
    code = (mode & 0x20) != 0 ? LVIO_E_FILE_NOT_DIRECTORY : (mode & 0xA) != 0 ? LVIO_E_FILE_ACCESS : 0;
  else
    code = lvio_path_attributes(file, static_cast<uint32_t>(mode & 0x7F));
  if (code > 0) code = 0;
  return unify_int(w, w->X[2], code) && unify_int(w, w->X[3], access_kind(code)) ? 1 : 0;
}

int prolog_file_type(lv_worker* w) {
  const char* file = atom_arg(w->X[0]);
  if (file == nullptr) return 0;
  lv_stream* s = nullptr;
  if (LV_fopen(file, 0, LV_FOPEN_READ | LV_FOPEN_BINARY, &s) < 0) return 0;
  static const char MAGIC[] = "lorvika-";
  const char* type = "source";
  int64_t c = lv_get_byte(s);
  if (c == '#') {
    type = "object";
  } else if (c == 'A') {
    type = "ql";
  } else if (c == MAGIC[0]) {
    size_t i = 1;
    while (i < 8 && lv_get_byte(s) == static_cast<unsigned char>(MAGIC[i])) i++;
    if (i == 8) type = "object";
  }
  (void)LV_fclose(s, LV_CLOSE_FORCE);
  if (!unify_text(w, w->X[1], type)) return 0;
  if (std::strcmp(type, "source") == 0) return cunify(w, w->X[2], w->X[0]);
  const char* dot = lv_path_extension(file);
  size_t stem = dot != nullptr ? static_cast<size_t>(dot - file) : std::strlen(file);
  char* source = static_cast<char*>(LV_malloc(stem + 4));
  if (source == nullptr) return 0;
  std::memcpy(source, file, stem);
  std::strcpy(source + stem, ".pl");
  bool unified = unify_text(w, w->X[2], source);
  LV_free(source);
  return unified ? 1 : 0;
}

int prolog_create_directory(lv_worker* w) {
  lv_heap_room(w, RESULT_CELLS, 3);
  const char* path = atom_arg(w->X[0]);
  int64_t mode;
  if (path == nullptr || !small_arg(w->X[1], &mode) || mode < 0) return 0;
  int64_t code = lvio_make_directory(path, 0);
  return unify_int(w, w->X[2], code < 0 ? code : 0) ? 1 : 0;
}

int prolog_list_directory(lv_worker* w) {
  lv_heap_room(w, RESULT_CELLS, 4);
  const char* dir = atom_arg(w->X[0]);
  int64_t options;
  if (dir == nullptr || !small_arg(w->X[1], &options) || options < 0) return 0;
  uint32_t flags = static_cast<uint32_t>(options & 3) | ((options & 4) == 0 ? LVIO_DIR_FOLD_CASE : 0);
  lvio_dir* listing = nullptr;
  int64_t code = lvio_dir_open(dir, &listing, flags);
  if (code < 0) return unify_int(w, w->X[3], code) ? 1 : 0;
  int64_t error = code == LVIO_S_NORMALIZED ? 30000 : 0;
  w->X[4] = LV_ATOM_NIL;
  for (;;) {
    const lvio_dir_entry* entry = nullptr;
    code = lvio_dir_next(listing, &entry);
    if (code == LVIO_E_NO_MORE_ENTRIES) break;
    if (code < 0) {
      error = code;
      break;
    }
    const char* name = nullptr;
    code = lvio_dir_entry_name(listing, entry, &name);
    if (code == LVIO_E_INVALID_NAME) continue;
    if (code < 0) {
      error = code;
      break;
    }
    if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) continue;
    if (!push_front(w, 4, name)) {
      error = LVIO_E_INTERNAL_ERROR;
      break;
    }
  }
  lvio_dir_close(listing);
  if (error < 0) return unify_int(w, w->X[3], error) ? 1 : 0;
  return cunify(w, w->X[2], w->X[4]) != 0 && unify_int(w, w->X[3], error) ? 1 : 0;
}

int prolog_case_normalize_path(lv_worker* w) {
  const char* path = atom_arg(w->X[0]);
  if (path == nullptr) return 0;
  bool plain = true;
  for (const char* p = path; *p != '\0'; p++)
    if ((*p >= 'A' && *p <= 'Z') || static_cast<unsigned char>(*p) >= 128) plain = false;
  if (plain) return cunify(w, w->X[1], w->X[0]);
  char* normal = nullptr;
  if (lvio_path_normalize(path, &normal) < 0) return cunify(w, w->X[1], w->X[0]);
  bool unified = unify_text(w, w->X[1], normal);
  lvio_free(normal);
  return unified ? 1 : 0;
}

int prolog_delete_file(lv_worker* w) {
  lv_heap_room(w, RESULT_CELLS, 3);
  const char* path = atom_arg(w->X[0]);
  int64_t options;
  if (path == nullptr || !small_arg(w->X[1], &options) || options < 0) return 0;
  uint32_t flags = static_cast<uint32_t>(options & 3) | ((options & 0x10) != 0 ? 4 : 0);
  int64_t code = lvio_file_delete(path, flags);
  if (code > 0) code = 0;
  if (code < 0 && (options & 2) != 0 && code != LVIO_E_PARAMETER_ERROR) code = 1;
  return unify_int(w, w->X[2], code) ? 1 : 0;
}

int prolog_rename_file(lv_worker* w) {
  lv_heap_room(w, RESULT_CELLS, 4);
  const char* old_path = atom_arg(w->X[0]);
  const char* new_path = atom_arg(w->X[1]);
  int64_t mode;
  if (old_path == nullptr || new_path == nullptr || !small_arg(w->X[2], &mode) || mode < 0) return 0;
  int64_t code = lvio_file_rename(old_path, new_path);
  return unify_int(w, w->X[3], code < 0 ? code : 0) ? 1 : 0;
}

int prolog_file_property(lv_worker* w) {
  lv_heap_room(w, RESULT_CELLS, 4);
  const char* path = atom_arg(w->X[0]);
  int64_t property;
  if (path == nullptr || !small_arg(w->X[1], &property) || property < 0) return 0;
  uint32_t flags = ((property & 1) != 0 ? LVIO_STAT_MUST_BE_DIRECTORY : 0) |
                   ((property & 2) != 0 ? LVIO_STAT_MUST_NOT_BE_DIRECTORY : 0);
  int64_t chosen = 0;
  for (int64_t bit = 0x10; bit <= 0x1000; bit <<= 1)
    if ((property & bit) != 0) {
      chosen = bit;
      break;
    }
  if (chosen == 0) return unify_int(w, w->X[3], LVIO_E_PARAMETER_ERROR) ? 1 : 0;
  switch (chosen) {
    case 0x10: flags |= LVIO_STAT_MODE_SUMMARY; break;
    case 0x20: flags |= LVIO_STAT_MODE; break;
    case 0x40:
    case 0x80: flags |= LVIO_STAT_TIMES; break;
    case 0x100: flags |= LVIO_STAT_SIZE; break;
    case 0x200:
    case 0x400: flags |= LVIO_STAT_OWNER | LVIO_STAT_KEEP; break;
    default: flags |= LVIO_STAT_GROUP | LVIO_STAT_KEEP; break;
  }
  lvio_file_stat record{};
  int64_t code = lvio_file_status(path, &record, flags);
  if (code < 0) {
    lvio_cleanup_list_run(&record);
    return unify_int(w, w->X[3], code) ? 1 : 0;
  }
  lv_term value = 0;
  char* name = nullptr;
  switch (chosen) {
    case 0x10: value = lv_make_small((record.mode >> 15) & 15); break;
    case 0x20: value = lv_make_small(static_cast<int64_t>(record.mode & 0xFFF) * 16); break;
    case 0x40: {
      lv_term m = lv_make_integer(w, record.modification_time);
      lv_term c = lv_make_integer(w, record.creation_time);
      lv_term a = lv_make_integer(w, record.access_time);
      lv_term* h = w->H;
      h[0] = lv_make_functor(lv_atom_from_text("times", LV_ATOM_FIND_OR_CREATE), 3);
      h[1] = m;
      h[2] = c;
      h[3] = a;
      w->H = h + 4;
      value = lv_make_struct(h);
      break;
    }
    case 0x80: value = lv_make_integer(w, record.modification_time); break;
    case 0x100: value = lv_make_integer(w, record.size); break;
    case 0x200: code = lvio_owner_account_name(record.owner, &name, 1); break;
    case 0x400: code = lvio_owner_account_name(record.owner, &name, 0); break;
    case 0x800: code = lvio_group_account_name(record.group, &name, 1); break;
    default: code = lvio_group_account_name(record.group, &name, 0); break;
  }
  lvio_cleanup_list_run(&record);
  if (code < 0) return unify_int(w, w->X[3], code) ? 1 : 0;
  if (name != nullptr) {
    value = lv_atom_from_text(name, LV_ATOM_FIND_OR_CREATE);
    lvio_free(name);
    if (value == 0) return unify_int(w, w->X[3], LVIO_E_INTERNAL_ERROR) ? 1 : 0;
  }
  return cunify(w, w->X[2], value) != 0 && unify_int(w, w->X[3], 0) ? 1 : 0;
}

int prolog_split_env_path(lv_worker* w) {
  lv_heap_room(w, RESULT_CELLS, 3);
  const char* var = atom_arg(w->X[0]);
  if (var == nullptr) return unify_int(w, w->X[2], LVIO_E_PARAMETER_ERROR) ? 1 : 0;
  char* value = lv_get_property_text_default(var, nullptr, nullptr);
  w->X[3] = LV_ATOM_NIL;
  bool ok = true;
  if (value != nullptr) {
    for (char* piece = value; ok && piece != nullptr;) {
      char* colon = std::strchr(piece, ':');
      if (colon != nullptr) *colon = '\0';
      if (piece[0] != '\0') {
        char* dir = lv_normalize_file_name(piece, nullptr, LV_NAME_DIRECTORY | LV_NAME_NO_VARIABLE);
        if (dir != nullptr) ok = push_front(w, 3, dir);
        LV_free(dir);
      }
      piece = colon != nullptr ? colon + 1 : nullptr;
    }
    LV_free(value);
  }
  if (!ok) return 0;
  return cunify(w, w->X[1], w->X[3]) != 0 && unify_int(w, w->X[2], 0) ? 1 : 0;
}

int prolog_get_system_property(lv_worker* w) {
  const char* name = atom_arg(w->X[0]);
  uint32_t lookup, listing;
  if (name == nullptr || !property_kind(w->X[1], &lookup, &listing)) return 0;
  // A first try with a small buffer, then one at the size the lookup asks for.
  size_t size = 64;
  char* value = nullptr;
  for (int attempt = 0; attempt < 2; attempt++) {
    value = static_cast<char*>(LV_malloc(size));
    if (value == nullptr) return 0;
    int64_t rc = lvio_setting_get(name, value, &size, lookup);
    if (rc >= 0) break;
    LV_free(value);
    value = nullptr;
    if (rc != LVIO_E_OUT_OF_MEMORY) return 0;
  }
  if (value == nullptr) return 0;
  bool unified = unify_text(w, w->X[2], value);
  LV_free(value);
  return unified ? 1 : 0;
}

int prolog_get_system_properties(lv_worker* w) {
  uint32_t lookup, listing;
  if (!property_kind(w->X[0], &lookup, &listing)) return 0;
  char** block = nullptr;
  size_t size = 0;
  if (lvio_environment_build(&block, &size, listing) < 0) return 0;
  size_t n = 0;
  while (block[n] != nullptr) n++;
  // The list is built from its end, so that it keeps the table's order.
  w->X[2] = LV_ATOM_NIL;
  lv_term equals = lv_make_functor(lv_atom_from_text("=", LV_ATOM_FIND_OR_CREATE), 2);
  bool ok = true;
  for (size_t i = n; ok && i-- > 0;) {
    lv_heap_room(w, 5, 3);
    lv_term name = lv_atom_from_text(block[i], LV_ATOM_FIND_OR_CREATE);
    lv_term value = lv_atom_from_text(lvio_entry_value(block[i]), LV_ATOM_FIND_OR_CREATE);
    if (name == 0 || value == 0) {
      ok = false;
      break;
    }
    lv_term* h = w->H;
    h[0] = equals;
    h[1] = name;
    h[2] = value;
    h[3] = lv_make_struct(h);
    h[4] = w->X[2];
    w->H = h + 5;
    w->X[2] = lv_make_list(h + 3);
  }
  lvio_free(block);
  return ok && cunify(w, w->X[1], w->X[2]) != 0 ? 1 : 0;
}

int prolog_set_system_property(lv_worker* w) {
  const char* name = atom_arg(w->X[0]);
  const char* value = atom_arg(w->X[1]);
  if (name == nullptr || value == nullptr) return 0;
  return lvio_setting_set(name, value) >= 0 ? 1 : 0;
}

int prolog_datime(lv_worker* w) {
  lv_heap_room(w, RESULT_CELLS, 6);
  std::time_t now = std::time(nullptr);
  std::tm tm{};
  if (localtime_r(&now, &tm) == nullptr) return 0;
  return unify_tm(w, 0, tm) ? 1 : 0;
}

int prolog_datime_of(lv_worker* w) {
  lv_heap_room(w, RESULT_CELLS, 7);
  int64_t stamp;
  if (!int64_arg(w->X[0], &stamp)) return 0;
  std::time_t t = static_cast<std::time_t>(stamp);
  std::tm tm{};
  if (localtime_r(&t, &tm) == nullptr) return 0;
  return unify_tm(w, 1, tm) ? 1 : 0;
}

int prolog_time(lv_worker* w) {
  lv_heap_room(w, RESULT_CELLS, 1);
  return unify_int(w, w->X[0], static_cast<int64_t>(std::time(nullptr))) ? 1 : 0;
}

int prolog_mktime(lv_worker* w) {
  lv_heap_room(w, RESULT_CELLS, 7);
  int64_t v[6];
  for (int i = 0; i < 6; i++)
    if (!small_arg(w->X[i], &v[i]) || v[i] < INT32_MIN + 1900 || v[i] > INT32_MAX) return 0;
  std::tm tm{};
  tm.tm_year = static_cast<int>(v[0] - 1900);
  tm.tm_mon = static_cast<int>(v[1] - 1);
  tm.tm_mday = static_cast<int>(v[2]);
  tm.tm_hour = static_cast<int>(v[3]);
  tm.tm_min = static_cast<int>(v[4]);
  tm.tm_sec = static_cast<int>(v[5]);
  tm.tm_isdst = -1;
  // -1 is also the answer for 1969-12-31 23:59:59 UTC: a failed conversion
  // leaves the week day as it was set.
  tm.tm_wday = -1;
  std::time_t stamp = std::mktime(&tm);
  if (stamp == static_cast<std::time_t>(-1) && tm.tm_wday == -1) return 0;
  return unify_int(w, w->X[6], static_cast<int64_t>(stamp)) ? 1 : 0;
}
