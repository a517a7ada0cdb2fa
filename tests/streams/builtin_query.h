// Test support for the stream built-ins: each is called as a C-defined
// predicate of module prolog through the emulator, with its arguments read
// from text, and the outcome written back as text. The standard streams
// are the test's own: user_input reads a text, user_output and user_error
// collect what is written to them.
//
//   q("'$stream_id'(" + S(s) + ", Id)")  == "Id=5"
//   q("'$open'(foo, bar, x, [], S)")     == "error(5/LVIO_E_PARAMETER_ERROR,prolog:$open/5,3,x)"
#pragma once

#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <vector>

#include "core/atoms.h"
#include "core/errors.h"
#include "lvio/initialize.h"
#include "lvio/simple_device.h"
#include "streams/memory_stream.h"
#include "streams/std_streams.h"
#include "streams/stream_api.h"
#include "streams/stream_builtins.h"
#include "streams/stream_close.h"
#include "support/emulator_fixture.h"
#include "support/temp_files.h"
#include "support/term_text.h"

namespace builtin_query {

// What a text output stream of the test received.
struct Sink {
  std::string text;
  bool fail = false;  // writes fail
};
inline const char sink_tag = 0;

inline int64_t sink_write(void* user, const void* source, uint64_t* size, uint32_t) {
  auto* sink = static_cast<Sink*>(user);
  if (sink->fail) {
    *size = 0;
    return LVIO_E_WRITE_ERROR;
  }
  const auto* codes = static_cast<const uint32_t*>(source);
  for (uint64_t i = 0; i < *size / 4; i++) {
    uint32_t c = codes[i];
    // As UTF-8, so that tests compare texts.
    if (c < 0x80) {
      sink->text += static_cast<char>(c);
    } else if (c < 0x800) {
      sink->text += static_cast<char>(0xC0 | (c >> 6));
      sink->text += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      sink->text += static_cast<char>(0xE0 | (c >> 12));
      sink->text += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      sink->text += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return 0;
}

inline int64_t sink_close(void** user, uint32_t, int) {
  *user = nullptr;
  return 0;
}

class StreamBuiltinTest : public EmulatorTest {
 protected:
  void SetUp() override {
    EmulatorTest::SetUp();
    ASSERT_EQ(lvio_initialize(nullptr, nullptr, nullptr, 0), 0);
    role("$error_handler", 4, record_error);
    ASSERT_NE(lv_null_stream(), nullptr);
    ASSERT_EQ(lv_install_user_streams(user_stream, this, nullptr, nullptr), 0);
    lv_reset_current_streams();
    lv_builtin_table t = lv_stream_builtins();
    for (size_t i = 0; i < t.count; i++)
      c_pred(t.records[i].name, t.records[i].flags & 0xFF, t.records[i].function, "prolog");
  }
  void TearDown() override {
    delete r_;
    r_ = nullptr;
    lv_stream_close_all_std();
    EXPECT_EQ(lvio_initialize(nullptr, nullptr, nullptr, 1), 0);
    EmulatorTest::TearDown();
  }

  // The goal's outcome: "fail"; an error "error(Code/Message,Context,
  // Argument,Culprit)"; or after success the named variables with their
  // values ("A=1 B=x"), "true" when it has none.
  std::string q(const std::string& goal) {
    delete r_;
    r_ = new terms::reader(w);
    lv_term g = r_->read(goal);
    unsigned arity = 0;
    lv_term name = g;
    if (lv_is_struct(g)) {
      name = lv_functor_atom(lv_struct_cells(g)[0]);
      arity = lv_functor_arity(lv_struct_cells(g)[0]);
    }
    lv_pred* p = pred("prolog", lv_atom_text(name), arity);
    error_.clear();
    lv_push_call_choicepoint(w, &query_alternative);
    w->CP = lv_exit_code;
    for (unsigned i = 0; i < arity; i++) w->X[i] = lv_struct_cells(g)[i + 1];
    int result = lv_enter_emulator_protected(w, LV_ENTER_CALL, p);
    if (result != 1) return error_.empty() ? "fail" : error_;
    std::string out;
    for (const std::string& v : variables(goal)) out += (out.empty() ? "" : " ") + v + "=" + r_->write(r_->var(v));
    EXPECT_EQ(redo(), 0);
    return out.empty() ? "true" : out;
  }

  // A stream as it is written in goals.
  static std::string S(const lv_stream* s) { return std::to_string(s->id); }

  // The stream a goal bound to a variable (read before the next goal).
  lv_stream* stream_of(const std::string& answer) {
    size_t at = answer.find('=');
    return lv_stream_of_handle(std::stoll(answer.substr(at + 1)));
  }

  // A quoted atom for a text.
  static std::string A(const std::string& text) { return "'" + text + "'"; }

  Sink out_sink, err_sink;
  std::string typed = "typed\n";
  TempFiles dir;

 private:
  static lv_stream* user_stream(void* data, int kind) {
    auto* t = static_cast<StreamBuiltinTest*>(data);
    lv_stream* s = nullptr;
    if (kind == LV_STD_INPUT) return lv_stream_from_string(t->typed.c_str(), &s) != 0 ? s : nullptr;
    Sink* sink = kind == LV_STD_OUTPUT ? &t->out_sink : &t->err_sink;
    uint32_t options = LV_CREATE_CODES | (kind == LV_STD_ERROR ? LV_CREATE_LINE_FLUSH : 0);
    if (LV_create_stream(sink, &sink_tag, nullptr, sink_write, nullptr, nullptr, sink_close, nullptr, nullptr, nullptr,
                         options, &s) < 0)
      return nullptr;
    return s;
  }

  // The error handler: records the error and fails, so the goal fails.
  static int record_error(lv_worker* w) {
    terms::reader r(w);
    lv_term goal = lv_deref(w->X[0]);
    std::string context = r.write(lv_struct_cells(goal)[1]) + ":";
    lv_term g = lv_deref(lv_struct_cells(goal)[2]);
    if (lv_is_atom(g)) {
      context += std::string(lv_atom_text(g)) + "/0";
    } else {
      lv_term f = lv_struct_cells(g)[0];
      context += std::string(lv_atom_text(lv_functor_atom(f))) + "/" + std::to_string(lv_functor_arity(f));
    }
    std::string message = lv_pending_error_message();
    error_ = "error(" + std::to_string(lv_pending_error_code()) + (message.empty() ? "" : "/" + message) + "," +
             context + "," + r.write(w->X[1]) + "," + r.write(w->X[2]) + ")";
    return 0;
  }

  // The names of the variables of a goal text, in order, each once.
  static std::vector<std::string> variables(const std::string& goal) {
    std::vector<std::string> names;
    bool quoted = false;
    for (size_t i = 0; i < goal.size(); i++) {
      char c = goal[i];
      if (c == '\'') quoted = !quoted;
      if (quoted || !std::isupper(static_cast<unsigned char>(c)) ||
          (i > 0 && (std::isalnum(static_cast<unsigned char>(goal[i - 1])) || goal[i - 1] == '_')))
        continue;
      size_t end = i;
      while (end < goal.size() && (std::isalnum(static_cast<unsigned char>(goal[end])) || goal[end] == '_')) end++;
      std::string name = goal.substr(i, end - i);
      bool seen = false;
      for (const std::string& n : names) seen = seen || n == name;
      if (!seen) names.push_back(name);
      i = end - 1;
    }
    return names;
  }

  static inline std::string error_;
  terms::reader* r_ = nullptr;
};

}  // namespace builtin_query
