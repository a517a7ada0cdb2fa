// The runtime's internal text encoding.
#include "text/utf8.h"

namespace {

constexpr uint8_t continuation_count(unsigned b) {
  if (b < 0x80) return 0;
  if (b < 0xC0) return LV_UTF8_INVALID;
  if (b < 0xE0) return 1;
  if (b < 0xF0) return 2;
  if (b < 0xF8) return 3;
  if (b < 0xFC) return 4;
  if (b < 0xFE) return 5;
  return LV_UTF8_INVALID;
}

constexpr std::array<uint8_t, 256> make_table() {
  std::array<uint8_t, 256> t{};
  for (unsigned b = 0; b < 256; b++) t[b] = continuation_count(b);
  return t;
}

bool continuation(unsigned char b) { return (b & 0xC0) == 0x80; }

}  // namespace

const std::array<uint8_t, 256> lv_utf8_seq_length = make_table();

int lv_text_is_utf8(const char* text) {
  if (text == nullptr) return 0;
  const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
  while (*p != 0 && *p < 0x80) p++;
  while (*p != 0) {
    unsigned n = lv_utf8_seq_length[*p++];
    if (n == LV_UTF8_INVALID) return 0;
    for (unsigned i = 0; i < n; i++)
      if (!continuation(*p++)) return 0;
  }
  return 1;
}

int LV_code_wci(char* buffer, int32_t c) {
  if (c < 0) return -1;
  uint32_t u = static_cast<uint32_t>(c);
  if (u >= 1 && u <= 127) {
    if (buffer != nullptr) buffer[0] = static_cast<char>(u);
    return 1;
  }
  int n = 2;
  for (uint32_t rest = u >> 11; rest != 0; rest >>= 5) n++;
  if (buffer != nullptr) {
    buffer[0] = static_cast<char>((u >> (6 * (n - 1))) | (0x1F80u >> (n - 1) & 0xFF));
    for (int i = 1; i < n; i++) buffer[i] = static_cast<char>(0x80 | ((u >> (6 * (n - 1 - i))) & 0x3F));
  }
  return n;
}

int LV_wci_code(int32_t* code, const char* text) {
  if (text == nullptr || *text == '\0') return 0;
  const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
  unsigned n = lv_utf8_seq_length[p[0]];
  if (n == LV_UTF8_INVALID) return -1;
  uint32_t value = p[0] & (0x3Fu >> n);
  if (n == 0) value = p[0];
  for (unsigned i = 1; i <= n; i++) {
    if (!continuation(p[i])) return -static_cast<int>(i);
    value = (value << 6) | (p[i] & 0x3F);
  }
  if (code != nullptr) *code = static_cast<int32_t>(value);
  return static_cast<int>(n + 1);
}

int LV_wci_len(const char* text) { return LV_wci_code(nullptr, text); }

int32_t lv_utf8_next(const unsigned char*& p, const unsigned char* end) {
  unsigned char lead = *p;
  unsigned n = lv_utf8_seq_length[lead];
  if (n == 0) {
    p++;
    return lead;
  }
  if (n == LV_UTF8_INVALID || static_cast<size_t>(end - p) <= n) {
    p++;
    return 128;
  }
  uint32_t value = lead & (0x3Fu >> n);
  for (unsigned i = 1; i <= n; i++) {
    if (!continuation(p[i])) {
      p++;
      return 128;
    }
    value = (value << 6) | (p[i] & 0x3F);
  }
  p += n + 1;
  return static_cast<int32_t>(value);
}

namespace {

// The end of the character at p, within [p, end).
const char* char_end(const char* p, const char* end) {
  unsigned n = lv_utf8_seq_length[static_cast<unsigned char>(*p++)];
  if (n == LV_UTF8_INVALID) return p;
  for (; n > 0 && p < end && continuation(static_cast<unsigned char>(*p)); n--) p++;
  return p;
}

}  // namespace

uint64_t lv_utf8_count(const char* p, const char* end) {
  uint64_t count = 0;
  for (; p < end; count++) p = char_end(p, end);
  return count;
}

const char* lv_utf8_skip(const char* p, const char* end, uint64_t count) {
  for (; count > 0; count--) {
    if (p >= end) return nullptr;
    p = char_end(p, end);
  }
  return p;
}
