// The layer's hash table and typed cells.
#include "lvio/hash.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "failing_allocator.h"
#include "lvio/allocator.h"
#include "lvio/options.h"

namespace {

const lvio_value none = {};

lvio_value pointer_value(void* p) {
  lvio_value v;
  v.kind = LVIO_VALUE_POINTER;
  v.pointer = p;
  return v;
}

lvio_value u32_value(uint32_t kind, uint32_t bits) {
  lvio_value v;
  v.kind = kind;
  v.word = 0;
  v.u32 = bits;
  return v;
}

lvio_value string_value(const char* s) {
  lvio_value v;
  v.kind = LVIO_VALUE_STRING | LVIO_VALUE_BORROWED;
  v.string = s;
  return v;
}

uint64_t entries_in_buckets(const lvio_hash* t) {
  uint64_t n = 0;
  for (uint64_t i = 0; i < t->bucket_count; i++)
    for (const lvio_hash_entry* e = t->buckets[i]; e != nullptr; e = e->next) n++;
  return n;
}

class Hash : public testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(lvio_hash_create(&table_), 0); }
  void TearDown() override { lvio_hash_destroy(table_); }
  lvio_hash* table_ = nullptr;
};

TEST_F(Hash, ThirteenBucketsHoldEveryEntry) {
  std::vector<std::string> names;
  for (int i = 0; i < 200; i++) names.push_back("name" + std::to_string(i));
  int n = 0;
  for (const auto& name : names) ASSERT_EQ(lvio_hash_put_named(table_, name.c_str(), &none), 0) << n++;
  EXPECT_EQ(table_->bucket_count, 13u);
  EXPECT_EQ(lvio_hash_count(table_), 200u);
  EXPECT_EQ(entries_in_buckets(table_), 200u);
  for (const auto& name : names) EXPECT_EQ(lvio_hash_get_named(table_, name.c_str(), nullptr), 0) << name;
  EXPECT_EQ(lvio_hash_get_named(table_, "name200", nullptr), LVIO_E_NOT_FOUND);
}

TEST_F(Hash, ExistingKeyKeepsTheFirstDatum) {
  int first, second;
  lvio_value a = pointer_value(&first), b = pointer_value(&second);
  ASSERT_EQ(lvio_hash_put_named(table_, "key", &a), 0);
  EXPECT_EQ(lvio_hash_put_named(table_, "key", &b), LVIO_E_FOUND);
  lvio_value* data;
  ASSERT_EQ(lvio_hash_get_named(table_, "key", &data), 0);
  EXPECT_EQ(data->pointer, &first);
  EXPECT_EQ(lvio_hash_count(table_), 1u);
}

TEST_F(Hash, StringsAreCopiedOnInsertion) {
  char key[] = "mutable";
  char datum[] = "datum";
  lvio_value d = string_value(datum);
  ASSERT_EQ(lvio_hash_put_named(table_, key, &d), 0);
  key[0] = 'M';
  datum[0] = 'D';
  lvio_value* data;
  ASSERT_EQ(lvio_hash_get_named(table_, "mutable", &data), 0);
  EXPECT_STREQ(data->string, "datum");
  EXPECT_EQ(data->kind, LVIO_VALUE_STRING);
  EXPECT_EQ(lvio_hash_get_named(table_, "Mutable", nullptr), LVIO_E_NOT_FOUND);
}

TEST_F(Hash, SignedAndUnsignedKeysHashAndMatchByKind) {
  lvio_value u = u32_value(LVIO_VALUE_U32, 0x80000001u);
  lvio_value s = u32_value(LVIO_VALUE_I32, 0x80000001u);
  EXPECT_EQ(lvio_value_hash(&u), 0x80000001u);
  EXPECT_EQ(lvio_value_hash(&s), 0xFFFFFFFF80000001u);
  EXPECT_NE(lvio_value_hash(&u) % 13, lvio_value_hash(&s) % 13);
  EXPECT_FALSE(lvio_value_equal(&u, &s));
  int x;
  ASSERT_EQ(lvio_hash_put(table_, &u, &none), 0);
  ASSERT_EQ(lvio_hash_put(table_, &s, &none), 0);
  // Kinds 3 and 6 hash alike but are different keys.
  lvio_value p3 = pointer_value(&x), p6 = pointer_value(&x);
  p6.kind = LVIO_VALUE_POINTER2;
  EXPECT_EQ(lvio_value_hash(&p3), lvio_value_hash(&p6));
  ASSERT_EQ(lvio_hash_put(table_, &p3, &none), 0);
  ASSERT_EQ(lvio_hash_put(table_, &p6, &none), 0);
  EXPECT_EQ(lvio_hash_count(table_), 4u);
  // The string hash is h = h * 31 + byte.
  lvio_value ab = string_value("ab");
  EXPECT_EQ(lvio_value_hash(&ab), uint64_t{'a'} * 31 + 'b');
}

TEST_F(Hash, RemoveAndForeach) {
  EXPECT_EQ(lvio_hash_foreach(
                table_, [](lvio_value*, lvio_value*, void*) -> lvio_code { return 0; }, nullptr),
            LVIO_E_ERROR);
  for (const char* name : {"a", "b", "c", "d"}) ASSERT_EQ(lvio_hash_put_named(table_, name, &none), 0);
  EXPECT_EQ(lvio_hash_remove_named(table_, "b"), 0);
  EXPECT_EQ(lvio_hash_remove_named(table_, "b"), LVIO_E_NOT_FOUND);
  std::string seen;
  auto collect = [](lvio_value* key, lvio_value*, void* user) -> lvio_code {
    *static_cast<std::string*>(user) += key->string;
    return 5;
  };
  EXPECT_EQ(lvio_hash_foreach(table_, collect, &seen), 5);
  EXPECT_EQ(seen, "acd");  // one letter per bucket, in bucket order
  // The first negative result stops the walk.
  int visits = 0;
  auto stop = [](lvio_value*, lvio_value*, void* user) -> lvio_code {
    ++*static_cast<int*>(user);
    return LVIO_E_NOT_FOUND;
  };
  EXPECT_EQ(lvio_hash_foreach(table_, stop, &visits), LVIO_E_NOT_FOUND);
  EXPECT_EQ(visits, 1);
  // A visit may remove its own entry.
  auto remove = [](lvio_value* key, lvio_value*, void* user) -> lvio_code {
    return lvio_hash_remove(static_cast<lvio_hash*>(user), key);
  };
  EXPECT_EQ(lvio_hash_foreach(table_, remove, table_), 0);
  EXPECT_EQ(lvio_hash_count(table_), 0u);
}

TEST_F(Hash, FailedInsertionChangesNothing) {
  lvio_value d = string_value("datum");
  for (int allowed = 0; allowed < 3; allowed++) {
    FailingAllocator refuse(allowed);
    EXPECT_EQ(lvio_hash_put_named(table_, "key", &d), LVIO_E_OUT_OF_MEMORY) << allowed;
  }
  EXPECT_EQ(lvio_hash_count(table_), 0u);
  EXPECT_EQ(lvio_hash_get_named(table_, "key", nullptr), LVIO_E_NOT_FOUND);
}

TEST(Value, CopyAndRelease) {
  lvio_value source = string_value("text");
  auto* copy = static_cast<lvio_value*>(lvio_alloc(sizeof(lvio_value)));
  ASSERT_EQ(lvio_value_copy(copy, &source), 0);
  EXPECT_NE(copy->string, source.string);
  EXPECT_EQ(copy->kind, LVIO_VALUE_STRING);
  EXPECT_TRUE(lvio_value_equal(copy, &source));
  copy->kind |= LVIO_VALUE_ALLOCATED;
  lvio_value_release(copy);  // frees the string and the cell
  lvio_value_release(nullptr);

  lvio_value end = {LVIO_VALUE_END, {}};
  lvio_value other_end = {LVIO_VALUE_END, {}};
  EXPECT_FALSE(lvio_value_equal(&end, &other_end));
  EXPECT_TRUE(lvio_value_equal(&end, &end));
}

TEST(Options, LookupsByNameAndKind) {
  int coder;
  const lvio_option options[] = {
      {"pathname", string_value("/tmp/x")},
      {"read-char-coder lvio_t_coder", pointer_value(&coder)},
      {"pathname", string_value("/tmp/second")},
      {nullptr, {LVIO_VALUE_END, {}}},
  };
  const char* path;
  ASSERT_EQ(lvio_option_lookup(options, "pathname", &path), 0);
  EXPECT_STREQ(path, "/tmp/x");
  EXPECT_EQ(lvio_option_lookup(options, "read-char-coder lvio_t_coder", &path), LVIO_E_NOT_FOUND);
  EXPECT_EQ(lvio_option_lookup(options, "write-char-coder lvio_t_coder", &path), LVIO_E_NOT_FOUND);
  EXPECT_EQ(lvio_option_lookup(nullptr, "pathname", &path), LVIO_E_NOT_FOUND);
  lvio_value v;
  ASSERT_EQ(lvio_option_lookup_kind(options, "read-char-coder lvio_t_coder", LVIO_VALUE_POINTER, &v), 0);
  EXPECT_EQ(v.pointer, &coder);
  EXPECT_EQ(lvio_option_lookup_kind(options, "pathname", LVIO_VALUE_POINTER, &v), LVIO_E_NOT_FOUND);
  EXPECT_EQ(lvio_option_lookup_kind(options, "pathname", LVIO_VALUE_U32, &v), LVIO_E_NOT_SUPPORTED);
  const lvio_option* item;
  ASSERT_EQ(lvio_option_find(options, "pathname", &item), 0);
  EXPECT_EQ(item, &options[0]);
}

}  // namespace
