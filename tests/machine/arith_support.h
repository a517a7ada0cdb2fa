// Test support for arithmetic: numbers written as text and held off the
// heap (as in code or on the number stack), and numbers shown as text.
//
//   "42", "-1267650600228229401496703205376"   integers (small or boxed)
//   "box:5"                                    a one-limb box of any value
//   "2.5", "-0.0", "1e300", "inf", "nan"       floats (kept bit for bit)
#pragma once

#include <cmath>
#include <cstdio>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include "core/atoms.h"
#include "core/predefined_atoms.h"
#include "core/term.h"
#include "machine/bignum_support.h"

namespace arith_test {

class Numbers {
 public:
  lv_term operator()(const std::string& spec) {
    if (spec.rfind("box:", 0) == 0) return keep({LV_BOX_INT1, static_cast<lv_term>(std::stoll(spec.substr(4))), LV_BOX_INT1});
    if (spec.find_first_of(".ein") != std::string::npos) {
      double d = std::strtod(spec.c_str(), nullptr);
      uint64_t bits;
      std::memcpy(&bits, &d, sizeof bits);
      return keep({LV_BOX_FLOAT, bits, LV_BOX_FLOAT});
    }
    bignum_test::Z z(spec.c_str());
    if (mpz_fits_slong_p(z.v) && lv_fits_small(mpz_get_si(z.v))) return lv_make_small(mpz_get_si(z.v));
    return keep(bignum_test::box_of(z));
  }

 private:
  lv_term keep(std::vector<lv_term> box) {
    boxes_.push_back(std::move(box));
    return lv_make_struct(boxes_.back().data());
  }
  std::deque<std::vector<lv_term>> boxes_;
};

// Integers in decimal; floats with a decimal point or exponent ("2.0",
// "-0.25", "1e+300"). Anything else as "?".
inline std::string show(lv_term t) {
  t = lv_deref(t);
  if (lv_is_small(t)) return std::to_string(lv_small_value(t));
  if (!lv_is_box(t)) return "?";
  const lv_term* cells = lv_struct_cells(t);
  if (!lv_box_is_float(cells[0])) return bignum_test::Z(cells).str();
  char text[40];
  std::snprintf(text, sizeof text, "%.17g", lv_double_from_bits(cells[1]));
  std::string s = text;
  if (s.find_first_of(".eni") == std::string::npos) s += ".0";
  return s;
}

// Numbers as show() writes them, atoms by their text, Module:Goal infix,
// other compound terms as Name(Args).
inline std::string describe(lv_term t) {
  t = lv_deref(t);
  if (lv_is_small(t) || lv_is_box(t)) return show(t);
  if (lv_is_atom(t)) return lv_atom_text(t);
  if (lv_is_ref(t)) return "_";
  if (!lv_is_struct(t)) return "?";
  const lv_term* cells = lv_struct_cells(t);
  if (cells[0] == LV_FUNCTOR_COLON_2) return describe(cells[1]) + ":" + describe(cells[2]);
  std::string s = std::string(lv_atom_text(lv_functor_atom(cells[0]))) + "(";
  for (unsigned i = 1; i <= lv_functor_arity(cells[0]); i++) s += (i > 1 ? "," : "") + describe(cells[i]);
  return s + ")";
}

// An error as the tests write it: "!code culprit goal", the goal without
// the prolog:'$eval'(prolog:...) around it, and "@n" after it for an
// argument number other than 1.
inline std::string error_outcome(int32_t code, lv_term culprit, lv_term goal, lv_term argument) {
  std::string g = describe(goal);
  const std::string wrapper = "prolog:$eval(prolog:";
  if (g.rfind(wrapper, 0) == 0)
    g = g.substr(wrapper.size(), g.size() - wrapper.size() - 1);
  else if (g.rfind("prolog:", 0) == 0)
    g = g.substr(7);
  std::string s = "!" + std::to_string(code) + " " + describe(culprit) + " " + g;
  if (argument != lv_make_small(1)) s += "@" + describe(argument);
  return s;
}

inline double float_of(lv_term t) {
  t = lv_deref(t);
  return lv_is_float_box(t) ? lv_double_from_bits(lv_struct_cells(t)[1]) : NAN;
}

}  // namespace arith_test
