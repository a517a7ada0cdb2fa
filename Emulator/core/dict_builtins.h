// Built-ins over hash dictionaries held as one-dimensional arrays: the
// elements are '$dict', the used key slots (live and deleted), the live
// entries, the capacity C (a power of two; 2 for a new dictionary), then C
// slots of key and value. An empty key or a deleted value is '$uninit'.
#pragma once

#include "core/worker.h"

int prolog_array1d_dict_new(lv_worker* w);     // $array1d_dict_new(Dict)
int prolog_array1d_dict_get(lv_worker* w);     // $array1d_dict_get(Dict, Key, Value)
int prolog_array1d_dict_put(lv_worker* w);     // $array1d_dict_put(Dict, Key, Value, New)
int prolog_array1d_dict_delete(lv_worker* w);  // $array1d_dict_delete(Dict, Key, New)
int prolog_array1d_dict_clear(lv_worker* w);   // $array1d_dict_clear(Dict, New)
int prolog_array1d_dict_items(lv_worker* w);   // $array1d_dict_items(Dict, Items)
