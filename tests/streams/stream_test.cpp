// Binary streams over files and memory, and stream arguments.
#include <gtest/gtest.h>

#include <string>

#include "core/errors.h"
#include "core/predefined_atoms.h"
#include "lvio/result_codes.h"
#include "streams/stream.h"
#include "support/stream_fixture.h"

namespace {

using BinaryStreamTest = StreamTest;

TEST_F(BinaryStreamTest, AFileIsReadAcrossRefillsAndCounted) {
  std::string contents;
  for (int i = 0; i < 200000; i++) contents += static_cast<char>(i * 7);
  dir.file("data.ql", contents);
  lv_stream* s = nullptr;
  ASSERT_EQ(LV_fopen(dir.path("data.ql").c_str(), 0, LV_FOPEN_READ | LV_FOPEN_BINARY, &s), 0);
  EXPECT_STREQ(lv_stream_name(s), dir.path("data.ql").c_str());
  EXPECT_EQ(lv_get_byte(s), 0);
  int64_t items = -1, lines = -1, position = -1;
  ASSERT_EQ(LV_get_stream_counts(s, &items, &lines, &position, 0), 0);
  EXPECT_EQ(items, 1);
  EXPECT_EQ(drain_bytes(s), contents.substr(1));
  // At the end the end of stream counts as one more item.
  ASSERT_EQ(LV_get_stream_counts(s, &items, &lines, &position, 0), 0);
  EXPECT_EQ(items, 200001);
  EXPECT_EQ(lines, 0);
  EXPECT_EQ(lv_get_byte(s), LV_STREAM_END);
  EXPECT_EQ(LV_fclose(s, 0), 2);
  EXPECT_EQ(lv_stream_known(s), nullptr);
}

TEST_F(BinaryStreamTest, OpeningFailsByCode) {
  lv_stream* s = nullptr;
  EXPECT_EQ(LV_fopen(dir.path("absent.ql").c_str(), 0, LV_FOPEN_READ | LV_FOPEN_BINARY, &s), LVIO_E_FILE_NOT_FOUND);
  dir.file("text.pl", "a.");
  // Text wants an encoding argument, and one kind of item.
  EXPECT_EQ(LV_fopen(dir.path("text.pl").c_str(), 0, LV_FOPEN_READ | LV_FOPEN_TEXT, &s), LVIO_E_PARAMETER_ERROR);
  EXPECT_EQ(LV_fopen(dir.path("text.pl").c_str(), 0, LV_FOPEN_READ | LV_FOPEN_TEXT | LV_FOPEN_BINARY, &s),
            LVIO_E_PARAMETER_ERROR);
  EXPECT_EQ(LV_fopen(dir.path("text.pl").c_str(), 0, LV_FOPEN_BINARY, &s), LVIO_E_PARAMETER_ERROR);
  EXPECT_EQ(LV_fopen(dir.path("text.pl").c_str(), 0, LV_FOPEN_WRITE | LV_FOPEN_BINARY | LV_FOPEN_EXCLUSIVE, &s),
            LVIO_E_FILE_EXISTS);
  EXPECT_EQ(LV_next_stream(nullptr, &s), 0);
  EXPECT_EQ(s, nullptr);
}

TEST_F(BinaryStreamTest, AMemoryStreamReadsItsCopy) {
  char bytes[] = {'a', 0, 'b'};
  lv_stream* s = nullptr;
  ASSERT_EQ(lv_open_memory_input(bytes, sizeof bytes, "<memory>", &s), 0);
  bytes[0] = 'z';
  EXPECT_EQ(drain_bytes(s), std::string("a\0b", 3));
  EXPECT_EQ(lv_get_byte_helper(s, 0), LV_STREAM_END);
  EXPECT_EQ(LV_fclose(s, 0), 2);
  ASSERT_EQ(lv_open_memory_input(nullptr, 0, "empty", &s), 0);
  EXPECT_EQ(lv_get_byte(s), LV_STREAM_END);
  EXPECT_EQ(LV_fclose(s, 0), 2);
}

TEST_F(BinaryStreamTest, StreamArgumentsAreCheckedAgainstTheRing) {
  lv_stream* s = nullptr;
  ASSERT_EQ(lv_open_memory_input("x", 1, "m", &s), 0);
  lv_term t = lv_stream_term(s);
  EXPECT_EQ(lv_get_stream_arg(t, LV_CAP_INPUT | LV_CAP_BINARY, 0), s);
  // The wrong capabilities: a permission error on the input side, or quiet.
  EXPECT_EQ(lv_get_stream_arg(t, LV_CAP_INPUT | LV_CAP_TEXT, 0), nullptr);
  EXPECT_EQ(lv_pending_error_code(), 262);
  EXPECT_EQ(lv_get_stream_arg(t, LV_CAP_OUTPUT, 0), nullptr);
  EXPECT_EQ(lv_pending_error_code(), 518);
  EXPECT_EQ(lv_get_stream_arg(t, LV_CAP_INPUT, LV_CAP_BINARY), nullptr);
  lv_set_pending_error(0, "", LV_ATOM_NIL);
  EXPECT_EQ(lv_get_stream_arg(t, LV_CAP_QUIET | LV_CAP_OUTPUT, 0), nullptr);
  EXPECT_EQ(lv_pending_error_code(), 0);
  EXPECT_EQ(LV_fclose(s, 0), 2);
  // A closed stream's handle names no stream for good, also once a new
  // stream has taken the closed one's memory.
  EXPECT_EQ(lv_get_stream_arg(t, LV_CAP_INPUT, 0), nullptr);
  EXPECT_EQ(lv_pending_error_code(), LV_ERROR_NO_SUCH_STREAM);
  lv_stream* next = nullptr;
  ASSERT_EQ(lv_open_memory_input("y", 1, "m", &next), 0);
  EXPECT_NE(lv_stream_term(next), t);
  EXPECT_EQ(lv_get_stream_arg(t, LV_CAP_INPUT, 0), nullptr);
  EXPECT_EQ(lv_get_stream_arg(lv_stream_term(next), LV_CAP_INPUT, 0), next);
  EXPECT_EQ(LV_fclose(next, 0), 2);
  // A term that is no stream at all.
  EXPECT_EQ(lv_get_stream_arg(LV_ATOM_NIL, LV_CAP_INPUT, 0), nullptr);
  EXPECT_EQ(lv_pending_error_code(), LV_ERROR_NOT_A_STREAM);
  // Without standard streams the alias names none.
  EXPECT_EQ(lv_get_stream_arg(LV_ATOM_USER, LV_CAP_INPUT, 0), nullptr);
  EXPECT_EQ(LV_fclose(s, 0), LVIO_E_PARAMETER_ERROR);
}

}  // namespace
