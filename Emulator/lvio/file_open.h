// Opening files by path, for the devices of streams. Share modes have no
// counterpart: other processes may open the file as they like.
#pragma once

#include <cstdint>

#include "lvio/result_codes.h"

constexpr uint32_t LVIO_OPEN_READ = 0x1;
constexpr uint32_t LVIO_OPEN_WRITE = 0x2;
constexpr uint32_t LVIO_OPEN_APPEND = 0x4;     // with write: keep the contents (the writer starts at the end)
constexpr uint32_t LVIO_OPEN_EXCLUSIVE = 0x8;  // with write: the file must not exist yet

// A descriptor (close-on-exec) for the file, open for reading only when read
// is asked for. Read alone opens an existing file; write alone creates or
// truncates; read and write, or write and append, create when missing and
// keep the contents. A FIFO opened for writing alone waits for a reader. Read, write and append
// together, or neither read nor write, are LVIO_E_PARAMETER_ERROR. A
// directory is refused: LVIO_E_FILE_IS_DIRECTORY. An existing file with
// exclusive: LVIO_E_FILE_EXISTS. Other failures map their error number,
// with LVIO_E_OPEN_ERROR as the fallback.
[[nodiscard]] lvio_code lvio_file_open_path(const char* path, uint32_t flags, int* fd);
