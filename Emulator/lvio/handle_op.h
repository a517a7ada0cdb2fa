// Handle operations: one read, write or sync on a descriptor, done either
// inline (regular files: pread and pwrite cannot block indefinitely) or on a
// short-lived worker thread of its own (pipes, terminals, sockets and other
// devices), so that the engine's thread never blocks inside the system: it
// waits on the operation's completion event and the handle-I/O interrupt
// event together.
//
// A worker waits on its descriptor and on the operation's cancel event, so a
// cancel releases a blocked read or write at once. It works on a copy of the
// descriptor and on data of its own: an operation that is taken while it
// still runs is abandoned to its worker, which frees it when it ends, and
// the descriptor can be closed meanwhile.
#pragma once

#include <atomic>
#include <cstdint>

#include "lvio/buffer.h"
#include "lvio/event.h"
#include "lvio/result_codes.h"
#include "lvio/time_value.h"

struct lvio_handle_op;

// Request flags.
constexpr uint32_t LVIO_HANDLE_INLINE = 0x1;        // done at once on the calling thread (regular files)
constexpr uint32_t LVIO_HANDLE_OWN_POSITION = 0x2;  // at the descriptor's own file position
constexpr uint32_t LVIO_HANDLE_POSITIONED = 0x4;    // at the operation's offset
constexpr uint32_t LVIO_HANDLE_PIPE = 0x8;
constexpr uint32_t LVIO_HANDLE_CONSOLE = 0x10;
constexpr uint32_t LVIO_HANDLE_SOCKET = 0x20;
constexpr uint32_t LVIO_HANDLE_IGNORE_SYNC_ERRORS = 0x40;

// Size of the buffer of a read operation, and of the writes gathered.
constexpr uint64_t LVIO_HANDLE_BUFFER_SIZE = 65536;

// Starts a read of at most LVIO_HANDLE_BUFFER_SIZE bytes at the offset into
// a buffer the operation owns, and puts the operation in the slot. The
// completion event is reset now and set when the read has ended. A slot
// that holds an operation, or no completion event: LVIO_E_PARAMETER_ERROR.
[[nodiscard]] lvio_code lvio_handle_read_start(lvio_handle_op** slot, uint64_t offset, int fd, lvio_event* completion,
                                               uint32_t request);

// Starts a write of the buffer's bytes from data_start on (copied for a
// worker) at the offset.
[[nodiscard]] lvio_code lvio_handle_write_start(lvio_handle_op** slot, const lvio_buffer* buffer, uint64_t data_start,
                                                uint64_t offset, int fd, lvio_event* completion, uint32_t request);

// Starts a sync of the descriptor's data to its device, always on a worker.
[[nodiscard]] lvio_code lvio_handle_sync_start(lvio_handle_op** slot, int fd, lvio_event* completion, uint32_t request);

// LVIO_E_AIO_INPROGRESS while the operation runs; otherwise its result goes
// to *code (0, LVIO_E_END_OF_FILE or an error) and the return is 1 for an
// error, else 0.
[[nodiscard]] lvio_code lvio_handle_op_status(lvio_handle_op* op, lvio_code* code);

// The bytes a finished read has read.
const lvio_buffer* lvio_handle_op_data(const lvio_handle_op* op);

// Takes the operation out of its slot and frees it (a running one is
// cancelled and abandoned to its worker). Returns its result
// (LVIO_E_AIO_INPROGRESS for a running one); the offset and the bytes moved
// go to the outs that are not null (0 bytes after an error).
[[nodiscard]] lvio_code lvio_handle_op_take(lvio_handle_op** slot, uint64_t* offset, int64_t* transferred);

// Flag 1 cancels first; flag 2 does not wait (LVIO_E_WOULD_BLOCK while the
// operation runs); otherwise waits as lvio_handle_wait does.
[[nodiscard]] lvio_code lvio_handle_op_wait(lvio_handle_op* op, const lvio_time* timeout, uint32_t flags);

// Releases a worker: it ends with LVIO_E_INTERRUPTED unless it has finished
// already. An inline operation has always finished.
[[nodiscard]] lvio_code lvio_handle_op_cancel(lvio_handle_op* op);

// Waits until one of the operations (null entries are skipped) has ended: 0,
// LVIO_E_TIMEOUT, or LVIO_E_INTERRUPTED when an interrupt arrives while the
// wait runs or has arrived since the engine thread last took one (mode 1);
// each interrupt ends one wait. The operations stay live either way. No
// operation: LVIO_E_INTERNAL_ERROR.
[[nodiscard]] lvio_code lvio_handle_wait(lvio_handle_op* const* ops, uint64_t count, const lvio_time* timeout);

// The interrupt callback behind those waits: an interrupt announced ends the
// running or next handle wait; mode 1 (the engine-thread delivery) clears it.
void lvio_interrupt_event_hook(void* user, uint32_t mode);

// How a worker sets the completion event of its operation: lvio_event_set.
// Tests put a slower setter here to widen the window between an operation's
// end and its event.
extern std::atomic<lvio_code (*)(lvio_event*)> lvio_handle_op_set_completion;

// Makes the handle-I/O interrupt event and registers the hook (start), or
// removes the hook and closes the event (stop, flag 1).
[[nodiscard]] lvio_code lvio_handle_io_module(uint32_t flags);
