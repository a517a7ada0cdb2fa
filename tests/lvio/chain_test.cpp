// Chains of layers: the class registry, push and pop, the generic data
// operations, close and the control-request walk, over test layers that log
// every operation they are given.
#include "lvio/chain.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "lvio/allocator.h"
#include "lvio/buffer.h"
#include "lvio/operation_flags.h"
#include "lvio/options.h"

namespace {

std::vector<std::string> op_log;

struct test_layer {
  lvio_layer header;
  const char* tag;
};

const char* tag_of(lvio_layer** chain) { return reinterpret_cast<test_layer*>(*chain)->tag; }

void log_op(lvio_layer** chain, const char* op, uint32_t flags) {
  op_log.push_back(std::string(tag_of(chain)) + " " + op + " " + std::to_string(flags));
}

lvio_layer** below(lvio_layer** chain) { return &(*chain)->next; }

// The device: reads come from a fixed text, two bytes at a time; writes of at
// most four bytes at a time go to device_output.
const char* device_input;
size_t device_read_position;
std::string device_output;
lvio_code device_sync_result;

lvio_code device_read(lvio_layer** chain, lvio_buffer* buffer, uint32_t flags) {
  log_op(chain, "read", flags);
  size_t left = std::strlen(device_input) - device_read_position;
  if (left == 0) return LVIO_E_END_OF_FILE;
  size_t n = left < 2 ? left : 2;
  lvio_code rc = lvio_buffer_append(buffer, device_input + device_read_position, n);
  device_read_position += n;
  return rc;
}

lvio_code device_write(lvio_layer** chain, lvio_buffer* buffer, uint64_t* position, uint32_t flags) {
  log_op(chain, "write", flags);
  uint64_t n = buffer->used - *position < 4 ? buffer->used - *position : 4;
  device_output.append(reinterpret_cast<const char*>(buffer->data) + *position, n);
  *position += n;
  return 0;
}

lvio_code device_sync(lvio_layer** chain, uint32_t flags) {
  log_op(chain, "sync", flags);
  return device_sync_result;
}

lvio_code device_seek(lvio_layer** chain, int64_t offset, int64_t* position, lvio_buffer*, uint32_t flags) {
  log_op(chain, "seek", flags);
  *position = offset;
  return 0;
}

// Closes the sides it is given; without sides left it leaves the chain.
lvio_code device_close(lvio_layer** chain, uint32_t flags) {
  log_op(chain, "close", flags);
  lvio_layer* layer = *chain;
  if ((flags & LVIO_OP_READ) != 0) layer->flags &= ~LVIO_LAYER_READ_SIDE;
  if ((flags & LVIO_OP_WRITE) != 0) layer->flags &= ~LVIO_LAYER_WRITE_SIDE;
  if ((layer->flags & (LVIO_LAYER_READ_SIDE | LVIO_LAYER_WRITE_SIDE)) != 0) return 0;
  lvio_layer_unlink(chain);
  lvio_layer_call_finalize(layer);
  return 0;
}

void test_finalize(lvio_layer* layer) {
  op_log.push_back(std::string(reinterpret_cast<test_layer*>(layer)->tag) + " finalize");
  lvio_layer_finalize(layer);
  lvio_free(layer);
}

constexpr uint32_t BOTH_WAYS = LVIO_LAYER_CAN_READ | LVIO_LAYER_OPEN_READ | LVIO_LAYER_CAN_WRITE |
                               LVIO_LAYER_OPEN_WRITE | LVIO_LAYER_READ_SIDE | LVIO_LAYER_WRITE_SIDE;

lvio_code make_layer(const lvio_class* cls, lvio_layer** chain, const lvio_option* options, uint32_t flags) {
  auto* layer = static_cast<test_layer*>(lvio_alloc(cls->instance_size));
  if (layer == nullptr) return LVIO_E_OUT_OF_MEMORY;
  lvio_layer_init(&layer->header, cls, flags);
  layer->tag = cls->name;
  (void)lvio_option_lookup(options, "tag", &layer->tag);
  lvio_layer_link(chain, &layer->header);
  return 0;
}

lvio_code device_open(const lvio_class* cls, lvio_layer** chain, const lvio_option* options, uint32_t) {
  *chain = nullptr;
  lvio_code rc = make_layer(cls, chain, options, BOTH_WAYS);
  return rc < 0 ? rc : 5;  // a success other than 0 is reported as 0
}

// Answers the size request with 1234 and the name request with its tag.
lvio_code device_control(lvio_layer** chain, uint32_t request, void* argument, uint32_t flags) {
  log_op(chain, ("control " + std::to_string(request)).c_str(), flags);
  if (request == LVIO_REQUEST_SIZE) {
    *static_cast<int64_t*>(argument) = 1234;
    return 7;
  }
  if (request == LVIO_REQUEST_NAME) {
    *static_cast<const char**>(argument) = tag_of(chain);
    return 0;
  }
  return LVIO_E_NOT_SUPPORTED;
}

// Filters pass data operations down unchanged.
lvio_code filter_read(lvio_layer** chain, lvio_buffer* buffer, uint32_t flags) {
  log_op(chain, "read", flags);
  return (*below(chain))->cls->layer.read(below(chain), buffer, flags);
}

lvio_code filter_write(lvio_layer** chain, lvio_buffer* buffer, uint64_t* position, uint32_t flags) {
  log_op(chain, "write", flags);
  return (*below(chain))->cls->layer.write(below(chain), buffer, position, flags);
}

lvio_code filter_sync(lvio_layer** chain, uint32_t flags) {
  log_op(chain, "sync", flags);
  return (flags & 8) != 0 ? lvio_stream_sync_all(below(chain), flags) : 0;
}

lvio_code filter_seek(lvio_layer** chain, int64_t offset, int64_t* position, lvio_buffer* source, uint32_t flags) {
  log_op(chain, "seek", flags);
  return lvio_stream_seek(below(chain), offset, position, source, flags);
}

lvio_code filter_push(const lvio_class* cls, lvio_layer** chain, const lvio_option* options, uint32_t flags) {
  if (*chain == nullptr) return LVIO_E_PARAMETER_ERROR;
  op_log.push_back(std::string(cls->name) + " push " + std::to_string(flags));
  return make_layer(cls, chain, options, (*chain)->flags);
}

lvio_code filter_pop(const lvio_class* cls, lvio_layer** chain, uint32_t) {
  if (*chain == nullptr || (*chain)->cls != cls) return LVIO_E_NOT_FOUND;
  lvio_layer* top = *chain;
  lvio_layer_unlink(chain);
  lvio_layer_call_finalize(top);
  return 0;
}

// Answers request 7 only.
lvio_code answering_control(lvio_layer** chain, uint32_t request, void*, uint32_t flags) {
  log_op(chain, ("control " + std::to_string(request)).c_str(), flags);
  return request == 7 ? 77 : LVIO_E_NOT_SUPPORTED;
}

lvio_class make_class(const char* name, bool device) {
  lvio_class c = {};
  c.record_size = LVIO_CLASS_RECORD_SIZE;
  c.name = name;
  c.instance_size = sizeof(test_layer);
  c.layer.read = device ? device_read : filter_read;
  c.layer.write = device ? device_write : filter_write;
  c.layer.sync = device ? device_sync : filter_sync;
  c.layer.seek = device ? device_seek : filter_seek;
  c.layer.close = device ? device_close : nullptr;
  c.layer.push = device ? nullptr : filter_push;
  c.layer.pop = device ? nullptr : filter_pop;
  c.layer.finalize = test_finalize;
  c.layer.open = device_open;
  c.layer.control = device ? device_control : nullptr;
  return c;
}

const lvio_class device_class = make_class("device", true);
const lvio_class filter_class = make_class("filter", false);
const lvio_class answering_class = [] {
  lvio_class c = make_class("answering", false);
  c.layer.control = answering_control;
  return c;
}();

class Chain : public testing::Test {
 protected:
  void SetUp() override {
    op_log.clear();
    device_input = "abcde";
    device_read_position = 0;
    device_output.clear();
    device_sync_result = 0;
    lvio_set_skip_abortive_sync(true);
    ASSERT_EQ(lvio_class_register(&device_class, 0), 0);
    ASSERT_EQ(lvio_class_register(&filter_class, 0), 0);
    ASSERT_EQ(lvio_class_register(&answering_class, 0), 0);
  }
  void TearDown() override {
    while (chain_ != nullptr) {
      lvio_layer* top = chain_;
      lvio_layer_unlink(&chain_);
      lvio_layer_call_finalize(top);
    }
    for (const lvio_class* c : {&device_class, &filter_class, &answering_class}) (void)lvio_class_register(c, 1);
  }
  // answering -> filter -> device
  void open_three() {
    ASSERT_EQ(lvio_open_device_by_name("device", &chain_, nullptr, 0), 0);
    ASSERT_EQ(lvio_push_layer_by_name("filter", &chain_, nullptr, 0), 0);
    ASSERT_EQ(lvio_push_layer_by_name("answering", &chain_, nullptr, 0), 0);
    op_log.clear();
  }
  std::vector<std::string> tags() const {
    std::vector<std::string> out;
    for (lvio_layer* l = chain_; l != nullptr; l = l->next) out.push_back(reinterpret_cast<test_layer*>(l)->tag);
    return out;
  }
  lvio_layer* chain_ = nullptr;
};

using log = std::vector<std::string>;

TEST_F(Chain, RegistryValidatesClasses) {
  lvio_class wrong_size = make_class("wrong size", true);
  wrong_size.record_size = 104;
  lvio_class no_name = make_class(nullptr, true);
  lvio_class small = make_class("small", true);
  small.instance_size = 16;
  lvio_class no_seek = make_class("no seek", true);
  no_seek.layer.seek = nullptr;
  lvio_class no_open = make_class("no open", true);
  no_open.layer.open = nullptr;
  EXPECT_EQ(lvio_class_register(nullptr, 0), LVIO_E_PARAMETER_ERROR);
  EXPECT_EQ(lvio_class_register(&wrong_size, 0), LVIO_E_VERSION_ERROR);
  EXPECT_EQ(lvio_class_register(&no_name, 0), LVIO_E_PARAMETER_ERROR);
  EXPECT_EQ(lvio_class_register(&small, 0), LVIO_E_PARAMETER_ERROR);
  EXPECT_EQ(lvio_class_register(&no_seek, 0), LVIO_E_PARAMETER_ERROR);
  EXPECT_EQ(lvio_class_register(&no_open, 0), LVIO_E_PARAMETER_ERROR);
  lvio_class twin = make_class("device", true);
  EXPECT_EQ(lvio_class_register(&twin, 0), LVIO_E_FOUND);
  const lvio_class* found;
  ASSERT_EQ(lvio_class_find("device", &found), 0);
  EXPECT_EQ(found, &device_class);
  EXPECT_EQ(lvio_class_find("absent", &found), LVIO_E_NOT_FOUND);
  EXPECT_EQ(lvio_open_device_by_name("absent", &chain_, nullptr, 0), LVIO_E_NOT_FOUND);
  // Removing every name empties the registry; removing again is no error.
  for (const lvio_class* c : {&device_class, &filter_class, &answering_class}) EXPECT_EQ(lvio_class_register(c, 1), 0);
  EXPECT_EQ(lvio_class_register(&device_class, 1), 0);
  EXPECT_EQ(lvio_class_find("device", &found), LVIO_E_NOT_FOUND);
  EXPECT_EQ(lvio_class_register(&device_class, 0), 0);
}

TEST_F(Chain, PushAndPop) {
  ASSERT_EQ(lvio_open_device(&device_class, &chain_, nullptr, 0), 0);
  EXPECT_EQ(chain_->live, LVIO_LAYER_LIVE);
  const lvio_option named[] = {{"tag", {LVIO_VALUE_STRING, {.string = "f1"}}}, {nullptr, {LVIO_VALUE_END, {}}}};
  ASSERT_EQ(lvio_push_layer(&filter_class, &chain_, named, 0), 0);
  ASSERT_EQ(lvio_push_layer_by_name("filter", &chain_, nullptr, LVIO_OP_PASS_HIGH_BITS | (1u << 24) | 2), 0);
  EXPECT_EQ(tags(), (log{"filter", "f1", "device"}));
  EXPECT_EQ(op_log, (log{"filter push 0", "filter push " + std::to_string((1u << 24) | 2)}));
  EXPECT_EQ(lvio_push_layer(&device_class, &chain_, nullptr, 0), LVIO_E_NOT_SUPPORTED);

  lvio_layer* layer;
  ASSERT_EQ(lvio_find_layer(&chain_, &filter_class, &layer, 0), 0);
  EXPECT_EQ(layer, chain_);
  ASSERT_EQ(lvio_find_layer(&chain_, &filter_class, &layer, 1), 0);
  EXPECT_EQ(layer, chain_->next);
  EXPECT_EQ(lvio_find_layer(&chain_, &answering_class, &layer, 0), LVIO_E_NOT_FOUND);
  lvio_chain_set_flags(&chain_, 1u << 20, LVIO_LAYER_CAN_READ);
  for (lvio_layer* l = chain_; l != nullptr; l = l->next)
    EXPECT_EQ(l->flags, (BOTH_WAYS | (1u << 20)) & ~LVIO_LAYER_CAN_READ);

  op_log.clear();
  EXPECT_EQ(lvio_pop_layer(nullptr, &chain_, 0), 0);
  EXPECT_EQ(lvio_pop_layer(&filter_class, &chain_, 0), 0);
  EXPECT_EQ(tags(), (log{"device"}));
  EXPECT_EQ(op_log, (log{"filter finalize", "f1 finalize"}));
  EXPECT_EQ(lvio_pop_layer(nullptr, &chain_, 0), LVIO_E_NOT_SUPPORTED);
  EXPECT_EQ(lvio_pop_layer(&filter_class, &chain_, 0), LVIO_E_NOT_FOUND);
}

TEST_F(Chain, ReadsGoToTheTopLayerUntilTheBufferGrows) {
  open_three();
  lvio_buffer* buffer = nullptr;
  ASSERT_EQ(lvio_stream_read_buffer(&chain_, &buffer, 0), 0);
  ASSERT_NE(buffer, nullptr);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer->data), buffer->used), "ab");
  EXPECT_EQ(op_log, (log{"answering read 0", "filter read 0", "device read 0"}));
  ASSERT_EQ(lvio_stream_read_buffer(&chain_, &buffer, 0), 0);
  ASSERT_EQ(lvio_stream_read_buffer(&chain_, &buffer, 0), 0);
  EXPECT_EQ(lvio_stream_read_buffer(&chain_, &buffer, 0), LVIO_E_END_OF_FILE);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer->data), buffer->used), "abcde");
  lvio_buffer_free(buffer);
  // A buffer made for a failing read is freed again.
  buffer = nullptr;
  EXPECT_EQ(lvio_stream_read_buffer(&chain_, &buffer, 0), LVIO_E_END_OF_FILE);
  EXPECT_EQ(buffer, nullptr);
}

TEST_F(Chain, WritesOnceOrUntilAllIsWritten) {
  open_three();
  lvio_buffer* buffer = lvio_buffer_create("0123456789", 10, LVIO_BUFFER_CREATE_COPY);
  uint64_t position = 0;
  ASSERT_EQ(lvio_stream_write_buffer(&chain_, buffer, &position, 0), 0);
  EXPECT_EQ(position, 4u);
  ASSERT_EQ(lvio_stream_write_buffer(&chain_, buffer, &position, LVIO_OP_WRITE_ALL), 0);
  EXPECT_EQ(position, 10u);
  EXPECT_EQ(device_output, "0123456789");
  lvio_buffer_free(buffer);
  op_log.clear();
  ASSERT_EQ(lvio_stream_write_string(&chain_, "hello world"), 0);
  EXPECT_EQ(device_output, "0123456789hello world");
  // Three writes of the whole string, then one sync of the write side all the way down.
  EXPECT_EQ(op_log.size(), 9u + 3u);
  EXPECT_EQ(op_log[0], "answering write 33");
  EXPECT_EQ((log{op_log.end() - 3, op_log.end()}), (log{"answering sync 28", "filter sync 28", "device sync 28"}));
}

TEST_F(Chain, ReadAndWriteNeedOpenDirections) {
  lvio_layer* empty = nullptr;
  lvio_buffer* buffer = nullptr;
  uint64_t position = 0;
  EXPECT_EQ(lvio_stream_read_buffer(&empty, &buffer, 0), LVIO_E_NOT_OPEN_READ);
  EXPECT_EQ(lvio_stream_write_string(&empty, "x"), LVIO_E_NOT_OPEN_WRITE);
  EXPECT_EQ(lvio_stream_sync_all(&empty, 4), 0);
  EXPECT_EQ(lvio_stream_close(&empty, 0), 0);
  open_three();
  chain_->flags &= ~(LVIO_LAYER_OPEN_READ | LVIO_LAYER_OPEN_WRITE);
  EXPECT_EQ(lvio_stream_read_buffer(&chain_, &buffer, 0), LVIO_E_NOT_OPEN_READ);
  EXPECT_EQ(lvio_stream_write_buffer(&chain_, buffer, &position, 0), LVIO_E_NOT_OPEN_WRITE);
  EXPECT_TRUE(op_log.empty());
}

TEST_F(Chain, SyncDirections) {
  open_three();
  device_sync_result = LVIO_E_IO_ERROR;
  struct {
    uint32_t flags;
    lvio_code rc;
    uint32_t sync_flags;
  } cases[] = {
      {LVIO_OP_READ, LVIO_E_IO_ERROR, LVIO_OP_READ | LVIO_SYNC_PASS_DOWN | LVIO_SYNC_CLOSING},
      {LVIO_OP_WRITE | LVIO_SYNC_CLOSING, LVIO_E_IO_ERROR,
       LVIO_OP_WRITE | LVIO_SYNC_PASS_DOWN | LVIO_SYNC_CLOSING | LVIO_SYNC_CALLER_CLOSING},
      {LVIO_OP_READ | LVIO_OP_WRITE | LVIO_OP_ABORTIVE, LVIO_S_OPERATION_FAILED,
       LVIO_OP_READ | LVIO_OP_WRITE | LVIO_SYNC_PASS_DOWN | LVIO_SYNC_CLOSING},
  };
  for (const auto& c : cases) {
    op_log.clear();
    EXPECT_EQ(lvio_stream_sync_dirs(&chain_, c.flags), c.rc) << c.flags;
    EXPECT_EQ(op_log.back(), "device sync " + std::to_string(c.sync_flags)) << c.flags;
  }
}

TEST_F(Chain, SeekKeepsTheSidesTheTopLayerHas) {
  open_three();
  struct {
    uint32_t layer_sides;
    uint32_t flags;
    lvio_code rc;
    uint32_t seek_flags;
  } cases[] = {
      {LVIO_LAYER_READ_SIDE | LVIO_LAYER_WRITE_SIDE, 1, 0, 0x31},
      {LVIO_LAYER_READ_SIDE, 1, 0, 0x11},
      {LVIO_LAYER_WRITE_SIDE, 0x10 | 1, LVIO_E_SEEK_ERROR, 0},
      {LVIO_LAYER_READ_SIDE | LVIO_LAYER_WRITE_SIDE, 0x8 | 0x20, 0, 0x2a},
      {0, 1, LVIO_E_SEEK_ERROR, 0},
  };
  for (const auto& c : cases) {
    op_log.clear();
    chain_->flags = (chain_->flags & ~(LVIO_LAYER_READ_SIDE | LVIO_LAYER_WRITE_SIDE)) | c.layer_sides;
    int64_t position = -1;
    EXPECT_EQ(lvio_stream_seek(&chain_, 17, &position, nullptr, c.flags), c.rc) << c.flags;
    if (c.rc < 0) {
      EXPECT_TRUE(op_log.empty());
      continue;
    }
    EXPECT_EQ(op_log.front(), "answering seek " + std::to_string(c.seek_flags));
    EXPECT_EQ(position, 17);
  }
  chain_->flags |= LVIO_LAYER_READ_SIDE | LVIO_LAYER_WRITE_SIDE;
  EXPECT_EQ(lvio_stream_seek(&chain_, 3, nullptr, nullptr, 1), 0);  // the position may be null
}

TEST_F(Chain, ClosingOneSideKeepsTheOtherWorking) {
  open_three();
  ASSERT_EQ(lvio_stream_close(&chain_, LVIO_OP_READ), 0);
  EXPECT_EQ(op_log, (log{"answering sync 26", "filter sync 26", "device sync 26", "device close 2"}));
  for (lvio_layer* l = chain_; l != nullptr; l = l->next) {
    EXPECT_EQ(l->flags & (LVIO_LAYER_OPEN_READ | LVIO_LAYER_READ_CLOSED), LVIO_LAYER_READ_CLOSED);
    EXPECT_NE(l->flags & LVIO_LAYER_OPEN_WRITE, 0u);
  }
  EXPECT_EQ(tags(), (log{"answering", "filter", "device"}));
  lvio_buffer* buffer = nullptr;
  EXPECT_EQ(lvio_stream_read_buffer(&chain_, &buffer, 0), LVIO_E_NOT_OPEN_READ);
  ASSERT_EQ(lvio_stream_write_string(&chain_, "still"), 0);
  EXPECT_EQ(device_output, "still");

  // Closing the write side finishes the chain from the top down.
  op_log.clear();
  ASSERT_EQ(lvio_stream_close(&chain_, LVIO_OP_WRITE), 0);
  EXPECT_EQ(chain_, nullptr);
  EXPECT_EQ(op_log, (log{"answering sync 28", "filter sync 28", "device sync 28", "answering finalize",
                         "filter finalize", "device close 4", "device finalize"}));
}

TEST_F(Chain, SecondCloseGoesStraightToTheLayer) {
  ASSERT_EQ(lvio_open_device(&device_class, &chain_, nullptr, 0), 0);
  ASSERT_EQ(lvio_stream_close(&chain_, LVIO_OP_READ), 0);
  op_log.clear();
  ASSERT_EQ(lvio_stream_close(&chain_, LVIO_OP_READ), 0);
  EXPECT_EQ(op_log, (log{"device close 2"}));
}

TEST_F(Chain, FailingSyncKeepsTheChainOpen) {
  open_three();
  device_sync_result = LVIO_E_WRITE_ERROR;
  EXPECT_EQ(lvio_stream_close(&chain_, 0), LVIO_E_WRITE_ERROR);
  EXPECT_EQ(tags(), (log{"answering", "filter", "device"}));
  EXPECT_EQ(chain_->flags & (LVIO_LAYER_READ_CLOSED | LVIO_LAYER_WRITE_CLOSED), 0u);
}

TEST_F(Chain, AbortiveCloseAndTheSkipSetting) {
  for (bool skip : {true, false}) {
    open_three();
    device_sync_result = LVIO_E_WRITE_ERROR;
    lvio_set_skip_abortive_sync(skip);
    ASSERT_EQ(lvio_stream_close(&chain_, LVIO_OP_ABORTIVE), 0) << skip;
    EXPECT_EQ(chain_, nullptr);
    int syncs = 0;
    for (const auto& entry : op_log) syncs += entry.find(" sync ") != std::string::npos;
    // With the setting on no sync runs; off, the failing sync is ignored.
    EXPECT_EQ(syncs, skip ? 0 : 3) << skip;
    EXPECT_EQ(op_log.back(), "device finalize");
  }
}

TEST_F(Chain, ControlRequestWalksToTheFirstLayerThatAnswers) {
  open_three();
  int64_t size = 0;
  // Without walking down, only the top layer is asked.
  EXPECT_EQ(lvio_stream_get_size(&chain_, &size, 0), LVIO_E_NOT_SUPPORTED);
  EXPECT_EQ(op_log, (log{"answering control 6 6"}));
  op_log.clear();
  // Walking down skips the filter, which has no control, and stops at the device.
  EXPECT_EQ(lvio_stream_get_size(&chain_, &size, LVIO_OP_WALK_DOWN | LVIO_OP_READ), 7);
  EXPECT_EQ(size, 1234);
  EXPECT_EQ(op_log, (log{"answering control 6 3", "device control 6 3"}));
  op_log.clear();
  // The top layer answers its own request; the walk goes no further.
  EXPECT_EQ(lvio_stream_control_request(&chain_, 7, nullptr, LVIO_OP_WALK_DOWN), 77);
  EXPECT_EQ(op_log, (log{"answering control 7 1"}));
  // Nobody answers: the raw walk, the probe and the information request.
  EXPECT_EQ(lvio_stream_control_request(&chain_, 9, nullptr, LVIO_OP_WALK_DOWN), LVIO_E_NOT_SUPPORTED);
  EXPECT_EQ(lvio_stream_probe(&chain_, LVIO_OP_WALK_DOWN), LVIO_S_NOT_SUPPORTED);
  lvio_stream_info info = {0};
  EXPECT_EQ(lvio_stream_get_info(&chain_, &info, 0), 0);
  EXPECT_EQ(info.kind, LVIO_DEVICE_OTHER);
  lvio_event* event = nullptr;
  EXPECT_EQ(lvio_stream_read_event(&chain_, &event), LVIO_E_NOT_SUPPORTED);
  EXPECT_EQ(lvio_stream_set_timeout(&chain_, nullptr, LVIO_OP_READ), LVIO_E_NOT_SUPPORTED);
  // The name request takes exactly one direction and always walks down.
  const char* name = nullptr;
  EXPECT_EQ(lvio_stream_get_name(&chain_, &name, LVIO_OP_READ | LVIO_OP_WRITE), LVIO_E_PARAMETER_ERROR);
  EXPECT_EQ(lvio_stream_get_name(&chain_, &name, 0), LVIO_E_PARAMETER_ERROR);
  ASSERT_EQ(lvio_stream_get_name(&chain_, &name, LVIO_OP_WRITE), 0);
  EXPECT_STREQ(name, "device");
}

TEST_F(Chain, HighFlagBitsReachTheLayerOnlyWhenAskedFor) {
  open_three();
  (void)lvio_stream_sync_all(&chain_, (1u << 21) | 4);
  (void)lvio_stream_sync_all(&chain_, LVIO_OP_PASS_HIGH_BITS | (1u << 21) | 4);
  EXPECT_EQ(op_log, (log{"answering sync 4", "answering sync " + std::to_string((1u << 21) | 4)}));
}

}  // namespace
