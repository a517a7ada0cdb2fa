// Helpers on path texts.
#include <gtest/gtest.h>

#include <string>

#include "core/memory.h"
#include "streams/paths.h"
#include "support/memory_fixture.h"

namespace {

using PathTest = MemoryTest;

std::string taken(char* text) {
  if (text == nullptr) return "null";
  std::string s = text;
  LV_free(text);
  return s;
}

TEST_F(PathTest, PartsOfAPath) {
  struct Case {
    const char* path;
    const char* dirname;
    const char* basename;
    const char* stem;
    const char* last;       // last component as lv_split_path gives it
    const char* extension;  // "null" when none
  } cases[] = {
      {"/a/b/c.pl", "/a/b/", "c.pl", "c", "c.pl", ".pl"},
      {"/a/b/", "/a/", "b", "b", "", "null"},
      {"/a", "/", "a", "a", "a", "null"},
      {"c.x.y", "null", "c.x.y", "c.x", "c.x.y", ".y"},
      {"/d.x/f", "/d.x/", "f", "f", "f", "null"},
      {"rel/f", "rel/", "f", "f", "f", "null"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(taken(lv_path_dirname(c.path)), c.dirname) << c.path;
    EXPECT_EQ(taken(lv_path_basename(c.path, 0)), c.basename) << c.path;
    EXPECT_EQ(taken(lv_path_basename(c.path, 1)), c.stem) << c.path;
    const char *root = nullptr, *last = nullptr, *extension = nullptr;
    const char* end = lv_split_path(c.path, &root, &last, &extension);
    EXPECT_EQ(*end, '\0');
    EXPECT_EQ(root != nullptr, c.path[0] == '/') << c.path;
    EXPECT_EQ(std::string(last), c.last) << c.path;
    EXPECT_EQ(extension != nullptr ? std::string(extension) : "null", c.extension) << c.path;
  }
}

TEST_F(PathTest, PermanentCopiesUseForwardSlashes) {
  char* copy = lv_strdup_perm("a\\b\\c/d");
  ASSERT_NE(copy, nullptr);
  EXPECT_STREQ(copy, "a/b/c/d");
  lv_strdup_perm_free(copy);
}

}  // namespace
