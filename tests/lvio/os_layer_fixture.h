// Test support for handles, processes and sockets: the whole I/O layer
// started around each test, reading and writing chains as strings, and a
// thread that interrupts the test's blocked wait.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>

#include "eventually.h"
#include "lvio/async_layer.h"
#include "lvio/buffer.h"
#include "lvio/chain.h"
#include "lvio/initialize.h"
#include "lvio/interrupt.h"

class OsLayer : public testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(lvio_initialize(nullptr, nullptr, nullptr, 0), 0); }
  void TearDown() override { EXPECT_EQ(lvio_initialize(nullptr, nullptr, nullptr, 1), 0); }
};

// One read of the chain: the bytes it gave, and its result in *rc.
inline std::string read_once(lvio_layer** chain, lvio_code* rc, uint32_t flags = 0) {
  lvio_buffer* b = nullptr;
  *rc = lvio_stream_read_buffer(chain, &b, flags);
  std::string s = b != nullptr ? std::string(reinterpret_cast<char*>(b->data), b->used) : "";
  lvio_buffer_free(b);
  return s;
}

// Reads until the text has come (or a read fails): what was read.
inline std::string read_text(lvio_layer** chain, size_t length, lvio_code* rc) {
  std::string s;
  *rc = 0;
  while (s.size() < length && *rc >= 0) s += read_once(chain, rc);
  return s;
}

// Writes the whole text and hands it to the device.
inline lvio_code write_text(lvio_layer** chain, const std::string& text) {
  lvio_buffer b = {reinterpret_cast<uint8_t*>(const_cast<char*>(text.data())), text.size(), text.size(),
                   LVIO_BUFFER_BORROWED | LVIO_BUFFER_CALLER_RECORD | LVIO_BUFFER_FIXED};
  uint64_t at = 0;
  lvio_code rc = lvio_stream_write_buffer(chain, &b, &at, LVIO_OP_WRITE_ALL);
  if (rc < 0) return rc;
  return lvio_stream_sync_dirs(chain, LVIO_OP_WRITE);
}

// Closes the chain on another thread: true when the close returns within
// the bound, with its result in *rc. A close that does not is released with
// release(), so that the test ends instead of hanging.
inline bool closes_in_time(lvio_layer** chain, const std::function<void()>& release, lvio_code* rc) {
  std::atomic<bool> closed{false};
  std::thread closer([&] {
    *rc = lvio_stream_close(chain, 0);
    closed.store(true);
  });
  bool in_time = eventually([&] { return closed.load(); });
  if (!in_time) release();
  closer.join();
  return in_time;
}

// Interrupts, again and again, until stopped: an interrupt counts only while
// the layer waits, and the test cannot tell from outside when that starts.
class Interrupter {
 public:
  Interrupter()
      : thread_([this] {
          while (!stop_.load()) {
            (void)lvio_interrupt(0);
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
          }
        }) {}
  ~Interrupter() {
    stop_.store(true);
    thread_.join();
  }

 private:
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

// A pipe whose ends are close-on-exec.
struct Pipe {
  int read_end = -1;
  int write_end = -1;
  Pipe() {
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) == 0) {
      read_end = ends[0];
      write_end = ends[1];
    }
  }
  ~Pipe() {
    close_read();
    close_write();
  }
  void close_read() {
    if (read_end >= 0) close(read_end);
    read_end = -1;
  }
  void close_write() {
    if (write_end >= 0) close(write_end);
    write_end = -1;
  }
  // The read end handed to a chain, which closes it from now on.
  int take_read() {
    int fd = read_end;
    read_end = -1;
    return fd;
  }
  int take_write() {
    int fd = write_end;
    write_end = -1;
    return fd;
  }
  void put(const std::string& text) const {
    ASSERT_EQ(write(write_end, text.data(), text.size()), static_cast<ssize_t>(text.size()));
  }
};
