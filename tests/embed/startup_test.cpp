// Start-up and shutdown in the test's own process: the initial options, the
// mode word, the settings, the states of the runtime and the steps that
// take it down, the installation paths and the boot-directory search, boot
// loading with its patch file, and the C interface's settings slots.
#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "core/api_error.h"
#include "core/memory.h"
#include "core/settings.h"
#include "core/thread_time.h"
#include "core/version_text.h"
#include "embed/async_events.h"
#include "embed/boot_mode.h"
#include "embed/c_predicates.h"
#include "embed/init_options.h"
#include "embed/install_paths.h"
#include "embed/load_restore.h"
#include "embed/startup.h"
#include "embed/system_properties.h"
#include "embed/title_hooks.h"
#include "lvio/allocator.h"
#include "lvio/environment.h"
#include "store/qload.h"
#include "streams/file_names.h"
#include "streams/stream_api.h"
#include "support/env.h"
#include "support/ql_writer.h"
#include "support/temp_files.h"
#include "startup_support.h"

using namespace startup_test;

using BootLoading = RuntimeTest;
using BootMode = RuntimeTest;
using EmbeddedResources = RuntimeTest;
using InitOptions = RuntimeTest;
using InstallPaths = RuntimeTest;
using Startup = RuntimeTest;
using SystemProperties = RuntimeTest;
using Titles = RuntimeTest;

namespace {

lv_init_option setting_item(const char* name, const char* value) { return {LV_INIT_OPTION_SETTING, name, value}; }

std::string copy_of(const char* text) {
  std::string s = text != nullptr ? text : "";
  return s;
}

std::string normalised(const std::string& path, uint32_t flags = 0) {
  char* p = lv_normalize_file_name(path.c_str(), nullptr, flags);
  std::string s = p != nullptr ? p : "";
  LV_free(p);
  return s;
}

void copy_file(const std::string& from, const std::string& to) {
  std::filesystem::create_directories(std::filesystem::path(to).parent_path());
  std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing);
}

}  // namespace

// ---------------------------------------------------------------------------
// The initial options.

TEST_F(InitOptions, ValidityOfRecords) {
  lv_init_option good[] = {setting_item("A", "1"), {LV_INIT_OPTION_IGNORED, nullptr, nullptr}};
  lv_init_option no_value[] = {setting_item("A", nullptr)};
  lv_init_option no_name[] = {setting_item(nullptr, "1")};
  lv_init_option bad_kind[] = {{3, "A", "1"}};
  struct {
    lv_init_options options;
    bool valid;
  } cases[] = {
      {{LV_INIT_OPTIONS_FORMAT, 2, good}, true},
      {{LV_INIT_OPTIONS_FORMAT, 0, nullptr}, true},
      {{LV_INIT_OPTIONS_FORMAT, 1, nullptr}, false},
      {{LV_INIT_OPTIONS_FORMAT + 1, 2, good}, false},
      {{LV_INIT_OPTIONS_FORMAT, 1, no_value}, false},
      {{LV_INIT_OPTIONS_FORMAT, 1, no_name}, false},
      {{LV_INIT_OPTIONS_FORMAT, 1, bad_kind}, false},
  };
  for (const auto& c : cases) EXPECT_EQ(lv_init_options_valid(&c.options), c.valid) << c.options.count;
  EXPECT_FALSE(lv_init_options_valid(nullptr));
}

TEST_F(InitOptions, OptionFlagsAndTheIoStartFlags) {
  lv_init_option items[] = {setting_item("F", "no"), setting_item("F", "maybe"), {LV_INIT_OPTION_IGNORED, "F", "yes"},
                            setting_item("G", "yes"), setting_item("G", "no"), setting_item("H", "YES")};
  lv_init_options o{LV_INIT_OPTIONS_FORMAT, 6, items};
  EXPECT_EQ(lv_init_option_flag(&o, "F", 1), 0);   // "maybe" keeps the no before it
  EXPECT_EQ(lv_init_option_flag(&o, "G", 1), 0);   // the last one wins
  EXPECT_EQ(lv_init_option_flag(&o, "H", 0), 0);   // exactly "yes"
  EXPECT_EQ(lv_init_option_flag(&o, "absent", 1), 1);
  EXPECT_EQ(lv_init_option_flag(nullptr, "F", 1), 1);

  EXPECT_EQ(lv_init_io_start_flags(nullptr), 4u);
  lv_init_option off[] = {setting_item("LVRM_21178", "no"), setting_item("LVRM_21329_NO_STDIN_", "yes")};
  lv_init_options o2{LV_INIT_OPTIONS_FORMAT, 2, off};
  EXPECT_EQ(lv_init_io_start_flags(&o2), 8u);
}

TEST_F(InitOptions, StoredOptionsOnlyBeforeStartUp) {
  lv_init_option items[] = {setting_item("LVTEST_STORED", "from the stored options")};
  lv_init_options o{LV_INIT_OPTIONS_FORMAT, 1, items};
  lv_init_options bad{LV_INIT_OPTIONS_FORMAT, 1, nullptr};
  EXPECT_EQ(LV_set_initial_options(&bad), 0);
  EXPECT_EQ(LV_set_initial_options(&o), 1);
  // Start-up takes the stored options when given none, and forgets them.
  ASSERT_EQ(start(), 1);
  EXPECT_EQ(setting("LVTEST_STORED"), "from the stored options");
  EXPECT_EQ(lv_stored_init_options(), nullptr);
  EXPECT_EQ(LV_set_initial_options(&o), 0);
  LV_deinitialize();
  EXPECT_EQ(LV_set_initial_options(nullptr), 1);
}

// ---------------------------------------------------------------------------
// The mode word and the settings.

TEST_F(BootMode, ModeWordFromFlagsOptionsAndSettings) {
  constexpr uint32_t D = LV_MODE_DEVSYS, I = LV_MODE_ATTACH_IDE, S = LV_MODE_SETTINGS, N = LV_MODE_DEVSYS_DENIED,
                     T = LV_MODE_NO_TRACE;
  const lv_devsys_settings unset{-1, -1, -1, -1};
  struct {
    uint32_t flags, options;
    lv_devsys_settings s;
    uint32_t mode;
  } cases[] = {
      {1, 0, unset, 1 | S},
      {0, 0, unset, S},
      {1, 0x10, unset, 1 | S | D},
      {0, 0x10, unset, S},                         // boot flags bit 0 clear: no development system
      {1, 0x20, unset, 1 | S | I | D},             // attaching implies the development system
      {1, 0x100, unset, 1 | S | T},
      {1, 0x80, {-1, -1, 1, -1}, 1 | N},           // not allowed: the settings are not consulted
      {1, 0, {0, 1, 1, 1}, 1 | N},                 // LV_ALLOW_DEVSYS=no wins over LV_USE_DEVSYS
      {1, 0, {-1, -1, 1, -1}, 1 | S | D},
      {1, 0x10, {-1, -1, 0, -1}, 1 | S},           // no clears what the options set
      {1, 0, {-1, 1, 0, -1}, 1 | S | I},           // attach set, then use=no clears the system again
      {1, 0x10, {-1, -1, -1, 1}, 1 | S | D | T},
      {1, 0x110, {-1, -1, -1, 0}, 1 | S | D},
      {1, 0x100, {-1, -1, -1, 0}, 1 | S | T},      // no-trace is consulted only with the system chosen
      {0x2001, 0, unset, 0x2001 | S},              // other boot-flag bits pass through
  };
  for (const auto& c : cases)
    EXPECT_EQ(lv_boot_mode_word(c.flags, c.options, c.s), c.mode) << std::hex << c.flags << " " << c.options;
  EXPECT_STREQ(lv_boot_base_name(LV_BOOT_RUNTIME), "lvrt");
  EXPECT_STREQ(lv_boot_base_name(LV_BOOT_DEVSYS), "lvds");
  EXPECT_STREQ(lv_boot_base_name(LV_BOOT_EXTENDED), "lvre");
  EXPECT_EQ(lv_boot_base_name(LV_BOOT_INVALID), nullptr);
}

TEST_F(BootMode, YesNoAndSizeSettingsFallBackOnInstallationValues) {
  TempFiles dir;
  std::filesystem::create_directories(dir.path("lorvika"));
  dir.file("lorvika/4.9.0.conf",
           "# installation values\n"
           "SOFTWARE/VESK/Lorvika/4.9.0/LV_DEVSYS_NO_TRACE = no\n"
           "SOFTWARE/VESK/Lorvika/4.9.0/LV_ATTACH_KETCH=yes\n"
           "SOFTWARE/VESK/Lorvika/4.9.0/LV_DCGC_MARGIN=3k\n"
           "Other/LV_USE_DEVSYS=yes\n");
  ScopedEnv env{{"XDG_CONFIG_HOME", dir.path("").c_str()},
                {"LV_USE_DEVSYS", "YeS"},
                {"LV_ALLOW_DEVSYS", "1"},
                {"LV_ATTACH_KETCH", "no"},
                {"LV_DEVSYS_NO_TRACE", nullptr},
                {"LV_DCGC_MARGIN", nullptr},
                {"LVTEST_SIZE", "2k"}};
  ASSERT_EQ(start(), 1);
  lv_devsys_settings s = lv_read_devsys_settings();
  EXPECT_EQ(s.use_devsys, 1);        // any case of yes
  EXPECT_EQ(s.allow_devsys, -1);     // "1" is neither yes nor no
  EXPECT_EQ(s.attach_ide, 0);        // the setting comes before the installation value
  EXPECT_EQ(s.devsys_no_trace, 0);   // the installation value, blanks dropped
  EXPECT_EQ(lv_getenv_int_suffixed("LVTEST_SIZE", 7, 0), 2048u);
  EXPECT_EQ(lv_getenv_int_suffixed("LV_DCGC_MARGIN", 512, 1), 3072u);
  EXPECT_EQ(lv_getenv_int_suffixed("LVTEST_ABSENT", 512, 1), 512u);
  LV_deinitialize();
}

// ---------------------------------------------------------------------------
// States.

TEST_F(Startup, WithoutBootFlagsItEndsStartedWithTheStandardStreams) {
  ASSERT_EQ(start(), 1) << LV_get_errno();
  EXPECT_EQ(lv_runtime_state(), LV_RUNTIME_STARTED);
  EXPECT_EQ(lv_prolog_initialized(), 0);
  EXPECT_NE(LV_get_stdout(), nullptr);
  EXPECT_NE(LV_get_stderr(), nullptr);
  EXPECT_NE(lv_get_boot_path(), nullptr);
  EXPECT_EQ(lv_get_engine_global()->main_thread, lv_thread_id());
  EXPECT_EQ(lv_get_engine_global()->engine, get_current_worker());
  // Not initialised: queries are refused.
  lv_pred* p = LV_predicate("true", 0, "prolog");
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(LV_open_query(p), 0u);
  EXPECT_EQ(LV_get_errno(), LV_ERR_NOT_INITIALIZED);
  // A runtime that was only started shuts down.
  LV_deinitialize();
  EXPECT_EQ(lv_runtime_state(), LV_RUNTIME_NOT_STARTED);
  EXPECT_FALSE(lv_mem_started());
  EXPECT_EQ(lv_get_boot_path(), nullptr);
}

// The threads of the process.
static size_t thread_count() {
  size_t n = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator("/proc/self/task")) n++;
  return n;
}

TEST_F(Startup, StartStopAndStartAgainLeaveNothingBehind) {
  const lvio_allocator_counts* counts = lvio_default_allocator_counts();
  uint64_t outstanding = counts->allocations - counts->frees;
  size_t threads = thread_count();
  for (int round = 0; round < 3; round++) {
    SCOPED_TRACE(round);
    ASSERT_EQ(start(), 1) << LV_get_errno();
    if (have_boot_file()) {
      ASSERT_EQ(lv_qload_or_restore(boot_file().c_str(), 1), 1);
      EXPECT_EQ(lv_prolog_initialized(), 1);
      lv_term_ref list = LV_new_term_ref();
      lv_term_ref n = var_ref();
      for (int i = 0; i < 3; i++) LV_cons_list(list, int_ref(i), list);
      EXPECT_EQ(query("prolog", "length", {list, n}), 1);
      EXPECT_EQ(int_of(n), 3);
    }
    LV_deinitialize();
    EXPECT_FALSE(lv_mem_started());
    EXPECT_EQ(lv_prolog_initialized(), 0);
  }
  // The I/O layer's memory has all gone back, and its threads have ended.
  EXPECT_EQ(counts->allocations - counts->frees, outstanding);
  EXPECT_EQ(thread_count(), threads);
}

TEST_F(Startup, SecondCallWhileInitialisedDoesNothing) {
  REQUIRE_BOOT_FILE();
  ASSERT_TRUE(start_and_boot());
  lv_worker* engine = get_current_worker();
  const char* boot_path = lv_get_boot_path();
  EXPECT_EQ(start(LV_BOOT_INVALID), 1);  // not even its arguments are looked at
  EXPECT_EQ(get_current_worker(), engine);
  EXPECT_EQ(lv_get_boot_path(), boot_path);
  EXPECT_EQ(lv_runtime_state(), LV_RUNTIME_INITIALISED);
  LV_deinitialize();
}

TEST_F(Startup, SecondCallWhileOnlyStartedStartsAfresh) {
  ASSERT_EQ(start(LV_BOOT_RUNTIME), 1);
  ASSERT_EQ(start(LV_BOOT_DEVSYS), 1);
  EXPECT_EQ(lv_runtime_state(), LV_RUNTIME_STARTED);
  EXPECT_EQ(lv_get_engine_global()->boot_kind, LV_BOOT_DEVSYS);
  EXPECT_EQ(lv_is_development_system(), 1);
  LV_deinitialize();
  EXPECT_FALSE(lv_mem_started());
}

TEST_F(Startup, RefusedStartsTakeBackWhatTheyDid) {
  lv_init_option no_value[] = {setting_item("A", nullptr)};
  lv_init_options invalid{LV_INIT_OPTIONS_FORMAT, 1, no_value};
  lv_init_options wrong_format{0x40000, 0, nullptr};
  struct {
    int kind, flags;
    const lv_init_options* options;
    int error;
  } cases[] = {
      {LV_BOOT_INVALID, 0, nullptr, LV_ERR_BAD_VALUE},
      {LV_BOOT_RUNTIME, -1, nullptr, LV_ERR_BAD_VALUE},
      {LV_BOOT_RUNTIME, 0, &wrong_format, LV_ERR_UNKNOWN},
      {LV_BOOT_RUNTIME, 0, &invalid, LV_ERR_SYSTEM},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(start(c.kind, c.options, c.flags), 0);
    EXPECT_EQ(LV_get_errno(), c.error) << c.kind << " " << c.flags;
    EXPECT_EQ(lv_runtime_state(), LV_RUNTIME_NOT_STARTED);
    EXPECT_FALSE(lv_mem_started());
    EXPECT_EQ(lv_get_boot_path(), nullptr);  // kind 3 is refused before any search
  }
  // A failed start may leave the I/O layer running: a retry uses it, and
  // shutdown stops it.
  ASSERT_EQ(start(), 1);
  LV_deinitialize();
  LV_deinitialize();  // nothing left: does nothing
}

TEST_F(Startup, SavedStateBootFailureKeepsItsPath) {
  // The saved-state reader is not part of this build: the boot fails with
  // error 3 and the runtime stays started.
  for (int kind : {LV_BOOT_RUNTIME, LV_BOOT_EXTENDED}) {
    EXPECT_EQ(start(kind, nullptr, 1), 0);
    EXPECT_EQ(LV_get_errno(), LV_ERR_BOOT_FAILED);
    std::string failed = copy_of(lv_get_failed_bootpath());
    std::string expected = copy_of(lv_get_boot_path()) + lv_boot_base_name(kind) + ".sav";
    EXPECT_EQ(failed, expected);
    EXPECT_EQ(lv_runtime_state(), LV_RUNTIME_STARTED);
    EXPECT_EQ(lv_version_text(), std::string(LV_VERSION_BANNER));
    LV_deinitialize();
    EXPECT_EQ(lv_get_failed_bootpath(), nullptr);
  }
}

TEST_F(Startup, ShutdownRunsThePrologSideOnlyWhenInitialised) {
  REQUIRE_BOOT_FILE();
  ASSERT_TRUE(start_and_boot());
  lv_set_api_error(0);
  LV_deinitialize();
  EXPECT_EQ(LV_get_errno(), 0);  // prolog:lv_deinitialize/0 is there
}

// What shutdown has done when each of its steps runs.
namespace shutdown_order {

std::vector<std::string> steps;

int event(lv_async_event* e, int reason) {
  if (reason == 0x80) steps.push_back(LV_get_stdout() != nullptr ? "event closed" : "event closed after the streams");
  LV_free_async_event(e);
  return 0;
}

// Stands in for prolog:lv_deinitialize/0: is the time-out timer still armed?
int prolog_side(lv_term_ref, void*) {
  lv_term_ref result = var_ref();
  bool stopped = query("prolog", "$timer_stop", {result}) == 1 && text_of(result) == "off";
  steps.push_back(stopped ? "prolog side" : "prolog side, timer armed");
  return 1;
}

}  // namespace shutdown_order

TEST_F(Startup, ShutdownClosesEventsAndTheTimerBeforeThePrologSideAndTheStreams) {
  REQUIRE_BOOT_FILE();
  ASSERT_TRUE(start_and_boot());
  shutdown_order::steps.clear();
  ASSERT_EQ(LV_define_c_predicate("lv_deinitialize", 0, "prolog", shutdown_order::prolog_side, nullptr), 1);
  lv_term_ref error = var_ref();
  ASSERT_EQ(query("prolog", "$timer_start", {atom_ref("off"), int_ref(100000), error}), 1);
  ASSERT_EQ(int_of(error), 0);
  // Queued last: no query runs it before shutdown.
  lv_async_event* e = nullptr;
  ASSERT_EQ(LV_alloc_async_event(&e, shutdown_order::event, nullptr), 0);
  ASSERT_EQ(LV_schedule_async_event(e), 0);
  LV_deinitialize();
  EXPECT_EQ(shutdown_order::steps, (std::vector<std::string>{"event closed", "prolog side"}));
}

// ---------------------------------------------------------------------------
// Paths.

TEST_F(InstallPaths, ProgramRuntimeAndLibraryDirectories) {
  ASSERT_EQ(start(), 1);
  char program[PATH_MAX];
  ASSERT_NE(realpath("/proc/self/exe", program), nullptr);
  std::string app = setting("LV_APP_PATH");
  EXPECT_EQ(app, program);
  EXPECT_EQ(setting("LV_APP_DIR"), app.substr(0, app.rfind('/') + 1));
  // Linked into the program, the runtime has the program's paths.
  EXPECT_EQ(setting("LV_RT_PATH"), app);
  EXPECT_EQ(setting("LV_RT_DIR"), setting("LV_APP_DIR"));
  std::string boot = copy_of(lv_get_boot_path());
  ASSERT_FALSE(boot.empty());
  EXPECT_EQ(boot.back(), '/');
  std::string library = normalised(boot + "../library/", LV_NAME_DIRECTORY);
  EXPECT_EQ(setting("LV_LIBRARY_DIR"), library);
  char* relative = lv_parent_relative_path("library/x.pl");
  EXPECT_EQ(copy_of(relative), library + "x.pl");
  LV_free(relative);
  EXPECT_EQ(copy_of(lv_get_classpath()), normalised(boot + "../bin/corvid.jar"));
  // $lorvika_path/2.
  lv_term_ref abs = var_ref();
  lv_set_prolog_initialized(true);
  EXPECT_EQ(query("prolog", "$lorvika_path", {atom_ref("library/"), abs}), 1);
  lv_set_prolog_initialized(false);
  EXPECT_EQ(text_of(abs), library);
  LV_deinitialize();
}

TEST_F(InstallPaths, BootDirectorySearchInOrder) {
  ASSERT_EQ(start(), 1);
  TempFiles rt, path;
  ASSERT_GE(lvio_setting_set("LV_RT_DIR", rt.path("").c_str()), 0);
  auto found = [] {
    char* dir = lv_boot_file_path("lvds.ql");
    std::string s = copy_of(dir);
    LV_free(dir);
    return s;
  };
  std::string rt_dir = normalised(rt.path(""), LV_NAME_DIRECTORY);
  // 4: nothing anywhere.
  ASSERT_GE(lvio_setting_set("LV_PATH", path.path("").c_str()), 0);
  EXPECT_EQ(found(), rt_dir);
  // 3: $LV_PATH/bin/ is a directory.
  std::filesystem::create_directories(path.path("bin"));
  EXPECT_EQ(found(), normalised(path.path("bin"), LV_NAME_DIRECTORY));
  // 2: the boot file beside the runtime comes first.
  rt.file("lvds.ql", "");
  EXPECT_EQ(found(), rt_dir);
  // 1: the versioned directory comes before everything.
  std::filesystem::create_directories(rt.path("lv-4.9.0"));
  EXPECT_EQ(found(), rt_dir + "lv-4.9.0/bin/");
  LV_deinitialize();
}

// ---------------------------------------------------------------------------
// Boot loading.

TEST_F(BootLoading, QuickLoadFileThenItsPatchFile) {
  REQUIRE_BOOT_FILE();
  TempFiles dir;
  copy_file(boot_file(), dir.path("lvds.ql"));
  qlw::QlWriter patch;
  patch.term(qlw::fn("$bb_put", {qlw::atom("prolog"), qlw::atom("lvtest_patched"), qlw::small(7)})).complete();
  dir.file("lvdsp.ql", patch.bytes());
  ASSERT_EQ(start(), 1);
  ASSERT_EQ(lv_qload_or_restore(dir.path("lvds.ql").c_str(), 1), 1);
  EXPECT_EQ(lv_runtime_state(), LV_RUNTIME_INITIALISED);
  lv_term_ref v = var_ref();
  EXPECT_EQ(query("prolog", "$bb_get", {atom_ref("prolog"), atom_ref("lvtest_patched"), v}), 1);
  EXPECT_EQ(int_of(v), 7);
  LV_deinitialize();
}

TEST_F(BootLoading, OnlyAQuickLoadFileNameHasAPatchFile) {
  REQUIRE_BOOT_FILE();
  TempFiles dir;
  copy_file(boot_file(), dir.path("boot.bin"));
  // What replacing the last three characters would read: no complete file.
  dir.file("boot.p.ql", "garbage");
  ASSERT_EQ(start(), 1);
  EXPECT_EQ(lv_qload_or_restore(dir.path("boot.bin").c_str(), 1), 1);
  LV_deinitialize();

  struct {
    const char* path;
    const char* patch;
  } names[] = {{"/a/lvds.ql", "/a/lvdsp.ql"}, {"x.ql", "xp.ql"}, {".ql", "p.ql"}, {"/a/lvds.sav", nullptr},
               {"/a/b.qlx", nullptr}, {"ql", nullptr}, {"", nullptr}};
  ASSERT_EQ(lv_mem_init(0), 0);
  for (const auto& n : names) {
    char* patch = lv_qload_patch_name(n.path);
    EXPECT_EQ(copy_of(patch), copy_of(n.patch)) << n.path;
    EXPECT_EQ(patch == nullptr, n.patch == nullptr) << n.path;
    if (patch != nullptr) lv_mem_free(patch, std::strlen(patch) + 1, lv_mem_flags(LV_CAT_MISC));
  }
  lv_mem_deinit();
}

TEST_F(BootLoading, RefusedWithoutAStartedRuntimeAndForABrokenFile) {
  lv_set_api_error(0);
  EXPECT_EQ(lv_qload_or_restore("/nonexistent/lvds.ql", 1), 0);
  EXPECT_EQ(LV_get_errno(), LV_ERR_NOT_INITIALIZED);
  TempFiles dir;
  dir.file("broken.ql", std::string("A1\0", 3));
  dir.file("broken.sav", "not a saved state");
  ASSERT_EQ(start(), 1);
  // Each refusal says why, for the message of the program that asked.
  struct {
    std::string path;
    int flags;
    int error;
  } cases[] = {{dir.path("absent.ql"), 1, LV_ERR_BOOT_FAILED},
               {dir.path("broken.ql"), 1, LV_ERR_BOOT_FAILED},
               {dir.path("absent.sav"), 0, LV_ERR_BOOT_FAILED},
               {dir.path("broken.sav"), 0, LV_ERR_BOOT_FAILED}};
  for (const auto& c : cases) {
    lv_set_api_error(0);
    EXPECT_EQ(lv_qload_or_restore(c.path.c_str(), c.flags), 0) << c.path;
    EXPECT_EQ(LV_get_errno(), c.error) << c.path;
  }
  lv_set_api_error(0);
  EXPECT_EQ(lv_qload_or_restore(nullptr, 1), 0);
  EXPECT_EQ(LV_get_errno(), LV_ERR_NULL_TEXT);
  EXPECT_EQ(lv_runtime_state(), LV_RUNTIME_STARTED);
  LV_deinitialize();
}

TEST_F(BootLoading, LoadAndRestoreFromC) {
  // Before a boot file, neither load_files/1 nor restore/1 is there.
  ASSERT_EQ(start(), 1);
  EXPECT_EQ(LV_load("x.pl"), -1);
  EXPECT_EQ(LV_get_errno(), LV_ERR_NO_PREDICATE);
  EXPECT_EQ(LV_restore("x.sav"), -1);
  EXPECT_EQ(LV_get_errno(), LV_ERR_NO_PREDICATE);
  EXPECT_EQ(LV_load(nullptr), -1);
  EXPECT_EQ(LV_get_errno(), LV_ERR_NULL_TEXT);
  EXPECT_EQ(LV_restore(nullptr), -1);
  EXPECT_EQ(LV_get_errno(), LV_ERR_NULL_TEXT);
  EXPECT_EQ(LV_load("\xff"), -1);
  EXPECT_EQ(LV_get_errno(), LV_ERR_NO_ATOM);
  LV_deinitialize();
  // Booted: restore/1 runs, and a state that is not there is its error.
  REQUIRE_BOOT_FILE();
  ASSERT_TRUE(start_and_boot());
  EXPECT_EQ(LV_restore("/nonexistent/state.sav"), -1);
  EXPECT_EQ(LV_get_errno(), LV_ERR_EXCEPTION);
}

// ---------------------------------------------------------------------------
// The settings slots.

TEST_F(SystemProperties, ReadWriteAndList) {
  char* value = nullptr;
  EXPECT_EQ(LV_get_system_property("HOME", &value, 0), -10016);
  ScopedEnv env{{"LVTEST_PROCESS", "from the environment"}};
  ASSERT_EQ(start(), 1);
  EXPECT_EQ(LV_set_system_property("LVTEST_PROPERTY", "a value longer than twenty bytes"), 0);
  ASSERT_EQ(LV_get_system_property("LVTEST_PROPERTY", &value, 0), 0);
  EXPECT_STREQ(value, "a value longer than twenty bytes");
  LV_free(value);
  ASSERT_EQ(LV_get_system_property("LVTEST_PROCESS", &value, 0), 0);
  LV_free(value);
  EXPECT_LT(LV_get_system_property("LVTEST_PROCESS", &value, 1), 0);  // the process environment skipped
  EXPECT_LT(LV_get_system_property("LVTEST_PROPERTY", &value, 2), 0); // the runtime's settings skipped

  auto has = [](char** block, const std::string& entry) {
    for (char** p = block; *p != nullptr; p++)
      if (std::string(*p, std::strlen(*p) + 1 + std::strlen(*p + std::strlen(*p) + 1)) == entry) return true;
    return false;
  };
  auto has_text = [](char** block, const std::string& entry) {
    for (char** p = block; *p != nullptr; p++)
      if (entry == *p) return true;
    return false;
  };
  char** block = nullptr;
  ASSERT_EQ(LV_system_properties(&block, 0), 0);
  EXPECT_TRUE(has_text(block, "LVTEST_PROPERTY=a value longer than twenty bytes"));
  EXPECT_FALSE(has_text(block, "LVTEST_PROCESS=from the environment"));
  LV_free(block);
  ASSERT_EQ(LV_system_properties(&block, 1 | 2), 0);  // merged, NUL separated
  EXPECT_TRUE(has(block, std::string("LVTEST_PROCESS\0from the environment", 35)));
  EXPECT_TRUE(has(block, std::string("LVTEST_PROPERTY\0a value longer than twenty bytes", 48)));
  LV_free(block);
  ASSERT_EQ(LV_system_properties(&block, 2 | 4), 0);  // the environment only
  EXPECT_TRUE(has_text(block, "LVTEST_PROCESS=from the environment"));
  EXPECT_FALSE(has_text(block, "LVTEST_PROPERTY=a value longer than twenty bytes"));
  LV_free(block);
  block = LV_copy_environ();
  ASSERT_NE(block, nullptr);
  EXPECT_TRUE(has_text(block, "LVTEST_PROPERTY=a value longer than twenty bytes"));
  LV_free(block);
  LV_deinitialize();
}

TEST_F(SystemProperties, PropertyTextForms) {
  ASSERT_EQ(start(), 1);
  ASSERT_EQ(LV_set_system_property("LVTEST_TEXT", "0123456789"), 0);
  EXPECT_EQ(lv_get_property_text("LVTEST_TEXT", nullptr, nullptr, 0), nullptr);  // neither bit 0 nor 1
  char* text = lv_get_property_text("LVTEST_TEXT", nullptr, nullptr, 1);
  EXPECT_STREQ(text, "0123456789");
  LV_free(text);
  char small[4];
  size_t size = sizeof small;
  EXPECT_EQ(lv_get_property_text("LVTEST_TEXT", small, &size, 1), nullptr);
  EXPECT_EQ(size, 11u);
  char big[32];
  size = sizeof big;
  EXPECT_EQ(lv_get_property_text("LVTEST_TEXT", big, &size, 2), big);
  EXPECT_STREQ(big, "0123456789");
  size = sizeof big;
  EXPECT_EQ(lv_get_property_text("LVTEST_TEXT", big, &size, 2 | (2 << 2)), nullptr);  // the runtime's skipped
  LV_deinitialize();
}

// ---------------------------------------------------------------------------
// Titles.

namespace {

std::string title_set_to;
const char* get_title(void* data) { return static_cast<const char*>(data); }
void set_title(void* data, const char* text) { title_set_to = std::string(static_cast<const char*>(data)) + text; }

}  // namespace

TEST_F(Titles, HooksEachWithItsOwnData) {
  ASSERT_EQ(start(), 1);
  EXPECT_EQ(std::string(lv_version_text()), LV_VERSION_BANNER);
  lv_set_version_atom("stored title");
  EXPECT_EQ(std::string(lv_version_text()), "stored title");
  char get_data[] = "from the hook";
  char set_data[] = "set: ";
  EXPECT_EQ(LV_set_get_window_title_hook(get_title, get_data), nullptr);
  EXPECT_EQ(LV_set_set_window_title_hook(set_title, set_data), nullptr);
  EXPECT_EQ(std::string(lv_version_text()), "from the hook");
  lv_set_version_atom("new");
  EXPECT_EQ(title_set_to, "set: new");
  EXPECT_EQ(LV_set_get_window_title_hook(nullptr, nullptr), get_title);
  EXPECT_EQ(LV_set_set_window_title_hook(nullptr, nullptr), set_title);
  EXPECT_EQ(std::string(lv_version_text()), "stored title");
  LV_deinitialize();
  // The stored title does not outlive its atom table.
  ASSERT_EQ(start(), 1);
  EXPECT_EQ(std::string(lv_version_text()), LV_VERSION_BANNER);
  LV_deinitialize();
}

// ---------------------------------------------------------------------------
// Embedded resources in start-up.

namespace {

// One resource appended to a file, with its trailer.
std::string appended(const std::string& bytes, const std::vector<std::string>& properties) {
  char size[32];
  std::snprintf(size, sizeof size, "size=\"0x%zx\"", bytes.size());
  std::string t = bytes + "\n# META_INFO_SUFFIX 1\n# " + size;
  for (const std::string& p : properties) t += "\n# " + p;
  return t + "\n# META_INFO_SUFFIX END\n";
}

std::string file_bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

TEST_F(EmbeddedResources, TheDevelopmentSystemStateIsLookedForAsAResourceFirst) {
  TempFiles dir;
  dir.file("program", "program bytes" + appended("not a saved state", {"name=\"/lvds.sav\""}));
  std::string program = dir.path("program");
  lv_init_option items[] = {setting_item("LV_EMBEDDED_RESOURCES_PATH", program.c_str()),
                            setting_item("LV_USE_DEVSYS", "yes")};
  lv_init_options options{LV_INIT_OPTIONS_FORMAT, 2, items};
  // Found as a resource: the development system's state is chosen. It is no
  // saved state, so the boot fails, with its path kept.
  EXPECT_EQ(start(LV_BOOT_RUNTIME, &options, 1), 0);
  EXPECT_EQ(LV_get_errno(), LV_ERR_BOOT_FAILED);
  EXPECT_EQ(lv_is_development_system(), 1);
  EXPECT_EQ(lv_get_engine_global()->boot_kind, LV_BOOT_DEVSYS);
  EXPECT_EQ(copy_of(lv_get_failed_bootpath()), copy_of(lv_get_boot_path()) + "lvds.sav");
  LV_deinitialize();
  // Not there: the runtime's own boot file, and the development system off.
  options.count = 1;
  items[0] = setting_item("LV_USE_DEVSYS", "yes");
  EXPECT_EQ(start(LV_BOOT_RUNTIME, &options, 1), 0);
  EXPECT_EQ(lv_is_development_system(), 0);
  EXPECT_EQ(lv_get_engine_global()->boot_kind, LV_BOOT_RUNTIME);
  EXPECT_EQ(copy_of(lv_get_failed_bootpath()), copy_of(lv_get_boot_path()) + "lvrt.sav");
  LV_deinitialize();
}

TEST_F(EmbeddedResources, BootFromAQuickLoadFileCarriedAsAResource) {
  REQUIRE_BOOT_FILE();
  TempFiles dir;
  dir.file("program", "program bytes" + appended(file_bytes(boot_file()), {"name=\"/lvds.ql\""}));
  std::string program = dir.path("program");
  lv_init_option items[] = {setting_item("LV_EMBEDDED_RESOURCES_PATH", program.c_str())};
  lv_init_options options{LV_INIT_OPTIONS_FORMAT, 1, items};
  for (int round = 0; round < 2; round++) {
    ASSERT_EQ(start(LV_BOOT_DEVSYS, &options), 1);
    ASSERT_EQ(lv_qload_or_restore("URL:x-lorvika-resource:/lvds.ql", 1), 1);
    lv_term_ref n = var_ref();
    EXPECT_EQ(query("prolog", "length", {LV_new_term_ref(), n}), 1);  // [] has length 0
    LV_deinitialize();
  }
}

TEST_F(EmbeddedResources, AnyEmbeddedSavedState) {
  TempFiles dir;
  dir.file("program", "program bytes" + appended("a", {"name=\"/notes.txt\""}) +
                          appended("b", {"name=\"/x\"", "file=\"states/main.sav\""}));
  std::string program = dir.path("program");
  for (bool with_resource : {true, false}) {
    lv_init_option items[] = {setting_item("LV_EMBEDDED_RESOURCES_PATH", with_resource ? program.c_str() : "")};
    lv_init_options options{LV_INIT_OPTIONS_FORMAT, 1, items};
    ASSERT_EQ(start(LV_BOOT_DEVSYS, &options), 1);
    char* state = lv_any_embedded_state();
    EXPECT_EQ(copy_of(state), with_resource ? "URL:x-lorvika-resource:states/main.sav"
                                            : normalised(setting("LV_APP_DIR") + "main.sav"));
    LV_free(state);
    LV_deinitialize();
  }
}
