// External objects through the dispatch record: registering, naming in
// terms, finding, finalising and collecting.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "embed/dispatch_fixture.h"

namespace {

using ExternalObjects = DispatchTest;

struct finalised {
  std::vector<std::pair<void*, void*>> calls;
};
finalised* log_;

void record_finalizer(void* object, void* type_data) { log_->calls.push_back({object, type_data}); }

typedef lv_external_object* handle;

TEST_F(ExternalObjects, AnObjectRoundTripsThroughItsDefaultTermAndIsFinalisedOnce) {
  finalised log;
  log_ = &log;
  auto new_type = API(LV_register_external_object_type);
  auto new_object = API(LV_register_external_object);
  auto put = API(LV_put_external_object);
  auto get = API(LV_get_external_object);
  auto finalize = API(LV_finalize_external_object);
  int data = 7, type_data = 9;
  lv_external_object_type* type = new_type(record_finalizer, nullptr, &type_data);
  ASSERT_NE(type, nullptr);
  handle h = new_object(&data, type);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(API(LV_get_external_object_data)(h), &data);
  EXPECT_EQ(API(LV_get_external_object_type)(h), type);

  ref t = new_ref(), arg = new_ref();
  ASSERT_EQ(put(t, h), 1);
  lv_term name = 0;
  int arity = 0;
  ASSERT_EQ(get_functor(t, &name, &arity), 1);
  EXPECT_EQ(name, atom("$external_object"));
  EXPECT_EQ(arity, 1);
  ASSERT_EQ(get_arg(1, t, arg), 1);
  // The handle's nibbles as letters, least significant first.
  std::string text = "$ptr ";
  for (uint64_t v = reinterpret_cast<uint64_t>(h); v != 0; v >>= 4) text += static_cast<char>('A' + (v & 15));
  EXPECT_EQ(string_of(arg), text);

  handle back = nullptr;
  ASSERT_EQ(get(t, &back), 1);
  EXPECT_EQ(back, h);
  // The bare link atom names the object as well.
  ASSERT_EQ(API(LV_put_external_object_link)(arg, h), 1);
  EXPECT_EQ(string_of(arg), text);
  back = nullptr;
  EXPECT_EQ(get(arg, &back), 1);
  EXPECT_EQ(back, h);

  int result = -1;
  EXPECT_EQ(finalize(t, &result), 1);
  EXPECT_EQ(result, 1);
  ASSERT_EQ(log.calls.size(), 1u);
  EXPECT_EQ(log.calls[0].first, &data);
  EXPECT_EQ(log.calls[0].second, &type_data);
  EXPECT_EQ(get(t, &back), 0);
  EXPECT_EQ(finalize(t, &result), 0);
  EXPECT_EQ(result, 0);
  EXPECT_EQ(log.calls.size(), 1u);
}

TEST_F(ExternalObjects, TermsThatNameNoObjectFindNothing) {
  auto get = API(LV_get_external_object);
  ref t = new_ref(), a = new_ref();
  handle h = nullptr;
  for (const char* text : {"$ptr Q", "$ptr ", "$ptr AAAAAAAAAAAAAAAAB", "ptr A", "$ptr BA"}) {
    ASSERT_EQ(API(LV_put_string)(a, text), 1);
    ASSERT_EQ(API(LV_cons_functor)(t, atom("$external_object"), 1, a), 1);
    EXPECT_EQ(get(t, &h), 0) << text;
    EXPECT_EQ(get(a, &h), 0) << text;
  }
  ASSERT_EQ(put_integer(t, 3), 1);
  EXPECT_EQ(get(t, &h), 0);
  EXPECT_EQ(API(LV_put_external_object)(t, nullptr), 0);
}

TEST_F(ExternalObjects, UnlinkingKeepsTheRecordUnlessItFinalises) {
  finalised log;
  log_ = &log;
  lv_external_object_type* type = API(LV_register_external_object_type)(record_finalizer,
                                                                                                nullptr, nullptr);
  auto new_object = API(LV_register_external_object);
  auto unlink = API(LV_unlink_external_object);
  int data = 1;
  handle h = new_object(&data, type);
  ref t = new_ref();
  ASSERT_EQ(API(LV_put_external_object)(t, h), 1);
  EXPECT_EQ(unlink(h, 0), 1);
  EXPECT_EQ(API(LV_get_external_object_data)(h), &data);
  handle back = nullptr;
  EXPECT_EQ(API(LV_get_external_object)(t, &back), 0);
  EXPECT_TRUE(log.calls.empty());
  EXPECT_EQ(unlink(h, 1), 0);  // no longer on the list: nothing changes

  handle g = new_object(&data, type);
  EXPECT_EQ(unlink(g, 1), 1);
  EXPECT_EQ(log.calls.size(), 1u);
}

TEST_F(ExternalObjects, CollectionFinalisesTheObjectsWhoseNamesAreGone) {
  finalised log;
  log_ = &log;
  auto new_type = API(LV_register_external_object_type);
  auto new_object = API(LV_register_external_object);
  auto collect = API(LV_garbage_collect_external_objects);
  lv_external_object_type* one = new_type(record_finalizer, nullptr, nullptr);
  lv_external_object_type* other = new_type(record_finalizer, nullptr, nullptr);
  int a = 1, b = 2, c = 3;
  handle named = new_object(&a, one);
  new_object(&b, one);
  new_object(&c, other);
  ref t = new_ref();
  ASSERT_EQ(API(LV_put_external_object)(t, named), 1);
  EXPECT_EQ(collect(one), 1);
  ASSERT_EQ(log.calls.size(), 1u);
  EXPECT_EQ(log.calls[0].first, &b);
  EXPECT_EQ(collect(nullptr), 1);
  EXPECT_EQ(log.calls.back().first, &c);
  handle back = nullptr;
  EXPECT_EQ(API(LV_get_external_object)(t, &back), 1);
  EXPECT_EQ(back, named);
}

}  // namespace
