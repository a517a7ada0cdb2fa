// The registry of layer classes, and opening, pushing and popping layers.
#include "lvio/hash.h"
#include "lvio/layer.h"

namespace {

// Created on the first registration, destroyed when the last name goes.
lvio_hash* registry;

lvio_code success_as_zero(lvio_code rc) { return rc < 0 ? rc : 0; }

}  // namespace

lvio_code lvio_layer_class_validate(const lvio_class* cls) {
  if (cls == nullptr) return LVIO_E_PARAMETER_ERROR;
  if (cls->record_size != LVIO_CLASS_RECORD_SIZE) return LVIO_E_VERSION_ERROR;
  const lvio_layer_ops& ops = cls->layer;
  if (cls->name == nullptr || cls->instance_size < sizeof(lvio_layer) || ops.read == nullptr || ops.write == nullptr ||
      ops.sync == nullptr || ops.seek == nullptr || ops.finalize == nullptr || ops.open == nullptr)
    return LVIO_E_PARAMETER_ERROR;
  return 0;
}

lvio_code lvio_class_register(const lvio_class* cls, uint32_t flags) {
  if ((flags & 1) != 0) {
    if (cls == nullptr || cls->name == nullptr) return LVIO_E_PARAMETER_ERROR;
    if (registry == nullptr) return 0;
    (void)lvio_hash_remove_named(registry, cls->name);  // absent is no error
    if (lvio_hash_count(registry) == 0) {
      lvio_hash_destroy(registry);
      registry = nullptr;
    }
    return 0;
  }
  lvio_code rc = lvio_layer_class_validate(cls);
  if (rc < 0) return rc;
  if (registry == nullptr) {
    rc = lvio_hash_create(&registry);
    if (rc < 0) return rc;
  }
  lvio_value data;
  data.kind = LVIO_VALUE_POINTER;
  data.pointer = const_cast<lvio_class*>(cls);
  rc = lvio_hash_put_named(registry, cls->name, &data);
  if (rc < 0 && lvio_hash_count(registry) == 0) {
    lvio_hash_destroy(registry);
    registry = nullptr;
  }
  return rc;
}

lvio_code lvio_class_find(const char* name, const lvio_class** cls) {
  lvio_value* data;
  if (registry == nullptr || lvio_hash_get_named(registry, name, &data) < 0) return LVIO_E_NOT_FOUND;
  *cls = static_cast<const lvio_class*>(data->pointer);
  return 0;
}

lvio_code lvio_open_device(const lvio_class* cls, lvio_layer** chain, const lvio_option* options, uint32_t flags) {
  return success_as_zero(cls->layer.open(cls, chain, options, lvio_layer_op_flags(flags)));
}

lvio_code lvio_open_device_by_name(const char* name, lvio_layer** chain, const lvio_option* options, uint32_t flags) {
  const lvio_class* cls;
  lvio_code rc = lvio_class_find(name, &cls);
  return rc < 0 ? rc : lvio_open_device(cls, chain, options, flags);
}

lvio_code lvio_push_layer(const lvio_class* cls, lvio_layer** chain, const lvio_option* options, uint32_t flags) {
  if (cls->layer.push == nullptr) return LVIO_E_NOT_SUPPORTED;
  return success_as_zero(cls->layer.push(cls, chain, options, lvio_layer_op_flags(flags)));
}

lvio_code lvio_push_layer_by_name(const char* name, lvio_layer** chain, const lvio_option* options, uint32_t flags) {
  const lvio_class* cls;
  lvio_code rc = lvio_class_find(name, &cls);
  return rc < 0 ? rc : lvio_push_layer(cls, chain, options, flags);
}

lvio_code lvio_pop_layer(const lvio_class* cls, lvio_layer** chain, uint32_t flags) {
  if (cls == nullptr) {
    if (*chain == nullptr) return LVIO_E_PARAMETER_ERROR;
    cls = (*chain)->cls;
  }
  if (cls->layer.pop == nullptr) return LVIO_E_NOT_SUPPORTED;
  return cls->layer.pop(cls, chain, lvio_layer_op_flags(flags));
}
