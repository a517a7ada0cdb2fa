// Encoding detection from byte-order marks and "coding:" declarations, over
// a device that takes bytes back.
#include "lvio/encoding_detection.h"

#include <gtest/gtest.h>

#include <string>

#include "lvio/coder.h"
#include "memory_device.h"

namespace {

using namespace std::literals;

// Bytes, detection flags, and the result with the name found.
struct detection_case {
  std::string_view bytes;
  uint32_t flags;
  lvio_code rc;
  const char* name;
};

TEST(DetectBom, Marks) {
  const detection_case cases[] = {
      {"\xFF\xFE\0\0"sv, 0, 0, "UTF-32 LE"},
      {"\0\0\xFE\xFF"sv, 0, 0, "UTF-32 BE"},
      {"\xEF\xBB\xBF\x61"sv, 0, 0, "UTF-8"},
      {"\xFE\xFF"sv, 0, 0, "UTF-16 BE"},
      {"\xFF\xFE\x61\0"sv, 0, 0, "UTF-16 LE"},
      {"\xFF\xFE"sv, 0, LVIO_E_NOT_ENOUGH_DATA, nullptr},
      {"\xFF\xFE"sv, LVIO_DETECT_INPUT_ENDED, 0, "UTF-16 LE"},
      {"\xFF\xFE\0"sv, 0, LVIO_E_NOT_ENOUGH_DATA, nullptr},
      {"\xEF\xBB"sv, 0, LVIO_E_NOT_ENOUGH_DATA, nullptr},
      {"\xEF\xBB"sv, LVIO_DETECT_INPUT_ENDED, 1, nullptr},
      {"abcd"sv, 0, 1, nullptr},
      {""sv, LVIO_DETECT_INPUT_ENDED, 1, nullptr},
  };
  for (const auto& c : cases) {
    lvio_span span = {reinterpret_cast<const uint8_t*>(c.bytes.data()), c.bytes.size()};
    const char* name = nullptr;
    EXPECT_EQ(lvio_detect_bom(&span, &name, c.flags), c.rc) << c.bytes.size();
    if (c.name != nullptr) {
      EXPECT_STREQ(name, c.name);
    }
  }
}

class Detection : public testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(lvio_coder_module(0), 0); }
  void TearDown() override {
    close_chain(&chain_);
    EXPECT_EQ(lvio_coder_module(1), 0);
  }

  // Detection over a movable device holding the bytes, delivered in chunks;
  // the device must then deliver every byte again from the start.
  lvio_code detect(std::string_view bytes, size_t chunk, uint32_t flags, std::string* name) {
    device_ = MemoryDevice();
    device_.input = bytes;
    device_.chunk = chunk;
    EXPECT_EQ(device_.open(&chain_), 0);
    lvio_chain_set_flags(&chain_, LVIO_LAYER_MOVABLE_BACK, 0);
    lvio_coder_class* cls = nullptr;
    lvio_code rc = lvio_detect_encoding(&chain_, &cls, flags);
    if (rc == 0) {
      *name = cls->name;
      lvio_coder_class_unref(cls);
    }
    lvio_code end;
    EXPECT_EQ(read_all(&chain_, &end), bytes);
    EXPECT_EQ(end, LVIO_E_END_OF_FILE);
    close_chain(&chain_);
    return rc;
  }

  MemoryDevice device_;
  lvio_layer* chain_ = nullptr;
};

TEST_F(Detection, FindsMarksAndDeclarationsAndGivesTheBytesBack) {
  const std::string long_line = "% " + std::string(1100, 'x') + " -*- coding: latin-1 -*-\n";
  const detection_case cases[] = {
      {"\xFF\xFE\0\0A\0\0\0"sv, 0, 0, "UTF-32LE"},
      {"\xFF\xFE"sv, 0, 0, "UTF-16LE"},  // a two-byte file: the input has ended
      {"\xEF\xBB\xBF\x61\x62\x63"sv, 0, 0, "UTF-8"},
      {"% -*- coding: ISO-8859-15 -*-\nfoo.\n"sv, 0, 0, "ISO-8859-15"},
      {"\r\n%% -*- mode: prolog; coding:\tlatin-1 -*-\n"sv, 0, 0, "ISO-8859-1"},
      {"% -*- mode: prolog -*- text -*- coding: utf-8 -*-"sv, 0, 0, "UTF-8"},
      {"% -*- encoding: utf-8 -*-\n"sv, 0, 1, nullptr},
      {"% -*-coding: utf-8-*-"sv, 0, 0, "UTF-8"},
      {"% -*- coding: utf-8\n -*-"sv, 0, 1, nullptr},  // the pair must be on the first line
      {"first\n% -*- coding: utf-8 -*-\n"sv, 0, 1, nullptr},
      {"% -*- coding: koi8-r -*-\n"sv, 0, LVIO_E_CHARSET_NOT_FOUND, nullptr},
      {"% -*- coding: koi8-r -*-\n"sv, LVIO_DETECT_SKIP_UNKNOWN, 1, nullptr},
      {"% -*- coding: -*-\n"sv, 0, LVIO_E_SYNTAX_ERROR, nullptr},
      {"% -*- coding: utf-8 -*-\n"sv, LVIO_DETECT_FIXED_WIDTH, LVIO_E_SEEK_ERROR, nullptr},
      {"% -*- coding: latin-2 -*-\n"sv, LVIO_DETECT_FIXED_WIDTH, 0, "ISO-8859-2"},
      {"plain text\n"sv, 0, 1, nullptr},
      {"ab"sv, 0, 1, nullptr},
      {""sv, 0, 1, nullptr},
      {long_line, 0, 1, nullptr},  // beyond the first 1024 bytes
  };
  for (size_t chunk : {size_t{1}, size_t{3}, SIZE_MAX}) {
    for (const auto& c : cases) {
      std::string name;
      EXPECT_EQ(detect(c.bytes, chunk, c.flags, &name), c.rc) << c.bytes << " chunk " << chunk;
      if (c.name != nullptr) {
        EXPECT_EQ(name, c.name) << c.bytes;
      }
    }
  }
}

TEST_F(Detection, AChainThatCannotMoveBackIsNotRead) {
  device_.input = "\xEF\xBB\xBF";
  ASSERT_EQ(device_.open(&chain_), 0);
  lvio_coder_class* cls;
  EXPECT_EQ(lvio_detect_encoding(&chain_, &cls, 0), 1);
  EXPECT_EQ(device_.reads, 0);
}

}  // namespace
