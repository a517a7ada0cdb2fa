// UTF-8 helpers of the runtime.
#pragma once

#include <cstdint>

#include "lvio/result_codes.h"

// Flags of the helpers.
constexpr uint32_t LVIO_UTF8_ACCEPT_C080 = 1;  // the two-byte form C0 80 of NUL
constexpr uint32_t LVIO_UTF8_EXTENDED = 2;     // encoded surrogates, code points above U+10FFFF, 5- and 6-byte forms

// What the sequence at the start of some bytes is.
struct lvio_utf8_sequence {
  // 0 well-formed; LVIO_E_NOT_ENOUGH_DATA: the bytes end inside a sequence
  // that is well-formed so far; LVIO_E_ENCODING_INVALID: malformed;
  // LVIO_E_ENCODING_UNMAPPABLE: well-formed but above U+10FFFF (without the
  // extended flag).
  lvio_code rc;
  // Well-formed or above U+10FFFF: the sequence's bytes. Cut off: the bytes
  // available. Malformed: the bytes of its longest well-formed beginning, at
  // least 1, so that what follows it is read on its own.
  uint32_t length;
  uint32_t code_point;  // when well-formed
};

// Reads the sequence at bytes (available > 0).
lvio_utf8_sequence lvio_utf8_scan(const uint8_t* bytes, uint64_t available, uint32_t flags);

// 0 when the sequence of the given length at lead is well-formed; a cut-off
// or malformed one is LVIO_E_ENCODING_INVALID; above U+10FFFF without flag 2
// LVIO_E_ENCODING_UNMAPPABLE.
[[nodiscard]] lvio_code lvio_utf8_sequence_check(const uint8_t* lead, uint64_t length, uint32_t flags);

// 0 for well-formed text; a truncated last sequence is
// LVIO_E_ENCODING_INVALID; otherwise the first sequence's error.
[[nodiscard]] lvio_code lvio_utf8_validate(const uint8_t* bytes, uint64_t length, uint32_t flags);

// Decodes into codes, whose capacity is *count on entry; *count is the
// number decoded on exit. A full array with bytes left is
// LVIO_E_OUT_OF_MEMORY, a truncated last sequence LVIO_E_NOT_ENOUGH_DATA.
[[nodiscard]] lvio_code lvio_utf8_next_char(const uint8_t* bytes, uint64_t length, uint32_t* codes, uint64_t* count,
                                            uint32_t flags);

// The bytes as ISO-8859-1 text in UTF-8: a new NUL-terminated lvio_alloc
// block and its length without the NUL.
[[nodiscard]] lvio_code lvio_latin1_to_utf8(const uint8_t* bytes, uint64_t length, char** text, uint64_t* text_length);

// Flags of lvio_name_to_utf8.
constexpr uint32_t LVIO_NAME_AS_IS = 1;    // valid UTF-8 is handed back as it is, not copied
constexpr uint32_t LVIO_NAME_WIDE = 2;     // the name is in 16-bit units: not supported
constexpr uint32_t LVIO_NAME_LATIN1 = 4;   // a name that is not UTF-8 is read as ISO-8859-1

// A name as UTF-8 text. Valid UTF-8 gives 0 and, with LVIO_NAME_AS_IS, the
// name itself in *text, otherwise a NUL-terminated lvio_alloc copy. Other
// bytes give LVIO_E_ENCODING_INVALID, or with LVIO_NAME_LATIN1 1 and a copy
// converted from ISO-8859-1 (every byte above 127 becomes two). The length
// without a NUL goes to text_length unless it is null. LVIO_NAME_WIDE:
// LVIO_E_NOT_SUPPORTED.
[[nodiscard]] lvio_code lvio_name_to_utf8(const char* name, uint64_t length, char** text, uint64_t* text_length,
                                        uint32_t flags);
