// Stream listeners: every line of the listened stream reaches the
// listener's pipe, the last ones before the end included; requests reach
// their hooks and tunnel lines feed input channels.
#include "streams/stream_listener.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "core/stack_shift.h"
#include "lvio/process.h"
#include "streams/pipe_stream.h"
#include "streams/tunnel_builtins.h"
#include "streams/tunnel_stream.h"
#include "support/stream_fixture.h"

namespace {

int suspends = 0;
int backtraces = 0;

class StreamListenerTest : public StreamTest {
 protected:
  void SetUp() override {
    StreamTest::SetUp();
    suspends = backtraces = 0;
    lv_listener_hooks = {[] { suspends++; }, [] { backtraces++; }, nullptr};
  }
  void TearDown() override {
    lv_listener_hooks = {};
    StreamTest::TearDown();
  }
  // Reads codes (waiting as needed) until the text has come or the end.
  static std::u32string read_text(lv_stream* s, size_t count) {
    std::u32string text;
    while (text.size() < count) {
      int64_t c = lv_get_code(s);
      if (c < 0) break;
      text += static_cast<char32_t>(c);
    }
    return text;
  }
};

// A stream over the standard output of /bin/sh running the script, after
// the child has ended (so its last lines and its end are there together).
lv_stream* finished_child_output(const char* script) {
  const lvio_arg_part dash_c[] = {{"string", 0, "-c"}, {nullptr, 0, nullptr}};
  const lvio_arg_part text[] = {{"string", 0, script}, {nullptr, 0, nullptr}};
  const lvio_arg_descriptor arguments[] = {dash_c, text, nullptr};
  int in = -1, out = -1, err = -1;
  lvio_process* process = nullptr;
  uint32_t flags = LVIO_PROCESS_STDIN_NULL | LVIO_PROCESS_STDOUT_PIPE | LVIO_PROCESS_STDERR_INHERIT;
  EXPECT_EQ(lvio_process_create("/bin/sh", arguments, nullptr, nullptr, &in, &out, &err, &process, flags), 0);
  lvio_wait_result result{};
  EXPECT_EQ(lvio_process_wait(process, nullptr, &result, 0), 0);
  EXPECT_EQ(result.exited, 1);
  EXPECT_EQ(lvio_process_release(process, 0), 0);
  lv_stream* s = nullptr;
  EXPECT_EQ(LV_create_os_stream(out, &s, 0, LV_OS_READ | LV_OS_BINARY), 0);
  return s;
}

TEST_F(StreamListenerTest, EveryLineOfAChildReachesThePipeTheLastOnesIncluded) {
  lv_stream* child = finished_child_output(
      "printf 'hello\\nREQUEST 7 suspend\\nREQUEST 7 suspend now\\nREQUEST backtrace\\nREQUEST 12 backtrace\\n"
      "TUNNEL APPEND ch a\\001\\002b\\nTUNNEL FOO ch\\n\\303\\251t\\303\\251\\nlast line\\nno newline'");
  ASSERT_NE(child, nullptr);
  lv_stream* in = nullptr;
  ASSERT_EQ(lv_add_stream_listener(child, &in), 0);
  // Opened before the line reader first runs: the channel's data goes
  // straight into its pipe.
  lv_stream* channel = nullptr;
  ASSERT_EQ(lv_open_tunnel_input(child, "ch", LV_TUNNEL_IN_BINARY, &channel), 0);
  EXPECT_EQ(lv_open_tunnel_input(child, "ch", LV_TUNNEL_IN_BINARY, &channel), LVIO_E_INVALID_STATE);
  const std::u32string expected =
      U"hello\nREQUEST 7 suspend\nREQUEST 7 suspend now\nREQUEST backtrace\nREQUEST 12 backtrace\n"
      U"TUNNEL APPEND ch a\u0001\u0002b\nTUNNEL FOO ch\n\u00e9t\u00e9\nlast line\n";
  EXPECT_EQ(read_text(in, expected.size() + 1), expected);  // then the end: the partial line is dropped
  EXPECT_EQ(lv_get_code(in), LV_STREAM_END);
  EXPECT_EQ(suspends, 1);
  EXPECT_EQ(backtraces, 1);
  std::string channel_bytes;
  for (int64_t c; (c = lv_get_byte_helper(channel, LV_GET_NO_WAIT | LV_GET_RETURN_ON_INTERRUPT)) >= 0;)
    channel_bytes += static_cast<char>(c);
  EXPECT_EQ(channel_bytes, std::string("a\0b", 3));
  EXPECT_EQ(LV_fclose(channel, LV_CLOSE_FORCE), 2);
  EXPECT_EQ(LV_fclose(in, 0), 2);  // reaps the listener, which closes the child's stream
  EXPECT_EQ(lv_find_stream_by_id(nullptr, child->id), nullptr);
}

// A new unbound heap variable.
lv_term fresh_variable(lv_worker* w) {
  lv_heap_room(w, 1, 0);
  lv_term* v = w->H++;
  *v = lv_make_ref(v);
  return *v;
}

TEST_F(StreamListenerTest, BuiltInsListenAndOpenTunnels) {
  lv_stream* child = finished_child_output("printf 'TUNNEL APPEND early kept\\nbye\\n'");
  ASSERT_NE(child, nullptr);
  w->X[0] = lv_stream_term(child);
  w->X[1] = fresh_variable(w);
  ASSERT_EQ(prolog_add_stream_listener(w), 1);
  lv_stream* in = lv_get_stream_arg(w->X[1], LV_CAP_INPUT, 0);
  ASSERT_NE(in, nullptr);
  EXPECT_EQ(read_text(in, 100), U"TUNNEL APPEND early kept\nbye\n");
  // An output tunnel on a binary output carrier, binary itself (options 8).
  lv_stream* far = nullptr;
  lv_stream* carrier = nullptr;
  ASSERT_EQ(lv_open_pipe_streams(nullptr, &far, nullptr, &carrier, 0), 0);
  w->X[0] = lv_stream_term(carrier);
  w->X[1] = lv_atom_from_text("c1", LV_ATOM_FIND_OR_CREATE);
  w->X[2] = lv_make_small(8);
  w->X[3] = fresh_variable(w);
  ASSERT_EQ(prolog_open_tunnel_stream(w), 1);
  lv_stream* tunnel = lv_get_stream_arg(w->X[3], LV_CAP_OUTPUT, 0);
  ASSERT_NE(tunnel, nullptr);
  EXPECT_NE(tunnel->flags & LV_STREAM_BINARY, 0u);
  w->X[2] = lv_make_small(-1);
  w->X[3] = fresh_variable(w);
  EXPECT_EQ(prolog_open_tunnel_stream(w), 0);
  // An input tunnel needs an active listener on the carrier.
  w->X[0] = lv_stream_term(far);
  w->X[2] = lv_make_small(4);
  EXPECT_EQ(prolog_open_tunnel_stream(w), 0);
  EXPECT_EQ(LV_fclose(tunnel, 0), 2);
  EXPECT_EQ(LV_fclose(carrier, 0), 2);
  EXPECT_EQ(LV_fclose(far, 0), 2);
  EXPECT_EQ(LV_fclose(in, 0), 2);
}

TEST_F(StreamListenerTest, TunnelLinesFeedChannelsOpenedLaterAndCloseThem) {
  lv_stream* listened = nullptr;
  lv_stream* peer = nullptr;  // what the development environment would write
  ASSERT_EQ(lv_open_pipe_streams(nullptr, &listened, nullptr, &peer, 0), 0);
  lv_stream* in = nullptr;
  ASSERT_EQ(lv_add_stream_listener(listened, &in), 0);
  auto send = [&](const std::string& bytes) {
    ASSERT_EQ(LV_put_bytes(peer, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), 0), 0);
    ASSERT_EQ(LV_flush_output(peer, 0), 0);
  };
  send("TUNNEL APPEND later x\1\2y\001\001\nTUNNEL BOGUS later\nTUNNEL\n");
  const std::u32string forwarded = U"TUNNEL APPEND later x\u0001\u0002y\u0001\u0001\nTUNNEL BOGUS later\nTUNNEL\n";
  EXPECT_EQ(read_text(in, forwarded.size()), forwarded);
  lv_stream* channel = nullptr;
  ASSERT_EQ(lv_open_tunnel_input(listened, "later", LV_TUNNEL_IN_BINARY, &channel), 0);
  send("TUNNEL CLOSE later\nsync\n");
  EXPECT_EQ(read_text(in, 24), U"TUNNEL CLOSE later\nsync\n");
  std::string bytes;
  int64_t c;
  while ((c = lv_get_byte_helper(channel, LV_GET_NO_WAIT | LV_GET_RETURN_ON_INTERRUPT)) >= 0)
    bytes += static_cast<char>(c);
  EXPECT_EQ(bytes, std::string("x\0y\1", 4));
  EXPECT_EQ(c, LV_STREAM_END);  // closed by the peer
  EXPECT_EQ(LV_fclose(channel, 0), 2);
  // A channel still open when the listened stream ends gets its data, then
  // its end.
  ASSERT_EQ(lv_open_tunnel_input(listened, "open", LV_TUNNEL_IN_BINARY, &channel), 0);
  send("TUNNEL APPEND open z\nend\n");
  EXPECT_EQ(LV_fclose(peer, 0), 2);  // the listened stream ends
  EXPECT_EQ(read_text(in, 100), U"TUNNEL APPEND open z\nend\n");
  bytes.clear();
  while ((c = lv_get_byte_helper(channel, LV_GET_NO_WAIT | LV_GET_RETURN_ON_INTERRUPT)) >= 0)
    bytes += static_cast<char>(c);
  EXPECT_EQ(bytes, "z");
  EXPECT_EQ(c, LV_STREAM_END);
  EXPECT_EQ(LV_fclose(channel, 0), 2);
  EXPECT_EQ(LV_fclose(in, 0), 2);
}

// Listened input made of protocol fragments at random: the listener's pipe
// gives back the complete lines in order and then ends, whole when no
// tunnel line can stop the listener, else as far as the line that stopped
// it; nothing hangs or breaks.
TEST_F(StreamListenerTest, RandomProtocolLinesComeThroughAsTheyWere) {
  const char* const heads[] = {"", "REQUEST ", "REQUEST 7 ", "TUNNEL APPEND ch", "TUNNEL CLOSE ch", "TUNNEL\tAPPEND .x "};
  const std::string fragments[] = {"REQUEST", "TUNNEL", " ", "\t", "7", "suspend", "backtrace", "ch", "\001",
                                   "\002",   "\003",  "\004", "a", "\xC3\xA9", std::string(1, '\0')};
  std::mt19937 random(20261210);
  int stopped = 0;  // rounds in which a tunnel line stopped the listener
  for (int round = 0; round < 300; round++) {
    std::string input;
    for (int i = static_cast<int>(random() % 6); i > 0; i--) {
      input += heads[random() % std::size(heads)];
      for (int n = static_cast<int>(random() % 5); n > 0; n--) input += fragments[random() % std::size(fragments)];
      if (random() % 8 != 0) input += '\n';
    }
    lv_stream* listened = nullptr;
    ASSERT_EQ(lv_open_memory_input(input.data(), input.size(), "fuzz", &listened), 0);
    lv_stream* in = nullptr;
    ASSERT_EQ(lv_add_stream_listener(listened, &in), 0);
    std::u32string codes;
    for (int64_t c; (c = lv_get_code(in)) >= 0;) codes += static_cast<char32_t>(c);
    EXPECT_EQ(lv_get_code(in), LV_STREAM_END);
    EXPECT_TRUE(codes.empty() || codes.back() == U'\n') << round;  // whole lines only
    std::string complete = input.substr(0, input.rfind('\n') + 1);
    std::u32string expected;
    for (size_t i = 0; i < complete.size(); i++) {
      auto b = static_cast<unsigned char>(complete[i]);
      if (b == 0xC3)  // the one multi-byte character of the fragments
        expected += static_cast<char32_t>(((b & 0x1F) << 6) | (static_cast<unsigned char>(complete[++i]) & 0x3F));
      else
        expected += static_cast<char32_t>(b);
    }
    if (input.find("TUNNEL") == std::string::npos)
      EXPECT_EQ(codes, expected) << round;
    else
      EXPECT_EQ(codes, expected.substr(0, codes.size())) << round;
    if (codes.size() < expected.size()) stopped++;
    EXPECT_EQ(LV_fclose(in, 0), 2);
  }
  EXPECT_GT(stopped, 0);
}

TEST_F(StreamListenerTest, OnlyInputStreamsCanBeListenedTo) {
  lv_stream* in = nullptr;
  lv_stream* out = nullptr;
  ASSERT_EQ(lv_open_pipe_streams(nullptr, &in, nullptr, &out, 0), 0);
  lv_stream* end = nullptr;
  EXPECT_EQ(lv_add_stream_listener(out, &end), LVIO_E_PARAMETER_ERROR);
  EXPECT_EQ(lv_open_tunnel_input(in, "c", 0, &end), LVIO_E_NOT_FOUND);
  EXPECT_EQ(LV_fclose(out, 0), 2);
  EXPECT_EQ(LV_fclose(in, 0), 2);
}

}  // namespace
