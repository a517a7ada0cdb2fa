// Streams over callbacks, handles and files: end-of-stream actions, writing
// and its failures, repositioning, closing, selecting and idle hooks.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "core/atoms.h"
#include "core/error_codes.h"
#include "core/errors.h"
#include "lvio/allocator.h"
#include "lvio/eventually.h"
#include "lvio/result_codes.h"
#include "streams/stream.h"
#include "streams/stream_internal.h"
#include "streams/stream_layers.h"
#include "support/stream_fixture.h"

namespace {

// A device of the test: reads hand out the scripted results in turn (a
// text to deliver, or an end of file), writes collect what they are given.
struct Script {
  Script() = default;
  explicit Script(std::vector<std::string> r) : reads(std::move(r)) {}
  std::vector<std::string> reads;
  size_t next = 0;
  std::string written;
  int closes = 0;
};

const char script_tag = 0;

int64_t script_read(void* user, void* destination, uint64_t* size, uint32_t options) {
  auto* s = static_cast<Script*>(user);
  if (s->next == s->reads.size()) return (options & LVIO_DEVICE_NO_WAIT) != 0 ? LVIO_E_WOULD_BLOCK : LVIO_E_END_OF_FILE;
  std::string item = s->reads[s->next++];
  if (item.empty()) {
    *size = 0;
    return LVIO_E_END_OF_FILE;
  }
  std::memcpy(destination, item.data(), item.size());
  *size = item.size();
  return 0;
}

int64_t script_write(void* user, const void* source, uint64_t* size, uint32_t) {
  static_cast<Script*>(user)->written.append(static_cast<const char*>(source), *size);
  return 0;
}

int64_t script_close(void** user, uint32_t, int) {
  static_cast<Script*>(*user)->closes++;
  *user = nullptr;
  return 0;
}

class StreamIoTest : public StreamTest {
 protected:
  lv_stream* create(Script* script, uint32_t options, bool reads = true, bool writes = false) {
    lv_stream* s = nullptr;
    EXPECT_EQ(LV_create_stream(script, &script_tag, reads ? script_read : nullptr, writes ? script_write : nullptr,
                               nullptr, nullptr, script_close, nullptr, nullptr, nullptr, options, &s),
              0);
    return s;
  }
  std::string contents(const std::string& name) {
    std::ifstream in(dir.path(name), std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
  }
};

TEST_F(StreamIoTest, EndOfStreamActions) {
  // Error: the first read at the end sets at end, the second past end.
  Script error({"a", ""});
  lv_stream* s = create(&error, LV_CREATE_BYTES);
  EXPECT_EQ(lv_get_byte(s), 'a');
  EXPECT_EQ(lv_get_byte(s), LV_STREAM_END);
  EXPECT_EQ(s->flags & (LV_STREAM_AT_END | LV_STREAM_PAST_END), LV_STREAM_AT_END);
  EXPECT_EQ(lv_get_byte(s), LV_STREAM_END);
  EXPECT_NE(s->flags & LV_STREAM_PAST_END, 0u);
  // End code: every read at the end gives the end again, never past it.
  Script code({"a", ""});
  s = create(&code, LV_CREATE_BYTES | LV_CREATE_END_CODE);
  EXPECT_EQ(lv_get_byte(s), 'a');
  for (int i = 0; i < 3; i++) EXPECT_EQ(lv_get_byte(s), LV_STREAM_END);
  EXPECT_EQ(s->flags & LV_STREAM_PAST_END, 0u);
  // Reset: a read after the end reads the device again.
  Script reset({"a", "", "b", ""});
  s = create(&reset, LV_CREATE_BYTES | LV_CREATE_END_RESET);
  EXPECT_EQ(lv_get_byte(s), 'a');
  EXPECT_EQ(lv_get_byte(s), LV_STREAM_END);
  EXPECT_EQ(lv_get_byte(s), 'b');
  EXPECT_EQ(lv_get_byte(s), LV_STREAM_END);
  EXPECT_EQ(LV_fclose(const_cast<char*>(&script_tag), LV_CLOSE_USER_CLASS), 0);
  EXPECT_EQ(error.closes + code.closes + reset.closes, 3);
}

TEST_F(StreamIoTest, CodeDevicesDeliverOneItemPerRefill) {
  Script codes;
  for (char32_t c : std::u32string(U"a\u00e9\n"))
    codes.reads.push_back(std::string(reinterpret_cast<const char*>(&c), 4));
  lv_stream* s = create(&codes, LV_CREATE_CODES);
  EXPECT_EQ(lv_get_code(s), 'a');
  EXPECT_EQ(lv_get_code(s), 0xE9);
  // The last item of the previous buffer is kept for a push-back.
  EXPECT_EQ(LV_unget_code(s, 0xE9), 0);
  EXPECT_EQ(lv_get_code(s), 0xE9);
  EXPECT_EQ(lv_get_code(s), '\n');
  EXPECT_EQ(lv_get_code(s), LV_STREAM_END);
  EXPECT_EQ(LV_fclose(s, 0), 2);
}

TEST_F(StreamIoTest, CreateStreamChecksItsArguments) {
  Script script;
  lv_stream* s = nullptr;
  EXPECT_EQ(LV_create_stream(&script, &script_tag, script_read, nullptr, nullptr, nullptr, script_close, nullptr,
                             nullptr, nullptr, LV_CREATE_BYTES | LV_CREATE_CODES, &s),
            LVIO_E_PARAMETER_ERROR);
  EXPECT_EQ(LV_create_stream(&script, &script_tag, nullptr, nullptr, nullptr, nullptr, script_close, nullptr, nullptr,
                             nullptr, LV_CREATE_BYTES, &s),
            LVIO_E_PARAMETER_ERROR);
  EXPECT_EQ(LV_create_stream(nullptr, &script_tag, script_read, nullptr, nullptr, nullptr, script_close, nullptr,
                             nullptr, nullptr, LV_CREATE_BYTES, &s),
            LVIO_E_PARAMETER_ERROR);
  s = create(&script, LV_CREATE_BYTES, true, true);
  void* data = nullptr;
  EXPECT_EQ(LV_get_stream_user_data(s, &script_tag, &data), 0);
  EXPECT_EQ(data, &script);
  EXPECT_EQ(LV_get_stream_user_data(s, &data, &data), LVIO_E_NOT_FOUND);
  EXPECT_EQ(LV_get_stream_counts(s, nullptr, nullptr, nullptr, 2), LVIO_E_NOT_SUPPORTED);
  EXPECT_EQ(LV_fclose(s, 0), 2);
}

TEST_F(StreamIoTest, PutBytesBeyondTheBufferKeepsEverything) {
  Script out;
  lv_stream* s = create(&out, LV_CREATE_BYTES, false, true);
  std::string big(200000, 'z');
  for (size_t i = 0; i < big.size(); i++) big[i] = static_cast<char>('a' + i % 26);
  ASSERT_EQ(lv_put_byte_helper(s, '<', 0), '<');
  ASSERT_EQ(LV_put_bytes(s, reinterpret_cast<const uint8_t*>(big.data()), static_cast<int64_t>(big.size()), 0), 0);
  ASSERT_EQ(lv_put_byte(s, '>'), '>');
  EXPECT_EQ(LV_flush_output(s, 0), 0);
  EXPECT_EQ(out.written, "<" + big + ">");
  int64_t items = 0;
  ASSERT_EQ(LV_get_stream_counts(s, &items, nullptr, nullptr, 2), 0);
  EXPECT_EQ(items, static_cast<int64_t>(big.size() + 2));
  EXPECT_EQ(LV_put_bytes(s, nullptr, -1, 0), LVIO_E_OUT_OF_MEMORY);
  EXPECT_EQ(lv_get_byte_helper(s, 0), LVIO_E_NOT_READ);
  EXPECT_EQ(LV_put_codes(s, nullptr, 1, 0), LVIO_E_GRANULARITY_ERROR);
  EXPECT_EQ(LV_fclose(s, 0), 2);
}

TEST_F(StreamIoTest, EncodedStringsAndFormattedText) {
  Script out;
  lv_stream* s = create(&out, LV_CREATE_CODES, false, true);
  EXPECT_EQ(LV_put_encoded_string(s, "a\xC3\xA9", 0), 0);
  EXPECT_EQ(LV_put_encoded_string(s, "", 0), 0);
  // A bad sequence adds nothing.
  EXPECT_LT(LV_put_encoded_string(s, "b\xC3", 0), 0);
  std::string long_text(3000, 'q');
  for (size_t length : {2047u, 2048u, 3000u})
    EXPECT_EQ(LV_fprintf(s, "%s", long_text.substr(0, length).c_str()), 0);
  EXPECT_EQ(LV_fprintf(s, "<%d>", 42), 0);
  EXPECT_EQ(LV_flush_output(s, 0), 0);
  ASSERT_EQ(out.written.size() % 4, 0u);
  std::u32string codes(reinterpret_cast<const char32_t*>(out.written.data()), out.written.size() / 4);
  std::u32string expected = U"a\u00e9" + std::u32string(2047 + 2048 + 3000, U'q') + U"<42>";
  EXPECT_EQ(codes, expected);
  EXPECT_EQ(LV_fclose(s, 0), 2);
}

TEST_F(StreamIoTest, TheNullStreamDiscardsAndCounts) {
  lv_stream* n = lv_null_stream();
  ASSERT_NE(n, nullptr);
  EXPECT_EQ(LV_put_encoded_string(n, "ab\nc", 0), 0);
  EXPECT_EQ(LV_flush_output(n, 0), 0);
  int64_t items, lines, position;
  ASSERT_EQ(LV_get_stream_counts(n, &items, &lines, &position, 0), 0);
  EXPECT_EQ(lines, 1);
  EXPECT_EQ(position, 1);
  EXPECT_EQ(lv_get_code(n), LV_STREAM_END);
  // Asked for again, it starts afresh; enumeration never shows it.
  EXPECT_EQ(lv_null_stream(), n);
  ASSERT_EQ(LV_get_stream_counts(n, &items, &lines, &position, 2), LVIO_E_NOT_SUPPORTED);
  EXPECT_EQ(n->line_count, 0);
  lv_stream* next = nullptr;
  EXPECT_EQ(LV_next_stream(nullptr, &next), 0);
  EXPECT_EQ(next, nullptr);
}

TEST_F(StreamIoTest, StreamsAreEnumeratedOldestFirst) {
  Script a, b, c;
  lv_stream* sa = create(&a, LV_CREATE_BYTES);
  lv_stream* sb = create(&b, LV_CREATE_BYTES);
  lv_stream* sc = create(&c, LV_CREATE_BYTES);
  sb->flags |= LV_STREAM_HIDDEN;
  lv_stream* next = nullptr;
  EXPECT_EQ(LV_next_stream(nullptr, &next), 0);
  EXPECT_EQ(next, sa);
  EXPECT_EQ(LV_next_stream(sa, &next), 0);
  EXPECT_EQ(next, sc);
  EXPECT_EQ(LV_next_stream(sc, &next), 0);
  EXPECT_EQ(next, nullptr);
  EXPECT_EQ(lv_find_stream_by_id(nullptr, sb->id), sb);
  EXPECT_EQ(lv_find_stream_by_id(sa, sb->id), nullptr);
  EXPECT_EQ(lv_find_stream_by_id(sa, 0), sa);
  for (lv_stream* s : {sa, sb, sc}) EXPECT_EQ(LV_fclose(s, 0), 2);
}

TEST_F(StreamIoTest, RepositioningABinaryFile) {
  dir.file("f", "0123456789");
  lv_stream* s = nullptr;
  ASSERT_EQ(LV_fopen(dir.path("f").c_str(), 0, LV_FOPEN_READ | LV_FOPEN_BINARY, &s), 0);
  EXPECT_NE(s->capabilities & LV_CAP_REPOSITIONABLE, 0u);
  EXPECT_EQ(lv_get_byte(s), '0');
  EXPECT_EQ(lv_get_byte(s), '1');
  EXPECT_EQ(lv_stream_set_position(s, 7, 0, 0, LV_SEEK | LV_SEEK_FROM_START), 0);
  EXPECT_EQ(lv_get_byte(s), '7');
  EXPECT_EQ(lv_stream_set_position(s, -3, 0, 0, LV_SEEK | LV_SEEK_FROM_CURRENT), 0);
  EXPECT_EQ(lv_get_byte(s), '5');
  EXPECT_EQ(lv_stream_set_position(s, -1, 0, 0, LV_SEEK | LV_SEEK_FROM_END), 0);
  EXPECT_EQ(lv_get_byte(s), '9');
  EXPECT_EQ(lv_get_byte(s), LV_STREAM_END);
  // Restoring a saved position clears the end and keeps the line counters.
  EXPECT_EQ(lv_stream_set_position(s, 2, 4, 5, 0), 0);
  EXPECT_EQ(lv_get_byte(s), '2');
  int64_t items = 0;
  ASSERT_EQ(LV_get_stream_counts(s, &items, nullptr, nullptr, 0), 0);
  EXPECT_EQ(items, 3);
  EXPECT_EQ(s->line_count, 4);
  // A push-back right after repositioning has nothing to give back.
  EXPECT_EQ(lv_stream_set_position(s, 2, 0, 0, 0), 0);
  EXPECT_EQ(LV_unget_byte(s, '1'), LVIO_E_PARAMETER_ERROR);
  EXPECT_EQ(lv_stream_set_position(s, 0, 0, 0, LV_SEEK), LVIO_E_PARAMETER_ERROR);
  EXPECT_EQ(LV_fclose(s, 0), 2);
}

TEST_F(StreamIoTest, RepositioningATextFileAndItsRefusals) {
  dir.file("t", "ab\ncd\n");
  lv_stream* s = nullptr;
  lv_term* cells = w->H;
  w->H += 4;
  cells[0] = lv_make_functor(lv_atom_from_text("encoding", LV_ATOM_FIND_OR_CREATE), 3);
  cells[1] = lv_atom_from_text("ISO-8859-1", LV_ATOM_FIND_OR_CREATE);
  cells[2] = lv_atom_from_text("false", LV_ATOM_FIND_OR_CREATE);
  cells[3] = lv_atom_from_text("lf", LV_ATOM_FIND_OR_CREATE);
  uintptr_t enc = lv_make_struct(cells);
  ASSERT_EQ(LV_fopen(dir.path("t").c_str(), enc,
                     LV_FOPEN_READ | LV_FOPEN_TEXT | LV_FOPEN_REPOSITION | LV_FOPEN_ENCODING_TERM, &s),
            0);
  EXPECT_NE(s->capabilities & LV_CAP_REPOSITIONABLE, 0u);
  for (char c : std::string("ab\nc")) EXPECT_EQ(lv_get_code(s), c);
  EXPECT_EQ(lv_stream_set_position(s, 1, 0, 0, LV_SEEK | LV_SEEK_FROM_START), 0);
  EXPECT_EQ(lv_get_code(s), 'b');
  // Positions whose byte offset does not fit are refused, not wrapped round
  // to a near one; the stream stays where it was.
  EXPECT_EQ(lv_stream_set_position(s, (int64_t{1} << 62) + 1, 0, 0, LV_SEEK | LV_SEEK_FROM_START), LVIO_E_SEEK_ERROR);
  EXPECT_EQ(lv_stream_set_position(s, INT64_MAX, 0, 0, LV_SEEK | LV_SEEK_FROM_CURRENT), LVIO_E_SEEK_ERROR);
  EXPECT_EQ(lv_stream_set_position(s, INT64_MAX, 0, 0, 0), LVIO_E_SEEK_ERROR);
  EXPECT_EQ(lv_get_code(s), '\n');
  EXPECT_EQ(LV_fclose(s, 0), 2);
  // Without reposition mode a text file cannot be repositioned.
  cells[2] = lv_atom_from_text("default", LV_ATOM_FIND_OR_CREATE);
  ASSERT_EQ(LV_fopen(dir.path("t").c_str(), enc, LV_FOPEN_READ | LV_FOPEN_TEXT | LV_FOPEN_ENCODING_TERM, &s), 0);
  EXPECT_EQ(lv_get_code(s), 'a');
  EXPECT_EQ(lv_stream_set_position(s, 0, 0, 0, LV_SEEK | LV_SEEK_FROM_START), LVIO_E_SEEK_ERROR);
  EXPECT_EQ(lv_get_code(s), 'b');
  EXPECT_EQ(LV_fclose(s, 0), 2);
  // Nor a pipe.
  int ends[2];
  ASSERT_EQ(pipe2(ends, O_CLOEXEC), 0);
  ASSERT_EQ(write(ends[1], "xy", 2), 2);
  ASSERT_EQ(LV_create_os_stream(ends[0], &s, 0, LV_OS_READ | LV_OS_BINARY), 0);
  EXPECT_EQ(lv_get_byte(s), 'x');
  EXPECT_EQ(lv_stream_set_position(s, 0, 0, 0, LV_SEEK | LV_SEEK_FROM_START), LVIO_E_SEEK_ERROR);
  EXPECT_EQ(lv_get_byte(s), 'y');
  close(ends[1]);
  EXPECT_EQ(lv_get_byte(s), LV_STREAM_END);
  EXPECT_EQ(LV_fclose(s, 0), 2);
}

TEST_F(StreamIoTest, WritingToAClosedPipeIsAnError) {
  int ends[2];
  ASSERT_EQ(pipe2(ends, O_CLOEXEC), 0);
  lv_stream* s = nullptr;
  ASSERT_EQ(LV_create_os_stream(ends[1], &s, 0, LV_OS_WRITE | LV_OS_TEXT), 0);
  close(ends[0]);
  EXPECT_EQ(LV_put_encoded_string(s, "lost?", 0), 0);
  int64_t rc = LV_flush_output(s, 0);
  EXPECT_LT(rc, 0);
  // Close reports the failed final flush and, the reader being gone for
  // good, lets the stream go: nothing is left open.
  EXPECT_EQ(LV_put_encoded_string(s, "more", 0), 0);
  EXPECT_LT(LV_fclose(s, 0), 0);
  EXPECT_EQ(lv_stream_known(s), nullptr);

  // A close that is the first flush reports the failure as well, for text
  // and binary streams alike.
  for (uint32_t kind : {LV_OS_TEXT, LV_OS_BINARY}) {
    ASSERT_EQ(pipe2(ends, O_CLOEXEC), 0);
    ASSERT_EQ(LV_create_os_stream(ends[1], &s, 0, LV_OS_WRITE | kind), 0);
    close(ends[0]);
    if (kind == LV_OS_TEXT)
      EXPECT_EQ(LV_put_encoded_string(s, "never read", 0), 0);
    else
      EXPECT_EQ(LV_put_bytes(s, reinterpret_cast<const uint8_t*>("never read"), 10, 0), 0);
    EXPECT_EQ(LV_fclose(s, 0), LVIO_E_END_OF_FILE);
    EXPECT_EQ(lv_stream_known(s), nullptr);
  }
}

// A flush that fails while the device is still there (here: a write
// refused once) keeps the stream and its output, so that the close can be
// tried again; a forced close lets it go whatever happens.
TEST_F(StreamIoTest, AFailedCloseKeepsTheStreamWhileItsDeviceIsThere) {
  struct Device {
    std::string written;
    int refusals = 0;
  } d;
  static const char tag = 0;
  auto write = [](void* user, const void* source, uint64_t* size, uint32_t) -> int64_t {
    auto* dev = static_cast<Device*>(user);
    if (dev->refusals > 0) {
      dev->refusals--;
      *size = 0;
      return LVIO_E_NOSPACE;
    }
    dev->written.append(static_cast<const char*>(source), *size);
    return 0;
  };
  auto close = [](void** user, uint32_t, int) -> int64_t {
    *user = nullptr;
    return 0;
  };
  for (bool force : {false, true}) {
    lv_stream* s = nullptr;
    d = Device{};
    ASSERT_EQ(LV_create_stream(&d, &tag, nullptr, write, nullptr, nullptr, close, nullptr, nullptr, nullptr,
                               LV_CREATE_BYTES, &s),
              0);
    ASSERT_EQ(LV_put_bytes(s, reinterpret_cast<const uint8_t*>("kept"), 4, 0), 0);
    d.refusals = 1;
    EXPECT_EQ(LV_fclose(s, 0), LVIO_E_NOSPACE);
    EXPECT_EQ(lv_stream_known(s), s);
    if (force) {
      EXPECT_EQ(LV_fclose(s, LV_CLOSE_FORCE), 2);
      EXPECT_EQ(d.written, "");
    } else {
      EXPECT_EQ(LV_fclose(s, 0), 2);
      EXPECT_EQ(d.written, "kept");
    }
  }
}

// The handle belongs to the stream once it is made, and only then.
TEST_F(StreamIoTest, HandleStreamsTakeOverTheirHandleOnlyOnSuccess) {
  int ends[2];
  ASSERT_EQ(pipe2(ends, O_CLOEXEC), 0);
  auto open_fd = [](int fd) { return fcntl(fd, F_GETFD) != -1; };
  lv_stream* s = nullptr;
  // A read-write text stream in reposition mode is refused after the
  // device is open.
  EXPECT_EQ(LV_create_os_stream(ends[0], &s, 0, LV_OS_READ | LV_OS_WRITE | LV_OS_TEXT | LV_OS_REPOSITION),
            LVIO_E_NOT_SUPPORTED);
  EXPECT_TRUE(open_fd(ends[0]));
  ASSERT_EQ(LV_create_os_stream(ends[0], &s, 0, LV_OS_READ | LV_OS_BINARY | LV_OS_BORROWED), 0);
  EXPECT_EQ(LV_fclose(s, 0), 2);
  EXPECT_TRUE(open_fd(ends[0]));
  ASSERT_EQ(LV_create_os_stream(ends[0], &s, 0, LV_OS_READ | LV_OS_BINARY), 0);
  EXPECT_EQ(LV_fclose(s, 0), 2);
  EXPECT_FALSE(open_fd(ends[0]));
  close(ends[1]);
}

TEST_F(StreamIoTest, AFullDeviceIsAWriteErrorNotLostOutput) {
  lv_stream* s = nullptr;
  ASSERT_EQ(LV_fopen("/dev/full", 0, LV_FOPEN_WRITE | LV_FOPEN_BINARY, &s), 0);
  EXPECT_EQ(LV_put_bytes(s, reinterpret_cast<const uint8_t*>("disk"), 4, 0), 0);
  EXPECT_EQ(LV_flush_output(s, 0), LVIO_E_NOSPACE);
  EXPECT_EQ(LV_fclose(s, 0), LVIO_E_NOSPACE);
  EXPECT_EQ(lv_stream_known(s), s);
  EXPECT_EQ(LV_fclose(s, LV_CLOSE_FORCE), 2);
  // Text output whose buffer fills up meets the error while it is written.
  ASSERT_EQ(LV_fopen("/dev/full", LV_ATOM_NIL, LV_FOPEN_WRITE | LV_FOPEN_TEXT | LV_FOPEN_ENCODING_TERM, &s), 0);
  int64_t rc = 0;
  for (int i = 0; i < 100000 && rc >= 0; i++) rc = lv_put_code(s, 'x');
  EXPECT_EQ(rc, LVIO_E_NOSPACE);
  EXPECT_EQ(LV_fclose(s, LV_CLOSE_FORCE), 2);
}

TEST_F(StreamIoTest, AFileStreamWritesAndClosesSideBySide) {
  lv_stream* s = nullptr;
  ASSERT_EQ(LV_fopen(dir.path("rw").c_str(), 0, LV_FOPEN_READ | LV_FOPEN_WRITE | LV_FOPEN_BINARY, &s), 0);
  static std::vector<std::string> cleanups;
  lv_stream_hooks.close_cleanup = [](lv_stream*, lv_term which) { cleanups.push_back(lv_atom_text(which)); };
  s->flags |= LV_STREAM_CLOSE_CLEANUP;
  lv_stream_update_capabilities(s);
  EXPECT_EQ(LV_put_bytes(s, reinterpret_cast<const uint8_t*>("data"), 4, 0), 0);
  EXPECT_EQ(lv_stream_close(s, LV_CLOSE_OUTPUT), 0);
  EXPECT_EQ(contents("rw"), "data");
  EXPECT_EQ(s->capabilities & LV_CAP_OUTPUT, 0u);
  EXPECT_EQ(lv_stream_close(s, LV_CLOSE_OUTPUT), 0);
  EXPECT_EQ(lv_get_byte(s), 'd');
  EXPECT_EQ(lv_stream_close(s, LV_CLOSE_INPUT), 2);
  EXPECT_EQ(cleanups, (std::vector<std::string>{"write", "all"}));
  // A plain close runs the cleanup once.
  cleanups.clear();
  ASSERT_EQ(LV_fopen(dir.path("rw").c_str(), 0, LV_FOPEN_READ | LV_FOPEN_WRITE | LV_FOPEN_BINARY, &s), 0);
  s->flags |= LV_STREAM_CLOSE_CLEANUP;
  EXPECT_EQ(LV_fclose(s, 0), 2);
  EXPECT_EQ(cleanups, (std::vector<std::string>{"all"}));
}

TEST_F(StreamIoTest, CloseCallbacksRunUntilTheyLetGo) {
  static int calls = 0;
  static lv_stream* last = nullptr;
  int keep = 2;
  ASSERT_EQ(lv_add_close_callback(
                [](lv_stream* s, void** data, int reason) {
                  calls++;
                  last = s;
                  EXPECT_EQ(reason, LV_CLOSE_REASON_CLOSED);
                  if (--*static_cast<int*>(*data) == 0) *data = nullptr;
                },
                &keep),
            0);
  EXPECT_EQ(lv_add_close_callback(nullptr, &keep), LVIO_E_PARAMETER_ERROR);
  for (int i = 0; i < 3; i++) {
    Script script;
    lv_stream* s = create(&script, LV_CREATE_BYTES);
    EXPECT_EQ(LV_fclose(s, 0), 2);
    EXPECT_EQ(calls, i < 2 ? i + 1 : 2);
    if (i < 2) {
      EXPECT_EQ(last, s);
    }
  }
}

TEST_F(StreamIoTest, SelectFindsBufferedDataAtOnceAndWaitsForHandles) {
  int ends[2];
  ASSERT_EQ(pipe2(ends, O_CLOEXEC), 0);
  ASSERT_EQ(write(ends[1], "ab", 2), 2);
  lv_stream* s = nullptr;
  ASSERT_EQ(LV_create_os_stream(ends[0], &s, 0, LV_OS_READ | LV_OS_BINARY), 0);
  EXPECT_EQ(lv_get_byte(s), 'a');
  // The 'b' is buffered: ready at once, even without a time-out.
  int other[2];
  ASSERT_EQ(pipe2(other, O_CLOEXEC), 0);
  int64_t handles[1] = {other[0]};
  int64_t nh = 1, nr = 1, nw = 0;
  lv_stream* reads[1] = {s};
  EXPECT_EQ(LV_select(handles, &nh, reads, &nr, nullptr, &nw, nullptr, 0), 0);
  EXPECT_EQ(nr, 1);
  EXPECT_EQ(reads[0], s);
  EXPECT_EQ(nh, 0);
  EXPECT_EQ(handles[0], -1);
  EXPECT_EQ(lv_get_byte(s), 'b');
  // Nothing more: a zero time-out times out.
  lvio_time zero = {0, 0};
  handles[0] = other[0];
  nh = 1;
  nr = 1;
  reads[0] = s;
  EXPECT_EQ(LV_select(handles, &nh, reads, &nr, nullptr, &nw, &zero, 0), LVIO_E_TIMEOUT);
  // A readable handle.
  ASSERT_EQ(write(other[1], "x", 1), 1);
  handles[0] = other[0];
  nh = 1;
  nr = 1;
  reads[0] = s;
  lvio_time second = {1, 0};
  EXPECT_EQ(LV_select(handles, &nh, reads, &nr, nullptr, &nw, &second, 0), 0);
  EXPECT_EQ(nh, 1);
  EXPECT_EQ(handles[0], other[0]);
  EXPECT_EQ(nr, 0);
  EXPECT_EQ(reads[0], nullptr);
  // Data arriving on the stream's pipe.
  ASSERT_EQ(write(ends[1], "c", 1), 1);
  nh = 0;
  nr = 1;
  reads[0] = s;
  EXPECT_EQ(LV_select(nullptr, &nh, reads, &nr, nullptr, &nw, nullptr, 0), 0);
  EXPECT_EQ(nr, 1);
  EXPECT_EQ(lv_get_byte(s), 'c');
  close(ends[1]);
  close(other[0]);
  close(other[1]);
  EXPECT_EQ(LV_fclose(s, 0), 2);
}

TEST_F(StreamIoTest, IdleHooksAreAddedReplacedAndRemoved) {
  auto f = +[](void*) { return 0; };
  auto g = +[](void*) { return 1; };
  int a = 0, b = 0;
  EXPECT_EQ(LV_install_idle_hook(nullptr, nullptr, 0), LVIO_E_PARAMETER_ERROR);
  EXPECT_EQ(LV_install_idle_hook(f, nullptr, 1), LVIO_E_NOT_FOUND);
  EXPECT_EQ(LV_install_idle_hook(f, &a, 0), 0);
  EXPECT_EQ(LV_install_idle_hook(g, &b, 0), 0);
  EXPECT_EQ(LV_install_idle_hook(f, &b, 0), 0);
  ASSERT_NE(lv_idle_hooks, nullptr);
  EXPECT_EQ(lv_idle_hooks[0].data, &b);
  EXPECT_EQ(lv_idle_hooks[2].function, nullptr);
  EXPECT_EQ(LV_install_idle_hook(f, nullptr, 1), 0);
  EXPECT_EQ(lv_idle_hooks[0].function, g);
  EXPECT_EQ(LV_install_idle_hook(g, nullptr, 1), 0);
  EXPECT_EQ(lv_idle_hooks, nullptr);
}

TEST_F(StreamIoTest, AWatchCallsBackWhenInputArrives) {
  int ends[2];
  ASSERT_EQ(pipe2(ends, O_CLOEXEC), 0);
  lv_stream* s = nullptr;
  ASSERT_EQ(LV_create_os_stream(ends[0], &s, 0, LV_OS_READ | LV_OS_BINARY), 0);
  static std::atomic<int> fired{0}, cancelled{0};
  auto callback = +[](void*, uint32_t reason) -> lvio_code {
    (reason == LVIO_WATCH_FIRED ? fired : cancelled)++;
    return reason == LVIO_WATCH_FIRED ? LVIO_S_DONE : 0;
  };
  EXPECT_EQ(lv_stream_watch_input(s, callback, nullptr, 0), LVIO_E_PARAMETER_ERROR);
  EXPECT_EQ(lv_stream_unwatch_input(s, callback, nullptr, LV_WATCH_INPUT), LVIO_E_NOT_FOUND);
  EXPECT_EQ(lv_stream_watch_input(s, callback, nullptr, LV_WATCH_INPUT), 0);
  EXPECT_NE(s->flags & LV_STREAM_INPUT_WATCHED, 0u);
  ASSERT_EQ(write(ends[1], "w", 1), 1);
  EXPECT_TRUE(eventually([] { return fired.load() == 1; }));
  EXPECT_EQ(lv_stream_unwatch_input(s, callback, nullptr, LV_WATCH_INPUT), 0);
  EXPECT_EQ(s->flags & LV_STREAM_INPUT_WATCHED, 0u);
  // Input ready: the calls come at once.
  static std::vector<uint32_t> reasons;
  auto now = +[](void*, uint32_t reason) -> lvio_code {
    reasons.push_back(reason);
    return 0;
  };
  EXPECT_EQ(lv_stream_watch_input(s, now, nullptr, LV_WATCH_INPUT), 4);
  EXPECT_EQ(reasons, (std::vector<uint32_t>{1, 3}));
  EXPECT_EQ(lv_get_byte(s), 'w');
  close(ends[1]);
  EXPECT_EQ(LV_fclose(s, 0), 2);
}

TEST_F(StreamIoTest, CompressionIsPushedAndPoppedMidStream) {
  lv_stream* s = nullptr;
  ASSERT_EQ(LV_fopen(dir.path("z").c_str(), 0, LV_FOPEN_WRITE | LV_FOPEN_BINARY, &s), 0);
  std::string body(5000, 'b');
  ASSERT_EQ(LV_put_bytes(s, reinterpret_cast<const uint8_t*>("head"), 4, 0), 0);
  ASSERT_EQ(lv_stream_zlib_layer(s, 0), 0);
  ASSERT_EQ(LV_put_bytes(s, reinterpret_cast<const uint8_t*>(body.data()), static_cast<int64_t>(body.size()), 0), 0);
  ASSERT_EQ(lv_stream_zlib_layer(s, 1), 0);
  ASSERT_EQ(LV_put_bytes(s, reinterpret_cast<const uint8_t*>("tail"), 4, 0), 0);
  ASSERT_EQ(LV_fclose(s, 0), 2);
  std::string file = contents("z");
  EXPECT_EQ(file.substr(0, 4), "head");
  EXPECT_LT(file.size(), 100u);
  EXPECT_EQ(file.substr(file.size() - 4), "tail");
  ASSERT_EQ(LV_fopen(dir.path("z").c_str(), 0, LV_FOPEN_READ | LV_FOPEN_BINARY, &s), 0);
  for (char c : std::string("head")) EXPECT_EQ(lv_get_byte(s), c);
  EXPECT_EQ(lv_stream_zlib_layer(s, 1), LVIO_E_INVALID_STATE);
  ASSERT_EQ(lv_stream_zlib_layer(s, 0), 0);
  std::string inflated;
  for (int64_t c; (c = lv_get_byte(s)) >= 0;) inflated += static_cast<char>(c);
  EXPECT_EQ(inflated, body);
  ASSERT_EQ(lv_stream_zlib_layer(s, 1), 0);
  EXPECT_EQ(drain_bytes(s), "tail");
  EXPECT_EQ(LV_fclose(s, 0), 2);
}

TEST_F(StreamIoTest, LayerResultsBecomePendingErrors) {
  const struct {
    int64_t code;
    bool output;
    int32_t error;
    const char* message;
  } cases[] = {
      {LVIO_E_FILE_EXISTS, true, LV_ERROR_OUTPUT_PERMISSION, ""},
      {LVIO_E_FILE_ACCESS, false, LV_ERROR_INPUT_PERMISSION, ""},
      {LVIO_E_PERMISSION_ERROR, true, LV_ERROR_OUTPUT_PERMISSION, ""},
      {LVIO_E_FILE_NOT_FOUND, false, LV_ERROR_NO_SUCH_FILE, ""},
      {LVIO_E_TOO_MANY_OPEN_FILES, false, LV_ERROR_RESOURCE, "file handle"},
      {LVIO_E_SEEK_ERROR, false, LV_ERROR_SEEK, ""},
      {LVIO_E_INTERNAL_ERROR, false, LV_ERROR_SYSTEM, "internal error"},
      {LVIO_E_INTERRUPTED, false, LV_ERROR_SYSTEM, "interrupted"},
      {LVIO_E_NOSPACE, true, LV_ERROR_SYSTEM, "LVIO_E_NOSPACE"},
  };
  for (const auto& c : cases) {
    lv_raise_lvio_error(c.code, c.output, lv_make_small(7));
    EXPECT_EQ(lv_pending_error_code(), c.error) << c.code;
    EXPECT_STREQ(lv_pending_error_message(), c.message);
    EXPECT_EQ(lv_pending_error_culprit(), lv_make_small(7));
  }
}

// A terminal-like code device: reads that may not wait find nothing until
// the given attempt; it records how often the idle hook ran by then.
struct SlowTerminal {
  int attempts = 0;
  int ready_at = 2;
  int hook_calls = 0;
  int calls_when_ready = -1;
};

int64_t slow_read(void* user, void* destination, uint64_t* size, uint32_t options) {
  auto* t = static_cast<SlowTerminal*>(user);
  if ((options & LVIO_DEVICE_NO_WAIT) == 0) return LVIO_E_INTERNAL_ERROR;  // idle hooks never block
  if (++t->attempts < t->ready_at) return LVIO_E_WOULD_BLOCK;
  t->calls_when_ready = t->hook_calls;
  char32_t c = U'k';
  std::memcpy(destination, &c, 4);
  *size = 4;
  return 0;
}

int64_t slow_close(void** user, uint32_t, int) {
  *user = nullptr;
  return 0;
}

TEST_F(StreamIoTest, IdleHooksRunInRoundsWhileAnInteractiveReadWaits) {
  for (int result : {1, 0}) {
    SlowTerminal t;
    static SlowTerminal* current;
    static int hook_result;
    current = &t;
    hook_result = result;
    auto hook = +[](void*) {
      current->hook_calls++;
      return hook_result;
    };
    ASSERT_EQ(LV_install_idle_hook(hook, nullptr, 0), 0);
    lv_stream* s = nullptr;
    ASSERT_EQ(LV_create_stream(&t, &script_tag, slow_read, nullptr, nullptr, nullptr, slow_close, nullptr, nullptr,
                               nullptr, LV_CREATE_CODES | LV_CREATE_INTERACTIVE, &s),
              0);
    EXPECT_EQ(lv_get_code(s), 'k');
    // A busy hook is called ten times between two attempts; an idle one
    // once, followed by a pause.
    EXPECT_EQ(t.calls_when_ready, result == 1 ? 10 : 1);
    EXPECT_EQ(LV_fclose(s, 0), 2);
    ASSERT_EQ(LV_install_idle_hook(hook, nullptr, 1), 0);
  }
}

}  // namespace

namespace {

// A flush hands the bytes to the system and returns: no device sync, so no
// sync operation (nor its worker thread) is made; only a flush that asks
// for the sync waits for the disk.
TEST_F(StreamIoTest, FlushSyncsTheDeviceOnlyWhenAsked) {
  lv_stream* s = nullptr;
  ASSERT_EQ(LV_fopen(dir.path("synced").c_str(), 0, LV_FOPEN_WRITE | LV_FOPEN_BINARY, &s), 0);
  const lvio_allocator_counts* counts = lvio_default_allocator_counts();
  auto flushes = [&](uint32_t options) {
    uint64_t before = counts->allocations.load();
    for (int i = 0; i < 20; i++) {
      EXPECT_EQ(LV_put_bytes(s, reinterpret_cast<const uint8_t*>("x"), 1, 0), 0);
      EXPECT_EQ(LV_flush_output(s, options), 0);
    }
    return counts->allocations.load() - before;
  };
  // Each sync makes an operation and a thread of its own, on top of what
  // the write takes.
  uint64_t plain = flushes(0);
  EXPECT_GE(flushes(LV_FLUSH_OUTPUT_DEVICE_SYNC), plain + 20);
  EXPECT_EQ(LV_fclose(s, 0), 2);
  EXPECT_EQ(contents("synced"), std::string(40, 'x'));
}

}  // namespace
