// The Prolog flags (their defaults, accepted values and failures), the
// read-only system values and the window title.
#include "core/flag_builtins.h"

#include <gtest/gtest.h>

#include "core/box_builtins.h"
#include "core/version_text.h"
#include "support/builtin_fixture.h"
#include "text/char_class.h"

namespace {

class FlagTest : public BuiltinTest {
 protected:
  void SetUp() override {
    BuiltinTest::SetUp();
    lv_set_system_type(atom("unknown"));
    lv_flags_init();
  }

  // The value of a flag, read through its built-in.
  std::string value(lv_builtin_function f) {
    lv_term old = terms::var(w);
    if (!run(f, {old, old})) return "fails";
    return text(old);
  }
  // Sets New; "fails" or the value afterwards.
  std::string set(lv_builtin_function f, const char* fresh) {
    if (!run(f, {terms::var(w), read(fresh)})) return "fails (" + value(f) + ")";
    return value(f);
  }
};

struct FlagRow {
  const char* name;
  lv_builtin_function f;
  const char* initial;
  std::vector<const char*> accepted;
  std::vector<const char*> refused;
};

TEST_F(FlagTest, DefaultsAndAcceptedValues) {
  const FlagRow rows[] = {
      {"char_conversion", prolog_char_conversion, "on", {"off", "on"}, {"yes"}},
      {"double_quotes", prolog_double_quotes, "codes", {"atom", "chars", "codes"}, {"string"}},
      {"unknown", prolog_unknown, "error", {"fail", "warning", "error"}, {"trace", "off"}},
      {"source_info", prolog_source_info, "off", {"on", "off"}, {"emacs"}},
      {"syntax", prolog_syntax, "error", {"fail", "dec10", "quiet", "error"}, {"warning"}},
      {"compiling", prolog_compiling, "compactcode", {"debugcode", "compactcode"}, {"profiledcode"}},
      {"quoted_charset", prolog_quoted_charset_flag, "prolog", {"portable", "prolog"}, {"iso"}},
      {"ferror", prolog_ferror_flag, "on", {"off", "on"}, {"error"}},
      {"single_var", prolog_single_var_flag, "on", {"off", "on"}, {"warning"}},
      {"multiple", prolog_multiple_flag, "on", {"off", "proceed", "reject", "suppress", "on"}, {"fail"}},
      {"discontiguous", prolog_discontiguous_flag, "on", {"off", "on"}, {"[]"}},
      {"informational", prolog_informational_flag, "on", {"off", "on"}, {"1"}},
      {"generate_names_legacy", prolog_generate_names_legacy_flag, "off", {"on", "off"}, {"f(on)"}},
  };
  for (const FlagRow& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(value(row.f), row.initial);
    for (const char* v : row.accepted) EXPECT_EQ(set(row.f, v), v);
    for (const char* v : row.refused) EXPECT_EQ(set(row.f, v), std::string("fails (") + row.initial + ")");
    // An unbound New fails; an Old that does not match fails and leaves the
    // value alone.
    EXPECT_FALSE(run(row.f, {terms::var(w), terms::var(w)}));
    EXPECT_FALSE(run(row.f, {read("nomatch"), read(row.accepted[0])}));
    EXPECT_EQ(value(row.f), row.initial);
  }
}

TEST_F(FlagTest, DevelopmentValuesNeedTheDevelopmentSystem) {
  EXPECT_EQ(set(prolog_unknown, "trace"), "fails (error)");
  EXPECT_EQ(set(prolog_source_info, "emacs"), "fails (off)");
  lv_set_system_type(atom("development"));
  EXPECT_EQ(set(prolog_unknown, "trace"), "trace");
  EXPECT_EQ(set(prolog_source_info, "emacs"), "emacs");
  EXPECT_EQ(value(prolog_system_type_flag), "development");
}

TEST_F(FlagTest, TheRuntimeSystemStartsWithoutStyleChecks) {
  lv_set_system_type(atom("runtime"));
  lv_flags_init();
  for (lv_builtin_function f : {prolog_single_var_flag, prolog_multiple_flag, prolog_discontiguous_flag,
                                prolog_informational_flag})
    EXPECT_EQ(value(f), "off");
  lv_set_system_type(atom("development"));
  lv_flags_init();
  EXPECT_EQ(value(prolog_single_var_flag), "on");
}

TEST_F(FlagTest, PromptTakesAnyAtom) {
  EXPECT_EQ(value(prolog_prompt), "|: ");
  EXPECT_EQ(set(prolog_prompt, "'> '"), "> ");
  EXPECT_EQ(set(prolog_prompt, "3"), "fails (> )");
}

// The flags are set up again for each atom table made: the prompt held
// from an earlier table is dropped, not released into the new one.
TEST_F(FlagTest, ANewAtomTableStartsTheFlagsAfresh) {
  for (int i = 0; i < 3000; i++) atom(("filler " + std::to_string(i)).c_str());
  EXPECT_EQ(set(prolog_prompt, "'a prompt of its own'"), "a prompt of its own");
  lv_atoms_startup();
  lv_flags_init();
  EXPECT_EQ(value(prolog_prompt), "|: ");
}

TEST_F(FlagTest, LegacyCharClassificationIsTheLetterSwitch) {
  lv_set_unicode_letter_switch(0);
  EXPECT_EQ(value(prolog_legacy_char_classification_flag), "off");
  EXPECT_EQ(set(prolog_legacy_char_classification_flag, "on"), "on");
  EXPECT_EQ(lv_get_unicode_letter_switch(), 1);
  EXPECT_EQ(set(prolog_legacy_char_classification_flag, "maybe"), "fails (on)");
  EXPECT_EQ(set(prolog_legacy_char_classification_flag, "off"), "off");
  EXPECT_EQ(lv_get_unicode_letter_switch(), 0);
}

TEST_F(FlagTest, VersionAndHostData) {
  EXPECT_EQ(value(prolog_system_type_flag), "unknown");
  lv_term banner = terms::var(w);
  ASSERT_TRUE(run(prolog_version_flag, {banner}));
  EXPECT_EQ(text(banner), LV_VERSION_BANNER);
  EXPECT_TRUE(run(prolog_version_data, {"4", "9", "0", "0"}));
  EXPECT_FALSE(run(prolog_version_data, {"4", "8", "_", "_"}));
  for (const char* kind : {"1", "2"}) {
    ASSERT_TRUE(run(prolog_os_data, {kind, "F", "P", "E"})) << kind;
    EXPECT_EQ(text("F"), "unix");
    EXPECT_EQ(text("P"), "linux");
    EXPECT_EQ(text("E"), "[]");
  }
  EXPECT_FALSE(run(prolog_os_data, {"3", "_", "_", "_"}));
  EXPECT_FALSE(run(prolog_os_data, {"_", "_", "_", "_"}));
  ASSERT_TRUE(run(prolog_tagged_integer_range, {"Min", "Max"}));
  EXPECT_EQ(text("Min"), "-1152921504606846976");
  EXPECT_EQ(text("Max"), "1152921504606846975");
  EXPECT_TRUE(run(prolog_print_compare_atom_name_statistics, std::initializer_list<lv_term>{}));
}

TEST_F(FlagTest, WindowTitleReadsAndSetsTheTitleText) {
  lv_term old = terms::var(w);
  ASSERT_TRUE(run(prolog_window_title, {old, old}));
  EXPECT_EQ(text(old), LV_VERSION_BANNER);
  ASSERT_TRUE(run(prolog_window_title, {terms::var(w), read("'my title'")}));
  EXPECT_STREQ(lv_version_text(), "my title");
  EXPECT_FALSE(run(prolog_window_title, {read("other"), read("x")}));
  EXPECT_FALSE(run(prolog_window_title, {terms::var(w), read("3")}));
  EXPECT_STREQ(lv_version_text(), "my title");

  // An installed hook answers and takes the new text.
  static std::string hooked = "from hook";
  lv_set_title_hook([](void*) { return hooked.c_str(); }, [](void*, const char* t) { hooked = t; }, nullptr);
  ASSERT_TRUE(run(prolog_window_title, {read("'from hook'"), read("again")}));
  EXPECT_EQ(hooked, "again");
  lv_set_title_hook(nullptr, nullptr, nullptr);
  EXPECT_STREQ(lv_version_text(), "my title");
}

TEST_F(FlagTest, LargeDataReadsTheWordsOfABox) {
  struct Row {
    const char* index;
    const char* box;
    const char* value;  // null: fails
  } rows[] = {
      {"1", "1152921504606846976", "1152921504606846976"},
      {"0", "1152921504606846976", "-25"},  // the header word
      {"2", "1152921504606846976", nullptr},
      {"1", "-1152921504606846977", "-1152921504606846977"},
      {"1", "-2.0", "-4611686018427387904"},
      {"1", "0.0", "0"},
      {"-1", "1152921504606846976", nullptr},
      {"1", "7", nullptr},
      {"1", "f(a)", nullptr},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.index) + " " + row.box);
    lv_term v = terms::var(w);
    ASSERT_EQ(run(prolog_large_data, {read(row.index), read(row.box), v}), row.value != nullptr);
    if (row.value != nullptr) {
      EXPECT_EQ(text(v), row.value);
    }
  }
}

}  // namespace
