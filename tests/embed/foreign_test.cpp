// Foreign resources, C-defined predicates and the tool-interface plug-in,
// in the test's own process with the boot library loaded: test resources
// built as shared libraries (foreign_plugin.cpp in several variants), a
// resource linked into this program (the prelinked table), and a tool
// plug-in (lvti_plugin.cpp).
#include <dlfcn.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "core/api_error.h"
#include "core/predefined_atoms.h"
#include "embed/c_predicates.h"
#include "embed/dynamic_libraries.h"
#include "embed/foreign_resources.h"
#include "embed/tool_interface.h"
#include "lvio/environment.h"
#include "lvio/result_codes.h"
#include "machine/instructions.h"
#include "support/env.h"
#include "support/temp_files.h"
#include "startup_support.h"

using namespace startup_test;

using ForeignPrelinked = RuntimeTest;
using ToolInterface = RuntimeTest;

namespace {

struct plugin_log {
  int64_t inits, deinits, last_init_when, last_deinit_when, unload_entries, plain_entry_used;
};

std::string plugin(const char* name) { return std::string(LV_TEST_PLUGIN_DIR) + "/" + name + ".so"; }

// The log of a test resource; the library is held open so that its log
// stays across its loads and unloads by the runtime.
const plugin_log* log_of(const std::string& path) {
  void* h = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (h == nullptr) return nullptr;
  auto f = reinterpret_cast<const plugin_log* (*)()>(dlsym(h, "lvtest_log"));
  return f != nullptr ? f() : nullptr;
}

bool library_loaded(const std::string& path) {
  void* h = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
  if (h != nullptr) dlclose(h);
  return h != nullptr;
}

// Terms from C: Name(Args...), atoms, and argument specs written "+kind",
// "-kind" or "[-kind]".
lv_term_ref term(const char* name, const std::vector<lv_term_ref>& args = {}) {
  lv_term_ref t = LV_new_term_ref();
  lv_term a = lv_atom_from_text(name, LV_ATOM_FIND_OR_CREATE);
  if (args.empty())
    LV_put_atom(t, a);
  else
    LV_cons_functor_array(t, a, static_cast<int>(args.size()), args.data());
  return t;
}

lv_term_ref list(const std::vector<lv_term_ref>& items) {
  lv_term_ref l = term("[]");
  for (auto it = items.rbegin(); it != items.rend(); ++it) LV_cons_list(l, *it, l);
  return l;
}

lv_term_ref arg_spec(const std::string& s) {
  if (s[0] == '[') return list({term("-", {term(s.substr(2, s.size() - 3).c_str())})});
  return term(s.substr(0, 1).c_str(), {term(s.substr(1).c_str())});
}

lv_term_ref pred_spec(const char* name, const std::vector<std::string>& specs) {
  std::vector<lv_term_ref> args;
  for (const auto& s : specs) args.push_back(arg_spec(s));
  return term(name, args);
}

int assert_user(lv_term_ref clause) { return query("prolog", "assertz", {term(":", {term("user"), clause})}); }

void declare_resource(const char* name, const std::vector<const char*>& functions) {
  std::vector<lv_term_ref> fs;
  for (const char* f : functions) fs.push_back(term(f));
  ASSERT_EQ(assert_user(term("foreign_resource", {term(name), list(fs)})), 1);
}

void declare(const char* function, lv_term_ref spec) {
  ASSERT_EQ(assert_user(term("foreign", {term(function), spec})), 1);
}

const std::vector<const char*> ALL_FUNCTIONS = {"t_add",  "t_scale", "t_atom_length", "t_join",  "t_wrap",
                                                "t_outputs", "t_make", "t_name", "t_codes", "t_raise",
                                                "t_fail", "t_state"};

void declare_test_functions() {
  declare("t_add", pred_spec("lv_add", {"+integer", "+integer", "[-integer]"}));
  declare("t_scale", pred_spec("lv_scale", {"+float", "+float", "[-float]"}));
  declare("t_atom_length", pred_spec("lv_atom_length", {"+atom", "[-integer]"}));
  declare("t_join", pred_spec("lv_join", {"+string", "+codes", "[-string]"}));
  declare("t_wrap", pred_spec("lv_wrap", {"+term", "-term"}));
  declare("t_outputs", pred_spec("lv_outputs", {"-integer", "-float", "-atom", "-string", "-codes"}));
  declare("t_make", pred_spec("lv_make", {"[-term]"}));
  declare("t_name", pred_spec("lv_name", {"[-atom]"}));
  declare("t_codes", pred_spec("lv_codes", {"[-codes]"}));
  declare("t_raise", pred_spec("lv_raise", {"+term"}));
  declare("t_fail", term("lv_fail"));
  declare("t_state", pred_spec("lv_state", {"[-integer]"}));
}

int load(const std::string& file) { return query("prolog", "load_foreign_resource", {term(file.c_str())}); }
int unload(const char* name) { return query("prolog", "unload_foreign_resource", {term(name)}); }

// The message of the system error pending after a query ended in one, or
// the formal term's name for another error.
std::string error_text() {
  lv_term_ref e = exception_ref();
  if (std::getenv("LVTEST_SHOW_ERRORS") != nullptr) std::fprintf(stderr, "exception: %s\n", term_text(e).c_str());
  lv_term_ref formal = LV_new_term_ref(), context = LV_new_term_ref(), message = LV_new_term_ref();
  if (LV_get_arg(1, e, formal) != 1 || LV_get_arg(2, e, context) != 1) return "?";
  lv_term name = 0;
  int arity = 0;
  LV_get_functor(formal, &name, &arity);
  // A system error's message is the last argument of its context.
  int context_arity = 0;
  lv_term context_name = 0;
  LV_get_functor(context, &context_name, &context_arity);
  if (std::string(lv_atom_text(name)) == "system_error" && LV_get_arg(context_arity, context, message) == 1)
    return text_of(message);
  return lv_atom_text(name);
}

std::string codes_text(lv_term_ref t) {
  const char* s = nullptr;
  return LV_get_list_codes(t, &s) == 1 && s != nullptr ? s : "?";
}

class Foreign : public RuntimeTest {
 protected:
  void SetUp() override {
    if (!have_boot_file()) GTEST_SKIP() << "no boot file " << boot_file();
    ASSERT_TRUE(start_and_boot());
  }
};

}  // namespace

TEST_F(Foreign, PredicatesOfEveryArgumentKind) {
  const plugin_log* log = log_of(plugin("lvtest_good"));
  ASSERT_NE(log, nullptr);
  declare_resource("lvtest_good", ALL_FUNCTIONS);
  declare_test_functions();
  ASSERT_EQ(load(plugin("lvtest_good")), 1) << error_text();
  EXPECT_EQ(log->inits, 1);
  EXPECT_EQ(log->last_init_when, 0);
  EXPECT_EQ(log->plain_entry_used, 0);  // the underscored entry comes first

  lv_term_ref r = var_ref();
  EXPECT_EQ(query("user", "lv_add", {int_ref(40), int_ref(2), r}), 1);
  EXPECT_EQ(int_of(r), 42);
  r = var_ref();
  lv_term_ref f = LV_new_term_ref();
  LV_put_float(f, 1.5);
  EXPECT_EQ(query("user", "lv_scale", {f, int_ref(3), r}), 1);
  double d = 0;
  EXPECT_EQ(LV_get_float(r, &d), 1);
  EXPECT_EQ(d, 4.5);
  r = var_ref();
  EXPECT_EQ(query("user", "lv_atom_length", {term("h\xc3\xa9llo"), r}), 1);
  EXPECT_EQ(int_of(r), 6);  // bytes of its text
  r = var_ref();
  lv_term_ref codes = LV_new_term_ref();
  LV_put_list_codes(codes, term("[]"), "-tail");
  EXPECT_EQ(query("user", "lv_join", {term("head"), codes, r}), 1);
  EXPECT_EQ(text_of(r), "head-tail");
  r = var_ref();
  EXPECT_EQ(query("user", "lv_wrap", {term("g", {int_ref(1)}), r}), 1);
  lv_term name = 0;
  int arity = 0;
  ASSERT_EQ(LV_get_functor(r, &name, &arity), 1);
  EXPECT_STREQ(lv_atom_text(name), "w");
  lv_term_ref o1 = var_ref(), o2 = var_ref(), o3 = var_ref(), o4 = var_ref(), o5 = var_ref();
  EXPECT_EQ(query("user", "lv_outputs", {o1, o2, o3, o4, o5}), 1);
  EXPECT_EQ(int_of(o1), -(int64_t{1} << 62));
  EXPECT_EQ(LV_get_float(o2, &d), 1);
  EXPECT_EQ(d, 0.5);
  EXPECT_EQ(text_of(o3), "h\xc3\xa9");
  EXPECT_EQ(text_of(o4), "text");
  EXPECT_EQ(codes_text(o5), "ab");
  r = var_ref();
  EXPECT_EQ(query("user", "lv_make", {r}), 1);
  EXPECT_EQ(int_of(r), 99);
  r = var_ref();
  EXPECT_EQ(query("user", "lv_name", {r}), 1);
  EXPECT_EQ(text_of(r), "named");
  r = var_ref();
  EXPECT_EQ(query("user", "lv_codes", {r}), 1);
  EXPECT_EQ(codes_text(r), "xyz");
  r = var_ref();
  EXPECT_EQ(query("user", "lv_state", {r}), 1);
  EXPECT_EQ(int_of(r), 42);  // init's word in the env the functions get
  // An output that does not unify fails; an argument of the wrong type is
  // an error.
  EXPECT_EQ(query("user", "lv_add", {int_ref(1), int_ref(2), int_ref(4)}), 0);
  EXPECT_EQ(query("user", "lv_add", {term("one"), int_ref(2), var_ref()}), -1);
  EXPECT_EQ(error_text(), "type_error");
  // A function that fails, and one that raises.
  EXPECT_EQ(query("user", "lv_fail", {}), 0);
  EXPECT_EQ(query("user", "lv_raise", {term("ball", {int_ref(7)})}), -1);
  lv_term_ref ball = exception_ref();
  ASSERT_EQ(LV_get_functor(ball, &name, &arity), 1);
  EXPECT_STREQ(lv_atom_text(name), "ball");

  // Unloading runs the entry and deinit, closes the library and takes the
  // predicates away; loading again works.
  EXPECT_EQ(unload("lvtest_good"), 1);
  EXPECT_EQ(log->deinits, 1);
  EXPECT_EQ(log->last_deinit_when, 0);
  EXPECT_EQ(log->unload_entries, 1);
  EXPECT_EQ(query("user", "lv_add", {int_ref(1), int_ref(2), var_ref()}), -1);  // gone: an existence error
  EXPECT_EQ(unload("lvtest_good"), -1);
  EXPECT_EQ(error_text(), "existence_error");
  ASSERT_EQ(load(plugin("lvtest_good")), 1);
  EXPECT_EQ(log->inits, 2);
  // Shutdown unloads what is loaded, as at exit.
  LV_deinitialize();
  EXPECT_EQ(log->deinits, 2);
  EXPECT_EQ(log->last_deinit_when, 2);
}

TEST_F(Foreign, ALibraryNamedTwiceIsLoadedOnce) {
  const plugin_log* log = log_of(plugin("lvtest_good"));
  TempFiles dir;
  std::filesystem::create_symlink(plugin("lvtest_good"), dir.path("lvtest_good.so"));
  declare_resource("lvtest_good", {"t_add"});
  declare("t_add", pred_spec("lv_add", {"+integer", "+integer", "[-integer]"}));
  int64_t before = log->inits;
  ASSERT_EQ(load(plugin("lvtest_good")), 1);
  // Another path, and the path without its suffix.
  ASSERT_EQ(load(dir.path("lvtest_good.so")), 1);
  ASSERT_EQ(load(dir.path("lvtest_good")), 1);
  EXPECT_EQ(log->inits, before + 1);
  // The runtime's own check, without the library's bookkeeping.
  EXPECT_EQ(query("prolog", "$load_foreign_resource", {term(dir.path("lvtest_good.so").c_str()), term("user"), int_ref(0)}), 1);
  EXPECT_EQ(log->inits, before + 1);
}

TEST_F(Foreign, EscapedNamesAndTheEntryWithoutUnderscore) {
  const plugin_log* log = log_of(plugin("lvtest-noenv"));
  ASSERT_NE(log, nullptr);
  declare_resource("lvtest-noenv", {"t_add", "t_state"});
  declare("t_add", pred_spec("lv_add", {"+integer", "+integer", "[-integer]"}));
  declare("t_state", pred_spec("lv_state", {"[-integer]"}));
  ASSERT_EQ(load(plugin("lvtest-noenv")), 1) << error_text();
  EXPECT_EQ(log->inits, 1);
  lv_term_ref r = var_ref();
  EXPECT_EQ(query("user", "lv_state", {r}), 1);
  EXPECT_EQ(int_of(r), -1);  // no env for a resource that takes none
  EXPECT_EQ(unload("lvtest-noenv"), 1);
  EXPECT_EQ(log->deinits, 1);
}

TEST_F(Foreign, ResourcesThatFailToLoadAreReportedWithTheirReason) {
  struct {
    const char* name;
    std::string file;
    std::string message_start;
  } cases[] = {
      {"lvtest_absent", plugin("lvtest_absent"), "dlopen(\"" + plugin("lvtest_absent") + "\") failed in load_foreign_resource/1: "},
      {"lvtest_noentry", plugin("lvtest_noentry"),
       "dlsym(handle,\"_lv_main_LVENV_lvtest_0x5Fnoentry\") failed in load_foreign_resource/1: "},
      {"lvtest_noflag", plugin("lvtest_noflag"), "Foreign resource entry function API error"},
      {"lvtest_initfail", plugin("lvtest_initfail"),
       "the init function of foreign resource lvtest_initfail failed in load_foreign_resource/1"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    declare_resource(c.name, {"t_add"});
    declare("t_add", pred_spec("lv_add", {"+integer", "+integer", "[-integer]"}));
    EXPECT_EQ(load(c.file), -1);
    std::string message = error_text();
    EXPECT_EQ(message.substr(0, c.message_start.size()), c.message_start) << message;
    // The linker's reason follows.
    if (c.message_start.back() == ' ') {
      EXPECT_GT(message.size(), c.message_start.size()) << message;
    }
    // Nothing is left: no record, no library, no predicate.
    EXPECT_EQ(lv_find_foreign_resource(lv_atom_from_text(c.name, LV_ATOM_FIND_OR_CREATE)), nullptr);
    EXPECT_FALSE(library_loaded(c.file));
  }
}

TEST_F(Foreign, AnInitThatRaisesLeavesItsException) {
  declare_resource("lvtest_initraise", {"t_add"});
  declare("t_add", pred_spec("lv_add", {"+integer", "+integer", "[-integer]"}));
  EXPECT_EQ(load(plugin("lvtest_initraise")), -1);
  lv_term_ref e = exception_ref();
  EXPECT_EQ(text_of(e), "init_refused");
  EXPECT_FALSE(library_loaded(plugin("lvtest_initraise")));
  EXPECT_EQ(lv_find_foreign_resource(lv_atom_from_text("lvtest_initraise", LV_ATOM_FIND_OR_CREATE)), nullptr);
}

TEST_F(Foreign, SymbolsOfTheTablesAndOfUnknownResources) {
  // A declaration whose arity is not the table's.
  declare_resource("lvtest_good", {"t_add"});
  declare("t_add", pred_spec("lv_add", {"+integer", "[-integer]"}));
  EXPECT_EQ(load(plugin("lvtest_good")), -1);
  EXPECT_EQ(error_text(), "failed to resolve symbol \"t_add\": not in table");
  EXPECT_EQ(lv_find_foreign_resource(lv_atom_from_text("lvtest_good", LV_ATOM_FIND_OR_CREATE)), nullptr);
  // Asked of a resource that is not loaded: an existence error.
  lv_term_ref specs = list({term("f", {term("x"), term("y"), term("t_add", {var_ref(), var_ref(), var_ref()}), var_ref()})});
  EXPECT_EQ(query("prolog", "$foreign_resource_symbols", {term("lvtest_nothing"), specs, var_ref()}), -1);
  EXPECT_EQ(error_text(), "existence_error");
}

TEST_F(Foreign, ACyclicListOfSpecsFails) {
  declare_resource("lvtest_good", {"t_add"});
  declare("t_add", pred_spec("lv_add", {"+integer", "+integer", "[-integer]"}));
  ASSERT_EQ(load(plugin("lvtest_good")), 1);
  lv_term_ref tail = var_ref();
  lv_term_ref cyclic = LV_new_term_ref();
  LV_cons_list(cyclic, term("x"), tail);
  ASSERT_EQ(LV_unify(tail, cyclic), 1);
  EXPECT_EQ(query("prolog", "$foreign_resource_symbols", {term("lvtest_good"), cyclic, var_ref()}), 0);
}

TEST_F(Foreign, ConstantsOfTheRuntime) {
  lv_term_ref v = var_ref();
  EXPECT_EQ(query("prolog", "$foreign_resource_suffix", {v}), 1);
  EXPECT_EQ(text_of(v), ".so");
  v = var_ref();
  EXPECT_EQ(query("prolog", "$LV_MAIN_PREFIX", {v}), 1);
  EXPECT_EQ(text_of(v), "lv_main_LVENV_");
  v = var_ref();
  EXPECT_EQ(query("prolog", "$LV_MAINFUN_PARAMS_VERSION", {v}), 1);
  EXPECT_EQ(int_of(v), 196609);
  // The library's table of the foreign-call instructions is the engine's.
  struct {
    const char* group;
    int number;
  } groups[] = {{"open_q", LV_OP_OPEN_FOREIGN_CALLQ}, {"close", LV_OP_CLOSE_FOREIGN_CALL},
                {"call_q", LV_OP_CALL_FOREIGNQ},      {"call", LV_OP_CALL_FOREIGN},
                {"push", LV_OP_PUSH_FLOAT},          {"push_result", LV_OP_PUSH_RESULT_FLOAT},
                {"pop", LV_OP_POP_FLOAT},            {"receive", LV_OP_RECEIVE_FLOAT},
                {"end_q", LV_OP_END_OF_CLAUSEQ},     {"end", LV_OP_END_OF_CLAUSE}};
  for (const auto& g : groups) {
    v = var_ref();
    EXPECT_EQ(query("prolog", "$foreign_insn", {term(g.group), v}), 1) << g.group;
    EXPECT_EQ(int_of(v), g.number) << g.group;
  }
  EXPECT_EQ(LV_OP_PUSH_CODES - LV_OP_PUSH_FLOAT, 5);
  EXPECT_EQ(LV_OP_PUSH_INTEGER - LV_OP_PUSH_FLOAT, 1);
  EXPECT_EQ(LV_OP_RECEIVE_CODES - LV_OP_RECEIVE_FLOAT, 5);
}

// ---------------------------------------------------------------------------
// A resource linked into this program: found in the prelinked table.

namespace {

int prelinked_inits;

void pre_double(lv_call_record* r) { r->result = 2 * static_cast<int64_t>(r->args[0]); }
void pre_init(lv_foreign_env*, int) { prelinked_inits++; }

void* const pre_functions[] = {reinterpret_cast<void*>(pre_double), nullptr};
const char* const pre_names[] = {"pre_double", nullptr};
const int32_t pre_arities[] = {2};

int pre_entry(lv_foreign_params* p) {
  p->flags |= LV_FOREIGN_UNDERSTOOD | LV_FOREIGN_WITH_ENV;
  p->functions = pre_functions;
  p->names = pre_names;
  p->arities = pre_arities;
  p->init = reinterpret_cast<void*>(pre_init);
  return 0;
}

}  // namespace

TEST_F(ForeignPrelinked, LoadsWithoutALibrary) {
  REQUIRE_BOOT_FILE();
  static const char* const names[] = {"lvtest_data", "lvtest_pre", nullptr};
  static void* const values[] = {nullptr, reinterpret_cast<void*>(&pre_entry), nullptr};
  ASSERT_EQ(lv_glue_initialize(0, nullptr, nullptr, names, values, LV_BOOT_DEVSYS, 0), 1);
  ASSERT_EQ(lv_qload_or_restore(boot_file().c_str(), 1), 1);
  EXPECT_EQ(query("prolog", "$prelinked_foreign_resource", {term("/any/dir/lvtest_pre.so")}), 1);
  EXPECT_EQ(query("prolog", "$prelinked_foreign_resource", {term("lvtest_data")}), 0);  // a data resource
  EXPECT_EQ(query("prolog", "$prelinked_foreign_resource", {term("lvtest_other")}), 0);
  declare_resource("lvtest_pre", {"pre_double"});
  declare("pre_double", pred_spec("lv_double", {"+integer", "[-integer]"}));
  ASSERT_EQ(load("lvtest_pre"), 1) << error_text();
  EXPECT_EQ(prelinked_inits, 1);
  EXPECT_EQ(lv_find_foreign_resource(lv_atom_from_text("lvtest_pre", LV_ATOM_FIND_OR_CREATE))->library, nullptr);
  lv_term_ref r = var_ref();
  EXPECT_EQ(query("user", "lv_double", {int_ref(21), r}), 1);
  EXPECT_EQ(int_of(r), 42);
  EXPECT_EQ(unload("lvtest_pre"), 1);
  LV_deinitialize();
}

// ---------------------------------------------------------------------------
// C-defined predicates.

namespace {

struct stash {
  int calls;
  int answer;  // what the function answers: 1, 0, or -1 to raise, -2 to call LV_fail
  std::string goal_name;
  int goal_arity;
};

int c_function(lv_term_ref goal, void* data) {
  auto* s = static_cast<stash*>(data);
  s->calls++;
  lv_term name = 0;
  int arity = 0;
  LV_get_functor(goal, &name, &arity);
  s->goal_name = lv_atom_text(name);
  s->goal_arity = arity;
  if (arity >= 2) {
    // The second argument is bound to the first plus one.
    lv_term_ref a = LV_new_term_ref(), b = LV_new_term_ref();
    LV_get_arg(1, goal, a);
    LV_get_arg(2, goal, b);
    int64_t v = 0;
    LV_get_integer(a, &v);
    lv_term_ref sum = int_ref(v + 1);
    if (LV_unify(b, sum) != 1) return 0;
  }
  if (s->answer == -1) {
    LV_raise_exception(term("c_error"));
    return 1;
  }
  if (s->answer == -2) {
    LV_fail();
    return 1;
  }
  return s->answer;
}

}  // namespace

TEST_F(Foreign, CDefinedPredicates) {
  stash s{0, 1, "", 0};
  ASSERT_EQ(LV_define_c_predicate("c_next", 2, "user", c_function, &s), 1);
  lv_term_ref r = var_ref();
  EXPECT_EQ(query("user", "c_next", {int_ref(41), r}), 1);
  EXPECT_EQ(int_of(r), 42);
  EXPECT_EQ(s.goal_name, "c_next");
  EXPECT_EQ(s.goal_arity, 2);
  EXPECT_EQ(query("user", "c_next", {int_ref(1), int_ref(5)}), 0);  // does not unify
  s.answer = 0;
  EXPECT_EQ(query("user", "c_next", {int_ref(1), var_ref()}), 0);
  s.answer = 7;  // any answer but 1 fails
  EXPECT_EQ(query("user", "c_next", {int_ref(1), var_ref()}), 0);
  s.answer = -2;
  EXPECT_EQ(query("user", "c_next", {int_ref(1), var_ref()}), 0);
  s.answer = -1;
  EXPECT_EQ(query("user", "c_next", {int_ref(1), var_ref()}), -1);
  EXPECT_EQ(text_of(exception_ref()), "c_error");

  // Arity 0 in the type-in module; arity 255; the limits.
  stash z{0, 1, "", -1};
  ASSERT_EQ(LV_define_c_predicate("c_zero", 0, nullptr, c_function, &z), 1);
  EXPECT_EQ(query("user", "c_zero", {}), 1);
  EXPECT_EQ(z.goal_name, "c_zero");
  EXPECT_EQ(z.goal_arity, 0);
  stash wide{0, 1, "", 0};
  EXPECT_EQ(LV_define_c_predicate("c_wide", 255, "user", c_function, &wide), 1);
  std::vector<lv_term_ref> args;
  for (int i = 0; i < 255; i++) args.push_back(int_ref(i == 1 ? 1 : i));
  EXPECT_EQ(query("user", "c_wide", args), 1);
  EXPECT_EQ(wide.goal_arity, 255);
  EXPECT_EQ(LV_define_c_predicate("c_wider", 256, "user", c_function, &wide), 0);
  EXPECT_EQ(LV_define_c_predicate("c_none", 1, "user", nullptr, &wide), 0);
  EXPECT_EQ(LV_define_c_predicate("c_nomodule", 1, "lvtest_no_such_module", c_function, &wide), 0);
}

// ---------------------------------------------------------------------------
// The tool interface.

namespace {

struct lvti_test_log_record {
  int loads, unloads, hook_events;
  uint64_t last_event, last_count;
  char last_name[64];
  uint64_t last_arity;
  int records_well_formed;
  int hook_installed;
};

void other_hook(lvti_record*, void*) {}
void another_hook(lvti_record*, void*) {}

}  // namespace

TEST_F(ToolInterface, PluginLoadedAtStartAndToldOfShutdown) {
  std::string path = plugin("lvti_test");
  void* h = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(h, nullptr) << dlerror();
  auto log = reinterpret_cast<const lvti_test_log_record* (*)()>(dlsym(h, "lvti_test_log"))();
  ScopedEnv env{{"LV_LVTI_PATH", path.c_str()}};
  for (int round = 1; round <= 2; round++) {
    ASSERT_EQ(start(), 1);
    EXPECT_EQ(log->loads, round);
    EXPECT_EQ(log->last_event, 3u);
    EXPECT_EQ(log->hook_installed, 0);
    // The hook the plug-in installed hears of code and compilations.
    int before = log->hook_events;
    lvti_notify_code_load("p", 2, "user", &before, 16);
    EXPECT_EQ(log->last_event, 1u);
    EXPECT_EQ(log->last_count, 5u);
    EXPECT_STREQ(log->last_name, "p");
    lvti_notify_code_unload("q", 3, "user", &before, 16);
    EXPECT_EQ(log->last_event, 2u);
    EXPECT_EQ(log->last_arity, 3u);
    lvti_notify_begin("r", 1, "user");
    EXPECT_EQ(log->last_event, 5u);
    EXPECT_EQ(log->last_count, 3u);
    lvti_notify_end("r", 1, "user");
    EXPECT_EQ(log->last_event, 6u);
    EXPECT_EQ(log->hook_events, before + 4);
    LV_deinitialize();
    EXPECT_EQ(log->unloads, round);
    EXPECT_EQ(log->last_event, 4u);
    // The hook went with the runtime.
    lvti_notify_begin("r", 1, "user");
    EXPECT_EQ(log->hook_events, before + 4);
  }
  EXPECT_EQ(log->records_well_formed, 1);
  dlclose(h);
}

TEST_F(ToolInterface, NoPluginOrOneThatDoesNotLoad) {
  for (const char* value : {"none", "/nonexistent/lvti_x.so", "missing_name"}) {
    ScopedEnv env{{"LV_LVTI_PATH", value}};
    ASSERT_EQ(start(), 1) << value;  // start-up goes on without a plug-in
    EXPECT_EQ(lvti_enabled.master, 0);
    LV_deinitialize();
  }
}

TEST_F(ToolInterface, PluginPaths) {
  ASSERT_EQ(start(), 1);
  std::string library = setting("LV_LIBRARY_DIR");
  struct {
    const char* value;
    int64_t result;
    std::string path;
  } cases[] = {
      {"none", 1, ""},
      {"prof", 0, library + "x86_64-linux-gnu-4/lvti_prof.so"},
      {"/opt/x.so", 0, "/opt/x.so"},
      {"$HOME/x.so", 0, "$HOME/x.so"},
      {"a:b", 0, "a:b"},
      {"back\\slash", 0, "back\\slash"},
  };
  for (const auto& c : cases) {
    char* path = nullptr;
    EXPECT_EQ(lvti_plugin_path(c.value, &path), c.result) << c.value;
    EXPECT_EQ(path != nullptr ? std::string(path) : std::string(), c.path) << c.value;
    LV_free(path);
  }
  EXPECT_EQ(lvti_plugin_path(nullptr, nullptr), 1);
  LV_deinitialize();
}

TEST_F(ToolInterface, InstallingAndRemovingTheHook) {
  ASSERT_EQ(start(), 1);
  EXPECT_EQ(LV_install_lvti_hook(nullptr, nullptr, 0), LVIO_E_PARAMETER_ERROR);
  EXPECT_EQ(LV_install_lvti_hook(other_hook, nullptr, 0), 0);
  EXPECT_EQ(lvti_enabled.master, 1);
  EXPECT_EQ(lvti_enabled.code_load + lvti_enabled.code_unload + lvti_enabled.begin + lvti_enabled.end, 4);
  EXPECT_EQ(LV_install_lvti_hook(other_hook, nullptr, 0), LVIO_E_INVALID_STATE);
  // Removing a hook that is not the installed one changes nothing.
  EXPECT_EQ(LV_install_lvti_hook(another_hook, nullptr, 1), 0);
  EXPECT_EQ(lvti_enabled.master, 1);
  EXPECT_EQ(LV_install_lvti_hook(other_hook, nullptr, 1), 0);
  EXPECT_EQ(lvti_enabled.master, 0);
  EXPECT_EQ(LV_install_lvti_hook(other_hook, nullptr, 0), 0);
  LV_deinitialize();
  EXPECT_EQ(lvti_enabled.master, 0);
}
