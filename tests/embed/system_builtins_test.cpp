// The system built-ins: MD5 against RFC 1321's suite, the dump format of the
// built-in table, and the table's order and search.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <tuple>

#include "embed/md5.h"
#include "embed/system_builtins.h"

namespace {

std::string hex_digest(const std::string& text, size_t chunk) {
  lv_md5 m;
  lv_md5_init(&m);
  for (size_t i = 0; i < text.size(); i += chunk)
    lv_md5_add(&m, reinterpret_cast<const uint8_t*>(text.data()) + i, std::min(chunk, text.size() - i));
  uint8_t d[16];
  lv_md5_finish(&m, d);
  std::string out;
  char b[3];
  for (uint8_t x : d) {
    std::snprintf(b, sizeof b, "%02x", x);
    out += b;
  }
  return out;
}

TEST(Md5, RfcSuiteWholeAndInPieces) {
  struct {
    const char* text;
    const char* digest;
  } cases[] = {
      {"", "d41d8cd98f00b204e9800998ecf8427e"},
      {"a", "0cc175b9c0f1b6a831c399e269772661"},
      {"abc", "900150983cd24fb0d6963f7d28e17f72"},
      {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
      {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "d174ab98d277d9f5a5611c2c9f419d9f"},
      {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
       "57edf4a22be3c955ac49da2e2107b67a"},
  };
  for (auto& c : cases) {
    std::string text = c.text;
    for (size_t chunk : {size_t{1}, size_t{7}, size_t{64}, size_t{1000}})
      EXPECT_EQ(hex_digest(text, chunk == 1000 ? text.size() + 1 : chunk), c.digest) << c.text << " by " << chunk;
  }
}

int none(lv_worker*) { return 1; }

TEST(BuiltinDump, FormatOfEachRecordAndTheLastSeparator) {
  const lv_builtin records[] = {
      {"$a", none, "prolog_a", lv_builtin_flags(0)},
      {"b", none, "prolog_b", lv_builtin_flags(2, LV_BUILTIN_ALIGNMENTS) | (7u << 20)},
      {"hidden", none, "prolog_hidden", lv_builtin_flags(1) | (2u << 8)},
      {"c", none, nullptr, lv_builtin_flags(1, LV_BUILTIN_STRUCTS) | (8u << 20)},
  };
  FILE* f = std::tmpfile();
  ASSERT_NE(f, nullptr);
  lv_dump_builtin_records(f, records, 4);
  std::rewind(f);
  std::string got;
  char buf[256];
  while (std::fgets(buf, sizeof buf, f) != nullptr) got += buf;
  std::fclose(f);
  EXPECT_EQ(got,
            "%% C prolog_a prolog:('$a')/0,\n"
            "%% DET PRED_DET_UNKNOWN prolog:('$a')/0,\n"
            "% prolog:('$a')/0,\n"
            "prolog:'$a'\n"
            "%% C prolog_b alignments:('b')/2,\n"
            "%% DET PRED_DET_ANY alignments:('b')/2,\n"
            "% alignments:('b')/2,\n"
            "alignments:'b'(_,_)\n"
            "%% DET PRED_DET_THROW structs:('c')/1\n"
            "% structs:('c')/1\n"
            "structs:'c'(_)\n");
}

}  // namespace

// The built-ins that need the runtime's table, in a started and booted
// runtime.
#include "embed/builtin_registry.h"
#include "embed/startup_support.h"
#include "store/code_block.h"

namespace {

using namespace startup_test;

class SystemBuiltins : public ::testing::Test {
 protected:
  void SetUp() override {
    REQUIRE_BOOT_FILE();
    ASSERT_TRUE(start_and_boot());
  }
  void TearDown() override { LV_deinitialize(); }
};

TEST_F(SystemBuiltins, TheTableIsSortedWithOneRecordPerPredicate) {
  size_t count;
  const lv_builtin* table = lv_builtin_registry(&count);
  ASSERT_GT(count, 100u);
  auto key = [](const lv_builtin& r) {
    return std::make_tuple(std::string(r.name), r.flags & 0xff, std::string(lv_builtin_module_name(r.flags)));
  };
  for (size_t i = 1; i < count; i++) EXPECT_LT(key(table[i - 1]), key(table[i])) << table[i].name;

  // A batch naming predicates the table holds replaces their records.
  const lv_builtin again[] = {table[0], table[count - 1]};
  ASSERT_TRUE(lv_builtin_registry_merge({again, 2}));
  size_t after;
  lv_builtin_registry(&after);
  EXPECT_EQ(after, count);
}

TEST_F(SystemBuiltins, SearchAndEntriesOfTheTable) {
  struct {
    const char* name;
    int64_t arity;
    const char* module;
    const char* found_module;  // null: not found
  } cases[] = {
      {"$statistics", 2, "prolog", "prolog"},
      {"endianness", 1, "alignments", "alignments"},
      {"calloc", 3, "structs", "structs"},
      {"$fd_labeling", 7, "domsolve", "domsolve"},
      {"$statistics", 3, "prolog", nullptr},
      {"endianness", 1, "prolog", nullptr},
      {"foo", 256, "prolog", nullptr},
  };
  for (auto& c : cases) {
    lv_term_ref index = var_ref();
    int r = query("prolog", "$pred_table_search", {atom_ref(c.name), int_ref(c.arity), atom_ref(c.module), index});
    ASSERT_EQ(r, c.found_module != nullptr ? 1 : 0) << c.name << "/" << c.arity;
    if (r != 1) continue;
    lv_term_ref name = var_ref(), arity = var_ref(), module = var_ref(), det = var_ref();
    ASSERT_EQ(query("prolog", "$pred_table_entry", {index, name, arity, module, det}), 1);
    EXPECT_EQ(term_text(name), c.name);
    EXPECT_EQ(term_text(arity), std::to_string(c.arity));
    EXPECT_EQ(term_text(module), c.found_module);
    EXPECT_EQ(term_text(det), "PRED_DET_UNKNOWN");
  }
  size_t count;
  lv_builtin_registry(&count);
  lv_term_ref v = var_ref();
  EXPECT_EQ(query("prolog", "$pred_table_entry", {int_ref(static_cast<int64_t>(count)), v, v, v, v}), 0);
}

TEST_F(SystemBuiltins, ForeignTypesAndMemory) {
  struct {
    const char* type;
    const char* size;  // null: fails
  } cases[] = {{"atom", "8"},         {"unsigned_64", "8"}, {"float_32", "4"},      {"integer_16", "2"},
               {"unsigned_8", "1"},   {"opaque", "opaque"}, {"char", nullptr},      {"integer_128", nullptr}};
  for (auto& c : cases) {
    lv_term_ref size = var_ref(), align = var_ref();
    int r = query("alignments", "primitive_type_size", {atom_ref(c.type), size, align});
    ASSERT_EQ(r, c.size != nullptr ? 1 : 0) << c.type;
    if (r == 1) {
      EXPECT_EQ(term_text(size), c.size);
      EXPECT_EQ(term_text(align), c.size);
    }
  }
  lv_term_ref p = var_ref();
  ASSERT_EQ(query("structs", "calloc", {int_ref(3), int_ref(16), p}), 1);
  int64_t address = 0;
  ASSERT_EQ(LV_get_integer(p, &address), 1);
  const char* bytes = reinterpret_cast<const char*>(address);
  for (int i = 0; i < 48; i++) EXPECT_EQ(bytes[i], 0);
  EXPECT_EQ(query("structs", "free", {p}), 1);
  lv_term_ref e = var_ref();
  ASSERT_EQ(query("alignments", "endianness", {e}), 1);
  EXPECT_EQ(term_text(e), "little_endian");
}

TEST_F(SystemBuiltins, CallbackRunsAGoalAsANestedQuery) {
  struct {
    const char* goal;
    int expected;
  } cases[] = {{"true", 1}, {"fail", 0}, {"no_such_predicate_here", -1}};
  for (auto& c : cases) {
    EXPECT_EQ(query("prolog", "$callback", {atom_ref(c.goal), int_ref(4)}), c.expected) << c.goal;
  }
  lv_term_ref ball = LV_new_term_ref();
  ASSERT_EQ(LV_exception_term(ball), 1);
  EXPECT_NE(term_text(ball).find("existence_error"), std::string::npos);
  lv_term_ref v = var_ref();
  EXPECT_EQ(query("prolog", "$pc_info", {int_ref(8), v, v, v, v, v, v, v}), 0);  // no code there
}

TEST_F(SystemBuiltins, PcHiddenCallReadsTheMarkOfTheBlockHoldingTheAddress) {
  lv_code_block* block = lv_code_block_new(8);
  lv_code_block_register(block);
  auto at = [](const void* p) { return int_ref(static_cast<int64_t>(reinterpret_cast<uintptr_t>(p))); };
  const uint32_t* code = lv_code_block_code(block);
  EXPECT_EQ(query("prolog", "$pc_hidden_call", {at(code + 3)}), 0);  // not marked
  block->marks |= LV_BLOCK_HIDDEN_CALL;
  EXPECT_EQ(query("prolog", "$pc_hidden_call", {at(code + 3)}), 1);
  EXPECT_EQ(query("prolog", "$pc_hidden_call", {at(block)}), 1);  // the header is the block's too
  EXPECT_EQ(query("prolog", "$pc_hidden_call", {at(code + 8)}), 0);  // past the block's end
  EXPECT_EQ(query("prolog", "$pc_hidden_call", {int_ref(8)}), 0);    // no code there
  EXPECT_EQ(query("prolog", "$pc_hidden_call", {atom_ref("a")}), 0);
  lv_code_block_unregister(block);
  lv_code_block_free(block);
}

TEST(SystemBuiltinsDeath, AWrongSavedStateVersionIsFatal) {
  REQUIRE_BOOT_FILE();
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEATH(
      {
        if (!start_and_boot()) std::abort();
        (void)query("prolog", "$version", {int_ref(7)});
        std::exit(0);
      },
      "Wrong version number in saved state.  Found 7, expected 1040900.");
}

}  // namespace
