// Test support: waiting, with a generous bound, for something that another
// thread does. Loaded two-core machines may be slow; the bound only keeps a
// broken test from hanging, it is never a statement about speed.
#pragma once

#include <chrono>
#include <thread>

constexpr std::chrono::seconds GENEROUS{20};

// True once done() holds; false when it still does not after the bound.
template <class Predicate>
bool eventually(Predicate done) {
  auto give_up = std::chrono::steady_clock::now() + GENEROUS;
  while (!done()) {
    if (std::chrono::steady_clock::now() > give_up) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}
