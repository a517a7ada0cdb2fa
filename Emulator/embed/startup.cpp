// Start-up and shutdown of the runtime.
//
// Start-up goes through its steps in order and remembers how far it got, so
// that a failure (or a fatal fault) part-way takes back exactly what was
// done, and shutdown takes back a started or an initialised runtime alike.
// The I/O layer is the exception: a failed start leaves it running
// (remembered as started here), so that a retry does not start it twice;
// LV_deinitialize stops it then.
#include "embed/startup.h"

#include <csetjmp>
#include <cstdio>
#include <cstring>

#include "core/api_error.h"
#include "core/atoms.h"
#include "core/fault.h"
#include "core/flag_builtins.h"
#include "core/init_state.h"
#include "core/main_thread.h"
#include "core/memory.h"
#include "core/memory_error_term.h"
#include "core/predefined_atoms.h"
#include "core/settings.h"
#include "core/termrefs.h"
#include "core/version_text.h"
#include "embed/argument_vector.h"
#include "embed/async_events.h"
#include "embed/boot_mode.h"
#include "embed/builtin_registry.h"
#include "embed/devsys.h"
#include "embed/encoding_functions.h"
#include "embed/foreign_resources.h"
#include "embed/init_options.h"
#include "embed/install_paths.h"
#include "embed/load_restore.h"
#include "embed/nesting.h"
#include "embed/process_builtins.h"
#include "embed/prolog_contract.h"
#include "embed/queries.h"
#include "embed/runtime_instances.h"
#include "embed/stream_services.h"
#include "embed/system_builtins.h"
#include "embed/timeout_timer.h"
#include "embed/tool_interface.h"
#include "lvio/deferred_close.h"
#include "lvio/initialize.h"
#include "lvio/settings.h"
#include "machine/emulator.h"
#include "machine/recovery.h"
#include "store/predicates.h"
#include "store/qload.h"
#include "store/store_init.h"
#include "streams/file_names.h"
#include "streams/linked_resources.h"
#include "streams/std_streams.h"
#include "streams/stream.h"
#include "streams/stream_close.h"
#include "streams/paths.h"
#include "text/char_class.h"
#include "text/tokenizer_builtins.h"

namespace {

constexpr lv_term DEVELOPMENT = lv_predefined_atom(59);
constexpr lv_term RUNTIME = lv_predefined_atom(147);
constexpr lv_term UNKNOWN = lv_predefined_atom(249);

// The native-code compiler hands over no code yet: the memory manager gets
// no executable areas and the JIT stays off.
constexpr bool JIT_AVAILABLE = false;

// How far start-up got, in the order it gets there; shutdown takes back
// every stage reached.
enum stage : int {
  NOTHING,
  MEMORY,   // the memory manager runs
  TABLES,   // atoms, the program store and the built-in table exist
  ENGINE,   // the engine context exists
  STREAMS,  // the standard streams exist
  TOOLS,    // the tool-interface state is set up: the runtime is started
};

struct startup_state {
  lv_runtime_state_kind state;
  stage reached;
  bool io_available;     // the I/O layer may be used
  bool io_started_here;  // this runtime started the I/O layer
  bool events_closed;    // the closing event run is done and the time-out timer stopped
};

startup_state st{LV_RUNTIME_NOT_STARTED, NOTHING, false, false, false};
lv_engine_global engine_global;

void set_error(int code) {
  if (lv_get_api_error() == 0) lv_set_api_error(code);
}

// The events still queued hear that the queue closes (no event is taken
// after this), and the time-out timer stops: nothing asynchronous runs
// while the Prolog side shuts down and the standard streams close.
void close_event_sources() {
  if (st.events_closed || st.reached < ENGINE) return;
  st.events_closed = true;
  lv_worker* w = get_current_worker();
  if (w != nullptr && !lv_worker_destroyed()) (void)lv_run_events(w, 1);
  (void)lv_timeout_deinit(w);  // its thread queues no more events
}

// The steps of shutdown that take back the stages reached.
void take_back() {
  close_event_sources();
  if (st.reached >= ENGINE) lv_unload_remaining_foreign_resources();
  if (st.reached >= TOOLS) lvti_reset(1);
  if (st.reached >= STREAMS) {
    lv_stream_close_all_std();
    LV_set_user_stream_hook(nullptr, nullptr);
    LV_set_user_stream_post_hook(nullptr, nullptr);
  }
  if (st.reached >= ENGINE) {
    lv_stop_process_table();
    lv_event_queue_stop();
    lv_encoding_shutdown();
    lv_free_memory_error_term();
    if (lv_worker* w = get_current_worker(); w != nullptr && !lv_worker_destroyed()) lv_destroy_worker(w);
    engine_global.engine = nullptr;
  }
  if (st.reached >= TABLES) {
    // Atom words held across a start would name atoms of the next start's
    // table: the holders let go while the atoms still exist.
    lv_restore_version_atom(0);
    lv_devsys_reset();
    lv_builtin_registry_free();
    lv_flags = {};
  }
  if (st.reached >= MEMORY) {
    lv_argv_clear();
    lv_clear_installation_paths();
    lv_clear_current_dir();
    lv_mem_deinit();
  }
  lv_set_prelinked_tables(nullptr, nullptr);
  lv_set_system_mode(RUNTIME);
  lv_set_prolog_initialized(false);
  lv_set_typein_module(nullptr);
  st.reached = NOTHING;
  st.events_closed = false;
  st.io_available = false;
  st.state = LV_RUNTIME_NOT_STARTED;
}

void stop_io_layer() {
  if (!st.io_started_here) return;
  (void)lvio_initialize(nullptr, nullptr, nullptr, 1);  // a stop reports nothing the caller could act on
  st.io_started_here = false;
}

// The text of a setting read by the I/O layer, compared with a word.
bool setting_is(const char* name, const char* word) {
  char text[100];
  size_t size = sizeof text;
  return lvio_setting_get(name, text, &size, 0) >= 0 && std::strcmp(text, word) == 0;
}

// The standard streams made by the default hook become interactive, as
// that hook makes them once interactive mode is forced.
void make_standard_streams_interactive() {
  LV_force_interactive();
  for (lv_stream* s : lv_streams.user) {
    if (s == nullptr) continue;
    s->flags |= LV_STREAM_INTERACTIVE;
    if (s != lv_streams.user[LV_STD_INPUT]) s->flags |= LV_STREAM_LINE_FLUSH;
    lv_stream_update_capabilities(s);
  }
}

// The directory of the boot file: the development system's saved state when
// it is chosen and present (as an embedded resource or a file), else the
// boot file of the kind. false when no directory can be made.
bool choose_boot_file(uint32_t* mode, int* kind, int boot_flags) {
  if ((*mode & LV_MODE_DEVSYS) != 0) {
    char* dir = lv_boot_file_path("lvds.sav");
    char* path = nullptr;
    if (dir != nullptr && (path = static_cast<char*>(LV_malloc(std::strlen(dir) + 9))) != nullptr) {
      std::strcpy(path, dir);
      std::strcat(path, "lvds.sav");
    }
    bool present = lv_is_regular_file("URL:x-lorvika-resource:/lvds.sav") != 0 ||
                   (path != nullptr && lv_file_access_ok(path) != 0);
    LV_free(path);
    if (present) {
      make_standard_streams_interactive();
      *kind = LV_BOOT_DEVSYS;
      lv_set_boot_path(dir);
      return true;
    }
    LV_free(dir);
    *mode &= ~LV_MODE_DEVSYS;
  }
  char file[16];
  std::snprintf(file, sizeof file, "%s%s", lv_boot_base_name(*kind), (boot_flags & 1) != 0 ? ".sav" : ".ql");
  char* dir = lv_boot_file_path(file);
  if (dir == nullptr) return false;
  lv_set_boot_path(dir);
  return true;
}

// Steps 4 to 21: the runtime up to the standard streams and the tool
// interface. 0 on success, else the interface error number.
//
// The boot directory is looked for once the standard streams exist: an
// embedded resource may be appended to a file, which is read as a stream.
// The system mode, and with it the Prolog flags, is settled then.
int start(int argc, const char* const* argv, const lv_init_options* options, const char* const* names,
          void* const* values, int boot_options, int boot_flags) {
  if (!st.io_started_here) {
    lvio_override_table overrides{};
    if (options != nullptr) overrides = lv_init_options_overrides(options);
    if (lvio_initialize(nullptr, nullptr, options != nullptr ? &overrides : nullptr,
                        lv_init_io_start_flags(options)) < 0)
      return LV_ERR_SYSTEM;
    st.io_started_here = true;
  }
  if (options != nullptr && !lv_init_options_valid(options)) return LV_ERR_SYSTEM;
  lv_store_init_options(options);

  // The memory manager; executable areas only for a JIT that can run.
  lv_mem_default_hooks();
  bool jit = !setting_is("LV_JIT", "disabled");
  if (jit && !lv_mem_builtin_hooks_in_use()) {
    jit = false;
    if (lv_getenv_yes_no("LV_SUPPRESS_JIT_DISABLED_WARNINGS", 0) != 1)
      std::fputs("Disabling JIT due to legacy custom memory hook.\n", stderr);
  }
  if (lv_mem_init(jit && JIT_AVAILABLE ? 1 : 0) != 0) return LV_ERR_NO_MEMORY;
  st.reached = MEMORY;
  lv_system_builtins_reset();
  st.io_available = true;

  // The choice of system.
  uint32_t mode = lv_boot_mode_word(static_cast<uint32_t>(boot_flags), static_cast<uint32_t>(boot_options),
                                    lv_read_devsys_settings());
  int kind = boot_options & 3;
  if (kind == LV_BOOT_INVALID) return LV_ERR_BAD_VALUE;
  if (kind == LV_BOOT_DEVSYS) mode &= ~LV_MODE_DEVSYS;
  lv_set_system_mode((mode & LV_MODE_DEVSYS) != 0 ? UNKNOWN : kind == LV_BOOT_DEVSYS ? DEVELOPMENT : RUNTIME);

  lv_set_prelinked_tables(names, values);
  lv_argv_clear();
  lv_clear_installation_paths();
  lv_char_classes_init();
  lv_set_current_dir_options(0);
  if (lv_init_startup_dir() == 0 || !lv_set_installation_paths()) return LV_ERR_SYSTEM;

  // The runtime tables.
  lv_atoms_startup();
  st.reached = TABLES;
  lv_store_init();
  lv_define_kind_predicates();
  if (!lv_builtin_registry_init() || lv_multi_state_get_or_create() == nullptr) return LV_ERR_SYSTEM;
  lv_set_typein_module(lv_prolog_module());

  (void)LV_set_argv(argc, argv, 0);  // a vector that cannot be stored leaves none

  lv_jmpbuf_fixup_init(static_cast<uint32_t>(boot_flags));
  lv_worker* w = lv_create_worker();
  if (w == nullptr) return LV_ERR_SYSTEM;
  lv_set_current_worker(w);
  engine_global.engine = w;
  st.reached = ENGINE;
  lv_make_memory_error_term(w);
  if (lv_event_queue_init(w) < 0) return LV_ERR_SYSTEM;
  lv_init_process_table();
  if (lv_timeout_init() < 0) return LV_ERR_SYSTEM;

  if (lv_init_std_streams() == 0) return LV_ERR_SYSTEM;
  st.reached = STREAMS;
  if (!choose_boot_file(&mode, &kind, boot_flags)) return LV_ERR_SYSTEM;
  lv_set_system_mode(kind == LV_BOOT_DEVSYS ? DEVELOPMENT : RUNTIME);
  engine_global.mode = mode;
  engine_global.boot_kind = kind;
  lv_flags_init();
  lv_reset_reader_flags();
  lv_enter_emulator(w, LV_ENTER_SETTINGS, nullptr);  // the trace and profiling settings
  lv_make_user_streams();
  lv_reset_current_streams();
  lv_install_stream_services();

  if (!lv_set_library_dir()) return LV_ERR_SYSTEM;
  lvti_reset(0);
  st.reached = TOOLS;
  st.state = LV_RUNTIME_STARTED;
  return 0;
}

// Step 24: the saved state from the boot directory.
int boot(int boot_flags) {
  if ((boot_flags & 1) == 0) return 0;
  lv_set_version_atom(LV_VERSION_BANNER);
  const char* dir = lv_get_boot_path();
  const char* base = lv_boot_base_name(engine_global.boot_kind);
  size_t n = std::strlen(dir) + std::strlen(base) + 5;
  char* path = static_cast<char*>(LV_malloc(n));
  if (path == nullptr) return LV_ERR_SYSTEM;
  std::snprintf(path, n, "%s%s.sav", dir, base);
  if (lv_qload_or_restore(path, 0) == 0) {
    lv_set_failed_bootpath(path);
    return LV_ERR_BOOT_FAILED;
  }
  LV_free(path);
  // The development system's C built-ins and start-up goals.
  uint32_t mode = engine_global.mode;
  if ((mode & LV_MODE_DEVSYS) != 0) {
    int flags = ((mode & LV_MODE_DEVSYS_FLAG) != 0 ? LV_DEVSYS_SKIP_GOALS : 0) |
                ((mode & LV_MODE_ATTACH_IDE) != 0 ? LV_DEVSYS_ATTACH : 0) |
                ((mode & LV_MODE_NO_TRACE) != 0 ? LV_DEVSYS_NO_TRACE : 0);
    if (lv_dev_init(nullptr, flags) != 0) return LV_ERR_DEVSYS_FAILED;
  }
  return 0;
}

lv_jump_record abort_record;

}  // namespace

lv_runtime_state_kind lv_runtime_state() { return st.state; }

bool lv_io_layer_available() { return st.io_available; }

lv_engine_global* lv_get_engine_global() { return &engine_global; }

namespace {

// The arguments of a start, kept outside the frame that sets the abort
// record, which a fatal fault unwinds to.
struct start_request {
  int argc;
  const char* const* argv;
  const lv_init_options* options;
  const char* const* names;
  void* const* values;
  int boot_options;
  int boot_flags;
};
start_request request;

// Steps 2 to 26; the interface error number, 0 on success.
int run_startup() {
  engine_global = {};
  engine_global.main_thread = lv_record_main_thread();
  const start_request& r = request;
  if (r.boot_flags < 0) return LV_ERR_BAD_VALUE;
  if (r.options != nullptr && r.options->format != LV_INIT_OPTIONS_FORMAT) return LV_ERR_UNKNOWN;
  int error = start(r.argc, r.argv, r.options, r.names, r.values, r.boot_options, r.boot_flags);
  if (error != 0) {
    take_back();
    return error;
  }
  return boot(r.boot_flags);
}

}  // namespace

int lv_glue_initialize(int argc, const char* const* argv, const lv_init_options* options,
                       const char* const* prelinked_names, void* const* prelinked_values, int boot_options,
                       int boot_flags) {
  lv_set_api_error(0);
  if (st.state == LV_RUNTIME_INITIALISED) {
    lv_clear_stored_init_options();
    return 1;
  }
  // A runtime started but not booted is taken down: start-up begins afresh.
  if (st.state == LV_RUNTIME_STARTED) take_back();
  request = {argc, argv, options != nullptr ? options : lv_stored_init_options(), prelinked_names,
             prelinked_values, boot_options, boot_flags};

  lv_jump_record* volatile previous = lv_get_abort_env();
  abort_record.type = 0;
  abort_record.self = &abort_record;
  lv_set_abort_env(&abort_record);
  int error;
  if (setjmp(abort_record.buffer) == 0) {
    error = run_startup();
  } else {
    // A fatal fault: everything but the I/O layer is taken back.
    lv_set_current_recovery(nullptr);
    error = lv_get_api_error() != 0 ? lv_get_api_error() : LV_ERR_SYSTEM;
    take_back();
  }
  lv_set_abort_env(previous);
  request = {};
  lv_clear_stored_init_options();
  if (error != 0) {
    set_error(error);
    return 0;
  }
  return 1;
}

void LV_deinitialize() {
  if (st.state == LV_RUNTIME_NOT_STARTED) {
    stop_io_layer();
    return;
  }
  lv_worker* w = get_current_worker();
  (void)lvio_deferred_close_all(0);  // what the nodes report has no one to go to
  (void)lv_event_pending_take();     // an interrupt pending now has no one left to stop
  lv_free_output_callbacks();
  if (w != nullptr) lv_nest_enter();
  close_event_sources();
  lv_set_failed_bootpath(nullptr);
  if (st.state == LV_RUNTIME_INITIALISED) {
    // The Prolog side's own shutdown: it unloads the foreign resources.
    lv_term name = lv_atom_from_text("lv_deinitialize", LV_ATOM_FIND);
    lv_pred* p = name != 0 ? lv_lookup_predicate(lv_prolog_module(), name, 0, LV_LOOKUP_FIND) : nullptr;
    if (p == nullptr || lv_definition_type(p) == LV_DEF_UNDEFINED)
      lv_set_api_error(name == 0 ? LV_ERR_NO_ATOM : LV_ERR_NO_PREDICATE);
    else
      (void)LV_query_cut_fail(p);  // its outcome changes nothing below
  }
  take_back();
  stop_io_layer();
}

int lv_qload_or_restore(const char* path, int flags) {
  if (st.state == LV_RUNTIME_NOT_STARTED) {
    lv_set_api_error(LV_ERR_NOT_INITIALIZED);
    return 0;
  }
  if (path == nullptr) {
    lv_set_api_error(LV_ERR_NULL_TEXT);
    return 0;
  }
  lv_worker* w = get_current_worker();
  if (flags != 0) {
    if (lv_qload_boot(w, path) < 0) {
      lv_set_api_error(LV_ERR_BOOT_FAILED);
      return 0;
    }
  } else {
    lv_set_typein_module(lv_prolog_module());
    // The embedded resource named as the path's last component first.
    char* last = lv_path_basename(path, 0);
    bool restored = false;
    if (last != nullptr) {
      size_t n = std::strlen(last) + 25;
      char* url = static_cast<char*>(LV_malloc(n));
      if (url != nullptr) {
        std::snprintf(url, n, "URL:x-lorvika-resource:/%s", last);
        restored = lv_restore_state(url);
        LV_free(url);
      }
      LV_free(last);
    }
    if (!restored && !lv_restore_state(path)) {
      lv_set_api_error(LV_ERR_BOOT_FAILED);
      return 0;
    }
    lv_copy_module_predicates();
    lv_set_typein_module(find_module(LV_ATOM_USER, 1));
  }
  lv_lookup_role_predicates();
  lv_set_prolog_initialized(true);
  st.state = LV_RUNTIME_INITIALISED;
  return 1;
}
