// Test support: an engine with its atoms and the I/O layer started, and
// every stream closed after the test.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "core/atoms.h"
#include "lvio/initialize.h"
#include "streams/std_streams.h"
#include "streams/stream_api.h"
#include "streams/stream_close.h"
#include "support/engine_fixture.h"
#include "support/temp_files.h"

class StreamTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    lv_atoms_startup();
    ASSERT_EQ(lvio_initialize(nullptr, nullptr, nullptr, 0), 0);
  }
  void TearDown() override {
    lv_stream_close_all_std();
    lv_stream_hooks = {};
    EXPECT_EQ(lvio_initialize(nullptr, nullptr, nullptr, 1), 0);
    EngineTest::TearDown();
  }

  // Every byte (or code) up to the end of the stream.
  static std::string drain_bytes(lv_stream* s) {
    std::string bytes;
    for (int64_t c; (c = lv_get_byte(s)) >= 0;) bytes += static_cast<char>(c);
    return bytes;
  }
  static std::u32string drain_codes(lv_stream* s) {
    std::u32string codes;
    for (int64_t c; (c = lv_get_code(s)) >= 0;) codes += static_cast<char32_t>(c);
    return codes;
  }

  TempFiles dir;
};
