// The "async" layer over files, pipes and terminals; handle kinds; the
// standard chains.
#include "lvio/async_layer.h"

#include <gtest/gtest.h>
#include <pty.h>
#include <sys/socket.h>
#include <sys/stat.h>

#include <cstring>

#include "coder_test_support.h"
#include "eventually.h"
#include "failing_allocator.h"
#include "lvio/char_coder_layer.h"
#include "lvio/handles.h"
#include "lvio/operation_flags.h"
#include "lvio/options.h"
#include "lvio/std_chain.h"
#include "os_layer_fixture.h"
#include "temp_directory.h"

namespace {

// Reads into a buffer of four bytes that may not grow, until the end.
std::string read_in_fours(lvio_layer** chain, lvio_code* rc) {
  std::string s;
  char room[4];
  do {
    lvio_buffer b = {reinterpret_cast<uint8_t*>(room), 0, sizeof room,
                     LVIO_BUFFER_BORROWED | LVIO_BUFFER_CALLER_RECORD | LVIO_BUFFER_FIXED};
    lvio_buffer* p = &b;
    *rc = lvio_stream_read_buffer(chain, &p, 0);
    if (*rc >= 0) s += "[" + std::string(room, b.used) + "]";
  } while (*rc >= 0);
  return s;
}

// Files: a temporary directory, with the layer started.
class AsyncFiles : public TempDirectory {
 protected:
  void SetUp() override {
    TempDirectory::SetUp();
    ASSERT_EQ(lvio_initialize(nullptr, nullptr, nullptr, 0), 0);
  }
  void TearDown() override {
    if (chain_ != nullptr) (void)lvio_stream_close(&chain_, LVIO_OP_ABORTIVE);
    EXPECT_EQ(lvio_initialize(nullptr, nullptr, nullptr, 1), 0);
    TempDirectory::TearDown();
  }
  lvio_code open(const std::string& name, uint32_t flags) {
    std::string full = path(name);
    const lvio_option options[] = {{"pathname", {LVIO_VALUE_STRING, {full.c_str()}}}, {nullptr, {LVIO_VALUE_END, {}}}};
    return lvio_open_device_by_name("async", &chain_, options, flags);
  }
  off_t size_of(const std::string& name) const {
    struct stat st;
    return stat(path(name).c_str(), &st) == 0 ? st.st_size : -1;
  }
  lvio_layer* chain_ = nullptr;
};

TEST_F(AsyncFiles, WritesGatherUntilASyncOrAFullBuffer) {
  ASSERT_EQ(open("out", LVIO_ASYNC_WRITE), 0);
  std::string ten = "0123456789";
  lvio_buffer b = {reinterpret_cast<uint8_t*>(ten.data()), 10, 10, LVIO_BUFFER_BORROWED | LVIO_BUFFER_CALLER_RECORD};
  uint64_t at = 0;
  ASSERT_EQ(lvio_stream_write_buffer(&chain_, &b, &at, 0), 0);
  EXPECT_EQ(at, 10u);
  EXPECT_EQ(size_of("out"), 0);
  ASSERT_EQ(lvio_stream_sync_dirs(&chain_, LVIO_OP_WRITE), 0);
  EXPECT_EQ(contents("out"), ten);

  // 70,000 bytes: one full buffer is written at once, the rest waits.
  std::string big(70000, 'x');
  lvio_buffer bb = {reinterpret_cast<uint8_t*>(big.data()), big.size(), big.size(),
                    LVIO_BUFFER_BORROWED | LVIO_BUFFER_CALLER_RECORD};
  at = 0;
  ASSERT_EQ(lvio_stream_write_buffer(&chain_, &bb, &at, 0), 0);
  EXPECT_EQ(at, 65536u);
  EXPECT_EQ(size_of("out"), 10 + 65536);
  ASSERT_EQ(lvio_stream_write_buffer(&chain_, &bb, &at, LVIO_OP_WRITE_ALL), 0);
  EXPECT_EQ(size_of("out"), 10 + 65536);
  int64_t length;
  ASSERT_EQ(lvio_stream_get_size(&chain_, &length, 0), 0);
  EXPECT_EQ(length, 70010);  // what is buffered counts
  ASSERT_EQ(lvio_stream_close(&chain_, 0), 0);
  EXPECT_EQ(chain_, nullptr);
  EXPECT_EQ(contents("out"), ten + big);
}

TEST_F(AsyncFiles, ReadsGoOnWhenTheFileGrows) {
  file("in", "abc");
  ASSERT_EQ(open("in", LVIO_ASYNC_READ), 0);
  lvio_code rc;
  EXPECT_EQ(read_once(&chain_, &rc), "abc");
  read_once(&chain_, &rc);
  EXPECT_EQ(rc, LVIO_E_END_OF_FILE);
  int fd = ::open(path("in").c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(write(fd, "def", 3), 3);
  close(fd);
  EXPECT_EQ(read_once(&chain_, &rc), "def");
  EXPECT_EQ(rc, 0);
  lvio_stream_info info;
  ASSERT_EQ(lvio_stream_get_info(&chain_, &info, 0), 0);
  EXPECT_EQ(info.kind, static_cast<uint32_t>(LVIO_HANDLE_KIND_DISK));
}

TEST_F(AsyncFiles, AReadIntoABufferThatCannotGrowTakesWhatFits) {
  file("in", "0123456789");
  ASSERT_EQ(open("in", LVIO_ASYNC_READ), 0);
  lvio_code rc;
  EXPECT_EQ(read_in_fours(&chain_, &rc), "[0123][4567][89]");
  EXPECT_EQ(rc, LVIO_E_END_OF_FILE);
}

TEST_F(AsyncFiles, OpenErrors) {
  file("exists", "x");
  directory("dir");
  struct {
    const char* name;
    uint32_t flags;
    lvio_code expected;
  } cases[] = {
      {"exists", LVIO_ASYNC_READ | LVIO_ASYNC_WRITE | LVIO_ASYNC_APPEND, LVIO_E_PARAMETER_ERROR},
      {"exists", 0, LVIO_E_PARAMETER_ERROR},
      {"exists", LVIO_ASYNC_WRITE | LVIO_ASYNC_EXCLUSIVE, LVIO_E_FILE_EXISTS},
      {"missing", LVIO_ASYNC_READ, LVIO_E_FILE_NOT_FOUND},
      {"dir", LVIO_ASYNC_READ, LVIO_E_FILE_IS_DIRECTORY},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(open(c.name, c.flags), c.expected) << c.name << " " << c.flags;
    EXPECT_EQ(chain_, nullptr);
  }
  EXPECT_EQ(lvio_open_device_by_name("async", &chain_, nullptr, LVIO_ASYNC_READ), LVIO_E_PARAMETER_ERROR);
  EXPECT_EQ(contents("exists"), "x");
}

TEST_F(AsyncFiles, AppendingWritesGoAtTheEnd) {
  file("log", "abc");
  ASSERT_EQ(open("log", LVIO_ASYNC_WRITE | LVIO_ASYNC_APPEND), 0);
  int64_t position;
  ASSERT_EQ(lvio_stream_seek(&chain_, 0, &position, nullptr, LVIO_SEEK_RELATIVE), 0);
  EXPECT_EQ(position, 3);
  ASSERT_EQ(write_text(&chain_, "def"), 0);
  ASSERT_EQ(lvio_stream_close(&chain_, 0), 0);
  EXPECT_EQ(contents("log"), "abcdef");
}

TEST_F(AsyncFiles, SeeksOnAFileReadAndWritten) {
  file("rw", "0123456789");
  ASSERT_EQ(open("rw", LVIO_ASYNC_READ | LVIO_ASYNC_WRITE), 0);
  int64_t position;
  const uint32_t both = LVIO_SEEK_READ_SIDE | LVIO_SEEK_WRITE_SIDE;
  lvio_code rc;
  EXPECT_EQ(read_once(&chain_, &rc), "0123456789");
  // Read and written, the file has one position to move.
  EXPECT_EQ(lvio_stream_seek(&chain_, 0, &position, nullptr, LVIO_SEEK_ABSOLUTE | LVIO_SEEK_READ_SIDE),
            LVIO_E_SEEK_ERROR);
  EXPECT_EQ(lvio_stream_seek(&chain_, 0, &position, nullptr, LVIO_SEEK_RELATIVE | both), LVIO_E_SEEK_ERROR);
  EXPECT_EQ(lvio_stream_seek(&chain_, -1, &position, nullptr, LVIO_SEEK_ABSOLUTE | both), LVIO_E_PARAMETER_ERROR);
  EXPECT_EQ(lvio_stream_seek(&chain_, -2, &position, nullptr, both), LVIO_E_PARAMETER_ERROR);  // no from-end flag
  ASSERT_EQ(lvio_stream_seek(&chain_, -2, &position, nullptr, LVIO_SEEK_FROM_END | both), 0);
  EXPECT_EQ(position, 8);
  EXPECT_EQ(read_once(&chain_, &rc), "89");
  ASSERT_EQ(lvio_stream_seek(&chain_, 2, &position, nullptr, LVIO_SEEK_ABSOLUTE | both), 0);
  ASSERT_EQ(write_text(&chain_, "XY"), 0);
  EXPECT_EQ(contents("rw"), "01XY456789");
  // The read-ahead taken before the write is not served: the read sees it.
  ASSERT_EQ(lvio_stream_seek(&chain_, 0, &position, nullptr, LVIO_SEEK_ABSOLUTE | both), 0);
  EXPECT_EQ(read_once(&chain_, &rc), "01XY456789");

  // Bytes just read can be given back and are read again.
  lvio_buffer* b = nullptr;
  ASSERT_EQ(lvio_stream_seek(&chain_, 4, &position, nullptr, LVIO_SEEK_ABSOLUTE | both), 0);
  ASSERT_EQ(lvio_stream_read_buffer(&chain_, &b, 0), 0);
  ASSERT_EQ(lvio_stream_seek(&chain_, -2, &position, b, LVIO_SEEK_GIVE_BACK | LVIO_SEEK_READ_SIDE), 0);
  lvio_buffer_free(b);
  EXPECT_EQ(position, 8);
  EXPECT_EQ(read_once(&chain_, &rc), "89");
}

TEST_F(AsyncFiles, ControlRequests) {
  ASSERT_EQ(open("c", LVIO_ASYNC_WRITE), 0);
  EXPECT_EQ(lvio_stream_control_request(&chain_, 7, nullptr, 0), LVIO_E_NOT_SUPPORTED);
  const lvio_time negative = {-1, 0};
  EXPECT_EQ(lvio_stream_set_timeout(&chain_, &negative, LVIO_OP_READ), LVIO_E_PARAMETER_ERROR);
  const lvio_time second = {1, 0};
  EXPECT_EQ(lvio_stream_set_timeout(&chain_, &second, LVIO_OP_READ | LVIO_OP_WRITE), 0);
  EXPECT_EQ(lvio_stream_set_timeout(&chain_, nullptr, LVIO_OP_READ | LVIO_OP_WRITE), 0);
  lvio_event* event = nullptr;
  ASSERT_EQ(lvio_stream_write_event(&chain_, &event), 0);
  EXPECT_EQ(lvio_event_wait_one(event), 1);  // nothing pending
}

TEST_F(AsyncFiles, AFifoOpensForReadingBeforeAWriterComes) {
  ASSERT_EQ(mkfifo(path("fifo").c_str(), 0600), 0);
  ASSERT_EQ(open("fifo", LVIO_ASYNC_READ), 0);
  int writer = ::open(path("fifo").c_str(), O_WRONLY | O_CLOEXEC);
  ASSERT_GE(writer, 0);
  ASSERT_EQ(write(writer, "x", 1), 1);
  lvio_code rc;
  EXPECT_EQ(read_once(&chain_, &rc), "x");
  close(writer);
  read_once(&chain_, &rc);
  EXPECT_EQ(rc, LVIO_E_END_OF_FILE);
}

// Pipes.
class AsyncPipes : public OsLayer {
 protected:
  void TearDown() override {
    if (chain_ != nullptr) (void)lvio_stream_close(&chain_, LVIO_OP_ABORTIVE);
    OsLayer::TearDown();
  }
  void open_reader() { ASSERT_EQ(lvio_open_os_handle(&chain_, pipe_.take_read(), LVIO_ASYNC_READ), 0); }
  Pipe pipe_;
  lvio_layer* chain_ = nullptr;
};

TEST_F(AsyncPipes, ReadsUntilTheWriterCloses) {
  open_reader();
  pipe_.put("hello");
  lvio_code rc;
  EXPECT_EQ(read_text(&chain_, 5, &rc), "hello");
  pipe_.close_write();
  read_once(&chain_, &rc);
  EXPECT_EQ(rc, LVIO_E_END_OF_FILE);
  read_once(&chain_, &rc);
  EXPECT_EQ(rc, LVIO_E_END_OF_FILE);
  lvio_stream_info info;
  ASSERT_EQ(lvio_stream_get_info(&chain_, &info, 0), 0);
  EXPECT_EQ(info.kind, static_cast<uint32_t>(LVIO_HANDLE_KIND_PIPE));
  int64_t position;
  EXPECT_EQ(lvio_stream_seek(&chain_, 0, &position, nullptr, LVIO_SEEK_ABSOLUTE), LVIO_E_SEEK_ERROR);
}

TEST_F(AsyncPipes, AReadIntoABufferThatCannotGrowTakesWhatFits) {
  open_reader();
  pipe_.put("abcdefghij");
  pipe_.close_write();
  lvio_code rc;
  EXPECT_EQ(read_in_fours(&chain_, &rc), "[abcd][efgh][ij]");
  EXPECT_EQ(rc, LVIO_E_END_OF_FILE);
}

TEST_F(AsyncPipes, ATimeOutOrANoWaitReadLeavesTheReadRunning) {
  open_reader();
  lvio_code rc;
  read_once(&chain_, &rc, LVIO_ASYNC_NO_WAIT);
  EXPECT_EQ(rc, LVIO_E_WOULD_BLOCK);
  const lvio_time nanosecond = {0, 1};
  ASSERT_EQ(lvio_stream_set_timeout(&chain_, &nanosecond, LVIO_OP_READ), 0);
  read_once(&chain_, &rc);
  EXPECT_EQ(rc, LVIO_E_TIMEOUT);
  ASSERT_EQ(lvio_stream_set_timeout(&chain_, nullptr, LVIO_OP_READ), 0);
  pipe_.put("late");
  EXPECT_EQ(read_text(&chain_, 4, &rc), "late");
}

TEST_F(AsyncPipes, AnInterruptReleasesABlockedReadWhichGoesOn) {
  open_reader();
  lvio_code rc;
  {
    Interrupter interrupter;
    read_once(&chain_, &rc);
  }
  EXPECT_EQ(rc, LVIO_E_INTERRUPTED);
  pipe_.put("after");
  EXPECT_EQ(read_text(&chain_, 5, &rc), "after");
}

TEST_F(AsyncPipes, ClosingWithReadAheadPendingOnASilentPipeDoesNotWait) {
  open_reader();
  pipe_.put("a");
  lvio_code rc;
  ASSERT_EQ(read_once(&chain_, &rc), "a");  // and the next read is under way
  lvio_code close_rc = 1;
  EXPECT_TRUE(closes_in_time(
      &chain_, [&] { pipe_.close_write(); }, &close_rc));
  EXPECT_EQ(close_rc, 0);
  EXPECT_EQ(chain_, nullptr);
}

TEST_F(AsyncPipes, AReadSideSyncKeepsWhatWasTakenFromThePipe) {
  open_reader();
  pipe_.put("abc");
  lvio_code rc;
  ASSERT_EQ(read_text(&chain_, 3, &rc), "abc");
  pipe_.put("def");
  // The read-ahead takes "def" from the pipe...
  lvio_event* readable;
  ASSERT_EQ(lvio_stream_read_event(&chain_, &readable), 0);
  ASSERT_TRUE(eventually([&] { return lvio_event_wait_one(readable) == 1; }));
  // ... and a sync that gives read-ahead back must not lose it (the bound
  // only turns a loss into a failure instead of a hang).
  ASSERT_EQ(lvio_stream_sync_all(&chain_, LVIO_OP_READ), 0);
  const lvio_time bound = {GENEROUS.count(), 0};
  ASSERT_EQ(lvio_stream_set_timeout(&chain_, &bound, LVIO_OP_READ), 0);
  EXPECT_EQ(read_once(&chain_, &rc), "def");
  EXPECT_EQ(rc, 0);
}

TEST_F(AsyncPipes, BytesGivenBackAreReadAgain) {
  open_reader();
  pipe_.put("abcdef");
  lvio_buffer* b = nullptr;
  std::string got;
  while (got.size() < 6) {
    ASSERT_EQ(lvio_stream_read_buffer(&chain_, &b, 0), 0);
    got.assign(reinterpret_cast<char*>(b->data), b->used);
  }
  int64_t position;
  ASSERT_EQ(lvio_stream_seek(&chain_, -3, &position, b, LVIO_SEEK_GIVE_BACK | LVIO_SEEK_READ_SIDE), 0);
  lvio_buffer_free(b);
  EXPECT_EQ(position, 3);
  pipe_.put("gh");
  lvio_code rc;
  EXPECT_EQ(read_text(&chain_, 5, &rc), "defgh");
}

TEST_F(AsyncPipes, ATextLayerOverAPipeGivesBackWhatItHasNotDecoded) {
  open_reader();
  pipe_.put("h\xC3\xA9llo w\xC3\xB6rld");
  const lvio_option options[] = {pointer_option(LVIO_OPTION_READ_CODER, make_coder("UTF-8", LVIO_CODER_CREATE_DECODER)),
                                 end_option()};
  ASSERT_EQ(lvio_push_layer_by_name("char-coder", &chain_, options, LVIO_PUSH_ONE_DIRECTION), 0);
  // Room for two characters: the layer decodes two and keeps the rest of
  // the bytes it read.
  uint32_t codes[2];
  lvio_buffer room = {reinterpret_cast<uint8_t*>(codes), 0, sizeof codes,
                      LVIO_BUFFER_BORROWED | LVIO_BUFFER_CALLER_RECORD | LVIO_BUFFER_FIXED};
  lvio_buffer* b = &room;
  ASSERT_EQ(lvio_stream_read_buffer(&chain_, &b, 0), 0);
  ASSERT_EQ(room.used, sizeof codes);
  EXPECT_EQ(codes[0], uint32_t{'h'});
  EXPECT_EQ(codes[1], 0xE9u);
  // Taken off, it hands those bytes back to the pipe's layer.
  ASSERT_EQ(lvio_pop_layer(nullptr, &chain_, 0), 0);
  ASSERT_EQ(chain_->cls, &lvio_async_class);
  lvio_code rc;
  EXPECT_EQ(read_text(&chain_, 10, &rc), "llo w\xC3\xB6rld");
}

TEST_F(AsyncPipes, WritingToAPipeWithoutReaderReportsItsEnd) {
  ASSERT_EQ(lvio_open_os_handle(&chain_, pipe_.take_write(), LVIO_ASYNC_WRITE), 0);
  pipe_.close_read();
  // SIGPIPE does not end the process; the write reports the end instead.
  EXPECT_EQ(write_text(&chain_, "x"), LVIO_E_END_OF_FILE);
  EXPECT_EQ(lvio_stream_close(&chain_, LVIO_OP_ABORTIVE), 0);
}

TEST_F(AsyncPipes, AWriteIntoAFullPipeTimesOutAndAnAbortiveCloseLeavesIt) {
  ASSERT_EQ(lvio_open_os_handle(&chain_, pipe_.take_write(), LVIO_ASYNC_WRITE), 0);
  const lvio_time millisecond = {0, 1000000};
  ASSERT_EQ(lvio_stream_set_timeout(&chain_, &millisecond, LVIO_OP_WRITE), 0);
  // Nobody reads: more than the pipe holds cannot be written.
  EXPECT_EQ(write_text(&chain_, std::string(1 << 20, 'f')), LVIO_E_TIMEOUT);
  EXPECT_EQ(lvio_stream_close(&chain_, LVIO_OP_ABORTIVE), 0);
  EXPECT_EQ(chain_, nullptr);
}

TEST_F(AsyncPipes, WithoutMemoryNoLayerIsMadeAndTheHandleStaysTheCallers) {
  int fd = pipe_.read_end;
  {
    FailingAllocator refuse;
    EXPECT_EQ(lvio_open_os_handle(&chain_, fd, LVIO_ASYNC_READ), LVIO_E_OUT_OF_MEMORY);
  }
  EXPECT_EQ(chain_, nullptr);
  EXPECT_EQ(lvio_handle_kind(fd), LVIO_HANDLE_KIND_PIPE);
  EXPECT_EQ(lvio_open_os_handle(&chain_, -1, LVIO_ASYNC_READ), LVIO_E_PARAMETER_ERROR);
  EXPECT_EQ(lvio_open_os_handle(&chain_, fd, 0), LVIO_E_PARAMETER_ERROR);
  int closed = dup(fd);
  close(closed);
  EXPECT_EQ(lvio_open_os_handle(&chain_, closed, LVIO_ASYNC_READ), LVIO_E_OPEN_ERROR);
}

TEST_F(AsyncPipes, LargeWritesArriveWhole) {
  ASSERT_EQ(lvio_open_os_handle(&chain_, pipe_.take_write(), LVIO_ASYNC_WRITE), 0);
  std::string data;
  for (int i = 0; i < 300000; i++) data += static_cast<char>('a' + i % 23);
  std::string received;
  std::thread reader([&] {
    char buffer[4096];
    ssize_t n;
    while ((n = read(pipe_.read_end, buffer, sizeof buffer)) > 0) received.append(buffer, n);
  });
  EXPECT_EQ(write_text(&chain_, data), 0);
  EXPECT_EQ(lvio_stream_close(&chain_, 0), 0);
  reader.join();
  EXPECT_EQ(received, data);
}

// A terminal: the slave side of a pseudo-terminal.
class AsyncTerminal : public OsLayer {
 protected:
  void SetUp() override {
    OsLayer::SetUp();
    ASSERT_EQ(openpty(&master_, &slave_, nullptr, nullptr, nullptr), 0);
    fcntl(master_, F_SETFD, FD_CLOEXEC);
    fcntl(slave_, F_SETFD, FD_CLOEXEC);
  }
  void TearDown() override {
    if (chain_ != nullptr) (void)lvio_stream_close(&chain_, LVIO_OP_ABORTIVE);
    close(master_);
    OsLayer::TearDown();
  }
  int master_ = -1;
  int slave_ = -1;
  lvio_layer* chain_ = nullptr;
};

TEST_F(AsyncTerminal, ReadsLinesAndIsInterruptible) {
  ASSERT_EQ(lvio_open_os_handle(&chain_, slave_, LVIO_ASYNC_READ | LVIO_ASYNC_NO_READ_AHEAD), 0);
  lvio_stream_info info;
  ASSERT_EQ(lvio_stream_get_info(&chain_, &info, 0), 0);
  EXPECT_EQ(info.kind, LVIO_DEVICE_CONSOLE);
  int64_t position;
  EXPECT_EQ(lvio_stream_seek(&chain_, 0, &position, nullptr, LVIO_SEEK_RELATIVE), LVIO_E_SEEK_ERROR);

  ASSERT_EQ(write(master_, "first line\n", 11), 11);
  lvio_code rc;
  EXPECT_EQ(read_text(&chain_, 11, &rc), "first line\n");
  {
    Interrupter interrupter;
    read_once(&chain_, &rc);
  }
  EXPECT_EQ(rc, LVIO_E_INTERRUPTED);
  ASSERT_EQ(write(master_, "second\n", 7), 7);
  EXPECT_EQ(read_text(&chain_, 7, &rc), "second\n");
}

// Handles and the standard chains.
TEST(Handles, Kinds) {
  char name[] = "/tmp/lvio-kind-XXXXXX";
  int file = mkstemp(name);
  ASSERT_GE(file, 0);
  unlink(name);
  int ends[2], pair[2], master, slave;
  ASSERT_EQ(pipe2(ends, O_CLOEXEC), 0);
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair), 0);
  ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
  int null = ::open("/dev/null", O_RDWR | O_CLOEXEC);
  int dir = ::open("/tmp", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  struct {
    int fd;
    int32_t kind;
  } cases[] = {
      {file, LVIO_HANDLE_KIND_DISK},     {ends[0], LVIO_HANDLE_KIND_PIPE},    {pair[0], LVIO_HANDLE_KIND_SOCKET},
      {slave, LVIO_HANDLE_KIND_CONSOLE}, {null, LVIO_HANDLE_KIND_CHARACTER},  {dir, LVIO_HANDLE_KIND_CHARACTER},
      {-1, LVIO_HANDLE_KIND_INVALID},    {1 << 20, LVIO_HANDLE_KIND_INVALID},
  };
  for (const auto& c : cases) EXPECT_EQ(lvio_handle_kind(c.fd), c.kind) << c.fd;

  ASSERT_EQ(write(file, "12345", 5), 5);
  int64_t value;
  ASSERT_EQ(lvio_file_size(file, &value), 0);
  EXPECT_EQ(value, 5);
  ASSERT_EQ(lvio_file_position(file, &value), 0);
  EXPECT_EQ(value, 5);
  EXPECT_EQ(lvio_file_size(ends[0], &value), LVIO_E_NOT_SUPPORTED);
  int copy;
  EXPECT_EQ(lvio_dup_std_handle(3, &copy), LVIO_E_PARAMETER_ERROR);
  ASSERT_EQ(lvio_dup_std_handle(2, &copy), 0);
  EXPECT_GE(copy, 3);
  EXPECT_EQ(fcntl(copy, F_GETFD) & FD_CLOEXEC, FD_CLOEXEC);
  for (int fd : {file, ends[0], ends[1], pair[0], pair[1], master, slave, null, dir, copy})
    EXPECT_EQ(lvio_handle_close(fd, 0), 0);
  EXPECT_NE(lvio_handle_close(file, 0), 0);
  EXPECT_EQ(lvio_handle_close(file, 1), 0);  // abortive: a failure is ignored
}

TEST_F(OsLayer, StandardChainsComeFromTheStart) {
  lvio_layer* out = nullptr;
  ASSERT_EQ(lvio_get_std_chain(&out, LVIO_STD_OUTPUT), 0);
  EXPECT_EQ(out->cls, &lvio_async_class);
  lvio_layer* taken = nullptr;
  EXPECT_EQ(lvio_get_std_chain(&taken, LVIO_STD_OUTPUT), LVIO_E_NOT_FOUND);
  // An empty slot can give a null device instead.
  lvio_layer* null_out = nullptr;
  ASSERT_EQ(lvio_get_std_chain(&null_out, LVIO_STD_OUTPUT | LVIO_STD_MAKE_NULL), 0);
  EXPECT_EQ(write_text(&null_out, "dropped"), 0);
  EXPECT_EQ(lvio_stream_close(&null_out, 0), 0);
  lvio_layer* in = nullptr;
  (void)lvio_get_std_chain(&in, LVIO_STD_INPUT);  // absent when the test runs without standard input
  lvio_layer* null_in = nullptr;
  ASSERT_EQ(lvio_get_std_chain(&null_in, LVIO_STD_INPUT | LVIO_STD_MAKE_NULL), 0);
  lvio_code rc;
  read_once(&null_in, &rc);
  EXPECT_EQ(rc, LVIO_E_END_OF_FILE);
  EXPECT_EQ(lvio_stream_close(&null_in, 0), 0);
  EXPECT_EQ(lvio_get_std_chain(&taken, LVIO_STD_SPARE | LVIO_STD_MAKE_NULL), LVIO_E_PARAMETER_ERROR);
  // Back in their slots, for the stop to close.
  EXPECT_EQ(lvio_set_std_chain(&out, LVIO_STD_OUTPUT | LVIO_STD_CLOSE_WRITE), 0);
  if (in != nullptr) {
    EXPECT_EQ(lvio_set_std_chain(&in, LVIO_STD_INPUT | LVIO_STD_CLOSE_READ), 0);
  }
  struct {
    uint32_t kind_flags;
    int64_t slot;
  } slots[] = {{LVIO_STD_INPUT, 1}, {LVIO_STD_OUTPUT, 2}, {LVIO_STD_ERROR, 3}, {LVIO_STD_SPARE, 4}, {9, 1}, {21, 3}};
  for (const auto& s : slots) EXPECT_EQ(lvio_std_slot_number(s.kind_flags), s.slot) << s.kind_flags;
}

TEST_F(OsLayer, AReplacedStandardChainIsClosedForItsDirection) {
  Pipe first, second;
  lvio_layer* a = nullptr;
  lvio_layer* b = nullptr;
  ASSERT_EQ(lvio_open_os_handle(&a, first.take_write(), LVIO_ASYNC_WRITE), 0);
  ASSERT_EQ(lvio_open_os_handle(&b, second.take_write(), LVIO_ASYNC_WRITE), 0);
  EXPECT_EQ(lvio_set_std_chain(&a, LVIO_STD_SPARE | LVIO_STD_CLOSE_WRITE), 0);
  EXPECT_EQ(lvio_set_std_chain(&a, LVIO_STD_SPARE | LVIO_STD_CLOSE_WRITE), 0);  // the same chain again
  lvio_layer* none = nullptr;
  EXPECT_EQ(lvio_set_std_chain(&none, LVIO_STD_SPARE), LVIO_E_PARAMETER_ERROR);
  ASSERT_EQ(lvio_set_std_chain(&b, LVIO_STD_SPARE), 0);
  // The first chain is gone: its pipe has no writer left.
  char c;
  EXPECT_EQ(read(first.read_end, &c, 1), 0);
  // The second was stored without close flags: emptying the slot leaves it open.
  ASSERT_EQ(lvio_set_std_chain(nullptr, LVIO_STD_SPARE), 0);
  ASSERT_EQ(write_text(&b, "y"), 0);
  EXPECT_EQ(read(second.read_end, &c, 1), 1);
  EXPECT_EQ(lvio_stream_close(&b, 0), 0);
}

TEST_F(OsLayer, StoppingTheStandardHandlesClosesAChainWhoseFlushFails) {
  Pipe pipe;
  int fd = pipe.write_end;
  lvio_layer* out = nullptr;
  ASSERT_EQ(lvio_open_os_handle(&out, pipe.take_write(), LVIO_ASYNC_WRITE | LVIO_ASYNC_OWN_POSITION), 0);
  // Written but not yet handed to the pipe, whose reader then goes.
  lvio_buffer b = {reinterpret_cast<uint8_t*>(const_cast<char*>("unsent")), 6, 6,
                   LVIO_BUFFER_BORROWED | LVIO_BUFFER_CALLER_RECORD | LVIO_BUFFER_FIXED};
  uint64_t at = 0;
  ASSERT_EQ(lvio_stream_write_buffer(&out, &b, &at, LVIO_OP_WRITE_ALL), 0);
  pipe.close_read();
  ASSERT_EQ(lvio_set_std_chain(&out, LVIO_STD_OUTPUT | LVIO_STD_CLOSE_WRITE), 0);
  EXPECT_EQ(lvio_std_handles_module(1), LVIO_E_END_OF_FILE);  // the flush fails
  // The chain is closed all the same, and its descriptor with it.
  EXPECT_EQ(fcntl(fd, F_GETFD), -1);
  lvio_layer* left = nullptr;
  EXPECT_EQ(lvio_get_std_chain(&left, LVIO_STD_OUTPUT), LVIO_E_NOT_FOUND);
}

}  // namespace
