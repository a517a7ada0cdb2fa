// domsolve.so as the runtime uses it: loaded with dlopen (nothing of it is
// linked here), its entry called with parameter blocks, its init and deinit
// called with the environment, and its foreign predicates run by the
// emulator's foreign-call instructions through the glue stubs it handed
// over, with queries from C.
#include <gtest/gtest.h>
#include <dlfcn.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "core/attributes.h"
#include "embed/api_exceptions.h"
#include "embed/query_programs.h"
#include "embed/queries.h"
#include "embed/term_interface.h"
#include "lorvika.h"
#include "store/predicates.h"
#include "support/term_text.h"

namespace {

typedef int (*entry_fn)(lv_foreign_params*);
typedef void (*init_fn)(lv_foreign_env*, int);

class Plugin : public QueryProgramTest {
 protected:
  void SetUp() override {
    QueryProgramTest::SetUp();
    r = new terms::reader(w);
    lib = dlopen(DOMSOLVE_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(lib, nullptr) << dlerror();
    entry = reinterpret_cast<entry_fn>(dlsym(lib, "lv_main_LVENV_domsolve"));
    ASSERT_NE(entry, nullptr);
    const lv_dispatch* d = LV_get_dispatch_40900(nullptr);
    env = {d->c_interface, d->support, 0, w};
  }
  void TearDown() override {
    if (env.state != 0) deinit();
    if (lib != nullptr) dlclose(lib);
    delete r;
    QueryProgramTest::TearDown();
  }

  lv_foreign_params block(uint32_t flags) { return {0x30001, &env, flags, 0, nullptr, nullptr, nullptr, nullptr, nullptr}; }

  // Loads as the runtime does: the entry with the loading flags, then init
  // inside a C call (whose status init could clear).
  void load() {
    params = block(5);
    ASSERT_EQ(entry(&params), 0);
    ASSERT_NE(lv_attr_module_register(find_module(LV_atom_from_string("domsolve"), 1)), 0);
    w->fcall.status = 1;
    reinterpret_cast<init_fn>(params.init)(&env, 0);
    ASSERT_EQ(w->fcall.status, 1);
  }
  void deinit() {
    w->fcall.status = 1;
    reinterpret_cast<init_fn>(params.deinit)(&env, 0);
  }
  uint64_t* state_words() { return reinterpret_cast<uint64_t*>(env.state); }

  int index_of(const std::string& name) {
    for (int i = 0; params.names[i] != nullptr; i++)
      if (name == params.names[i]) return i;
    return -1;
  }

  // A predicate of module domsolve whose clause calls the plug-in's stub:
  // kinds gives each argument's kind, t a term reference, w a 64-bit word,
  // r the result (the last argument).
  lv_pred* define(const std::string& name, const std::string& kinds) {
    int i = index_of(name);
    EXPECT_GE(i, 0) << name;
    unsigned arity = static_cast<unsigned>(params.arities[i]);
    EXPECT_EQ(arity, kinds.size()) << name;
    using namespace assembler;
    lv_pred* p = pred("domsolve", name.c_str(), arity);
    unsigned terms = 0;
    for (char k : kinds) terms += k == 't';
    Assembler a;
    a.op(LV_OP_OPEN_FOREIGN_CALL, {N(arity), N(terms), P(p), A(reinterpret_cast<const uint32_t*>(&env))});
    for (unsigned j = 0; j < arity; j++) {
      if (kinds[j] == 't') a.op(LV_OP_PUSH_TERM, {X(j)});
      if (kinds[j] == 'w') a.op(LV_OP_PUSH_INTEGER, {X(j)});
    }
    a.op(LV_OP_CALL_FOREIGN, {A(reinterpret_cast<const uint32_t*>(params.functions[i])), S(arity)});
    if (kinds.back() == 'r') a.op(LV_OP_RECEIVE_INTEGER, {Y(arity - 1)});
    a.op(LV_OP_CLOSE_FOREIGN_CALL);
    return clauses(name.c_str(), arity, {&a}, "domsolve");
  }

  // Runs name(args...) once: "fail", "error <exception>", or the arguments
  // after success.
  std::string run(const std::string& name, const std::vector<std::string>& args) {
    static const std::map<std::string, std::string> kinds = {
        {"$fd_median", "tr"},       {"$fd_middle", "tr"},       {"$fd_size", "ttr"},
        {"$fd_range", "tttr"},      {"$fd_cons", "ttttr"},      {"$fd_dom_complement", "tt"},
        {"$fd_dom_subtract", "ttt"}, {"$fd_dom_intersection", "ttt"}, {"$fd_dom_union", "ttt"},
        {"$fd_dom_contains", "tt"}, {"$fd_dom_insert", "ttt"},  {"$fd_dom_delete", "ttt"},
        {"$fd_dom_intersect", "ttr"}, {"$fd_set_expression", "tt"}, {"$fd_statistics", "wr"},
        {"$fd_batch", "ttr"},       {"$fd_hiding", "ttr"},      {"$fd_debug", "ttr"},
        {"$fd_overflow", "ttr"},    {"$fd_abs", "tttt"},        {"$fd_post_equality", "ttr"},
        {"$fd_arg_attribute", "twt"}, {"$fd_coref", "t"},  {"$fd_findall_end", "t"},
        {"$fd_in_interval", "tttw"}, {"$fd_cumulative", "tttt"},
    };
    lv_pred* p = LV_pred(LV_atom_from_string(name.c_str()), static_cast<int64_t>(args.size()),
                         LV_atom_from_string("domsolve"));
    if (p == nullptr || p->definition == nullptr) p = define(name, kinds.at(name));
    // Variables are named afresh for every run.
    terms::reader fresh(w);
    lv_term_ref first = LV_new_term_refs(static_cast<int32_t>(args.size()));
    for (size_t i = 0; i < args.size(); i++) w->termrefs[first + i].term = fresh.read(args[i]);
    int result;
    switch (args.size()) {
      case 1: result = LV_query(p, first); break;
      case 2: result = LV_query(p, first, first + 1); break;
      case 3: result = LV_query(p, first, first + 1, first + 2); break;
      case 4: result = LV_query(p, first, first + 1, first + 2, first + 3); break;
      default: result = LV_query(p, first, first + 1, first + 2, first + 3, first + 4); break;
    }
    if (result == 0) return "fail";
    if (result < 0) {
      lv_term_ref e = LV_new_term_ref();
      LV_exception_term(e);
      return "error " + fresh.write(w->termrefs[e].term);
    }
    std::string out;
    for (size_t i = 0; i < args.size(); i++) out += (i ? " " : "") + fresh.write(w->termrefs[first + i].term);
    return out;
  }

  void* lib = nullptr;
  entry_fn entry = nullptr;
  lv_foreign_env env{};
  lv_foreign_params params{};
  terms::reader* r = nullptr;
};

TEST_F(Plugin, EntryChecksTheBlockAndTheInterfaceVersion) {
  struct fake_table {
    lv_api_table header;
  };
  const struct {
    const char* what;
    uint64_t magic;
    uint32_t flags;
    int table;  // 0 none, 1 a table of the version below, 2 no dispatch record
    uint64_t version;
    int result;
    uint32_t flags_after;
  } cases[] = {
      {"accepted", 0x30001, 5, 1, 0x301c5, 0, 5 | 0x30},
      {"unloading", 0x30001, 6, 1, 0x301c5, 0, 6 | 0x30},
      {"a later minor version", 0x30001, 5, 1, 0x3ffff, 0, 5 | 0x30},
      {"only the low 32 bits of the magic count", 0x700030001, 5, 1, 0x301c5, 0, 5 | 0x30},
      {"bad magic", 0x30002, 5, 1, 0x301c5, 2, 5},
      {"flag 0x4 clear", 0x30001, 1, 1, 0x301c5, 2, 1},
      {"no dispatch record", 0x30001, 5, 2, 0, 1, 5 | 0x20},
      {"no API table", 0x30001, 5, 0, 0, 1, 5 | 0x20},
      {"one below the minimum", 0x30001, 5, 1, 0x301c4, 2, 5 | 0x20},
      {"major version 4", 0x30001, 5, 1, 0x401c5, 2, 5 | 0x20},
      {"major version 2", 0x30001, 5, 1, 0x2ffff, 2, 5 | 0x20},
  };
  for (const auto& c : cases) {
    fake_table table{{sizeof(fake_table), "lorvika.h", c.version}};
    lv_foreign_env fake_env{c.table == 1 ? &table.header : nullptr, nullptr, 0, w};
    lv_foreign_params p{c.magic, c.table == 2 ? nullptr : &fake_env, c.flags, 0, nullptr, nullptr, nullptr, nullptr,
                    nullptr};
    EXPECT_EQ(entry(&p), c.result) << c.what;
    EXPECT_EQ(p.flags, c.flags_after) << c.what;
    EXPECT_EQ(p.functions != nullptr, c.result == 0) << c.what;
    EXPECT_EQ(p.init != nullptr && p.deinit != nullptr, c.result == 0) << c.what;
  }
}

TEST_F(Plugin, RegistrationTablesInTheFixedOrder) {
  params = block(5);
  ASSERT_EQ(entry(&params), 0);
  const char* expected =
      "$fd_median/2 $fd_middle/2 $fd_size/3 $fd_range/4 $fd_cons/5 $fd_dom_complement/2 $fd_dom_subtract/3 "
      "$fd_dom_intersection/3 $fd_dom_union/3 $fd_dom_contains/2 $fd_dom_insert/3 $fd_dom_delete/3 "
      "$fd_dom_intersect/3 $fd_set_expression/2 $fd_arg_attribute/3 $fd_dvar_list/2 $fd_coref/1 "
      "$fd_check_arguments/2 $fd_install/5 $fd_post_reified/5 $fd_post_global/6 $fd_post_clause/2 "
      "$fd_post_disequation/3 $fd_post_equality/3 $fd_prune_and_enqueue/2 $fd_find_definition/3 "
      "$fd_indexical_data/3 $fd_statistics/2 $fd_batch/3 $fd_hiding/3 $fd_debug/3 $fd_overflow/3 $fd_unify/3 "
      "$fd_in_set/3 $fd_in_interval/4 $fd_eval_indexical/3 $fd_evaluate_indexical/2 $fd_update_incumbent/3 "
      "$fd_incumbent_bound/2 $fd_dispatch_global_fast/6 $fd_trailed_Dfree/1 $fd_purge/1 $fd_linear_reif/4 "
      "$fd_abs/4 $fd_square/4 $fd_product/4 $fd_power/4 $fd_and/4 $fd_or/4 $fd_xor/4 $fd_quotient/4 "
      "$fd_divide/4 $fd_modulo/4 $fd_remainder/4 $fd_int_times/4 $fd_cumulative/4 $fd_ttef_cumulative/4 "
      "$fd_multi_cumulative/4 $fd_bin_packing/4 $fd_compact_table/4 $fd_all_different/4 $fd_all_distinct/4 "
      "$fd_bc_alldiff/4 $fd_bc_alldiff_lia/4 $fd_atleast_le/4 $fd_pairing/4 $fd_sorting/4 $fd_keysorting/4 "
      "$fd_element/4 $fd_member/4 $fd_minmax/4 $fd_nvalue/4 $fd_geost/4 $fd_mddi/4 $fd_bool_or/4 "
      "$fd_bool_xor/4 $fd_bool_channel/4 $fd_ac3intervals/4 $fd_ac3element/4 $fd_diffn/4 $fd_cumulatives/4 "
      "$fd_gcc/4 $fd_gcc_helper/4 $fd_lcc/4 $fd_lex_chain/4 $fd_gcd_aux/4 $fd_value_precede_chain/4 "
      "$fd_minimum_arg/4 $fd_maximum_arg/4 $fd_all_equal_reif/4 $fd_if_then_else/4 $fd_delete/3 "
      "$fd_compact_table_common/5 $fd_ac3intervals_common/5 $fd_ac3element_common/4 $fd_mddi_common/6 "
      "$fd_table_compile/12 $fd_findall_begin/2 $fd_findall_end/1 $fd_findall_inserta/3 $fd_findall_list/2 "
      "fzn_read_token/5 fzn_read_item/3";
  std::string actual;
  int n = 0;
  for (; params.names[n] != nullptr; n++) {
    ASSERT_NE(params.functions[n], nullptr) << n;
    actual += (n ? " " : "") + std::string(params.names[n]) + "/" + std::to_string(params.arities[n]);
  }
  EXPECT_EQ(n, 103);
  EXPECT_EQ(params.functions[103], nullptr);
  EXPECT_EQ(params.arities[103], -1);
  EXPECT_EQ(actual, expected);
}

TEST_F(Plugin, InitAndDeinit) {
  load();
  uint64_t* s = state_words();
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s[1], 0u);  // debug off
  EXPECT_EQ(s[2], 1u);  // overflow: error
  for (int i : {3, 4, 5, 6, 7, 11, 12}) EXPECT_EQ(s[i], 0u) << i;
  EXPECT_NE(s[8], 0u);  // the kernel's tables
  EXPECT_EQ(reinterpret_cast<lv_module*>(s[10]), find_module(LV_atom_from_string("domsolve"), 0));
  EXPECT_EQ(s[13], lv_make_functor(LV_atom_from_string("in_set"), 2));
  EXPECT_EQ(s[35], lv_make_functor(LV_atom_from_string("t"), 1));
  EXPECT_EQ(s[52], LV_atom_from_string("dom_w_deg"));
  EXPECT_NE(s[53], 0u);
  // The propagator table: "element" at arities 3 and 2 are two keys.
  auto* table = reinterpret_cast<lv_keytab*>(s[54]);
  for (unsigned arity : {3u, 2u}) {
    lv_term key = lv_make_functor(LV_atom_from_string("element"), arity);
    lv_hash_entry* e = incore_gethash(table, key);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->key, key);
    EXPECT_NE(e->value, 0u);
  }
  deinit();
  EXPECT_EQ(env.state, 0u);
}

TEST_F(Plugin, SettingsAndStatistics) {
  load();
  EXPECT_EQ(run("$fd_debug", {"D1", "on", "K1"}), "off on 1");
  EXPECT_EQ(run("$fd_debug", {"off", "off", "K2"}), "off off 0");  // Old does not unify: nothing changes
  EXPECT_EQ(state_words()[1], 1u);
  EXPECT_EQ(run("$fd_debug", {"D3", "whatever", "K3"}), "on whatever 1");
  EXPECT_EQ(state_words()[1], 0u);
  // Setting fail, then asking with error: Old is fail, the setting 1.
  EXPECT_EQ(run("$fd_overflow", {"O1", "fail", "K4"}), "error fail 1");
  EXPECT_EQ(run("$fd_overflow", {"O2", "error", "K5"}), "fail error 1");
  EXPECT_EQ(state_words()[2], 1u);

  // Counters: read and reset.
  state_words()[6] = 3;
  EXPECT_EQ(run("$fd_statistics", {"3", "F1"}), "3 3");
  EXPECT_EQ(run("$fd_statistics", {"3", "F2"}), "3 0");
  EXPECT_EQ(run("$fd_statistics", {"9", "F3"}), "9 0");

  // Batch and hiding live in the flags term; batch on opens the queues.
  lv_term flags = lv_deref(w->termrefs[5].term);
  auto flag_word = [&] { return lv_small_value(lv_deref(lv_struct_cells(flags)[1])); };
  EXPECT_EQ(run("$fd_hiding", {"H1", "on", "K6"}), "off on 1");
  EXPECT_EQ(flag_word(), 4);
  EXPECT_EQ(run("$fd_batch", {"B1", "on", "K7"}), "off on 1");
  EXPECT_EQ(flag_word(), 4 | 2 | 1);
  EXPECT_EQ(run("$fd_batch", {"B2", "off", "K8"}), "on off 1");
  EXPECT_EQ(flag_word(), 4 | 1);
  EXPECT_EQ(run("$fd_hiding", {"H2", "off", "K9"}), "on off 1");
  EXPECT_EQ(flag_word(), 1);
}

TEST_F(Plugin, SetPredicates) {
  load();
  const struct {
    const char* name;
    std::vector<std::string> args;
    const char* expected;
  } cases[] = {
      {"$fd_dom_union", {"[[1|3]]", "[[4|6]]", "S"}, "[[1|3]] [[4|6]] [[1|6]]"},
      {"$fd_dom_union", {"[[1|3]]", "[[5|6]]", "S"}, "[[1|3]] [[5|6]] [[1|3],[5|6]]"},
      {"$fd_dom_intersection", {"[[1|5],[8|9]]", "[[3|8]]", "S"}, "[[1|5],[8|9]] [[3|8]] [[3|5],[8|8]]"},
      {"$fd_dom_subtract", {"[[1|9]]", "[[5|5]]", "S"}, "[[1|9]] [[5|5]] [[1|4],[6|9]]"},
      {"$fd_dom_subtract", {"[[1|9]]", "[[5|5]]", "[[1|4]]"}, "fail"},
      {"$fd_dom_complement", {"[[0|5]]", "C"}, "[[0|5]] [[inf|-1],[6|sup]]"},
      {"$fd_dom_complement", {"[]", "C"}, "[] [[inf|sup]]"},
      {"$fd_dom_complement", {"[[inf|sup]]", "C"}, "[[inf|sup]] []"},
      {"$fd_dom_contains", {"[[1|3],[7|7]]", "7"}, "[[1|3],[7|7]] 7"},
      {"$fd_dom_contains", {"[[1|3],[7|7]]", "5"}, "fail"},
      {"$fd_dom_contains", {"[]", "5"}, "fail"},
      {"$fd_dom_contains", {"[[1|3]]", "a"}, "fail"},
      {"$fd_dom_insert", {"[[1|3]]", "4", "S"}, "[[1|3]] 4 [[1|4]]"},
      {"$fd_dom_insert", {"[[1|3]]", "2", "S"}, "[[1|3]] 2 [[1|3]]"},
      {"$fd_dom_delete", {"[[1|9]]", "5", "S"}, "[[1|9]] 5 [[1|4],[6|9]]"},
      {"$fd_dom_delete", {"[[1|9]]", "12", "S"}, "[[1|9]] 12 [[1|9]]"},
      {"$fd_dom_intersect", {"[[2|3]]", "[[1|5]]", "R"}, "[[2|3]] [[1|5]] 2"},
      {"$fd_dom_intersect", {"[[1|5]]", "[[1|5]]", "R"}, "[[1|5]] [[1|5]] 2"},
      {"$fd_dom_intersect", {"[[1|2]]", "[[4|5]]", "R"}, "[[1|2]] [[4|5]] 1"},
      {"$fd_dom_intersect", {"[[1|4]]", "[[2|3]]", "R"}, "[[1|4]] [[2|3]] 3"},
      {"$fd_dom_intersect", {"[[1|3]]", "[[3|5]]", "R"}, "[[1|3]] [[3|5]] 3"},
      {"$fd_median", {"[[1|2],[10|11]]", "M"}, "[[1|2],[10|11]] 2"},
      {"$fd_median", {"[]", "M"}, "fail"},
      {"$fd_median", {"[[1|sup]]", "M"}, "fail"},
      {"$fd_middle", {"[[0|2],[8|10]]", "M"}, "[[0|2],[8|10]] 8"},
      {"$fd_middle", {"[[-3|0]]", "M"}, "[[-3|0]] -1"},
      {"$fd_middle", {"[]", "M"}, "fail"},
      {"$fd_middle", {"[[inf|4]]", "M"}, "fail"},
      {"$fd_size", {"[[1|3],[4|6]]", "S", "K"}, "[[1|3],[4|6]] S 0"},
      {"$fd_size", {"[[inf|0]]", "S", "K"}, "[[inf|0]] sup 1"},
      {"$fd_size", {"[]", "S", "K"}, "[] 0 1"},
      {"$fd_size", {"[[1|3],[7|7]]", "S", "K"}, "[[1|3],[7|7]] 4 1"},
      {"$fd_size", {"[[-1152921504606846976|1152921504606846975]]", "S", "K"},
       "[[-1152921504606846976|1152921504606846975]] 2305843009213693952 1"},
      {"$fd_size", {"foo", "S", "K"}, "foo S 0"},
      {"$fd_range", {"5", "3", "S", "K"}, "5 3 [] 1"},
      {"$fd_range", {"a", "3", "S", "K"}, "a 3 S 0"},
      {"$fd_range", {"inf", "3", "S", "K"}, "inf 3 [[inf|3]] 1"},
      {"$fd_range", {"1", "inf", "S", "K"}, "1 inf S 0"},
      {"$fd_cons", {"1", "3", "[[5|6]]", "S", "K"}, "1 3 [[5|6]] [[1|3],[5|6]] 1"},
      {"$fd_cons", {"1", "3", "[[4|6]]", "S", "K"}, "1 3 [[4|6]] S 0"},
      {"$fd_cons", {"1", "sup", "[[5|6]]", "S", "K"}, "1 sup [[5|6]] S 0"},
      {"$fd_cons", {"1", "sup", "[]", "S", "K"}, "1 sup [] [[1|sup]] 1"},
      {"$fd_cons", {"4", "3", "[]", "S", "K"}, "4 3 [] S 0"},
      {"$fd_cons", {"1", "3", "foo", "S", "K"}, "1 3 foo S 0"},
  };
  for (const auto& c : cases) EXPECT_EQ(run(c.name, c.args), c.expected) << c.name << " " << c.args[0];
}

TEST_F(Plugin, SetExpressions) {
  load();
  const struct {
    const char* expression;
    const char* expected;
  } cases[] = {
      {"\\/(\\/(..(1, 3), '{}'(5)), ..(7, sup))", "[[1|3],[5|5],[7|sup]]"},
      {"..(inf, sup)", "[[inf|sup]]"},
      {"'{}'(4)", "[[4|4]]"},
      {"\\/(..(1, 3), ..(4, 6))", "fail"},  // adjacent
      {"\\/(..(5, 6), ..(1, 2))", "fail"},  // descending
      {"\\/(..(1, 4), ..(3, 6))", "fail"},  // overlapping
      {"..(3, 1)", "fail"},
      {"..(sup, 1)", "fail"},
      {"..(1, X)", "fail"},
      {"'{}'(inf)", "fail"},
      {"foo", "fail"},
      {"\\/(..(1, 2), \\/(..(4, 5), ..(7, 8)))", "fail"},  // not left-nested
  };
  for (const auto& c : cases) {
    std::string out = run("$fd_set_expression", {c.expression, "Set"});
    std::string expected = c.expected;
    if (expected != "fail") expected = out.substr(0, out.rfind(' ')) + " " + expected;
    EXPECT_EQ(out, expected) << c.expression;
  }
}

TEST_F(Plugin, MalformedSetsRaiseTypeErrors) {
  load();
  EXPECT_EQ(run("$fd_dom_union", {"foo", "[[1|2]]", "S"}),
            "error error(type_error(fdset,foo),type_error(:(domsolve,$fd_dom_union(foo,[[1|2]],_)),1,fdset,foo))");
  EXPECT_EQ(run("$fd_dom_intersection", {"[[1|2]]", "[[5|4]]", "S"}),
            "error error(type_error(fdset,[[5|4]]),type_error(:(domsolve,$fd_dom_intersection([[1|2]],[[5|4]],_)),2,"
            "fdset,[[5|4]]))");
  EXPECT_EQ(run("$fd_median", {"[1, 2]", "M"}),
            "error error(type_error(fdset,[1,2]),type_error(:(domsolve,$fd_median([1,2],_)),1,fdset,[1,2]))");
  EXPECT_EQ(run("$fd_dom_insert", {"[[1|2]]", "x", "S"}),
            "error error(type_error(integer,x),type_error(:(domsolve,$fd_dom_insert([[1|2]],x,_)),2,integer,x))");
  for (const char* bad : {"[[2|1]]", "[[1|3],[4|5]]", "[[1|2]|T]", "[[1|x]]", "X", "[[sup|sup]]"}) {
    std::string out = run("$fd_dom_complement", {bad, "C"});
    EXPECT_EQ(out.substr(0, 29), "error error(type_error(fdset,") << bad << ": " << out;
    out = run("$fd_dom_contains", {bad, "1"});
    EXPECT_EQ(out.substr(0, 29), "error error(type_error(fdset,") << bad << ": " << out;
  }
}

// domsolve:overflow_action(Goal, Code): records its arguments and fails.
std::string overflow_seen;
int overflow_action(lv_worker* w) {
  terms::reader r(w);
  overflow_seen = r.write(w->X[0]) + " " + r.write(w->X[1]);
  return 0;
}

TEST_F(Plugin, ComplementOverflow) {
  load();
  c_pred("overflow_action", 2, overflow_action, "domsolve");
  // The complement of a set reaching the largest integer starts at sup:
  // the overflow action sees fdset_complement(_, _) and code 2, and the
  // predicate fails.
  EXPECT_EQ(run("$fd_dom_complement", {"[[0|1152921504606846975]]", "C"}), "fail");
  EXPECT_EQ(overflow_seen, "fdset_complement(_,_) 2");
  EXPECT_EQ(run("$fd_dom_complement", {"[[-1152921504606846976|0]]", "C"}), "fail");
  EXPECT_EQ(overflow_seen, "fdset_complement(_,_) 1");
  // With the setting fail it fails quietly.
  overflow_seen.clear();
  run("$fd_overflow", {"O", "fail", "K"});
  EXPECT_EQ(run("$fd_dom_complement", {"[[0|1152921504606846975]]", "C"}), "fail");
  EXPECT_EQ(overflow_seen, "");
}

TEST_F(Plugin, PredicatesNotWrittenYetSaySo) {
  load();
  EXPECT_EQ(run("$fd_cumulative", {"S", "N", "A", "G"}),
            "error error(system_error,system_error($fd_cumulative/4 is not implemented))");
  // A written one refuses a state that is none of its own.
  EXPECT_EQ(run("$fd_abs", {"S", "N", "A", "G"}), "error error(system_error,system_error(abs(x)=y: malformed state))");
  // A posting predicate through its stub: an integer in or out of 1..5.
  EXPECT_EQ(run("$fd_in_interval", {"3", "1", "5", "1"}), "3 1 5 1");
  EXPECT_EQ(run("$fd_in_interval", {"7", "1", "5", "1"}), "fail");
  EXPECT_EQ(run("$fd_findall_end", {"H"}),
            "error error(system_error,system_error($fd_findall_end/1 is not implemented))");
}

}  // namespace
