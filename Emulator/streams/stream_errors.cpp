// The one mapping from I/O-layer results to pending errors, and the
// decoding of stream arguments.
#include "core/atoms.h"
#include "core/error_codes.h"
#include "core/errors.h"
#include "lvio/result_codes.h"
#include "streams/std_streams.h"
#include "streams/stream.h"
#include "streams/stream_internal.h"

void lv_raise_lvio_error(int64_t code, bool output, lv_term culprit) {
  switch (code) {
    case LVIO_E_FILE_EXISTS:
    case LVIO_E_FILE_ACCESS:
    case LVIO_E_PERMISSION_ERROR:
      lv_set_pending_error(output ? LV_ERROR_OUTPUT_PERMISSION : LV_ERROR_INPUT_PERMISSION, "", culprit);
      return;
    case LVIO_E_FILE_NOT_FOUND:
      lv_set_pending_error(LV_ERROR_NO_SUCH_FILE, "", culprit);
      return;
    case LVIO_E_TOO_MANY_OPEN_FILES:
      lv_set_pending_error(LV_ERROR_RESOURCE, "file handle", culprit);
      return;
    case LVIO_E_SEEK_ERROR:
      lv_set_pending_error(LV_ERROR_SEEK, "", culprit);
      return;
    case LVIO_E_ENCODING_INVALID:
    case LVIO_E_ENCODING_UNMAPPABLE:
      lv_set_pending_error(LV_ERROR_ENCODING, "", culprit);
      return;
    case LVIO_E_INTERNAL_ERROR:
      lv_set_pending_error(LV_ERROR_SYSTEM, "internal error", culprit);
      return;
    case LVIO_E_INTERRUPTED:
      lv_set_pending_error(LV_ERROR_SYSTEM, "interrupted", culprit);
      return;
    default:
      lv_set_pending_error(LV_ERROR_SYSTEM, lvio_error_name_of(code), culprit);
      return;
  }
}

int lv_raise_stream_error(lv_worker* w, int64_t code, bool output, lv_term name, unsigned arity, int64_t argument) {
  lv_term culprit = argument == 0 || argument > static_cast<int64_t>(arity) ? lv_make_small(0)
                                                                           : lv_deref(w->X[argument - 1]);
  lv_raise_lvio_error(code, output, culprit);
  return lv_raise_builtin_error(w, LV_ATOM_PROLOG, name, arity, argument);
}

lv_stream* lv_get_stream_arg(lv_term term, uint64_t required, uint64_t forbidden) {
  bool quiet = (required & LV_CAP_QUIET) != 0;
  required &= ~LV_CAP_QUIET;
  term = lv_deref(term);
  lv_stream* s = nullptr;
  if (lv_is_atom(term)) {
    if ((forbidden & (LV_CAP_STANDARD | LV_CAP_HIDDEN)) == 0) {
      if (term == LV_ATOM_USER_INPUT_)
        s = lv_streams.user[LV_STD_INPUT];
      else if (term == LV_ATOM_USER_OUTPUT_)
        s = lv_streams.user[LV_STD_OUTPUT];
      else if (term == LV_ATOM_USER_ERROR_)
        s = lv_streams.user[LV_STD_ERROR];
      else if (term == LV_ATOM_USER)
        s = lv_streams.user[(required & LV_CAP_INPUT) != 0 ? LV_STD_INPUT : LV_STD_OUTPUT];
    }
  } else if (lv_is_integer(term)) {
    s = lv_is_small(term) ? lv_stream_of_handle(lv_small_value(term)) : nullptr;
    if (s == nullptr) {
      if (!quiet) lv_set_pending_error(LV_ERROR_NO_SUCH_STREAM, "", term);
      return nullptr;
    }
  }
  if (s == nullptr) {
    if (!quiet) lv_set_pending_error(LV_ERROR_NOT_A_STREAM, "", term);
    return nullptr;
  }
  if ((s->capabilities & required) != required || (s->capabilities & forbidden) != 0) {
    if (!quiet) {
      bool input = (required & LV_CAP_INPUT) != 0;
      lv_set_pending_error(input ? LV_ERROR_INPUT_STREAM_NEEDED : LV_ERROR_OUTPUT_STREAM_NEEDED, "", term);
    }
    return nullptr;
  }
  return s;
}

lv_term lv_stream_term(const lv_stream* stream) { return lv_make_small(stream->id); }

const char* lv_stream_name(const lv_stream* stream) {
  return stream->file_name != 0 ? lv_atom_text(stream->file_name) : "";
}
