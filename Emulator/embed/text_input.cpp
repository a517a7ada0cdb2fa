// Input streams over texts from C and LV_read_from_string.
#include "embed/text_input.h"

#include <cstring>

#include "core/api_error.h"
#include "core/memory.h"
#include "core/predefined_atoms.h"
#include "embed/nesting.h"
#include "embed/prolog_contract.h"
#include "embed/queries.h"
#include "embed/term_interface.h"
#include "streams/stream_api.h"
#include "text/utf8.h"

namespace {

constexpr uint32_t FLAGS = lv_mem_flags(LV_CAT_LV_STREAM);
constexpr int LV_ERR_NO_PREDICATE = 4;

struct code_input {
  int32_t* codes;
  uint64_t count;
  uint64_t position;
};

int64_t code_read(void* user, void* destination, uint64_t* size, uint32_t) {
  auto* c = static_cast<code_input*>(user);
  uint64_t n = c->count - c->position;
  if (n == 0) {
    *size = 0;
    return LVIO_E_END_OF_FILE;
  }
  uint64_t room = *size / sizeof(int32_t);
  if (n > room) n = room;
  std::memcpy(destination, c->codes + c->position, n * sizeof(int32_t));
  c->position += n;
  *size = n * sizeof(int32_t);
  return 0;
}

int64_t code_close(void** user, uint32_t, int) {
  auto* c = static_cast<code_input*>(*user);
  if (c != nullptr) {
    lv_mem_free(c->codes, (c->count == 0 ? 1 : c->count) * sizeof(int32_t), FLAGS);
    lv_mem_free(c, sizeof *c, FLAGS);
  }
  *user = nullptr;
  return 0;
}

const char code_input_tag = 0;

}  // namespace

int64_t lv_open_code_input(const int32_t* codes, size_t n, lv_stream** out) {
  if ((codes == nullptr && n != 0) || out == nullptr) return LVIO_E_PARAMETER_ERROR;
  auto* c = static_cast<code_input*>(lv_mem_alloc(sizeof(code_input), FLAGS));
  if (c == nullptr) return LVIO_E_OUT_OF_MEMORY;
  c->count = n;
  c->position = 0;
  c->codes = static_cast<int32_t*>(lv_mem_alloc((n == 0 ? 1 : n) * sizeof(int32_t), FLAGS));
  if (c->codes == nullptr) {
    lv_mem_free(c, sizeof *c, FLAGS);
    return LVIO_E_OUT_OF_MEMORY;
  }
  if (n != 0) std::memcpy(c->codes, codes, n * sizeof(int32_t));
  int64_t rc = LV_create_stream(c, &code_input_tag, code_read, nullptr, nullptr, nullptr, code_close, nullptr,
                                nullptr, nullptr, LV_CREATE_CODES, out);
  if (rc < 0) {
    void* user = c;
    code_close(&user, 0, 1);
  }
  return rc < 0 ? rc : 0;
}

int LV_stream_from_string(const char* text, lv_stream** out) {
  if (out == nullptr || !lv_text_is_utf8(text)) return 0;
  size_t length = std::strlen(text);
  auto* codes = static_cast<int32_t*>(lv_mem_alloc((length + 1) * sizeof(int32_t), FLAGS));
  if (codes == nullptr) return 0;
  size_t n = 0;
  const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
  const unsigned char* end = p + length;
  while (p < end) codes[n++] = lv_utf8_next(p, end);
  int64_t rc = lv_open_code_input(codes, n, out);
  lv_mem_free(codes, (length + 1) * sizeof(int32_t), FLAGS);
  return rc < 0 ? 0 : 1;
}

int LV_read_from_string(lv_term_ref t, const char* text, const lv_term_ref* values) {
  if (!lv_term_ref_valid(t)) return 0;
  if (text == nullptr) {
    lv_set_api_error(LV_ERR_NULL_TEXT);
    return 0;
  }
  lv_pred* reader = lv_role.read_from_string;
  if (reader == nullptr) {
    lv_set_api_error(LV_ERR_NO_PREDICATE);
    return 0;
  }
  lv_stream* stream = nullptr;
  if (!LV_stream_from_string(text, &stream)) return 0;
  lv_term_ref mark = LV_new_term_ref();
  lv_term_ref stream_ref = mark;
  lv_term_ref list = LV_new_term_ref();
  lv_term_ref value = LV_new_term_ref();
  int result = LV_put_address(stream_ref, stream) && LV_put_atom(list, LV_ATOM_NIL);
  // The list of the values, built from its end.
  size_t n = 0;
  if (values != nullptr)
    while (values[n] != 0) n++;
  for (size_t i = n; result && i-- > 0;) {
    result = LV_put_term(value, values[i]) && LV_cons_list(list, value, list);
  }
  if (result) result = LV_put_variable(t);
  if (result) {
    lv_nest_enter();
    result = LV_query(reader, stream_ref, list, t);
    lv_nest_leave();
  }
  LV_fclose(stream, LV_CLOSE_FORCE);
  LV_reset_term_refs(mark);
  return result;
}
