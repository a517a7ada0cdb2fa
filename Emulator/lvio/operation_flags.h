// Option bits of the seek and sync operations of layers: what the generic
// chain operations (chain.cpp) pass and the layers of this directory read.
#pragma once

#include <cstdint>

// Seek.
constexpr uint32_t LVIO_SEEK_ABSOLUTE = 0x1;
constexpr uint32_t LVIO_SEEK_RELATIVE = 0x2;
constexpr uint32_t LVIO_SEEK_FROM_END = 0x4;
constexpr uint32_t LVIO_SEEK_GIVE_BACK = 0x8;  // relative: the source's last bytes go back to the layer
constexpr uint32_t LVIO_SEEK_READ_SIDE = 0x10;
constexpr uint32_t LVIO_SEEK_WRITE_SIDE = 0x20;

// Sync (besides the directions LVIO_OP_READ and LVIO_OP_WRITE). The chain's
// sync of directions and its close always pass PASS_DOWN and CLOSING, and
// CALLER_CLOSING when their own caller gave CLOSING.
constexpr uint32_t LVIO_SYNC_PASS_DOWN = 0x8;       // sync the chain below afterwards
constexpr uint32_t LVIO_SYNC_CLOSING = 0x10;        // keep read-ahead; for "zlib" also: finish the output
constexpr uint32_t LVIO_SYNC_FINISH = 0x20;         // "zlib": finish the output
constexpr uint32_t LVIO_SYNC_CALLER_CLOSING = 0x80; // no layer of this directory reads it
