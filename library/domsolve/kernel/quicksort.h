// The solver's quicksort, one template instantiated per element type and
// comparison (cmp(a, b) < 0 when a sorts before b). Ranges below 7 elements
// are insertion-sorted; the pivot is the middle element, the median of
// three above 7 elements and a ninther above 40; equal elements are
// gathered at both ends during partitioning and swapped into the middle; a
// partition that swapped nothing finishes its range by insertion sort. The
// smaller recursion is on the "less" part, the "greater" part is looped on.
#pragma once

#include <cstddef>
#include <cstdint>

namespace fd_quicksort_detail {

template <typename T>
inline void swap(T* a, T* b) {
  T t = *a;
  *a = *b;
  *b = t;
}

// Swaps the n elements at a with the n at b.
template <typename T>
inline void block_swap(T* a, T* b, ptrdiff_t n) {
  for (; n > 0; n--) swap(a++, b++);
}

template <typename T, typename Compare>
inline T* med3(T* a, T* b, T* c, Compare& cmp) {
  return cmp(*a, *b) < 0 ? (cmp(*b, *c) < 0 ? b : (cmp(*a, *c) < 0 ? c : a))
                         : (cmp(*b, *c) > 0 ? b : (cmp(*a, *c) < 0 ? a : c));
}

template <typename T, typename Compare>
inline void insertion_sort(T* a, ptrdiff_t n, Compare& cmp) {
  for (T* i = a + 1; i < a + n; i++)
    for (T* j = i; j > a && cmp(j[-1], *j) > 0; j--) swap(j, j - 1);
}

}  // namespace fd_quicksort_detail

template <typename T, typename Compare>
void fd_quicksort(T* a, ptrdiff_t n, Compare cmp) {
  using namespace fd_quicksort_detail;
  for (;;) {
    if (n < 7) {
      insertion_sort(a, n, cmp);
      return;
    }
    T* m = a + n / 2;
    if (n > 7) {
      T* l = a;
      T* r = a + n - 1;
      if (n > 40) {
        ptrdiff_t d = n / 8;
        l = med3(l, l + d, l + 2 * d, cmp);
        m = med3(m - d, m, m + d, cmp);
        r = med3(r - 2 * d, r - d, r, cmp);
      }
      m = med3(l, m, r, cmp);
    }
    swap(a, m);
    // a[0] is the pivot. [a+1, pa) and (pd, a+n) hold elements equal to it,
    // [pa, pb) smaller ones, (pc, pd] larger ones.
    T* pa = a + 1;
    T* pb = a + 1;
    T* pc = a + n - 1;
    T* pd = a + n - 1;
    bool swapped = false;
    for (;;) {
      int r;
      while (pb <= pc && (r = cmp(*pb, *a)) <= 0) {
        if (r == 0) {
          swapped = true;
          swap(pa, pb);
          pa++;
        }
        pb++;
      }
      while (pb <= pc && (r = cmp(*pc, *a)) >= 0) {
        if (r == 0) {
          swapped = true;
          swap(pc, pd);
          pd--;
        }
        pc--;
      }
      if (pb > pc) break;
      swap(pb, pc);
      swapped = true;
      pb++;
      pc--;
    }
    if (!swapped) {
      insertion_sort(a, n, cmp);
      return;
    }
    T* end = a + n;
    ptrdiff_t s = (pa - a) < (pb - pa) ? (pa - a) : (pb - pa);
    block_swap(a, pb - s, s);
    s = (pd - pc) < (end - pd - 1) ? (pd - pc) : (end - pd - 1);
    block_swap(pb, end - s, s);
    ptrdiff_t less = pb - pa, greater = pd - pc;
    if (less > 1) fd_quicksort(a, less, cmp);
    if (greater <= 1) return;
    a = end - greater;
    n = greater;
  }
}
