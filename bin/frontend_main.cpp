// The front end's main program: the option loop, start-up of the runtime,
// the parameter block for the development system, and then either the top
// level or, with -B/-R, booting from a quick-load file and saving the state.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "frontend.h"
#include "frontend_runtime.h"

namespace {

lv_frontend_params frontend_params;
const lv_dispatch* dispatch;

constexpr int BOOT_KIND_DEVELOPMENT = 1;
constexpr int BOOT_FLAGS_RESTORE = 0x10001;
constexpr int BOOT_FLAGS_QUICK_LOAD = 0x10000;
constexpr int ERROR_BOOT_FILE = 3;
constexpr int ERROR_EXCEPTION = 10;

// What the option loop collects; freed by release().
struct options {
  bool boot_flag = false;  // -B
  bool rdump_flag = false; // -R
  const char* dump_path = nullptr;
  const char* restore_file = nullptr;
  const char* patch_file = nullptr;
  const char** files = nullptr;  // the -l arguments (realloc'd)
  int file_count = 0;
  lv_init_option* items = nullptr;  // the -D/-m settings (realloc'd)
  int item_count = 0;
  bool interactive = false;
  bool quiet = false;
  const char* goal = nullptr;
  const char* ide_attach = nullptr;
  int passed_count = 0;
  const char* const* passed = nullptr;
  int signal_mode = 1;
  bool started = false;
  char* kept_dump_path = nullptr;     // runtime memory
  char* kept_restore_file = nullptr;  // runtime memory
  char* restore_copy = nullptr;       // C heap
};

void free_items(options& o) {
  for (int i = 0; i < o.item_count; i++)
    if (o.items[i].kind == LV_INIT_OPTION_SETTING) std::free(const_cast<char*>(o.items[i].name));
  std::free(o.items);
  o.items = nullptr;
  o.item_count = 0;
}

void free_field(char*& p) {
  if (p != nullptr) rt::free(p);
  p = nullptr;
}

int release(options& o, int code) {
  if (o.started) {
    if (frontend_params.files != nullptr) {
      for (uint64_t i = 0; i < frontend_params.file_count; i++) free_field(frontend_params.files[i]);
      rt::free(frontend_params.files);
      frontend_params.files = nullptr;
    }
    frontend_params.file_count = 0;
    free_field(frontend_params.restore_file);
    free_field(frontend_params.patch_file);
    free_field(frontend_params.goal);
    free_field(frontend_params.ide_attach);
    free_field(o.kept_dump_path);
    free_field(o.kept_restore_file);
    rt::deinitialize();
  }
  free_items(o);
  std::free(o.restore_copy);
  std::free(o.files);
  return code;
}

// A -D text (or -m's): name and value point into one copy, split at the
// first "=". false for a text without "=" (after the message) or memory.
enum item_result { ITEM_OK, ITEM_MALFORMED, ITEM_MEMORY };
item_result add_item(options& o, const char* arg, const char* text) {
  if (std::strchr(text, '=') == nullptr) {
    rt::errprintf(1, "Malformed option \"%s\"\n", arg);
    return ITEM_MALFORMED;
  }
  char* copy = ::strdup(text);
  if (copy == nullptr) return ITEM_MEMORY;
  auto items = static_cast<lv_init_option*>(std::realloc(o.items, (o.item_count + 1) * sizeof(lv_init_option)));
  if (items == nullptr) {
    std::free(copy);
    return ITEM_MEMORY;
  }
  o.items = items;
  char* eq = std::strchr(copy, '=');
  *eq = '\0';
  o.items[o.item_count++] = {LV_INIT_OPTION_SETTING, copy, eq + 1};
  if (o.signal_mode <= 1 && std::strcmp(copy, "LV_REDUCE_USE_OF_OS_SIGNALS") == 0) {
    if (std::strcmp(eq + 1, "yes") == 0) o.signal_mode = 2;
    else if (std::strcmp(eq + 1, "no") == 0) o.signal_mode = 0;
  }
  return ITEM_OK;
}

// -1 the loop goes on, otherwise the exit code.
enum { CONTINUE = -1 };

int missing_value(const char* option, int argc, char** argv) {
  rt::errprintf(2, "Missing argument to option '%s'.\n", option);
  frontend_print_usage(1, argc, argv);
  return 1;
}

int option_loop(options& o, int argc, char** argv) {
  for (int i = 1; i < argc; i++) {
    const char* a = argv[i];
    bool takes_value = std::strcmp(a, "-r") == 0 || std::strcmp(a, "--Xpatch") == 0 || std::strcmp(a, "-l") == 0 ||
                       std::strcmp(a, "--ketch") == 0 || std::strcmp(a, "--goal") == 0 ||
                       std::strcmp(a, "--locale") == 0;
    if (takes_value && i + 1 >= argc) return missing_value(a, argc, argv);
    if (std::strcmp(a, "-Xrs") == 0) {
      o.signal_mode = 2;
    } else if (std::strncmp(a, "-B", 2) == 0 || std::strncmp(a, "-R", 2) == 0) {
      bool b = a[1] == 'B';
      if (b ? o.rdump_flag : o.boot_flag) {
        rt::errprintf(1, "The -B and -R options cannot be used together.\n");
        return 1;
      }
      (b ? o.boot_flag : o.rdump_flag) = true;
      o.dump_path = a + 2;
    } else if (std::strcmp(a, "-r") == 0) {
      o.restore_file = argv[++i];
    } else if (std::strcmp(a, "--Xpatch") == 0) {
      o.patch_file = argv[++i];
    } else if (std::strcmp(a, "-f") == 0) {
      frontend_params.no_init_file = 1;
    } else if (std::strcmp(a, "-i") == 0) {
      o.interactive = true;
      rt::force_interactive();
    } else if (std::strcmp(a, "--nologo") == 0) {
      frontend_params.nologo = 1;
    } else if (std::strcmp(a, "--noinfo") == 0) {
      frontend_params.noinfo = 1;
    } else if (std::strcmp(a, "-l") == 0) {
      auto files = static_cast<const char**>(std::realloc(o.files, (o.file_count + 1) * sizeof(char*)));
      if (files == nullptr) return 1;
      o.files = files;
      o.files[o.file_count++] = argv[++i];
    } else if (std::strcmp(a, "-a") == 0 || std::strcmp(a, "--") == 0) {
      o.passed_count = argc - i - 1;
      o.passed = o.passed_count > 0 ? argv + i + 1 : nullptr;
      break;
    } else if (std::strcmp(a, "-q") == 0) {
      o.quiet = true;
    } else if (std::strcmp(a, "--ketch") == 0) {
      o.ide_attach = argv[++i];
    } else if (std::strcmp(a, "--goal") == 0) {
      o.goal = argv[++i];
    } else if (std::strcmp(a, "--Xinheriterrormode") == 0 || std::strcmp(a, "--nolocale") == 0) {
    } else if (std::strncmp(a, "-D", 2) == 0 || std::strcmp(a, "-m") == 0) {
      item_result r = add_item(o, a, a[1] == 'm' ? "LV_USE_MALLOC=yes" : a + 2);
      if (r != ITEM_OK) return 1;
    } else if (std::strcmp(a, "--locale") == 0) {
      rt::errprintf(2, "The --locale option is not supported on Linux (%s %s).\n", a, argv[i + 1]);
      frontend_print_usage(1, argc, argv);
      return 1;
    } else if (std::strcmp(a, "-help") == 0 || std::strcmp(a, "--help") == 0) {
      frontend_print_usage(0, argc, argv);
      return 0;
    } else if (std::strcmp(a, "--version") == 0) {
      frontend_print_version();
      return 0;
    } else {
      rt::errprintf(2, "Unknown option '%s'.\n", a);
      frontend_print_usage(1, argc, argv);
      return 1;
    }
  }
  return CONTINUE;
}

// A text converted and copied into runtime memory; with check, it must make
// an atom. 0 done, 1 malformed (message given), 2 memory.
int convert(lv_term_ref t, const char* text, bool check, char** out, const char* format, const char* option) {
  *out = nullptr;
  if (text == nullptr) return 0;
  char* s = rt::from_os(text);
  if (s == nullptr) return 2;
  if (check && rt::put_string(t, s) == 0) {
    if (option != nullptr) rt::errprintf(1, format, option, s);
    else rt::errprintf(1, format, s);
    return 1;
  }
  *out = rt::strdup(s);
  return *out == nullptr ? 2 : 0;
}

// Fills the parameter block; CONTINUE or the exit code.
int fill_params(options& o) {
  lv_term_ref t = rt::new_term_ref();
  int r = 0;
  if (o.file_count > 0) {
    frontend_params.files = static_cast<char**>(rt::malloc(8 * static_cast<size_t>(o.file_count)));
    if (frontend_params.files == nullptr) r = 2;
  }
  for (int i = 0; r == 0 && i < o.file_count; i++) {
    char* copy;
    r = convert(t, o.files[i], true, &copy, "Malformed -l pathname `%s'\n", nullptr);
    if (r == 0) frontend_params.files[frontend_params.file_count++] = copy;
  }
  if (r == 0) r = convert(t, o.restore_file, true, &frontend_params.restore_file, "Malformed -r pathname `%s'\n", nullptr);
  if (r == 0)
    r = convert(t, o.patch_file, true, &frontend_params.patch_file, "Malformed --Xpatch pathname `%s'\n", nullptr);
  if (r == 0 && (o.boot_flag || o.rdump_flag))
    r = convert(t, o.dump_path, true, &o.kept_dump_path, "Malformed %s pathname `%s'\n", o.rdump_flag ? "-R" : "-B");
  if (r == 0) r = convert(t, o.goal, false, &frontend_params.goal, nullptr, nullptr);
  if (r == 0) r = convert(t, o.ide_attach, false, &frontend_params.ide_attach, nullptr, nullptr);
  if (r == 2) rt::errprintf(1, "Failed to boot Lorvika runtime.\n");
  if (r != 0) return 1;
  rt::reset_term_refs(t);
  return CONTINUE;
}

// The 9.4 report of a boot/0 that did not succeed.
void report_boot_failure(int result) {
  const char* name = "prolog:'$boot'/0";
  if (result == 0) {
    rt::errprintf(2, "%s failed.\n", name);
  } else if (rt::get_errno() == ERROR_EXCEPTION) {
    lv_term_ref kind = rt::new_term_ref();
    lv_term_ref ball = rt::new_term_ref();
    rt::put_string(kind, "error");
    if (rt::exception_term(ball) == 1) {
      lv_pred* print = rt::predicate("print_message", 2, nullptr);
      if (print == nullptr || rt::query(print, kind, ball) != 1)
        rt::errprintf(2, "%s: uncaught exception (unknown; could not print it)\n", name);
    } else {
      rt::errprintf(2, "%s: unknown failure.\n", name);
    }
  } else {
    rt::errprintf(2, "%s: %s\n", name, rt::error_message(rt::get_errno()));
  }
  rt::errprintf(1, "Could not boot Prolog engine.\n");
}

// The dump road; CONTINUE for the top level, otherwise the exit code.
int dump_road(options& o) {
  const char* path = o.kept_dump_path != nullptr ? o.kept_dump_path : "";
  if (path[0] != '\0') {
    const char* slash = std::strrchr(path, '/');
    if (slash == nullptr || std::strchr(slash, '.') == nullptr) {
      rt::errprintf(1, "Malformed dump pathname `%s'\n", path);
      return 1;
    }
  }
  if (o.kept_restore_file == nullptr) {
    rt::errprintf(1, "QL pathname must be specified (with -r file.ql)\n");
    return 1;
  }
  o.restore_copy = ::strdup(o.kept_restore_file);
  if (o.restore_copy == nullptr) {
    rt::errprintf(1, "Failed to boot Lorvika runtime.\n");
    return 1;
  }
  if (rt::qload_or_restore(o.restore_copy, 1) == 0) {
    rt::errprintf(1, "Couldn't load boot file `%s': %s\n", o.restore_copy, rt::error_message(rt::get_errno()));
    return 1;
  }
  int result = rt::query_cut_fail(rt::predicate("boot", 0, "prolog"));
  if (result != 1) {
    report_boot_failure(result);
    return 1;
  }
  if (path[0] == '\0') return CONTINUE;
  lv_term_ref t1 = rt::new_term_ref();
  lv_term_ref t2 = rt::new_term_ref();
  lv_term_ref t3 = rt::new_term_ref();
  if (rt::put_string(t1, path) == 0) {
    rt::errprintf(1, "Malformed dump pathname `%s'\n", path);
    return 1;
  }
  rt::put_integer(t2, 1);
  if (rt::query_cut_fail(rt::predicate("$save", 3, "prolog"), t1, t2, t3) < 1) {
    rt::errprintf(1, "Failed to boot Lorvika runtime.\n");
    return 1;
  }
  if (!o.quiet) rt::errprintf(1, "Created `%s'.\n", path);
  return 0;
}

int reduce_use_of_os_signals(lv_term_ref, void*) {
  frontend_reset_fault_signals();
  return 1;
}

}  // namespace

const lv_dispatch* frontend_dispatch() {
  if (dispatch == nullptr) dispatch = LV_get_dispatch_40900(nullptr);
  return dispatch;
}

int frontend_main(int argc, char** argv) {
  frontend_params = {};
  frontend_params.size = sizeof(lv_frontend_params);
  (void)frontend_dispatch();
  frontend_install_message_channel();
  options o;
  int code = option_loop(o, argc, argv);
  if (code != CONTINUE) return release(o, code);

  bool dump = o.boot_flag || o.rdump_flag;
  lv_init_options init = {LV_INIT_OPTIONS_FORMAT, static_cast<uint64_t>(o.item_count), o.items};
  const char* const names[] = {nullptr};
  void* const values[] = {nullptr};
  o.started = true;
  if (rt::glue_initialize(o.item_count > 0 ? &init : nullptr, names, values, BOOT_KIND_DEVELOPMENT,
                          dump ? BOOT_FLAGS_QUICK_LOAD : BOOT_FLAGS_RESTORE) != 1) {
    if (rt::get_errno() == ERROR_BOOT_FILE) {
      const char* path = rt::failed_bootpath();
      rt::errprintf(1, "Could not find bootfile '%s'.\n", path != nullptr ? path : "");
    } else {
      rt::errprintf(1, "Could not initialize Lorvika runtime: %s\n", rt::error_message(rt::get_errno()));
    }
    return release(o, 1);
  }
  if (rt::set_argv(o.passed_count, o.passed) == 0) {
    rt::errprintf(1, "Malformed command line arguments\n");
    return release(o, 1);
  }
  free_items(o);

  code = fill_params(o);
  if (code != CONTINUE) return release(o, code);
  if (dump) {
    o.kept_restore_file = frontend_params.restore_file;
    frontend_params.restore_file = nullptr;
  }
  if (rt::init_ds(&frontend_params) < 0) return release(o, 1);

  int mode = o.signal_mode;
  if (mode == 1 && (o.interactive || (fileno(stdin) > 0 && isatty(fileno(stdin))))) mode = 0;
  frontend_install_signal_handlers(mode);

  if (dump) {
    code = dump_road(o);
    if (code != CONTINUE) return release(o, code);
  }
  rt::define_c_predicate("reduce_use_of_os_signals", 0, "prolog", reduce_use_of_os_signals);
  return release(o, frontend_run_toplevel());
}
