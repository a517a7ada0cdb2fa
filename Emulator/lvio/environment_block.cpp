// Environment blocks: packing, merging and copying.
#include <algorithm>

#include "lvio/allocator.h"
#include "lvio/environment.h"
#include "lvio/os_environment.h"

namespace {

size_t list_length(const char* const* list) {
  size_t n = 0;
  if (list != nullptr)
    while (list[n] != nullptr) n++;
  return n;
}

// Fills a new block entry by entry.
struct block_writer {
  char** block;
  size_t size;
  size_t next;
  char* text;

  lvio_code open(size_t count, size_t text_bytes) {
    size = (count + 1) * sizeof(char*) + text_bytes;
    block = static_cast<char**>(lvio_alloc(size));
    if (block == nullptr) return LVIO_E_OUT_OF_MEMORY;
    next = 0;
    text = reinterpret_cast<char*>(block + count + 1);
    block[count] = nullptr;
    return 0;
  }
  char* put(const char* bytes, size_t length) {
    std::memcpy(text, bytes, length);
    block[next++] = text;
    text += length;
    return text - length;
  }
  lvio_code hand_over(char*** out, size_t* out_size) {
    block[next] = nullptr;
    *out = block;
    if (out_size != nullptr) *out_size = size;
    return 0;
  }
};

bool by_name(const char* a, const char* b) {
  int c = lvio_name_compare(a, b);
  return c != 0 ? c < 0 : a < b;
}

}  // namespace

lvio_code lvio_environment_pack(const char* const* list, char*** block, size_t* size, uint32_t flags) {
  size_t count = list_length(list);
  size_t text_bytes = 0;
  for (size_t i = 0; i < count; i++) {
    // A NAME=VALUE text and its entry have the same length.
    if ((flags & 1) != 0) {
      const char* eq = std::strchr(list[i], '=');
      if (eq == nullptr || eq == list[i]) return LVIO_E_PARAMETER_ERROR;
      text_bytes += std::strlen(list[i]) + 1;
    } else {
      text_bytes += lvio_entry_size(list[i]);
    }
  }
  block_writer w;
  if (w.open(count, text_bytes) < 0) return LVIO_E_OUT_OF_MEMORY;
  for (size_t i = 0; i < count; i++) {
    if ((flags & 1) != 0) {
      char* entry = w.put(list[i], std::strlen(list[i]) + 1);
      *std::strchr(entry, '=') = '\0';
    } else {
      w.put(list[i], lvio_entry_size(list[i]));
    }
  }
  return w.hand_over(block, size);
}

lvio_code lvio_environment_merge(char* const* a, size_t, char* const* b, size_t, char*** out, size_t* out_size,
                                 uint32_t flags) {
  if ((flags & 6) == 6) return LVIO_E_PARAMETER_ERROR;
  size_t na = list_length(a);
  size_t nb = list_length(b);
  size_t text_bytes = 0;
  for (size_t i = 0; i < na; i++) text_bytes += lvio_entry_size(a[i]);
  for (size_t i = 0; i < nb; i++) text_bytes += lvio_entry_size(b[i]);
  block_writer w;
  if (w.open(na + nb, text_bytes) < 0) return LVIO_E_OUT_OF_MEMORY;
  for (size_t i = 0; i < na; i++) w.put(a[i], lvio_entry_size(a[i]));
  for (size_t i = 0; i < nb; i++) w.put(b[i], lvio_entry_size(b[i]));

  // Entries lie in the block in packing order, so their addresses break
  // ties between equal names and restore that order afterwards.
  char** first = w.block;
  char** last = first + w.next;
  std::sort(first, last, by_name);
  if ((flags & 1) == 0)
    last = std::unique(first, last, [](const char* x, const char* y) { return lvio_name_compare(x, y) == 0; });
  if ((flags & 4) != 0) std::sort(first, last);
  if ((flags & 8) != 0) {
    char** kept = first;
    for (char** e = first; e != last; e++) {
      if (std::strchr(*e, '=') != nullptr) continue;
      (*e)[std::strlen(*e)] = '=';
      *kept++ = *e;
    }
    last = kept;
  }
  w.next = static_cast<size_t>(last - first);
  return w.hand_over(out, out_size);
}

lvio_code lvio_environment_copy(char* const* block, size_t size, char*** out, size_t* out_size, uint32_t flags) {
  if ((flags & 1) == 0) return lvio_environment_pack(block, out, out_size, 0);
  auto** copy = static_cast<char**>(lvio_alloc(size));
  if (copy == nullptr) return LVIO_E_OUT_OF_MEMORY;
  std::memcpy(copy, block, size);
  auto* old_base = reinterpret_cast<const char*>(block);
  auto* new_base = reinterpret_cast<char*>(copy);
  for (char** e = copy; *e != nullptr; e++) *e = new_base + (*e - old_base);
  *out = copy;
  if (out_size != nullptr) *out_size = size;
  return 0;
}
