// Built-ins over stream listeners and tunnels. They fail when the I/O
// layer refuses; a bad stream argument raises the stream error.
#include "streams/tunnel_builtins.h"

#include "core/atoms.h"
#include "core/unify.h"
#include "core/worker.h"
#include "streams/stream_api.h"
#include "streams/stream_layers.h"
#include "streams/stream_listener.h"
#include "streams/tunnel_stream.h"

namespace {

constexpr int64_t TUNNEL_INPUT = 4;
constexpr int64_t TUNNEL_BINARY = 8;

// Unifies the output argument with the new stream; a failed unification
// closes the stream forcibly.
int unify_stream(lv_worker* w, lv_term target, lv_stream* s) {
  if (cunify(w, target, lv_stream_term(s)) != 0) return 1;
  (void)LV_fclose(s, LV_CLOSE_FORCE | LV_CLOSE_REPLACE);
  return 0;
}

const lv_builtin records[] = {
    LV_BUILTIN("$add_stream_listener", prolog_add_stream_listener, 2),
    LV_BUILTIN("$open_tunnel_stream", prolog_open_tunnel_stream, 4),
};

}  // namespace

lv_builtin_table lv_tunnel_builtins() { return {records, sizeof records / sizeof records[0]}; }

int prolog_add_stream_listener(lv_worker* w) {
  lv_stream* listened = lv_get_stream_arg(w->X[0], LV_CAP_INPUT, 0);
  if (listened == nullptr) return 0;
  lv_stream* in = nullptr;
  if (lv_add_stream_listener(listened, &in) < 0) return 0;
  return unify_stream(w, w->X[1], in);
}

int prolog_open_tunnel_stream(lv_worker* w) {
  lv_term channel = lv_deref(w->X[1]);
  lv_term options_term = lv_deref(w->X[2]);
  if (!lv_is_atom(channel) || !lv_is_small(options_term) || lv_small_value(options_term) < 0) return 0;
  int64_t options = lv_small_value(options_term);
  bool binary = (options & TUNNEL_BINARY) != 0;
  lv_stream* s = nullptr;
  if ((options & TUNNEL_INPUT) == 0) {
    lv_stream* carrier = lv_get_stream_arg(w->X[0], LV_CAP_OUTPUT, 0);
    if (carrier == nullptr) return 0;
    uint32_t tunnel = static_cast<uint32_t>((options & 3) * 2) | (binary ? LV_TUNNEL_BINARY : 0);
    if (lv_open_tunnel_output(carrier, lv_atom_text(channel), &s, tunnel) < 0) return 0;
    if (!binary) (void)lv_stream_device_options(s, 6);
  } else {
    lv_stream* carrier = lv_get_stream_arg(w->X[0], LV_CAP_INPUT, 0);
    if (carrier == nullptr) return 0;
    uint32_t tunnel = static_cast<uint32_t>(options & 3) | (binary ? LV_TUNNEL_IN_BINARY : 0);
    if (lv_open_tunnel_input(carrier, lv_atom_text(channel), tunnel, &s) < 0) return 0;
  }
  return unify_stream(w, w->X[3], s);
}
