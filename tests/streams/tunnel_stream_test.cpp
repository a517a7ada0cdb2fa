// Output tunnels: the escaped lines they put on the carrier, decoding them
// back, flushing and closing, and a carrier that goes away.
#include "streams/tunnel_stream.h"

#include <gtest/gtest.h>

#include <string>

#include "lvio/buffer.h"
#include "streams/pipe_stream.h"
#include "support/stream_fixture.h"

namespace {

class TunnelStreamTest : public StreamTest {
 protected:
  void SetUp() override {
    StreamTest::SetUp();
    ASSERT_EQ(lv_open_pipe_streams(nullptr, &far_end, nullptr, &carrier, 0), 0);
  }
  // What the carrier has buffered and not yet written.
  std::string carrier_buffered() const {
    if (carrier->write_buffer == nullptr) return "";
    const char* data = reinterpret_cast<const char*>(carrier->write_buffer->data);
    return std::string(data, reinterpret_cast<const char*>(carrier->byte_write_cursor) - data);
  }
  // What reached the far end of the carrier.
  std::string received() {
    std::string bytes;
    for (int64_t c; (c = lv_get_byte_helper(far_end, LV_GET_NO_WAIT | LV_GET_RETURN_ON_INTERRUPT)) >= 0;)
      bytes += static_cast<char>(c);
    return bytes;
  }
  static void put(lv_stream* s, const std::string& bytes) {
    ASSERT_EQ(LV_put_bytes(s, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), 0), 0);
  }
  lv_stream* far_end = nullptr;
  lv_stream* carrier = nullptr;
};

TEST_F(TunnelStreamTest, AWriteBecomesOneEscapedLineInTheCarriersBuffer) {
  lv_stream* t = nullptr;
  ASSERT_EQ(lv_open_tunnel_output(carrier, "c1", &t, LV_TUNNEL_BINARY), 0);
  put(t, "a\nb");
  ASSERT_EQ(lv_stream_write_buffer(t, 0), 0);
  EXPECT_EQ(carrier_buffered(), std::string("TUNNEL APPEND c1 a\0b\n", 21));
  EXPECT_EQ(received(), "");  // the carrier was not flushed
  EXPECT_EQ(LV_fclose(t, 0), 2);  // closing flushes the carrier
  EXPECT_EQ(received(), std::string("TUNNEL APPEND c1 a\0b\n", 21));
}

TEST_F(TunnelStreamTest, TextTunnelLinesDecodeBackToTheUtf8Written) {
  lv_stream* t = nullptr;
  ASSERT_EQ(lv_open_tunnel_output(carrier, "user_error.2", &t, 0), 0);
  EXPECT_NE(t->flags & LV_STREAM_TEXT, 0u);
  const std::u32string text(U"x\u0000\u0001\r\n\u20ac", 6);
  for (char32_t c : text) ASSERT_GE(lv_put_code(t, c), 0);
  ASSERT_EQ(LV_flush_output(t, 0), 0);
  // The data of every line (the stream may flush at its line end), decoded.
  std::string lines = received();
  std::string decoded;
  const std::string prefix = "TUNNEL APPEND user_error.2 ";
  for (size_t at = 0; at < lines.size();) {
    size_t end = lines.find('\n', at);
    ASSERT_NE(end, std::string::npos);
    ASSERT_EQ(lines.compare(at, prefix.size(), prefix), 0) << lines;
    std::string data = lines.substr(at + prefix.size(), end - at - prefix.size());
    int64_t n = lv_tunnel_decode(reinterpret_cast<uint8_t*>(data.data()), static_cast<int64_t>(data.size()));
    ASSERT_GE(n, 0);
    decoded += data.substr(0, n);
    at = end + 1;
  }
  EXPECT_EQ(decoded, std::string("x\0\1\r\n\xe2\x82\xac", 8));
  EXPECT_EQ(LV_fclose(t, 0), 2);
}

TEST_F(TunnelStreamTest, DecodingRefusesBadEscapes) {
  struct Case {
    std::string in;
    int64_t result;
    std::string out;
  };
  const Case cases[] = {
      {std::string("\1\1\1\2\1\3\0z", 8), 5, std::string("\1\0\r\nz", 5)},
      {"plain", 5, "plain"},
      {"", 0, ""},
      {"\1\4", LVIO_E_ENCODING_INVALID, ""},
      {"ab\1", LVIO_E_NOT_ENOUGH_DATA, ""},
  };
  for (const Case& c : cases) {
    std::string data = c.in;
    int64_t n = lv_tunnel_decode(reinterpret_cast<uint8_t*>(data.data()), static_cast<int64_t>(data.size()));
    EXPECT_EQ(n, c.result);
    if (n >= 0) {
      EXPECT_EQ(data.substr(0, n), c.out);
    }
  }
}

TEST_F(TunnelStreamTest, ATunnelWhoseCarrierIsGoneAnswersEndOfFile) {
  lv_stream* t = nullptr;
  ASSERT_EQ(lv_open_tunnel_output(carrier, "c", &t, LV_TUNNEL_BINARY), 0);
  EXPECT_EQ(LV_fclose(carrier, 0), 2);
  carrier = nullptr;
  put(t, "late");
  EXPECT_EQ(LV_flush_output(t, 0), LVIO_E_END_OF_FILE);
  EXPECT_EQ(LV_fclose(t, 0), LVIO_E_END_OF_FILE);  // reported, and the stream let go: its carrier is gone
  EXPECT_EQ(lv_stream_known(t), nullptr);
}

TEST_F(TunnelStreamTest, CarrierMustBeABinaryOutputAndTheChannelNamed) {
  lv_stream* t = nullptr;
  EXPECT_EQ(lv_open_tunnel_output(nullptr, "c", &t, 0), LVIO_E_PARAMETER_ERROR);
  EXPECT_EQ(lv_open_tunnel_output(carrier, nullptr, &t, 0), LVIO_E_PARAMETER_ERROR);
  lvio_layer* chain = nullptr;
  EXPECT_EQ(lv_tunnel_layer_create(carrier, "c", &chain, 0), LVIO_E_PARAMETER_ERROR);
  // A reading stream as carrier: the tunnel finds no live output and ends.
  ASSERT_EQ(lv_open_tunnel_output(far_end, "c", &t, LV_TUNNEL_BINARY), 0);
  put(t, "x");
  EXPECT_EQ(LV_flush_output(t, 0), LVIO_E_END_OF_FILE);
  EXPECT_EQ(LV_fclose(t, LV_CLOSE_FORCE), 2);
}

}  // namespace
