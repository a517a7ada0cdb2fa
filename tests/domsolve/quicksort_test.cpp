// The solver's quicksort: sorted results for the shapes that reach each of
// its paths, and the number of comparisons that shows which path ran.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "kernel/quicksort.h"
#include "kernel/term_helpers.h"

namespace {

struct counting {
  int64_t* count;
  int operator()(int64_t a, int64_t b) const {
    ++*count;
    return a < b ? -1 : a > b ? 1 : 0;
  }
};

int64_t sort_counting(std::vector<int64_t>& v) {
  int64_t count = 0;
  fd_quicksort(v.data(), static_cast<ptrdiff_t>(v.size()), counting{&count});
  return count;
}

TEST(Quicksort, SortsEveryShape) {
  std::mt19937 rng(44);
  for (size_t n : {0, 1, 2, 6, 7, 8, 40, 41, 100, 1000}) {
    std::vector<std::vector<int64_t>> shapes(5, std::vector<int64_t>(n));
    for (size_t i = 0; i < n; i++) {
      shapes[0][i] = static_cast<int64_t>(rng() % 1000) - 500;    // random
      shapes[1][i] = static_cast<int64_t>(i);                     // ascending
      shapes[2][i] = static_cast<int64_t>(n - i);                 // descending
      shapes[3][i] = static_cast<int64_t>(rng() % 3);             // many equal keys
      shapes[4][i] = i % 2 ? INT64_MIN + static_cast<int64_t>(i) : INT64_MAX - static_cast<int64_t>(i);
    }
    for (auto& v : shapes) {
      std::vector<int64_t> expected = v;
      std::sort(expected.begin(), expected.end());
      fd_sort_longs(nullptr, v.data(), static_cast<int64_t>(v.size()));
      EXPECT_EQ(v, expected) << n;
    }
  }
}

TEST(Quicksort, PathsByComparisonCount) {
  // Six elements: insertion sort only, at most 15 comparisons.
  std::vector<int64_t> six = {6, 5, 4, 3, 2, 1};
  EXPECT_LE(sort_counting(six), 15);
  // An already sorted range makes no swap in its first partition and is
  // finished by insertion sort: linear, not n log n, comparisons.
  for (int64_t n : {50, 1000, 20000}) {
    std::vector<int64_t> sorted(n);
    for (int64_t i = 0; i < n; i++) sorted[i] = i;
    EXPECT_LE(sort_counting(sorted), 3 * n + 16) << n;
  }
}

}  // namespace
