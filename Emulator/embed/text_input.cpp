// Input streams over texts from C and LV_read_from_string.
#include "embed/text_input.h"

#include "core/api_error.h"
#include "core/predefined_atoms.h"
#include "embed/nesting.h"
#include "embed/prolog_contract.h"
#include "embed/queries.h"
#include "embed/term_interface.h"
#include "streams/memory_stream.h"
#include "streams/stream_api.h"
#include "text/utf8.h"

int LV_stream_from_string(const char* text, lv_stream** out) {
  if (out == nullptr || !lv_text_is_utf8(text)) return 0;
  return lv_stream_from_string(text, out);
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
  int result = LV_put_integer(stream_ref, stream->id) && LV_put_atom(list, LV_ATOM_NIL);
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
