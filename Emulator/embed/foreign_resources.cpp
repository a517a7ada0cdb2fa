// Foreign resources: loading, the entry protocol, init and deinit, symbol
// tables and unloading.
#include "embed/foreign_resources.h"

#include <cstdio>
#include <cstring>

#include "core/atoms.h"
#include "core/error_codes.h"
#include "core/errors.h"
#include "core/host.h"
#include "core/memory.h"
#include "core/numbers.h"
#include "core/predefined_atoms.h"
#include "core/stack_shift.h"
#include "core/termrefs.h"
#include "core/text_lists.h"
#include "core/unify.h"
#include "store/predicates.h"
#include "streams/linked_resources.h"
#include "streams/paths.h"

namespace {

constexpr uint32_t RECORD_FLAGS = lv_mem_flags(LV_CAT_FOREIGN_RESOURCE);
// Heap cells kept free beyond what $foreign_resource_symbols builds.
constexpr int64_t HEAP_MARGIN = 1152;

lv_foreign_resource* resources;

typedef void (*with_env_fn)(lv_foreign_env* env, int when);
typedef void (*plain_fn)(int when);

lv_term atom(const char* text) { return lv_atom_from_text(text, LV_ATOM_FIND_OR_CREATE); }

// The entry of a resource linked into the program: the value of the first
// entry of the prelinked table that has one and whose name is the text.
void* find_prelinked_symbol(const char* text) {
  const char* const* names = lv_prelinked_names();
  void* const* values = lv_prelinked_values();
  if (names == nullptr || values == nullptr) return nullptr;
  for (size_t i = 0; names[i] != nullptr; i++)
    if (values[i] != nullptr && std::strcmp(names[i], text) == 0) return values[i];
  return nullptr;
}

// The base name of a file without its extension, as a registered atom; 0
// when it cannot be made.
lv_term base_name_atom(const char* file) {
  char* base = lv_path_basename(file, 1);
  if (base == nullptr) return 0;
  lv_term name = atom(base);
  LV_free(base);
  return name;
}

void fill_params(lv_foreign_resource* r, uint32_t flags) {
  r->params = {};
  r->params.version = LV_FOREIGN_PARAMS_VERSION;
  r->params.env = &r->env;
  r->params.flags = flags;
}

// The entry's answer is usable: it returned 0, filled in its tables, said it
// understood the block and how its functions are called.
bool entry_answer_valid(const lv_foreign_resource* r, int rc) {
  const lv_foreign_params& p = r->params;
  return rc == 0 && p.names != nullptr && p.arities != nullptr && p.functions != nullptr &&
         (p.flags & (LV_FOREIGN_NO_ENV | LV_FOREIGN_WITH_ENV)) != 0 && (p.flags & LV_FOREIGN_UNDERSTOOD) != 0;
}

// Calls init or deinit (a null function succeeds) as a C call of its own:
// the term references it makes are given back and the success flag of the
// running call is kept. True unless the function cleared its flag (it called
// LV_fail or raised an exception).
bool call_function(lv_worker* w, lv_foreign_resource* r, void* function, int when) {
  if (function == nullptr) return true;
  lv_term_ref mark = LV_new_term_refs(0);
  int32_t saved = w->foreign_call->status;
  w->foreign_call->status = 1;
  if ((r->params.flags & LV_FOREIGN_WITH_ENV) != 0)
    reinterpret_cast<with_env_fn>(function)(&r->env, when);
  else
    reinterpret_cast<plain_fn>(function)(when);
  LV_reset_term_refs(mark);
  bool ok = w->foreign_call->status != 0;
  w->foreign_call->status = saved;
  return ok;
}

void unlink_record(lv_foreign_resource* r) {
  for (lv_foreign_resource** p = &resources; *p != nullptr; p = &(*p)->next) {
    if (*p == r) {
      *p = r->next;
      break;
    }
  }
}

void free_record(lv_foreign_resource* r) {
  if (r->name != 0) LV_unregister_atom(r->name);
  lv_mem_free(r, sizeof *r, RECORD_FLAGS);
}

enum unload_result { UNLOADED, DEINIT_FAILED, ENTRY_REFUSED };

// Unloads a record. When -1 (the entry's first answer was refused): the
// entry is not asked again. When below 0: no deinit. An entry that refuses
// the unload keeps the record when keep_refused is set (the built-in then
// raises the error); otherwise the record goes all the same, so that a
// failed load leaves nothing behind.
unload_result unload(lv_worker* w, lv_foreign_resource* r, int when, bool keep_refused) {
  if (r->unload_started == 0 && when != -1) {
    fill_params(r, LV_FOREIGN_UNLOADING);
    r->unload_started = 1;
    int rc = r->entry(&r->params);
    if (!entry_answer_valid(r, rc) && keep_refused) return ENTRY_REFUSED;
  }
  bool ok = true;
  if (when >= 0) ok = call_function(w, r, r->params.deinit, when);
  if (r->library != nullptr) lv_dll_close(r->library);
  unlink_record(r);
  free_record(r);
  return ok ? UNLOADED : DEINIT_FAILED;
}

// Raises the pending error in the context Module:Name/1, argument 1, with
// the culprit term as that argument.
int raise_in(lv_worker* w, const char* name, lv_term argument) {
  w->X[0] = argument;
  return lv_raise_builtin_error(w, LV_ATOM_PROLOG, atom(name), 1, 1);
}

int raise_system(lv_worker* w, const char* context, lv_term argument, const char* message) {
  lv_set_pending_error(LV_ERROR_SYSTEM, message, LV_ATOM_NIL);
  return raise_in(w, context, argument);
}

bool small_when(lv_term t, int* when) {
  t = lv_deref(t);
  if (!lv_is_small(t) || lv_small_value(t) < INT32_MIN || lv_small_value(t) > INT32_MAX) return false;
  *when = static_cast<int>(lv_small_value(t));
  return true;
}

bool unify_atom(lv_worker* w, lv_term t, const char* text) {
  lv_term a = atom(text);
  return a != 0 && cunify(w, t, a) != 0;
}

}  // namespace

lv_foreign_resource* lv_find_foreign_resource(lv_term name) {
  for (lv_foreign_resource* r = resources; r != nullptr; r = r->next)
    if (r->name == name) return r;
  return nullptr;
}

void lv_unload_remaining_foreign_resources() {
  lv_worker* w = get_current_worker();
  while (resources != nullptr) {
    if (w == nullptr) {
      lv_foreign_resource* r = resources;
      if (r->library != nullptr) lv_dll_close(r->library);
      resources = r->next;
      continue;
    }
    (void)unload(w, resources, 2, false);  // nobody is left to tell of a failed deinit
  }
}

int prolog_load_foreign_resource(lv_worker* w) {
  lv_term file = lv_deref(w->X[0]);
  lv_term module = lv_deref(w->X[1]);
  int when = 0;
  if (!lv_is_atom(file) || !lv_is_atom(module) || !small_when(w->X[2], &when)) return 0;
  if (find_module(module, 1) == nullptr) return 0;
  // A resource is known by its base name: the same library named by two
  // paths is loaded once.
  lv_term name = base_name_atom(lv_atom_text(file));
  if (name == 0) return raise_system(w, "load_foreign_resource", file, "out of memory in load_foreign_resource/1");
  if (lv_find_foreign_resource(name) != nullptr) return 1;

  lv_term_ref file_ref = LV_new_term_ref();
  lv_term_ref_cell(w, file_ref) = file;
  void* library = nullptr;
  lv_foreign_entry entry = reinterpret_cast<lv_foreign_entry>(find_prelinked_symbol(lv_atom_text(name)));
  if (entry == nullptr) {
    char* escaped = escape_resource_name(lv_atom_text(name));
    if (escaped == nullptr) {
      lv_set_pending_error(LV_ERROR_SYSTEM, "out of memory in load_foreign_resource/1", LV_ATOM_NIL);
    } else {
      entry = lv_foreign_entry_lookup(lv_atom_text(file), escaped, &library);
      LV_free(escaped);
    }
  }
  if (entry == nullptr) {
    lv_term f = lv_term_ref_cell(w, file_ref);
    LV_reset_term_refs(file_ref);
    return raise_in(w, "load_foreign_resource", f);
  }

  auto* r = static_cast<lv_foreign_resource*>(lv_mem_alloc(sizeof(lv_foreign_resource), RECORD_FLAGS));
  *r = {};
  r->name = name;
  LV_register_atom(name);
  r->library = library;
  r->entry = entry;
  const lv_dispatch* dispatch = LV_get_dispatch_40900(nullptr);
  r->env = {dispatch->c_interface, dispatch->support, 0, w};
  lv_foreign_resource** tail = &resources;
  while (*tail != nullptr) tail = &(*tail)->next;
  *tail = r;

  fill_params(r, LV_FOREIGN_LOADING);
  int rc = entry(&r->params);
  if (!entry_answer_valid(r, rc)) {
    (void)unload(w, r, -1, false);  // the library is closed and the record goes
    lv_term f = lv_term_ref_cell(w, file_ref);
    LV_reset_term_refs(file_ref);
    return raise_system(w, "load_foreign_resource", f, "Foreign resource entry function API error");
  }

  lv_term* choice_before = w->B;
  if (call_function(w, r, r->params.init, when)) {
    LV_reset_term_refs(file_ref);
    return 1;
  }
  // The init function failed: the resource goes (its deinit is not run).
  // An exception it raised is the report; a plain failure gets one.
  bool raised = w->B != choice_before;
  (void)unload(w, r, -2, false);
  lv_term f = lv_term_ref_cell(w, file_ref);
  LV_reset_term_refs(file_ref);
  if (raised) return 0;
  char message[600];
  std::snprintf(message, sizeof message, "the init function of foreign resource %s failed in load_foreign_resource/1",
                lv_atom_text(name));
  return raise_system(w, "load_foreign_resource", f, message);
}

int prolog_unload_foreign_resource(lv_worker* w) {
  lv_term name = lv_deref(w->X[0]);
  lv_term module = lv_deref(w->X[1]);
  int when = 0;
  if (!lv_is_atom(name) || !lv_is_atom(module) || !small_when(w->X[2], &when)) return 0;
  lv_foreign_resource* r = lv_find_foreign_resource(name);
  if (r == nullptr) {
    lv_set_pending_error(LV_ERROR_NO_SUCH_RESOURCE, "", name);
    return raise_in(w, "unload_foreign_resource", name);
  }
  lv_term_ref name_ref = LV_new_term_ref();
  lv_term_ref_cell(w, name_ref) = name;
  unload_result result = unload(w, r, when, true);
  name = lv_term_ref_cell(w, name_ref);
  LV_reset_term_refs(name_ref);
  if (result == ENTRY_REFUSED)
    return raise_system(w, "unload_foreign_resource", name, "Foreign resource entry function API error");
  return result == UNLOADED ? 1 : 0;
}

int prolog_prelinked_foreign_resource(lv_worker* w) {
  lv_term file = lv_deref(w->X[0]);
  if (!lv_is_atom(file)) return 0;
  char* base = lv_path_basename(lv_atom_text(file), 1);
  if (base == nullptr) return 0;
  bool found = find_prelinked_symbol(base) != nullptr;
  LV_free(base);
  return found ? 1 : 0;
}

int prolog_foreign_resource_symbols(lv_worker* w) {
  lv_term name = lv_deref(w->X[0]);
  lv_foreign_resource* r = lv_is_atom(name) ? lv_find_foreign_resource(name) : nullptr;
  if (r == nullptr) {
    // Only a loaded resource has symbols.
    lv_set_pending_error(LV_ERROR_NO_SUCH_RESOURCE, "", name);
    return raise_in(w, "load_foreign_resource", name);
  }
  // A partial, improper or cyclic list of specs fails.
  int64_t count = lv_proper_list_length(w->X[1]);
  if (count < 0) return 0;
  lv_heap_room(w, 3 * count + HEAP_MARGIN, 3);

  for (lv_term t = lv_deref(w->X[1]); lv_is_list(t); t = lv_deref(lv_list_cells(t)[1])) {
    lv_term spec = lv_deref(lv_list_cells(t)[0]);
    if (!lv_is_struct(spec) || lv_is_box_header(lv_struct_cells(spec)[0]) ||
        lv_functor_arity(lv_struct_cells(spec)[0]) < 4)
      return 0;
    lv_term templ = lv_deref(lv_struct_cells(spec)[3]);
    lv_term tname;
    unsigned tarity;
    if (lv_is_atom(templ)) {
      tname = templ;
      tarity = 0;
    } else if (lv_is_struct(templ) && !lv_is_box_header(lv_struct_cells(templ)[0])) {
      tname = lv_functor_atom(lv_struct_cells(templ)[0]);
      tarity = lv_functor_arity(lv_struct_cells(templ)[0]);
    } else {
      return 0;
    }
    const char* text = lv_atom_text(tname);
    void* function = nullptr;
    for (size_t i = 0; r->params.functions[i] != nullptr; i++) {
      if (r->params.arities[i] == static_cast<int32_t>(tarity) && r->params.names[i] != nullptr &&
          std::strcmp(r->params.names[i], text) == 0) {
        function = r->params.functions[i];
        break;
      }
    }
    if (function == nullptr) {
      char message[600];
      std::snprintf(message, sizeof message, "failed to resolve symbol \"%s\": not in table", text);
      return raise_system(w, "load_foreign_resource", name, message);
    }
    lv_term address = lv_make_integer(w, static_cast<int64_t>(reinterpret_cast<uintptr_t>(function)));
    if (cunify(w, lv_struct_cells(spec)[4], address) == 0) return 0;
  }
  int64_t env = (r->params.flags & LV_FOREIGN_WITH_ENV) != 0 ? static_cast<int64_t>(reinterpret_cast<uintptr_t>(&r->env)) : 0;
  return cunify(w, w->X[2], lv_make_integer(w, env));
}

int prolog_foreign_resource_suffix(lv_worker* w) { return unify_atom(w, w->X[0], LV_HOST_LIBRARY_SUFFIX) ? 1 : 0; }

int prolog_lv_main_prefix(lv_worker* w) { return unify_atom(w, w->X[0], "lv_main_LVENV_") ? 1 : 0; }

int prolog_lv_mainfun_params_version(lv_worker* w) {
  return cunify(w, w->X[0], lv_make_small(LV_FOREIGN_PARAMS_VERSION)) != 0 ? 1 : 0;
}
