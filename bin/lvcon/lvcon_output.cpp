// The window's text and title on standard output.
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>
#include <string>

#include "lvcon/lvcon.h"
#include "lvcon/lvcon_screen.h"
#include "lvcon/lvcon_utf16.h"

namespace {

constexpr int OUTPUT = 1;

std::mutex lock;
lvcon_screen screen;
std::u16string title;
int terminal = -1;  // standard output is a terminal: 1, not: 0, not yet asked: -1

bool on_terminal() {
  if (terminal < 0) terminal = isatty(OUTPUT) == 1 ? 1 : 0;
  return terminal == 1;
}

// The terminal's width in cells; 0 when it does not say.
int width() {
  winsize size = {};
  return on_terminal() && ioctl(OUTPUT, TIOCGWINSZ, &size) == 0 ? size.ws_col : 0;
}

void write_all(const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = write(OUTPUT, bytes.data() + done, bytes.size() - done);
    if (n > 0) {
      done += static_cast<size_t>(n);
    } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      pollfd p = {OUTPUT, POLLOUT, 0};
      (void)poll(&p, 1, -1);
    } else if (n == 0 || errno != EINTR) {
      return;  // the window is gone: what it would show is lost with it
    }
  }
}

// The title as the terminal's title sequence takes it: UTF-8 without the
// control characters that would end the sequence or start another.
std::string title_text(const std::u16string& t) {
  std::string out;
  for (size_t i = 0; i < t.size(); i++) {
    uint32_t c = t[i];
    if (utf16_is_high(c) && i + 1 < t.size() && utf16_is_low(t[i + 1])) c = utf16_join(c, t[++i]);
    if (c < 0x20 || (c >= 0x7F && c < 0xA0)) continue;
    lvcon_put_utf8(out, c);
  }
  return out;
}

}  // namespace

void rlc_writeW(const char16_t* units, int count) {
  if (units == nullptr || count <= 0) return;
  std::lock_guard<std::mutex> guard(lock);
  std::string out;
  lvcon_screen_write(screen, units, static_cast<size_t>(count), width(), out);
  write_all(out);
}

void rlc_titleW(const char16_t* new_title, char16_t* buffer, int size) {
  std::lock_guard<std::mutex> guard(lock);
  if (new_title != nullptr) {
    title = new_title;
    if (on_terminal()) write_all("\x1b]0;" + title_text(title) + "\x07");
  }
  if (buffer != nullptr && size > 0) {
    size_t n = title.size() < static_cast<size_t>(size - 1) ? title.size() : static_cast<size_t>(size - 1);
    title.copy(buffer, n);
    buffer[n] = 0;
  }
}
