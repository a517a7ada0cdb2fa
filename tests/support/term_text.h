// Test support: terms from a small text syntax, built on the heap, and
// written back as text.
//
// Syntax: variables (capitalised names, _ for a fresh one; the same name is
// the same variable within one reader), integers (one limb at most; a box
// outside the small range), floats (digits '.' digits), atoms (lower-case
// names, quoted 'names', runs of symbol characters, [] and !), compound
// terms name(Args) and lists [a, b | T]. No operators.
//
//   terms::reader r(w);
//   lv_term t = r.read("f(X, [1, 2.5 | T], 'hello world')");
//   r.write(t) == "f(X,[1,2.5|T],hello world)"
#pragma once

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/atoms.h"
#include "core/numbers.h"
#include "core/predefined_atoms.h"
#include "core/worker.h"

namespace terms {

class reader {
 public:
  explicit reader(lv_worker* w) : w_(w) {}

  lv_term read(const std::string& text) {
    s_ = text;
    i_ = 0;
    lv_term t = term();
    skip();
    if (i_ != s_.size()) fail("trailing text");
    return t;
  }

  // A named variable of an earlier read (created when new).
  lv_term var(const std::string& name) {
    auto it = vars_.find(name);
    if (it != vars_.end()) return it->second;
    return vars_[name] = fresh();
  }

  // Text of a term: named variables by name, others as _.
  std::string write(lv_term t, int depth = 0) {
    t = lv_deref(t);
    if (depth > 50) return "...";
    if (lv_is_ref(t)) {
      for (const auto& [name, v] : vars_)
        if (lv_deref(v) == t) return name;
      return "_";
    }
    if (lv_is_small(t)) return std::to_string(lv_small_value(t));
    if (lv_is_atom(t)) return lv_atom_text(t);
    if (lv_is_list(t)) {
      std::string s = "[" + write(lv_list_cells(t)[0], depth + 1);
      lv_term tail = lv_deref(lv_list_cells(t)[1]);
      while (lv_is_list(tail)) {
        s += "," + write(lv_list_cells(tail)[0], depth + 1);
        tail = lv_deref(lv_list_cells(tail)[1]);
      }
      if (tail != LV_ATOM_NIL) s += "|" + write(tail, depth + 1);
      return s + "]";
    }
    const lv_term* cells = lv_struct_cells(t);
    if (lv_is_box_header(cells[0])) {
      if (lv_box_is_float(cells[0])) {
        char buffer[32];
        std::snprintf(buffer, sizeof buffer, "%.17g", lv_double_from_bits(cells[1]));
        std::string f = buffer;
        if (f.find_first_of(".en") == std::string::npos) f += ".0";
        return f;
      }
      if (cells[0] == LV_BOX_INT1) return std::to_string(static_cast<int64_t>(cells[1]));
      return "big" + std::to_string(lv_box_value_words(cells[0]));
    }
    std::string s = std::string(lv_atom_text(lv_functor_atom(cells[0]))) + "(";
    for (unsigned i = 1; i <= lv_functor_arity(cells[0]); i++) s += (i > 1 ? "," : "") + write(cells[i], depth + 1);
    return s + ")";
  }

 private:
  static constexpr const char* SYMBOLS = "+-*/\\^<>=~:.?@#&$";

  [[noreturn]] void fail(const char* what) const {
    throw std::invalid_argument(std::string(what) + " at " + std::to_string(i_) + " in " + s_);
  }
  void skip() {
    while (i_ < s_.size() && std::isspace(static_cast<unsigned char>(s_[i_]))) i_++;
  }
  bool peek(char c) {
    skip();
    return i_ < s_.size() && s_[i_] == c;
  }
  void expect(char c) {
    if (!peek(c)) fail("expected punctuation");
    i_++;
  }
  lv_term fresh() {
    lv_term* cell = w_->H++;
    *cell = lv_make_ref(cell);
    return *cell;
  }
  lv_term atom(const std::string& text) { return lv_atom_from_text(text.c_str(), LV_ATOM_FIND_OR_CREATE); }

  lv_term term() {
    skip();
    if (i_ >= s_.size()) fail("unexpected end");
    char c = s_[i_];
    if (c == '[') return list();
    if (std::isdigit(static_cast<unsigned char>(c)) ||
        (c == '-' && i_ + 1 < s_.size() && std::isdigit(static_cast<unsigned char>(s_[i_ + 1]))))
      return number();
    if (std::isupper(static_cast<unsigned char>(c)) || c == '_') {
      size_t start = i_;
      while (i_ < s_.size() && (std::isalnum(static_cast<unsigned char>(s_[i_])) || s_[i_] == '_')) i_++;
      std::string name = s_.substr(start, i_ - start);
      return name == "_" ? fresh() : var(name);
    }
    std::string name;
    if (c == '\'') {
      size_t end = s_.find('\'', i_ + 1);
      if (end == std::string::npos) fail("unclosed quote");
      name = s_.substr(i_ + 1, end - i_ - 1);
      i_ = end + 1;
    } else if (std::islower(static_cast<unsigned char>(c))) {
      size_t start = i_;
      while (i_ < s_.size() && (std::isalnum(static_cast<unsigned char>(s_[i_])) || s_[i_] == '_')) i_++;
      name = s_.substr(start, i_ - start);
    } else if (c == '!') {
      name = "!";
      i_++;
    } else if (std::string(SYMBOLS).find(c) != std::string::npos) {
      size_t start = i_;
      while (i_ < s_.size() && std::string(SYMBOLS).find(s_[i_]) != std::string::npos) i_++;
      name = s_.substr(start, i_ - start);
    } else {
      fail("unexpected character");
    }
    if (i_ >= s_.size() || s_[i_] != '(') return atom(name);
    i_++;
    std::vector<lv_term> args;
    do args.push_back(term());
    while (peek(',') && (i_++, true));
    expect(')');
    unsigned n = static_cast<unsigned>(args.size());
    if (n > 255) fail("more than 255 arguments");
    lv_term* h = w_->H;
    h[0] = lv_make_functor(atom(name), n);
    for (unsigned k = 0; k < n; k++) h[k + 1] = args[k];
    w_->H = h + n + 1;
    return lv_make_struct(h);
  }

  lv_term list() {
    expect('[');
    if (peek(']')) {
      i_++;
      return LV_ATOM_NIL;
    }
    std::vector<lv_term> items;
    do items.push_back(term());
    while (peek(',') && (i_++, true));
    size_t n = items.size();
    lv_term tail = LV_ATOM_NIL;
    if (peek('|')) {
      i_++;
      tail = term();
    }
    expect(']');
    for (size_t k = n; k-- > 0;) {
      lv_term* h = w_->H;
      h[0] = items[k];
      h[1] = tail;
      w_->H = h + 2;
      tail = lv_make_list(h);
    }
    return tail;
  }

  lv_term number() {
    size_t start = i_;
    if (s_[i_] == '-') i_++;
    while (i_ < s_.size() && std::isdigit(static_cast<unsigned char>(s_[i_]))) i_++;
    bool is_float = i_ + 1 < s_.size() && s_[i_] == '.' && std::isdigit(static_cast<unsigned char>(s_[i_ + 1]));
    if (is_float) {
      i_++;
      auto in_float = [&](char c) { return std::isdigit(static_cast<unsigned char>(c)) || c == 'e' || c == '-'; };
      while (i_ < s_.size() && in_float(s_[i_])) i_++;
      return lv_make_float_box(w_, std::strtod(s_.substr(start, i_ - start).c_str(), nullptr));
    }
    return lv_make_integer(w_, std::strtoll(s_.substr(start, i_ - start).c_str(), nullptr, 10));
  }

  lv_worker* w_;
  std::string s_;
  size_t i_ = 0;
  std::map<std::string, lv_term> vars_;
};

}  // namespace terms
