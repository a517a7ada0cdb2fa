// LV_load, LV_restore and the saved-state restore of start-up.
#include "embed/load_restore.h"

#include <cstring>

#include "core/api_error.h"
#include "core/atoms.h"
#include "core/memory.h"
#include "core/predefined_atoms.h"
#include "core/termrefs.h"
#include "embed/queries.h"
#include "embed/term_interface.h"
#include "store/call_choicepoint.h"
#include "store/predicates.h"
#include "streams/file_names.h"
#include "streams/resource_directory.h"

namespace {

constexpr const char* ANY_EMBEDDED_STATE = "URL:x-lorvika-resource:*.sav";
constexpr const char RESOURCE_PREFIX[] = "URL:x-lorvika-resource:";

bool ends_with_sav(const char* text) {
  size_t n = std::strlen(text);
  return n >= 4 && std::strcmp(text + n - 4, ".sav") == 0;
}

// The resource URL of the first embedded saved state: a resource whose file
// (or, without one, its name) ends in ".sav". A new LV_malloc text, or null.
char* first_embedded_state() {
  lv_resource_file* file = nullptr;
  if (lv_resource_directory(&file) < 0) return nullptr;
  for (; file != nullptr; file = file->next) {
    for (lv_resource_entry* e = file->resources; e != nullptr; e = e->next) {
      const char* name = nullptr;
      if (lv_resource_property(e, "file", &name) < 0 && lv_resource_property(e, "name", &name) < 0) continue;
      if (!ends_with_sav(name)) continue;
      size_t n = sizeof RESOURCE_PREFIX + std::strlen(name);
      char* url = static_cast<char*>(LV_malloc(n));
      if (url != nullptr) {
        std::memcpy(url, RESOURCE_PREFIX, sizeof RESOURCE_PREFIX - 1);
        std::memcpy(url + sizeof RESOURCE_PREFIX - 1, name, std::strlen(name) + 1);
      }
      return url;
    }
  }
  return nullptr;
}

// Runs Name(Atom) of the default module, the atom made from the text.
int run_on_text(const char* name, const char* text) {
  if (text == nullptr) {
    lv_set_api_error(LV_ERR_NULL_TEXT);
    return -1;
  }
  lv_term atom = lv_atom_from_text(text, LV_ATOM_FIND_OR_CREATE);
  if (atom == 0) {
    lv_set_api_error(LV_ERR_NO_ATOM);
    return -1;
  }
  lv_module* m = lv_typein_module();
  lv_term name_atom = lv_atom_from_text(name, LV_ATOM_FIND_OR_CREATE);
  lv_pred* p = m != nullptr && name_atom != 0 ? lv_lookup_predicate(m, name_atom, 1, LV_LOOKUP_DEFINE) : nullptr;
  if (p == nullptr || lv_definition_type(p) == LV_DEF_UNDEFINED) {
    lv_set_api_error(LV_ERR_NO_PREDICATE);
    return -1;
  }
  lv_term_ref arg = LV_new_term_ref();
  LV_put_atom(arg, atom);
  int result = LV_query_cut_fail(p, arg);
  LV_reset_term_refs(arg);
  return result;
}

}  // namespace

int LV_load(const char* file) { return run_on_text("load_files", file); }

int LV_restore(const char* path) {
  if (path == nullptr || std::strcmp(path, ANY_EMBEDDED_STATE) != 0) return run_on_text("restore", path);
  char* state = lv_any_embedded_state();
  if (state == nullptr) {
    lv_set_api_error(LV_ERR_NO_ATOM);
    return -1;
  }
  int result = run_on_text("restore", state);
  LV_free(state);
  return result;
}

char* lv_any_embedded_state() {
  char* state = first_embedded_state();
  return state != nullptr ? state : lv_normalize_file_name("$LV_APP_DIR/main.sav", nullptr, 0);
}

bool lv_restore_state(const char* path) {
  lv_worker* w = get_current_worker();
  lv_term name = lv_atom_from_text("$restore", LV_ATOM_FIND);
  lv_pred* p = name != 0 ? lv_lookup_predicate(lv_prolog_module(), name, 2, LV_LOOKUP_FIND) : nullptr;
  if (w == nullptr || p == nullptr || lv_definition_type(p) != LV_DEF_C || p->definition == nullptr) return false;
  lv_term file = lv_atom_from_text(path, LV_ATOM_FIND_OR_CREATE);
  if (file == 0) return false;
  lv_term* b = w->B;
  w->X[0] = file;
  w->X[1] = LV_ATOM_NIL;
  int result = reinterpret_cast<int (*)(lv_worker*)>(p->definition)(w);
  // An error it raised left the handler's call behind: there is nobody to
  // run it here.
  bool raised = w->B < b;
  while (w->B < b) lv_pop_call_choicepoint(w);
  return result != 0 && !raised;
}
