// Simple devices and the null device.
#include "lvio/simple_device.h"

#include <gtest/gtest.h>

#include "lvio/allocator.h"
#include "lvio/null_device.h"
#include "memory_device.h"

namespace {

TEST(SimpleDevice, CreationIsChecked) {
  struct {
    bool read;
    bool write;
    bool close;
    uint32_t options;
    lvio_code rc;
    uint32_t flags;
  } cases[] = {
      {true, false, true, LVIO_DEVICE_BYTES, 0, 0x813},
      {true, false, true, LVIO_DEVICE_CODES, 0, 0x2013},
      {false, true, true, LVIO_DEVICE_BYTES, 0, 0x402C},
      {false, true, true, LVIO_DEVICE_CODES, 0, 0x1002C},
      {true, true, true, LVIO_DEVICE_BYTES | LVIO_DEVICE_CODES, LVIO_E_PARAMETER_ERROR, 0},
      {true, true, true, 0, LVIO_E_PARAMETER_ERROR, 0},
      {false, false, true, LVIO_DEVICE_BYTES, LVIO_E_PARAMETER_ERROR, 0},
      {true, true, false, LVIO_DEVICE_BYTES, LVIO_E_PARAMETER_ERROR, 0},
  };
  for (const auto& c : cases) {
    MemoryDevice d;
    lvio_layer* chain = nullptr;
    lvio_code rc = lvio_make_simple_device(&chain, &d, &MemoryDevice::tag, c.read ? MemoryDevice::read : nullptr,
                                           c.write ? MemoryDevice::write : nullptr, nullptr, nullptr,
                                           c.close ? MemoryDevice::close : nullptr, nullptr, nullptr, c.options);
    EXPECT_EQ(rc, c.rc);
    if (rc == 0) {
      EXPECT_EQ(chain->flags, c.flags);
    }
    close_chain(&chain);
    EXPECT_EQ(chain, nullptr);
  }
}

class Device : public testing::Test {
 protected:
  void TearDown() override { close_chain(&chain_); }
  MemoryDevice device_;
  lvio_layer* chain_ = nullptr;
};

TEST_F(Device, ReadsAndWritesThroughTheCallbacks) {
  device_.input = "hello";
  device_.chunk = 2;
  ASSERT_EQ(device_.open(&chain_), 0);
  lvio_code end;
  EXPECT_EQ(read_all(&chain_, &end), "hello");
  EXPECT_EQ(end, LVIO_E_END_OF_FILE);
  EXPECT_EQ(lvio_stream_write_string(&chain_, "written"), 0);
  EXPECT_EQ(device_.output, "written");
  EXPECT_EQ(device_.flushes, 1);
  void* user = nullptr;
  EXPECT_EQ(lvio_simple_device_user_data(&chain_, &MemoryDevice::tag, &user), 0);
  EXPECT_EQ(user, &device_);
  static const char other_tag = 0;
  EXPECT_EQ(lvio_simple_device_user_data(&chain_, &other_tag, &user), LVIO_E_NOT_FOUND);
}

TEST_F(Device, ClosesEachSideOnce) {
  ASSERT_EQ(device_.open(&chain_), 0);
  EXPECT_EQ(lvio_stream_close(&chain_, LVIO_OP_READ), 0);
  EXPECT_EQ(device_.closed_sides, LVIO_DEVICE_CLOSE_READ);
  ASSERT_NE(chain_, nullptr);
  EXPECT_EQ(lvio_stream_close(&chain_, LVIO_OP_ABORTIVE), 0);
  EXPECT_EQ(device_.closed_sides, LVIO_DEVICE_CLOSE_READ | LVIO_DEVICE_CLOSE_WRITE | LVIO_DEVICE_CLOSE_ABORTIVE);
  EXPECT_EQ(chain_, nullptr);
}

TEST_F(Device, CodeItems) {
  const uint32_t codes[] = {'a', 0x20AC, 0x1F600};
  device_.input.assign(reinterpret_cast<const char*>(codes), sizeof codes);
  device_.chunk = 4;
  ASSERT_EQ(device_.open(&chain_, LVIO_DEVICE_CODES), 0);
  lvio_code end;
  EXPECT_EQ(read_all(&chain_, &end), device_.input);
  auto* d = reinterpret_cast<lvio_simple_device*>(chain_);
  EXPECT_EQ(d->read_position, 3);
  // A write of less than one code item is refused.
  lvio_buffer b = {reinterpret_cast<uint8_t*>(const_cast<uint32_t*>(codes)), 6, 6,
                   LVIO_BUFFER_BORROWED | LVIO_BUFFER_CALLER_RECORD};
  uint64_t at = 4;
  EXPECT_EQ(lvio_stream_write_buffer(&chain_, &b, &at, 0), LVIO_E_PARAMETER_ERROR);
  at = 0;
  EXPECT_EQ(lvio_stream_write_buffer(&chain_, &b, &at, LVIO_OP_WRITE_ALL), LVIO_E_PARAMETER_ERROR);
  EXPECT_EQ(at, 4u);
  EXPECT_EQ(d->write_position, 1);
}

TEST_F(Device, AWriteThatTakesNothingIsAnError) {
  ASSERT_EQ(device_.open(&chain_), 0);
  device_.chunk = 0;
  lvio_buffer b = {reinterpret_cast<uint8_t*>(const_cast<char*>("abc")), 3, 3,
                   LVIO_BUFFER_BORROWED | LVIO_BUFFER_CALLER_RECORD};
  uint64_t at = 0;
  EXPECT_EQ(lvio_stream_write_buffer(&chain_, &b, &at, LVIO_OP_WRITE_ALL), LVIO_E_WRITE_ERROR);
}

// Reads n bytes (one call) into a new buffer.
std::string read_some(lvio_layer** chain, lvio_buffer** b) {
  if (*b != nullptr) (*b)->used = 0;
  EXPECT_EQ(lvio_stream_read_buffer(chain, b, 0), 0);
  return std::string(reinterpret_cast<char*>((*b)->data), (*b)->used);
}

TEST_F(Device, PushBackIsReadAgainFirst) {
  device_.input = "abcdefgh";
  device_.chunk = 3;
  ASSERT_EQ(device_.open(&chain_), 0);
  lvio_buffer* b = nullptr;
  EXPECT_EQ(read_some(&chain_, &b), "abc");
  int64_t position = -1;
  ASSERT_EQ(lvio_stream_seek(&chain_, -3, &position, b, 0x8 | 0x10), 0);
  EXPECT_EQ(position, 0);
  int reads = device_.reads;
  EXPECT_EQ(read_some(&chain_, &b), "abc");
  EXPECT_EQ(device_.reads, reads);  // no callback
  EXPECT_EQ(read_some(&chain_, &b), "def");
  lvio_buffer_free(b);
}

TEST_F(Device, PushBacksKeepTheirOrder) {
  device_.input = "abcdefgh";
  device_.chunk = 6;
  ASSERT_EQ(device_.open(&chain_), 0);
  lvio_buffer* b = nullptr;
  EXPECT_EQ(read_some(&chain_, &b), "abcdef");
  // "def" goes back, then "abc" before it is read again: nothing is lost.
  ASSERT_EQ(lvio_stream_seek(&chain_, -3, nullptr, b, 0x8 | 0x10), 0);
  b->used = 3;
  ASSERT_EQ(lvio_stream_seek(&chain_, -3, nullptr, b, 0x8 | 0x10), 0);
  lvio_buffer_free(b);
  lvio_code end;
  EXPECT_EQ(read_all(&chain_, &end), "abcdefgh");
}

TEST_F(Device, PushBackSeekRules) {
  device_.input = "abcdef";
  ASSERT_EQ(device_.open(&chain_), 0);
  lvio_buffer* b = nullptr;
  EXPECT_EQ(read_some(&chain_, &b), "abcdef");
  int64_t position = -1;
  struct {
    int64_t offset;
    uint32_t flags;
    lvio_code rc;
  } cases[] = {
      {0, 0x1 | 0x10, LVIO_E_NOT_SUPPORTED},   // absolute
      {0, 0x4 | 0x10, LVIO_E_NOT_SUPPORTED},   // from the end
      {0, 0x10, LVIO_E_PARAMETER_ERROR},       // not relative
      {-2, 0x2 | 0x10, LVIO_E_NOT_SUPPORTED},  // no give-back
      {2, 0x2 | 0x8 | 0x10, LVIO_E_PARAMETER_ERROR},
      {-7, 0x2 | 0x8 | 0x10, LVIO_E_PARAMETER_ERROR},  // more than was read
      {0, 0x2 | 0x10 | 0x20, LVIO_E_INVALID_STATE},
      {1, 0x2 | 0x20, LVIO_E_NOT_SUPPORTED},
      {0, 0x2 | 0x10, 0},
  };
  for (const auto& c : cases)
    EXPECT_EQ(chain_->cls->layer.seek(&chain_, c.offset, &position, b, c.flags), c.rc) << c.offset << " " << c.flags;
  EXPECT_EQ(position, 6);
  EXPECT_EQ(chain_->cls->layer.seek(&chain_, 0, &position, nullptr, 0x2 | 0x20), 0);
  EXPECT_EQ(position, 0);  // nothing written
  // Unread push-back refuses a read-side sync.
  ASSERT_EQ(lvio_stream_seek(&chain_, -1, nullptr, b, 0x8 | 0x10), 0);
  EXPECT_EQ(lvio_stream_sync_all(&chain_, LVIO_OP_READ), LVIO_E_INVALID_STATE);
  lvio_buffer_free(b);
}

TEST(NullDevice, ReadsNothingAndTakesEverything) {
  lvio_layer* chain = nullptr;
  ASSERT_EQ(lvio_open_null_device(&chain, LVIO_NULL_READABLE | LVIO_NULL_WRITABLE | LVIO_DEVICE_BYTES), 0);
  lvio_buffer* b = nullptr;
  EXPECT_EQ(lvio_stream_read_buffer(&chain, &b, 0), LVIO_E_END_OF_FILE);
  EXPECT_EQ(b, nullptr);
  EXPECT_EQ(lvio_stream_write_string(&chain, "dropped"), 0);
  EXPECT_EQ(lvio_stream_set_timeout(&chain, nullptr, LVIO_OP_READ), LVIO_S_NOT_SUPPORTED);
  lvio_stream_info info;
  EXPECT_EQ(lvio_stream_get_info(&chain, &info, 0), LVIO_E_NOT_IMPLEMENTED);
  EXPECT_EQ(lvio_stream_close(&chain, LVIO_OP_READ), 0);
  EXPECT_NE(chain, nullptr);
  EXPECT_EQ(lvio_stream_close(&chain, LVIO_OP_WRITE), 0);
  EXPECT_EQ(chain, nullptr);

  ASSERT_EQ(lvio_open_null_device(&chain, LVIO_NULL_WRITABLE | LVIO_DEVICE_CODES), 0);
  EXPECT_EQ(lvio_stream_read_buffer(&chain, &b, 0), LVIO_E_NOT_OPEN_READ);
  EXPECT_EQ(lvio_stream_close(&chain, 0), 0);
  EXPECT_EQ(chain, nullptr);
  EXPECT_EQ(lvio_open_null_device(&chain, LVIO_NULL_READABLE), LVIO_E_PARAMETER_ERROR);
}

}  // namespace
