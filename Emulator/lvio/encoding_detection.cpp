// Encoding detection.
#include "lvio/encoding_detection.h"

#include <cstring>

#include "lvio/buffer.h"
#include "lvio/chain.h"
#include "lvio/coder.h"
#include "lvio/operation_flags.h"

namespace {

constexpr uint64_t DECLARATION_WINDOW = 1024;  // bytes of the stream a declaration may lie in
constexpr uint32_t MOVABLE = LVIO_LAYER_MOVABLE_BACK | 1024;
constexpr uint32_t READ_NO_WAIT = 1;
constexpr const char* NAME_CHARACTERS = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789!$%&*+-.^_{|}~";

uint32_t open_flags(uint32_t flags) { return (flags & LVIO_DETECT_FIXED_WIDTH) != 0 ? 1 : 0; }

lvio_code detect_mark(const lvio_span* bytes, bool ended, uint32_t flags, lvio_coder_class** out) {
  const char* name;
  lvio_code rc = lvio_detect_bom(bytes, &name, ended ? LVIO_DETECT_INPUT_ENDED : 0);
  if (rc != 0) return rc;
  return lvio_coder_class_open(out, name, nullptr, open_flags(flags));
}

// The first occurrence of text in [from, to), or to.
uint64_t find(const uint8_t* p, uint64_t from, uint64_t to, const char* text) {
  uint64_t n = std::strlen(text);
  for (uint64_t i = from; i + n <= to; i++)
    if (std::memcmp(p + i, text, n) == 0) return i;
  return to;
}

bool is_blank(uint8_t c) { return c == ' ' || c == '\t'; }

// A "coding:" declaration between from and to: the name's span, or false.
bool find_coding(const uint8_t* p, uint64_t from, uint64_t to, uint64_t* name, uint64_t* name_end) {
  static const char key[] = "coding:";
  for (uint64_t i = find(p, from, to, key); i < to; i = find(p, i + 1, to, key)) {
    if (i != from && !is_blank(p[i - 1]) && p[i - 1] != ';') continue;
    uint64_t j = i + sizeof key - 1;
    while (j < to && is_blank(p[j])) j++;
    uint64_t k = j;
    while (k < to && std::strchr(NAME_CHARACTERS, p[k]) != nullptr && p[k] != '\0') k++;
    *name = j;
    *name_end = k;
    return true;
  }
  return false;
}

lvio_code detect_declaration(const lvio_span* bytes, bool ended, uint32_t flags, lvio_coder_class** out) {
  const uint8_t* p = bytes->data;
  uint64_t n = bytes->length;
  if (n >= DECLARATION_WINDOW) {
    n = DECLARATION_WINDOW;
    ended = true;
  }
  uint64_t start = 0;
  while (start < n && (p[start] == '\r' || p[start] == '\n')) start++;
  uint64_t end = start;
  while (end < n && p[end] != '\r' && p[end] != '\n') end++;
  bool complete = end < n || ended;
  for (uint64_t at = start;;) {
    uint64_t open = find(p, at, end, "-*-");
    if (open == end) break;
    uint64_t close = find(p, open + 3, end, "-*-");
    if (close == end) break;
    uint64_t name;
    uint64_t name_end;
    if (find_coding(p, open + 3, close, &name, &name_end)) {
      if (name == name_end) return LVIO_E_SYNTAX_ERROR;
      char text[DECLARATION_WINDOW + 1];
      std::memcpy(text, p + name, name_end - name);
      text[name_end - name] = '\0';
      return lvio_coder_class_open(out, text, nullptr, open_flags(flags));
    }
    at = close + 3;
  }
  return complete ? 1 : LVIO_E_NOT_ENOUGH_DATA;
}

typedef lvio_code (*detector)(const lvio_span* bytes, bool ended, uint32_t flags, lvio_coder_class** out);

}  // namespace

lvio_code lvio_detect_bom(const lvio_span* bytes, const char** name, uint32_t flags) {
  const uint8_t* p = bytes->data;
  uint64_t n = bytes->length;
  bool ended = (flags & LVIO_DETECT_INPUT_ENDED) != 0;
  *name = nullptr;
  if (n >= 4 && p[0] == 0xFF && p[1] == 0xFE && p[2] == 0 && p[3] == 0)
    *name = "UTF-32 LE";
  else if (n >= 4 && p[0] == 0 && p[1] == 0 && p[2] == 0xFE && p[3] == 0xFF)
    *name = "UTF-32 BE";
  else if (n >= 3 && p[0] == 0xEF && p[1] == 0xBB && p[2] == 0xBF)
    *name = "UTF-8";
  else if (n >= 2 && p[0] == 0xFE && p[1] == 0xFF)
    *name = "UTF-16 BE";
  else if (n >= 2 && p[0] == 0xFF && p[1] == 0xFE) {
    // It may still become FF FE 00 00.
    if (n < 4 && !ended) return LVIO_E_NOT_ENOUGH_DATA;
    *name = "UTF-16 LE";
  }
  if (*name != nullptr) return 0;
  return n >= 4 || ended ? 1 : LVIO_E_NOT_ENOUGH_DATA;
}

lvio_code lvio_detect_encoding(lvio_layer** chain, lvio_coder_class** out, uint32_t flags) {
  if (*chain == nullptr || ((*chain)->flags & MOVABLE) == 0) return 1;
  static const detector detectors[] = {detect_mark, detect_declaration};
  lvio_buffer* bytes = nullptr;
  lvio_coder_class* found = nullptr;
  lvio_code result = 1;
  bool ended = false;
  for (;;) {
    lvio_code rc = lvio_stream_read_buffer(chain, &bytes, READ_NO_WAIT);
    if (rc == LVIO_E_END_OF_FILE && bytes != nullptr && bytes->used != 0)
      ended = true;
    else if (rc < 0)
      break;
    lvio_span span = {bytes->data, bytes->used};
    bool need_more = false;
    bool decided = false;
    for (detector d : detectors) {
      rc = d(&span, ended, flags, &found);
      if (rc == 1) continue;
      if (rc == LVIO_E_NOT_ENOUGH_DATA) {
        need_more = true;
        continue;
      }
      if (rc == LVIO_E_CHARSET_NOT_FOUND && (flags & LVIO_DETECT_SKIP_UNKNOWN) != 0) continue;
      result = rc;
      decided = true;
      break;
    }
    if (decided || !need_more || ended) break;
  }
  if (bytes != nullptr) {
    lvio_code rc = bytes->used != 0 ? lvio_stream_seek(chain, -static_cast<int64_t>(bytes->used), nullptr, bytes,
                                                       LVIO_SEEK_GIVE_BACK | LVIO_SEEK_READ_SIDE)
                                    : 0;
    lvio_buffer_free(bytes);
    if (rc < 0) {
      if (result == 0) lvio_coder_class_unref(found);
      return rc;
    }
  }
  if (result == 0) *out = found;
  return result;
}
