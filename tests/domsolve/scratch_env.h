// Test support for the solver's pure parts: an environment whose engine is
// only the number stack the set operations allocate from, and whose
// support table holds only numstack_overflow. Chunks are kept for the
// environment's life; a reset starts again at the first one, as the
// runtime's number stack does.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "kernel/engine.h"
#include "lorvika.h"
#include "support.h"

class ScratchEnv {
 public:
  ScratchEnv() {
    support_.header = {sizeof support_, "support.h", LV_API_VERSION};
    for (auto& e : support_.entries) e = {"", nullptr};
    support_.entries[LV_SUPPORT_numstack_overflow] = {"numstack_overflow", reinterpret_cast<void*>(&overflow)};
    support_.entries[LV_SUPPORT_SLOT_COUNT] = {nullptr, nullptr};
    env_.c_interface = nullptr;
    env_.support = &support_.header;
    env_.state = 0;
    env_.engine = &engine_;
    current = this;
  }
  ~ScratchEnv() { current = nullptr; }

  const lv_foreign_env* env() const { return &env_; }
  fd_engine& engine() { return engine_; }
  // Chunks made so far (a set operation that needs more room moves on).
  size_t chunks() const { return chunks_.size(); }
  void reset() { engine_.numstack_chunk = nullptr; }

 private:
  struct support_table {
    lv_api_table header;
    lv_api_entry entries[LV_SUPPORT_SLOT_COUNT + 1];
  };

  // The next chunk, twice the size of the one before; the first when the
  // limit is 0.
  static lv_term* overflow(void*) {
    ScratchEnv* s = current;
    fd_engine& w = s->engine_;
    size_t next = w.numstack_chunk == nullptr ? 0 : s->index_ + 1;
    if (next == s->chunks_.size()) {
      size_t words = next == 0 ? 16 : s->sizes_.back() * 2;
      s->chunks_.push_back(std::make_unique<lv_term[]>(words));
      s->sizes_.push_back(words);
    }
    s->index_ = next;
    w.numstack_top = s->chunks_[next].get();
    w.numstack_chunk = w.numstack_top + s->sizes_[next];
    return w.numstack_top;
  }

  static inline ScratchEnv* current = nullptr;
  support_table support_{};
  fd_engine engine_{};
  lv_foreign_env env_{};
  std::vector<std::unique_ptr<lv_term[]>> chunks_;
  std::vector<size_t> sizes_;
  size_t index_ = 0;
};
