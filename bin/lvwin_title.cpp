// The window-title hooks: the runtime's title text, in its internal
// encoding, is the window's title, which the window keeps in UTF-16.
#include "lvcon/lvcon.h"
#include "lvwin.h"
#include "lvwin_runtime.h"

namespace {

// The runtime takes the answer of the get hook without freeing it: each
// answer is freed at the next call.
char* last_answer;

constexpr size_t MAX_TITLE = size_t{1} << 20;  // units

}  // namespace

void lvwin_set_title_hook(void*, const char* title) {
  char16_t* wide = rt::ienc_to_widechar(title);
  if (wide == nullptr) return;
  rlc_titleW(wide, nullptr, 0);
  rt::free(wide);
}

const char* lvwin_get_title_hook(void*) {
  if (last_answer != nullptr) rt::free(last_answer);
  last_answer = nullptr;
  // A buffer that the title fills up may have cut it: then twice the size.
  for (size_t size = 20; size <= MAX_TITLE; size *= 2) {
    auto* buffer = static_cast<char16_t*>(rt::malloc(size * sizeof(char16_t)));
    if (buffer == nullptr) return nullptr;
    buffer[0] = 0;
    rlc_titleW(nullptr, buffer, static_cast<int>(size));
    size_t n = 0;
    while (buffer[n] != 0) n++;
    if (n + 1 < size) {
      last_answer = rt::widechar_to_ienc(buffer);
      rt::free(buffer);
      return last_answer;
    }
    rt::free(buffer);
  }
  return nullptr;
}
