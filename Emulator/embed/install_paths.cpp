// The installation paths, the boot-directory search and the paths relative
// to the boot directory.
#include "embed/install_paths.h"

#include <dlfcn.h>
#include <link.h>

#include <climits>
#include <cstdlib>
#include <cstring>

#include "core/atoms.h"
#include "core/host.h"
#include "core/memory.h"
#include "core/unify.h"
#include "embed/startup.h"
#include "lvio/environment.h"
#include "streams/file_names.h"
#include "streams/paths.h"

namespace {

// The runtime's own directory under the runtime directory.
constexpr const char* VERSION_DIR = "lv-" LV_HOST_VERSION "/";

char* boot_path;
char* failed_bootpath;
char* classpath;

// A new LV_malloc text of a, b and c joined; null when out of memory.
char* join(const char* a, const char* b, const char* c = "") {
  size_t la = std::strlen(a), lb = std::strlen(b), lc = std::strlen(c);
  char* text = static_cast<char*>(LV_malloc(la + lb + lc + 1));
  if (text == nullptr) return nullptr;
  std::memcpy(text, a, la);
  std::memcpy(text + la, b, lb);
  std::memcpy(text + la + lb, c, lc + 1);
  return text;
}

// Publishes the normalised path and its directory as the two settings.
bool publish(const char* os_path, const char* path_setting, const char* dir_setting) {
  char* path = lv_normalize_file_name(os_path, nullptr, LV_NAME_NO_VARIABLE | LV_NAME_NO_HOME);
  if (path == nullptr) return false;
  size_t dir_length = lv_path_dirname_length(path);
  bool ok = dir_length != 0;
  if (ok) {
    char saved = path[dir_length];
    ok = lvio_setting_set(path_setting, path) >= 0;
    path[dir_length] = '\0';
    ok = ok && lvio_setting_set(dir_setting, path) >= 0;
    path[dir_length] = saved;
  }
  LV_free(path);
  return ok;
}

// The file of the running program, resolved ("/proc/self/exe").
bool program_file(char (&buffer)[PATH_MAX]) { return realpath("/proc/self/exe", buffer) != nullptr; }

// The file of the runtime library when it is a library of its own; false
// when the runtime is part of the program.
bool runtime_file(char (&buffer)[PATH_MAX]) {
  Dl_info info{};
  link_map* object = nullptr;
  if (dladdr1(reinterpret_cast<void*>(&lv_set_installation_paths), &info, reinterpret_cast<void**>(&object),
              RTLD_DL_LINKMAP) == 0 ||
      object == nullptr || object->l_name == nullptr || object->l_name[0] == '\0' || info.dli_fname == nullptr)
    return false;
  return realpath(info.dli_fname, buffer) != nullptr;
}

// The expansion of a path that may start with "$NAME", in directory form.
char* expand_dir(const char* text) { return lv_normalize_file_name(text, nullptr, LV_NAME_DIRECTORY); }

void replace(char** slot, char* text) {
  LV_free(*slot);
  *slot = text;
}

}  // namespace

bool lv_set_installation_paths() {
  char program[PATH_MAX];
  if (!program_file(program) || !publish(program, "LV_APP_PATH", "LV_APP_DIR")) return false;
  char runtime[PATH_MAX];
  const char* rt = runtime_file(runtime) ? runtime : program;
  return publish(rt, "LV_RT_PATH", "LV_RT_DIR");
}

char* lv_boot_file_path(const char* file_name) {
  char* rt_dir = expand_dir("$LV_RT_DIR/");
  if (rt_dir == nullptr) return nullptr;
  char* versioned = join(rt_dir, VERSION_DIR);
  if (versioned == nullptr) {
    LV_free(rt_dir);
    return nullptr;
  }
  bool have_versioned = lv_is_directory(versioned) != 0;
  LV_free(versioned);
  if (have_versioned) {
    char* bin = join(rt_dir, VERSION_DIR, "bin/");
    LV_free(rt_dir);
    return bin;
  }
  char* file = join(rt_dir, file_name);
  if (file == nullptr) {
    LV_free(rt_dir);
    return nullptr;
  }
  bool here = lv_is_regular_file(file) != 0;
  LV_free(file);
  if (here) return rt_dir;
  // An unset LV_PATH expands to nothing; a path that names a resource is no
  // directory.
  char* path_bin = expand_dir("$LV_PATH/bin/");
  if (path_bin != nullptr && lv_is_directory(path_bin)) {
    LV_free(rt_dir);
    return path_bin;
  }
  LV_free(path_bin);
  return rt_dir;
}

const char* lv_get_boot_path() { return boot_path; }
const char* lv_get_failed_bootpath() { return failed_bootpath; }
void lv_set_boot_path(char* path) { replace(&boot_path, path); }
void lv_set_failed_bootpath(char* path) { replace(&failed_bootpath, path); }

char* lv_parent_relative_path(const char* relative) {
  if (boot_path == nullptr || relative == nullptr) return nullptr;
  char* joined = join(boot_path, "../", relative);
  if (joined == nullptr) return nullptr;
  size_t n = std::strlen(relative);
  uint32_t flags = n > 0 && relative[n - 1] == '/' ? LV_NAME_DIRECTORY : 0;
  char* path = lv_normalize_file_name(joined, nullptr, flags | LV_NAME_NO_VARIABLE | LV_NAME_NO_HOME);
  LV_free(joined);
  return path;
}

bool lv_set_library_dir() {
  char* dir = lv_parent_relative_path("library/");
  bool ok = dir != nullptr && lvio_setting_set("LV_LIBRARY_DIR", dir) >= 0;
  LV_free(dir);
  return ok;
}

const char* lv_get_classpath() {
  if (classpath == nullptr) classpath = lv_parent_relative_path("bin/corvid.jar");
  return classpath;
}

void lv_clear_installation_paths() {
  replace(&boot_path, nullptr);
  replace(&failed_bootpath, nullptr);
  replace(&classpath, nullptr);
}

int prolog_lorvika_path(lv_worker* w) {
  lv_term rel = lv_deref(w->X[0]);
  if (!lv_is_atom(rel)) return 0;
  char* path = lv_parent_relative_path(lv_atom_text(rel));
  if (path == nullptr) return 0;
  lv_term abs = lv_atom_from_text(path, LV_ATOM_FIND_OR_CREATE);
  LV_free(path);
  return abs != 0 && cunify(w, w->X[1], abs) ? 1 : 0;
}
