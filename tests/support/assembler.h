// Test support: an assembler that builds code blocks from a readable list of
// instructions and labels. It picks the plain or the Q form of an
// instruction so that 64-bit operands lie on 8-byte boundaries, lays out
// register lists and inline boxes, and resolves labels to code addresses.
//
//   Assembler a;
//   a.op(LV_OP_GET_CONSTANT, {X(0), C(atom)}).op(LV_OP_PROCEED);
//   a.label("else").op(LV_OP_FAIL);
//   lv_code_block* block = a.finish();
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <map>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "machine/insn_walk.h"
#include "machine/instructions.h"
#include "store/code_block.h"

namespace assembler {

struct Operand {
  explicit Operand(char k, uint64_t v = 0, std::string l = {}) : kind(k), value(v), label(std::move(l)) {}
  char kind;
  uint64_t value;
  std::string label;             // L and A operands may name a label
  std::vector<uint32_t> words;   // R, G and B operands: their words
};

inline Operand X(unsigned n) { return Operand('X', lv_x_operand(n)); }
inline Operand Y(unsigned k) { return Operand('Y', lv_y_operand(k)); }
inline Operand S(unsigned n) { return Operand('S', lv_y_operand(n)); }
inline Operand N(uint32_t v) { return Operand('N', v); }
inline Operand C(uint64_t term) { return Operand('C', term); }
inline Operand F(uint64_t functor) { return Operand('F', functor); }
inline Operand P(const void* pred) { return Operand('P', reinterpret_cast<uint64_t>(pred)); }
inline Operand P(std::nullptr_t) { return Operand('P', 0); }
inline Operand P(const char* label) { return Operand('P', 0, label); }
inline Operand A(const uint32_t* address) { return Operand('A', reinterpret_cast<uint64_t>(address)); }
inline Operand A(const char* label) { return Operand('A', 0, label); }
inline Operand L(const uint32_t* address) { return Operand('L', reinterpret_cast<uint64_t>(address)); }
inline Operand L(const char* label) { return Operand('L', 0, label); }
inline Operand I(int64_t v) { return Operand('I', static_cast<uint64_t>(v)); }

// An inline box: the header and the value words (no trailer).
inline Operand B(std::initializer_list<uint64_t> words) {
  Operand o('B');
  for (uint64_t w : words) {
    o.words.push_back(static_cast<uint32_t>(w));
    o.words.push_back(static_cast<uint32_t>(w >> 32));
  }
  return o;
}

// Register-load list entries: what X(first + i) receives.
enum LoadKind { VALUE = 0, VARIABLE = 1, UNSAFE_VALUE = 2, VOID = 3 };
inline Operand R(unsigned first, std::initializer_list<std::pair<LoadKind, unsigned>> entries) {
  Operand o('R');
  o.words.push_back(first | static_cast<uint32_t>(entries.size()) << 8);
  for (const auto& [kind, k] : entries) o.words.push_back((kind == VOID ? 0 : lv_y_operand(k)) | kind);
  return o;
}

// Register-save list: pairs {X register, Y variable}.
inline Operand G(std::initializer_list<std::pair<unsigned, unsigned>> pairs) {
  Operand o('G');
  o.words.push_back(static_cast<uint32_t>(pairs.size()));
  for (const auto& [x, y] : pairs) {
    o.words.push_back(lv_x_operand(x));
    o.words.push_back(lv_y_operand(y));
  }
  return o;
}

// What was assembled, piece by piece, for writers of other encodings of the
// same code (the quick-load test writer).
struct Piece {
  enum Kind { INSN, WORD, NOP, ENTRY } kind = INSN;
  size_t position = 0;         // word index
  lv_insn insn = LV_OP_NOP;    // INSN: the form chosen
  std::vector<Operand> ops;    // INSN: the operands as given (no alignment word)
  uint32_t value = 0;          // WORD: the word; NOP: the skip count; ENTRY: the arity
  int form = 0;                // ENTRY: 1 an internal entry header, 0 a try record
  std::string label;           // ENTRY: the target
  size_t target_words = 0;     // ENTRY: words past the label
};

class Assembler {
 public:
  // Appends an instruction. Operands are given without the Q alignment
  // word; the form is chosen to align the first 64-bit operand.
  Assembler& op(lv_insn n, std::initializer_list<Operand> operands = {}) { return op(n, std::vector<Operand>(operands)); }
  Assembler& op(lv_insn n, const std::vector<Operand>& ops) {
    lv_insn plain = lv_insn_is_q(n) ? lv_insn_q_twin(n) : n;
    lv_insn chosen = plain;
    lv_insn q = lv_insn_q_twin(plain);
    if (q != plain && !aligned(plain, ops)) chosen = q;
    std::string expected = lv_format_operands[lv_instruction_format_table[chosen]];
    std::string given;
    for (const Operand& o : ops) given += o.kind;
    if (expected != given && expected != "p" + given) throw std::logic_error(std::string("operands of ") + lv_instruction_name_table[chosen]);
    Piece& p = add_piece(Piece::INSN);
    p.insn = chosen;
    p.ops = ops;
    words_.push_back(lv_opcode(chosen));
    if (expected[0] == 'p') words_.push_back(0);
    for (const Operand& o : ops) emit(o);
    return *this;
  }

  Assembler& label(const std::string& name) {
    labels_[name] = words_.size();
    return *this;
  }

  Assembler& word(uint32_t w) {
    add_piece(Piece::WORD).value = w;
    words_.push_back(w);
    return *this;
  }

  // NOP with operand n (at least 1): the next instruction starts n words
  // after the operand word; the words between are zero.
  Assembler& nop(uint32_t n) {
    add_piece(Piece::NOP).value = n;
    words_.push_back(lv_opcode(LV_OP_NOP));
    words_.push_back(n);
    for (uint32_t i = 1; i < n; i++) words_.push_back(0);
    return *this;
  }

  // An internal entry header (form 1) or an inline try record (form 0) for
  // the code at the label plus target_words words, written with
  // lv_code_write_entry_header when the block is built.
  Assembler& entry(int form, const std::string& target, unsigned arity, size_t target_words = 0) {
    Piece& p = add_piece(Piece::ENTRY);
    p.value = arity;
    p.form = form;
    p.label = target;
    p.target_words = target_words;
    words_.insert(words_.end(), 8, 0);
    return *this;
  }

  size_t size() const { return words_.size(); }
  const std::vector<Piece>& pieces() const { return pieces_; }
  size_t label_position(const std::string& name) const {
    auto it = labels_.find(name);
    if (it == labels_.end()) throw std::logic_error("undefined label " + name);
    return it->second;
  }

  // Builds the block, registered in the tree unless asked otherwise.
  lv_code_block* finish(bool register_block = true) {
    block_ = lv_code_block_new(words_.size());
    uint32_t* code = lv_code_block_code(block_);
    for (size_t i = 0; i < words_.size(); i++) code[i] = words_[i];
    for (const auto& [position, name] : fixups_)
      lv_code_write64(&code[position], reinterpret_cast<uint64_t>(&code[label_position(name)]));
    for (const Piece& p : pieces_)
      if (p.kind == Piece::ENTRY)
        lv_code_write_entry_header(&code[p.position], &code[label_position(p.label) + p.target_words], p.value, p.form);
    if (register_block) lv_code_block_register(block_);
    return block_;
  }

  const uint32_t* at(const std::string& name) const { return lv_code_block_code(block_) + labels_.at(name); }
  const uint32_t* start() const { return lv_code_block_code(block_); }

 private:
  Piece& add_piece(Piece::Kind kind) {
    pieces_.emplace_back();
    pieces_.back().kind = kind;
    pieces_.back().position = words_.size();
    return pieces_.back();
  }

  static bool wide(char kind) { return lv_operand_is_wide(kind) || kind == 'B'; }

  // Whether the plain form places its first 64-bit operand on an 8-byte
  // boundary here (the code starts 8-aligned in its block).
  bool aligned(lv_insn plain, const std::vector<Operand>& ops) const {
    size_t at = words_.size() + 1;
    for (const Operand& o : ops) {
      if (wide(o.kind)) return at % 2 == 0;
      at += o.words.empty() ? 1 : o.words.size();
    }
    (void)plain;
    return true;
  }

  void emit(const Operand& o) {
    if (!o.words.empty()) {
      words_.insert(words_.end(), o.words.begin(), o.words.end());
      return;
    }
    if (lv_operand_is_wide(o.kind)) {
      if (!o.label.empty()) fixups_.push_back({words_.size(), o.label});
      words_.push_back(static_cast<uint32_t>(o.value));
      words_.push_back(static_cast<uint32_t>(o.value >> 32));
      return;
    }
    words_.push_back(static_cast<uint32_t>(o.value));
  }

  std::vector<uint32_t> words_;
  std::vector<Piece> pieces_;
  std::map<std::string, size_t> labels_;
  std::vector<std::pair<size_t, std::string>> fixups_;
  lv_code_block* block_ = nullptr;
};

}  // namespace assembler
