// The flag words of a layer's reading and writing sides and their item
// sizes, as new device and filter instances set them.
#pragma once

#include <cstdint>

#include "lvio/layer.h"

// Can read, open for reading, has a read side, and the item size.
inline uint32_t lvio_layer_reading_flags(uint32_t item_size) {
  return LVIO_LAYER_CAN_READ | LVIO_LAYER_OPEN_READ | LVIO_LAYER_READ_SIDE | (item_size << LVIO_LAYER_READ_ITEM_SHIFT);
}

inline uint32_t lvio_layer_writing_flags(uint32_t item_size) {
  return LVIO_LAYER_CAN_WRITE | LVIO_LAYER_OPEN_WRITE | LVIO_LAYER_WRITE_SIDE |
         (item_size << LVIO_LAYER_WRITE_ITEM_SHIFT);
}

inline uint32_t lvio_layer_read_item_size(const lvio_layer* layer) {
  return (layer->flags >> LVIO_LAYER_READ_ITEM_SHIFT) & 7;
}

inline uint32_t lvio_layer_write_item_size(const lvio_layer* layer) {
  return (layer->flags >> LVIO_LAYER_WRITE_ITEM_SHIFT) & 7;
}
