// Code listings: every operand format as assembled (plain and Q forms),
// clause listings with source information, internal entry headers, stubs,
// the predicate information listing and the trace helpers.
#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "core/numbers.h"
#include "machine/insn_walk.h"
#include "store/code_print.h"
#include "store/pred_info.h"
#include "support/listing_text.h"
#include "support/store_fixture.h"
#include "support/terms.h"

namespace {

using namespace assembler;

alignas(8) uint32_t somewhere[2];

std::string address(const void* p) {
  char text[32];
  std::snprintf(text, sizeof text, "%p", p);
  return text;
}

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// Addresses as @, and Q forms by their plain names.
std::string masked(const std::string& s) { return listing_text::plain_names(listing_text::mask_addresses(s)); }

class CodePrintTest : public StoreTest {
 protected:
  std::string listing(const uint32_t* at, const uint64_t* source = nullptr, int arity = 0) {
    testing::internal::CaptureStderr();
    lv_print_code(at, source, arity);
    return testing::internal::GetCapturedStderr();
  }
};

struct FormatCase {
  lv_insn insn;
  std::vector<Operand> operands;
  std::string text;  // what follows the name and a space
};

TEST_F(CodePrintTest, EveryOperandFormatListsAsAssembled) {
  lv_pred* q = pred("user", "q", 2);
  const std::string far = address(somewhere);
  lv_term f2 = lv_make_functor(atom("f"), 2);
  lv_term g1 = lv_make_functor(atom("g"), 1);
  const uint64_t float_bits = lv_canonical_float_bits(1.5);
  std::vector<FormatCase> cases = {
      {LV_OP_PROCEED, {}, ""},
      {LV_OP_RETRY_C, {A(somewhere)}, far},
      {LV_OP_CALL_FOREIGN, {A(somewhere), S(3)}, far + ",3"},
      {LV_OP_EXECUTE, {P(q)}, "user:q/2"},
      {LV_OP_INITCALL, {R(0, {{VALUE, 1}, {VARIABLE, 2}}), P(q), S(3)},
       "[x(0)=value(1),x(1)=variable(2)],user:q/2,3"},
      {LV_OP_GET_LARGE_X0, {B({static_cast<uint64_t>(LV_BOX_INT1), 5})}, "5"},
      {LV_OP_FIRSTCALL, {R(1, {{UNSAFE_VALUE, 0}, {VOID, 0}}), P(q), S(1)},
       "[x(1)=unsafe_value(0),x(2)=void],user:q/2,1"},
      {LV_OP_LASTCALL, {R(0, {}), P(q)}, "[],user:q/2"},
      {LV_OP_CALL, {R(2, {{VALUE, 4}}), P(q), S(5)}, "[x(2)=value(4)],user:q/2,5"},
      {LV_OP_GET_STRUCTURE_X0, {F(f2)}, "f/2"},
      {LV_OP_OPEN_FOREIGN_CALL, {N(1), N(2), P(q), A(somewhere)}, "1,2,user:q/2," + far},
      {LV_OP_FIRST_CONSTANT, {I(-7)}, "-7"},
      {LV_OP_EQUAL_TO_IMM, {I(5), L(lv_fail_code)}, "5, else fail always"},
      {LV_OP_EQUAL_TO, {L(lv_else_fail_code)}, " else fail for now"},
      {LV_OP_GET_CONSTANT_X0, {C(atom("k"))}, "k"},
      {LV_OP_ATOM, {X(3), L(somewhere)}, "x(3), else " + far},
      {LV_OP_PUT_LARGE, {X(1), B({static_cast<uint64_t>(LV_BOX_FLOAT), float_bits})}, "x(1),1.5"},
      // Floats in the fewest digits that read back, always with a fraction.
      {LV_OP_PUT_LARGE, {X(1), B({static_cast<uint64_t>(LV_BOX_FLOAT), lv_canonical_float_bits(2.0)})}, "x(1),2.0"},
      {LV_OP_PUT_LARGE, {X(1), B({static_cast<uint64_t>(LV_BOX_FLOAT), lv_canonical_float_bits(0.1)})}, "x(1),0.1"},
      {LV_OP_PUT_LARGE, {X(1), B({static_cast<uint64_t>(LV_BOX_FLOAT), lv_canonical_float_bits(1e22)})}, "x(1),1.0e+22"},
      {LV_OP_PUT_LARGE, {X(1), B({static_cast<uint64_t>(LV_BOX_FLOAT), lv_canonical_float_bits(-2.5e-300)})},
       "x(1),-2.5e-300"},
      {LV_OP_GET_LARGE, {X(1), B({static_cast<uint64_t>(LV_BOX_INT2), 1, 2})}, "x(1),<bignum 2 words>"},
      {LV_OP_PUT_STRUCTURE, {X(2), F(f2)}, "x(2),f/2"},
      {LV_OP_GET_STRUCTURE, {X(2), F(g1)}, "x(2),g/1"},
      {LV_OP_GET_STRUCTURE_XVAR_XVAR, {X(0), F(f2), X(4), X(5)}, "x(0),f/2,x(4),x(5)"},
      {LV_OP_PUT_CONSTANT, {X(0), C(lv_make_small(42))}, "x(0),42"},
      {LV_OP_GET_CONSTANT, {X(1), C(atom("hello world"))}, "x(1),'hello world'"},
      {LV_OP_UNSPILL, {I(300), X(2)}, "300,x(2)"},
      {LV_OP_SPILL, {I(301), X(3)}, "301,x(3)"},
      {LV_OP_GET_FACT_2, {C(atom("a"))}, "a"},
      {LV_OP_GET_FACT_3, {C(atom("a")), C(atom("b"))}, "a,b"},
      {LV_OP_GET_FACT_4, {C(atom("a")), C(atom("b")), C(lv_make_small(3))}, "a,b,3"},
      {LV_OP_FIRSTCALL_CALL, {R(0, {}), N(2), S(1)}, "[],2,1"},
      {LV_OP_LASTCALL_CALL, {R(0, {}), N(3)}, "[],3"},
      {LV_OP_CALL_CALL, {R(0, {{VALUE, 0}}), N(1), S(2)}, "[x(0)=value(0)],1,2"},
      {LV_OP_PUT_FIRST, {R(2, {{VARIABLE, 0}})}, "[x(2)=variable(0)]"},
      {LV_OP_PUT, {R(0, {{VOID, 0}})}, "[x(0)=void]"},
      {LV_OP_INITCALL_CALL, {R(0, {}), N(1), S(0)}, "[],1,0"},
      {LV_OP_UNIFY_VOID, {N(3)}, "3"},
      {LV_OP_U2_VOID_XVAR, {N(2), X(1)}, "2,x(1)"},
      {LV_OP_U2_VOID_XVAL, {N(1), X(4)}, "1,x(4)"},
      {LV_OP_EXECUTE_CALL, {N(2)}, "2"},
      {LV_OP_UNIFY_X_VARIABLE, {X(3)}, "x(3)"},
      {LV_OP_PUT_NIL, {X(0)}, "x(0)"},
      {LV_OP_GET_NIL, {X(6)}, "x(6)"},
      {LV_OP_U2_XVAR_VOID, {X(1), N(2)}, "x(1),2"},
      {LV_OP_U2_XVAL_VOID, {X(1), N(1)}, "x(1),1"},
      {LV_OP_U2_XVAR_XVAR, {X(1), X(2)}, "x(1),x(2)"},
      {LV_OP_U2_XVAR_XVAL, {X(1), X(2)}, "x(1),x(2)"},
      {LV_OP_U2_XVAL_XVAR, {X(3), X(2)}, "x(3),x(2)"},
      {LV_OP_COMPAREOP, {X(0), X(1)}, "x(0),x(1)"},
      {LV_OP_PUT_X_VARIABLE, {X(0), X(5)}, "x(5),x(0)"},
      {LV_OP_PUT_X_UNSAFE_VALUE, {X(1), X(6)}, "x(6),x(1)"},
      {LV_OP_GET_X_VARIABLE, {X(5), X(1)}, "x(1),x(5)"},
      {LV_OP_GET_X_VALUE, {X(2), X(0)}, "x(0),x(2)"},
      {LV_OP_GET_LIST_XVAR_XVAR, {X(0), X(1), X(2)}, "x(0),x(1),x(2)"},
      {LV_OP_ARG, {X(0), X(1), X(2)}, "x(0),x(1),x(2)"},
      {LV_OP_GET_XVAR_XVAR, {X(1), X(2), X(3), X(4)}, "x(2),x(1),x(4),x(3)"},
      {LV_OP_PUT_Y_VALUE, {X(0), Y(4)}, "y(4),x(0)"},
      {LV_OP_PUT_Y_VARIABLE, {X(0), Y(1)}, "x(0),y(1)"},
      {LV_OP_PUT_Y_FIRST_VARIABLE, {X(1), Y(0)}, "x(1),y(0)"},
      {LV_OP_GET_Y_VALUE, {X(2), Y(3)}, "x(2),y(3)"},
      {LV_OP_GET_Y_VARIABLE, {X(2), Y(3)}, "x(2),y(3)"},
      {LV_OP_GET_Y_FIRST_VARIABLE, {X(0), Y(1)}, "x(0),y(1)"},
      {LV_OP_UNIFY_Y_VALUE, {Y(2)}, "y(2)"},
      {LV_OP_UNIFY_Y_VARIABLE, {Y(1)}, "y(1)"},
      {LV_OP_CHOICE_Y, {Y(0)}, "y(0)"},
      {LV_OP_UNIFY_Y_FIRST_VARIABLE, {Y(5)}, "y(5)"},
      {LV_OP_CHOICE_YF, {Y(0)}, "y(0)"},
      {LV_OP_GET, {G({{3, 0}, {4, 1}})}, "[y(0)=x(3),y(1)=x(4)]"},
      {LV_OP_GET_FIRST, {G({})}, "[]"},
      {LV_OP_NATIVE_OP, {A(somewhere)}, far},
  };
  // The register moves: the registers of formats 1-12 come from the name.
  for (uint32_t n = 0; n < LV_INSN_COUNT; n++) {
    int32_t format = lv_instruction_format_table[n];
    std::string name = lv_instruction_name_table[n];
    std::string i(1, name[5]), j(1, name[8]);
    if (format >= 1 && format <= 12) cases.push_back({static_cast<lv_insn>(n), {}, "x(" + i + "),x(" + j + ")"});
    if (format >= 13 && format <= 16) cases.push_back({static_cast<lv_insn>(n), {X(9)}, "x(" + i + "),x(9)"});
    if (format >= 17 && format <= 20) cases.push_back({static_cast<lv_insn>(n), {X(7)}, "x(7),x(" + j + ")"});
  }
  std::set<int32_t> formats = {72};  // NOP, below
  for (const FormatCase& c : cases) {
    // Once at each alignment: the plain and the Q form list alike.
    for (int pad = 0; pad < 2; pad++) {
      Assembler a;
      if (pad == 1) a.op(LV_OP_UNIFY_VOID_1);
      a.label("i").op(c.insn, c.operands);
      a.finish();
      lv_insn chosen = static_cast<lv_insn>(a.at("i")[0] >> 1);
      formats.insert(lv_instruction_format_table[chosen]);
      std::vector<std::string> lines = lines_of(listing(a.at("i")));
      ASSERT_FALSE(lines.empty());
      EXPECT_EQ(lines[0], address(a.at("i")) + ": " + lv_instruction_name_table[chosen] + " " + c.text);
    }
  }
  Assembler nop;
  nop.nop(2).op(LV_OP_PROCEED);
  nop.finish();
  EXPECT_EQ(lines_of(listing(nop.start()))[0], address(nop.start()) + ": NOP 2");
  for (int32_t f = 0; f < static_cast<int32_t>(LV_FORMAT_COUNT); f++) {
    if (lv_format_valid(f)) {
      EXPECT_TRUE(formats.count(f)) << "format " << f << " is not listed";
    }
  }
}

TEST_F(CodePrintTest, ClauseListingWithSourceInformation) {
  // p(A, B) :- q(A, Y), r(Y).  with a permanent Z taken from B first.
  lv_pred* p = pred("user", "p", 2);
  lv_pred* q = pred("user", "q", 2);
  lv_pred* r = pred("user", "r", 1);
  Assembler a;
  a.op(LV_OP_GET_Y_VARIABLE, {X(1), Y(1)})
      .op(LV_OP_INITCALL, {R(1, {{VARIABLE, 0}}), P(q), S(2)})
      .op(LV_OP_LASTCALL, {R(0, {{VALUE, 0}}), P(r)})
      .op(LV_OP_END_OF_CLAUSE, {P(p)})
      .op(LV_OP_PROCEED);  // not listed: after the end
  a.finish();
  uint64_t source[] = {8 * 8, atom("x"), lv_make_small(3), lv_make_small(7), atom("Z"), atom("Y"), lv_make_small(8),
                       lv_make_small(9)};
  std::vector<std::string> lines = lines_of(masked(listing(a.start(), source, 2)));
  std::vector<std::string> expected = {
      "@: HEAD(x,3) at line 7",
      "@: GET_Y_VARIABLE x(1),y(1)[Z]",
      "@: INITCALL [x(1)=variable(0)[Y]],user:q/2,2 at line 8",
      "@: LASTCALL [x(0)=value(0)],user:r/1 at line 9",
      "@: END_OF_CLAUSE user:p/2",
  };
  EXPECT_EQ(lines, expected);
  // Without it: no head, names or lines.
  lines = lines_of(masked(listing(a.start())));
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[1], "@: INITCALL [x(1)=variable(0)],user:q/2,2");
}

TEST_F(CodePrintTest, InternalEntryHeadersAndStubs) {
  lv_pred* p = pred("user", "p", 2);
  Assembler a;
  // A header with two clause entries, then the clauses.
  a.word(LV_INTERNAL_HEADER_WORD).word(2).word(32).word(lv_opcode(LV_OP_KONTINUE));
  for (int i = 0; i < 4; i++) a.word(0);
  a.label("e1");
  for (int i = 0; i < 8; i++) a.word(0);
  a.label("e2");
  for (int i = 0; i < 8; i++) a.word(0);
  a.label("c1").op(LV_OP_PROCEED).label("c2").op(LV_OP_PROCEED).op(LV_OP_END_OF_CLAUSE, {P(p)});
  a.finish();
  uint32_t* h = const_cast<uint32_t*>(a.start());
  auto* e1 = reinterpret_cast<lv_clause_entry*>(const_cast<uint32_t*>(a.at("e1")));
  auto* e2 = reinterpret_cast<lv_clause_entry*>(const_cast<uint32_t*>(a.at("e2")));
  lv_code_write64(h + 4, reinterpret_cast<uint64_t>(&e1->unused[1]) + 4);
  e1->link = e2;
  e1->code = a.at("c1");
  e2->code = a.at("c2");
  std::vector<std::string> lines = lines_of(listing(h));
  ASSERT_GE(lines.size(), 3u);
  EXPECT_EQ(lines[0], address(h) + ": ENTER_INTERNAL arity=2");
  EXPECT_EQ(lines[1], address(e1) + ": TRY " + address(a.at("c1")) + ",2,1");
  EXPECT_EQ(lines[2], address(e2) + ": TRY " + address(a.at("c2")) + ",2,2");
  EXPECT_EQ(masked(lines.back()), "@: END_OF_CLAUSE user:p/2");

  EXPECT_EQ(listing(somewhere), address(somewhere) + ": stub\n");
  EXPECT_EQ(listing(nullptr), address(nullptr) + ": stub\n");
}

TEST_F(CodePrintTest, KontinueListsItsPredicate) {
  lv_pred* p = pred("user", "p", 2);
  char line[256];
  lv_insn_print_options options = {nullptr, [](const void* pred, char* buffer, size_t size) { lv_pred_text(pred, true, buffer, size); },
                                   nullptr, nullptr, nullptr};
  lv_insn_print_with(&p->continue_insn, &p->continue_insn + 1, line, sizeof line, &options);
  EXPECT_EQ(masked(line), "@: KONTINUE user:p/2");
  const uint32_t* shared = lv_code_stub_for_arity(2);
  lv_insn_print_with(shared, shared + 1, line, sizeof line, &options);
  EXPECT_EQ(masked(line), "@: KONTINUE ");
}

TEST_F(CodePrintTest, PredicateInformation) {
  lv_pred* p = pred("user", "p", 1);
  lv_new_clause_list(p, LV_DEF_COMPACTCODE);
  Assembler c1, c2, c3;
  c1.op(LV_OP_GET_CONSTANT_X0, {C(atom("a"))}).op(LV_OP_PROCEED).op(LV_OP_END_OF_CLAUSE, {P(p)});
  c2.op(LV_OP_GET_STRUCTURE_X0, {F(lv_make_functor(atom("f"), 1))})
      .op(LV_OP_UNIFY_VOID_1)
      .op(LV_OP_PROCEED)
      .op(LV_OP_END_OF_CLAUSE, {P(p)});
  c3.op(LV_OP_PROCEED).op(LV_OP_END_OF_CLAUSE, {P(p)});
  lv_append_clause(p, clause(c1), LV_KEY_ALL | LV_KEY_KEYED, atom("a"));
  lv_append_clause(p, clause(c2), LV_KEY_ALL | LV_KEY_KEYED, lv_make_functor(atom("f"), 1));
  lv_append_clause(p, clause(c3), LV_KEY_NONE, 0);
  p->flags |= LV_PRED_MULTIFILE;

  testing::internal::CaptureStderr();
  lv_print_pred_info(find_module(atom("user"), 0), p);
  std::string out = masked(testing::internal::GetCapturedStderr());
  for (const char* expected : {"@: user:p/1\n", "properties: [multifile]\n", "predicate type: ENTER_COMPACTCODE_INDEXED\n",
                               "definfo address: @\n", "  index VAR = try chain\n  @: TRY @,1,1\n  @: TRY @,1,2\n  @: TRY @,1,3\n",
                               "  index LIST = @\n", "  index a/0 = try chain\n", "  index f/1 = try chain\n",
                               "  index DEFAULT = @\n", "  clause = @, code = @\n@: GET_CONSTANT_X0 a\n",
                               "@: GET_STRUCTURE_X0 f/1\n"})
    EXPECT_NE(out.find(expected), std::string::npos) << expected << "\nin\n" << out;
  EXPECT_EQ(out.find("exported from"), std::string::npos);

  testing::internal::CaptureStderr();
  lv_print_pred_info(nullptr, nullptr);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "does not exist\n");

  // $predinfo names the predicate by a goal term; a missing module or
  // predicate fails.
  testing::internal::CaptureStderr();
  w->X[0] = terms::fn(w, atom("p"), {terms::small(0)});
  w->X[1] = atom("user");
  EXPECT_EQ(prolog_predinfo(w), 1);
  w->X[1] = atom("nomodule");
  EXPECT_EQ(prolog_predinfo(w), 0);
  w->X[0] = atom("p");
  w->X[1] = atom("user");
  EXPECT_EQ(prolog_predinfo(w), 0);
  EXPECT_NE(testing::internal::GetCapturedStderr().find("index VAR"), std::string::npos);
}

TEST_F(CodePrintTest, TraceHelpers) {
  lv_pred* q = pred("user", "q", 2);
  w->X[0] = atom("a");
  w->X[1] = terms::fn(w, atom("f"), {terms::small(1), terms::list(w, {atom("b")}, terms::var(w))});
  testing::internal::CaptureStderr();
  lv_print_goal(w, q);
  lv_print_pred_spec_nl(q);
  lv_print_functor(lv_make_functor(atom("g"), 3), true);
  lv_print_register(w, 0);
  EXPECT_EQ(listing_text::mask_variables(testing::internal::GetCapturedStderr()),
            "user:q(a, f(1,[b|_]))\nuser:q/2\ng/3\na");
  char text[64];
  lv_term_text(atom("it's"), false, text, sizeof text);
  EXPECT_STREQ(text, "'it\\'s'");
  lv_term_text(lv_make_small(-3), false, text, sizeof text);
  EXPECT_STREQ(text, "-3");
  lv_term_text(w->X[1], false, text, sizeof text);  // not followed
  EXPECT_EQ(std::string(text).substr(0, 2), "0x");
}

}  // namespace
