// Byte buffers.
#include "lvio/buffer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "failing_allocator.h"
#include "lvio/allocator.h"
#include "support/env.h"

namespace {

std::string contents(const lvio_buffer* b) { return std::string(reinterpret_cast<const char*>(b->data), b->used); }

TEST(Buffer, CreateRoundsCapacitiesToEight) {
  struct {
    uint64_t size;
    uint64_t capacity;
  } cases[] = {{0, 800}, {1, 8}, {8, 8}, {13, 16}};
  for (const auto& c : cases) {
    lvio_buffer* b = lvio_buffer_create(nullptr, c.size, 0);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->capacity, c.capacity) << c.size;
    EXPECT_EQ(b->used, 0u);
    EXPECT_EQ(b->flags, 0u);
    lvio_buffer_free(b);
  }
  lvio_buffer* copy = lvio_buffer_create("abc", 3, LVIO_BUFFER_CREATE_COPY);
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(copy->capacity, 8u);
  EXPECT_EQ(contents(copy), "abc");
  lvio_buffer_free(copy);
}

TEST(Buffer, AppendsGrowByTheNeedOrTheDefaultStep) {
  lvio_buffer* b = lvio_buffer_create(nullptr, 8, 0);
  ASSERT_NE(b, nullptr);
  ASSERT_EQ(lvio_buffer_append_string(b, "12345678"), 0);
  EXPECT_EQ(b->capacity, 8u);
  // Full: the next byte grows by the default step, 800 bytes.
  ASSERT_EQ(lvio_buffer_append_byte(b, '9'), 0);
  EXPECT_EQ(b->capacity, 808u);
  // A bigger need grows by the need, rounded up.
  std::string big(1001, 'x');
  ASSERT_EQ(lvio_buffer_append(b, big.data(), big.size()), 0);
  EXPECT_EQ(b->capacity, 9u + 1001u + 6u);
  EXPECT_EQ(contents(b), "123456789" + big);
  ASSERT_EQ(lvio_buffer_append(b, nullptr, 0), 0);
  EXPECT_EQ(b->used, 1010u);
  // A buffer may append itself.
  ASSERT_EQ(lvio_buffer_append_buffer(b, b), 0);
  EXPECT_EQ(contents(b), "123456789" + big + "123456789" + big);
  lvio_buffer_free(b);
}

TEST(Buffer, BorrowedDataIsCopiedOnGrowthAndNeverWritten) {
  char source[] = "borrowed";
  lvio_buffer* b = lvio_buffer_create(source, 8, 0);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(b->flags, LVIO_BUFFER_BORROWED);
  EXPECT_EQ(b->data, reinterpret_cast<uint8_t*>(source));
  ASSERT_EQ(lvio_buffer_append_string(b, "!"), 0);
  EXPECT_EQ(b->flags, 0u);
  EXPECT_NE(b->data, reinterpret_cast<uint8_t*>(source));
  EXPECT_EQ(contents(b), "borrowed!");
  EXPECT_STREQ(source, "borrowed");
  lvio_buffer_free(b);

  // Dropping leading bytes of borrowed data moves the view, not the bytes.
  b = lvio_buffer_create(source, 8, 0);
  ASSERT_EQ(lvio_buffer_set_position(b, 3), 0);
  EXPECT_EQ(contents(b), "rowed");
  EXPECT_STREQ(source, "borrowed");
  lvio_buffer_free(b);
}

TEST(Buffer, FixedBorrowedBufferRefusesToGrow) {
  char source[] = "fixed";
  lvio_buffer* b = lvio_buffer_create(source, 5, LVIO_BUFFER_CREATE_FIXED);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(b->flags, LVIO_BUFFER_BORROWED | LVIO_BUFFER_FIXED);
  EXPECT_EQ(lvio_buffer_append_byte(b, '!'), LVIO_E_OUT_OF_MEMORY);
  EXPECT_EQ(lvio_buffer_reserve(b, 1), LVIO_E_OUT_OF_MEMORY);
  EXPECT_EQ(contents(b), "fixed");
  EXPECT_EQ(b->data, reinterpret_cast<uint8_t*>(source));
  // Within its bytes it still works.
  uint8_t last;
  ASSERT_EQ(lvio_buffer_pop_byte(b, &last), 0);
  EXPECT_EQ(last, 'd');
  lvio_buffer_free(b);
}

TEST(Buffer, NoCapacityCreateReallocatesOnFirstAppend) {
  char source[] = "ab";
  lvio_buffer* b = lvio_buffer_create(source, 2, LVIO_BUFFER_CREATE_NO_CAPACITY);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(b->capacity, 0u);
  ASSERT_EQ(lvio_buffer_append_byte(b, 'c'), 0);
  EXPECT_EQ(contents(b), "abc");
  EXPECT_EQ(b->flags, 0u);
  lvio_buffer_free(b);
}

TEST(Buffer, PositionsAndPops) {
  lvio_buffer* b = lvio_buffer_create("hello world", 11, LVIO_BUFFER_CREATE_COPY);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(lvio_buffer_set_position(b, 12), LVIO_E_PARAMETER_ERROR);
  EXPECT_EQ(lvio_buffer_set_position(b, -12), LVIO_E_PARAMETER_ERROR);
  EXPECT_EQ(contents(b), "hello world");
  ASSERT_EQ(lvio_buffer_set_position(b, 6), 0);
  EXPECT_EQ(contents(b), "world");
  ASSERT_EQ(lvio_buffer_set_position(b, -3), 0);
  EXPECT_EQ(contents(b), "wo");
  ASSERT_EQ(lvio_buffer_set_position(b, 0), 0);
  // Dropping the last 3 bytes of 2 fails and leaves the buffer as it was.
  EXPECT_EQ(lvio_buffer_set_position(b, -3), LVIO_E_PARAMETER_ERROR);
  EXPECT_EQ(contents(b), "wo");
  uint8_t byte;
  ASSERT_EQ(lvio_buffer_pop_byte(b, &byte), 0);
  ASSERT_EQ(lvio_buffer_pop_byte(b, &byte), 0);
  EXPECT_EQ(byte, 'w');
  EXPECT_EQ(lvio_buffer_pop_byte(b, &byte), LVIO_E_ERROR);
  lvio_buffer_free(b);
}

TEST(Buffer, CapacityResetAndTrim) {
  lvio_buffer* b = lvio_buffer_create("0123456789", 10, LVIO_BUFFER_CREATE_COPY);
  ASSERT_NE(b, nullptr);
  ASSERT_EQ(lvio_buffer_set_capacity(b, 4), 0);
  EXPECT_EQ(b->capacity, 8u);
  EXPECT_EQ(contents(b), "01234567");
  ASSERT_EQ(lvio_buffer_set_capacity(b, 0), 0);
  EXPECT_EQ(b->capacity, 8u);
  ASSERT_EQ(lvio_buffer_reserve(b, 100), 0);
  EXPECT_EQ(b->capacity, 808u);
  ASSERT_EQ(lvio_buffer_trim(b), 0);
  EXPECT_EQ(b->capacity, 8u);
  ASSERT_EQ(lvio_buffer_reset_reserve(b, 2000), 0);
  EXPECT_EQ(b->used, 0u);
  EXPECT_GE(b->capacity, 2000u);
  ASSERT_EQ(lvio_buffer_trim(b), 0);
  EXPECT_EQ(b->capacity, 8u);
  lvio_buffer_free(b);
}

TEST(Buffer, FailedGrowthLeavesTheBufferUnchanged) {
  lvio_buffer* b = lvio_buffer_create("abcdefgh", 8, LVIO_BUFFER_CREATE_COPY);
  ASSERT_NE(b, nullptr);
  uint8_t* data = b->data;
  {
    FailingAllocator refuse;
    EXPECT_EQ(lvio_buffer_append_string(b, "i"), LVIO_E_OUT_OF_MEMORY);
    EXPECT_EQ(lvio_buffer_reserve(b, 1), LVIO_E_OUT_OF_MEMORY);
    EXPECT_EQ(lvio_buffer_reset_reserve(b, 100), LVIO_E_OUT_OF_MEMORY);
    EXPECT_EQ(lvio_buffer_create(nullptr, 0, 0), nullptr);
    EXPECT_EQ(lvio_buffer_create("x", 1, LVIO_BUFFER_CREATE_COPY), nullptr);
  }
  EXPECT_EQ(b->data, data);
  EXPECT_EQ(b->capacity, 8u);
  EXPECT_EQ(contents(b), "abcdefgh");
  lvio_buffer_free(b);
}

TEST(Buffer, TakeHandsOverOwnedDataAndCopiesBorrowedData) {
  lvio_buffer* b = lvio_buffer_create("owned", 5, LVIO_BUFFER_CREATE_COPY);
  ASSERT_NE(b, nullptr);
  uint8_t* block = b->data;
  uint8_t* data;
  uint64_t length;
  ASSERT_EQ(lvio_buffer_take(b, &data, &length), 0);
  EXPECT_EQ(data, block);
  EXPECT_EQ(length, 5u);
  EXPECT_EQ(b->data, nullptr);
  EXPECT_EQ(b->used, 0u);
  EXPECT_EQ(b->capacity, 0u);
  lvio_free(data);
  // The emptied buffer is usable again.
  ASSERT_EQ(lvio_buffer_append_string(b, "again"), 0);
  EXPECT_EQ(contents(b), "again");
  lvio_buffer_free(b);

  char source[] = "lent";
  b = lvio_buffer_create(source, 4, 0);
  ASSERT_EQ(lvio_buffer_take(b, &data, &length), 0);
  EXPECT_NE(data, reinterpret_cast<uint8_t*>(source));
  EXPECT_EQ(std::string(reinterpret_cast<char*>(data), length), "lent");
  EXPECT_EQ(b->used, 4u);
  lvio_free(data);
  lvio_buffer_free(b);
}

TEST(Buffer, CallerOwnedRecord) {
  lvio_buffer b;
  lvio_buffer_init(&b);
  EXPECT_EQ(b.flags, LVIO_BUFFER_BORROWED | LVIO_BUFFER_CALLER_RECORD);
  ASSERT_EQ(lvio_buffer_append_string(&b, "on the stack"), 0);
  EXPECT_EQ(b.flags, LVIO_BUFFER_CALLER_RECORD);
  lvio_buffer_free(&b);
  EXPECT_EQ(b.flags & LVIO_BUFFER_FREED, LVIO_BUFFER_FREED);
  EXPECT_EQ(b.data, nullptr);
  lvio_buffer_free(nullptr);
}

TEST(Buffer, DefaultItemsSetting) {
  struct {
    const char* text;
    uint64_t bytes;
  } cases[] = {{"0x20", 256}, {"32", 256}, {"010", 64}, {"12x", 800}, {"0", 800}, {"-1", 800}, {"", 800}};
  for (const auto& c : cases) {
    ScopedEnv env({{"LVIO_DEFAULT_BUFITEMS", c.text}});
    ASSERT_EQ(lvio_buffer_module(0), 0);
    EXPECT_EQ(lvio_buffer_default_bytes(), c.bytes) << '"' << c.text << '"';
    lvio_buffer* b = lvio_buffer_create(nullptr, 0, 0);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->capacity, c.bytes);
    lvio_buffer_free(b);
  }
  ScopedEnv env({{"LVIO_DEFAULT_BUFITEMS", nullptr}});
  ASSERT_EQ(lvio_buffer_module(0), 0);
  EXPECT_EQ(lvio_buffer_default_bytes(), 800u);
}

}  // namespace
