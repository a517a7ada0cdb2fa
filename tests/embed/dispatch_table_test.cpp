// The runtime library as a plug-in sees it: loaded with dlopen, reached only
// through the record its one export returns. Checks the tables' binary
// layout and slot order.
#include <dlfcn.h>
#include <pthread.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <type_traits>
#include <vector>

#include "lorvika.h"
#include "support.h"

namespace {

typedef lv_dispatch_entry dispatch_fn;

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
#define NAME(k, name, result, parameters) want.names.push_back(#name);
#define RETIRED(k, name) want.names.push_back(#name);
  LV_C_INTERFACE_SLOTS(NAME, RETIRED)
#undef NAME
#undef RETIRED
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
#define NAME(k, name, result, parameters) want.names.push_back(#name);
  LV_SUPPORT_SLOTS(NAME)
#undef NAME
  ASSERT_EQ(want.names.size(), 44u);
  check_table(d->support, want);
}

namespace {

typedef LV_mutex_lock_fn* mutex_fn;

int errno_of(const lv_dispatch* d) { return LV_API(d->c_interface, LV_get_errno)(); }

}  // namespace

TEST(RuntimeInstances, MutexesWaitForTheSharedStateAndThenExcludeEachOther) {
  const lv_dispatch* d = load_dispatch();
  ASSERT_NE(d, nullptr);
  auto lock = LV_API(d->c_interface, LV_mutex_lock);
  auto unlock = LV_API(d->c_interface, LV_mutex_unlock);
  auto destroy = LV_API(d->c_interface, LV_mutex_destroy);
  void* mutex = nullptr;
  EXPECT_EQ(lock(&mutex), 0);
  EXPECT_EQ(errno_of(d), 1);
  EXPECT_EQ(mutex, nullptr);

  // The first load in a process answers the calling copy itself.
  dispatch_fn entry = nullptr;
  void* module = &mutex;
  ASSERT_EQ(LV_API(d->c_interface, LV_load_lorvika_run_time)(&entry, &module), 1);
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
  auto load = LV_API(d->c_interface, LV_load_lorvika_run_time);
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
  EXPECT_EQ(LV_API(d2->c_interface, LV_set_multi_lv_state)(nullptr), 0);
  void* mutex = nullptr;
  EXPECT_EQ(LV_API(d2->c_interface, LV_mutex_lock)(&mutex), 1);
  EXPECT_EQ(LV_API(d2->c_interface, LV_mutex_unlock)(&mutex), 1);
  EXPECT_EQ(LV_API(d2->c_interface, LV_mutex_destroy)(&mutex), 1);
  // No instance file 02.
  EXPECT_EQ(load(&other, &module), -1);
  std::system(("rm -rf " + base).c_str());
}

// Every slot that needs a started runtime refuses to run without one, before
// start-up and after shutdown alike: it answers its failure result and sets
// the interface error 1, without looking at its arguments (here all zero).
namespace {

extern "C" int c_client_atom_errno(const lv_dispatch* d, lv_term* atom);

// The slots that work without a runtime, not called here.
const std::set<int> WITHOUT_RUNTIME = {0,   1,   2,   19,  66,  67,  73,  74,  84,  92,  93,  105, 116, 117,
                                       118, 119, 120, 121, 122, 123, 124, 125, 126, 130, 132, 133, 134, 140,
                                       142, 143, 144, 146, 147, 148, 149, 150, 163, 164, 165, 166, 167, 168,
                                       171, 172, 174, 175, 176, 177, 184, 192, 193, 194, 196};
// The support-table slots the embedding program calls; the others serve a
// running engine.
const std::set<int> SUPPORT_REFUSING = {LV_SUPPORT_lv_init_ds, LV_SUPPORT_lv_action};

// Calls f with every argument zero: true when the answer is a failure result.
template <typename R, typename... A>
bool refused(R f(A...)) {
  if constexpr (std::is_void_v<R>) {
    f(A{}...);
    return true;
  } else {
    R r = f(A{}...);
    if constexpr (std::is_pointer_v<R>)
      return r == nullptr;
    else
      return r == 0 || static_cast<int64_t>(r) == -1 || static_cast<int64_t>(r) == -10023;
  }
}
template <typename R, typename... A>
bool refused(R f(A..., ...)) {
  R r = f(A{}...);
  if constexpr (std::is_pointer_v<R>)
    return r == nullptr;
  else
    return r == 0 || static_cast<int64_t>(r) == -1 || static_cast<int64_t>(r) == -10023;
}

struct slot_call {
  int slot;
  const char* name;
  bool (*call)(const lv_api_table* table);
};

std::vector<slot_call> c_interface_calls() {
  std::vector<slot_call> calls;
#define CALL(k, name, result, parameters) \
  calls.push_back({k, #name, [](const lv_api_table* t) { return refused(LV_API(t, name)); }});
#define NONE(k, name)
  LV_C_INTERFACE_SLOTS(CALL, NONE)
#undef CALL
#undef NONE
  return calls;
}

std::vector<slot_call> support_calls() {
  std::vector<slot_call> calls;
#define CALL(k, name, result, parameters) \
  calls.push_back({k, #name, [](const lv_api_table* t) { return refused(LV_SUPPORT_API(t, name)); }});
  LV_SUPPORT_SLOTS(CALL)
#undef CALL
  return calls;
}

// Each refusing slot in turn, after another interface error (16) was set.
void expect_refused(const lv_dispatch* d, const char* when) {
  SCOPED_TRACE(when);
  void* unused_mutex = nullptr;
  auto other_error = [&] {
    EXPECT_EQ(LV_API(d->c_interface, LV_mutex_unlock)(&unused_mutex), 0);
    ASSERT_EQ(LV_API(d->c_interface, LV_get_errno)(), 16);
  };
  int checked = 0;
  for (const slot_call& c : c_interface_calls()) {
    if (WITHOUT_RUNTIME.count(c.slot) != 0) continue;
    other_error();
    EXPECT_TRUE(c.call(d->c_interface)) << c.name;
    EXPECT_EQ(LV_API(d->c_interface, LV_get_errno)(), 1) << c.name;
    checked++;
  }
  EXPECT_EQ(checked, 197 - 8 - static_cast<int>(WITHOUT_RUNTIME.size()));
  for (const slot_call& c : support_calls()) {
    if (SUPPORT_REFUSING.count(c.slot) == 0) continue;
    other_error();
    EXPECT_TRUE(c.call(d->support)) << c.name;
    EXPECT_EQ(LV_API(d->c_interface, LV_get_errno)(), 1) << c.name;
  }
  other_error();
  lv_term atom = 1;
  EXPECT_EQ(c_client_atom_errno(d, &atom), 1);
  EXPECT_EQ(atom, 0u);
  // The slots that take events and signals from any thread have no queue to
  // put them on, and say so.
  const lv_api_table* t = d->c_interface;
  EXPECT_EQ(LV_API(t, LV_event)([](void*) { return 1; }, nullptr), 0);
  EXPECT_EQ(LV_API(t, LV_schedule_async_event)(nullptr), -10023);
  EXPECT_LT(LV_API(t, LV_ctrlc_action)(), 0);
  EXPECT_LT(LV_API(t, LV_ctrlbreak_action)(), 0);
  EXPECT_EQ(LV_API(t, LV_signal)(2, [](int, void*) {}, nullptr), LV_SIG_ERR);
  EXPECT_EQ(LV_API(t, LV_sigaction)(2, [](int, void*) {}, nullptr, 0), -10023);
  EXPECT_EQ(LV_API(t, lv_raise_signal)(2), 0);
  char* value = nullptr;
  EXPECT_EQ(LV_API(t, LV_get_system_property)("HOME", &value, 0), -10016);
  EXPECT_EQ(LV_API(t, LV_getenv)("HOME"), nullptr);
}

}  // namespace

TEST(DispatchTable, SlotsThatNeedARuntimeRefuseBeforeStartUpAndAfterShutdown) {
  // A copy of the library of its own, whose globals no other test touches.
  char dir[] = "/tmp/lvrt-guard-XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  std::string copy = std::string(dir) + "/liblvrt4-9-0.so";
  ASSERT_EQ(std::system(("cp " LVRT_PATH " " + copy).c_str()), 0);
  void* lib = dlopen(copy.c_str(), RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(lib, nullptr) << dlerror();
  const lv_dispatch* d = reinterpret_cast<dispatch_fn>(dlsym(lib, "LV_get_dispatch_40900"))(nullptr);
  std::system(("rm -rf " + std::string(dir)).c_str());
  // The mutexes' shared state, so that unlocking an unused mutex sets 16.
  lv_dispatch_entry self = nullptr;
  void* module = nullptr;
  ASSERT_EQ(LV_API(d->c_interface, LV_load_lorvika_run_time)(&self, &module), 1);
  expect_refused(d, "before start-up");
  ASSERT_EQ(LV_API(d->c_interface, lv_glue_initialize)(0, nullptr, nullptr, nullptr, nullptr, 1, 0), 1);
  lv_term atom = 0;
  EXPECT_EQ(c_client_atom_errno(d, &atom), 0);
  EXPECT_NE(atom, 0u);
  LV_API(d->c_interface, LV_deinitialize)();
  expect_refused(d, "after shutdown");
}
