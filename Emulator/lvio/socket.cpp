// TCP sockets on the BSD socket calls.
#include "lvio/socket.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>

#include "lvio/allocator.h"
#include "lvio/event.h"
#include "lvio/event_wait.h"
#include "lvio/os_error.h"
#include "lvio/settings.h"

namespace {

bool no_addrconfig;

// Socket errors map in one way everywhere.
lvio_code socket_error(int error) {
  if (error == EACCES) return LVIO_E_FILE_ACCESS;
  if (error == EINVAL) return LVIO_E_PARAMETER_ERROR;
  return lvio_os_error_code(error, LVIO_E_OS_ERROR);
}

lvio_code resolver_error(int rc) {
  switch (rc) {
    case EAI_NONAME:
    case EAI_NODATA:
    case EAI_AGAIN:
    case EAI_FAIL:
      return LVIO_E_NET_HOST_NOT_FOUND;
    case EAI_SERVICE:
    case EAI_BADFLAGS:
      return LVIO_E_PARAMETER_ERROR;
    case EAI_FAMILY:
    case EAI_SOCKTYPE:
      return LVIO_E_NOT_SUPPORTED;
    case EAI_MEMORY:
      return LVIO_E_OUT_OF_MEMORY;
    case EAI_SYSTEM:
      return socket_error(errno);
    default:
      return LVIO_E_NET_ERROR;
  }
}

// getaddrinfo, asked once more without AI_ADDRCONFIG when the resolver
// refuses that flag.
lvio_code resolve(const char* host, const char* service, addrinfo* hints, addrinfo** result) {
  int rc = getaddrinfo(host, service, hints, result);
  if (rc == EAI_BADFLAGS && (hints->ai_flags & AI_ADDRCONFIG) != 0) {
    hints->ai_flags &= ~AI_ADDRCONFIG;
    rc = getaddrinfo(host, service, hints, result);
  }
  return rc == 0 ? 0 : resolver_error(rc);
}

const char* or_none(const char* text) { return text != nullptr && text[0] != '\0' ? text : nullptr; }

// Sets or clears a bit of the descriptor's flags (get and set are the
// fcntl commands that read and write them).
lvio_code set_descriptor_flag(int fd, int get, int set, int bit, bool on) {
  int flags = fcntl(fd, get);
  if (flags < 0) return socket_error(errno);
  int wanted = on ? flags | bit : flags & ~bit;
  if (wanted != flags && fcntl(fd, set, wanted) != 0) return socket_error(errno);
  return 0;
}

lvio_code set_blocking(int fd, bool blocking) {
  return set_descriptor_flag(fd, F_GETFL, F_SETFL, O_NONBLOCK, !blocking);
}

// Nagle's algorithm off; a socket that refuses keeps it.
void set_no_delay(int fd) {
  int one = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

lvio_code set_inheritable(int fd, bool inheritable) {
  return set_descriptor_flag(fd, F_GETFD, F_SETFD, FD_CLOEXEC, !inheritable);
}

// The error the socket reports (for a connection attempt: its outcome).
lvio_code pending_error(int fd) {
  int error = 0;
  socklen_t length = sizeof error;
  if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) return socket_error(errno);
  return error == 0 ? 0 : socket_error(error);
}

// Waits, interruptibly, until the socket is ready as the poll mask says.
lvio_code wait_ready(int fd, bool writable) {
  lvio_event* event;
  lvio_code rc = lvio_event_from_handle(fd, writable ? LVIO_EVENT_WRITABLE : 0, &event);
  if (rc < 0) return rc;
  rc = lvio_event_wait(&event, 1, nullptr);
  lvio_event_release(event);
  return rc;
}

lvio_code connect_one(const addrinfo* a, int* out) {
  int fd = socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, a->ai_protocol);
  if (fd < 0) return socket_error(errno);
  lvio_code rc = 0;
  if (connect(fd, a->ai_addr, a->ai_addrlen) != 0) {
    if (errno != EINPROGRESS)
      rc = socket_error(errno);
    else if ((rc = wait_ready(fd, true)) >= 0)
      rc = pending_error(fd);
  }
  if (rc >= 0) rc = set_blocking(fd, true);
  if (rc < 0) {
    (void)lvio_socket_close(fd, 1);  // the first error is reported
    return rc;
  }
  set_no_delay(fd);
  *out = fd;
  return 0;
}

// A socket bound to the address and listening, non-blocking.
lvio_code listen_one(addrinfo* a, uint32_t flags, int* out) {
  a->ai_family = AF_INET;
  a->ai_socktype = SOCK_STREAM;
  char host[NI_MAXHOST];
  char service[NI_MAXSERV];
  int rc = getnameinfo(a->ai_addr, a->ai_addrlen, host, sizeof host, service, sizeof service,
                       NI_NUMERICHOST | NI_NUMERICSERV);
  if (rc != 0) return resolver_error(rc);
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, a->ai_protocol);
  if (fd < 0) return socket_error(errno);
  lvio_code code = 0;
  int one = 1;
  if ((flags & LVIO_LISTEN_REUSE_ADDRESS) != 0 && setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one) != 0)
    code = socket_error(errno);
  if (code >= 0 && bind(fd, a->ai_addr, a->ai_addrlen) != 0) code = socket_error(errno);
  if (code >= 0 && listen(fd, 10) != 0) code = socket_error(errno);
  if (code >= 0) code = set_blocking(fd, false);
  if (code < 0) {
    (void)lvio_socket_close(fd, 1);
    return code;
  }
  *out = fd;
  return 0;
}

// The port the socket is bound to, as decimal text.
void bound_port(int fd, char* service, size_t size) {
  service[0] = '\0';
  sockaddr_storage address;
  socklen_t length = sizeof address;
  char text[NI_MAXSERV];
  if (getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) return;
  if (getnameinfo(reinterpret_cast<sockaddr*>(&address), length, nullptr, 0, text, sizeof text, NI_NUMERICSERV) != 0)
    return;
  if (std::strlen(text) < size) std::strcpy(service, text);
}

}  // namespace

lvio_code lvio_socket_connect(const char* host, const char* service, int* socket, uint32_t flags) {
  if ((flags & 1) != 0) return LVIO_E_NOT_SUPPORTED;
  addrinfo hints = {};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  hints.ai_flags = AI_ADDRCONFIG;
  addrinfo* result = nullptr;
  lvio_code rc = resolve(or_none(host), or_none(service), &hints, &result);
  if (rc < 0) return rc;
  rc = LVIO_E_ERROR;
  for (const addrinfo* a = result; a != nullptr; a = a->ai_next) {
    rc = connect_one(a, socket);
    // An interrupt is the caller's to handle: no further address is tried.
    if (rc >= 0 || rc == LVIO_E_INTERRUPTED) break;
  }
  freeaddrinfo(result);
  return rc;
}

lvio_code lvio_socket_listen(const char* host, char* service, size_t service_size, int* socket, uint32_t flags) {
  if ((flags & 0x10) != 0) return LVIO_E_NOT_SUPPORTED;
  addrinfo hints = {};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  if (!no_addrconfig) hints.ai_flags |= AI_ADDRCONFIG;
  const char* node = (flags & LVIO_LISTEN_LOOPBACK) != 0 ? nullptr : or_none(host);
  if (node == nullptr && (flags & LVIO_LISTEN_LOOPBACK) == 0) hints.ai_flags |= AI_PASSIVE;
  if ((flags & LVIO_LISTEN_NUMERIC_HOST) != 0) hints.ai_flags |= AI_NUMERICHOST;
  if ((flags & LVIO_LISTEN_NUMERIC_SERVICE) != 0) hints.ai_flags |= AI_NUMERICSERV;
  const char* port = service != nullptr ? or_none(service) : nullptr;
  if (node == nullptr && port == nullptr) {
    hints.ai_flags |= AI_NUMERICHOST;
    node = (flags & LVIO_LISTEN_LOOPBACK) != 0 ? "127.0.0.1" : "0.0.0.0";
  }
  addrinfo* result = nullptr;
  lvio_code rc = resolve(node, port, &hints, &result);
  if (rc < 0) return rc;
  rc = result == nullptr ? LVIO_E_INTERNAL_ERROR : LVIO_E_NOT_SUPPORTED;
  for (addrinfo* a = result; a != nullptr; a = a->ai_next) {
    if (a->ai_family != AF_INET) continue;
    rc = listen_one(a, flags, socket);
    if (rc >= 0) break;
  }
  freeaddrinfo(result);
  if (rc >= 0 && service != nullptr && service_size > 0) bound_port(*socket, service, service_size);
  return rc;
}

lvio_code lvio_socket_accept(int listener, char** host, char** service, int* socket, uint32_t flags) {
  sockaddr_storage peer;
  socklen_t length = sizeof peer;
  int fd;
  do fd = accept4(listener, reinterpret_cast<sockaddr*>(&peer), &length, SOCK_CLOEXEC);
  while (fd < 0 && errno == EINTR);
  if (fd < 0) return errno == EWOULDBLOCK ? LVIO_E_WOULD_BLOCK : socket_error(errno);
  lvio_code rc = set_blocking(fd, true);
  if (rc >= 0 && peer.ss_family != AF_UNIX) set_no_delay(fd);
  if (rc >= 0) rc = set_inheritable(fd, (flags & 1) != 0);
  char host_text[NI_MAXHOST];
  char service_text[NI_MAXSERV];
  if (rc >= 0 && (host != nullptr || service != nullptr)) {
    int gai = getnameinfo(reinterpret_cast<sockaddr*>(&peer), length, host_text, sizeof host_text, service_text,
                          sizeof service_text, NI_NUMERICHOST | NI_NUMERICSERV);
    if (gai != 0) rc = resolver_error(gai);
  }
  char* host_copy = nullptr;
  char* service_copy = nullptr;
  if (rc >= 0 && host != nullptr && (host_copy = lvio_strdup(host_text)) == nullptr) rc = LVIO_E_OUT_OF_MEMORY;
  if (rc >= 0 && service != nullptr && (service_copy = lvio_strdup(service_text)) == nullptr) rc = LVIO_E_OUT_OF_MEMORY;
  if (rc < 0) {
    lvio_free(host_copy);
    (void)lvio_socket_close(fd, 1);
    return rc;
  }
  if (host != nullptr) *host = host_copy;
  if (service != nullptr) *service = service_copy;
  *socket = fd;
  return 0;
}

lvio_code lvio_socket_close(int socket, uint32_t flags) {
  if ((flags & 1) != 0) {
    linger reset = {1, 0};
    setsockopt(socket, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
  }
  // The descriptor is gone after close whatever it reports.
  if (close(socket) != 0 && errno != EINTR) return socket_error(errno);
  return 0;
}

lvio_code lvio_socket_shutdown(int socket, uint32_t flags) {
  int how;
  switch (flags & 3) {
    case 1:
      how = SHUT_RD;
      break;
    case 2:
      how = SHUT_WR;
      break;
    case 3:
      how = SHUT_RDWR;
      break;
    default:
      return 0;
  }
  if (shutdown(socket, how) == 0) return 0;
  if (errno == ENOTCONN || errno == ECONNRESET || errno == EINVAL) return 0;
  return socket_error(errno);
}

lvio_code lvio_socket_wait_events(int socket, uint32_t event) {
  if (event > LVIO_NET_CLOSE) return LVIO_E_PARAMETER_ERROR;
  if (event == LVIO_NET_OOB) return LVIO_E_NOT_SUPPORTED;
  bool writable = event == LVIO_NET_WRITE || event == LVIO_NET_CONNECT;
  lvio_code rc = wait_ready(socket, writable);
  if (rc >= 0 && event == LVIO_NET_CONNECT) rc = pending_error(socket);
  return rc;
}

lvio_code lvio_socket_event(int socket, lvio_event** event, uint32_t flags) {
  if ((flags & 1) != 0) {
    lvio_event_release(*event);
    *event = nullptr;
    return 0;
  }
  if ((flags & 2) != 0) return lvio_event_from_handle(socket, 0, event);
  return lvio_event_create(0, event);
}

lvio_code lvio_sockaddr_equal(const void* a, size_t a_length, const void* b, size_t b_length) {
  if (a_length <= 1 || b_length <= 1 || a_length != b_length) return 0;
  auto* x = static_cast<const sockaddr*>(a);
  auto* y = static_cast<const sockaddr*>(b);
  if (x->sa_family != y->sa_family) return 0;
  if (x->sa_family == AF_INET && a_length >= sizeof(sockaddr_in))
    return std::memcmp(&reinterpret_cast<const sockaddr_in*>(x)->sin_addr,
                       &reinterpret_cast<const sockaddr_in*>(y)->sin_addr, sizeof(in_addr)) == 0;
  if (x->sa_family == AF_INET6 && a_length >= sizeof(sockaddr_in6))
    return std::memcmp(&reinterpret_cast<const sockaddr_in6*>(x)->sin6_addr,
                       &reinterpret_cast<const sockaddr_in6*>(y)->sin6_addr, sizeof(in6_addr)) == 0;
  return LVIO_E_NOT_SUPPORTED;
}

lvio_code lvio_host_name(char** name, uint32_t) {
  size_t size = 256;
  char* text;
  for (;;) {
    text = static_cast<char*>(lvio_alloc(size));
    if (text == nullptr) return LVIO_E_OUT_OF_MEMORY;
    text[size - 1] = '\0';
    if (gethostname(text, size) != 0 && errno != ENAMETOOLONG) {
      int error = errno;
      lvio_free(text);
      return socket_error(error);
    }
    // A name that fills the buffer may have been cut.
    if (std::strlen(text) < size - 1) break;
    lvio_free(text);
    size *= 2;
  }
  if (std::strchr(text, '.') == nullptr) {
    addrinfo hints = {};
    hints.ai_flags = AI_CANONNAME | AI_ADDRCONFIG;
    addrinfo* result = nullptr;
    if (resolve(text, nullptr, &hints, &result) >= 0) {
      if (result != nullptr && result->ai_canonname != nullptr && result->ai_canonname[0] != '\0') {
        char* canonical = lvio_strdup(result->ai_canonname);
        if (canonical != nullptr) {
          lvio_free(text);
          text = canonical;
        }
      }
      freeaddrinfo(result);
    }
  }
  for (char* c = text; *c != '\0'; c++)
    if (*c >= 'A' && *c <= 'Z') *c = static_cast<char>(*c - 'A' + 'a');
  *name = text;
  return 0;
}

bool lvio_socket_no_addrconfig() { return no_addrconfig; }

lvio_code lvio_socket_module(uint32_t flags) {
  if ((flags & 1) == 0) no_addrconfig = lvio_setting_boolean("LVIO_SOCKET_NO_AI_ADDRCONFIG", 0) != 0;
  return 0;
}
