// Directory listings: order, kinds, names kept as they are.
#include "lvio/directory_listing.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "temp_directory.h"

namespace {

using DirectoryListing = TempDirectory;
using names = std::vector<std::string>;

// The names a listing gives, or the error of its open.
names list(const std::string& dir, uint32_t flags, lvio_code* open_rc = nullptr) {
  lvio_dir* listing = nullptr;
  lvio_code rc = lvio_dir_open(dir.c_str(), &listing, flags);
  if (open_rc != nullptr) *open_rc = rc;
  names out;
  if (rc < 0) return out;
  const lvio_dir_entry* entry;
  while ((rc = lvio_dir_next(listing, &entry)) == 0) {
    const char* name;
    out.push_back(lvio_dir_entry_name(listing, entry, &name) == 0 ? std::string(name) : "(invalid)");
  }
  EXPECT_EQ(rc, LVIO_E_NO_MORE_ENTRIES);
  EXPECT_EQ(lvio_dir_next(listing, &entry), LVIO_E_NO_MORE_ENTRIES);
  lvio_dir_close(listing);
  return out;
}

TEST_F(DirectoryListing, NamesInByteOrderByKind) {
  file("b");
  file("a");
  file("Case");
  directory("d");
  ASSERT_EQ(symlink("d", path("to-dir").c_str()), 0);
  ASSERT_EQ(symlink("nowhere", path("dangling").c_str()), 0);
  struct {
    uint32_t flags;
    names expected;
  } cases[] = {
      {0, {".", "..", "Case", "a", "b", "d", "dangling", "to-dir"}},
      {LVIO_DIR_DIRECTORIES | LVIO_DIR_FILES, {".", "..", "Case", "a", "b", "d", "dangling", "to-dir"}},
      {LVIO_DIR_DIRECTORIES, {".", "..", "d", "to-dir"}},
      {LVIO_DIR_FILES, {"Case", "a", "b", "dangling"}},
      {LVIO_DIR_FILES | LVIO_DIR_FOLD_CASE, {"Case", "a", "b", "dangling"}},
  };
  for (const auto& c : cases) {
    lvio_code rc = -1;
    EXPECT_EQ(list(root, c.flags, &rc), c.expected) << c.flags;
    EXPECT_EQ(rc, 0) << c.flags;  // names are never folded
  }
  directory("only-dirs");
  directory("only-dirs/x");
  EXPECT_EQ(list(path("only-dirs"), LVIO_DIR_FILES), names{});
}

TEST_F(DirectoryListing, NamesThatAreNotUtf8AreRefused) {
  file("ok");
  file("bad-\xff");
  EXPECT_EQ(list(root, LVIO_DIR_FILES), (names{"(invalid)", "ok"}));
}

TEST_F(DirectoryListing, OpenErrors) {
  file("data");
  lvio_code rc = 0;
  list(path("data"), 0, &rc);
  EXPECT_EQ(rc, LVIO_E_FILE_NOT_DIRECTORY);
  list(path("missing"), 0, &rc);
  EXPECT_EQ(rc, LVIO_E_FILE_NOT_FOUND);
  list(path("data/below"), 0, &rc);
  EXPECT_EQ(rc, LVIO_E_FILE_NOT_FOUND);
  lvio_dir_close(nullptr);
}

}  // namespace
