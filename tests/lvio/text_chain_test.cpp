// A whole text chain: a char-coder over the zlib layer over a memory
// device, found by name after the I/O layer has started.
#include <gtest/gtest.h>
#include <zlib.h>

#include "coder_test_support.h"
#include "lvio/char_coder_layer.h"
#include "lvio/initialize.h"
#include "memory_device.h"

namespace {

class TextChain : public testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(lvio_initialize(nullptr, nullptr, nullptr, 0), 0); }
  void TearDown() override {
    close_chain(&chain_);
    EXPECT_EQ(lvio_initialize(nullptr, nullptr, nullptr, 1), 0);
  }

  // Pushes "zlib" and then a char-coder with a UTF-8 coder, line ends "crlf".
  void push_text_layers(bool decoding) {
    ASSERT_EQ(lvio_push_layer_by_name("zlib", &chain_, nullptr, 0), 0);
    lvio_coder_class* cls;
    ASSERT_EQ(lvio_coder_class_open(&cls, "utf8", nullptr, 0), 0);
    lvio_t_coder* coder;
    uint32_t create = LVIO_CODER_CREATE_CRLF | (decoding ? LVIO_CODER_CREATE_DECODER : 0);
    ASSERT_EQ(lvio_coder_create(cls, &coder, nullptr, create), 0);
    lvio_coder_class_unref(cls);
    const lvio_option options[] = {pointer_option(decoding ? LVIO_OPTION_READ_CODER : LVIO_OPTION_WRITE_CODER, coder),
                                   end_option()};
    ASSERT_EQ(lvio_push_layer_by_name("char-coder", &chain_, options, LVIO_PUSH_ONE_DIRECTION), 0);
  }

  MemoryDevice device_;
  lvio_layer* chain_ = nullptr;
};

TEST_F(TextChain, WritesAndReadsBack) {
  std::vector<uint32_t> text;
  for (int line = 0; line < 2000; line++) {
    for (uint32_t cp :
         {uint32_t{'l'}, uint32_t{'i'}, uint32_t{'n'}, uint32_t{'e'}, uint32_t{' '}, 0xE9u, 0x20ACu, 0x1F600u})
      text.push_back(cp);
    text.push_back('\n');
  }
  ASSERT_EQ(device_.open(&chain_, LVIO_DEVICE_BYTES, false, true), 0);
  push_text_layers(false);
  std::string codes = as_bytes(text);
  lvio_buffer b = {reinterpret_cast<uint8_t*>(codes.data()), codes.size(), codes.size(),
                   LVIO_BUFFER_BORROWED | LVIO_BUFFER_CALLER_RECORD};
  uint64_t at = 0;
  ASSERT_EQ(lvio_stream_write_buffer(&chain_, &b, &at, LVIO_OP_WRITE_ALL), 0);
  ASSERT_EQ(lvio_stream_close(&chain_, 0), 0);
  ASSERT_EQ(chain_, nullptr);

  // Independently: the device holds the zlib form of the UTF-8 text with
  // CR LF line ends.
  std::string line = "line \xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\r\n";
  std::string expected;
  for (int i = 0; i < 2000; i++) expected += line;
  std::string plain(expected.size(), '\0');
  uLongf n = plain.size();
  ASSERT_EQ(uncompress(reinterpret_cast<Bytef*>(plain.data()), &n,
                       reinterpret_cast<const Bytef*>(device_.output.data()), device_.output.size()),
            Z_OK);
  EXPECT_TRUE(plain == expected);

  std::string compressed = device_.output;
  device_ = MemoryDevice();
  device_.input = compressed;
  device_.chunk = 100;
  ASSERT_EQ(device_.open(&chain_, LVIO_DEVICE_BYTES, true, false), 0);
  push_text_layers(true);
  lvio_code end;
  EXPECT_TRUE(as_codes(read_all(&chain_, &end)) == text);
  EXPECT_EQ(end, LVIO_E_END_OF_FILE);
}

}  // namespace
