// Test support: a writer of quick-load files. Items are written one by one,
// or as whole terms from a small description (Term), and code blocks from
// what the test assembler assembled, with the same instruction forms, so
// that a block read back can be compared word for word with the assembled
// one. Constants, functors and predicates go through fix-up chains; the
// writer follows the format's rules (no Q alignment words, self-aligning
// 64-bit tokens, reserved space of inline boxes).
#pragma once

#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/atoms.h"
#include "core/memory.h"
#include "machine/bignum.h"
#include "store/predicates.h"
#include "store/static_code.h"
#include "support/assembler.h"

namespace qlw {

// A term to write. Reg stands for the word a register already holds (a
// block reference, say).
struct Term {
  enum Kind { ATOM, SMALL, BIG, FLOAT, VAR, REG, COMPOUND, LIST } kind;
  std::string text;  // ATOM and COMPOUND: the name; BIG, FLOAT: the digits
  int64_t value = 0; // SMALL: the value; VAR: its number; REG: the register
  std::vector<Term> args;  // COMPOUND: the arguments; LIST: head and tail
};

inline Term atom(const std::string& name) { return {Term::ATOM, name, 0, {}}; }
inline Term small(int64_t v) { return {Term::SMALL, "", v, {}}; }
inline Term big(const std::string& digits) { return {Term::BIG, digits, 0, {}}; }
inline Term flt(const std::string& text) { return {Term::FLOAT, text, 0, {}}; }
inline Term var(int n) { return {Term::VAR, "", n, {}}; }
inline Term reg(int64_t r) { return {Term::REG, "", r, {}}; }
inline Term fn(const std::string& name, std::vector<Term> args) { return {Term::COMPOUND, name, 0, std::move(args)}; }
inline Term cons(Term head, Term tail) { return {Term::LIST, "", 0, {std::move(head), std::move(tail)}}; }
inline Term list(std::vector<Term> items, Term tail = atom("[]")) {
  for (auto it = items.rbegin(); it != items.rend(); ++it) tail = cons(*it, tail);
  return tail;
}

// Shortest decimal text that reads back as the same double ("0.0" for
// negative zero).
inline std::string float_text(double d) {
  if (d == 0) return "0.0";
  char buffer[64];
  for (int precision = 1; precision <= 17; precision++) {
    std::snprintf(buffer, sizeof buffer, "%.*g", precision, d);
    if (std::strtod(buffer, nullptr) == d) break;
  }
  return buffer;
}

// Decimal text of an inline integer box (header and value words).
inline std::string integer_text(const lv_term* box) {
  char* text = lv_bignum_to_text(box, 10, 0);
  std::string s = text;
  LV_free(text);
  return s;
}

class QlWriter {
 public:
  // Raw bytes, numbers and texts.
  QlWriter& byte(int b) {
    out_ += static_cast<char>(b);
    return *this;
  }
  QlWriter& raw(const std::string& s) {
    out_ += s;
    return *this;
  }
  QlWriter& number(int64_t n) { return raw(std::to_string(n)).byte(0); }
  QlWriter& text(const std::string& s) { return raw(s).byte(0); }
  QlWriter& item(int code, int64_t r) { return byte(code).number(r); }

  // Items.
  QlWriter& heap(int64_t cells) { return byte(64).number(cells); }
  QlWriter& atom(int64_t r, const std::string& name) { return item('A', r).text(name); }
  QlWriter& functor(int64_t r, int64_t name, int64_t arity) { return item('B', r).number(name).number(arity); }
  QlWriter& small(int64_t r, int64_t v) { return item('C', r).number(v); }
  QlWriter& integer(int64_t r, const std::string& digits) { return item('D', r).text(digits); }
  QlWriter& float_item(int64_t r, const std::string& text) { return item('E', r).text(text); }
  QlWriter& var(int64_t r) { return item('F', r); }
  QlWriter& nil(int64_t r) { return item('G', r); }
  QlWriter& list_cell(int64_t r) { return item('H', r); }
  QlWriter& structure(int64_t r) { return item('I', r); }
  QlWriter& push(int64_t r) { return item('J', r); }
  QlWriter& block(int64_t r, int64_t size, int64_t version = 4) { return item('K', r).number(size).number(version); }
  QlWriter& end(int64_t r) { return item('L', r); }
  QlWriter& fixup(int64_t r, int64_t offset) { return item('M', r).number(offset); }
  QlWriter& pred_fixup(int64_t r, int64_t offset) { return item('N', r).number(offset); }
  QlWriter& skip(const std::string& a, const std::string& b) { return byte('d').text(a).text(b); }

  // A fresh register.
  int64_t fresh() { return next_++; }

  // The items that build a term, after a reservation of its heap cells;
  // returns the register holding it.
  int64_t build(const Term& t) {
    vars_.clear();
    int64_t cells = heap_cells(t);
    if (cells > 0) heap(cells);
    return build_term(t);
  }
  // A whole term: built, then ended.
  QlWriter& term(const Term& t) { return end(build(t)); }
  // The directive that marks the file complete.
  QlWriter& complete() { return term(qlw::atom("$ql_complete")); }

  // A 'K' item for the assembled code, its tokens, and the fix-ups of its
  // constants, functors and predicates; returns the block's register.
  int64_t code(const assembler::Assembler& a) {
    const auto& pieces = a.pieces();
    // Fix-up chains: the words of each constant, functor or predicate.
    std::map<std::pair<char, uint64_t>, std::vector<size_t>> chains;
    for (const auto& p : pieces) {
      if (p.kind != assembler::Piece::INSN) continue;
      size_t at = p.position + 1 + (has_pad(p.insn) ? 1 : 0);
      for (const auto& o : p.ops) {
        if (o.kind == 'X' || o.kind == 'Y' || o.kind == 'S' || o.kind == 'N') {
          at++;
          continue;
        }
        if (!o.words.empty()) {
          at += o.words.size();
          continue;
        }
        if (o.kind == 'C' || o.kind == 'F' || (o.kind == 'P' && o.label.empty())) chains[{o.kind, o.value}].push_back(at);
        at += 2;
      }
    }
    std::map<size_t, size_t> next_link;
    for (auto& [key, positions] : chains)
      for (size_t i = 0; i < positions.size(); i++) next_link[positions[i]] = i + 1 < positions.size() ? positions[i + 1] : 0;

    int64_t r = fresh();
    block(r, static_cast<int64_t>(2 * a.size()));
    for (size_t i = 0; i < pieces.size(); i++) {
      const auto& p = pieces[i];
      switch (p.kind) {
        case assembler::Piece::WORD:
          number(p.value);
          break;
        case assembler::Piece::NOP:
          byte('O').number(LV_OP_NOP).number(p.value);
          for (uint32_t k = 1; k < p.value; k++) number(0);
          break;
        case assembler::Piece::ENTRY:
          byte('T').number(static_cast<int64_t>(2 * (a.label_position(p.label) + p.target_words))).number(p.value).number(p.form);
          break;
        case assembler::Piece::INSN: {
          byte('O').number(p.insn);
          size_t at = p.position + 1 + (has_pad(p.insn) ? 1 : 0);
          for (const auto& o : p.ops) {
            size_t words = operand(a, o, at, next_link);
            if (o.kind == 'B' && lv_box_is_float(box_header(o))) {
              // The reader writes the NOP 1 that follows a float box.
              if (i + 1 >= pieces.size() || pieces[i + 1].kind != assembler::Piece::NOP || pieces[i + 1].value != 1)
                throw std::logic_error("a float box without its NOP 1");
              i++;
            }
            at += words;
          }
          break;
        }
      }
    }
    byte(0);
    // The fix-ups.
    int64_t spec_cells = 0;
    for (const auto& [key, positions] : chains)
      if (key.first == 'P') spec_cells += 6;
    if (spec_cells > 0) heap(spec_cells);
    for (const auto& [key, positions] : chains) {
      int64_t offset = static_cast<int64_t>(2 * positions.front());
      if (key.first == 'P') {
        pred_fixup(pred_spec(reinterpret_cast<const lv_pred*>(key.second)), offset);
      } else {
        fixup(constant(key.second), offset);
      }
    }
    return r;
  }

  const std::string& bytes() const { return out_; }

 private:
  static bool has_pad(lv_insn n) { return lv_format_operands[lv_instruction_format_table[n]][0] == 'p'; }
  static uint64_t box_header(const assembler::Operand& o) { return o.words[0] | uint64_t{o.words[1]} << 32; }

  // One operand's tokens; returns its words.
  size_t operand(const assembler::Assembler& a, const assembler::Operand& o, size_t at,
                 const std::map<size_t, size_t>& next_link) {
    switch (o.kind) {
      case 'X':
        byte('X').number(lv_x_index(static_cast<uint32_t>(o.value)));
        return 1;
      case 'Y':
        byte('Y').number(4 * lv_y_index(static_cast<uint32_t>(o.value)));
        return 1;
      case 'S':
      case 'N':
        number(static_cast<int64_t>(o.value));
        return 1;
      case 'I':
        byte('+').number(static_cast<int64_t>(o.value));
        return 2;
      case 'C':
      case 'F':
        byte('+').number(static_cast<int64_t>(2 * next_link.at(at)));
        return 2;
      case 'P':
        if (!o.label.empty()) {
          byte('R').number(static_cast<int64_t>(2 * a.label_position(o.label)));
        } else {
          byte('+').number(static_cast<int64_t>(2 * next_link.at(at)));
        }
        return 2;
      case 'L':
        if (!o.label.empty()) {
          byte('R').number(static_cast<int64_t>(2 * a.label_position(o.label)));
        } else if (o.value == reinterpret_cast<uint64_t>(lv_fail_code)) {
          byte('f');
        } else if (o.value == reinterpret_cast<uint64_t>(lv_else_fail_code)) {
          byte('e');
        } else {
          throw std::logic_error("a failure continuation outside the block");
        }
        return 2;
      case 'B': {
        std::vector<lv_term> box;
        for (size_t k = 0; k < o.words.size(); k += 2) box.push_back(o.words[k] | uint64_t{o.words[k + 1]} << 32);
        if (lv_box_is_float(box[0])) {
          byte('F').text(float_text(lv_double_from_bits(box[1])));
        } else {
          byte('L').text(integer_text(box.data()));
        }
        return o.words.size();
      }
      case 'R':
        number(o.words[0]);
        for (size_t k = 1; k < o.words.size(); k++) {
          uint32_t e = o.words[k];
          if ((e & 3) == 3) {
            number(e);
          } else {
            byte('Y').number(4 * lv_y_index(e & ~3u) + (e & 3));
          }
        }
        return o.words.size();
      case 'G':
        number(o.words[0]);
        for (size_t k = 1; k < o.words.size(); k += 2) {
          byte('X').number(lv_x_index(o.words[k]));
          byte('Y').number(4 * lv_y_index(o.words[k + 1]));
        }
        return o.words.size();
      default:
        throw std::logic_error(std::string("no quick-load token for operand ") + o.kind);
    }
  }

  // A register holding an atomic word: atoms and functors by name.
  int64_t constant(lv_term t) {
    if (lv_is_small(t)) {
      int64_t r = fresh();
      small(r, lv_small_value(t));
      return r;
    }
    unsigned arity = lv_functor_arity(t);
    int64_t name = atom_register(lv_atom_text(lv_functor_atom(t)));
    if (arity == 0) return name;
    int64_t r = fresh();
    functor(r, name, arity);
    return r;
  }

  int64_t atom_register(const std::string& name) {
    auto it = atoms_.find(name);
    if (it != atoms_.end()) return it->second;
    int64_t r = fresh();
    atom(r, name);
    atoms_[name] = r;
    return r;
  }

  int64_t functor_register(const std::string& name, unsigned arity) {
    auto key = name + "/" + std::to_string(arity);
    auto it = functors_.find(key);
    if (it != functors_.end()) return it->second;
    int64_t r = fresh();
    functor(r, atom_register(name), arity);
    functors_[key] = r;
    return r;
  }

  // Module:Name/Arity of a predicate record (6 heap cells).
  int64_t pred_spec(const lv_pred* p) {
    Term spec = fn(":", {qlw::atom(lv_atom_text(p->owner_module->name)),
                         fn("/", {qlw::atom(lv_atom_text(p->name)), qlw::small(p->arity)})});
    return build_term(spec);
  }

  static int64_t heap_cells(const Term& t) {
    switch (t.kind) {
      case Term::BIG: return 64;  // room enough for the tests' big integers
      case Term::FLOAT: return 3;
      case Term::VAR: return 1;
      case Term::COMPOUND:
      case Term::LIST: {
        int64_t n = t.kind == Term::LIST ? 2 : 1 + static_cast<int64_t>(t.args.size());
        for (const auto& a : t.args) n += heap_cells(a);
        return n;
      }
      default: return 0;
    }
  }

  int64_t build_term(const Term& t) {
    switch (t.kind) {
      case Term::ATOM: return atom_register(t.text);
      case Term::SMALL: {
        int64_t r = fresh();
        small(r, t.value);
        return r;
      }
      case Term::BIG: {
        int64_t r = fresh();
        integer(r, t.text);
        return r;
      }
      case Term::FLOAT: {
        int64_t r = fresh();
        float_item(r, t.text);
        return r;
      }
      case Term::VAR: {
        auto it = vars_.find(t.value);
        if (it != vars_.end()) return it->second;
        int64_t r = fresh();
        var(r);
        vars_[t.value] = r;
        return r;
      }
      case Term::REG: return t.value;
      case Term::COMPOUND:
      case Term::LIST: {
        std::vector<int64_t> args;
        for (const auto& a : t.args) args.push_back(build_term(a));
        int64_t r = fresh();
        if (t.kind == Term::LIST) {
          list_cell(r);
        } else {
          int64_t f = functor_register(t.text, static_cast<unsigned>(t.args.size()));
          structure(r);
          push(f);
        }
        for (int64_t a : args) push(a);
        return r;
      }
    }
    return -1;
  }

  std::string out_;
  int64_t next_ = 0;
  std::map<std::string, int64_t> atoms_;
  std::map<std::string, int64_t> functors_;
  std::map<int64_t, int64_t> vars_;
};

}  // namespace qlw
