// Test support: a directory of the test's own under the system's temporary
// directory, removed with everything in it at the end. Tests running in
// parallel each get another one.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

class TempDirectory : public testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/lvio-test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    root = pattern;
  }
  void TearDown() override {
    // Give back permissions that a test took away, so that everything goes.
    std::error_code ignored;
    for (const auto& e : std::filesystem::recursive_directory_iterator(root, ignored))
      if (!e.is_symlink()) chmod(e.path().c_str(), 0700);
    std::filesystem::remove_all(root, ignored);
  }
  // The full path of a name in the directory.
  std::string path(const std::string& name) const { return root + "/" + name; }
  // A file with the contents and permissions.
  void file(const std::string& name, const std::string& contents = "", mode_t mode = 0644) const {
    int fd = open(path(name).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    ASSERT_GE(fd, 0) << name;
    ASSERT_EQ(write(fd, contents.data(), contents.size()), static_cast<ssize_t>(contents.size()));
    close(fd);
    ASSERT_EQ(chmod(path(name).c_str(), mode), 0);
  }
  void directory(const std::string& name, mode_t mode = 0755) const {
    ASSERT_EQ(mkdir(path(name).c_str(), 0700), 0) << name;
    ASSERT_EQ(chmod(path(name).c_str(), mode), 0);
  }
  std::string contents(const std::string& name) const {
    std::string text;
    int fd = open(path(name).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return "(missing)";
    char buffer[256];
    ssize_t n;
    while ((n = read(fd, buffer, sizeof buffer)) > 0) text.append(buffer, n);
    close(fd);
    return text;
  }
  // Permission checks mean nothing to the superuser.
  static bool privileged() { return geteuid() == 0; }

  std::string root;
};
