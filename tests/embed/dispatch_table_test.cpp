// The runtime library as a plug-in sees it: loaded with dlopen, reached only
// through the record its one export returns. Checks the tables' binary
// layout and slot order.
#include <dlfcn.h>
#include <gtest/gtest.h>

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
