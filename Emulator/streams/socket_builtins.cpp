// Socket built-ins over the I/O layer's sockets (see socket_builtins.h).
#include "streams/socket_builtins.h"

#include <cstdio>
#include <cstring>

#include "core/atoms.h"
#include "core/memory.h"
#include "core/numbers.h"
#include "core/predefined_atoms.h"
#include "core/stack_shift.h"
#include "core/unify.h"
#include "core/worker.h"
#include "lvio/allocator.h"
#include "lvio/result_codes.h"
#include "lvio/socket.h"
#include "streams/stream_api.h"

namespace {

constexpr int64_t OPTION_STANDARD = 1 << 4;
constexpr int64_t OPTION_END_CODE = 1 << 9;
constexpr int64_t OPTION_END_RESET = 1 << 10;
constexpr int64_t OPTION_TEXT = 1 << 11;
constexpr int64_t OPTION_CLOSE_CLEANUP = 1 << 12;
constexpr int64_t OPTION_BINARY = 1 << 14;
constexpr int64_t OPTION_LINE_FLUSH = 1 << 15;
constexpr int64_t OPTION_UNSUPPORTED = 3 << 20;  // both bits together
constexpr int64_t OPTION_LISTEN_FLAGS = 15;
constexpr size_t SERVICE_SIZE = 32;

// Which stream flags the option bits set, per built-in.
struct flag_bit {
  int64_t option;
  uint32_t flag;
  bool on_open;
  bool on_accept;
};
constexpr flag_bit FLAG_BITS[] = {
    {OPTION_STANDARD, LV_STREAM_STANDARD, true, false},
    {OPTION_END_CODE, LV_STREAM_END_CODE, true, true},
    {OPTION_END_RESET, LV_STREAM_END_RESET, true, true},
    {OPTION_CLOSE_CLEANUP, LV_STREAM_CLOSE_CLEANUP, true, true},
    {OPTION_LINE_FLUSH, LV_STREAM_LINE_FLUSH, true, true},
};

// The listening sockets Prolog holds, by handle. A handle is a number
// given once and never again, so that a closed server's term (or a made-up
// one) reaches no socket, whatever descriptor number the system hands out
// next.
struct listener_entry {
  int64_t handle;
  int fd;
};
listener_entry* listeners = nullptr;
size_t listener_count = 0;
size_t listener_capacity = 0;
int64_t next_listener = 1;

constexpr uint32_t LISTENER_MEM = lv_mem_flags(LV_CAT_LV_STREAM);

// The handle of a new listening socket, or 0 when out of memory.
int64_t listener_add(int fd) {
  if (listener_count == listener_capacity) {
    size_t capacity = listener_capacity == 0 ? 8 : 2 * listener_capacity;
    auto* grown = static_cast<listener_entry*>(lv_mem_alloc(capacity * sizeof(listener_entry), LISTENER_MEM));
    if (grown == nullptr) return 0;
    for (size_t i = 0; i < listener_count; i++) grown[i] = listeners[i];
    if (listeners != nullptr) lv_mem_free(listeners, listener_capacity * sizeof(listener_entry), LISTENER_MEM);
    listeners = grown;
    listener_capacity = capacity;
  }
  listeners[listener_count] = {next_listener++, fd};
  return listeners[listener_count++].handle;
}

// The entry of a handle term, or null.
listener_entry* listener_of(lv_term t) {
  t = lv_deref(t);
  if (!lv_is_small(t)) return nullptr;
  for (size_t i = 0; i < listener_count; i++)
    if (listeners[i].handle == lv_small_value(t)) return &listeners[i];
  return nullptr;
}

void listener_remove(listener_entry* e) { *e = listeners[--listener_count]; }

// A non-negative small integer.
bool option_word(lv_term t, int64_t* v) {
  t = lv_deref(t);
  if (!lv_is_small(t) || lv_small_value(t) < 0) return false;
  *v = lv_small_value(t);
  return true;
}

bool unsupported(int64_t options) { return (options & OPTION_UNSUPPORTED) == OPTION_UNSUPPORTED; }

// The port as service text: an atom's text, or an integer in decimal.
lvio_code service_text(lv_term t, char* buffer) {
  t = lv_deref(t);
  if (lv_is_atom(t)) {
    const char* text = lv_atom_text(t);
    if (std::strlen(text) >= SERVICE_SIZE) return LVIO_E_PARAMETER_ERROR;
    std::strcpy(buffer, text);
    return 0;
  }
  if (lv_is_small(t)) {
    int n = std::snprintf(buffer, SERVICE_SIZE, "%lld", static_cast<long long>(lv_small_value(t)));
    return n > 0 && static_cast<size_t>(n) < SERVICE_SIZE ? 0 : LVIO_E_INTERNAL_ERROR;
  }
  return LVIO_E_INTERNAL_ERROR;
}

void add_option_flags(lv_stream* s, int64_t options, bool accept) {
  for (const flag_bit& b : FLAG_BITS)
    if ((options & b.option) != 0 && (accept ? b.on_accept : b.on_open)) s->flags |= b.flag;
  lv_stream_update_capabilities(s);
}

// Options of LV_create_os_stream for a read-write socket stream.
uint32_t stream_kind(bool binary, bool encoding) {
  return LV_OS_READ | LV_OS_WRITE | (binary ? LV_OS_BINARY : LV_OS_TEXT) | (encoding ? LV_OS_ENCODING_GIVEN : 0);
}

lvio_code make_stream(int socket, lv_term encoding, uint32_t kind, lv_stream** out) {
  lvio_code rc = LV_create_os_stream(socket, out, encoding, kind);
  if (rc < 0) (void)lvio_socket_close(socket, 1);  // the stream did not take it over
  return rc < 0 ? rc : 0;
}

// Stream = the new stream; on a mismatch the stream is closed and the
// built-in fails.
int unify_stream(lv_worker* w, unsigned x, lv_stream* s) {
  if (cunify(w, w->X[x], lv_stream_term(s)) != 0) return 1;
  (void)LV_fclose(s, LV_CLOSE_FORCE);
  return 0;
}

bool unify_atom(lv_worker* w, unsigned x, const char* text) {
  lv_term atom = lv_atom_from_text(text != nullptr ? text : "", LV_ATOM_FIND_OR_CREATE);
  return atom != 0 && cunify(w, w->X[x], atom) != 0;
}

// An error of the built-in: a quiet failure for an interrupt, else a
// stream error of argument 1.
int fail_with(lv_worker* w, lvio_code code, const char* name, unsigned arity, bool output) {
  if (code == LVIO_E_INTERRUPTED) return 0;
  lv_term atom = lv_atom_from_text(name, LV_ATOM_FIND_OR_CREATE);
  return lv_raise_stream_error(w, code, output, atom, arity, 1);
}

const lv_builtin records[] = {
    LV_BUILTIN("$socket_open_fail_on_interrupt", prolog_socket_open_fail_on_interrupt, 5),
    LV_BUILTIN("$socket_listen_fail_on_interrupt", prolog_socket_listen_fail_on_interrupt, 5),
    LV_BUILTIN("$socket_accept_fail_on_interrupt", prolog_socket_accept_fail_on_interrupt, 6),
    LV_BUILTIN("$socket_close", prolog_socket_close, 1),
    LV_BUILTIN("$hostname", prolog_hostname, 2),
};

}  // namespace

lv_builtin_table lv_socket_builtins() { return {records, sizeof records / sizeof records[0]}; }

int64_t LV_open_socket_stream(const char* host, const char* service, lv_term encoding, lv_stream** stream,
                              uint32_t flags) {
  if (host == nullptr || service == nullptr || stream == nullptr) return LVIO_E_PARAMETER_ERROR;
  int socket = -1;
  lvio_code rc = lvio_socket_connect(host, service, &socket, (flags & LV_SOCKET_CONNECT_1) != 0 ? 1 : 0);
  if (rc < 0) return rc;
  bool given = (flags & LV_SOCKET_ENCODING) != 0;
  return make_stream(socket, given ? encoding : 0, stream_kind((flags & LV_SOCKET_BINARY) != 0, given), stream);
}

int prolog_socket_open_fail_on_interrupt(lv_worker* w) {
  constexpr const char* NAME = "$socket_open";
  int64_t options = 0;
  lv_term t = lv_deref(w->X[2]);
  if (!lv_is_small(t)) return fail_with(w, LVIO_E_INTERNAL_ERROR, NAME, 5, true);
  if (!option_word(t, &options) || (options & (OPTION_TEXT | OPTION_BINARY)) == 0)
    return fail_with(w, LVIO_E_PARAMETER_ERROR, NAME, 5, true);
  if (unsupported(options)) return fail_with(w, LVIO_E_NOT_SUPPORTED, NAME, 5, true);
  lv_term host = lv_deref(w->X[0]);
  if (!lv_is_atom(host)) return fail_with(w, LVIO_E_INTERNAL_ERROR, NAME, 5, true);
  char service[SERVICE_SIZE];
  lvio_code rc = service_text(w->X[1], service);
  if (rc < 0) return fail_with(w, LVIO_E_INTERNAL_ERROR, NAME, 5, true);
  lv_term encoding = lv_deref(w->X[3]);
  uint32_t flags = (options & OPTION_TEXT) != 0 ? LV_SOCKET_TEXT : LV_SOCKET_BINARY;
  if (encoding != LV_ATOM_NIL) flags |= LV_SOCKET_ENCODING;
  lv_stream* s = nullptr;
  rc = LV_open_socket_stream(lv_atom_text(host), service, encoding, &s, flags);
  if (rc < 0) return fail_with(w, rc, NAME, 5, true);
  add_option_flags(s, options, false);
  return unify_stream(w, 4, s);
}

int prolog_socket_listen_fail_on_interrupt(lv_worker* w) {
  constexpr const char* NAME = "$socket_listen";
  int64_t options = 0;
  if (!option_word(w->X[2], &options)) return fail_with(w, LVIO_E_INTERNAL_ERROR, NAME, 5, true);
  if (unsupported(options)) return fail_with(w, LVIO_E_NOT_SUPPORTED, NAME, 5, true);
  lv_term address = lv_deref(w->X[0]);
  if (!lv_is_atom(address)) return fail_with(w, LVIO_E_INTERNAL_ERROR, NAME, 5, true);
  char service[SERVICE_SIZE] = "";
  lv_term port = lv_deref(w->X[1]);
  bool unbound = lv_is_ref(port);
  if (!unbound) {
    lvio_code rc = service_text(port, service);
    if (rc < 0) return fail_with(w, rc, NAME, 5, true);
  }
  int socket = -1;
  lvio_code rc = lvio_socket_listen(lv_atom_text(address), service, SERVICE_SIZE, &socket,
                                    static_cast<uint32_t>(options & OPTION_LISTEN_FLAGS));
  if (rc < 0) return fail_with(w, rc, NAME, 5, true);
  bool ok = true;
  if (unbound) {
    lv_term atom = lv_atom_from_text(service, LV_ATOM_FIND_OR_CREATE);
    if (atom == 0) atom = lv_atom_from_text("LVIO ERROR UNKNOWN", LV_ATOM_FIND_OR_CREATE);
    ok = atom != 0 && cunify(w, w->X[1], atom) != 0;
  }
  int64_t handle = 0;
  if (ok) {
    handle = listener_add(socket);
    if (handle == 0) {
      (void)lvio_socket_close(socket, 0);
      return fail_with(w, LVIO_E_OUT_OF_MEMORY, NAME, 5, true);
    }
    ok = cunify(w, w->X[4], lv_make_small(handle)) != 0;
  }
  if (!ok) {
    if (handle != 0) listener_remove(listener_of(lv_make_small(handle)));
    (void)lvio_socket_close(socket, 0);
  }
  return ok ? 1 : 0;
}

int prolog_socket_accept_fail_on_interrupt(lv_worker* w) {
  constexpr const char* NAME = "$socket_accept";
  lv_term option_term = lv_deref(w->X[1]);
  if (!lv_is_small(option_term)) return fail_with(w, LVIO_E_INTERNAL_ERROR, NAME, 6, false);
  int64_t options = lv_small_value(option_term);
  if (options < 0 || (options & (OPTION_TEXT | OPTION_BINARY)) == 0)
    return fail_with(w, LVIO_E_PARAMETER_ERROR, NAME, 6, false);
  const listener_entry* entry = listener_of(w->X[0]);
  if (entry == nullptr) return fail_with(w, LVIO_E_NOT_FOUND, NAME, 6, false);
  int fd = entry->fd;
  char* host = nullptr;
  char* service = nullptr;
  int socket = -1;
  lvio_code rc;
  while ((rc = lvio_socket_accept(fd, &host, &service, &socket, 0)) == LVIO_E_WOULD_BLOCK) {
    rc = lvio_socket_wait_events(fd, LVIO_NET_ACCEPT);
    if (rc < 0) break;
  }
  if (rc < 0) return fail_with(w, rc, NAME, 6, false);
  // The peer's texts are kept as atoms before anything can fail.
  lv_term host_atom = lv_atom_from_text(host != nullptr ? host : "", LV_ATOM_FIND_OR_CREATE);
  lv_term service_atom = lv_atom_from_text(service != nullptr ? service : "", LV_ATOM_FIND_OR_CREATE);
  lvio_free(host);
  lvio_free(service);
  lv_term encoding = lv_deref(w->X[2]);
  bool given = encoding != LV_ATOM_NIL;
  lv_stream* s = nullptr;
  rc = make_stream(socket, given ? encoding : 0, stream_kind((options & OPTION_TEXT) == 0, given), &s);
  if (rc < 0) return fail_with(w, rc, NAME, 6, false);
  add_option_flags(s, options, true);
  if (host_atom == 0 || service_atom == 0 || cunify(w, w->X[3], host_atom) == 0 ||
      cunify(w, w->X[4], service_atom) == 0) {
    (void)LV_fclose(s, LV_CLOSE_FORCE);
    return 0;
  }
  return unify_stream(w, 5, s);
}

int prolog_socket_close(lv_worker* w) {
  listener_entry* e = listener_of(w->X[0]);
  if (e == nullptr) return 0;
  int fd = e->fd;
  listener_remove(e);
  (void)lvio_socket_close(fd, 0);  // the handle is gone whatever the close says
  return 1;
}

void lv_close_listening_sockets() {
  for (size_t i = 0; i < listener_count; i++) (void)lvio_socket_close(listeners[i].fd, 1);  // shutdown: nobody to tell
  if (listeners != nullptr) lv_mem_free(listeners, listener_capacity * sizeof(listener_entry), LISTENER_MEM);
  listeners = nullptr;
  listener_count = listener_capacity = 0;
}

int prolog_hostname(lv_worker* w) {
  char* name = nullptr;
  if (lvio_host_name(&name, 0) < 0 || name == nullptr) return 0;
  const char* dot = std::strchr(name, '.');
  bool ok = unify_atom(w, 0, name) && unify_atom(w, 1, dot != nullptr ? dot : "");
  lvio_free(name);
  return ok ? 1 : 0;
}
