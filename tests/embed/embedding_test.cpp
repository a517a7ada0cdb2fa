// The runtime as an embedding program and a plug-in reach it: every call
// goes through the dispatch record's C-interface table. The C functions that
// Prolog calls here are foreign functions: they receive term references and
// reach the runtime only through the record they are given, as a plug-in's
// functions do. The engine and the small program the queries run stand for
// start-up and a boot file, and are made by the fixture.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "embed/foreign_call.h"
#include "embed/query_programs.h"
#include "lorvika.h"

namespace {

using ref = lv_term_ref;
using query_id = uint64_t;
using namespace assembler;

// A slot's function, with its type, from a dispatch record.
#define AT(record, name) LV_API((record)->c_interface, name)

// The C interface seen through a dispatch record.
struct api {
  const lv_dispatch* record;
  explicit api(const void* dispatch) : record(static_cast<const lv_dispatch*>(dispatch)) {}


  ref new_ref() const { return AT(record, LV_new_term_ref)(); }
  // A new term reference holding a new variable (a new one holds []).
  ref new_var() const {
    ref t = new_ref();
    AT(record, LV_put_variable)(t);
    return t;
  }
  int errno_() const { return AT(record, LV_get_errno)(); }
  lv_term atom(const char* text) const { return AT(record, LV_atom_from_string)(text); }
  int put_integer(ref t, int64_t v) const { return AT(record, LV_put_integer)(t, v); }
  int put_atom(ref t, const char* text) const { return AT(record, LV_put_string)(t, text); }
  int put_variable(ref t) const { return AT(record, LV_put_variable)(t); }
  int get_integer(ref t, int64_t* v) const { return AT(record, LV_get_integer)(t, v); }
  std::string text(ref t) const {
    const char* s = nullptr;
    return AT(record, LV_get_string)(t, &s) ? s : "<not an atom>";
  }
  int type(ref t) const { return AT(record, LV_term_type)(t); }
  int unify(ref a, ref b) const { return AT(record, LV_unify)(a, b); }
  int compare(ref a, ref b) const { return AT(record, LV_compare)(a, b); }
  // f(args...) from term references.
  ref compound(const char* name, std::initializer_list<ref> args) const {
    ref t = new_ref();
    ref a[8];
    int n = 0;
    for (ref r : args) a[n++] = r;
    AT(record, LV_cons_functor_array)(t, atom(name), n, a);
    return t;
  }
  ref list(std::initializer_list<const char*> atoms) const {
    ref l = new_ref(), e = new_ref();
    put_atom(l, "[]");
    const char* items[8];
    int n = 0;
    for (const char* a : atoms) items[n++] = a;
    while (n-- > 0) {
      put_atom(e, items[n]);
      AT(record, LV_cons_list)(l, e, l);
    }
    return l;
  }

  lv_pred* predicate(const char* name, int64_t arity) const {
    return AT(record, LV_predicate)(name, arity, "user");
  }
  // Open a query with one term reference per argument.
  template <typename... Refs>
  query_id open(lv_pred* pred, Refs... args) const {
    return AT(record, LV_open_query)(pred, args...);
  }
  template <typename... Refs>
  int query(lv_pred* pred, Refs... args) const {
    return AT(record, LV_query)(pred, args...);
  }
  template <typename... Refs>
  int query_cut_fail(lv_pred* pred, Refs... args) const {
    return AT(record, LV_query_cut_fail)(pred, args...);
  }
  int next(query_id q) const { return AT(record, LV_next_solution)(q); }
  int cut(query_id q) const { return AT(record, LV_cut_query)(q); }
  int close(query_id q) const { return AT(record, LV_close_query)(q); }
  int exception_term(ref t) const { return AT(record, LV_exception_term)(t); }
  int raise(ref t) const { return AT(record, LV_raise_exception)(t); }
  int decode_reserved(ref t, int* exit_code) const {
    return AT(record, LV_decode_reserved_exception)(t, exit_code);
  }
};

// The foreign functions' arguments: term references, in order.
ref arg(const lv_call_record* r, int i) { return static_cast<ref>(r->args[i]); }

// same(A, B): A = B.
void same(lv_call_record* r) {
  api lv(r->env);
  if (!lv.unify(arg(r, 0), arg(r, 1))) AT(lv.record, LV_fail)();
}

// raise_from_c(E): raises E from C.
void raise_from_c(lv_call_record* r) { api(r->env).raise(arg(r, 0)); }

// count(L, N): N is the number of solutions of a query of its own on
// member(_, L); meanwhile the query that runs count/2 cannot be asked.
query_id running;
int outer_refused;
void count(lv_call_record* r) {
  api lv(r->env);
  ref x = lv.new_var();
  query_id q = lv.open(lv.predicate("member", 2), x, arg(r, 0));
  int64_t n = 0;
  while (lv.next(q) == 1) {
    n++;
    outer_refused += lv.next(running) == -1 && lv.errno_() == 6;
  }
  lv.close(q);
  ref result = lv.new_ref();
  lv.put_integer(result, n);
  if (!lv.unify(arg(r, 1), result)) AT(lv.record, LV_fail)();
}

// relay(N): for N > 0 runs relay(N - 1) as a query of its own and raises
// again what that raised; relay(0) raises '$reserved'(reserved_code).
int64_t reserved_code;
int relayed;
void relay(lv_call_record* r) {
  api lv(r->env);
  int64_t n = 0;
  lv.get_integer(arg(r, 0), &n);
  ref t = lv.new_ref();
  if (n == 0) {
    ref code = lv.new_ref();
    lv.put_integer(code, reserved_code);
    lv.raise(lv.compound("$reserved", {code}));
    return;
  }
  lv.put_integer(t, n - 1);
  if (lv.query(lv.predicate("relay", 1), t) == -1 && lv.exception_term(t) == 1) {
    relayed++;
    lv.raise(t);
  }
}

const uint32_t* code_of(lv_foreign_function f) { return reinterpret_cast<const uint32_t*>(f); }

class Embedding : public QueryProgramTest {
 protected:
  void SetUp() override {
    QueryProgramTest::SetUp();
    // The plug-in's copy of the dispatch record: its own state, the engine.
    record = *LV_get_dispatch_40900(nullptr);
    record.reserved[0] = 0;
    record.reserved[1] = reinterpret_cast<uint64_t>(w);
    foreign("same", 2, same);
    foreign("raise_from_c", 1, raise_from_c);
    foreign("count", 2, count);
    foreign("relay", 1, relay);
  }

  // A predicate whose one clause calls f with its arguments as term
  // references, as a foreign resource's predicates do.
  void foreign(const char* name, unsigned arity, lv_foreign_function f) {
    lv_pred* p = pred("user", name, arity);
    Assembler a;
    a.op(LV_OP_OPEN_FOREIGN_CALL, {N(arity), N(arity), P(p), A(reinterpret_cast<const uint32_t*>(&record))});
    for (unsigned i = 0; i < arity; i++) a.op(LV_OP_PUSH_TERM, {X(i)});
    a.op(LV_OP_CALL_FOREIGN, {A(code_of(f)), S(arity)}).op(LV_OP_CLOSE_FOREIGN_CALL);
    clauses(name, arity, {&a});
  }

  static inline lv_dispatch record;
  api lv{&record};
};

TEST_F(Embedding, EveryTermKindGoesThroughADeterministicQuery) {
  // t = f(V, 42, -2^60 - 1, 2^100, 2.5, 'héllo', [a, b], g(V))
  ref v = lv.new_ref(), small = lv.new_ref(), boxed = lv.new_ref(), big = lv.new_ref(), real = lv.new_ref(),
      name = lv.new_ref();
  ASSERT_EQ(lv.put_variable(v), 1);
  ASSERT_EQ(lv.put_integer(small, 42), 1);
  ASSERT_EQ(lv.put_integer(boxed, -(int64_t{1} << 60) - 1), 1);
  unsigned char bytes[13] = {};
  bytes[12] = 0x10;
  ASSERT_EQ(AT(lv.record, LV_put_integer_bytes)(big, bytes, sizeof bytes, 0), 1);
  ASSERT_EQ(AT(lv.record, LV_put_float)(real, 2.5), 1);
  ASSERT_EQ(lv.put_atom(name, "h\xc3\xa9llo"), 1);
  ref t = lv.compound("f", {v, small, boxed, big, real, name, lv.list({"a", "b"}), lv.compound("g", {v})});

  // Unbound, the copy stays so after query_cut_fail; bound by query.
  lv_pred* same_pred = lv.predicate("same", 2);
  ASSERT_NE(same_pred, nullptr);
  ref x = lv.new_var();
  EXPECT_EQ(lv.query_cut_fail(same_pred, x, t), 1);
  EXPECT_EQ(lv.type(x), 1);
  EXPECT_EQ(lv.query(same_pred, x, t), 1);
  EXPECT_EQ(lv.errno_(), 0);
  EXPECT_EQ(lv.compare(x, t), 0);

  // Read back every argument of x.
  lv_term functor = 0;
  int arity = 0;
  ASSERT_EQ(AT(lv.record, LV_get_functor)(x, &functor, &arity), 1);
  EXPECT_EQ(functor, lv.atom("f"));
  EXPECT_EQ(arity, 8);
  ref a[9];
  for (int i = 1; i <= 8; i++) {
    a[i] = lv.new_ref();
    ASSERT_EQ(AT(lv.record, LV_get_arg)(i, x, a[i]), 1) << i;
  }
  const int kinds[9] = {0, 1, 2, 2, 2, 4, 3, 5, 5};
  for (int i = 1; i <= 8; i++) EXPECT_EQ(lv.type(a[i]), kinds[i]) << i;
  int64_t n = 0;
  EXPECT_EQ(lv.get_integer(a[2], &n), 1);
  EXPECT_EQ(n, 42);
  EXPECT_EQ(lv.get_integer(a[3], &n), 1);
  EXPECT_EQ(n, -(int64_t{1} << 60) - 1);
  unsigned char back[16];
  size_t count = sizeof back;
  ASSERT_EQ(AT(lv.record, LV_get_integer_bytes)(a[4], back, &count, 0), 1);
  EXPECT_EQ(count, 13u);
  EXPECT_EQ(std::memcmp(back, bytes, 13), 0);
  const char* digits = nullptr;
  ASSERT_EQ(AT(lv.record, LV_get_number_codes)(a[4], &digits), 1);
  EXPECT_STREQ(digits, "1267650600228229401496703205376");
  double d = 0;
  EXPECT_EQ(AT(lv.record, LV_get_float)(a[5], &d), 1);
  EXPECT_EQ(d, 2.5);
  EXPECT_EQ(lv.text(a[6]), "h\xc3\xa9llo");
  EXPECT_EQ(AT(lv.record, LV_is_list)(a[7]), 1);
  ref head = lv.new_ref(), tail = lv.new_ref();
  ASSERT_EQ(AT(lv.record, LV_get_list)(a[7], head, tail), 1);
  EXPECT_EQ(lv.text(head), "a");
  // The variable is shared: binding it is seen in both places.
  ref g_arg = lv.new_ref(), seven = lv.new_ref();
  ASSERT_EQ(AT(lv.record, LV_get_arg)(1, a[8], g_arg), 1);
  ASSERT_EQ(lv.put_integer(seven, 7), 1);
  ASSERT_EQ(lv.unify(a[1], seven), 1);
  EXPECT_EQ(lv.get_integer(g_arg, &n), 1);
  EXPECT_EQ(n, 7);

  // A query without a solution, and handles that cannot be had.
  EXPECT_EQ(lv.query(same_pred, small, seven), 0);
  EXPECT_EQ(lv.errno_(), 0);
  EXPECT_EQ(lv.predicate("same", 256), nullptr);
  EXPECT_EQ(lv.errno_(), 4);
  EXPECT_EQ(lv.query(nullptr), -1);
  EXPECT_EQ(lv.errno_(), 2);
}

TEST_F(Embedding, NondeterministicQueriesAreCutOrClosed) {
  lv_pred* member = lv.predicate("member", 2);
  ASSERT_NE(member, nullptr);
  ref x = lv.new_ref(), l = lv.list({"a", "b", "c"});
  struct Case {
    int solutions;  // asked before the query is discarded
    bool cut;
    const char* kept;  // what x holds afterwards (null: unbound)
  };
  const Case cases[] = {{2, true, "b"}, {2, false, nullptr}, {1, true, "a"}, {0, true, nullptr}, {3, false, nullptr}};
  for (const Case& c : cases) {
    ASSERT_EQ(lv.put_variable(x), 1);
    query_id q = lv.open(member, x, l);
    ASSERT_NE(q, 0u);
    EXPECT_EQ(q & 7, 3u);
    const char* expected[] = {"a", "b", "c"};
    for (int i = 0; i < c.solutions; i++) {
      ASSERT_EQ(lv.next(q), 1);
      EXPECT_EQ(lv.text(x), expected[i]);
    }
    EXPECT_EQ(c.cut ? lv.cut(q) : lv.close(q), 1);
    if (c.kept != nullptr)
      EXPECT_EQ(lv.text(x), c.kept) << c.solutions;
    else
      EXPECT_EQ(lv.type(x), 1) << c.solutions;
  }
  // Past the last solution the query answers 0, and again 0.
  query_id q = lv.open(member, x, l);
  for (int i = 0; i < 3; i++) ASSERT_EQ(lv.next(q), 1);
  EXPECT_EQ(lv.next(q), 0);
  EXPECT_EQ(lv.errno_(), 0);
  EXPECT_EQ(lv.next(q), 0);
  EXPECT_EQ(lv.close(q), 1);
}

TEST_F(Embedding, StaleAndForeignQueryIdsAreRefused) {
  lv_pred* member = lv.predicate("member", 2);
  ref x = lv.new_var(), y = lv.new_var(), l = lv.list({"a", "b"});
  query_id outer = lv.open(member, x, l);
  query_id inner = lv.open(member, y, l);
  // Only the newest open query may be asked.
  EXPECT_EQ(lv.next(outer), -1);
  EXPECT_EQ(lv.errno_(), 6);
  ASSERT_EQ(lv.cut(inner), 1);
  // Discarded: cut and close accept it, a solution is refused.
  EXPECT_EQ(lv.next(inner), -1);
  EXPECT_EQ(lv.errno_(), 6);
  EXPECT_EQ(lv.cut(inner), 1);
  EXPECT_EQ(lv.close(inner), 1);
  // The outer query runs on, and its member choicepoint now lies where the
  // inner frame was: the old id still names no query.
  ASSERT_EQ(lv.next(outer), 1);
  EXPECT_EQ(lv.text(x), "a");
  EXPECT_EQ(lv.next(inner), -1);
  EXPECT_EQ(lv.errno_(), 6);
  for (query_id bad : {query_id{0}, query_id{16}, query_id{19}, (query_id{1} << 40) | 3}) {
    EXPECT_EQ(lv.next(bad), -1) << bad;
    EXPECT_EQ(lv.errno_(), 6);
    EXPECT_EQ(lv.cut(bad), -1) << bad;
    EXPECT_EQ(lv.close(bad), -1) << bad;
  }
  ASSERT_EQ(lv.next(outer), 1);
  EXPECT_EQ(lv.text(x), "b");
  EXPECT_EQ(lv.close(outer), 1);
  EXPECT_EQ(lv.type(x), 1);
}

TEST_F(Embedding, QueriesNestInsideAForeignPredicate) {
  ref l = lv.list({"a", "b", "c"}), n = lv.new_var();
  running = lv.open(lv.predicate("count", 2), l, n);
  outer_refused = 0;
  ASSERT_EQ(lv.next(running), 1);
  int64_t v = 0;
  EXPECT_EQ(lv.get_integer(n, &v), 1);
  EXPECT_EQ(v, 3);
  EXPECT_EQ(outer_refused, 3);
  EXPECT_EQ(lv.next(running), 0);
  EXPECT_EQ(lv.cut(running), 1);
  EXPECT_EQ(lv.get_integer(n, &v), 0);  // undone by the last backtrack
}

TEST_F(Embedding, ExceptionsRaisedInPrologAndFromC) {
  for (const char* thrower : {"thrower", "raise_from_c"}) {
    ref seven = lv.new_ref();
    lv.put_integer(seven, 7);
    ref ball = lv.compound("oops", {seven});
    ref caught = lv.new_ref();
    EXPECT_EQ(lv.query(lv.predicate(thrower, 1), ball), -1) << thrower;
    EXPECT_EQ(lv.errno_(), 10);
    EXPECT_STREQ(AT(lv.record, LV_error_message)(10), "Uncaught exception");
    ASSERT_EQ(lv.exception_term(caught), 1);
    EXPECT_EQ(lv.compare(caught, ball), 0) << thrower;
    EXPECT_EQ(lv.exception_term(caught), 1);  // it stays pending
    int exit_code = -1;
    EXPECT_EQ(lv.decode_reserved(caught, &exit_code), 0);
    EXPECT_EQ(exit_code, -1);
  }
  // The engine answers queries again.
  ref a = lv.new_var(), b = lv.new_ref();
  EXPECT_EQ(lv.query(lv.predicate("same", 2), a, b), 1);
  EXPECT_EQ(lv.errno_(), 0);
}

TEST_F(Embedding, AbortAndHaltReachTheTopQueryThroughNestedQueries) {
  struct Case {
    int64_t reserved;
    int code, exit_code;
  };
  for (const Case& c : {Case{3, 3, 0}, Case{(7 << 8) | 4, 4, 7}}) {
    reserved_code = c.reserved;
    relayed = 0;
    ref depth = lv.new_ref();
    lv.put_integer(depth, 3);
    EXPECT_EQ(lv.query(lv.predicate("relay", 1), depth), -1);
    EXPECT_EQ(lv.errno_(), 10);
    EXPECT_EQ(relayed, 3);  // every nested level saw it and passed it on
    ref t = lv.new_ref();
    ASSERT_EQ(lv.exception_term(t), 1);
    int exit_code = -1;
    EXPECT_EQ(lv.decode_reserved(t, &exit_code), c.code);
    EXPECT_EQ(exit_code, c.exit_code);
  }
  ref a = lv.new_var(), b = lv.new_ref();
  lv.put_integer(b, 1);
  EXPECT_EQ(lv.query(lv.predicate("same", 2), a, b), 1);
  int64_t v = 0;
  EXPECT_EQ(lv.get_integer(a, &v), 1);
  EXPECT_EQ(v, 1);
}

}  // namespace
