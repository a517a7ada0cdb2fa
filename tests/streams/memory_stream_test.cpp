// Memory streams: text written through a coder into a memory buffer and
// read back through the same coder, streams over C strings and over code
// items, and the buffers they own or adopt.
#include "streams/memory_stream.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "core/memory.h"
#include "lvio/buffer.h"
#include "lvio/chain.h"
#include "lvio/coder.h"
#include "streams/stream_open.h"
#include "support/stream_fixture.h"

namespace {

class MemoryStreamTest : public StreamTest {};

// A text stream over a memory device on the test's buffer, through a coder
// of the named encoding in one direction.
lv_stream* coded_memory_stream(lvio_buffer* buffer, const char* encoding, bool output) {
  lvio_layer* chain = nullptr;
  uint32_t device = LV_MEMORY_BYTE_ITEMS | (output ? LV_MEMORY_WRITABLE : LV_MEMORY_READABLE);
  EXPECT_EQ(lv_memory_device_create(&chain, buffer, nullptr, nullptr, device), 0);
  lvio_coder_class* cls = nullptr;
  EXPECT_GE(lvio_coder_class_open(&cls, encoding, nullptr, 0), 0) << encoding;
  uint32_t word = output ? LV_CODER_OUTPUT | LV_CODER_OUT_LF : LV_CODER_INPUT | LV_CODER_IN_LF;
  EXPECT_GE(lv_make_coded_stream(&chain, output ? nullptr : cls, output ? cls : nullptr, word), 0);
  lvio_coder_class_unref(cls);
  lv_stream* s = nullptr;
  EXPECT_EQ(lv_make_stream_from_layers(chain, &s, LV_MAKE_TEXT | (output ? LV_MAKE_OUTPUT : LV_MAKE_INPUT)), 0);
  return s;
}

TEST_F(MemoryStreamTest, TextWrittenAndReadBackInSeveralEncodings) {
  struct Case {
    const char* encoding;
    std::u32string text;
    size_t bytes;  // what the encoding makes of it
  };
  const Case cases[] = {
      {"UTF-8", U"gr\u00fc\u00dfe \u20ac\U0001F600\nzwei", 20},
      {"UTF-16LE", U"a\u00e9\n\U0001F600", 10},
      {"UTF-16BE", U"x\u4e2dy", 6},
      {"ISO-8859-1", U"caf\u00e9\n\u00ff", 6},
      {"UTF-8", U"", 0},
  };
  for (const Case& c : cases) {
    lvio_buffer* buffer = lvio_buffer_create(nullptr, 0, 0);
    ASSERT_NE(buffer, nullptr);
    lv_stream* out = coded_memory_stream(buffer, c.encoding, true);
    ASSERT_NE(out, nullptr);
    for (char32_t code : c.text) ASSERT_GE(lv_put_code(out, code), 0);
    EXPECT_GE(LV_fclose(out, 0), 0);
    EXPECT_EQ(buffer->used, c.bytes) << c.encoding;
    lv_stream* in = coded_memory_stream(buffer, c.encoding, false);
    ASSERT_NE(in, nullptr);
    EXPECT_EQ(drain_codes(in), c.text) << c.encoding;
    EXPECT_GE(LV_fclose(in, 0), 0);
    lvio_buffer_free(buffer);  // the devices did not own it
  }
}

TEST_F(MemoryStreamTest, StreamFromStringDecodesUtf8) {
  lv_stream* s = nullptr;
  ASSERT_EQ(lv_stream_from_string("f(\xc3\xa9, \xe2\x82\xac).", &s), 1);
  EXPECT_EQ(drain_codes(s), U"f(\u00e9, \u20ac).");
  EXPECT_GE(LV_fclose(s, 0), 0);
  ASSERT_EQ(lv_stream_from_string("", &s), 1);
  EXPECT_LT(lv_get_code(s), 0);
  EXPECT_GE(LV_fclose(s, 0), 0);
  EXPECT_EQ(lv_stream_from_string(nullptr, &s), 0);
}

TEST_F(MemoryStreamTest, CodeItemStreamsReadCopiedAndAdoptedCodes) {
  const uint32_t codes[] = {'a', 0x20ac, 0x1F600, '\n'};
  for (bool adopt : {false, true}) {
    void* bytes = const_cast<uint32_t*>(codes);
    if (adopt) {
      bytes = LV_malloc(sizeof codes);
      ASSERT_NE(bytes, nullptr);
      std::memcpy(bytes, codes, sizeof codes);
    }
    lv_stream* s = nullptr;
    uint32_t options = LV_FROM_MEMORY_READ | (adopt ? LV_FROM_MEMORY_ADOPT : 0);
    ASSERT_EQ(lv_stream_from_memory(bytes, sizeof codes, &s, options), 0);
    EXPECT_EQ(drain_codes(s), U"a\u20ac\U0001F600\n");
    EXPECT_EQ(LV_fclose(s, 0), 2);  // an adopted block is freed here (the leak check sees it)
  }
  lv_stream* s = nullptr;
  EXPECT_EQ(lv_stream_from_memory(nullptr, 0, &s, 0), LVIO_E_PARAMETER_ERROR);
  EXPECT_EQ(lv_stream_from_memory(nullptr, -4, &s, LV_FROM_MEMORY_READ), LVIO_E_PARAMETER_ERROR);
}

TEST_F(MemoryStreamTest, WriteOnlyStreamHasNoReadSideAndFreesItsBuffer) {
  lv_stream* s = nullptr;
  ASSERT_EQ(lv_stream_from_memory(nullptr, 0, &s, LV_FROM_MEMORY_WRITE), 0);
  EXPECT_EQ(s->flags & LV_STREAM_INPUT, 0u);
  EXPECT_NE(s->flags & LV_STREAM_OUTPUT, 0u);
  EXPECT_EQ(LV_put_codes(s, reinterpret_cast<const uint32_t*>(U"hello"), 5, 0), 0);
  EXPECT_EQ(LV_fclose(s, 0), 2);
}

TEST_F(MemoryStreamTest, ReadWriteStreamReadsWhatWasWritten) {
  lv_stream* s = nullptr;
  ASSERT_EQ(lv_stream_from_memory(nullptr, 0, &s, LV_FROM_MEMORY_READ | LV_FROM_MEMORY_WRITE), 0);
  EXPECT_EQ(LV_put_codes(s, reinterpret_cast<const uint32_t*>(U"x\u00e9"), 2, 0), 0);
  EXPECT_EQ(LV_flush_output(s, 0), 0);
  EXPECT_EQ(lv_get_code(s), 'x');
  EXPECT_EQ(lv_get_code(s), 0xe9);
  EXPECT_LT(lv_get_code(s), 0);
  EXPECT_EQ(LV_fclose(s, 0), 2);
}

}  // namespace
