// The quick-load reader: round trips of assembled code through the test
// writer, internal predicates that run, terms with atoms, functors, big
// integers and floats, registers, $qread, boot loading, and a table of
// malformed files.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "core/atom_gc.h"
#include "core/atoms.h"
#include "core/builtins.h"
#include "core/errors.h"
#include "core/gc.h"
#include "core/numbers.h"
#include "core/predefined_atoms.h"
#include "core/stack_shift.h"
#include "machine/bignum.h"
#include "store/clause_list.h"
#include "store/code_walk.h"
#include "store/qload.h"
#include "support/emulator_fixture.h"
#include "support/ql_writer.h"
#include "lvio/initialize.h"
#include "streams/stream_api.h"
#include "support/temp_files.h"
#include "support/terms.h"

namespace {

using namespace assembler;
using qlw::QlWriter;

class QloadTest : public EmulatorTest {
 protected:
  void SetUp() override {
    EmulatorTest::SetUp();
    ASSERT_EQ(lvio_initialize(nullptr, nullptr, nullptr, 0), 0);
    lv_builtin_table store = lv_store_builtins();
    for (size_t i = 0; i < store.count; i++)
      c_pred(store.records[i].name, store.records[i].flags & 0xFF, store.records[i].function, "prolog");
    lv_qload_push_registers();
  }
  void TearDown() override {
    for (lv_stream* s : streams_) LV_fclose(s, 1);
    while (lv_qload_have_registers()) lv_qload_pop_registers();
    EXPECT_EQ(lvio_initialize(nullptr, nullptr, nullptr, 1), 0);
    EmulatorTest::TearDown();
  }

  lv_stream* stream(const std::string& bytes) {
    lv_stream* s = nullptr;
    EXPECT_EQ(lv_open_memory_input(bytes.data(), bytes.size(), "test.ql", &s), 0);
    streams_.push_back(s);
    return s;
  }

  // Reads one term of the bytes.
  int read(const std::string& bytes, lv_term* out) { return lv_qload_items(w, stream(bytes), LV_ATOM_NIL, out, 0); }

  lv_code_block* block_of(lv_term ref) {
    return reinterpret_cast<lv_code_block*>(static_cast<uintptr_t>(lv_small_value(ref)) * 8);
  }

  // The words of two blocks compared: 64-bit words that are addresses
  // inside the first block must be the same addresses inside the second.
  static void expect_same_code(lv_code_block* expected, lv_code_block* loaded) {
    ASSERT_EQ(lv_code_block_size(expected), lv_code_block_size(loaded));
    const uint32_t* e = lv_code_block_code(expected);
    const uint32_t* l = lv_code_block_code(loaded);
    uint64_t words = (lv_code_block_size(expected) - sizeof(lv_code_block)) / 4;
    uint64_t e_start = reinterpret_cast<uint64_t>(e), e_end = e_start + 4 * words;
    for (uint64_t i = 0; i < words; i++) {
      if (i % 2 == 0 && i + 1 < words) {
        uint64_t v = lv_code_read64(e + i);
        if (v >= e_start && v < e_end) {
          EXPECT_EQ(lv_code_read64(l + i), v - e_start + reinterpret_cast<uint64_t>(l)) << "address at word " << i;
          i++;
          continue;
        }
      }
      EXPECT_EQ(l[i], e[i]) << "word " << i;
    }
  }

  lv_term atom(const char* text) { return StoreTest::atom(text); }

  std::vector<lv_stream*> streams_;
};

// Operands for an instruction from its format.
std::vector<Operand> operands_for(lv_insn n, lv_term constant, lv_term functor, const lv_pred* p) {
  std::vector<Operand> ops;
  for (const char* k = lv_format_operands[lv_instruction_format_table[n]]; *k != '\0'; k++) {
    switch (*k) {
      case 'p': break;
      case 'X': ops.push_back(X(3)); break;
      case 'Y': ops.push_back(Y(2)); break;
      case 'S': ops.push_back(S(4)); break;
      case 'N': ops.push_back(N(7)); break;
      case 'C': ops.push_back(C(constant)); break;
      case 'F': ops.push_back(F(functor)); break;
      case 'P': ops.push_back(P(p)); break;
      case 'L': ops.push_back(L("end")); break;
      case 'I':
        // Spilled registers and heap checks are held to their bounds; other
        // immediates are any integer.
        if (n == LV_OP_SPILL || n == LV_OP_SPILLQ || n == LV_OP_UNSPILL || n == LV_OP_UNSPILLQ)
          ops.push_back(I(300));
        else if (n == LV_OP_CHECK_HEAP || n == LV_OP_CHECK_HEAPQ)
          ops.push_back(I(2000));
        else
          ops.push_back(I(-12345678901));
        break;
      case 'B': ops.push_back(B({lv_box_header(2, false), 5, uint64_t{1} << 63})); break;  // 2^127 + 5
      case 'R': ops.push_back(R(2, {{VALUE, 1}, {VARIABLE, 2}, {UNSAFE_VALUE, 3}, {VOID, 0}})); break;
      case 'G': ops.push_back(G({{1, 2}, {3, 4}})); break;
    }
  }
  return ops;
}

bool loadable(lv_insn n) {
  for (const char* k = lv_format_operands[lv_instruction_format_table[n]]; *k != '\0'; k++)
    if (*k == 'A') return false;
  switch (n) {
    case LV_OP_KONTINUE: case LV_OP_SWITCH_ON_PRED: case LV_OP_EXIT_TOPLEVEL: case LV_OP_RETRY_INSTANCE:
    case LV_OP_RESTORE_OPERANDS_PROGRESS: case LV_OP_RESTORE_CALLER_PROGRESS: case LV_OP_TRY: case LV_OP_NOP:
      return false;
    default:
      return n < LV_OP_OPEN_FOREIGN_CALLQ || n > LV_OP_RECEIVE_CODES;
  }
}

TEST_F(QloadTest, EveryOperandFormatRoundTrips) {
  lv_term constant = atom("constant");
  lv_term functor = lv_make_functor(atom("f"), 2);
  lv_pred* callee = pred("other", "callee", 2);
  Assembler a;
  // Every loadable instruction, at both word parities, so that the plain
  // and the Q form of each format are written.
  std::vector<bool> format_seen(LV_FORMAT_COUNT, false);
  for (uint32_t n = 0; n < LV_INSN_COUNT; n++) {
    lv_insn insn = static_cast<lv_insn>(n);
    if (!loadable(insn)) continue;
    format_seen[lv_instruction_format_table[n]] = true;
    a.op(insn, operands_for(insn, constant, functor, callee));
    if (a.size() % 2 == 0) a.op(LV_OP_PROCEED);
    a.op(insn, operands_for(insn, constant, functor, callee));
  }
  // Constants of every kind, a float box and a NOP.
  a.op(LV_OP_PUT_CONSTANT, {X(0), C(lv_make_small(-42))})
      .op(LV_OP_PUT_CONSTANT, {X(1), C(LV_ATOM_NIL)})
      .op(LV_OP_PUT_LARGE, {X(2), B({LV_BOX_FLOAT, lv_canonical_float_bits(0.1)})})
      .nop(1)
      .op(LV_OP_GET_LARGE_X0, {B({LV_BOX_FLOAT, lv_canonical_float_bits(-1.5e300)})})
      .nop(1)
      .op(LV_OP_UNIFY_LARGE, {B({lv_box_header(1, false), uint64_t{1} << 62})})
      .nop(3)
      .label("end")
      .op(LV_OP_PROCEED);
  for (int32_t f = 0; f < static_cast<int32_t>(LV_FORMAT_COUNT); f++) {
    if (!lv_format_valid(f)) continue;
    bool refused = f == 21 || f == 22 || f == 26 || f == 27 || f == 35 || f == 65 || f == 72 || f == 119;
    EXPECT_EQ(format_seen[f], !refused) << "format " << f;
  }
  lv_code_block* assembled = a.finish(false);
  lv_code_reset_entries(assembled);

  QlWriter q;
  int64_t r = q.code(a);
  q.end(r);
  lv_term ref = 0;
  ASSERT_EQ(read(q.bytes(), &ref), 1) << lv_qload_error();
  ASSERT_TRUE(lv_is_small(ref));
  lv_code_block* loaded = block_of(ref);
  EXPECT_EQ(lv_find_code_block(loaded), loaded);
  EXPECT_EQ(loaded->source_key, LV_ATOM_NIL);
  expect_same_code(assembled, loaded);
  lv_code_block_free(assembled);
}

// A predicate whose clause calls an internal predicate of two clauses in
// the same block: the header, then a try record for each clause.
Assembler two_clause_internal(lv_term a_atom, lv_term b_atom) {
  Assembler a;
  a.op(LV_OP_EXECUTE, {P("internal")})
      .label("internal")
      .entry(1, "first", 1, 7)
      .label("first")
      .entry(0, "clause1", 1)
      .entry(0, "clause2", 1)
      .label("clause1")
      .op(LV_OP_GET_CONSTANT, {X(0), C(a_atom)})
      .op(LV_OP_PROCEED)
      .label("clause2")
      .op(LV_OP_GET_CONSTANT, {X(0), C(b_atom)})
      .op(LV_OP_PROCEED);
  return a;
}

TEST_F(QloadTest, AnInternalPredicateWithTryRecordsRuns) {
  Assembler a = two_clause_internal(atom("a"), atom("b"));
  lv_code_block* assembled = a.finish(false);
  lv_code_reset_entries(assembled);
  QlWriter q;
  q.end(q.code(a));
  lv_term ref = 0;
  ASSERT_EQ(read(q.bytes(), &ref), 1) << lv_qload_error();
  lv_code_block* loaded = block_of(ref);
  expect_same_code(assembled, loaded);
  lv_code_block_free(assembled);
  // The header is intact and its target is the first record's TRY word.
  const uint32_t* code = lv_code_block_code(loaded);
  const auto* header = reinterpret_cast<const lv_internal_entry*>(code + 4);
  EXPECT_EQ(header->marker, LV_INTERNAL_HEADER_WORD);
  EXPECT_EQ(header->arity, 1u);
  EXPECT_EQ(header->first_entry, code + 4 + 8 + 7);

  lv_pred* p = pred("user", "choose", 1);
  lv_new_clause_list(p, LV_DEF_COMPACTCODE);
  lv_append_clause(p, loaded, LV_KEY_NONE, 0);
  lv_term x = terms::var(w);
  ASSERT_EQ(call(p, {x}), 1);
  EXPECT_EQ(lv_deref(x), atom("a"));
  ASSERT_EQ(redo(), 1);
  EXPECT_EQ(lv_deref(x), atom("b"));
  EXPECT_EQ(redo(), 0);
}

TEST_F(QloadTest, TermsHoldAtomsFunctorsBigIntegersAndFloats) {
  QlWriter q;
  q.term(qlw::fn("data", {qlw::atom("hello world"), qlw::fn("f", {qlw::var(1), qlw::var(1)}),
                          qlw::big("-123456789012345678901234567890"), qlw::big("1152921504606846975"),
                          qlw::big("000000000042"), qlw::flt("2.5e-300"), qlw::flt("0.1"),
                          qlw::list({qlw::small(1), qlw::small(-2)}, qlw::var(2))}));
  lv_term t = 0;
  ASSERT_EQ(read(q.bytes(), &t), 1) << lv_qload_error();
  ASSERT_TRUE(lv_is_struct(t));
  lv_term* c = lv_struct_cells(t);
  EXPECT_EQ(c[0], lv_make_functor(atom("data"), 8));
  EXPECT_EQ(lv_deref(c[1]), atom("hello world"));
  lv_term f = lv_deref(c[2]);
  EXPECT_EQ(lv_struct_cells(f)[0], lv_make_functor(atom("f"), 2));
  EXPECT_TRUE(lv_is_ref(lv_deref(lv_struct_cells(f)[1])));
  EXPECT_EQ(lv_deref(lv_struct_cells(f)[1]), lv_deref(lv_struct_cells(f)[2]));
  lv_term big = lv_deref(c[3]);
  ASSERT_TRUE(lv_is_integer_box(big));
  char* text = lv_bignum_to_text(lv_struct_cells(big), 10, 0);
  EXPECT_STREQ(text, "-123456789012345678901234567890");
  LV_free(text);
  EXPECT_EQ(lv_deref(c[4]), lv_make_small(1152921504606846975));
  EXPECT_EQ(lv_deref(c[5]), lv_make_small(42));
  EXPECT_EQ(lv_float_value(lv_deref(c[6])), 2.5e-300);
  EXPECT_EQ(lv_float_value(lv_deref(c[7])), 0.1);
  EXPECT_EQ(terms::show(c[8]), "[1,-2|_]");
}

TEST_F(QloadTest, IntegerItemsTakeTheirOneForm) {
  struct Case {
    const char* digits;
    bool boxed;
  } cases[] = {{"123456789", false},           {"-999999999", false},
               {"1234567890", false},          {"1152921504606846975", false},
               {"1152921504606846976", true},  {"-1152921504606846976", false},
               {"-1152921504606846977", true}, {"18446744073709551616", true},
               {"-0", false}};
  for (const Case& k : cases) {
    QlWriter q;
    q.heap(8).integer(0, k.digits).end(0);
    lv_term t = 0;
    ASSERT_EQ(read(q.bytes(), &t), 1) << k.digits << ": " << lv_qload_error();
    EXPECT_EQ(lv_is_box(t), k.boxed) << k.digits;
    char* text = lv_is_small(t) ? nullptr : lv_bignum_to_text(lv_struct_cells(t), 10, 0);
    std::string value = text != nullptr ? text : std::to_string(lv_small_value(t));
    if (text != nullptr) LV_free(text);
    std::string expected = std::string(k.digits) == "-0" ? "0" : k.digits;
    EXPECT_EQ(value, expected);
  }
}

TEST_F(QloadTest, LargeOperandsAreLoadedAndRun) {
  // A clause that checks its two arguments against a big integer and a float,
  // and one whose small 'L' value becomes a constant.
  lv_term big_box[8];
  ASSERT_EQ(lv_bignum_from_text("-98765432109876543210987654321", big_box, big_box + 8, 10, 0), 0);
  ASSERT_EQ(big_box[0], LV_BOX_INT2);
  Assembler a;
  a.op(LV_OP_GET_LARGE, {X(0), B({big_box[0], big_box[1], big_box[2]})})
      .op(LV_OP_GET_LARGE, {X(1), B({LV_BOX_FLOAT, lv_canonical_float_bits(3.25)})})
      .nop(1)
      .op(LV_OP_PROCEED);
  QlWriter q;
  q.end(q.code(a));
  lv_term ref = 0;
  ASSERT_EQ(read(q.bytes(), &ref), 1) << lv_qload_error();
  lv_code_block* assembled = a.finish(false);
  expect_same_code(assembled, block_of(ref));
  lv_code_block_free(assembled);
  lv_pred* p = pred("user", "numbers", 2);
  lv_new_clause_list(p, LV_DEF_COMPACTCODE);
  lv_append_clause(p, block_of(ref), LV_KEY_NONE, 0);
  lv_term* h = w->H;
  for (int i = 0; i < 3; i++) h[i] = big_box[i];
  h[3] = big_box[0];
  w->H = h + 4;
  lv_term big = lv_make_struct(h);
  EXPECT_EQ(call(p, {big, lv_make_float_box(w, 3.25)}), 1);
  EXPECT_EQ(call(p, {big, lv_make_float_box(w, 3.5)}), 0);

  // 'L' of a value that fits a small integer: the constant form and a NOP.
  QlWriter s;
  int64_t r = s.fresh();
  s.block(r, 24).byte('O').number(LV_OP_PUT_LARGE).byte('X').number(1).byte('L').text("-7");
  s.byte('O').number(LV_OP_FIRST_LARGEQ).byte('L').text("99").byte(0).end(r);
  ASSERT_EQ(read(s.bytes(), &ref), 1) << lv_qload_error();
  Assembler expected;
  expected.op(LV_OP_PUT_CONSTANT, {X(1), C(lv_make_small(-7))}).nop(1).op(LV_OP_FIRST_CONSTANTQ, {I(99)}).nop(1);
  lv_code_block* e = expected.finish(false);
  expect_same_code(e, block_of(ref));
  lv_code_block_free(e);
}

TEST_F(QloadTest, RegistersGrowBothHalves) {
  int64_t low = 0, size = 0;
  QlWriter q;
  q.small(-1024, 1).small(1023, 2).push(-1024);
  q.end(1023);
  lv_term t = 0;
  ASSERT_EQ(read(q.bytes(), &t), 1) << lv_qload_error();
  lv_qload_register_bounds(&low, &size);
  EXPECT_EQ(low, 1024);
  EXPECT_EQ(size, 2048);
  QlWriter g;
  g.small(1024, 3).end(-1024);
  ASSERT_EQ(read(g.bytes(), &t), 1) << lv_qload_error();
  EXPECT_EQ(t, lv_make_small(1));
  lv_qload_register_bounds(&low, &size);
  EXPECT_EQ(low, 2048);
  EXPECT_EQ(size, 4096);
  QlWriter n;
  n.small(-2049, 4).end(1024);
  ASSERT_EQ(read(n.bytes(), &t), 1) << lv_qload_error();
  EXPECT_EQ(t, lv_make_small(3));
  lv_qload_register_bounds(&low, &size);
  EXPECT_EQ(size, 8192);
  // A pushed table is fresh; popping gives the old one back.
  lv_qload_push_registers();
  EXPECT_EQ(read(QlWriter().end(1024).bytes(), &t), -1);
  lv_qload_pop_registers();
  ASSERT_EQ(read(QlWriter().end(1024).bytes(), &t), 1);
  EXPECT_EQ(t, lv_make_small(3));
}

TEST_F(QloadTest, QreadReadsTermsUntilTheEnd) {
  QlWriter q;
  q.term(qlw::fn("first", {qlw::small(1)}));
  q.term(qlw::atom("second"));
  lv_stream* s = stream(q.bytes());
  lv_pred* qread = lv_lookup_predicate(lv_prolog_module(), atom("$qread"), 3, LV_LOOKUP_FIND);
  ASSERT_NE(qread, nullptr);
  lv_term t1 = terms::var(w);
  ASSERT_EQ(call(qread, {lv_stream_term(s), atom("src"), t1}), 1);
  EXPECT_EQ(terms::show(t1), "a" + std::to_string(lv_atom_index(atom("first"))) + "(1)");
  lv_term t2 = terms::var(w);
  ASSERT_EQ(call(qread, {lv_stream_term(s), atom("src"), t2}), 1);
  EXPECT_EQ(lv_deref(t2), atom("second"));
  lv_term t3 = terms::var(w);
  ASSERT_EQ(call(qread, {lv_stream_term(s), atom("src"), t3}), 1);
  EXPECT_EQ(lv_deref(t3), lv_make_small(-1));
  // Not a stream: $qread fails.
  EXPECT_EQ(call(qread, {atom("nostream"), atom("src"), terms::var(w)}), 0);
}

TEST_F(QloadTest, BlocksTakeTheSourceOfTheRead) {
  Assembler a;
  a.op(LV_OP_PROCEED);
  QlWriter q;
  q.end(q.code(a));
  lv_term ref = 0;
  ASSERT_EQ(lv_qload_items(w, stream(q.bytes()), atom("file.pl"), &ref, 0), 1);
  EXPECT_EQ(block_of(ref)->source_key, atom("file.pl"));
  EXPECT_EQ(block_of(ref)->source, atom("file.pl"));
}

// A boot file: predicates defined and clauses added by directives, with
// their code blocks in the same terms; then the completeness mark.
std::string boot_file(const Assembler& clause, bool complete) {
  QlWriter q;
  q.term(qlw::fn("$define_predicate", {qlw::fn(":", {qlw::atom("user"), qlw::fn("/", {qlw::atom("choose"), qlw::small(1)})}),
                                       qlw::atom("compactcode")}));
  int64_t block = q.code(clause);
  q.term(qlw::fn("$compiled_clause",
                 {qlw::fn(":", {qlw::atom("user"), qlw::fn("/", {qlw::atom("choose"), qlw::small(1)})}), qlw::reg(block),
                  qlw::var(0), qlw::fn("info", {qlw::small(31), qlw::small(0)})}));
  if (complete) q.complete();
  return q.bytes();
}

TEST_F(QloadTest, BootLoadingRunsDirectivesAndChecksCompleteness) {
  Assembler clause = two_clause_internal(atom("a"), atom("b"));
  lv_qload_boot_report report{};
  lv_term* top = reinterpret_cast<lv_term*>(w->B[LV_CP_H]);
  ASSERT_EQ(lv_qload_boot_stream(w, stream(boot_file(clause, true)), &report), 0) << lv_qload_error();
  EXPECT_EQ(report.terms, 3u);
  EXPECT_EQ(report.directives_run, 3u);
  EXPECT_TRUE(report.complete);
  EXPECT_EQ(w->H, top);
  lv_pred* p = lv_lookup_predicate(find_module(atom("user"), 0), atom("choose"), 1, LV_LOOKUP_FIND);
  ASSERT_NE(p, nullptr);
  lv_term x = terms::var(w);
  ASSERT_EQ(call(p, {x}), 1);
  EXPECT_EQ(lv_deref(x), atom("a"));

  // Without the mark, a failing directive, and a term that cannot run.
  testing::internal::CaptureStderr();
  EXPECT_EQ(lv_qload_boot_stream(w, stream(boot_file(clause, false)), &report), -1);
  EXPECT_FALSE(report.complete);
  QlWriter bad;
  bad.term(qlw::fn("$define_predicate", {qlw::small(3), qlw::atom("compactcode")}));
  bad.term(qlw::fn("not_a_builtin", {qlw::small(1)}));
  bad.complete();
  EXPECT_EQ(lv_qload_boot_stream(w, stream(bad.bytes()), &report), -1);
  EXPECT_EQ(report.failed, 1u);
  EXPECT_EQ(report.not_run, 1u);
  EXPECT_TRUE(report.complete);
  // A fault ends the file.
  EXPECT_EQ(lv_qload_boot_stream(w, stream(QlWriter().end(5).bytes()), &report), -1);
  EXPECT_TRUE(report.read_error);
  std::string messages = testing::internal::GetCapturedStderr();
  EXPECT_NE(messages.find("ends without '$ql_complete'"), std::string::npos) << messages;
  EXPECT_NE(messages.find("directive '$define_predicate'/2 failed"), std::string::npos) << messages;
  EXPECT_NE(messages.find("'not_a_builtin'/1 is not a predicate of prolog defined in C"), std::string::npos) << messages;
  EXPECT_NE(messages.find("register 5 is not set (test.ql, offset 0)"), std::string::npos) << messages;
}

// A directive that raises an error while no error handler exists.
int raises(lv_worker* w) {
  lv_set_pending_error(5, "raised on purpose", LV_ATOM_NIL);
  return lv_raise_builtin_error(w, LV_ATOM_PROLOG, lv_atom_from_text("raises", LV_ATOM_FIND_OR_CREATE), 0, 0);
}

TEST_F(QloadTest, BootDirectivesThatRaiseAreReported) {
  c_pred("raises", 0, raises, "prolog");
  QlWriter q;
  q.term(qlw::atom("raises")).complete();
  lv_qload_boot_report report{};
  testing::internal::CaptureStderr();
  EXPECT_EQ(lv_qload_boot_stream(w, stream(q.bytes()), &report), -1);
  std::string messages = testing::internal::GetCapturedStderr();
  EXPECT_EQ(report.failed, 1u);
  EXPECT_TRUE(report.complete);
  EXPECT_NE(messages.find("raised an error"), std::string::npos) << messages;
}

TEST_F(QloadTest, BootLoadingReadsTheFileAndItsPatchFile) {
  TempFiles dir;
  Assembler clause = two_clause_internal(atom("a"), atom("b"));
  dir.file("lvds.ql", boot_file(clause, true));
  QlWriter patch;
  patch.term(qlw::fn("$define_predicate", {qlw::fn(":", {qlw::atom("user"), qlw::fn("/", {qlw::atom("patched"), qlw::small(0)})}),
                                           qlw::atom("compactcode")}));
  patch.complete();
  dir.file("lvdsp.ql", patch.bytes());
  EXPECT_EQ(lv_qload_boot(w, dir.path("lvds.ql").c_str()), 0);
  EXPECT_EQ(lv_typein_module(), find_module(atom("user"), 0));
  lv_module* user = find_module(atom("user"), 0);
  EXPECT_NE(lv_lookup_predicate(user, atom("choose"), 1, LV_LOOKUP_FIND), nullptr);
  lv_pred* patched = lv_lookup_predicate(user, atom("patched"), 0, LV_LOOKUP_FIND);
  ASSERT_NE(patched, nullptr);
  EXPECT_EQ(lv_definition_type(patched), LV_DEF_COMPACTCODE);
  testing::internal::CaptureStderr();
  EXPECT_EQ(lv_qload_boot(w, dir.path("absent.ql").c_str()), -1);
  EXPECT_NE(testing::internal::GetCapturedStderr().find("cannot be opened"), std::string::npos);
}

TEST_F(QloadTest, CompletenessFollowsTheLastTerm) {
  EXPECT_FALSE(lv_qload_file_complete());
  EXPECT_EQ(prolog_ql_complete(w), 1);
  EXPECT_TRUE(lv_qload_file_complete());
  lv_term t = 0;
  ASSERT_EQ(read(QlWriter().small(0, 1).end(0).bytes(), &t), 1);
  EXPECT_FALSE(lv_qload_file_complete());
  lv_qload_pop_registers();
  EXPECT_EQ(prolog_ql_complete(w), 0);
}

// Item 64 inside a term whose cells are already on the heap: the stacks are
// moved (or collected) and the term built so far comes through.
TEST_F(QloadTest, AHeapOverflowInsideATermKeepsItsCells) {
  for (int collect = 0; collect < 2; collect++) {
    QlWriter q;
    int64_t part = q.build(qlw::fn("f", {qlw::flt("1.5"), qlw::var(0), qlw::big("123456789012345678901234567890"),
                                         qlw::list({qlw::atom("x")})}));
    q.heap(5000);
    int64_t g = q.fresh(), name = q.fresh(), r = q.fresh();
    q.atom(name, "g").functor(g, name, 2).structure(r).push(g).push(part).push(part).end(r);
    lv_shift_set_always_move(collect == 0 ? 1 : 0);
    int64_t margin = lv_gc_setting.margin;
    if (collect == 1) lv_gc_setting.margin = 0;
    // A heap nearly full of garbage, so that the reservation overflows.
    while (w->heap_hard_limit - w->H > 200) *w->H++ = lv_make_small(0);
    uint64_t shifts = lv_shift_stats.heap_overflows, collections = lv_shift_stats.collections;
    lv_term t = 0;
    int result = read(q.bytes(), &t);
    lv_shift_set_always_move(-1);
    lv_gc_setting.margin = margin;
    ASSERT_EQ(result, 1) << lv_qload_error();
    EXPECT_EQ(lv_shift_stats.heap_overflows, shifts + 1);
    EXPECT_EQ(lv_shift_stats.collections, collections + static_cast<uint64_t>(collect));
    ASSERT_TRUE(lv_is_struct(t));
    lv_term* c = lv_struct_cells(t);
    EXPECT_EQ(c[0], lv_make_functor(atom("g"), 2));
    EXPECT_EQ(c[1], c[2]);
    lv_term* f = lv_struct_cells(lv_deref(c[1]));
    EXPECT_EQ(f[0], lv_make_functor(atom("f"), 4));
    EXPECT_EQ(lv_float_value(lv_deref(f[1])), 1.5);
    EXPECT_TRUE(lv_is_ref(lv_deref(f[2])));
    char* text = lv_bignum_to_text(lv_struct_cells(lv_deref(f[3])), 10, 0);
    EXPECT_STREQ(text, "123456789012345678901234567890");
    LV_free(text);
    EXPECT_EQ(terms::show(f[4]), "[a" + std::to_string(lv_atom_index(atom("x"))) + "]");
  }
}

// Pushes beyond the heap reserved are faults, not overruns.
TEST_F(QloadTest, PushesStayInsideTheHeap) {
  lv_term* limit = w->heap_hard_limit;
  w->heap_hard_limit = w->H + 4;
  lv_term t = 0;
  EXPECT_EQ(read(QlWriter().integer(0, "-123456789012345678901234567890123456789012345678901234567890").end(0).bytes(), &t), -1);
  EXPECT_NE(std::strstr(lv_qload_error(), "miscalculated heap usage"), nullptr) << lv_qload_error();
  EXPECT_EQ(read(QlWriter().small(0, 1).push(0).push(0).push(0).push(0).push(0).end(0).bytes(), &t), -1);
  EXPECT_NE(std::strstr(lv_qload_error(), "miscalculated heap usage"), nullptr) << lv_qload_error();
  w->heap_hard_limit = limit;
}

// Atoms that only the registers hold survive atom collection between terms.
TEST_F(QloadTest, TheRegisterTableIsARootOfAtomCollection) {
  lv_term t = 0;
  ASSERT_EQ(read(QlWriter().atom(5, "held only by register five").small(0, 0).end(0).bytes(), &t), 1);
  lv_term held = lv_atom_from_text("held only by register five", LV_ATOM_FIND);
  ASSERT_NE(held, 0u);
  lv_garbage_collect_atoms(w);
  ASSERT_TRUE(lv_atom_live(held));
  ASSERT_EQ(read(QlWriter().end(5).bytes(), &t), 1);
  EXPECT_EQ(t, held);
  EXPECT_STREQ(lv_atom_text(t), "held only by register five");
}

// ---- Malformed files ----------------------------------------------------------

// The items of a valid term with a code block, cut at every byte: every cut
// is a fault (or the empty file), and nothing is left behind.
TEST_F(QloadTest, AFileCutAnywhereIsAFault) {
  Assembler clause = two_clause_internal(atom("a"), atom("b"));
  QlWriter q;
  int64_t block = q.code(clause);
  q.term(qlw::fn("t", {qlw::reg(block), qlw::big("123456789012345678901234567890"), qlw::flt("1.5"), qlw::var(0),
                       qlw::list({qlw::atom("x")})}));
  std::string whole = q.bytes();
  uint64_t blocks = lv_code_block_count();
  lv_term* top = w->H;
  for (size_t cut = 0; cut < whole.size(); cut++) {
    lv_term t = 0;
    int r = read(whole.substr(0, cut), &t);
    EXPECT_EQ(r, cut == 0 ? 0 : -1) << "cut at " << cut;
    if (cut > 0) {
      EXPECT_NE(std::strstr(lv_qload_error(), "ends inside"), nullptr) << cut << ": " << lv_qload_error();
    }
    EXPECT_EQ(w->H, top);
    EXPECT_EQ(lv_code_block_count(), blocks);
  }
  lv_term t = 0;
  ASSERT_EQ(read(whole, &t), 1) << lv_qload_error();
}

// Damaged files: bytes changed at random in a valid one are read without
// harm, and a read that fails leaves nothing behind.
TEST_F(QloadTest, DamagedFilesAreReadWithoutHarm) {
  Assembler clause = two_clause_internal(atom("a"), atom("b"));
  QlWriter q;
  int64_t block = q.code(clause);
  q.term(qlw::fn("t", {qlw::reg(block), qlw::big("-123456789012345678901234567890"), qlw::flt("1.5"), qlw::var(0),
                       qlw::list({qlw::atom("x"), qlw::var(0)})}));
  const std::string whole = q.bytes();
  uint64_t seed = 12345;
  auto next = [&seed] {
    seed = seed * 6364136223846793005u + 1442695040888963407u;
    return seed >> 33;
  };
  const char replacements[] = {0, '0', '1', '4', '9', '-', '+', 'A', 'J', 'K', 'L', 'M', 'O', 'R', 'T', 'X', 'Y', 'e', 'f', '\xff'};
  for (int round = 0; round < 3000; round++) {
    std::string damaged = whole;
    for (uint64_t k = 0, changes = 1 + next() % 3; k < changes; k++)
      damaged[next() % damaged.size()] = replacements[next() % sizeof replacements];
    lv_qload_pop_registers();
    lv_qload_push_registers();
    uint64_t blocks = lv_code_block_count();
    lv_term* top = w->H;
    lv_term t = 0;
    testing::internal::CaptureStderr();
    int r = read(damaged, &t);
    testing::internal::GetCapturedStderr();
    if (r != 1) {
      EXPECT_EQ(w->H, top) << round;
      EXPECT_EQ(lv_code_block_count(), blocks) << round;
    }
    w->H = top;
  }
}

struct Malformed {
  const char* what;
  std::string bytes;
  const char* error;
};

// A block of one instruction word written by the given tokens.
std::string block_with(const std::string& tokens, int64_t size = 8) {
  QlWriter q;
  q.block(0, size).raw(tokens).byte(0).end(0);
  return q.bytes();
}

std::string n(int64_t v) { return std::to_string(v) + std::string(1, '\0'); }
std::string op(lv_insn i) { return "O" + n(i); }

TEST_F(QloadTest, MalformedFilesAreFaultsThatLeaveTheRuntimeUsable) {
  std::string proceed = op(LV_OP_PROCEED);
  // PUT_CONSTANT x(0), '+' link: a constant fix-up chain of one link at word 2.
  std::string put_constant = op(LV_OP_PUT_CONSTANT) + "X" + n(0) + "+" + n(0);
  std::vector<Malformed> table = {
      {"unknown item code", "Z", "Unknown quick load code 90"},
      {"wrong version", QlWriter().block(0, 4, 3).byte(0).end(0).bytes(), "Wrong version number"},
      {"register not set", QlWriter().end(7).bytes(), "register 7 is not set"},
      {"register out of bounds", QlWriter().small(int64_t{1} << 40, 1).end(0).bytes(), "out of bounds"},
      {"number overflow", "C" + n(0) + "99999999999999999999" + std::string(1, '\0'), "out of range"},
      {"not a number", "C" + n(0) + "12a" + std::string(1, '\0'), "is not a number"},
      {"empty number", "C" + n(0) + std::string(1, '\0'), "is not a number"},
      {"small integer out of range", QlWriter().small(0, int64_t{1} << 61).end(0).bytes(), "is not a small integer"},
      {"huge heap reservation", QlWriter().heap(int64_t{1} << 40).bytes(), "heap reservation"},
      {"huge block", QlWriter().block(0, int64_t{1} << 40).bytes(), "code block size"},
      {"odd block size", QlWriter().block(0, 3).bytes(), "code block size"},
      {"too many digits", QlWriter().heap(100).integer(0, std::string(200000, '7')).end(0).bytes(), "too long"},
      {"integer text", QlWriter().heap(100).integer(0, "12e5").end(0).bytes(), "is not a decimal integer"},
      {"arity out of range", QlWriter().atom(0, "f").functor(1, 0, 256).end(1).bytes(), "arity 256 out of range"},
      {"functor of a non-atom", QlWriter().small(0, 1).functor(1, 0, 2).end(1).bytes(), "does not hold an atom"},
      {"nan float", QlWriter().heap(8).float_item(0, "nan").end(0).bytes(), "is not float text"},
      {"infinite float", QlWriter().heap(8).float_item(0, "1e999").end(0).bytes(), "float is not finite"},
      {"negative zero", QlWriter().heap(8).float_item(0, "-0.0").end(0).bytes(), "negative zero"},
      {"float text", QlWriter().heap(8).float_item(0, "1.5x").end(0).bytes(), "is not float text"},
      {"float after a space", QlWriter().heap(8).float_item(0, " 1.5").end(0).bytes(), "is not float text"},
      {"float with a plus", QlWriter().heap(8).float_item(0, "+1.5").end(0).bytes(), "is not float text"},
      {"hexadecimal float", QlWriter().heap(8).float_item(0, "0x1p3").end(0).bytes(), "is not float text"},
      {"unfinished structure", QlWriter().heap(8).structure(0).end(0).bytes(), "points outside the cells"},
      {"structure missing arguments", QlWriter().heap(8).atom(1, "f").functor(2, 1, 2).structure(0).push(2).end(0).bytes(),
       "missing arguments"},
      {"functor word as an argument",
       QlWriter().heap(8).atom(1, "f").functor(2, 1, 1).structure(0).push(2).push(2).push(1).end(0).bytes(), "functor word or a box"},
      {"reservation inside a structure",
       QlWriter().heap(8).atom(1, "f").functor(2, 1, 1).structure(0).push(2).heap(int64_t{1} << 27).bytes(), "missing arguments"},
      {"fix-up with a heap term", QlWriter().heap(8).var(1).block(0, 10).raw(put_constant + proceed).byte(0).fixup(1, 4).end(0).bytes(),
       "fix-up with a heap term"},
      {"fix-up without a block", QlWriter().small(1, 1).fixup(1, 4).end(1).bytes(), "without a code block"},
      {"fix-up offset outside the block", QlWriter().small(1, 1).block(0, 10).raw(put_constant + proceed).byte(0).fixup(1, 400).end(0).bytes(),
       "outside the block"},
      {"fix-up offset not aligned", QlWriter().small(1, 1).block(0, 10).raw(put_constant + proceed).byte(0).fixup(1, 6).end(0).bytes(),
       "not on an 8-byte boundary"},
      {"fix-up chain at offset 0", QlWriter().small(1, 1).block(0, 10).raw(put_constant + proceed).byte(0).fixup(1, 0).end(0).bytes(),
       "starts at offset 0"},
      {"fix-up link not a '+' word",
       QlWriter().small(1, 1).block(0, 14).raw(proceed + proceed + put_constant + proceed).byte(0).fixup(1, 4).end(0).bytes(),
       "is not a '+' word"},
      {"cyclic fix-up chain",
       QlWriter().small(1, 1).block(0, 10).raw(op(LV_OP_PUT_CONSTANT) + "X" + n(0) + "+" + n(4) + proceed).byte(0).fixup(1, 4).end(0).bytes(),
       "a second time (a cycle)"},
      {"two-link cycle",
       QlWriter().small(1, 1).block(0, 18)
           .raw(op(LV_OP_PUT_CONSTANT) + "X" + n(0) + "+" + n(12) + op(LV_OP_PUT_CONSTANT) + "X" + n(1) + "+" + n(4) + proceed)
           .byte(0).fixup(1, 4).end(0).bytes(),
       "a second time (a cycle)"},
      {"predicate fix-up of a non-spec", QlWriter().small(1, 1).block(0, 10).raw(op(LV_OP_EXECUTEQ) + "+" + n(0) + proceed).byte(0).pred_fixup(1, 4).end(0).bytes(),
       "does not hold Name/Arity"},
      {"odd opcode", block_with("7" + std::string(1, '\0') + proceed, 4), "odd opcode word 7"},
      {"opcode out of range", block_with("712" + std::string(1, '\0') + proceed, 4), "opcode word 712 out of range"},
      {"instruction number out of range", block_with("O" + n(356), 4), "instruction number 356 out of range"},
      {"refused instruction", block_with(op(LV_OP_NATIVE_OP) + "+" + n(0), 8), "NATIVE_OP cannot be loaded"},
      {"argument register out of range", block_with(op(LV_OP_PUT_NIL) + "X" + n(256), 4), "argument register 256 out of range"},
      {"register operand out of range", block_with(op(LV_OP_PUT_NIL) + "9" + std::string(1, '\0') + proceed + proceed, 8),
       "argument register operand 9 of PUT_NIL out of range"},
      {"tokens overrun the block", block_with(proceed + proceed + proceed, 4), "overrun the block"},
      {"operand past the end", block_with(proceed + op(LV_OP_PUT_NIL), 4), "runs past the end"},
      {"invalid token", block_with("?", 4), "invalid bytecode token 63"},
      {"raw constant", block_with(op(LV_OP_PUT_CONSTANT) + "X" + n(0) + "+" + n(0x1000) + proceed, 10), "is not an atomic term"},
      {"raw predicate", block_with(op(LV_OP_EXECUTEQ) + "+" + n(0x1000) + proceed, 10), "neither a fixed-up predicate"},
      {"failure continuation outside", block_with(op(LV_OP_EQUAL_TOQ) + "+" + n(0x1000) + proceed, 10), "neither a fail code"},
      {"address inside an operand", block_with(op(LV_OP_EQUAL_TOQ) + "R" + n(4) + proceed, 10), "neither a fail code"},
      {"'R' outside the block", block_with(op(LV_OP_EQUAL_TOQ) + "R" + n(100) + proceed, 10), "is not a word of the block"},
      {"64-bit operand from 32-bit tokens", block_with(op(LV_OP_EQUAL_TOQ) + "1" + std::string(1, '\0') + "2" + std::string(1, '\0') + proceed, 10),
       "is not a 64-bit token"},
      {"box outside its operand", block_with(op(LV_OP_PROCEED) + "F" + "1.5" + std::string(1, '\0'), 16), "outside the box operand"},
      {"'T' form 2", block_with("T" + n(0) + n(1) + n(2), 16), "form 2 is not used"},
      {"'T' off the 8-byte boundary", block_with(proceed + "T" + n(0) + n(1) + n(0), 16), "not on an 8-byte boundary"},
      {"record after code", block_with(proceed + proceed + proceed + proceed + proceed + proceed + proceed + proceed + "T" + n(0) + n(1) + n(0), 32),
       "follows neither an entry header"},
      {"header without its clause", block_with("T" + n(16) + n(1) + n(1) + "T" + n(32) + n(1) + n(1), 34), "without its clause"},
      {"header target elsewhere", block_with("T" + n(2) + n(1) + n(1) + proceed + proceed, 20), "neither its clause nor its first try record"},
      {"NOP leaving the block", block_with(op(LV_OP_NOP) + n(9), 4), "NOP whose skip leaves the block"},
      {"file ends inside a term", QlWriter().small(0, 1).bytes(), "ends inside a term"},
  };
  uint64_t blocks = lv_code_block_count();
  for (const Malformed& m : table) {
    lv_term* top = w->H;
    lv_term t = 0;
    testing::internal::CaptureStderr();
    int r = read(m.bytes, &t);
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(r, -1) << m.what;
    EXPECT_NE(std::strstr(lv_qload_error(), m.error), nullptr) << m.what << ": " << lv_qload_error();
    EXPECT_NE(std::strstr(lv_qload_error(), "(test.ql, offset "), nullptr) << m.what;
    EXPECT_EQ(w->H, top) << m.what;
    EXPECT_EQ(lv_code_block_count(), blocks) << m.what;
  }
  // The runtime is usable: a term reads and a loaded predicate runs.
  Assembler clause = two_clause_internal(atom("a"), atom("b"));
  QlWriter q;
  q.end(q.code(clause));
  lv_term ref = 0;
  ASSERT_EQ(read(q.bytes(), &ref), 1) << lv_qload_error();
  lv_pred* p = pred("user", "choose", 1);
  lv_new_clause_list(p, LV_DEF_COMPACTCODE);
  lv_append_clause(p, block_of(ref), LV_KEY_NONE, 0);
  lv_term x = terms::var(w);
  ASSERT_EQ(call(p, {x}), 1);
  EXPECT_EQ(lv_deref(x), atom("a"));
}

// Operands the emulator trusts are held to the engine's bounds when a block
// is loaded: spilled registers from X256 on, void counts within one
// structure, call/N register counts 1..256, heap checks of what the block
// can build, frames within the local reserve (528 cells: two link words and
// at most 526 permanent variables).
TEST_F(QloadTest, OperandsBeyondTheEngineBoundsAreRefused) {
  const std::string proceed = op(LV_OP_PROCEED);
  const auto wide = [](int64_t v) { return "+" + n(v); };
  const auto y = [](int64_t k) { return "Y" + n(4 * k); };
  const auto x = [](int64_t r) { return "X" + n(r); };
  const auto spill = [&](lv_insn i, int64_t r) { return block_with(op(i) + wide(r) + x(0) + proceed, 12); };
  const auto frame_call = [&](int64_t count, int64_t env) {
    return block_with(op(LV_OP_FIRSTCALL_CALL) + n(0) + n(count) + n(env) + proceed, 10);
  };
  const std::string put_list = op(LV_OP_PUT_LIST) + x(0);
  std::vector<Malformed> refused = {
      {"spill below X256", spill(LV_OP_SPILLQ, 255), "spilled register 255 of SPILLQ out of range"},
      {"negative spill", spill(LV_OP_SPILLQ, -1), "spilled register -1 of SPILLQ out of range"},
      {"spill far up", spill(LV_OP_SPILLQ, int64_t{1} << 40), "out of range"},
      {"unspill below X256", spill(LV_OP_UNSPILLQ, 0), "spilled register 0 of UNSPILLQ out of range"},
      {"unspill past the term references", spill(LV_OP_UNSPILLQ, (int64_t{1} << 31) + 256), "out of range"},
      {"no voids", block_with(put_list + op(LV_OP_UNIFY_VOID) + n(0) + proceed, 12), "count 0 of UNIFY_VOID out of range"},
      {"voids beyond any structure", block_with(put_list + op(LV_OP_UNIFY_VOID) + n(2147483647) + proceed, 12),
       "count 2147483647 of UNIFY_VOID out of range"},
      {"two-argument voids", block_with(op(LV_OP_U2_VOID_XVAR) + n(255) + x(1) + proceed, 10), "of U2_VOID_XVAR out of range"},
      {"two-argument voids after", block_with(op(LV_OP_U2_XVAL_VOID) + x(1) + n(0) + proceed, 10), "of U2_XVAL_VOID out of range"},
      {"call/N of 1000", block_with(op(LV_OP_EXECUTE_CALL) + n(1000) + proceed, 8), "count 1000 of EXECUTE_CALL out of range"},
      {"call/N of 0", block_with(op(LV_OP_EXECUTE_CALL) + n(0) + proceed, 8), "count 0 of EXECUTE_CALL out of range"},
      {"call/N of 257 in a frame", frame_call(257, 16), "count 257 of FIRSTCALL_CALL out of range"},
      {"negative heap check", block_with(op(LV_OP_CHECK_HEAPQ) + wide(-1) + proceed, 10), "heap check -1 of CHECK_HEAPQ"},
      {"unbounded heap check", block_with(op(LV_OP_CHECK_HEAPQ) + wide(int64_t{1} << 40) + proceed, 10), "of CHECK_HEAPQ"},
      {"permanent variable past the reserve", block_with(op(LV_OP_GET_Y_VARIABLE) + x(0) + y(526) + proceed, 8),
       "permanent variable 526 out of range"},
      {"permanent variable far out", block_with(op(LV_OP_PUT_Y_VALUE) + x(0) + y(60000) + proceed, 8), "out of range"},
      {"raw permanent variable word", block_with(op(LV_OP_UNIFY_Y_VALUE) + n(16 + 8 * 526) + proceed, 6),
       "permanent variable operand 4224 of UNIFY_Y_VALUE out of range"},
      {"frame past the reserve", frame_call(1, 16 + 8 * 527), "environment size operand 4232 of FIRSTCALL_CALL out of range"},
      {"register list entry", block_with(op(LV_OP_PUT) + n(1 << 8) + n(16 + 8 * 526) + proceed, 8), "register list entry of PUT"},
      {"register save list entry", block_with(op(LV_OP_GET) + n(1) + x(0) + n(16 + 8 * 526) + proceed, 10), "register save list entry of GET"},
  };
  uint64_t blocks = lv_code_block_count();
  for (const Malformed& m : refused) {
    lv_term t = 0;
    EXPECT_EQ(read(m.bytes, &t), -1) << m.what;
    EXPECT_NE(std::strstr(lv_qload_error(), m.error), nullptr) << m.what << ": " << lv_qload_error();
    EXPECT_EQ(lv_code_block_count(), blocks) << m.what;
  }
  // The bounds themselves load.
  const std::string at_bounds[] = {
      spill(LV_OP_SPILLQ, 256),
      spill(LV_OP_UNSPILLQ, 65535),
      block_with(put_list + op(LV_OP_UNIFY_VOID) + n(255) + proceed, 12),
      block_with(op(LV_OP_U2_VOID_XVAR) + n(254) + x(1) + proceed, 10),
      block_with(op(LV_OP_EXECUTE_CALL) + n(256) + proceed, 8),
      frame_call(1, 16 + 8 * 526),
      block_with(op(LV_OP_CHECK_HEAPQ) + wide(LV_HEAP_RESERVE_CELLS) + proceed, 10),
      block_with(op(LV_OP_GET_Y_VARIABLE) + x(0) + y(525) + proceed, 8),
  };
  for (const std::string& bytes : at_bounds) {
    lv_term t = 0;
    EXPECT_EQ(read(bytes, &t), 1) << lv_qload_error();
  }
}

// Random operands for every instruction of the table, in every format: each
// block loads or is refused, never more; what loads keeps every operand the
// emulator trusts within the engine's bounds, and lists. Fixed seeds.
class OperandFuzzer {
 public:
  explicit OperandFuzzer(uint64_t seed) : rng_(seed) {}

  // Tokens of one instruction with random operands, and their word count.
  std::string instruction(lv_insn insn, uint64_t* words) {
    std::string t = op(insn);
    *words = 1;
    for (const char* k = lv_format_operands[lv_instruction_format_table[insn]]; *k != '\0'; k++) {
      switch (*k) {
        case 'p': *words += 1; break;
        case 'X': t += pick(4) == 0 ? n(word()) : "X" + n(among({0, 1, 255, 256, -1, 70000})); *words += 1; break;
        case 'Y': t += pick(4) == 0 ? n(word()) : "Y" + n(4 * among({0, 1, 525, 526, 60000}) + pick(4)); *words += 1; break;
        case 'S': case 'N': t += n(word()); *words += 1; break;
        case 'B':
          t += pick(2) == 0 ? "F" + std::string(pick(2) ? "1.5" : "-2.0e300") + std::string(1, '\0')
                            : "L" + std::string(pick(2) ? "-7" : "123456789012345678901234567890") + std::string(1, '\0');
          *words += 8;
          break;
        case 'R': {
          uint64_t m = pick(6) == 0 ? among({255, 1 << 20}) : pick(4);
          t += n(static_cast<int64_t>(among({0, 3, 250, 255}) | (m << 8)));
          for (uint64_t i = 0; i < m && i < 8; i++) t += pick(2) ? n(word()) : "Y" + n(4 * among({0, 2, 525, 526}) + pick(4));
          *words += 1 + m;
          break;
        }
        case 'G': {
          uint64_t m = pick(6) == 0 ? among({255, 1 << 20}) : pick(3);
          t += n(static_cast<int64_t>(m));
          for (uint64_t i = 0; i < m && i < 8; i++) t += "X" + n(among({0, 5, 256})) + "Y" + n(4 * among({0, 3, 526}));
          *words += 1 + 2 * m;
          break;
        }
        default: {  // the 64-bit operands
          switch (pick(6)) {
            case 0: t += "R" + n(2 * pick(24)); break;
            case 1: t += pick(2) ? "e" : "f"; break;
            default:
              t += "+" + std::to_string(among({0, 1, -1, 255, 256, 65535, 65536, 1152, int64_t{1} << 40, INT64_MIN, INT64_MAX,
                                               static_cast<int64_t>(lv_make_small(3)), static_cast<int64_t>(LV_ATOM_NIL)})) +
                   std::string(1, '\0');
          }
          *words += 3;
        }
      }
    }
    return t;
  }

  uint64_t pick(uint64_t n) { return std::uniform_int_distribution<uint64_t>(0, n - 1)(rng_); }
  int64_t among(std::initializer_list<int64_t> values) { return values.begin()[pick(values.size())]; }
  // A 32-bit word: the bounds of counts, registers and frames, or any.
  int64_t word() {
    return pick(3) == 0 ? static_cast<int64_t>(rng_() & 0xFFFFFFFF)
                        : among({0, 1, 2, 16, 24, 254, 255, 256, 257, 320, 2360, 2368, 4216, 4224, 4232, 2147483647});
  }

 private:
  std::mt19937_64 rng_;
};

// The bounds the emulator relies on, read off a loaded instruction.
void expect_within_engine_bounds(const lv_decoded_insn& d) {
  const char* name = lv_instruction_name_table[d.number];
  for (unsigned i = 0; i < d.operand_count; i++) {
    const lv_operand& o = d.operands[i];
    int64_t v = static_cast<int64_t>(o.value);
    switch (o.kind) {
      case 'X': EXPECT_TRUE(v >= 320 && v < 320 + 8 * 256 && v % 8 == 0) << name; break;
      case 'Y': EXPECT_TRUE(v >= 16 && v < 8 * LV_LOCAL_RESERVE_CELLS && v % 8 == 0) << name; break;
      case 'S': EXPECT_TRUE(v >= 16 && v <= 8 * LV_LOCAL_RESERVE_CELLS && v % 8 == 0) << name; break;
      case 'N':
        if (d.number == LV_OP_UNIFY_VOID) {
          EXPECT_TRUE(v >= 1 && v <= 255) << name;
        }
        if (d.number == LV_OP_EXECUTE_CALL || d.number == LV_OP_CALL_CALL || d.number == LV_OP_FIRSTCALL_CALL ||
            d.number == LV_OP_LASTCALL_CALL || d.number == LV_OP_INITCALL_CALL) {
          EXPECT_TRUE(v >= 1 && v <= 256) << name;
        }
        break;
      case 'I':
        if (d.number == LV_OP_SPILL || d.number == LV_OP_SPILLQ || d.number == LV_OP_UNSPILL || d.number == LV_OP_UNSPILLQ) {
          EXPECT_TRUE(v >= 256 && v < 65536) << name;
        }
        if (d.number == LV_OP_CHECK_HEAP || d.number == LV_OP_CHECK_HEAPQ) {
          EXPECT_GE(v, 0) << name;
        }
        break;
      case 'R':
        EXPECT_LE(o.value + o.count, 256u) << name;
        for (uint32_t k = 1; k <= o.count; k++) {
          if ((o.at[k] & 3) != 3) {
            EXPECT_LT(o.at[k] & ~3u, 8u * LV_LOCAL_RESERVE_CELLS) << name;
          }
        }
        break;
      case 'G':
        for (uint32_t k = 0; k < o.count; k++) EXPECT_LT(o.at[2 + 2 * k], 8u * LV_LOCAL_RESERVE_CELLS) << name;
        break;
      default: break;
    }
  }
}

TEST_F(QloadTest, RandomOperandsOfEveryInstructionLoadOrAreRefused) {
  OperandFuzzer fuzz(20261210);
  const std::string proceed = op(LV_OP_PROCEED);
  uint64_t loaded = 0, refused = 0;
  for (int round = 0; round < 24; round++) {
    for (uint32_t number = 0; number < LV_INSN_COUNT; number++) {
      lv_insn insn = static_cast<lv_insn>(number);
      uint64_t words = 0;
      std::string tokens = fuzz.instruction(insn, &words);
      if (fuzz.pick(2) == 0) tokens += proceed, words += 1;
      // A block of about the words written, now and then too small or large.
      int64_t size = 2 * static_cast<int64_t>(words + fuzz.pick(4)) - (fuzz.pick(8) == 0 ? 4 : 0);
      QlWriter q;
      q.small(1, 5).block(0, std::max<int64_t>(size, 2)).raw(tokens).byte(0);
      if (fuzz.pick(4) == 0) q.fixup(1, 4 * static_cast<int64_t>(fuzz.pick(6)));
      q.end(0);
      lv_term* top = w->H;
      lv_term ref = 0;
      testing::internal::CaptureStderr();
      int r = read(q.bytes(), &ref);
      testing::internal::GetCapturedStderr();
      w->H = top;
      ASSERT_TRUE(r == 1 || r == -1) << lv_instruction_name_table[number];
      if (r == -1) {
        refused++;
        continue;
      }
      loaded++;
      lv_code_block* b = block_of(ref);
      const uint32_t* p = lv_code_block_code(b);
      const uint32_t* end = reinterpret_cast<const uint32_t*>(reinterpret_cast<const char*>(b) + lv_code_block_size(b));
      while (p < end) {
        lv_decoded_insn d;
        ASSERT_TRUE(lv_insn_decode(p, &d)) << lv_instruction_name_table[number];
        expect_within_engine_bounds(d);
        char line[512];
        lv_insn_print_options none = {};
        lv_insn_print_with(p, end, line, sizeof line, &none);
        p += d.length;
      }
      lv_code_block_unregister(b);
      lv_code_block_free(b);
    }
  }
  // Both outcomes are met often enough to mean something.
  EXPECT_GT(loaded, 500u);
  EXPECT_GT(refused, 500u);
}

TEST_F(QloadTest, QreadRaisesFaultsAsErrors) {
  lv_pred* qread = lv_lookup_predicate(lv_prolog_module(), atom("$qread"), 3, LV_LOOKUP_FIND);
  static lv_term culprit;
  culprit = 0;
  role("$error_handler", 4, [](lv_worker* w) {
    culprit = lv_deref(w->X[2]);
    return 1;
  });
  lv_stream* s = stream(QlWriter().end(3).bytes());
  EXPECT_EQ(call(qread, {lv_stream_term(s), atom("src"), terms::var(w)}), 1);
  EXPECT_EQ(lv_pending_error_code(), 5);
  EXPECT_NE(std::strstr(lv_pending_error_message(), "register 3 is not set (test.ql, offset 0)"), nullptr)
      << lv_pending_error_message();
  EXPECT_EQ(culprit, lv_stream_term(s));
}

}  // namespace
