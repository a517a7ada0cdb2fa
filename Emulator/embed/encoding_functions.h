// The text and encoding functions of the C interface: the runtime's text
// handed to and taken from C code, and whole-buffer conversions through the
// I/O layer's coders.
#pragma once

#include <cstddef>
#include <cstdint>

#include "lvio/coder.h"

// The text itself, for every context: the runtime's text is UTF-8 already.
char* LV_to_os(const char* text, int context);

// UTF-8 text: the text itself when it is valid UTF-8, otherwise the text
// read as ISO-8859-1 and converted into a slot that the next conversion
// replaces ("$LV_to_string_out_of_memory" when memory runs out). Engine
// thread only.
char* LV_from_os(const char* text, int context);

// Releases the slot of LV_from_os (runtime shutdown).
void lv_encoding_shutdown();

// Flags of LV_get_encoding.
constexpr unsigned LV_ENCODING_FROM_SETTINGS = 1;   // the name comes from settings
constexpr unsigned LV_ENCODING_CTYPE = 2;           // ... "LV_CTYPE", then the locale
constexpr unsigned LV_ENCODING_CTYPE_STDIO = 4;     // ... "LV_CTYPE_STDIO", "LV_CTYPE", then the locale
constexpr unsigned LV_ENCODING_EIGHT_BIT = 8;       // an 8-bit coder is required

// A new reference to the coder class of the name (or of the name found in
// settings) in *encoding; an lvio result code.
int LV_get_encoding(const char* name, lvio_coder_class** encoding, unsigned flags);
int LV_encoding_release(lvio_coder_class* encoding);

// A coder instance of the class: flag 2 a decoder (bytes to codes), flag 4
// line ends as CR LF, flag 16 automatic line ends, bits 20-31 passed on.
int LV_encoding_open(lvio_coder_class* encoding, lvio_t_coder** coder, void* ignored, unsigned flags);

// Flags of LV_encode_from_codes and LV_encode_to_codes.
constexpr unsigned LV_ENCODE_BEGIN = 1;   // a fresh coder, not the one in *state
constexpr unsigned LV_ENCODE_END = 2;     // the source is the end of the input
constexpr unsigned LV_ENCODE_FINISH = 4;  // only release the coder in *state

// One conversion step of 32-bit codes to bytes (from_codes) or bytes to
// 32-bit codes (to_codes), the coder kept in *state between steps. Returns
// 2 when the conversion is complete (the coder released, *state null), else
// the step's lvio result code with the counts in *consumed and *produced.
int LV_encode_from_codes(lvio_coder_class* encoding, const void* source, size_t source_bytes, lvio_t_coder** state,
                         void* destination, size_t destination_bytes, size_t* consumed, size_t* produced,
                         unsigned flags);
int LV_encode_to_codes(lvio_coder_class* encoding, const void* source, size_t source_bytes, lvio_t_coder** state,
                       void* destination, size_t destination_bytes, size_t* consumed, size_t* produced,
                       unsigned flags);

// The codes in the named encoding, as a new block (LV_malloc, freed with
// LV_free) in *bytes and its size in *byte_count; no NUL is added. A code the
// encoding cannot map ends the conversion with the coder's error.
int LV_codes_to_multi_bytes(const char* encoding_name, const int* codes, size_t count, char** bytes,
                            size_t* byte_count);
