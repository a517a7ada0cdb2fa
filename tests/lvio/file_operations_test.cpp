// Making, deleting, renaming and opening files, with their error codes.
#include "lvio/file_operations.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <thread>

#include "lvio/file_open.h"
#include "temp_directory.h"

namespace {

using FileOperations = TempDirectory;

TEST_F(FileOperations, MakeAndDelete) {
  EXPECT_EQ(lvio_make_directory(path("new").c_str(), 0), 0);
  EXPECT_EQ(lvio_make_directory(path("new").c_str(), 0), LVIO_E_FILE_EXISTS);
  EXPECT_EQ(lvio_make_directory(path("missing/new").c_str(), 0), LVIO_E_FILE_NOT_FOUND);
  file("data", "x");
  directory("full");
  file("full/inside");
  directory("empty");
  ASSERT_EQ(symlink("full", path("link").c_str()), 0);
  struct {
    std::string name;
    uint32_t flags;
    lvio_code rc;
  } cases[] = {
      {"missing", 0, LVIO_E_FILE_NOT_FOUND},
      {"missing", 1, LVIO_E_FILE_NOT_FOUND},
      {"full", 1, LVIO_E_DIR_NOT_EMPTY},
      {"full", 0, LVIO_E_FILE_IS_DIRECTORY},
      {"data", 1, LVIO_E_FILE_NOT_DIRECTORY},
      {"link", 1, LVIO_E_FILE_NOT_DIRECTORY},  // a link is not the directory it names
      {"empty", 5, LVIO_E_NOT_IMPLEMENTED},
      {"data/below", 0, LVIO_E_FILE_NOT_FOUND},
      {"empty", 1, 0},
      {"data", 0, 0},
      {"link", 0, 0},
      {"data", 0, LVIO_E_FILE_NOT_FOUND},
  };
  for (const auto& c : cases)
    EXPECT_EQ(lvio_file_delete(path(c.name).c_str(), c.flags), c.rc) << c.name << " " << c.flags;
  EXPECT_EQ(contents("full/inside"), "");  // the link's removal left its target alone
}

// Both renames: the system's own, and the one for file systems that cannot refuse a replacement.
class Rename : public TempDirectory, public testing::WithParamInterface<bool> {
 protected:
  lvio_code rename(const std::string& from, const std::string& to) {
    return GetParam() ? lvio_file_rename_by_link(path(from).c_str(), path(to).c_str())
                      : lvio_file_rename(path(from).c_str(), path(to).c_str());
  }
};

TEST_P(Rename, NeverReplacesAnExistingTarget) {
  file("a", "first");
  file("b", "second");
  directory("d");
  directory("e");
  file("d/inside", "kept");
  struct {
    std::string from, to;
    lvio_code rc;
  } cases[] = {
      {"a", "b", LVIO_E_FILE_EXISTS},
      {"d", "e", LVIO_E_FILE_EXISTS},  // even an empty directory is not replaced
      {"a", "d", LVIO_E_FILE_EXISTS},
      {"missing", "c", LVIO_E_FILE_NOT_FOUND},
      {"a", "missing/c", LVIO_E_FILE_NOT_FOUND},
      {"a", "c", 0},
      {"d", "f", 0},
  };
  for (const auto& c : cases) EXPECT_EQ(rename(c.from, c.to), c.rc) << c.from << " -> " << c.to;
  EXPECT_EQ(contents("a"), "(missing)");
  EXPECT_EQ(contents("b"), "second");
  EXPECT_EQ(contents("c"), "first");
  EXPECT_EQ(contents("f/inside"), "kept");
  EXPECT_EQ(access(path("e").c_str(), F_OK), 0);
}

INSTANTIATE_TEST_SUITE_P(BothWays, Rename, testing::Bool(),
                         [](const testing::TestParamInfo<bool>& info) { return info.param ? "ByLink" : "NoReplace"; });

TEST_F(FileOperations, OpenRefusesDirectories) {
  file("data", "old");
  directory("dir");
  struct {
    std::string name;
    uint32_t flags;
    lvio_code rc;
    std::string after;  // the file's contents after the open
  } cases[] = {
      {"dir", LVIO_OPEN_READ, LVIO_E_FILE_IS_DIRECTORY, ""},
      {"dir", LVIO_OPEN_WRITE, LVIO_E_FILE_IS_DIRECTORY, ""},
      {"data", 0, LVIO_E_PARAMETER_ERROR, "old"},
      {"data", LVIO_OPEN_READ | LVIO_OPEN_WRITE | LVIO_OPEN_APPEND, LVIO_E_PARAMETER_ERROR, "old"},
      {"data", LVIO_OPEN_WRITE | LVIO_OPEN_EXCLUSIVE, LVIO_E_FILE_EXISTS, "old"},
      {"missing", LVIO_OPEN_READ, LVIO_E_FILE_NOT_FOUND, "(missing)"},
      {"data", LVIO_OPEN_READ, 0, "old"},
      {"data", LVIO_OPEN_READ | LVIO_OPEN_WRITE, 0, "old"},
      {"data", LVIO_OPEN_WRITE | LVIO_OPEN_APPEND, 0, "old"},
      {"data", LVIO_OPEN_WRITE, 0, ""},
      {"new", LVIO_OPEN_WRITE | LVIO_OPEN_EXCLUSIVE, 0, ""},
  };
  for (const auto& c : cases) {
    int fd = -1;
    EXPECT_EQ(lvio_file_open_path(path(c.name).c_str(), c.flags, &fd), c.rc) << c.name << " " << c.flags;
    if (c.rc == 0) {
      EXPECT_GE(fd, 0);
      EXPECT_EQ(fcntl(fd, F_GETFD) & FD_CLOEXEC, FD_CLOEXEC);
      close(fd);
    }
    if (c.name != "dir") {
      EXPECT_EQ(contents(c.name), c.after) << c.name << " " << c.flags;
    }
  }
}

TEST_F(FileOperations, OpenReadsOnlyWhenReadingIsAskedFor) {
  file("only-written", "old", 0200);
  struct {
    uint32_t flags;
    int access;
    std::string after;
  } cases[] = {
      {LVIO_OPEN_WRITE | LVIO_OPEN_APPEND, O_WRONLY, "old"},
      {LVIO_OPEN_WRITE, O_WRONLY, ""},
      {LVIO_OPEN_WRITE | LVIO_OPEN_READ, O_RDWR, ""},
  };
  for (const auto& c : cases) {
    int fd = -1;
    // The superuser may read the file all the same; its owner may not.
    lvio_code expected = (c.flags & LVIO_OPEN_READ) != 0 && !privileged() ? LVIO_E_PERMISSION_ERROR : 0;
    ASSERT_EQ(lvio_file_open_path(path("only-written").c_str(), c.flags, &fd), expected) << c.flags;
    if (expected < 0) continue;
    EXPECT_EQ(fcntl(fd, F_GETFL) & O_ACCMODE, c.access) << c.flags;
    close(fd);
    ASSERT_EQ(chmod(path("only-written").c_str(), 0600), 0);
    EXPECT_EQ(contents("only-written"), c.after) << c.flags;
    ASSERT_EQ(chmod(path("only-written").c_str(), 0200), 0);
  }
}

TEST_F(FileOperations, AFifoOpenedForWritingWaitsForAReader) {
  ASSERT_EQ(mkfifo(path("fifo").c_str(), 0600), 0);
  std::string received;
  // The reader's open waits for a writer, and the writer's open for it.
  std::thread reader([&] {
    int fd = open(path("fifo").c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return;
    char buffer[16];
    ssize_t n;
    while (received.size() < 5 && (n = read(fd, buffer, sizeof buffer)) > 0) received.append(buffer, n);
    close(fd);
  });
  int fd = -1;
  ASSERT_EQ(lvio_file_open_path(path("fifo").c_str(), LVIO_OPEN_WRITE, &fd), 0);
  ASSERT_EQ(write(fd, "hello", 5), 5);
  reader.join();
  EXPECT_EQ(received, "hello");
  // The reader has gone, and the writer is no reader of its own: there is
  // nobody to write to.
  int other = open(path("fifo").c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
  EXPECT_EQ(other, -1);
  EXPECT_EQ(errno, ENXIO);
  if (other >= 0) close(other);
  close(fd);
}

}  // namespace
