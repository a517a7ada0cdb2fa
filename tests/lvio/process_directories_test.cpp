// The current and the temporary directory.
#include "lvio/process_directories.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "lvio/allocator.h"
#include "support/env.h"
#include "temp_directory.h"

namespace {

std::string take(char* text) {
  std::string s = text != nullptr ? text : "(null)";
  lvio_free(text);
  return s;
}

std::string current(uint32_t flags) {
  char* text = nullptr;
  EXPECT_EQ(lvio_get_current_directory(&text, flags), 0);
  return take(text);
}

std::string working() {
  char buffer[4096];
  return std::string(getcwd(buffer, sizeof buffer)) + "/";
}

class ProcessDirectories : public TempDirectory {
 protected:
  void SetUp() override {
    TempDirectory::SetUp();
    ASSERT_EQ(lvio_file_system_module(0), 0);
  }
  void TearDown() override {
    (void)lvio_file_system_module(1);
    TempDirectory::TearDown();
  }
};

TEST_F(ProcessDirectories, CurrentDirectoryIsKeptAndEndsInASlash) {
  std::string start = working();
  EXPECT_EQ(current(0), start);
  EXPECT_EQ(current(2), start);
  EXPECT_EQ(current(2 | 8), start);
  // The kept copy and the working directory change apart.
  ASSERT_EQ(lvio_set_current_directory(path("").c_str(), 1), 0);
  EXPECT_EQ(current(0), root + "/");
  EXPECT_EQ(current(2), start);
  ASSERT_EQ(lvio_set_current_directory(root.c_str(), 2), 0);
  EXPECT_EQ(current(2), root + "/");
  EXPECT_EQ(lvio_set_current_directory(path("missing").c_str(), 3), LVIO_E_FILE_NOT_FOUND);
  EXPECT_EQ(current(0), root + "/");
  ASSERT_EQ(chdir(start.c_str()), 0);
  // Without the module's copy the working directory answers.
  ASSERT_EQ(lvio_file_system_module(1), 0);
  EXPECT_EQ(current(0), start);
}

TEST_F(ProcessDirectories, TemporaryDirectory) {
  file("data");
  std::string fallback = std::string(P_tmpdir) + "/";
  const std::string unset = "(unset)";
  struct {
    std::string tmpdir;
    std::string expected;
  } cases[] = {
      {unset, fallback},
      {root, root + "/"},
      {path(""), root + "/"},
      {"relative", fallback},
      {"", fallback},
      {path("data"), fallback},
      {path("missing"), fallback},
  };
  for (const auto& c : cases) {
    ScopedEnv env({{"TMPDIR", c.tmpdir == unset ? nullptr : c.tmpdir.c_str()}});
    char* text = nullptr;
    ASSERT_EQ(lvio_temp_directory(&text, 1), 0);
    EXPECT_EQ(take(text), c.expected) << c.tmpdir;
  }
}

}  // namespace
