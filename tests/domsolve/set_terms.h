// Test support: sets written as text ("[1..3, 5, 7..sup]", "[]") built as
// terms in memory of the test's own, and sets read back as text. Bounds are
// small integers, inf and sup; "S" and "-S" stand for the largest small
// integer and the smallest.
#pragma once

#include <deque>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "kernel/fdset.h"

namespace set_terms {

inline lv_term bound(const std::string& t) {
  if (t == "inf") return FD_INF;
  if (t == "sup") return FD_SUP;
  if (t == "S") return fd_make_small(FD_SMALL_MAX);
  if (t == "-S") return fd_make_small(FD_SMALL_MIN);
  return fd_make_small(std::stoll(t));
}

inline std::string text(lv_term b) {
  if (b == FD_INF) return "inf";
  if (b == FD_SUP) return "sup";
  if (!fd_is_small(b)) return "?";
  int64_t v = fd_small_value(b);
  if (v == FD_SMALL_MAX) return "S";
  if (v == FD_SMALL_MIN) return "-S";
  return std::to_string(v);
}

typedef std::vector<std::pair<lv_term, lv_term>> intervals;

inline intervals parse(const std::string& s) {
  intervals out;
  std::string body = s.substr(1, s.size() - 2);
  std::stringstream in(body);
  std::string item;
  while (std::getline(in, item, ',')) {
    while (!item.empty() && item.front() == ' ') item.erase(0, 1);
    if (item.empty()) continue;
    size_t dots = item.find("..");
    if (dots == std::string::npos) out.push_back({bound(item), bound(item)});
    else out.push_back({bound(item.substr(0, dots)), bound(item.substr(dots + 2))});
  }
  return out;
}

// The text of a list of interval cells: "[a..b, c]"; "<bad>" for a term
// that is no list of interval cells.
inline std::string show(lv_term s) {
  std::string out = "[";
  int guard = 0;
  for (s = fd_deref(s); s != FD_NIL; s = fd_deref(fd_list_cells(s)[1])) {
    if (!fd_is_list(s) || ++guard > 100000) return "<bad>";
    lv_term iv = fd_deref(fd_list_cells(s)[0]);
    if (!fd_is_list(iv)) return "<bad>";
    lv_term lo = fd_deref(fd_list_cells(iv)[0]), hi = fd_deref(fd_list_cells(iv)[1]);
    if (out.size() > 1) out += ", ";
    out += lo == hi ? text(lo) : text(lo) + ".." + text(hi);
  }
  return out + "]";
}

// Cells in memory that stays put: the sets the tests hand to operations.
class arena {
 public:
  lv_term make(const intervals& ivs) {
    lv_term head = FD_NIL;
    for (auto it = ivs.rbegin(); it != ivs.rend(); ++it) {
      lv_term* p = words(4);
      p[0] = fd_make_list(p + 2);
      p[1] = head;
      p[2] = it->first;
      p[3] = it->second;
      head = fd_make_list(p);
    }
    return head;
  }
  lv_term make(const std::string& s) { return make(parse(s)); }
  lv_term* words(size_t n) {
    blocks_.emplace_back(n);
    return blocks_.back().data();
  }

 private:
  std::deque<std::vector<lv_term>> blocks_;
};

// A copy of every word reachable from a set, to check that an operation
// left its input as it was.
inline std::vector<lv_term> snapshot(lv_term s) {
  std::vector<lv_term> words;
  for (; s != FD_NIL && fd_is_list(s); s = fd_list_cells(s)[1]) {
    words.push_back(fd_list_cells(s)[0]);
    words.push_back(fd_list_cells(fd_list_cells(s)[0])[0]);
    words.push_back(fd_list_cells(fd_list_cells(s)[0])[1]);
  }
  return words;
}

}  // namespace set_terms
