// $select waiting without a limit until another thread makes a socket or a
// pipe readable.
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "builtin_query.h"

namespace {

using builtin_query::StreamBuiltinTest;

class SelectBuiltin : public StreamBuiltinTest {};

// Writes one byte, most likely once the select waits (its outcome is the
// same either way).
void write_soon(int fd, char byte) {
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  ASSERT_EQ(write(fd, &byte, 1), 1);
}

TEST_F(SelectBuiltin, WakesOnASocket) {
  int pair[2];
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
  std::thread writer(write_soon, pair[1], 'x');
  std::string socket = std::to_string(pair[0]);
  EXPECT_EQ(q("'$select'([" + socket + "], R, [], _, [], RR, [], W, -1.0, Res)"),
            "R=[" + socket + "] RR=[] W=[] Res=0");
  writer.join();
  ::close(pair[0]);
  ::close(pair[1]);
}

TEST_F(SelectBuiltin, WakesOnAPipeStream) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  lv_stream* p = nullptr;
  ASSERT_EQ(LV_create_os_stream(fds[0], &p, 0, LV_OS_READ | LV_OS_BINARY), 0);
  std::thread writer(write_soon, fds[1], 'y');
  EXPECT_EQ(q("'$select'([], R, [], _, [" + S(p) + "], RR, [], W, -1.0, Res)"), "R=[] RR=[" + S(p) + "] W=[] Res=0");
  writer.join();
  EXPECT_EQ(q("'$get_byte_fail_on_interrupt'(" + S(p) + ", B, 0)"), "B=121");
  // The writer's end closed: the end of the stream counts as ready too.
  ::close(fds[1]);
  EXPECT_EQ(q("'$select'([], R, [], _, [" + S(p) + "], RR, [], W, -1.0, Res)"), "R=[] RR=[" + S(p) + "] W=[] Res=0");
  EXPECT_EQ(q("'$get_byte_fail_on_interrupt'(" + S(p) + ", B, 0)"), "B=-1");
}

}  // namespace
