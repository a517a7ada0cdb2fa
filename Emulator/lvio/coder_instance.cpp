// Coder instances: the operations every caller uses, and the slots the
// built-in coders share.
#include "lvio/allocator.h"
#include "lvio/coder.h"
#include "lvio/coder_builtin.h"

namespace {

lvio_code success_as_zero(lvio_code rc) { return rc < 0 ? rc : 0; }

}  // namespace

void lvio_coder_class_ref(lvio_coder_class* cls) { cls->ops.ref(cls); }

void lvio_coder_class_unref(lvio_coder_class* cls) { cls->ops.unref(cls); }

lvio_code lvio_coder_create(lvio_coder_class* cls, lvio_t_coder** out, void* argument, uint32_t flags) {
  lvio_t_coder* coder = nullptr;
  lvio_code rc = cls->ops.create(cls, &coder, argument, flags);
  if (rc < 0) return rc;
  if ((flags & LVIO_CODER_CREATE_FIXED_WIDTH) != 0 && (coder->flags & LVIO_CODER_FIXED_WIDTH) == 0) {
    lvio_coder_release(coder);
    return LVIO_E_SEEK_ERROR;
  }
  *out = coder;
  return 0;
}

void lvio_coder_release(lvio_t_coder* coder) {
  if (coder != nullptr) coder->cls->ops.release(coder);
}

lvio_code lvio_coder_convert(lvio_t_coder* coder, const lvio_span* input, uint64_t* position, lvio_buffer* output,
                             uint32_t flags) {
  if (*position > input->length) return LVIO_E_PARAMETER_ERROR;
  uint64_t at = *position;
  lvio_code rc = coder->cls->ops.convert(coder, input, &at, output, flags);
  if (rc == LVIO_E_NOT_ENOUGH_DATA && (flags & LVIO_CONVERT_END_OF_INPUT) != 0)
    rc = at < input->length ? LVIO_E_ENCODING_INVALID : LVIO_E_END_OF_FILE;
  if (rc >= 0) *position = at;
  return rc;
}

lvio_code lvio_coder_after_step(lvio_t_coder* coder, uint32_t flags) {
  return success_as_zero(coder->cls->ops.after_step(coder, flags));
}

lvio_code lvio_coder_spare(lvio_t_coder* coder, uint32_t flags) {
  return success_as_zero(coder->cls->ops.spare(coder, flags));
}

lvio_code lvio_coder_input_length(lvio_t_coder* coder, int64_t output_length, int64_t* input_length) {
  return success_as_zero(coder->cls->ops.input_length(coder, output_length, input_length));
}

lvio_code lvio_coder_reposition(lvio_t_coder* coder, int64_t length, uint32_t flags) {
  return success_as_zero(coder->cls->ops.reposition(coder, length, flags));
}

lvio_code lvio_coder_new_instance(lvio_coder_class* cls, uint32_t flags, int64_t state, lvio_t_coder** out) {
  auto* coder = static_cast<lvio_t_coder*>(lvio_alloc(sizeof(lvio_t_coder)));
  if (coder == nullptr) return LVIO_E_OUT_OF_MEMORY;
  coder->cls = cls;
  coder->flags = flags;
  coder->state = state;
  cls->ops.ref(cls);
  *out = coder;
  return 0;
}

void lvio_coder_release_instance(lvio_t_coder* coder) {
  lvio_coder_class* cls = coder->cls;
  lvio_free(coder);
  cls->ops.unref(cls);
}

lvio_code lvio_coder_step_nothing(lvio_t_coder*, uint32_t) { return 0; }

lvio_code lvio_coder_no_input_length(lvio_t_coder*, int64_t, int64_t*) { return LVIO_E_NOT_SUPPORTED; }

lvio_code lvio_coder_no_reposition(lvio_t_coder*, int64_t, uint32_t) { return LVIO_E_NOT_SUPPORTED; }

void lvio_coder_ref_static(lvio_coder_class* cls) { cls->reference_count++; }

// A count already at 0 stays there: an instance may outlive the registry.
void lvio_coder_unref_static(lvio_coder_class* cls) {
  if (cls->reference_count == 0) return;
  if (--cls->reference_count == 0) cls->ops.destroy(cls);
}

void lvio_coder_destroy_static(lvio_coder_class*) {}

lvio_code lvio_coder_create_unicode(lvio_coder_class* cls, lvio_t_coder** out, void*, uint32_t flags) {
  if ((flags & LVIO_CODER_CREATE_FIXED_WIDTH) != 0) return LVIO_E_NOT_IMPLEMENTED;
  bool decoder = (flags & LVIO_CODER_CREATE_DECODER) != 0;
  uint32_t f = decoder ? LVIO_CODER_DECODER_SIZES | LVIO_CODER_DECODING : LVIO_CODER_ENCODER_SIZES;
  if ((flags & LVIO_CODER_CREATE_BOM) != 0) {
    if (decoder)
      f |= LVIO_CODER_DROP_BOM;
    else if (cls != &lvio_coder_utf8 || (flags & LVIO_CODER_CREATE_NO_UTF8_BOM) == 0)
      f |= LVIO_CODER_WRITE_BOM;
  }
  if ((flags & LVIO_CODER_CREATE_CRLF) != 0) f |= LVIO_CODER_CRLF;
  if ((flags & LVIO_CODER_CREATE_AUTO_EOL) != 0) f |= LVIO_CODER_AUTO_EOL;
  return lvio_coder_new_instance(cls, f, LVIO_CODER_STATE_START, out);
}

lvio_code lvio_coder_reposition_wide(lvio_t_coder* coder, int64_t length, uint32_t) {
  if ((coder->flags & LVIO_CODER_DECODING) == 0) return LVIO_E_NOT_SUPPORTED;
  if (length > 0) return LVIO_E_PARAMETER_ERROR;
  if (length % 4 != 0) return LVIO_E_GRANULARITY_ERROR;
  coder->state = LVIO_CODER_STATE_NONE;
  return 0;
}
