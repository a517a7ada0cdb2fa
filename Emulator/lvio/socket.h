// TCP sockets: name resolution, connecting, listening, accepting, shutting
// down and closing, waits for network events, and the host name.
//
// A socket is a descriptor (close-on-exec). Sockets returned here belong to
// the caller, who wraps them in "async" layers or closes them. Writes to
// them never raise SIGPIPE.
#pragma once

#include <cstddef>
#include <cstdint>

#include "lvio/result_codes.h"

struct lvio_event;

// Flags of lvio_socket_listen.
constexpr uint32_t LVIO_LISTEN_LOOPBACK = 0x1;  // without a host: the loopback address
constexpr uint32_t LVIO_LISTEN_NUMERIC_HOST = 0x2;
constexpr uint32_t LVIO_LISTEN_NUMERIC_SERVICE = 0x4;
constexpr uint32_t LVIO_LISTEN_REUSE_ADDRESS = 0x8;

// Network event numbers of lvio_socket_wait_events.
constexpr uint32_t LVIO_NET_READ = 0;
constexpr uint32_t LVIO_NET_WRITE = 1;
constexpr uint32_t LVIO_NET_OOB = 2;
constexpr uint32_t LVIO_NET_ACCEPT = 3;
constexpr uint32_t LVIO_NET_CONNECT = 4;
constexpr uint32_t LVIO_NET_CLOSE = 5;

// Connects to the host (empty: this machine) and service, trying each
// address the resolver gives in order, and returns a blocking socket with
// Nagle's algorithm off. The wait for a connection is ended by an interrupt
// on the main thread (LVIO_E_INTERRUPTED, no further address is tried).
// When every address fails the last failure is returned (LVIO_E_ERROR when
// there was none). Flag 1: LVIO_E_NOT_SUPPORTED.
[[nodiscard]] lvio_code lvio_socket_connect(const char* host, const char* service, int* socket, uint32_t flags);

// Makes a non-blocking IPv4 socket listening (backlog 10) on the host and
// service (see the LVIO_LISTEN_* flags; flag 0x10 is LVIO_E_NOT_SUPPORTED).
// An empty host listens on every address, or with LVIO_LISTEN_LOOPBACK on
// the loopback address; an empty service lets the system choose a port.
// With service_size above 0, service receives the bound port as decimal
// text (empty when it cannot be had). Only other address families offered:
// LVIO_E_NOT_SUPPORTED; no address at all: LVIO_E_INTERNAL_ERROR.
[[nodiscard]] lvio_code lvio_socket_listen(const char* host, char* service, size_t service_size, int* socket,
                                           uint32_t flags);

// Accepts a connection on a listening socket: LVIO_E_WOULD_BLOCK while none
// is waiting. The new socket is blocking, with Nagle's algorithm off (for
// network peers), and close-on-exec unless flag 1. Host and service (when
// not null) receive the peer's numeric address and port as new texts, freed
// with lvio_free.
[[nodiscard]] lvio_code lvio_socket_accept(int listener, char** host, char** service, int* socket, uint32_t flags);

// Closes the socket; flag 1 resets the connection instead of closing it
// gracefully.
[[nodiscard]] lvio_code lvio_socket_close(int socket, uint32_t flags);

// Shuts the receive side (flag 1), the send side (flag 2) or both down; no
// flag does nothing. A connection that is already reset or not connected
// counts as shut down.
[[nodiscard]] lvio_code lvio_socket_shutdown(int socket, uint32_t flags);

// Waits (without a time-out; an interrupt on the main thread ends the wait)
// for the network event of that number: 0, the error the connection reports
// for a connect event, or LVIO_E_INTERRUPTED. Out-of-band data:
// LVIO_E_NOT_SUPPORTED; numbers above 5: LVIO_E_PARAMETER_ERROR.
[[nodiscard]] lvio_code lvio_socket_wait_events(int socket, uint32_t event);

// Flag 1 releases the event. Otherwise makes an event for the socket: with
// flag 2 one signalled while a connection waits to be accepted, without it
// one that is never signalled.
[[nodiscard]] lvio_code lvio_socket_event(int socket, lvio_event** event, uint32_t flags);

// 1 when two socket addresses name the same host (the port is not
// compared), else 0; both lengths must exceed 1 and be equal, and the
// families equal. Families other than IPv4 and IPv6: LVIO_E_NOT_SUPPORTED.
[[nodiscard]] lvio_code lvio_sockaddr_equal(const void* a, size_t a_length, const void* b, size_t b_length);

// The machine's name, fully qualified when the resolver knows it, in lower
// case, as a new text freed with lvio_free.
[[nodiscard]] lvio_code lvio_host_name(char** name, uint32_t flags);

// LVIO_SOCKET_NO_AI_ADDRCONFIG as the socket module read it.
bool lvio_socket_no_addrconfig();

// The socket module: its start reads LVIO_SOCKET_NO_AI_ADDRCONFIG; its stop
// has nothing to do.
[[nodiscard]] lvio_code lvio_socket_module(uint32_t flags);
