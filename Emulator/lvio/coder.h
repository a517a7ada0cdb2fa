// Character coders: decoders turn bytes into 32-bit code points, encoders
// turn code points into bytes, and both translate line ends on the way.
//
// A coder class is a record of the same shape as a layer class (112 bytes,
// ten operation slots); a coder instance is made from a class and keeps the
// per-stream state. Classes are found by name through the coder registry.
#pragma once

#include <cstddef>
#include <cstdint>

#include "lvio/layer.h"
#include "lvio/result_codes.h"
#include "lvio/span.h"

struct lvio_buffer;
struct lvio_t_coder;
struct lvio_coder_class;

// The ten operations, in slot order: six of an instance, four of the class.
struct lvio_coder_ops {
  // Drops the class reference and frees the instance.
  void (*release)(lvio_t_coder* coder);
  // One conversion step from input at *position into output (see
  // lvio_coder_convert).
  lvio_code (*convert)(lvio_t_coder* coder, const lvio_span* input, uint64_t* position, lvio_buffer* output,
                       uint32_t flags);
  // Called by the char-coder layer after every successful step.
  lvio_code (*after_step)(lvio_t_coder* coder, uint32_t flags);
  // Not used by the built-in coders.
  lvio_code (*spare)(lvio_t_coder* coder, uint32_t flags);
  // The input length that corresponds to an output length.
  lvio_code (*input_length)(lvio_t_coder* coder, int64_t output_length, int64_t* input_length);
  // The stream moved by a length: clears the pending state.
  lvio_code (*reposition)(lvio_t_coder* coder, int64_t length, uint32_t flags);
  void (*ref)(lvio_coder_class* cls);
  // Calls destroy when the count reaches 0.
  void (*unref)(lvio_coder_class* cls);
  void (*destroy)(lvio_coder_class* cls);
  lvio_code (*create)(lvio_coder_class* cls, lvio_t_coder** out, void* argument, uint32_t flags);
};

struct lvio_coder_class {
  uint64_t record_size;        // LVIO_CLASS_RECORD_SIZE
  const char* name;            // the canonical name
  const char* const* aliases;  // null-terminated, or null
  uint32_t flags;
  uint32_t reference_count;
  lvio_coder_ops ops;
};
static_assert(sizeof(lvio_coder_class) == sizeof(lvio_class));
static_assert(offsetof(lvio_coder_class, aliases) == offsetof(lvio_class, aliases) &&
              offsetof(lvio_coder_class, flags) == offsetof(lvio_class, flags) &&
              offsetof(lvio_coder_class, reference_count) == offsetof(lvio_class, reference_count) &&
              offsetof(lvio_coder_class, ops) == offsetof(lvio_class, layer));

// Class flags.
constexpr uint32_t LVIO_CODER_CLASS_8BIT = 1;  // one byte per character, through a mapping table

// A coder instance.
struct lvio_t_coder {
  lvio_coder_class* cls;
  uint32_t flags;
  int64_t state;  // the previous code point, or one of the states below
};

constexpr int64_t LVIO_CODER_STATE_NONE = -1;
constexpr int64_t LVIO_CODER_STATE_START = -2;  // nothing converted yet

// Instance flags. Bits 0-2 hold the byte size of one output item, bits 3-5
// that of one input item.
constexpr uint32_t LVIO_CODER_OUTPUT_SIZE_MASK = 7;
constexpr uint32_t LVIO_CODER_INPUT_SIZE_SHIFT = 3;
constexpr uint32_t LVIO_CODER_DECODING = 64;
constexpr uint32_t LVIO_CODER_FIXED_WIDTH = 128;  // byte and character positions correspond
constexpr uint32_t LVIO_CODER_CRLF = 256;
constexpr uint32_t LVIO_CODER_AUTO_EOL = 512;
constexpr uint32_t LVIO_CODER_DROP_BOM = 2048;
constexpr uint32_t LVIO_CODER_WRITE_BOM = 4096;

inline uint32_t lvio_coder_output_size(const lvio_t_coder* c) { return c->flags & LVIO_CODER_OUTPUT_SIZE_MASK; }
inline uint32_t lvio_coder_input_size(const lvio_t_coder* c) {
  return (c->flags >> LVIO_CODER_INPUT_SIZE_SHIFT) & LVIO_CODER_OUTPUT_SIZE_MASK;
}

// Create flags.
constexpr uint32_t LVIO_CODER_CREATE_FIXED_WIDTH = 1;
constexpr uint32_t LVIO_CODER_CREATE_DECODER = 2;  // else an encoder
constexpr uint32_t LVIO_CODER_CREATE_CRLF = 4;
constexpr uint32_t LVIO_CODER_CREATE_AUTO_EOL = 8;
constexpr uint32_t LVIO_CODER_CREATE_BOM = 16;          // drop a mark when decoding, write one when encoding
constexpr uint32_t LVIO_CODER_CREATE_NO_UTF8_BOM = 32;  // the UTF-8 encoder writes no mark

// Convert flags.
constexpr uint32_t LVIO_CONVERT_END_OF_INPUT = 1;       // no more input will come
constexpr uint32_t LVIO_CONVERT_REPLACE_MALFORMED = 2;  // with REPLACE: malformed input becomes U+FFFD too
constexpr uint32_t LVIO_CONVERT_STRICT = 8;             // the UTF coders replace nothing
constexpr uint32_t LVIO_CONVERT_REPLACE = 16;           // replace what cannot be converted

constexpr uint32_t LVIO_REPLACEMENT_CHARACTER = 0xFFFD;

// Registry.

// The normalised form of a name in a new lvio_alloc block: ASCII letters in
// lower case and digits, nothing else, and no "0" that does not follow a
// kept digit (leading zeros of a number vanish). Null when out of memory.
char* lvio_normalize_charset_name(const char* name);

// Flags 0: registers the class under the name (null: its own name) and its
// aliases; the registry takes a reference. A name taken is LVIO_E_FOUND, a
// name or alias that normalises to nothing LVIO_E_PARAMETER_ERROR.
// Flag 1: unregisters the name and the class's aliases when the class
// registered there is the given one (or cls is null), dropping the
// registry's reference.
[[nodiscard]] lvio_code lvio_coder_class_register(const char* name, lvio_coder_class* cls, uint32_t flags);

// Adds (flag 1: removes) the canonical name and the aliases to the name
// table, each leading to the canonical name. An alias already leading to
// another canonical name is LVIO_E_FOUND (nothing is added).
[[nodiscard]] lvio_code lvio_coder_aliases_register(const char* canonical, const char* const* aliases, uint32_t flags);

// A new reference to the class the name leads to. Flag 1 asks for an 8-bit
// coder (else LVIO_E_SEEK_ERROR). LVIO_E_PARAMETER_ERROR for a name that
// normalises to nothing, LVIO_E_CHARSET_NOT_FOUND for an unknown one.
[[nodiscard]] lvio_code lvio_coder_class_open(lvio_coder_class** out, const char* name, void* ignored, uint32_t flags);

// The class registered under a canonical name, without a new reference.
[[nodiscard]] lvio_code lvio_coder_class_find(const char* canonical, lvio_coder_class** out);

// The normalised canonical name the name leads to, in a new lvio_alloc block.
[[nodiscard]] lvio_code lvio_charset_canonical_name(const char* name, char** canonical);

// 1 when both names lead to the same canonical name, else 0.
int lvio_charset_same(const char* a, const char* b);

void lvio_coder_class_ref(lvio_coder_class* cls);
void lvio_coder_class_unref(lvio_coder_class* cls);

// Instances.

// A new instance (class slot 9). With create flag 1 the instance must be
// fixed width, else it is released and the result is LVIO_E_SEEK_ERROR.
[[nodiscard]] lvio_code lvio_coder_create(lvio_coder_class* cls, lvio_t_coder** out, void* argument, uint32_t flags);
// Null is ignored.
void lvio_coder_release(lvio_t_coder* coder);

// Converts as much of the input from *position on as it can into output
// (which grows as needed): bytes to code points when decoding, code points
// to bytes when encoding. *position advances only on success. Input used up
// with nothing converted is LVIO_E_NOT_ENOUGH_DATA; with convert flag 1 that
// becomes LVIO_E_ENCODING_INVALID when unconverted bytes remain, else
// LVIO_E_END_OF_FILE. A step that converted something succeeds, and an
// error it met shows on the next step.
[[nodiscard]] lvio_code lvio_coder_convert(lvio_t_coder* coder, const lvio_span* input, uint64_t* position,
                                           lvio_buffer* output, uint32_t flags);

// Slots 2 to 5; non-negative results become 0.
[[nodiscard]] lvio_code lvio_coder_after_step(lvio_t_coder* coder, uint32_t flags);
[[nodiscard]] lvio_code lvio_coder_spare(lvio_t_coder* coder, uint32_t flags);
[[nodiscard]] lvio_code lvio_coder_input_length(lvio_t_coder* coder, int64_t output_length, int64_t* input_length);
[[nodiscard]] lvio_code lvio_coder_reposition(lvio_t_coder* coder, int64_t length, uint32_t flags);

// The coder module: start registers the built-in coders, stop (flag 1)
// unregisters them in reverse.
[[nodiscard]] lvio_code lvio_coder_module(uint32_t flags);
