// TCP sockets on the loopback address, and chains over them.
#include "lvio/socket.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>

#include <cctype>
#include <cstring>

#include "eventually.h"
#include "lvio/allocator.h"
#include "lvio/event_wait.h"
#include "os_layer_fixture.h"

namespace {

class Sockets : public OsLayer {
 protected:
  void TearDown() override {
    for (lvio_layer** chain : {&client_, &server_})
      if (*chain != nullptr) (void)lvio_stream_close(chain, LVIO_OP_ABORTIVE);
    if (listener_ >= 0) (void)lvio_socket_close(listener_, 0);
    OsLayer::TearDown();
  }

  // A listener on a port of the system's choosing, a client connected to
  // it, the connection accepted, and chains over both ends.
  void connect_pair() {
    char port[32] = "";
    ASSERT_EQ(lvio_socket_listen("", port, sizeof port, &listener_, LVIO_LISTEN_LOOPBACK), 0);
    ASSERT_NE(port[0], '\0');
    port_ = port;
    int accepted;
    ASSERT_EQ(lvio_socket_accept(listener_, nullptr, nullptr, &accepted, 0), LVIO_E_WOULD_BLOCK);
    int client;
    ASSERT_EQ(lvio_socket_connect("127.0.0.1", port, &client, 0), 0);
    ASSERT_EQ(lvio_socket_wait_events(listener_, LVIO_NET_ACCEPT), 0);
    char* host = nullptr;
    char* service = nullptr;
    ASSERT_EQ(lvio_socket_accept(listener_, &host, &service, &accepted, 0), 0);
    EXPECT_STREQ(host, "127.0.0.1");
    EXPECT_GT(std::atoi(service), 0);
    lvio_free(host);
    lvio_free(service);
    ASSERT_EQ(lvio_open_os_handle(&client_, client, LVIO_ASYNC_READ | LVIO_ASYNC_WRITE), 0);
    ASSERT_EQ(lvio_open_os_handle(&server_, accepted, LVIO_ASYNC_READ | LVIO_ASYNC_WRITE), 0);
  }

  int listener_ = -1;
  std::string port_;
  lvio_layer* client_ = nullptr;
  lvio_layer* server_ = nullptr;
};

TEST_F(Sockets, ALoopbackConnectionCarriesDataBothWays) {
  connect_pair();
  lvio_code rc;
  ASSERT_EQ(write_text(&client_, "ping"), 0);
  EXPECT_EQ(read_text(&server_, 4, &rc), "ping");
  ASSERT_EQ(write_text(&server_, "pong"), 0);
  EXPECT_EQ(read_text(&client_, 4, &rc), "pong");

  // The client is silent: a time-out, then an interrupt, end the server's
  // read, which goes on afterwards.
  const lvio_time millisecond = {0, 1000000};
  ASSERT_EQ(lvio_stream_set_timeout(&server_, &millisecond, LVIO_OP_READ), 0);
  read_once(&server_, &rc);
  EXPECT_EQ(rc, LVIO_E_TIMEOUT);
  ASSERT_EQ(lvio_stream_set_timeout(&server_, nullptr, LVIO_OP_READ), 0);
  {
    Interrupter interrupter;
    read_once(&server_, &rc);
  }
  EXPECT_EQ(rc, LVIO_E_INTERRUPTED);
  std::string big(200000, 'b');
  std::string received;
  std::thread reader([&] {
    lvio_code r;
    received = read_text(&server_, big.size() + 4, &r);
  });
  ASSERT_EQ(write_text(&client_, "late" + big), 0);
  reader.join();
  EXPECT_EQ(received, "late" + big);

  lvio_stream_info info;
  ASSERT_EQ(lvio_stream_get_info(&server_, &info, 0), 0);
  EXPECT_EQ(info.kind, 4u);
  ASSERT_EQ(lvio_stream_close(&client_, 0), 0);
  read_once(&server_, &rc);
  EXPECT_EQ(rc, LVIO_E_END_OF_FILE);
}

TEST_F(Sockets, ClosingOneSideShutsItDown) {
  connect_pair();
  lvio_code rc;
  ASSERT_EQ(write_text(&server_, "last words"), 0);
  ASSERT_EQ(lvio_stream_close(&server_, LVIO_OP_WRITE), 0);
  ASSERT_NE(server_, nullptr);  // still reading
  EXPECT_EQ(read_text(&client_, 10, &rc), "last words");
  read_once(&client_, &rc);
  EXPECT_EQ(rc, LVIO_E_END_OF_FILE);
  ASSERT_EQ(write_text(&client_, "reply"), 0);
  EXPECT_EQ(read_text(&server_, 5, &rc), "reply");
}

TEST_F(Sockets, ClosingWithReadAheadPendingOnASilentPeerDoesNotWait) {
  connect_pair();
  lvio_code rc;
  read_once(&server_, &rc, LVIO_ASYNC_NO_WAIT);
  ASSERT_EQ(rc, LVIO_E_WOULD_BLOCK);  // a read is under way
  lvio_code close_rc = 1;
  EXPECT_TRUE(closes_in_time(
      &server_, [&] { write_text(&client_, "x"); }, &close_rc));
  EXPECT_EQ(close_rc, 0);
  // The peer sees the connection end.
  read_once(&client_, &rc);
  EXPECT_EQ(rc, LVIO_E_END_OF_FILE);
}

TEST_F(Sockets, WritingToAResetConnectionReportsAnError) {
  connect_pair();
  ASSERT_EQ(lvio_stream_close(&client_, LVIO_OP_ABORTIVE), 0);
  lvio_code rc = 0;
  std::string chunk(65536, 'z');
  // The reset arrives with the first write back, at the latest; no SIGPIPE.
  for (int i = 0; i < 100 && rc >= 0; i++) rc = write_text(&server_, chunk);
  EXPECT_TRUE(rc == LVIO_E_NET_CONNRESET || rc == LVIO_E_END_OF_FILE) << lvio_error_name_of(rc);
}

TEST_F(Sockets, AClosedPortRefusesConnections) {
  char port[32] = "";
  int listener;
  ASSERT_EQ(lvio_socket_listen("127.0.0.1", port, sizeof port, &listener, LVIO_LISTEN_NUMERIC_HOST), 0);
  ASSERT_EQ(lvio_socket_close(listener, 0), 0);
  int client;
  EXPECT_EQ(lvio_socket_connect("127.0.0.1", port, &client, 0), LVIO_E_NET_CONNREFUSED);
  EXPECT_EQ(lvio_socket_connect("127.0.0.1", port, &client, 1), LVIO_E_NOT_SUPPORTED);
  EXPECT_EQ(lvio_socket_listen("", port, sizeof port, &listener, 0x10), LVIO_E_NOT_SUPPORTED);
}

TEST_F(Sockets, EventsOfAListener) {
  char port[32] = "";
  ASSERT_EQ(lvio_socket_listen("", port, sizeof port, &listener_, LVIO_LISTEN_LOOPBACK), 0);
  EXPECT_EQ(lvio_socket_wait_events(listener_, LVIO_NET_OOB), LVIO_E_NOT_SUPPORTED);
  EXPECT_EQ(lvio_socket_wait_events(listener_, 6), LVIO_E_PARAMETER_ERROR);
  lvio_event* pending = nullptr;
  lvio_event* never = nullptr;
  ASSERT_EQ(lvio_socket_event(listener_, &pending, 2), 0);
  ASSERT_EQ(lvio_socket_event(listener_, &never, 0), 0);
  EXPECT_EQ(lvio_event_wait_one(pending), 0);
  int client;
  ASSERT_EQ(lvio_socket_connect("localhost", port, &client, 0), 0);
  ASSERT_EQ(lvio_event_wait(&pending, 1, nullptr), 0);
  EXPECT_EQ(lvio_event_wait_one(never), 0);
  EXPECT_EQ(lvio_socket_event(listener_, &pending, 1), 0);
  EXPECT_EQ(pending, nullptr);
  (void)lvio_socket_event(listener_, &never, 1);
  {
    Interrupter interrupter;
    // Nothing comes to the client: only the interrupt ends this wait.
    EXPECT_EQ(lvio_socket_wait_events(client, LVIO_NET_READ), LVIO_E_INTERRUPTED);
  }
  EXPECT_EQ(lvio_socket_shutdown(client, 0), 0);
  EXPECT_EQ(lvio_socket_shutdown(client, 3), 0);
  EXPECT_EQ(lvio_socket_shutdown(client, 3), 0);  // again: not connected counts as done
  EXPECT_EQ(lvio_socket_close(client, 1), 0);
}

TEST(SocketAddresses, Equality) {
  sockaddr_in a = {}, b = {};
  a.sin_family = b.sin_family = AF_INET;
  inet_pton(AF_INET, "127.0.0.1", &a.sin_addr);
  inet_pton(AF_INET, "127.0.0.1", &b.sin_addr);
  a.sin_port = htons(1);
  b.sin_port = htons(2);
  sockaddr_in c = a;
  inet_pton(AF_INET, "127.0.0.2", &c.sin_addr);
  sockaddr_in6 x = {}, y = {};
  x.sin6_family = y.sin6_family = AF_INET6;
  inet_pton(AF_INET6, "::1", &x.sin6_addr);
  inet_pton(AF_INET6, "::1", &y.sin6_addr);
  sockaddr other = {};
  other.sa_family = AF_UNIX;
  struct {
    const void* a;
    size_t a_length;
    const void* b;
    size_t b_length;
    lvio_code expected;
  } cases[] = {
      {&a, sizeof a, &b, sizeof b, 1},  // the port is not compared
      {&a, sizeof a, &c, sizeof c, 0},
      {&x, sizeof x, &y, sizeof y, 1},
      {&a, sizeof a, &x, sizeof a, 0},  // families differ
      {&a, sizeof a, &b, sizeof b - 1, 0},
      {&a, 1, &b, 1, 0},
      {&other, sizeof other, &other, sizeof other, LVIO_E_NOT_SUPPORTED},
  };
  for (const auto& t : cases) EXPECT_EQ(lvio_sockaddr_equal(t.a, t.a_length, t.b, t.b_length), t.expected);
}

TEST(SocketHost, NameIsLowerCase) {
  char* name = nullptr;
  ASSERT_EQ(lvio_host_name(&name, 0), 0);
  ASSERT_NE(name[0], '\0');
  for (const char* c = name; *c != '\0'; c++) EXPECT_FALSE(std::isupper(static_cast<unsigned char>(*c))) << name;
  lvio_free(name);
}

}  // namespace
