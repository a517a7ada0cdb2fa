// File status, access checks and account names, on files of the test's own.
#include "lvio/file_status.h"

#include <grp.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>

#include <string>

#include "lvio/accounts.h"
#include "lvio/allocator.h"
#include "lvio/file_access.h"
#include "temp_directory.h"

namespace {

using FileStatus = TempDirectory;

constexpr uint32_t EVERYTHING = LVIO_STAT_MODE_SUMMARY | LVIO_STAT_IS_DIRECTORY | LVIO_STAT_TIMES | LVIO_STAT_SIZE |
                                LVIO_STAT_OWNER | LVIO_STAT_GROUP;

TEST_F(FileStatus, ModesSizesTimesAndOwners) {
  file("data", "12345", 0640);
  directory("dir", 0750);
  file("tool", "#!/bin/sh\n", 0755);
  struct {
    const char* name;
    uint32_t mode;  // without the summary bits
    uint32_t summary;
    int64_t is_directory;
  } cases[] = {
      {"data", 0x310, LVIO_MODE_READABLE | LVIO_MODE_WRITABLE, 0},
      {"dir", 0xB90, LVIO_MODE_READABLE | LVIO_MODE_WRITABLE | LVIO_MODE_SEARCHABLE, 1},
      {"tool", 0x755, LVIO_MODE_READABLE | LVIO_MODE_WRITABLE | LVIO_MODE_EXECUTABLE, 0},
  };
  for (const auto& c : cases) {
    struct stat st;
    ASSERT_EQ(stat(path(c.name).c_str(), &st), 0);
    lvio_file_stat record;
    ASSERT_EQ(lvio_file_status(path(c.name).c_str(), &record, EVERYTHING), 0) << c.name;
    EXPECT_EQ(record.mode & 0xFFF, c.mode) << c.name;
    EXPECT_EQ(record.mode & ~0xFFFu, c.summary) << c.name;
    EXPECT_EQ(record.is_directory, c.is_directory) << c.name;
    EXPECT_EQ(record.modification_time, st.st_mtim.tv_sec) << c.name;
    EXPECT_EQ(record.access_time, st.st_atim.tv_sec) << c.name;
    // The birth time, or the status change time where the file system keeps no birth time.
    EXPECT_GE(record.creation_time, st.st_mtim.tv_sec - 1) << c.name;
    EXPECT_LE(record.creation_time, st.st_ctim.tv_sec) << c.name;
    EXPECT_EQ(record.size, static_cast<int64_t>(st.st_size)) << c.name;
    ASSERT_NE(record.owner, nullptr);
    ASSERT_NE(record.group, nullptr);
    EXPECT_EQ(record.owner->id, st.st_uid);
    EXPECT_EQ(record.group->id, st.st_gid);
    EXPECT_EQ(record.keep, 0u);
  }
  // Fields not asked for stay empty.
  lvio_file_stat record;
  ASSERT_EQ(lvio_file_status(path("data").c_str(), &record, LVIO_STAT_SIZE | LVIO_STAT_MODE), 0);
  EXPECT_EQ(record.size, 5);
  EXPECT_EQ(record.mode, 0x310u);  // no summary bits
  EXPECT_EQ(record.modification_time, 0);
  EXPECT_EQ(record.owner, nullptr);
}

TEST_F(FileStatus, KindsAndMissingPaths) {
  file("data");
  directory("dir");
  struct {
    std::string name;
    uint32_t flags;
    lvio_code rc;
  } cases[] = {
      {"data", LVIO_STAT_MUST_BE_DIRECTORY, LVIO_E_FILE_NOT_DIRECTORY},
      {"data", LVIO_STAT_MUST_NOT_BE_DIRECTORY, 0},
      {"dir", LVIO_STAT_MUST_NOT_BE_DIRECTORY, LVIO_E_FILE_IS_DIRECTORY},
      {"dir", LVIO_STAT_MUST_BE_DIRECTORY, 0},
      {"missing", 0, LVIO_E_FILE_NOT_FOUND},
      {"data/below", 0, LVIO_E_FILE_NOT_FOUND},
  };
  for (const auto& c : cases) {
    lvio_file_stat record;
    EXPECT_EQ(lvio_file_status(path(c.name).c_str(), &record, c.flags), c.rc) << c.name << " " << c.flags;
  }
}

int cleanups = 0;
void count_cleanup(lvio_file_stat*, void* data) { cleanups += *static_cast<int*>(data); }

TEST_F(FileStatus, KeptResourcesAreFreedByTheCleanupList) {
  file("data");
  lvio_file_stat record;
  ASSERT_EQ(lvio_file_status(path("data").c_str(), &record, LVIO_STAT_KEEP | LVIO_STAT_OWNER), 0);
  EXPECT_EQ(record.keep, 1u);
  int one = 1, ten = 10;
  ASSERT_EQ(lvio_cleanup_list_add(&record, count_cleanup, &one), 0);
  ASSERT_EQ(lvio_cleanup_list_add(&record, count_cleanup, &ten), 0);
  lvio_cleanup_list_run(&record);
  EXPECT_EQ(cleanups, 11);
  EXPECT_EQ(record.keep, 0u);
  EXPECT_EQ(record.cleanup.count, 0u);
  lvio_cleanup_list_run(&record);  // nothing kept any more
  EXPECT_EQ(cleanups, 11);
}

TEST_F(FileStatus, AccessChecks) {
  file("data", "", 0640);
  file("tool", "", 0755);
  directory("dir");
  file("read-only", "", 0440);
  file("write-only", "", 0200);
  directory("locked", 0555);
  struct {
    std::string name;
    uint32_t flags;
    lvio_code rc;
    bool needs_permissions;  // the superuser passes these checks
  } cases[] = {
      {"data", 0, 0, false},
      {"data", LVIO_ACCESS_WRITE, 0, false},
      {"data", LVIO_ACCESS_DIRECTORY, LVIO_E_FILE_NOT_DIRECTORY, false},
      {"data", LVIO_ACCESS_EXECUTE, LVIO_E_FILE_ACCESS, false},
      {"tool", LVIO_ACCESS_EXECUTE, 0, false},
      {"dir", 0, LVIO_E_FILE_IS_DIRECTORY, false},
      {"dir", LVIO_ACCESS_DIRECTORY, 0, false},
      {"dir", LVIO_ACCESS_DIRECTORY | LVIO_ACCESS_EXECUTE, LVIO_E_FILE_ACCESS, false},
      {"missing", 0, LVIO_E_FILE_NOT_FOUND, false},
      {"missing", LVIO_ACCESS_CREATE, 0, false},
      {"missing/", LVIO_ACCESS_CREATE, 0, false},
      {"dir/missing", LVIO_ACCESS_CREATE, 0, false},
      {"missing", LVIO_ACCESS_CREATE | LVIO_ACCESS_NO_PARENT, LVIO_E_FILE_NOT_FOUND, false},
      {"missing/deeper", LVIO_ACCESS_CREATE, LVIO_E_FILE_NOT_FOUND, false},
      {"data/below", LVIO_ACCESS_CREATE, LVIO_E_FILE_NOT_FOUND, false},
      {"read-only", LVIO_ACCESS_WRITE, LVIO_E_FILE_ACCESS, true},
      {"read-only", LVIO_ACCESS_CREATE, LVIO_E_FILE_ACCESS, true},
      {"write-only", 0, LVIO_E_FILE_ACCESS, true},
      {"locked/missing", LVIO_ACCESS_CREATE, LVIO_E_FILE_ACCESS, true},
  };
  for (const auto& c : cases) {
    if (c.needs_permissions && privileged()) continue;
    EXPECT_EQ(lvio_path_attributes(path(c.name).c_str(), c.flags), c.rc) << c.name << " " << c.flags;
  }
  EXPECT_EQ(lvio_path_attributes("relative-name", LVIO_ACCESS_CREATE), LVIO_E_FILE_NOT_FOUND);
  EXPECT_EQ(lvio_is_executable(path("tool").c_str()), 1);
  EXPECT_EQ(lvio_is_executable(path("data").c_str()), 0);
  EXPECT_EQ(lvio_is_executable(path("dir").c_str()), 0);
}

TEST_F(FileStatus, AccountNames) {
  file("data");
  lvio_file_stat record;
  ASSERT_EQ(lvio_file_status(path("data").c_str(), &record, LVIO_STAT_OWNER | LVIO_STAT_GROUP), 0);
  const passwd* user = getpwuid(record.owner->id);
  const group* grp = getgrgid(record.group->id);
  struct {
    lvio_code (*function)(const lvio_account_id*, char**, uint32_t);
    lvio_account_id account;
    uint32_t flags;
    std::string name;
  } cases[] = {
      {lvio_owner_account_name, *record.owner, 0,
       user != nullptr ? user->pw_name : std::to_string(record.owner->id)},
      {lvio_group_account_name, *record.group, 0, grp != nullptr ? grp->gr_name : std::to_string(record.group->id)},
      {lvio_owner_account_name, *record.owner, 1, std::to_string(record.owner->id)},
      {lvio_group_account_name, *record.group, 1, std::to_string(record.group->id)},
      {lvio_owner_account_name, {LVIO_ACCOUNT_USER, 3999999999u}, 0, "3999999999"},  // no such user
      {lvio_owner_account_name, {LVIO_ACCOUNT_GROUP, 0}, 0, "root"},  // the account says which database
  };
  for (const auto& c : cases) {
    char* name = nullptr;
    ASSERT_EQ(c.function(&c.account, &name, c.flags), 0) << c.name;
    EXPECT_EQ(std::string(name), c.name);
    lvio_free(name);
  }
}

}  // namespace
