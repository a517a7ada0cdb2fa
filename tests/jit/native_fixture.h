// Test support: native code on a real engine. A small assembler turns a
// predicate's instruction terms (given as text) into a code block laid out
// as native predicates are (the record's address, then the code start with
// its 14-byte prologue), passes over it until the labels settle, adds the
// trampoline area and installs it; predicates' entry stubs are pointed at
// the glue that serves their call kind. The emulator fixture runs queries.
//
// The compiled-code conventions the programs follow:
//   - the code start: cmps(h, w_heap_warn_soft) (7 bytes, 48 3B ...),
//     ccall(geu, kernel(native_event)) (7 bytes), then at the C entry pop,
//     which drops the caller's return address;
//   - a call: CP set to the return point first (for a call that is not the
//     last), plcall(native_entry(P)), then align(0), word(0) and the call
//     site word;
//   - a return point: align(1), label(L), half(native_op) and the word of
//     the equivalent emulator code: a native-operation header;
//   - a choicepoint: the emulator's layout, its alternative word the TRY
//     word of a try_chain record (the record + 28).
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/memory.h"
#include "jit/emitters.h"
#include "jit/glue_table.h"
#include "jit/native_entry.h"
#include "jit/native_stub.h"
#include "store/static_code.h"
#include "support/emulator_fixture.h"
#include "support/term_text.h"

class NativeTest : public EmulatorTest {
 protected:
  void SetUp() override {
    // Ordinary memory is executable: predicate records hold the stubs
    // native code calls, and code blocks come from it.
    lv_mem_default_hooks();
    ASSERT_EQ(lv_mem_init(1), 0);
    EmulatorTest::SetUp();
    lv_native_code_on = true;
  }
  void TearDown() override {
    lv_native_code_on = false;
    EmulatorTest::TearDown();
  }

  uint64_t glue(const char* name) { return lv_glue_address(atom(name)); }

  static std::string n(int64_t v) { return std::to_string(v); }
  static std::string address(const void* p) { return n(reinterpret_cast<int64_t>(p)); }
  // The term naming a predicate of module user.
  static std::string spec(const std::string& name, int arity) {
    return ":(user, /(" + name + ", " + n(arity) + "))";
  }

  // The code start's prologue.
  static std::vector<std::string> prologue() {
    return {"cmps(h, w_heap_warn_soft)", "ccall(geu, kernel(native_event))", "pop"};
  }
  // A call of the predicate (the last one of its clause, or one returning
  // to the return point made by header(ret)).
  static std::vector<std::string> call_to(const std::string& target, int ret = -1) {
    std::vector<std::string> c;
    if (ret >= 0) c.push_back("move(label(" + n(ret) + "), cp)");
    c.insert(c.end(), {"plcall(" + target + ")", "align(0)", "word(0)", ret >= 0 ? "word(label(" + n(ret) + "))" : "word(0)"});
    return c;
  }
  // A native-operation header at label l, standing for the emulator code at
  // `emulator`.
  static std::vector<std::string> header(int l, const uint32_t* emulator = lv_proceed_code) {
    return {"align(1)", "label(" + n(l) + ")", "half(native_op)", "word(" + address(emulator) + ")"};
  }
  // Pushes a choicepoint of the emulator's layout for `arity` argument
  // registers whose alternative is the first record at label `records`.
  static std::vector<std::string> push_choicepoint(int records, int arity) {
    int size = ((48 + 8 * arity) + 15) & ~15;
    std::vector<std::string> c = {"sub(b, " + n(size) + ", b)", "move(label(" + n(records) + "), arg1)",
                                  "add(arg1, 28, arg1)",       "move(arg1, b(0))",
                                  "move(a, b(8))",             "move(h, b(16))",
                                  "move(tr, b(24))",           "move(e, b(32))",
                                  "move(cp, b(40))"};
    for (int i = 0; i < arity; i++) c.push_back("move(x(" + n(i) + "), b(" + n(48 + 8 * i) + "))");
    if (arity % 2 != 0) c.push_back("move(nil, b(" + n(48 + 8 * arity) + "))");
    return c;
  }

  // Assembles the program (after the record's word) into a block for pred
  // and installs it. `labels` counts the program's labels; one more stands
  // before the trampoline area.
  void install(lv_pred* pred, const std::vector<std::vector<std::string>>& pieces, int labels) {
    std::vector<std::string> lines = {"word(" + address(pred) + ")"};
    for (const auto& piece : pieces) lines.insert(lines.end(), piece.begin(), piece.end());
    lines.push_back("label(" + n(labels) + ")");
    lines.push_back("trampolines");
    terms::reader r(w);
    std::vector<lv_term> insns;
    for (const std::string& line : lines) insns.push_back(r.read(line));

    constexpr int64_t TRAMPOLINES = 64;
    uint64_t size = 48 * lines.size() + 16 * (TRAMPOLINES + 1) + 64;
    auto* raw = static_cast<uint8_t*>(lv_mem_alloc(size + 16, lv_mem_flags(LV_CAT_JIT_CODE)));
    auto* block = reinterpret_cast<uint8_t*>((reinterpret_cast<uintptr_t>(raw) + 15) & ~uintptr_t{15});
    std::vector<uint64_t> label_table(static_cast<size_t>(labels + 1), reinterpret_cast<uint64_t>(block + size - 64));
    std::vector<uint64_t> targets(TRAMPOLINES);
    std::vector<int> was_short(insns.size(), 0);
    lv_jit_asm a{};
    a.block = block;
    a.block_end = block + size;
    a.begin = block + 24;
    a.labels = label_table.data();
    a.label_count = labels + 1;
    a.trampoline_targets = targets.data();
    a.trampoline_capacity = TRAMPOLINES;
    a.trampolines_label = labels;
    for (int pass = 0;; pass++) {
      ASSERT_LT(pass, 20) << "labels do not settle";
      a.cursor = a.begin;
      a.trampolines_requested = 0;
      a.trampolines_emitted = 0;
      bool moved = false;
      for (size_t i = 0; i < insns.size(); i++) {
        a.short_jumps = pass < 4 || was_short[i] != 0;
        a.label_dependent = false;
        a.label_moved = false;
        uint8_t* start = a.cursor;
        lv_jit_emit(&a, insns[i]);
        ASSERT_FALSE(a.error) << "cannot assemble " << lines[i];
        was_short[i] = a.cursor - start == 2 && a.label_dependent;
        moved |= a.label_moved;
      }
      if (!moved && a.trampolines_emitted >= a.trampolines_requested) break;
    }
    std::memcpy(block + 8, block + 32, 16);
    reinterpret_cast<uint64_t*>(block)[0] = size;
    pred->jit_block = block;
    pred->flags |= LV_PRED_JITTED;
    lv_select_entry(pred, false);
    link(pred);
  }

  // Points the predicate's stub at the glue that serves its call kind.
  void link(lv_pred* p) {
    const char* target = p->kind == LV_KIND_JITTED           ? "native_shunt_link"
                         : p->kind == LV_KIND_ENTER_C        ? "native_c"
                         : p->kind == LV_KIND_BUILTIN_NODEBUG_CALL ? "native_nodebug_call"
                                                             : "native_nonjit";
    lv_write_native_jump(p->native_stub, glue(target));
  }
};
