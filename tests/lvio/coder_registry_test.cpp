// The coder registry, coder instances and their position operations.
#include <gtest/gtest.h>

#include <string>

#include "coder_test_support.h"
#include "lvio/allocator.h"

namespace {

class CoderRegistry : public testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(lvio_coder_module(0), 0); }
  void TearDown() override { EXPECT_EQ(lvio_coder_module(1), 0); }
};

std::string normalized(const char* name) {
  char* n = lvio_normalize_charset_name(name);
  std::string s = n;
  lvio_free(n);
  return s;
}

TEST(CoderNames, Normalization) {
  struct {
    const char* name;
    const char* normal;
  } cases[] = {
      {"UTF-16 LE", "utf16le"},
      {"UTF_16LE", "utf16le"},
      {"ISO-8859-01", "iso88591"},
      {"iso88591", "iso88591"},
      {"ISO-8859-10", "iso885910"},
      {"iso-ir-100", "isoir100"},
      {"007", "7"},
      {"a0b", "ab"},
      {"ANSI_X3.4-1968", "ansix341968"},
      {"---", ""},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(normalized(c.name), c.normal) << c.name;
}

TEST_F(CoderRegistry, OpensByNameAndAlias) {
  struct {
    const char* name;
    const char* canonical;
  } cases[] = {
      {"LATIN1", "ISO-8859-1"},         {"Latin-1", "ISO-8859-1"},       {"l1", "ISO-8859-1"},
      {"ISO-8859-01", "ISO-8859-1"},    {"default-ish latin1", nullptr}, {"utf16", "UTF-16BE"},
      {"UTF-16 LE", "UTF-16LE"},        {"UTF_16LE", "UTF-16LE"},        {"utf32", "UTF-32BE"},
      {"us-ascii", "ANSI_X3.4-1968"},   {"646", "ANSI_X3.4-1968"},       {"latin-9", "ISO-8859-15"},
      {"Windows-1252", "windows-1252"}, {"latin2", "ISO-8859-2"},        {"koi8-r", nullptr},
  };
  for (const auto& c : cases) {
    lvio_coder_class* cls = nullptr;
    lvio_code rc = lvio_coder_class_open(&cls, c.name, nullptr, 0);
    if (c.canonical == nullptr) {
      EXPECT_EQ(rc, LVIO_E_CHARSET_NOT_FOUND) << c.name;
      continue;
    }
    ASSERT_EQ(rc, 0) << c.name;
    EXPECT_STREQ(cls->name, c.canonical);
    EXPECT_EQ(cls->reference_count, 2u);
    lvio_coder_class_unref(cls);
    EXPECT_EQ(cls->reference_count, 1u);
  }
  lvio_coder_class* cls;
  EXPECT_EQ(lvio_coder_class_open(&cls, "", nullptr, 0), LVIO_E_PARAMETER_ERROR);
  EXPECT_EQ(lvio_coder_class_open(&cls, "-.-", nullptr, 0), LVIO_E_PARAMETER_ERROR);
  // Flag 1 asks for a fixed-width (8-bit) coder.
  EXPECT_EQ(lvio_coder_class_open(&cls, "UTF-8", nullptr, 1), LVIO_E_SEEK_ERROR);
  ASSERT_EQ(lvio_coder_class_open(&cls, "latin1", nullptr, 1), 0);
  lvio_coder_class_unref(cls);
}

TEST_F(CoderRegistry, CanonicalNamesAndSameness) {
  char* canonical;
  ASSERT_EQ(lvio_charset_canonical_name("Latin-1", &canonical), 0);
  EXPECT_STREQ(canonical, "iso88591");
  lvio_free(canonical);
  EXPECT_EQ(lvio_charset_canonical_name("koi8-r", &canonical), LVIO_E_CHARSET_NOT_FOUND);
  EXPECT_EQ(lvio_charset_same("l1", "ISO_8859-1:1987"), 1);
  EXPECT_EQ(lvio_charset_same("utf16", "UTF-16LE"), 0);
  EXPECT_EQ(lvio_charset_same("koi8-r", "koi8-r"), 0);
  lvio_coder_class* cls;
  ASSERT_EQ(lvio_coder_class_find("utf8", &cls), 0);
  EXPECT_STREQ(cls->name, "UTF-8");
  EXPECT_EQ(lvio_coder_class_find("UTF-8", &cls), LVIO_E_CHARSET_NOT_FOUND);
}

// A coder class of the test's own, registered beside the built-in ones.
lvio_coder_class custom_class(const char* name, const char* const* aliases) {
  lvio_coder_class* utf8;
  (void)lvio_coder_class_find("utf8", &utf8);
  lvio_coder_class c = *utf8;
  c.name = name;
  c.aliases = aliases;
  c.reference_count = 1;
  return c;
}

TEST_F(CoderRegistry, RegisterAndUnregister) {
  static const char* const aliases[] = {"my-alias", "mine", nullptr};
  lvio_coder_class mine = custom_class("My-Coder", aliases);
  ASSERT_EQ(lvio_coder_class_register(nullptr, &mine, 0), 0);
  EXPECT_EQ(mine.reference_count, 2u);
  EXPECT_EQ(lvio_coder_class_register(nullptr, &mine, 0), LVIO_E_FOUND);
  EXPECT_EQ(mine.reference_count, 2u);
  EXPECT_EQ(lvio_charset_same("MINE", "my coder"), 1);

  // An alias that another class holds, or one that normalises to nothing.
  static const char* const taken[] = {"latin1", nullptr};
  lvio_coder_class other = custom_class("Other", taken);
  EXPECT_EQ(lvio_coder_class_register(nullptr, &other, 0), LVIO_E_FOUND);
  static const char* const empty[] = {"--", nullptr};
  other.aliases = empty;
  EXPECT_EQ(lvio_coder_class_register(nullptr, &other, 0), LVIO_E_PARAMETER_ERROR);
  EXPECT_EQ(other.reference_count, 1u);
  lvio_coder_class* cls;
  EXPECT_EQ(lvio_coder_class_open(&cls, "other", nullptr, 0), LVIO_E_CHARSET_NOT_FOUND);

  // Only the class registered under the name unregisters it.
  EXPECT_EQ(lvio_coder_class_register("My-Coder", &other, 1), LVIO_E_NOT_FOUND);
  ASSERT_EQ(lvio_coder_class_register("my coder", &mine, 1), 0);
  EXPECT_EQ(mine.reference_count, 1u);
  EXPECT_EQ(lvio_coder_class_open(&cls, "mine", nullptr, 0), LVIO_E_CHARSET_NOT_FOUND);
  EXPECT_EQ(lvio_coder_class_register(nullptr, &mine, 1), 0);  // absent: nothing to do
}

TEST(CoderModule, StopEmptiesTheRegistry) {
  ASSERT_EQ(lvio_coder_module(0), 0);
  lvio_coder_class* cls;
  ASSERT_EQ(lvio_coder_class_open(&cls, "UTF-8", nullptr, 0), 0);
  EXPECT_EQ(lvio_coder_module(1), 0);
  EXPECT_EQ(cls->reference_count, 1u);  // ours
  lvio_coder_class_unref(cls);
  EXPECT_EQ(lvio_coder_class_open(&cls, "UTF-8", nullptr, 0), LVIO_E_CHARSET_NOT_FOUND);
  // A second start registers everything again.
  ASSERT_EQ(lvio_coder_module(0), 0);
  ASSERT_EQ(lvio_coder_class_open(&cls, "utf8", nullptr, 0), 0);
  lvio_coder_class_unref(cls);
  EXPECT_EQ(lvio_coder_module(1), 0);
}

struct instance_case {
  const char* coder;
  uint32_t create;
  lvio_code rc;
  uint32_t flags;
};

TEST_F(CoderRegistry, CreateFlags) {
  const instance_case cases[] = {
      {"latin1", 2, 0, 4 | 8 | 64},
      {"latin1", 0, 0, 1 | 32},
      {"latin1", 2 | 1, 0, 4 | 8 | 64 | 128},
      {"latin1", 2 | 1 | 4, LVIO_E_NOT_SUPPORTED, 0},
      {"latin1", 2 | 4, 0, 4 | 8 | 64 | 256},
      {"latin1", 8, 0, 1 | 32 | 512},
      {"latin1", 2 | 16, 0, 4 | 8 | 64},  // 8-bit coders have no mark
      {"UTF-8", 2 | 1, LVIO_E_NOT_IMPLEMENTED, 0},
      {"UTF-8", 2 | 16, 0, 4 | 8 | 64 | 2048},
      {"UTF-8", 16, 0, 1 | 32 | 4096},
      {"UTF-8", 16 | 32, 0, 1 | 32},
      {"UTF-16LE", 16 | 32, 0, 1 | 32 | 4096},
      {"UTF-32BE", 2 | 8, 0, 4 | 8 | 64 | 512},
  };
  for (const auto& c : cases) {
    lvio_coder_class* cls;
    ASSERT_EQ(lvio_coder_class_open(&cls, c.coder, nullptr, 0), 0);
    lvio_t_coder* coder = nullptr;
    lvio_code rc = lvio_coder_create(cls, &coder, nullptr, c.create);
    EXPECT_EQ(rc, c.rc) << c.coder << " " << c.create;
    if (rc == 0) {
      EXPECT_EQ(coder->flags, c.flags) << c.coder << " " << c.create;
      EXPECT_EQ(coder->state, cls->flags != 0 ? LVIO_CODER_STATE_NONE : LVIO_CODER_STATE_START);
      EXPECT_EQ(cls->reference_count, 3u);
      lvio_coder_release(coder);
    }
    EXPECT_EQ(cls->reference_count, 2u);
    lvio_coder_class_unref(cls);
  }
}

TEST_F(CoderRegistry, PositionOperations) {
  struct {
    const char* coder;
    uint32_t create;
    int64_t length;
    lvio_code input_length;
    int64_t bytes;
    lvio_code reposition;
  } cases[] = {
      {"latin1", 2, 8, 0, 2, 0},
      {"latin1", 0, -12, 0, -3, 0},
      {"latin1", 2, 6, LVIO_E_GRANULARITY_ERROR, 0, LVIO_E_GRANULARITY_ERROR},
      {"latin1", 2 | 4, 8, LVIO_E_NOT_SUPPORTED, 0, LVIO_E_NOT_SUPPORTED},
      {"UTF-8", 2, -8, LVIO_E_NOT_SUPPORTED, 0, LVIO_E_NOT_SUPPORTED},
      {"UTF-16LE", 2, -8, LVIO_E_NOT_SUPPORTED, 0, 0},
      {"UTF-16LE", 2, 8, LVIO_E_NOT_SUPPORTED, 0, LVIO_E_PARAMETER_ERROR},
      {"UTF-32BE", 2, -6, LVIO_E_NOT_SUPPORTED, 0, LVIO_E_GRANULARITY_ERROR},
      {"UTF-32BE", 0, -8, LVIO_E_NOT_SUPPORTED, 0, LVIO_E_NOT_SUPPORTED},
  };
  for (const auto& c : cases) {
    lvio_t_coder* coder = make_coder(c.coder, c.create);
    ASSERT_NE(coder, nullptr);
    int64_t bytes = 0;
    EXPECT_EQ(lvio_coder_input_length(coder, c.length, &bytes), c.input_length) << c.coder << " " << c.length;
    EXPECT_EQ(bytes, c.bytes);
    coder->state = 'x';
    EXPECT_EQ(lvio_coder_reposition(coder, c.length, 0), c.reposition) << c.coder << " " << c.length;
    if (c.reposition == 0) {
      EXPECT_EQ(coder->state, LVIO_CODER_STATE_NONE);
    }
    EXPECT_EQ(lvio_coder_after_step(coder, 0), 0);
    EXPECT_EQ(lvio_coder_spare(coder, 0), 0);
    lvio_coder_release(coder);
  }
}

}  // namespace
