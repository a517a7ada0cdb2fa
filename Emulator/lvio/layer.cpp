// Layer instance headers.
#include "lvio/layer.h"

void lvio_layer_init(lvio_layer* layer, const lvio_class* cls, uint32_t flags) {
  layer->cls = cls;
  layer->next = nullptr;
  layer->flags = flags;
  layer->live = LVIO_LAYER_LIVE;
}

void lvio_layer_finalize(lvio_layer* layer) {
  if (layer == nullptr) return;
  layer->live = LVIO_LAYER_FINALIZED;
  layer->cls = nullptr;
  layer->next = nullptr;
  layer->flags = 0;
}

void lvio_layer_link(lvio_layer** chain, lvio_layer* layer) {
  layer->next = *chain;
  *chain = layer;
}

void lvio_layer_unlink(lvio_layer** chain) {
  lvio_layer* top = *chain;
  *chain = top->next;
  top->next = nullptr;
}

void lvio_layer_call_finalize(lvio_layer* layer) { layer->cls->layer.finalize(layer); }

lvio_code lvio_find_layer(lvio_layer** chain, const lvio_class* cls, lvio_layer** layer, uint32_t flags) {
  int skip = (flags & 1) != 0 ? 1 : 0;
  for (lvio_layer* l = *chain; l != nullptr; l = l->next) {
    if (l->cls != cls) continue;
    if (skip-- == 0) {
      *layer = l;
      return 0;
    }
  }
  return LVIO_E_NOT_FOUND;
}

void lvio_chain_set_flags(lvio_layer** chain, uint32_t set, uint32_t clear) {
  for (lvio_layer* l = *chain; l != nullptr; l = l->next) l->flags = (l->flags | set) & ~clear;
}
