// Test support: a printed form of term graphs that does not depend on
// addresses, for comparing terms before and after the stacks move.
//
// Compound terms and variables are numbered in the order they are first met,
// across every term printed by one printer, so that sharing, cycles and
// variables shared between terms show in the text. Every cell visited must
// lie in the live part of the stacks; a word that points elsewhere is
// reported as "!stale". The printer remembers where each numbered thing
// was, so that two printings of the same graph can be compared for the
// order of their heap addresses.
#pragma once

#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "core/predefined_atoms.h"
#include "core/worker.h"

namespace terms {

class graph_printer {
 public:
  // Without stamps, the stamps of '$mutable'/2 terms are left out: they are
  // trail positions, which tidying the trail may change.
  explicit graph_printer(const lv_worker* w, bool stamps = true) : w_(w), stamps_(stamps) {}

  std::string print(lv_term t) {
    std::string out;
    put(t, out, 0);
    return out;
  }
  bool ok() const { return stale_ == 0; }
  // The address of each numbered compound term and variable, by number.
  const std::vector<const lv_term*>& addresses() const { return addresses_; }

 private:
  bool live(const lv_term* p) const {
    return (p >= w_->area_start && p < w_->H) || (p >= w_->local_base && p < w_->local_top);
  }
  bool in_heap(const lv_term* p) const { return p >= w_->area_start && p < w_->H; }

  void put(lv_term t, std::string& out, int depth) {
    if (depth > 4000) {
      out += "...";
      return;
    }
    for (;;) {
      if (!lv_is_ref(t)) break;
      const lv_term* cell = lv_ref_cell(t);
      if (!live(cell)) {
        stale_++;
        out += "!stale";
        return;
      }
      if (*cell == t) {
        auto [it, fresh] = ids_.emplace(cell, static_cast<int>(ids_.size()));
        if (fresh) addresses_.push_back(cell);
        out += "_G" + std::to_string(it->second);
        if (fresh && in_heap(cell) && cell > w_->area_start && cell[-1] == LV_ATTVAR_MARKER) {
          out += "{";
          put(cell[1], out, depth + 1);
          out += ";";
          put(cell[2], out, depth + 1);
          out += "}";
        }
        return;
      }
      t = *cell;
    }
    if (lv_is_small(t)) {
      out += std::to_string(lv_small_value(t));
      return;
    }
    if (lv_is_atom(t)) {
      out += static_cast<int64_t>(t) < 0 ? "$frozen" + std::to_string((t >> 3) & 0xffff)
                                          : "a" + std::to_string(lv_atom_index(t));
      return;
    }
    const lv_term* cells = lv_is_list(t) ? lv_list_cells(t) : lv_struct_cells(t);
    if (!in_heap(cells)) {
      stale_++;
      out += "!stale";
      return;
    }
    if (lv_is_struct(t) && lv_is_box_header(cells[0])) {
      uint64_t n = lv_box_value_words(cells[0]);
      if (cells[n + 1] != cells[0]) out += "!trailer";
      out += lv_box_is_float(cells[0]) ? "f" : "i";
      for (uint64_t i = 1; i <= n; i++) out += ":" + std::to_string(cells[i]);
      return;
    }
    auto [it, fresh] = ids_.emplace(cells, static_cast<int>(ids_.size()));
    if (fresh) addresses_.push_back(cells);
    if (!fresh) {
      out += "#" + std::to_string(it->second);
      return;
    }
    out += "@" + std::to_string(it->second);
    if (lv_is_list(t)) {
      out += "[";
      put(cells[0], out, depth + 1);
      out += "|";
      put(cells[1], out, depth + 1);
      out += "]";
      return;
    }
    out += "a" + std::to_string(lv_atom_index(lv_functor_atom(cells[0]))) + "(";
    unsigned arity = lv_functor_arity(cells[0]);
    if (!stamps_ && cells[0] == LV_FUNCTOR_MUTABLE_2) arity = 1;
    for (unsigned i = 1; i <= arity; i++) {
      if (i > 1) out += ",";
      put(cells[i], out, depth + 1);
    }
    out += ")";
  }

  const lv_worker* w_;
  bool stamps_;
  std::map<const lv_term*, int> ids_;
  std::vector<const lv_term*> addresses_;
  int stale_ = 0;
};

}  // namespace terms
