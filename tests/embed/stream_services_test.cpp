// The embedding side's close-cleanup query, run when a stream marked for it
// is closed.
#include "embed/stream_services.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "core/atoms.h"
#include "core/init_state.h"
#include "core/unify.h"
#include "lvio/initialize.h"
#include "store/db_results.h"
#include "streams/std_streams.h"
#include "streams/stream_api.h"
#include "streams/stream_listener.h"
#include "support/emulator_fixture.h"
#include "support/temp_files.h"

namespace {

// What prolog:close_cleanup/2 was called with: the stream's handle and
// the side, and the nesting of queries run from C during the call.
std::vector<std::pair<int64_t, std::string>> calls;
std::vector<int64_t> nesting;
int answer = 1;

int close_cleanup(lv_worker* w) {
  lv_term s = lv_deref(w->X[0]);
  lv_term which = lv_deref(w->X[1]);
  calls.emplace_back(lv_is_small(s) ? lv_small_value(s) : -1, lv_is_atom(which) ? lv_atom_text(which) : "?");
  nesting.push_back(w->interrupt_hold);
  return answer;
}

class StreamServicesTest : public EmulatorTest {
 protected:
  void SetUp() override {
    EmulatorTest::SetUp();
    ASSERT_EQ(lvio_initialize(nullptr, nullptr, nullptr, 0), 0);
    lv_set_prolog_initialized(true);
    c_pred("close_cleanup", 2, close_cleanup, "prolog");
    // Leaving the nesting of queries asks the engine to check its events.
    role("$event_handler", 0, [](lv_worker*) { return 1; });
    lv_install_stream_services();
    calls.clear();
    nesting.clear();
    answer = 1;
  }
  void TearDown() override {
    lv_stream_close_all_std();
    lv_stream_hooks = {};
    lv_listener_hooks = {};
    lv_db_free_pending_node();
    lv_set_prolog_initialized(false);
    EXPECT_EQ(lvio_initialize(nullptr, nullptr, nullptr, 1), 0);
    EmulatorTest::TearDown();
  }

  lv_stream* open_with_cleanup() {
    lv_stream* s = nullptr;
    EXPECT_EQ(LV_fopen(dir.path("f").c_str(), 0, LV_FOPEN_READ | LV_FOPEN_WRITE | LV_FOPEN_BINARY, &s), 0);
    s->flags |= LV_STREAM_CLOSE_CLEANUP;
    lv_stream_update_capabilities(s);
    return s;
  }

  TempFiles dir;
};

TEST_F(StreamServicesTest, CloseCleanupRunsOncePerSideWithTheStreamsHandle) {
  lv_stream* s = open_with_cleanup();
  int64_t handle = s->id;
  int32_t refs = w->termref_top;
  int64_t hold = w->interrupt_hold;
  EXPECT_EQ(LV_fclose(s, LV_CLOSE_OUTPUT), 0);
  EXPECT_EQ(LV_fclose(s, LV_CLOSE_INPUT), 2);
  EXPECT_EQ(calls, (std::vector<std::pair<int64_t, std::string>>{{handle, "write"}, {handle, "all"}}));
  EXPECT_EQ(nesting, (std::vector<int64_t>{hold + 1, hold + 1}));
  EXPECT_EQ(w->termref_top, refs);
  EXPECT_EQ(w->interrupt_hold, hold);
  EXPECT_EQ(lv_soft_limit(w), nullptr);  // the events are checked at the next call
}

TEST_F(StreamServicesTest, AFailingCleanupDoesNotStopTheClose) {
  answer = 0;
  lv_stream* s = open_with_cleanup();
  int32_t refs = w->termref_top;
  EXPECT_EQ(LV_fclose(s, 0), 2);
  EXPECT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].second, "all");
  EXPECT_EQ(w->termref_top, refs);
}

}  // namespace
