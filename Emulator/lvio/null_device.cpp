// The null device, a simple device whose user data is one word: bit 0
// readable, bit 1 writable. The word is freed when both sides are gone.
#include "lvio/null_device.h"

#include "lvio/allocator.h"
#include "lvio/chain.h"
#include "lvio/simple_device.h"

namespace {

constexpr uint32_t READABLE = 1;
constexpr uint32_t WRITABLE = 2;

const char null_tag = 0;

uint32_t word_of(void* user_data) { return *static_cast<uint32_t*>(user_data); }

lvio_code null_read(void* user_data, void*, uint64_t* size, uint32_t) {
  *size = 0;
  return (word_of(user_data) & READABLE) != 0 ? LVIO_E_END_OF_FILE : LVIO_E_NOT_SUPPORTED;
}

// Takes every byte offered.
lvio_code null_write(void* user_data, const void*, uint64_t*, uint32_t) {
  return (word_of(user_data) & WRITABLE) != 0 ? 0 : LVIO_E_NOT_SUPPORTED;
}

lvio_code null_close(void** user_data_field, uint32_t sides, int) {
  auto* word = static_cast<uint32_t*>(*user_data_field);
  *word &= ~(sides & (READABLE | WRITABLE));
  if (*word == 0) {
    lvio_free(word);
    *user_data_field = nullptr;
  }
  return 0;
}

lvio_code null_control(void*, uint32_t request, void*, uint32_t) {
  return request == LVIO_REQUEST_TIMEOUT ? LVIO_S_NOT_SUPPORTED : LVIO_E_NOT_IMPLEMENTED;
}

}  // namespace

lvio_code lvio_open_null_device(lvio_layer** chain, uint32_t flags) {
  *chain = nullptr;
  auto* word = static_cast<uint32_t*>(lvio_alloc(sizeof(uint32_t)));
  if (word == nullptr) return LVIO_E_OUT_OF_MEMORY;
  *word = ((flags & LVIO_NULL_READABLE) != 0 ? READABLE : 0) | ((flags & LVIO_NULL_WRITABLE) != 0 ? WRITABLE : 0);
  lvio_code rc = lvio_make_simple_device(chain, word, &null_tag, (*word & READABLE) != 0 ? null_read : nullptr,
                                         (*word & WRITABLE) != 0 ? null_write : nullptr, nullptr, nullptr, null_close,
                                         nullptr, null_control, flags & 3);
  if (rc < 0) lvio_free(word);
  return rc;
}
