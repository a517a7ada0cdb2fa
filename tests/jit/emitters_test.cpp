// The instruction emitters: for tables of instruction terms and operand
// combinations (every register, rsp/rbp/r12/r13 and the other bases,
// displacements and immediates at the edges of their widths, labels near
// and far, trampolines), the bytes equal what GNU as makes of the same
// instruction; terms outside the grammar are refused; the switch table and
// the alternative records are laid out for the glue.
#include <gtest/gtest.h>
#include <sys/mman.h>

#include <cinttypes>
#include <climits>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "core/hashtab.h"
#include "jit/emitters.h"
#include "jit/glue_layout.h"
#include "jit/glue_table.h"
#include "jit/jit_atoms.h"
#include "support/store_fixture.h"
#include "support/term_text.h"
#include "jit/gnu_as.h"

namespace {

const char* const R64[16] = {"rax", "rcx", "rdx", "rbx", "rsp", "rbp", "rsi", "rdi",
                             "r8",  "r9",  "r10", "r11", "r12", "r13", "r14", "r15"};
const char* const R8[16] = {"al",  "cl",  "dl",   "bl",   "spl",  "bpl",  "sil",  "dil",
                            "r8b", "r9b", "r10b", "r11b", "r12b", "r13b", "r14b", "r15b"};
const char* const CONDITIONS[10] = {"e", "ne", "l", "le", "g", "ge", "lu", "leu", "gu", "geu"};
const char* const JCC[10] = {"je", "jne", "jl", "jle", "jg", "jge", "jb", "jbe", "ja", "jae"};
const char* const INVERSE_JCC[10] = {"jne", "je", "jge", "jg", "jle", "jl", "jae", "ja", "jbe", "jb"};
const char* const CMOV[10] = {"cmove", "cmovne", "cmovl", "cmovle", "cmovg", "cmovge", "cmovb", "cmovbe", "cmova", "cmovae"};

std::string num(int64_t v) { return std::to_string(v); }

std::string mem(const char* size, int base, int64_t disp) {
  std::string s = std::string(size) + " ptr [" + R64[base];
  if (disp > 0) s += " + " + num(disp);
  if (disp < 0) s += " - " + std::to_string(-static_cast<uint64_t>(disp));
  return s + "]";
}
std::string q(int base, int64_t disp) { return mem("qword", base, disp); }

lv_jit_operand reg(int r) { return {LV_OPERAND_REGISTER, r, 0}; }
lv_jit_operand mop(int base, int64_t disp) { return {LV_OPERAND_MEMORY, base, disp}; }
lv_jit_operand imm(int64_t v) { return {LV_OPERAND_IMMEDIATE, LV_IMMEDIATE_VALUE, v}; }

// Displacements and immediates at the edges of their encodings.
const int64_t DISPLACEMENTS[] = {0, 8, 127, 128, -128, -129, 0x7fffffff, -0x80000000LL};
const int64_t IMMEDIATES[] = {0, 1, 127, 128, -1, -128, -129, 0x7fffffff, 0x80000000LL, -0x80000000LL,
                              -0x80000001LL, 0x123456789abcdef0LL, INT64_MAX, INT64_MIN};

class EmitterTest : public StoreTest {
 protected:
  static constexpr size_t BUFFER = 16 << 20;
  static constexpr int TRAMPOLINE_LABEL = 7;

  void SetUp() override {
    StoreTest::SetUp();
    // Near the glue routines when the address space allows, so that their
    // calls reach; the expectations follow either way.
    uint64_t glue = lv_glue_address(lv_atom_from_index(LV_GLUE_FIRST_ATOM));
    for (uint64_t k = 1; k <= 8 && buffer == nullptr; k++) {
      void* hint = reinterpret_cast<void*>(((glue >> 20) << 20) - k * (uint64_t{256} << 20));
      void* p = mmap(hint, BUFFER, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED_NOREPLACE, -1, 0);
      if (p != MAP_FAILED) buffer = static_cast<uint8_t*>(p);
    }
    if (buffer == nullptr) {
      void* p = mmap(nullptr, BUFFER, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
      ASSERT_NE(p, MAP_FAILED);
      buffer = static_cast<uint8_t*>(p);
    }
    std::memset(&a, 0, sizeof a);
    a.block = buffer;
    a.block_end = buffer + BUFFER;
    a.begin = buffer + 24;
    a.labels = labels;
    a.label_count = 8;
    a.trampoline_targets = targets;
    a.trampoline_capacity = 4;
    a.trampolines_label = TRAMPOLINE_LABEL;
    labels[TRAMPOLINE_LABEL] = reinterpret_cast<uint64_t>(buffer + BUFFER - 0x1000 + 3);
  }
  void TearDown() override {
    if (buffer != nullptr) munmap(buffer, BUFFER);
    StoreTest::TearDown();
  }

  // The first trampoline's jump.
  uint64_t trampoline0() const { return ((labels[TRAMPOLINE_LABEL] + 15) & ~uint64_t{15}) + 2; }

  // The text of a call or jump of `length` bytes, `offset` bytes into the
  // case at `at`, to target, through the first trampoline when it is out of
  // reach.
  std::string relative(const char* mnemonic, uint64_t at, uint64_t target, int length, int offset = 0) {
    int64_t d = static_cast<int64_t>(target - (at + offset + length));
    if (d < INT32_MIN || d > INT32_MAX) target = trampoline0();
    return std::string(mnemonic) + " 0b+" + num(static_cast<int64_t>(target - at));
  }

  struct Case {
    std::string what;
    std::vector<uint8_t> bytes;
    std::string expected;
  };

  // One case at the next free place (offset bytes past a 256-byte slot, or
  // at `place`), with labels 0 to 3 near it: +0x40, -0x40, +0x4000 and
  // -0x8000.
  void add(const std::string& what, const std::function<void()>& emit,
           const std::function<std::string(uint64_t)>& expected, bool short_jumps = true, int offset = 0,
           uint8_t* place = nullptr) {
    uint8_t* at = place != nullptr ? place : buffer + 0x10000 + cases.size() * 0x100 + offset;
    labels[0] = reinterpret_cast<uint64_t>(at + 0x40);
    labels[1] = reinterpret_cast<uint64_t>(at - 0x40);
    labels[2] = reinterpret_cast<uint64_t>(at + 0x4000);
    labels[3] = reinterpret_cast<uint64_t>(at - 0x8000);
    a.cursor = at;
    a.trampolines_requested = 0;
    a.short_jumps = short_jumps;
    a.error = false;
    emit();
    Case c{what, {}, expected(reinterpret_cast<uint64_t>(at))};
    if (a.error)
      c.what += " (refused)";
    else
      c.bytes.assign(at, a.cursor);
    cases.push_back(std::move(c));
  }

  // An instruction term given as text.
  void term(const std::string& text, const std::string& expected, bool short_jumps = true, int offset = 0) {
    add(text, [&] { lv_jit_emit(&a, terms::reader(w).read(text)); }, [&](uint64_t) { return expected; },
        short_jumps, offset);
  }
  void term_place(const std::string& text, uint8_t* place, const std::function<std::string(uint64_t)>& expected) {
    add(text, [&] { lv_jit_emit(&a, terms::reader(w).read(text)); }, expected, true, 0, place);
  }
  void term_at(const std::string& text, const std::function<std::string(uint64_t)>& expected,
               bool short_jumps = true) {
    add(text, [&] { lv_jit_emit(&a, terms::reader(w).read(text)); }, expected, short_jumps);
  }
  // An instruction from decoded operands.
  void ops(lv_term name, std::vector<lv_jit_operand> o, const std::string& expected) {
    std::string what = std::string(lv_atom_text(name)) + "/" + num(static_cast<int64_t>(o.size()));
    for (const auto& x : o) what += " {" + num(x.kind) + "," + num(x.reg) + "," + num(x.value) + "}";
    add(what, [&] { lv_jit_emit_operands(&a, name, static_cast<int>(o.size()), o.data()); },
        [&](uint64_t) { return expected; });
  }

  // Assembles every case's expected text with GNU as and compares.
  void check() {
    std::vector<std::string> texts;
    for (const Case& c : cases) texts.push_back(c.expected);
    std::vector<std::vector<uint8_t>> want;
    try {
      want = gnu_as::assemble(texts);
    } catch (const std::exception& e) {
      FAIL() << e.what();
    }
    for (size_t i = 0; i < cases.size(); i++)
      EXPECT_EQ(gnu_as::hex(cases[i].bytes), gnu_as::hex(want[i])) << cases[i].what << "  ~  " << cases[i].expected;
    cases.clear();
  }

  uint8_t* buffer = nullptr;
  lv_jit_asm a{};
  uint64_t labels[8] = {};
  uint64_t targets[4] = {};
  std::vector<Case> cases;
};

using namespace jit_atoms;

// ---- Moves -------------------------------------------------------------------

TEST_F(EmitterTest, MovesBetweenAllRegistersAndMemoryFormsEqualGnuAs) {
  for (int s = 0; s < 16; s++)
    for (int d = 0; d < 16; d++)
      ops(MOVE, {reg(s), reg(d)}, s == d ? "" : std::string("mov ") + R64[d] + ", " + R64[s]);
  for (int r = 0; r < 16; r++)
    for (int base = 0; base < 16; base++)
      for (int64_t disp : DISPLACEMENTS) {
        ops(MOVE, {reg(r), mop(base, disp)}, "mov " + q(base, disp) + ", " + R64[r]);
        ops(MOVE, {mop(base, disp), reg(r)}, std::string("mov ") + R64[r] + ", " + q(base, disp));
      }
  // Memory to memory goes through rax, or rdx when the destination's base
  // is rax.
  ops(MOVE, {mop(3, 352), mop(7, 16)}, "mov rax, " + q(3, 352) + "\nmov " + q(7, 16) + ", rax");
  ops(MOVE, {mop(7, 16), mop(0, 8)}, "mov rdx, " + q(7, 16) + "\nmov " + q(0, 8) + ", rdx");
  check();
}

TEST_F(EmitterTest, ImmediateMovesTakeTheShortestExactForm) {
  const char* r32[8] = {"eax", "ecx", "edx", "ebx", "esp", "ebp", "esi", "edi"};
  for (int r = 0; r < 16; r++)
    for (int64_t v : IMMEDIATES) {
      std::string want;
      if (v == 0 && r < 8)
        want = std::string("xor ") + r32[r] + ", " + r32[r];
      else if (v == 0)
        want = std::string("xor ") + R64[r] + ", " + R64[r];
      else if (v > 0 && v <= INT32_MAX && r < 8)
        want = std::string("mov ") + r32[r] + ", " + num(v);
      else if (v >= INT32_MIN && v <= INT32_MAX)
        want = std::string("mov ") + R64[r] + ", " + num(v);
      else
        want = std::string("movabs ") + R64[r] + ", " + num(v);
      ops(MOVE, {imm(v), reg(r)}, want);
    }
  for (int base : {0, 3, 4, 5, 8, 12, 13})
    for (int64_t v : IMMEDIATES) {
      std::string scratch = base == 0 || base == 8 ? "rdx" : "rax";
      std::string want = v >= INT32_MIN && v <= INT32_MAX
                             ? "mov " + q(base, 24) + ", " + num(v)
                             : "movabs " + scratch + ", " + num(v) + "\nmov " + q(base, 24) + ", " + scratch;
      ops(MOVE, {imm(v), mop(base, 24)}, want);
    }
  check();
}

TEST_F(EmitterTest, OperandNamesDecodeToTheRegisterConvention) {
  struct {
    const char* term;
    const char* want;
  } table[] = {
      {"move(0, x(0))", "xor r12, r12"},  // 4D 31 E4
      {"move(0, arg0)", "xor eax, eax"},  // 31 C0
      {"move(-1, arg0)", "mov rax, -1"},  // 48 C7 C0 FF FF FF FF
      {"move(1, arg0)", "mov eax, 1"},
      {"move(x(3), arg1)", "mov r10, r15"},
      {"move(x(4), arg2)", "mov r11, qword ptr [rbx + 352]"},
      {"move(x(255), x0)", "mov r12, qword ptr [rbx + 2360]"},
      {"move(y(0), val)", "mov rax, qword ptr [rdi + 16]"},
      {"move(y(20), gpr(9))", "mov r9, qword ptr [rdi + 176]"},
      {"move(a, b)", "mov r8, rbp"},
      {"move(cp, e)", "mov rdi, rcx"},
      {"move(h, s)", "mov rdx, rsi"},
      {"move(sp, tr)", "mov r9, rsp"},
      {"move(a(8), arg0)", "mov rax, qword ptr [rbp + 8]"},
      {"move(b(-8), arg0)", "mov rax, qword ptr [r8 - 8]"},
      {"move(cp(12), arg0)", "mov rax, qword ptr [rcx + 12]"},
      {"move(e(word(3)), arg0)", "mov rax, qword ptr [rdi + 24]"},
      {"move(h(half(3)), arg0)", "mov rax, qword ptr [rsi + 12]"},
      {"move(s(itoy(1)), arg0)", "mov rax, qword ptr [rdx + 24]"},
      {"move(val(+(8, 16)), arg0)", "mov rax, qword ptr [rax + 24]"},
      {"move(sp(-(16, 8)), arg0)", "mov rax, qword ptr [rsp + 8]"},
      {"move(ab, arg0)", "mov rax, qword ptr [r8 + 8]"},
      {"move(hb, arg0)", "mov rax, qword ptr [r8 + 16]"},
      {"move(ac0, arg0)", "mov rax, qword ptr [rsp + 64]"},
      {"move(ac1, arg0)", "mov rax, qword ptr [rsp + 72]"},
      {"move(fcp, arg0)", "mov rax, qword ptr [rbx + 2368]"},
      {"move(w_heap_warn_soft, arg0)", "mov rax, qword ptr [rbx + 152]"},
      {"move(w_insn, arg0)", "mov rax, qword ptr [rbx + 8]"},
      {"move(w_next_node, arg0)", "mov rax, qword ptr [rbx + 88]"},
      {"move(w_numstack_end, arg0)", "mov rax, qword ptr [rbx + 232]"},
      {"move(w_stack_start, arg0)", "mov rax, qword ptr [rbx + 160]"},
      {"move(w_stack_warn, arg0)", "mov rax, qword ptr [rbx + 176]"},
      {"move(w_fli_stack_start, arg0)", "mov rax, qword ptr [rbx + 120]"},
      {"move(nil, arg0)", "mov eax, 7"},
      {"move(kontinue, arg0)", "mov eax, 674"},
      {"move(native_op, arg0)", "mov eax, 700"},
      {"move(constant(7), arg0)", "mov eax, 59"},
      {"move(constant(-1), arg0)", "mov rax, -5"},
      {"move(functor('.', 2), arg0)", "movabs rax, 72057594037927951"},
      {"move(x(1), x(1))", ""},
      {"move(fpr(1), fpr(2))", "movsd xmm2, xmm1"},
      {"move(fpr(3), ac0)", "movsd qword ptr [rsp + 64], xmm3"},
      {"move(sp(8), fpr(5))", "movsd xmm5, qword ptr [rsp + 8]"},
  };
  for (const auto& t : table) term(t.term, t.want);
  check();
}

TEST_F(EmitterTest, LabelsAndGlueAsImmediatesAndWords) {
  term_at("move(label(0), arg1)", [](uint64_t) { return "lea r10, [rip + " + num(0x40 - 7) + "]"; });
  term_at("move(label(3), x(2))", [](uint64_t) { return "lea r14, [rip - " + num(0x8000 + 7) + "]"; });
  // Into memory through rax, or rdx when the base is rax or r8.
  term_at("move(label(2), y(1))",
          [](uint64_t) { return "lea rax, [rip + " + num(0x4000 - 7) + "]\nmov qword ptr [rdi + 24], rax"; });
  term_at("move(label(2), b(8))",
          [](uint64_t) { return "lea rdx, [rip + " + num(0x4000 - 7) + "]\nmov qword ptr [r8 + 8], rdx"; });
  uint64_t bind = lv_glue_address(atom("native_bind"));
  term_at("move(kernel(native_bind), arg0)", [&](uint64_t) { return "movabs rax, " + num(static_cast<int64_t>(bind)); });
  term_at("word(label(1))", [](uint64_t at) { return ".quad " + num(static_cast<int64_t>(at - 0x40)); });
  term_at("word(kernel(native_bind))", [&](uint64_t) { return ".quad " + num(static_cast<int64_t>(bind)); });
  term("word(123456789012)", ".quad 123456789012");
  lv_pred* p = pred("user", "target", 2);
  term("word(procedure(:(user, /(target, 2))))", ".quad " + num(reinterpret_cast<int64_t>(p)));
  term("word(native_entry(:(user, /(target, 2))))", ".quad " + num(reinterpret_cast<int64_t>(p) + 24));
  term("half(native_op)", ".long 700");
  term("half(-(kontinue, 2))", ".long 672");
  term("pop", "pop rax");
  term("comment", "");
  term("comment(anything)", "");
  term("context(x)", "");
  term("toc(1)", "");
  check();
}

TEST_F(EmitterTest, DoubleMovesAndConditionalMovesAndCells) {
  // dmove: aligned only for a multiple of 16 from B or the context; B (r8)
  // needs REX.B.
  term("dmove(b(16), x(4))", "movdqa xmm0, xmmword ptr [r8 + 16]\nmovdqa xmmword ptr [rbx + 352], xmm0");
  term("dmove(x(5), y(0))", "movdqu xmm0, xmmword ptr [rbx + 360]\nmovdqu xmmword ptr [rdi + 16], xmm0");
  term("dmove(b(8), x(6))", "movdqu xmm0, xmmword ptr [r8 + 8]\nmovdqa xmmword ptr [rbx + 368], xmm0");
  term("dmove(sp(64), e(16))", "movdqu xmm0, xmmword ptr [rsp + 64]\nmovdqu xmmword ptr [rdi + 16], xmm0");
  ops(DMOVE, {mop(12, 0), mop(13, 32)}, "movdqu xmm0, xmmword ptr [r12]\nmovdqu xmmword ptr [r13 + 32], xmm0");
  for (int c = 0; c < 10; c++) {
    std::string cond = CONDITIONS[c];
    term("cmove(" + cond + ", x0, arg1)", std::string(CMOV[c]) + " r10, r12");
    term("cmove(" + cond + ", y(2), arg0)", std::string(INVERSE_JCC[c]) + " 1f\nmov rax, qword ptr [rdi + 32]\n1:");
  }
  for (int s = 0; s < 16; s++) ops(CMOVE, {imm(12), reg(s), reg(15 - s)}, std::string("cmovl ") + R64[15 - s] + ", " + R64[s]);
  term("cmove(ge, 0, y(1))", "jl 1f\nmov qword ptr [rdi + 24], 0\n1:");
  // init: a cell with a displacement, or the base's own cell.
  term("init(h(8), arg0)", "lea rax, [rsi + 8]\nmov qword ptr [rsi + 8], rax");
  term("init(y(3), y(4))", "lea rax, [rdi + 40]\nmov qword ptr [rdi + 40], rax\nmov qword ptr [rdi + 48], rax");
  term("init(h(0), x(1))", "mov qword ptr [rsi], rsi\nmov r13, rsi");
  // Choicepoint addresses and small integers.
  term("cp2int(b, y(0))", "mov rax, r8\nsub rax, qword ptr [rbx + 184]\nadd rax, 3\nmov qword ptr [rdi + 16], rax");
  term("int2cp(y(0), arg1)", "mov rax, qword ptr [rdi + 16]\nsub rax, 3\nadd rax, qword ptr [rbx + 184]\nmov r10, rax");
  check();
}

// ---- Integer operations ------------------------------------------------------

TEST_F(EmitterTest, AluFormsEqualGnuAs) {
  const char* names[5] = {"add", "sub", "and", "or", "xor"};
  for (int k = 0; k < 5; k++) {
    std::string n = names[k];
    for (int r = 0; r < 16; r++) {
      lv_term name = lv_atom_from_text(names[k], LV_ATOM_FIND_OR_CREATE);
      ops(name, {reg(r), reg((r + 5) % 16), reg(r)}, n + " " + R64[r] + ", " + R64[(r + 5) % 16]);
      ops(name, {reg(r), mop((r + 3) % 16, 40), reg(r)}, n + " " + R64[r] + ", " + q((r + 3) % 16, 40));
      ops(name, {mop(r, -8), reg(2), mop(r, -8)}, n + " " + q(r, -8) + ", rdx");
    }
    for (int64_t v : {1LL, 127LL, 128LL, -128LL, -129LL, 0x7fffffffLL, -0x80000000LL}) {
      lv_term name = lv_atom_from_text(names[k], LV_ATOM_FIND_OR_CREATE);
      for (int r : {0, 1, 8, 12})
        ops(name, {reg(r), imm(v), reg(r)}, n + " " + R64[r] + ", " + num(v));
      ops(name, {mop(4, 64), imm(v), mop(4, 64)}, n + " " + q(4, 64) + ", " + num(v));
    }
    // A wide immediate goes through r11 (rax when the destination is r11):
    // xor names r11, not rbx.
    term(n + "(arg0, 81985529216486895, arg0)", "movabs r11, 81985529216486895\n" + n + " rax, r11");
    term(n + "(arg2, 81985529216486895, arg2)", "movabs rax, 81985529216486895\n" + n + " r11, rax");
    // Destination in memory: computed in rax.
    term(n + "(x(1), x(2), y(0))", "mov rax, r13\n" + n + " rax, r14\nmov qword ptr [rdi + 16], rax");
  }
  // xor is 64-bit throughout.
  term("xor(arg0, arg1, arg0)", "xor rax, r10");
  term("xor(x(0), -1, x(0))", "xor r12, -1");
  // add 0 is a move; add and sub of an immediate between registers a lea.
  term("add(x(1), 0, arg0)", "mov rax, r13");
  term("add(x(1), 24, arg0)", "lea rax, [r13 + 24]");
  term("sub(h, 16, arg1)", "lea r10, [rsi - 16]");
  term("add(sp, 8, a)", "lea rbp, [rsp + 8]");
  // The destination is the second operand: add, and, or, xor fold the first
  // in; sub goes through a scratch register (not the negation of B alone).
  term("add(x(1), arg1, arg1)", "add r10, r13");
  term("or(y(1), arg1, arg1)", "or r10, qword ptr [rdi + 24]");
  term("sub(x(0), arg1, arg1)", "mov rax, r12\nsub rax, r10\nmov r10, rax");
  term("sub(val, arg1, arg1)", "mov r11, rax\nsub r11, r10\nmov r10, r11");
  term("sub(x(1), y(2), y(2))", "mov rax, r13\nsub rax, qword ptr [rdi + 32]\nmov qword ptr [rdi + 32], rax");
  term("sub(x(1), val, val)", "mov r11, r13\nsub r11, rax\nmov rax, r11");
  // A memory operand based on the destination register.
  term("add(x(1), e(8), e)", "mov rax, r13\nadd rax, qword ptr [rdi + 8]\nmov rdi, rax");
  check();
}

TEST_F(EmitterTest, ShiftsAndOverflowChecks) {
  term("sh(arg0, 3, arg0)", "shl rax, 3");
  term("sh(arg0, 1, arg0)", "shl rax, 1");
  term("sh(x(2), -1, x(2))", "sar r14, 1");
  term("sh(x(2), -63, arg1)", "mov r10, r14\nsar r10, 63");
  term("sh(x(1), 4, y(0))", "mov rax, r13\nshl rax, 4\nmov qword ptr [rdi + 16], rax");
  // addo and subo keep the flag-setting forms; the overflow jump is short
  // when allowed and within reach.
  term_at("addo(x(1), 1, arg0, label(0))", [](uint64_t) { return "mov rax, r13\nadd rax, 1\njo 0b+" + num(0x40); });
  term_at("subo(arg0, x(2), arg0, label(2))", [](uint64_t) { return "sub rax, r14\njo 0b+" + num(0x4000); });
  term_at("addo(arg0, 0, arg0, label(1))", [](uint64_t) { return "add rax, 0\njo 0b-" + num(0x40); });
  term_at("subo(x(0), arg1, arg1, label(0))",
          [](uint64_t) { return "mov rax, r12\nsub rax, r10\nmov r10, rax\njo 0b+" + num(0x40); });
  term_at("mulo(x(1), 5, arg0, label(0))", [](uint64_t) { return "mov rax, r13\nimul rax, rax, 5\njo 0b+64"; });
  term_at("mulo(arg0, 1000, arg0, label(0))", [](uint64_t) { return "imul rax, rax, 1000\njo 0b+64"; });
  term_at("mulo(x(1), x(2), arg1, label(0))", [](uint64_t) { return "mov r10, r13\nimul r10, r14\njo 0b+64"; });
  term_at("mulo(x(1), arg1, arg1, label(0))", [](uint64_t) { return "imul r10, r13\njo 0b+64"; });
  term_at("mulo(x(1), y(1), y(1), label(0))",
          [](uint64_t) { return "mov rax, r13\nimul rax, qword ptr [rdi + 24]\nmov qword ptr [rdi + 24], rax\njo 0b+64"; });
  term_at("mulo(arg0, 81985529216486895, arg0, label(0))",
          [](uint64_t) { return "movabs r11, 81985529216486895\nimul rax, r11\njo 0b+64"; });
  // A short form is not taken when not allowed.
  add("addo long", [&] { lv_jit_emit(&a, terms::reader(w).read("addo(arg0, 1, arg0, label(0))")); },
      [](uint64_t) { return "add rax, 1\n{disp32} jo 0b+64"; }, false);
  check();
}

// The forms computed through a register (shifts, products, cells, 16-byte
// moves, conditional moves from memory, lea) over every register and base.
TEST_F(EmitterTest, RemainingFormsOverEveryRegisterAndBase) {
  auto addr = [](int base, int64_t disp) {
    std::string s = std::string("[") + R64[base];
    if (disp > 0) s += " + " + num(disp);
    if (disp < 0) s += " - " + num(-disp);
    return s + "]";
  };
  auto shift = [](const std::string& operand, int64_t count) {
    return (count >= 0 ? "shl " : "sar ") + operand + ", " + num(count >= 0 ? count : -count);
  };
  for (int r = 0; r < 16; r++) {
    int other = (r + 7) % 16;
    for (int64_t count : {1, 3, 63, -1, -5, -63}) ops(SH, {reg(r), imm(count), reg(r)}, shift(R64[r], count));
    ops(SH, {reg(r), imm(3), reg(other)}, std::string("mov ") + R64[other] + ", " + R64[r] + "\n" + shift(R64[other], 3));
    // lea for add and sub between registers; a negated -2^31 leaves 32 bits.
    for (int64_t d : {8LL, -128LL, 200LL, 0x7fffffffLL})
      ops(ADD, {reg(r), imm(d), reg(other)}, std::string("lea ") + R64[other] + ", " + addr(r, d));
    ops(SUB, {reg(r), imm(0), reg(other)}, std::string("lea ") + R64[other] + ", " + addr(r, 0));
    ops(SUB, {reg(r), imm(INT32_MIN), reg(other)},
        std::string("mov ") + R64[other] + ", " + R64[r] + "\nsub " + R64[other] + ", -2147483648");
  }
  for (int base = 0; base < 16; base++)
    for (int64_t d : {0LL, 8LL, -200LL, 0x12345LL}) {
      int other = (base + 3) % 16;
      for (int64_t count : {1, -5}) ops(SH, {mop(base, d), imm(count), mop(base, d)}, shift(q(base, d), count));
      int scratch = base == 0 ? 11 : 0;
      int a = (base + 5) % 16;
      ops(SH, {reg(a), imm(4), mop(base, d)},
          (a != scratch ? std::string("mov ") + R64[scratch] + ", " + R64[a] + "\n" : std::string()) +
              shift(R64[scratch], 4) + "\nmov " + q(base, d) + ", " + R64[scratch]);
      // dmove: aligned only for a multiple of 16 from B or the context.
      auto dm = [&](int b, int64_t disp) { return (disp % 16 == 0 && (b == 8 || b == 3)) ? "movdqa " : "movdqu "; };
      ops(DMOVE, {mop(base, d), mop(other, d + 16)},
          dm(base, d) + std::string("xmm0, ") + mem("xmmword", base, d) + "\n" + dm(other, d + 16) +
              mem("xmmword", other, d + 16) + ", xmm0");
      ops(CMOVE, {imm(4), mop(base, d), reg(other)},
          std::string("jne 1f\nmov ") + R64[other] + ", " + q(base, d) + "\n1:");
      // init into a register, into memory, and into the cell's own base
      // register (the address goes through a scratch register then).
      if (d == 0) {
        ops(INIT, {mop(base, 0), reg(10)},
            "mov " + q(base, 0) + ", " + R64[base] + (base != 10 ? std::string("\nmov r10, ") + R64[base] : ""));
        ops(INIT, {mop(base, 0), mop(other, 16)},
            "mov " + q(base, 0) + ", " + R64[base] + "\nmov " + q(other, 16) + ", " + R64[base]);
        continue;
      }
      int via = base == 10 ? 0 : 10;
      ops(INIT, {mop(base, d), reg(10)},
          std::string("lea ") + R64[via] + ", " + addr(base, d) + "\nmov " + q(base, d) + ", " + R64[via] +
              (via != 10 ? std::string("\nmov r10, ") + R64[via] : ""));
      int through = base == 0 || other == 0 ? 11 : 0;
      ops(INIT, {mop(base, d), mop(other, 16)},
          std::string("lea ") + R64[through] + ", " + addr(base, d) + "\nmov " + q(base, d) + ", " + R64[through] +
              "\nmov " + q(other, 16) + ", " + R64[through]);
      int own = base == 0 ? 11 : 0;
      ops(INIT, {mop(base, d), reg(base)},
          std::string("lea ") + R64[own] + ", " + addr(base, d) + "\nmov " + q(base, d) + ", " + R64[own] + "\nmov " +
              R64[base] + ", " + R64[own]);
    }
  term("init(val(8), arg0)", "lea r11, [rax + 8]\nmov qword ptr [rax + 8], r11\nmov rax, r11");
  term("init(val(8), y(0))", "lea r11, [rax + 8]\nmov qword ptr [rax + 8], r11\nmov qword ptr [rdi + 16], r11");
  term("init(h(8), h)", "lea rax, [rsi + 8]\nmov qword ptr [rsi + 8], rax\nmov rsi, rax");
  // Products over every register, and into memory on the grammar's bases.
  for (int r = 0; r < 16; r++) {
    std::string g = "gpr(" + num(r) + ")", R = R64[r];
    term_at("mulo(" + g + ", 7, " + g + ", label(0))", [&](uint64_t) { return "imul " + R + ", " + R + ", 7\njo 0b+64"; });
    term_at("mulo(" + g + ", 100000, " + g + ", label(0))",
            [&](uint64_t) { return "imul " + R + ", " + R + ", 100000\njo 0b+64"; });
    std::string g2 = "gpr(" + num((r + 1) % 16) + ")";
    term_at("mulo(" + g + ", " + g2 + ", " + g + ", label(0))",
            [&](uint64_t) { return "imul " + R + ", " + R64[(r + 1) % 16] + "\njo 0b+64"; });
    term_at("mulo(" + g + ", e(24), " + g + ", label(0))",
            [&](uint64_t) { return "imul " + R + ", qword ptr [rdi + 24]\njo 0b+64"; });
  }
  struct {
    const char* name;
    int base;
  } bases[] = {{"a", 5}, {"b", 8}, {"cp", 1}, {"e", 7}, {"h", 6}, {"s", 2}, {"val", 0}, {"sp", 4}};
  for (const auto& b : bases) {
    std::string m = std::string(b.name) + "(8)";
    const char* t = b.base == 0 ? "r11" : "rax";
    term_at("mulo(" + m + ", 5, " + m + ", label(0))", [&](uint64_t) {
      return std::string("mov ") + t + ", " + q(b.base, 8) + "\nimul " + t + ", " + t + ", 5\nmov " + q(b.base, 8) +
             ", " + t + "\njo 0b+64";
    });
  }
  // A wide immediate into memory from another operand.
  term("add(x(1), 81985529216486895, y(0))",
       "mov rax, r13\nmovabs r11, 81985529216486895\nadd rax, r11\nmov qword ptr [rdi + 16], rax");
  check();
}

// ---- Comparisons ---------------------------------------------------------------

TEST_F(EmitterTest, ComparesAndTests) {
  for (int r = 0; r < 16; r++) {
    ops(CMPS, {reg(r), reg(15 - r)}, std::string("cmp ") + R64[r] + ", " + R64[15 - r]);
    ops(CMPU, {reg(r), mop(r, 128)}, std::string("cmp ") + R64[r] + ", " + q(r, 128));
    ops(CMPS, {mop(r, 0), reg(r)}, "cmp " + q(r, 0) + ", " + R64[r]);
  }
  for (int64_t v : IMMEDIATES) {
    bool wide = v < INT32_MIN || v > INT32_MAX;
    term("cmps(x(2), " + num(v) + ")", wide ? "movabs r11, " + num(v) + "\ncmp r14, r11" : "cmp r14, " + num(v));
    term("cmpu(arg0, " + num(v) + ")", wide ? "movabs r11, " + num(v) + "\ncmp rax, r11" : "cmp rax, " + num(v));
  }
  term("cmps(x(4), y(1))", "mov rax, qword ptr [rdi + 24]\ncmp qword ptr [rbx + 352], rax");
  term("cmps(h, w_heap_warn_soft)", "cmp rsi, qword ptr [rbx + 152]");
  // The continuation's 16-bit opcode word.
  term("cmpu(cp(0), native_op)", "cmp word ptr [rcx], 700");
  term("cmpu(cp(0), 5)", "cmp word ptr [rcx], 5");
  term("cmpu(cp(8), native_op)", "cmp qword ptr [rcx + 8], 700");
  // test: the low byte for a mask of 0 to 127 (al, and REX for spl to dil
  // and r8b to r15b); a negative mask is sign-extended, never a byte.
  for (int r = 0; r < 16; r++) {
    ops(TEST, {reg(r), imm(5)}, std::string("test ") + R8[r] + ", 5");
    ops(TEST, {reg(r), imm(-2)}, std::string("test ") + R64[r] + ", -2");
    ops(TEST, {reg(r), imm(200)}, std::string("test ") + R64[r] + ", 200");
    ops(TEST, {reg(r), reg((r + 1) % 16)}, std::string("test ") + R64[r] + ", " + R64[(r + 1) % 16]);
    ops(TEST, {mop(r, 16), reg(3)}, "test " + q(r, 16) + ", rbx");
  }
  term("test(arg0, 100000)", "test rax, 100000");
  term("test(arg1, 81985529216486895)", "movabs r11, 81985529216486895\ntest r10, r11");
  term("test(3, x(0))", "test r12b, 3");
  // A memory mask within one byte tests that byte when the sign flag agrees.
  term("test(y(0), 4)", "test byte ptr [rdi + 16], 4");
  term("test(y(0), 1024)", "test byte ptr [rdi + 17], 4");
  term("test(y(0), 128)", "test qword ptr [rdi + 16], 128");
  term("test(y(0), -128)", "test qword ptr [rdi + 16], -128");
  term("test(y(0), -72057594037927936)", "test byte ptr [rdi + 23], 255");
  term("test(y(0), 65535)", "test qword ptr [rdi + 16], 65535");
  // and never narrows to a byte: it must clear the other bytes.
  term("and(y(0), 65280, y(0))", "and qword ptr [rdi + 16], 65280");
  term("and(y(0), 15, y(0))", "and qword ptr [rdi + 16], 15");
  check();
}

// ---- Control transfers ---------------------------------------------------------

TEST_F(EmitterTest, JumpsBranchesAndCalls) {
  term_at("jump(label(0))", [](uint64_t) { return "jmp 0b+64"; });
  term_at("jump(label(1))", [](uint64_t) { return "jmp 0b-64"; });
  term_at("jump(label(2))", [](uint64_t) { return "jmp 0b+16384"; });
  term_at("jump(label(3))", [](uint64_t) { return "jmp 0b-32768"; });
  add("jump no short", [&] { lv_jit_emit(&a, terms::reader(w).read("jump(label(0))")); },
      [](uint64_t) { return "{disp32} jmp 0b+64"; }, false);
  term("jump(fcp)", "{disp32} jmp qword ptr [rbx + 2368]");
  term("jump(cp(12))", "lea rax, [rcx + 12]\njmp rax");
  for (int c = 0; c < 10; c++) {
    std::string cond = CONDITIONS[c];
    term_at("branch(" + cond + ", label(0))", [&](uint64_t) { return std::string(JCC[c]) + " 0b+64"; });
    term_at("branch(" + cond + ", label(3))", [&](uint64_t) { return std::string(JCC[c]) + " 0b-32768"; });
    term("branch(" + cond + ", fcp)",
         std::string(INVERSE_JCC[c]) + " 1f\n{disp32} jmp qword ptr [rbx + 2368]\n1:");
  }
  // Through memory on other bases: to the address, as jump does; rsp and
  // r12 need their SIB byte, r8 to r15 REX.B.
  term("branch(e, cp(12))", "jne 1f\nlea rax, [rcx + 12]\njmp rax\n1:");
  ops(BRANCH, {imm(5), mop(4, 8)}, "je 1f\nlea rax, [rsp + 8]\njmp rax\n1:");
  ops(BRANCH, {imm(12), mop(8, 16)}, "jge 1f\nlea rax, [r8 + 16]\njmp rax\n1:");
  ops(BRANCH, {imm(4), mop(12, 0)}, "jne 1f\nlea rax, [r12]\njmp rax\n1:");
  ops(JUMP, {mop(13, 0)}, "lea rax, [r13]\njmp rax");
  // Memory targets other than cp(D) and fcp are no targets of the grammar.
  term("branch(ne, sp(8))", "");
  // No short branch within 24 bytes of the first assembled byte.
  term_place("branch(e, label(2))", a.begin + 8, [](uint64_t) { return "{disp32} je 0b+16384"; });
  labels[0] = 0;
  // Calls: rel32, through a trampoline when out of reach.
  term_at("call(label(2))", [](uint64_t) { return "call 0b+16384"; });
  uint64_t bind = lv_glue_address(atom("native_bind"));
  term_at("call(kernel(native_bind))", [&](uint64_t at) { return relative("call", at, bind, 5); });
  term_at("call(99999999999999)", [&](uint64_t at) { return relative("call", at, 99999999999999, 5); });
  term_at("jump(99999999999999)", [&](uint64_t at) { return relative("jmp", at, 99999999999999, 5); });
  lv_pred* p = pred("user", "callee", 1);
  term_at("call(native_entry(:(user, /(callee, 1))))",
          [&](uint64_t at) { return relative("call", at, reinterpret_cast<uint64_t>(p) + 24, 5); });
  term_at("ccall(geu, kernel(native_event))", [&](uint64_t at) {
    return "jb 1f\n" + relative("call", at, lv_glue_address(atom("native_event")), 5, 2) + "\n1:";
  });
  term_at("ccall(e, label(0))", [](uint64_t) { return "jne 1f\ncall 0b+64\n1:"; });
  // plcall pads to 16 bytes past the native code start.
  term_place("plcall(label(2))", a.begin + 8, [](uint64_t) {
    std::string nops;
    for (int i = 0; i < 16; i++) nops += "nop\n";
    return nops + "call 0b+16384";
  });
  term_place("plcall(label(2))", a.begin + 30, [](uint64_t) { return "call 0b+16384"; });
  check();
}

// Bytes that depend on the position (relative displacements, padding,
// labels) are marked so that the assembler encodes them again when the
// instruction moves; others may be moved as they are.
TEST_F(EmitterTest, PositionDependentEncodingsAreMarked) {
  struct {
    const char* term;
    bool dependent;
  } table[] = {
      {"call(kernel(native_bind))", true},     {"call(99999999999999)", true},
      {"ccall(e, kernel(native_bind))", true}, {"plcall(kernel(native_bind))", true},
      {"jump(kernel(native_proceed))", true},  {"branch(ne, kernel(native_fail_jit))", true},
      {"move(label(0), arg0)", true},          {"word(label(0))", true},
      {"align(0)", true},                      {"move(1, arg0)", false},
      {"move(kernel(native_bind), arg0)", false}, {"add(x(1), y(2), y(2))", false},
      {"jump(cp(12))", false},                 {"word(kernel(native_bind))", false},
  };
  for (const auto& t : table) {
    a.cursor = buffer + 0x20000;
    a.error = false;
    a.label_dependent = false;
    lv_jit_emit(&a, terms::reader(w).read(t.term));
    EXPECT_FALSE(a.error) << t.term;
    EXPECT_EQ(a.label_dependent, t.dependent) << t.term;
  }
}

TEST_F(EmitterTest, AlignmentPadsByTheCursorPosition) {
  struct {
    int k;
    int offset;
    int pad;
  } table[] = {{0, 0, 0}, {0, 1, 7}, {0, 9, 7}, {4, 3, 5}, {1, 4, 0}, {1, 0, 4}, {1, 5, 7},
               {2, 8, 0}, {2, 9, 7}, {2, 15, 1}, {3, 8, 0}, {3, 0, 8}, {3, 9, 15}};
  for (const auto& t : table) {
    std::string want;
    for (int i = 0; i < t.pad; i++) want += "nop\n";
    term("align(" + num(t.k) + ")", want, true, t.offset);
  }
  check();
}

// ---- Refused terms ---------------------------------------------------------------

TEST_F(EmitterTest, TermsOutsideTheGrammarAreRefused) {
  const char* refused[] = {
      "jump(arg0)",             // a register target
      "call(cp(8))",            // calls take immediates only
      "ccall(e, fcp)",          //
      "word(cp(0))",            //
      "move(1, 2)",             // an immediate destination
      "sh(arg0, arg1, arg0)",   // a register count
      "sh(arg0, 64, arg0)",     // a count beyond 63
      "move(fpr(6), fpr(0))",   // xmm6 and up belong to the C caller
      "move(x(256), arg0)",     // X256 and up live in the term references
      "move(gpr(16), arg0)",    //
      "move(label(8), arg0)",   // no such label
      "branch(zz, label(0))",   // no such condition
      "align(5)",               //
      "move(constant(f(x)), arg0)",  // only atomic words in code
      "move(y(-1), arg0)",      //
      "move(e(4294967296), arg0)",   // a displacement beyond 32 bits
      "move(kernel(native_nothing), arg0)",
      "call(procedure(nonsense))",
      "frobnicate(1)",          // no such instruction
      "move(arg0)",             //
      "try_chain([f(label(0), 0)], -1)",
      "try_chain([f(1, 0)], 1)",
      "switch([a], label(0))",  // a case that is no pair
      "switch([-(0, label(0))], label(0))",  // key 0 marks empty entries
      "half(4294967296)",
      "trampolines",            // not at the trampolines label
  };
  for (const char* text : refused) {
    a.cursor = buffer + 0x20000;
    a.error = false;
    labels[TRAMPOLINE_LABEL] = reinterpret_cast<uint64_t>(buffer + 0x30000);
    a.trampolines_requested = std::string(text) == "trampolines" ? 1 : 0;
    lv_jit_emit(&a, terms::reader(w).read(text));
    EXPECT_TRUE(a.error) << text;
  }
  // A try_chain off an 8-byte boundary, and a trampoline beyond the table.
  a.cursor = buffer + 0x20004;
  a.error = false;
  lv_jit_emit(&a, terms::reader(w).read("try_chain([f(label(0), 0)], 1)"));
  EXPECT_TRUE(a.error);
  a.error = false;
  a.trampolines_requested = 0;
  for (uint64_t i = 0; i < 4; i++) EXPECT_NE(lv_jit_trampoline(&a, 1000 + i), 0u);
  EXPECT_EQ(lv_jit_trampoline(&a, 1001), trampoline0() + 16);  // the same target, the same trampoline
  EXPECT_FALSE(a.error);
  EXPECT_EQ(lv_jit_trampoline(&a, 2000), 0u);
  EXPECT_TRUE(a.error);
}

// ---- Data laid into the code ---------------------------------------------------

TEST_F(EmitterTest, SwitchTablesAreTheKeyedTablesTheGlueSearches) {
  for (int count : {0, 3, 4, 7, 13}) {
    std::string cases_text = "[";
    for (int i = 0; i < count; i++)
      cases_text += std::string(i ? ", " : "") + "-(constant(" + num(100 + 7 * i) + "), " + num(5000 + i) + ")";
    cases_text += "]";
    a.cursor = buffer + 0x40000;
    a.error = false;
    lv_jit_emit(&a, terms::reader(w).read("switch(" + cases_text + ", 4999)"));
    ASSERT_FALSE(a.error) << count;
    auto* table = reinterpret_cast<lv_keytab*>(buffer + 0x40000);
    uint64_t capacity = lv_hash_capacity(static_cast<uint64_t>(count));
    EXPECT_EQ(table->mask, (capacity - 1) * 16);
    EXPECT_EQ(table->count, static_cast<uint64_t>(count));
    EXPECT_EQ(a.cursor, buffer + 0x40000 + 16 + 16 * capacity);
    for (int i = 0; i < count; i++)
      EXPECT_EQ(incore_gethash(table, lv_make_small(100 + 7 * i))->value, static_cast<uint64_t>(5000 + i));
    EXPECT_EQ(incore_gethash(table, lv_make_small(99))->value, 4999u);
    for (uint64_t i = 0; i < capacity; i++)
      if (lv_keytab_entries(table)[i].key == 0) {
        EXPECT_EQ(lv_keytab_entries(table)[i].value, 4999u);
      }
  }
}

TEST_F(EmitterTest, AlternativeRecordsChainRetryRoutinesByArity) {
  for (int arity : {0, 5, 9, 10, 12}) {
    a.cursor = buffer + 0x50000;
    a.error = false;
    labels[4] = 1111;
    labels[5] = 2222;
    labels[6] = 3333;
    lv_jit_emit(&a, terms::reader(w).read("try_chain([f(label(4), 77), g(label(5), 88), f(label(6), 99)], " +
                                          num(arity) + ")"));
    ASSERT_FALSE(a.error);
    auto* r = reinterpret_cast<uint64_t*>(buffer + 0x50000);
    std::string n = arity > 9 ? "n" : num(arity);
    for (int i = 0; i < 3; i++, r += 5) {
      EXPECT_EQ(r[0], i < 2 ? reinterpret_cast<uint64_t>(r + 5) : 0u);
      EXPECT_EQ(r[1], static_cast<uint64_t>(1111 * (i + 1)));
      EXPECT_EQ(r[2], lv_glue_address(atom(((i < 2 ? "native_retry" : "native_trust") + n).c_str())));
      EXPECT_EQ(r[3], (uint64_t{OP_TRY} << 32) | static_cast<uint64_t>(48 + 8 * arity));
      EXPECT_EQ(r[4], static_cast<uint64_t>(77 + 11 * i));
    }
  }
  // One alternative: next 0 and a trust routine.
  a.cursor = buffer + 0x50000;
  lv_jit_emit(&a, terms::reader(w).read("try_chain([f(label(4), 0)], 2)"));
  auto* r = reinterpret_cast<uint64_t*>(buffer + 0x50000);
  EXPECT_EQ(r[0], 0u);
  EXPECT_EQ(r[2], lv_glue_address(atom("native_trust2")));
}

TEST_F(EmitterTest, TrampolineAreaFollowsItsLabel) {
  uint8_t* at = buffer + 0x60000 + 5;
  labels[TRAMPOLINE_LABEL] = reinterpret_cast<uint64_t>(at);
  a.trampolines_requested = 0;
  lv_jit_trampoline(&a, 0x1122334455667788);
  lv_jit_trampoline(&a, 0x0102030405060708);
  a.cursor = at;
  a.error = false;
  lv_jit_emit(&a, TRAMPOLINES);
  ASSERT_FALSE(a.error);
  EXPECT_EQ(a.trampolines_emitted, 2);
  // An 11-byte gap: five 0F 0B pairs and a 90, then 16 bytes each.
  std::vector<uint8_t> want = {0x0F, 0x0B, 0x0F, 0x0B, 0x0F, 0x0B, 0x0F, 0x0B, 0x0F, 0x0B, 0x90};
  for (uint64_t target : {0x1122334455667788ULL, 0x0102030405060708ULL}) {
    for (uint8_t b : {0x0F, 0x0B, 0xFF, 0x25, 0, 0, 0, 0}) want.push_back(b);
    for (int i = 0; i < 8; i++) want.push_back(static_cast<uint8_t>(target >> (8 * i)));
  }
  EXPECT_EQ(gnu_as::hex(std::vector<uint8_t>(at, a.cursor)), gnu_as::hex(want));
  EXPECT_EQ(reinterpret_cast<uint64_t>(at + 11 + 2), trampoline0());
}

}  // namespace
