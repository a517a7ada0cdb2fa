// The text and encoding functions of the C interface.
#include "embed/encoding_functions.h"

#include <cstring>

#include "core/memory.h"
#include "lvio/allocator.h"
#include "lvio/buffer.h"
#include "lvio/span.h"
#include "lvio/utf8.h"
#include "streams/std_streams.h"
#include "text/utf8.h"

namespace {

char* from_os_result;  // the last text LV_from_os converted

char out_of_memory_text[] = "$LV_to_string_out_of_memory";

// Create flags of LV_encoding_open: bits 1 (decoder), 2 (CR LF) and 20-31
// pass; bit 4 asks for automatic line ends (create flag 8).
uint32_t create_flags(unsigned flags) {
  uint32_t f = flags & (0xFFF00000u | LVIO_CODER_CREATE_DECODER | LVIO_CODER_CREATE_CRLF);
  if ((flags & 16) != 0) f |= LVIO_CODER_CREATE_AUTO_EOL;
  return f;
}

// One step of a caller-driven conversion; decoder selects the direction.
int encode_step(lvio_coder_class* encoding, const void* source, size_t source_bytes, lvio_t_coder** state,
                void* destination, size_t destination_bytes, size_t* consumed, size_t* produced, unsigned flags,
                bool decoder) {
  if ((flags & LV_ENCODE_FINISH) != 0) {
    if (*state == nullptr) return 0;
    lvio_coder_release(*state);
    *state = nullptr;
    return 2;
  }
  lvio_t_coder* coder = *state;
  bool fresh = (flags & LV_ENCODE_BEGIN) != 0;
  if (fresh) {
    lvio_code rc = lvio_coder_create(encoding, &coder, nullptr, decoder ? LVIO_CODER_CREATE_DECODER : 0);
    if (rc < 0) return static_cast<int>(rc);
  }
  bool end = (flags & LV_ENCODE_END) != 0;
  lvio_span input = {static_cast<const uint8_t*>(source), source_bytes};
  lvio_buffer output = {static_cast<uint8_t*>(destination), 0, destination_bytes,
                        LVIO_BUFFER_BORROWED | LVIO_BUFFER_CALLER_RECORD | LVIO_BUFFER_FIXED};
  uint64_t position = 0;
  lvio_code rc = lvio_coder_convert(coder, &input, &position, &output, end ? LVIO_CONVERT_END_OF_INPUT : 0);
  if (rc >= 0 || (rc == LVIO_E_END_OF_FILE && end)) {
    if (end && position == source_bytes && output.used == 0) {
      lvio_coder_release(coder);
      *state = nullptr;
      return 2;
    }
    *state = coder;
    if (consumed != nullptr) *consumed = position;
    if (produced != nullptr) *produced = output.used;
    return static_cast<int>(rc);
  }
  if (fresh) {
    lvio_coder_release(coder);
    *state = nullptr;
  }
  return static_cast<int>(rc);
}

// Encodes all codes: into the destination when given, else into a reused
// scratch area only to count. The byte count, or an error: the coder's, or
// LVIO_E_INTERNAL_ERROR for a step that made no progress.
int64_t encode_all(lvio_coder_class* cls, const int* codes, size_t count, uint8_t* destination, size_t size) {
  lvio_t_coder* coder = nullptr;
  lvio_code rc = lvio_coder_create(cls, &coder, nullptr, 0);
  if (rc < 0) return rc;
  uint8_t scratch[100];
  lvio_span input = {reinterpret_cast<const uint8_t*>(codes), count * sizeof(int)};
  uint64_t position = 0;
  int64_t total = 0;
  while (position < input.length) {
    lvio_buffer output = destination != nullptr
                             ? lvio_buffer{destination + total, 0, size - static_cast<uint64_t>(total), 0}
                             : lvio_buffer{scratch, 0, sizeof scratch, 0};
    output.flags = LVIO_BUFFER_BORROWED | LVIO_BUFFER_CALLER_RECORD | LVIO_BUFFER_FIXED;
    uint64_t before = position;
    rc = lvio_coder_convert(coder, &input, &position, &output, LVIO_CONVERT_END_OF_INPUT);
    if (rc < 0) break;
    if (position == before && output.used == 0) {
      rc = LVIO_E_INTERNAL_ERROR;
      break;
    }
    total += static_cast<int64_t>(output.used);
  }
  lvio_coder_release(coder);
  return rc < 0 ? rc : total;
}

}  // namespace

char* LV_to_os(const char* text, int) { return const_cast<char*>(text); }

char* LV_from_os(const char* text, int) {
  if (lv_text_is_utf8(text)) return const_cast<char*>(text);
  if (text == nullptr) return nullptr;
  char* converted = nullptr;
  if (lvio_name_to_utf8(text, std::strlen(text), &converted, nullptr, LVIO_NAME_LATIN1) < 0 || converted == nullptr)
    return out_of_memory_text;
  lvio_free(from_os_result);
  from_os_result = converted;
  return converted;
}

void lv_encoding_shutdown() {
  lvio_free(from_os_result);
  from_os_result = nullptr;
}

int LV_get_encoding(const char* name, lvio_coder_class** encoding, unsigned flags) {
  uint32_t open_flags = (flags & LV_ENCODING_EIGHT_BIT) != 0 ? 1 : 0;
  if ((flags & LV_ENCODING_FROM_SETTINGS) == 0) {
    lvio_coder_class* cls = nullptr;
    lvio_code rc = lvio_coder_class_open(&cls, name, nullptr, open_flags);
    if (rc >= 0) *encoding = cls;
    return static_cast<int>(rc);
  }
  static const char* const ctype[] = {"LV_CTYPE", "", nullptr};
  static const char* const ctype_stdio[] = {"LV_CTYPE_STDIO", "LV_CTYPE", "", nullptr};
  const char* one[] = {name != nullptr ? name : "", nullptr};
  const char* const* settings = one;
  if ((flags & (LV_ENCODING_CTYPE | LV_ENCODING_CTYPE_STDIO)) != 0) {
    if (name != nullptr) return static_cast<int>(LVIO_E_PARAMETER_ERROR);
    settings = (flags & LV_ENCODING_CTYPE) != 0 ? ctype : ctype_stdio;
  }
  char* chosen = nullptr;
  int64_t rc = lv_encoding_from_env(&chosen, settings);
  if (rc >= 0) {
    lvio_coder_class* cls = nullptr;
    rc = lvio_coder_class_open(&cls, chosen, nullptr, open_flags);
    if (rc >= 0) *encoding = cls;
  }
  lvio_free(chosen);
  return static_cast<int>(rc);
}

int LV_encoding_release(lvio_coder_class* encoding) {
  lvio_coder_class_unref(encoding);
  return 0;
}

int LV_encoding_open(lvio_coder_class* encoding, lvio_t_coder** coder, void*, unsigned flags) {
  lvio_t_coder* made = nullptr;
  lvio_code rc = lvio_coder_create(encoding, &made, nullptr, create_flags(flags));
  if (rc < 0) return static_cast<int>(rc);
  *coder = made;
  return static_cast<int>(rc);
}

int LV_encode_from_codes(lvio_coder_class* encoding, const void* source, size_t source_bytes, lvio_t_coder** state,
                         void* destination, size_t destination_bytes, size_t* consumed, size_t* produced,
                         unsigned flags) {
  return encode_step(encoding, source, source_bytes, state, destination, destination_bytes, consumed, produced, flags,
                     false);
}

int LV_encode_to_codes(lvio_coder_class* encoding, const void* source, size_t source_bytes, lvio_t_coder** state,
                       void* destination, size_t destination_bytes, size_t* consumed, size_t* produced,
                       unsigned flags) {
  return encode_step(encoding, source, source_bytes, state, destination, destination_bytes, consumed, produced, flags,
                     true);
}

int LV_codes_to_multi_bytes(const char* encoding_name, const int* codes, size_t count, char** bytes,
                            size_t* byte_count) {
  lvio_coder_class* cls = nullptr;
  lvio_code rc = lvio_coder_class_open(&cls, encoding_name, nullptr, 0);
  if (rc < 0) return static_cast<int>(rc);
  int result = 0;
  int64_t size = encode_all(cls, codes, count, nullptr, 0);
  uint8_t* out = nullptr;
  if (size < 0) {
    result = static_cast<int>(size);
  } else if ((out = static_cast<uint8_t*>(LV_malloc(size > 0 ? static_cast<size_t>(size) : 1))) == nullptr) {
    result = static_cast<int>(LVIO_E_OUT_OF_MEMORY);
  } else {
    int64_t again = encode_all(cls, codes, count, out, static_cast<size_t>(size));
    if (again != size) {
      LV_free(out);
      result = static_cast<int>(again < 0 ? again : LVIO_E_INTERNAL_ERROR);
    } else {
      if (bytes != nullptr) *bytes = reinterpret_cast<char*>(out);
      else LV_free(out);
      if (byte_count != nullptr) *byte_count = static_cast<size_t>(size);
    }
  }
  lvio_coder_class_unref(cls);
  return result;
}
