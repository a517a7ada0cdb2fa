// The windowed program's entry: the runtime's standard streams and window
// title go to the console window, which then runs the shared main program.
#include "frontend.h"
#include "frontend_runtime.h"
#include "lvcon/lvcon.h"
#include "lvwin.h"
#include "lvwin_runtime.h"

int main(int argc, char** argv) {
  (void)frontend_dispatch();
  rt::set_set_title_hook(lvwin_set_title_hook);
  rt::set_get_title_hook(lvwin_get_title_hook);
  rt::set_user_stream_hook(lvwin_console_stream_hook);
  rlc_instance instance = {argc, argv};
  // A terminal window has no icon of its own.
  return rlc_mainW(&instance, nullptr, nullptr, 0, frontend_entry, nullptr);
}
