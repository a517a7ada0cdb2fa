// The private environment, the process snapshot and environment blocks.
#include "lvio/environment.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "lvio/allocator.h"
#include "lvio/os_environment.h"
#include "lvio/settings.h"
#include "support/env.h"

namespace {

// The entries of a block, each as "name=value" (or as it stands when it is
// already in that form).
std::vector<std::string> entries(char* const* block) {
  std::vector<std::string> out;
  for (char* const* e = block; *e != nullptr; e++) {
    std::string name = *e;
    const char* eq = std::strchr(*e, '=');
    out.push_back(eq != nullptr ? name : name + "=" + lvio_entry_value(*e));
  }
  return out;
}

// The entries whose names start with the prefix, in block order.
std::vector<std::string> with_prefix(char* const* block, const std::string& prefix) {
  std::vector<std::string> out;
  for (const auto& e : entries(block))
    if (e.compare(0, prefix.size(), prefix) == 0) out.push_back(e);
  return out;
}

using list = std::vector<std::string>;

class PackedList {
 public:
  PackedList(std::initializer_list<const char*> texts, uint32_t flags) {
    std::vector<const char*> l(texts);
    l.push_back(nullptr);
    rc_ = lvio_environment_pack(l.data(), &block_, &size_, flags);
  }
  ~PackedList() { lvio_free(block_); }
  PackedList(const PackedList&) = delete;
  PackedList& operator=(const PackedList&) = delete;
  lvio_code rc() const { return rc_; }
  char** block() const { return block_; }
  size_t size() const { return size_; }

 private:
  lvio_code rc_;
  char** block_ = nullptr;
  size_t size_ = 0;
};

TEST(EnvironmentBlock, PackSplitsNameValueTexts) {
  PackedList p({"A=1", "B==2", "C="}, 1);
  ASSERT_EQ(p.rc(), 0);
  ASSERT_NE(p.block(), nullptr);
  EXPECT_STREQ(p.block()[1], "B");
  EXPECT_STREQ(lvio_entry_value(p.block()[1]), "=2");
  EXPECT_EQ(entries(p.block()), (list{"A=1", "B==2", "C="}));
  EXPECT_EQ(p.size(), 4 * sizeof(char*) + 4 + 5 + 3);
  EXPECT_EQ(PackedList({"A=1", "novalue"}, 1).rc(), LVIO_E_PARAMETER_ERROR);
  EXPECT_EQ(PackedList({"=leading"}, 1).rc(), LVIO_E_PARAMETER_ERROR);
}

TEST(EnvironmentBlock, MergeOrdersAndDropsDuplicateNames) {
  PackedList a({"B=a1", "A=a2", "B=a3"}, 1);
  PackedList b({"A=b1", "C=b2", "X=Y=b3"}, 1);
  struct {
    uint32_t flags;
    list expected;
  } cases[] = {
      {0, {"A=a2", "B=a1", "C=b2", "X=Y=b3"}},
      {2, {"A=a2", "B=a1", "C=b2", "X=Y=b3"}},
      {1, {"A=a2", "A=b1", "B=a1", "B=a3", "C=b2", "X=Y=b3"}},
      {4, {"B=a1", "A=a2", "C=b2", "X=Y=b3"}},
      {5, {"B=a1", "A=a2", "B=a3", "A=b1", "C=b2", "X=Y=b3"}},
  };
  for (const auto& c : cases) {
    char** merged;
    size_t size;
    ASSERT_EQ(lvio_environment_merge(a.block(), a.size(), b.block(), b.size(), &merged, &size, c.flags), 0);
    EXPECT_EQ(entries(merged), c.expected) << c.flags;
    lvio_free(merged);
  }
  char** merged = nullptr;
  EXPECT_EQ(lvio_environment_merge(a.block(), 0, b.block(), 0, &merged, nullptr, 6), LVIO_E_PARAMETER_ERROR);
}

TEST(EnvironmentBlock, NameValueFormDropsNamesWithEquals) {
  const char* entry = "X=Y\0v";  // a name that contains "="
  std::string odd(entry, 6);
  const char* list_[] = {
      "A\0"
      "1",
      odd.c_str(), nullptr};
  char** packed;
  ASSERT_EQ(lvio_environment_pack(list_, &packed, nullptr, 0), 0);
  char** merged;
  ASSERT_EQ(lvio_environment_merge(packed, 0, nullptr, 0, &merged, nullptr, 4 | 8), 0);
  ASSERT_NE(merged[0], nullptr);
  EXPECT_STREQ(merged[0], "A=1");
  EXPECT_EQ(merged[1], nullptr);
  lvio_free(merged);
  lvio_free(packed);
}

TEST(EnvironmentBlock, CopyRelocatesAPackedBlock) {
  PackedList p({"A=1", "B=2"}, 1);
  char** copy;
  size_t size;
  ASSERT_EQ(lvio_environment_copy(p.block(), p.size(), &copy, &size, 1), 0);
  EXPECT_EQ(size, p.size());
  EXPECT_EQ(entries(copy), (list{"A=1", "B=2"}));
  for (char** e = copy; *e != nullptr; e++) {
    EXPECT_GT(*e, reinterpret_cast<char*>(copy));
    EXPECT_LT(*e, reinterpret_cast<char*>(copy) + size);
  }
  lvio_free(copy);
  ASSERT_EQ(lvio_environment_copy(p.block(), 0, &copy, &size, 0), 0);
  EXPECT_EQ(entries(copy), (list{"A=1", "B=2"}));
  lvio_free(copy);
}

TEST(OsEnvironment, StringsAndLiveLookup) {
  ScopedEnv env({{"LV_ENV_TEST", "a=b"}});
  char** block;
  size_t size;
  ASSERT_EQ(lvio_os_environment_strings(&block, &size, 0), 0);
  EXPECT_EQ(with_prefix(block, "LV_ENV_TEST"), (list{"LV_ENV_TEST=a=b"}));
  lvio_free(block);
  ASSERT_EQ(lvio_os_environment_strings(&block, nullptr, 1), 0);
  EXPECT_EQ(with_prefix(block, "LV_ENV_TEST"), (list{"LV_ENV_TEST=a=b"}));
  lvio_free(block);
  char value[8];
  size = sizeof value;
  // Without a snapshot the live environment is read, unless flag 1 insists.
  ASSERT_EQ(lvio_getenv("LV_ENV_TEST", value, &size, 0), 0);
  EXPECT_STREQ(value, "a=b");
  EXPECT_EQ(lvio_getenv("LV_ENV_TEST", value, &size, 1), LVIO_E_INVALID_STATE);
  size = 3;
  EXPECT_EQ(lvio_getenv("LV_ENV_TEST", value, &size, 0), LVIO_E_OUT_OF_MEMORY);
  EXPECT_EQ(size, 4u);
  EXPECT_EQ(lvio_name_compare("PATH", "path"), -1);
  EXPECT_EQ(lvio_name_compare("b", "a"), 1);
  EXPECT_EQ(lvio_name_compare("same", "same"), 0);
}

class PrivateEnvironment : public testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(lvio_environment_module(0), 0); }
  void TearDown() override { (void)lvio_environment_module(1); }
};

TEST_F(PrivateEnvironment, SnapshotIsTakenAtStart) {
  ScopedEnv later({{"LV_ENV_LATER", "set after the snapshot"}});
  char value[32];
  size_t size = sizeof value;
  EXPECT_EQ(lvio_getenv("LV_ENV_LATER", value, &size, 0), LVIO_E_NOT_FOUND);
  ASSERT_EQ(lvio_getenv("LV_ENV_LATER", value, &size, 2), 0);
  char** snapshot;
  ASSERT_EQ(lvio_environment_snapshot(&snapshot, nullptr, 1 | 4), 0);
  size = sizeof value;
  ASSERT_EQ(lvio_getenv("LV_ENV_LATER", value, &size, 0), 0);
  EXPECT_STREQ(value, "set after the snapshot");
  char** fresh;
  ASSERT_EQ(lvio_environment_snapshot(&fresh, nullptr, 2), 0);
  EXPECT_NE(fresh, snapshot);
  lvio_free(fresh);
  EXPECT_EQ(lvio_environment_snapshot(&fresh, nullptr, 2 | 1), LVIO_E_PARAMETER_ERROR);
  EXPECT_EQ(lvio_environment_snapshot(&fresh, nullptr, 0), LVIO_E_PARAMETER_ERROR);
}

TEST_F(PrivateEnvironment, ChildEnvironmentListsASetNameOnceAheadOfTheProcess) {
  ScopedEnv env({{"LV_ENV_SHARED", "process"}, {"LV_ENV_ONLY_PROCESS", "p"}});
  ASSERT_EQ(lvio_setting_set("LV_ENV_SHARED", "private"), 0);
  ASSERT_EQ(lvio_setting_set("LV_ENV_ONLY_PRIVATE", "q"), 0);
  char** block;
  size_t size;
  // The variables were set after the snapshot: flag 16 takes a fresh one.
  ASSERT_EQ(lvio_environment_build(&block, &size, 16), 0);
  EXPECT_EQ(with_prefix(block, "LV_ENV_"),
            (list{"LV_ENV_SHARED=private", "LV_ENV_ONLY_PRIVATE=q", "LV_ENV_ONLY_PROCESS=p"}));
  lvio_free(block);
  ASSERT_EQ(lvio_environment_build(&block, nullptr, 1 | 8), 0);
  EXPECT_EQ(with_prefix(block, "LV_ENV_"),
            (list{"LV_ENV_SHARED=private", "LV_ENV_ONLY_PRIVATE=q", "LV_ENV_SHARED=process", "LV_ENV_ONLY_PROCESS=p"}));
  lvio_free(block);
  ASSERT_EQ(lvio_environment_build(&block, nullptr, 2), 0);
  EXPECT_EQ(entries(block), (list{"LV_ENV_SHARED=private", "LV_ENV_ONLY_PRIVATE=q"}));
  lvio_free(block);
  ASSERT_EQ(lvio_environment_build(&block, nullptr, 4), 0);
  EXPECT_EQ(with_prefix(block, "LV_ENV_"), (list{"LV_ENV_SHARED=process", "LV_ENV_ONLY_PROCESS=p"}));
  lvio_free(block);
  size = 99;
  EXPECT_EQ(lvio_environment_build(nullptr, &size, 0), 0);
  EXPECT_EQ(size, 0u);
}

TEST_F(PrivateEnvironment, SettingsReplaceAndTheCacheFollows) {
  char** cached;
  ASSERT_EQ(lvio_private_environment_block(&cached, nullptr, 1), 0);
  EXPECT_EQ(cached[0], nullptr);
  ASSERT_EQ(lvio_setting_set("A", "1"), 0);
  ASSERT_EQ(lvio_setting_set("B", "2"), 0);
  ASSERT_EQ(lvio_setting_set("A", "3"), 0);
  ASSERT_EQ(lvio_private_environment_block(&cached, nullptr, 1), 0);
  EXPECT_EQ(entries(cached), (list{"A=3", "B=2"}));
  // An unchanged value keeps the cached block.
  ASSERT_EQ(lvio_setting_set("B", "2"), 0);
  char** again;
  ASSERT_EQ(lvio_private_environment_block(&again, nullptr, 1), 0);
  EXPECT_EQ(again, cached);
  // Without flag 1 the block is the caller's, and the next one is new.
  char** owned;
  ASSERT_EQ(lvio_private_environment_block(&owned, nullptr, 0), 0);
  EXPECT_EQ(owned, cached);
  lvio_free(owned);
  char buffer[4];
  size_t size = sizeof buffer;
  ASSERT_EQ(lvio_private_environment_lookup("A", buffer, &size), 0);
  EXPECT_STREQ(buffer, "3");
  EXPECT_EQ(lvio_private_environment_lookup("C", buffer, &size), LVIO_E_NOT_FOUND);
  EXPECT_EQ(lvio_setting_set(nullptr, "x"), LVIO_E_PARAMETER_ERROR);
}

TEST(EnvironmentModule, OverridesMoveIntoThePrivateEnvironment) {
  ScopedEnv env({{"LV_ENV_D", "process"}});
  const lvio_override_item items[] = {
      {LVIO_OVERRIDE_SETTING, "LV_ENV_D", "first"},
      {LVIO_OVERRIDE_EMPTY, nullptr, nullptr},
      {LVIO_OVERRIDE_SETTING, "LV_ENV_D", "second"},
  };
  const lvio_override_table table = {1, 3, items};
  ASSERT_EQ(lvio_install_overrides(&table, 0), 0);
  ASSERT_EQ(lvio_environment_module(0), 0);
  EXPECT_EQ(lvio_installed_overrides(), nullptr);
  char buffer[16];
  size_t size = sizeof buffer;
  ASSERT_EQ(lvio_setting_get("LV_ENV_D", buffer, &size, 0), 0);
  EXPECT_STREQ(buffer, "first");  // as it read while the table was installed
  (void)lvio_environment_module(1);
}

}  // namespace
