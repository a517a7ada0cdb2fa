// Handle operations on worker threads: a take waits for a worker that is
// ending, so that nothing of the operation reaches the completion event
// after the take has returned.
#include "lvio/handle_op.h"

#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "eventually.h"
#include "os_layer_fixture.h"

namespace {

std::atomic<int> completions_set{0};

// A completion setter that dawdles, so that the worker is still between the
// end of its operation and its event when the engine thread takes it.
lvio_code slow_set(lvio_event* event) {
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  lvio_code rc = lvio_event_set(event);
  completions_set.fetch_add(1);
  return rc;
}

class HandleOps : public OsLayer {
 protected:
  void SetUp() override {
    OsLayer::SetUp();
    ASSERT_EQ(lvio_event_create(0, &completion_), 0);
    completions_set.store(0);  // counted per test, also when the tests share a process
    lvio_handle_op_set_completion.store(slow_set);
  }
  void TearDown() override {
    if (op_ != nullptr) (void)lvio_handle_op_take(&op_, nullptr, nullptr);
    // Every worker has set its event before the setter goes back.
    EXPECT_TRUE(eventually([] { return completions_set.load() == 1; }));
    lvio_handle_op_set_completion.store(lvio_event_set);
    lvio_event_release(completion_);
    OsLayer::TearDown();
  }
  // Starts a read of the pipe, feeds it a byte, waits until the worker has
  // ended the read (its event not yet set) and takes the operation.
  void read_one_byte_and_take() {
    ASSERT_EQ(lvio_handle_read_start(&op_, 0, pipe_.read_end, completion_, LVIO_HANDLE_PIPE), 0);
    pipe_.put("x");
    lvio_code code = 0;
    ASSERT_TRUE(eventually([&] { return lvio_handle_op_status(op_, &code) != LVIO_E_AIO_INPROGRESS; }));
    int64_t transferred = -1;
    EXPECT_EQ(lvio_handle_op_take(&op_, nullptr, &transferred), 0);
    EXPECT_EQ(transferred, 1);
  }
  Pipe pipe_;
  lvio_event* completion_ = nullptr;
  lvio_handle_op* op_ = nullptr;
};

TEST_F(HandleOps, AfterATakeTheCompletionDescriptorMayNameAnotherFile) {
  read_one_byte_and_take();
  // The chain closes its event and its number goes to a file opened next.
  int file = memfd_create("after-the-take", MFD_CLOEXEC);
  ASSERT_GE(file, 0);
  ASSERT_EQ(dup3(file, completion_->fd, O_CLOEXEC), completion_->fd);
  close(file);
  ASSERT_TRUE(eventually([] { return completions_set.load() == 1; }));
  struct stat st;
  ASSERT_EQ(fstat(completion_->fd, &st), 0);
  EXPECT_EQ(st.st_size, 0);  // nothing was written into the file
}

TEST_F(HandleOps, TheNextReadOnASilentPipeIsNotSignalledByTheLastOne) {
  read_one_byte_and_take();
  ASSERT_EQ(lvio_handle_read_start(&op_, 0, pipe_.read_end, completion_, LVIO_HANDLE_PIPE), 0);
  ASSERT_TRUE(eventually([] { return completions_set.load() == 1; }));
  // Nothing comes: a wait times out rather than returning at once.
  const lvio_time zero = {0, 0};
  EXPECT_EQ(lvio_handle_wait(&op_, 1, &zero), LVIO_E_TIMEOUT);
  EXPECT_EQ(lvio_event_wait_one(completion_), 0);
}

}  // namespace
