// The emitters: one instruction term to x86-64 machine code at the cursor.
//
// An instruction is encoded into a staging buffer that knows the address it
// will lie at (rip-relative and jump displacements depend on it), then
// copied to the cursor when the block has room for it.
#include <climits>
#include <cstring>
#include <initializer_list>
#include <utility>

#include "core/hashtab.h"
#include "core/memory.h"
#include "core/predefined_atoms.h"
#include "core/worker.h"
#include "jit/emitters.h"
#include "jit/glue_layout.h"
#include "jit/glue_table.h"
#include "jit/jit_atoms.h"

using namespace jit_atoms;

namespace {

constexpr int RAX = 0, RCX = 1, RDX = 2, RBX = 3, RSP = 4, RBP = 5, R8 = 8, R11 = 11;
constexpr int OVERFLOW_CONDITION = 0;

bool fits8(int64_t v) { return v >= -128 && v <= 127; }
bool fits32(int64_t v) { return v >= INT32_MIN && v <= INT32_MAX; }

using operand = lv_jit_operand;

bool is_imm(const operand& o) { return o.kind == LV_OPERAND_IMMEDIATE; }
bool is_reg(const operand& o) { return o.kind == LV_OPERAND_REGISTER; }
bool is_xmm(const operand& o) { return o.kind == LV_OPERAND_XMM; }
bool is_mem(const operand& o) { return o.kind == LV_OPERAND_MEMORY; }
operand reg(int r) { return {LV_OPERAND_REGISTER, r, 0}; }
operand mem(int base, int64_t disp) { return {LV_OPERAND_MEMORY, base, disp}; }
// Whether an operand reads or writes register r (as itself or as a base).
bool uses(const operand& o, int r) { return (is_reg(o) || is_mem(o)) && o.reg == r; }

// The bytes of one instruction, to be placed at address `at`.
struct code {
  uint64_t at;
  uint8_t bytes[96];
  int n = 0;
  bool failed = false;

  explicit code(uint64_t address) : at(address) {}
  uint64_t here() const { return at + static_cast<uint64_t>(n); }
  void u8(int b) {
    if (n < static_cast<int>(sizeof bytes))
      bytes[n++] = static_cast<uint8_t>(b);
    else
      failed = true;
  }
  void u32(uint32_t v) {
    for (int i = 0; i < 4; i++) u8(static_cast<int>(v >> (8 * i)));
  }
  void u64(uint64_t v) {
    for (int i = 0; i < 8; i++) u8(static_cast<int>(v >> (8 * i)));
  }
  void append(const code& c) {
    for (int i = 0; i < c.n; i++) u8(c.bytes[i]);
    failed |= c.failed;
  }
};

// The state an emitter works with: the assembly and the instruction.
struct emitter {
  lv_jit_asm* a;
  code& c;

  void fail() { c.failed = true; }

  // REX with W, R from the ModRM reg field, B from the r/m register or base;
  // written when any bit is set or forced (byte registers spl ... dil).
  void rex(bool w, int reg_field, int rm, bool force = false) {
    int r = 0x40 | (w ? 8 : 0) | ((reg_field & 8) != 0 ? 4 : 0) | ((rm & 8) != 0 ? 1 : 0);
    if (r != 0x40 || force) c.u8(r);
  }
  // ModRM (+ SIB + displacement) for a register or memory r/m operand.
  void modrm(int reg_field, const operand& rm, bool disp32 = false) {
    if (is_reg(rm) || is_xmm(rm)) {
      c.u8(0xC0 | (reg_field & 7) << 3 | (rm.reg & 7));
      return;
    }
    int base = rm.reg & 7;
    int64_t d = rm.value;
    if (!fits32(d)) {
      fail();
      return;
    }
    int mode = disp32 ? 2 : d == 0 && base != RBP ? 0 : fits8(d) ? 1 : 2;
    c.u8(mode << 6 | (reg_field & 7) << 3 | base);
    if (base == RSP) c.u8(0x24);
    if (mode == 1) c.u8(static_cast<int>(d));
    if (mode == 2) c.u32(static_cast<uint32_t>(d));
  }
  // A 64-bit instruction: REX.W, the opcode bytes, ModRM.
  void op64(std::initializer_list<int> opcode, int reg_field, const operand& rm) {
    rex(true, reg_field, rm.reg);
    for (int b : opcode) c.u8(b);
    modrm(reg_field, rm);
  }

  // The scratch register for a value: rax, or r11 while the operands use
  // rax; -1 (and the instruction fails) when they use both.
  int scratch_avoiding(const operand& x, const operand& y) {
    for (int r : {RAX, R11})
      if (!uses(x, r) && !uses(y, r)) return r;
    fail();
    return RAX;
  }

  void load_imm64(int r, uint64_t v) {
    rex(true, 0, r);
    c.u8(0xB8 + (r & 7));
    c.u64(v);
  }

  bool inside_block(int64_t v) const {
    return static_cast<uint64_t>(v) >= reinterpret_cast<uint64_t>(a->block) &&
           static_cast<uint64_t>(v) < reinterpret_cast<uint64_t>(a->block_end);
  }

  // lea r, [rip + (v - end of the lea)].
  void lea_rip(int r, int64_t v) {
    a->label_dependent = true;
    int64_t rel = v - static_cast<int64_t>(c.here() + 7);
    if (!fits32(rel)) {
      fail();
      return;
    }
    rex(true, r, 0);
    c.u8(0x8D);
    c.u8((r & 7) << 3 | 5);
    c.u32(static_cast<uint32_t>(rel));
  }

  // ---- move ---------------------------------------------------------------

  void move(const operand& src, const operand& dst) {
    if (lv_jit_operands_equal(src, dst)) return;
    if (is_imm(src)) {
      int64_t v = src.value;
      if (is_reg(dst)) {
        int r = dst.reg;
        if (v == 0) {
          // xor of the register with itself: the 32-bit form below r8.
          if (r >= 8) c.u8(0x4D);
          c.u8(0x31);
          c.u8(0xC0 | (r & 7) << 3 | (r & 7));
        } else if (inside_block(v)) {
          lea_rip(r, v);
        } else if (fits32(v) && v >= 0 && r < 8) {
          c.u8(0xB8 + r);
          c.u32(static_cast<uint32_t>(v));
        } else if (fits32(v)) {
          rex(true, 0, r);
          c.u8(0xC7);
          c.u8(0xC0 | (r & 7));
          c.u32(static_cast<uint32_t>(v));
        } else {
          load_imm64(r, static_cast<uint64_t>(v));
        }
        return;
      }
      if (is_mem(dst)) {
        int scratch = dst.reg == RAX || dst.reg == R8 ? RDX : RAX;
        if (inside_block(v)) {
          lea_rip(scratch, v);
          op64({0x89}, scratch, dst);
        } else if (fits32(v)) {
          op64({0xC7}, 0, dst);
          c.u32(static_cast<uint32_t>(v));
        } else {
          load_imm64(scratch, static_cast<uint64_t>(v));
          op64({0x89}, scratch, dst);
        }
        return;
      }
      fail();
      return;
    }
    if (is_reg(src)) {
      if (is_reg(dst) || is_mem(dst))
        op64({0x89}, src.reg, dst);
      else
        fail();
      return;
    }
    if (is_mem(src)) {
      if (is_reg(dst)) {
        op64({0x8B}, dst.reg, src);
      } else if (is_mem(dst)) {
        int scratch = dst.reg == RAX ? RDX : RAX;
        op64({0x8B}, scratch, src);
        op64({0x89}, scratch, dst);
      } else if (is_xmm(dst) && src.reg == RSP) {
        movsd(0x10, dst.reg, src);
      } else {
        fail();
      }
      return;
    }
    // An xmm register.
    if (is_xmm(dst))
      movsd(0x10, dst.reg, src);
    else if (is_mem(dst) && dst.reg == RSP)
      movsd(0x11, src.reg, dst);
    else
      fail();
  }

  void movsd(int opcode, int xmm, const operand& rm) {
    c.u8(0xF2);
    rex(false, xmm, rm.reg);
    c.u8(0x0F);
    c.u8(opcode);
    modrm(xmm, rm);
  }

  // 16 bytes through xmm0: aligned moves for a displacement that is a
  // multiple of 16 from B or the context, else unaligned ones.
  void dmove(const operand& src, const operand& dst) {
    if (!is_mem(src) || !is_mem(dst)) {
      fail();
      return;
    }
    for (int store = 0; store < 2; store++) {
      const operand& m = store != 0 ? dst : src;
      bool aligned = m.value % 16 == 0 && (m.reg == R8 || m.reg == RBX);
      c.u8(aligned ? 0x66 : 0xF3);
      rex(false, 0, m.reg);
      c.u8(0x0F);
      c.u8(store != 0 ? 0x7F : 0x6F);
      modrm(0, m);
    }
  }

  void cmove(int cc, const operand& src, const operand& dst) {
    if (is_reg(src) && is_reg(dst)) {
      op64({0x0F, 0x40 + cc}, dst.reg, src);
      return;
    }
    // The inverse short jump over the move.
    code inner(c.here() + 2);
    emitter e{a, inner};
    e.move(src, dst);
    if (inner.n == 0 && !inner.failed) return;
    c.u8(0x70 + (cc ^ 1));
    c.u8(inner.n);
    c.append(inner);
  }

  // Cell := a reference to itself; Dst := the same reference.
  void init(const operand& cell, const operand& dst) {
    if (!is_mem(cell) || (!is_reg(dst) && !is_mem(dst))) {
      fail();
      return;
    }
    if (cell.value == 0) {
      op64({0x89}, cell.reg, cell);
      move(reg(cell.reg), dst);
      return;
    }
    // The address goes through Dst itself unless that would overwrite the
    // cell's base before the store (init(val(8), arg0)), else through a
    // scratch register that neither operand uses.
    int r = is_reg(dst) && dst.reg != cell.reg ? dst.reg : scratch_avoiding(cell, dst);
    op64({0x8D}, r, cell);
    op64({0x89}, r, cell);
    move(reg(r), dst);
  }

  // A choicepoint address and the small integer of its word offset from
  // the choice-stack base, both ways.
  void cp2int(const operand& src, const operand& dst, bool to_int) {
    move(src, reg(RAX));
    operand base = mem(RBX, W_CHOICE_BASE);
    if (to_int) {
      op64({0x2B}, RAX, base);
      op64({0x83}, 0, reg(RAX));
      c.u8(3);
    } else {
      op64({0x83}, 5, reg(RAX));
      c.u8(3);
      op64({0x03}, RAX, base);
    }
    move(reg(RAX), dst);
  }

  // ---- Integer operations ------------------------------------------------

  enum alu_op { ADD_OP = 0, OR_OP = 1, AND_OP = 4, SUB_OP = 5, XOR_OP = 6, CMP_OP = 7 };

  // Dst op= B, always 64-bit.
  void op_assign(alu_op op, const operand& dst, const operand& b) {
    if (!is_reg(dst) && !is_mem(dst)) {
      fail();
      return;
    }
    if (is_reg(b)) {
      op64({op * 8 + 1}, b.reg, dst);
    } else if (is_mem(b)) {
      if (is_reg(dst)) {
        op64({op * 8 + 3}, dst.reg, b);
      } else {
        int scratch = scratch_avoiding(dst, dst);
        op64({0x8B}, scratch, b);
        op64({op * 8 + 1}, scratch, dst);
      }
    } else if (is_imm(b)) {
      int64_t v = b.value;
      if (fits8(v)) {
        op64({0x83}, op, dst);
        c.u8(static_cast<int>(v));
      } else if (fits32(v) && is_reg(dst) && dst.reg == RAX) {
        c.u8(0x48);
        c.u8(op * 8 + 5);
        c.u32(static_cast<uint32_t>(v));
      } else if (fits32(v)) {
        op64({0x81}, op, dst);
        c.u32(static_cast<uint32_t>(v));
      } else {
        int scratch = uses(dst, R11) ? RAX : R11;
        load_imm64(scratch, static_cast<uint64_t>(v));
        op64({op * 8 + 1}, scratch, dst);
      }
    } else {
      fail();
    }
  }

  // Shifts by an immediate count: left for a positive one, arithmetic right
  // for a negative one.
  void shift(const operand& dst, int64_t count) {
    int digit = count >= 0 ? 4 : 7;
    int64_t n = count >= 0 ? count : -count;
    if (n == 1) {
      op64({0xD1}, digit, dst);
    } else {
      op64({0xC1}, digit, dst);
      c.u8(static_cast<int>(n));
    }
  }

  // Dst := A op B. need_flags keeps the flag-setting forms (no lea, no
  // plain move for adding 0), for the overflow jump that follows.
  void alu(lv_term name, const operand& A, const operand& B, const operand& dst, bool need_flags) {
    if ((!is_reg(dst) && !is_mem(dst)) || is_xmm(A) || is_xmm(B)) {
      fail();
      return;
    }
    if (name == SH) {
      if (!is_imm(B) || B.value < -63 || B.value > 63) {
        fail();
        return;
      }
      if (lv_jit_operands_equal(A, dst) || is_reg(dst)) {
        move(A, dst);
        shift(dst, B.value);
      } else {
        int scratch = scratch_avoiding(dst, dst);
        move(A, reg(scratch));
        shift(reg(scratch), B.value);
        move(reg(scratch), dst);
      }
      return;
    }
    alu_op op = name == ADD || name == ADDO ? ADD_OP
                : name == SUB || name == SUBO ? SUB_OP
                : name == AND ? AND_OP
                : name == OR ? OR_OP
                              : XOR_OP;
    if (lv_jit_operands_equal(A, dst)) {
      op_assign(op, dst, B);
      return;
    }
    if (!need_flags && op == ADD_OP && is_imm(B) && B.value == 0) {
      move(A, dst);
      return;
    }
    if (!need_flags && (op == ADD_OP || op == SUB_OP) && is_reg(A) && is_reg(dst) && is_imm(B) &&
        B.value != INT64_MIN) {
      int64_t d = op == ADD_OP ? B.value : -B.value;
      if (fits32(d)) {
        op64({0x8D}, dst.reg, mem(A.reg, d));
        return;
      }
    }
    if (lv_jit_operands_equal(B, dst)) {
      // B is the destination: a commutative operation folds A into it, a
      // subtraction goes through a scratch register.
      if (op != SUB_OP) {
        op_assign(op, dst, A);
        return;
      }
      int scratch = scratch_avoiding(dst, A);
      move(A, reg(scratch));
      op_assign(op, reg(scratch), dst);
      move(reg(scratch), dst);
      return;
    }
    if (is_mem(dst) || uses(B, dst.reg)) {
      int scratch = scratch_avoiding(B, dst);
      if (scratch == R11 && is_imm(B) && !fits32(B.value)) {
        fail();  // no register left for the wide immediate
        return;
      }
      move(A, reg(scratch));
      op_assign(op, reg(scratch), B);
      move(reg(scratch), dst);
      return;
    }
    move(A, dst);
    op_assign(op, dst, B);
  }

  // Dst := A * B, then the overflow jump.
  void mulo(const operand& A, const operand& B, const operand& dst) {
    if ((!is_reg(dst) && !is_mem(dst)) || is_xmm(A) || is_xmm(B)) {
      fail();
      return;
    }
    const operand* factor = &B;
    int t;
    if (is_reg(dst) && lv_jit_operands_equal(A, dst)) {
      t = dst.reg;
    } else if (is_reg(dst) && lv_jit_operands_equal(B, dst)) {
      t = dst.reg;  // multiplication commutes: Dst *= A
      factor = &A;
    } else if (is_reg(dst) && !uses(B, dst.reg)) {
      t = dst.reg;
      move(A, reg(t));
    } else {
      t = scratch_avoiding(B, dst);
      move(A, reg(t));
    }
    const operand& f = *factor;
    if (is_imm(f) && fits8(f.value)) {
      op64({0x6B}, t, reg(t));
      c.u8(static_cast<int>(f.value));
    } else if (is_imm(f) && fits32(f.value)) {
      op64({0x69}, t, reg(t));
      c.u32(static_cast<uint32_t>(f.value));
    } else if (is_imm(f)) {
      int w = t == R11 ? RAX : R11;
      if (uses(dst, w)) {
        fail();
        return;
      }
      load_imm64(w, static_cast<uint64_t>(f.value));
      op64({0x0F, 0xAF}, t, reg(w));
    } else {
      op64({0x0F, 0xAF}, t, f);
    }
    if (!is_reg(dst) || t != dst.reg) move(reg(t), dst);
  }

  // ---- Comparisons --------------------------------------------------------

  void cmp(const operand& A, const operand& B) {
    if (is_mem(A) && A.reg == RCX && A.value == 0 && is_imm(B) && B.value >= -32768 && B.value <= 65535) {
      // The 16-bit opcode word of the continuation.
      int16_t v = static_cast<int16_t>(static_cast<uint16_t>(B.value));
      c.u8(0x66);
      if (fits8(v)) {
        c.u8(0x83);
        c.u8(0x39);
        c.u8(v);
      } else {
        c.u8(0x81);
        c.u8(0x39);
        c.u8(v & 0xFF);
        c.u8((v >> 8) & 0xFF);
      }
      return;
    }
    op_assign(CMP_OP, A, B);
  }

  void test(operand A, operand B) {
    if (is_imm(A)) std::swap(A, B);
    if (is_imm(A) || is_xmm(A) || is_xmm(B)) {
      fail();
      return;
    }
    if (is_reg(B)) {
      op64({0x85}, B.reg, A);
      return;
    }
    if (is_mem(B)) {
      if (is_reg(A)) {
        op64({0x85}, A.reg, B);
      } else {
        int scratch = scratch_avoiding(A, A);
        op64({0x8B}, scratch, B);
        op64({0x85}, scratch, A);
      }
      return;
    }
    int64_t v = B.value;
    if (is_reg(A) && v >= 0 && v <= 127) {
      // The low byte: exact for a mask of seven bits.
      if (A.reg == RAX) {
        c.u8(0xA8);
      } else {
        rex(false, 0, A.reg, A.reg >= RSP && A.reg < R8);
        c.u8(0xF6);
        c.u8(0xC0 | (A.reg & 7));
      }
      c.u8(static_cast<int>(v));
      return;
    }
    if (is_mem(A) && v != 0) {
      // A mask within one byte tests that byte, when the sign flag comes out
      // the same: the top byte, or a byte whose top bit the mask leaves out.
      for (int k = 0; k < 8; k++) {
        uint64_t byte = static_cast<uint64_t>(v) >> (8 * k) & 0xFF;
        if ((static_cast<uint64_t>(v) & ~(uint64_t{0xFF} << (8 * k))) != 0) continue;
        if ((k == 7 || (byte & 0x80) == 0) && fits32(A.value + k)) {
          rex(false, 0, A.reg);
          c.u8(0xF6);
          modrm(0, mem(A.reg, A.value + k));
          c.u8(static_cast<int>(byte));
          return;
        }
        break;
      }
    }
    if (fits32(v)) {
      if (is_reg(A) && A.reg == RAX) {
        c.u8(0x48);
        c.u8(0xA9);
      } else {
        op64({0xF7}, 0, A);
      }
      c.u32(static_cast<uint32_t>(v));
      return;
    }
    int scratch = uses(A, R11) ? RAX : R11;
    load_imm64(scratch, static_cast<uint64_t>(v));
    op64({0x85}, scratch, A);
  }

  // ---- Control transfers --------------------------------------------------

  // The rel32 displacement from the end of an instruction of `length` bytes
  // to the target, through a trampoline when the target is out of reach.
  bool rel32(uint64_t target, int length, int64_t* rel) {
    int64_t d = static_cast<int64_t>(target - (c.here() + length));
    if (fits32(d)) {
      *rel = d;
      return true;
    }
    uint64_t t = lv_jit_trampoline(a, target);
    if (t == 0) return false;
    d = static_cast<int64_t>(t - (c.here() + length));
    if (!fits32(d)) return false;
    *rel = d;
    return true;
  }

  bool short_fits(uint64_t target) const {
    return fits8(static_cast<int64_t>(target - (c.here() + 2)));
  }

  // A jump to an address: jmp rel8 or rel32 (cc < 0), or jcc.
  void jump_to(int cc, uint64_t target, bool may_be_short) {
    a->label_dependent = true;
    if (may_be_short && short_fits(target)) {
      c.u8(cc < 0 ? 0xEB : 0x70 + cc);
      c.u8(static_cast<int>(target - (c.here() + 1)));
      return;
    }
    int length = cc < 0 ? 5 : 6;
    int64_t rel;
    if (!rel32(target, length, &rel)) {
      fail();
      return;
    }
    if (cc < 0) {
      c.u8(0xE9);
    } else {
      c.u8(0x0F);
      c.u8(0x80 + cc);
    }
    c.u32(static_cast<uint32_t>(rel));
  }

  // A jump through a memory target: indirect through the context word, or
  // to the address base + D.
  void jump_memory(const operand& t) {
    if (t.reg == RBX) {
      c.u8(0xFF);
      modrm(4, t, true);
    } else {
      op64({0x8D}, RAX, t);
      c.u8(0xFF);
      c.u8(0xE0);
    }
  }

  void jump(const operand& t) {
    if (is_imm(t))
      jump_to(-1, static_cast<uint64_t>(t.value), a->short_jumps);
    else if (is_mem(t))
      jump_memory(t);
    else
      fail();
  }

  // Conditional jumps take the short form only 24 bytes or more past the
  // first assembled byte.
  bool branch_may_be_short() const { return a->short_jumps && c.here() >= reinterpret_cast<uint64_t>(a->begin) + 24; }

  void branch(int cc, const operand& t) {
    if (is_imm(t)) {
      jump_to(cc, static_cast<uint64_t>(t.value), branch_may_be_short());
    } else if (is_mem(t)) {
      code inner(c.here() + 2);
      emitter e{a, inner};
      e.jump_memory(t);
      c.u8(0x70 + (cc ^ 1));
      c.u8(inner.n);
      c.append(inner);
    } else {
      fail();
    }
  }

  void call(const operand& t) {
    if (!is_imm(t)) {
      fail();
      return;
    }
    int64_t rel;
    if (!rel32(static_cast<uint64_t>(t.value), 5, &rel)) {
      fail();
      return;
    }
    a->label_dependent = true;  // rel32: the bytes depend on the position
    c.u8(0xE8);
    c.u32(static_cast<uint32_t>(rel));
  }

  // A predicate call lies at least 16 bytes past the native code start (a
  // retired code head is 16 bytes long).
  void plcall(const operand& t) {
    a->label_dependent = true;
    while (c.here() < reinterpret_cast<uint64_t>(lv_jit_code_start(a)) + 16) c.u8(0x90);
    call(t);
  }

  void ccall(int cc, const operand& t) {
    c.u8(0x70 + (cc ^ 1));
    c.u8(5);
    call(t);
  }

  void align(int64_t k) {
    a->label_dependent = true;
    uint64_t at = c.here();
    uint64_t m16 = at % 16;
    uint64_t pad;
    if (k == 0 || k == 4)
      pad = (8 - at % 8) % 8;
    else if (k == 1)
      pad = (12 - at % 8) % 8;
    else if (k == 2)
      pad = m16 > 8 ? 16 - m16 : 0;
    else if (k == 3)
      pad = (24 - m16) % 16;
    else {
      fail();
      return;
    }
    for (uint64_t i = 0; i < pad; i++) c.u8(0x90);
  }
};

bool place(lv_jit_asm* a, const code& c) {
  if (c.failed || a->cursor + c.n > a->block_end) {
    a->error = true;
    return false;
  }
  std::memcpy(a->cursor, c.bytes, static_cast<size_t>(c.n));
  a->cursor += c.n;
  return true;
}

// Writes raw bytes at the cursor when the block has room.
uint8_t* reserve(lv_jit_asm* a, uint64_t n) {
  if (static_cast<uint64_t>(a->block_end - a->cursor) < n) {
    a->error = true;
    return nullptr;
  }
  uint8_t* p = a->cursor;
  a->cursor += n;
  return p;
}

void put64(uint8_t* p, uint64_t v) { std::memcpy(p, &v, 8); }
void put32(uint8_t* p, uint32_t v) { std::memcpy(p, &v, 4); }

// switch(Cases, Default): the keyed table native_switch searches, inline.
void emit_switch(lv_jit_asm* a, lv_term cases, lv_term default_target) {
  constexpr int64_t MAX_CASES = 1 << 20;
  lv_term list = lv_deref(cases);
  int64_t count = 0;
  for (lv_term l = list; lv_is_list(l); l = lv_deref(lv_list_cells(l)[1]))
    if (++count > MAX_CASES) break;
  lv_jit_operand fallback = lv_jit_decode_target(a, default_target);
  if (a->error || count > MAX_CASES || !is_imm(fallback)) {
    a->error = true;
    return;
  }
  if (fallback.reg == LV_IMMEDIATE_LABEL) a->label_dependent = true;
  uint64_t capacity = lv_hash_capacity(static_cast<uint64_t>(count));
  uint64_t bytes = capacity * 16 + 16;
  constexpr uint32_t flags = lv_mem_flags(LV_CAT_JIT_CODE);
  lv_keytab* table = static_cast<lv_keytab*>(lv_mem_alloc(bytes, flags));
  table->mask = (capacity - 1) * 16;
  table->count = 0;
  for (uint64_t i = 0; i < capacity; i++) lv_keytab_entries(table)[i] = {0, static_cast<uint64_t>(fallback.value)};
  lv_term l = list;
  for (; lv_is_list(l) && !a->error; l = lv_deref(lv_list_cells(l)[1])) {
    lv_term pair = lv_deref(lv_list_cells(l)[0]);
    if (!lv_is_struct(pair) || lv_struct_cells(pair)[0] != lv_make_functor(MINUS, 2)) {
      a->error = true;
      break;
    }
    lv_jit_operand key = lv_jit_decode_operand(a, lv_struct_cells(pair)[1]);
    lv_jit_operand target = lv_jit_decode_target(a, lv_struct_cells(pair)[2]);
    if (a->error || !is_imm(key) || key.value == 0 || !is_imm(target)) {
      a->error = true;
      break;
    }
    lv_hash_entry* e = incore_gethash(table, static_cast<uint64_t>(key.value));
    if (e->key == 0) {  // the first case of a key counts
      e->key = static_cast<uint64_t>(key.value);
      e->value = static_cast<uint64_t>(target.value);
      table->count++;
    }
  }
  if (l != LV_ATOM_NIL) a->error = true;
  uint8_t* p = a->error ? nullptr : reserve(a, bytes);
  if (p != nullptr) std::memcpy(p, table, bytes);
  lv_mem_free(table, bytes, flags);
}

// try_chain(Alternatives, Arity): 40-byte alternative records, 8-aligned
// so that the alternative word of a choicepoint keeps its flag bit clear.
void emit_try_chain(lv_jit_asm* a, lv_term alternatives, lv_term arity_term) {
  constexpr int64_t MAX_ALTERNATIVES = 1 << 20;
  lv_term arity_word = lv_deref(arity_term);
  int64_t arity = lv_is_small(arity_word) ? lv_small_value(arity_word) : -1;
  if (arity < 0 || arity > static_cast<int64_t>(LV_X_REGISTERS) ||
      reinterpret_cast<uint64_t>(a->cursor) % 8 != 0) {
    a->error = true;
    return;
  }
  a->label_dependent = true;
  lv_term list = lv_deref(alternatives);
  int64_t count = 0;
  for (lv_term l = list; lv_is_list(l); l = lv_deref(lv_list_cells(l)[1]))
    if (++count > MAX_ALTERNATIVES) break;
  if (count > MAX_ALTERNATIVES) {
    a->error = true;
    return;
  }
  // The retry and trust routines by arity: native_retry0 is atom 465,
  // native_retry9 456 and native_retryn 455; native_trust0 to native_trustn
  // are 498 down to 488.
  unsigned offset = arity > 9 ? 10 : static_cast<unsigned>(arity);
  uint64_t retry = lv_glue_address(lv_atom_from_index(465 - offset));
  uint64_t trust = lv_glue_address(lv_atom_from_index(498 - offset));
  uint64_t first = reinterpret_cast<uint64_t>(a->cursor);
  int64_t i = 0;
  lv_term l = list;
  for (; lv_is_list(l); l = lv_deref(lv_list_cells(l)[1]), i++) {
    lv_term element = lv_deref(lv_list_cells(l)[0]);
    const lv_term* cells = lv_is_struct(element) ? lv_struct_cells(element) : nullptr;
    if (cells == nullptr || lv_is_box_header(cells[0]) || lv_functor_arity(cells[0]) != 2) {
      a->error = true;
      return;
    }
    lv_term label = lv_deref(cells[1]);
    if (!lv_is_struct(label) || lv_struct_cells(label)[0] != lv_make_functor(LABEL, 1)) {
      a->error = true;
      return;
    }
    lv_jit_operand target = lv_jit_decode_operand(a, label);
    int64_t emulator_alternative;
    if (a->error || !lv_jit_eval_size_expr(cells[2], &emulator_alternative)) {
      a->error = true;
      return;
    }
    bool last = i == count - 1;
    uint8_t* p = reserve(a, 40);
    if (p == nullptr) return;
    put64(p, last ? 0 : first + 40 * static_cast<uint64_t>(i + 1));
    put64(p + 8, static_cast<uint64_t>(target.value));
    put64(p + 16, last ? trust : retry);
    put32(p + 24, static_cast<uint32_t>(48 + 8 * arity));
    put32(p + 28, OP_TRY);
    put64(p + 32, static_cast<uint64_t>(emulator_alternative));
  }
  if (l != LV_ATOM_NIL) a->error = true;
}

// The trampoline area: from the trampolines label, padded to 16 with 0F 0B
// pairs (and one 90 for an odd gap), then {0F 0B, FF 25 00000000, target}
// per requested target.
void emit_trampolines(lv_jit_asm* a) {
  a->label_dependent = true;
  if (a->trampolines_requested == 0) return;
  if (a->trampolines_label < 0 || a->trampolines_label >= a->label_count) {
    a->error = true;
    return;
  }
  uint64_t at = a->labels[a->trampolines_label];
  if (at != reinterpret_cast<uint64_t>(a->cursor)) {
    a->error = true;  // the label must stand right before the term
    return;
  }
  uint64_t gap = (16 - at % 16) % 16;
  uint8_t* p = reserve(a, gap + 16 * static_cast<uint64_t>(a->trampolines_requested));
  if (p == nullptr) return;
  for (uint64_t i = 0; i + 1 < gap; i += 2) {
    *p++ = 0x0F;
    *p++ = 0x0B;
  }
  if (gap % 2 != 0) *p++ = 0x90;
  for (int64_t i = 0; i < a->trampolines_requested; i++, p += 16) {
    static const uint8_t head[8] = {0x0F, 0x0B, 0xFF, 0x25, 0, 0, 0, 0};
    std::memcpy(p, head, 8);
    put64(p + 8, a->trampoline_targets[i]);
  }
  a->trampolines_emitted = a->trampolines_requested;
}

}  // namespace

uint64_t lv_jit_trampoline(lv_jit_asm* a, uint64_t target) {
  a->label_dependent = true;
  if (a->trampolines_label < 0 || a->trampolines_label >= a->label_count) {
    a->error = true;
    return 0;
  }
  int64_t i = 0;
  while (i < a->trampolines_requested && a->trampoline_targets[i] != target) i++;
  if (i == a->trampolines_requested) {
    if (i >= a->trampoline_capacity) {
      a->error = true;
      return 0;
    }
    a->trampoline_targets[i] = target;
    a->trampolines_requested++;
  }
  uint64_t area = (a->labels[a->trampolines_label] + 15) & ~uint64_t{15};
  return area + 2 + 16 * static_cast<uint64_t>(i);
}

void lv_jit_emit_operands(lv_jit_asm* a, lv_term name, int count, const lv_jit_operand* o) {
  code c(reinterpret_cast<uint64_t>(a->cursor));
  emitter e{a, c};
  auto need = [&](int n) {
    if (count == n) return true;
    a->error = true;
    return false;
  };
  auto condition = [&](const lv_jit_operand& x) { return is_imm(x) && x.value >= 0 && x.value < 16; };
  switch (name) {
    case MOVE:
      if (need(2)) e.move(o[0], o[1]);
      break;
    case DMOVE:
      if (need(2)) e.dmove(o[0], o[1]);
      break;
    case CMOVE:
      if (need(3) && condition(o[0])) e.cmove(static_cast<int>(o[0].value), o[1], o[2]);
      else a->error = true;
      break;
    case INIT:
      if (need(2)) e.init(o[0], o[1]);
      break;
    case CP2INT:
    case INT2CP:
      if (need(2)) e.cp2int(o[0], o[1], name == CP2INT);
      break;
    case ADD:
    case SUB:
    case AND:
    case OR:
    case XOR:
    case SH:
      if (need(3)) e.alu(name, o[0], o[1], o[2], false);
      break;
    case ADDO:
    case SUBO:
    case MULO:
      if (!need(4) || !is_imm(o[3])) {
        a->error = true;
        break;
      }
      if (name == MULO)
        e.mulo(o[0], o[1], o[2]);
      else
        e.alu(name, o[0], o[1], o[2], true);
      e.jump_to(OVERFLOW_CONDITION, static_cast<uint64_t>(o[3].value), e.branch_may_be_short());
      break;
    case CMPS:
    case CMPU:
      if (need(2)) e.cmp(o[0], o[1]);
      break;
    case TEST:
      if (need(2)) e.test(o[0], o[1]);
      break;
    case JUMP:
      if (need(1)) e.jump(o[0]);
      break;
    case BRANCH:
      if (need(2) && condition(o[0])) e.branch(static_cast<int>(o[0].value), o[1]);
      else a->error = true;
      break;
    case CALL:
      if (need(1)) e.call(o[0]);
      break;
    case PLCALL:
      if (need(1)) e.plcall(o[0]);
      break;
    case CCALL:
      if (need(2) && condition(o[0])) e.ccall(static_cast<int>(o[0].value), o[1]);
      else a->error = true;
      break;
    case POP:
      if (need(0)) c.u8(0x58);
      break;
    case HALF:
      if (need(1) && is_imm(o[0]) && o[0].value >= INT32_MIN && o[0].value <= UINT32_MAX)
        c.u32(static_cast<uint32_t>(o[0].value));
      else
        a->error = true;
      break;
    case WORD:
      if (need(1) && is_imm(o[0])) {
        if (o[0].reg == LV_IMMEDIATE_LABEL) a->label_dependent = true;
        c.u64(static_cast<uint64_t>(o[0].value));
      } else {
        a->error = true;
      }
      break;
    case ALIGN:
      if (need(1) && is_imm(o[0])) e.align(o[0].value);
      else a->error = true;
      break;
    case LABEL:
      if (need(1) && is_imm(o[0]) && o[0].value >= 0 && o[0].value < a->label_count) {
        uint64_t here = reinterpret_cast<uint64_t>(a->cursor);
        if (a->labels[o[0].value] != here) a->label_moved = true;
        a->labels[o[0].value] = here;
      } else {
        a->error = true;
      }
      break;
    default:
      a->error = true;
      break;
  }
  if (!a->error) place(a, c);
}

void lv_jit_emit(lv_jit_asm* a, lv_term insn) {
  insn = lv_deref(insn);
  if (lv_is_atom(insn)) {
    if (insn == POP) {
      lv_jit_emit_operands(a, POP, 0, nullptr);
    } else if (insn == TRAMPOLINES) {
      emit_trampolines(a);
    } else if (insn != COMMENT) {
      a->error = true;
    }
    return;
  }
  if (!lv_is_struct(insn) || lv_is_box_header(lv_struct_cells(insn)[0])) {
    a->error = true;
    return;
  }
  const lv_term* cells = lv_struct_cells(insn);
  lv_term name = lv_functor_atom(cells[0]);
  int arity = static_cast<int>(lv_functor_arity(cells[0]));
  const lv_term* args = cells + 1;
  if (name == COMMENT || name == CONTEXT || name == TOC) return;
  if (name == SWITCH && arity == 2) {
    emit_switch(a, args[0], args[1]);
    return;
  }
  if (name == TRY_CHAIN && arity == 2) {
    emit_try_chain(a, args[0], args[1]);
    return;
  }
  lv_jit_operand o[4];
  if (arity > 4) {
    a->error = true;
    return;
  }
  // The operands by the instruction's grammar: conditions, targets, label
  // numbers, size expressions and plain operands.
  bool conditional = name == CMOVE || name == BRANCH || name == CCALL;
  for (int i = 0; i < arity; i++) {
    lv_term arg = lv_deref(args[i]);
    if (conditional && i == 0) {
      int cc = lv_is_atom(arg) ? lv_jit_condition(arg) : -1;
      if (cc < 0) a->error = true;
      o[i] = {LV_OPERAND_IMMEDIATE, LV_IMMEDIATE_VALUE, cc};
    } else if (((name == JUMP || name == CALL || name == PLCALL || name == WORD) && i == 0) ||
               ((name == BRANCH || name == CCALL) && i == 1)) {
      o[i] = lv_jit_decode_target(a, arg);
    } else if (name == LABEL || name == ALIGN || name == HALF) {
      int64_t v = 0;
      if (!lv_jit_eval_size_expr(arg, &v)) a->error = true;
      o[i] = {LV_OPERAND_IMMEDIATE, LV_IMMEDIATE_VALUE, v};
    } else if ((name == ADDO || name == SUBO || name == MULO) && i == 3) {
      o[i] = lv_jit_decode_target(a, arg);
    } else {
      o[i] = lv_jit_decode_operand(a, arg);
    }
  }
  if (!a->error) lv_jit_emit_operands(a, name, arity, o);
}
