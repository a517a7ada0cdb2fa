// What the built-in coders share: their class records, the class and
// instance operations that do the same for all of them, and the 8-bit
// class shape.
#pragma once

#include "lvio/coder.h"

struct lvio_8bit_table;

// An 8-bit coder class: the class record followed by its mapping table.
// Every class flagged LVIO_CODER_CLASS_8BIT has this shape.
struct lvio_coder_class_8bit {
  lvio_coder_class base;
  const lvio_8bit_table* table;
};

// Item sizes of every built-in decoder (bytes in, code points out) and
// encoder (code points in, bytes out).
constexpr uint32_t LVIO_CODER_DECODER_SIZES = 4 | (1 << LVIO_CODER_INPUT_SIZE_SHIFT);
constexpr uint32_t LVIO_CODER_ENCODER_SIZES = 1 | (4 << LVIO_CODER_INPUT_SIZE_SHIFT);

constexpr int LVIO_BUILTIN_CODER_COUNT = 10;

// The built-in classes in registration order.
extern lvio_coder_class* const lvio_builtin_coders[LVIO_BUILTIN_CODER_COUNT];

extern lvio_coder_class_8bit lvio_coder_ascii;
extern lvio_coder_class_8bit lvio_coder_latin1;
extern lvio_coder_class_8bit lvio_coder_latin2;
extern lvio_coder_class_8bit lvio_coder_latin9;
extern lvio_coder_class_8bit lvio_coder_windows1252;
extern lvio_coder_class lvio_coder_utf8;
extern lvio_coder_class lvio_coder_utf16be;
extern lvio_coder_class lvio_coder_utf16le;
extern lvio_coder_class lvio_coder_utf32be;
extern lvio_coder_class lvio_coder_utf32le;

// A new instance holding a reference to its class; LVIO_E_OUT_OF_MEMORY.
[[nodiscard]] lvio_code lvio_coder_new_instance(lvio_coder_class* cls, uint32_t flags, int64_t state,
                                                lvio_t_coder** out);

// Shared slots.
void lvio_coder_release_instance(lvio_t_coder* coder);
[[nodiscard]] lvio_code lvio_coder_step_nothing(lvio_t_coder* coder, uint32_t flags);
[[nodiscard]] lvio_code lvio_coder_no_input_length(lvio_t_coder* coder, int64_t output_length, int64_t* input_length);
[[nodiscard]] lvio_code lvio_coder_no_reposition(lvio_t_coder* coder, int64_t length, uint32_t flags);
void lvio_coder_ref_static(lvio_coder_class* cls);
void lvio_coder_unref_static(lvio_coder_class* cls);
void lvio_coder_destroy_static(lvio_coder_class* cls);

// The create operation of the UTF-8, UTF-16 and UTF-32 classes: never fixed
// width; the mark, line-end and direction flags as asked; state "start".
[[nodiscard]] lvio_code lvio_coder_create_unicode(lvio_coder_class* cls, lvio_t_coder** out, void* argument,
                                                  uint32_t flags);
// The reposition operation of the UTF-16 and UTF-32 classes: decoders take
// a move back by whole code items; encoders refuse.
[[nodiscard]] lvio_code lvio_coder_reposition_wide(lvio_t_coder* coder, int64_t length, uint32_t flags);

// The operations of the UTF-8, UTF-16 and UTF-32 classes, which differ in
// convert and reposition only.
constexpr lvio_coder_ops lvio_unicode_coder_ops(decltype(lvio_coder_ops::convert) convert,
                                                decltype(lvio_coder_ops::reposition) reposition) {
  return {lvio_coder_release_instance, convert,
          lvio_coder_step_nothing,     lvio_coder_step_nothing,
          lvio_coder_no_input_length,  reposition,
          lvio_coder_ref_static,       lvio_coder_unref_static,
          lvio_coder_destroy_static,   lvio_coder_create_unicode};
}
