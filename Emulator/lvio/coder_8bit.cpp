// The 8-bit table coders: ASCII, ISO-8859-1, ISO-8859-2, ISO-8859-15 and
// windows-1252.
#include <cstring>

#include "lvio/buffer.h"
#include "lvio/coder_8bit_tables.h"
#include "lvio/coder_builtin.h"
#include "lvio/coder_steps.h"

namespace {

constexpr uint32_t EOL_MODES = LVIO_CODER_CRLF | LVIO_CODER_AUTO_EOL;

const lvio_8bit_table* table_of(const lvio_t_coder* coder) {
  return reinterpret_cast<const lvio_coder_class_8bit*>(coder->cls)->table;
}

lvio_decoded decode_byte(const lvio_t_coder* coder, const uint8_t* bytes, uint64_t, uint32_t flags) {
  uint32_t cp = table_of(coder)->decode[bytes[0]];
  if (cp != LVIO_8BIT_NO_CHARACTER) return {0, 1, cp};
  if ((flags & LVIO_CONVERT_REPLACE) != 0) return {0, 1, LVIO_REPLACEMENT_CHARACTER};
  return {LVIO_E_ENCODING_INVALID, 0, 0};
}

uint32_t encode_byte(const lvio_t_coder* coder, uint32_t cp, uint8_t* bytes) {
  const lvio_8bit_table* t = table_of(coder);
  if (cp < 256 && t->decode[cp] == cp) {
    bytes[0] = static_cast<uint8_t>(cp);
    return 1;
  }
  for (uint64_t i = 0; i < t->exception_count; i++) {
    if (t->exceptions[i].code_point == cp) {
      bytes[0] = static_cast<uint8_t>(t->exceptions[i].byte);
      return 1;
    }
  }
  return 0;
}

// ISO-8859-1 without line-end translation: every byte widens to its code
// point.
lvio_code widen(lvio_t_coder* coder, const lvio_span* input, uint64_t* position, lvio_buffer* output) {
  uint64_t left = input->length - *position;
  if (left == 0) return LVIO_E_NOT_ENOUGH_DATA;
  if (output->capacity < output->used || (output->capacity - output->used) / 4 < left)
    (void)lvio_buffer_reserve(output, left * 4);  // a failure leaves no room, checked below
  uint64_t room = output->capacity >= output->used ? (output->capacity - output->used) / 4 : 0;
  uint64_t n = left < room ? left : room;
  if (n == 0) return LVIO_E_OUT_OF_MEMORY;
  const uint8_t* from = input->data + *position;
  for (uint64_t i = 0; i < n; i++) {
    uint32_t cp = from[i];
    std::memcpy(output->data + output->used + 4 * i, &cp, 4);
  }
  output->used += 4 * n;
  *position += n;
  coder->state = from[n - 1];
  return 0;
}

lvio_code convert(lvio_t_coder* coder, const lvio_span* input, uint64_t* position, lvio_buffer* output,
                  uint32_t flags) {
  if ((coder->flags & LVIO_CODER_DECODING) != 0 && coder->cls == &lvio_coder_latin1.base &&
      (coder->flags & EOL_MODES) == 0)
    return widen(coder, input, position, output);
  return lvio_convert_each<decode_byte, encode_byte>(coder, input, position, output, flags);
}

// Code-item bytes to bytes: a quarter, for whole code items only.
lvio_code input_length(lvio_t_coder* coder, int64_t output_length, int64_t* length) {
  if ((coder->flags & EOL_MODES) != 0) return LVIO_E_NOT_SUPPORTED;
  if (output_length % 4 != 0) return LVIO_E_GRANULARITY_ERROR;
  *length = output_length / 4;
  return 0;
}

lvio_code reposition(lvio_t_coder* coder, int64_t length, uint32_t) {
  if ((coder->flags & EOL_MODES) != 0) return LVIO_E_NOT_SUPPORTED;
  if (length % 4 != 0) return LVIO_E_GRANULARITY_ERROR;
  coder->state = LVIO_CODER_STATE_NONE;
  return 0;
}

lvio_code create(lvio_coder_class* cls, lvio_t_coder** out, void*, uint32_t flags) {
  uint32_t eol = flags & (LVIO_CODER_CREATE_CRLF | LVIO_CODER_CREATE_AUTO_EOL);
  bool fixed = (flags & LVIO_CODER_CREATE_FIXED_WIDTH) != 0;
  if (fixed && eol != 0) return LVIO_E_NOT_SUPPORTED;
  uint32_t f = (flags & LVIO_CODER_CREATE_DECODER) != 0 ? LVIO_CODER_DECODER_SIZES | LVIO_CODER_DECODING
                                                        : LVIO_CODER_ENCODER_SIZES;
  if (fixed) f |= LVIO_CODER_FIXED_WIDTH;
  if ((eol & LVIO_CODER_CREATE_CRLF) != 0) f |= LVIO_CODER_CRLF;
  if ((eol & LVIO_CODER_CREATE_AUTO_EOL) != 0) f |= LVIO_CODER_AUTO_EOL;
  return lvio_coder_new_instance(cls, f, LVIO_CODER_STATE_NONE, out);
}

constexpr lvio_coder_ops ops = {
    lvio_coder_release_instance,
    convert,
    lvio_coder_step_nothing,
    lvio_coder_step_nothing,
    input_length,
    reposition,
    lvio_coder_ref_static,
    lvio_coder_unref_static,
    lvio_coder_destroy_static,
    create,
};

constexpr lvio_coder_class_8bit make_class(const char* name, const char* const* aliases, const lvio_8bit_table* table) {
  return {{LVIO_CLASS_RECORD_SIZE, name, aliases, LVIO_CODER_CLASS_8BIT, 1, ops}, table};
}

const char* const ascii_aliases[] = {
    "iso-ir-6", "ANSI_X3.4-1986", "ISO_646.irv:1991", "ASCII", "ISO646-US", "US-ASCII", "us",
    "IBM367",   "cp367",          "csASCII",          "646",   nullptr};
const char* const latin1_aliases[] = {"ISO_8859-1:1987", "iso-ir-100", "latin1",      "l1",
                                      "IBM819",          "CP819",      "csISOLatin1", nullptr};
const char* const latin2_aliases[] = {"ISO_8859-2:1987", "iso-ir-101", "latin2", "l2", "csISOLatin2", nullptr};
const char* const latin9_aliases[] = {"Latin-9", nullptr};

}  // namespace

lvio_coder_class_8bit lvio_coder_ascii = make_class("ANSI_X3.4-1968", ascii_aliases, &lvio_table_ascii);
lvio_coder_class_8bit lvio_coder_latin1 = make_class("ISO-8859-1", latin1_aliases, &lvio_table_latin1);
lvio_coder_class_8bit lvio_coder_latin2 = make_class("ISO-8859-2", latin2_aliases, &lvio_table_latin2);
lvio_coder_class_8bit lvio_coder_latin9 = make_class("ISO-8859-15", latin9_aliases, &lvio_table_latin9);
lvio_coder_class_8bit lvio_coder_windows1252 = make_class("windows-1252", nullptr, &lvio_table_windows1252);
