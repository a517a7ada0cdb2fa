// Word tables, keyed switch tables and generic tables.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <random>
#include <set>
#include <unordered_map>

#include "core/hashtab.h"
#include "core/memory.h"
#include "support/memory_fixture.h"

namespace {

using HashTest = MemoryTest;

// Keys shaped like tagged atom words: all share their lowest bit.
uint64_t atom_key(uint64_t i) { return i * 8 + 7; }

TEST_F(HashTest, CapacityRule) {
  struct {
    uint64_t wanted, capacity;
  } cases[] = {{0, 4}, {3, 4}, {4, 8}, {6, 8}, {7, 16}, {12, 16}, {13, 32}, {1000, 2048}};
  for (const auto& c : cases) EXPECT_EQ(lv_hash_capacity(c.wanted), c.capacity) << c.wanted;
}

TEST_F(HashTest, WordHashIsWangsShiftMultiplyHash) {
  EXPECT_EQ(lv_hash_word(0), 0x77cfa1eef01bca90u);
  EXPECT_EQ(lv_hash_word(1), 0x5bca7c69b794f8ceu);
}

TEST_F(HashTest, SmallTablesHaveTwoEntriesAndGrowAtTheSecondKey) {
  for (uint64_t capacity : {0, 1}) {
    lv_keytab* t = new_switch_on_key(capacity, 0);
    EXPECT_EQ(lv_keytab_capacity(t), 2u);
    dyn_puthash(&t, atom_key(1))->value = 10;
    EXPECT_EQ(lv_keytab_capacity(t), 2u);
    dyn_puthash(&t, atom_key(2))->value = 20;
    EXPECT_EQ(lv_keytab_capacity(t), 4u);
    EXPECT_EQ(incore_gethash(t, atom_key(1))->value, 10u);
    EXPECT_EQ(incore_gethash(t, atom_key(2))->value, 20u);
    dispose_switch_on_key(t);
  }
  lv_keytab* w = lv_wordtab_new(1);
  EXPECT_EQ(lv_keytab_capacity(w), 2u);
  lv_wordtab_insert(&w, 0x100)->value = 1;
  lv_wordtab_insert(&w, 0x200)->value = 2;
  EXPECT_EQ(lv_keytab_capacity(w), 4u);
  lv_wordtab_free(w);
}

TEST_F(HashTest, WordTableGrowsAtTheFourthKeyOfFour) {
  lv_keytab* w = lv_wordtab_new(4);
  for (uint64_t k = 1; k <= 3; k++) lv_wordtab_insert(&w, k * 16)->value = k;
  EXPECT_EQ(lv_keytab_capacity(w), 4u);
  lv_wordtab_insert(&w, 4 * 16)->value = 4;
  EXPECT_EQ(lv_keytab_capacity(w), 8u);
  EXPECT_EQ(w->count, 4u);
  for (uint64_t k = 1; k <= 4; k++) EXPECT_EQ(lv_wordtab_find(w, k * 16)->value, k);
  lv_wordtab_free(w);
}

TEST_F(HashTest, ClearedEntryEndsProbesUntilTheNextGrowthDropsIt) {
  lv_keytab* w = lv_wordtab_new(8);
  lv_wordtab_insert(&w, 0x10)->value = 1;
  lv_wordtab_insert(&w, 0x20)->value = 2;
  lv_wordtab_find(w, 0x10)->value = 0;  // deleted
  lv_hash_entry* e = lv_wordtab_find(w, 0x10);
  EXPECT_EQ(e->key, 0x10u);
  EXPECT_EQ(w->count, 2u);
  for (uint64_t k = 3; k <= 7; k++) lv_wordtab_insert(&w, k * 16)->value = k;
  EXPECT_EQ(lv_keytab_capacity(w), 8u);  // 6 live keys (count 7 > 6) grow to 8
  EXPECT_EQ(w->count, 6u);
  EXPECT_EQ(lv_wordtab_find(w, 0x10)->key, 0u);
  lv_wordtab_free(w);

  lv_keytab* t = new_switch_on_key(8, 0);
  dyn_puthash(&t, atom_key(1))->value = 5;
  dyn_puthash(&t, atom_key(2))->value = 6;
  incore_gethash(t, atom_key(1))->value = 0;
  EXPECT_EQ(incore_gethash(t, atom_key(1))->key, atom_key(1));
  lv_keyhash_rehash(&t, 0, nullptr);
  EXPECT_EQ(incore_gethash(t, atom_key(1))->key, 0u);
  EXPECT_EQ(incore_gethash(t, atom_key(2))->value, 6u);
  dispose_switch_on_key(t);
}

TEST_F(HashTest, AbsentKeyOfAFreshSwitchTableFindsTheDefault) {
  lv_keytab* t = new_switch_on_key(8, 0xC0DE);
  lv_hash_entry* e = incore_gethash(t, atom_key(42));
  EXPECT_EQ(e->key, 0u);
  EXPECT_EQ(e->value, 0xC0DEu);
  dispose_switch_on_key(t);
}

TEST_F(HashTest, GrowthByPutHashLeavesNullEmpties) {
  lv_keytab* t = new_switch_on_key(4, 0xD);
  for (uint64_t k = 1; k <= 4; k++) dyn_puthash(&t, atom_key(k))->value = 100 + k;
  ASSERT_EQ(lv_keytab_capacity(t), 8u);
  EXPECT_EQ(incore_gethash(t, atom_key(99))->value, 0u);
  for (uint64_t k = 1; k <= 4; k++) EXPECT_EQ(incore_gethash(t, atom_key(k))->value, 100 + k);
  dispose_switch_on_key(t);
}

TEST_F(HashTest, IndexGrowthKeepsItsDefaultInEveryEmptyEntry) {
  // The first-argument index stores the key itself, then asks for growth
  // with the value the entry held while empty.
  constexpr uint64_t DEFAULT_CHAIN = 0xDEF0;
  lv_keytab* t = new_switch_on_key(4, DEFAULT_CHAIN);
  for (uint64_t k = 1; k <= 4; k++) {
    lv_hash_entry* e = incore_gethash(t, atom_key(k));
    ASSERT_EQ(e->key, 0u);
    e->key = atom_key(k);
    t->count++;
    if (lv_keyhash_over_limit(t)) lv_keyhash_rehash(&t, e->value, e);
    incore_gethash(t, atom_key(k))->value = 100 + k;
  }
  ASSERT_EQ(lv_keytab_capacity(t), 8u);
  lv_hash_entry* entries = lv_keytab_entries(t);
  for (uint64_t i = 0; i < 8; i++)
    if (entries[i].key == 0) {
      EXPECT_EQ(entries[i].value, DEFAULT_CHAIN);
    }
  for (uint64_t k = 1; k <= 4; k++) EXPECT_EQ(incore_gethash(t, atom_key(k))->value, 100 + k);
  dispose_switch_on_key(t);
}

TEST_F(HashTest, RehashShrinksToTheLiveEntries) {
  lv_keytab* t = new_switch_on_key(16, 0);
  for (uint64_t k = 1; k <= 3; k++) dyn_puthash(&t, atom_key(k))->value = k;
  lv_keyhash_rehash(&t, 0, nullptr);
  EXPECT_EQ(lv_keytab_capacity(t), 4u);
  EXPECT_EQ(t->count, 3u);
  for (uint64_t k = 1; k <= 3; k++) EXPECT_EQ(incore_gethash(t, atom_key(k))->value, k);
  EXPECT_EQ(lv_mem_category_bytes(LV_CAT_SW_ON_KEY), 4u * 16 + 32);
  dispose_switch_on_key(t);
  EXPECT_EQ(lv_mem_category_bytes(LV_CAT_SW_ON_KEY), 0u);
}

// Inserts, updates, deletions (value 0) and explicit rehashes of a keyed
// switch table and a word table, compared with a reference map.
TEST_F(HashTest, KeyedTablesAgreeWithAReferenceMap) {
  std::mt19937_64 rng(7);
  for (int round = 0; round < 20; round++) {
    lv_keytab* sw = new_switch_on_key(rng() % 5, 0);
    lv_keytab* w = lv_wordtab_new(2);
    std::unordered_map<uint64_t, uint64_t> ref;
    uint64_t key_space = 1 + rng() % 600;
    for (int step = 0; step < 3000; step++) {
      uint64_t k = atom_key(rng() % key_space);
      unsigned op = rng() % 10;
      if (op < 6) {
        uint64_t v = 1 + rng() % 1000;
        dyn_puthash(&sw, k)->value = v;
        lv_wordtab_insert(&w, k)->value = v;
        ref[k] = v;
      } else if (op < 9) {
        lv_hash_entry* e = incore_gethash(sw, k);
        if (e->key == k) e->value = 0;
        e = lv_wordtab_find(w, k);
        if (e->key == k) e->value = 0;
        ref.erase(k);
      } else {
        lv_keyhash_rehash(&sw, 0, nullptr);
        ASSERT_FALSE(lv_keyhash_over_limit(sw));
      }
    }
    for (uint64_t i = 0; i < key_space + 10; i++) {
      uint64_t k = atom_key(i);
      auto it = ref.find(k);
      uint64_t expected = it == ref.end() ? 0 : it->second;
      lv_hash_entry* e = incore_gethash(sw, k);
      ASSERT_NE(e, nullptr);
      EXPECT_EQ(e->value, expected) << k;
      e = lv_wordtab_find(w, k);
      ASSERT_NE(e, nullptr);
      EXPECT_EQ(e->value, expected) << k;
    }
    dispose_switch_on_key(sw);
    lv_wordtab_free(w);
  }
  EXPECT_EQ(lv_mem_category_bytes(LV_CAT_SW_ON_KEY), 0u);
  EXPECT_EQ(lv_mem_info(1), 0);
}

// Keys whose lowest bit is clear (aligned addresses) rehash as well.
TEST_F(HashTest, RehashWithEvenKeys) {
  lv_keytab* t = new_switch_on_key(64, 0);
  for (uint64_t k = 1; k <= 40; k++) dyn_puthash(&t, k * 16)->value = k;
  for (uint64_t k = 1; k <= 40; k += 2) incore_gethash(t, k * 16)->value = 0;
  lv_keyhash_rehash(&t, 0, nullptr);
  EXPECT_EQ(t->count, 20u);
  for (uint64_t k = 1; k <= 40; k++) EXPECT_EQ(incore_gethash(t, k * 16)->value, k % 2 == 0 ? k : 0) << k;
  dispose_switch_on_key(t);
}

// Generic tables keyed by strings compared by content.
int compare_strings(const void* stored, const void* key, void*) {
  return std::strcmp(static_cast<const char*>(stored), static_cast<const char*>(key)) == 0;
}

uint64_t string_hash(const std::string& s) { return std::hash<std::string>()(s) | 1; }

TEST_F(HashTest, GenericDeletedEntryIsReusedWithoutCounting) {
  lv_hashtab* t = lv_hash_new(16, nullptr, nullptr);
  static char a, b, c;
  // Three keys on one probe path (same hash).
  lv_hash_insert(&t, &a, 5)->value = &a;
  lv_hash_insert(&t, &b, 5)->value = &b;
  EXPECT_EQ(t->count, 2u);
  lv_hash_gentry* ea = lv_hash_lookup(t, &a, 5);
  lv_hash_delete_entry(t, ea);
  EXPECT_EQ(ea->hash, LV_HASH_DELETED);
  lv_hash_gentry* ec = lv_hash_insert(&t, &c, 5);
  EXPECT_EQ(ec, ea);
  EXPECT_EQ(t->count, 2u);
  ec->value = &c;
  EXPECT_EQ(lv_hash_lookup(t, &b, 5)->value, &b);
  EXPECT_EQ(lv_hash_lookup(t, &a, 5)->key, nullptr);
  lv_hash_free(t);
}

TEST_F(HashTest, GenericRebuildAppliesTheCapacityRuleTwice) {
  lv_hashtab* t = lv_hash_new(3, nullptr, nullptr);
  EXPECT_EQ(t->mask + 1, 4u);
  static char keys[4];
  for (int i = 0; i < 3; i++) lv_hash_insert(&t, &keys[i], i)->value = &keys[i];
  EXPECT_EQ(t->mask + 1, 4u);
  lv_hash_insert(&t, &keys[3], 3)->value = &keys[3];
  EXPECT_EQ(t->mask + 1, 16u);
  EXPECT_EQ(t->count, 4u);
  EXPECT_EQ(lv_hash_new(0, nullptr, nullptr)->mask + 1, 2u);
}

TEST_F(HashTest, GenericTableAgreesWithAReferenceMap) {
  std::mt19937_64 rng(11);
  std::vector<std::string> names;
  for (int i = 0; i < 300; i++) names.push_back("name" + std::to_string(i));
  lv_hashtab* t = lv_hash_new(1, compare_strings, nullptr);
  std::map<std::string, void*> ref;
  std::vector<std::string> stored(names.size());  // storage of the keys in the table
  for (int step = 0; step < 5000; step++) {
    size_t i = rng() % names.size();
    std::string probe_key = names[i];  // equal text, another address
    uint64_t h = string_hash(names[i]);
    if (rng() % 3 != 0) {
      lv_hash_gentry* e = lv_hash_lookup(t, probe_key.c_str(), h);
      if (e->key == nullptr) {
        stored[i] = names[i];
        e = lv_hash_insert(&t, stored[i].c_str(), h);
      }
      e->value = &names[i];
      ref[names[i]] = &names[i];
    } else {
      lv_hash_gentry* e = lv_hash_lookup(t, probe_key.c_str(), h);
      if (e->key != nullptr) lv_hash_delete_entry(t, e);
      ref.erase(names[i]);
    }
  }
  for (size_t i = 0; i < names.size(); i++) {
    lv_hash_gentry* e = lv_hash_lookup(t, names[i].c_str(), string_hash(names[i]));
    bool present = ref.count(names[i]) != 0;
    EXPECT_EQ(e->key != nullptr, present) << names[i];
    if (present) {
      EXPECT_EQ(e->value, &names[i]);
    }
  }
  std::set<std::string> visited;
  lv_hash_foreach(
      t,
      [](lv_hash_gentry* e, void* arg, void*, uint64_t) {
        static_cast<std::set<std::string>*>(arg)->insert(static_cast<const char*>(e->key));
        return 0;
      },
      &visited);
  EXPECT_EQ(visited.size(), ref.size());
  int stop = lv_hash_foreach(
      t, [](lv_hash_gentry*, void*, void*, uint64_t ordinal) { return ordinal == 2 ? 7 : 0; }, nullptr);
  EXPECT_EQ(stop, ref.size() >= 3 ? 7 : 0);
  lv_hash_free(t);
}

}  // namespace
