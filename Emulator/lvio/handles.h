// Operating-system handles: file descriptors, their kinds, sizes and
// positions, closing them, and copies of the standard descriptors.
#pragma once

#include <cstdint>

#include "lvio/result_codes.h"

// A handle is a file descriptor; -1 is the invalid handle.
constexpr int LVIO_INVALID_HANDLE = -1;

// Handle kinds. A terminal is a console; a serial line is a terminal too,
// so LVIO_HANDLE_KIND_SERIAL never arises.
constexpr int32_t LVIO_HANDLE_KIND_INVALID = 0;
constexpr int32_t LVIO_HANDLE_KIND_CHARACTER = 1;  // another character device (/dev/null, ...), or a directory
constexpr int32_t LVIO_HANDLE_KIND_DISK = 2;       // a regular file or a block device
constexpr int32_t LVIO_HANDLE_KIND_CONSOLE = 3;    // a terminal
constexpr int32_t LVIO_HANDLE_KIND_SOCKET = 4;
constexpr int32_t LVIO_HANDLE_KIND_PIPE = 5;  // a pipe or a FIFO
constexpr int32_t LVIO_HANDLE_KIND_SERIAL = 6;

// The kind of the handle; LVIO_HANDLE_INVALID for a descriptor that is not open.
int32_t lvio_handle_kind(int fd);

// Closes the handle; a socket through lvio_socket_close. Flag 1 (abortive)
// ignores a failure (and resets a socket's connection).
[[nodiscard]] lvio_code lvio_handle_close(int fd, uint32_t flags);

// A close-on-exec copy (numbered 3 or higher) of standard descriptor 0, 1 or
// 2. A standard descriptor that is not open gives LVIO_INVALID_HANDLE and
// success.
[[nodiscard]] lvio_code lvio_dup_std_handle(int number, int* fd);

// The size of the file; LVIO_E_NOT_SUPPORTED for a handle that is neither a
// regular file nor a block device.
[[nodiscard]] lvio_code lvio_file_size(int fd, int64_t* size);

// The handle's own file position.
[[nodiscard]] lvio_code lvio_file_position(int fd, int64_t* position);
