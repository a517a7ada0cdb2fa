// Records handed to Prolog as handles that $free releases: a record's first
// word is its release function, which $free calls with the record. Only a
// record registered here is released, and only once, so that no integer
// made up by a program is ever called as a function.
#pragma once

#include "core/worker.h"

struct lv_free_record {
  void (*release)(lv_free_record* record);
};

// The handle of a record (an address carried as an atomic term); the record
// is registered until $free releases it.
lv_term lv_free_handle(lv_free_record* record);

// Releases the record of a registered handle: 1, or 0 for anything else.
int lv_release_handle(lv_term handle);

int prolog_free(lv_worker* w);  // $free(Handle)
