// Sockets as Prolog streams: a client connection, a listening socket,
// accepting a connection, closing a listening socket and the host name.
//
// The built-ins whose names end in "_fail_on_interrupt" fail quietly when
// an interrupt ends their wait, so that the Prolog library runs the pending
// event and calls them again; any other failure is raised as a stream
// error of argument 1 in the context of the name without the ending.
//
// The option word of the built-ins (a non-negative integer):
//   bits 0-3   $socket_listen: the flags of lvio_socket_listen (1 loopback
//              only, 2 numeric host, 4 numeric service, 8 reuse the address)
//   bit 4      $socket_open: the stream is marked standard
//   bits 9, 10, 12, 15
//              $socket_open, $socket_accept: the stream's end-of-stream
//              code, end-of-stream reset, close cleanup and line flush flags
//   bit 11     text stream; bit 14 binary stream (when bit 11 is clear);
//              one of them is needed by $socket_open and $socket_accept
//   bits 20-21 both set: not supported here (LVIO_E_NOT_SUPPORTED)
// Other bits have no meaning on this platform and are ignored.
#pragma once

#include <cstdint>

#include "core/builtins.h"
#include "core/term.h"
#include "streams/stream.h"

// Flags of LV_open_socket_stream.
constexpr uint32_t LV_SOCKET_TEXT = 0x1;
constexpr uint32_t LV_SOCKET_BINARY = 0x2;
constexpr uint32_t LV_SOCKET_ENCODING = 0x4;  // the encoding term is given
constexpr uint32_t LV_SOCKET_CONNECT_1 = 0x8;  // passed to the connect as its flag 1

// C-interface slot 139: connects to host and service and makes a
// read-write stream over the socket (binary with LV_SOCKET_BINARY, else
// text; with LV_SOCKET_ENCODING the encoding term encoding(Name,
// Signature, EndOfLine) as LV_create_os_stream takes it). 0 with the
// stream stored, or the failing code (the socket is then closed).
int64_t LV_open_socket_stream(const char* host, const char* service, lv_term encoding, lv_stream** stream,
                              uint32_t flags);

// '$socket_open_fail_on_interrupt'(+Host, +Port, +Options, +Encoding, -Stream)
int prolog_socket_open_fail_on_interrupt(lv_worker* w);
// '$socket_listen_fail_on_interrupt'(+Address, ?Port, +Options, _, -Socket):
// an unbound Port is bound to the atom of the port chosen. Socket is a
// handle that names this listening socket until it is closed, and nothing
// after that.
int prolog_socket_listen_fail_on_interrupt(lv_worker* w);
// '$socket_accept_fail_on_interrupt'(+Socket, +Options, +Encoding, -Host,
// -Service, -Stream): waits for a connection; Host and Service are the
// peer's numeric address and port as atoms.
int prolog_socket_accept_fail_on_interrupt(lv_worker* w);
// '$socket_close'(+Socket): closes a listening socket gracefully; fails for
// a handle of no listening socket (one closed already, or never opened).
int prolog_socket_close(lv_worker* w);
// Shutdown: closes the listening sockets still open.
void lv_close_listening_sockets();
// '$hostname'(-Host, -Domain): the machine's name, and its part from the
// first dot on ('' without a dot); fails when the name cannot be had.
int prolog_hostname(lv_worker* w);

lv_builtin_table lv_socket_builtins();
