// The standard-handles module: chains over copies of the standard
// descriptors, installed as the standard chains.
#include <unistd.h>

#include "lvio/async_layer.h"
#include "lvio/chain.h"
#include "lvio/handles.h"
#include "lvio/std_chain.h"

namespace {

constexpr uint32_t CONSOLE_INPUT = 0x2;  // standard input is read without read-ahead
constexpr uint32_t BY_KIND = 0x4;        // ... when it is a terminal
constexpr uint32_t LEAVE_INPUT = 0x8;    // no chain for standard input

struct standard {
  int number;
  uint32_t kind_flags;  // the slot, and the direction closed when replaced
  uint32_t open_flags;
};

const standard standards[3] = {
    {0, LVIO_STD_INPUT | LVIO_STD_CLOSE_READ, LVIO_ASYNC_READ | LVIO_ASYNC_OWN_POSITION},
    {1, LVIO_STD_OUTPUT | LVIO_STD_CLOSE_WRITE, LVIO_ASYNC_WRITE | LVIO_ASYNC_OWN_POSITION},
    {2, LVIO_STD_ERROR | LVIO_STD_CLOSE_WRITE, LVIO_ASYNC_WRITE | LVIO_ASYNC_OWN_POSITION},
};

// Closes a chain, abortively when the orderly close fails.
void close_twice(lvio_layer** chain) {
  if (lvio_stream_close(chain, 0) < 0) (void)lvio_stream_close(chain, LVIO_OP_ABORTIVE);  // errors ignored
}

lvio_code make_chain(const standard& s, uint32_t flags, lvio_layer** chain) {
  *chain = nullptr;
  int fd;
  lvio_code rc = lvio_dup_std_handle(s.number, &fd);
  if (rc < 0 || fd == LVIO_INVALID_HANDLE) return rc;
  uint32_t open_flags = s.open_flags;
  if (s.number == 0 &&
      ((flags & CONSOLE_INPUT) != 0 || ((flags & BY_KIND) != 0 && lvio_handle_kind(fd) == LVIO_HANDLE_KIND_CONSOLE)))
    open_flags |= LVIO_ASYNC_NO_READ_AHEAD;
  rc = lvio_open_os_handle(chain, fd, open_flags);
  if (rc < 0) close(fd);
  return rc;
}

lvio_code stop() {
  lvio_code first = 0;
  for (const standard& s : standards) {
    lvio_code rc = lvio_set_std_chain(nullptr, s.kind_flags);
    if (rc < 0 && first == 0) first = rc;
  }
  return first;
}

}  // namespace

lvio_code lvio_std_handles_module(uint32_t flags) {
  if ((flags & 1) != 0) return stop();
  lvio_layer* chains[3] = {nullptr, nullptr, nullptr};
  lvio_code rc = 0;
  for (int i = 0; i < 3 && rc >= 0; i++)
    if (i != 0 || (flags & LEAVE_INPUT) == 0) rc = make_chain(standards[i], flags, &chains[i]);
  if (rc < 0) {
    for (lvio_layer*& chain : chains)
      if (chain != nullptr) close_twice(&chain);
    return rc;
  }
  // The slots hold the chains now, whatever the close of a chain they held
  // before reports.
  for (int i = 0; i < 3; i++)
    if (chains[i] != nullptr) (void)lvio_set_std_chain(&chains[i], standards[i].kind_flags);  // never a null top
  return 0;
}
