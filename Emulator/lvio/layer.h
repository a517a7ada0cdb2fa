// Layer classes and layer instances.
//
// Below every stream lies a chain of layers: the top layer is what the
// stream talks to, each layer points at the next lower one, and the bottom
// layer is a device. A chain is referred to by a pointer to its top-layer
// pointer (the chain pointer), so that operations that unlink the top layer
// can store the new top.
#pragma once

#include <cstddef>
#include <cstdint>

#include "lvio/result_codes.h"

struct lvio_buffer;
struct lvio_option;
struct lvio_class;
struct lvio_layer;

// The operations of a layer class, in their fixed slot order. Every
// operation but push, pop and open receives the chain pointer whose top is
// the layer itself; the layer below is then at &(*chain)->next.
struct lvio_layer_ops {
  // Appends at least one byte to the buffer, or returns a code
  // (LVIO_E_END_OF_FILE at the end).
  lvio_code (*read)(lvio_layer** chain, lvio_buffer* buffer, uint32_t flags);
  // Writes the buffer's bytes from *position on and advances *position.
  lvio_code (*write)(lvio_layer** chain, lvio_buffer* buffer, uint64_t* position, uint32_t flags);
  // Flushes pending output (flag 4) and/or gives back read-ahead (flag 2,
  // unless flag 16 keeps it); flag 8 passes the sync on down the chain.
  lvio_code (*sync)(lvio_layer** chain, uint32_t flags);
  // Source: bytes given back by the caller (flag 8), or null.
  lvio_code (*seek)(lvio_layer** chain, int64_t offset, int64_t* position, lvio_buffer* source, uint32_t flags);
  // Closes the directions given; a layer left without sides unlinks itself
  // and is finalized. May be absent.
  lvio_code (*close)(lvio_layer** chain, uint32_t flags);
  // Makes an instance and links it on top of the chain. May be absent.
  lvio_code (*push)(const lvio_class* cls, lvio_layer** chain, const lvio_option* options, uint32_t flags);
  // Takes the top filter layer off. May be absent.
  lvio_code (*pop)(const lvio_class* cls, lvio_layer** chain, uint32_t flags);
  // Releases the instance.
  void (*finalize)(lvio_layer* layer);
  // Makes a new bottom device as the whole chain.
  lvio_code (*open)(const lvio_class* cls, lvio_layer** chain, const lvio_option* options, uint32_t flags);
  // Answers a numbered control request, or LVIO_E_NOT_SUPPORTED. May be absent.
  lvio_code (*control)(lvio_layer** chain, uint32_t request, void* argument, uint32_t flags);
};

constexpr uint64_t LVIO_CLASS_RECORD_SIZE = 112;

// One record shape for layer classes and character-coder classes.
struct lvio_class {
  uint64_t record_size;  // always LVIO_CLASS_RECORD_SIZE
  const char* name;
  union {
    uint64_t instance_size;      // layers: bytes of one instance, header included
    const char* const* aliases;  // coders: null-terminated list of other names
  };
  uint32_t flags;
  uint32_t reference_count;
  union {
    lvio_layer_ops layer;
    void (*slot[10])();
  };
};
static_assert(sizeof(lvio_class) == LVIO_CLASS_RECORD_SIZE);
static_assert(offsetof(lvio_class, name) == 8 && offsetof(lvio_class, instance_size) == 16 &&
              offsetof(lvio_class, flags) == 24 && offsetof(lvio_class, reference_count) == 28 &&
              offsetof(lvio_class, layer) == 32);
static_assert(offsetof(lvio_layer_ops, control) == 72);

// Layer flags.
constexpr uint32_t LVIO_LAYER_CAN_READ = 1;
constexpr uint32_t LVIO_LAYER_OPEN_READ = 2;
constexpr uint32_t LVIO_LAYER_CAN_WRITE = 4;
constexpr uint32_t LVIO_LAYER_OPEN_WRITE = 8;
constexpr uint32_t LVIO_LAYER_READ_SIDE = 16;  // a seek acts only on present sides
constexpr uint32_t LVIO_LAYER_WRITE_SIDE = 32;
constexpr uint32_t LVIO_LAYER_READ_CLOSED = 128;
constexpr uint32_t LVIO_LAYER_WRITE_CLOSED = 256;
constexpr uint32_t LVIO_LAYER_MOVABLE_BACK = 512;     // the chain can move back over bytes already read
constexpr uint32_t LVIO_LAYER_READ_ITEM_SHIFT = 11;   // bits 11-13: read item size in bytes
constexpr uint32_t LVIO_LAYER_WRITE_ITEM_SHIFT = 14;  // bits 14-16: write item size in bytes

constexpr uint32_t LVIO_LAYER_LIVE = 4711;
constexpr uint32_t LVIO_LAYER_FINALIZED = 4712;

// The header at the start of every layer instance; the class's data follows.
struct lvio_layer {
  const lvio_class* cls;
  lvio_layer* next;  // the next lower layer; null at the bottom
  uint32_t flags;
  uint32_t live;  // LVIO_LAYER_LIVE, LVIO_LAYER_FINALIZED once finalized
};
static_assert(sizeof(lvio_layer) == 24 && offsetof(lvio_layer, next) == 8 && offsetof(lvio_layer, flags) == 16 &&
              offsetof(lvio_layer, live) == 20);

// Operation flags common to the generic operations.
constexpr uint32_t LVIO_OP_ABORTIVE = 1;   // errors ignored, no waiting
constexpr uint32_t LVIO_OP_WALK_DOWN = 1;  // control requests and size queries: go on to lower layers
constexpr uint32_t LVIO_OP_READ = 2;
constexpr uint32_t LVIO_OP_WRITE = 4;
constexpr uint32_t LVIO_OP_WRITE_ALL = 32;
// Set by a caller to let its bits above bit 20 through to the layer.
constexpr uint32_t LVIO_OP_PASS_HIGH_BITS = 1u << 20;

// The flags a layer sees: bits 0-19, or with LVIO_OP_PASS_HIGH_BITS every bit
// but that one.
inline uint32_t lvio_layer_op_flags(uint32_t flags) {
  return (flags & LVIO_OP_PASS_HIGH_BITS) != 0 ? flags & ~LVIO_OP_PASS_HIGH_BITS : flags & (LVIO_OP_PASS_HIGH_BITS - 1);
}

void lvio_layer_init(lvio_layer* layer, const lvio_class* cls, uint32_t flags);
// Marks the header finalized and clears it; null is ignored.
void lvio_layer_finalize(lvio_layer* layer);
// Links the layer on top of the chain.
void lvio_layer_link(lvio_layer** chain, lvio_layer* layer);
// Takes the top layer off the chain (its next cleared).
void lvio_layer_unlink(lvio_layer** chain);
// Calls the layer's finalize operation.
void lvio_layer_call_finalize(lvio_layer* layer);
// The first layer of that class in the chain (flag 1: the second);
// LVIO_E_NOT_FOUND.
[[nodiscard]] lvio_code lvio_find_layer(lvio_layer** chain, const lvio_class* cls, lvio_layer** layer, uint32_t flags);
// Sets and then clears flag bits on every layer of the chain.
void lvio_chain_set_flags(lvio_layer** chain, uint32_t set, uint32_t clear);

// Class registry: layer classes by name.

// Checks a layer class: null LVIO_E_PARAMETER_ERROR; a record size other
// than 112 LVIO_E_VERSION_ERROR; no name, an instance size below the header
// or a missing read, write, sync, seek, finalize or open
// LVIO_E_PARAMETER_ERROR.
[[nodiscard]] lvio_code lvio_layer_class_validate(const lvio_class* cls);
// Flags 0 registers a valid class under its name (LVIO_E_FOUND when the
// name is taken); flag 1 removes its name (absent is not an error).
[[nodiscard]] lvio_code lvio_class_register(const lvio_class* cls, uint32_t flags);
// LVIO_E_NOT_FOUND.
[[nodiscard]] lvio_code lvio_class_find(const char* name, const lvio_class** cls);

// Opens a device as a new chain (the class's open); a success is 0.
[[nodiscard]] lvio_code lvio_open_device(const lvio_class* cls, lvio_layer** chain, const lvio_option* options,
                                         uint32_t flags);
[[nodiscard]] lvio_code lvio_open_device_by_name(const char* name, lvio_layer** chain, const lvio_option* options,
                                                 uint32_t flags);
// Pushes a layer of the class on the chain (the class's push); a success
// is 0. A class without push: LVIO_E_NOT_SUPPORTED.
[[nodiscard]] lvio_code lvio_push_layer(const lvio_class* cls, lvio_layer** chain, const lvio_option* options,
                                        uint32_t flags);
[[nodiscard]] lvio_code lvio_push_layer_by_name(const char* name, lvio_layer** chain, const lvio_option* options,
                                                uint32_t flags);
// Pops through the class's pop, or the top layer's class's when cls is null.
// A class without pop: LVIO_E_NOT_SUPPORTED; an empty chain with no class:
// LVIO_E_PARAMETER_ERROR.
[[nodiscard]] lvio_code lvio_pop_layer(const lvio_class* cls, lvio_layer** chain, uint32_t flags);
