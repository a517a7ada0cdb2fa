// Start-up as an embedding program sees it: a copy of the runtime library
// placed in a directory of its own and loaded with dlopen, reached only
// through its dispatch record. The boot file is found through each step of
// the boot-directory search (or carried as an embedded resource), loaded,
// queried, and the runtime shut down and started again in the same process.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "lorvika.h"
#include "support/temp_files.h"

namespace {

namespace fs = std::filesystem;

std::string boot_file() {
  const char* given = std::getenv("LV_TEST_BOOT_FILE");
  return given != nullptr && given[0] != '\0' ? given : LV_TEST_BOOT_FILE;
}

std::string bytes_of(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void copy(const std::string& from, const std::string& to) {
  fs::create_directories(fs::path(to).parent_path());
  fs::copy_file(from, to, fs::copy_options::overwrite_existing);
}

// One copy of the runtime library, reached through its dispatch record.
class Runtime {
 public:
  explicit Runtime(const std::string& path) {
    handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle_ == nullptr) return;
    auto entry = reinterpret_cast<const lv_dispatch* (*)(void*)>(dlsym(handle_, "LV_get_dispatch_40900"));
    if (entry != nullptr) table_ = entry(nullptr)->c_interface;
  }
  // The library stays loaded: its state outlives the test.
  bool loaded() const { return table_ != nullptr; }

// A slot's function, with its type.
#define API(name) LV_API(table_, name)

  int start(const lv_init_options* options) {
    return API(lv_glue_initialize)(0, nullptr, options, nullptr, nullptr, 1, 0);
  }
  void stop() { API(LV_deinitialize)(); }
  std::string boot_path() const {
    const char* p = API(lv_get_boot_path)();
    return p != nullptr ? p : "";
  }
  int boot(const std::string& path) { return API(lv_qload_or_restore)(path.c_str(), 1); }
  int errno_() { return API(LV_get_errno)(); }

  // length([a, b, c], N): N, or -1 when the query does not succeed.
  int64_t length_of_three() {
    lv_pred* length = API(LV_predicate)("length", 2, "prolog");
    if (length == nullptr) return -1;
    int32_t list = new_ref(), n = new_var();
    API(LV_put_atom)(list, atom("[]"));
    for (const char* a : {"c", "b", "a"}) {
      int32_t h = new_ref();
      API(LV_put_atom)(h, atom(a));
      API(LV_cons_list)(list, h, list);
    }
    if (API(LV_query)(length, list, n) != 1) return -1;
    int64_t v = -1;
    API(LV_get_integer)(n, &v);
    return v;
  }

  // functor(_, _, _) raises an instantiation error: the name of the
  // exception term's functor ("error" once the error handler is found).
  std::string error_of_functor() {
    lv_pred* functor = API(LV_predicate)("functor", 3, "prolog");
    int32_t a = new_var(), b = new_var(), c = new_var(), e = new_ref();
    if (API(LV_query)(functor, a, b, c) != -1) return "no exception";
    if (API(LV_exception_term)(e) != 1) return "no exception term";
    uint64_t name = 0;
    int arity = 0;
    if (API(LV_get_functor)(e, &name, &arity) != 1) return "not compound";
    return API(LV_string_from_atom)(name);
  }

 private:
  int32_t new_ref() { return API(LV_new_term_ref)(); }
  int32_t new_var() {
    int32_t t = new_ref();
    API(LV_put_variable)(t);
    return t;
  }
  uint64_t atom(const char* text) { return API(LV_atom_from_string)(text); }

  void* handle_ = nullptr;
  const lv_api_table* table_ = nullptr;
};

std::string appended(const std::string& bytes, const std::string& name) {
  char size[32];
  std::snprintf(size, sizeof size, "0x%zx", bytes.size());
  return bytes + "\n# META_INFO_SUFFIX 1\n# size=\"" + size + "\"\n# name=\"" + name + "\"\n# META_INFO_SUFFIX END\n";
}

}  // namespace

TEST(BootSearch, EachStepFindsTheBootFileAndTheRuntimeStartsAgain) {
  if (access(boot_file().c_str(), R_OK) != 0) GTEST_SKIP() << "no boot file " << boot_file();
  enum where { VERSIONED, BESIDE, LV_PATH, RESOURCE };
  for (where w : {VERSIONED, BESIDE, LV_PATH, RESOURCE}) {
    SCOPED_TRACE(w);
    TempFiles dir;
    std::string rt = dir.path("rt/");
    copy(LVRT_PATH, rt + "liblvrt4-9-0.so");
    std::string home = dir.path("home");
    std::string program = dir.path("program");
    std::string expected_dir = rt, boot;
    switch (w) {
      case VERSIONED:
        copy(boot_file(), rt + "lv-4.9.0/bin/lvds.ql");
        rt.clear();  // nothing beside the runtime counts then
        expected_dir = dir.path("rt/lv-4.9.0/bin/");
        break;
      case BESIDE:
        copy(boot_file(), rt + "lvds.ql");
        fs::create_directories(home + "/bin");  // comes after the runtime's own directory
        break;
      case LV_PATH:
        copy(boot_file(), home + "/bin/lvds.ql");
        expected_dir = home + "/bin/";
        break;
      case RESOURCE:
        dir.file("program", "the program's own bytes" + appended(bytes_of(boot_file()), "/lvds.ql"));
        boot = "URL:x-lorvika-resource:/lvds.ql";
        break;
    }
    if (boot.empty()) boot = expected_dir + "lvds.ql";
    lv_init_option items[] = {{LV_INIT_OPTION_SETTING, "LV_PATH", home.c_str()},
                              {LV_INIT_OPTION_SETTING, "LV_EMBEDDED_RESOURCES_PATH", program.c_str()}};
    lv_init_options options{LV_INIT_OPTIONS_FORMAT, 2, items};
    Runtime r(dir.path("rt/liblvrt4-9-0.so"));
    ASSERT_TRUE(r.loaded()) << dlerror();
    for (int round = 0; round < 3; round++) {
      SCOPED_TRACE(round);
      ASSERT_EQ(r.start(&options), 1) << r.errno_();
      EXPECT_EQ(r.boot_path(), expected_dir);
      ASSERT_EQ(r.boot(boot), 1);
      EXPECT_EQ(r.length_of_three(), 3);
      EXPECT_EQ(r.error_of_functor(), "error");
      r.stop();
      EXPECT_EQ(r.boot_path(), "");
    }
  }
}

TEST(BootSearch, WithoutABootFileTheRuntimeDirectoryIsTheAnswer) {
  TempFiles dir;
  std::string rt = dir.path("rt/");
  copy(LVRT_PATH, rt + "liblvrt4-9-0.so");
  Runtime r(rt + "liblvrt4-9-0.so");
  ASSERT_TRUE(r.loaded()) << dlerror();
  ASSERT_EQ(r.start(nullptr), 1);
  EXPECT_EQ(r.boot_path(), rt);
  EXPECT_EQ(r.boot(rt + "lvds.ql"), 0);
  // Started but not booted: no queries, and it still shuts down.
  EXPECT_EQ(r.length_of_three(), -1);
  r.stop();
}
