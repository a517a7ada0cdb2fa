// The "char-coder" layer over memory devices.
#include "lvio/char_coder_layer.h"

#include <gtest/gtest.h>

#include "coder_test_support.h"
#include "memory_device.h"

namespace {

using namespace std::literals;

constexpr uint32_t NONE = ~0u;
constexpr uint32_t DECODER = LVIO_CODER_CREATE_DECODER;

class CharCoder : public testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(lvio_coder_module(0), 0); }
  void TearDown() override {
    close_chain(&chain_);
    EXPECT_EQ(lvio_coder_module(1), 0);
  }

  // Pushes a char-coder with a decoder and/or an encoder of the coder made
  // with the given create flags (NONE: no such coder). Coders a failing push
  // did not take are released.
  lvio_code push(const char* coder, uint32_t decoder_flags, uint32_t encoder_flags, uint32_t push_flags = 0) {
    lvio_t_coder* decoder = decoder_flags != NONE ? make_coder(coder, decoder_flags | DECODER) : nullptr;
    lvio_t_coder* encoder = encoder_flags != NONE ? make_coder(coder, encoder_flags) : nullptr;
    lvio_option options[3];
    int n = 0;
    if (decoder != nullptr) options[n++] = pointer_option(LVIO_OPTION_READ_CODER, decoder);
    if (encoder != nullptr) options[n++] = pointer_option(LVIO_OPTION_WRITE_CODER, encoder);
    options[n] = end_option();
    lvio_code rc = lvio_push_layer(&lvio_char_coder_class, &chain_, options, push_flags);
    if (rc < 0) {
      lvio_coder_release(decoder);
      lvio_coder_release(encoder);
    }
    return rc;
  }

  // A device holding the bytes, with a decoder of the coder on top.
  void open_reader(std::string_view bytes, const char* coder, uint32_t decoder_flags, size_t chunk = SIZE_MAX) {
    device_ = MemoryDevice();
    device_.input = bytes;
    device_.chunk = chunk;
    ASSERT_EQ(device_.open(&chain_), 0);
    ASSERT_EQ(push(coder, decoder_flags, NONE), 0);
  }

  std::vector<uint32_t> read_codes(lvio_code* end) { return as_codes(read_all(&chain_, end)); }

  // Reads at most n code points in one read, through a buffer that cannot
  // grow.
  std::vector<uint32_t> read_n(size_t n) {
    std::vector<uint32_t> room(n);
    lvio_buffer b = {reinterpret_cast<uint8_t*>(room.data()), 0, n * 4,
                     LVIO_BUFFER_BORROWED | LVIO_BUFFER_CALLER_RECORD | LVIO_BUFFER_FIXED};
    lvio_buffer* p = &b;
    EXPECT_EQ(lvio_stream_read_buffer(&chain_, &p, 0), 0);
    room.resize(b.used / 4);
    return room;
  }

  lvio_code write_codes(const std::vector<uint32_t>& codes, uint32_t flags, uint64_t* at) {
    std::string bytes = as_bytes(codes);
    lvio_buffer b = {reinterpret_cast<uint8_t*>(bytes.data()), bytes.size(), bytes.size(),
                     LVIO_BUFFER_BORROWED | LVIO_BUFFER_CALLER_RECORD | LVIO_BUFFER_FIXED};
    *at = 0;
    return lvio_stream_write_buffer(&chain_, &b, at, flags);
  }

  lvio_char_coder_layer* layer() { return reinterpret_cast<lvio_char_coder_layer*>(chain_); }

  MemoryDevice device_;
  lvio_layer* chain_ = nullptr;
};

const std::vector<uint32_t> text = {'h', 0xE9, 'l', 'l', 'o', ' ', 0x20AC, ' ', 0x1F600, '\n'};
const std::string_view text_utf8 = "h\xC3\xA9llo \xE2\x82\xAC \xF0\x9F\x98\x80\n"sv;

TEST_F(CharCoder, ReadsWhateverTheDeviceChunks) {
  for (size_t chunk = 1; chunk <= 7; chunk++) {
    open_reader(text_utf8, "UTF-8", 0, chunk);
    lvio_code end;
    EXPECT_EQ(read_codes(&end), text) << chunk;
    EXPECT_EQ(end, LVIO_E_END_OF_FILE);
    EXPECT_EQ(layer()->read_position, static_cast<int64_t>(text.size() * 4));
    close_chain(&chain_);
    EXPECT_EQ(device_.closed_sides & LVIO_DEVICE_CLOSE_READ, LVIO_DEVICE_CLOSE_READ);
  }
}

TEST_F(CharCoder, AStreamEndingInsideACharacterIsInvalid) {
  open_reader("ab\xE2\x82"sv, "UTF-8", 0, 1);
  lvio_code end;
  EXPECT_EQ(read_codes(&end), (std::vector<uint32_t>{'a', 'b'}));
  EXPECT_EQ(end, LVIO_E_ENCODING_INVALID);
  close_chain(&chain_);
  // With replacement asked for through the control request, the cut
  // character becomes U+FFFD.
  open_reader("ab\xE2\x82"sv, "UTF-8", 0, 1);
  uint32_t replace = LVIO_OP_READ | LVIO_CODER_OPTION_REPLACE_MALFORMED | LVIO_CODER_OPTION_REPLACE;
  EXPECT_EQ(lvio_stream_control_request(&chain_, LVIO_REQUEST_CODER_OPTIONS, nullptr, replace), 0);
  EXPECT_EQ(read_codes(&end), (std::vector<uint32_t>{'a', 'b', 0xFFFD}));
  EXPECT_EQ(end, LVIO_E_END_OF_FILE);
}

// Input that makes no character is reported once, by the read that meets
// it, and the reads after it go on with the bytes that follow (BAD stands
// for the report).
TEST_F(CharCoder, InvalidInputIsReportedOnceAndReadPast) {
  constexpr uint32_t BAD = ~0u;
  struct {
    const char* coder;
    std::string_view bytes;
    std::vector<uint32_t> read;
  } cases[] = {
      {"UTF-8", "a\xFF" "b"sv, {'a', BAD, 'b'}},
      {"UTF-8", "a\xE2" "A\xE2\x82" "B"sv, {'a', BAD, 'A', BAD, 'B'}},  // the malformed beginning only
      {"UTF-8", "\xC3\xA9\xE9\xE9" "x"sv, {0xE9, BAD, BAD, 'x'}},       // Latin-1 bytes in UTF-8 text
      {"UTF-8", "ab\xE2\x82"sv, {'a', 'b', BAD}},                      // cut short by the end
      {"UTF-16LE", "a\0\x00\xDC" "b\0"sv, {'a', BAD, 'b'}},            // a lone low surrogate
      {"UTF-32LE", "a\0\0\0\0\0\0\x80" "b\0\0\0"sv, {'a', BAD, 'b'}},
      {"ANSI_X3.4-1968", "a\x80" "b"sv, {'a', BAD, 'b'}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.coder);
    for (size_t chunk : {size_t{1}, SIZE_MAX}) {
      open_reader(c.bytes, c.coder, 0, chunk);
      std::vector<uint32_t> got;
      lvio_buffer* b = lvio_buffer_create(nullptr, 0, 0);
      for (int reads = 0; reads < 100; reads++) {
        ASSERT_EQ(lvio_buffer_reserve(b, 64), 0);
        b->used = 0;
        lvio_code rc = lvio_stream_read_buffer(&chain_, &b, 0);
        if (rc == LVIO_E_END_OF_FILE) break;
        if (rc == LVIO_E_ENCODING_INVALID) {
          got.push_back(BAD);
          continue;
        }
        ASSERT_EQ(rc, 0);
        for (uint32_t code : as_codes(std::string(reinterpret_cast<char*>(b->data), b->used))) got.push_back(code);
      }
      lvio_buffer_free(b);
      EXPECT_EQ(got, c.read) << chunk;
      close_chain(&chain_);
    }
  }
}

TEST_F(CharCoder, CrLfSplitAcrossDeviceReads) {
  open_reader("a\r\nb\r"sv, "ISO-8859-1", LVIO_CODER_CREATE_CRLF, 1);
  lvio_code end;
  EXPECT_EQ(read_codes(&end), (std::vector<uint32_t>{'a', '\n', 'b', '\r'}));
  EXPECT_EQ(end, LVIO_E_END_OF_FILE);
}

TEST_F(CharCoder, PositionRequests) {
  open_reader("abcdefgh"sv, "ISO-8859-1", 0);
  EXPECT_EQ(read_n(5), (std::vector<uint32_t>{'a', 'b', 'c', 'd', 'e'}));
  int64_t where[2];
  ASSERT_EQ(lvio_stream_control_request(&chain_, LVIO_REQUEST_READ_POSITION, where, 0), 0);
  EXPECT_EQ(where[0], 5);
  EXPECT_EQ(where[1], 5);
  close_chain(&chain_);

  open_reader(text_utf8, "UTF-8", 0);
  EXPECT_EQ(read_n(3), (std::vector<uint32_t>{'h', 0xE9, 'l'}));
  ASSERT_EQ(lvio_stream_control_request(&chain_, LVIO_REQUEST_READ_POSITION, where, 0), 0);
  EXPECT_EQ(where[0], 3);
  EXPECT_EQ(where[1], 4);
  // Back to the second character, inside the buffered bytes.
  int reads = device_.reads;
  int64_t target[2] = {1, 1};
  ASSERT_EQ(lvio_stream_control_request(&chain_, LVIO_REQUEST_SET_READ_POSITION, target, 0), 0);
  EXPECT_EQ(read_n(2), (std::vector<uint32_t>{0xE9, 'l'}));
  EXPECT_EQ(device_.reads, reads);
  int64_t negative[2] = {-1, 0};
  EXPECT_EQ(lvio_stream_control_request(&chain_, LVIO_REQUEST_SET_READ_POSITION, negative, 0), LVIO_E_PARAMETER_ERROR);
}

TEST_F(CharCoder, SeeksByCharacters) {
  open_reader("abcdefgh"sv, "ISO-8859-1", 0);
  EXPECT_EQ(read_n(4), (std::vector<uint32_t>{'a', 'b', 'c', 'd'}));
  int reads = device_.reads;
  int64_t position = -1;
  ASSERT_EQ(lvio_stream_seek(&chain_, 4, &position, nullptr, 0x1), 0);  // absolute: character 1
  EXPECT_EQ(position, 4);
  EXPECT_EQ(read_n(1), (std::vector<uint32_t>{'b'}));
  ASSERT_EQ(lvio_stream_seek(&chain_, 8, &position, nullptr, 0x2), 0);  // two characters on
  EXPECT_EQ(position, 16);
  EXPECT_EQ(read_n(1), (std::vector<uint32_t>{'e'}));
  EXPECT_EQ(device_.reads, reads);  // all within the buffered bytes
  struct {
    int64_t offset;
    uint32_t flags;
    lvio_code rc;
  } errors[] =
      {
          {2, 0x1, LVIO_E_GRANULARITY_ERROR}, {0, 0x4, LVIO_E_NOT_SUPPORTED},
          {-40, 0x2, LVIO_E_PARAMETER_ERROR}, {INT64_MAX, 0x2, LVIO_E_PARAMETER_ERROR},
          {400, 0x1, LVIO_E_NOT_SUPPORTED},  // beyond the buffer: the device cannot seek
      };
  for (const auto& e : errors)
    EXPECT_EQ(lvio_stream_seek(&chain_, e.offset, &position, nullptr, e.flags), e.rc) << e.offset << " " << e.flags;
  close_chain(&chain_);
  // A variable-width coder cannot turn characters into bytes, but can tell
  // where it is.
  open_reader(text_utf8, "UTF-8", 0);
  EXPECT_EQ(read_n(2).size(), 2u);
  EXPECT_EQ(lvio_stream_seek(&chain_, -4, &position, nullptr, 0x2), LVIO_E_NOT_SUPPORTED);
  ASSERT_EQ(lvio_stream_seek(&chain_, 0, &position, nullptr, 0x2), 0);
  EXPECT_EQ(position, 8);
}

TEST_F(CharCoder, PopGivesUnreadBytesBack) {
  open_reader(text_utf8, "UTF-8", 0);
  EXPECT_EQ(read_n(2), (std::vector<uint32_t>{'h', 0xE9}));
  ASSERT_EQ(lvio_pop_layer(nullptr, &chain_, 0), 0);
  ASSERT_EQ(chain_->cls, &lvio_simple_device_class);
  lvio_code end;
  EXPECT_EQ(read_all(&chain_, &end), text_utf8.substr(3));
}

TEST_F(CharCoder, ReadSideSyncKeepsThePosition) {
  open_reader("abcdefgh"sv, "ISO-8859-1", 0);
  EXPECT_EQ(read_n(3), (std::vector<uint32_t>{'a', 'b', 'c'}));
  ASSERT_EQ(lvio_stream_sync_all(&chain_, LVIO_OP_READ), 0);  // "defgh" goes back to the device
  int64_t where[2];
  ASSERT_EQ(lvio_stream_control_request(&chain_, LVIO_REQUEST_READ_POSITION, where, 0), 0);
  EXPECT_EQ(where[0], 3);
  EXPECT_EQ(where[1], 3);
  lvio_code end;
  EXPECT_EQ(read_codes(&end), (std::vector<uint32_t>{'d', 'e', 'f', 'g', 'h'}));
  ASSERT_EQ(lvio_stream_control_request(&chain_, LVIO_REQUEST_READ_POSITION, where, 0), 0);
  EXPECT_EQ(where[1], 8);
}

TEST_F(CharCoder, WritesEncodedBytesDown) {
  ASSERT_EQ(device_.open(&chain_, LVIO_DEVICE_BYTES, false, true), 0);
  ASSERT_EQ(push("UTF-16LE", NONE, LVIO_CODER_CREATE_CRLF), 0);
  EXPECT_EQ(chain_->flags, 0x1002Cu);
  uint64_t at;
  ASSERT_EQ(write_codes({'a', '\n'}, 0, &at), 0);
  EXPECT_EQ(at, 8u);
  EXPECT_EQ(device_.output, "");                // still in the layer
  ASSERT_EQ(write_codes({'b'}, 0x10, &at), 0);  // 0x10 hands everything down
  EXPECT_EQ(device_.output, "a\0\r\0\n\0b\0"sv);
  ASSERT_EQ(write_codes({'c'}, 0, &at), 0);
  ASSERT_EQ(lvio_stream_sync_all(&chain_, LVIO_OP_WRITE), 0);
  EXPECT_EQ(device_.output, "a\0\r\0\n\0b\0c\0"sv);
  EXPECT_EQ(layer()->write_position, 16);
  int64_t position = -1;
  ASSERT_EQ(lvio_stream_seek(&chain_, 0, &position, nullptr, 0x2), 0);
  EXPECT_EQ(position, 16);
  EXPECT_EQ(lvio_stream_seek(&chain_, -4, &position, nullptr, 0x2), LVIO_E_NOT_SUPPORTED);
  std::string odd = "abc";
  lvio_buffer b = {reinterpret_cast<uint8_t*>(odd.data()), 3, 3, LVIO_BUFFER_BORROWED | LVIO_BUFFER_CALLER_RECORD};
  at = 0;
  EXPECT_EQ(lvio_stream_write_buffer(&chain_, &b, &at, 0), LVIO_E_GRANULARITY_ERROR);
}

TEST_F(CharCoder, AFailedHandDownIsNotEncodedTwice) {
  ASSERT_EQ(device_.open(&chain_, LVIO_DEVICE_BYTES, false, true), 0);
  ASSERT_EQ(push("UTF-8", NONE, 0), 0);
  device_.fail_next_write = LVIO_E_IO_ERROR;
  uint64_t at;
  EXPECT_EQ(write_codes({'a', 'b', 'c'}, 0x10, &at), LVIO_E_IO_ERROR);
  EXPECT_EQ(at, 12u);  // the code items were taken
  ASSERT_EQ(lvio_stream_sync_all(&chain_, LVIO_OP_WRITE), 0);
  EXPECT_EQ(device_.output, "abc");
}

TEST_F(CharCoder, PushRules) {
  struct {
    bool readable;
    bool writable;
    uint32_t decoder;
    uint32_t encoder;
    uint32_t push_flags;
    lvio_code rc;
    uint32_t flags;
  } cases[] = {
      {true, true, NONE, NONE, 0, LVIO_E_PUSH_ERROR, 0},
      {false, true, 0, NONE, 0, LVIO_E_PARAMETER_ERROR, 0},
      {true, false, NONE, 0, 0, LVIO_E_PARAMETER_ERROR, 0},
      {true, true, 0, 0, LVIO_PUSH_ONE_DIRECTION, LVIO_E_NOT_SUPPORTED, 0},
      {true, true, 0, NONE, LVIO_PUSH_ONE_DIRECTION, 0, 0x2013 | LVIO_LAYER_MOVABLE_BACK},
      {true, true, 0, 0, 0, 0, 0x2013 | 0x1002C},
  };
  for (const auto& c : cases) {
    device_ = MemoryDevice();
    ASSERT_EQ(device_.open(&chain_, LVIO_DEVICE_BYTES, c.readable, c.writable), 0);
    EXPECT_EQ(push("UTF-8", c.decoder, c.encoder, c.push_flags), c.rc);
    if (c.rc == 0) {
      EXPECT_EQ(chain_->flags, c.flags);
    } else {
      EXPECT_EQ(chain_->cls, &lvio_simple_device_class);
    }
    close_chain(&chain_);
  }
  // An encoder given as the decoder is refused too.
  ASSERT_EQ(device_.open(&chain_), 0);
  lvio_t_coder* encoder = make_coder("UTF-8", 0);
  const lvio_option wrong[] = {pointer_option(LVIO_OPTION_READ_CODER, encoder), end_option()};
  EXPECT_EQ(lvio_push_layer(&lvio_char_coder_class, &chain_, wrong, 0), LVIO_E_PARAMETER_ERROR);
  lvio_coder_release(encoder);
}

TEST_F(CharCoder, NamesItsCoders) {
  ASSERT_EQ(device_.open(&chain_), 0);
  ASSERT_EQ(push("latin-1", 0, NONE), 0);
  const char* name = nullptr;
  EXPECT_EQ(lvio_stream_control_request(&chain_, LVIO_REQUEST_CODER_NAME, &name, LVIO_OP_READ), 0);
  EXPECT_STREQ(name, "ISO-8859-1");
  EXPECT_EQ(lvio_stream_control_request(&chain_, LVIO_REQUEST_CODER_NAME, &name, LVIO_OP_WRITE), LVIO_E_NOT_SUPPORTED);
  EXPECT_EQ(lvio_stream_control_request(&chain_, 77, nullptr, 0), LVIO_E_NOT_SUPPORTED);
}

TEST_F(CharCoder, ClosingOneSideKeepsTheOther) {
  ASSERT_EQ(device_.open(&chain_), 0);
  ASSERT_EQ(push("UTF-8", 0, 0), 0);
  ASSERT_EQ(lvio_stream_close(&chain_, LVIO_OP_READ), 0);
  EXPECT_EQ(device_.closed_sides, LVIO_DEVICE_CLOSE_READ);
  EXPECT_EQ(lvio_stream_write_string(&chain_, "x"), LVIO_E_GRANULARITY_ERROR);  // code items are asked for
  uint64_t at;
  ASSERT_EQ(write_codes({0xE9}, 0, &at), 0);
  ASSERT_EQ(lvio_stream_close(&chain_, LVIO_OP_WRITE), 0);
  EXPECT_EQ(chain_, nullptr);
  EXPECT_EQ(device_.output, "\xC3\xA9");
  EXPECT_EQ(device_.closed_sides, LVIO_DEVICE_CLOSE_READ | LVIO_DEVICE_CLOSE_WRITE);
}

}  // namespace
