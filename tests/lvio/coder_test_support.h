// Test support: coders made by name, and one conversion step over strings
// and code-point vectors.
#pragma once

#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "lvio/buffer.h"
#include "lvio/coder.h"
#include "lvio/options.h"

// A new instance of the named coder, or null.
inline lvio_t_coder* make_coder(const char* name, uint32_t create_flags) {
  lvio_coder_class* cls;
  if (lvio_coder_class_open(&cls, name, nullptr, 0) < 0) return nullptr;
  lvio_t_coder* coder = nullptr;
  (void)lvio_coder_create(cls, &coder, nullptr, create_flags);
  lvio_coder_class_unref(cls);
  return coder;
}

struct step_result {
  lvio_code rc;
  std::string output;  // the bytes the step appended
  uint64_t position;   // the input position after the step
};

// One step of lvio_coder_convert over input from position on.
inline step_result convert_step(lvio_t_coder* coder, std::string_view input, uint64_t position, uint32_t flags) {
  lvio_buffer* out = lvio_buffer_create(nullptr, 0, 0);
  lvio_span span = {reinterpret_cast<const uint8_t*>(input.data()), input.size()};
  lvio_code rc = lvio_coder_convert(coder, &span, &position, out, flags);
  step_result r = {rc, std::string(reinterpret_cast<char*>(out->data), out->used), position};
  lvio_buffer_free(out);
  return r;
}

inline std::string as_bytes(const std::vector<uint32_t>& codes) {
  std::string s(codes.size() * 4, '\0');
  if (!codes.empty()) std::memcpy(s.data(), codes.data(), s.size());
  return s;
}

inline std::vector<uint32_t> as_codes(const std::string& bytes) {
  std::vector<uint32_t> v(bytes.size() / 4);
  if (!v.empty()) std::memcpy(v.data(), bytes.data(), v.size() * 4);
  return v;
}

// Option-list items: a pointer value, and the end of the list.
inline lvio_option pointer_option(const char* name, void* pointer) {
  lvio_option o = {name, {}};
  o.value.kind = LVIO_VALUE_POINTER;
  o.value.pointer = pointer;
  return o;
}

inline lvio_option end_option() {
  lvio_option o = {nullptr, {}};
  o.value.kind = LVIO_VALUE_END;
  return o;
}
