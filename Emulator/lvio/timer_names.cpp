// The names of timer states and messages, for traces.
#include <cstring>

#include "lvio/timer.h"

namespace {

const char* const STATE_NAMES[] = {"INITIAL", "STARTED", "DISARMED", "ARMED", "ABANDONED"};
constexpr uint32_t STATE_BITS = sizeof STATE_NAMES / sizeof STATE_NAMES[0];
const char* const MESSAGE_NAMES[] = {"MSG_NONE", "MSG_STOP", "MSG_ARM", "MSG_ARM_RELATIVE", "MSG_DISARM"};

// Every set's name, made once.
struct set_names {
  char text[1u << STATE_BITS][48];
  set_names() {
    for (uint32_t set = 0; set < (1u << STATE_BITS); set++) {
      char* out = text[set];
      out[0] = '\0';
      for (uint32_t bit = STATE_BITS; bit-- > 0;) {
        if ((set & (1u << bit)) == 0) continue;
        if (out[0] != '\0') std::strcat(out, "|");
        std::strcat(out, STATE_NAMES[bit]);
      }
    }
  }
};

}  // namespace

const char* lvio_timer_state_name(uint32_t state) {
  for (uint32_t bit = 0; bit < STATE_BITS; bit++)
    if (state == 1u << bit) return STATE_NAMES[bit];
  return "UNKNOWN";
}

const char* lvio_timer_state_set_name(uint32_t set) {
  static const set_names names;
  return set < (1u << STATE_BITS) ? names.text[set] : "INVALID STATE SET";
}

const char* lvio_timer_message_name(uint32_t message) {
  return message < sizeof MESSAGE_NAMES / sizeof MESSAGE_NAMES[0] ? MESSAGE_NAMES[message] : "UNKNOWN";
}
