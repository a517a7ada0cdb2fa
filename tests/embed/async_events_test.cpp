// Asynchronous events and signals: the queue's life, its pool, the order of
// runs, discarding after a failure or an exception, the hold counter, the
// closing run, Ctrl-C and Ctrl-Break, the signal slots, real signals and
// bursts of them from other threads, and Ctrl-C reaching a running Prolog
// loop through control_c_handler/0, also while sleep/1 waits.
#include <gtest/gtest.h>
#include <pthread.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <thread>
#include <vector>

#include "embed/async_events.h"
#include "embed/c_predicates.h"
#include "embed/nesting.h"
#include "embed/signals.h"
#include "embed/startup_support.h"
#include "core/predefined_atoms.h"
#include "core/unify.h"
#include "lvio/result_codes.h"
#include "store/predicates.h"

using namespace startup_test;

namespace {

std::vector<intptr_t> ran;

int record_simple(void* user) {
  ran.push_back(reinterpret_cast<intptr_t>(user));
  return 1;
}
int fail_simple(void* user) {
  ran.push_back(reinterpret_cast<intptr_t>(user));
  return 0;
}
int raise_simple(void* user) {
  ran.push_back(reinterpret_cast<intptr_t>(user));
  return -1;
}

std::vector<int> reasons;
int record_full(lv_async_event* e, int reason) {
  reasons.push_back(reason);
  LV_free_async_event(e);
  return 0;
}

class AsyncEvents : public ::testing::Test {
 protected:
  void SetUp() override {
    ran.clear();
    reasons.clear();
    ASSERT_EQ(start(), 1);
    w = get_current_worker();
  }
  void TearDown() override { LV_deinitialize(); }
  lv_worker* w = nullptr;
};

TEST_F(AsyncEvents, StatesOfTheQueueFromStartToShutdown) {
  EXPECT_EQ(lv_event_queue_state(), LV_EVENTS_RUNNING);
  EXPECT_EQ(LV_event(record_simple, nullptr), 1);
  EXPECT_EQ(lv_soft_limit(w), nullptr);  // queueing forced an event check
  LV_deinitialize();
  EXPECT_EQ(lv_event_queue_state(), LV_EVENTS_NONE);
  EXPECT_EQ(LV_event(record_simple, nullptr), 0);
  EXPECT_EQ(LV_schedule_async_event(nullptr), LVIO_E_INVALID_STATE);
  EXPECT_EQ(ran.size(), 0u);  // a simple event is dropped, not run, when the queue closes
  ASSERT_EQ(start(), 1);
  EXPECT_EQ(lv_event_queue_state(), LV_EVENTS_RUNNING);
}

TEST_F(AsyncEvents, ThePoolHolds256SimpleEventsAndTheyRunInOrder) {
  for (intptr_t i = 0; i < LV_EVENT_POOL_SIZE; i++) ASSERT_EQ(LV_event(record_simple, reinterpret_cast<void*>(i)), 1);
  EXPECT_EQ(LV_event(record_simple, nullptr), 0);
  EXPECT_EQ(lv_run_events(w, 0), 1);
  ASSERT_EQ(ran.size(), 256u);
  for (intptr_t i = 0; i < LV_EVENT_POOL_SIZE; i++) EXPECT_EQ(ran[i], i);
  EXPECT_EQ(LV_event(record_simple, nullptr), 1);
  EXPECT_EQ(lv_run_events(w, 0), 1);
}

TEST_F(AsyncEvents, AFailureOrAnExceptionDiscardsTheEventsBehindIt) {
  struct {
    lv_simple_event_fn failing;
    int reason;
  } cases[] = {{fail_simple, LV_EVENT_REASON_AFTER_FAILURE}, {raise_simple, LV_EVENT_REASON_AFTER_EXCEPTION}};
  for (auto& c : cases) {
    ran.clear();
    reasons.clear();
    lv_async_event* full = nullptr;
    ASSERT_EQ(LV_alloc_async_event(&full, record_full, nullptr), 0);
    ASSERT_EQ(LV_event(record_simple, reinterpret_cast<void*>(1)), 1);
    ASSERT_EQ(LV_event(c.failing, reinterpret_cast<void*>(2)), 1);
    ASSERT_EQ(LV_event(record_simple, reinterpret_cast<void*>(3)), 1);
    ASSERT_EQ(LV_schedule_async_event(full), 0);
    EXPECT_EQ(lv_run_events(w, 0), 0);
    EXPECT_EQ(ran, (std::vector<intptr_t>{1, 2}));  // the simple event behind is not called
    EXPECT_EQ(reasons, std::vector<int>{c.reason});
    EXPECT_EQ(lv_event_queue_length(), 0u);
    EXPECT_EQ(lv_soft_limit(w), nullptr);
    EXPECT_EQ(w->interrupt_hold, 0);
  }
}

TEST_F(AsyncEvents, WhileHeldNothingRunsAndTheClosingRunDiscardsTheRest) {
  lv_async_event* full = nullptr;
  ASSERT_EQ(LV_alloc_async_event(&full, record_full, nullptr), 0);
  ASSERT_EQ(LV_event(record_simple, nullptr), 1);
  ASSERT_EQ(LV_schedule_async_event(full), 0);
  lv_nest_enter();
  EXPECT_EQ(lv_run_events(w, 0), 1);
  EXPECT_EQ(lv_event_queue_length(), 2u);
  lv_nest_leave();
  EXPECT_EQ(lv_soft_limit(w), nullptr);  // the hold's end forces a check
  LV_deinitialize();
  EXPECT_TRUE(ran.empty());
  EXPECT_EQ(reasons, std::vector<int>{LV_EVENT_REASON_CLOSING});
}

TEST_F(AsyncEvents, ASecondCtrlCQueuesNothingUntilTheReset) {
  EXPECT_EQ(LV_ctrlc_action(), 0);
  EXPECT_EQ(LV_ctrlc_action(), 0);
  EXPECT_EQ(lv_event_queue_length(), 1u);
  EXPECT_EQ(lv_run_events(w, 0), 1);
  EXPECT_EQ(LV_ctrlc_action(), 0);
  EXPECT_EQ(lv_event_queue_length(), 0u);
  lv_event_counts_reset();
  EXPECT_EQ(LV_ctrlc_action(), 0);
  EXPECT_EQ(lv_event_queue_length(), 1u);
}

TEST_F(AsyncEvents, OnlyTheFirstCtrlBreakCounts) {
  EXPECT_EQ(LV_ctrlbreak_action(), 0);
  EXPECT_EQ(LV_ctrlbreak_action(), 0);
  EXPECT_EQ(lv_event_queue_length(), 1u);
  EXPECT_EQ(lv_run_events(w, 0), 1);
  EXPECT_EQ(LV_ctrlbreak_action(), 0);
  EXPECT_EQ(lv_event_queue_length(), 0u);
}

std::atomic<int> handled;
std::atomic<int> handled_signal;
void count_handler(int signal, void* user) {
  handled++;
  handled_signal = signal;
  EXPECT_EQ(user, &handled);
}

TEST_F(AsyncEvents, SignalSlotsAndTheirResults) {
  handled = 0;
  EXPECT_EQ(LV_signal(SIGUSR2, LV_SIG_DFL, nullptr), LV_SIG_ERR);  // never had a handler
  EXPECT_EQ(LV_signal(32, count_handler, nullptr), LV_SIG_ERR);
  EXPECT_EQ(LV_signal(-1, count_handler, nullptr), LV_SIG_ERR);
  EXPECT_EQ(LV_sigaction(40, count_handler, nullptr, 0), LVIO_E_PARAMETER_ERROR);
  EXPECT_EQ(LV_sigaction(SIGUSR2, LV_SIG_IGN, nullptr, 0), LVIO_E_NOT_SUPPORTED);
  EXPECT_EQ(LV_sigaction(SIGKILL, count_handler, nullptr, 0), LVIO_E_OS_ERROR);

  lv_signal_handler placeholder = LV_signal(SIGUSR1, count_handler, &handled);
  ASSERT_NE(placeholder, LV_SIG_ERR);
  ASSERT_NE(placeholder, count_handler);  // not the previous handler: a placeholder
  ASSERT_EQ(raise(SIGUSR1), 0);
  EXPECT_EQ(handled, 0);  // the handler only counted
  EXPECT_EQ(lv_run_events(w, 0), 1);
  EXPECT_EQ(handled, 1);
  EXPECT_EQ(handled_signal, SIGUSR1);

  EXPECT_EQ(lv_raise_signal(SIGUSR1), 1);
  EXPECT_EQ(lv_raise_signal(33), 0);
  EXPECT_EQ(lv_run_events(w, 0), 1);
  EXPECT_EQ(handled, 2);

  ASSERT_NE(LV_signal(SIGUSR1, LV_SIG_IGN, nullptr), LV_SIG_ERR);
  ASSERT_EQ(raise(SIGUSR1), 0);  // ignored by the C runtime: the process lives on
  EXPECT_EQ(lv_run_events(w, 0), 1);
  EXPECT_EQ(handled, 2);

  // Check-only delivery clears the event-check word from the handler itself.
  ASSERT_EQ(LV_sigaction(SIGUSR2, count_handler, &handled, 4), 0);
  lv_set_soft_limit(w, w->heap_hard_limit);
  ASSERT_EQ(raise(SIGUSR2), 0);
  EXPECT_EQ(lv_soft_limit(w), nullptr);
  EXPECT_EQ(lv_run_events(w, 0), 1);
  EXPECT_EQ(handled, 3);
}

TEST_F(AsyncEvents, ShutdownGivesBackTheDefaultDispositionAndSigpipeIsIgnored) {
  struct sigaction old {};
  ASSERT_EQ(sigaction(SIGPIPE, nullptr, &old), 0);
  EXPECT_EQ(old.sa_handler, SIG_IGN);
  ASSERT_NE(LV_signal(SIGUSR1, count_handler, &handled), LV_SIG_ERR);
  LV_deinitialize();
  ASSERT_EQ(sigaction(SIGUSR1, nullptr, &old), 0);
  EXPECT_EQ(old.sa_handler, SIG_DFL);
  ASSERT_EQ(start(), 1);
}

// A burst of real signals from other threads while the engine thread runs
// the queue: each handler call answers one or more signals, none is answered
// twice, the last is answered after the burst, and nothing deadlocks.
TEST_F(AsyncEvents, ABurstOfSignalsFromOtherThreads) {
  handled = 0;
  ASSERT_NE(LV_signal(SIGUSR1, count_handler, &handled), LV_SIG_ERR);
  constexpr int SENDERS = 4, EACH = 2000;
  std::atomic<int> done{0};
  std::vector<std::thread> senders;
  pid_t self = getpid();
  for (int s = 0; s < SENDERS; s++)
    senders.emplace_back([&] {
      for (int i = 0; i < EACH; i++) kill(self, SIGUSR1);
      done++;
    });
  while (done < SENDERS) (void)lv_run_events(w, 0);
  for (auto& t : senders) t.join();
  // Signals still on their way are counted before the dispatch thread has
  // drained them; a final run takes whatever count is left.
  int before = handled;
  ASSERT_EQ(raise(SIGUSR1), 0);
  EXPECT_EQ(lv_run_events(w, 0), 1);
  EXPECT_GE(handled, before + 1);
  EXPECT_GE(handled, 1);
  EXPECT_LE(handled, SENDERS * EACH + 1);
  EXPECT_EQ(lv_run_events(w, 0), 1);
  int settled = handled;
  EXPECT_EQ(lv_run_events(w, 0), 1);
  EXPECT_EQ(handled, settled);
}

// Threads queue simple events, Ctrl-C and Ctrl-Break while the engine thread
// runs them: every simple event runs once, in each thread's order.
std::atomic<int> per_thread_next[4];
std::atomic<int> out_of_order;
int ordered_event(void* user) {
  intptr_t v = reinterpret_cast<intptr_t>(user);
  int thread = static_cast<int>(v >> 20), seq = static_cast<int>(v & 0xfffff);
  if (per_thread_next[thread].fetch_add(1) != seq) out_of_order++;
  return 1;
}

TEST_F(AsyncEvents, ThreadsQueueingWhileTheEngineRuns) {
  constexpr int THREADS = 4, EACH = 3000;
  for (auto& n : per_thread_next) n = 0;
  out_of_order = 0;
  std::atomic<int> done{0};
  std::vector<std::thread> threads;
  for (intptr_t t = 0; t < THREADS; t++)
    threads.emplace_back([&, t] {
      for (intptr_t i = 0; i < EACH; i++) {
        while (LV_event(ordered_event, reinterpret_cast<void*>(t << 20 | i)) == 0) std::this_thread::yield();
        if (i % 100 == 0) {
          EXPECT_EQ(LV_ctrlc_action(), 0);
          EXPECT_EQ(LV_ctrlbreak_action(), 0);
        }
      }
      done++;
    });
  while (done < THREADS) {
    EXPECT_EQ(lv_run_events(w, 0), 1);
    lv_event_counts_reset();
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(lv_run_events(w, 0), 1);
  for (auto& n : per_thread_next) EXPECT_EQ(n, EACH);
  EXPECT_EQ(out_of_order, 0);
}

// Ctrl-C in a running Prolog loop: the front end's SIGINT handler calls
// LV_ctrlc_action, and control_c_handler/0 runs as the loop's continuation.
std::atomic<int> ticks;
std::atomic<int> handler_runs;
void sigint_to_ctrlc(int, void*) { (void)LV_ctrlc_action(); }

// tick_done(D): D = yes once the handler has run.
int tick_done(lv_worker* w) {
  if (++ticks == 50) raise(SIGINT);
  if (handler_runs == 0) return 1;
  lv_term yes = lv_atom_from_text("yes", LV_ATOM_FIND_OR_CREATE);
  return cunify(w, w->X[0], yes);
}

int going_on_handler(lv_worker*) {
  handler_runs++;
  lv_event_counts_reset();
  return 1;
}

class CtrlC : public ::testing::Test {
 protected:
  void SetUp() override {
    REQUIRE_BOOT_FILE();
    ASSERT_TRUE(start_and_boot());
    ticks = 0;
    handler_runs = 0;
    ASSERT_NE(LV_signal(SIGINT, sigint_to_ctrlc, nullptr), LV_SIG_ERR);
  }
  void TearDown() override { LV_deinitialize(); }

  // Runs prolog:call((repeat, Name(D), D == yes, !)).
  int run_loop(const char* name) {
    lv_term_ref d = var_ref();
    lv_term_ref step = LV_new_term_ref();
    lv_term_ref yes = atom_ref("yes");
    lv_term_ref test = LV_new_term_ref();
    lv_term_ref rest = LV_new_term_ref();
    lv_term_ref goal = LV_new_term_ref();
    LV_cons_functor(step, lv_atom_from_text(name, LV_ATOM_FIND_OR_CREATE), 1, d);
    LV_cons_functor(test, lv_atom_from_text("==", LV_ATOM_FIND_OR_CREATE), 2, d, yes);
    lv_term_ref cut = atom_ref("!");
    lv_term comma = lv_atom_from_text(",", LV_ATOM_FIND_OR_CREATE);
    LV_cons_functor(rest, comma, 2, test, cut);
    LV_cons_functor(rest, comma, 2, step, rest);
    lv_term_ref rep = atom_ref("repeat");
    LV_cons_functor(goal, comma, 2, rep, rest);
    int r = query("prolog", "call", {goal});
    if (r == -1) {
      lv_term_ref e = LV_new_term_ref();
      if (LV_exception_term(e) == 1) exception = term_text(e);
    }
    return r;
  }
  std::string exception;
};

TEST_F(CtrlC, TheHandlerRunsAndTheLoopGoesOn) {
  lv_define_c_function_predicate("control_c_handler", 0, nullptr, 1, going_on_handler);
  lv_define_c_function_predicate("tick_done", 1, find_module(LV_ATOM_USER, 1), 1, tick_done);
  EXPECT_EQ(run_loop("tick_done"), 1) << exception;
  EXPECT_EQ(handler_runs, 1);
  EXPECT_GT(ticks, 50);
}

TEST_F(CtrlC, TheDefaultHandlerAbortsTheLoop) {
  lv_define_c_function_predicate("tick_done", 1, find_module(LV_ATOM_USER, 1), 1, tick_done);
  EXPECT_EQ(run_loop("tick_done"), -1);  // the abort ends the query
  EXPECT_EQ(exception, "$reserved(3)");
  EXPECT_GE(ticks, 50);
  // The abort's handler let the next Ctrl-C through.
  EXPECT_EQ(LV_ctrlc_action(), 0);
  EXPECT_EQ(lv_event_queue_length(), 1u);
}

// Ctrl-C while sleep/1 waits: another thread sends SIGINT to the engine's
// thread until the handler has run; the wait ends early, the handler runs,
// and the sleep goes on to its end (or ends with the handler's abort).
class CtrlCInSleep : public CtrlC {
 protected:
  int sleep_with_sigint(int64_t seconds) {
    pthread_t engine = pthread_self();
    std::atomic<bool> stop{false};
    std::thread sender([&] {
      while (!stop && handler_runs == 0) {
        pthread_kill(engine, SIGINT);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
      }
    });
    int r = query("prolog", "sleep", {int_ref(seconds)});
    stop = true;
    sender.join();
    if (r == -1) {
      lv_term_ref e = LV_new_term_ref();
      if (LV_exception_term(e) == 1) exception = term_text(e);
    }
    return r;
  }
};

TEST_F(CtrlCInSleep, TheHandlerRunsAndTheSleepGoesOn) {
  lv_define_c_function_predicate("control_c_handler", 0, nullptr, 1, going_on_handler);
  EXPECT_EQ(sleep_with_sigint(1), 1) << exception;
  EXPECT_GE(handler_runs, 1);
}

TEST_F(CtrlCInSleep, TheDefaultHandlerAbortsTheSleep) {
  // An hour: only the abort ends it in the test's time.
  EXPECT_EQ(sleep_with_sigint(3600), -1);
  EXPECT_EQ(exception, "$reserved(3)");
}

}  // namespace
