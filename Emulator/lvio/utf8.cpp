// UTF-8 sequences.
#include "lvio/utf8.h"

#include <cstring>

#include "lvio/allocator.h"

lvio_utf8_sequence lvio_utf8_scan(const uint8_t* bytes, uint64_t available, uint32_t flags) {
  const bool extended = (flags & LVIO_UTF8_EXTENDED) != 0;
  const uint8_t lead = bytes[0];
  if (lead < 0x80) return {0, 1, lead};
  uint32_t length;
  uint32_t cp;
  uint8_t low = 0x80;  // the range of the second byte
  uint8_t high = 0xBF;
  if (lead < 0xC0 || lead >= 0xFE) return {LVIO_E_ENCODING_INVALID, 1, 0};
  if (lead < 0xE0) {
    length = 2;
    cp = lead & 0x1F;
    if (lead < 0xC2) {
      if (lead != 0xC0 || (flags & LVIO_UTF8_ACCEPT_C080) == 0) return {LVIO_E_ENCODING_INVALID, 1, 0};
      high = 0x80;
    }
  } else if (lead < 0xF0) {
    length = 3;
    cp = lead & 0x0F;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED && !extended) high = 0x9F;  // surrogates
  } else if (lead < 0xF8) {
    length = 4;
    cp = lead & 0x07;
    if (lead == 0xF0) low = 0x90;
  } else if (lead < 0xFC) {
    length = 5;
    cp = lead & 0x03;
    if (lead == 0xF8) low = 0x88;
  } else {
    length = 6;
    cp = lead & 0x01;
    if (lead == 0xFC) low = 0x84;
  }
  uint32_t n = available < length ? static_cast<uint32_t>(available) : length;
  for (uint32_t k = 1; k < n; k++) {
    uint8_t b = bytes[k];
    if (b < (k == 1 ? low : 0x80) || b > (k == 1 ? high : 0xBF)) return {LVIO_E_ENCODING_INVALID, k, 0};
    cp = (cp << 6) | (b & 0x3F);
  }
  if (n < length) return {LVIO_E_NOT_ENOUGH_DATA, n, 0};
  if (cp > 0x10FFFF && !extended) return {LVIO_E_ENCODING_UNMAPPABLE, length, 0};
  return {0, length, cp};
}

lvio_code lvio_utf8_sequence_check(const uint8_t* lead, uint64_t length, uint32_t flags) {
  if (length == 0) return LVIO_E_ENCODING_INVALID;
  lvio_utf8_sequence s = lvio_utf8_scan(lead, length, flags);
  if (s.rc == LVIO_E_ENCODING_UNMAPPABLE && s.length == length) return s.rc;
  if (s.rc != 0 || s.length != length) return LVIO_E_ENCODING_INVALID;
  return 0;
}

lvio_code lvio_utf8_validate(const uint8_t* bytes, uint64_t length, uint32_t flags) {
  for (uint64_t i = 0; i < length;) {
    lvio_utf8_sequence s = lvio_utf8_scan(bytes + i, length - i, flags);
    if (s.rc == LVIO_E_NOT_ENOUGH_DATA) return LVIO_E_ENCODING_INVALID;
    if (s.rc != 0) return s.rc;
    i += s.length;
  }
  return 0;
}

lvio_code lvio_utf8_next_char(const uint8_t* bytes, uint64_t length, uint32_t* codes, uint64_t* count, uint32_t flags) {
  uint64_t capacity = *count;
  uint64_t n = 0;
  lvio_code rc = 0;
  for (uint64_t i = 0; i < length;) {
    if (n == capacity) {
      rc = LVIO_E_OUT_OF_MEMORY;
      break;
    }
    lvio_utf8_sequence s = lvio_utf8_scan(bytes + i, length - i, flags);
    if (s.rc != 0) {
      rc = s.rc;
      break;
    }
    codes[n++] = s.code_point;
    i += s.length;
  }
  *count = n;
  return rc;
}

lvio_code lvio_latin1_to_utf8(const uint8_t* bytes, uint64_t length, char** text, uint64_t* text_length) {
  uint64_t size = length;
  for (uint64_t i = 0; i < length; i++) size += bytes[i] >> 7;
  auto* out = static_cast<char*>(lvio_alloc(size + 1));
  if (out == nullptr) return LVIO_E_OUT_OF_MEMORY;
  uint64_t k = 0;
  for (uint64_t i = 0; i < length; i++) {
    uint8_t b = bytes[i];
    if (b < 0x80) {
      out[k++] = static_cast<char>(b);
    } else {
      out[k++] = static_cast<char>(0xC0 | (b >> 6));
      out[k++] = static_cast<char>(0x80 | (b & 0x3F));
    }
  }
  out[k] = '\0';
  *text = out;
  *text_length = k;
  return 0;
}

lvio_code lvio_name_to_utf8(const char* name, uint64_t length, char** text, uint64_t* text_length,
                            uint32_t flags) {
  if ((flags & LVIO_NAME_WIDE) != 0) return LVIO_E_NOT_SUPPORTED;
  const auto* bytes = reinterpret_cast<const uint8_t*>(name);
  uint64_t ignored;
  uint64_t* out_length = text_length != nullptr ? text_length : &ignored;
  if (lvio_utf8_validate(bytes, length, 0) < 0) {
    if ((flags & LVIO_NAME_LATIN1) == 0) return LVIO_E_ENCODING_INVALID;
    lvio_code rc = lvio_latin1_to_utf8(bytes, length, text, out_length);
    return rc < 0 ? rc : 1;
  }
  *out_length = length;
  if ((flags & LVIO_NAME_AS_IS) != 0) {
    *text = const_cast<char*>(name);
    return 0;
  }
  auto* copy = static_cast<char*>(lvio_alloc(length + 1));
  if (copy == nullptr) return LVIO_E_OUT_OF_MEMORY;
  std::memcpy(copy, name, length);
  copy[length] = '\0';
  *text = copy;
  return 0;
}
