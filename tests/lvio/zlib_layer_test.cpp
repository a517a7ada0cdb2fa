// The "zlib" layer and its glue, checked against zlib's own one-shot
// functions.
#include "lvio/zlib_layer.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include "lvio/allocator.h"
#include "lvio/chain.h"
#include "lvio/operation_flags.h"
#include "lvio/zlib_stream.h"
#include "memory_device.h"

namespace {

// Text-like data that compresses, but not to nothing.
std::string sample(size_t n) {
  std::string s;
  s.reserve(n);
  uint32_t x = 12345;
  while (s.size() < n) {
    x = x * 1103515245 + 12345;
    s += "word" + std::to_string((x >> 16) % 1000) + ((x & 7) == 0 ? "\n" : " ");
  }
  s.resize(n);
  return s;
}

std::string zlib_compress(const std::string& data) {
  uLongf size = compressBound(data.size());
  std::string out(size, '\0');
  EXPECT_EQ(compress2(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(data.data()),
                      data.size(), Z_DEFAULT_COMPRESSION),
            Z_OK);
  out.resize(size);
  return out;
}

bool zlib_uncompress(const std::string& compressed, size_t size, std::string* data) {
  uLongf n = size;
  data->assign(size, '\0');
  int rc = uncompress(reinterpret_cast<Bytef*>(data->data()), &n, reinterpret_cast<const Bytef*>(compressed.data()),
                      compressed.size());
  return rc == Z_OK && n == size;
}

class Zlib : public testing::Test {
 protected:
  void TearDown() override { close_chain(&chain_); }

  // Compresses through the layer in pieces of the given size; the device
  // takes at most chunk bytes a call.
  std::string compress(const std::string& data, size_t piece, size_t chunk) {
    device_ = MemoryDevice();
    device_.chunk = chunk;
    EXPECT_EQ(device_.open(&chain_, LVIO_DEVICE_BYTES, false, true), 0);
    EXPECT_EQ(lvio_push_layer(&lvio_zlib_class, &chain_, nullptr, 0), 0);
    for (size_t at = 0; at < data.size(); at += piece) {
      std::string part = data.substr(at, piece);
      lvio_buffer b = {reinterpret_cast<uint8_t*>(part.data()), part.size(), part.size(),
                       LVIO_BUFFER_BORROWED | LVIO_BUFFER_CALLER_RECORD};
      uint64_t position = 0;
      EXPECT_EQ(lvio_stream_write_buffer(&chain_, &b, &position, LVIO_OP_WRITE_ALL), 0);
    }
    EXPECT_EQ(lvio_stream_close(&chain_, 0), 0);  // finishes the stream
    EXPECT_EQ(chain_, nullptr);
    return device_.output;
  }

  void open_reader(const std::string& compressed, size_t chunk) {
    device_ = MemoryDevice();
    device_.input = compressed;
    device_.chunk = chunk;
    ASSERT_EQ(device_.open(&chain_, LVIO_DEVICE_BYTES, true, false), 0);
    ASSERT_EQ(lvio_push_layer(&lvio_zlib_class, &chain_, nullptr, 0), 0);
  }

  // A writing chain through the layer with "hello" written and not finished.
  void open_writer_with_hello() {
    ASSERT_EQ(device_.open(&chain_, LVIO_DEVICE_BYTES, false, true), 0);
    ASSERT_EQ(lvio_push_layer(&lvio_zlib_class, &chain_, nullptr, 0), 0);
    uint64_t at = 0;
    ASSERT_EQ(lvio_stream_write_buffer(&chain_, &hello_, &at, LVIO_OP_WRITE_ALL), 0);
  }

  // The device holds "hello", compressed and finished.
  bool device_holds_hello() {
    std::string back;
    return zlib_uncompress(device_.output, 5, &back) && back == "hello";
  }

  std::string decompress(const std::string& compressed, size_t chunk, lvio_code* end) {
    open_reader(compressed, chunk);
    std::string data = read_all(&chain_, end);
    close_chain(&chain_);
    return data;
  }

  lvio_code read_once() {
    lvio_buffer* b = nullptr;
    lvio_code rc = lvio_stream_read_buffer(&chain_, &b, 0);
    lvio_buffer_free(b);
    return rc;
  }

  MemoryDevice device_;
  lvio_layer* chain_ = nullptr;
  lvio_buffer hello_ = {reinterpret_cast<uint8_t*>(const_cast<char*>("hello")), 5, 5,
                        LVIO_BUFFER_BORROWED | LVIO_BUFFER_CALLER_RECORD};
};

TEST_F(Zlib, RoundTrips) {
  struct {
    size_t size;
    size_t piece;
    size_t chunk;
  } cases[] = {{0, 1, SIZE_MAX}, {1, 1, 1}, {1000, 7, 3}, {100000, 4096, 1000}, {3 << 20, 65536, SIZE_MAX}};
  for (const auto& c : cases) {
    std::string data = sample(c.size);
    std::string ours = compress(data, c.piece, c.chunk);
    std::string back;
    EXPECT_TRUE(zlib_uncompress(ours, data.size(), &back)) << c.size;
    EXPECT_TRUE(back == data) << c.size;
    lvio_code end;
    EXPECT_TRUE(decompress(zlib_compress(data), c.chunk, &end) == data) << c.size;
    EXPECT_EQ(end, LVIO_E_END_OF_FILE);
    EXPECT_TRUE(decompress(ours, c.chunk, &end) == data) << c.size;
    EXPECT_EQ(end, LVIO_E_END_OF_FILE);
  }
}

TEST_F(Zlib, ACutStreamIsAnErrorNotAnEnd) {
  std::string data = sample(100000);
  std::string compressed = zlib_compress(data);
  for (size_t cut : {size_t{1}, compressed.size() / 2, compressed.size() - 1}) {
    open_reader(compressed.substr(0, cut), 512);
    lvio_code end;
    std::string got = read_all(&chain_, &end);
    EXPECT_EQ(end, LVIO_E_ENCODING_INVALID) << cut;
    EXPECT_EQ(data.compare(0, got.size(), got), 0) << cut;  // what came is right
    EXPECT_EQ(read_once(), LVIO_E_INVALID_STATE);           // the inflater has failed
    close_chain(&chain_);
  }
}

TEST_F(Zlib, CorruptDataIsAnError) {
  std::string data = sample(50000);
  std::string compressed = zlib_compress(data);
  for (size_t at : {size_t{0}, compressed.size() / 2, compressed.size() - 2}) {
    std::string bad = compressed;
    bad[at] = static_cast<char>(bad[at] ^ 0x55);
    lvio_code end;
    decompress(bad, SIZE_MAX, &end);
    EXPECT_EQ(end, LVIO_E_INVALID_STATE) << at;
  }
}

TEST_F(Zlib, EveryReadAfterTheEndIsEndOfFile) {
  open_reader(zlib_compress("abc"), SIZE_MAX);
  lvio_code end;
  EXPECT_EQ(read_all(&chain_, &end), "abc");
  EXPECT_EQ(end, LVIO_E_END_OF_FILE);
  EXPECT_EQ(read_once(), LVIO_E_END_OF_FILE);
  EXPECT_EQ(read_once(), LVIO_E_END_OF_FILE);
}

TEST_F(Zlib, WhatFollowsTheBodyIsGivenBack) {
  open_reader(zlib_compress(sample(3000)) + "TAIL", 700);
  EXPECT_EQ(lvio_stream_sync_all(&chain_, LVIO_OP_READ), LVIO_E_INVALID_STATE);  // the body has not ended
  EXPECT_EQ(lvio_pop_layer(&lvio_zlib_class, &chain_, 0), LVIO_E_INVALID_STATE);
  EXPECT_EQ(chain_->cls, &lvio_zlib_class);  // still there
  lvio_code end;
  EXPECT_EQ(read_all(&chain_, &end), sample(3000));
  ASSERT_EQ(lvio_stream_sync_all(&chain_, LVIO_OP_READ), 0);
  ASSERT_EQ(lvio_pop_layer(&lvio_zlib_class, &chain_, 0), 0);
  EXPECT_EQ(read_all(&chain_, &end), "TAIL");
}

TEST_F(Zlib, AnUnfinishedWriteSideClosesOnlyAbortively) {
  ASSERT_NO_FATAL_FAILURE(open_writer_with_hello());
  EXPECT_EQ(chain_->cls->layer.close(&chain_, LVIO_OP_WRITE), LVIO_E_INVALID_STATE);
  // A finishing sync writes the trailer; writes are then refused.
  ASSERT_EQ(lvio_stream_sync_all(&chain_, LVIO_OP_WRITE | LVIO_ZLIB_OP_FINISH), 0);
  EXPECT_NE(chain_->flags & LVIO_ZLIB_WRITE_ENDED, 0u);
  uint64_t at = 0;
  EXPECT_EQ(lvio_stream_write_buffer(&chain_, &hello_, &at, 0), LVIO_E_INVALID_STATE);
  EXPECT_EQ(chain_->cls->layer.close(&chain_, LVIO_OP_WRITE), 0);
  EXPECT_EQ(chain_, nullptr);
  EXPECT_TRUE(device_holds_hello());
}

// The chain's sync of directions passes the closing option the layers read:
// it finishes the compressed output, a plain sync does not.
TEST_F(Zlib, TheChainsSyncOfDirectionsFinishesTheOutput) {
  ASSERT_NO_FATAL_FAILURE(open_writer_with_hello());
  ASSERT_EQ(lvio_stream_sync_all(&chain_, LVIO_OP_WRITE | LVIO_SYNC_PASS_DOWN), 0);
  EXPECT_EQ(chain_->flags & LVIO_ZLIB_WRITE_ENDED, 0u);
  ASSERT_EQ(lvio_stream_sync_dirs(&chain_, LVIO_OP_WRITE), 0);
  EXPECT_NE(chain_->flags & LVIO_ZLIB_WRITE_ENDED, 0u);
  EXPECT_TRUE(device_holds_hello());
}

TEST_F(Zlib, WriteRules) {
  ASSERT_EQ(device_.open(&chain_, LVIO_DEVICE_BYTES, false, true), 0);
  ASSERT_EQ(lvio_push_layer(&lvio_zlib_class, &chain_, nullptr, 0), 0);
  lvio_buffer empty = {nullptr, 0, 0, LVIO_BUFFER_BORROWED | LVIO_BUFFER_CALLER_RECORD};
  lvio_buffer some = {reinterpret_cast<uint8_t*>(const_cast<char*>("ab")), 2, 2,
                      LVIO_BUFFER_BORROWED | LVIO_BUFFER_CALLER_RECORD};
  uint64_t at = 0;
  EXPECT_EQ(lvio_stream_write_buffer(&chain_, &empty, &at, 0), LVIO_E_INTERNAL_ERROR);  // nothing to write
  EXPECT_EQ(lvio_stream_write_buffer(&chain_, &some, &at, LVIO_ZLIB_OP_FINISH), LVIO_E_INTERNAL_ERROR);
  // The refused finish did not start finishing.
  EXPECT_EQ(lvio_stream_write_buffer(&chain_, &some, &at, 0), 0);
  EXPECT_EQ(at, 2u);
  at = 0;
  EXPECT_EQ(lvio_stream_write_buffer(&chain_, &empty, &at, LVIO_ZLIB_OP_FINISH), 0);
  EXPECT_NE(chain_->flags & LVIO_ZLIB_WRITE_ENDED, 0u);
  std::string back;
  EXPECT_TRUE(zlib_uncompress(device_.output, 2, &back));
  EXPECT_EQ(back, "ab");
}

TEST_F(Zlib, PushRules) {
  EXPECT_EQ(lvio_push_layer(&lvio_zlib_class, &chain_, nullptr, 0), LVIO_E_PUSH_ERROR);  // empty chain
  ASSERT_EQ(device_.open(&chain_, LVIO_DEVICE_CODES), 0);
  EXPECT_EQ(lvio_push_layer(&lvio_zlib_class, &chain_, nullptr, 0), LVIO_E_INVALID_STATE);
  close_chain(&chain_);
  ASSERT_EQ(device_.open(&chain_), 0);
  EXPECT_EQ(lvio_push_layer(&lvio_zlib_class, &chain_, nullptr, 0x2), LVIO_E_NOT_SUPPORTED);
  ASSERT_EQ(lvio_push_layer(&lvio_zlib_class, &chain_, nullptr, 0), 0);
  EXPECT_EQ(chain_->flags, 0x813u | 0x402Cu);
  EXPECT_EQ(lvio_stream_control_request(&chain_, LVIO_REQUEST_INFO, nullptr, 0), LVIO_E_NOT_SUPPORTED);
  int64_t position;
  EXPECT_EQ(lvio_stream_seek(&chain_, 0, &position, nullptr, 0x2 | 0x20), 0);
  EXPECT_EQ(lvio_stream_seek(&chain_, 5, &position, nullptr, 0x1 | 0x10), LVIO_E_NOT_SUPPORTED);
}

// An allocator hook that counts what is still allocated.
struct counting_hook {
  long live = 0;
  long calls = 0;
  static void* fn(void* context, void* old, size_t size) {
    auto* self = static_cast<counting_hook*>(context);
    self->calls++;
    if (size == 0) {
      self->live--;
      free(old);
      return nullptr;
    }
    if (old == nullptr) self->live++;
    return realloc(old, size);
  }
};

TEST_F(Zlib, ZlibMemoryComesFromTheLayersAllocator) {
  counting_hook hook;
  lvio_set_allocator(counting_hook::fn, &hook);
  lvio_zlib_stream* deflater;
  lvio_zlib_stream* inflater;
  ASSERT_EQ(lvio_zlib_deflater_create(&deflater), 0);
  ASSERT_EQ(lvio_zlib_inflater_create(&inflater), 0);
  EXPECT_GE(hook.live, 3);  // both records and the deflater's state at least
  lvio_zlib_deflater_free(deflater);
  lvio_zlib_inflater_free(inflater);
  EXPECT_EQ(hook.live, 0);
  EXPECT_GT(hook.calls, 0);
  lvio_set_allocator(nullptr, nullptr);
}

TEST(ZlibGlue, StepRules) {
  lvio_zlib_stream* d;
  ASSERT_EQ(lvio_zlib_deflater_create(&d), 0);
  lvio_buffer* out = lvio_buffer_create(nullptr, 0, 0);
  lvio_span input = {reinterpret_cast<const uint8_t*>("data"), 4};
  uint64_t consumed = 0;
  EXPECT_EQ(lvio_zlib_deflate_step(d, &input, &consumed, out, LVIO_ZLIB_FINISH), LVIO_E_PARAMETER_ERROR);
  EXPECT_EQ(lvio_zlib_deflate_step(d, &input, &consumed, out, 0), 0);
  EXPECT_EQ(consumed, 4u);
  EXPECT_EQ(lvio_zlib_deflate_step(d, &input, &consumed, out, LVIO_ZLIB_FINISH), LVIO_S_DONE);
  EXPECT_EQ(lvio_zlib_deflate_step(d, nullptr, &consumed, out, 0), LVIO_E_INVALID_STATE);  // finishing
  EXPECT_EQ(lvio_zlib_deflate_step(d, nullptr, &consumed, out, LVIO_ZLIB_FINISH), LVIO_S_DONE);
  lvio_zlib_deflater_free(d);

  lvio_zlib_stream* i;
  ASSERT_EQ(lvio_zlib_inflater_create(&i), 0);
  lvio_buffer* decoded = lvio_buffer_create(nullptr, 0, 0);
  consumed = 0;
  EXPECT_EQ(lvio_zlib_inflate_step(i, out, &consumed, decoded, 0), LVIO_S_DONE);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(decoded->data), decoded->used), "data");
  EXPECT_EQ(lvio_zlib_inflate_step(i, out, &consumed, decoded, 0), LVIO_E_END_OF_FILE);
  lvio_zlib_inflater_free(i);
  ASSERT_EQ(lvio_zlib_inflater_create(&i), 0);
  EXPECT_EQ(lvio_zlib_inflate_step(i, nullptr, &consumed, decoded, LVIO_ZLIB_INPUT_ENDED), LVIO_E_ENCODING_INVALID);
  EXPECT_EQ(lvio_zlib_state(i) & LVIO_ZLIB_FAILED, LVIO_ZLIB_FAILED);
  EXPECT_EQ(lvio_zlib_inflate_step(i, out, &consumed, decoded, 0), LVIO_E_INVALID_STATE);
  lvio_zlib_inflater_free(i);
  lvio_buffer_free(out);
  lvio_buffer_free(decoded);
}

TEST(ZlibGlue, ErrorCodes) {
  struct {
    int z;
    lvio_code rc;
  } cases[] = {{Z_OK, LVIO_E_INTERNAL_ERROR},
               {Z_STREAM_END, LVIO_E_INTERNAL_ERROR},
               {Z_NEED_DICT, LVIO_E_INTERNAL_ERROR},
               {Z_ERRNO, LVIO_E_INTERNAL_ERROR},
               {Z_MEM_ERROR, LVIO_E_OUT_OF_MEMORY},
               {Z_BUF_ERROR, LVIO_E_OUT_OF_MEMORY},
               {Z_STREAM_ERROR, LVIO_E_INVALID_STATE},
               {Z_DATA_ERROR, LVIO_E_INVALID_STATE},
               {Z_VERSION_ERROR, LVIO_E_IMPOSSIBLE_ERROR}};
  for (const auto& c : cases) EXPECT_EQ(lvio_zlib_error_code(c.z), c.rc) << c.z;
}

}  // namespace
