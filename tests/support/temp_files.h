// Test support: a directory of the test's own under /tmp, removed with its
// files when the object goes.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>

class TempFiles {
 public:
  TempFiles() {
    char pattern[] = "/tmp/lorvika-test-XXXXXX";
    if (mkdtemp(pattern) == nullptr) throw std::runtime_error("mkdtemp");
    root_ = pattern;
  }
  ~TempFiles() {
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
  }
  TempFiles(const TempFiles&) = delete;
  TempFiles& operator=(const TempFiles&) = delete;

  std::string path(const std::string& name) const { return root_ + "/" + name; }

  // A file with the given bytes.
  void file(const std::string& name, const std::string& contents) const {
    int fd = open(path(name).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) throw std::runtime_error("open " + name);
    if (write(fd, contents.data(), contents.size()) != static_cast<ssize_t>(contents.size()))
      throw std::runtime_error("write " + name);
    close(fd);
  }

 private:
  std::string root_;
};
