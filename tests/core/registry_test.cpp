// Installation values read from the configuration files.
#include "core/registry.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "core/memory.h"
#include "core/registry_builtins.h"
#include "support/builtin_fixture.h"
#include "support/env.h"
#include "support/temp_files.h"

namespace {

class RegistryTest : public BuiltinTest {
 protected:
  void SetUp() override {
    BuiltinTest::SetUp();
    std::filesystem::create_directories(files.path("lorvika"));
  }

  std::string get(int root, std::initializer_list<const char*> path, const char* name) {
    std::vector<const char*> p(path);
    p.push_back(nullptr);
    char* v = lv_registry_get_by_root(root, p.data(), name);
    if (v == nullptr) return "absent";
    std::string s = v;
    LV_free(v);
    return s;
  }

  TempFiles files;
};

TEST_F(RegistryTest, TheFileOfEachRoot) {
  char buffer[512];
  {
    ScopedEnv env({{"XDG_CONFIG_HOME", "/x/config"}, {"HOME", "/home/u"}});
    ASSERT_TRUE(lv_registry_file(LV_ROOT_CURRENT_USER, buffer, sizeof buffer));
    EXPECT_STREQ(buffer, "/x/config/lorvika/4.9.0.conf");
  }
  {
    // An unset or relative XDG_CONFIG_HOME is passed over for ~/.config.
    ScopedEnv env({{"XDG_CONFIG_HOME", "relative"}, {"HOME", "/home/u"}});
    ASSERT_TRUE(lv_registry_file(LV_ROOT_CURRENT_USER, buffer, sizeof buffer));
    EXPECT_STREQ(buffer, "/home/u/.config/lorvika/4.9.0.conf");
  }
  {
    ScopedEnv env({{"XDG_CONFIG_HOME", nullptr}, {"HOME", nullptr}});
    EXPECT_FALSE(lv_registry_file(LV_ROOT_CURRENT_USER, buffer, sizeof buffer));
  }
  ASSERT_TRUE(lv_registry_file(LV_ROOT_LOCAL_MACHINE, buffer, sizeof buffer));
  EXPECT_STREQ(buffer, "/etc/lorvika/4.9.0.conf");
  for (int root : {0, 1, 2, 5, 6, 7, 8}) EXPECT_FALSE(lv_registry_file(root, buffer, sizeof buffer)) << root;
  EXPECT_FALSE(lv_registry_file(LV_ROOT_LOCAL_MACHINE, buffer, 8));  // does not fit
}

TEST_F(RegistryTest, ValuesByKeyPathAndName) {
  ScopedEnv env({{"XDG_CONFIG_HOME", files.path("").c_str()}});
  EXPECT_EQ(get(LV_ROOT_CURRENT_USER, {"Software", "Lorvika"}, "LV_PATH"), "absent");  // no file
  files.file("lorvika/4.9.0.conf",
             "# installation values\n"
             "\n"
             "Software/Lorvika/4.9.0/LV_PATH = /opt/lorvika \n"
             "  Software/Lorvika/4.9.0/Empty=\r\n"
             "Software/Lorvika/4.9.0/LV_PATH=second\n"
             "Software/Lorvika/Other=a=b\n"
             "#Software/Lorvika/Hidden=x\n"
             "NoEquals\n"
             "Top=last");
  EXPECT_EQ(get(LV_ROOT_CURRENT_USER, {"Software", "Lorvika", "4.9.0"}, "LV_PATH"), "/opt/lorvika");
  EXPECT_EQ(get(LV_ROOT_CURRENT_USER, {"Software", "Lorvika", "4.9.0"}, "Empty"), "");
  EXPECT_EQ(get(LV_ROOT_CURRENT_USER, {"Software", "Lorvika"}, "Other"), "a=b");
  EXPECT_EQ(get(LV_ROOT_CURRENT_USER, {}, "Top"), "last");
  EXPECT_EQ(get(LV_ROOT_CURRENT_USER, {"Software", "Lorvika"}, "Hidden"), "absent");
  EXPECT_EQ(get(LV_ROOT_CURRENT_USER, {"Software"}, "Lorvika/4.9.0/LV_PATH"), "/opt/lorvika");
  EXPECT_EQ(get(LV_ROOT_CURRENT_USER, {"Software", "Lorvika", "4.9"}, "LV_PATH"), "absent");
  EXPECT_EQ(get(LV_ROOT_CURRENT_USER, {"Software", "Lorvika", "4.9.0"}, "LV_PAT"), "absent");
  EXPECT_EQ(get(LV_ROOT_CLASSES, {"Software"}, "x"), "absent");
}

TEST_F(RegistryTest, TheBuiltinGivesAnAtom) {
  ScopedEnv env({{"XDG_CONFIG_HOME", files.path("").c_str()}});
  files.file("lorvika/4.9.0.conf", "Software/Lorvika/Dir=/usr/lib/lorvika\n");
  ASSERT_TRUE(run(prolog_w32_get_registry_value, {"3", "['Software', 'Lorvika']", "'Dir'", "V"}));
  EXPECT_EQ(text("V"), "/usr/lib/lorvika");
  const char* failing[][4] = {
      {"3", "['Software', 'Lorvika']", "'Missing'", "_"},
      {"4", "['Software', 'Lorvika']", "'Dir'", "_"},
      {"99", "['Software', 'Lorvika']", "'Dir'", "_"},
      {"3", "['Software' | _]", "'Dir'", "_"},
      {"3", "['Software', 7]", "'Dir'", "_"},
      {"3", "['Software', 'Lorvika']", "7", "_"},
      {"3", "['Software', 'Lorvika']", "'Dir'", "bound"},
      {"x", "['Software', 'Lorvika']", "'Dir'", "_"},
  };
  for (const auto& args : failing) {
    SCOPED_TRACE(std::string(args[0]) + " " + args[1] + " " + args[2] + " " + args[3]);
    EXPECT_FALSE(run(prolog_w32_get_registry_value, {args[0], args[1], args[2], args[3]}));
  }
}

}  // namespace
