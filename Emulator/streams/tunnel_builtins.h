// Built-ins over stream listeners and tunnels: $add_stream_listener/2 and
// $open_tunnel_stream/4.
#pragma once

#include "core/builtins.h"

struct lv_worker;

int prolog_add_stream_listener(lv_worker* w);
int prolog_open_tunnel_stream(lv_worker* w);
