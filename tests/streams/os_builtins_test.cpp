// Operating-system built-ins on a temporary directory tree.
#include <gtest/gtest.h>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <string>

#include "lvio/environment.h"
#include "lvio/initialize.h"
#include "lvio/result_codes.h"
#include "streams/file_names.h"
#include "streams/os_builtins.h"
#include "streams/paths.h"
#include "streams/std_streams.h"
#include "support/builtin_fixture.h"
#include "support/temp_files.h"

namespace {

class OsBuiltinTest : public BuiltinTest {
 protected:
  void SetUp() override {
    BuiltinTest::SetUp();
    ASSERT_EQ(lvio_initialize(nullptr, nullptr, nullptr, 0), 0);
    ASSERT_EQ(mkdir(dir.path("sub").c_str(), 0700), 0);
    dir.file("a", "x");
    dir.file("b", "yz");
    lv_set_current_dir_options(1);  // the process's working directory stays
  }
  void TearDown() override {
    lv_clear_current_dir();
    lv_set_current_dir_options(0);
    lv_stream_close_all_std();  // the ring made by streams opened here goes with the engine's memory
    EXPECT_EQ(lvio_initialize(nullptr, nullptr, nullptr, 1), 0);
    BuiltinTest::TearDown();
  }
  lv_term atom(const std::string& text) { return lv_atom_from_text(text.c_str(), LV_ATOM_FIND_OR_CREATE); }
  lv_term p(const std::string& name) { return atom(dir.path(name)); }
  lv_term small(int64_t v) { return lv_make_small(v); }
  std::string full(const std::string& name) { return dir.path(name); }

  TempFiles dir;
};

TEST_F(OsBuiltinTest, ListsADirectoryInReverseOrder) {
  ASSERT_EQ(run(prolog_list_directory, {p(""), small(0), var("L"), var("E")}), 1);
  EXPECT_EQ(text("L"), "[sub,b,a]");
  EXPECT_EQ(text("E"), "0");
  ASSERT_EQ(run(prolog_list_directory, {p(""), small(2), var("F"), var("E2")}), 1);
  EXPECT_EQ(text("F"), "[b,a]");
  ASSERT_EQ(run(prolog_list_directory, {p(""), small(1), var("D"), var("E3")}), 1);
  EXPECT_EQ(text("D"), "[sub]");
  ASSERT_EQ(run(prolog_list_directory, {p("sub"), small(4), var("N"), var("E4")}), 1);
  EXPECT_EQ(text("N"), "[]");
  ASSERT_EQ(run(prolog_list_directory, {p("missing"), small(0), var("M"), var("E5")}), 1);
  EXPECT_TRUE(lv_is_ref(lv_deref(var("M"))));
  EXPECT_EQ(text("E5"), std::to_string(LVIO_E_FILE_NOT_FOUND));
  EXPECT_EQ(run(prolog_list_directory, {p(""), small(-1), var("X"), var("Y")}), 0);
}

TEST_F(OsBuiltinTest, FileTypeFromTheFirstBytes) {
  struct Case {
    const char* name;
    const char* contents;
    const char* type;
    const char* source;  // relative to the tree; null: the file itself
  } cases[] = {
      {"sub/b.sav", "#!/bin/sh\n", "object", "sub/b.pl"},
      {"c.ql", "Abc", "ql", "c.pl"},
      {"d.x.y", "lorvika-state", "object", "d.x.pl"},
      {"e", "#", "object", "e.pl"},
      {"f.pl", "lorvikX", "source", nullptr},
      {"g.pl", "", "source", nullptr},
  };
  for (const Case& c : cases) {
    dir.file(c.name, c.contents);
    ASSERT_EQ(run(prolog_file_type, {p(c.name), var("T"), var("S")}), 1) << c.name;
    EXPECT_EQ(text("T"), c.type) << c.name;
    EXPECT_EQ(text("S"), full(c.source != nullptr ? c.source : c.name)) << c.name;
    delete r;
    r = new terms::reader(w);
  }
  EXPECT_EQ(run(prolog_file_type, {p("missing"), var("T"), var("S")}), 0);
}

TEST_F(OsBuiltinTest, AccessTestsClassifyTheirErrors) {
  struct Case {
    const char* name;
    int64_t mode;
    int64_t error;
    int64_t kind;
  } cases[] = {
      {"a", 0, 0, 0},
      {"sub", 0x20, 0, 0},
      {"a", 0x20, LVIO_E_FILE_NOT_DIRECTORY, 253},
      {"missing", 0, LVIO_E_FILE_NOT_FOUND, 254},
      {"missing", 8, 0, 0},  // may be created
  };
  for (const Case& c : cases) {
    ASSERT_EQ(run(prolog_test_file_access, {p(c.name), small(c.mode), var("E"), var("K")}), 1) << c.name;
    EXPECT_EQ(text("E"), std::to_string(c.error)) << c.name << " " << c.mode;
    EXPECT_EQ(text("K"), std::to_string(c.kind)) << c.name << " " << c.mode;
    delete r;
    r = new terms::reader(w);
  }
}

TEST_F(OsBuiltinTest, MakesRenamesAndDeletes) {
  ASSERT_EQ(run(prolog_create_directory, {p("new"), small(0777), var("E")}), 1);
  EXPECT_EQ(text("E"), "0");
  ASSERT_EQ(run(prolog_create_directory, {p("new"), small(0), var("E2")}), 1);
  EXPECT_EQ(text("E2"), std::to_string(LVIO_E_FILE_EXISTS));
  ASSERT_EQ(run(prolog_rename_file, {p("a"), p("b"), small(0), var("E3")}), 1);
  EXPECT_EQ(text("E3"), std::to_string(LVIO_E_FILE_EXISTS));  // never replaces
  ASSERT_EQ(run(prolog_rename_file, {p("a"), p("new/a2"), small(0), var("E4")}), 1);
  EXPECT_EQ(text("E4"), "0");
  EXPECT_NE(access(dir.path("new/a2").c_str(), F_OK), -1);
  ASSERT_EQ(run(prolog_delete_file, {p("new"), small(1), var("E5")}), 1);
  EXPECT_EQ(text("E5"), std::to_string(LVIO_E_DIR_NOT_EMPTY));
  ASSERT_EQ(run(prolog_delete_file, {p("new"), small(3), var("E6")}), 1);
  EXPECT_EQ(text("E6"), "1");  // bit 1: any failure reads as 1
  ASSERT_EQ(run(prolog_delete_file, {p("new/a2"), small(0), var("E7")}), 1);
  ASSERT_EQ(run(prolog_delete_file, {p("new"), small(1), var("E8")}), 1);
  EXPECT_EQ(text("E7") + text("E8"), "00");
  EXPECT_EQ(access(dir.path("new").c_str(), F_OK), -1);
}

TEST_F(OsBuiltinTest, FileProperties) {
  ASSERT_EQ(chmod(dir.path("b").c_str(), 0640), 0);
  struct stat st;
  ASSERT_EQ(stat(dir.path("b").c_str(), &st), 0);
  ASSERT_EQ(run(prolog_file_property, {p("b"), small(0x100), var("S"), var("E")}), 1);
  EXPECT_EQ(text("S") + "/" + text("E"), "2/0");
  ASSERT_EQ(run(prolog_file_property, {p("b"), small(0x20), var("M"), var("E2")}), 1);
  EXPECT_EQ(text("M"), std::to_string(0x310 * 16));  // owner rw, group r
  ASSERT_EQ(run(prolog_file_property, {p("b"), small(0x10), var("R"), var("E3")}), 1);
  EXPECT_EQ(text("R"), "3");  // readable and writable
  ASSERT_EQ(run(prolog_file_property, {p("b"), small(0x80), var("T"), var("E4")}), 1);
  EXPECT_EQ(text("T"), std::to_string(st.st_mtime));
  ASSERT_EQ(run(prolog_file_property, {p("b"), small(0x40), var("Ts"), var("E5")}), 1);
  EXPECT_EQ(text("Ts").substr(0, 6 + std::to_string(st.st_mtime).size()), "times(" + std::to_string(st.st_mtime));
  passwd* me = getpwuid(getuid());
  ASSERT_NE(me, nullptr);
  ASSERT_EQ(run(prolog_file_property, {p("b"), small(0x400), var("O"), var("E6")}), 1);
  EXPECT_EQ(text("O"), me->pw_name);
  ASSERT_EQ(run(prolog_file_property, {p("b"), small(0x200), var("Oid"), var("E7")}), 1);
  EXPECT_EQ(text("Oid"), std::to_string(getuid()));
  ASSERT_EQ(run(prolog_file_property, {p("b"), small(0x1), var("X"), var("E8")}), 1);
  EXPECT_EQ(text("E8"), std::to_string(LVIO_E_PARAMETER_ERROR));
  ASSERT_EQ(run(prolog_file_property, {p("b"), small(0x101), var("Y"), var("E9")}), 1);
  EXPECT_EQ(text("E9"), std::to_string(LVIO_E_FILE_NOT_DIRECTORY));
  ASSERT_EQ(run(prolog_file_property, {p("missing"), small(0x100), var("Z"), var("E10")}), 1);
  EXPECT_EQ(text("E10"), std::to_string(LVIO_E_FILE_NOT_FOUND));
}

// "URL:" paths that open (here: resources linked into the test program)
// are read-only files and are not normalised.
TEST_F(OsBuiltinTest, UrlPathsAreReadOnlyFiles) {
  const char* url = "URL:x-lorvika-resource:/test/greeting.txt";
  const char* absent = "URL:x-lorvika-resource:/test/absent";
  EXPECT_EQ(lv_is_regular_file(url), 1);
  EXPECT_EQ(lv_is_directory(url), 0);
  EXPECT_EQ(lv_file_access_ok(url), 1);
  EXPECT_EQ(lv_is_regular_file(absent), 0);
  EXPECT_EQ(lv_file_access_ok(absent), 0);
  struct Case {
    const char* name;
    int64_t mode;
    int64_t error;
    int64_t kind;
  } cases[] = {
      {url, 0, 0, 0},
      {url, 1, 0, 0},  // execute is not refused
      {url, 2, LVIO_E_FILE_ACCESS, 253},
      {url, 8, LVIO_E_FILE_ACCESS, 253},
      {url, 0x20, LVIO_E_FILE_NOT_DIRECTORY, 253},
      {absent, 0, LVIO_E_FILE_NOT_FOUND, 254},
  };
  for (const Case& c : cases) {
    ASSERT_EQ(run(prolog_test_file_access, {atom(c.name), small(c.mode), var("E"), var("K")}), 1) << c.mode;
    EXPECT_EQ(text("E"), std::to_string(c.error)) << c.name << " " << c.mode;
    EXPECT_EQ(text("K"), std::to_string(c.kind)) << c.name << " " << c.mode;
    delete r;
    r = new terms::reader(w);
  }
  ASSERT_EQ(run(prolog_absolute_path, {atom(url), atom(""), small(0), var("A")}), 1);
  EXPECT_EQ(text("A"), url);
  // Relative to a "URL:" path: joined to its directory part.
  ASSERT_EQ(run(prolog_absolute_path, {atom("block.bin"), atom(url), small(0), var("B")}), 1);
  EXPECT_EQ(text("B"), "URL:x-lorvika-resource:/test/block.bin");
  ASSERT_EQ(run(prolog_absolute_path, {atom("/x/../y"), atom(url), small(0), var("C")}), 1);
  EXPECT_EQ(text("C"), "/y");
}

TEST_F(OsBuiltinTest, AbsoluteAndDirectoryPaths) {
  ASSERT_EQ(run(prolog_absolute_path, {atom("x/../y.pl"), p("sub"), small(0), var("A")}), 1);
  EXPECT_EQ(text("A"), full("sub/y.pl"));
  // A file stands for its directory.
  ASSERT_EQ(run(prolog_absolute_path, {atom("y.pl"), p("a"), small(0), var("B")}), 1);
  EXPECT_EQ(text("B"), full("y.pl"));
  ASSERT_EQ(run(prolog_absolute_path, {read("[sub,'c.pl']"), p(""), small(1), var("C")}), 1);
  EXPECT_EQ(text("C"), full("sub/c.pl/"));
  ASSERT_EQ(run(prolog_absolute_path, {atom("/"), atom(""), small(2), var("D")}), 1);
  EXPECT_EQ(text("D"), "/");
  ASSERT_EQ(run(prolog_absolute_path, {read("f(x)"), atom(""), small(0), var("F")}), 1);
  EXPECT_EQ(text("F"), "");
  ASSERT_EQ(run(prolog_absolute_path, {atom("/.."), atom(""), small(0), var("G")}), 1);
  EXPECT_EQ(text("G"), "");

  ASSERT_EQ(run(prolog_directory_path, {atom("/a/b/c"), var("P")}), 1);
  EXPECT_EQ(text("P"), "/a/b/");
  ASSERT_EQ(run(prolog_directory_path, {atom("/a/b/"), var("Q")}), 1);
  EXPECT_EQ(text("Q"), "/a/");
  EXPECT_EQ(run(prolog_directory_path, {atom("c"), var("R")}), 0);
}

TEST_F(OsBuiltinTest, RuntimeDirectoryAndItsOptions) {
  ASSERT_EQ(run(prolog_unix_cd, {var("Old"), p("sub")}), 1);
  ASSERT_EQ(run(prolog_unix_cd, {var("Now"), var("New")}), 0);  // New must be an atom
  ASSERT_EQ(run(prolog_unix_cd, {var("Now2"), atom("x")}), 0);  // no such directory
  EXPECT_EQ(text("Now2"), full("sub/"));
  ASSERT_EQ(run(prolog_unix_cd, {p("sub/"), p("sub/")}), 1);  // the same: nothing changes
  ASSERT_EQ(run(prolog_set_current_dir_options, {var("O"), small(3)}), 1);
  EXPECT_EQ(text("O"), "1");
  EXPECT_EQ(lv_current_dir_options(), 3u);
  EXPECT_EQ(run(prolog_set_current_dir_options, {var("O2"), small(-1)}), 0);
}

TEST_F(OsBuiltinTest, SplitsSearchPathsOnColons) {
  ASSERT_EQ(lvio_setting_set("LVTEST_PATH", "/a:/b/../c::/..:$HOME"), 0);
  ASSERT_EQ(LV_set_current_dir(dir.path("sub").c_str()), 0);
  ASSERT_EQ(run(prolog_split_env_path, {atom("LVTEST_PATH"), var("L"), var("E")}), 1);
  // Pieces that fail are skipped; no variable expansion inside a piece.
  EXPECT_EQ(text("L"), "[" + full("sub/$HOME/") + ",/c/,/a/]");
  EXPECT_EQ(text("E"), "0");
  ASSERT_EQ(run(prolog_split_env_path, {atom("LVTEST_UNSET_PATH"), var("U"), var("E2")}), 1);
  EXPECT_EQ(text("U"), "[]");
  ASSERT_EQ(run(prolog_split_env_path, {small(1), var("V"), var("E3")}), 1);
  EXPECT_EQ(text("E3"), std::to_string(LVIO_E_PARAMETER_ERROR));
}

TEST_F(OsBuiltinTest, SystemPropertiesOfTheRuntimeAndTheEnvironment) {
  const std::string long_value(100, 'v');  // past the first lookup buffer
  ASSERT_EQ(run(prolog_set_system_property, {atom("LVTEST_PROP"), atom(long_value)}), 1);
  EXPECT_EQ(run(prolog_set_system_property, {atom("LVTEST_PROP"), small(1)}), 0);
  ASSERT_EQ(run(prolog_get_system_property, {atom("LVTEST_PROP"), atom("properties"), var("P")}), 1);
  EXPECT_EQ(text("P"), long_value);
  ASSERT_EQ(run(prolog_get_system_property, {atom("LVTEST_PROP"), atom("merged"), var("M")}), 1);
  EXPECT_EQ(text("M"), long_value);
  EXPECT_EQ(run(prolog_get_system_property, {atom("LVTEST_PROP"), atom("environment"), var("E")}), 0);
  EXPECT_EQ(run(prolog_get_system_property, {atom("LVTEST_PROP"), atom("other"), var("O")}), 0);
  EXPECT_EQ(run(prolog_get_system_property, {atom("LVTEST_NO_SUCH"), atom("merged"), var("N")}), 0);
  // The process environment, as the layer saw it when it started.
  const char* home = std::getenv("HOME");
  ASSERT_NE(home, nullptr);
  ASSERT_EQ(run(prolog_get_system_property, {atom("HOME"), atom("environment"), var("H")}), 1);
  EXPECT_EQ(text("H"), home);
  EXPECT_EQ(run(prolog_get_system_property, {atom("HOME"), atom("properties"), var("H2")}), 0);
  // The tables, as lists of Name=Value.
  ASSERT_EQ(run(prolog_get_system_properties, {atom("properties"), var("L")}), 1);
  EXPECT_EQ(text("L"), "[=(LVTEST_PROP," + long_value + ")]");
  ASSERT_EQ(run(prolog_get_system_properties, {atom("environment"), var("L2")}), 1);
  EXPECT_NE(text("L2").find(std::string("=(HOME,") + home + ")"), std::string::npos);
  EXPECT_EQ(text("L2").find("LVTEST_PROP"), std::string::npos);
  ASSERT_EQ(run(prolog_get_system_properties, {atom("merged"), var("L3")}), 1);
  EXPECT_NE(text("L3").find("=(LVTEST_PROP,"), std::string::npos);
  EXPECT_NE(text("L3").find("=(HOME,"), std::string::npos);
}

TEST_F(OsBuiltinTest, DatesInLocalTime) {
  setenv("TZ", "UTC", 1);
  tzset();
  ASSERT_EQ(run(prolog_datime_of, {small(86400 * 365 + 3661), var("Y"), var("Mo"), var("D"), var("H"), var("Mi"),
                                   var("S")}),
            1);
  EXPECT_EQ(text(read("f(Y,Mo,D,H,Mi,S)")), "f(1971,1,1,1,1,1)");
  ASSERT_EQ(run(prolog_mktime, {small(1971), small(1), small(1), small(1), small(1), small(1), var("T")}), 1);
  EXPECT_EQ(text("T"), std::to_string(86400 * 365 + 3661));
  // One second before 1970 is a time, not a failure.
  ASSERT_EQ(run(prolog_mktime, {small(1969), small(12), small(31), small(23), small(59), small(59), var("T2")}), 1);
  EXPECT_EQ(text("T2"), "-1");
  EXPECT_EQ(run(prolog_mktime, {small(1971), atom("x"), small(1), small(1), small(1), small(1), var("T3")}), 0);
  ASSERT_EQ(run(prolog_time, {var("Now")}), 1);
  int64_t now = std::stoll(text("Now"));
  EXPECT_LE(now, static_cast<int64_t>(std::time(nullptr)));
  ASSERT_EQ(run(prolog_datime, {var("Y2"), var("Mo2"), var("D2"), var("H2"), var("Mi2"), var("S2")}), 1);
  EXPECT_GE(std::stoll(text("Y2")), 2024);
}

TEST_F(OsBuiltinTest, CaseNormalizeKeepsNames) {
  ASSERT_EQ(run(prolog_case_normalize_path, {atom("/Foo/\xc3\x89t\xc3\xa9"), var("N")}), 1);
  EXPECT_EQ(text("N"), "/Foo/\xc3\x89t\xc3\xa9");
}

TEST_F(OsBuiltinTest, UnixExitEndsTheProcess) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");  // the I/O layer runs threads
  EXPECT_EXIT(run(prolog_unix_exit, {small(7)}), ::testing::ExitedWithCode(7), "");
}

}  // namespace
