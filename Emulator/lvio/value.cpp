// Typed cells, shared by the hash table and by option lists.
#include "lvio/value.h"

#include <cstring>

#include "lvio/allocator.h"

namespace {

bool owns_string(const lvio_value* v) {
  return lvio_value_kind(v) == LVIO_VALUE_STRING && (v->kind & LVIO_VALUE_BORROWED) == 0;
}

}  // namespace

lvio_code lvio_value_copy(lvio_value* destination, const lvio_value* source) {
  lvio_value copy;
  copy.kind = lvio_value_kind(source);
  copy.word = source->word;
  if (copy.kind == LVIO_VALUE_STRING && source->string != nullptr) {
    copy.string = lvio_strdup(source->string);
    if (copy.string == nullptr) return LVIO_E_OUT_OF_MEMORY;
  }
  *destination = copy;
  return 0;
}

void lvio_value_release(lvio_value* cell) {
  if (cell == nullptr) return;
  if (owns_string(cell)) lvio_free(const_cast<char*>(cell->string));
  bool allocated = (cell->kind & LVIO_VALUE_ALLOCATED) != 0;
  cell->kind = 0;
  cell->word = 0;
  if (allocated) lvio_free(cell);
}

int lvio_value_equal(const lvio_value* a, const lvio_value* b) {
  if (a == b) return 1;
  uint32_t kind = lvio_value_kind(a);
  if (kind != lvio_value_kind(b)) return 0;
  switch (kind) {
    case LVIO_VALUE_STRING:
      if (a->string == nullptr || b->string == nullptr) return a->string == b->string;
      return std::strcmp(a->string, b->string) == 0;
    case LVIO_VALUE_POINTER:
    case LVIO_VALUE_POINTER2:
      return a->word == b->word;
    case LVIO_VALUE_U32:
    case LVIO_VALUE_I32:
      return a->u32 == b->u32;
    default:
      return 0;
  }
}

uint64_t lvio_value_hash(const lvio_value* v) {
  switch (lvio_value_kind(v)) {
    case LVIO_VALUE_STRING: {
      uint64_t h = 0;
      if (v->string != nullptr)
        for (const char* p = v->string; *p != '\0'; p++) h = h * 31 + static_cast<unsigned char>(*p);
      return h;
    }
    case LVIO_VALUE_POINTER:
    case LVIO_VALUE_POINTER2:
      return v->word;
    case LVIO_VALUE_U32:
      return v->u32;
    case LVIO_VALUE_I32:
      return static_cast<uint64_t>(static_cast<int64_t>(v->i32));
    default:
      return ~uint64_t{0};
  }
}
