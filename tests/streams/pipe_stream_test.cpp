// In-process pipe streams: data across threads, text through coders, end
// of file and would-block on an empty pipe, and writes once the reading end
// is gone.
#include "streams/pipe_stream.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "lvio/chain.h"
#include "lvio/event.h"
#include "streams/stream_open.h"
#include "support/stream_fixture.h"

namespace {

class PipeStreamTest : public StreamTest {
 protected:
  // The bytes that can be read without waiting.
  static std::string drain_bytes_available(lv_stream* s) {
    std::string bytes;
    for (int64_t c; (c = lv_get_byte_helper(s, LV_GET_NO_WAIT | LV_GET_RETURN_ON_INTERRUPT)) >= 0;)
      bytes += static_cast<char>(c);
    return bytes;
  }
};

TEST_F(PipeStreamTest, BytesWrittenOnOneThreadAreReadOnAnother) {
  lv_stream* in = nullptr;
  lv_stream* out = nullptr;
  ASSERT_EQ(lv_open_pipe_streams(nullptr, &in, nullptr, &out, 0), 0);
  std::string expected;
  for (int i = 0; i < 300; i++) expected += "line " + std::to_string(i) + std::string(i % 37, 'x') + "\n";
  std::string received;
  std::thread reader([&] {
    // Blocks whenever the writer has not caught up yet.
    while (received.size() < expected.size()) {
      int64_t c = lv_get_byte(in);
      if (c < 0) break;
      received += static_cast<char>(c);
    }
  });
  for (size_t at = 0; at < expected.size(); at += 101) {
    size_t n = std::min<size_t>(101, expected.size() - at);
    ASSERT_EQ(LV_put_bytes(out, reinterpret_cast<const uint8_t*>(expected.data() + at), n, 0), 0);
    ASSERT_EQ(LV_flush_output(out, 0), 0);
  }
  reader.join();
  EXPECT_EQ(received, expected);
  EXPECT_EQ(LV_fclose(out, 0), 2);
  EXPECT_EQ(lv_get_byte(in), LV_STREAM_END);
  EXPECT_EQ(LV_fclose(in, 0), 2);
}

TEST_F(PipeStreamTest, TextEndsCodeThroughTheirEncodings) {
  struct Case {
    const char* in;
    const char* out;
  };
  for (const Case& c : {Case{"UTF-8", "UTF-8"}, Case{"UTF-16LE", "UTF-16LE"}, Case{"ISO-8859-1", "ISO-8859-1"}}) {
    lv_stream* in = nullptr;
    lv_stream* out = nullptr;
    ASSERT_EQ(lv_open_pipe_streams(c.in, &in, c.out, &out, 0), 0) << c.in;
    EXPECT_NE(in->flags & LV_STREAM_TEXT, 0u);
    const std::u32string text = U"caf\u00e9\nna\u00efve\n";
    for (char32_t code : text) ASSERT_GE(lv_put_code(out, code), 0);
    EXPECT_EQ(LV_fclose(out, 0), 2);
    EXPECT_EQ(drain_codes(in), text) << c.in;
    EXPECT_EQ(LV_fclose(in, 0), 2);
  }
  // A text reading end over a binary writing end decodes the bytes written.
  lv_stream* in = nullptr;
  lv_stream* out = nullptr;
  ASSERT_EQ(lv_open_pipe_streams("UTF-8", &in, nullptr, &out, 0), 0);
  EXPECT_NE(out->flags & LV_STREAM_BINARY, 0u);
  ASSERT_EQ(LV_put_bytes(out, reinterpret_cast<const uint8_t*>("\xe2\x82\xac!"), 4, 0), 0);
  EXPECT_EQ(LV_fclose(out, 0), 2);
  EXPECT_EQ(drain_codes(in), U"\u20ac!");
  EXPECT_EQ(LV_fclose(in, 0), 2);
}

TEST_F(PipeStreamTest, EmptyPipeWouldBlockUntilTheWriterClosesThenEnds) {
  lvio_layer* reading = nullptr;
  lvio_layer* writing = nullptr;
  ASSERT_EQ(lv_pipe_create(&reading, &writing), 0);
  lvio_event* ready = nullptr;
  ASSERT_EQ(lvio_stream_control_request(&reading, LVIO_REQUEST_READ_EVENT, &ready, 0), 0);
  EXPECT_EQ(lvio_event_wait_one(ready), 0);
  lv_stream* in = nullptr;
  ASSERT_EQ(lv_make_stream_from_layers(reading, &in, LV_MAKE_INPUT | LV_MAKE_BINARY), 0);
  EXPECT_EQ(lv_get_byte_helper(in, LV_GET_NO_WAIT | LV_GET_RETURN_ON_INTERRUPT), LVIO_E_WOULD_BLOCK);
  lv_stream* out = nullptr;
  ASSERT_EQ(lv_make_stream_from_layers(writing, &out, LV_MAKE_OUTPUT | LV_MAKE_BINARY), 0);
  ASSERT_EQ(LV_put_bytes(out, reinterpret_cast<const uint8_t*>("ab"), 2, 0), 0);
  ASSERT_EQ(LV_flush_output(out, 0), 0);
  EXPECT_EQ(lvio_event_wait_one(ready), 1);  // something to read
  int64_t size = -1;
  ASSERT_EQ(lvio_stream_control_request(&in->chain, LVIO_REQUEST_SIZE, &size, 0), 0);
  EXPECT_EQ(size, 2);
  EXPECT_EQ(drain_bytes_available(in), "ab");
  EXPECT_EQ(lvio_event_wait_one(ready), 0);  // drained, writer still open
  EXPECT_EQ(LV_fclose(out, 0), 2);
  EXPECT_EQ(lvio_event_wait_one(ready), 1);  // the end is ready to be read
  EXPECT_EQ(lv_get_byte(in), LV_STREAM_END);
  EXPECT_EQ(LV_fclose(in, 0), 2);
}

TEST_F(PipeStreamTest, WritingAfterTheReaderClosedIsEndOfFile) {
  lv_stream* in = nullptr;
  lv_stream* out = nullptr;
  ASSERT_EQ(lv_open_pipe_streams(nullptr, &in, nullptr, &out, 0), 0);
  EXPECT_EQ(LV_fclose(in, 0), 2);
  ASSERT_EQ(LV_put_bytes(out, reinterpret_cast<const uint8_t*>("x"), 1, 0), 0);  // buffered
  EXPECT_EQ(LV_flush_output(out, 0), LVIO_E_END_OF_FILE);
  EXPECT_EQ(LV_fclose(out, LV_CLOSE_FORCE), 2);
}

TEST_F(PipeStreamTest, StandardAndInteractiveOptionsReachBothStreams) {
  lv_stream* in = nullptr;
  lv_stream* out = nullptr;
  ASSERT_EQ(lv_open_pipe_streams(nullptr, &in, "UTF-8", &out, LV_PIPE_STANDARD | LV_PIPE_INTERACTIVE), 0);
  for (lv_stream* s : {in, out}) {
    EXPECT_NE(s->flags & LV_STREAM_STANDARD, 0u);
    EXPECT_NE(s->flags & LV_STREAM_INTERACTIVE, 0u);
  }
  EXPECT_EQ(LV_fclose(out, LV_CLOSE_REPLACE), 2);
  EXPECT_EQ(LV_fclose(in, LV_CLOSE_REPLACE), 2);
  EXPECT_EQ(lv_open_pipe_streams("no-such-encoding", &in, nullptr, &out, 0) < 0, true);
}

}  // namespace
