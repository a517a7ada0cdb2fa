// Test support: starting the runtime in the test's own process, booting it
// from the boot file the build makes (or the one LV_TEST_BOOT_FILE names),
// and running small queries through the C interface.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "core/atoms.h"
#include "core/init_state.h"
#include "core/memory.h"
#include "core/settings.h"
#include "core/termrefs.h"
#include "embed/api_exceptions.h"
#include "embed/boot_mode.h"
#include "embed/queries.h"
#include "embed/startup.h"
#include "embed/term_interface.h"

namespace startup_test {

inline std::string boot_file() {
  const char* given = std::getenv("LV_TEST_BOOT_FILE");
  return given != nullptr && given[0] != '\0' ? given : LV_TEST_BOOT_FILE;
}

inline bool have_boot_file() { return access(boot_file().c_str(), R_OK) == 0; }

#define REQUIRE_BOOT_FILE() \
  if (!startup_test::have_boot_file()) GTEST_SKIP() << "no boot file " << startup_test::boot_file()

// Starts without loading a boot file (boot flags 0).
inline int start(int kind = LV_BOOT_DEVSYS, const lv_init_options* options = nullptr, int flags = 0) {
  return lv_glue_initialize(0, nullptr, options, nullptr, nullptr, kind, flags);
}

// Starts and loads the boot file.
inline bool start_and_boot() {
  return start() == 1 && lv_qload_or_restore(boot_file().c_str(), 1) == 1;
}

// A setting as the I/O layer has it, "" when absent.
inline std::string setting(const char* name) {
  char* text = lv_get_property_text_default(name, nullptr, nullptr);
  std::string s = text != nullptr ? text : "";
  LV_free(text);
  return s;
}

// Runs Module:Name(Args...) once (LV_query) with the argument references.
inline int query(const char* module, const char* name, const std::vector<lv_term_ref>& args) {
  lv_pred* p = LV_predicate(name, static_cast<int64_t>(args.size()), module);
  if (p == nullptr) return -2;
  lv_query_id q = LV_open_query_array(p, args.data());
  if (q == 0) return -2;
  int r = LV_next_solution(q);
  if (r == 1)
    LV_cut_query(q);
  else
    LV_close_query(q);
  return r;
}

inline lv_term_ref atom_ref(const char* text) {
  lv_term_ref t = LV_new_term_ref();
  LV_put_atom(t, lv_atom_from_text(text, LV_ATOM_FIND_OR_CREATE));
  return t;
}

inline lv_term_ref int_ref(int64_t v) {
  lv_term_ref t = LV_new_term_ref();
  LV_put_integer(t, v);
  return t;
}

inline lv_term_ref var_ref() {
  lv_term_ref t = LV_new_term_ref();
  LV_put_variable(t);
  return t;
}

inline std::string text_of(lv_term_ref t) {
  const char* s = nullptr;
  return LV_get_string(t, &s) == 1 && s != nullptr ? s : "";
}

inline int64_t int_of(lv_term_ref t) {
  int64_t v = 0;
  EXPECT_EQ(LV_get_integer(t, &v), 1);
  return v;
}

// A term as text, for messages: atoms, integers, compound terms.
inline std::string term_text(lv_term_ref t, int depth = 0) {
  int64_t i = 0;
  const char* s = nullptr;
  lv_term name = 0;
  int arity = 0;
  if (depth > 12) return "...";
  if (LV_is_variable(t)) return "_";
  if (LV_is_integer(t) && LV_get_integer(t, &i) == 1) return std::to_string(i);
  if (LV_is_atom(t) && LV_get_string(t, &s) == 1) return s;
  if (LV_get_functor(t, &name, &arity) != 1) return "?";
  std::string out = std::string(lv_atom_text(name)) + "(";
  for (int k = 1; k <= arity; k++) {
    lv_term_ref a = LV_new_term_ref();
    LV_get_arg(k, t, a);
    out += (k > 1 ? ", " : "") + term_text(a, depth + 1);
  }
  return out + ")";
}

// The pending exception as text: its functor, then the text of the
// message of a system error.
inline lv_term_ref exception_ref() {
  lv_term_ref e = LV_new_term_ref();
  EXPECT_EQ(LV_exception_term(e), 1);
  return e;
}

// A test that may start the runtime: whatever it leaves running (the
// runtime, or the I/O layer of a failed start) is shut down after it.
class RuntimeTest : public ::testing::Test {
 protected:
  void TearDown() override {
    LV_deinitialize();
    LV_deinitialize();
  }
};

}  // namespace startup_test
