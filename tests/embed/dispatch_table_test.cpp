// The runtime library as a plug-in sees it: loaded with dlopen, reached only
// through the record its one export returns. Checks the tables' binary
// layout and slot order.
#include <dlfcn.h>
#include <pthread.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "lorvika.h"
#include "support.h"

namespace {

typedef const lv_dispatch* (*dispatch_fn)(void*);

const lv_dispatch* load_dispatch() {
  void* lib = dlopen(LVRT_PATH, RTLD_NOW | RTLD_LOCAL);
  if (lib == nullptr) return nullptr;
  auto entry = reinterpret_cast<dispatch_fn>(dlsym(lib, "LV_get_dispatch_40900"));
  return entry == nullptr ? nullptr : entry(nullptr);
}

// The function pointer of slot k, read at its byte offset as a plug-in does.
void* slot_at(const lv_api_table* table, int k) {
  void* f;
  std::memcpy(&f, reinterpret_cast<const char*>(table) + 32 + 16 * k, sizeof f);
  return f;
}

const char* name_at(const lv_api_table* table, int k) {
  const char* name;
  std::memcpy(&name, reinterpret_cast<const char*>(table) + 24 + 16 * k, sizeof name);
  return name;
}

struct expected_table {
  const char* header_name;
  uint64_t size;
  std::vector<std::string> names;
};

void check_table(const lv_api_table* table, const expected_table& want) {
  ASSERT_NE(table, nullptr);
  EXPECT_EQ(table->size, want.size);
  EXPECT_STREQ(table->header_name, want.header_name);
  EXPECT_EQ(table->version, 0x301c5u);
  int n = static_cast<int>(want.names.size());
  for (int k = 0; k < n; k++) {
    ASSERT_NE(name_at(table, k), nullptr) << "slot " << k;
    EXPECT_EQ(name_at(table, k), want.names[k]) << "slot " << k;
    EXPECT_EQ(slot_at(table, k), lv_api_slot(table, k));
  }
  EXPECT_EQ(name_at(table, n), nullptr);
  EXPECT_EQ(slot_at(table, n), nullptr);
  EXPECT_EQ(24u + 16u * (n + 1), want.size);
}

}  // namespace

TEST(DispatchTable, TheExportReturnsOneRecordWithBothTables) {
  const lv_dispatch* d = load_dispatch();
  ASSERT_NE(d, nullptr) << dlerror();
  EXPECT_EQ(d->reserved[0], 0u);
  EXPECT_EQ(d->reserved[1], 0u);
  EXPECT_EQ(load_dispatch(), d);
}

TEST(DispatchTable, TheCInterfaceTableHoldsEverySlotInOrder) {
  const lv_dispatch* d = load_dispatch();
  ASSERT_NE(d, nullptr);
  expected_table want{"lorvika.h", 0xc78, {}};
#define NAME(k, name) want.names.push_back(#name);
  LV_C_INTERFACE_SLOTS(NAME)
#undef NAME
  ASSERT_EQ(want.names.size(), 197u);
  check_table(d->c_interface, want);
  EXPECT_STREQ(name_at(d->c_interface, LV_SLOT_LV_put_integer), "LV_put_integer");
  EXPECT_EQ(LV_SLOT_lv_longjmp_, 196);
}

TEST(DispatchTable, RetiredSlotsKeepTheirPlaceWithoutAFunction) {
  const lv_dispatch* d = load_dispatch();
  ASSERT_NE(d, nullptr);
  for (int k : {3, 75, 76, 96, 97, 99, 103, 145}) {
    EXPECT_EQ(name_at(d->c_interface, k), "unavailable_api_" + std::to_string(k + 1));
    EXPECT_EQ(slot_at(d->c_interface, k), nullptr) << "slot " << k;
  }
}

TEST(DispatchTable, TheSupportTableHoldsEverySlotInOrder) {
  const lv_dispatch* d = load_dispatch();
  ASSERT_NE(d, nullptr);
  expected_table want{"support.h", 0x2e8, {}};
#define NAME(k, name) want.names.push_back(#name);
  LV_SUPPORT_SLOTS(NAME)
#undef NAME
  ASSERT_EQ(want.names.size(), 44u);
  check_table(d->support, want);
}

namespace {

typedef int (*load_fn)(dispatch_fn*, void**);
typedef int (*mutex_fn)(void**);

template <typename F>
F slot_fn(const lv_dispatch* d, int k) {
  return reinterpret_cast<F>(slot_at(d->c_interface, k));
}

int errno_of(const lv_dispatch* d) { return slot_fn<int (*)()>(d, LV_SLOT_LV_get_errno)(); }

}  // namespace

TEST(RuntimeInstances, MutexesWaitForTheSharedStateAndThenExcludeEachOther) {
  const lv_dispatch* d = load_dispatch();
  ASSERT_NE(d, nullptr);
  auto lock = slot_fn<mutex_fn>(d, LV_SLOT_LV_mutex_lock);
  auto unlock = slot_fn<mutex_fn>(d, LV_SLOT_LV_mutex_unlock);
  auto destroy = slot_fn<mutex_fn>(d, LV_SLOT_LV_mutex_destroy);
  void* mutex = nullptr;
  EXPECT_EQ(lock(&mutex), 0);
  EXPECT_EQ(errno_of(d), 1);
  EXPECT_EQ(mutex, nullptr);

  // The first load in a process answers the calling copy itself.
  dispatch_fn entry = nullptr;
  void* module = &mutex;
  ASSERT_EQ(slot_fn<load_fn>(d, LV_SLOT_LV_load_lorvika_run_time)(&entry, &module), 1);
  ASSERT_NE(entry, nullptr);
  EXPECT_EQ(entry(nullptr), d);
  EXPECT_EQ(module, nullptr);

  EXPECT_EQ(unlock(&mutex), 0);
  EXPECT_EQ(errno_of(d), 16);
  static long counter;
  counter = 0;
  struct shared {
    mutex_fn lock, unlock;
    void** mutex;
  } s{lock, unlock, &mutex};
  ASSERT_EQ(lock(&mutex), 1);  // made on first lock, held while the threads start
  auto work = [](void* p) -> void* {
    auto* s = static_cast<shared*>(p);
    for (int i = 0; i < 10000; i++) {
      s->lock(s->mutex);
      long v = counter;
      counter = v + 1;
      s->unlock(s->mutex);
    }
    return nullptr;
  };
  pthread_t threads[4];
  for (auto& t : threads) pthread_create(&t, nullptr, work, &s);
  EXPECT_EQ(lock(&mutex), 1);  // re-entrant
  EXPECT_EQ(unlock(&mutex), 1);
  EXPECT_EQ(unlock(&mutex), 1);
  for (auto& t : threads) pthread_join(t, nullptr);
  EXPECT_EQ(counter, 40000);
  EXPECT_EQ(destroy(&mutex), 1);
  EXPECT_EQ(mutex, nullptr);
  EXPECT_EQ(destroy(&mutex), 1);
}

TEST(RuntimeInstances, AFurtherCopyIsLoadedFromItsInstanceFileWithItsOwnGlobals) {
  char dir[] = "/tmp/lvrt-instances-XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  std::string base = dir;
  for (const char* name : {"/liblvrt4-9-0.so", "/lvrt4-9-0-instance-01.so"})
    ASSERT_EQ(std::system(("cp " LVRT_PATH " " + base + name).c_str()), 0);
  void* lib = dlopen((base + "/liblvrt4-9-0.so").c_str(), RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(lib, nullptr) << dlerror();
  const lv_dispatch* d = reinterpret_cast<dispatch_fn>(dlsym(lib, "LV_get_dispatch_40900"))(nullptr);
  auto load = slot_fn<load_fn>(d, LV_SLOT_LV_load_lorvika_run_time);
  dispatch_fn self = nullptr, other = nullptr;
  void* module = nullptr;
  ASSERT_EQ(load(&self, &module), 1);
  EXPECT_EQ(self(nullptr), d);
  ASSERT_EQ(load(&other, &module), 1);
  ASSERT_NE(module, nullptr);
  const lv_dispatch* d2 = other(nullptr);
  EXPECT_NE(d2, d);
  // The new copy has adopted the shared state: it refuses another, and its
  // mutexes work.
  EXPECT_EQ(slot_fn<int (*)(void*)>(d2, LV_SLOT_LV_set_multi_lv_state)(nullptr), 0);
  void* mutex = nullptr;
  EXPECT_EQ(slot_fn<mutex_fn>(d2, LV_SLOT_LV_mutex_lock)(&mutex), 1);
  EXPECT_EQ(slot_fn<mutex_fn>(d2, LV_SLOT_LV_mutex_unlock)(&mutex), 1);
  EXPECT_EQ(slot_fn<mutex_fn>(d2, LV_SLOT_LV_mutex_destroy)(&mutex), 1);
  // No instance file 02.
  EXPECT_EQ(load(&other, &module), -1);
  std::system(("rm -rf " + base).c_str());
}
